#include "TSingleInstance.h"

#include "IPlayerRemote.h"
#include "Paths.h"
#include "ProgramOptions.h"
#include "PlaylistRules.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMetaType>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <cstdlib>

const QString TSingleInstance::ServiceName = QStringLiteral("org.mpris.MediaPlayer2.ostradivuvirar");
const QString TSingleInstance::ObjectPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString TSingleInstance::PlayerName = QStringLiteral("io.github.ostradivuvirar.OstraDivUvirar");

namespace {
const QString InstanceInterface = QStringLiteral("io.github.ostradivuvirar.OstraDivUvirar.Instance");
// How long an offer waits for the player's answer before the start plays the names itself.
constexpr int AnswerMilliseconds = 1000;
// How long a withdrawal waits: a player that answers it at all answers at once.
constexpr int WithdrawMilliseconds = 250;
// How long a start that lost the name waits for the winner to put its object on the bus (the
// winner makes its windows and opens its first file first), asking again every few moments.
constexpr qint64 ReadyMilliseconds = 5000;
constexpr unsigned long AskAgainMilliseconds = 40;
// Offers taken lately, remembered for a withdrawal that crossed the answer; a sender withdraws
// within a quarter second of its offer, so a few are plenty.
constexpr qsizetype KeptTaken = 16;

QDBusMessage InstanceCall(const QString& owner, const QString& method)
{
    return QDBusMessage::createMethodCall(owner, TSingleInstance::ObjectPath, InstanceInterface, method);
}

// An answer that says the name's owner is there but not ready for names yet: its object is not
// on the bus, or it has just left (the next round takes the name then).
bool NotReadyYet(const QDBusMessage& answer)
{
    static const QStringList notReady = {
        QStringLiteral("org.freedesktop.DBus.Error.UnknownObject"),
        QStringLiteral("org.freedesktop.DBus.Error.UnknownInterface"),
        QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
        QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown"),
        QStringLiteral("org.freedesktop.DBus.Error.NameHasNoOwner"),
    };
    return answer.type() == QDBusMessage::ErrorMessage && notReady.contains(answer.errorName());
}

bool NoAnswer(const QDBusMessage& answer)
{
    return answer.type() == QDBusMessage::ErrorMessage &&
           (answer.errorName() == QLatin1String("org.freedesktop.DBus.Error.NoReply") ||
            answer.errorName() == QLatin1String("org.freedesktop.DBus.Error.Timeout"));
}

// True when the owner says it took the offer already. Silence counts as not taken: the owner
// then reads this withdrawal before it can act on the offer.
bool TakenBeforeWithdrawn(QDBusConnection& bus, const QString& owner, const QString& id)
{
    QDBusMessage call = InstanceCall(owner, QStringLiteral("Withdraw"));
    call << id;
    const QDBusMessage answer = bus.call(call, QDBus::Block, WithdrawMilliseconds);
    return answer.type() == QDBusMessage::ReplyMessage && !answer.arguments().value(0).toBool();
}

// A process that is to be a player takes the name when nobody holds it, so that later starts
// come to it.
bool BeAPlayer(QDBusConnection& bus)
{
    bus.registerService(TSingleInstance::PlayerName);
    return false;
}
} // namespace

TSingleInstance::TSingleInstance(QObject* owner, QDBusContext& context, IPlayerRemote& player)
    : QDBusAbstractAdaptor(owner), context_(context), player_(player)
{
    qDBusRegisterMetaType<QByteArrayList>();
}

bool TSingleInstance::SessionBusNamed()
{
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    return address != nullptr && *address != '\0';
}

