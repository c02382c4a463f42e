#include "QvWriter.h"

#include "AtomicFile.h"
#include "EFileError.h"

#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <stdexcept>

namespace {

void PutLE32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t FloatBits(float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

// Owns the libvorbis/libogg encoder state for one encode.
class TEncoderState {
public:
    TEncoderState(int rate, float quality) {
        vorbis_info_init(&Info);
        if (vorbis_encode_init_vbr(&Info, 2, rate, quality) != 0) {
            vorbis_info_clear(&Info);
            throw std::runtime_error("vorbis_encode_init_vbr failed");
        }
        vorbis_comment_init(&Comment);
        vorbis_analysis_init(&Dsp, &Info);
        vorbis_block_init(&Dsp, &Block);
        ogg_stream_init(&Stream, 0x4f535452);  // any fixed serial number keeps the output reproducible
    }
    ~TEncoderState() {
        ogg_stream_clear(&Stream);
        vorbis_block_clear(&Block);
        vorbis_dsp_clear(&Dsp);
        vorbis_comment_clear(&Comment);
        vorbis_info_clear(&Info);
    }
    TEncoderState(const TEncoderState&) = delete;
    TEncoderState& operator=(const TEncoderState&) = delete;

    vorbis_info Info{};
    vorbis_comment Comment{};
    vorbis_dsp_state Dsp{};
    vorbis_block Block{};
    ogg_stream_state Stream{};
};

void Append(std::vector<uint8_t>& out, const ogg_page& page) {
    out.insert(out.end(), page.header, page.header + page.header_len);
    out.insert(out.end(), page.body, page.body + page.body_len);
}

}  // namespace

std::vector<uint8_t> TQvWriter::Header(const std::vector<TQvLoop>& loops) {
    std::vector<uint8_t> header(HeaderSize, 0);
    std::memcpy(header.data(), "OSTRAOGG", 8);
    for (size_t k = 0; k < loops.size() && k < 16; ++k) {
        const size_t at = 8 + 12 * k;
        PutLE32(header, at, FloatBits(loops[k].LoopStart));
        PutLE32(header, at + 4, FloatBits(loops[k].LoopEnd));
        PutLE32(header, at + 8, static_cast<uint32_t>(loops[k].RepeatCount));
    }
    return header;
}

std::vector<uint8_t> TQvWriter::Encode(const std::vector<float>& stereo, int rate,
                                       const std::vector<std::string>& comments, float quality) {
    TEncoderState enc(rate, quality);
    for (const std::string& c : comments) vorbis_comment_add(&enc.Comment, c.c_str());

    std::vector<uint8_t> out;
    ogg_packet id, comm, code;
    vorbis_analysis_headerout(&enc.Dsp, &enc.Comment, &id, &comm, &code);
    ogg_stream_packetin(&enc.Stream, &id);
    ogg_stream_packetin(&enc.Stream, &comm);
    ogg_stream_packetin(&enc.Stream, &code);
    ogg_page page;
    while (ogg_stream_flush(&enc.Stream, &page) != 0) Append(out, page);

    const size_t frames = stereo.size() / 2;
    constexpr size_t Chunk = 1024;
    size_t done = 0;
    bool ended = false;
    while (!ended) {
        const size_t n = std::min(Chunk, frames - done);
        if (n > 0) {
            float** buf = vorbis_analysis_buffer(&enc.Dsp, static_cast<int>(n));
            for (size_t i = 0; i < n; ++i) {
                buf[0][i] = stereo[2 * (done + i)];
                buf[1][i] = stereo[2 * (done + i) + 1];
            }
            vorbis_analysis_wrote(&enc.Dsp, static_cast<int>(n));
            done += n;
        } else {
            vorbis_analysis_wrote(&enc.Dsp, 0);  // end of stream
        }
        while (vorbis_analysis_blockout(&enc.Dsp, &enc.Block) == 1) {
            vorbis_analysis(&enc.Block, nullptr);
            vorbis_bitrate_addblock(&enc.Block);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&enc.Dsp, &packet) == 1) {
                ogg_stream_packetin(&enc.Stream, &packet);
                while (ogg_stream_pageout(&enc.Stream, &page) != 0) {
                    Append(out, page);
                    if (ogg_page_eos(&page)) ended = true;
                }
            }
        }
        if (n == 0) ended = true;
    }
    while (ogg_stream_flush(&enc.Stream, &page) != 0) Append(out, page);
    return out;
}

void TQvWriter::Save(const std::string& path, const std::vector<uint8_t>& header, const std::vector<uint8_t>& ogg,
                     bool replace) {
    TAtomicFile file(path, replace ? TAtomicFile::Replace : TAtomicFile::NoReplace);
    file.Put(header.data(), header.size());
    file.Put(ogg.data(), ogg.size());
    file.Commit();
}

bool TQvWriter::Write(const std::string& path, const std::vector<uint8_t>& header, const std::vector<uint8_t>& ogg,
                      bool replace) {
    try {
        Save(path, header, ogg, replace);
        return true;
    } catch (const EFileError& e) {
        // Not a system call's failure (a FIFO in the file's place): no errno of its own.
        errno = e.Error() != 0 ? e.Error() : EINVAL;
        return false;
    }
}
