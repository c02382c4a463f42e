#pragma once
// The rules of display text (Shift-JIS bytes, with an escape for any other character; see
// CodePage): the time text, the title caption's padding and scrolling, cutting to a width, and
// where a character begins. They count widths, which are the bytes for plain Shift-JIS. Display
// text becomes a QString only where a widget shows it (DisplayText).
#include <cstdint>
#include <string>

namespace CaptionText {

// A lead byte of a double-byte character in the Windows Japanese code page.
bool IsLeadByte(unsigned char b);
// The text without a lead byte left dangling at its end (after a cut by bytes).
std::string WholeCharacters(const std::string& sjis);
// The longest run of whole characters from the start whose widths add up to at most width.
std::string CutToWidth(const std::string& text, int width);

// Whole units of a time reading, truncated toward zero; NaN counts as 0 and the result is kept
// far inside what 64 bits hold.
int64_t Truncated(double value);
// "%d:%02d.%d": minutes, seconds and tenths, truncated; minutes do not roll over into hours.
std::string TimeText(float seconds);
std::string TimeText(int64_t seconds, int64_t tenths);

// The title caption made ready for scrolling: four spaces after a caption 21 wide or more, else
// spaces up to a width of 21.
std::string PadCaption(const std::string& sjis);
// The caption with its first whole character (one byte, two for a lead byte, or an escape with
// its character) moved to its end.
std::string ScrollCaption(const std::string& sjis);
// The whole characters of a caption: the steps a scroll takes to bring it back to its start.
int Characters(const std::string& sjis);

}
