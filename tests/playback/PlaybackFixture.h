#pragma once
// The five windows built as the program builds them, on Qt's offscreen platform, with a program
// directory of the test's own and the real stream player. Their timers are stopped: the tests
// call the handlers themselves. Messages are collected instead of shown.
//
// The sound device is SDL's dummy driver (real time) or, for the tests that need minutes of
// music to pass, the disk driver writing to /dev/null a few times faster than real time.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class TForm1;
class TForm2;
class TForm3;
class TForm4;
class TForm5;

namespace playback_test {

enum class Device { RealTime, Fast };

// An Ogg Vorbis file of a sine tone (title empty for none).
std::string MakeOgg(const std::string& name, double seconds, const std::string& title = "");
// A looped-Ogg container: one loop point before a sine tone of the given length.
std::string MakeQv(const std::string& name, double seconds, float loopStart, float loopEnd, int32_t count);
// A file with the given bytes.
std::string MakeFile(const std::string& name, const std::string& bytes);

// Polls cond every few milliseconds (without running the event loop, so no timer fires by
// itself) until it holds or seconds have passed.
bool WaitFor(const std::function<bool()>& cond, double seconds = 10.0);

class PlaybackTest : public ::testing::Test {
protected:
    PlaybackTest();
    ~PlaybackTest() override;
    static void SetUpTestSuite();
    void SetUp() override { Start(Device::RealTime); }
    void TearDown() override;
    // Throws away the running windows and builds them again on the given device.
    void Start(Device device);

    // Appends entries through the playlist window's own rule.
    void Add(const std::vector<std::string>& paths);
    std::vector<std::string> Paths() const;
    // The title caption's bytes without the padding.
    std::string Caption() const;

    std::unique_ptr<TForm1> form1;
    std::unique_ptr<TForm2> form2;
    std::unique_ptr<TForm3> form3;
    std::unique_ptr<TForm4> form4;
    std::unique_ptr<TForm5> form5;
    std::vector<std::string> messages;
    std::string appDir;
};

}
