#pragma once
// Skin images read by the bytes of their names, so that a skin in a folder whose name is not
// valid UTF-8 loads, and only from regular files (see TRegularFile).
#include <QImage>
#include <string>

namespace ImageFile {
// The image in the file. Throws EFileError when the file cannot be read, is no regular file, or
// holds no image Qt can decode.
QImage Read(const std::string& path);
}
