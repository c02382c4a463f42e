// Names given at a start: one rule for the program's own start and for a second start that hands
// its names to the running player. They are added to the kept list and the first of them plays;
// without names the kept piece goes on where the last run left it, playing or paused.
#include "PlaybackFixture.h"

#include "DisplayText.h"
#include "Paths.h"
#include "TKeptPlaylist.h"
#include "TPlayerRemote.h"
#include "TPlaylist.h"
#include "Unit1.h"
#include "Unit2.h"

#include <QCoreApplication>
#include <algorithm>
#include <filesystem>
#include <fstream>

using namespace playback_test;

namespace {
// A kept list of a and b, b current, as SessionText writes it, with the lines of ResumeState.
std::string KeptText(const std::string& a, const std::string& b, const std::string& state, const std::string& resume)
{
    return "#EXTM3U\r\n#OSTRADIVUVIRAR-CURRENT:1," + state + "\r\n" + resume +
           "#OSTRADIVUVIRAR-LISTWINDOW:333x222\r\n#EXTINF:-1,Kept A\r\n" + a + "\r\n#EXTINF:-1,Kept B\r\n" + b + "\r\n";
}
}

TEST_F(PlaybackTest, NamesGivenAtAStartAreAddedToTheKeptListAndTheFirstPlays)
{
    const std::string a = MakeOgg("a.ogg", 10, "A"), b = MakeOgg("b.ogg", 10, "B"), c = MakeOgg("c.ogg", 10, "C");
    const std::string kept = Paths::SettingsDir(form1->AppDir) + TKeptPlaylist::FileName;
    struct Case {
        const char* what;
        const char* keptState;  // nullptr: no kept list
        bool second;            // handed over by a second start to the player running with a, b
        std::vector<std::string> names;
        std::vector<std::string> list;
        std::string plays;  // "" nothing
    };
    const Case cases[] = {
        {"first start, nothing kept", nullptr, false, {c}, {c}, c},
        {"first start, a list kept", "playing", false, {c}, {a, b, c}, c},
        {"first start, a list kept, no names", "playing", false, {}, {a, b}, b},
        {"first start, a stopped list, no names", "stopped", false, {}, {a, b}, ""},
        {"first start, only a bad name", "playing", false, {MakeFile("bad.ogg", "no")}, {a, b}, b},
        {"second start", nullptr, true, {c}, {a, b, c}, c},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.what);
        form2->C1Click();
        std::filesystem::remove(kept);
        if (t.keptState != nullptr)
            std::ofstream(kept, std::ios::binary) << KeptText(a, b, t.keptState, "");
        if (t.second) {
            Add({a, b});
            form1->PlayEntry(0);
            TPlayerRemote(*form1).TakeIn(t.names);
        } else {
            form1->LoadCommandLine(t.names);
        }
        QCoreApplication::processEvents();
        EXPECT_EQ(Paths(), t.list);
        EXPECT_EQ(form1->OggStream.IsPlaying(), !t.plays.empty());
        if (!t.plays.empty()) {
            EXPECT_EQ(form1->OggStream.GetFileName(), t.plays);
            EXPECT_EQ(form2->Playlist->Playing(), std::find(t.list.begin(), t.list.end(), t.plays) - t.list.begin());
        }
        messages.clear();
    }
    std::filesystem::remove(kept);
}

// A paused piece comes back paused at its place, silent until resumed from there; the playlist
// window takes its kept size. (tests/e2e/start-rule.sh quits and starts the real program.)
TEST_F(PlaybackTest, APausedPieceComesBackPausedAtItsPlace)
{
    const std::string dir = Paths::SettingsDir(form1->AppDir);
    const std::string a = MakeOgg("a.ogg", 10, "A"), b = MakeOgg("b.ogg", 10, "B");
    std::ofstream(dir + TKeptPlaylist::FileName, std::ios::binary)
        << KeptText(a, b, "playing", "#OSTRADIVUVIRAR-RESUME:6.000,paused\r\n");
    form1->LoadCommandLine({});
    EXPECT_EQ(form2->size(), QSize(333, 222));
    EXPECT_EQ(form1->OggStream.GetFileName(), b);
    EXPECT_TRUE(form1->OggStream.IsPaused());
    EXPECT_EQ(DisplayText::LabelCaption(form1->LTime), "0:06.0");
    const TKeptPlaylist::TEnd end = form1->KeptEnd();
    EXPECT_TRUE(end.going && end.state.paused);
    EXPECT_EQ(end.state.position, 6.0);
    form1->A1Click();
    ASSERT_TRUE(apptest::WaitWithEvents([&] { return form1->OggStream.GetOutputTime() > 6.2f; }));
    EXPECT_LT(form1->OggStream.GetOutputTime(), 7.5f);
}
