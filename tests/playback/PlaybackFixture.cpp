#include "PlaybackFixture.h"

#include "OggFixture.h"
#include "TApplication.h"
#include "Unit1.h"
#include "Unit2.h"
#include "Unit3.h"
#include "Unit4.h"
#include "Unit5.h"

#include <QListWidget>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;

namespace playback_test {

namespace {
// The application object outlives every test and is gone before the exit-time statics.
class AppEnvironment : public ::testing::Environment {
public:
    void TearDown() override { app.reset(); }
    std::unique_ptr<TApplication> app;
};
AppEnvironment* const environment =
    static_cast<AppEnvironment*>(::testing::AddGlobalTestEnvironment(new AppEnvironment));
}

std::string MakeOgg(const std::string& name, double seconds, const std::string& title)
{
    std::vector<std::string> comments;
    if (!title.empty())
        comments.push_back("TITLE=" + title);
    return fixture::WriteTemp(fixture::Encode(fixture::Sine(seconds), comments, 0.0f), name);
}

std::string MakeQv(const std::string& name, double seconds, float loopStart, float loopEnd, int32_t count)
{
    std::vector<uint8_t> bytes = fixture::ContainerHeader({{loopStart, loopEnd, count}});
    const std::vector<uint8_t> ogg = fixture::Encode(fixture::Sine(seconds), {}, 0.0f);
    bytes.insert(bytes.end(), ogg.begin(), ogg.end());
    return fixture::WriteTemp(bytes, name);
}

std::string MakeFile(const std::string& name, const std::string& bytes)
{
    return fixture::WriteTemp(std::vector<uint8_t>(bytes.begin(), bytes.end()), name);
}

bool WaitFor(const std::function<bool()>& cond, double seconds)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!cond()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
    return true;
}

PlaybackTest::PlaybackTest() = default;

PlaybackTest::~PlaybackTest()
{
    TearDown();
}

void PlaybackTest::SetUpTestSuite()
{
    if (environment->app)
        return;
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "playback_tests";
    static char* argv[] = {name, nullptr};
    environment->app = std::make_unique<TApplication>(argc, argv);
}

void PlaybackTest::Start(Device device)
{
    TearDown();
    if (appDir.empty()) {
        static std::atomic<int> n{0};
        const fs::path dir = fs::path(fixture::TempDir()) / ("player" + std::to_string(++n));
        fs::create_directories(dir);
        const fs::path bin = fixture::BinDir();
        fs::create_symlink(bin / "wuvorbis.dll", dir / "wuvorbis.dll");
        fs::create_directory_symlink(bin / "skin", dir / "skin");
        appDir = dir.string() + "/";
    }
    // Each player opens its own SDL audio subsystem, so the driver can change between players.
    if (device == Device::Fast) {
        ::setenv("SDL_AUDIODRIVER", "disk", 1);
        ::setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
        ::setenv("SDL_DISKAUDIODELAY", "4", 1);  // about five times real time
    } else {
        ::setenv("SDL_AUDIODRIVER", "dummy", 1);
    }
    TApplication::SetMessageSink([this](const std::string& m) { messages.push_back(m); });
    form1 = std::make_unique<TForm1>(appDir, nullptr);
    form2 = std::make_unique<TForm2>();
    form2->ShowError = [this](const std::string& m) { messages.push_back(m); };
    form3 = std::make_unique<TForm3>();
    form4 = std::make_unique<TForm4>();
    form5 = std::make_unique<TForm5>();
    for (QTimer* t : {form1->Timer1, form1->Timer2, form1->Timer3, form1->NextPlayTimer})
        t->stop();
}

void PlaybackTest::TearDown()
{
    form5.reset();
    form4.reset();
    form3.reset();
    form2.reset();
    form1.reset();
    TApplication::SetMessageSink(nullptr);
}

void PlaybackTest::Add(const std::vector<std::string>& paths)
{
    for (const std::string& p : paths)
        form2->AddPlaylistEntry(p);
}

std::vector<std::string> PlaybackTest::Paths() const
{
    return form2->Playlist->Paths();
}

std::string PlaybackTest::Caption() const
{
    std::string c = TForm1::LabelCaption(form1->LTitle);
    while (!c.empty() && c.back() == ' ')
        c.pop_back();
    return c;
}

}
