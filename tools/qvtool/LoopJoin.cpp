#include "LoopJoin.h"

#include "JoinContinuity.h"
#include "LoopFit.h"
#include "QvCommand.h"
#include "QvWriter.h"
#include "ERangeError.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>
#include <stdexcept>

namespace {

// The converted path cannot seek closer to the start than this (the engine holds a seek off the
// very start), so a render from there starts at frame 0 instead.
constexpr double kSeekGuardSeconds = 0.002;
// The level below which the piece counts as silent: a difference is measured against at least
// this much sound, so that a click in a silence is heard as the click it is.
constexpr double kLevelFloor = 32768.0 * 0.001;  // -60 dB of full scale
// Frames at the output rate whose level decides together whether they are sound or silence.
constexpr int64_t kBlockFrames = 1024;
// A shift of the reference counts as lining the music up better than none when it leaves this
// much less difference: the encoder's noise, the same at every shift, does not come close.
constexpr double kShiftGain = 1.25;
// The least level (and the inverse the most) at which the reference is compared: -12 dB.
constexpr double kLeastGain = 0.25;
// A start elsewhere continues the sound before the end better than the loop's own when the
// predictor misses this much less there (6 dB), and the loop's own start is missed by more than
// this share of the sound (-20 dB): below that it goes on as smoothly as music does.
constexpr double kContinueGain = 4.0;
constexpr double kContinueFloor = 0.01;
// How near a start that continues better must be to call a smooth join off.
constexpr double kNearSeconds = 0.001;
// A loop ending less than this before the file's end ends with it: what follows is a fade, a
// ring or a silence.
constexpr double kNearEndSeconds = 1.6;
// Seconds of music before the end lined up with the music before the start, and the share of
// difference under which the two are the same music.
constexpr double kRepeatSeconds = 1.0;
constexpr double kRepeatShare = 0.3;

// The comparison is made below this frequency. Above it the encoder keeps a sound's spectrum but
// not its waveform (noise filling, channels coupled into one), so two encodings of the same sound
// differ there however seamless the join; below it the waveform is kept, and a step, a click or
// a repeat that does not line up shows plainly.
constexpr double kCompareHz = 5000.0;
constexpr int kTaps = 127;

// A low-pass filter (a windowed sinc) of both channels, the same for every render compared, so
// that the difference of two filtered renders is the filtered difference.
std::vector<int16_t> LowPass(const std::vector<int16_t>& in)
{
    static const std::vector<double> taps = [] {
        std::vector<double> t(kTaps);
        const double fc = kCompareHz / OutputFormat::Rate;
        double sum = 0.0;
        for (int i = 0; i < kTaps; ++i) {
            const double x = i - (kTaps - 1) / 2.0;
            const double sinc = x == 0.0 ? 2.0 * fc : std::sin(2.0 * std::numbers::pi * fc * x) / (std::numbers::pi * x);
            const double blackman = 0.42 - 0.5 * std::cos(2.0 * std::numbers::pi * i / (kTaps - 1)) +
                                    0.08 * std::cos(4.0 * std::numbers::pi * i / (kTaps - 1));
            t[static_cast<size_t>(i)] = sinc * blackman;
            sum += t[static_cast<size_t>(i)];
        }
        for (double& v : t)
            v /= sum;
        return t;
    }();
    // Each channel apart, padded with silence either side, in blocks that stay in the cache:
    // tap by tap over a whole block, so that the compiler can multiply several frames at once.
    const auto frames = static_cast<int64_t>(in.size() / 2);
    constexpr int half = (kTaps - 1) / 2;
    constexpr int64_t block = 2048;
    static const std::vector<float> tapsF(taps.begin(), taps.end());
    std::vector<int16_t> out(in.size());
    std::vector<float> x(static_cast<size_t>(frames + 2 * half));
    std::vector<float> acc(static_cast<size_t>(block));
    for (int ch = 0; ch < 2; ++ch) {
        for (int64_t f = 0; f < frames; ++f)
            x[static_cast<size_t>(f + half)] = in[static_cast<size_t>(f * 2 + ch)];
        for (int64_t from = 0; from < frames; from += block) {
            const int64_t n = std::min(block, frames - from);
            std::fill(acc.begin(), acc.end(), 0.0f);
            for (int k = 0; k < kTaps; ++k) {
                const float t = tapsF[static_cast<size_t>(k)];
                const float* w = &x[static_cast<size_t>(from + k)];
                float* a = acc.data();
                for (int64_t i = 0; i < n; ++i)
                    a[i] += t * w[i];
            }
            for (int64_t i = 0; i < n; ++i)
                out[static_cast<size_t>((from + i) * 2 + ch)] =
                    static_cast<int16_t>(std::clamp(std::lrint(acc[static_cast<size_t>(i)]), -32768L, 32767L));
        }
    }
    return out;
}

double Energy(const std::vector<int16_t>& a, size_t from, size_t to)
{
    double e = 0.0;
    for (size_t i = from; i < to && i < a.size(); ++i)
        e += static_cast<double>(a[i]) * a[i];
    return e;
}

double Difference(const std::vector<int16_t>& a, const std::vector<int16_t>& b, size_t from, size_t to)
{
    double e = 0.0;
    for (size_t i = from; i < to && i < a.size() && i < b.size(); ++i) {
        const double d = static_cast<double>(a[i]) - b[i];
        e += d * d;
    }
    return e;
}

}

