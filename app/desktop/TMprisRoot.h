#pragma once
// TMprisRoot: the root interface of the desktop's media controls (org.mpris.MediaPlayer2): who
// the player is, what it opens, and the two window commands. Raise brings the windows back as a
// left click on the tray icon does; Quit ends the player as "終了(&X)" does.
#include <QDBusAbstractAdaptor>
#include <QStringList>

class IPlayerRemote;

class TMprisRoot : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ Yes)
    Q_PROPERTY(bool CanRaise READ Yes)
    Q_PROPERTY(bool HasTrackList READ No)
    Q_PROPERTY(QString Identity READ Identity)
    Q_PROPERTY(QString DesktopEntry READ DesktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ SupportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ SupportedMimeTypes)
public:
    TMprisRoot(QObject* owner, IPlayerRemote& player);

    bool Yes() const { return true; }
    bool No() const { return false; }
    QString Identity() const;
    QString DesktopEntry() const;
    QStringList SupportedUriSchemes() const;
    QStringList SupportedMimeTypes() const;

public slots:
    void Raise();
    void Quit();

private:
    IPlayerRemote& player_;
};
