#pragma once
// The player's windows in a test program, as the program makes them: one application object for
// the whole process (Qt's offscreen platform unless the environment names another, SDL's dummy
// audio driver), a program directory of the test's own, the five windows built in the program's
// order and destroyed in the reverse one, and every message the program shows collected here
// instead of in a box that would wait for a click.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TForm1;
class TForm2;
class TForm3;
class TForm4;
class TForm5;

namespace apptest {

// Creates the application object once per process. It is destroyed after the last test, before
// the exit-time statics that Qt relies on.
void EnsureApplication();

// Every message the program showed (errors and plain messages) since the list was last cleared.
std::vector<std::string>& Messages();

// The sound device the next stream player opens: SDL's dummy driver (real time), or its disk
// driver writing to /dev/null about five times faster than real time, for tests that need
// minutes of music to pass.
enum class Device { RealTime, Fast };
void UseDevice(Device device);

// Links the build's decoder library into a program directory; false when it has not been built.
bool LinkDecoder(const std::string& appDir);
// Links the build's skins into a program directory.
void LinkSkins(const std::string& appDir);

// fixture::WaitFor running the event loop between checks, so that timers and window-system
// events are delivered while waiting.
bool WaitWithEvents(const std::function<bool()>& cond, std::chrono::duration<double> timeout = std::chrono::seconds(5));

class AppTest : public ::testing::Test {
protected:
    AppTest();
    ~AppTest() override;
    static void SetUpTestSuite() { EnsureApplication(); }
    // A fresh program directory with the build's decoder library and skins, no messages yet,
    // and the five windows on it.
    void SetUp() override;
    // The same without the windows.
    void PrepareProgramDir();
    void TearDown() override { CloseWindows(); }

    // Builds the five windows on appDir as the program does.
    void OpenWindows();
    // Destroys them from the last to the main window and lets go of the decoder library, as the
    // program does at its end.
    void CloseWindows();
    // Ends the run as the program does after its message loop: the positions into the settings,
    // then the windows (the main window writes the settings file as it goes).
    void EndRun();
    // Ends the run and starts a new one on the same program directory.
    void Restart();

    std::string appDir;
    std::unique_ptr<TForm1> form1;
    std::unique_ptr<TForm2> form2;
    std::unique_ptr<TForm3> form3;
    std::unique_ptr<TForm4> form4;
    std::unique_ptr<TForm5> form5;
    std::vector<std::string>& messages;
};

}
