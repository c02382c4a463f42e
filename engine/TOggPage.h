#pragma once
// Ogg pages as they stand in bytes: the checksum, the length of an intact page, where the last
// intact page of a range ends, and where the links of a chained stream begin.
#include <cstdint>
#include <vector>

class TOggPage {
public:
    // A page: a 27-byte header, up to 255 lacing values and up to 255 * 255 bytes of body.
    static constexpr int64_t HeaderBytes = 27;
    static constexpr int64_t MaxBytes = HeaderBytes + 255 + 255 * 255;

    // The length of the intact page (capture pattern, version 0, whole, checksum right) at p with
    // n bytes available; 0 when there is none.
    static int64_t Length(const uint8_t* p, int64_t n);
    // Where the last intact page of data[begin, end) ends; begin when there is none. One pass
    // backwards from the end, so a long run of zeros or garbage behind a stream costs its length.
    static int64_t LastEnd(const uint8_t* data, int64_t begin, int64_t end);
    // Where each link of a chained stream in data[begin, end) after the first begins: the intact
    // pages that start a logical stream (their first-page flag set) after pages of an earlier
    // one, in order. One pass forwards; bytes between pages are passed over.
    static std::vector<int64_t> LinkStarts(const uint8_t* data, int64_t begin, int64_t end);
    // The checksum of the n bytes of the page at p, its checksum field counted as zeros.
    static uint32_t Checksum(const uint8_t* p, int64_t n);
    // The little-endian 32-bit number at p.
    static uint32_t Le32(const uint8_t* p);
};
