#include "TMprisPlayer.h"

#include "OggDataLib.h"
#include "Paths.h"
#include "PlaylistRules.h"
#include "TSingleInstance.h"
#include "TStringList.h"
#include "Unit1.h"
#include "Unit4.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFile>
#include <QListWidget>
#include <QScrollBar>
#include <QTimer>
#include <cstdlib>

using namespace DesktopBusRules;

namespace {
// A heard position further than this from where steady play would have brought it is a jump.
constexpr qlonglong JumpMicroseconds = 1'200'000;

// The "title" comment in UTF-8 as the file holds it; empty when it has none or cannot be read.
std::string CommentTitle(const std::string& file)
{
    try {
        TStringList comments;
        if (TOggData::ReadComments(file, comments))
            return comments.Values("title");
    } catch (...) {
        // Not Ogg Vorbis after all: the file name stands in.
    }
    return std::string();
}
}

TMprisPlayer::TMprisPlayer(QObject* owner, TForm1& form, QString path)
    : QDBusAbstractAdaptor(owner), form_(form), path_(std::move(path))
{
    // The first notice sends what differs from this.
    told_ = Snapshot();
    sinceLast_.start();
}

TStatus TMprisPlayer::Status() const
{
    TPlaybackFacts facts;
    facts.nextPlayArmed = form_.Sequence.NextPlayArmed();
    facts.currentExt = form_.CurrentExt;
    facts.paused = form_.OggStream.IsPaused();
    facts.playing = form_.OggStream.IsPlaying();
    return DesktopBusRules::Status(facts);
}

QString TMprisPlayer::PlaybackStatus() const
{
    return QString::fromLatin1(StatusName(Status()));
}

QString TMprisPlayer::LoopStatus() const
{
    return QString::fromLatin1(DesktopBusRules::LoopStatus(form_.LoopCountValue(), form_.LoopSwitch, form_.CurrentExt));
}

void TMprisPlayer::FollowTrack()
{
    const std::string& file = form_.OggStream.GetFileName();
    if (file == trackFile_)
        return;
    trackFile_ = file;
    ++track_;
    title_ = file.empty() ? std::string() : CommentTitle(file);
}

QDBusObjectPath TMprisPlayer::TrackId() const
{
    if (trackFile_.empty())
        return QDBusObjectPath(QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack"));
    return QDBusObjectPath(QStringLiteral("/io/github/ostradivuvirar/OstraDivUvirar/track/%1").arg(track_));
}

QVariantMap TMprisPlayer::Metadata() const
{
    QVariantMap map;
    map.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(TrackId()));
    if (trackFile_.empty())
        return map;
    map.insert(QStringLiteral("mpris:length"), static_cast<qlonglong>(Microseconds(form_.OggStream.GetTotalTime())));
    map.insert(QStringLiteral("xesam:title"),
               title_.empty() ? QFile::decodeName(QByteArray::fromStdString(Paths::ExtractFileName(trackFile_)))
                              : QString::fromUtf8(title_.data(), static_cast<qsizetype>(title_.size())));
    map.insert(QStringLiteral("xesam:url"), QString::fromLatin1(FileUrl(trackFile_).c_str()));
    return map;
}

double TMprisPlayer::Volume() const
{
    return VolumeOfLevel(Form4 != nullptr ? Form4->VolumeBar->value() : form_.Settings.VolumeLevel);
}

void TMprisPlayer::SetVolume(double volume)
{
    // Through the volume window's bar, whose change handler reaches the stream and the settings.
    if (Form4 != nullptr)
        Form4->VolumeBar->setValue(LevelOfVolume(volume));
    Notice();
}

qlonglong TMprisPlayer::Position() const
{
    if (Status() == TStatus::Stopped)
        return 0;
    return Microseconds(form_.OggStream.GetOutputTime());
}

bool TMprisPlayer::HasEntries() const
{
    return form_.OggFileList->count() > 0;
}

bool TMprisPlayer::CanSeek() const
{
    return HasEntries() && form_.OggStream.IsPlaying() && !form_.OggStream.IsPaused();
}

