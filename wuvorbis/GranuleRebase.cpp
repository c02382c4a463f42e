#include "GranuleRebase.h"

#include <ogg/ogg.h>

#include <algorithm>
#include <cstring>

namespace {
constexpr size_t kChunk = 65536;
}

void GranuleRebase::Build(const Reader& read, int64_t begin, int64_t end, long serial, int64_t offset)
{
    pages_.clear();
    if (offset <= 0 || end <= begin)
        return;
    ogg_sync_state oy;
    ogg_sync_init(&oy);
    int64_t at = begin;   // where the next page the sync gives out starts
    int64_t fed = begin;  // the bytes handed to the sync so far end here
    std::vector<unsigned char> header;
    while (at < end) {
        ogg_page og;
        const long r = ogg_sync_pageseek(&oy, &og);
        if (r < 0) {
            at -= r;  // bytes that are no intact page, passed over
            continue;
        }
        if (r == 0) {
            const auto want = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(kChunk), end - fed));
            char* buffer = want > 0 ? ogg_sync_buffer(&oy, static_cast<long>(want)) : nullptr;
            const size_t got = buffer ? read(reinterpret_cast<unsigned char*>(buffer), want) : 0;
            if (got == 0 || ogg_sync_wrote(&oy, static_cast<long>(got)) != 0)
                break;
            fed += static_cast<int64_t>(got);
            continue;
        }
        const ogg_int64_t granule = ogg_page_granulepos(&og);
        if (ogg_page_serialno(&og) == static_cast<int>(serial) && granule >= offset && og.header_len >= kTo) {
            header.assign(og.header, og.header + og.header_len);
            const auto lowered = static_cast<uint64_t>(granule - offset);
            for (int i = 0; i < 8; ++i)
                header[static_cast<size_t>(kFrom + i)] = static_cast<unsigned char>(lowered >> (8 * i));
            ogg_page changed{header.data(), og.header_len, og.body, og.body_len};
            ogg_page_checksum_set(&changed);
            Page page{at, {}};
            std::memcpy(page.fields, header.data() + kFrom, sizeof page.fields);
            pages_.push_back(page);
        }
        at += r;
    }
    ogg_sync_clear(&oy);
}

void GranuleRebase::Apply(unsigned char* p, int64_t at, size_t n) const
{
    if (pages_.empty() || n == 0)
        return;
    const int64_t stop = at + static_cast<int64_t>(n);
    // The first page whose changed bytes end after `at`.
    auto it = std::lower_bound(pages_.begin(), pages_.end(), at - kTo + 1,
                               [](const Page& page, int64_t v) { return page.at < v; });
    for (; it != pages_.end() && it->at + kFrom < stop; ++it) {
        const int64_t from = std::max(it->at + kFrom, at);
        const int64_t to = std::min(it->at + kTo, stop);
        for (int64_t i = from; i < to; ++i)
            p[i - at] = it->fields[i - it->at - kFrom];
    }
}
