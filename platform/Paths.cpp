#include "Paths.h"

#include <cstdlib>
#include <filesystem>
#include <pwd.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace Paths {

namespace {
bool IsSeparator(char c) { return c == '/'; }

std::string WithSeparator(std::string dir)
{
    if (!dir.empty() && !IsSeparator(dir.back()))
        dir += '/';
    return dir;
}

// The user's home: $HOME, or the password database's entry when HOME is unset or empty.
std::string HomeDir()
{
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/')
        return home;
    const passwd* pw = ::getpwuid(::getuid());
    return pw != nullptr && pw->pw_dir != nullptr ? std::string(pw->pw_dir) : std::string();
}

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

std::string ExtractLowerFileExt(const std::string& path)
{
    std::string ext = ExtractFileExt(path);
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return ext;
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

std::string SettingsDir(const std::string& appDir)
{
    const std::string dir = WithSeparator(appDir);
    if (dir.empty() || !FileExists(dir + InstalledMarker))
        return dir;
    // Only an absolute XDG_CONFIG_HOME counts; a relative one is to be ignored.
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/')
        return WithSeparator(config) + "ostradivuvirar/";
    const std::string home = HomeDir();
    if (home.empty())
        return dir;
    return WithSeparator(home) + ".config/ostradivuvirar/";
}

std::string MakeSettingsDir(const std::string& appDir)
{
    const std::string dir = SettingsDir(appDir);
    for (size_t i = 1; i < dir.size(); ++i)
        if (IsSeparator(dir[i]))
            ::mkdir(dir.substr(0, i).c_str(), 0700);  // an existing one answers EEXIST: fine
    return dir;
}

}
