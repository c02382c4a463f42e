#include "PlayerSettings.h"

#include "AtomicFile.h"
#include "EFileError.h"
#include "TRegularFile.h"

#include <algorithm>
#include <cstring>
#include <cstdio>
#include <iterator>
#include <sys/stat.h>
#include <vector>

namespace {
int32_t GetLE32(const uint8_t* p)
{
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                                static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24);
}

void PutLE32(uint8_t* p, int32_t v)
{
    const auto u = static_cast<uint32_t>(v);
    p[0] = static_cast<uint8_t>(u);
    p[1] = static_cast<uint8_t>(u >> 8);
    p[2] = static_cast<uint8_t>(u >> 16);
    p[3] = static_cast<uint8_t>(u >> 24);
}
}

TPlayerSettings TPlayerSettings::FirstRun(int32_t x, int32_t y)
{
    TPlayerSettings s;
    s.MainLeft = s.PlaylistLeft = x;
    s.MainTop = s.PlaylistTop = y;
    s.VolumeLevel = 10000;
    return s;
}

void TPlayerSettings::Parse(const uint8_t* data, size_t size)
{
    std::array<uint8_t, Size> raw{};
    if (data != nullptr)
        std::memcpy(raw.data(), data, std::min(size, Size));
    MainLeft = GetLE32(&raw[0]);
    MainTop = GetLE32(&raw[4]);
    PlaylistLeft = GetLE32(&raw[8]);
    PlaylistTop = GetLE32(&raw[12]);
    LoopTimes = GetLE32(&raw[16]);
    VolumeLevel = GetLE32(&raw[20]);
    std::memcpy(SkinPath, &raw[24], SkinPathSize);
    PlaylistShown = raw[284];
    LoopWindowShown = raw[285];
    VolumeWindowShown = raw[286];
    FastLoad = raw[287];
}

std::array<uint8_t, TPlayerSettings::Size> TPlayerSettings::Serialize() const
{
    std::array<uint8_t, Size> raw{};
    PutLE32(&raw[0], MainLeft);
    PutLE32(&raw[4], MainTop);
    PutLE32(&raw[8], PlaylistLeft);
    PutLE32(&raw[12], PlaylistTop);
    PutLE32(&raw[16], LoopTimes);
    PutLE32(&raw[20], VolumeLevel);
    std::memcpy(&raw[24], SkinPath, SkinPathSize);
    raw[284] = PlaylistShown;
    raw[285] = LoopWindowShown;
    raw[286] = VolumeWindowShown;
    raw[287] = FastLoad;
    return raw;
}

bool TPlayerSettings::LoadFromFile(const std::string& path, const std::function<void(const std::string&)>& report)
{
    std::vector<uint8_t> bytes(Size);
    size_t got = 0;
    try {
        TRegularFile file(path);
        got = std::fread(bytes.data(), 1, bytes.size(), file.Stream());
    } catch (const EFileError& e) {
        // No file is the first run; anything else in its place is worth a word.
        struct stat st {};
        if (report && ::lstat(path.c_str(), &st) == 0)
            report(e.Message());
        return false;
    }
    Parse(bytes.data(), got);
    return true;
}

bool TPlayerSettings::SaveToFile(const std::string& path) const
{
    const auto raw = Serialize();
    return AtomicFile::TryWrite(path, raw.data(), raw.size());
}

std::string TPlayerSettings::SkinPathText() const
{
    const char* end = std::find(std::begin(SkinPath), std::end(SkinPath), '\0');
    return std::string(SkinPath, end);
}

bool TPlayerSettings::SetSkinPath(const std::string& text)
{
    if (text.size() >= SkinPathSize || text.find('\0') != std::string::npos)
        return false;
    std::memset(SkinPath, 0, SkinPathSize);
    std::memcpy(SkinPath, text.data(), text.size());
    return true;
}
