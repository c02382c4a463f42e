#pragma once
// The order of play: which entry starts, what the transport commands do to the stream and the
// list, and what the once-a-second checks decide (a piece has ended, a looped container jumped
// back, its closing fade is over). It knows nothing of windows or timers: the main window hands
// it the ticks of Timer1, Timer3 and NextPlayTimer and the loop count, and shows what follows.
//
// Commands that end by playing the current entry return true; the caller then plays it through
// its own PlayEntry, which also shows the entry. NextPlayArmed() says whether NextPlayTimer must
// run: set when a piece ends, cleared when an entry starts and when the timer has fired.
#include "IPlaylistCursor.h"
#include "IStreamPlayer.h"

#include <cstdint>
#include <string>

class TPlaybackSequence {
public:
    TPlaybackSequence(IStreamPlayer& stream, IPlaylistCursor& playlist);

    enum class TStart {
        Ignored,  // no such entry: nothing was changed
        Started,  // the entry plays
        Failed,   // the entry cannot be played: missing, not Ogg Vorbis, no sound buffer
    };
    // Starts entry index from its beginning. A failed start leaves CurrentExt empty, so that the
    // checks do not take the silence for an ended piece, and FailureText() says why.
    TStart PlayEntry(int index);
    // Why the last start failed: the error's own message, or "" when the file could not be
    // played at all.
    const std::string& FailureText() const { return failureText_; }
    // After a failed start: the entry stays in the list and the next one is tried (true: play
    // the current entry), unless every entry of the list has failed in a row (false: stopped).
    bool StartFailed();

    // The seven transport buttons by their tag (0 play .. 6 five seconds forward); nothing for
    // an empty list or an unknown tag.
    bool ButtonPressed(int tag);
    // Moves the play position by seconds (back when negative) as the five-second buttons do.
    bool SeekBy(float seconds);
    // Moves to the piece's own time seconds in the pass being heard (the desktop's absolute
    // position); a place outside the piece, or past a loop still to jump back, changes nothing.
    void SeekTo(float seconds);
    // The tray menu's commands (they do not test for an empty list).
    bool PlayPressed();  // resumes a pause, else plays the current entry afresh
    void PausePressed();
    void StopPressed();
    bool NextPressed();
    bool BackPressed();
    // A file intake: the first entry selected and played from a clean state.
    bool PlayFirst();
    // The playlist window was cleared or the current piece deleted: no passes, no file type.
    void Reset();

    // The user moved the play position (five seconds back or forward, or any seek): the output
    // time jumps at once. Passes are the stream's (a step across a loop end makes one, a step
    // back across a jump takes it back); the time's base for LastSecond moves with the seek.
    void Seeked();

    // Timer1: takes the heard time into ShownSeconds and ShownTenths from one reading. False
    // while paused or after a piece ended: the shown time stands still then.
    bool TimeTick();
    // Timer3's three checks, with the loop-count window's count (-1 endless).
    bool Timer3Tick(int loopCount);
    // NextPlayTimer, a second after a piece ended.
    bool NextPlayTick(int loopCount);
    bool NextPlayArmed() const { return nextPlayArmed_; }
    // Keeps the stream's queued piece the entry that follows the one playing when it ends by
    // itself (the same entry while a plain file repeats by the loop count), so that the stream
    // can begin it without a gap; nothing while no piece moves on by itself. Called by Timer3
    // and after each start. When the stream has begun that piece and it is heard, Timer3Tick
    // moves the list on as the end of the piece would and returns true; PlayEntry of that entry
    // then takes the piece over instead of starting it again.
    void QueueFollowing(int loopCount);

    // What the title shows of the loop of the piece heard, in Shift-JIS: "" when it does not
    // loop; "p/∞" on pass p of a loop that never ends (the count -1 and a loop of the piece's
    // own that is endless; "∞" alone for a plain file repeated for ever); "p/n" on pass p of n, the last of
    // which fades out (a looped piece: n = count + 2) or ends (a repeated plain file: count + 1);
    // "p" on pass p of a piece whose finite repeats run their course with the count -1.
    std::string LoopMark(int loopCount);

    // The state the main window has always shown under these names.
    int32_t ShownSeconds = 0;
    int32_t ShownTenths = 0;
    int32_t LoopsDone = 0;  // a looped piece's: passes heard (of every play of it in a row)
    bool LoopSwitch = false;  // plain files repeat by the loop count (set by the loop-count window)
    float LastSecond = 0.0f;  // whole seconds of output time at the previous loop check
    // ".ogg" or ".qv" while such a file plays, "qv" while a container fades out after its last
    // pass, "" otherwise. Only these spellings move on by themselves.
    std::string CurrentExt;

private:
    // The stop-reset-play sequence of the skip commands: stop, no passes counted, play current.
    bool StopAndPlayCurrent();
    void Advance();
    void GoBack();
    void ClearPasses();
    // The entry QueueFollowing wants queued; -1 for none.
    int FollowingEntry(int loopCount) const;
    // The entry that follows index when it ends by itself, whatever plays now.
    int FollowingOf(int index, int loopCount) const;

    IStreamPlayer& stream_;
    IPlaylistCursor& playlist_;
    bool nextPlayArmed_ = false;
    // LoopsDone when the looped piece heard started (its passes count on from there), and the
    // pass shown once its closing fade began (LoopsDone is 0 then).
    int32_t passBase_ = 0;
    int32_t fadingPass_ = 0;
    std::string failureText_;
    int failedInRow_ = 0;
    int failedIndex_ = -1;
    std::string queued_;  // the path last queued in the stream (tried, whether it loaded or not)
    std::string taken_;   // the path the stream went on to by itself, for PlayEntry to take over
    int loopCount_ = 0;   // the loop count last told, for what a start queues
};
