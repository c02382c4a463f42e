#pragma once
// The one place where display text (Shift-JIS bytes: titles, playlist names, the title caption)
// becomes a QString for a widget. Everything else keeps the bytes; their rules are CaptionText's.
#include <QString>
#include <string>

class QLabel;

// CP932 bytes to QString. A byte sequence that is not Shift-JIS shows as U+FFFD for its first
// byte and the conversion goes on after it.
QString SjisToQString(const std::string& sjis);

namespace DisplayText {
// Sets a label's caption from Shift-JIS bytes, sizing the label to its text unless told not to.
void SetLabelCaption(QLabel* label, const std::string& sjis, bool sizeToText = true);
// The bytes a label shows: those it was given, or its own text when it was set directly.
std::string LabelCaption(const QLabel* label);
// The height a label had when it was last sized to its text (-1: never).
int FittedHeight(const QLabel* label);
void SetFittedHeight(const QLabel* label, int height);
}
