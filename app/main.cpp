// The program's entry: the application, its five windows in their fixed order, the message loop,
// and the orderly end (positions and the side windows' values into the settings while every
// window still exists, then the windows from the last to the main window). SIGTERM, SIGINT and
// SIGHUP end the loop as the quit command does, so they take the same orderly end, with any
// message of that end on standard error rather than in a box nobody may answer. A start the
// system will not give memory, a thread or file descriptors says so and ends with
// EResourceError::ExitStatus.
#include "AppIcon.h"
#include "DisplayPlatform.h"
#include "EResourceError.h"
#include "OggWuvorbisLib.h"
#include "Paths.h"
#include "ProgramOptions.h"
#include "TApplication.h"
#include "TFileIntake.h"
#include "TKeptPlaylist.h"
#include "TMprisService.h"
#include "TPlayerRemote.h"
#include "TQtTranslation.h"
#include "TResourceCheck.h"
#include "TSignalBridge.h"
#include "TSingleInstance.h"
#include "Unit1.h"
#include "Unit2.h"
#include "Unit3.h"
#include "Unit4.h"
#include "Unit5.h"

#include <QMessageBox>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {
// Why the program cannot start, before its application object exists: on standard error, and
// where there may be a display in a box as well. The box comes from a child process, since this
// one may lack what Qt needs to show it (a child that fails at that ends alone) and waits for it.
int CannotStart(int argc, char** argv, const std::string& message)
{
    std::fprintf(stderr, "%s\n", message.c_str());
    std::fflush(stderr);
    if (std::getenv("DISPLAY") != nullptr || std::getenv("WAYLAND_DISPLAY") != nullptr) {
        const pid_t child = fork();
        if (child == 0) {
            alarm(600);  // nobody at the screen: the start still ends
            DisplayPlatform::Apply(argc, argv);
            QApplication app(argc, argv);
            QMessageBox box(QMessageBox::Critical, QStringLiteral("OstraDivUvirar"), QString::fromStdString(message),
                            QMessageBox::Ok);
            box.exec();
            _exit(0);
        }
        if (child > 0)
            waitpid(child, nullptr, 0);
    }
    return EResourceError::ExitStatus;
}
}

int main(int argc, char** argv)
{
    // --help, --version and a mistyped option need no display.
    if (const auto answered = ProgramOptions::Answer(argc, argv, stdout))
        return *answered;
    if (const std::string lacking = TResourceCheck::Run(); !lacking.empty())
        return CannotStart(argc, argv, lacking);
    DisplayPlatform::Apply(argc, argv);
    // Without a display Qt would end the program by abort, with advice about reinstalling.
    if (const std::string missing = DisplayPlatform::Unavailable(argc, argv); !missing.empty()) {
        std::fprintf(stderr, "ostradivuvirar: %s\n", missing.c_str());
        return 1;
    }
    TApplication app(argc, argv);
    int status = 0;
    try {
        // The session's player, when another start is it, takes the names and comes to the front.
        if (TSingleInstance::HandOver(TFileIntake::CommandLineNames()))
            return 0;
        QApplication::setApplicationName(QStringLiteral("OstraDivUvirar"));
        // Qt's dialogs and menus in Japanese, as the rest of the interface.
        const TQtTranslation qtTexts;
        // The desktop entry's id: docks and task bars tie the windows to the entry's name and
        // icon by it (on Wayland as the app id, on X11 beside WM_CLASS), and the
        // bus name the player answers to is the same id.
        QGuiApplication::setDesktopFileName(TSingleInstance::PlayerName);
        TApplication::SetTitle(QStringLiteral("OstraDivUvirar"));
        QApplication::setWindowIcon(DrawAppIcon());
        TSignalBridge endRequests([] {
            // Asked to end from outside, there may be nobody to answer a message box: what would
            // be shown from here on (a settings file that cannot be written) goes to standard
            // error instead, so that the program always ends.
            TApplication::SetMessageSink(
                [](const std::string& message) { std::fprintf(stderr, "%s\n", message.c_str()); });
            if (Form1 != nullptr)
                Form1->CloseWindowClick();
            else
                QCoreApplication::exit(0);
        });

        auto form1 = std::make_unique<TForm1>();
        auto form2 = std::make_unique<TForm2>();
        auto form3 = std::make_unique<TForm3>();
        auto form4 = std::make_unique<TForm4>();
        auto form5 = std::make_unique<TForm5>();
        TPlayerRemote remote(*form1);
        auto desktopBus = std::make_unique<TMprisService>(remote);

        // A request that came while a start-up message was up ended that message's loop only.
        if (!endRequests.Received())
            status = TApplication::exec();

        desktopBus.reset();
        form1->StorePositions();
        if (!form1->AppDir.empty())
            TKeptPlaylist::Store(Paths::MakeSettingsDir(form1->AppDir), *form2->Playlist, form1->KeptEnd());
        form5.reset();
        form4.reset();
        form3.reset();
        form2.reset();
        form1.reset();
        _VorbisfileFinalize();
    } catch (...) {
        TApplication::HandleException();
        status = TApplication::FailureStatus();
    }
    return status;
}
