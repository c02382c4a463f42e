#pragma once
// TMprisService: the player on the session bus. With a bus the player that holds the name of
// TSingleInstance owns the name org.mpris.MediaPlayer2.ostradivuvirar (any other player takes
// that name with ".instance" and its process id), and answers at /org/mpris/MediaPlayer2
// with the root and player interfaces of the desktop's media controls and the hand-over of
// TSingleInstance. Without a bus, or when it cannot be reached, the player runs as before and
// says nothing. Made after the windows, gone before them.
#include <QDBusContext>
#include <QObject>
#include <QString>

class IPlayerRemote;
class TMprisPlayer;

// A QDBusContext for its adaptors: Qt tells the object, not the adaptor, whom a call came from.
class TMprisService : public QObject, public QDBusContext {
    Q_OBJECT
public:
    explicit TMprisService(IPlayerRemote& player);
    ~TMprisService() override;
    TMprisService(const TMprisService&) = delete;
    TMprisService& operator=(const TMprisService&) = delete;

    // The bus name taken; empty when the player is not on a bus.
    const QString& Name() const { return name_; }

private:
    QString name_;
};
