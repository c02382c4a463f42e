#include "JoinContinuity.h"

#include "FFTLib.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

// Below this a residual or a band is silence: -90 dB of full scale per sample.
constexpr double kFloor = 32768.0 * 32768.0 * 1e-9;
// Frames over which the weight of a carried-on tail's frames falls to a third (by e).
constexpr double kWeightFrames = 256.0;
// Band levels from here up, log-spaced, this many of them.
constexpr double kLowHz = 60.0;
constexpr double kHighHz = 16000.0;
constexpr int kBands = 24;
constexpr double kRate = 44100.0;
// Bands more than this far below the loudest of the two windows are not compared: their level
// is the encoder's noise.
constexpr double kBandRangeDb = 60.0;

double At(const std::vector<int16_t>& s, int64_t frame, int ch)
{
    return s[static_cast<size_t>(frame * 2 + ch)];
}

}

std::vector<double> TJoinContinuity::Fit(const std::vector<int16_t>& sound, int64_t from, int channel)
{
    std::vector<double> x(FitFrames);
    for (int32_t i = 0; i < FitFrames; ++i)
        x[static_cast<size_t>(i)] = At(sound, from + i, channel) *
                                    (0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * (i + 0.5) / FitFrames));
    std::vector<double> r(Order + 1, 0.0);
    for (int32_t lag = 0; lag <= Order; ++lag)
        for (int32_t i = lag; i < FitFrames; ++i)
            r[static_cast<size_t>(lag)] += x[static_cast<size_t>(i)] * x[static_cast<size_t>(i - lag)];
    // A touch of white noise keeps the recursion stable on pure tones and silence.
    r[0] = r[0] * (1.0 + 1e-6) + 1e-3;
    std::vector<double> a(Order + 1, 0.0), prev(Order + 1, 0.0);
    double err = r[0];
    for (int32_t i = 1; i <= Order; ++i) {
        double acc = r[static_cast<size_t>(i)];
        for (int32_t j = 1; j < i; ++j)
            acc -= a[static_cast<size_t>(j)] * r[static_cast<size_t>(i - j)];
        const double k = acc / err;
        prev = a;
        a[static_cast<size_t>(i)] = k;
        for (int32_t j = 1; j < i; ++j)
            a[static_cast<size_t>(j)] = prev[static_cast<size_t>(j)] - k * prev[static_cast<size_t>(i - j)];
        err *= 1.0 - k * k;
        if (err <= 0.0)
            break;
    }
    return a;
}

double TJoinContinuity::ClickDb(const std::vector<int16_t>& sound, int64_t join)
{
    const auto frames = static_cast<int64_t>(sound.size() / 2);
    if (join < FitFrames + Order + AroundFrames || join + AroundFrames > frames)
        return 0.0;
    double spike = 0.0, before = 0.0, after = 0.0;
    for (int ch = 0; ch < 2; ++ch) {
        const std::vector<double> a = Fit(sound, join - FitFrames, ch);
        auto residual = [&](int64_t n) {
            double p = 0.0;
            for (int32_t k = 1; k <= Order; ++k)
                p += a[static_cast<size_t>(k)] * At(sound, n - k, ch);
            const double e = At(sound, n, ch) - p;
            return e * e;
        };
        for (int64_t n = join - AroundFrames; n < join; ++n)
            before += residual(n);
        for (int64_t n = join; n < join + SpikeFrames; ++n)
            spike += residual(n);
        for (int64_t n = join + SpikeFrames; n < join + AroundFrames; ++n)
            after += residual(n);
    }
    spike /= SpikeFrames;
    before /= AroundFrames;
    after /= AroundFrames - SpikeFrames;
    return 10.0 * std::log10((spike + kFloor) / (std::max(before, after) + kFloor));
}

