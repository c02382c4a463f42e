// Files as the file system has them: a skin in a folder whose name is not UTF-8, and a FIFO or a
// folder where the player expects a file, which gets a message and never holds the program in an
// open that waits for a writer.
#include "AppTest.h"
#include "OggFixture.h"
#include "TMainSkin.h"
#include "TPlaylist.h"
#include "Unit1.h"
#include "Unit2.h"

#include <filesystem>
#include <sys/stat.h>

namespace fs = std::filesystem;
using FilePathsTest = apptest::AppTest;

namespace {

// A copy of the default skin in a new folder of the given name (bytes).
std::string CopySkin(const std::string& appDir, const std::string& name)
{
    const std::string dir = fixture::TempDir() + "/" + name + "/";
    fs::remove_all(dir);
    fs::copy(appDir + "skin/default", dir, fs::copy_options::recursive);
    return dir;
}

bool Said(const std::vector<std::string>& messages, const std::string& part)
{
    return apptest::WaitWithEvents([&] {
        for (const std::string& m : messages)
            if (m.find(part) != std::string::npos)
                return true;
        return false;
    });
}

}

TEST_F(FilePathsTest, SkinFilesAreReadByTheirBytesAndOnlyFromRegularFiles)
{
    // "スキン" in Shift-JIS bytes, as an archive made on Windows unpacks it.
    const std::string sjis = CopySkin(appDir, "\x83\x58\x83\x4c\x83\x93");
    Form1->ChangeSkin(sjis + "skin.ini");
    EXPECT_TRUE(messages.empty()) << (messages.empty() ? "" : messages[0]);
    EXPECT_EQ(Form1->Skin->SkinDir, sjis);
    EXPECT_FALSE(Form1->Skin->FaceImage.isNull());

    for (const char* file : {"face.bmp", "skin.ini", "bPlay.bmp"}) {
        const std::string dir = CopySkin(appDir, std::string("fifo-") + file);
        fs::remove(dir + file);
        ASSERT_EQ(::mkfifo((dir + file).c_str(), 0600), 0);
        messages.clear();
        Form1->ChangeSkin(dir + "skin.ini");
        EXPECT_TRUE(Said(messages, dir + file + " は名前付きパイプ")) << file;
        EXPECT_EQ(Form1->Skin->SkinDir, appDir + "skin/default/") << file;
    }
}

TEST_F(FilePathsTest, AFifoAsSettingsFileIsNamedAndTheRunStartsAfresh)
{
    CloseWindows();
    fs::remove(appDir + "zkv108.info");
    ASSERT_EQ(::mkfifo((appDir + "zkv108.info").c_str(), 0600), 0);
    messages.clear();
    OpenWindows();
    EXPECT_TRUE(Said(messages, "zkv108.info は名前付きパイプ"));
    EXPECT_EQ(Form1->Skin->SkinDir, appDir + "skin/default/");
}

TEST_F(FilePathsTest, AFifoAsPlaylistOrAudioFileIsPassedOver)
{
    const std::string dir = fixture::FreshDir("fifos");
    ASSERT_EQ(::mkfifo((dir + "list.m3u").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((dir + "b.ogg").c_str(), 0600), 0);
    const std::string good = fixture::MakeOgg("fifo-good.ogg", 0.3);
    Form2->ChoosePlaylists = [&] { return QStringList{QString::fromStdString(dir + "list.m3u")}; };
    Form2->MPlayListClick();
    EXPECT_TRUE(Said(messages, "list.m3u"));
    Form2->ChooseOggFiles = [&] { return QStringList{QString::fromStdString(dir + "b.ogg"), QString::fromStdString(good)}; };
    Form2->MLoadOggClick();
    EXPECT_EQ(Form2->Playlist->Paths(), std::vector<std::string>{good});
    EXPECT_TRUE(Said(messages, "b.ogg"));
}
