// The order of play on its own: a stream player and a playlist of the test's own, the output
// time and play state set directly, and the timers' ticks delivered by hand. Each command that
// asks to play the current entry is followed as the main window follows it.
#include "CaptionText.h"
#include "TPlaybackSequence.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

class FakeStream : public IStreamPlayer {
public:
    bool Play(const std::string& fileName, bool) override
    {
        pauseTime = 0.0f;
        if (fileName.find("missing") != std::string::npos)
            return false;
        if (fileName.find("notogg") != std::string::npos)
            throw std::runtime_error("ファイルの読み込みに失敗");
        played.push_back(fileName);
        playing = true;
        output = 0.0f;
        passes = 0;
        muted = false;
        fade = 0.0f;
        return true;
    }
    void Stop() override { playing = false; }
    void Pause() override
    {
        if (playing) {
            playing = false;
            pauseTime = output != 0.0f ? output : 0.001f;
        } else if (pauseTime != 0.0f) {
            output = pauseTime;
            pauseTime = 0.0f;
            playing = true;
        }
    }
    bool Rewind(float seconds) override { return Step(-seconds); }
    bool Forward(float seconds) override { return Step(seconds); }
    bool SeekTo(float seconds) override { return playing && !Step(seconds - output); }
    void FadeOut(float seconds) override { fade = seconds; }
    void SetMute(bool mute) override { muted = mute; }
    void MarkFinished() override
    {
        pauseTime = total;
        muted = true;
    }
    bool IsPlaying() override { return playing; }
    bool IsPaused() override { return pauseTime != 0.0f; }
    float GetOutputTime() override { return output; }
    float GetTotalTime() override { return total; }
    // A container, or a file whose name says "tagged" (it carries loop tags), loops.
    bool HasLoops() override
    {
        return played.back().find("tagged") != std::string::npos || played.back().find(".qv") != std::string::npos;
    }
    bool HasEndlessLoop() override { return endless && HasLoops(); }
    int64_t HeardPasses() override { return passes; }

    // The piece reaches its end (or its closing fade reaches silence) and the data stops.
    void End() { playing = false; }

    std::vector<std::string> played;
    bool playing = false;
    bool muted = false;
    float pauseTime = 0.0f;
    float output = 0.0f;
    float total = 20.0f;
    float fade = 0.0f;
    int64_t passes = 0;
    bool endless = true;

private:
    bool Step(float by)
    {
        if (!playing)
            return false;
        if (output + by < 0.0f || output + by > total) {
            playing = false;
            return true;
        }
        output += by;
        return false;
    }
};

class FakeList : public IPlaylistCursor {
public:
    int Count() const override { return static_cast<int>(paths.size()); }
    int Current() const override { return current; }
    void SetCurrent(int index) override { current = index; }
    void Select(int index) override { current = selected = index; }
    std::string PathAt(int index) const override { return paths.at(static_cast<size_t>(index)); }

    std::vector<std::string> paths;
    int current = -1;
    int selected = -1;
};

class Sequence : public ::testing::Test {
protected:
    void Load(std::vector<std::string> paths)
    {
        list.paths = std::move(paths);
        Follow(seq.PlayFirst());
    }
    // What the main window does after each command.
    void Follow(bool playCurrent)
    {
        if (playCurrent)
            seq.PlayEntry(list.Current());
    }
    std::string Playing() const { return stream.played.empty() ? "" : stream.played.back(); }
    // A Timer3 tick, and NextPlayTimer's a second later when the tick armed it.
    void Second(int loopCount = 0)
    {
        Follow(seq.Timer3Tick(loopCount));
        if (seq.NextPlayArmed())
            Follow(seq.NextPlayTick(loopCount));
    }

    FakeStream stream;
    FakeList list;
    TPlaybackSequence seq{stream, list};
};

TEST_F(Sequence, AnEmptyListIgnoresTheButtonsAndAnEntryOutsideTheList)
{
    for (int tag = 0; tag < 8; ++tag)
        EXPECT_FALSE(seq.ButtonPressed(tag)) << tag;
    Follow(seq.PlayPressed());  // the tray's play does not test for an empty list
    Follow(seq.NextPressed());
    EXPECT_EQ(seq.PlayEntry(0), TPlaybackSequence::TStart::Ignored);
    EXPECT_TRUE(stream.played.empty());
}

