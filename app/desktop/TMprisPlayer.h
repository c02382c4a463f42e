#pragma once
// TMprisPlayer: the player interface of the desktop's media controls
// (org.mpris.MediaPlayer2.Player). Every command goes through the handler of the button or tray
// menu item it stands for, so the main window's playback state stays the one truth; the
// properties are read from that state when asked.
//
// Notice() compares what the bus was last told with the state now and sends PropertiesChanged
// for what differs, and Seeked when the heard position jumped. It runs after each command and
// on the main window's timer ticks, so no timer of its own is needed.
#include "DesktopBusRules.h"

#include <QDBusAbstractAdaptor>
#include <QDBusObjectPath>
#include <QElapsedTimer>
#include <QVariantMap>
#include <functional>
#include <string>
#include <vector>

class IPlayerRemote;

class TMprisPlayer : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    // Written out rather than made by Qt, which cannot say that Position is never announced:
    // a listener must ask for it (or follow Seeked) instead of waiting for a change.
    Q_CLASSINFO("D-Bus Introspection",
                "  <interface name=\"org.mpris.MediaPlayer2.Player\">\n"
                "    <property name=\"PlaybackStatus\" type=\"s\" access=\"read\"/>\n"
                "    <property name=\"LoopStatus\" type=\"s\" access=\"readwrite\"/>\n"
                "    <property name=\"Rate\" type=\"d\" access=\"readwrite\"/>\n"
                "    <property name=\"MinimumRate\" type=\"d\" access=\"read\"/>\n"
                "    <property name=\"MaximumRate\" type=\"d\" access=\"read\"/>\n"
                "    <property name=\"Metadata\" type=\"a{sv}\" access=\"read\">\n"
                "      <annotation name=\"org.qtproject.QtDBus.QtTypeName\" value=\"QVariantMap\"/>\n"
                "    </property>\n"
                "    <property name=\"Volume\" type=\"d\" access=\"readwrite\"/>\n"
                "    <property name=\"Position\" type=\"x\" access=\"read\">\n"
                "      <annotation name=\"org.freedesktop.DBus.Property.EmitsChangedSignal\" value=\"false\"/>\n"
                "    </property>\n"
                "    <property name=\"CanGoNext\" type=\"b\" access=\"read\"/>\n"
                "    <property name=\"CanGoPrevious\" type=\"b\" access=\"read\"/>\n"
                "    <property name=\"CanPlay\" type=\"b\" access=\"read\"/>\n"
                "    <property name=\"CanPause\" type=\"b\" access=\"read\"/>\n"
                "    <property name=\"CanSeek\" type=\"b\" access=\"read\"/>\n"
                "    <property name=\"CanControl\" type=\"b\" access=\"read\">\n"
                "      <annotation name=\"org.freedesktop.DBus.Property.EmitsChangedSignal\" value=\"false\"/>\n"
                "    </property>\n"
                "    <method name=\"Play\"/>\n"
                "    <method name=\"Pause\"/>\n"
                "    <method name=\"PlayPause\"/>\n"
                "    <method name=\"Stop\"/>\n"
                "    <method name=\"Next\"/>\n"
                "    <method name=\"Previous\"/>\n"
                "    <method name=\"Seek\">\n"
                "      <arg name=\"Offset\" type=\"x\" direction=\"in\"/>\n"
                "    </method>\n"
                "    <method name=\"SetPosition\">\n"
                "      <arg name=\"TrackId\" type=\"o\" direction=\"in\"/>\n"
                "      <arg name=\"Position\" type=\"x\" direction=\"in\"/>\n"
                "    </method>\n"
                "    <method name=\"OpenUri\">\n"
                "      <arg name=\"Uri\" type=\"s\" direction=\"in\"/>\n"
                "    </method>\n"
                "    <signal name=\"Seeked\">\n"
                "      <arg name=\"Position\" type=\"x\"/>\n"
                "    </signal>\n"
                "  </interface>\n")
    Q_PROPERTY(QString PlaybackStatus READ PlaybackStatus)
    Q_PROPERTY(QString LoopStatus READ LoopStatus WRITE SetLoopStatus)
    Q_PROPERTY(double Rate READ Rate WRITE SetRate)
    Q_PROPERTY(double MinimumRate READ Rate)
    Q_PROPERTY(double MaximumRate READ Rate)
    Q_PROPERTY(QVariantMap Metadata READ Metadata)
    Q_PROPERTY(double Volume READ Volume WRITE SetVolume)
    Q_PROPERTY(qlonglong Position READ Position)
    Q_PROPERTY(bool CanGoNext READ HasEntries)
    Q_PROPERTY(bool CanGoPrevious READ HasEntries)
    Q_PROPERTY(bool CanPlay READ HasEntries)
    Q_PROPERTY(bool CanPause READ HasEntries)
    Q_PROPERTY(bool CanSeek READ CanSeek)
    Q_PROPERTY(bool CanControl READ CanControl)
public:
    // path: the object path the properties are announced from.
    TMprisPlayer(QObject* owner, IPlayerRemote& player, QString path);

    QString PlaybackStatus() const;
    QString LoopStatus() const;
    // Through the loop-count window's value (DesktopBusRules::LoopCountOfStatus).
    void SetLoopStatus(const QString& status);
    // The player plays at its own speed only.
    double Rate() const { return 1.0; }
    void SetRate(double) {}
    QVariantMap Metadata() const;
    // The volume window's bar as a gain (DesktopBusRules::VolumeOfLevel); setting it moves the bar.
    double Volume() const;
    void SetVolume(double volume);
    // The heard position in microseconds, 0 when stopped. It moves all the time, so it is never
    // announced; the interface's description says so to the listeners.
    qlonglong Position() const;
    bool HasEntries() const;
    bool CanSeek() const;
    bool CanControl() const { return true; }

    void Notice();

public slots:
    void Play();
    void Pause();
    void PlayPause();
    void Stop();
    void Next();
    void Previous();
    void Seek(qlonglong offset);
    void SetPosition(const QDBusObjectPath& trackId, qlonglong position);
    void OpenUri(const QString& uri);

signals:
    void Seeked(qlonglong position);

private:
    DesktopBusRules::TStatus Status() const;
    DesktopBusRules::TSnapshot Snapshot();
    // The piece the stream holds, taken anew when its file changed.
    void FollowTrack();
    QDBusObjectPath TrackId() const;
    // Runs a command from the message loop once the reply has gone (a message box it opens must
    // not keep the caller waiting), then tells the bus what changed.
    void Later(std::function<void()> command);
    void Announce(const std::vector<std::string>& names);

    IPlayerRemote& player_;
    QString path_;
    DesktopBusRules::TSnapshot told_;
    std::string trackFile_;
    uint64_t track_ = 0;
    std::string title_;
    std::vector<std::string> artists_;
    std::string album_;
    // The heard position at the last notice and when it was taken, to see jumps.
    qlonglong lastPosition_ = 0;
    QElapsedTimer sinceLast_;
};
