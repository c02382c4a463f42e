#pragma once
// The five windows on the real stream player with their timers stopped: the tests call the
// handlers themselves.
#include "AppTest.h"
#include "OggFixture.h"
#include "WaitFor.h"

#include <string>
#include <vector>

namespace playback_test {

using apptest::Device;
using fixture::MakeFile;
using fixture::MakeOgg;
using fixture::MakeQv;
using fixture::WaitFor;

class PlaybackTest : public apptest::AppTest {
protected:
    void SetUp() override
    {
        PrepareProgramDir();
        Start(Device::RealTime);
    }
    // Throws away the running windows and builds them again on the given device.
    void Start(Device device);
    // The same on the fast device, with what it plays written to captureFile.
    void StartCapturing(const std::string& captureFile);

    void StopTimers();
    // Appends entries through the playlist window's own rule.
    void Add(const std::vector<std::string>& paths);
    std::vector<std::string> Paths() const;
    // The title caption's bytes without the padding.
    std::string Caption() const;
};

}