TEST_F(Sequence, StartingAnEntrySelectsItAndNamesItsFileType)
{
    Load({"/m/a.OGG", "/m/b.QV", "/m/c.Ogg", "/m/missing.ogg", "/m/notogg.qv"});
    EXPECT_EQ(Playing(), "/m/a.OGG");
    EXPECT_EQ(list.selected, 0);
    EXPECT_EQ(seq.CurrentExt, ".ogg");
    EXPECT_EQ(seq.PlayEntry(1), TPlaybackSequence::TStart::Started);
    EXPECT_EQ(seq.CurrentExt, ".qv");
    seq.PlayEntry(2);
    EXPECT_EQ(seq.CurrentExt, ".ogg") << "any case names the same kind";
    // A file that cannot be played, or data that is not Ogg Vorbis: the entry is not selected,
    // the reason is kept, and nothing is taken for an ended piece afterwards.
    EXPECT_EQ(seq.PlayEntry(3), TPlaybackSequence::TStart::Failed);
    EXPECT_EQ(seq.FailureText(), "");
    EXPECT_EQ(seq.PlayEntry(4), TPlaybackSequence::TStart::Failed);
    EXPECT_EQ(seq.FailureText(), "ファイルの読み込みに失敗");
    EXPECT_EQ(list.selected, 2);
    EXPECT_EQ(seq.CurrentExt, "");
    Second();
    EXPECT_FALSE(seq.NextPlayArmed());
}

TEST_F(Sequence, ABadEntryIsPassedOverAndARoundOfThemStops)
{
    Load({"a.ogg", "missing.ogg", "notogg.ogg", "d.ogg"});
    // What the window does on a failed start: go on with the next entry while one is left.
    auto play = [&](int index) {
        int tries = 0;
        while (seq.PlayEntry(index) == TPlaybackSequence::TStart::Failed && ++tries < 10) {
            if (!seq.StartFailed())
                return false;
            index = list.Current();
        }
        return true;
    };
    Follow(seq.NextPressed() && play(list.Current()));
    EXPECT_EQ(Playing(), "d.ogg") << "both bad entries passed over";
    EXPECT_EQ(list.paths.size(), 4u);

    list.paths = {"missing1.ogg", "notogg.ogg", "missing2.qv"};
    list.Select(0);
    EXPECT_FALSE(play(0)) << "a round of failures stops";
    EXPECT_FALSE(stream.playing);
    EXPECT_EQ(seq.CurrentExt, "");
    for (int i = 0; i < 3; ++i)
        Second();
    EXPECT_EQ(Playing(), "d.ogg");
}

TEST_F(Sequence, BackAndNextWrapAndSkipsPastTheEndsMoveOn)
{
    Load({"a.ogg", "b.ogg", "c.ogg"});
    Follow(seq.ButtonPressed(3));
    EXPECT_EQ(Playing(), "c.ogg") << "back from the first plays the last";
    Follow(seq.NextPressed());
    EXPECT_EQ(Playing(), "a.ogg") << "next from the last plays the first";
    Follow(seq.BackPressed());
    EXPECT_EQ(Playing(), "c.ogg");

    // Five seconds back inside the piece only seeks; past its start it plays the previous one.
    stream.output = 7.0f;
    Follow(seq.ButtonPressed(5));
    EXPECT_EQ(stream.output, 2.0f);
    EXPECT_EQ(stream.played.size(), 4u);
    Follow(seq.ButtonPressed(5));
    EXPECT_EQ(Playing(), "b.ogg");
    // Five seconds forward within the last five plays the next.
    stream.output = 16.0f;
    Follow(seq.ButtonPressed(6));
    EXPECT_EQ(Playing(), "c.ogg");
}

TEST_F(Sequence, PlayResumesAPauseEvenAfterAStopAndStartsAfreshAfterAStop)
{
    Load({"a.ogg", "b.ogg"});
    stream.output = 3.5f;
    seq.ButtonPressed(2);
    EXPECT_TRUE(stream.IsPaused());
    EXPECT_FALSE(seq.TimeTick()) << "the shown time stands still while paused";
    seq.ButtonPressed(1);  // a stop while paused keeps the pause
    EXPECT_EQ(seq.CurrentExt, "");
    Follow(seq.ButtonPressed(0));
    EXPECT_TRUE(stream.playing);
    EXPECT_EQ(stream.output, 3.5f) << "resumed at the paused place";
    EXPECT_EQ(stream.played.size(), 1u);

    seq.StopPressed();
    Follow(seq.PlayPressed());
    EXPECT_EQ(stream.played.size(), 2u) << "after a stop, play starts the entry again";
    EXPECT_EQ(seq.CurrentExt, ".ogg");
    // After a user's stop nothing follows by itself.
    seq.StopPressed();
    for (int i = 0; i < 3; ++i)
        Second();
    EXPECT_EQ(stream.played.size(), 2u);
}