std::string TLoopJoin::Refusal(const std::string& fileName)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(fileName, ec))
        return fileName + ": no such file";
    const auto size = std::filesystem::file_size(fileName, ec);
    if (ec || size == 0)
        return fileName + ": the file is empty";
    std::ifstream in(fileName, std::ios::binary);
    char head[TQvWriter::HeaderSize + 4] = {};
    in.read(head, sizeof head);
    const auto got = static_cast<size_t>(in.gcount());
    const bool ogg = got >= 4 && std::memcmp(head, "OggS", 4) == 0;
    const bool container = got == sizeof head && std::memcmp(head, "OSTRAOGG", 8) == 0 &&
                           std::memcmp(head + TQvWriter::HeaderSize, "OggS", 4) == 0;
    if (!ogg && !container)
        return fileName + ": not an Ogg Vorbis file or looped-Ogg container";
    return {};
}

TLoopJoin::TLoopJoin(std::string fileName) : file_(std::move(fileName))
{
    if (const std::string refusal = Refusal(file_); !refusal.empty())
        throw std::runtime_error(refusal);
    TOggData data(OutputFormat::StreamBufferBytes);
    try {
        if (!QvOpen(data, file_))
            throw std::runtime_error(file_ + ": cannot be read");
    } catch (const ERangeError&) {
        throw std::runtime_error(file_ + ": the Ogg stream cannot be decoded as Vorbis");
    }
    if (!data.Renderable() || data.PcmBytes <= 0)
        throw std::runtime_error(file_ + ": the stream holds no sound the player can render");
    rate_ = data.Rate;
    total_ = data.PcmBytes / OutputFormat::BytesPerFrame;
    container_ = data.DataStart > 0;
    dataStart_ = data.DataStart;
    totalTime_ = data.TotalTime;
    std::memcpy(loops_, data.Loops, sizeof loops_);
}

std::vector<int16_t> TLoopJoin::Render(const TOggLoop* entry, int64_t from, int64_t frames) const
{
    TOggData data(OutputFormat::StreamBufferBytes);
    if (!data.LoadOgg(file_))
        throw std::runtime_error("cannot open " + file_);
    std::memset(data.Loops, 0, sizeof data.Loops);
    if (entry)
        data.Loops[0] = {entry->LoopStart, entry->LoopEnd, -1};

    // Streams played directly are started at a whole second, as a block of playback from the
    // start would be, and the frames before `from` are dropped: the loop end is then measured
    // from where playback measures it. Converted streams measure it from the decoder's exact
    // place, so they start right at `from` (the middle of the frame, which the seek cuts down to).
    int64_t skip = 0;
    if (!Converted()) {
        const int64_t second = from / rate_;
        skip = from - second * rate_;
        if (second > 0)
            data.TimeSeek(static_cast<float>(second));
    } else if (from > 0) {
        data.TimeSeek(static_cast<float>((static_cast<double>(from) + 0.5) / rate_));
    }
    data.Play(false);
    const int64_t want = skip + frames;
    std::vector<int16_t> out(static_cast<size_t>(want) * OutputFormat::Channels, 0);
    // One request: the loop step checks the whole of it, so the jump is taken wherever in it the
    // end falls.
    data.RenderingToPointer(out.data(), static_cast<int32_t>(want * OutputFormat::BytesPerFrame));
    out.erase(out.begin(), out.begin() + static_cast<ptrdiff_t>(skip * OutputFormat::Channels));
    return out;
}

