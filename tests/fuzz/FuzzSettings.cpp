// The 288-byte settings record from a file of any length: the record takes the bytes as far as
// they go and is zero beyond them, writes back exactly those bytes, and reads the same from a file
// as from memory. The skin path text never runs past its 260-byte field. The windows' places in
// it are placed on a desktop without fault.
#include "FuzzSupport.h"
#include "PlayerSettings.h"
#include "TWindowPlacer.h"

#include <algorithm>
#include <cstring>
#include <fstream>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TPlayerSettings settings;
    settings.Parse(data, size);

    uint8_t expected[TPlayerSettings::Size] = {};
    std::memcpy(expected, data, std::min(size, TPlayerSettings::Size));
    const auto raw = settings.Serialize();
    FUZZ_CHECK(std::memcmp(raw.data(), expected, TPlayerSettings::Size) == 0);

    const std::string skin = settings.SkinPathText();
    FUZZ_CHECK(skin.size() <= TPlayerSettings::SkinPathSize);
    FUZZ_CHECK(skin.find('\0') == std::string::npos);
    TPlayerSettings copy = settings;
    FUZZ_CHECK(copy.SetSkinPath(skin) == (skin.size() < TPlayerSettings::SkinPathSize));
    FUZZ_CHECK(copy.SkinPathText() == skin);
    // The windows' places, whatever the record holds, come wholly onto a screen and off the main
    // window where there is room.
    const std::vector<TBox> screens{{0, 0, 1920, 1080}, {1920, -200, 1280, 1024}};
    const TWindowPlacer placer(screens);
    const TBox main = placer.OnScreen({settings.MainLeft, settings.MainTop, 520, 220});
    const TBox list = placer.Free({settings.PlaylistLeft, settings.PlaylistTop, 580, 440}, {main});
    for (const TBox& box : {main, list})
        FUZZ_CHECK(box.Inside(screens[0]) || box.Inside(screens[1]));
    FUZZ_CHECK(!list.Overlaps(main));
    const int16_t loops = settings.LoopTimes16();
    FUZZ_CHECK(loops == static_cast<int16_t>(expected[16] | expected[17] << 8));

    const std::string path = fuzz::ScratchDir() + "/zkv108.info";
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    TPlayerSettings fromFile;
    FUZZ_CHECK(fromFile.LoadFromFile(path));
    FUZZ_CHECK(fromFile.Serialize() == raw);

    FUZZ_CHECK(settings.SaveToFile(path));
    const std::string written = fuzz::ReadWholeFile(path);
    FUZZ_CHECK(written.size() == TPlayerSettings::Size);
    FUZZ_CHECK(std::memcmp(written.data(), raw.data(), TPlayerSettings::Size) == 0);
    return 0;
}
