#pragma once
// Which of Qt's display platforms the program asks for. The main window places itself and
// takes its outline from its skin, which a Wayland compositor does not allow a client; under a
// Wayland session with an X server beside it (XWayland), the program therefore asks for X11.
// A choice the user made (QT_QPA_PLATFORM, or -platform on the command line) is kept.
#include <functional>
#include <string>

namespace DisplayPlatform {
// The platform to ask Qt for, or empty text to leave Qt's own choice. getEnv returns a variable's
// value, or nullptr when it is not set.
std::string Choose(const std::function<const char*(const char*)>& getEnv, int argc, const char* const* argv);
// Asks Qt for the chosen platform, through QT_QPA_PLATFORM, before the application is made.
void Apply(int argc, const char* const* argv);
// Whether the program will need an X server: the platform chosen is X11's ("xcb"), or nothing
// chooses one and no Wayland compositor is named, which leaves Qt to try X11.
bool NeedsX(const std::function<const char*(const char*)>& getEnv, int argc, const char* const* argv);
// Empty text when the program can show its windows; otherwise the one line to print before
// ending, instead of letting Qt abort with advice about reinstalling. Call after Apply.
std::string Unavailable(int argc, const char* const* argv);
}
