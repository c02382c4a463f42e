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
#include <cmath>
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
    pieceShown_ = true;
    emptyTitleStale_ = true;
    heldAt_ = -1.0f;
    if (Form2 != nullptr && Form2->Playlist)
        Form2->Playlist->MarkPlaying(index);
    titleIndex_ = index + 1;
    titleName_ = Form2 != nullptr && Form2->Playlist ? Form2->Playlist->Name(index)
                                                     : Utf8ToSjis(Paths::ExtractFileName(PlaylistCursor.PathAt(index)));
    titleMark_ = Sequence.LoopMark(LoopCountValue());
    titleNote_.clear();
    titleScrolled_ = 0;
    NoteRefusedLoopTags(PlaylistCursor.PathAt(index));
    ShowTitle();
    DisplayText::SetLabelCaption(LTotalTime, CaptionText::TimeText(OggStream.GetTotalTime()));
    // The entry that follows is loaded now, so that even a short piece runs on into it.
    Sequence.QueueFollowing(LoopCountValue());
}

void TForm1::ShowTitle()
{
    // Built by appending: GCC 12 warns falsely (-Wrestrict) about the chain of operator+. The
    // application's title keeps the plain form: it names the window, which should not change
    // with every pass. A piece whose entry has been deleted keeps its name without a number.
    std::string number;
    if (titleIndex_ > 0)
        number.append("[").append(std::to_string(titleIndex_));
    std::string plain = number;
    if (!number.empty())
        plain.append("] ");
    plain.append(titleName_);
    TMessages::SetTitle(SjisToQString(plain));
    std::string caption = number;
    if (!titleMark_.empty())
        caption.append(number.empty() ? "[" : " ").append(titleMark_);
    if (!caption.empty())
        caption.append("] ");
    caption.append(titleName_);
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
    if (mark == titleMark_ || !pieceShown_)
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
    // Nothing started, or the face cleared: the stopped stream's last time is not shown again.
    if (pieceShown_ && Sequence.TimeTick())
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

namespace {
// The piece that follows has begun in the stream a second or two before it is heard. From then
// on the check runs every 20 ms instead of once a second, so that the entry is shown, and the one
// after it queued, as soon as it is heard: a short piece would otherwise end before its follower
// was queued.
void WatchNextPiece(TForm1& form)
{
    auto* poll = form.findChild<QTimer*>(QStringLiteral("NextPieceTimer"), Qt::FindDirectChildrenOnly);
    if (poll == nullptr) {
        poll = new QTimer(&form);
        poll->setObjectName(QStringLiteral("NextPieceTimer"));
        poll->setInterval(20);
        QObject::connect(poll, &QTimer::timeout, &form, [&form, poll] {
            if (!form.OggStream.NextBegun())
                poll->stop();
            else if (form.OggStream.NextHeard())
                form.Timer3Timer();
        });
    }
    if (form.OggStream.NextBegun() && !poll->isActive())
        poll->start();
}
}

void TForm1::Timer3Timer()
{
    FollowSequence(Sequence.Timer3Tick(LoopCountValue()));
    FollowLoopMark();
    WatchNextPiece(*this);
}

void TForm1::NextPlayTimerTimer()
{
    FollowSequence(Sequence.NextPlayTick(LoopCountValue()));
}

void TForm1::FollowPlaylist()
{
    followQueued_ = false;
    const TPlaylist* list = Form2 != nullptr ? Form2->Playlist.get() : nullptr;
    if (list == nullptr)
        return;
    if (!pieceShown_) {
        ShowEmptyTitle();
        return;
    }
    const int index = list->Playing() + 1;
    if (index != titleIndex_) {
        titleIndex_ = index;
        ShowTitle();
    }
}

void TForm1::QueueFollowPlaylist()
{
    // Moves take an entry out and put it back; the title follows once the change is whole.
    if (followQueued_)
        return;
    followQueued_ = true;
    QTimer::singleShot(0, this, [this] { FollowPlaylist(); });
}

void TForm1::ShowEmptyTitle()
{
    // An empty player says how music gets in; a list with nothing started shows no title.
    const bool empty = Form2 == nullptr || !Form2->Playlist || Form2->Playlist->Count() == 0;
    const std::string text = empty ? CaptionText::PadCaption(Utf8ToSjis(EmptyTitle)) : std::string();
    if (!emptyTitleStale_ && text == emptyTitleShown_)
        return;  // as it is, and scrolled as far as it has scrolled
    emptyTitleStale_ = false;
    emptyTitleShown_ = text;
    DisplayText::SetLabelCaption(LTitle, text);
}

TKeptPlaylist::TEnd TForm1::KeptEnd()
{
    TKeptPlaylist::TEnd end;
    // A piece that has ended (or fades out after its last pass) is not taken up again.
    const bool over = Sequence.NextPlayArmed() || (CurrentExt != ".ogg" && CurrentExt != ".qv");
    const bool paused = OggStream.IsPaused();
    end.going = pieceShown_ && !over && (paused || OggStream.IsPlaying());
    if (end.going) {
        end.state.paused = paused;
        // Still held where a start left it paused: the place kept then (the buffer's own time
        // stands where its first block began).
        const bool held = paused && heldAt_ >= 0.0f && std::fabs(OggStream.GetPauseTime() - heldPause_) < 0.001f;
        end.state.position = held ? heldAt_ : OggStream.GetOutputTime();
    }
    if (Form2 != nullptr) {
        end.state.listWidth = Form2->width();
        end.state.listHeight = Form2->height();
    }
    return end;
}

void TForm1::ResumeEntry(const TKeptPlaylist::TResume& resume)
{
    const float at = static_cast<float>(resume.state.position);
    const bool paused = resume.state.paused;
    // The piece starts at its place; one that comes back paused is silent from its first block.
    OggStream.SetPrepare([this, at, paused](TOggData& data) {
        if (at > 0.0f)
            data.TimeSeek(at);
        if (paused)
            OggStream.SetMute(true);
    });
    PlayEntry(resume.entry);
    OggStream.SetPrepare({});
    if (!paused || !OggStream.IsPlaying())
        return;
    A1Click();
    OggStream.SetMute(false);
    // The pause took the decoder's place, ahead of what was heard: back to the place kept, which
    // the held buffer then starts with (the pause time stays the decoder's, a block on).
    Sequence.SeekTo(at);
    heldAt_ = at;
    heldPause_ = OggStream.GetPauseTime();
    TFaceDisplay::SetCaption(LTime, CaptionText::TimeText(at));
}

void TForm1::ShowNothingPlays()
{
    pieceShown_ = false;
    emptyTitleStale_ = true;  // whatever the label shows now, the empty title is set afresh
    titleIndex_ = 0;
    titleName_.clear();
    titleMark_.clear();
    titleNote_.clear();
    titleScrolled_ = 0;
    TMessages::SetTitle(QStringLiteral("OstraDivUvirar"));
    SetTrayTip("Ostra Ogg Player");
    ShownSeconds = 0;
    ShownTenths = 0;
    DisplayText::SetLabelCaption(LTime, "0:00.0");
    DisplayText::SetLabelCaption(LTotalTime, "0:00.0");
    if (Form2 != nullptr && Form2->Playlist)
        Form2->Playlist->MarkPlaying(-1);
    ShowEmptyTitle();
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
    // Every start keeps the list of the last run: names given are added to it and the first of
    // them plays, as a second start hands its names to the running player. Without names (or
    // when none of them could be added) the kept piece goes on as it was left: playing, or
    // paused at its place.
    if (Form2 == nullptr || !Form2->Playlist || !Form2->Intake)
        return;
    const TKeptPlaylist::TResume resume =
        AppDir.empty() ? TKeptPlaylist::TResume{} : TKeptPlaylist::Restore(Paths::SettingsDir(AppDir), *Form2->Playlist);
    if (!params.empty() && Form2->Intake->HandOver(params, TFileIntake::Source::CommandLine))
        return;
    if (resume.state.listWidth > 0)
        Form2->resize(resume.state.listWidth, resume.state.listHeight);
    if (resume.entry >= 0)
        ResumeEntry(resume);
}

void TForm1::dropEvent(QDropEvent* event)
{
    if (const auto names = TFileIntake::AcceptFileDrop(event))
        WMDropFiles(*names);
}
