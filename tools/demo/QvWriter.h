#pragma once
// TQvWriter: encodes stereo PCM with libvorbisenc and writes it as a looped-Ogg container
// ("OSTRAOGG", sixteen loop entries, then the unchanged Ogg stream).
#include <cstdint>
#include <string>
#include <vector>

struct TQvLoop {
    float LoopStart = 0.0f;
    float LoopEnd = 0.0f;
    int32_t RepeatCount = 0;
};

class TQvWriter {
public:
    static constexpr size_t HeaderSize = 200;

    // The 200-byte container header for up to 16 entries (the rest stay zero), little-endian.
    static std::vector<uint8_t> Header(const std::vector<TQvLoop>& loops);
    // Ogg Vorbis bytes of interleaved stereo float PCM (-1 .. 1) at `rate`, with the comments
    // ("NAME=value", UTF-8) stored as given.
    static std::vector<uint8_t> Encode(const std::vector<float>& stereo, int rate,
                                       const std::vector<std::string>& comments, float quality);
    // Writes header + Ogg bytes to `path` through the atomic writer (beside it first, then
    // renamed, so a failed write leaves no half-written file and the old one whole). Without
    // `replace` a file already at `path`, or one that appears meanwhile, is left alone. The header
    // may be empty, for a plain Ogg file. Throws EFileError with the path and the reason.
    static void Save(const std::string& path, const std::vector<uint8_t>& header, const std::vector<uint8_t>& ogg,
                     bool replace);
    // As Save, but false on failure, with errno set (EEXIST for a file kept without `replace`).
    static bool Write(const std::string& path, const std::vector<uint8_t>& header, const std::vector<uint8_t>& ogg,
                      bool replace = true);
};
