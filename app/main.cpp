// The program's entry: the application, its five windows in their fixed order, the message loop,
// and the orderly end (positions into the settings while every window still exists, then the
// windows from the last to the main window).
#include "AppIcon.h"
#include "OggWuvorbisLib.h"
#include "TApplication.h"
#include "Unit1.h"
#include "Unit2.h"
#include "Unit3.h"
#include "Unit4.h"
#include "Unit5.h"

#include <memory>

int main(int argc, char** argv)
{
    TApplication app(argc, argv);
    try {
        QApplication::setApplicationName(QStringLiteral("OstraDivUvirar"));
        TApplication::SetTitle(QStringLiteral("OstraDivUvirar"));
        QApplication::setWindowIcon(DrawAppIcon());

        auto form1 = std::make_unique<TForm1>();
        auto form2 = std::make_unique<TForm2>();
        auto form3 = std::make_unique<TForm3>();
        auto form4 = std::make_unique<TForm4>();
        auto form5 = std::make_unique<TForm5>();

        TApplication::exec();

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
