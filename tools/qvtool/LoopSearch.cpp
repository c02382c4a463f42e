#include "LoopSearch.h"

#include "FFTLib.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

// The band levels: log-spaced from kLowHz up, at most kMaxBands of them.
constexpr double kLowHz = 60.0;
constexpr double kHighHz = 16000.0;
constexpr int kMaxBands = 24;
// The envelope's floor below the loudest band: quieter than this is all the same silence.
constexpr double kEnvelopeRange = 1e-5;  // -50 dB
// A repeated stretch is at least this long to be taken for a repeat.
constexpr double kMinStretchSeconds = 1.0;
// Envelope steps that may miss within a stretch (a transient the encoder smeared differently).
constexpr int kMissesAllowed = 2;
// Envelope steps the distance is averaged over when stretches are followed (about 0.2 s).
constexpr int32_t kAverageSteps = 9;
// Frames of sound cross-correlated when a lag is refined.
constexpr int64_t kRefineFrames = 16384;
// A lag whose best alignment leaves more than this share of the energy is no repeat.
constexpr double kMaxRefinedShare = 0.5;
// Envelope steps compared with each other at most: a longer piece is followed in longer steps.
constexpr int32_t kMaxSteps = 10000;
// Places a join is slid over before its sums are made afresh.
constexpr int64_t kResum = 65536;
// Seconds before a repeated stretch's found beginning from which its join is looked for.
constexpr int64_t kEarlier = 2;
// Candidates' lengths closer than this are the same loop.
constexpr int64_t kSameLength = 4;

int32_t PowerOfTwoAtLeast(int64_t n)
{
    int32_t p = 8;
    while (p < n)
        p *= 2;
    return p;
}

}

TLoopSearch::TLoopSearch(const std::vector<int16_t>& stereo, int32_t rate, int64_t minFrames)
    : stereo_(stereo), rate_(rate > 0 ? rate : 44100), minFrames_(std::max<int64_t>(minFrames, Window))
{
}

float TLoopSearch::Sample(int64_t frame, int channel) const
{
    return static_cast<float>(stereo_[static_cast<size_t>(frame * 2 + channel)]) * (1.0f / 32768.0f);
}

void TLoopSearch::MakeEnvelope()
{
    const int64_t frames = Frames();
    steps_ = frames < Window ? 0 : static_cast<int32_t>((frames - Window) / Hop + 1);
    // Band edges in transform bins, each band at least one bin wide.
    std::vector<int32_t> edges;
    const double binHz = static_cast<double>(rate_) / Window;
    const double high = std::min(kHighHz, rate_ * 0.45);
    for (int b = 0; b <= kMaxBands; ++b) {
        const double hz = kLowHz * std::pow(high / kLowHz, static_cast<double>(b) / kMaxBands);
        const auto bin = static_cast<int32_t>(std::lround(hz / binHz));
        if (edges.empty() || bin > edges.back())
            edges.push_back(bin);
    }
    bands_ = static_cast<int32_t>(edges.size()) - 1;
    std::vector<int32_t> bandOf(Window / 2, -1);
    for (int32_t b = 0; b < bands_; ++b)
        for (int32_t k = edges[b]; k < edges[b + 1] && k < Window / 2; ++k)
            bandOf[k] = b;

    std::vector<float> window(Window);
    for (int32_t i = 0; i < Window; ++i)
        window[i] = static_cast<float>(0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * i / Window));
    auto mono = [&](int64_t f) { return (Sample(f, 0) + Sample(f, 1)) * 0.5f; };

    // Two steps a transform: one in the real part, the next in the imaginary part, told apart
    // by the symmetry of real signals' spectra.
    std::vector<float> power(static_cast<size_t>(steps_) * bands_, 0.0f);
    TFFT fft(Window);
    for (int32_t j = 0; j < steps_; j += 2) {
        const bool pair = j + 1 < steps_;
        for (int32_t i = 0; i < Window; ++i) {
            fft.Re[i] = mono(static_cast<int64_t>(j) * Hop + i) * window[i];
            fft.Im[i] = pair ? mono(static_cast<int64_t>(j + 1) * Hop + i) * window[i] : 0.0f;
        }
        fft.FFT();
        float* a = &power[static_cast<size_t>(j) * bands_];
        float* b = pair ? a + bands_ : nullptr;
        for (int32_t k = 1; k < Window / 2; ++k) {
            if (bandOf[k] < 0)
                continue;
            const float zr = fft.Re[k], zi = fft.Im[k];
            const float wr = fft.Re[Window - k], wi = fft.Im[Window - k];
            const float ar = zr + wr, ai = zi - wi;  // twice the first step's bin
            const float br = zi + wi, bi = wr - zr;  // twice the second step's bin
            a[bandOf[k]] += ar * ar + ai * ai;
            if (b)
                b[bandOf[k]] += br * br + bi * bi;
        }
    }
    // A long piece is followed in longer steps, so that comparing every step with every other
    // stays within a few seconds of work: each step then sums a few transforms.
    step_ = Hop;
    if (steps_ > kMaxSteps) {
        const int32_t group = (steps_ + kMaxSteps - 1) / kMaxSteps;
        const int32_t merged = steps_ / group;
        for (int32_t j = 0; j < merged; ++j)
            for (int32_t b = 0; b < bands_; ++b) {
                float sum = 0.0f;
                for (int32_t k = 0; k < group; ++k)
                    sum += power[static_cast<size_t>(j * group + k) * bands_ + b];
                power[static_cast<size_t>(j) * bands_ + b] = sum;
            }
        steps_ = merged;
        step_ = Hop * group;
        power.resize(static_cast<size_t>(steps_) * bands_);
    }
    // Three steps together: a repeat a fraction of a step off still sees the same sound.
    float loudest = 0.0f;
    envelope_.assign(power.size(), 0.0f);
    for (int32_t j = 0; j < steps_; ++j)
        for (int32_t b = 0; b < bands_; ++b) {
            float sum = 0.0f;
            for (int32_t d = -1; d <= 1; ++d)
                if (j + d >= 0 && j + d < steps_)
                    sum += power[static_cast<size_t>(j + d) * bands_ + b];
            envelope_[static_cast<size_t>(j) * bands_ + b] = sum;
            loudest = std::max(loudest, sum);
        }
    const float floor = std::max(loudest * static_cast<float>(kEnvelopeRange), 1e-30f);
    for (float& v : envelope_)
        v = 10.0f * std::log10(v + floor);
}

