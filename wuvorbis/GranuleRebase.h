#pragma once
// GranuleRebase: shows the decoder a stream's first link with page positions that count from its
// first decoded frame.
//
// An encoder may write the first audio page's position larger than the frames the page holds
// (a stream cut from a longer one, some encoders' habit). libvorbisfile takes that offset off its
// positions everywhere but in the first link's running position while decoding: there it counts
// from the page positions as written. Its tell then runs ahead by the offset after the first
// page, and a seek whose last steps cross a page lands short by it. The later links, and a first
// link whose positions start below its frames (a trimmed beginning), are counted right.
//
// So the first link's positions are lowered by the offset in every byte the decoder reads: each
// such page's position and checksum are replaced as it passes through the read. The decoded
// sound is the same (the offset only ever moved the count); only the count changes, and then
// agrees with the frames the decoder gives out from the start.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

class GranuleRebase {
public:
    // Reads up to n bytes at p from where the source stands; 0 at its end.
    using Reader = std::function<size_t(unsigned char* p, size_t n)>;

    // Finds the pages of the stream `serial` in bytes [begin, end) of the source, read from
    // begin on by read, whose positions are at least `offset`, and prepares them lowered by it.
    // The pages must be intact (checksum right) to be changed; others pass as they are.
    void Build(const Reader& read, int64_t begin, int64_t end, long serial, int64_t offset);

    // Rewrites, in the n bytes at p that the source gave from byte `at`, the parts of the
    // changed pages that fall there.
    void Apply(unsigned char* p, int64_t at, size_t n) const;

    bool Empty() const { return pages_.empty(); }

private:
    // A changed page: where it starts in the source, and its bytes 6 .. 25 as the decoder sees
    // them (the position, the serial and sequence numbers as they were, the new checksum).
    struct Page {
        int64_t at;
        unsigned char fields[20];
    };
    static constexpr int64_t kFrom = 6;
    static constexpr int64_t kTo = 26;
    std::vector<Page> pages_;
};
