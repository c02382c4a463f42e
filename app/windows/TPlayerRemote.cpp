#include "TPlayerRemote.h"

#include "Unit1.h"
#include "Unit2.h"
#include "Unit3.h"
#include "Unit4.h"

#include <QListWidget>
#include <QScrollBar>
#include <QSpinBox>

TDSOggStream& TPlayerRemote::Stream()
{
    return main_.OggStream;
}

bool TPlayerRemote::NextPlayArmed() const
{
    return main_.Sequence.NextPlayArmed();
}

const std::string& TPlayerRemote::CurrentExtension() const
{
    return main_.CurrentExt;
}

int TPlayerRemote::LoopCount() const
{
    return main_.LoopCountValue();
}

bool TPlayerRemote::Repeating() const
{
    return main_.LoopSwitch;
}

int TPlayerRemote::EntryCount() const
{
    return main_.OggFileList->count();
}

int TPlayerRemote::VolumeLevel() const
{
    return Form4 != nullptr ? Form4->VolumeBar->value() : main_.Settings.VolumeLevel;
}

void TPlayerRemote::SetVolumeLevel(int level)
{
    // Through the volume window's bar, whose change handler reaches the stream and the settings.
    if (Form4 != nullptr)
        Form4->VolumeBar->setValue(level);
}

void TPlayerRemote::SetLoopCount(int count)
{
    // The window's value, the record it is restored from and the repeat switch its close sets,
    // so the count holds whether the window is open or not.
    if (Form3 != nullptr && Form3->LoopCount != nullptr)
        Form3->LoopCount->setValue(count);
    main_.Settings.LoopTimes = static_cast<int32_t>(count);
    main_.LoopSwitch = count != 0;
}

std::array<QTimer*, 2> TPlayerRemote::StateTimers() const
{
    // Timer1 is off while the windows are in the tray, Timer3 never.
    return {main_.Timer1, main_.Timer3};
}

void TPlayerRemote::Play()
{
    main_.P1Click();
}

void TPlayerRemote::Pause()
{
    main_.A1Click();
}

void TPlayerRemote::Stop()
{
    main_.S2Click();
}

void TPlayerRemote::Next()
{
    main_.N2Click();
}

void TPlayerRemote::Previous()
{
    main_.B1Click();
}

void TPlayerRemote::SeekBy(double seconds)
{
    main_.FollowSequence(main_.Sequence.SeekBy(static_cast<float>(seconds)));
}

void TPlayerRemote::SeekTo(double seconds)
{
    main_.Sequence.SeekTo(static_cast<float>(seconds));
}

void TPlayerRemote::RaiseWindows()
{
    main_.TrayCallback(QSystemTrayIcon::Trigger);
    if (main_.isMinimized())
        main_.showNormal();
    main_.raise();
    main_.activateWindow();
}

void TPlayerRemote::Quit()
{
    main_.CloseWindowClick();
}

void TPlayerRemote::TakeIn(const std::vector<std::string>& names)
{
    if (Form2 != nullptr && Form2->Intake)
        Form2->Intake->HandOver(names);
}