std::vector<TLoopSearch::TLag> TLoopSearch::CoarseLags(size_t count) const
{
    const auto minLag = static_cast<int32_t>((minFrames_ + step_ - 1) / step_);
    const auto minRun = static_cast<int32_t>(std::ceil(kMinStretchSeconds * rate_ / step_));
    if (steps_ < minLag + minRun)
        return {};
    const int32_t B = bands_;
    auto distance = [&](int32_t i, int32_t j) {
        const float* a = &envelope_[static_cast<size_t>(i) * B];
        const float* b = &envelope_[static_cast<size_t>(j) * B];
        float d = 0.0f;
        for (int32_t k = 0; k < B; ++k)
            d += std::fabs(a[k] - b[k]);
        return d / static_cast<float>(B);
    };
    // What "the same" means for this piece: well below what unrelated places of it differ by.
    std::vector<float> sample;
    const int32_t lags = steps_ - minLag;
    for (int32_t n = 0; n < 64; ++n) {
        const int32_t lag = minLag + static_cast<int32_t>(static_cast<int64_t>(lags) * n / 64);
        for (int32_t i = 0; i + lag < steps_; i += 8)
            sample.push_back(distance(i, i + lag));
    }
    std::nth_element(sample.begin(), sample.begin() + static_cast<ptrdiff_t>(sample.size() / 2), sample.end());
    const float same = std::clamp(0.25f * sample[sample.size() / 2], 0.4f, 3.0f);

    // The longest matching stretch under each lag. The distance is averaged over a few steps
    // first: a hit that falls a fraction of a step differently into two steps differs in level
    // there, and a single such step must not cut a repeat in two.
    std::vector<TLag> best(static_cast<size_t>(steps_));
    std::vector<float> d(static_cast<size_t>(steps_)), sum(static_cast<size_t>(steps_) + 1);
    for (int32_t lag = minLag; lag + minRun <= steps_; ++lag) {
        const int32_t n = steps_ - lag;
        for (int32_t i = 0; i < n; ++i) {
            d[static_cast<size_t>(i)] = distance(i, i + lag);
            sum[static_cast<size_t>(i) + 1] = sum[static_cast<size_t>(i)] + d[static_cast<size_t>(i)];
        }
        int32_t run = 0, misses = 0, from = 0;
        TLag& b = best[static_cast<size_t>(lag)];
        b.Lag = lag;
        for (int32_t i = 0; i < n; ++i) {
            const int32_t lo = std::max(0, i - kAverageSteps / 2), hi = std::min(n, i + kAverageSteps / 2 + 1);
            const float mean = (sum[static_cast<size_t>(hi)] - sum[static_cast<size_t>(lo)]) / static_cast<float>(hi - lo);
            if (mean < same) {
                if (run == 0)
                    from = i;
                run = i + 1 - from;
                misses = 0;
                if (run > b.To - b.From)
                    b.From = from, b.To = i + 1;
            } else if (++misses > kMissesAllowed) {
                run = 0;
            }
        }
    }
    // Lags whose stretch is longest among their neighbours, longest first.
    std::vector<TLag> picked;
    auto length = [&](int32_t lag) { return best[static_cast<size_t>(lag)].To - best[static_cast<size_t>(lag)].From; };
    for (int32_t lag = minLag; lag + minRun <= steps_; ++lag) {
        const int32_t len = length(lag);
        if (len < minRun)
            continue;
        bool peak = true;
        for (int32_t d = -3; d <= 3 && peak; ++d) {
            const int32_t other = lag + d;
            if (d == 0 || other < minLag || other + minRun > steps_)
                continue;
            peak = length(other) < len || (length(other) == len && other > lag);
        }
        if (peak)
            picked.push_back(best[static_cast<size_t>(lag)]);
    }
    std::stable_sort(picked.begin(), picked.end(),
                     [](const TLag& a, const TLag& b) { return a.To - a.From > b.To - b.From; });
    if (picked.size() > count)
        picked.resize(count);
    return picked;
}

