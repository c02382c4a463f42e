#include "TickCount.h"

#include <atomic>
#include <chrono>

namespace TickCount {

namespace {
std::atomic<bool> pinned{false};
std::atomic<uint32_t> pinnedValue{0};
}

uint32_t Get()
{
    if (pinned.load(std::memory_order_acquire))
        return pinnedValue.load(std::memory_order_relaxed);
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
    return static_cast<uint32_t>(static_cast<uint64_t>(ms));
}

void Pin(uint32_t value)
{
    pinnedValue.store(value, std::memory_order_relaxed);
    pinned.store(true, std::memory_order_release);
}

void Advance(uint32_t ms)
{
    pinnedValue.fetch_add(ms, std::memory_order_relaxed);
}

void Release()
{
    pinned.store(false, std::memory_order_release);
}

}
