#pragma once
// What takes names into the playlist for the intake: one file with its display name looked up,
// or an .m3u playlist line by line. The playlist window does both; the intake decides only
// which of the two a name needs.
#include <string>

class TSkippedNames;

class IPlaylistLoader {
public:
    // Appends one entry; throws when the file cannot be taken in, and adds nothing then.
    virtual void AddPlaylistEntry(const std::string& path) = 0;
    // Appends the entries of an .m3u file; entries that fail go into skipped. Throws when the
    // file itself cannot be read.
    virtual void LoadPlaylistFile(const std::string& path, TSkippedNames& skipped) = 0;

protected:
    ~IPlaylistLoader() = default;
};
