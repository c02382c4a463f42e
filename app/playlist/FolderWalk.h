#pragma once
// The playable files inside a folder that is dropped on a window or named on the command line,
// without Qt. The walk goes through every subfolder and returns the files in natural order of
// their paths, the order a file manager shows: "2 b.ogg" before "10 a.ogg", letters compared
// without regard to case, and a folder's files together, before a sibling whose name is longer.
#include <string>
#include <vector>

namespace FolderWalk {

// Natural order: runs of digits compare by their value, other bytes by their ASCII letter
// ignoring case, with "/" before every other byte; names equal by these rules fall back to
// their bytes, so the order is total.
bool NaturalLess(const std::string& a, const std::string& b);

// A directory, or a symbolic link to one.
bool IsFolder(const std::string& name);

struct Found {
    std::vector<std::string> files;       // regular files with an accepted audio extension
    std::vector<std::string> unreadable;  // the folder itself or subfolders that could not be listed
};
// Every playable file under folder, in natural order of the paths. Links to folders inside are
// not followed, which keeps a link back up the tree from walking for ever; links to files are
// taken like files. Other kinds of file (pipes, devices) are left out, since reading them could
// block.
Found PlayableFiles(const std::string& folder);

}
