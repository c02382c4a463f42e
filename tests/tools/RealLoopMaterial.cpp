// Material for measuring find-loop and check on real music, for find-loop-real.sh:
//
//   RealLoopMaterial piece SRC.ogg OUT.ogg FROM PERIOD INTRO PASSES RATE CHANNELS QUALITY [MIX.ogg MIXFROM]
//     A piece whose loop is known to the frame: INTRO seconds of SRC's music before FROM, then
//     the PERIOD seconds from FROM played PASSES times, then the two seconds that follow them in
//     SRC. The samples are taken as they are and played at RATE (the music faster or slower
//     than the original), with CHANNELS 1 or 2, and encoded at QUALITY (0 .. 1). With MIX, the
//     music of MIX.ogg from MIXFROM seconds on plays under the whole piece unrepeated, so that
//     nothing of it repeats. Prints "START PERIOD TOTAL" in frames of the piece.
//   RealLoopMaterial pauses SRC.ogg OUT.ogg RATE CHANNELS QUALITY FROM...
//     Music that never repeats but pauses: for each FROM, three seconds of SRC's music from there,
//     then a pause of 2.5 s: the music that follows there, 60 dB down (some -80 dB of full
//     scale). A join placed in one pause from another is click-free, and different music follows.
//   RealLoopMaterial container IN.ogg RATE OUT.qv START END
//     IN's stream behind a container whose entry 0 loops frames START .. END for ever.
//   RealLoopMaterial verify IN.ogg START END
//     Whether the music after END is the music after START, measured apart from qvtool: decoded
//     by libvorbisfile, smoothed over five samples, compared over a second of sound after the
//     two places (over silence until there is such a second; before them where the piece ends
//     too soon). Prints the difference relative to the sound in dB and the seconds compared.
#include "LoopFit.h"
#include "OggFixture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

bool Save(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(f);
}

// The decoded music as interleaved stereo floats (a mono stream on both sides).
std::vector<float> Stereo(const fixture::Decoded& d)
{
    std::vector<float> out(static_cast<size_t>(d.Frames()) * 2);
    for (int64_t f = 0; f < d.Frames(); ++f)
        for (int ch = 0; ch < 2; ++ch)
            out[static_cast<size_t>(f * 2 + ch)] =
                d.samples[static_cast<size_t>(f * d.channels + std::min(ch, d.channels - 1))] / 32768.0f;
    return out;
}

fixture::Decoded Decode(const std::string& path)
{
    fixture::Decoded d = fixture::ReferenceDecode(path);
    if (d.channels <= 0 || d.Frames() == 0) {
        std::fprintf(stderr, "%s: cannot be decoded\n", path.c_str());
        std::exit(1);
    }
    return d;
}

int Piece(int argc, char** argv)
{
    if (argc != 11 && argc != 13)
        return 2;
    const fixture::Decoded src = Decode(argv[2]);
    const std::vector<float> music = Stereo(src);
    const int passes = std::atoi(argv[7]);
    const int rate = std::atoi(argv[8]);
    const int channels = std::atoi(argv[9]);
    const float quality = static_cast<float>(std::atof(argv[10]));
    // Seconds of the source, counted at the source's rate.
    auto frames = [&](const char* seconds) {
        return static_cast<int64_t>(std::llround(std::atof(seconds) * src.rate));
    };
    const int64_t from = frames(argv[4]), period = frames(argv[5]), intro = frames(argv[6]);
    const int64_t outro = 2 * src.rate;
    if (rate < 8000 || (channels != 1 && channels != 2) || passes < 1 || period <= 0 || intro < 0 || from < intro ||
        from + period + outro > src.Frames()) {
        std::fprintf(stderr, "piece: the stretch asked for is not within %s\n", argv[2]);
        return 1;
    }
    std::vector<float> piece;
    auto add = [&](int64_t at, int64_t n) {
        piece.insert(piece.end(), music.begin() + at * 2, music.begin() + (at + n) * 2);
    };
    add(from - intro, intro);
    for (int p = 0; p < passes; ++p)
        add(from, period);
    add(from + period, outro);
    if (argc == 13) {
        const std::vector<float> under = Stereo(Decode(argv[11]));
        const auto at = static_cast<size_t>(std::llround(std::atof(argv[12]) * src.rate)) * 2;
        if (at + piece.size() > under.size()) {
            std::fprintf(stderr, "piece: %s is too short to play under the piece\n", argv[11]);
            return 1;
        }
        for (size_t i = 0; i < piece.size(); ++i)
            piece[i] = 0.5f * (piece[i] + under[at + i]);
    }
    fixture::Pcm pcm;
    pcm.rate = rate;
    pcm.channels = channels;
    if (channels == 2) {
        pcm.samples = std::move(piece);
    } else {
        for (size_t i = 0; i + 1 < piece.size(); i += 2)
            pcm.samples.push_back(0.5f * (piece[i] + piece[i + 1]));
    }
    if (!Save(argv[3], fixture::Encode(pcm, {}, quality))) {
        std::fprintf(stderr, "cannot write %s\n", argv[3]);
        return 1;
    }
    std::printf("%lld %lld %lld\n", static_cast<long long>(intro), static_cast<long long>(period),
                static_cast<long long>(pcm.Frames()));
    return 0;
}

