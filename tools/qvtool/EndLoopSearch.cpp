#include "EndLoopSearch.h"

#include "FFTLib.h"
#include "JoinContinuity.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr double kRate = 44100.0;
constexpr int kBands = 24;
constexpr double kLowHz = 60.0;
constexpr double kHighHz = 16000.0;
// Pitch classes are read from this range, where the notes of most music lie.
constexpr double kChromaLowHz = 80.0;
constexpr double kChromaHighHz = 5000.0;
// Quieter than this below the loudest window is silence.
constexpr double kSilenceDb = 60.0;
// A sample this far below full scale or quieter is silence, for the first sound.
constexpr int kSilentSample = 33;  // -60 dB
// The bars compared before a start and before an end: this long, and at least the shorter.
constexpr double kContextSeconds = 3.0;
constexpr double kLeastContextSeconds = 0.75;
// A loudness difference of this many dB makes two windows as unlike as different notes.
constexpr double kLoudnessScale = 24.0;
// Ends looked for among the onsets of the piece's last seconds, and how many.
constexpr double kEndOnsetSeconds = 1.5;
constexpr size_t kEndOnsets = 3;
// Starts closer than this to a better one for the same end are the same candidate.
constexpr double kApartSeconds = 1.0;
// Starts with bars this alike or less are not taken for leading up alike.
constexpr double kLeastAlike = 0.5;
// Starts taken because their bars lead up alike.
constexpr size_t kAlike = 4;
// Starts taken because their sound continues the end's most closely.
constexpr size_t kContinuations = 3;
// The sound before the end lined up with that before a start to place it to the frame.
constexpr double kLineUpSeconds = 0.5;

}

TEndLoopSearch::TEndLoopSearch(const std::vector<int16_t>& stereo, int64_t minFrames)
    : stereo_(stereo), minFrames_(std::max<int64_t>(minFrames, Window))
{
}

void TEndLoopSearch::Analyse()
{
    const int64_t frames = Frames();
    hops_ = frames < Window ? 0 : static_cast<int32_t>((frames - Window) / Hop + 1);
    bands_.assign(static_cast<size_t>(hops_) * kBands, 0.0f);
    chroma_.assign(static_cast<size_t>(hops_) * 12, 0.0f);
    loudness_.assign(static_cast<size_t>(hops_), 0.0f);
    onset_.assign(static_cast<size_t>(hops_), 0.0f);
    std::vector<int> bandOf(Window / 2, -1), pitchOf(Window / 2, -1);
    for (int32_t k = 1; k < Window / 2; ++k) {
        const double hz = k * kRate / Window;
        if (hz >= kLowHz && hz < kHighHz)
            bandOf[static_cast<size_t>(k)] = static_cast<int>(kBands * std::log(hz / kLowHz) / std::log(kHighHz / kLowHz));
        if (hz >= kChromaLowHz && hz < kChromaHighHz) {
            const double note = 12.0 * std::log2(hz / 440.0) + 69.0;
            pitchOf[static_cast<size_t>(k)] = static_cast<int>(std::lround(note)) % 12;
        }
    }
    std::vector<float> window(Window);
    for (int32_t i = 0; i < Window; ++i)
        window[static_cast<size_t>(i)] = static_cast<float>(0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * i / Window));
    TFFT fft(Window);
    float loudest = -200.0f;
    for (int32_t h = 0; h < hops_; ++h) {
        const int64_t at = static_cast<int64_t>(h) * Hop;
        for (int32_t i = 0; i < Window; ++i) {
            const size_t s = static_cast<size_t>((at + i) * 2);
            fft.Re[static_cast<size_t>(i)] = (stereo_[s] + stereo_[s + 1]) * (0.5f / 32768.0f) * window[static_cast<size_t>(i)];
            fft.Im[static_cast<size_t>(i)] = 0.0f;
        }
        fft.FFT();
        float* band = &bands_[static_cast<size_t>(h) * kBands];
        float* pitch = &chroma_[static_cast<size_t>(h) * 12];
        double total = 0.0;
        for (int32_t k = 1; k < Window / 2; ++k) {
            const double p = static_cast<double>(fft.Re[static_cast<size_t>(k)]) * fft.Re[static_cast<size_t>(k)] +
                             static_cast<double>(fft.Im[static_cast<size_t>(k)]) * fft.Im[static_cast<size_t>(k)];
            total += p;
            if (bandOf[static_cast<size_t>(k)] >= 0)
                band[bandOf[static_cast<size_t>(k)]] += static_cast<float>(p);
            if (pitchOf[static_cast<size_t>(k)] >= 0)
                pitch[pitchOf[static_cast<size_t>(k)]] += static_cast<float>(std::sqrt(p));
        }
        for (int b = 0; b < kBands; ++b)
            band[b] = 10.0f * std::log10(band[b] + 1e-14f);
        double norm = 0.0;
        for (int c = 0; c < 12; ++c)
            norm += static_cast<double>(pitch[c]) * pitch[c];
        for (int c = 0; c < 12; ++c)
            pitch[c] = norm > 0.0 ? static_cast<float>(pitch[c] / std::sqrt(norm)) : 0.0f;
        loudness_[static_cast<size_t>(h)] = static_cast<float>(10.0 * std::log10(total + 1e-14));
        loudest = std::max(loudest, loudness_[static_cast<size_t>(h)]);
        if (h > 0) {
            double rise = 0.0;
            for (int b = 0; b < kBands; ++b)
                rise += std::max(0.0f, band[b] - band[b - kBands]);
            onset_[static_cast<size_t>(h)] = static_cast<float>(rise / kBands);
        }
    }
    // Silence is one level, so that two silences are alike and a silence is unlike any sound.
    for (float& l : loudness_)
        l = std::max(l, loudest - static_cast<float>(kSilenceDb));
}

