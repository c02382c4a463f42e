#include "AtomicFile.h"

#include "EFileError.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string NotRegularReason(mode_t mode)
{
    const char* what = S_ISDIR(mode)                   ? "a directory"
                       : S_ISFIFO(mode)                ? "a named pipe"
                       : S_ISSOCK(mode)                ? "a socket"
                       : S_ISCHR(mode) || S_ISBLK(mode) ? "a device"
                                                        : "something else";
    return std::string("not a regular file (") + what + ")";
}

std::string Parent(const std::string& path)
{
    const std::string dir = std::filesystem::path(path).parent_path().string();
    return dir.empty() ? "." : dir;
}

// The file a symbolic link finally names (the path itself when it is no link), with what stands
// there. Renaming over the link would put a plain file in its place; the user linked it to keep
// the file elsewhere. Only a regular file or a name not yet taken may be written; a device node,
// a FIFO or a directory behind a link (a settings file linked to /dev/null, say) must survive.
struct TTarget {
    std::string path;
    bool exists = false;
    struct stat st {};
};

TTarget Resolve(const std::string& linkOrPath)
{
    TTarget t;
    t.path = linkOrPath;
    // The kernel gives up after 40 links in a row; a loop of links stops here as well.
    for (int links = 0;; ++links) {
        if (links > 40)
            throw EFileError::CannotWrite(linkOrPath, ELOOP);
        if (::lstat(t.path.c_str(), &t.st) != 0) {
            if (errno == ENOENT)
                return t;
            throw EFileError::CannotWrite(linkOrPath, errno);
        }
        if (S_ISREG(t.st.st_mode)) {
            t.exists = true;
            return t;
        }
        if (!S_ISLNK(t.st.st_mode))
            throw EFileError::CannotWrite(linkOrPath, NotRegularReason(t.st.st_mode));
        std::string target(static_cast<size_t>(t.st.st_size > 0 ? t.st.st_size : 255) + 1, '\0');
        const ssize_t n = ::readlink(t.path.c_str(), target.data(), target.size());
        if (n < 0)
            throw EFileError::CannotWrite(linkOrPath, errno);
        target.resize(static_cast<size_t>(n));
        t.path = target.front() == '/' ? target : Parent(t.path) + "/" + target;
    }
}

}

TAtomicFile::TAtomicFile(const std::string& path, TMode mode) : path_(path), mode_(mode)
{
    const TTarget target = Resolve(path);
    target_ = target.path;
    if (mode_ == NoReplace && target.exists)
        throw EFileError::CannotWrite(path_, EEXIST);
    // A name of its own beside the target, made only where nothing is (O_EXCL), so that nothing
    // of the user's is written over on the way. A new file gets what the user's umask allows, as
    // any program's new file does.
    // The name is cut so that the temporary name stays within the 255 bytes a name may have.
    const std::string stem = Parent(target_) + "/." + std::filesystem::path(target_).filename().string().substr(0, 200) +
                             ".tmp-" + std::to_string(::getpid()) + "-";
    for (int n = 0; fd_ < 0; ++n) {
        temp_ = stem + std::to_string(n);
        fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ < 0 && (errno != EEXIST || n >= 100)) {
            const int error = errno;
            temp_.clear();
            throw EFileError::CannotWrite(path_, error);
        }
    }
    if (target.exists) {
        // The file replaced keeps its permissions (a playlist shared with a group, a private
        // one), and its owner and group where we may set them: the new content is the same file
        // to the user.
        if (::fchown(fd_, target.st.st_uid, target.st.st_gid) != 0) {
            // Only root may give a file away; the mode below still holds.
        }
        if (::fchmod(fd_, target.st.st_mode & 07777) != 0)
            Fail(errno);
    }
}

TAtomicFile::~TAtomicFile()
{
    if (fd_ >= 0)
        ::close(fd_);
    if (!committed_ && !temp_.empty())
        ::unlink(temp_.c_str());
}

void TAtomicFile::Fail(int error)
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    if (!temp_.empty())
        ::unlink(temp_.c_str());
    temp_.clear();
    throw EFileError::CannotWrite(path_, error);
}

void TAtomicFile::Put(const void* data, size_t size)
{
    if (fd_ < 0)
        Fail(EBADF);
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd_, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            Fail(n < 0 ? errno : ENOSPC);
        p += n;
        size -= static_cast<size_t>(n);
    }
}

void TAtomicFile::PutAt(uint64_t offset, const void* data, size_t size)
{
    if (fd_ < 0)
        Fail(EBADF);
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::pwrite(fd_, p, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            Fail(n < 0 ? errno : ENOSPC);
        p += n;
        offset += static_cast<uint64_t>(n);
        size -= static_cast<size_t>(n);
    }
}

void TAtomicFile::Commit()
{
    if (fd_ < 0)
        Fail(EBADF);
    // Written-back errors (a full disk on a delayed allocation, a failing disk) show only here.
    if (::fsync(fd_) != 0)
        Fail(errno);
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0)
        Fail(errno);
    if (mode_ == Replace) {
        // Looked at again just before the rename: what took the name meanwhile may not be a
        // device or a directory either.
        struct stat st {};
        if (::lstat(target_.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) {
            ::unlink(temp_.c_str());
            temp_.clear();
            throw EFileError::CannotWrite(path_, NotRegularReason(st.st_mode));
        }
        if (std::rename(temp_.c_str(), target_.c_str()) != 0)
            Fail(errno);
    } else {
        // Made only where no file is, in one step: a file that appeared meanwhile is kept.
        if (::renameat2(AT_FDCWD, temp_.c_str(), AT_FDCWD, target_.c_str(), RENAME_NOREPLACE) != 0) {
            if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
                Fail(errno);
            // A file system without it: a hard link is as exclusive.
            if (::link(temp_.c_str(), target_.c_str()) != 0)
                Fail(errno);
            ::unlink(temp_.c_str());
        }
    }
    committed_ = true;
    // The rename itself reaches the disk with the directory.
    const int dir = ::open(Parent(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

namespace AtomicFile {

void Write(const std::string& path, const void* data, size_t size, TAtomicFile::TMode mode)
{
    TAtomicFile file(path, mode);
    file.Put(data, size);
    file.Commit();
}

bool TryWrite(const std::string& path, const void* data, size_t size)
{
    try {
        Write(path, data, size);
        return true;
    } catch (const EFileError&) {
        return false;
    }
}

}
