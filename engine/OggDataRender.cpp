// TOggData: rendering, play state, volumes, loop step, equaliser and output analysis.
// Loading, the container and construction live in OggDataLib.cpp.
#include "OggDataLib.h"
#include "OggWuvorbisLib.h"
#include "TickCount.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int32_t kBytesPerSecond = TOggData::BytesPerSecond;
constexpr int32_t kFramesPerSecond = 44100;
constexpr int32_t kFadeUnit = 5644800;  // 128 * 44100: Now / kFadeUnit gives 0..256
constexpr double kRestartSeconds = 0.001;
constexpr int32_t kEQSize = 256;
constexpr int32_t kEQHistory = 64;
constexpr int32_t kEQNewFrames = 192;
constexpr int32_t kEQWriteFrames = 128;
// Jumps taken within one block at most: each is a decoder seek, and loops of a few
// milliseconds are not music; this bounds the work of a block whatever the table holds.
constexpr int32_t kMaxJumpsPerBlock = 256;

// Round to nearest, ties to even (the default rounding mode), as a 64-bit integer.
int64_t RoundEven(double v)
{
    return static_cast<int64_t>(std::nearbyint(v));
}

// Entry i of the equaliser is bin i/2 for even i and bin 255 - i/2 for odd i.
constexpr int32_t EQBin(int32_t entry)
{
    return (entry % 2 == 0) ? entry / 2 : kEQSize - 1 - entry / 2;
}

int16_t ToSample(float v)
{
    // Values arrive clipped to +-32767; a NaN from an absurd gain becomes silence.
    if (!(v == v))
        return 0;
    return static_cast<int16_t>(std::lrint(v));
}

}

// ---------------------------------------------------------------------------------------------
// Rendering

void TOggData::Rendering()
{
    const int32_t half = static_cast<int32_t>(RenderBuffer->Size() / 2);
    RenderOffset.store(RenderOffset.load() == 0 ? half : 0);
    RenderingToPointer(Offset(), half);
}

int32_t TOggData::RenderingToPointer(void* dest, int32_t bytes)
{
    // A finished fade-out stops playback at the start of the next block.
    if (GetNowVolume() < 0.01f && GetSetVolume() < 0.01f)
        Pause();
    if (!Loaded.load() || !Playing.load())
        return 0;
    if (dest == nullptr || bytes < 4)
        return 0;
    const int32_t n = bytes & ~3;
    auto* p = static_cast<uint8_t*>(dest);

    std::lock_guard<std::recursive_mutex> lock(RenderLock);
    // Init or Stop may have run between the check above and taking the lock.
    if (!Loaded.load() || !Playing.load())
        return 0;
    Busy.store(true);
    RenderTick.store(TickCount::Get());

    const float t = (_VorbisfileDll != nullptr) ? static_cast<float>(_VorbisfileDll->wu_ov_time_tell(&VorbisFile))
                                                 : 0.0f;

    // Loop points that playback has passed are armed again for the next time they are reached.
    for (int32_t i = 0; i < 16; ++i)
        if (Loops[i].LoopEnd < t)
            LoopCounter[i].store(0);

    // The loop step. The first entry (in index order) whose end falls within the rest of the
    // block and that has jumps left fires: the block is decoded up to the whole frame nearest to
    // its end, the decoder jumps to its start, and the rest of the block is checked again from
    // there, so that a loop shorter than a block keeps looping instead of playing on past its end.
    uint8_t* cursor = p;
    int32_t remaining = n;
    float now = t;
    int32_t result = 0;
    bool failed = false;
    auto account = [&](int32_t r) {
        if (failed)
            return;
        if (r < 0) {
            result = r;
            failed = true;
        } else {
            result += r;
        }
    };
    for (int32_t jumps = 0; jumps < kMaxJumpsPerBlock && remaining > 0; ++jumps) {
        const double span = static_cast<double>(remaining) / kBytesPerSecond;
        int32_t due = -1;
        for (int32_t i = 0; i < 16 && due < 0; ++i) {
            const TOggLoop& e = Loops[i];
            // A loop end beyond the end of the stream is never reached; the small margin keeps an
            // end written as the stream's own length (rounded to a float) due.
            const bool inStream = e.LoopEnd <= TotalTime + 0.001f;
            const bool inSpan = e.LoopEnd >= now && static_cast<double>(now) + span >= e.LoopEnd;
            const bool left = e.RepeatCount == -1 || e.RepeatCount > LoopCounter[i].load();
            if (inStream && inSpan && left)
                due = i;
        }
        if (due < 0)
            break;
        const TOggLoop& e = Loops[due];
        if (e.RepeatCount != -1)
            LoopCounter[due].fetch_add(1);
        int64_t len = RoundEven((static_cast<double>(e.LoopEnd) - static_cast<double>(now)) * kBytesPerSecond);
        len = std::clamp<int64_t>(len & ~int64_t{3}, 0, remaining);
        // If the data ends before the loop end (an end at the stream's own end), the jump is
        // taken right there, so the join stays gapless and playback does not stop.
        const int32_t first = FillBlock(cursor, static_cast<int32_t>(len), true);
        account(first);
        const int32_t taken = first < 0 ? static_cast<int32_t>(len) : first;
        cursor += taken;
        remaining -= taken;
        if (_VorbisfileDll == nullptr || _VorbisfileDll->wu_ov_time_seek(&VorbisFile, e.LoopStart) < 0)
            break;  // a start the decoder cannot seek to: play on from here
        now = static_cast<float>(_VorbisfileDll->wu_ov_time_tell(&VorbisFile));
        // A jump that advanced nothing (a loop of no length) is not repeated within the block.
        if (taken == 0 && jumps > 0)
            break;
    }
    if (remaining > 0)
        account(FillBlock(cursor, remaining));

    ApplyEQ(reinterpret_cast<PLRWavePack>(p), n);
    ApplyVolume(reinterpret_cast<PLRWavePack>(p), n / 4);

    Busy.store(false);
    return result;
}