double TEndLoopSearch::Alike(int32_t i, int32_t j) const
{
    const auto want = static_cast<int32_t>(kContextSeconds * kRate / Hop);
    const int32_t n = std::min({want, i + 1, j + 1});
    if (n < static_cast<int32_t>(kLeastContextSeconds * kRate / Hop))
        return -1.0;
    const float floor = *std::min_element(loudness_.begin(), loudness_.end());
    double sum = 0.0;
    for (int32_t m = 0; m < n; ++m) {
        const int32_t a = i - m, b = j - m;
        const float la = loudness_[static_cast<size_t>(a)], lb = loudness_[static_cast<size_t>(b)];
        double sim;
        if (la <= floor && lb <= floor) {
            sim = 1.0;
        } else if (la <= floor || lb <= floor) {
            sim = 0.0;
        } else {
            double dot = 0.0;
            for (int c = 0; c < 12; ++c)
                dot += static_cast<double>(chroma_[static_cast<size_t>(a) * 12 + c]) * chroma_[static_cast<size_t>(b) * 12 + c];
            sim = dot - std::abs(la - lb) / kLoudnessScale;
        }
        sum += sim;
    }
    return sum / n;
}

double TEndLoopSearch::BandDistance(int32_t i, int32_t j) const
{
    double d = 0.0;
    for (int b = 0; b < kBands; ++b)
        d += std::abs(bands_[static_cast<size_t>(i) * kBands + b] - bands_[static_cast<size_t>(j) * kBands + b]);
    return d / kBands;
}

std::vector<std::pair<int64_t, bool>> TEndLoopSearch::Ends() const
{
    const int64_t frames = Frames();
    std::vector<std::pair<int64_t, bool>> ends{{frames, false}};
    // The end of the sound, where a silence closes the file.
    int64_t last = frames;
    while (last > 0 && std::abs(stereo_[static_cast<size_t>(last * 2 - 2)]) < kSilentSample &&
           std::abs(stereo_[static_cast<size_t>(last * 2 - 1)]) < kSilentSample)
        --last;
    if (frames - last > Hop)
        ends.emplace_back(last, false);
    // The strongest onsets of the last seconds: the first beat of a pass the file goes on into
    // before it fades or rings out.
    std::vector<int32_t> onsets;
    const auto from = static_cast<int32_t>(std::max<int64_t>(1, (frames - static_cast<int64_t>(kEndOnsetSeconds * kRate)) / Hop));
    for (int32_t h = from; h + 1 < hops_; ++h)
        if (onset_[static_cast<size_t>(h)] > onset_[static_cast<size_t>(h - 1)] &&
            onset_[static_cast<size_t>(h)] >= onset_[static_cast<size_t>(h + 1)])
            onsets.push_back(h);
    std::sort(onsets.begin(), onsets.end(),
              [&](int32_t a, int32_t b) { return onset_[static_cast<size_t>(a)] > onset_[static_cast<size_t>(b)]; });
    for (size_t k = 0; k < onsets.size() && k < kEndOnsets; ++k)
        ends.emplace_back(static_cast<int64_t>(onsets[k]) * Hop + Window / 2, true);
    return ends;
}

