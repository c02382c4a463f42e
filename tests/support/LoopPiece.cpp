#include "LoopPiece.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numbers>

namespace fixture {

namespace {

constexpr double kPi = std::numbers::pi;

// A small deterministic generator, so every run makes the same pieces.
struct Random {
    uint32_t state;
    double Next()  // 0 .. 1
    {
        state = state * 1664525u + 1013904223u;
        return static_cast<double>(state >> 8) / 16777216.0;
    }
};

}

std::vector<float> Section(Kind kind, int64_t frames, int rate, uint32_t seed)
{
    std::vector<float> out(static_cast<size_t>(frames) * 2, 0.0f);
    Random rnd{seed};
    auto add = [&](int64_t at, int ch, double v) {
        if (at >= 0 && at < frames)
            out[static_cast<size_t>(at * 2 + ch)] += static_cast<float>(v);
    };
    if (kind == Kind::Tonal) {
        // Notes of a quarter second from a pentatonic scale, each with two overtones.
        const double scale[] = {220.0, 246.9, 277.2, 329.6, 370.0, 440.0, 493.9, 554.4};
        const auto step = static_cast<int64_t>(0.25 * rate);
        for (int64_t start = 0; start < frames; start += step) {
            const double f = scale[static_cast<int>(rnd.Next() * 8)];
            const double pan = rnd.Next();
            for (int64_t i = 0; i < step * 2 && start + i < frames; ++i) {
                const double t = static_cast<double>(i) / rate;
                const double env = std::min(1.0, t * 200.0) * std::exp(-t * 4.0);
                const double v = env * 0.18 *
                                 (std::sin(2 * kPi * f * t) + 0.4 * std::sin(4 * kPi * f * t) + 0.2 * std::sin(6 * kPi * f * t));
                add(start + i, 0, v * (1.0 - 0.5 * pan));
                add(start + i, 1, v * (0.5 + 0.5 * pan));
            }
        }
    } else if (kind == Kind::Noisy) {
        // Noise whose colour and level change every 0.2 s, as wind or surf.
        const auto step = static_cast<int64_t>(0.2 * rate);
        double lowL = 0.0, lowR = 0.0;
        for (int64_t start = 0; start < frames; start += step) {
            const double colour = 0.05 + 0.9 * rnd.Next();
            const double level = 0.1 + 0.3 * rnd.Next();
            for (int64_t i = 0; i < step && start + i < frames; ++i) {
                lowL += colour * ((rnd.Next() * 2 - 1) - lowL);
                lowR += colour * ((rnd.Next() * 2 - 1) - lowR);
                add(start + i, 0, level * lowL);
                add(start + i, 1, level * lowR);
            }
        }
    } else {
        // Drum hits on an eighth-note grid: a falling thump, a noise burst, a short tick.
        const auto step = static_cast<int64_t>(0.125 * rate);
        for (int64_t start = 0; start < frames; start += step) {
            const double pick = rnd.Next();
            const auto length = static_cast<int64_t>(0.3 * rate);
            for (int64_t i = 0; i < length && start + i < frames; ++i) {
                const double t = static_cast<double>(i) / rate;
                double v = 0.0;
                if (pick < 0.35)
                    v = 0.6 * std::exp(-t * 12) * std::sin(2 * kPi * (50 + 100 * std::exp(-t * 30)) * t);
                else if (pick < 0.65)
                    v = 0.35 * std::exp(-t * 25) * (rnd.Next() * 2 - 1);
                else if (pick < 0.85)
                    v = 0.2 * std::exp(-t * 120) * (rnd.Next() * 2 - 1);
                add(start + i, 0, v);
                add(start + i, 1, v * 0.8);
            }
        }
    }
    return out;
}

Pcm Piece(Kind kind, double introSeconds, int64_t frames, int periods, int rate)
{
    Pcm pcm;
    pcm.rate = rate;
    if (introSeconds > 0)
        pcm.samples = Section(Kind::Tonal, static_cast<int64_t>(introSeconds * rate), rate, 99);
    const std::vector<float> section = Section(kind, frames, rate, 7);
    for (int p = 0; p < periods; ++p)
        pcm.samples.insert(pcm.samples.end(), section.begin(), section.end());
    const auto tail = std::min<size_t>(section.size(), static_cast<size_t>(2 * rate) * 2);
    pcm.samples.insert(pcm.samples.end(), section.begin(), section.begin() + static_cast<ptrdiff_t>(tail));
    return pcm;
}

}
