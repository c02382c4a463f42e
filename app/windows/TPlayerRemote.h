#pragma once
// The player as the desktop reaches it: the main window's state and handlers, the volume
// window's bar and the playlist window's intake. The side windows come and go, so they are
// looked for at each call.
#include "IPlayerRemote.h"

class TForm1;

class TPlayerRemote : public IPlayerRemote {
public:
    explicit TPlayerRemote(TForm1& main) : main_(main) {}

    TDSOggStream& Stream() override;
    bool NextPlayArmed() const override;
    const std::string& CurrentExtension() const override;
    int LoopCount() const override;
    bool Repeating() const override;
    int EntryCount() const override;
    int VolumeLevel() const override;
    void SetVolumeLevel(int level) override;
    void SetLoopCount(int count) override;
    std::array<QTimer*, 2> StateTimers() const override;

    void Play() override;
    void Pause() override;
    void Stop() override;
    void Next() override;
    void Previous() override;
    void SeekBy(double seconds) override;
    void SeekTo(double seconds) override;
    void RaiseWindows() override;
    void Quit() override;
    void TakeIn(const std::vector<std::string>& names) override;

private:
    TForm1& main_;
};