int Pauses(int argc, char** argv)
{
    if (argc < 8)
        return 2;
    const fixture::Decoded src = Decode(argv[2]);
    const std::vector<float> music = Stereo(src);
    fixture::Pcm pcm;
    pcm.rate = std::atoi(argv[4]);
    pcm.channels = std::atoi(argv[5]);
    const float quality = static_cast<float>(std::atof(argv[6]));
    if (pcm.rate < 8000 || (pcm.channels != 1 && pcm.channels != 2))
        return 2;
    std::vector<float> piece;
    for (int i = 7; i < argc; ++i) {
        const auto at = static_cast<int64_t>(std::llround(std::atof(argv[i]) * src.rate));
        const int64_t n = 3 * src.rate;
        if (at < 0 || at + n > src.Frames()) {
            std::fprintf(stderr, "pauses: %s s is not within %s\n", argv[i], argv[2]);
            return 1;
        }
        piece.insert(piece.end(), music.begin() + at * 2, music.begin() + (at + n) * 2);
        // The pause: the music that follows, 60 dB down, as a room's tail or a quiet pad would be.
        const int64_t pause = std::min<int64_t>(src.rate * 5 / 2, src.Frames() - at - n);
        for (int64_t f = 0; f < pause * 2; ++f)
            piece.push_back(1e-3f * music[static_cast<size_t>((at + n) * 2 + f)]);
    }
    for (size_t i = 0; i + 1 < piece.size(); i += 2)
        if (pcm.channels == 2) {
            pcm.samples.push_back(piece[i]);
            pcm.samples.push_back(piece[i + 1]);
        } else {
            pcm.samples.push_back(0.5f * (piece[i] + piece[i + 1]));
        }
    if (!Save(argv[3], fixture::Encode(pcm, {}, quality))) {
        std::fprintf(stderr, "cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}

int Container(int argc, char** argv)
{
    if (argc != 7)
        return 2;
    const int rate = std::atoi(argv[3]);
    const long long start = std::atoll(argv[5]), end = std::atoll(argv[6]);
    std::ifstream in(argv[2], std::ios::binary);
    const std::vector<uint8_t> ogg((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (ogg.empty() || rate <= 0) {
        std::fprintf(stderr, "%s: cannot be read\n", argv[2]);
        return 1;
    }
    const TLoopFit fit(rate, 0);
    std::vector<uint8_t> bytes = fixture::ContainerHeader({{fit.Start(start).Time, fit.End(end).Time, -1}});
    bytes.insert(bytes.end(), ogg.begin(), ogg.end());
    if (!Save(argv[4], bytes)) {
        std::fprintf(stderr, "cannot write %s\n", argv[4]);
        return 1;
    }
    return 0;
}

int Verify(int argc, char** argv)
{
    if (argc != 5)
        return 2;
    const fixture::Decoded d = Decode(argv[2]);
    const std::vector<float> x = Stereo(d);
    const int64_t total = d.Frames();
    const int64_t s = std::atoll(argv[3]), e = std::atoll(argv[4]);
    if (s < 0 || e <= s || e > total) {
        std::fprintf(stderr, "verify: %lld .. %lld is no loop within the piece\n", static_cast<long long>(s),
                     static_cast<long long>(e));
        return 1;
    }
    // A crude low-pass of its own (the mean of five samples): above some 8 kHz the encoder keeps
    // the spectrum, not the waveform.
    auto at = [&](int64_t f, int ch) {
        float sum = 0.0f;
        for (int64_t k = -2; k <= 2; ++k)
            sum += x[static_cast<size_t>(std::clamp<int64_t>(f + k, 0, total - 1) * 2 + ch)];
        return sum / 5.0f;
    };
    const int64_t block = d.rate / 50;
    const double quiet = 2.0 * static_cast<double>(block) * 1e-6;  // -60 dB of full scale
    double diff = 0.0, level = 0.0, sound = 0.0;
    // After the two places, then before them; block by block until a second of sound is compared.
    for (const int dir : {1, -1}) {
        for (int64_t b = 0; sound < static_cast<double>(d.rate); ++b) {
            const int64_t a0 = dir > 0 ? s + b * block : s - (b + 1) * block;
            const int64_t e0 = dir > 0 ? e + b * block : e - (b + 1) * block;
            if (a0 < 0 || e0 + block > total || (dir > 0 && a0 + block > e))
                break;
            double dd = 0.0, ll = 0.0;
            for (int64_t i = 0; i < block; ++i)
                for (int ch = 0; ch < 2; ++ch) {
                    const double u = at(a0 + i, ch), v = at(e0 + i, ch);
                    dd += (u - v) * (u - v);
                    ll += v * v;
                }
            diff += dd;
            if (ll >= quiet) {
                level += ll;
                sound += static_cast<double>(block);
            }
        }
    }
    if (sound <= 0.0) {
        std::printf("silent 0\n");
        return 0;
    }
    std::printf("%.1f %.2f\n", 10.0 * std::log10(std::max(diff, 1e-20) / level), sound / d.rate);
    return 0;
}

}

int main(int argc, char** argv)
{
    const std::string what = argc > 1 ? argv[1] : "";
    int code = 2;
    if (what == "piece")
        code = Piece(argc, argv);
    else if (what == "pauses")
        code = Pauses(argc, argv);
    else if (what == "container")
        code = Container(argc, argv);
    else if (what == "verify")
        code = Verify(argc, argv);
    if (code == 2)
        std::fprintf(stderr, "usage: RealLoopMaterial piece|pauses|container|verify ... (see the source's head)\n");
    return code;
}