TEST_F(Sequence, TheTimeIsTakenFromOneReading)
{
    Load({"a.ogg"});
    stream.output = 75.37f;
    ASSERT_TRUE(seq.TimeTick());
    EXPECT_EQ(seq.ShownSeconds, 75);
    EXPECT_EQ(seq.ShownTenths, 3);
    EXPECT_EQ(CaptionText::TimeText(seq.ShownSeconds, seq.ShownTenths), "1:15.3");
}

TEST_F(Sequence, AnEndedPieceIsMarkedAndTheNextFollowsASecondLater)
{
    Load({"a.ogg", "b.Ogg", "c.ogg"});
    stream.End();
    Follow(seq.Timer3Tick(0));
    EXPECT_TRUE(seq.NextPlayArmed());
    EXPECT_TRUE(stream.muted);
    EXPECT_EQ(stream.pauseTime, stream.total);
    Follow(seq.Timer3Tick(0));  // a second check before the timer fires changes nothing
    EXPECT_EQ(stream.played.size(), 1u);
    Follow(seq.NextPlayTick(0));
    EXPECT_FALSE(seq.NextPlayArmed());
    EXPECT_EQ(Playing(), "b.Ogg");
    EXPECT_FALSE(stream.muted);
    // ".Ogg" is an Ogg file like any other: its end moves on too.
    stream.End();
    for (int i = 0; i < 3; ++i)
        Second();
    EXPECT_EQ(Playing(), "c.ogg");
    EXPECT_EQ(stream.played.size(), 3u);
}

TEST_F(Sequence, WithLoopSwitchAPlainFilePlaysLoopCountPlusOneTimes)
{
    Load({"a.ogg", "b.ogg"});
    seq.LoopSwitch = true;
    for (int i = 0; i < 3; ++i) {
        stream.End();
        Second(2);
    }
    EXPECT_EQ(stream.played, (std::vector<std::string>{"a.ogg", "a.ogg", "a.ogg", "b.ogg"}));
    // Endless: it never moves on.
    for (int i = 0; i < 5; ++i) {
        stream.End();
        Second(-1);
    }
    EXPECT_EQ(Playing(), "b.ogg");
    EXPECT_EQ(seq.LoopsDone, 0);
}

