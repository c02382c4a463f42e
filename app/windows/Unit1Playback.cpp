// TForm1's playback half: the transport buttons, the tray menu, the timers and the file intake
// through the window. The window's set-up, menus, tray and skins are in Unit1.cpp.
#include "Unit1.h"

#include "CaptionText.h"
#include "DisplayText.h"
#include "Paths.h"
#include "SjisConv.h"
#include "TFaceDisplay.h"
#include "TFileIntake.h"
#include "TKeptPlaylist.h"
#include "TMessages.h"
#include "TSpeedButton.h"
#include "Unit2.h"
#include "Unit3.h"

#include <QListWidget>
#include <QSpinBox>
#include <QTimer>
#include <algorithm>
#include <cstdint>
#include <cstdio>

// ---- Playback: the transport buttons, the tray menu and the timers ----

int TForm1::CurrentEntry() const
{
    return OggFileList->currentRow();
}

int TForm1::LoopCountValue() const
{
    if (Form3 != nullptr && Form3->LoopCount != nullptr)
        return static_cast<int16_t>(Form3->LoopCount->value());
    return static_cast<int16_t>(static_cast<uint32_t>(Settings.LoopTimes) & 0xFFFFu);
}

void TForm1::SyncNextPlayTimer()
{
    if (Sequence.NextPlayArmed() && !NextPlayTimer->isActive())
        NextPlayTimer->start();
    else if (!Sequence.NextPlayArmed() && NextPlayTimer->isActive())
        NextPlayTimer->stop();
}

void TForm1::FollowSequence(bool playCurrent)
{
    SyncNextPlayTimer();
    if (playCurrent)
        PlayEntry(CurrentEntry());
}

void TForm1::PlayEntry(int index)
{
    // Buttons, menus, timers and the desktop's commands all come here: a fault ends here with
    // its message, and the next tick or command goes on as usual.
    try {
        StartEntry(index);
    } catch (...) {
        TMessages::ShowFailure("再生失敗: " + Paths::ExtractFileName(PlaylistCursor.PathAt(index)));
    }
}

void TForm1::StartEntry(int index)
{
    const TPlaybackSequence::TStart start = Sequence.PlayEntry(index);
    SyncNextPlayTimer();
    if (start == TPlaybackSequence::TStart::Ignored)
        return;
    if (start == TPlaybackSequence::TStart::Failed) {
        EntryFailed(index);
        return;
    }
    titleIndex_ = index + 1;
    titleName_ = Form2 != nullptr && Form2->Playlist ? Form2->Playlist->Name(index)
                                                     : Utf8ToSjis(Paths::ExtractFileName(PlaylistCursor.PathAt(index)));
    titleMark_ = Sequence.LoopMark(LoopCountValue());
    titleNote_.clear();
    titleScrolled_ = 0;
    NoteRefusedLoopTags(PlaylistCursor.PathAt(index));
    // Built by appending: GCC 12 warns falsely (-Wrestrict) about the chain of operator+. The
    // application's title keeps the plain form: it names the window, which should not change
    // with every pass.
    std::string caption = "[";
    caption.append(std::to_string(titleIndex_)).append("] ").append(titleName_);
    TMessages::SetTitle(SjisToQString(caption));
    ShowTitle();
    DisplayText::SetLabelCaption(LTotalTime, CaptionText::TimeText(OggStream.GetTotalTime()));
}

void TForm1::ShowTitle()
{
    std::string caption = "[";
    caption.append(std::to_string(titleIndex_));
    if (!titleMark_.empty())
        caption.append(" ").append(titleMark_);
    caption.append("] ").append(titleName_);
    SetTrayTip(caption);
    if (!titleNote_.empty())
        caption.append("  ").append(titleNote_);
    // Scrolled as far as the caption it replaces, so that a new pass does not throw the title
    // back to its start.
    std::string shown = CaptionText::PadCaption(caption);
    titleCharacters_ = CaptionText::Characters(shown);
    for (int i = 0; titleCharacters_ > 0 && i < titleScrolled_ % titleCharacters_; ++i)
        shown = CaptionText::ScrollCaption(shown);
    DisplayText::SetLabelCaption(LTitle, shown);
}

void TForm1::FollowLoopMark()
{
    const std::string mark = Sequence.LoopMark(LoopCountValue());
    if (mark == titleMark_ || titleIndex_ == 0)
        return;
    titleMark_ = mark;
    ShowTitle();
}

