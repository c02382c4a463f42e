#include "AtomicFile.h"

#include "EFileError.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace AtomicFile {

namespace {
struct Fd {
    int fd = -1;
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// The file a symbolic link finally names (the path itself when it is no link). Renaming over
// the link would put a plain file in its place; the user linked it to keep the file elsewhere.
std::string FollowLinks(const std::string& path)
{
    namespace fs = std::filesystem;
    fs::path p(path);
    std::error_code ec;
    // The kernel gives up after 40 links in a row; a loop of links stops here as well.
    for (int i = 0; i < 40 && fs::is_symlink(fs::symlink_status(p, ec)); ++i) {
        const fs::path target = fs::read_symlink(p, ec);
        if (ec)
            break;
        p = target.is_absolute() ? target : p.parent_path() / target;
    }
    return p.string();
}
}

bool TryWrite(const std::string& linkOrPath, const void* data, size_t size)
{
    const std::string path = FollowLinks(linkOrPath);
    std::string tmp = path + ".tmp" + std::to_string(::getpid());
    {
        Fd f;
        // A new file gets what the user's umask allows, as any program's new file does.
        f.fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (f.fd < 0)
            return false;
        // The file replaced keeps its permissions (a playlist shared with a group, a private
        // one), and its owner and group where we may set them: the new content is the same file
        // to the user.
        struct stat old {};
        if (::stat(path.c_str(), &old) == 0) {
            if (::fchown(f.fd, old.st_uid, old.st_gid) != 0) {
                // Only root may give a file away; the mode below still holds.
            }
            if (::fchmod(f.fd, old.st_mode & 07777) != 0) {
                ::unlink(tmp.c_str());
                return false;
            }
        }
        const char* p = static_cast<const char*>(data);
        size_t left = size;
        while (left > 0) {
            ssize_t n = ::write(f.fd, p, left);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                ::unlink(tmp.c_str());
                return false;
            }
            p += n;
            left -= static_cast<size_t>(n);
        }
        if (::fsync(f.fd) != 0) {
            ::unlink(tmp.c_str());
            return false;
        }
        int fd = f.fd;
        f.fd = -1;
        if (::close(fd) != 0) {
            ::unlink(tmp.c_str());
            return false;
        }
    }
    if (std::rename(tmp.c_str(), path.c_str()) != 0) {
        ::unlink(tmp.c_str());
        return false;
    }
    return true;
}

void Write(const std::string& path, const void* data, size_t size)
{
    if (!TryWrite(path, data, size))
        throw EFileError::CannotCreate(path);
}

}
