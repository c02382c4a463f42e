#pragma once
// TSingleInstance: one player per desktop session. A player started while another runs hands its
// names (files, playlists, folders; made absolute here, since the running player's current
// directory differs) to the running one over the session bus and ends; the running player adds
// them through the intake, plays the first of them and comes to the front.
//
// The receiving side is an interface of the player's object on the bus (TMprisService owns it);
// the sending side runs before any window is made.
#include <QByteArrayList>
#include <QDBusAbstractAdaptor>
#include <string>
#include <vector>

class TSingleInstance : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "io.github.ostradivuvirar.OstraDivUvirar.Instance")
public:
    explicit TSingleInstance(QObject* owner);

    // The bus name of the first player and the object it answers on.
    static const QString ServiceName;
    static const QString ObjectPath;
    // The option that starts a player of its own.
    static const char NewInstanceOption[];

    // True when the environment names a session bus. Without one the program stays off the bus
    // altogether (nothing is started on its behalf).
    static bool SessionBusNamed();
    // Hands args (the program's parameters) to a running player. True when it took them: this
    // process then ends. False with --new-instance, without a session bus, when no player runs,
    // and when the running one does not answer within a second.
    static bool HandOver(const std::vector<std::string>& args);
    // Takes names in as a hand-over does: they are added to the playlist and the first of them
    // plays; with raise, the windows come to the front afterwards.
    static void TakeIn(const std::vector<std::string>& names, bool raise);

public slots:
    // The names as bytes ("aay"): a file name need not be valid UTF-8.
    void Open(const QByteArrayList& names);
};
