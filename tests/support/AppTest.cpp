#include "AppTest.h"
#include "DirectSound.h"

#include "OggFixture.h"
#include "OggWuvorbisLib.h"
#include "TApplication.h"
#include "Unit1.h"
#include "Unit2.h"
#include "Unit3.h"
#include "Unit4.h"
#include "Unit5.h"
#include "WaitFor.h"

#include <QCoreApplication>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace fs = std::filesystem;

namespace apptest {

namespace {
class AppEnvironment : public ::testing::Environment {
public:
    void TearDown() override
    {
        TApplication::SetMessageSink(nullptr);
        app.reset();
    }
    std::unique_ptr<TApplication> app;
};

AppEnvironment* const environment =
    static_cast<AppEnvironment*>(::testing::AddGlobalTestEnvironment(new AppEnvironment));
}

void EnsureApplication()
{
    if (environment->app)
        return;
    // The tray test runs on a real X server (its script names the platform); the others headless.
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    UseDevice(Device::RealTime);
    static int argc = 1;
    static char name[] = "ostra_tests";
    static char* argv[] = {name, nullptr};
    environment->app = std::make_unique<TApplication>(argc, argv);
    TApplication::SetMessageSink([](const std::string& m) { Messages().push_back(m); });
}

std::vector<std::string>& Messages()
{
    static std::vector<std::string> messages;
    return messages;
}

void UseDevice(Device device)
{
    // Each window set opens its own SDL audio subsystem, so the driver can change between sets.
    if (device == Device::Fast) {
        ::setenv("SDL_AUDIODRIVER", "disk", 1);
        ::setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
        // The driver waits this many milliseconds per callback: about a fifth of what the
        // callback's frames last, so the music runs some five to six times faster than real
        // time and the stream thread still has time to refill on a busy machine.
        ::setenv("SDL_DISKAUDIODELAY", std::to_string(DSOutputFrames * 1000 / DSOutputRate / 5).c_str(), 1);
    } else {
        ::setenv("SDL_AUDIODRIVER", "dummy", 1);
    }
}

bool LinkDecoder(const std::string& appDir)
{
    const fs::path lib = fs::path(fixture::BinDir()) / "wuvorbis.dll";
    if (!fs::exists(lib))
        return false;
    fs::create_symlink(lib, fs::path(appDir) / "wuvorbis.dll");
    return true;
}

void LinkSkins(const std::string& appDir)
{
    fs::create_directory_symlink(fs::path(fixture::BinDir()) / "skin", fs::path(appDir) / "skin");
}

bool WaitWithEvents(const std::function<bool()>& cond, std::chrono::duration<double> timeout)
{
    return fixture::WaitFor(cond, timeout, [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 20); });
}

AppTest::AppTest() : messages(Messages()) {}

AppTest::~AppTest()
{
    CloseWindows();
}

void AppTest::SetUp()
{
    PrepareProgramDir();
    OpenWindows();
}

void AppTest::PrepareProgramDir()
{
    appDir = fixture::FreshDir("app");
    if (!LinkDecoder(appDir))
        throw std::runtime_error("wuvorbis.dll has not been built");
    LinkSkins(appDir);
    messages.clear();
}

void AppTest::OpenWindows()
{
    form1 = std::make_unique<TForm1>(appDir, nullptr);
    form2 = std::make_unique<TForm2>();
    form3 = std::make_unique<TForm3>();
    form4 = std::make_unique<TForm4>();
    form5 = std::make_unique<TForm5>();
}

void AppTest::CloseWindows()
{
    if (!form1)
        return;
    // From the last window to the main window, then the decoder library, as the program ends.
    [](auto&... windows) { (windows.reset(), ...); }(form5, form4, form3, form2, form1);
    _VorbisfileFinalize();
}

void AppTest::EndRun()
{
    form1->StorePositions();
    CloseWindows();
}

void AppTest::Restart()
{
    EndRun();
    OpenWindows();
}

}
