#pragma once
// The application object. Its notify() is the last net for an exception that escapes an event
// handler: its message is shown through the message display and the program goes on. The
// handlers that can fail catch their own faults first and say what failed.
// The message display's calls (ShowMessage, Title, SetMessageSink, ...) are its own as well.
#include "TMessages.h"

#include <QApplication>

class TApplication : public QApplication, public TMessages {
    Q_OBJECT
public:
    TApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // Maps the Windows fonts of the window definitions to the Japanese font installed here.
    static void InstallFontSubstitutes();
};
