#include "TRegularFile.h"

#include "EFileError.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

EFileError NotRegular(const std::string& path, mode_t mode)
{
    const char* what = S_ISDIR(mode)    ? "フォルダー"
                       : S_ISFIFO(mode) ? "名前付きパイプ"
                       : S_ISSOCK(mode) ? "ソケット"
                       : S_ISCHR(mode) || S_ISBLK(mode) ? "デバイス"
                                                        : "通常のファイルでないもの";
    return EFileError("ファイル " + path + " は" + what + "なので読み込めません。");
}

}

TRegularFile::TRegularFile(const std::string& path) : path_(path)
{
    // O_NONBLOCK keeps the open of a FIFO from waiting for a writer; the type is then checked
    // on what was opened, so a name replaced between a check and the open cannot slip through.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        throw EFileError::CannotOpen(path);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        throw EFileError::CannotOpen(path);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        throw NotRegular(path, st.st_mode);
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    file_ = ::fdopen(fd, "rb");
    if (file_ == nullptr) {
        ::close(fd);
        throw EFileError::CannotOpen(path);
    }
    size_ = static_cast<int64_t>(st.st_size);
}

TRegularFile::~TRegularFile()
{
    if (file_ != nullptr)
        std::fclose(file_);
}

std::vector<uint8_t> TRegularFile::ReadAll(int64_t limit)
{
    if (size_ > limit)
        throw EFileError("ファイル " + path_ + " はメモリーに読み込めない大きさです。");
    std::vector<uint8_t> bytes;
    try {
        bytes.resize(static_cast<size_t>(size_));
    } catch (const std::bad_alloc&) {
        throw EFileError("ファイル " + path_ + " はメモリーに読み込めない大きさです。");
    } catch (const std::length_error&) {
        throw EFileError("ファイル " + path_ + " はメモリーに読み込めない大きさです。");
    }
    if (std::fseek(file_, 0, SEEK_SET) != 0 ||
        (!bytes.empty() && std::fread(bytes.data(), 1, bytes.size(), file_) != bytes.size()))
        throw EFileError("ファイル " + path_ + " を読み込めません。");
    return bytes;
}

std::vector<uint8_t> TRegularFile::Read(const std::string& path, int64_t limit)
{
    TRegularFile file(path);
    return file.ReadAll(limit);
}

std::string TRegularFile::Problem(const std::string& path)
{
    try {
        TRegularFile file(path);
    } catch (const EFileError& e) {
        return e.Message();
    }
    return std::string();
}

bool TRegularFile::Exists(const std::string& path)
{
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0)
        return false;
    if (!S_ISREG(st.st_mode))
        throw NotRegular(path, st.st_mode);
    return true;
}
