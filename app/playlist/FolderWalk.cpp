#include "FolderWalk.h"

#include "PlaylistRules.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace FolderWalk {

namespace {
bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

int Rank(char c)
{
    if (c == '/')
        return -1;
    if (c >= 'A' && c <= 'Z')
        c = static_cast<char>(c - 'A' + 'a');
    return static_cast<unsigned char>(c);
}

// <0, 0 or >0 by the natural rules alone.
int Compare(const std::string& a, const std::string& b)
{
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            // Leading zeros say nothing of the value; then the longer run is the larger
            // number, and runs of one length compare digit by digit.
            while (i < a.size() && a[i] == '0')
                ++i;
            while (j < b.size() && b[j] == '0')
                ++j;
            size_t ei = i, ej = j;
            while (ei < a.size() && IsDigit(a[ei]))
                ++ei;
            while (ej < b.size() && IsDigit(b[ej]))
                ++ej;
            if (ei - i != ej - j)
                return ei - i < ej - j ? -1 : 1;
            const int digits = a.compare(i, ei - i, b, j, ej - j);
            if (digits != 0)
                return digits;
            i = ei;
            j = ej;
            continue;
        }
        const int ra = Rank(a[i]), rb = Rank(b[j]);
        if (ra != rb)
            return ra < rb ? -1 : 1;
        ++i;
        ++j;
    }
    const bool aLeft = i < a.size(), bLeft = j < b.size();
    return aLeft == bLeft ? 0 : (aLeft ? 1 : -1);
}

// Deep enough for any real music collection, and a bound on the recursion for anything else.
constexpr int kMaxDepth = 64;

void Walk(const fs::path& dir, int depth, Found& found)
{
    std::error_code ec;
    fs::directory_iterator it(dir, ec);
    if (ec) {
        found.unreadable.push_back(dir.string());
        return;
    }
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
        if (ec)
            break;
        std::error_code entryError;
        const fs::directory_entry& entry = *it;
        // Hidden files and folders are a program's own (caches, trash, thumbnails), not the
        // user's music, as every file manager and player treats them.
        const std::string leaf = entry.path().filename().string();
        if (!leaf.empty() && leaf.front() == '.')
            continue;
        const bool link = entry.is_symlink(entryError);
        if (!link && entry.is_directory(entryError)) {
            if (depth < kMaxDepth)
                Walk(entry.path(), depth + 1, found);
        } else if (entry.is_regular_file(entryError) && PlaylistRules::IsAudioName(entry.path().string())) {
            found.files.push_back(entry.path().string());
        }
    }
    if (ec)
        found.unreadable.push_back(dir.string());
}
}

bool NaturalLess(const std::string& a, const std::string& b)
{
    const int c = Compare(a, b);
    return c != 0 ? c < 0 : a < b;
}

bool IsFolder(const std::string& name)
{
    std::error_code ec;
    return !name.empty() && fs::is_directory(name, ec);
}

Found PlayableFiles(const std::string& folder)
{
    Found found;
    Walk(fs::path(folder), 0, found);
    std::sort(found.files.begin(), found.files.end(), NaturalLess);
    return found;
}

}
