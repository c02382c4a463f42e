#include "TOggPage.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

// CRC-32 with the polynomial 0x04C11DB7, not reflected, starting from 0, eight bytes a step:
// table k gives the checksum of a byte followed by k zero bytes.
using CrcTables = std::array<std::array<uint32_t, 256>, 8>;
constexpr CrcTables MakeCrcTables()
{
    CrcTables t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t r = i << 24;
        for (int k = 0; k < 8; ++k)
            r = (r & 0x80000000u) != 0 ? (r << 1) ^ 0x04C11DB7u : r << 1;
        t[0][i] = r;
    }
    for (size_t k = 1; k < 8; ++k)
        for (size_t i = 0; i < 256; ++i)
            t[k][i] = (t[k - 1][i] << 8) ^ t[0][t[k - 1][i] >> 24];
    return t;
}
constexpr CrcTables kCrc = MakeCrcTables();

uint32_t Crc(uint32_t crc, const uint8_t* p, int64_t n)
{
    for (; n >= 8; p += 8, n -= 8) {
        const uint32_t x = crc ^ (static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
                                  static_cast<uint32_t>(p[2]) << 8 | p[3]);
        crc = kCrc[7][x >> 24] ^ kCrc[6][(x >> 16) & 0xFF] ^ kCrc[5][(x >> 8) & 0xFF] ^ kCrc[4][x & 0xFF] ^
              kCrc[3][p[4]] ^ kCrc[2][p[5]] ^ kCrc[1][p[6]] ^ kCrc[0][p[7]];
    }
    for (; n > 0; ++p, --n)
        crc = (crc << 8) ^ kCrc[0][((crc >> 24) ^ *p) & 0xFF];
    return crc;
}

}

uint32_t TOggPage::Le32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

int64_t TOggPage::Length(const uint8_t* p, int64_t n)
{
    if (n < HeaderBytes || std::memcmp(p, "OggS", 4) != 0 || p[4] != 0)
        return 0;
    const int64_t segments = p[26];
    if (n < HeaderBytes + segments)
        return 0;
    int64_t length = HeaderBytes + segments;
    for (int64_t i = 0; i < segments; ++i)
        length += p[HeaderBytes + i];
    if (length > n)
        return 0;
    return Checksum(p, length) == Le32(p + 22) ? length : 0;
}

uint32_t TOggPage::Checksum(const uint8_t* p, int64_t n)
{
    if (n < HeaderBytes)
        return Crc(0, p, n);
    static constexpr uint8_t zeros[4] = {};
    return Crc(Crc(Crc(0, p, 22), zeros, 4), p + 26, n - 26);
}

int64_t TOggPage::LastEnd(const uint8_t* data, int64_t begin, int64_t end)
{
    int64_t last = begin;
    int64_t at = end;
    while (at > begin) {
        const void* o = ::memrchr(data + begin, 'O', static_cast<size_t>(at - begin));
        if (o == nullptr)
            break;
        const int64_t start = static_cast<const uint8_t*>(o) - data;
        // No page is longer than MaxBytes: one starting this far before the end found cannot end
        // behind it.
        if (last > begin && start + MaxBytes < last)
            break;
        const int64_t length = Length(data + start, end - start);
        if (length > 0)
            last = std::max(last, start + length);
        at = start;
    }
    return last;
}

std::vector<int64_t> TOggPage::LinkStarts(const uint8_t* data, int64_t begin, int64_t end)
{
    std::vector<int64_t> starts;
    bool firstPages = true;  // the pages that start the first link
    for (int64_t at = begin; at < end;) {
        const int64_t length = Length(data + at, end - at);
        if (length == 0) {
            const void* next = ::memmem(data + at + 1, static_cast<size_t>(end - at - 1), "OggS", 4);
            if (next == nullptr)
                break;
            at = static_cast<const uint8_t*>(next) - data;
            continue;
        }
        const bool first = (data[at + 5] & 0x02) != 0;
        if (first && !firstPages)
            starts.push_back(at);
        firstPages = first;
        at += length;
    }
    return starts;
}
