// The binding to wuvorbis.dll: loading by path, its two refusals, the one instance, and the four
// data-source callbacks over a memory stream.
#include "ERangeError.h"
#include "BuildPaths.h"
#include "OggFixture.h"
#include "OggWuvorbisLib.h"
#include "Paths.h"
#include "TMemoryStream.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

std::string DllPath() { return fixture::BinDir() + "/wuvorbis.dll"; }

std::string MessageOf(const std::string& path)
{
    try {
        _VorbisfileInitialize(path);
    } catch (const ERangeError& e) {
        return e.Message();
    }
    return "(no error)";
}

class Binding : public ::testing::Test {
protected:
    void TearDown() override { _VorbisfileFinalize(); }
};

TEST_F(Binding, LoadsTheLibraryAndLeavesTheCurrentDirectoryAsItWas)
{
    std::string before = Paths::GetCurrentDir();
    _VorbisfileInitialize(DllPath());
    ASSERT_NE(_VorbisfileDll, nullptr);
    EXPECT_NE(_VorbisfileDll->LibHandle, nullptr);
    EXPECT_EQ(Paths::GetCurrentDir(), before);
    EXPECT_EQ(_VorbisfileDll->Callbacks.read_func, &_fread);
    EXPECT_EQ(_VorbisfileDll->Callbacks.seek_func, &_fseek);
    EXPECT_EQ(_VorbisfileDll->Callbacks.close_func, &_fclose);
    EXPECT_EQ(_VorbisfileDll->Callbacks.tell_func, &_ftell);
    _VorbisfileFinalize();
    EXPECT_EQ(_VorbisfileDll, nullptr);

    // A bare name is the file in the current directory, not one on the loader's search path.
    ASSERT_TRUE(Paths::SetCurrentDir(fixture::BinDir()));
    _VorbisfileInitialize("wuvorbis.dll");
    ASSERT_TRUE(Paths::SetCurrentDir(before));
    EXPECT_NE(_VorbisfileDll, nullptr);
}

TEST_F(Binding, MissingLibraryNamesItsFullPath)
{
    std::string dir = fixture::TempDir() + "/nolib";
    std::filesystem::create_directories(dir);
    std::string full = dir + "/wuvorbis.dll";
    EXPECT_EQ(MessageOf(full), "wuvorbis.dllが存在しません。\r\n(" + full + ")");
    EXPECT_EQ(_VorbisfileDll, nullptr);

    // A relative name is expanded against the current directory, and a directory that does not
    // exist fails the same way.
    std::string before = Paths::GetCurrentDir();
    ASSERT_TRUE(Paths::SetCurrentDir(dir));
    EXPECT_EQ(MessageOf("sub/../wuvorbis.dll"), "wuvorbis.dllが存在しません。\r\n(" + full + ")");
    ASSERT_TRUE(Paths::SetCurrentDir(before));
    EXPECT_EQ(MessageOf(dir + "/absent/wuvorbis.dll"),
              "wuvorbis.dllが存在しません。\r\n(" + dir + "/absent/wuvorbis.dll)");
    EXPECT_EQ(Paths::GetCurrentDir(), before);
    EXPECT_EQ(_VorbisfileDll, nullptr);
}

TEST_F(Binding, FileThatIsNoLibraryIsMissingToo)
{
    std::string path = fixture::WriteTemp({'n', 'o', 't', ' ', 'E', 'L', 'F'}, "fake/wuvorbis.dll");
    EXPECT_EQ(MessageOf(path), "wuvorbis.dllが存在しません。\r\n(" + path + ")");
    EXPECT_EQ(_VorbisfileDll, nullptr);
}

TEST_F(Binding, LibraryWithoutScaleOutputIsRefused)
{
    EXPECT_EQ(MessageOf(buildpaths::NoScaleDll), "関数(wu_ScaleOutput)の所得に失敗しました");
    EXPECT_EQ(_VorbisfileDll, nullptr);
    // The refusal leaves nothing behind: the complete library still loads afterwards.
    _VorbisfileInitialize(DllPath());
    EXPECT_NE(_VorbisfileDll, nullptr);
}

TEST_F(Binding, SecondInitializeKeepsTheFirstLibrary)
{
    _VorbisfileInitialize(DllPath());
    TVorbisFileDLL* first = _VorbisfileDll;
    void* handle = first->LibHandle;
    _VorbisfileInitialize(buildpaths::NoScaleDll);                 // would fail if it were tried
    _VorbisfileInitialize(fixture::TempDir() + "/none.dll");  // likewise
    EXPECT_EQ(_VorbisfileDll, first);
    EXPECT_EQ(_VorbisfileDll->LibHandle, handle);
}

TEST(Callbacks, ReadCountsBytesAndIgnoresEmptyRequests)
{
    TMemoryStream s;
    s.Write("0123456789abcdef", 16);
    s.SetPosition(6);
    char buf[32] = {};
    EXPECT_EQ(_fread(buf, 0, 5, &s), 0u);
    EXPECT_EQ(_fread(buf, 5, 0, &s), 0u);
    EXPECT_EQ(s.Position(), 6);
    // Three elements of four bytes with ten left: ten bytes, not two elements.
    EXPECT_EQ(_fread(buf, 4, 3, &s), 10u);
    EXPECT_EQ(std::string(buf, 10), "6789abcdef");
    EXPECT_EQ(_fread(buf, 1, 4, &s), 0u);
    s.SetPosition(100);
    EXPECT_EQ(_fread(buf, 1, 4, &s), 0u);
    // A size times count that overflows asks for what there is, no more.
    s.SetPosition(14);
    EXPECT_EQ(_fread(buf, SIZE_MAX / 2, 3, &s), 2u);
    EXPECT_EQ(_fread(buf, 1, 1, nullptr), 0u);
}

TEST(Callbacks, SeekUsesTheLow32BitsAndReturnsThePosition)
{
    TMemoryStream s;
    s.SetSize(1000);
    EXPECT_EQ(_fseek(&s, 0, 2), 1000);
    EXPECT_EQ(_ftell(&s), 1000);
    EXPECT_EQ(_fseek(&s, 10, 0), 10);
    EXPECT_EQ(_fseek(&s, 5, 1), 15);
    EXPECT_EQ(_fseek(&s, -100, 2), 900);
    EXPECT_EQ(_fseek(&s, (int64_t{1} << 32) + 7, 0), 7);
    EXPECT_EQ(_fseek(&s, int64_t{0xFFFFFFFF}, 2), 999);  // -1 from the end
    EXPECT_EQ(_fseek(&s, -5, 0), 0);                      // a stream position never goes below 0
    EXPECT_EQ(_ftell(&s), 0);
    EXPECT_EQ(_fseek(nullptr, 0, 0), -1);
}

TEST(Callbacks, CloseDestroysTheStream)
{
    // Run under the sanitizer build this catches a leak or a double free.
    auto* s = new TMemoryStream();
    s->SetSize(10);
    EXPECT_EQ(_fclose(s), 0);
    EXPECT_EQ(_fclose(nullptr), 0);
}

}
