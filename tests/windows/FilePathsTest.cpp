// Files as the file system has them: a skin in a folder whose name is not UTF-8, and a FIFO, a
// device or a folder where the player expects a file, which must get a message and never hold
// the program in an open that waits for a writer.
#include "AppTest.h"
#include "OggFixture.h"
#include "PlayerSettings.h"
#include "TMainSkin.h"
#include "TPlaylist.h"
#include "Unit1.h"
#include "Unit2.h"

#include <QCoreApplication>
#include <QImage>
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

bool Mentions(const std::vector<std::string>& messages, const std::string& part)
{
    for (const std::string& m : messages)
        if (m.find(part) != std::string::npos)
            return true;
    return false;
}

}

TEST_F(FilePathsTest, ASkinInAFolderNamedInShiftJisLoads)
{
    // "スキン" in Shift-JIS bytes, as an archive made on Windows unpacks it.
    const std::string dir = CopySkin(appDir, "\x83\x58\x83\x4c\x83\x93");
    const QImage face(QString::fromStdString(appDir + "skin/default/face.bmp"));
    ASSERT_FALSE(face.isNull());
    messages.clear();
    Form1->ChangeSkin(dir + "skin.ini");
    EXPECT_TRUE(messages.empty()) << (messages.empty() ? "" : messages[0]);
    EXPECT_EQ(Form1->Skin->SkinDir, dir);
    EXPECT_EQ(Form1->Skin->FaceImage.size(), face.size());
    EXPECT_EQ(Form1->Settings.SkinPathText(), dir);
}

TEST_F(FilePathsTest, AFifoOrFolderInPlaceOfASkinFileIsNamedAndTheSkinFallsBack)
{
    for (const char* file : {"face.bmp", "skin.ini", "bPlay.bmp"}) {
        const std::string dir = CopySkin(appDir, std::string("fifo-") + file);
        fs::remove(dir + file);
        ASSERT_EQ(::mkfifo((dir + file).c_str(), 0600), 0);
        messages.clear();
        Form1->ChangeSkin(dir + "skin.ini");
        EXPECT_TRUE(Mentions(messages, dir + file + " は名前付きパイプ")) << file;
        EXPECT_EQ(Form1->Skin->SkinDir, appDir + "skin/default/") << file;
    }
    const std::string dir = CopySkin(appDir, "folder-face");
    fs::remove(dir + "face.bmp");
    fs::create_directory(dir + "face.bmp");
    messages.clear();
    Form1->ChangeSkin(dir + "skin.ini");
    EXPECT_TRUE(Mentions(messages, dir + "face.bmp はフォルダー"));
}

TEST_F(FilePathsTest, AFifoAsSettingsFileIsReportedAndTheRunStartsAfresh)
{
    const std::string fifo = fixture::FreshDir("settings") + "zkv108.info";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::vector<std::string> reported;
    TPlayerSettings settings;
    EXPECT_FALSE(settings.LoadFromFile(fifo, [&](const std::string& m) { reported.push_back(m); }));
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_NE(reported[0].find(fifo), std::string::npos);
    // No file at all is a first run, not worth a word.
    EXPECT_FALSE(settings.LoadFromFile(fifo + ".none", [&](const std::string& m) { reported.push_back(m); }));
    EXPECT_EQ(reported.size(), 1u);

    // The program itself: a FIFO where its settings file belongs.
    CloseWindows();
    fs::remove(appDir + "zkv108.info");
    ASSERT_EQ(::mkfifo((appDir + "zkv108.info").c_str(), 0600), 0);
    messages.clear();
    OpenWindows();
    EXPECT_TRUE(Mentions(messages, "zkv108.info は名前付きパイプ"));
    EXPECT_EQ(Form1->Skin->SkinDir, appDir + "skin/default/");
}

TEST_F(FilePathsTest, AFifoAsPlaylistOrAudioFileIsNamedAndPassedOver)
{
    const std::string dir = fixture::FreshDir("fifos");
    ASSERT_EQ(::mkfifo((dir + "list.m3u").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((dir + "b.ogg").c_str(), 0600), 0);
    const std::string good = fixture::MakeOgg("fifo-good.ogg", 0.3, "Good");

    messages.clear();
    Form2->ChoosePlaylists = [&] { return QStringList{QString::fromStdString(dir + "list.m3u")}; };
    Form2->MPlayListClick();
    EXPECT_EQ(Form2->Playlist->Count(), 0);
    QCoreApplication::processEvents();  // names passed over are reported once the add is over
    EXPECT_TRUE(apptest::WaitWithEvents([&] { return Mentions(messages, "list.m3u"); }));

    messages.clear();
    Form2->ChooseOggFiles = [&] {
        return QStringList{QString::fromStdString(dir + "b.ogg"), QString::fromStdString(good)};
    };
    Form2->MLoadOggClick();
    EXPECT_EQ(Form2->Playlist->Paths(), std::vector<std::string>{good});
    QCoreApplication::processEvents();
    EXPECT_TRUE(apptest::WaitWithEvents([&] { return Mentions(messages, "b.ogg"); }));
}
