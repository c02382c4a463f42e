#pragma once
// What the program needs from the system before it starts its windows: file descriptors and
// address space. Qt and GLib do not survive running out of either (GLib ends the process by
// SIGTRAP at "Too many open files"; a Qt thread that cannot be created leaves the painting
// waiting for it for ever), so the start checks first and can still say why it cannot run.
// No Qt here: it runs before the application object exists.
#include <cstdint>
#include <string>

class TResourceCheck {
public:
    // File descriptors a start needs free: about 15 are open while playing (the display, the
    // bus, the sound server, event descriptors); the rest is room for playlists, dialogs and
    // the decoder library.
    static constexpr uint64_t NeededDescriptors = 64;
    // Address space a start needs beyond what is mapped when main begins (about 90 MB of
    // libraries). Playing through PulseAudio with the thread heaps shared maps about 600 MB more,
    // most of it the 64 MB memory pools of the sound server's client library, two for each of
    // SDL's connections; the rest is room for the piece and the playlist.
    static constexpr uint64_t NeededAddressBytes = 700ull << 20;

    // Raises the soft limits of descriptors and address space to their hard limits, and where
    // the address space is limited lets the threads share one heap (each thread's own reserves
    // 64 MB). Empty when the start can go on, otherwise the message that says why not.
    static std::string Run();
};
