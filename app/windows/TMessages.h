#pragma once
// The program's message display: errors and plain messages in a message box with the
// application's title, or to a sink that takes their place (tests; standard error when the
// program is asked to end from outside). The application object shows an escaped exception
// through it too.
#include <QString>
#include <functional>
#include <string>

class TMessages {
public:
    // To be called inside a catch block: shows the message of the exception being handled
    // (empty text for one that is not a std::exception). An EResourceError or std::bad_alloc
    // ends the program instead (EndForWant).
    static void HandleException();
    // The program cannot go on for want of memory, a thread or the like: the message on standard
    // error and in a box, and the message loop ends with EResourceError::ExitStatus.
    static void EndForWant(const std::string& message);
    // EResourceError::ExitStatus once EndForWant has been called, 0 before.
    static int FailureStatus();
    // The same for a handler that failed at what: what, then the exception's message below it
    // (want of memory or a thread still ends the program).
    // Handlers catch their own faults this way; nothing may unwind through Qt's signals.
    static void ShowFailure(const std::string& what);
    // Shows an error message in a message box with the application's title.
    static void ShowException(const std::string& message);
    // Shows a plain message (ShowMessage).
    static void ShowMessage(const std::string& message);

    // The application's title, the task-bar text. The main window carries it as its title.
    static QString Title();
    static void SetTitle(const QString& title);

    // Where messages go instead of a modal box: set by tests (and reset with nullptr).
    using MessageSink = std::function<void(const std::string&)>;
    static void SetMessageSink(MessageSink sink);
};
