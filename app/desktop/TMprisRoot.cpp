#include "TMprisRoot.h"

#include "IPlayerRemote.h"

#include <QTimer>

TMprisRoot::TMprisRoot(QObject* owner, IPlayerRemote& player) : QDBusAbstractAdaptor(owner), player_(player)
{
}

QString TMprisRoot::Identity() const
{
    return QStringLiteral("OstraDivUvirar");
}

QString TMprisRoot::DesktopEntry() const
{
    // The installed desktop file's name without ".desktop".
    return QStringLiteral("io.github.ostradivuvirar.OstraDivUvirar");
}

QStringList TMprisRoot::SupportedUriSchemes() const
{
    return {QStringLiteral("file")};
}

QStringList TMprisRoot::SupportedMimeTypes() const
{
    // Ogg Vorbis, the looped container and .m3u playlists, as the desktop entry lists them.
    return {QStringLiteral("audio/ogg"), QStringLiteral("audio/x-vorbis+ogg"), QStringLiteral("audio/x-mpegurl"),
            QStringLiteral("audio/x-ostraogg")};
}

// The commands run from the message loop after the reply has gone: a message box that one of
// them opens must not keep the caller waiting.
void TMprisRoot::Raise()
{
    QTimer::singleShot(0, this, [this] { player_.RaiseWindows(); });
}

void TMprisRoot::Quit()
{
    QTimer::singleShot(0, this, [this] { player_.Quit(); });
}
