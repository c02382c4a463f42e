// TOggData: streams that are not 44100 Hz stereo or mono. Reading any channel count as stereo,
// and the converted path that takes a stream at another rate to 44100 Hz.
// The loop step and the play state live in OggDataRender.cpp.
#include "OggDataLib.h"

#include "ChannelDownmix.h"
#include "LoopTime.h"
#include "OggWuvorbisLib.h"
#include "RateConverter.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace {

// Source frames decoded at a time for the converter (LoopTime.h, where the loop arithmetic
// that depends on it lives).
constexpr size_t kSourceChunkFrames = static_cast<size_t>(LoopTime::SourceChunkFrames);
// Frames of three or more channels decoded at a time before being mixed down.
constexpr int32_t kMixFrames = 1024;
// Rates converted: those of real audio. A header may claim any 32-bit rate; outside this range
// the stream is not rendered (and ends), rather than overflow the byte counts made from it.
constexpr int32_t kMinRate = 1000;
constexpr int32_t kMaxRate = 768000;

}

bool TOggData::Renderable() const
{
    if (!TChannelDownmix::Supports(Channels))
        return false;
    return Rate == OutputFormat::Rate || Converter != nullptr;
}

int32_t TOggData::SourceBytesPerSecond() const
{
    return Converter ? Rate * OutputFormat::BytesPerFrame : OutputFormat::BytesPerSecond;
}

void TOggData::SetUpConversion()
{
    Converter.reset();
    Downmix.reset();
    ResetConversion();
    if (!TChannelDownmix::Supports(Channels) || Rate < kMinRate || Rate > kMaxRate)
        return;
    if (Channels > 2) {
        Downmix = std::make_unique<TChannelDownmix>(Channels);
        MixScratch.resize(static_cast<size_t>(kMixFrames) * Channels);
    }
    if (Rate == OutputFormat::Rate)
        return;
    try {
        Converter = std::make_unique<TRateConverter>(Rate);
    } catch (const std::runtime_error&) {
        return;  // a rate the converter refuses: the stream cannot be rendered
    }
    SourceFrames.resize(kSourceChunkFrames * OutputFormat::Channels);
}

void TOggData::ResetConversion()
{
    if (Converter)
        Converter->Clear();
    SourceAt = SourceEnd = 0;
    SourceEnded = false;
}

int32_t TOggData::RenderConverted(uint8_t* p, int32_t n)
{
    auto* out = reinterpret_cast<int16_t*>(p);
    const auto want = static_cast<size_t>(n) / OutputFormat::BytesPerFrame;
    size_t done = 0;
    // Each pass gives out frames or takes in source; a pass that does neither (which the
    // converter should never allow) ends the block rather than spin.
    for (int stalls = 0; done < want && stalls < 2;) {
        size_t made = 0;
        if (SourceAt < SourceEnd) {
            size_t used = 0;
            made = Converter->Process(SourceFrames.data() + SourceAt * 2, SourceEnd - SourceAt, used, out + done * 2,
                                      want - done);
            SourceAt += used;
            stalls = (made == 0 && used == 0) ? stalls + 1 : 0;
        } else if (SourceEnded) {
            made = Converter->Flush(out + done * 2, want - done);
            if (made < want - done || Converter->Delay() < 0.5) {
                // All of it is out: the piece ends here, and a later Play starts afresh.
                done += made;
                Playing.store(false);
                ResetConversion();
                break;
            }
        } else {
            markBase_ = static_cast<int32_t>(done + static_cast<size_t>(Converter->Delay())) * OutputFormat::BytesPerFrame;
            const int32_t got = RenderSource(reinterpret_cast<uint8_t*>(SourceFrames.data()),
                                             static_cast<int32_t>(kSourceChunkFrames) * OutputFormat::BytesPerFrame);
            SourceAt = 0;
            SourceEnd = static_cast<size_t>(std::max(got, 0)) / OutputFormat::BytesPerFrame;
            SourceEnded = DataEnded;
            stalls = (SourceEnd == 0 && !SourceEnded) ? stalls + 1 : 0;
        }
        done += made;
    }
    if (done < want)
        std::memset(out + done * 2, 0, (want - done) * OutputFormat::BytesPerFrame);
    return static_cast<int32_t>(done) * OutputFormat::BytesPerFrame;
}

int32_t TOggData::ReadBlock(uint8_t* dest, int32_t m)
{
    if (_VorbisfileDll == nullptr || !Renderable())
        return -1;
    int32_t bitstream = 0;
    if (Channels == 2)
        return _VorbisfileDll->wu_ov_read(&VorbisFile, reinterpret_cast<char*>(dest), m, 0, 2, 1, &bitstream);
    if (Channels > 2) {
        // Decoded whole into the scratch memory, then mixed down into the output.
        const int32_t frames = std::min(m / OutputFormat::BytesPerFrame, kMixFrames);
        if (frames <= 0)
            return 0;
        const int32_t r = _VorbisfileDll->wu_ov_read(&VorbisFile, reinterpret_cast<char*>(MixScratch.data()),
                                                     frames * Channels * 2, 0, 2, 1, &bitstream);
        if (r <= 0)
            return r;
        const int32_t got = r / (Channels * 2);
        Downmix->Mix(MixScratch.data(), got, reinterpret_cast<int16_t*>(dest));
        return got * OutputFormat::BytesPerFrame;
    }
    // One channel: decoded into the scratch memory, then each sample doubled into a frame.
    const int32_t want = std::min<int32_t>((m / 2) & ~1, static_cast<int32_t>(sizeof(MonoScratch)));
    if (want <= 0)
        return 0;
    const int32_t r =
        _VorbisfileDll->wu_ov_read(&VorbisFile, reinterpret_cast<char*>(MonoScratch), want, 0, 2, 1, &bitstream);
    if (r <= 0)
        return r;
    const int32_t samples = std::min(r, want) / 2;
    const auto* in = reinterpret_cast<const int16_t*>(MonoScratch);
    auto* out = reinterpret_cast<PLRWavePack>(dest);
    for (int32_t i = 0; i < samples; ++i) {
        out[i].L = in[i];
        out[i].R = in[i];
    }
    return samples * 4;
}