bool TSingleInstance::HandOver(const std::vector<std::string>& args)
{
    if (!SessionBusNamed())
        return false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || bus.interface() == nullptr)
        return false;
    std::vector<std::string> words;
    for (const QString& arg : QCoreApplication::arguments().mid(1))
        words.push_back(arg.toStdString());
    if (ProgramOptions::NewInstance(words))
        return BeAPlayer(bus);
    QByteArrayList names;
    const std::string here = Paths::GetCurrentDir();
    for (const std::string& arg : args) {
        const std::string name = PlaylistRules::AbsoluteName(arg, here);
        names.append(QByteArray(name.data(), static_cast<qsizetype>(name.size())));
    }
    qDBusRegisterMetaType<QByteArrayList>();
    // The player tells offers apart by their sender's connection; the id only names the offer
    // within it.
    const QString id = QStringLiteral("offer");
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        // Asking for the name is the only look that cannot race: the bus gives it to one start.
        if (bus.registerService(PlayerName))
            return false;
        // The offer and any withdrawal go to the owner's own connection, so the two stay in order
        // even when the name changes hands in between.
        const QString owner = bus.interface()->serviceOwner(PlayerName).value();
        if (!owner.isEmpty()) {
            QDBusMessage offer = InstanceCall(owner, QStringLiteral("Offer"));
            offer << id << QVariant::fromValue(names);
            const QDBusMessage answer = bus.call(offer, QDBus::Block, AnswerMilliseconds);
            if (answer.type() == QDBusMessage::ReplyMessage)
                return answer.arguments().value(0).toBool() || BeAPlayer(bus);
            if (NoAnswer(answer))
                return TakenBeforeWithdrawn(bus, owner, id) || BeAPlayer(bus);
            if (!NotReadyYet(answer))
                return BeAPlayer(bus);
        }
        if (waited.elapsed() >= ReadyMilliseconds)
            return BeAPlayer(bus);
        QThread::msleep(AskAgainMilliseconds);
    }
}

bool TSingleInstance::IsThePlayer()
{
    if (!SessionBusNamed())
        return false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || bus.interface() == nullptr)
        return false;
    return bus.interface()->serviceOwner(PlayerName).value() == bus.baseService();
}

void TSingleInstance::TakeIn(const std::vector<std::string>& names)
{
    if (!names.empty())
        player_.TakeIn(names);
    player_.RaiseWindows();
}

namespace {
std::vector<std::string> NativeNames(const QByteArrayList& names)
{
    std::vector<std::string> native;
    for (const QByteArray& name : names)
        native.emplace_back(name.constData(), static_cast<size_t>(name.size()));
    return native;
}
} // namespace

void TSingleInstance::Open(const QByteArrayList& names)
{
    // The reply goes at once; the intake (which may take a while, or show a message) follows
    // from the message loop.
    QTimer::singleShot(0, this, [this, taken = NativeNames(names)] { TakeIn(taken); });
}

QString TSingleInstance::Key(const QString& id) const
{
    return context_.message().service() + QLatin1Char(' ') + id;
}

bool TSingleInstance::Offer(const QString& id, const QByteArrayList& names)
{
    const QString key = Key(id);
    context_.setDelayedReply(true);
    pending_.insert(key, TPending{names, context_.message()});
    // A withdrawal of this offer may already have come while this player was stopped, and lie
    // unread behind it. A call to the bus itself returns only after everything the bus sent
    // before its answer has been read and queued for this thread, so the decision, queued
    // after that, comes after any such withdrawal.
    context_.connection().call(QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                                     QStringLiteral("/org/freedesktop/DBus"),
                                                     QStringLiteral("org.freedesktop.DBus"),
                                                     QStringLiteral("GetId")),
                      QDBus::Block, AnswerMilliseconds);
    QMetaObject::invokeMethod(this, [this, key] { Decide(key); }, Qt::QueuedConnection);
    return false;
}

bool TSingleInstance::Withdraw(const QString& id)
{
    const QString key = Key(id);
    if (taken_.contains(key))
        return false;
    const auto it = pending_.find(key);
    if (it != pending_.end()) {
        context_.connection().send(it->call.createReply(false));
        pending_.erase(it);
    }
    return true;
}

void TSingleInstance::Decide(const QString& key)
{
    const auto it = pending_.find(key);
    if (it == pending_.end())
        return;
    const TPending offer = *it;
    pending_.erase(it);
    taken_.append(key);
    while (taken_.size() > KeptTaken)
        taken_.removeFirst();
    QDBusConnection::sessionBus().send(offer.call.createReply(true));
    TakeIn(NativeNames(offer.names));
}
