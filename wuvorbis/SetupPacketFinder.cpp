#include "SetupPacketFinder.h"

#include <algorithm>
#include <cstring>

SetupPacketFinder::SetupPacketFinder(long serial) : serial_(serial)
{
    ogg_sync_init(&sync_);
    ogg_stream_init(&stream_, static_cast<int>(serial));
    // As the decoder sets up its stream: a reset one takes its first page at any sequence number.
    ogg_stream_reset_serialno(&stream_, static_cast<int>(serial));
}

SetupPacketFinder::~SetupPacketFinder()
{
    ogg_stream_clear(&stream_);
    ogg_sync_clear(&sync_);
}

bool SetupPacketFinder::Feed(const unsigned char* data, size_t bytes)
{
    constexpr size_t kPiece = 65536;  // a large capture is taken a piece at a time
    while (!over_ && bytes > 0) {
        const size_t piece = std::min(bytes, kPiece);
        char* buffer = ogg_sync_buffer(&sync_, static_cast<long>(piece));
        if (buffer == nullptr) {
            over_ = true;
            break;
        }
        std::memcpy(buffer, data, piece);
        ogg_sync_wrote(&sync_, static_cast<long>(piece));
        data += piece;
        bytes -= piece;
        // Pages of other streams and bytes between pages are passed over, as the decoder does.
        ogg_page page;
        for (int r; !over_ && (r = ogg_sync_pageout(&sync_, &page)) != 0;)
            if (r > 0 && ogg_page_serialno(&page) == serial_)
                over_ = TakePage(page);
    }
    return over_;
}

bool SetupPacketFinder::TakePage(ogg_page& page)
{
    ogg_stream_pagein(&stream_, &page);
    ogg_packet packet;
    for (int r; (r = ogg_stream_packetout(&stream_, &packet)) != 0;) {
        if (r < 0)
            return true;  // a gap inside the headers: the decoder does not open such a stream
        if (++packets_ == 3) {
            packet_.assign(packet.packet, packet.packet + packet.bytes);
            return true;
        }
    }
    return false;
}
