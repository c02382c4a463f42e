#pragma once
// The five windows of the player, built the way the program builds them, on Qt's offscreen
// platform and SDL's dummy audio driver, with a program directory of the test's own (the
// decoder library and the skins linked in from the build, the settings file its own).
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

class TForm1;
class TForm2;
class TForm3;
class TForm4;
class TForm5;

namespace windows_test {

// Creates the application object once per process.
void EnsureApp();

// A fresh program directory (ending in "/") with the decoder library and the skins.
std::string NewAppDir();

// An Ogg Vorbis file in the temporary directory; title empty for none.
std::string MakeOgg(const std::string& name, const std::string& title, double seconds = 0.3);

class Player {
public:
    explicit Player(const std::string& appDir);
    ~Player();
    // Writes the settings file as the program does at exit.
    void SaveSettings();

    std::unique_ptr<TForm1> form1;
    std::unique_ptr<TForm2> form2;
    std::unique_ptr<TForm3> form3;
    std::unique_ptr<TForm4> form4;
    std::unique_ptr<TForm5> form5;
    std::vector<std::string> errors;  // messages shown while this player lived
};

class WindowsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureApp(); }
    void SetUp() override;
    void TearDown() override;
    // Throws away the running player and starts a new one on the same program directory.
    void Restart();

    std::string appDir;
    std::unique_ptr<Player> player;
};

}