std::vector<uint8_t> TLoopJoin::OggBytes() const
{
    std::ifstream in(file_, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.eof() && !in)
        throw std::runtime_error(file_ + ": cannot be read");
    bytes.erase(bytes.begin(), bytes.begin() + std::min<ptrdiff_t>(dataStart_, static_cast<ptrdiff_t>(bytes.size())));
    return bytes;
}

std::vector<int16_t> TLoopJoin::RenderAll() const
{
    TOggData data(OutputFormat::StreamBufferBytes);
    if (!data.LoadOgg(file_))
        throw std::runtime_error("cannot open " + file_);
    std::memset(data.Loops, 0, sizeof data.Loops);
    data.Play(false);
    std::vector<int16_t> out;
    const auto expected = static_cast<double>(total_) * OutputFormat::Rate / rate_;
    out.reserve(static_cast<size_t>(expected + OutputFormat::Rate) * OutputFormat::Channels);
    std::vector<uint8_t> block(OutputFormat::BlockBytes);
    while (data.GetPlayState() != psSTOP) {
        const int32_t sound = data.RenderBlock(block, {}, false);
        if (sound <= 0)
            break;
        const auto* s = reinterpret_cast<const int16_t*>(block.data());
        out.insert(out.end(), s, s + sound / static_cast<int32_t>(sizeof(int16_t)));
    }
    return out;
}

struct TLoopJoin::TTally {
    double Difference = 0.0;  // squared difference over every frame compared
    double Level = 0.0;       // energy of the reference over the frames of sound
    double Frames = 0.0;      // frames compared
    double Sound = 0.0;       // of which sound, not silence
    // The squared difference with the reference shifted by -Reach .. Reach frames, counted as
    // after the jump: a loop that ends d frames too late plays the music d frames early.
    std::vector<double> Shifted;
    int32_t Reach = 0;
    // The sound at the join: its difference, the level it is measured against, its frames.
    double JoinDifference = 0.0, JoinLevel = 0.0, JoinFrames = 0.0;
};

void TLoopJoin::Compare(const std::vector<int16_t>& played, const std::vector<int16_t>& reference, int64_t from,
                        int64_t to, bool backward, TTally& tally) const
{
    const auto frames = static_cast<int64_t>(std::min(played.size(), reference.size()) / 2);
    to = std::min(to, frames);
    const int32_t reach = tally.Reach;
    for (int64_t block = from; block < to; block += kBlockFrames) {
        const int64_t blockEnd = std::min(block + kBlockFrames, to);
        const auto a = static_cast<size_t>(block * 2), b = static_cast<size_t>(blockEnd * 2);
        const double energy = Energy(reference, a, b);
        const auto n = static_cast<double>(blockEnd - block);
        tally.Frames += n;
        // Where the reference sounds, it is compared at the level that fits the played sound
        // best: the piece may fade out after the loop's end (its ending for players that do not
        // loop) or fade in before its start, and a fade of the same music is the same music.
        // Only a slow change is let through so: the gain is one number for a few hundredths of a
        // second, within 12 dB either way; a different sound or a shifted one still differs.
        double gain = 1.0;
        if (energy >= 2.0 * n * kLevelFloor * kLevelFloor) {
            double cross = 0.0;
            for (size_t i = a; i < b; ++i)
                cross += static_cast<double>(played[i]) * reference[i];
            gain = std::clamp(cross / energy, kLeastGain, 1.0 / kLeastGain);
            tally.Level += 0.5 * (Energy(played, a, b) + gain * gain * energy);
            tally.Sound += n;
        }
        for (size_t i = a; i < b; ++i) {
            const double d = played[i] - gain * reference[i];
            tally.Difference += d * d;
        }
        // The shifts are measured where the reference reaches every shift.
        const int64_t lo = std::max(block, static_cast<int64_t>(reach));
        const int64_t hi = std::min(blockEnd, frames - reach);
        for (int32_t l = -reach; l <= reach; ++l) {
            double e = 0.0;
            for (int64_t f = lo; f < hi; ++f)
                for (int ch = 0; ch < 2; ++ch) {
                    const double d = static_cast<double>(played[static_cast<size_t>(f * 2 + ch)]) -
                                     gain * reference[static_cast<size_t>((f + l) * 2 + ch)];
                    e += d * d;
                }
            // Before the jump the roles turn round: an end too late plays there what the
            // reference plays later.
            tally.Shifted[static_cast<size_t>((backward ? -l : l) + reach)] += e;
        }
    }
}