std::vector<double> TJoinContinuity::Bands(const std::vector<int16_t>& sound, int64_t from)
{
    TFFT fft(BandWindow);
    for (int32_t i = 0; i < BandWindow; ++i) {
        const float w = static_cast<float>(0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * i / BandWindow));
        fft.Re[static_cast<size_t>(i)] = static_cast<float>(At(sound, from + i, 0)) * w / 32768.0f;
        fft.Im[static_cast<size_t>(i)] = static_cast<float>(At(sound, from + i, 1)) * w / 32768.0f;
    }
    fft.FFT();
    std::vector<double> level(kBands, 0.0);
    const double binHz = kRate / BandWindow;
    for (int32_t k = 1; k < BandWindow / 2; ++k) {
        const double hz = k * binHz;
        if (hz < kLowHz || hz >= kHighHz)
            continue;
        const auto band = static_cast<size_t>(kBands * std::log(hz / kLowHz) / std::log(kHighHz / kLowHz));
        // Both channels' power from the transform of left + i right.
        const double zr = fft.Re[static_cast<size_t>(k)], zi = fft.Im[static_cast<size_t>(k)];
        const double wr = fft.Re[static_cast<size_t>(BandWindow - k)], wi = fft.Im[static_cast<size_t>(BandWindow - k)];
        level[band] += (zr + wr) * (zr + wr) + (zi - wi) * (zi - wi) + (zi + wi) * (zi + wi) + (wr - zr) * (wr - zr);
    }
    for (double& v : level)
        v = 10.0 * std::log10(v + 1e-14);
    return level;
}

double TJoinContinuity::StepDb(const std::vector<int16_t>& sound, int64_t join)
{
    const auto frames = static_cast<int64_t>(sound.size() / 2);
    if (join < NeedBefore || join + NeedAfter > frames)
        return 0.0;
    const std::vector<double> b2 = Bands(sound, join - 2 * BandWindow), b1 = Bands(sound, join - BandWindow);
    const std::vector<double> a1 = Bands(sound, join), a2 = Bands(sound, join + BandWindow);
    auto distance = [](const std::vector<double>& x, const std::vector<double>& y) {
        const double top = std::max(*std::max_element(x.begin(), x.end()), *std::max_element(y.begin(), y.end()));
        double sum = 0.0;
        int n = 0;
        for (size_t i = 0; i < x.size(); ++i) {
            if (std::max(x[i], y[i]) < top - kBandRangeDb)
                continue;
            sum += std::abs(std::max(x[i], top - kBandRangeDb) - std::max(y[i], top - kBandRangeDb));
            ++n;
        }
        return n > 0 ? sum / n : 0.0;
    };
    return distance(b1, a1) - std::max(distance(b2, b1), distance(a1, a2));
}

std::vector<double> TJoinContinuity::Weights()
{
    // The nearer frames count more, as the carried-on sound drifts from the music the further
    // it goes.
    std::vector<double> weight(ContinueFrames);
    for (int32_t n = 0; n < ContinueFrames; ++n)
        weight[static_cast<size_t>(n)] = std::exp(-static_cast<double>(n) / kWeightFrames);
    return weight;
}

std::vector<double> TJoinContinuity::Guess(const std::vector<int16_t>& tail, int64_t tailEnd)
{
    // The tail carried on by its predictor alone: the notes sounding at its end, ringing on.
    std::vector<double> guess(static_cast<size_t>(ContinueFrames) * 2);
    for (int ch = 0; ch < 2; ++ch) {
        const std::vector<double> a = Fit(tail, tailEnd - FitFrames, ch);
        std::vector<double> y(static_cast<size_t>(Order + ContinueFrames));
        for (int32_t k = 0; k < Order; ++k)
            y[static_cast<size_t>(k)] = At(tail, tailEnd - Order + k, ch);
        for (int32_t n = 0; n < ContinueFrames; ++n) {
            double pred = 0.0;
            for (int32_t k = 1; k <= Order; ++k)
                pred += a[static_cast<size_t>(k)] * y[static_cast<size_t>(Order + n - k)];
            y[static_cast<size_t>(Order + n)] = pred;
            guess[static_cast<size_t>(n * 2 + ch)] = pred;
        }
    }
    return guess;
}

std::vector<double> TJoinContinuity::ContinuationCost(const std::vector<int16_t>& tail, int64_t tailEnd,
                                                      const std::vector<int16_t>& head, int64_t from, int64_t to)
{
    const auto headFrames = static_cast<int64_t>(head.size() / 2);
    to = std::min(to, headFrames - ContinueFrames);
    std::vector<double> cost(static_cast<size_t>(std::max<int64_t>(0, to - from)), 1.0);
    if (tailEnd < FitFrames || from >= to)
        return cost;
    // Where the head goes on as the tail rings on, the tail continues into it.
    const std::vector<double> weight = Weights();
    const std::vector<double> guess = Guess(tail, tailEnd);
    for (int64_t p = from; p < to; ++p) {
        double err = 0.0, energy = 0.0;
        for (int32_t n = 0; n < ContinueFrames; ++n)
            for (int ch = 0; ch < 2; ++ch) {
                const double v = At(head, p + n, ch), g = guess[static_cast<size_t>(n * 2 + ch)];
                err += weight[static_cast<size_t>(n)] * (v - g) * (v - g);
                energy += weight[static_cast<size_t>(n)] * (v * v + g * g);
            }
        cost[static_cast<size_t>(p - from)] = err / (energy + ContinueFrames * kFloor);
    }
    return cost;
}

