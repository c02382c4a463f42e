// The atomic writer against whatever stands at the path: it writes a regular file (or a new name)
// directly or through links, and leaves everything else exactly as it was: the same kind of
// thing, the same inode, the same content, with no temporary file beside it.
#include "AtomicFile.h"
#include "EFileError.h"
#include "OggFixture.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <string>

namespace fs = std::filesystem;

namespace {

struct Entry {
    mode_t mode = 0;  // kind and permissions, from lstat
    ino_t inode = 0;
    std::string link;  // a link's text
    std::string content;
    bool operator==(const Entry&) const = default;
};

// Everything below dir, by name.
std::map<std::string, Entry> Snapshot(const std::string& dir)
{
    std::map<std::string, Entry> all;
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
        struct stat st {};
        ::lstat(e.path().c_str(), &st);
        Entry x{st.st_mode, st.st_ino, {}, {}};
        if (S_ISLNK(st.st_mode))
            x.link = fs::read_symlink(e.path()).string();
        if (S_ISREG(st.st_mode))
            x.content = fixture::ReadText(e.path().string());
        all[e.path().string()] = x;
    }
    return all;
}

void MakeFile(const std::string& path, const std::string& text, mode_t mode)
{
    AtomicFile::Write(path, text.data(), text.size());
    ::chmod(path.c_str(), mode);
}

bool MakeSocket(const std::string& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    if (fd < 0 || path.size() >= sizeof a.sun_path)
        return false;
    std::strcpy(a.sun_path, path.c_str());
    const bool made = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);  // the socket's name stays
    return made;
}

// What to put in dir's place "f" (and its link target "t"), false when this system does not let
// us make it.
using Maker = std::function<bool(const std::string& dir)>;

bool Fifo(const std::string& p) { return ::mkfifo(p.c_str(), 0600) == 0; }
// The numbers of /dev/null, made as a new node in our own folder; only root may.
bool Device(const std::string& p) { return ::mknod(p.c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0; }
bool Directory(const std::string& p)
{
    fs::create_directory(p);
    MakeFile(p + "/inside", "kept", 0644);
    return true;
}
Maker Linked(std::function<bool(const std::string&)> make)
{
    return [make](const std::string& dir) { return make(dir + "t") && ::symlink("t", (dir + "f").c_str()) == 0; };
}

TEST(AtomicFile, WritesOnlyARegularFileOrANewNameWhateverStandsThere)
{
    enum Outcome { Written, Exists, Refused };
    struct Case {
        const char* what;
        Maker setup;
        const char* target;        // where the content lands when written
        Outcome replace, noReplace;  // in each mode
        const char* reason;          // in the refusal
    };
    const std::vector<Case> cases{
        {"nothing", [](auto&) { return true; }, "f", Written, Written, ""},
        {"a regular file", [](auto& d) { MakeFile(d + "f", "old", 0640); return true; }, "f", Written, Exists, ""},
        {"a link to a regular file",
         [](auto& d) { MakeFile(d + "t", "old", 0604); return ::symlink("t", (d + "f").c_str()) == 0; }, "t", Written,
         Exists, ""},
        {"a link to nothing", [](auto& d) { return ::symlink("t", (d + "f").c_str()) == 0; }, "t", Written, Written,
         ""},
        {"a link into a missing folder", [](auto& d) { return ::symlink("gone/t", (d + "f").c_str()) == 0; }, "",
         Refused, Refused, "No such file or directory"},
        {"a FIFO", [](auto& d) { return Fifo(d + "f"); }, "", Refused, Refused, "not a regular file (a named pipe)"},
        {"a device", [](auto& d) { return Device(d + "f"); }, "", Refused, Refused, "not a regular file (a device)"},
        {"a socket", [](auto& d) { return MakeSocket(d + "f"); }, "", Refused, Refused,
         "not a regular file (a socket)"},
        {"a directory", [](auto& d) { return Directory(d + "f"); }, "", Refused, Refused,
         "not a regular file (a directory)"},
        {"a link to a FIFO", Linked(Fifo), "", Refused, Refused, "(a named pipe)"},
        {"a link to a device", Linked(Device), "", Refused, Refused, "(a device)"},
        {"a link to a socket", Linked(MakeSocket), "", Refused, Refused, "(a socket)"},
        {"a link to a directory", Linked(Directory), "", Refused, Refused, "(a directory)"},
    };
    int n = 0;
    for (const Case& c : cases)
        for (const auto mode : {TAtomicFile::Replace, TAtomicFile::NoReplace}) {
            SCOPED_TRACE(std::string(c.what) + (mode == TAtomicFile::Replace ? ", replacing" : ", never replacing"));
            const std::string dir = fixture::FreshDir("atomic-" + std::to_string(n++));
            if (!c.setup(dir)) {
                std::printf("not made here, so not tried: %s\n", c.what);
                continue;
            }
            const auto before = Snapshot(dir);
            const Outcome expected = mode == TAtomicFile::Replace ? c.replace : c.noReplace;
            const std::string path = dir + "f";
            try {
                AtomicFile::Write(path, "new", 3, mode);
                EXPECT_EQ(expected, Written);
            } catch (const EFileError& e) {
                EXPECT_NE(expected, Written) << e.what();
                EXPECT_EQ(e.Path(), path);
                EXPECT_NE(std::string(e.what()).find("ファイル " + path + " に書き込めません。"), std::string::npos);
                EXPECT_NE(e.Reason().find(expected == Exists ? "File exists" : c.reason), std::string::npos);
            }
            auto after = Snapshot(dir);
            if (expected != Written) {
                EXPECT_EQ(after, before);
                continue;
            }
            const std::string target = dir + c.target;
            ASSERT_EQ(after.count(target), 1u);
            EXPECT_TRUE(S_ISREG(after[target].mode));
            EXPECT_EQ(after[target].content, "new");
            // The mode of the file replaced stays; a link stays a link.
            if (before.count(target) != 0) {
                EXPECT_EQ(after[target].mode, before.at(target).mode);
            }
            if (target != path) {
                EXPECT_EQ(after[path], before.at(path));
            }
            // Nothing else appeared: no temporary file left.
            after.erase(target);
            auto rest = before;
            rest.erase(target);
            EXPECT_EQ(after.size(), rest.size());
        }
}

// The streaming form: chunks, a header completed at the end, and nothing at all until Commit.
TEST(AtomicFile, StreamsChunksAndLeavesNothingUncommitted)
{
    const std::string dir = fixture::FreshDir("atomic-stream");
    {
        TAtomicFile f(dir + "never", TAtomicFile::NoReplace);
        f.Put("abc", 3);
    }
    EXPECT_TRUE(fs::is_empty(dir));
    TAtomicFile f(dir + "out", TAtomicFile::NoReplace);
    f.Put("....", 4);
    f.Put("body", 4);
    f.PutAt(0, "head", 4);
    EXPECT_FALSE(fs::exists(dir + "out"));
    f.Commit();
    EXPECT_EQ(fixture::ReadText(dir + "out"), "headbody");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

}