int64_t TLoopSearch::RefineLag(const TLag& lag) const
{
    const int64_t frames = Frames();
    const int64_t coarse = static_cast<int64_t>(lag.Lag) * step_;
    const int64_t reach = 2 * step_;
    const int64_t stretchFrom = static_cast<int64_t>(lag.From) * step_;
    const int64_t stretchTo = static_cast<int64_t>(lag.To) * step_ + Window;
    const int64_t width = std::min(kRefineFrames, stretchTo - stretchFrom);
    // The middle of the stretch, kept where the sound a lag later (and the reach) exists.
    int64_t at = (stretchFrom + stretchTo - width) / 2;
    at = std::min(at, frames - coarse - reach - width);
    at = std::max(at, reach - coarse);
    at = std::max<int64_t>(at, 0);
    if (width < Window || at + coarse + reach + width > frames)
        return 0;

    // Stereo as one complex signal: the real part of the cross-correlation is then the sum of
    // both channels' correlations.
    const int32_t n = PowerOfTwoAtLeast(width + 2 * reach);
    TFFT x(n), y(n);
    for (int64_t i = 0; i < width; ++i) {
        x.Re[static_cast<size_t>(i)] = Sample(at + i, 0);
        x.Im[static_cast<size_t>(i)] = Sample(at + i, 1);
    }
    const int64_t yFrom = at + coarse - reach;
    const int64_t yLen = width + 2 * reach;
    for (int64_t i = 0; i < yLen; ++i) {
        y.Re[static_cast<size_t>(i)] = Sample(yFrom + i, 0);
        y.Im[static_cast<size_t>(i)] = Sample(yFrom + i, 1);
    }
    x.FFT();
    y.FFT();
    for (int32_t k = 0; k < n; ++k) {
        // conj(X) * Y
        const float xr = x.Re[k], xi = x.Im[k], yr = y.Re[k], yi = y.Im[k];
        y.Re[k] = xr * yr + xi * yi;
        y.Im[k] = xr * yi - xi * yr;
    }
    y.UnFFT();

    auto energy = [&](int64_t from, int64_t len) {
        double e = 0.0;
        for (int64_t i = from; i < from + len; ++i) {
            const double l = Sample(i, 0), r = Sample(i, 1);
            e += l * l + r * r;
        }
        return e;
    };
    const double ex = energy(at, width);
    // The energy of the y window at each shift, slid along.
    double ey = energy(yFrom, width);
    int64_t bestShift = -1;
    double bestShare = kMaxRefinedShare;
    for (int64_t s = 0; s <= 2 * reach; ++s) {
        if (s > 0) {
            const double in0 = Sample(yFrom + s + width - 1, 0), in1 = Sample(yFrom + s + width - 1, 1);
            const double out0 = Sample(yFrom + s - 1, 0), out1 = Sample(yFrom + s - 1, 1);
            ey += in0 * in0 + in1 * in1 - out0 * out0 - out1 * out1;
        }
        const double c = static_cast<double>(y.Re[static_cast<size_t>(s)]) * n;
        const double level = ex + ey;
        if (level <= 0.0)
            continue;
        const double share = (ex + ey - 2.0 * c) / level;
        if (share < bestShare)
            bestShare = share, bestShift = s;
    }
    if (bestShift < 0)
        return 0;
    // The transform's rounding blurs neighbouring shifts: settle them exactly.
    auto difference = [&](int64_t s) {
        double e = 0.0;
        for (int64_t i = 0; i < width; ++i)
            for (int ch = 0; ch < 2; ++ch) {
                const double d = static_cast<double>(Sample(at + i, ch)) - Sample(yFrom + s + i, ch);
                e += d * d;
            }
        return e;
    };
    int64_t exact = bestShift;
    double least = difference(bestShift);
    for (int64_t s = std::max<int64_t>(0, bestShift - 2); s <= std::min<int64_t>(2 * reach, bestShift + 2); ++s) {
        const double e = difference(s);
        if (e < least)
            least = e, exact = s;
    }
    return coarse - reach + exact;
}

