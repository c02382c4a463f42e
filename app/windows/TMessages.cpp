#include "TMessages.h"

#include "Unit1.h"

#include <QMessageBox>
#include <exception>

namespace {
TMessages::MessageSink& Sink()
{
    static TMessages::MessageSink sink;
    return sink;
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
    try {
        throw;
    } catch (const std::exception& e) {
        ShowException(e.what());
    } catch (...) {
        ShowException(std::string());
    }
}

void TMessages::ShowFailure(const std::string& what)
{
    try {
        throw;
    } catch (const std::exception& e) {
        ShowException(what + "\n" + e.what());
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