// The fade works on locals for speed and is published at the end; the gain lock keeps a
// SetVolume from the caller's thread from being overwritten by the block's final store.
void TOggData::ApplyVolume(PLRWavePack frames, int32_t count)
{
    const int64_t f = static_cast<int64_t>(MasterVolume.load()) * ChannelVolume.load() / 256;
    std::lock_guard<std::mutex> lock(GainLock);
    int32_t now = OggVolume.Now.load();
    int32_t step = OggVolume.Step.load();
    const int32_t target = OggVolume.Target.load();
    if (step == 0) {
        // No fade in progress: one gain for the whole block, a loop the compiler can vectorise.
        const int64_t gain = static_cast<int64_t>(now / kFadeUnit) * f / 256;
        if (gain >= 0 && gain <= 256) {
            const auto g = static_cast<int32_t>(gain);
            for (int32_t i = 0; i < count; ++i) {
                frames[i].L = static_cast<int16_t>(frames[i].L * g / 256);
                frames[i].R = static_cast<int16_t>(frames[i].R * g / 256);
            }
            return;
        }
    }
    const bool mayClip = f > 256 || f < 0;
    for (int32_t i = 0; i < count; ++i) {
        if (step != 0) {
            const int64_t distance = std::llabs(static_cast<int64_t>(target) - now);
            if (distance < std::llabs(static_cast<int64_t>(step))) {
                now = target;
                step = 0;
            }
            now += step;
        }
        const int64_t gain = static_cast<int64_t>(now / kFadeUnit) * f / 256;
        int64_t l = frames[i].L * gain / 256;
        int64_t r = frames[i].R * gain / 256;
        if (mayClip) {
            // Only volumes above full can leave the 16-bit range; wrapping would be noise.
            l = std::clamp<int64_t>(l, -32768, 32767);
            r = std::clamp<int64_t>(r, -32768, 32767);
        }
        frames[i].L = static_cast<int16_t>(l);
        frames[i].R = static_cast<int16_t>(r);
    }
    OggVolume.Now.store(now);
    OggVolume.Step.store(step);
}

