#include "Paths.h"

#include <filesystem>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace Paths {

namespace {
bool IsSeparator(char c) { return c == '/'; }

size_t LastSeparator(const std::string& path)
{
    for (size_t i = path.size(); i > 0; --i)
        if (IsSeparator(path[i - 1]))
            return i - 1;
    return std::string::npos;
}
}

std::string ExpandFileName(const std::string& path)
{
    if (path.empty())
        return GetCurrentDir() + "/";
    std::error_code ec;
    fs::path p = fs::absolute(fs::path(path), ec);
    if (ec)
        return path;
    std::string out = p.lexically_normal().string();
    return out;
}

std::string GetCurrentDir()
{
    std::error_code ec;
    fs::path p = fs::current_path(ec);
    return ec ? std::string() : p.string();
}

bool SetCurrentDir(const std::string& dir)
{
    return !dir.empty() && ::chdir(dir.c_str()) == 0;
}

std::string ExtractFilePath(const std::string& path)
{
    size_t i = LastSeparator(path);
    return i == std::string::npos ? std::string() : path.substr(0, i + 1);
}

std::string ExtractFileName(const std::string& path)
{
    size_t i = LastSeparator(path);
    return i == std::string::npos ? path : path.substr(i + 1);
}

std::string ExtractFileExt(const std::string& path)
{
    size_t dot = path.rfind('.');
    if (dot == std::string::npos)
        return std::string();
    size_t sep = LastSeparator(path);
    if (sep != std::string::npos && sep > dot)
        return std::string();
    return path.substr(dot);
}

bool FileExists(const std::string& path)
{
    if (path.empty())
        return false;
    std::error_code ec;
    return fs::is_regular_file(fs::path(path), ec);
}

std::string ProgramDir()
{
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec)
        return GetCurrentDir() + "/";
    return ExtractFilePath(exe.string());
}

}
