#pragma once
// A file opened for reading only when it is a regular file. Every read of a named file (the
// settings record, skin.ini, skin images, playlists, audio files, title lookups) opens through
// here, so that a FIFO, a device or a directory in a file's place gets a clear message instead of
// an open that waits for a writer for ever, or a read of something that never ends.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class TRegularFile {
public:
    // Opens the file by its bytes; throws EFileError when it cannot be opened or is not a
    // regular file. The open itself never blocks.
    explicit TRegularFile(const std::string& path);
    ~TRegularFile();
    TRegularFile(const TRegularFile&) = delete;
    TRegularFile& operator=(const TRegularFile&) = delete;

    // The open file as a stdio stream, positioned at its start; owned by this object.
    std::FILE* Stream() const { return file_; }
    // The file's size when it was opened.
    int64_t Size() const { return size_; }
    // The whole file from its start. Throws EFileError when it is larger than limit or a read
    // fails.
    std::vector<uint8_t> ReadAll(int64_t limit);

    // The whole file at path (see the constructor and ReadAll).
    static std::vector<uint8_t> Read(const std::string& path, int64_t limit);
    // The message an open of path would throw, or "" when path is a regular file that can be
    // opened for reading.
    static std::string Problem(const std::string& path);
    // True for a regular file (or a link to one), false when nothing is found under path; throws
    // EFileError naming what is there instead (a FIFO, a device, a folder).
    static bool Exists(const std::string& path);

private:
    std::string path_;
    std::FILE* file_ = nullptr;
    int64_t size_ = 0;
};