void TLoopJoin::Conclude(const TTally& tally, double toOut, TScore& score)
{
    auto db = [](double difference, double level) {
        return difference > 0.0 ? std::max(FloorDb, 10.0 * std::log10(difference / level)) : FloorDb;
    };
    score.Judged = true;
    score.Why.clear();
    score.JoinDb = db(tally.JoinDifference, std::max(tally.JoinLevel, tally.JoinFrames * 2.0 * kLevelFloor * kLevelFloor));
    score.MusicDb = db(tally.Difference, std::max(tally.Level, tally.Frames * 2.0 * kLevelFloor * kLevelFloor));
    score.Db = std::max(score.JoinDb, score.MusicDb);
    score.SoundSeconds = tally.Sound / OutputFormat::Rate;

    // Where the music after the jump lines up best: the least of the shifted differences, to a
    // fraction of a frame by the parabola through it and its neighbours.
    const std::vector<double>& d = tally.Shifted;
    const auto least = static_cast<int32_t>(std::min_element(d.begin(), d.end()) - d.begin());
    double shift = least - tally.Reach;
    if (least > 0 && least + 1 < static_cast<int32_t>(d.size())) {
        const double a = d[static_cast<size_t>(least - 1)], b = d[static_cast<size_t>(least)];
        const double c = d[static_cast<size_t>(least + 1)];
        if (a - 2.0 * b + c > 0.0)
            shift += 0.5 * (a - c) / (a - 2.0 * b + c);
    }
    score.LateFrames = -shift / toOut;
    score.LateAtLeast = least == 0 || least + 1 == static_cast<int32_t>(d.size());
    const double atZero = d[static_cast<size_t>(tally.Reach)];
    score.Off = std::abs(score.LateFrames) >= LateFramesHeard && atZero > kShiftGain * d[static_cast<size_t>(least)];
}