void TForm1::NoteRefusedLoopTags(const std::string& path)
{
    const TOggData* data = OggStream.GetOggData();
    if (data == nullptr || data->LoopTags.Result != TTaggedLoop::Bad)
        return;
    if (std::find(tagsNoted_.begin(), tagsNoted_.end(), path) != tagsNoted_.end())
        return;
    tagsNoted_.push_back(path);
    // Play goes on without the loop; the listener learns why without a box in the way.
    std::fprintf(stderr, "ostradivuvirar: %s: loop tags refused, played without a loop: %s\n", path.c_str(),
                 data->LoopTags.Message.c_str());
    std::fflush(stderr);
    titleNote_ = Utf8ToSjis("(ループタグ無効: " + data->LoopTags.Message + ")");
}

void TForm1::EntryFailed(int index)
{
    // The entry stays in the list and the next one is tried; a list of which nothing plays
    // stops after one round. The display keeps its texts.
    std::string message = "再生失敗: " + Paths::ExtractFileName(PlaylistCursor.PathAt(index));
    if (!Sequence.FailureText().empty())
        message += "\n" + Sequence.FailureText();
    // The next entry starts from the event loop, so the music goes on while the message box
    // waits for its click; a failure meanwhile shows no second box.
    if (Sequence.StartFailed())
        QTimer::singleShot(0, this, [this] { PlayEntry(CurrentEntry()); });
    if (failureShown_)
        return;
    failureShown_ = true;
    TMessages::ShowMessage(message);
    failureShown_ = false;
}

void TForm1::bPlayClick(TSpeedButton* sender)
{
    if (sender != nullptr)
        FollowSequence(Sequence.ButtonPressed(sender->Tag()));
}

void TForm1::P1Click()
{
    FollowSequence(Sequence.PlayPressed());
}

void TForm1::A1Click()
{
    Sequence.PausePressed();
}

void TForm1::S2Click()
{
    Sequence.StopPressed();
}

void TForm1::N2Click()
{
    FollowSequence(Sequence.NextPressed());
}

void TForm1::B1Click()
{
    FollowSequence(Sequence.BackPressed());
}

void TForm1::Timer1Timer()
{
    if (Sequence.TimeTick())
        TFaceDisplay::SetCaption(LTime, CaptionText::TimeText(ShownSeconds, ShownTenths));
}

void TForm1::Timer2Timer()
{
    TFaceDisplay::ScrollCaption(LTitle);
    ++titleScrolled_;
    // The note of refused loop tags stands for the title's first pass only.
    if (!titleNote_.empty() && titleScrolled_ >= titleCharacters_) {
        titleNote_.clear();
        titleScrolled_ = 0;
        ShowTitle();
    }
}

void TForm1::Timer3Timer()
{
    FollowSequence(Sequence.Timer3Tick(LoopCountValue()));
    FollowLoopMark();
}

void TForm1::NextPlayTimerTimer()
{
    FollowSequence(Sequence.NextPlayTick(LoopCountValue()));
}

void TForm1::PlayFirstEntry()
{
    FollowSequence(Sequence.PlayFirst());
}

// ---- File intake: the drop on the window and the command line ----

namespace {
// The intake is the playlist window's; without that window nothing is taken in.
bool ReplacePlaylist(const std::vector<std::string>& names, TFileIntake::Source source)
{
    return Form2 != nullptr && Form2->Intake && Form2->Intake->ReplacePlaylist(names, source);
}
}

void TForm1::WMDropFiles(const std::vector<std::string>& names)
{
    if (ReplacePlaylist(names, TFileIntake::Source::Drop))
        PlayFirstEntry();
}

void TForm1::LoadCommandLine()
{
    LoadCommandLine(TFileIntake::CommandLineNames());
}

void TForm1::LoadCommandLine(const std::vector<std::string>& params)
{
    if (params.empty()) {
        // Started without names: the list of the last run comes back, and plays on only when
        // it was playing at the end.
        if (Form2 == nullptr || !Form2->Playlist || AppDir.empty())
            return;
        const int playing = TKeptPlaylist::Restore(Paths::SettingsDir(AppDir), *Form2->Playlist);
        if (playing >= 0)
            PlayEntry(playing);
        return;
    }
    if (ReplacePlaylist(params, TFileIntake::Source::CommandLine))
        PlayFirstEntry();
}

void TForm1::dropEvent(QDropEvent* event)
{
    if (const auto names = TFileIntake::AcceptFileDrop(event))
        WMDropFiles(*names);
}
