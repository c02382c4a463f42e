#pragma once
// What the desktop (media keys, the sound menu, a second start of the program) may see of the
// player and do with it. Each command is one of the player's own buttons or menu items, so the
// windows stay the one truth about playback; the desktop never holds a window.
#include <array>
#include <string>
#include <vector>

class QTimer;
class TDSOggStream;

class IPlayerRemote {
public:
    // The stream player: playing, paused, the file, its length and the heard position.
    virtual TDSOggStream& Stream() = 0;
    // The order of play: a piece ended and the next one is about to start.
    virtual bool NextPlayArmed() const = 0;
    // ".ogg", ".qv", "qv" (closing fade) or "" for the piece heard.
    virtual const std::string& CurrentExtension() const = 0;
    // The loop-count window's value (-1 endless) and whether a plain file repeats.
    virtual int LoopCount() const = 0;
    virtual bool Repeating() const = 0;
    // Sets the loop-count window's value as if it had been closed with it (-1 endless).
    virtual void SetLoopCount(int count) = 0;
    virtual int EntryCount() const = 0;
    // The volume window's bar in hundredths of a decibel; setting it moves the bar.
    virtual int VolumeLevel() const = 0;
    virtual void SetVolumeLevel(int level) = 0;
    // The timers whose ticks see every change of the playback state.
    virtual std::array<QTimer*, 2> StateTimers() const = 0;

    // The tray menu's commands, and a seek as the five-second buttons make one.
    virtual void Play() = 0;
    virtual void Pause() = 0;
    virtual void Stop() = 0;
    virtual void Next() = 0;
    virtual void Previous() = 0;
    virtual void SeekBy(double seconds) = 0;
    // To the piece's own time in the pass being heard (TPlaybackSequence::SeekTo).
    virtual void SeekTo(double seconds) = 0;
    // The main window shown (also from the tray or minimised), the side windows as they were,
    // and all of it in front.
    virtual void RaiseWindows() = 0;
    // As "終了(&X)" does.
    virtual void Quit() = 0;
    // Names handed over from outside: appended to the playlist, the first of them played.
    virtual void TakeIn(const std::vector<std::string>& names) = 0;

protected:
    ~IPlayerRemote() = default;
};
