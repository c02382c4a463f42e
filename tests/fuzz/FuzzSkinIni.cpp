// skin.ini reading and ParseSkinColor. The bytes are read as the skin file and every key is read
// the way the main window reads it; a bad value may only be refused with ERangeError. Every line's
// value also goes through ParseSkinColor, whose result is compared with strtok and atoi on a
// 256-byte buffer wherever those are defined (pieces short enough not to overflow atoi).
#include "ERangeError.h"
#include "FuzzSupport.h"
#include "SkinIni.h"
#include "TStringList.h"

#include <cstring>
#include <string>
#include <vector>

namespace {
const char* const kIntKeys[] = {
    "DISPLAY_X", "DISPLAY_Y",
    "PLAY_BUTTON_X", "PLAY_BUTTON_Y", "PLAY_BUTTON_TRANS",
    "STOP_BUTTON_X", "STOP_BUTTON_Y", "STOP_BUTTON_TRANS",
    "PAUSE_BUTTON_X", "PAUSE_BUTTON_Y", "PAUSE_BUTTON_TRANS",
    "BACK_BUTTON_X", "BACK_BUTTON_Y", "BACK_BUTTON_TRANS",
    "NEXT_BUTTON_X", "NEXT_BUTTON_Y", "NEXT_BUTTON_TRANS",
    "REWIND_BUTTON_X", "REWIND_BUTTON_Y", "REWIND_BUTTON_TRANS",
    "FAST_BUTTON_X", "FAST_BUTTON_Y", "FAST_BUTTON_TRANS"};
const char* const kColorKeys[] = {"TITLE_COLOR", "TIME_COLOR", "TOTALTIME_COLOR"};

// strtok and atoi as the colour rule describes them; false when atoi's result would not be defined
// or fewer than three pieces exist.
bool ReferenceColor(const std::string& value, uint32_t& result)
{
    char buffer[256] = {};
    std::memcpy(buffer, value.data(), value.size());
    std::vector<std::string> pieces;
    char* save = nullptr;
    for (char* t = strtok_r(buffer, ",", &save); t && pieces.size() < 3; t = strtok_r(nullptr, ",", &save))
        pieces.emplace_back(t);
    if (pieces.size() < 3)
        return false;
    uint32_t v[3];
    for (int i = 0; i < 3; ++i) {
        const std::string& p = pieces[static_cast<size_t>(i)];
        size_t digits = 0;
        for (size_t k = p.find_first_of("0123456789"); k != std::string::npos && k < p.size() &&
                                                         p[k] >= '0' && p[k] <= '9';
             ++k)
            ++digits;
        if (digits > 9)
            return false;
        v[i] = static_cast<uint32_t>(std::atoi(p.c_str()));
    }
    result = (v[0] << 16) | (v[1] << 8) | v[2];
    return true;
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    TStringList ini;
    ini.SetText(text);

    for (const char* key : kIntKeys) {
        try {
            (void)SkinIni::ReadInt(ini, key);
        } catch (const ERangeError&) {
        }
    }
    for (const char* key : kColorKeys) {
        try {
            (void)SkinIni::ReadColor(ini, key);
        } catch (const ERangeError&) {
        }
    }

    for (const std::string& line : ini.Lines()) {
        const size_t eq = line.find('=');
        const std::string value = eq == std::string::npos ? line : line.substr(eq + 1);
        uint32_t got = 0;
        bool parsed = false;
        try {
            got = SkinIni::ParseSkinColor(value);
            parsed = true;
        } catch (const ERangeError&) {
        }
        if (value.size() > 255) {
            FUZZ_CHECK(!parsed);
            continue;
        }
        uint32_t want = 0;
        if (ReferenceColor(value, want)) {
            FUZZ_CHECK(parsed);
            FUZZ_CHECK(got == want);
        }
    }
    return 0;
}