// The loop count against the passes the stream has heard, read anew at each tick: any number of
// passes between two ticks counts (a 50 ms loop makes twenty a second), whatever the time does,
// and a step back that takes a pass back is followed. The title's mark shows the pass.
TEST_F(Sequence, TheLoopCountFadesAfterTheHeardPassesAndTheMarkShowsThePass)
{
    const std::string inf = "\x81\x87";  // "∞" in Shift-JIS
    struct Case {
        const char* what;
        std::string file;
        int count;
        bool endless;
        std::vector<int64_t> heard;      // passes heard at each tick
        int fadeAt;                      // the tick whose check starts the fade; -1: none
        std::vector<std::string> marks;  // the mark after each tick
    };
    const Case cases[] = {
        {"count 0: right after the first jump", "loop.qv", 0, true, {0, 1, 1}, 1, {"1/2", "2/2", "2/2"}},
        {"count 1: after the second", "loop.qv", 1, true, {0, 1, 2}, 2, {"1/3", "2/3", "3/3"}},
        {"a plain file's loop tags", "tagged.ogg", 1, true, {0, 1, 2}, 2, {"1/3", "2/3", "3/3"}},
        {"a short loop: many passes between two ticks", "loop.qv", 1, true, {0, 20}, 1, {"1/3", "3/3"}},
        {"a pass taken back by a step back", "loop.qv", 1, true, {1, 0, 1, 2}, 3, {"2/3", "1/3", "2/3", "3/3"}},
        {"endless", "loop.qv", -1, true, {0, 5, 500}, -1, {"1/" + inf, "6/" + inf, "501/" + inf}},
        {"finite repeats only, endless count", "loop.qv", -1, false, {0, 2}, -1, {"1", "3"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        stream.fade = 0.0f;
        stream.endless = c.endless;
        Load({c.file, "b.ogg"});
        ASSERT_EQ(seq.CurrentExt, ".qv");
        for (size_t tick = 0; tick < c.heard.size(); ++tick) {
            stream.passes = c.heard[tick];
            stream.output = 9.0f - static_cast<float>(tick);  // the time going back is no pass
            Second(c.count);
            EXPECT_EQ(stream.fade, static_cast<int>(tick) >= c.fadeAt && c.fadeAt >= 0 ? 8.0f : 0.0f) << tick;
            EXPECT_EQ(seq.LoopMark(c.count), c.marks[tick]) << tick;
        }
        EXPECT_EQ(seq.CurrentExt, c.fadeAt >= 0 ? "qv" : ".qv");
        stream.End();
        Second(c.count);
        EXPECT_EQ(Playing(), "b.ogg") << "the fade over, or the piece ended: the next entry";
        EXPECT_EQ(seq.LoopMark(c.count), "");
        EXPECT_EQ(seq.LoopsDone, 0);
    }
    // A plain file repeated by the loop count shows its play; for ever, only that it repeats.
    Load({"a.ogg", "b.ogg"});
    seq.LoopSwitch = true;
    EXPECT_EQ(seq.LoopMark(2), "1/3");
    stream.End();
    Second(2);
    EXPECT_EQ(seq.LoopMark(2), "2/3");
    EXPECT_EQ(seq.LoopMark(-1), inf);
    EXPECT_EQ(seq.LoopMark(0), "");
}

// A stream that runs on into the piece queued: at the end of a piece it begins that one, heard
// at once, and the sequence takes it over instead of starting it.
class QueueingStream : public FakeStream {
public:
    bool Play(const std::string& fileName, bool loop) override
    {
        ++starts;
        queued.clear();
        begun = false;
        return FakeStream::Play(fileName, loop);
    }
    void Stop() override
    {
        FakeStream::Stop();
        if (!begun)
            queued.clear();
    }
    bool QueueNext(const std::string& fileName) override
    {
        if (begun)
            return false;
        queued.clear();
        if (fileName.find("notogg") != std::string::npos)
            throw std::runtime_error("ファイルの読み込みに失敗");
        if (fileName.find("missing") != std::string::npos)
            return false;
        queued = fileName;
        return !queued.empty();
    }
    bool NextBegun() override { return begun; }
    bool NextHeard() override { return begun; }
    bool TakeNext() override
    {
        if (!begun)
            return false;
        begun = false;
        played.push_back(std::exchange(queued, std::string()));
        playing = true;
        output = 0.0f;
        passes = 0;
        fade = 0.0f;
        return true;
    }
    // The data ends by itself (a closing fade reached silence): what was queued plays on.
    void RunOut()
    {
        if (queued.empty())
            End();
        else
            begun = true;
    }

    std::string queued;
    bool begun = false;
    int starts = 0;
};

TEST(GaplessSequence, TheQueuedEntryIsTakenOverAsTheEndOfThePieceWouldMoveOn)
{
    struct Case {
        const char* what;
        std::vector<std::string> paths;
        bool loopSwitch;
        int count;
        int ends;                        // pieces that run out in turn
        std::vector<std::string> heard;  // the pieces heard in order
        int starts;                      // the stream's starts, tried or not (the rest ran on)
    };
    const Case cases[] = {
        {"through the list and round", {"a.ogg", "b.ogg", "c.ogg"}, false, 0, 3, {"a.ogg", "b.ogg", "c.ogg", "a.ogg"}, 1},
        {"a plain file repeated by the count", {"a.ogg", "b.ogg"}, true, 1, 3, {"a.ogg", "a.ogg", "b.ogg", "b.ogg"}, 1},
        {"a looped piece's closing fade, then the next", {"a.qv", "b.ogg"}, false, 0, 1, {"a.qv", "b.ogg"}, 1},
        // Nothing could be queued: the end is noticed and the entry fails when started, as ever.
        {"an entry that fails is passed over", {"a.ogg", "notogg.ogg", "missing.ogg", "d.ogg"}, false, 0, 1,
         {"a.ogg", "d.ogg"}, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QueueingStream stream;
        FakeList list;
        TPlaybackSequence seq{stream, list};
        seq.LoopSwitch = c.loopSwitch;
        list.paths = c.paths;
        // As the main window: each start queues what follows, a failed one goes on to the next.
        std::function<void(bool)> follow = [&](bool playCurrent) {
            if (!playCurrent)
                return;
            const auto start = seq.PlayEntry(list.Current());
            if (start == TPlaybackSequence::TStart::Started)
                seq.QueueFollowing(c.count);
            else if (start == TPlaybackSequence::TStart::Failed)
                follow(seq.StartFailed());
        };
        follow(seq.PlayFirst());
        for (int e = 0; e < c.ends; ++e) {
            if (c.paths[0].ends_with(".qv")) {
                stream.passes = 1;
                follow(seq.Timer3Tick(c.count));  // the fade begins
                ASSERT_EQ(seq.CurrentExt, "qv");
            }
            stream.RunOut();
            for (int tick = 0; tick < 3; ++tick) {
                follow(seq.Timer3Tick(c.count));
                if (seq.NextPlayArmed())
                    follow(seq.NextPlayTick(c.count));
            }
        }
        EXPECT_EQ(stream.played, c.heard);
        EXPECT_EQ(stream.starts, c.starts);
        EXPECT_EQ(list.selected, list.Current()) << "the entry heard is the one shown";
    }
}

TEST(GaplessSequence, AChangedListIsFollowed)
{
    QueueingStream stream;
    FakeList list;
    TPlaybackSequence seq{stream, list};
    list.paths = {"a.ogg", "b.ogg", "c.ogg"};
    seq.PlayFirst();
    seq.PlayEntry(list.Current());
    seq.QueueFollowing(0);
    EXPECT_EQ(stream.queued, "b.ogg");
    // The list changes before the end: the next tick queues the entry that now follows.
    list.paths = {"a.ogg", "x.ogg"};
    seq.Timer3Tick(0);
    EXPECT_EQ(stream.queued, "x.ogg");
    // Begun, it can no longer change; a list changed after that has its entry started afresh.
    stream.RunOut();
    list.paths = {"a.ogg", "y.ogg"};
    ASSERT_TRUE(seq.Timer3Tick(0));
    seq.PlayEntry(list.Current());
    EXPECT_EQ(stream.played.back(), "y.ogg");
    EXPECT_EQ(stream.starts, 2);
}

TEST(CaptionText, TimeTextPaddingAndScrollingByBytes)
{
    EXPECT_EQ(CaptionText::TimeText(0.0f), "0:00.0");
    EXPECT_EQ(CaptionText::TimeText(75.37f), "1:15.3");
    EXPECT_EQ(CaptionText::TimeText(3599.96f), "59:59.9");
    EXPECT_EQ(CaptionText::TimeText(3600.0f), "60:00.0");
    // 0.7f is a little below 0.7.
    EXPECT_EQ(CaptionText::TimeText(0.7f), "0:00.6");
    // Long pieces, and values outside the written-out fast path, read as before.
    EXPECT_EQ(CaptionText::TimeText(int64_t{600000}, 9), "10000:00.9");
    EXPECT_EQ(CaptionText::TimeText(int64_t{9}, 12), "0:09.12");

    EXPECT_EQ(CaptionText::PadCaption(std::string(25, 'x')), std::string(25, 'x') + "    ");
    EXPECT_EQ(CaptionText::PadCaption("[1] ABCDE!"), "[1] ABCDE!" + std::string(11, ' '));
    EXPECT_EQ(CaptionText::PadCaption(std::string(21, 'x')), std::string(21, 'x') + "    ");
    // Shift-JIS "デモ": two double-byte characters.
    const std::string demo = "\x83\x66\x83\x82";
    EXPECT_EQ(CaptionText::ScrollCaption(demo + "ab"), "\x83\x82" "ab\x83\x66");
    EXPECT_EQ(CaptionText::ScrollCaption("ab" + demo), "b" + demo + "a");
    EXPECT_EQ(CaptionText::ScrollCaption(""), "");
    EXPECT_EQ(CaptionText::ScrollCaption("\x83"), "\x83");
    EXPECT_EQ(CaptionText::WholeCharacters("ab\x83\x66\x83"), "ab\x83\x66");
}

}