TLoopSearch::TCandidate TLoopSearch::PlaceJoin(const TLag& lag, int64_t length) const
{
    TCandidate c;
    c.Length = length;
    c.Repeated = static_cast<double>(lag.To - lag.From) * step_;
    c.Start = -1;
    const int64_t w = JoinSide;
    // The envelope finds a repeat's beginning only to a few of its steps, later rather than
    // earlier (a stretch starts once its mean difference is low): the join is looked for from a
    // little before, where the sound itself decides.
    const int64_t from = std::max<int64_t>(static_cast<int64_t>(lag.From) * step_ - kEarlier * rate_, w);
    const int64_t stretchEnd = static_cast<int64_t>(lag.To) * step_ + Window;
    int64_t to = std::min<int64_t>(stretchEnd, Frames() - length - w);
    // A repeat that stops before the piece ends: the join goes where the music after it keeps
    // repeating long enough (or for half a pass of a shorter loop), as far as the stretch allows.
    if (stretchEnd + length < Frames() - Window)
        to = std::min(to, std::max(from, stretchEnd - std::min(matchFrames_, length / 2)));
    if (to < from)
        return c;
    // The difference between the sound and the sound `length` later, and their level, summed
    // over the side after each candidate join (as the join score judges it) and slid along.
    auto add = [&](int64_t f, double sign, double& diff, double& level) {
        for (int ch = 0; ch < 2; ++ch) {
            const double a = Sample(f, ch), b = Sample(f + length, ch);
            diff += sign * (a - b) * (a - b);
            level += sign * 0.5 * (a * a + b * b);
        }
    };
    // The same floor as the join score: a silence is judged against -60 dB of sound.
    const double floor = 2.0 * static_cast<double>(w) * 1e-6;
    double diff = 0.0, level = 0.0, bestShare = -1.0;
    for (int64_t t = from; t <= to; ++t) {
        // Summed afresh now and then, so that sliding does not gather rounding.
        if ((t - from) % kResum == 0) {
            diff = level = 0.0;
            for (int64_t f = t; f < t + w; ++f)
                add(f, 1.0, diff, level);
        } else {
            add(t - 1, -1.0, diff, level);
            add(t + w - 1, 1.0, diff, level);
        }
        const double share = std::max(diff, 0.0) / std::max(level, floor);
        if (bestShare < 0.0 || share < bestShare)
            bestShare = share, c.Start = t;
    }
    c.Db = bestShare > 0.0 ? 10.0 * std::log10(bestShare) : -120.0;
    return c;
}

std::vector<TLoopSearch::TCandidate> TLoopSearch::Find(size_t count)
{
    MakeEnvelope();
    std::vector<TCandidate> found;
    for (const TLag& lag : CoarseLags(count * 3 + 2)) {
        const int64_t length = RefineLag(lag);
        if (length < minFrames_)
            continue;
        const bool known = std::any_of(found.begin(), found.end(), [&](const TCandidate& c) {
            return std::llabs(c.Length - length) <= kSameLength;
        });
        if (known)
            continue;
        const TCandidate c = PlaceJoin(lag, length);
        if (c.Start >= 0)
            found.push_back(c);
        if (found.size() >= count)
            break;
    }
    return found;
}