std::vector<double> TJoinContinuity::ContinuationCosts(const std::vector<int16_t>& tail, int64_t tailEnd,
                                                       const std::vector<int16_t>& sound, int64_t to)
{
    const auto frames = static_cast<int64_t>(sound.size() / 2);
    to = std::min(to, frames - ContinueFrames);
    std::vector<double> cost(static_cast<size_t>(std::max<int64_t>(0, to)), 1.0);
    if (tailEnd < FitFrames || to <= 0)
        return cost;
    const std::vector<double> weight = Weights();
    const std::vector<double> guess = Guess(tail, tailEnd);
    double guessEnergy = 0.0;
    for (int32_t n = 0; n < ContinueFrames; ++n)
        guessEnergy += weight[static_cast<size_t>(n)] * (guess[static_cast<size_t>(n * 2)] * guess[static_cast<size_t>(n * 2)] +
                                                        guess[static_cast<size_t>(n * 2 + 1)] * guess[static_cast<size_t>(n * 2 + 1)]);
    // The weighted energy of the sound from each place on, summed backwards: the weights fall
    // by the same factor each frame.
    const double fall = std::exp(-1.0 / kWeightFrames);
    const double last = std::pow(fall, ContinueFrames);
    auto power = [&](int64_t f) { return f < frames ? At(sound, f, 0) * At(sound, f, 0) + At(sound, f, 1) * At(sound, f, 1) : 0.0; };
    std::vector<double> energy(static_cast<size_t>(to) + 1, 0.0);
    double run = 0.0;
    for (int64_t n = ContinueFrames - 1; n >= 0; --n)
        run = power(to + n) + fall * run;
    energy[static_cast<size_t>(to)] = run;
    for (int64_t p = to - 1; p >= 0; --p) {
        run = power(p) + fall * run - last * power(p + ContinueFrames);
        energy[static_cast<size_t>(p)] = run;
    }
    // The weighted sum of guess times sound from each place: a correlation, block by block
    // through the FFT (overlap-save), with stereo as one complex signal.
    constexpr int32_t size = 4 * ContinueFrames;
    constexpr int32_t step = size - ContinueFrames;
    TFFT kernel(size), block(size);
    for (int32_t n = 0; n < ContinueFrames; ++n) {
        kernel.Re[static_cast<size_t>(n)] = static_cast<float>(weight[static_cast<size_t>(n)] * guess[static_cast<size_t>(n * 2)] / 32768.0);
        kernel.Im[static_cast<size_t>(n)] = static_cast<float>(weight[static_cast<size_t>(n)] * guess[static_cast<size_t>(n * 2 + 1)] / 32768.0);
    }
    kernel.FFT();
    for (int64_t b = 0; b < to; b += step) {
        for (int32_t i = 0; i < size; ++i) {
            const int64_t f = b + i;
            block.Re[static_cast<size_t>(i)] = f < frames ? static_cast<float>(At(sound, f, 0) / 32768.0) : 0.0f;
            block.Im[static_cast<size_t>(i)] = f < frames ? static_cast<float>(At(sound, f, 1) / 32768.0) : 0.0f;
        }
        block.FFT();
        for (int32_t k = 0; k < size; ++k) {
            const float kr = kernel.Re[static_cast<size_t>(k)], ki = kernel.Im[static_cast<size_t>(k)];
            const float xr = block.Re[static_cast<size_t>(k)], xi = block.Im[static_cast<size_t>(k)];
            block.Re[static_cast<size_t>(k)] = kr * xr + ki * xi;
            block.Im[static_cast<size_t>(k)] = kr * xi - ki * xr;
        }
        block.UnFFT();
        for (int32_t i = 0; i <= step && b + i < to; ++i) {
            const double cross = static_cast<double>(block.Re[static_cast<size_t>(i)]) * size * 32768.0 * 32768.0;
            const double e = energy[static_cast<size_t>(b + i)];
            cost[static_cast<size_t>(b + i)] =
                std::max(0.0, e - 2.0 * cross + guessEnergy) / (e + guessEnergy + ContinueFrames * kFloor);
        }
    }
    return cost;
}

