#pragma once
// TSingleInstance: one player per desktop session. A player started while another runs hands its
// names (files, playlists, folders; made absolute here, since the running player's current
// directory differs) to the running one over the session bus and ends; the running player adds
// them through the intake, plays the first of them and comes to the front.
//
// Who is the player is settled by the bus, not by looking first: every start asks for the name
// PlayerName, which the bus gives to one connection only. The start that gets it is the player and
// keeps the name until it ends; every other start offers its names to that name's owner, and
// tries again for a few seconds while the owner is still making its windows (its object is not
// on the bus yet). So starts that race end with one player holding every name.
//
// An offer the player does not answer in time (the player is stopped or hangs) is withdrawn
// before the start plays the names itself. The withdrawal travels behind the offer on the same
// pair of connections, and the player looks at every message already on its way before it acts
// on an offer, so a player that comes back to life later sees the withdrawal and drops the
// offer: the names are never played twice.
//
// The receiving side is an interface of the player's object on the bus (TMprisService owns it);
// the sending side runs before any window is made. Qt gives the call being answered (its sender)
// to the object an adaptor belongs to, so the owner is a QDBusContext too.
#include <QByteArrayList>
#include <QDBusAbstractAdaptor>
#include <QDBusMessage>
#include <QMap>
#include <QStringList>
#include <string>
#include <vector>

class IPlayerRemote;
class QDBusContext;

class TSingleInstance : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "io.github.ostradivuvirar.OstraDivUvirar.Instance")
public:
    // context: the owner as Qt sees it, for the sender of the call being answered; player:
    // what takes the names in.
    TSingleInstance(QObject* owner, QDBusContext& context, IPlayerRemote& player);

    // The desktop's media-control name of the first player and the object it answers on.
    static const QString ServiceName;
    static const QString ObjectPath;
    // The name whose owner is the player the names go to (the application's own id).
    static const QString PlayerName;

    // True when the environment names a session bus. Without one the program stays off the bus
    // altogether (nothing is started on its behalf).
    static bool SessionBusNamed();
    // Hands args (the program's parameters) to the player. True when it took them: this process
    // then ends. False when this process is to be a player: it got PlayerName (no player ran),
    // or --new-instance was given (PlayerName is taken all the same when free), or there is no
    // session bus, or the player did not answer within a second, or did not get ready within a
    // few seconds.
    static bool HandOver(const std::vector<std::string>& args);
    // True when this process owns PlayerName.
    static bool IsThePlayer();

public slots:
    // The names as bytes ("aay"): a file name need not be valid UTF-8. Taken at once, with no
    // way back; kept for senders of the plain call.
    void Open(const QByteArrayList& names);
    // An offer under the sender's id: the answer, true, comes once the player has taken the
    // names on (they go into the playlist just after it); false when the sender withdrew them
    // first.
    bool Offer(const QString& id, const QByteArrayList& names);
    // The sender gave up waiting for its offer: true when the names will not be taken (or the
    // offer never came), false when they were taken already and the sender has to end.
    bool Withdraw(const QString& id);

private:
    struct TPending {
        QByteArrayList names;
        QDBusMessage call;
    };
    // The sender of the call being answered, with id: the offer's key.
    QString Key(const QString& id) const;
    void Decide(const QString& key);
    // Takes names in as a hand-over does: they are added to the playlist and the first of them
    // plays; then the windows come to the front.
    void TakeIn(const std::vector<std::string>& names);

    QDBusContext& context_;
    IPlayerRemote& player_;
    QMap<QString, TPending> pending_;
    // Offers taken lately, for a withdrawal that crossed the answer.
    QStringList taken_;
};
