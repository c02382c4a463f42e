#pragma once
// TDemoReverb: a small stereo room (parallel damped combs into series all-passes), enough to give
// the demo's bells and pads some air.
#include <cstddef>
#include <vector>

class TDemoReverb {
public:
    TDemoReverb();
    // Processes interleaved stereo `in` into `out` (same length), continuing from the current state.
    void Process(const std::vector<float>& in, std::vector<float>& out);

private:
    struct TComb {
        std::vector<float> Line;
        size_t At = 0;
        float Store = 0.0f;
    };
    struct TAllPass {
        std::vector<float> Line;
        size_t At = 0;
    };
    TComb Combs[2][4];
    TAllPass AllPasses[2][2];
};