TLoopJoin::TScore TLoopJoin::Score(const TOggLoop& entry) const
{
    TScore score;
    const TLoopFit fit(rate_, total_);
    score.StartFrame = fit.StartFrame(entry.LoopStart);
    score.EndFrame = fit.EndFrame(entry.LoopEnd);
    // An end beyond the stream is never reached (the engine allows its own length's rounding).
    if (!(entry.LoopEnd <= totalTime_ + 0.001f))
        score.EndFrame = -1;
    if (score.StartFrame < 0 || score.EndFrame < 0 || score.StartFrame >= total_) {
        char why[96];
        std::snprintf(why, sizeof why, "a time outside the piece's %.3f s", static_cast<double>(total_) / rate_);
        score.NeverJumps = true;
        score.Why = why;
        return score;
    }
    const int64_t s = score.StartFrame;
    const int64_t e = std::min(score.EndFrame, total_);
    // Playback reaches the end and goes on at the start: a start at or after the end makes the
    // loop nothing, or a jump forward that plays the piece on as if there were no loop.
    if (s >= e) {
        score.NeverJumps = true;
        score.Why = s == e ? "the loop has no length" : "its start is after its end";
        return score;
    }
    const double toOut = static_cast<double>(OutputFormat::Rate) / rate_;
    const auto side = static_cast<int64_t>(std::lround(SideFrames / toOut));
    const auto guard = static_cast<int64_t>(std::ceil(kSeekGuardSeconds * rate_));
    const auto music = static_cast<double>(musicSeconds_ * OutputFormat::Rate);
    const auto most = static_cast<int64_t>(MaxSeconds * rate_);
    auto outFrames = [&](int64_t f) { return static_cast<int64_t>(std::lround(static_cast<double>(f) * toOut)); };

    // Frames before the jump that each render starts with: the same for the looped render and
    // its reference, so that the two share the output's grid of frames. A render may start at
    // frame 0 or beyond the guard, not in between (on the direct path it starts at a whole
    // second and this never matters).
    auto startsWell = [&](int64_t at) { return !Converted() || at <= 0 || at >= guard; };
    TTally tally;
    // Shifts of up to three frames of the stream each way, and at least 8 at the output rate.
    tally.Reach = std::max<int32_t>(8, static_cast<int32_t>(std::ceil(3.0 * toOut)));
    tally.Shifted.assign(static_cast<size_t>(2 * tally.Reach + 1), 0.0);
    double joinDifference = 0.0, joinLevel = 0.0, joinFrames = 0.0;

    // After the jump: what follows it is compared with what follows the end when the piece goes
    // on there, over a second of sound, further where the piece is silent. Not beyond one pass
    // of the loop (the looped render would jump again) unless the loop is shorter than the join.
    const bool after = e + side <= total_;
    if (after) {
        int64_t pre = std::min(std::max<int64_t>(side, tally.Reach), e);
        if (!startsWell(e - pre))
            pre = e;
        const int64_t room = std::min({total_ - e, std::max(side, e - s), most});
        // Of a short loop, half a pass of sound: a piece that plays it twice repeats only that
        // far after a join placed within its first pass.
        const double want = std::min(music, 0.5 * static_cast<double>(e - s) * toOut);
        int64_t span = std::min(room, std::max(side, static_cast<int64_t>(std::lround(want / toOut))));
        for (;;) {
            const int64_t join = outFrames(pre);
            const int64_t frames = join + outFrames(span);
            const std::vector<int16_t> played = LowPass(Render(&entry, e - pre, frames));
            const std::vector<int16_t> straight = LowPass(Render(nullptr, e - pre, frames));
            TTally pass = tally;
            Compare(played, straight, join, frames, false, pass);
            if (pass.Sound + kBlockFrames > want || span >= room) {
                tally = pass;
                // The join itself: the first frames after the jump, and whatever the low-pass
                // spreads of a step back before it.
                const auto joinAt = static_cast<size_t>(join * OutputFormat::Channels);
                const size_t joinEnd =
                    std::min(played.size(), joinAt + static_cast<size_t>(SideFrames) * OutputFormat::Channels);
                joinDifference = Difference(played, straight, 0, joinEnd);
                tally.Difference += Difference(played, straight, 0, joinAt);
                joinLevel = Energy(straight, joinAt, joinEnd);
                joinFrames = static_cast<double>(joinEnd - joinAt) / OutputFormat::Channels;
                break;
            }
            // On by the sound still missing (and a little more): a quiet bar in a short loop
            // must not carry the comparison past the repeat.
            span = std::min(room, span + std::max(side, static_cast<int64_t>(std::lround((want - pass.Sound) / toOut))));
        }
    }

    // Before the jump: what leads up to the end is compared with what leads up to the start, for
    // the sound still missing (all of it for a loop to the piece's last frame).
    // Only the second of sound that makes a join heard is sought there: more of the music the
    // loop should go on matching is asked of what follows the end, where it plays.
    const double back = std::min(music, MusicSeconds * OutputFormat::Rate);
    if (tally.Sound < back) {
        int64_t limit = std::min(s, most);
        if (!startsWell(s - limit))
            limit = s;
        int64_t pre = std::min(limit, std::max(side, static_cast<int64_t>(std::lround((back - tally.Sound) / toOut))));
        while (pre > 0 && !(startsWell(s - pre) && startsWell(e - pre)))
            --pre;
        if (after || pre >= side / 4) {
            for (; pre > 0;) {
                const int64_t join = outFrames(pre);
                const int64_t frames = join + SideFrames;
                const std::vector<int16_t> played = LowPass(Render(&entry, e - pre, frames));
                const std::vector<int16_t> approach = LowPass(Render(nullptr, s - pre, frames));
                TTally pass = tally;
                Compare(played, approach, 0, join, true, pass);
                if (pass.Sound >= back || pre >= limit) {
                    tally = pass;
                    if (!after) {
                        const auto joinAt = static_cast<size_t>(join * OutputFormat::Channels);
                        const auto joinFrom =
                            joinAt - std::min(joinAt, static_cast<size_t>(side) * OutputFormat::Channels);
                        joinDifference = Difference(played, approach, joinFrom, played.size());
                        tally.Difference += Difference(played, approach, joinAt, played.size());
                        joinLevel = Energy(approach, joinFrom, joinAt);
                        joinFrames = static_cast<double>(joinAt - joinFrom) / OutputFormat::Channels;
                    }
                    break;
                }
                int64_t next = std::min(limit, pre * 2);
                while (next > pre && !(startsWell(s - next) && startsWell(e - next)))
                    --next;
                if (next <= pre) {
                    tally = pass;
                    break;
                }
                pre = next;
            }
        }
    }

    // A loop to the file's end (or to where its music ends, a second or so before), as games
    // store their loops, is judged by how its join continues the music where the music before
    // the end is not that before the start.
    const bool atEnd = static_cast<double>(total_ - e) < kNearEndSeconds * rate_;
    if (tally.Frames <= 0.0)
        score.Why = "no sound beyond either side of the join to compare with";
    else if (tally.Sound < std::min<double>(SideFrames, tally.Frames / 2))
        score.Why = "silence on both sides of the join as far as it was compared: nothing to judge it by";
    else {
        tally.JoinDifference = joinDifference;
        tally.JoinLevel = joinLevel;
        tally.JoinFrames = joinFrames;
        Conclude(tally, toOut, score);
        // A join that is heard, or off by all the shifts tried above: the music after the jump
        // is looked for within ShiftSeconds of the end, where the piece plays it.
        if (shiftSearch_ && !atEnd && (!score.Seamless() || score.LateAtLeast))
            FindShift(s, e, score);
    }
    if (atEnd && !score.Seamless()) {
        score.AtEnd = true;
        JudgeContinuation(entry, s, e, score);
    }
    return score;
}

