#pragma once
// What the desktop's media controls see of the player, and how names travel to a running player,
// worked out without Qt or a bus so that the rules can be tested on their own. The adaptors of
// TMprisPlayer and TSingleInstance only carry these values over the session bus.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace DesktopBusRules {

enum class TStatus { Playing, Paused, Stopped };

// The playback state as the main window keeps it.
struct TPlaybackFacts {
    bool nextPlayArmed = false;  // a piece has just ended and the next one follows in a second
    std::string currentExt;      // TPlaybackSequence::CurrentExt
    bool paused = false;         // the stream's pause time is set
    bool playing = false;        // the stream is heard
};
// Playing also covers the second between two pieces and a container's closing fade, so a
// desktop shows no flicker there; a stop by the user (no current extension) is Stopped even
// when the stream still keeps its pause time.
TStatus Status(const TPlaybackFacts& facts);
const char* StatusName(TStatus status);

// The volume window's bar (0 .. 10000) is in hundredths of a decibel below full volume. The bus
// speaks of a linear gain from 0 to 1: gain = 10^((level - 10000) / 2000), with level 0 exactly
// silent. A gain of 0.5 is thus about 6 dB down, level 9398.
double VolumeOfLevel(int level);
// The inverse, rounded to the nearest step and kept within the bar; 0 and below are silent.
int LevelOfVolume(double volume);

// "Track" when the piece heard repeats for ever: the loop count -1, with a looped piece whose own
// loop is endless (endlessLoop), or with any piece once the loop-count window switched repeating
// on. Else "Playlist": the list always starts again after its last entry.
const char* LoopStatus(int loopCount, bool loopSwitch, const std::string& currentExt, bool endlessLoop);
// The loop count a LoopStatus set from the bus asks for: "Track" repeats for ever (-1), "None"
// not at all (0), "Playlist" keeps the count as it is; another name changes nothing (nullopt).
std::optional<int> LoopCountOfStatus(const std::string& status, int loopCount);

// A "file://" URL for native bytes, every byte outside the unreserved set percent-encoded, so a
// name that is not valid UTF-8 still names its file exactly.
std::string FileUrl(const std::string& path);

// Seconds as the bus's microseconds.
int64_t Microseconds(double seconds);
// A relative move asked for from the bus, in seconds: a step back further than the start goes to
// the start instead of to the previous piece.
double SeekStep(double offsetSeconds, double positionSeconds);

// What the player shows on the bus at one moment; PropertiesChanged names what differs.
struct TSnapshot {
    TStatus status = TStatus::Stopped;
    uint64_t track = 0;  // counts the pieces started: another entry or another file
    std::string title;
    std::string url;
    int64_t length = 0;
    int volumeLevel = 0;
    std::string loopStatus;
    bool hasEntries = false;  // CanPlay, CanPause, CanGoNext, CanGoPrevious
    bool canSeek = false;
};
// The names of the player properties that differ between two snapshots, in a fixed order.
std::vector<std::string> ChangedProperties(const TSnapshot& before, const TSnapshot& after);

}