int32_t TOggData::FillBlock(uint8_t* dest, int32_t len, bool stopAtEnd)
{
    int32_t remaining = len;
    // Bytes decoded since the last restart; a restart that yields nothing means the stream
    // has no data to repeat, and the block must end instead of spinning.
    bool restarted = false;
    int32_t sinceRestart = 0;
    while (remaining > 0) {
        const int32_t r = ReadBlock(dest, remaining);
        if (r < 0) {
            // Nothing could be decoded into the rest of the range: silence.
            std::memset(dest, 0, static_cast<size_t>(remaining));
            return r;
        }
        if (r == 0) {
            if (stopAtEnd)
                return len - remaining;
            const bool dead = restarted && sinceRestart == 0;
            if (LoopPlay.load() && !dead) {
                if (_VorbisfileDll != nullptr)
                    _VorbisfileDll->wu_ov_time_seek(&VorbisFile, kRestartSeconds);
                restarted = true;
                sinceRestart = 0;
                continue;
            }
            Playing.store(false);
            LoopPlay.store(false);
            if (!dead && _VorbisfileDll != nullptr)
                _VorbisfileDll->wu_ov_time_seek(&VorbisFile, kRestartSeconds);
            std::memset(dest, 0, static_cast<size_t>(remaining));
            return len - remaining;
        }
        const int32_t used = std::min(r, remaining);
        dest += used;
        remaining -= used;
        sinceRestart += used;
    }
    return len;
}

