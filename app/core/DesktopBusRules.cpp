#include "DesktopBusRules.h"

#include <algorithm>
#include <cmath>

namespace DesktopBusRules {

namespace {
constexpr int FullLevel = 10000;
// Hundredths of a decibel per decade of gain: 20 dB, 100 steps each.
constexpr double LevelsPerDecade = 2000.0;
constexpr int Endless = -1;

bool Unreserved(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~' || c == '/';
}
}

TStatus Status(const TPlaybackFacts& facts)
{
    if (facts.nextPlayArmed)
        return TStatus::Playing;
    if (facts.currentExt.empty())
        return TStatus::Stopped;
    if (facts.paused)
        return TStatus::Paused;
    return facts.playing ? TStatus::Playing : TStatus::Stopped;
}

std::optional<int> LoopCountOfStatus(const std::string& status, int loopCount)
{
    if (status == "Track")
        return -1;
    if (status == "None")
        return 0;
    if (status == "Playlist")
        return loopCount;
    return std::nullopt;
}

const char* StatusName(TStatus status)
{
    switch (status) {
    case TStatus::Playing:
        return "Playing";
    case TStatus::Paused:
        return "Paused";
    case TStatus::Stopped:
        break;
    }
    return "Stopped";
}

double VolumeOfLevel(int level)
{
    if (level <= 0)
        return 0.0;
    return std::pow(10.0, (std::min(level, FullLevel) - FullLevel) / LevelsPerDecade);
}

int LevelOfVolume(double volume)
{
    // NaN and anything at or below nothing are silence.
    if (!(volume > 0.0))
        return 0;
    const double level = FullLevel + LevelsPerDecade * std::log10(volume);
    return static_cast<int>(std::lround(std::clamp(level, 0.0, static_cast<double>(FullLevel))));
}

const char* LoopStatus(int loopCount, bool loopSwitch, const std::string& currentExt, bool endlessLoop)
{
    // A looped piece repeats by its own loop whenever the count is endless and its loop is (a
    // piece of finite repeats only ends, and the list goes on); any piece repeats when
    // repeating is switched on.
    const bool container = currentExt == ".qv" || currentExt == "qv";
    if (loopCount == Endless && ((container && endlessLoop) || loopSwitch))
        return "Track";
    return "Playlist";
}

std::string FileUrl(const std::string& path)
{
    static const char Hex[] = "0123456789ABCDEF";
    std::string url = "file://";
    for (const char ch : path) {
        const auto c = static_cast<unsigned char>(ch);
        if (Unreserved(c)) {
            url += ch;
        } else {
            url += '%';
            url += Hex[c >> 4];
            url += Hex[c & 15];
        }
    }
    return url;
}

int64_t Microseconds(double seconds)
{
    return std::llround(seconds * 1e6);
}

double SeekStep(double offsetSeconds, double positionSeconds)
{
    return std::max(offsetSeconds, -std::max(positionSeconds, 0.0));
}

std::vector<std::string> ChangedProperties(const TSnapshot& before, const TSnapshot& after)
{
    std::vector<std::string> names;
    if (before.status != after.status)
        names.emplace_back("PlaybackStatus");
    if (before.track != after.track || before.title != after.title || before.url != after.url ||
        before.length != after.length)
        names.emplace_back("Metadata");
    if (before.volumeLevel != after.volumeLevel)
        names.emplace_back("Volume");
    if (before.loopStatus != after.loopStatus)
        names.emplace_back("LoopStatus");
    if (before.hasEntries != after.hasEntries) {
        for (const char* name : {"CanPlay", "CanPause", "CanGoNext", "CanGoPrevious"})
            names.emplace_back(name);
    }
    if (before.canSeek != after.canSeek)
        names.emplace_back("CanSeek");
    return names;
}

}
