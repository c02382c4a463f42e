// The playlist window with files from outside: ".m3u8", ".pls" and ".xspf" lists and folders
// dropped on it or loaded, and a save in the format its name says that asks before it replaces
// a file.
#include "AppTest.h"
#include "OggFixture.h"
#include "TPlaylist.h"
#include "Unit1.h"
#include "Unit2.h"

#include <QApplication>
#include <QFileDialog>
#include <QListWidget>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using fixture::MakeOgg;
using PlaylistIntakeTest = apptest::AppTest;

namespace {
void WriteText(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}
}

TEST_F(PlaylistIntakeTest, DroppedFoldersAndM3u8ListsOfAnyCaseAreAppended)
{
    const std::string dir = fixture::FreshDir("pl-drop");
    fs::create_directories(dir + "album");
    fs::copy_file(MakeOgg("pd10.ogg", 0.3, "Ten"), dir + "album/track 10.ogg");
    fs::copy_file(MakeOgg("pd9.ogg", 0.3, "Nine"), dir + "album/track 9.ogg");
    const std::string one = MakeOgg("pd1.ogg", 0.3, "One");
    WriteText(dir + "album/list.m3u8", "\xEF\xBB\xBFtrack 9.ogg\n");
    WriteText(dir + "big.M3U8", one + "\n");
    Form1->S3->setChecked(true);

    Form2->WMDropFiles({one, dir + "album", dir + "album/list.m3u8", dir + "big.M3U8"});
    const std::vector<std::string> expected = {one, dir + "album/track 9.ogg", dir + "album/track 10.ogg",
                                               dir + "album/track 9.ogg", one};
    EXPECT_EQ(Form2->Playlist->Paths(), expected);
    EXPECT_EQ(Form2->Playlist->Selected(), 0);
    EXPECT_FALSE(Form1->OggStream.IsPlaying());
    QApplication::processEvents();
    EXPECT_TRUE(messages.empty());

    // The playlist dialogs offer ".m3u8" beside ".m3u".
    for (QFileDialog* dialog : {Form2->ListLoadDialog.get(), Form2->ListSaveDialog.get()})
        EXPECT_TRUE(dialog->nameFilters().join(' ').contains(QStringLiteral("*.m3u8"))) << dialog->objectName().toStdString();
}

TEST_F(PlaylistIntakeTest, SavingAsksBeforeReplacingAnExistingFile)
{
    const std::string dir = fixture::FreshDir("pl-save");
    Form1->S3->setChecked(true);
    Form2->ChooseOggFiles = [] { return QStringList{QStringLiteral("/music/a.ogg"), QStringLiteral("/music/b.qv")}; };
    Form2->MLoadOggClick();
    std::vector<QString> asked;
    bool answer = false;
    Form2->ConfirmReplace = [&](const QString& file) {
        asked.push_back(file);
        return answer;
    };
    auto saveAs = [&](const std::string& file) {
        Form2->ChooseSaveFile = [file] { return QString::fromStdString(file); };
        Form2->Form1S1Click();
    };

    // A new name: written without a question.
    saveAs(dir + "new.m3u");
    EXPECT_TRUE(asked.empty());
    EXPECT_EQ(fixture::ReadText(dir + "new.m3u"), "/music/a.ogg\r\n/music/b.qv\r\n");

    // An existing file, or a link to one: asked; "No" keeps it whole, "Yes" replaces it.
    WriteText(dir + "old.m3u", "/keep/me.ogg\r\n");
    fs::create_symlink("old.m3u", dir + "link.m3u8");
    saveAs(dir + "old.m3u");
    saveAs(dir + "link.m3u8");
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0].toStdString(), dir + "old.m3u");
    EXPECT_EQ(fixture::ReadText(dir + "old.m3u"), "/keep/me.ogg\r\n");
    answer = true;
    saveAs(dir + "link.m3u8");
    EXPECT_EQ(asked.size(), 3u);
    EXPECT_TRUE(fs::is_symlink(dir + "link.m3u8"));
    EXPECT_EQ(fixture::ReadText(dir + "old.m3u"), "/music/a.ogg\r\n/music/b.qv\r\n");
    EXPECT_TRUE(messages.empty());
}

TEST_F(PlaylistIntakeTest, PlsAndXspfAreReadAsOtherPlayersWriteThemAndSavedByTheirNames)
{
    const std::string dir = fixture::FreshDir("pl-formats");
    fs::create_directories(dir + "music/sub");
    fs::copy_file(MakeOgg("pf-untitled.ogg", 0.3), dir + "music/sub/a b.ogg");
    fs::copy_file(MakeOgg("pf-titled.ogg", 0.3, "Tagged"), dir + "music/c.ogg");
    // As VLC writes XSPF: file:// locations, relative ones percent-encoded, titles, extensions.
    WriteText(dir + "music/vlc.xspf",
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<playlist xmlns=\"http://xspf.org/ns/0/\" xmlns:vlc=\"http://www.videolan.org/vlc/playlist/ns/0/\" version=\"1\">\n"
              " <title>Playlist</title>\n <trackList>\n"
              "  <track><location>sub/a%20b.ogg</location><title>Listed A</title><duration>300</duration>\n"
              "   <extension application=\"http://www.videolan.org/vlc/playlist/0\"><vlc:id>0</vlc:id></extension></track>\n"
              "  <track><location>file://" + dir + "music/c.ogg</location><title>Not shown</title></track>\n"
              "  <track><location>http://radio.example/live.ogg</location></track>\n"
              "  <track><location>cover.jpg</location></track>\n"
              " </trackList>\n</playlist>\n");
    // As Audacious writes PLS.
    WriteText(dir + "music/auda.pls",
              "[playlist]\nNumberOfEntries=2\nFile1=file://" + dir + "music/sub/a%20b.ogg\nTitle1=From PLS\nFile2=c.ogg\n");
    Form2->LoadPlaylistFile(dir + "music/vlc.xspf");
    Form2->LoadPlaylistFile(dir + "music/auda.pls");
    const std::string a = dir + "music/sub/a b.ogg", c = dir + "music/c.ogg";
    EXPECT_EQ(Form2->Playlist->Paths(), (std::vector<std::string>{a, c, a, c}));
    EXPECT_EQ(Form2->Playlist->Name(0), "Listed A");
    EXPECT_EQ(Form2->Playlist->Name(1), "Tagged");  // the file's own title comes first
    EXPECT_EQ(Form2->Playlist->Name(2), "From PLS");

    // Saved in the format the name says, and read back the same; any other name gets ".m3u8".
    Form2->ConfirmReplace = [](const QString&) { return true; };
    for (const char* name : {"out.xspf", "out.pls", "out.m3u8", "out.txt"}) {
        Form2->ChooseSaveFile = [&] { return QString::fromStdString(dir + name); };
        Form2->Form1S1Click();
        const std::string saved = dir + name + (std::string(name) == "out.txt" ? ".m3u8" : "");
        ASSERT_TRUE(fs::exists(saved)) << saved;
        TPlaylist& list = *Form2->Playlist;
        const std::vector<std::string> before = list.Paths();
        list.Clear();
        Form2->LoadPlaylistFile(saved);
        EXPECT_EQ(list.Paths(), before) << name;
    }
    EXPECT_FALSE(fs::exists(dir + "out.txt"));
    EXPECT_TRUE(messages.empty());
}
