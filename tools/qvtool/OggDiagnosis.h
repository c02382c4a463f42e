#pragma once
// TOggDiagnosis: why the bytes of a file are no Ogg Vorbis stream the player can open, in words
// for the user: not Ogg at all, Ogg of another codec, cut off in its headers or in its last page,
// damaged. The decoder only says that it failed; this looks at the pages themselves (after the
// looped-Ogg container header, when there is one) without decoding anything.
#include <cstddef>
#include <cstdint>
#include <string>

class TOggDiagnosis {
public:
    enum TKind {
        Whole,        // complete headers, every page whole up to the end or to trailing bytes
        Empty,        // no bytes at all
        NotOgg,       // does not start with an Ogg page
        NotVorbis,    // an Ogg stream, but its first packet is no Vorbis identification header
        HeadersCut,   // the data ends before the three Vorbis headers are whole
        LastPageCut,  // the headers are whole, the last page is cut off
        Damaged,      // a page in the headers fails its checksum or its layout
    };
    static TKind Of(const uint8_t* data, size_t size);
    // "not an Ogg Vorbis file", "truncated: ..." and so on; "" for Whole.
    static std::string Words(TKind kind);
};