void TLoopJoin::JudgeContinuation(const TOggLoop& entry, int64_t s, int64_t e, TScore& score) const
{
    const double toOut = static_cast<double>(OutputFormat::Rate) / rate_;
    const auto guard = static_cast<int64_t>(std::ceil(kSeekGuardSeconds * rate_));
    auto startsWell = [&](int64_t at) { return !Converted() || at <= 0 || at >= guard; };
    auto outFrames = [&](int64_t f) { return static_cast<int64_t>(std::lround(static_cast<double>(f) * toOut)); };
    // The sound either side of the jump, as playback renders it.
    const auto pre = static_cast<int64_t>(std::ceil((TJoinContinuity::NeedBefore + 64) / toOut));
    if (e < pre || !startsWell(e - pre)) {
        if (!score.Judged)
            score.Why = "too little sound before the end to judge the join by";
        return;
    }
    const int64_t join = outFrames(pre);
    const int64_t frames = join + TJoinContinuity::NeedAfter + 64;
    const std::vector<int16_t> played = Render(&entry, e - pre, frames);
    score.ClickDb = TJoinContinuity::ClickDb(played, join);
    score.StepDb = TJoinContinuity::StepDb(played, join);
    // Music may itself start a note or a section at the loop's start: what it does there when
    // it comes to the start from before is no fault of the join.
    // Playback starts the piece from silence: a start near the beginning is measured so.
    std::vector<int16_t> straight;
    if (s >= pre && startsWell(s - pre)) {
        straight = Render(nullptr, s - pre, frames);
    } else if (s < pre) {
        const int64_t silence = join - outFrames(s);
        straight.assign(static_cast<size_t>(silence) * OutputFormat::Channels, 0);
        const std::vector<int16_t> piece = Render(nullptr, 0, frames - silence);
        straight.insert(straight.end(), piece.begin(), piece.end());
    }
    if (!straight.empty()) {
        score.ClickDb -= std::max(0.0, TJoinContinuity::ClickDb(straight, join));
        score.StepDb -= std::max(0.0, TJoinContinuity::StepDb(straight, join));
    }

    // Every start within ShiftSeconds: where the sound before the end goes on best.
    const auto reach = static_cast<int64_t>(std::lround(ShiftSeconds * rate_));
    int64_t from = std::max<int64_t>(0, s - reach);
    if (!startsWell(from))
        from = 0;
    int64_t atS = outFrames(s - from);
    int64_t last = outFrames(std::min(s + reach, total_ - 1) - from);
    if (!shiftSearch_) {
        // Only whether a start close by goes on better: the join's own verdict.
        const int64_t nearby = std::lround(kNearSeconds * rate_) + 1;
        from = std::max<int64_t>(0, s - nearby);
        if (!startsWell(from))
            from = 0;
        atS = outFrames(s - from);
        last = outFrames(std::min(s + nearby, total_ - 1) - from);
    }
    const std::vector<int16_t> head = Render(nullptr, from, last + TJoinContinuity::ContinueFrames + 1);
    const std::vector<double> cost = TJoinContinuity::ContinuationCost(played, join, head, 0, last + 1);
    if (cost.empty() || atS >= static_cast<int64_t>(cost.size())) {
        if (!score.Judged)
            score.Why = "too little sound after the start to judge the join by";
        return;
    }
    score.Continues = score.ClickDb <= ClickHeardDb && score.StepDb <= StepHeardDb;
    // A join that goes on smoothly may still be a few frames off, a phase the ear hears as a
    // blur: a start close by that the end rings on into clearly better says so. A join that
    // breaks is moved to where, within the whole reach, the end goes on best.
    const int64_t near = std::lround(kNearSeconds * OutputFormat::Rate);
    const auto lo = score.Continues || !shiftSearch_ ? std::max<int64_t>(0, atS - near) : 0;
    const auto hi = score.Continues || !shiftSearch_ ? std::min<int64_t>(static_cast<int64_t>(cost.size()), atS + near + 1)
                                    : static_cast<int64_t>(cost.size());
    const auto best = static_cast<int64_t>(std::min_element(cost.begin() + lo, cost.begin() + hi) - cost.begin());
    const double here = cost[static_cast<size_t>(atS)];
    score.Judged = true;
    score.Why.clear();
    score.ContinueCost = here;
    score.LateFrames = static_cast<double>(best - atS) / toOut;
    score.LateAtLeast = false;
    const bool moved = std::abs(score.LateFrames) >= LateFramesHeard;
    score.Off = moved && (!score.Continues ||
                          (here > kContinueGain * cost[static_cast<size_t>(best)] && here > kContinueFloor));

    // Where the music before the end is the music before some start near the loop's (an intro
    // that leads in as the loop's last bars do), lining the two up gives the shift surely.
    const int64_t lead = std::min({static_cast<int64_t>(std::lround(kRepeatSeconds * rate_)), s - reach, e});
    if (shiftSearch_ && lead >= rate_ / 4 && startsWell(s - reach - lead) && startsWell(e - lead)) {
        const std::vector<int16_t> before = Render(nullptr, e - lead, outFrames(lead));
        const std::vector<int16_t> leading = Render(nullptr, s - reach - lead, outFrames(lead + 2 * reach) + 4);
        const TJoinContinuity::TLag lag =
            TJoinContinuity::BestLag(before, 0, leading, outFrames(reach), outFrames(lead) - 1, outFrames(reach));
        const double late = static_cast<double>(lag.Shift) / toOut;
        if (lag.Share < kRepeatShare && std::abs(late) >= LateFramesHeard && lag.ShareAtZero > kShiftGain * lag.Share) {
            score.Off = true;
            score.LateFrames = late;
        }
    }
}

