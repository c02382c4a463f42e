#pragma once
// Every file the program and qvtool write is written through here. The bytes go to a temporary
// file beside the target, are flushed to disk, and the temporary file is renamed over the old one
// only once it is complete: a crash, a full disk or a failing disk during the write leaves the old
// file whole and no temporary file behind.
//
// A symbolic link is written through to a regular file it names, or to a name that does not
// exist yet; its target gets the new content and the link stays. The replaced file keeps its
// permissions (and its owner where we may set it). Anything else at the end of the link or in the
// file's place (a device, a FIFO, a socket, a directory) is never opened, truncated or renamed
// over: the write fails with EFileError naming the path, and that thing stays as it was.
#include <cstddef>
#include <cstdint>
#include <string>

// The streaming form, for output too large to hold in memory (a rendered WAV file): the temporary
// file is made by the constructor, takes chunks, and becomes the file on Commit(). Destroyed
// without Commit() (a failure, an exception on the way), it removes the temporary file.
class TAtomicFile {
public:
    enum TMode {
        Replace,    // an existing regular file is replaced
        NoReplace,  // the file must not exist: one that is there, or appears meanwhile, is kept
    };
    // Throws EFileError (with the system's reason) when the target cannot be written.
    explicit TAtomicFile(const std::string& path, TMode mode = Replace);
    ~TAtomicFile();
    TAtomicFile(const TAtomicFile&) = delete;
    TAtomicFile& operator=(const TAtomicFile&) = delete;

    // Appends bytes; throws EFileError (e.g. "No space left on device").
    void Put(const void* data, size_t size);
    // Writes bytes at an offset already written, such as a header completed at the end.
    void PutAt(uint64_t offset, const void* data, size_t size);
    // Flushes to disk, closes and renames the temporary file to the target. Throws EFileError;
    // the target is then untouched and the temporary file gone. A NoReplace target that exists
    // by now fails with EEXIST.
    void Commit();

    // The file that is finally written: the path, or what its symbolic links lead to.
    const std::string& Target() const { return target_; }

private:
    [[noreturn]] void Fail(int error);

    std::string path_;    // as given, for messages
    std::string target_;  // after following links
    std::string temp_;
    TMode mode_;
    int fd_ = -1;
    bool committed_ = false;
};

namespace AtomicFile {
// Writes the whole file. Throws EFileError when it cannot be written; the old file is then
// untouched.
void Write(const std::string& path, const void* data, size_t size, TAtomicFile::TMode mode = TAtomicFile::Replace);
// As Write, but reports failure by returning false.
bool TryWrite(const std::string& path, const void* data, size_t size);
}
