// Arbitrary bytes opened as a file: LoadOgg on a memory stream, then a few rendered blocks, a
// seek, a pass through a loop point, and steps along the piece as heard. The first byte chooses what is done:
//   bit 0  put a container header in front, its loop table made of the next 192 bytes
//   bit 1  play with whole-file repeat
//   bit 2  add a loop point inside the first blocks (a plain file has none)
//   bit 3  that loop point is endless; alone (without bit 2): leave damaged page checksums
//          as they are, so the decoder's own rejection of them is exercised too
//   bits 4-7  where the seek goes: 0 the start, 15 past the end, else a fraction of the length
#include "ERangeError.h"
#include "FuzzSupport.h"
#include "OggDataLib.h"
#include "TOggPage.h"
#include "TVorbisHeaders.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {
// Ogg pages carry a CRC; a mutated page would mostly be dropped before the decoder reads it.
// Writing the right CRC into every whole page lets damaged headers and packets reach the
// decoder and, through it, the engine.
void FixPageChecksums(uint8_t* data, size_t size)
{
    for (size_t at = 0; at + 27 <= size;) {
        if (std::memcmp(data + at, "OggS", 4) != 0) {
            ++at;
            continue;
        }
        const size_t segments = data[at + 26];
        if (at + 27 + segments > size)
            break;
        size_t body = 0;
        for (size_t i = 0; i < segments; ++i)
            body += data[at + 27 + i];
        const size_t length = 27 + segments + body;
        if (at + length > size)
            break;
        const uint32_t crc = TOggPage::Checksum(data + at, static_cast<int64_t>(length));
        for (int i = 0; i < 4; ++i)
            data[at + 22 + i] = static_cast<uint8_t>(crc >> (8 * i));
        at += length;
    }
}

// The title lookup's reading of the same bytes, behind the container header if there is one:
// refused or read, never more.
void ReadHeadersAlone(uint8_t* data, size_t size, bool container)
{
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    if (size == 0)
        return;
    std::unique_ptr<std::FILE, Closer> f(::fmemopen(data, size, "rb"));
    if (!f || (container && std::fseek(f.get(), 200, SEEK_SET) != 0))
        return;
    try {
        for (const std::string& line : TVorbisHeaders::ReadComments(f.get()))
            FUZZ_CHECK(line.find('\0') == std::string::npos);
    } catch (const ERangeError&) {
    }
}

constexpr int32_t kBlock = 16384;  // a short block keeps each run quick; the code paths are the same

void RenderBlocks(TOggData& ogg, int count)
{
    for (int i = 0; i < count; ++i) {
        ogg.Rendering();
        FUZZ_CHECK(ogg.RenderOffset.load() == 0 || ogg.RenderOffset.load() == kBlock);
    }
    uint8_t direct[4096];
    const int32_t n = ogg.RenderingToPointer(direct, sizeof direct);
    FUZZ_CHECK(n <= static_cast<int32_t>(sizeof direct));  // negative: a decoder error or a rate it cannot play
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    fuzz::LoadDecoderLibrary();
    const uint8_t flags = data[0];
    ++data;
    --size;

    auto stream = std::make_unique<TMemoryStream>();
    if (flags & 1) {
        uint8_t header[200] = {};
        std::memcpy(header, "OSTRAOGG", 8);
        const size_t table = std::min<size_t>(size, 192);
        std::memcpy(header + 8, data, table);
        data += table;
        size -= table;
        stream->Write(header, sizeof header);
    }
    if (size > 0)
        stream->Write(data, size);
    if ((flags & 0x0C) != 0x08)
        FixPageChecksums(stream->Memory(), static_cast<size_t>(stream->Size()));
    stream->SetPosition(0);
    ReadHeadersAlone(stream->Memory(), static_cast<size_t>(stream->Size()), (flags & 1) != 0);

    TOggData ogg(2 * kBlock);
    TMemoryStream* raw = stream.release();  // LoadOgg takes it, except when it answers false
    try {
        if (!ogg.LoadOgg(raw)) {
            std::unique_ptr<TMemoryStream> back(raw);
            return 0;
        }
    } catch (const ERangeError&) {
        FUZZ_CHECK(!ogg.Loaded.load());
        FUZZ_CHECK(ogg.FileData == nullptr);
        FUZZ_CHECK(ogg.CommentList->Count() == 0);
        return 0;
    }
    FUZZ_CHECK(ogg.Loaded.load());
    FUZZ_CHECK(ogg.DataStart == 0 || ogg.DataStart == 200);
    FUZZ_CHECK(!(flags & 1) || ogg.DataStart == 200);
    FUZZ_CHECK(ogg.PcmBytes >= 0 && ogg.TotalTime >= 0.0f);

    if ((flags & 4) && ogg.DataStart == 0) {
        ogg.Loops[0].LoopStart = 0.05f;
        ogg.Loops[0].LoopEnd = 0.15f;
        ogg.Loops[0].RepeatCount = (flags & 8) ? -1 : 2;
    }
    ogg.Play((flags & 2) != 0);
    RenderBlocks(ogg, 3);

    const int where = flags >> 4;
    const float target = where == 15 ? ogg.TotalTime + 5.0f : ogg.TotalTime * static_cast<float>(where) / 14.0f;
    ogg.TimeSeek(target);
    ogg.SetVolume(0.5f, 0.05f);
    RenderBlocks(ogg, 3);
    (void)ogg.TimeTell();
    (void)ogg.GetOutputTime();

    // Steps along the piece as heard, from the place and the jumps of the last block's start,
    // and a place in the pass heard: whatever the table holds, they land inside the piece, and
    // the passes are never more than the jumps.
    const auto marks = ogg.BlockMarks();
    const double from = marks.empty() ? ogg.DecoderTime() : marks.front().Time;
    const int64_t jumps = marks.empty() ? ogg.LoopJumps() : marks.front().Jumps;
    for (const double by : {-5.0, 5.0, -0.25, 12.0}) {
        double landed = -1.0;
        if (ogg.StepListening(from, jumps, by, landed) == TOggData::TStep::Landed)
            FUZZ_CHECK(landed >= 0.0 && landed <= ogg.TotalTime);
        FUZZ_CHECK(ogg.LoopPasses() <= ogg.LoopJumps());
    }
    double placed = -1.0;
    if (ogg.PlaceListening(from, jumps, ogg.TotalTime * 0.5, placed) == TOggData::TStep::Landed)
        FUZZ_CHECK(placed == ogg.TotalTime * 0.5);
    RenderBlocks(ogg, 1);

    ogg.Stop();
    ogg.TimeSeek(0.0f);
    ogg.Play(false);
    RenderBlocks(ogg, 2);
    return 0;
}
