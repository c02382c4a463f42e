#pragma once
// The system tick count: milliseconds of a monotonic clock, truncated to 32 bits.
// Tests may pin it to a value so that positions derived from it are checked without sleeping.
#include <cstdint>

namespace TickCount {
uint32_t Get();
// Pins Get() to value until Release(); for tests.
void Pin(uint32_t value);
// Advances a pinned clock by ms.
void Advance(uint32_t ms);
void Release();
}
