#pragma once
// Finds the setup header, the third packet, of one logical stream in the raw bytes of an Ogg
// stream, handed in piece by piece from where that stream's pages begin.
#include <ogg/ogg.h>

#include <cstddef>
#include <vector>

class SetupPacketFinder {
public:
    explicit SetupPacketFinder(long serial);
    ~SetupPacketFinder();
    SetupPacketFinder(const SetupPacketFinder&) = delete;
    SetupPacketFinder& operator=(const SetupPacketFinder&) = delete;

    // Takes the next bytes of the stream. True once the search is over: the packet is complete,
    // or a gap in the stream's pages came before it.
    bool Feed(const unsigned char* data, size_t bytes);
    // The setup packet; empty until it is complete, and when a gap came first.
    const std::vector<unsigned char>& Packet() const { return packet_; }

private:
    // Takes a page of the stream and its packets; true once the search is over.
    bool TakePage(ogg_page& page);

    const long serial_;
    ogg_sync_state sync_;
    ogg_stream_state stream_;
    int packets_ = 0;
    bool over_ = false;
    std::vector<unsigned char> packet_;
};
