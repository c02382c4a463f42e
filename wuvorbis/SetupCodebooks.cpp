#include "SetupCodebooks.h"

#include <ogg/ogg.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>

// libvorbis reads the same fields with the same bit reader, libogg's oggpack. A stream it has
// accepted therefore gives exactly the lengths it built its books from; this reader only has to
// be safe on anything else, and every damage counts as "not decodable".

namespace {

constexpr long kBookSync = 0x564342;  // "BCV", the first bytes of every codebook

// Kraft's sum of the used code lengths, in units of 2^-32.
class CodeSpace {
public:
    // count more codes of length bits (1 to 32); false once the tree is overfull.
    bool Add(long bits, long count)
    {
        used_ += count;
        sum_ += static_cast<uint64_t>(count) << (32 - bits);
        return sum_ <= kWhole;
    }
    // One used code or none needs no tree; any more must fill it.
    bool Whole() const { return used_ <= 1 || sum_ == kWhole; }

private:
    static constexpr uint64_t kWhole = uint64_t{1} << 32;
    uint64_t sum_ = 0;
    long used_ = 0;
};

int ILog(long v)
{
    int bits = 0;
    for (; v > 0; v >>= 1)
        ++bits;
    return bits;
}

// Steps over bits the check does not need; false when the packet has fewer left. A packet holds
// at most INT_MAX bits (AllDecodable makes sure), so what is left fits oggpack_adv.
bool Skip(oggpack_buffer* b, long packetBits, long bits)
{
    if (bits > packetBits - oggpack_bits(b))
        return false;
    oggpack_adv(b, static_cast<int>(bits));
    return true;
}

// Whether r^dim <= limit, without overflowing.
bool PowerAtMost(long r, long dim, long limit)
{
    long acc = 1;
    for (long i = 0; i < dim; ++i) {
        if (acc > limit / r)
            return false;
        acc *= r;
    }
    return true;
}

// The values a lookup of type 1 stores: the greatest r with r^dim <= entries.
long Lookup1Values(long entries, long dim)
{
    if (entries < 1)
        return 0;
    long r = std::max(1L, static_cast<long>(std::floor(std::pow(static_cast<double>(entries), 1.0 / dim))));
    while (r > 1 && !PowerAtMost(r, dim, entries))
        --r;
    while (PowerAtMost(r + 1, dim, entries))
        ++r;
    return r;
}

// The used code lengths of one book, into space.
bool ReadLengths(oggpack_buffer* b, long entries, CodeSpace& space)
{
    const long ordered = oggpack_read(b, 1);
    if (ordered < 0)
        return false;
    if (ordered == 0) {
        const long sparse = oggpack_read(b, 1);
        if (sparse < 0)
            return false;
        for (long i = 0; i < entries; ++i) {
            if (sparse) {
                const long used = oggpack_read(b, 1);
                if (used < 0)
                    return false;
                if (used == 0)
                    continue;
            }
            const long length = oggpack_read(b, 5);
            if (length < 0 || !space.Add(length + 1, 1))
                return false;
        }
        return true;
    }
    // Ordered: runs of entries of one length, each run one bit longer than the last.
    long length = oggpack_read(b, 5);
    if (length < 0)
        return false;
    for (long i = 0, bits = length + 1; i < entries; ++bits) {
        const long run = oggpack_read(b, ILog(entries - i));
        if (run < 0 || bits > 32)
            return false;
        const long taken = std::min(run, entries - i);
        if (!space.Add(bits, taken))
            return false;
        i += taken;
    }
    return true;
}

// Reads one codebook; false when it cannot be decoded or the packet ends inside it.
bool ReadBook(oggpack_buffer* b, long packetBits)
{
    if (oggpack_read(b, 24) != kBookSync)
        return false;
    const long dim = oggpack_read(b, 16);
    const long entries = oggpack_read(b, 24);
    if (dim < 1 || entries < 0)
        return false;
    CodeSpace space;
    if (!ReadLengths(b, entries, space) || !space.Whole())
        return false;

    // The vector lookup only has to be stepped over to reach the next book.
    const long lookup = oggpack_read(b, 4);
    if (lookup == 0)
        return true;
    if (lookup != 1 && lookup != 2)
        return false;
    if (!Skip(b, packetBits, 32 + 32))  // minimum and delta
        return false;
    const long valueBits = oggpack_read(b, 4);
    if (valueBits < 0 || oggpack_read(b, 1) < 0)  // value width, sequence flag
        return false;
    const long values = lookup == 1 ? Lookup1Values(entries, dim) : entries * dim;
    return Skip(b, packetBits, values * (valueBits + 1));
}

}

namespace SetupCodebooks {

bool AllDecodable(const unsigned char* packet, size_t bytes)
{
    constexpr size_t kHead = 7;  // packet type 5 and "vorbis"
    if (packet == nullptr || bytes < kHead || bytes - kHead > INT_MAX / 8 || packet[0] != 5 ||
        std::memcmp(packet + 1, "vorbis", 6) != 0)
        return false;
    oggpack_buffer b;
    oggpack_readinit(&b, const_cast<unsigned char*>(packet + kHead), static_cast<int>(bytes - kHead));
    const long packetBits = static_cast<long>(bytes - kHead) * 8;
    const long books = oggpack_read(&b, 8);
    if (books < 0)
        return false;
    for (long i = 0; i <= books; ++i)  // the count is stored less one
        if (!ReadBook(&b, packetBits))
            return false;
    return true;
}

}
