#include "WaitFor.h"

#include <thread>

namespace fixture {

bool WaitFor(const std::function<bool()>& cond, std::chrono::duration<double> timeout, const std::function<void()>& step)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(timeout);
    while (!cond()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        if (step)
            step();
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
    return true;
}

}
