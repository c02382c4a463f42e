// The test programs' entry: the platform and audio driver are chosen before the application
// exists, and the program's message boxes are collected instead of waiting for a click.
#include "AppTestMain.h"

#include "TApplication.h"

#include <gtest/gtest.h>

#include <cstdlib>

std::vector<std::string> g_messages;

int main(int argc, char** argv)
{
    // The tray test runs under a real X server (its script sets the platform); the others headless.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("SDL_AUDIODRIVER", "dummy");
    ::testing::InitGoogleTest(&argc, argv);
    TApplication app(argc, argv);
    TApplication::SetMessageSink([](const std::string& m) { g_messages.push_back(m); });
    return RUN_ALL_TESTS();
}
