// The playlist's file rules: which names are entries, and the .m3u form read and written.
#include "EFileError.h"
#include "OggFixture.h"
#include "Paths.h"
#include "PlaylistFormats.h"
#include "PlaylistRules.h"
#include "TStringList.h"

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

using namespace PlaylistRules;

namespace PlaylistRules {
// Failures name the entries instead of dumping their bytes.
void PrintTo(const TListedEntry& entry, std::ostream* out)
{
    *out << "{\"" << entry.name << "\", \"" << entry.title << "\"}";
}
}

TEST(PlaylistRules, KindsOfFileGoByTheirExtensionInAnyCase)
{
    struct Case {
        const char* name;
        bool audio, playlist;
    };
    const Case cases[] = {
        {"a.ogg", true, false},      {"a.OGG", true, false},     {"a.Ogg", true, false},
        {"a.oGG", true, false},      {"a.qv", true, false},      {"a.qV", true, false},
        {"/x/y/b c.ogg", true, false}, {"rel/a.b.qv", true, false}, {"a.m3u", false, true},
        {"a.M3u8", false, true},     {"/p/y.M3U", false, true},  {"a.ogg ", false, false},
        {"a.ogg.txt", false, false}, {"ogg", false, false},      {"", false, false},
        {"dir.ogg/file", false, false}, {".og", false, false},   {"a.", false, false},
        {"a.m3u9", false, false},    {"m3u8", false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsAudioName(c.name), c.audio) << c.name;
        EXPECT_EQ(IsM3uName(c.name), c.playlist) << c.name;
    }
}