TJoinContinuity::TLag TJoinContinuity::BestLag(const std::vector<int16_t>& a, int64_t aAt, const std::vector<int16_t>& b,
                                               int64_t bAt, int64_t frames, int64_t reach)
{
    TLag lag;
    if (frames <= 0 || aAt < 0 || bAt - reach < 0 || static_cast<int64_t>(a.size() / 2) < aAt + frames ||
        static_cast<int64_t>(b.size() / 2) < bAt + reach + frames)
        return lag;
    int32_t n = 8;
    while (n < frames + 2 * reach)
        n *= 2;
    // Stereo as one complex signal: the real part of the correlation sums both channels'.
    TFFT x(n), y(n);
    for (int64_t i = 0; i < frames; ++i) {
        x.Re[static_cast<size_t>(i)] = static_cast<float>(At(a, aAt + i, 0) / 32768.0);
        x.Im[static_cast<size_t>(i)] = static_cast<float>(At(a, aAt + i, 1) / 32768.0);
    }
    for (int64_t i = 0; i < frames + 2 * reach; ++i) {
        y.Re[static_cast<size_t>(i)] = static_cast<float>(At(b, bAt - reach + i, 0) / 32768.0);
        y.Im[static_cast<size_t>(i)] = static_cast<float>(At(b, bAt - reach + i, 1) / 32768.0);
    }
    x.FFT();
    y.FFT();
    for (int32_t k = 0; k < n; ++k) {
        const float xr = x.Re[static_cast<size_t>(k)], xi = x.Im[static_cast<size_t>(k)];
        const float yr = y.Re[static_cast<size_t>(k)], yi = y.Im[static_cast<size_t>(k)];
        y.Re[static_cast<size_t>(k)] = xr * yr + xi * yi;
        y.Im[static_cast<size_t>(k)] = xr * yi - xi * yr;
    }
    y.UnFFT();
    auto energy = [](const std::vector<int16_t>& s, int64_t from, int64_t len) {
        double e = 0.0;
        for (int64_t i = from; i < from + len; ++i)
            e += At(s, i, 0) * At(s, i, 0) + At(s, i, 1) * At(s, i, 1);
        return e / (32768.0 * 32768.0);
    };
    const double ex = energy(a, aAt, frames);
    double ey = energy(b, bAt - reach, frames);
    int64_t best = 0;
    double bestShare = 2.0;
    for (int64_t l = 0; l <= 2 * reach; ++l) {
        if (l > 0) {
            const int64_t in = bAt - reach + l + frames - 1, out = bAt - reach + l - 1;
            ey += (At(b, in, 0) * At(b, in, 0) + At(b, in, 1) * At(b, in, 1) - At(b, out, 0) * At(b, out, 0) -
                   At(b, out, 1) * At(b, out, 1)) /
                  (32768.0 * 32768.0);
        }
        const double c = static_cast<double>(y.Re[static_cast<size_t>(l)]) * n;
        const double level = ex + std::max(ey, 0.0);
        const double share = level > 0.0 ? (level - 2.0 * c) / level : 1.0;
        if (share < bestShare)
            bestShare = share, best = l - reach;
    }
    // The transform's rounding blurs neighbouring shifts: settle them exactly.
    auto exact = [&](int64_t l) {
        double d = 0.0, e = 0.0;
        for (int64_t i = 0; i < frames; ++i)
            for (int ch = 0; ch < 2; ++ch) {
                const double u = At(a, aAt + i, ch), v = At(b, bAt + l + i, ch);
                d += (u - v) * (u - v);
                e += u * u + v * v;
            }
        return e > 0.0 ? d / e : 1.0;
    };
    lag.Shift = best;
    lag.Share = exact(best);
    for (int64_t l = std::max(-reach, best - 2); l <= std::min(reach, best + 2); ++l) {
        const double share = exact(l);
        if (share < lag.Share)
            lag.Share = share, lag.Shift = l;
    }
    lag.ShareAtZero = exact(0);
    return lag;
}
