#include "ImageFile.h"

#include "EFileError.h"
#include "TRegularFile.h"

namespace ImageFile {

QImage Read(const std::string& path)
{
    // Far above any skin's bitmaps; a larger file is refused before it is read.
    constexpr int64_t Limit = 256 * 1024 * 1024;
    const std::vector<uint8_t> bytes = TRegularFile::Read(path, Limit);
    QImage image;
    if (!image.loadFromData(bytes.data(), static_cast<int>(bytes.size())) || image.isNull())
        throw EFileError::CannotOpen(path);
    return image;
}

}
