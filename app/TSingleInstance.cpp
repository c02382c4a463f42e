#include "TSingleInstance.h"

#include "Paths.h"
#include "PlaylistRules.h"
#include "TFileIntake.h"
#include "TMprisRoot.h"
#include "Unit1.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QTimer>
#include <cstdlib>

const QString TSingleInstance::ServiceName = QStringLiteral("org.mpris.MediaPlayer2.ostradivuvirar");
const QString TSingleInstance::ObjectPath = QStringLiteral("/org/mpris/MediaPlayer2");
const char TSingleInstance::NewInstanceOption[] = "--new-instance";

namespace {
constexpr int AnswerMilliseconds = 1000;
}

TSingleInstance::TSingleInstance(QObject* owner) : QDBusAbstractAdaptor(owner)
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
    if (!SessionBusNamed() || QCoreApplication::arguments().contains(QLatin1String(NewInstanceOption)))
        return false;
    QByteArrayList names;
    const std::string here = Paths::GetCurrentDir();
    for (const std::string& arg : args) {
        const std::string name = PlaylistRules::AbsoluteName(arg, here);
        names.append(QByteArray(name.data(), static_cast<qsizetype>(name.size())));
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    qDBusRegisterMetaType<QByteArrayList>();
    QDBusMessage call = QDBusMessage::createMethodCall(
        ServiceName, ObjectPath, QStringLiteral("io.github.ostradivuvirar.OstraDivUvirar.Instance"),
        QStringLiteral("Open"));
    call << QVariant::fromValue(names);
    // No owner of the name gives an error at once; a player that hangs, one after the timeout.
    return bus.call(call, QDBus::Block, AnswerMilliseconds).type() == QDBusMessage::ReplyMessage;
}

void TSingleInstance::TakeIn(const std::vector<std::string>& names, bool raise)
{
    if (!names.empty())
        TFileIntake::HandOver(names);
    if (raise && Form1 != nullptr)
        TMprisRoot::RaiseWindows(*Form1);
}

void TSingleInstance::Open(const QByteArrayList& names)
{
    std::vector<std::string> taken;
    for (const QByteArray& name : names)
        taken.emplace_back(name.constData(), static_cast<size_t>(name.size()));
    // The reply goes at once; the intake (which may take a while, or show a message) follows
    // from the message loop.
    QTimer::singleShot(0, this, [taken = std::move(taken)] { TakeIn(taken, true); });
}
