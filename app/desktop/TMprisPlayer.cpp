#include "TMprisPlayer.h"

#include "IPlayerRemote.h"
#include "OggDataLib.h"
#include "Paths.h"
#include "PlaylistRules.h"
#include "TStringList.h"
#include "TDSOggStream.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFile>
#include <QStringList>
#include <QTimer>
#include <cstdlib>

using namespace DesktopBusRules;

namespace {
// A heard position further than this from where steady play would have brought it is a jump.
constexpr qlonglong JumpMicroseconds = 1'200'000;

// The file's comments (UTF-8 as the file holds them); none when it cannot be read.
TStringList Comments(const std::string& file)
{
    TStringList comments;
    try {
        TOggData::ReadComments(file, comments);
    } catch (...) {
        // Not Ogg Vorbis after all: the file name stands in for the title.
        comments.Clear();
    }
    return comments;
}

QString Utf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
}

TMprisPlayer::TMprisPlayer(QObject* owner, IPlayerRemote& player, QString path)
    : QDBusAbstractAdaptor(owner), player_(player), path_(std::move(path))
{
    // The first notice sends what differs from this.
    told_ = Snapshot();
    sinceLast_.start();
}

TStatus TMprisPlayer::Status() const
{
    TPlaybackFacts facts;
    facts.nextPlayArmed = player_.NextPlayArmed();
    facts.currentExt = player_.CurrentExtension();
    facts.paused = player_.Stream().IsPaused();
    facts.playing = player_.Stream().IsPlaying();
    return DesktopBusRules::Status(facts);
}

QString TMprisPlayer::PlaybackStatus() const
{
    return QString::fromLatin1(StatusName(Status()));
}

QString TMprisPlayer::LoopStatus() const
{
    return QString::fromLatin1(DesktopBusRules::LoopStatus(player_.LoopCount(), player_.Repeating(),
                                                           player_.CurrentExtension(), player_.Stream().HasEndlessLoop()));
}

void TMprisPlayer::SetLoopStatus(const QString& status)
{
    const std::optional<int> count = LoopCountOfStatus(status.toStdString(), player_.LoopCount());
    // Playlist keeps the count, and the repeat switch with it, untouched.
    if (!count || status == QLatin1String("Playlist"))
        return;
    player_.SetLoopCount(*count);
    Notice();
}

void TMprisPlayer::FollowTrack()
{
    const std::string& file = player_.Stream().GetFileName();
    if (file == trackFile_)
        return;
    trackFile_ = file;
    ++track_;
    const TStringList comments = file.empty() ? TStringList() : Comments(file);
    title_ = comments.Values("title");
    artists_ = comments.AllValues("artist");
    album_ = comments.Values("album");
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
    map.insert(QStringLiteral("mpris:length"), static_cast<qlonglong>(Microseconds(player_.Stream().GetTotalTime())));
    map.insert(QStringLiteral("xesam:title"),
               title_.empty() ? QFile::decodeName(QByteArray::fromStdString(Paths::ExtractFileName(trackFile_)))
                              : Utf8(title_));
    if (!artists_.empty()) {
        QStringList artists;
        for (const std::string& artist : artists_)
            artists.append(Utf8(artist));
        map.insert(QStringLiteral("xesam:artist"), artists);
    }
    if (!album_.empty())
        map.insert(QStringLiteral("xesam:album"), Utf8(album_));
    map.insert(QStringLiteral("xesam:url"), QString::fromLatin1(FileUrl(trackFile_).c_str()));
    return map;
}

double TMprisPlayer::Volume() const
{
    return VolumeOfLevel(player_.VolumeLevel());
}

void TMprisPlayer::SetVolume(double volume)
{
    player_.SetVolumeLevel(LevelOfVolume(volume));
    Notice();
}

qlonglong TMprisPlayer::Position() const
{
    if (Status() == TStatus::Stopped)
        return 0;
    return Microseconds(player_.Stream().GetOutputTime());
}

bool TMprisPlayer::HasEntries() const
{
    return player_.EntryCount() > 0;
}

bool TMprisPlayer::CanSeek() const
{
    // A paused piece moves too: the five-second buttons work on it, and so does the bus.
    const TStatus status = Status();
    return HasEntries() && (status == TStatus::Paused ||
                            (status == TStatus::Playing && player_.Stream().IsPlaying() && !player_.Stream().IsPaused()));
}

TSnapshot TMprisPlayer::Snapshot()
{
    FollowTrack();
    TSnapshot s;
    s.status = Status();
    s.track = track_;
    s.title = title_;
    s.url = trackFile_;
    s.length = Microseconds(player_.Stream().GetTotalTime());
    s.volumeLevel = player_.VolumeLevel();
    s.loopStatus = DesktopBusRules::LoopStatus(player_.LoopCount(), player_.Repeating(), player_.CurrentExtension(),
                                               player_.Stream().HasEndlessLoop());
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
            player_.Play();
    });
}

void TMprisPlayer::Pause()
{
    Later([this] {
        if (player_.Stream().IsPlaying() && !player_.Stream().IsPaused())
            player_.Pause();
    });
}

void TMprisPlayer::PlayPause()
{
    Later([this] {
        if (player_.Stream().IsPlaying() && !player_.Stream().IsPaused())
            player_.Pause();
        else if (Status() != TStatus::Playing)
            player_.Play();
    });
}

void TMprisPlayer::Stop()
{
    Later([this] { player_.Stop(); });
}

void TMprisPlayer::Next()
{
    Later([this] {
        if (HasEntries())
            player_.Next();
    });
}

void TMprisPlayer::Previous()
{
    Later([this] {
        if (HasEntries())
            player_.Previous();
    });
}

void TMprisPlayer::Seek(qlonglong offset)
{
    Later([this, offset] {
        if (!CanSeek())
            return;
        const double step = SeekStep(static_cast<double>(offset) / 1e6, player_.Stream().GetOutputTime());
        player_.SeekBy(step);
    });
}

void TMprisPlayer::SetPosition(const QDBusObjectPath& trackId, qlonglong position)
{
    Later([this, trackId, position] {
        // A position for a piece that is no longer the one heard, or outside it, is passed over.
        if (!CanSeek() || trackId != TrackId() || position < 0 ||
            position > Microseconds(player_.Stream().GetTotalTime()))
            return;
        // The piece's own time, as Position and the length give it, in the pass being heard: the
        // passes heard stay, and a place in what follows a loop still to jump back is passed
        // over (it is heard only after the last pass).
        player_.SeekTo(static_cast<double>(position) / 1e6);
    });
}

void TMprisPlayer::OpenUri(const QString& uri)
{
    // Only local files: another scheme, or a file on another host, names nothing to play.
    const std::string path = PlaylistRules::DecodeFileUri(uri.toStdString());
    if (path.empty())
        return;
    Later([this, path] { player_.TakeIn({path}); });
}