void TLoopJoin::FindShift(int64_t s, int64_t e, TScore& score) const
{
    const double toOut = static_cast<double>(OutputFormat::Rate) / rate_;
    const auto guard = static_cast<int64_t>(std::ceil(kSeekGuardSeconds * rate_));
    auto startsWell = [&](int64_t at) { return !Converted() || at <= 0 || at >= guard; };
    auto outFrames = [&](int64_t f) { return static_cast<int64_t>(std::lround(static_cast<double>(f) * toOut)); };
    const auto reach = static_cast<int64_t>(std::lround(ShiftSeconds * rate_));
    const int64_t span = std::min<int64_t>(static_cast<int64_t>(std::lround(kRepeatSeconds * rate_)), e - s);
    if (span < rate_ / 4 || e - reach < 0 || e + reach + span > total_ || !startsWell(s) || !startsWell(e - reach))
        return;
    // The music after the jump is the music from the start; where it plays after the end.
    const std::vector<int16_t> after = Render(nullptr, s, outFrames(span));
    const std::vector<int16_t> around = Render(nullptr, e - reach, outFrames(span + 2 * reach) + 4);
    const TJoinContinuity::TLag lag =
        TJoinContinuity::BestLag(after, 0, around, outFrames(reach), outFrames(span) - 1, outFrames(reach));
    const double late = -static_cast<double>(lag.Shift) / toOut;
    if (lag.Share < kRepeatShare && std::abs(late) >= LateFramesHeard && lag.ShareAtZero > kShiftGain * lag.Share) {
        score.Off = true;
        score.LateFrames = late;
        score.LateAtLeast = false;
    }
}
