// The program's entry: the application, its five windows in their fixed order, the message loop,
// and the orderly end (positions and the side windows' values into the settings while every
// window still exists, then the windows from the last to the main window). SIGTERM, SIGINT and
// SIGHUP end the loop as the quit command does, so they take the same orderly end, with any
// message of that end on standard error rather than in a box nobody may answer.
#include "AppIcon.h"
#include "DisplayPlatform.h"
#include "OggWuvorbisLib.h"
#include "ProgramOptions.h"
#include "TApplication.h"
#include "TFileIntake.h"
#include "TMprisService.h"
#include "TPlayerRemote.h"
#include "TSignalBridge.h"
#include "TSingleInstance.h"
#include "Unit1.h"
#include "Unit2.h"
#include "Unit3.h"
#include "Unit4.h"
#include "Unit5.h"

#include <cstdio>
#include <memory>
#include <string>

int main(int argc, char** argv)
{
    // --help, --version and a mistyped option need no display.
    if (const auto answered = ProgramOptions::Answer(argc, argv, stdout))
        return *answered;
    DisplayPlatform::Apply(argc, argv);
    // Without a display Qt would end the program by abort, with advice about reinstalling.
    if (const std::string missing = DisplayPlatform::Unavailable(argc, argv); !missing.empty()) {
        std::fprintf(stderr, "ostradivuvirar: %s\n", missing.c_str());
        return 1;
    }
    TApplication app(argc, argv);
    try {
        // The session's player, when another start is it, takes the names and comes to the front.
        if (TSingleInstance::HandOver(TFileIntake::CommandLineNames()))
            return 0;
        QApplication::setApplicationName(QStringLiteral("OstraDivUvirar"));
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
            TApplication::exec();

        desktopBus.reset();
        form1->StorePositions();
        form5.reset();
        form4.reset();
        form3.reset();
        form2.reset();
        form1.reset();
        _VorbisfileFinalize();
    } catch (...) {
        TApplication::HandleException();
    }
    return 0;
}
