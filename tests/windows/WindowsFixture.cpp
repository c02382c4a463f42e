#include "WindowsFixture.h"

#include "OggFixture.h"
#include "TApplication.h"
#include "Unit1.h"
#include "Unit2.h"
#include "Unit3.h"
#include "Unit4.h"
#include "Unit5.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace windows_test {

namespace {
// The application object lives from before the first test to after the last one and is gone
// before the process exits, when the statics Qt relies on may already be destroyed.
class AppEnvironment : public ::testing::Environment {
public:
    void TearDown() override { app.reset(); }
    std::unique_ptr<TApplication> app;
};

AppEnvironment* const environment =
    static_cast<AppEnvironment*>(::testing::AddGlobalTestEnvironment(new AppEnvironment));
}

void EnsureApp()
{
    if (environment->app)
        return;
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("SDL_AUDIODRIVER", "dummy", 1);
    static int argc = 1;
    static char name[] = "windows_tests";
    static char* argv[] = {name, nullptr};
    environment->app = std::make_unique<TApplication>(argc, argv);
}

std::string NewAppDir()
{
    static std::atomic<int> n{0};
    const fs::path dir = fs::path(fixture::TempDir()) / ("app" + std::to_string(++n));
    fs::create_directories(dir);
    const fs::path bin = fixture::BinDir();
    fs::create_symlink(bin / "wuvorbis.dll", dir / "wuvorbis.dll");
    fs::create_directory_symlink(bin / "skin", dir / "skin");
    return dir.string() + "/";
}

std::string MakeOgg(const std::string& name, const std::string& title, double seconds)
{
    std::vector<std::string> comments;
    if (!title.empty())
        comments.push_back("TITLE=" + title);
    return fixture::WriteTemp(fixture::Encode(fixture::Sine(seconds), comments, 0.0f), name);
}

Player::Player(const std::string& appDir)
{
    TApplication::SetMessageSink([this](const std::string& m) { errors.push_back(m); });
    form1 = std::make_unique<TForm1>(appDir, nullptr);
    form2 = std::make_unique<TForm2>();
    form2->ShowError = [this](const std::string& m) { errors.push_back(m); };
    form3 = std::make_unique<TForm3>();
    form4 = std::make_unique<TForm4>();
    form5 = std::make_unique<TForm5>();
}

void Player::SaveSettings()
{
    form1->StorePositions();
    form1->WriteSettingsFile();
}

Player::~Player()
{
    form5.reset();
    form4.reset();
    form3.reset();
    form2.reset();
    form1.reset();
    TApplication::SetMessageSink(nullptr);
}

void WindowsTest::SetUp()
{
    appDir = NewAppDir();
    player = std::make_unique<Player>(appDir);
}

void WindowsTest::TearDown()
{
    player.reset();
}

void WindowsTest::Restart()
{
    player->SaveSettings();
    player.reset();
    player = std::make_unique<Player>(appDir);
}

}
