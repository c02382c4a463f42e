#pragma once
// The one place where display text (Shift-JIS bytes: titles, playlist names, the title caption)
// becomes a QString for a widget. Everything else keeps the bytes.
#include <QString>
#include <string>

// CP932 bytes to QString. A byte sequence that is not Shift-JIS shows as U+FFFD for its first
// byte and the conversion goes on after it.
QString SjisToQString(const std::string& sjis);