std::vector<TEndLoopSearch::TCandidate> TEndLoopSearch::Find(size_t count)
{
    Analyse();
    if (hops_ < 8)
        return {};
    const auto apart = static_cast<int64_t>(kApartSeconds * kRate);
    const auto lineUp = static_cast<int64_t>(kLineUpSeconds * kRate);
    std::vector<TCandidate> alike, rest;
    const std::vector<std::pair<int64_t, bool>> ends = Ends();
    for (size_t n = 0; n < ends.size(); ++n) {
        const int64_t end = ends[n].first;
        if (end < minFrames_ + Window)
            continue;
        // The last window wholly before the end, and starts on the same grid relative to it.
        const auto j = static_cast<int32_t>((end - Window) / Hop);
        const int64_t offset = end - (static_cast<int64_t>(j) * Hop + Window);
        for (int32_t i = 0; i < j; ++i) {
            const int64_t start = static_cast<int64_t>(i) * Hop + Window + offset;
            if (end - start < minFrames_)
                break;
            const double a = Alike(i, j);
            if (a > kLeastAlike)
                alike.push_back({start, end, a});
        }
        // The onsets near the end are for starts that lead up alike; the file's end and its
        // sound's are tried from the beginning too.
        if (ends[n].second)
            continue;
        // Starts that nothing leads up to alike: the beginning, the first sound, and the places
        // whose sound continues the end's most closely, each placed where the end rings on
        // into it best.
        int64_t first = 0;
        while (first < end && std::abs(stereo_[static_cast<size_t>(first * 2)]) < kSilentSample &&
               std::abs(stereo_[static_cast<size_t>(first * 2 + 1)]) < kSilentSample)
            ++first;
        for (const int64_t start : {int64_t{0}, first})
            if (end - start >= minFrames_ &&
                std::none_of(rest.begin(), rest.end(), [&](const TCandidate& c) { return c.Start == start && c.End == end; }))
                rest.push_back({start, end, -1.0});
        // The places the end rings on into most closely, over the whole piece.
        const std::vector<double> cost = TJoinContinuity::ContinuationCosts(stereo_, end, stereo_, end - minFrames_ + 1);
        std::vector<int64_t> order;
        for (int64_t p = 1; p + 1 < static_cast<int64_t>(cost.size()); ++p)
            if (cost[static_cast<size_t>(p)] <= cost[static_cast<size_t>(p - 1)] &&
                cost[static_cast<size_t>(p)] < cost[static_cast<size_t>(p + 1)])
                order.push_back(p);
        std::sort(order.begin(), order.end(),
                  [&](int64_t a, int64_t b) { return cost[static_cast<size_t>(a)] < cost[static_cast<size_t>(b)]; });
        std::vector<int64_t> starts;
        for (const int64_t p : order) {
            if (starts.size() >= kContinuations)
                break;
            if (std::any_of(starts.begin(), starts.end(), [&](int64_t s) { return std::llabs(s - p) < apart; }))
                continue;
            starts.push_back(p);
            rest.push_back({p, end, -1.0});
        }
    }
    // The most alike, apart from each other, each lined up with its end to the frame: the sound
    // before the end with the sound before the start.
    std::stable_sort(alike.begin(), alike.end(), [](const TCandidate& a, const TCandidate& b) { return a.Alike > b.Alike; });
    std::vector<TCandidate> best;
    for (const TCandidate& c : alike) {
        if (best.size() >= kAlike)
            break;
        if (std::any_of(best.begin(), best.end(), [&](const TCandidate& b) {
                return std::llabs(b.Start - c.Start) < apart && std::llabs(b.End - c.End) < apart;
            }))
            continue;
        best.push_back(c);
    }
    for (TCandidate& c : best) {
        const int64_t lead = std::min({lineUp, c.Start - Hop, c.End});
        if (lead > Hop)
            c.Start += TJoinContinuity::BestLag(stereo_, c.End - lead, stereo_, c.Start - lead, lead, Hop).Shift;
    }
    // The most alike in turn with the others, so that both kinds are tried.
    std::vector<TCandidate> out;
    for (size_t k = 0; out.size() < count && (k < best.size() || k < rest.size()); ++k) {
        if (k < best.size())
            out.push_back(best[k]);
        if (k < rest.size() && out.size() < count)
            out.push_back(rest[k]);
    }
    return out;
}
