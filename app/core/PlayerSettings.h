#pragma once
// TPlayerSettings: the record the player keeps between runs in "zkv108.info" beside the program.
// The file is exactly these 288 bytes, integers little-endian, no header. Reading and writing are
// free of Qt so that the record can be exercised on its own.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

struct TPlayerSettings {
    static constexpr size_t Size = 288;
    static constexpr size_t SkinPathSize = 260;  // 259 bytes of text and the terminator

    int32_t MainLeft = 0;      // offset 0
    int32_t MainTop = 0;       // 4
    int32_t PlaylistLeft = 0;  // 8
    int32_t PlaylistTop = 0;   // 12
    int32_t LoopTimes = 0;     // 16: -1 endless, 0..99; the loop window reads its low 16 bits as signed
    int32_t VolumeLevel = 0;   // 20: 0..10000
    char SkinPath[SkinPathSize] = {};  // 24: skin directory ending in "/", zero-terminated
    uint8_t PlaylistShown = 0;      // 284
    uint8_t LoopWindowShown = 0;    // 285
    uint8_t VolumeWindowShown = 0;  // 286
    uint8_t FastLoad = 0;           // 287

    // The record of a first run: both windows at (x, y), loop count 0, full volume, no side
    // window open, normal loading, no skin named.
    static TPlayerSettings FirstRun(int32_t x, int32_t y);

    // Fills the record from the bytes of a settings file: zero first, then as far as the bytes go.
    void Parse(const uint8_t* data, size_t size);
    std::array<uint8_t, Size> Serialize() const;

    // Reads the file; false (record untouched) when it cannot be opened. A short file fills what it
    // covers and leaves the rest zero. A name that is there but is no readable regular file (a
    // FIFO, a device, a folder) is never waited on: its message goes to report.
    bool LoadFromFile(const std::string& path, const std::function<void(const std::string&)>& report = {});
    // Writes the 288 bytes beside the file and renames them over it, so a failed write leaves the
    // old file whole (a symbolic link is written through). False when nothing could be written.
    bool SaveToFile(const std::string& path) const;

    // The skin directory text up to its terminator (all 260 bytes when there is none).
    std::string SkinPathText() const;
    // Stores text zero-terminated; false (field unchanged) when it does not fit in 259 bytes.
    bool SetSkinPath(const std::string& text);
    // The loop count as the loop-count window takes it: the low 16 bits as a signed number.
    int16_t LoopTimes16() const { return static_cast<int16_t>(static_cast<uint32_t>(LoopTimes) & 0xFFFFu); }
};
