#pragma once
// What the playback sequence of the main window asks of a stream player: start a file, the
// transport, the end-of-piece mark and the times it watches. TDSOggStream is the real one; the
// sequence's tests drive it with one of their own.
#include <cstdint>
#include <string>

class IStreamPlayer {
public:
    virtual ~IStreamPlayer() = default;

    // Plays fileName from its start. False when it cannot be played at all; data that is not
    // Ogg Vorbis throws.
    virtual bool Play(const std::string& fileName, bool loop) = 0;
    virtual void Stop() = 0;
    // Pauses, or resumes a pause.
    virtual void Pause() = 0;
    // True when the step went past an end and stopped the piece.
    virtual bool Rewind(float seconds) = 0;
    virtual bool Forward(float seconds) = 0;
    // To the piece's own time seconds in the pass being heard; false when nothing moved.
    virtual bool SeekTo(float seconds) = 0;
    virtual void FadeOut(float seconds) = 0;
    virtual void SetMute(bool mute) = 0;
    // Marks the piece as ended: the pause time becomes its length and the rest of the buffer
    // plays silence.
    virtual void MarkFinished() = 0;
    // True from the start of a piece until the last of its sound has been heard (not merely
    // rendered); false while paused and after a stop.
    virtual bool IsPlaying() = 0;
    // True while paused and after a piece was marked finished.
    virtual bool IsPaused() = 0;
    virtual float GetOutputTime() = 0;
    virtual float GetTotalTime() = 0;
    // True while the piece loaded carries loop entries of its own that jump back: a looped
    // container's table, or the loop of a plain file's loop tags. Such a piece is played by the
    // loop count as a container is, whatever its file name.
    virtual bool HasLoops() = 0;
    // True while the piece loaded has an endless loop of its own: it plays until stopped.
    virtual bool HasEndlessLoop() = 0;
    // The passes of the piece's loop heard so far: jumps back the engine made whose sound has
    // reached the device (TOggData::LoopPasses), however short the loop. A step back across a
    // jump takes its pass back.
    virtual int64_t HeardPasses() = 0;

    // The piece that follows this one when it ends by itself, so that no silence comes between:
    // loaded now, it begins in the same sound right after the last sample of this one. "" drops
    // it. False when it cannot be loaded or the piece queued before has already begun (data
    // that is not Ogg Vorbis throws, as for Play). Players that cannot do this keep nothing.
    virtual bool QueueNext(const std::string& /*fileName*/) { return false; }
    // Play with next queued before the piece's first block is rendered, so that a piece shorter
    // than the buffer runs on into it too. A next that cannot be loaded is not queued.
    virtual bool PlayThen(const std::string& fileName, bool loop, const std::string& next)
    {
        if (!Play(fileName, loop))
            return false;
        try {
            QueueNext(next);
        } catch (...) {
            // It fails again when it is started, and is passed over then.
        }
        return true;
    }
    // The piece queued has begun: it can no longer be changed or dropped.
    virtual bool NextBegun() { return false; }
    // The piece queued has begun and its first sound has been heard.
    virtual bool NextHeard() { return false; }
    // Makes the piece that has begun the one played: times, loops and the transport are its own
    // from now on. False when none has begun.
    virtual bool TakeNext() { return false; }
};
