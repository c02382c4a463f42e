#pragma once
// A growable block of bytes with a read/write position, like the stream class the
// engine was designed around. Positions and sizes are 64-bit.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class TMemoryStream {
public:
    enum Origin { soBeginning = 0, soCurrent = 1, soEnd = 2 };

    TMemoryStream() = default;

    // Reads up to count bytes from the position; returns how many were read (0 past the end).
    size_t Read(void* dest, size_t count);
    // Writes count bytes at the position, growing the stream when needed.
    size_t Write(const void* src, size_t count);
    // Moves the position; returns the new position. A position before 0 becomes 0.
    int64_t Seek(int64_t offset, int origin);

    int64_t Position() const { return position_; }
    void SetPosition(int64_t pos) { Seek(pos, soBeginning); }
    int64_t Size() const { return static_cast<int64_t>(data_.size()); }
    // Resizes the stream; new bytes are zero. The position is kept within the new size.
    void SetSize(int64_t size);

    uint8_t* Memory() { return data_.data(); }
    const uint8_t* Memory() const { return data_.data(); }

    // Replaces the content with the whole file; the position becomes 0.
    // Throws EFileError when the file cannot be opened or read, or does not fit in memory.
    void LoadFromFile(const std::string& path);
    // The largest file LoadFromFile takes: half of the machine's physical memory, so that one
    // file can never crowd out the rest of the system, and never more than 2 GiB - 1 bytes, the
    // positions the decoder's callbacks can carry.
    static int64_t MaxLoadSize();
    // Writes the whole content to a file (created or replaced). Throws EFileError.
    void SaveToFile(const std::string& path) const;

private:
    std::vector<uint8_t> data_;
    int64_t position_ = 0;
};
