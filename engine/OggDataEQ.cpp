// TOggData: the equaliser and the analysis of the output, both built on TFFT.
// Rendering lives in OggDataRender.cpp, loading and the container in OggDataLib.cpp.
#include "OggDataLib.h"
#include "TickCount.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int32_t kEQSize = 256;
constexpr int32_t kEQHistory = 64;
constexpr int32_t kEQNewFrames = 192;
constexpr int32_t kEQWriteFrames = 128;

// Entry i of the equaliser is bin i/2 for even i and bin 255 - i/2 for odd i.
constexpr int32_t EQBin(int32_t entry)
{
    return (entry % 2 == 0) ? entry / 2 : kEQSize - 1 - entry / 2;
}

// One frame of the published render memory, left sample in the low half as in memory.
TLRWavePack Unpack(uint32_t word)
{
    TLRWavePack f;
    std::memcpy(&f, &word, sizeof f);
    return f;
}

int16_t ToSample(float v)
{
    // Values arrive clipped to +-32767; a NaN from an absurd gain becomes silence.
    if (!(v == v))
        return 0;
    return static_cast<int16_t>(std::lrint(v));
}

// The gains of all entries from n band gains spread evenly over the table and joined by the
// Hermite curve; a gain below 0 becomes 0.
void SetBands(TOggData& data, const float* bands, int32_t n, float seconds)
{
    for (int32_t i = 0; i < kEQSize; ++i) {
        const auto x = static_cast<float>((i * (n - 1)) / 255.0);
        const float v = TOggData::Harmite2(bands, x, n);
        data.SetEQ(i, v > 0.0f ? v : 0.0f, seconds);
    }
}

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
    const bool fade = seconds >= 0.001f;
    const float step = fade ? (gain - e.Now.load()) / (seconds * static_cast<float>(OutputFormat::Rate)) : 0.0f;
    SetLevel(e, gain, fade, step);
}

void TOggData::SetEQ4(float b0, float b1, float b2, float b3, float seconds)
{
    const float bands[4] = {b0, b1, b2, b3};
    SetBands(*this, bands, 4, seconds);
}

void TOggData::SetEQ8(const float bands[8], float seconds)
{
    if (bands != nullptr)
        SetBands(*this, bands, 8, seconds);
}

void TOggData::SetEQ16(const float bands[16], float seconds)
{
    if (bands != nullptr)
        SetBands(*this, bands, 16, seconds);
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

float TOggData::GetEQStep(int32_t index)
{
    if (index < 0 || index >= kEQSize)
        return 0.0f;
    return OggEQ[index].Step.load();
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

void TOggData::PublishPosition(bool ring, int64_t from, int64_t bytes)
{
    const TRenderSnapshot::TPosition at{DecoderTime(), RenderOffset.load(), RenderTick.load()};
    Published->Publish(at, ring && RenderBuffer ? RenderBuffer->Memory() : nullptr, from, bytes);
}

int32_t TOggData::WavePos(int64_t size, uint64_t tick, int32_t offset)
{
    if (size < 4)
        return -1;
    const int64_t diff = static_cast<int64_t>(TickCount::Get()) - static_cast<int64_t>(tick);
    if (diff < 0)
        return -1;
    const float elapsed = static_cast<float>(diff) / 1000.0f;
    // Rounded to nearest, ties to even (the default rounding mode).
    auto b = static_cast<int64_t>(std::nearbyint(static_cast<double>(elapsed * static_cast<float>(OutputFormat::BytesPerSecond))));
    b &= ~int64_t{3};
    if (b > size)
        return -1;
    if (offset == 0)
        b += size / 2;
    return static_cast<int32_t>((b % size) & ~int64_t{3});
}

int32_t TOggData::GetOutputWavePos()
{
    return WavePos(RenderBuffer ? RenderBuffer->Size() : 0, RenderTick.load(), RenderOffset.load());
}

bool TOggData::HeardFrames(TLRWavePack* frames)
{
    const auto gather = [frames](int32_t pos, auto&& frame) {
        for (int32_t j = 0; pos >= 0 && j < 256; ++j)
            frames[j] = frame(pos / 4 + j);
        return pos >= 0;
    };
    std::unique_lock<std::recursive_mutex> lock(RenderLock, std::try_to_lock);
    if (lock.owns_lock()) {
        const int64_t ringFrames = RenderBuffer->Size() / 4;
        const auto* ring = reinterpret_cast<const TLRWavePack*>(RenderBuffer->Memory());
        return gather(GetOutputWavePos(), [&](int64_t f) { return ring[f % ringFrames]; });
    }
    // A block is being rendered: the memory as the last finished block left it.
    bool heard = false;
    const int64_t size = Published->Frames() * 4;
    Published->Read([&](const TRenderSnapshot::TPosition& at, auto&& frame) {
        heard = gather(WavePos(size, at.Tick, at.Offset), [&](int64_t f) { return Unpack(frame(f)); });
    });
    return heard;
}

float TOggData::GetOutputSum()
{
    return GetOutputSum(2);
}

float TOggData::GetOutputSum(int32_t channel)
{
    TLRWavePack frames[256];
    if (!HeardFrames(frames))
        return 0.0f;
    int64_t sumL = 0, sumR = 0;
    for (const TLRWavePack& f : frames) {
        sumL += std::abs(static_cast<int32_t>(f.L));
        sumR += std::abs(static_cast<int32_t>(f.R));
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
    TLRWavePack frames[256];
    if (!HeardFrames(frames)) {
        std::fill(values, values + 256, 0.0f);
        return;
    }
    // The transform belongs to the readers' side: one display asks at a time.
    std::lock_guard<std::mutex> lock(GraphLock);
    TFFT& fft = *GraphFFT;
    float* re = fft.Re.data();
    float* im = fft.Im.data();
    for (int32_t j = 0; j < 256; ++j) {
        re[j] = frames[j].L;
        im[j] = frames[j].R;
    }
    fft.HammingWindow();
    fft.FFT();
    fft.NormalizeFFT();
    for (int32_t j = 0; j < 128; ++j) {
        values[2 * j] = std::fabs(re[j]) + std::fabs(im[j]);
        values[2 * j + 1] = std::fabs(re[255 - j]) + std::fabs(im[255 - j]);
    }
}
