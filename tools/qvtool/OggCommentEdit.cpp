#include "OggCommentEdit.h"

#include <ogg/ogg.h>

#include <cstring>
#include <stdexcept>

namespace {

class TSync {
public:
    TSync() { ogg_sync_init(&state); }
    ~TSync() { ogg_sync_clear(&state); }
    TSync(const TSync&) = delete;
    TSync& operator=(const TSync&) = delete;
    ogg_sync_state state{};
};

class TStream {
public:
    explicit TStream(int serial) { ogg_stream_init(&state, serial); }
    ~TStream() { ogg_stream_clear(&state); }
    TStream(const TStream&) = delete;
    TStream& operator=(const TStream&) = delete;
    ogg_stream_state state{};
};

// A page over bytes held elsewhere: header and body in one run.
ogg_page PageOf(std::vector<uint8_t>& bytes)
{
    ogg_page page{};
    page.header = bytes.data();
    page.header_len = 27 + bytes[26];
    page.body = bytes.data() + page.header_len;
    page.body_len = static_cast<long>(bytes.size()) - page.header_len;
    return page;
}

bool IsHeader(const ogg_packet& p, unsigned char type)
{
    return p.bytes >= 7 && p.packet[0] == type && std::memcmp(p.packet + 1, "vorbis", 6) == 0;
}

uint32_t Le32(const std::vector<uint8_t>& b, size_t at)
{
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

void PutLe32(std::vector<uint8_t>& b, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void Append(std::vector<uint8_t>& out, const ogg_page& page)
{
    out.insert(out.end(), page.header, page.header + page.header_len);
    out.insert(out.end(), page.body, page.body + page.body_len);
}

}

TOggCommentEdit::TOggCommentEdit(const std::vector<uint8_t>& ogg)
{
    TSync sync;
    if (!ogg.empty()) {
        char* buffer = ogg_sync_buffer(&sync.state, static_cast<long>(ogg.size()));
        std::memcpy(buffer, ogg.data(), ogg.size());
        ogg_sync_wrote(&sync.state, static_cast<long>(ogg.size()));
    }
    ogg_page page;
    for (int r; (r = ogg_sync_pageout(&sync.state, &page)) != 0;) {
        if (r < 0)
            continue;  // bytes that are no page are passed over, as a decoder does
        TPage p;
        p.bytes.assign(page.header, page.header + page.header_len);
        p.bytes.insert(p.bytes.end(), page.body, page.body + page.body_len);
        p.serial = ogg_page_serialno(&page);
        pages_.push_back(std::move(p));
    }
    if (pages_.empty() || !ogg_page_bos(&(page = PageOf(pages_[0].bytes))))
        throw std::runtime_error("not an Ogg stream");
    serial_ = pages_[0].serial;

    // The three headers, and the page the last of them ends on.
    TStream stream(serial_);
    std::vector<std::vector<uint8_t>> packets;
    size_t i = 0;
    for (; i < pages_.size() && packets.size() < 3; ++i) {
        if (pages_[i].serial != serial_)
            continue;
        if (packets.empty() && endHeader_ == 0)
            firstHeader_ = i;
        ogg_page p = PageOf(pages_[i].bytes);
        if (ogg_stream_pagein(&stream.state, &p) != 0)
            throw std::runtime_error("damaged Ogg page in the headers");
        ogg_packet packet;
        for (int r; packets.size() < 3 && (r = ogg_stream_packetout(&stream.state, &packet)) != 0;) {
            if (r < 0)
                throw std::runtime_error("damaged Ogg page in the headers");
            if (!IsHeader(packet, static_cast<unsigned char>(1 + 2 * packets.size())))
                throw std::runtime_error("not an Ogg Vorbis stream");
            packets.emplace_back(packet.packet, packet.packet + packet.bytes);
        }
        if (packets.size() == 3) {
            ogg_packet next;
            if (ogg_stream_packetpeek(&stream.state, &next) != 0)
                throw std::runtime_error("sound shares a page with the headers; the comments cannot be rewritten");
        }
    }
    if (packets.size() < 3)
        throw std::runtime_error("the Vorbis headers are incomplete");
    endHeader_ = i;
    for (size_t k = firstHeader_; k < endHeader_; ++k)
        headerPages_ += pages_[k].serial == serial_;
    for (; i < pages_.size(); ++i) {
        if (pages_[i].serial != serial_)
            continue;
        ogg_page p = PageOf(pages_[i].bytes);
        if (ogg_page_continued(&p))
            throw std::runtime_error("sound shares a page with the headers; the comments cannot be rewritten");
        break;
    }
    ident_ = std::move(packets[0]);
    setup_ = std::move(packets[2]);

    // The comment header: vendor, then the comments, each a 32-bit length and its bytes.
    const std::vector<uint8_t>& c = packets[1];
    size_t at = 7;
    auto take = [&](std::string& out) {
        if (c.size() - at < 4 || c.size() - at - 4 < Le32(c, at))
            throw std::runtime_error("damaged comment header");
        const uint32_t n = Le32(c, at);
        out.assign(reinterpret_cast<const char*>(c.data() + at + 4), n);
        at += 4 + n;
    };
    take(vendor_);
    if (c.size() - at < 4)
        throw std::runtime_error("damaged comment header");
    const uint32_t count = Le32(c, at);
    at += 4;
    for (uint32_t k = 0; k < count; ++k) {
        std::string comment;
        take(comment);
        comments_.push_back(std::move(comment));
    }
}

std::vector<uint8_t> TOggCommentEdit::With(const std::vector<std::string>& comments) const
{
    std::vector<uint8_t> packet{3, 'v', 'o', 'r', 'b', 'i', 's'};
    PutLe32(packet, static_cast<uint32_t>(vendor_.size()));
    packet.insert(packet.end(), vendor_.begin(), vendor_.end());
    PutLe32(packet, static_cast<uint32_t>(comments.size()));
    for (const auto& comment : comments) {
        PutLe32(packet, static_cast<uint32_t>(comment.size()));
        packet.insert(packet.end(), comment.begin(), comment.end());
    }
    packet.push_back(1);  // the framing bit

    // The headers paged anew: the identification header alone on the first page, the other two
    // after it, ending their page so that sound starts on a page of its own.
    std::vector<uint8_t> headers;
    int headerPages = 0;
    TStream stream(serial_);
    const std::vector<uint8_t>* parts[] = {&ident_, &packet, &setup_};
    for (int k = 0; k < 3; ++k) {
        ogg_packet p{};
        p.packet = const_cast<unsigned char*>(parts[k]->data());
        p.bytes = static_cast<long>(parts[k]->size());
        p.b_o_s = k == 0;
        p.packetno = k;
        ogg_stream_packetin(&stream.state, &p);
        ogg_page page;
        if (k != 1)
            while (ogg_stream_flush(&stream.state, &page) != 0) {
                Append(headers, page);
                ++headerPages;
            }
    }

    const long shift = headerPages - headerPages_;
    std::vector<uint8_t> out;
    for (size_t i = 0; i < pages_.size(); ++i) {
        if (i == firstHeader_)
            out.insert(out.end(), headers.begin(), headers.end());
        const TPage& p = pages_[i];
        const bool ours = p.serial == serial_;
        if (ours && i >= firstHeader_ && i < endHeader_)
            continue;
        if (!ours || shift == 0 || i < endHeader_) {
            out.insert(out.end(), p.bytes.begin(), p.bytes.end());
            continue;
        }
        std::vector<uint8_t> moved = p.bytes;
        const uint32_t number = Le32(moved, 18) + static_cast<uint32_t>(shift);
        for (int b = 0; b < 4; ++b)
            moved[18 + b] = static_cast<uint8_t>(number >> (8 * b));
        ogg_page page = PageOf(moved);
        ogg_page_checksum_set(&page);
        out.insert(out.end(), moved.begin(), moved.end());
    }
    return out;
}
