#pragma once
// The value rules of skin.ini, free of Qt so they can be exercised on their own.
#include <cstdint>
#include <string>

class TStringList;

namespace SkinIni {

// A colour value "a,b,c" as a 32-bit colour whose lowest byte is red: (a << 16) | (b << 8) | c,
// so a sets blue and c red. The value is split at commas as strtok does (a run of commas is one
// separator, leading commas are skipped, pieces after the third are ignored) and each piece is
// read like atoi. There is no range check: a piece above 255 spills into the next byte.
// Throws ERangeError for fewer than three pieces or a value of 256 bytes or more.
uint32_t ParseSkinColor(const std::string& value);

// A decimal integer (leading blanks and a sign allowed, nothing after the digits, within 32 bits).
// Throws ERangeError naming the key otherwise, also for empty text (a missing key).
int32_t ReadInt(const TStringList& ini, const std::string& key);
// The key's value through ParseSkinColor; errors name the key.
uint32_t ReadColor(const TStringList& ini, const std::string& key);

}
