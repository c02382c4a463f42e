#include "TMessages.h"

#include "EResourceError.h"
#include "Unit1.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <cstdio>
#include <exception>
#include <new>

namespace {
TMessages::MessageSink& Sink()
{
    static TMessages::MessageSink sink;
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
    QMessageBox box(icon, TMessages::Title(), QString::fromStdString(message), QMessageBox::Ok);
    box.exec();
}
}

void TMessages::HandleException()
{
    ShowFailure(std::string());
}

void TMessages::EndForWant(const std::string& message)
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

int TMessages::FailureStatus()
{
    return Failure();
}

void TMessages::ShowFailure(const std::string& what)
{
    try {
        throw;
    } catch (const EResourceError& e) {
        EndForWant(e.what());
    } catch (const std::bad_alloc&) {
        EndForWant(EResourceError::OutOfMemoryText());
    } catch (const std::exception& e) {
        ShowException(what.empty() ? std::string(e.what()) : what + "\n" + e.what());
    } catch (...) {
        ShowException(what);
    }
}

void TMessages::ShowException(const std::string& message)
{
    Show(message, QMessageBox::Critical);
}

void TMessages::ShowMessage(const std::string& message)
{
    Show(message, QMessageBox::NoIcon);
}

QString TMessages::Title()
{
    return TitleText();
}

void TMessages::SetTitle(const QString& title)
{
    TitleText() = title;
    if (Form1 != nullptr)
        Form1->setWindowTitle(title);
}

void TMessages::SetMessageSink(MessageSink sink)
{
    Sink() = std::move(sink);
}