TEST(PlaylistRules, EntriesAreTheNamedFilesWithTheirListedTitles)
{
    struct Case {
        const char* why;
        std::string text;
        std::vector<TListedEntry> entries;
    };
    const std::vector<Case> cases = {
        {"information and comment lines are never entries, whatever they end in",
         "#EXTM3U\r\n#EXTINF:3,d.OGG\r\n#comment.ogg\n  #indented.qv\n", {}},
        {"a title goes with the entry after it, and only with that one",
         "#EXTINF:123,Artist - Song\r\nmusic/one.ogg\nmusic/two.ogg\n",
         {{"music/one.ogg", "Artist - Song"}, {"music/two.ogg", ""}}},
        {"a comment between keeps the title; a line that is no entry drops it",
         "#EXTINF:1,Kept\n#EXTVLCOPT:x\na.ogg\n#EXTINF:2,Lost\ncover.jpg\nb.ogg\n",
         {{"a.ogg", "Kept"}, {"b.ogg", ""}}},
        {"white space around a name is kept for the lookup to decide",
         "  spaced.qv\r\tb.ogg \n", {{"  spaced.qv", ""}, {"\tb.ogg ", ""}}},
        {"mixed case, Shift-JIS bytes and a last line without an end",
         "mixed.Ogg\n\x83\x65\x83\x58.ogg\nlast/without/end.QV",
         {{"mixed.Ogg", ""}, {"\x83\x65\x83\x58.ogg", ""}, {"last/without/end.QV", ""}}},
        {"a title without a comma, and odd bytes", "#EXTINF:5\nx.ogg\n" + std::string("a\0b.ogg\r\n", 9),
         {{"x.ogg", ""}, {std::string("a\0b.ogg", 7), ""}}},
        {"nothing", "\r\n\r\n\n\r" + std::string("\0\0\0", 3), {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseM3u(c.text), c.entries) << c.why;
}

TEST(PlaylistRules, ANameIsLookedForBesideThePlaylistNeverInTheWorkingFolder)
{
    namespace fs = std::filesystem;
    const std::string root = fixture::FreshDir("lookup");
    const std::string lists = root + "lists/";
    for (const std::string& name : {lists + "a.ogg", lists + "sub/b.ogg", lists + "c d.ogg", lists + " lead.ogg",
                                    lists + "x\\y.ogg", lists + "x/y.ogg", root + "cwd/a.ogg", root + "cwd/only.ogg",
                                    root + "My Music/01 Beach.ogg", lists + "\xE6\xB5\xB7.ogg", lists + "a%20b.ogg",
                                    lists + "a b.ogg"}) {
        fs::create_directories(fs::path(name).parent_path());
        std::ofstream(name) << "x";
    }
    const std::string cwd = Paths::GetCurrentDir();
    ASSERT_TRUE(Paths::SetCurrentDir(root + "cwd"));
    struct Case {
        std::string line, found;
    };
    const std::vector<Case> cases = {
        {"a.ogg", lists + "a.ogg"},               // beside the list, though the working folder has one
        {"only.ogg", lists + "only.ogg"},         // only in the working folder: missing, named beside the list
        {"../lists/sub/./b.ogg", lists + "sub/b.ogg"},
        {lists + "a.ogg", lists + "a.ogg"},
        {"file://" + lists + "c%20d.ogg", lists + "c d.ogg"},
        {"file:///nowhere/m.ogg", "/nowhere/m.ogg"},
        {"sub\\b.ogg", lists + "sub/b.ogg"},
        {"x\\y.ogg", lists + "x\\y.ogg"},          // a real "\" in a name comes first
        {" lead.ogg", lists + " lead.ogg"},       // the name as written, blank and all
        {"  a.ogg\t", lists + "a.ogg"},           // else without the white space
        {" missing.ogg ", lists + "missing.ogg"},
        // Names written as URI references, as VLC writes them: decoded when they name nothing
        // as written.
        {"../My%20Music/01%20Beach.ogg", root + "My Music/01 Beach.ogg"},
        {"..\\My%20Music\\01%20Beach.ogg", root + "My Music/01 Beach.ogg"},
        {root + "My%20Music/01%20Beach.ogg", root + "My Music/01 Beach.ogg"},
        {"%E6%B5%B7.ogg", lists + "\xE6\xB5\xB7.ogg"},
        {"a%20b.ogg", lists + "a%20b.ogg"},       // a name that really holds "%20" comes first
        {"gone%20too.ogg", lists + "gone%20too.ogg"},  // nothing there: as written
        {"a%00.ogg", lists + "a%00.ogg"},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ResolveEntry(c.line, lists), c.found) << c.line;
    Paths::SetCurrentDir(cwd);
}

TEST(PlaylistRules, APlaylistsEncodingIsFoundForTheWholeFile)
{
    const std::string umi = "\xE6\xB5\xB7", umiSjis = "\x8A\x43";  // 海 in UTF-8 and in CP932
    const std::string fffd = "\xEF\xBF\xBD";
    struct Case {
        const char* why;
        std::string bytes;
        TTextEncoding encoding;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"plain ASCII", "a.ogg\r\n", TTextEncoding::Utf8, "a.ogg\r\n"},
        {"UTF-8", umi + ".ogg\n", TTextEncoding::Utf8, umi + ".ogg\n"},
        {"UTF-8 with its mark", "\xEF\xBB\xBF" + umi + ".ogg\n", TTextEncoding::Utf8Bom, umi + ".ogg\n"},
        {"a mark before CP932", "\xEF\xBB\xBF" + umiSjis, TTextEncoding::Utf8Bom, umi},
        // 表 is 0x95 0x5C in CP932: its second byte is no "\" once converted.
        {"CP932 from Windows", "\x95\x5C\\" + umiSjis + ".ogg\r\n", TTextEncoding::Cp932,
         "\xE8\xA1\xA8\\" + umi + ".ogg\r\n"},
        {"CP932 half-width kana that look like a broken UTF-8 pair", "\xC0\xAF.ogg", TTextEncoding::Cp932,
         "\xEF\xBE\x80\xEF\xBD\xAF.ogg"},
        {"one byte that is no UTF-8 makes the whole file CP932", umiSjis + "\n" + "abc\xFD", TTextEncoding::Cp932,
         umi + "\nabc" + fffd},
        {"surrogates written as UTF-8 are no UTF-8", "\xED\xA0\x80", TTextEncoding::Cp932, ""},
        {"UTF-16 from Notepad", std::string("\xFF\xFE" "a\0\r\0\n\0\x77\x6D", 10), TTextEncoding::Utf16Le,
         "a\r\n" + umi},
        {"UTF-16 big-endian, a pair, half a pair, an odd byte",
         std::string("\xFE\xFF\xD8\x3D\xDE\x00\xDC\x00\x00", 9), TTextEncoding::Utf16Be,
         "\xF0\x9F\x98\x80" + fffd + fffd},
        {"nothing", "", TTextEncoding::Utf8, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DetectEncoding(c.bytes), c.encoding) << c.why;
        const std::string text = NativeText(c.bytes);
        if (!c.text.empty() || c.bytes.empty()) {
            EXPECT_EQ(text, c.text) << c.why;
        }
        EXPECT_TRUE(IsUtf8(text)) << c.why;  // whatever came in
    }

    // The entries come out as native text, titles too, and "\" after 表 is still a separator;
    // each keeps the bytes it was written with.
    using PlaylistFormats::TKind;
    const std::string m3u = "#EXTINF:60," + umiSjis + "\r\n\x95\x5C\\" + umiSjis + ".ogg\r\n";
    const std::vector<TListedEntry> listed = PlaylistFormats::TextEntries(TKind::M3u, m3u);
    EXPECT_EQ(listed, (std::vector<TListedEntry>{{"\xE8\xA1\xA8\\" + umi + ".ogg", umi, "\x95\x5C\\" + umiSjis + ".ogg"}}));
    const std::string pls = "[playlist]\r\nFile1=" + umiSjis + ".ogg\r\nTitle1=" + umiSjis + "\r\n";
    EXPECT_EQ(PlaylistFormats::TextEntries(TKind::Pls, pls),
              (std::vector<TListedEntry>{{umi + ".ogg", umi, umiSjis + ".ogg"}}));
    EXPECT_EQ(PlaylistFormats::TextEntries(TKind::M3u, umi + ".ogg"), (std::vector<TListedEntry>{{umi + ".ogg", ""}}));

    // Files unpacked with CP932 names are found by the bytes the list wrote; a UTF-8 name first.
    const std::string dir = fixture::FreshDir("cp932-names");
    std::filesystem::create_directories(dir + "unpacked");
    std::ofstream(dir + "unpacked/" + umiSjis + ".ogg") << "x";
    const TListedEntry unpacked = PlaylistFormats::TextEntries(TKind::M3u, "unpacked\\" + umiSjis + ".ogg").front();
    EXPECT_EQ(ResolveListed(unpacked, dir), dir + "unpacked/" + umiSjis + ".ogg");
    std::ofstream(dir + "unpacked/" + umi + ".ogg") << "x";
    EXPECT_EQ(ResolveListed(unpacked, dir), dir + "unpacked/" + umi + ".ogg");
    EXPECT_EQ(ResolveListed(listed.front(), dir), dir + listed.front().name);  // missing: by its UTF-8 name
}

TEST(PlaylistRules, WritesEachPathWithCrLfAndNothingElse)
{
    EXPECT_EQ(M3uText({}), "");
    EXPECT_EQ(M3uText({"/a/b.ogg", "rel.qv"}), "/a/b.ogg\r\nrel.qv\r\n");

    const std::string file = fixture::TempDir() + "/rules-save.m3u";
    const std::vector<std::string> paths = {"/x/\xE3\x83\x86.ogg", "../up.OGG", "#odd.qv"};
    SaveM3u(file, paths);
    EXPECT_EQ(fixture::ReadText(file), "/x/\xE3\x83\x86.ogg\r\n../up.OGG\r\n#odd.qv\r\n");
    const std::vector<TListedEntry> read = ParseM3u(fixture::ReadText(file));
    ASSERT_EQ(read.size(), 2u);  // "#odd.qv" is a comment to every reader
    EXPECT_EQ(read[1].name, "../up.OGG");

    SaveM3u(file, {});
    EXPECT_EQ(fixture::ReadText(file), "");
}

TEST(PlaylistRules, OtherPlayersFormatsAreSavedByTheirNamesAndReadBack)
{
    using PlaylistFormats::TKind;
    struct Case {
        const char* name;
        TKind kind;
        const char* savedAs;
    };
    const Case cases[] = {
        {"/p/a.m3u", TKind::M3u, "/p/a.m3u"},   {"/p/a.M3U8", TKind::M3u, "/p/a.M3U8"},
        {"/p/a.PLS", TKind::Pls, "/p/a.PLS"},   {"/p/a.xspf", TKind::Xspf, "/p/a.xspf"},
        {"/p/a.txt", TKind::None, "/p/a.txt.m3u8"}, {"/p/list", TKind::None, "/p/list.m3u8"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PlaylistFormats::KindOf(c.name), c.kind) << c.name;
        EXPECT_EQ(PlaylistFormats::SaveName(c.name), c.savedAs) << c.name;
    }

    const std::vector<std::string> paths = {"/m/a b.ogg", "/m/\xE6\x9B\xB2&<x>.QV"};
    EXPECT_EQ(PlaylistFormats::Text(TKind::Pls, paths),
              "[playlist]\r\nFile1=/m/a b.ogg\r\nFile2=/m/\xE6\x9B\xB2&<x>.QV\r\nNumberOfEntries=2\r\nVersion=2\r\n");
    const std::string xspf = PlaylistFormats::Text(TKind::Xspf, paths);
    EXPECT_NE(xspf.find("<location>file:///m/a%20b.ogg</location>"), std::string::npos) << xspf;
    EXPECT_NE(xspf.find("<location>file:///m/%E6%9B%B2%26%3Cx%3E.QV</location>"), std::string::npos) << xspf;

    // A .pls as other players write it: keys in any case, numbers out of order or missing,
    // titles, a stream and a cover left out.
    TStringList pls;
    pls.SetText("[playlist]\r\nfile2=b.ogg\r\nTitle2=Bee\r\nFile1=file:///m/a.ogg\r\nFILE3=http://radio/live\r\n"
                "File7= spaced.qv \r\nFile8=cover.jpg\r\nFile2=twice.ogg\r\nFilex=odd.ogg\r\n"
                "File99999999999=huge.ogg\r\nNumberOfEntries=8\r\nVersion=2\r\n");
    EXPECT_EQ(PlaylistFormats::PlsEntries(pls),
              (std::vector<TListedEntry>{{"file:///m/a.ogg", ""}, {"b.ogg", "Bee"}, {" spaced.qv", ""}}));
    pls.SetText(PlaylistFormats::Text(TKind::Pls, paths));
    EXPECT_EQ(PlaylistFormats::PlsEntries(pls), (std::vector<TListedEntry>{{paths[0], ""}, {paths[1], ""}}));
}

TEST(PlaylistRules, TheKeptPlaylistComesBackWithItsNamesAndItsCurrentEntry)
{
    using PlaylistFormats::TSession;
    const TSession session{{{"/m/a.ogg", "Song A"}, {"/m/two\nlines.ogg", "x"}, {"/m/c.QV", "c.QV"}, {"/m/d.ogg", "D\r\nE"}},
                           2, true};
    const std::string text = PlaylistFormats::SessionText(session);
    EXPECT_EQ(text, "#EXTM3U\r\n#OSTRADIVUVIRAR-CURRENT:1,playing\r\n#EXTINF:-1,Song A\r\n/m/a.ogg\r\n"
                    "#EXTINF:-1,c.QV\r\n/m/c.QV\r\n#EXTINF:-1,D  E\r\n/m/d.ogg\r\n");
    const TSession back = PlaylistFormats::ParseSession(text);
    EXPECT_EQ(back.entries, (std::vector<TListedEntry>{{"/m/a.ogg", "Song A"}, {"/m/c.QV", "c.QV"}, {"/m/d.ogg", "D  E"}}));
    EXPECT_EQ(back.current, 1);
    EXPECT_TRUE(back.playing);

    struct Case {
        std::string text;
        int current;
        bool playing;
    };
    const Case cases[] = {
        {"#OSTRADIVUVIRAR-CURRENT:0,stopped\n/m/a.ogg\n", 0, false},
        {"#OSTRADIVUVIRAR-CURRENT:5,playing\n/m/a.ogg\n", -1, false},  // past the end
        {"#OSTRADIVUVIRAR-CURRENT:-1,playing\n/m/a.ogg\n", -1, false},
        {"#OSTRADIVUVIRAR-CURRENT:99999999999999,playing\n/m/a.ogg\n", -1, false},
        {"#OSTRADIVUVIRAR-CURRENT:x\n/m/a.ogg\n", -1, false},
        {"/m/a.ogg\n", -1, false},  // any .m3u8
        {"", -1, false},
    };
    for (const Case& c : cases) {
        const TSession read = PlaylistFormats::ParseSession(c.text);
        EXPECT_EQ(read.current, c.current) << c.text;
        EXPECT_EQ(read.playing, c.playing) << c.text;
    }
}

TEST(PlaylistRules, AFileThatCannotBeCreatedRaisesEFileError)
{
    EXPECT_THROW(SaveM3u(fixture::TempDir() + "/no/such/dir/list.m3u", {"a.ogg"}), EFileError);
}
