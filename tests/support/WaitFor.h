#pragma once
// Waiting in a test for something another thread (or the event loop) brings about.
#include <chrono>
#include <functional>

namespace fixture {

// Checks cond until it holds or timeout has passed; true when it held. Between two checks it runs
// step, by default a sleep of a few milliseconds (no event loop runs: no timer fires by itself).
bool WaitFor(const std::function<bool()>& cond, std::chrono::duration<double> timeout = std::chrono::seconds(10),
             const std::function<void()>& step = {});

}