int32_t TOggData::ReadBlock(uint8_t* dest, int32_t m)
{
    if (_VorbisfileDll == nullptr || Rate != 44100)
        return -1;
    int32_t bitstream = 0;
    if (Channels == 2) {
        return _VorbisfileDll->wu_ov_read(&VorbisFile, reinterpret_cast<char*>(dest), m, 0, 2, 1, &bitstream);
    }
    if (Channels == 1) {
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
    return -1;
}

// ---------------------------------------------------------------------------------------------
// Play state and position

void TOggData::Play(bool loop)
{
    LoopPlay.store(loop);
    Playing.store(true);
}

void TOggData::Pause()
{
    Playing.store(false);
    LoopPlay.store(false);
}

void TOggData::Stop()
{
    Pause();
    std::lock_guard<std::recursive_mutex> lock(RenderLock);
    TimeSeek(0.0f);
    for (auto& c : LoopCounter)
        c.store(0);
    if (RenderBuffer && RenderBuffer->Size() > 0)
        std::memset(RenderBuffer->Memory(), 0, static_cast<size_t>(RenderBuffer->Size()));
}

void TOggData::TimeSeek(float seconds)
{
    if (!Loaded.load() || std::isnan(seconds))
        return;
    std::lock_guard<std::recursive_mutex> lock(RenderLock);
    if (!Loaded.load() || _VorbisfileDll == nullptr)
        return;
    bool atEnd = false;
    if (seconds < 0.001f)
        seconds = 0.001f;
    if (seconds >= TotalTime) {
        seconds = TotalTime;
        atEnd = true;
    }
    if (std::fabs(seconds - TimeTell()) < 0.001f)
        return;
    if (!SeekAble())
        return;
    if (_VorbisfileDll->wu_ov_time_seek(&VorbisFile, seconds) < 0 && atEnd) {
        // The decoder takes only times before the end; the stream's length rounded to a float
        // can lie on or past it, so land on the last frame instead.
        _VorbisfileDll->wu_ov_time_seek(&VorbisFile, static_cast<double>(seconds) - 1.0 / kFramesPerSecond);
    }
}

float TOggData::TimeTell()
{
    std::lock_guard<std::recursive_mutex> lock(RenderLock);
    if (FileData == nullptr || _VorbisfileDll == nullptr)
        return 0.0f;
    return static_cast<float>(_VorbisfileDll->wu_ov_time_tell(&VorbisFile));
}

float TOggData::GetOutputTime()
{
    const int64_t now = TickCount::Get();
    const int64_t tick = static_cast<int64_t>(RenderTick.load());
    // A negative difference (the tick count wrapped) counts as no time at all.
    const double elapsed = std::clamp(static_cast<double>(now - tick) / 1000.0, 0.0, 1.0);
    const double buffered = static_cast<double>(RenderBuffer->Size()) / kBytesPerSecond;
    const double t = static_cast<double>(TimeTell()) - buffered + elapsed;
    return t < 0.0 ? 0.0f : static_cast<float>(t);
}

TPLAYSTATE TOggData::GetPlayState()
{
    if (Playing.load())
        return LoopPlay.load() ? psLOOP : psPLAY;
    return Loaded.load() ? psSTOP : psNONE;
}

// ---------------------------------------------------------------------------------------------
// Volumes

void TOggData::SetVolume(float volume)
{
    SetVolume(volume, 0.0f);
}

void TOggData::SetVolume(float volume, float fadeSeconds)
{
    if (std::isnan(volume))
        return;
    volume = std::clamp(volume, 0.0f, 1.0f);
    const auto level = static_cast<int32_t>(static_cast<double>(volume) * FullVolume);
    std::lock_guard<std::mutex> lock(GainLock);
    if (!(fadeSeconds >= 0.01f)) {
        OggVolume.Now.store(level);
        OggVolume.Target.store(level);
        OggVolume.Step.store(0);
        return;
    }
    const int32_t now = OggVolume.Now.load();
    const double frames = static_cast<double>(fadeSeconds) * kFramesPerSecond;
    const auto step = static_cast<int32_t>(std::trunc(static_cast<double>(level - now) / frames));
    OggVolume.Target.store(level);
    OggVolume.Step.store(step);
}

float TOggData::GetNowVolume()
{
    return static_cast<float>(OggVolume.Now.load()) / static_cast<float>(FullVolume);
}

float TOggData::GetSetVolume()
{
    return static_cast<float>(OggVolume.Target.load()) / static_cast<float>(FullVolume);
}

namespace {
// 255 is full. Values far beyond full are limited so that the per-block factor stays in range.
int32_t VolumeStep(float v)
{
    if (std::isnan(v))
        return 0;
    const double scaled = std::clamp(static_cast<double>(v) * 255.0, -65535.0, 65535.0);
    return static_cast<int32_t>(std::nearbyint(scaled));
}
}

void TOggData::SetMasterVolume(float v)
{
    MasterVolume.store(VolumeStep(v));
}

float TOggData::GetMasterVolume()
{
    return static_cast<float>(MasterVolume.load()) / 255.0f;
}

void TOggData::SetChannelVolume(float v)
{
    ChannelVolume.store(VolumeStep(v));
}

float TOggData::GetChannelVolume()
{
    return static_cast<float>(ChannelVolume.load()) / 255.0f;
}

int32_t TOggData::GetLoopCount(int32_t index)
{
    if (index < 0 || index > 15)
        return 0;
    return LoopCounter[index].load();
}

void TOggData::SetLoopCount(int32_t index, int32_t value)
{
    if (index < 0 || index > 15)
        return;
    LoopCounter[index].store(value);
}

// ---------------------------------------------------------------------------------------------
// Equaliser

void TOggData::SetEQ(int32_t index, float gain)
{
    SetEQ(index, gain, 0.0f);
}

void TOggData::SetEQ(int32_t index, float gain, float seconds)
{
    if (index < 0 || index >= kEQSize || !std::isfinite(gain))
        return;
    TOggEQ& e = OggEQ[index];
    std::lock_guard<std::mutex> lock(GainLock);
    if (!(seconds >= 0.001f)) {
        e.Now.store(gain);
        e.Target.store(gain);
        e.Step.store(0.0f);
        return;
    }
    const float now = e.Now.load();
    e.Target.store(gain);
    e.Step.store((gain - now) / (seconds * 44100.0f));
}

void TOggData::SetEQ4(float b0, float b1, float b2, float b3, float seconds)
{
    const float bands[4] = {b0, b1, b2, b3};
    for (int32_t i = 0; i < kEQSize; ++i) {
        const auto x = static_cast<float>((i * 3) / 255.0);
        const float v = Harmite2(bands, x, 4);
        SetEQ(i, v > 0.0f ? v : 0.0f, seconds);
    }
}

void TOggData::SetEQ8(const float bands[8], float seconds)
{
    if (bands == nullptr)
        return;
    for (int32_t i = 0; i < kEQSize; ++i) {
        const auto x = static_cast<float>((i * 7) / 255.0);
        const float v = Harmite2(bands, x, 8);
        SetEQ(i, v > 0.0f ? v : 0.0f, seconds);
    }
}

void TOggData::SetEQ16(const float bands[16], float seconds)
{
    if (bands == nullptr)
        return;
    for (int32_t i = 0; i < kEQSize; ++i) {
        const auto x = static_cast<float>((i * 15) / 255.0);
        const float v = Harmite2(bands, x, 16);
        SetEQ(i, v > 0.0f ? v : 0.0f, seconds);
    }
}

float TOggData::GetNowEQ(int32_t index)
{
    if (index < 0 || index >= kEQSize)
        return 0.0f;
    return OggEQ[index].Now.load();
}

float TOggData::GetSetEQ(int32_t index)
{
    if (index < 0 || index >= kEQSize)
        return 0.0f;
    return OggEQ[index].Target.load();
}

bool TOggData::GetEQ()
{
    for (const auto& e : OggEQ) {
        if (std::fabs(e.Now.load(std::memory_order_relaxed) - 1.0f) +
                std::fabs(e.Target.load(std::memory_order_relaxed) - 1.0f) >
            0.01f)
            return true;
    }
    return false;
}

float TOggData::Hermite(float p0, float p1, float p2, float p3, float t, float a, float b)
{
    float m1 = (p2 - p0) * a;
    float m2 = (p3 - p1) * b;
    if (p1 == p2) {
        // A flat segment bulges only a quarter as much.
        m1 *= 0.25f;
        m2 *= 0.25f;
    }
    return (t - 1) * (t - 1) * p1 * (2 * t + 1) + t * t * p2 * (3 - 2 * t) + (1 - t) * (1 - t) * m1 * t +
           m2 * (t - 1) * t * t;
}

float TOggData::Harmite2(const float* points, float x, int32_t n)
{
    if (points == nullptr || n <= 0)
        return 0.0f;
    if (!(x >= 0.0f))
        x = 0.0f;
    if (x > static_cast<float>(n - 1))
        x = static_cast<float>(n - 1);
    const auto k = static_cast<int32_t>(x);
    const float f = x - static_cast<float>(k);
    const float p0 = points[std::max(k - 1, 0)];
    const float p1 = points[k];
    const float p2 = points[std::min(k + 1, n - 1)];
    const float p3 = points[std::min(k + 2, n - 1)];
    return Hermite(p0, p1, p2, p3, f, 1.0f, 1.0f);
}

// Overlapping block FFT filter: each chunk takes up to 192 new frames behind 64 frames of
// history, filters all 256 as one complex signal (left real, right imaginary) and writes back
// the 128 frames that have both history and look-ahead around them.
void TOggData::ApplyEQ(PLRWavePack buffer, int32_t bytes)
{
    if (buffer == nullptr || bytes < 4 || !GetEQ())
        return;
    TFFT& fft = *EQFFT;
    float* re = fft.Re.data();
    float* im = fft.Im.data();
    float gains[kEQSize];
    int32_t frames = bytes / 4;
    PLRWavePack cursor = buffer;
    while (frames > 0) {
        const int32_t m = std::min(frames, kEQNewFrames);
        {
            std::lock_guard<std::mutex> lock(GainLock);
            const auto mf = static_cast<float>(m);
            for (int32_t i = 0; i < kEQSize; ++i) {
                TOggEQ& e = OggEQ[i];
                float now = e.Now.load(std::memory_order_relaxed);
                const float target = e.Target.load(std::memory_order_relaxed);
                const float step = e.Step.load(std::memory_order_relaxed);
                if (std::fabs(now - target) >= std::fabs(mf * step)) {
                    now = now + mf * step;
                } else {
                    now = target;
                    e.Step.store(0.0f, std::memory_order_relaxed);
                }
                e.Now.store(now, std::memory_order_relaxed);
                gains[EQBin(i)] = now;
            }
        }

        for (int32_t j = 0; j < kEQHistory; ++j) {
            re[j] = EQHistoryL[j];
            im[j] = EQHistoryR[j];
        }
        for (int32_t j = 0; j < m; ++j) {
            re[kEQHistory + j] = cursor[j].L;
            im[kEQHistory + j] = cursor[j].R;
        }
        for (int32_t j = kEQHistory + m; j < kEQSize; ++j) {
            re[j] = cursor[m - 1].L;
            im[j] = cursor[m - 1].R;
        }
        const int32_t s = (m == kEQNewFrames) ? kEQWriteFrames : m;
        for (int32_t j = 0; j < kEQHistory; ++j) {
            EQHistoryL[j] = re[s + j];
            EQHistoryR[j] = im[s + j];
        }

        fft.HammingWindow();
        fft.FFT();
        for (int32_t j = 0; j < kEQSize; ++j) {
            re[j] *= gains[j];
            im[j] *= gains[j];
        }
        fft.UnFFT();
        fft.UnHammingWindow();
        fft.SatSmallInt();

        const int32_t k = (m == kEQNewFrames) ? kEQWriteFrames : m;
        for (int32_t j = 0; j < k; ++j) {
            cursor[j].L = ToSample(re[kEQHistory + j]);
            cursor[j].R = ToSample(im[kEQHistory + j]);
        }
        cursor += k;
        frames -= k;
    }
}

// ---------------------------------------------------------------------------------------------
// Output analysis

int32_t TOggData::GetOutputWavePos()
{
    const int64_t size = RenderBuffer ? RenderBuffer->Size() : 0;
    if (size < 4)
        return -1;
    const int64_t diff = static_cast<int64_t>(TickCount::Get()) - static_cast<int64_t>(RenderTick.load());
    if (diff < 0)
        return -1;
    const float elapsed = static_cast<float>(diff) / 1000.0f;
    int64_t b = RoundEven(static_cast<double>(elapsed * static_cast<float>(kBytesPerSecond)));
    b &= ~int64_t{3};
    if (b > size)
        return -1;
    if (RenderOffset.load() == 0)
        b += size / 2;
    return static_cast<int32_t>((b % size) & ~int64_t{3});
}

float TOggData::GetOutputSum()
{
    return GetOutputSum(2);
}

float TOggData::GetOutputSum(int32_t channel)
{
    std::lock_guard<std::recursive_mutex> lock(RenderLock);
    const int32_t pos = GetOutputWavePos();
    if (pos < 0)
        return 0.0f;
    const int64_t ringFrames = RenderBuffer->Size() / 4;
    const auto* ring = reinterpret_cast<const TLRWavePack*>(RenderBuffer->Memory());
    int64_t sumL = 0, sumR = 0;
    int64_t f = pos / 4;
    for (int32_t j = 0; j < 256; ++j, ++f) {
        if (f >= ringFrames)
            f = 0;
        sumL += std::abs(static_cast<int32_t>(ring[f].L));
        sumR += std::abs(static_cast<int32_t>(ring[f].R));
    }
    const int64_t meanL = sumL / 256;
    const int64_t meanR = sumR / 256;
    if (channel == 0)
        return static_cast<float>(meanL) / 32768.0f;
    if (channel == 1)
        return static_cast<float>(meanR) / 32768.0f;
    return static_cast<float>(meanL + meanR) / 65536.0f;
}

void TOggData::GetOutputGraph(float* values)
{
    if (values == nullptr)
        return;
    std::lock_guard<std::recursive_mutex> lock(RenderLock);
    const int32_t pos = GetOutputWavePos();
    if (pos < 0) {
        std::fill(values, values + 256, 0.0f);
        return;
    }
    TFFT& fft = *GraphFFT;
    float* re = fft.Re.data();
    float* im = fft.Im.data();
    const int64_t ringFrames = RenderBuffer->Size() / 4;
    const auto* ring = reinterpret_cast<const TLRWavePack*>(RenderBuffer->Memory());
    int64_t f = pos / 4;
    for (int32_t j = 0; j < 256; ++j, ++f) {
        if (f >= ringFrames)
            f = 0;
        re[j] = ring[f].L;
        im[j] = ring[f].R;
    }
    fft.HammingWindow();
    fft.FFT();
    fft.NormalizeFFT();
    for (int32_t j = 0; j < 128; ++j) {
        values[2 * j] = std::fabs(re[j]) + std::fabs(im[j]);
        values[2 * j + 1] = std::fabs(re[255 - j]) + std::fabs(im[255 - j]);
    }
}