TSnapshot TMprisPlayer::Snapshot()
{
    FollowTrack();
    TSnapshot s;
    s.status = Status();
    s.track = track_;
    s.title = title_;
    s.url = trackFile_;
    s.length = Microseconds(form_.OggStream.GetTotalTime());
    s.volumeLevel = Form4 != nullptr ? Form4->VolumeBar->value() : form_.Settings.VolumeLevel;
    s.loopStatus = DesktopBusRules::LoopStatus(form_.LoopCountValue(), form_.LoopSwitch, form_.CurrentExt);
    s.hasEntries = HasEntries();
    s.canSeek = CanSeek();
    return s;
}

void TMprisPlayer::Notice()
{
    const TSnapshot now = Snapshot();
    const std::vector<std::string> changed = ChangedProperties(told_, now);
    const bool sameTrack = now.track == told_.track;
    told_ = now;
    if (!changed.empty())
        Announce(changed);

    const qlonglong position = Position();
    const qlonglong expected =
        lastPosition_ + (now.status == TStatus::Playing ? sinceLast_.elapsed() * 1000 : 0);
    if (sameTrack && now.status != TStatus::Stopped && std::llabs(position - expected) > JumpMicroseconds)
        emit Seeked(position);
    lastPosition_ = position;
    sinceLast_.restart();
}

void TMprisPlayer::Announce(const std::vector<std::string>& names)
{
    QVariantMap values;
    for (const std::string& name : names)
        values.insert(QString::fromStdString(name), property(name.c_str()));
    QDBusMessage signal = QDBusMessage::createSignal(path_, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                     QStringLiteral("PropertiesChanged"));
    signal << QStringLiteral("org.mpris.MediaPlayer2.Player") << values << QStringList();
    QDBusConnection::sessionBus().send(signal);
}

void TMprisPlayer::Later(std::function<void()> command)
{
    QTimer::singleShot(0, this, [this, command = std::move(command)] {
        command();
        Notice();
    });
}

// Play and pause act only where they change something: the tray menu's own commands would
// start a playing piece again, or resume a pause.
void TMprisPlayer::Play()
{
    Later([this] {
        if (Status() != TStatus::Playing)
            form_.P1Click();
    });
}

void TMprisPlayer::Pause()
{
    Later([this] {
        if (form_.OggStream.IsPlaying() && !form_.OggStream.IsPaused())
            form_.A1Click();
    });
}

void TMprisPlayer::PlayPause()
{
    Later([this] {
        if (form_.OggStream.IsPlaying() && !form_.OggStream.IsPaused())
            form_.A1Click();
        else if (Status() != TStatus::Playing)
            form_.P1Click();
    });
}

void TMprisPlayer::Stop()
{
    Later([this] { form_.S2Click(); });
}

void TMprisPlayer::Next()
{
    Later([this] {
        if (HasEntries())
            form_.N2Click();
    });
}

void TMprisPlayer::Previous()
{
    Later([this] {
        if (HasEntries())
            form_.B1Click();
    });
}

void TMprisPlayer::Seek(qlonglong offset)
{
    Later([this, offset] {
        if (!CanSeek())
            return;
        const double step = SeekStep(static_cast<double>(offset) / 1e6, form_.OggStream.GetOutputTime());
        form_.FollowSequence(form_.Sequence.SeekBy(static_cast<float>(step)));
    });
}

void TMprisPlayer::SetPosition(const QDBusObjectPath& trackId, qlonglong position)
{
    Later([this, trackId, position] {
        // A position for a piece that is no longer the one heard, or outside it, is passed over.
        if (!CanSeek() || trackId != TrackId() || position < 0 ||
            position > Microseconds(form_.OggStream.GetTotalTime()))
            return;
        const double step = static_cast<double>(position) / 1e6 - form_.OggStream.GetOutputTime();
        form_.FollowSequence(form_.Sequence.SeekBy(static_cast<float>(step)));
    });
}

void TMprisPlayer::OpenUri(const QString& uri)
{
    // Only local files: another scheme, or a file on another host, names nothing to play.
    const std::string path = PlaylistRules::DecodeFileUri(uri.toStdString());
    if (path.empty())
        return;
    Later([path] { TSingleInstance::TakeIn({path}, false); });
}
