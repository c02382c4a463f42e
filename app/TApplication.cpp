#include "TApplication.h"

#include <QFont>

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    InstallFontSubstitutes();
    // Hiding every window (going to the notification area) must not end the program; only
    // the quit command and the end of the message loop do.
    setQuitOnLastWindowClosed(false);
}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        HandleException();
    }
    return false;
}

void TApplication::InstallFontSubstitutes()
{
    // IPA P Gothic is proportional like "ＭＳ Ｐゴシック"; MS UI Gothic is the proportional UI face.
    for (const char* family : {"ＭＳ Ｐゴシック", "MS UI Gothic"})
        QFont::insertSubstitutions(QString::fromUtf8(family), {QStringLiteral("IPAPGothic"), QStringLiteral("IPA Pゴシック")});
}
