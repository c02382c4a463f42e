#include "TApplication.h"

#include "EResourceError.h"
#include "Unit1.h"

#include <QFont>
#include <QMessageBox>
#include <cstdio>
#include <exception>
#include <new>

namespace {
TApplication::MessageSink& Sink()
{
    static TApplication::MessageSink sink;
    return sink;
}

int& Failure()
{
    static int status = 0;
    return status;
}

QString& TitleText()
{
    static QString title;
    return title;
}

void Show(const std::string& message, QMessageBox::Icon icon)
{
    if (Sink()) {
        Sink()(message);
        return;
    }
    QMessageBox box(icon, TApplication::Title(), QString::fromStdString(message), QMessageBox::Ok);
    box.exec();
}
}

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

void TApplication::HandleException()
{
    try {
        throw;
    } catch (const EResourceError& e) {
        EndForWant(e.what());
    } catch (const std::bad_alloc&) {
        EndForWant(EResourceError::OutOfMemoryText());
    } catch (const std::exception& e) {
        ShowException(e.what());
    } catch (...) {
        ShowException(std::string());
    }
}

void TApplication::EndForWant(const std::string& message)
{
    // Said on standard error always: the box may not be seen, or may not come up at all.
    std::fprintf(stderr, "%s\n", message.c_str());
    std::fflush(stderr);
    Failure() = EResourceError::ExitStatus;
    try {
        Show(message, QMessageBox::Critical);
    } catch (...) {
        // Too little left even for the box: standard error has it.
    }
    QCoreApplication::exit(EResourceError::ExitStatus);
}

int TApplication::FailureStatus()
{
    return Failure();
}

void TApplication::ShowException(const std::string& message)
{
    Show(message, QMessageBox::Critical);
}

void TApplication::ShowMessage(const std::string& message)
{
    Show(message, QMessageBox::NoIcon);
}

QString TApplication::Title()
{
    return TitleText();
}

void TApplication::SetTitle(const QString& title)
{
    TitleText() = title;
    if (Form1 != nullptr)
        Form1->setWindowTitle(title);
}

void TApplication::InstallFontSubstitutes()
{
    // IPA P Gothic is proportional like "ＭＳ Ｐゴシック"; MS UI Gothic is the proportional UI face.
    for (const char* family : {"ＭＳ Ｐゴシック", "MS UI Gothic"})
        QFont::insertSubstitutions(QString::fromUtf8(family), {QStringLiteral("IPAPGothic"), QStringLiteral("IPA Pゴシック")});
}

void TApplication::SetMessageSink(MessageSink sink)
{
    Sink() = std::move(sink);
}
