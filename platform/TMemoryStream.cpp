#include "TMemoryStream.h"

#include "AtomicFile.h"
#include "EFileError.h"
#include "TRegularFile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <unistd.h>

size_t TMemoryStream::Read(void* dest, size_t count)
{
    if (position_ >= Size() || count == 0)
        return 0;
    size_t avail = static_cast<size_t>(Size() - position_);
    size_t n = std::min(avail, count);
    std::memcpy(dest, data_.data() + position_, n);
    position_ += static_cast<int64_t>(n);
    return n;
}

size_t TMemoryStream::Write(const void* src, size_t count)
{
    if (count == 0)
        return 0;
    size_t end = static_cast<size_t>(position_) + count;
    if (end > data_.size())
        data_.resize(end);
    std::memcpy(data_.data() + position_, src, count);
    position_ = static_cast<int64_t>(end);
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, int origin)
{
    int64_t base = 0;
    if (origin == soCurrent)
        base = position_;
    else if (origin == soEnd)
        base = Size();
    int64_t pos = base + offset;
    position_ = pos < 0 ? 0 : pos;
    return position_;
}

void TMemoryStream::SetSize(int64_t size)
{
    data_.resize(static_cast<size_t>(std::max<int64_t>(size, 0)));
    if (position_ > Size())
        position_ = Size();
}

void TMemoryStream::LoadFromFile(const std::string& path)
{
    // Refused before anything is allocated when too large: with memory overcommitted the
    // allocation itself may succeed and the process be killed while the file is read in.
    data_ = TRegularFile::Read(path, MaxLoadSize());
    position_ = 0;
}

int64_t TMemoryStream::MaxLoadSize()
{
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    // The decoder's callbacks carry stream positions as 32-bit values, so a larger file could be
    // read but not sought in.
    constexpr int64_t kPositionLimit = INT32_MAX;
    if (pages <= 0 || pageSize <= 0)
        return kPositionLimit;
    return std::min(kPositionLimit, static_cast<int64_t>(pages) * pageSize / 2);
}

void TMemoryStream::SaveToFile(const std::string& path) const
{
    // Through the one writer of files: whole or not at all, never over a device or a FIFO.
    AtomicFile::Write(path, data_.data(), data_.size());
}
