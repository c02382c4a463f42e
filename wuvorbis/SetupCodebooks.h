#pragma once
// The codebooks of a Vorbis setup header (the stream's third header packet), read from the packet
// itself as the Vorbis I bitstream format lays them out.
#include <cstddef>

namespace SetupCodebooks {

// True when every codebook of the setup packet can be built for decoding: its dimension is at
// least 1 and the lengths of its used entries fill the code tree exactly (Kraft's sum is 1), or it
// has at most one used entry, which decoders take as the one code "0". False as well for a packet
// that is not a setup header or ends inside its codebooks.
bool AllDecodable(const unsigned char* packet, size_t bytes);

}
