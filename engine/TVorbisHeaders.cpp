#include "TVorbisHeaders.h"

#include "ERangeError.h"
#include "TOggPage.h"

#include <cstdint>
#include <cstring>

namespace {

// Bytes of anything else the decoder's open passes over before it gives up looking for a page.
constexpr int64_t kResync = 65536;
constexpr size_t kChunk = 4096;

[[noreturn]] void Refuse()
{
    throw ERangeError("ファイルの読み込みに失敗");
}

// Intact pages, one after another, from a file read front to back in small pieces.
class PageSource {
public:
    explicit PageSource(std::FILE* f) : f_(f) {}

    // The next intact page, passing over up to kResync bytes of anything else; false when there
    // is none.
    bool Next(std::vector<uint8_t>& page)
    {
        for (int64_t skipped = 0; skipped < kResync;) {
            if (!Fill(TOggPage::HeaderBytes))
                return false;
            if (std::memcmp(buf_.data() + at_, "OggS", 4) == 0 && Fill(TOggPage::HeaderBytes + buf_[at_ + 26])) {
                size_t length = TOggPage::HeaderBytes + buf_[at_ + 26];
                for (size_t i = 0; i < buf_[at_ + 26]; ++i)
                    length += buf_[at_ + TOggPage::HeaderBytes + i];
                if (Fill(length) && TOggPage::Length(buf_.data() + at_, static_cast<int64_t>(length)) > 0) {
                    page.assign(buf_.begin() + static_cast<long>(at_), buf_.begin() + static_cast<long>(at_ + length));
                    at_ += length;
                    return true;
                }
            }
            // No page here: on to the next capture pattern.
            const void* o = std::memchr(buf_.data() + at_ + 1, 'O', buf_.size() - at_ - 1);
            const size_t next = o ? static_cast<size_t>(static_cast<const uint8_t*>(o) - buf_.data()) : buf_.size();
            skipped += static_cast<int64_t>(next - at_);
            at_ = next;
        }
        return false;
    }

private:
    // Makes n bytes available from at_ on, as far as the file has them.
    bool Fill(size_t n)
    {
        while (buf_.size() - at_ < n) {
            buf_.erase(buf_.begin(), buf_.begin() + static_cast<long>(at_));
            at_ = 0;
            const size_t had = buf_.size();
            buf_.resize(had + kChunk);
            const size_t got = std::fread(buf_.data() + had, 1, kChunk, f_);
            buf_.resize(had + got);
            if (got == 0)
                return false;
        }
        return true;
    }

    std::FILE* f_;
    std::vector<uint8_t> buf_;
    size_t at_ = 0;
};

bool StartsWith(const std::vector<uint8_t>& packet, uint8_t type)
{
    return packet.size() >= 7 && packet[0] == type && std::memcmp(packet.data() + 1, "vorbis", 6) == 0;
}

// The identification header's checks, as the decoder makes them.
void CheckIdentification(const std::vector<uint8_t>& p)
{
    if (!StartsWith(p, 1) || p.size() < 30)
        Refuse();
    const uint32_t version = TOggPage::Le32(p.data() + 7);
    const int channels = p[11];
    const uint32_t rate = TOggPage::Le32(p.data() + 12);
    const int small = p[28] & 0x0F;
    const int large = p[28] >> 4;
    if (version != 0 || channels < 1 || rate < 1 || small < 6 || large < small || large > 13 || (p[29] & 1) == 0)
        Refuse();
}

// The comment header's lines, with the decoder's checks of its lengths and its framing bit.
std::vector<std::string> Comments(const std::vector<uint8_t>& p)
{
    if (!StartsWith(p, 3))
        Refuse();
    size_t at = 7;
    auto length = [&]() -> size_t {
        if (p.size() - at < 4)
            Refuse();
        const uint32_t n = TOggPage::Le32(p.data() + at);
        at += 4;
        if (n > 0x7FFFFFFFu)
            Refuse();
        return n;
    };
    const size_t vendor = length();
    if (vendor > p.size() - at)
        Refuse();
    at += vendor;
    const size_t count = length();
    if (count > (p.size() - at) / 4)
        Refuse();
    std::vector<std::string> lines;
    lines.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const size_t n = length();
        if (n > p.size() - at)
            Refuse();
        const char* text = reinterpret_cast<const char*>(p.data() + at);
        lines.emplace_back(text, strnlen(text, n));
        at += n;
    }
    if (at >= p.size() || (p[at] & 1) == 0)
        Refuse();
    return lines;
}

}

std::vector<std::string> TVorbisHeaders::ReadComments(std::FILE* f)
{
    PageSource source(f);
    std::vector<uint8_t> page;
    std::vector<std::vector<uint8_t>> packets;
    std::vector<uint8_t> pending;
    bool found = false;
    uint32_t serial = 0;
    uint32_t sequence = 0;
    while (packets.size() < 3) {
        if (!source.Next(page))
            Refuse();
        const uint8_t flags = page[5];
        const uint32_t pageSerial = TOggPage::Le32(page.data() + 14);
        const uint32_t pageSequence = TOggPage::Le32(page.data() + 18);
        const bool first = (flags & 2) != 0;
        if (!found) {
            // The Vorbis stream begins among the first pages, each the first of its stream; its
            // first packet is the identification header.
            if (!first)
                Refuse();
            const size_t body = TOggPage::HeaderBytes + page[26];
            if (page.size() - body < 7 || page[body] != 1 || std::memcmp(page.data() + body + 1, "vorbis", 6) != 0)
                continue;
            found = true;
            serial = pageSerial;
        } else if (pageSerial != serial) {
            continue;  // a page of another stream beside it
        } else if (first || pageSequence != sequence + 1 || ((flags & 1) != 0) != !pending.empty()) {
            Refuse();  // a page lost, or a stream that begins again before its headers are whole
        }
        sequence = pageSequence;
        size_t at = TOggPage::HeaderBytes + page[26];
        for (size_t i = 0; i < page[26] && packets.size() < 3; ++i) {
            const size_t n = page[TOggPage::HeaderBytes + i];
            pending.insert(pending.end(), page.begin() + static_cast<long>(at), page.begin() + static_cast<long>(at + n));
            at += n;
            if (n < 255) {
                packets.push_back(std::move(pending));
                pending.clear();
            }
        }
    }
    CheckIdentification(packets[0]);
    std::vector<std::string> lines = Comments(packets[1]);
    if (!StartsWith(packets[2], 5))
        Refuse();
    return lines;
}
