#pragma once
// The byte rules of display text (Shift-JIS): the time text, the title caption's padding and
// scrolling, and where a double-byte character begins. Display text is handled as bytes because
// these rules count bytes; it becomes a QString only where a widget shows it (DisplayText).
#include <cstdint>
#include <string>

namespace CaptionText {

// A lead byte of a double-byte character in the Windows Japanese code page.
bool IsLeadByte(unsigned char b);
// The text without a lead byte left dangling at its end (after a cut by bytes).
std::string WholeCharacters(const std::string& sjis);

// Whole units of a time reading, truncated toward zero; NaN counts as 0 and the result is kept
// far inside what 64 bits hold.
int64_t Truncated(double value);
// "%d:%02d.%d": minutes, seconds and tenths, truncated; minutes do not roll over into hours.
std::string TimeText(float seconds);
std::string TimeText(int64_t seconds, int64_t tenths);

// The title caption made ready for scrolling: four spaces after a caption of 21 bytes or more,
// else spaces up to 21 bytes.
std::string PadCaption(const std::string& sjis);
// The caption with its first character (one byte, or two for a lead byte) moved to its end.
std::string ScrollCaption(const std::string& sjis);

}
