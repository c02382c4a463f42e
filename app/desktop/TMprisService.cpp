#include "TMprisService.h"

#include "IPlayerRemote.h"
#include "TMprisPlayer.h"
#include "TMprisRoot.h"
#include "TSingleInstance.h"

#include <QDBusConnection>
#include <QTimer>
#include <unistd.h>

TMprisService::TMprisService(IPlayerRemote& player)
{
    if (!TSingleInstance::SessionBusNamed())
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    new TMprisRoot(this, player);
    auto* mediaPlayer = new TMprisPlayer(this, player, TSingleInstance::ObjectPath);
    new TSingleInstance(this, *this, player);
    // Off the bus, the player lets go of the name of TSingleInstance too: later starts would
    // otherwise wait for an object that never comes, and then all be players of their own.
    const auto offTheBus = [&bus] {
        if (TSingleInstance::IsThePlayer())
            bus.unregisterService(TSingleInstance::PlayerName);
    };
    if (!bus.registerObject(TSingleInstance::ObjectPath, this)) {
        offTheBus();
        return;
    }
    // The media keys go to the player that later starts hand their names to; a player of its own
    // beside it (--new-instance, or one that gave up on a player that did not answer) is on the
    // bus under a name of its own.
    QString name = TSingleInstance::ServiceName;
    if (!TSingleInstance::IsThePlayer() || !bus.registerService(name)) {
        name += QStringLiteral(".instance%1").arg(::getpid());
        if (!bus.registerService(name)) {
            bus.unregisterObject(TSingleInstance::ObjectPath);
            offTheBus();
            return;
        }
    }
    name_ = name;
    // The state changes through buttons, menus, the playlist window and the pieces' own ends;
    // the player's timers see each of them within a tick.
    for (QTimer* timer : player.StateTimers())
        connect(timer, &QTimer::timeout, mediaPlayer, &TMprisPlayer::Notice);
}

TMprisService::~TMprisService()
{
    if (name_.isEmpty())
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterService(name_);
    bus.unregisterObject(TSingleInstance::ObjectPath);
    // A start from here on becomes the player instead of waiting for a player that is ending.
    if (TSingleInstance::IsThePlayer())
        bus.unregisterService(TSingleInstance::PlayerName);
}
