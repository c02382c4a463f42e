#pragma once
// Replaces a file only once its new content is complete: the bytes go to a temporary file
// beside it, are flushed to disk, and the temporary file is renamed over the old one.
// A crash or a full disk during the write leaves the old file whole. A symbolic link is written
// through: its target gets the new content and the link stays. The file keeps its permissions.
#include <cstddef>
#include <string>

namespace AtomicFile {
// Throws EFileError when the file cannot be written; the old file is then untouched.
void Write(const std::string& path, const void* data, size_t size);
// As Write, but reports failure by returning false.
bool TryWrite(const std::string& path, const void* data, size_t size);
}
