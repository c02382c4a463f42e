// The playlist window: adding, deleting, moving, clearing, dropping, .m3u playlists, and the
// two lists (OggFileList with paths, ListBox1 with display names) staying in step throughout.
#include "AppTest.h"
#include "DisplayText.h"
#include "OggFixture.h"
#include "Paths.h"
#include "TPlaylist.h"
#include "TQtTranslation.h"
#include "Unit1.h"
#include "Unit2.h"
#include "Unit5.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QStandardPaths>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QDropEvent>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QProgressBar>
#include <QUrl>
#include <QWindow>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>

using fixture::MakeOgg;
using WindowsTest = apptest::AppTest;

namespace {

const std::string kTestSjis = "\x83\x65\x83\x58\x83\x67";  // "テスト" in Shift-JIS

struct Songs {
    std::vector<std::string> titled;  // "Song 0" .. "Song 7"
    std::string japanese;             // title "テスト"
    std::string untitled;             // no title comment
    std::string japaneseName;         // "曲.ogg", no title
    std::string longSong;             // long enough to be playing during a test
    std::string bad;                  // ".ogg" that is not Ogg Vorbis
};

const Songs& S()
{
    static const Songs songs = [] {
        Songs s;
        for (int i = 0; i < 8; ++i)
            s.titled.push_back(MakeOgg("song" + std::to_string(i) + ".ogg", 0.3, "Song " + std::to_string(i)));
        s.japanese = MakeOgg("jp.ogg", 0.3, "テスト");
        s.untitled = MakeOgg("untitled.ogg", 0.3);
        s.japaneseName = MakeOgg("曲.ogg", 0.3);
        s.longSong = MakeOgg("long.ogg", 20.0, "Long");
        s.bad = fixture::MakeFile("bad.ogg", "this is not an Ogg Vorbis stream at all, just text");
        return s;
    }();
    return songs;
}

QStringList Q(const std::vector<std::string>& names)
{
    QStringList out;
    for (const std::string& n : names)
        out << QString::fromStdString(n);
    return out;
}

void WriteText(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

TPlaylist& PL()
{
    return *Form2->Playlist;
}

std::vector<std::string> Entries()
{
    return PL().Paths();
}

// Both lists hold the same number of entries, each name shown as its Shift-JIS bytes say.
void ExpectInStep()
{
    ASSERT_EQ(Form1->OggFileList->count(), Form2->ListBox1->count());
    for (int i = 0; i < PL().Count(); ++i) {
        EXPECT_EQ(Form2->ListBox1->item(i)->text(), SjisToQString(PL().Name(i))) << i;
        EXPECT_EQ(Form1->OggFileList->item(i)->text().toStdString(), PL().Path(i)) << i;
    }
}

void AddFiles(const std::vector<std::string>& files)
{
    Form2->ChooseOggFiles = [files] { return Q(files); };
    Form2->MLoadOggClick();
}

// A plain click on row (-1: on no row): that row alone is highlighted.
void Click(int row)
{
    Form2->ListBox1->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
}

// Ctrl+clicks: exactly rows are highlighted.
void Highlight(const std::vector<int>& rows)
{
    Click(-1);
    for (const int r : rows)
        Form2->ListBox1->item(r)->setSelected(true);
}

// A drag of the highlighted rows that Qt's list makes: one model move per row, each landing
// after the one moved before it.
void DragHighlightedTo(int row)
{
    QAbstractItemModel* model = Form2->ListBox1->model();
    std::vector<QPersistentModelIndex> rows;
    for (const int r : PL().SelectedRows())
        rows.emplace_back(model->index(r, 0));
    for (const QPersistentModelIndex& index : rows) {
        if (row != index.row() && row != index.row() + 1)
            model->moveRow(QModelIndex(), index.row(), QModelIndex(), row);
        row = index.row() + 1;
    }
}

void Play(int index)
{
    PL().Select(index);
    ASSERT_TRUE(Form1->OggStream.Play(PL().Path(index), false));
    ASSERT_TRUE(Form1->OggStream.IsPlaying());
}

}

TEST_F(WindowsTest, AddedFilesShowTheirTitleOrTheirFileName)
{
    const std::string missing = fixture::TempDir() + "/missing.ogg";
    const std::string mixed = fixture::WriteTemp(fixture::ReadFile(S().untitled), "mixed.Ogg");
    // Each step of the bar, and whether the loading window showed it.
    std::vector<std::pair<int, bool>> steps;
    const auto watch = QObject::connect(Form5->LoadingBar, &QProgressBar::valueChanged,
                                        [&steps](int v) { steps.emplace_back(v, Form5->isVisible()); });
    AddFiles({S().japanese, S().untitled, missing, fixture::TempDir() + "/notes.txt", mixed, S().japaneseName});
    QObject::disconnect(watch);
    EXPECT_EQ(steps, (std::vector<std::pair<int, bool>>{{1, true}, {2, true}, {3, true}, {4, true}, {5, true}}));

    EXPECT_EQ(Entries(), (std::vector<std::string>{S().japanese, S().untitled, missing, mixed, S().japaneseName}));
    EXPECT_EQ(PL().Name(0), kTestSjis);
    EXPECT_EQ(Form2->ListBox1->item(0)->text(), "テスト");
    EXPECT_EQ(PL().Name(1), "untitled.ogg");
    EXPECT_EQ(PL().Name(2), "missing.ogg");
    EXPECT_EQ(PL().Name(3), "mixed.Ogg");     // any case of the extension
    EXPECT_EQ(PL().Name(4), "\x8B\xC8.ogg");  // a file name is shown in Shift-JIS as well
    EXPECT_EQ(Form2->ListBox1->item(4)->text(), "曲.ogg");
    ExpectInStep();
    EXPECT_EQ(PL().Current(), 0);
    EXPECT_EQ(PL().Selected(), 0);
    // One step per chosen file, the last position kept, the window gone.
    EXPECT_EQ(Form5->LoadingBar->maximum(), 6);
    EXPECT_EQ(Form5->LoadingBar->value(), 5);
    EXPECT_FALSE(Form5->isVisible());
    EXPECT_TRUE(messages.empty());
}

TEST_F(WindowsTest, FastLoadTakesTheFileNameWithoutLookingInside)
{
    Form1->S3->setChecked(true);
    AddFiles({S().japanese, S().bad});  // the bad file is not even opened
    ASSERT_EQ(PL().Count(), 2);
    EXPECT_EQ(PL().Name(0), "jp.ogg");
    EXPECT_EQ(PL().Name(1), "bad.ogg");
    EXPECT_TRUE(messages.empty());
}

TEST_F(WindowsTest, CancelledDialogsChangeNothing)
{
    AddFiles({S().titled[0]});
    const std::string saved = fixture::TempDir() + "/untouched.m3u";
    WriteText(saved, "old\r\n");
    Form2->ChooseOggFiles = [] { return QStringList(); };
    Form2->ChoosePlaylists = [] { return QStringList(); };
    Form2->ChooseSaveFile = [] { return QString(); };
    Form2->MLoadOggClick();
    Form2->MPlayListClick();
    Form2->Form1S1Click();
    EXPECT_EQ(Entries(), std::vector<std::string>{S().titled[0]});
    EXPECT_EQ(fixture::ReadText(saved), "old\r\n");
}

TEST_F(WindowsTest, AddingWhileASongPlaysSelectsEntry0AndTheSongGoesOn)
{
    AddFiles({S().titled[0], S().titled[1], S().longSong});
    Play(2);
    Click(1);
    AddFiles({S().titled[3], S().titled[4]});
    EXPECT_EQ(PL().Count(), 5);
    EXPECT_EQ(PL().Current(), 0);
    EXPECT_EQ(PL().Selected(), 0);
    EXPECT_TRUE(Form1->OggStream.IsPlaying());
    EXPECT_EQ(Form1->OggStream.GetFileName(), S().longSong);
    ExpectInStep();
}

TEST_F(WindowsTest, DeletingThePlayingEntryStopsAndSelectsTheOneInItsPlace)
{
    AddFiles({S().titled[0], S().longSong, S().titled[2]});
    Play(1);
    Form1->LoopsDone = 3;
    Form1->CurrentExt = ".ogg";
    Form1->LastSecond = 5.0f;
    Form2->MDeleteClick();
    EXPECT_FALSE(Form1->OggStream.IsPlaying());
    EXPECT_EQ(Form1->LoopsDone, 0);
    EXPECT_EQ(Form1->CurrentExt, "");
    EXPECT_EQ(Form1->LastSecond, 0.0f);
    EXPECT_EQ(Entries(), (std::vector<std::string>{S().titled[0], S().titled[2]}));
    EXPECT_EQ(PL().Current(), 1);
    EXPECT_EQ(PL().Selected(), 1);
    ExpectInStep();

    // The last entry, current: entry 0 is selected.
    Form2->MDeleteClick();
    EXPECT_EQ(Entries(), std::vector<std::string>{S().titled[0]});
    EXPECT_EQ(PL().Current(), 0);
    EXPECT_EQ(PL().Selected(), 0);

    // The only entry: nothing is selected.
    Form2->MDeleteClick();
    EXPECT_EQ(PL().Count(), 0);
    EXPECT_EQ(PL().Current(), -1);
    EXPECT_EQ(PL().Selected(), -1);
    ExpectInStep();

    // And with nothing left, delete does nothing.
    Form2->MDeleteClick();
    EXPECT_TRUE(messages.empty());
}

TEST_F(WindowsTest, DeletingAnotherEntryKeepsTheCurrentSong)
{
    // Of the eight songs with the fifth current: a row before it, a row after it, and a row
    // with no current entry (there stays none). The highlight takes the deleted row's place.
    const struct {
        int current;
        int row;
        int after;      // the current entry afterwards
        int fifthSong;  // where the fifth song stands afterwards
    } cases[] = {{4, 2, 3, 3}, {4, 6, 4, 4}, {-1, 1, -1, 3}};
    for (const auto& c : cases) {
        Form2->C1Click();
        AddFiles(S().titled);
        PL().Select(c.current);
        Click(c.row);
        Form2->MDeleteClick();
        EXPECT_EQ(PL().Count(), 7);
        EXPECT_EQ(PL().Current(), c.after) << "row " << c.row;
        EXPECT_EQ(PL().Selected(), c.row) << "row " << c.row;
        EXPECT_EQ(PL().Path(c.fifthSong), S().titled[4]) << "row " << c.row;
        ExpectInStep();
    }
    EXPECT_EQ(PL().Path(6), S().titled[7]);
}

TEST_F(WindowsTest, DeletingHighlightedRowsSparesThePlayingPieceOrStopsItForTheNextOne)
{
    // Eight entries, the long song fourth and playing; the rows deleted, what stays (old rows),
    // where the highlight goes, and the piece Play starts afterwards (old row; -1: it goes on).
    const struct {
        std::vector<int> rows;
        std::vector<int> left;
        int highlight;
        int plays;
    } cases[] = {
        {{2}, {0, 1, 3, 4, 5, 6, 7}, 3, -1},           // the row in its place is the playing one
        {{1, 5}, {0, 2, 3, 4, 6, 7}, 1, -1},
        {{3, 4, 6}, {0, 1, 2, 5, 7}, 3, 5},            // the playing one goes: the next left plays
        {{3, 4, 5, 6, 7}, {0, 1, 2}, 2, 0},            // none after it: round to the first
        {{0, 1, 2, 4, 5, 6, 7}, {3}, -1, -1},          // only the playing one is left
    };
    for (const auto& c : cases) {
        Form2->C1Click();
        std::vector<std::string> files = S().titled;
        files[3] = S().longSong;
        AddFiles(files);
        Play(3);
        Form1->LTitle->setText("[4] Long");
        Form1->CurrentExt = ".ogg";
        Highlight(c.rows);
        Form2->MDeleteClick();
        std::vector<std::string> left;
        for (const int r : c.left)
            left.push_back(files[static_cast<size_t>(r)]);
        EXPECT_EQ(Entries(), left) << c.rows.size();
        EXPECT_EQ(PL().SelectedRows(), c.highlight < 0 ? std::vector<int>{} : std::vector<int>{c.highlight})
            << c.rows.size();
        ExpectInStep();
        if (c.plays < 0) {
            EXPECT_EQ(Form1->OggStream.GetFileName(), S().longSong) << c.rows.size();
            EXPECT_TRUE(Form1->OggStream.IsPlaying()) << c.rows.size();
            EXPECT_EQ(PL().Path(PL().Current()), S().longSong) << c.rows.size();
            continue;
        }
        EXPECT_FALSE(Form1->OggStream.IsPlaying());
        EXPECT_EQ(Form1->LTitle->text(), "");
        EXPECT_EQ(Form1->LTime->text(), "0:00.0");
        EXPECT_EQ(Form1->CurrentExt, "");
        Form1->bPlayClick(Form1->bPlay);
        EXPECT_EQ(Form1->OggStream.GetFileName(), files[static_cast<size_t>(c.plays)]) << c.rows.size();
    }
    EXPECT_TRUE(messages.empty());
}

TEST_F(WindowsTest, UpDownAndDragsMoveEveryHighlightedRowAndThePlayingPieceStaysCurrent)
{
    enum Way { Up, Down, Drag };
    const struct {
        std::vector<int> rows;
        Way way;
        int dropAt;  // for a drag: the row the rows land before
        std::vector<int> order;
        std::vector<int> highlight;
    } cases[] = {
        {{1, 2}, Up, 0, {1, 2, 0, 3, 4, 5, 6, 7}, {0, 1}},
        {{0, 1, 5}, Up, 0, {0, 1, 2, 3, 5, 4, 6, 7}, {0, 1, 4}},  // the block at the top stays
        {{1, 3}, Down, 0, {0, 2, 1, 4, 3, 5, 6, 7}, {2, 4}},
        {{0, 3, 4}, Down, 0, {1, 0, 2, 5, 3, 4, 6, 7}, {1, 4, 5}},
        {{2, 6, 7}, Down, 0, {0, 1, 3, 2, 4, 5, 6, 7}, {3, 6, 7}},
        {{1, 5}, Drag, 7, {0, 2, 3, 4, 6, 1, 5, 7}, {5, 6}},
        {{4, 6}, Drag, 0, {4, 6, 0, 1, 2, 3, 5, 7}, {0, 1}},
        {{2}, Drag, 8, {0, 1, 3, 4, 5, 6, 7, 2}, {7}},
    };
    for (const auto& c : cases) {
        Form2->C1Click();
        AddFiles(S().titled);
        PL().Select(2);
        Highlight(c.rows);
        if (c.way == Up)
            Form2->MUpClick();
        else if (c.way == Down)
            Form2->MDownClick();
        else
            DragHighlightedTo(c.dropAt);
        std::vector<std::string> order;
        for (const int r : c.order)
            order.push_back(S().titled[static_cast<size_t>(r)]);
        EXPECT_EQ(Entries(), order) << c.way << " " << c.rows.size();
        EXPECT_EQ(PL().SelectedRows(), c.highlight) << c.way << " " << c.rows.size();
        EXPECT_EQ(PL().Path(PL().Current()), S().titled[2]) << c.way << " " << c.rows.size();
        ExpectInStep();
    }
}

TEST_F(WindowsTest, UpAndDownMoveTheSelectedEntryInBothListsAndMakeItCurrent)
{
    AddFiles(S().titled);
    std::vector<std::string> before = Entries();

    Click(0);
    Form2->MUpClick();
    Click(7);
    Form2->MDownClick();
    PL().Select(-1);
    Form2->MUpClick();
    Form2->MDownClick();
    EXPECT_EQ(Entries(), before);

    PL().Select(2);  // another entry is current
    Click(5);
    Form2->MUpClick();
    std::swap(before[4], before[5]);
    EXPECT_EQ(Entries(), before);
    EXPECT_EQ(PL().Current(), 4);
    EXPECT_EQ(PL().Selected(), 4);
    EXPECT_EQ(PL().Name(4), "Song 5");
    ExpectInStep();

    Form2->MDownClick();
    Form2->MDownClick();
    std::swap(before[4], before[5]);
    std::swap(before[5], before[6]);
    EXPECT_EQ(Entries(), before);
    EXPECT_EQ(PL().Current(), 6);
    EXPECT_EQ(PL().Name(6), "Song 5");
    ExpectInStep();
}

TEST_F(WindowsTest, SavedPlaylistLoadsBackWithTheSamePathsAndFreshNames)
{
    AddFiles({S().titled[0], S().japanese, S().untitled, S().titled[1]});
    Play(1);
    const std::string file = fixture::TempDir() + "/saved.m3u";
    Form2->ChooseSaveFile = [file] { return QString::fromStdString(file); };
    Form2->Form1S1Click();
    const std::vector<std::string> paths = Entries();
    EXPECT_EQ(fixture::ReadText(file), paths[0] + "\r\n" + paths[1] + "\r\n" + paths[2] + "\r\n" + paths[3] + "\r\n");

    // Loading replaces the list, stops the song, plays nothing and selects entry 0.
    Form1->S3->setChecked(true);  // the names are looked up anew: now from the file names
    Form2->ChoosePlaylists = [file] { return QStringList{QString::fromStdString(file)}; };
    Form2->MPlayListClick();
    EXPECT_EQ(Entries(), paths);
    EXPECT_EQ(PL().Name(1), "jp.ogg");
    EXPECT_FALSE(Form1->OggStream.IsPlaying());
    EXPECT_EQ(PL().Current(), 0);
    EXPECT_EQ(PL().Selected(), 0);
    EXPECT_EQ(Form5->LoadingBar2->maximum(), 4);
    EXPECT_EQ(Form5->LoadingBar2->value(), 3);
    EXPECT_FALSE(Form5->isVisible());
    ExpectInStep();

    // Two playlists at once are read one after the other.
    Form2->ChoosePlaylists = [file] { return QStringList{QString::fromStdString(file), QString::fromStdString(file)}; };
    Form2->MPlayListClick();
    EXPECT_EQ(PL().Count(), 8);
    EXPECT_EQ(Form5->LoadingBar->maximum(), 2);
}

TEST_F(WindowsTest, AnEmptyPlaylistSavesAnEmptyFileOverTheOldOne)
{
    const std::string file = fixture::TempDir() + "/empty.m3u";
    WriteText(file, "something.ogg\r\n");
    Form2->ChooseSaveFile = [file] { return QString::fromStdString(file); };
    Form2->ConfirmReplace = [](const QString&) { return true; };  // the user agrees to replace it
    Form2->Form1S1Click();
    EXPECT_TRUE(std::filesystem::exists(file));
    EXPECT_EQ(fixture::ReadText(file), "");
}

TEST_F(WindowsTest, SavingAsksBeforeReplacingAnExistingFile)
{
    namespace fs = std::filesystem;
    const std::string dir = fixture::FreshDir("pl-save");
    Form1->S3->setChecked(true);
    Form2->ChooseOggFiles = [] { return QStringList{QStringLiteral("/music/a.ogg"), QStringLiteral("/music/b.qv")}; };
    Form2->MLoadOggClick();
    std::vector<QString> asked;
    bool answer = false;
    Form2->ConfirmReplace = [&](const QString& file) {
        asked.push_back(file);
        return answer;
    };
    auto saveAs = [&](const std::string& file) {
        Form2->ChooseSaveFile = [file] { return QString::fromStdString(file); };
        Form2->Form1S1Click();
    };

    // A new name: written without a question.
    saveAs(dir + "new.m3u");
    EXPECT_TRUE(asked.empty());
    EXPECT_EQ(fixture::ReadText(dir + "new.m3u"), "/music/a.ogg\r\n/music/b.qv\r\n");

    // An existing file, or a link to one: asked; "No" keeps it whole, "Yes" replaces it.
    WriteText(dir + "old.m3u", "/keep/me.ogg\r\n");
    fs::create_symlink("old.m3u", dir + "link.m3u8");
    saveAs(dir + "old.m3u");
    saveAs(dir + "link.m3u8");
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0].toStdString(), dir + "old.m3u");
    EXPECT_EQ(fixture::ReadText(dir + "old.m3u"), "/keep/me.ogg\r\n");
    answer = true;
    saveAs(dir + "link.m3u8");
    EXPECT_EQ(asked.size(), 3u);
    EXPECT_TRUE(fs::is_symlink(dir + "link.m3u8"));
    EXPECT_EQ(fixture::ReadText(dir + "old.m3u"), "/music/a.ogg\r\n/music/b.qv\r\n");
    EXPECT_TRUE(messages.empty());

    // The playlist dialogs offer ".m3u8" beside ".m3u".
    for (QFileDialog* dialog : {Form2->ListLoadDialog.get(), Form2->ListSaveDialog.get()})
        EXPECT_TRUE(dialog->nameFilters().join(' ').contains(QStringLiteral("*.m3u8"))) << dialog->objectName().toStdString();
}

TEST_F(WindowsTest, TheSaveDialogOffersEveryFormatAndANameWithoutOneGetsTheChosenOnes)
{
    QFileDialog* save = Form2->ListSaveDialog;
    const QStringList filters = save->nameFilters();
    ASSERT_EQ(filters.size(), 4);
    // Nothing is written here; the dialog ends where every first dialog of a run starts (the
    // music folder, else home), so that it leaves no folder of its own for the next one.
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    const QString folder = QDir(!music.isEmpty() && QDir(music).exists() ? music : QDir::homePath()).absolutePath() + '/';
    struct Case {
        int filter;
        const char* typed;
        const char* saved;
    };
    const Case cases[] = {
        {0, "list", "list.m3u8"},  {1, "old", "old.m3u"},        {2, "radio", "radio.pls"},
        {3, "web", "web.xspf"},    {2, "notes.txt", "notes.txt.pls"}, {2, "mine.m3u8", "mine.m3u8"},
    };
    for (const Case& c : cases) {
        QTimer::singleShot(0, save, [&] {
            save->setDirectory(folder);
            save->selectNameFilter(filters[c.filter]);
            // Typed, as a user does; the dialog keeps the last name in its field.
            if (auto* name = save->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                name->setText(QString::fromUtf8(c.typed));
            static_cast<QDialog*>(save)->accept();
        });
        EXPECT_EQ(Form2->ChooseSaveFile().toStdString(), (folder + QString::fromUtf8(c.saved)).toStdString());
    }
}

TEST_F(WindowsTest, QtsOwnDialogTextsAreJapanese)
{
    const TQtTranslation texts;
    ASSERT_TRUE(texts.Installed()) << "no qtbase_ja.qm in " << TQtTranslation::Folder().toStdString();
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    for (const char* name : {"lookInLabel", "fileNameLabel", "fileTypeLabel"}) {
        const auto* label = dialog.findChild<QLabel*>(QLatin1String(name));
        ASSERT_NE(label, nullptr) << name;
        // Japanese text: no Latin letter left but the accelerator's.
        QString text = label->text();
        text.remove(QRegularExpression(QStringLiteral("\\(&.\\)|&")));
        EXPECT_FALSE(text.contains(QRegularExpression(QStringLiteral("[A-Za-z]")))) << name << ": " << text.toStdString();
    }
    const auto* buttons = dialog.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    ASSERT_TRUE(buttons && buttons->button(QDialogButtonBox::Cancel));
    EXPECT_FALSE(buttons->button(QDialogButtonBox::Cancel)->text().contains(QStringLiteral("Cancel")));
}

TEST_F(WindowsTest, PlaylistLinesAreFoundBesideTheListAndShowTheirListedTitles)
{
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(fixture::TempDir()) / "rel";
    const fs::path elsewhere = fs::path(fixture::TempDir()) / "started-here";
    fs::create_directories(dir / "sub");
    fs::create_directories(elsewhere / "sub");
    fs::copy_file(S().titled[3], dir / "sub" / "a.ogg", fs::copy_options::overwrite_existing);
    fs::copy_file(S().untitled, dir / "sub" / "plain.Ogg", fs::copy_options::overwrite_existing);
    fs::copy_file(S().titled[1], elsewhere / "sub" / "other.ogg", fs::copy_options::overwrite_existing);
    const std::string list = (dir / "list.m3u").string();
    WriteText(list,
              "#EXTM3U\r\n"
              "#EXTINF:12,Someone - x.ogg\r\n"  // an information line, and the next entry's title
              "sub/plain.Ogg\r\n"
              "\r\n"
              "cover.png\r\n"
              "#EXTINF:5,Not for a titled file\n"
              "  sub/a.ogg\t\n"
              "sub/other.ogg");                    // only where the player was started
    const std::string cwd = Paths::GetCurrentDir();
    ASSERT_TRUE(Paths::SetCurrentDir(elsewhere.string()));
    Form2->LoadPlaylistFile(list);
    Paths::SetCurrentDir(cwd);

    const std::string in = (dir / "sub").string() + "/";
    EXPECT_EQ(Entries(), (std::vector<std::string>{in + "plain.Ogg", in + "a.ogg", in + "other.ogg"}));
    EXPECT_EQ(PL().Name(0), "Someone - x.ogg");
    EXPECT_EQ(PL().Name(1), "Song 3");
    EXPECT_EQ(PL().Name(2), "other.ogg");  // missing beside the list: named, fails when played
    EXPECT_EQ(PL().Selected(), 0);
    EXPECT_EQ(Form5->LoadingBar2->maximum(), 3);
    ExpectInStep();
}

TEST_F(WindowsTest, ClearingStopsAndResetsTitleAndTimes)
{
    AddFiles({S().longSong, S().titled[0]});
    Play(0);
    Form1->LTitle->setText("[1] Long");
    Form1->LTime->setText("0:03.2");
    Form1->LTotalTime->setText("0:20.0");
    Form1->CurrentExt = ".ogg";
    Form1->LoopsDone = 2;
    Form2->C1Click();
    EXPECT_EQ(PL().Count(), 0);
    EXPECT_EQ(Form2->ListBox1->count(), 0);
    EXPECT_FALSE(Form1->OggStream.IsPlaying());
    EXPECT_EQ(Form1->LTitle->text(), "");
    EXPECT_EQ(Form1->LTime->text(), "0:00.0");
    EXPECT_EQ(Form1->LTotalTime->text(), "0:00.0");
    EXPECT_EQ(Form1->CurrentExt, "");
    EXPECT_EQ(Form1->LoopsDone, 0);
}

TEST_F(WindowsTest, DroppedFilesAreAppendedInOrderAndPlaylistsOfAnyCaseExpanded)
{
    AddFiles({S().titled[0]});
    PL().Select(-1);
    const std::string small = fixture::TempDir() + "/drop.m3u";
    WriteText(small, S().titled[2] + "\r\n" + S().titled[3] + "\r\n");
    const std::string capital = fixture::TempDir() + "/drop.M3U";
    WriteText(capital, S().titled[7] + "\r\n");
    Form2->WMDropFiles({S().titled[1], small, S().titled[4], capital, fixture::TempDir() + "/x.txt"});

    EXPECT_EQ(Entries(), (std::vector<std::string>{S().titled[0], S().titled[1], S().titled[2], S().titled[3],
                                                 S().titled[4], S().titled[7]}));
    EXPECT_EQ(PL().Selected(), 0);
    EXPECT_EQ(PL().Current(), 0);
    EXPECT_FALSE(Form1->OggStream.IsPlaying());
    EXPECT_EQ(Form5->LoadingBar->maximum(), 5);
    EXPECT_EQ(Form5->LoadingBar->value(), 4);
    EXPECT_FALSE(Form5->isVisible());
    ExpectInStep();

    // A drop from the desktop goes the same way; the selection stays where it was.
    Click(2);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(S().titled[6])),
                  QUrl::fromLocalFile(QString::fromStdString(S().titled[5]))});
    Form2->show();
    const QPoint overList = Form2->ListBox1->mapTo(Form2, QPoint(20, 20));
    QDragEnterEvent enter(overList, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Form2->windowHandle(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(overList, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Form2->windowHandle(), &drop);
    EXPECT_TRUE(drop.isAccepted());
    ASSERT_EQ(PL().Count(), 8);
    EXPECT_EQ(PL().Path(6), S().titled[6]);
    EXPECT_EQ(PL().Path(7), S().titled[5]);
    EXPECT_EQ(PL().Selected(), 2);
    ExpectInStep();
}

TEST_F(WindowsTest, DoubleClickWithoutSelectionDoesNothing)
{
    Form1->LoopsDone = 4;
    Form2->ListBox1DblClick();
    AddFiles({S().titled[0], S().titled[1]});
    PL().Select(-1);
    Form2->ListBox1DblClick();
    EXPECT_EQ(Form1->LoopsDone, 4);
    EXPECT_FALSE(Form1->OggStream.IsPlaying());
    EXPECT_TRUE(messages.empty());
}

TEST_F(WindowsTest, ABadNameWhileAddingIsPassedOverAndTheRestAreAdded)
{
    AddFiles({S().titled[0], S().bad, S().titled[1]});
    EXPECT_EQ(Entries(), (std::vector<std::string>{S().titled[0], S().titled[1]}));
    EXPECT_FALSE(Form5->isVisible());
    EXPECT_EQ(PL().Selected(), 0);
    ExpectInStep();
    QApplication::processEvents();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "読み込めないファイルを1個飛ばしました。\nbad.ogg");

    // A playlist that cannot be read is passed over in a drop; what comes after it is added.
    messages.clear();
    const std::string gone = fixture::TempDir() + "/gone.m3u";
    Form2->WMDropFiles({S().titled[2], gone, S().titled[3]});
    EXPECT_EQ(Entries(), (std::vector<std::string>{S().titled[0], S().titled[1], S().titled[2], S().titled[3]}));
    EXPECT_FALSE(Form5->isVisible());
    ExpectInStep();
    QApplication::processEvents();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("gone.m3u"), std::string::npos);

    // A bad line inside a playlist, and a second playlist that cannot be read: the good lines
    // are all in, and the two are named in one message.
    messages.clear();
    const std::string list = fixture::TempDir() + "/withbad.m3u";
    WriteText(list, S().titled[4] + "\r\n" + S().bad + "\r\n" + S().titled[5] + "\r\n");
    Form2->ChoosePlaylists = [list, gone] { return QStringList{QString::fromStdString(list), QString::fromStdString(gone)}; };
    Form2->MPlayListClick();
    EXPECT_EQ(Entries(), (std::vector<std::string>{S().titled[4], S().titled[5]}));
    EXPECT_FALSE(Form5->isVisible());
    ExpectInStep();
    QApplication::processEvents();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "読み込めないファイルを2個飛ばしました。\nbad.ogg\ngone.m3u");
}

TEST_F(WindowsTest, ListsStayInStepThroughAnyMixOfCommands)
{
    Form1->S3->setChecked(true);  // names from file names: no file is opened
    std::mt19937 rng(7);
    std::vector<std::string> model;
    int added = 0;
    for (int step = 0; step < 600; ++step) {
        const int n = PL().Count();
        const int op = static_cast<int>(rng() % 8);
        // One row clicked, or now and then a few Ctrl+clicked.
        std::vector<int> rows;
        if (n > 0 && rng() % 3 == 0) {
            for (int r = 0; r < n; ++r)
                if (rng() % 3 == 0)
                    rows.push_back(r);
            Highlight(rows);
        } else {
            const int pick = n > 0 ? static_cast<int>(rng() % static_cast<unsigned>(n + 1)) - 1 : -1;
            Click(pick);
            if (pick >= 0)
                rows.push_back(pick);
        }
        const auto highlighted = [&](int r) { return std::find(rows.begin(), rows.end(), r) != rows.end(); };
        if (op <= 2) {
            const std::string name = "/music/e" + std::to_string(added++) + (rng() % 2 ? ".ogg" : ".QV");
            AddFiles({name});
            model.push_back(name);
        } else if (op == 3) {
            Form2->MDeleteClick();
            for (auto r = rows.rbegin(); r != rows.rend(); ++r)
                model.erase(model.begin() + *r);
        } else if (op == 4 || op == 5) {
            // Each run of highlighted rows trades places with the row beside it, when there is one.
            const bool up = op == 4;
            up ? Form2->MUpClick() : Form2->MDownClick();
            for (int a = 0; a < n;) {
                int b = a;
                while (b < n && highlighted(b))
                    ++b;
                if (b > a && up && a > 0)
                    std::rotate(model.begin() + a - 1, model.begin() + a, model.begin() + b);
                else if (b > a && !up && b < n)
                    std::rotate(model.begin() + a, model.begin() + b, model.begin() + b + 1);
                a = b > a ? b : a + 1;
            }
        } else if (op == 6) {
            // A drag: the highlighted rows land together before the row dropped on.
            const int at = static_cast<int>(rng() % static_cast<unsigned>(n + 1));
            DragHighlightedTo(at);
            std::vector<std::string> moved, rest, restAfter;
            for (int r = 0; r < n; ++r)
                (highlighted(r) ? moved : r < at ? rest : restAfter).push_back(model[static_cast<size_t>(r)]);
            rest.insert(rest.end(), moved.begin(), moved.end());
            rest.insert(rest.end(), restAfter.begin(), restAfter.end());
            model = rest;
        } else if (rng() % 8 == 0) {
            Form2->C1Click();
            model.clear();
        }
        ASSERT_EQ(Entries(), model) << "step " << step << " op " << op;
        for (int i = 0; i < PL().Count(); ++i)
            ASSERT_EQ(PL().Name(i), Paths::ExtractFileName(PL().Path(i))) << "step " << step;
        ASSERT_EQ(Form1->OggFileList->count(), Form2->ListBox1->count());
        ASSERT_LT(PL().Current(), PL().Count());
        ASSERT_LT(PL().Selected(), PL().Count());
    }
    EXPECT_TRUE(messages.empty());
}

TEST_F(WindowsTest, PlsAndXspfAreReadAsOtherPlayersWriteThemAndSavedByTheirNames)
{
    namespace fs = std::filesystem;
    const std::string dir = fixture::FreshDir("pl-formats");
    fs::create_directories(dir + "music/sub");
    fs::copy_file(MakeOgg("pf-untitled.ogg", 0.3), dir + "music/sub/a b.ogg");
    fs::copy_file(MakeOgg("pf-titled.ogg", 0.3, "Tagged"), dir + "music/c.ogg");
    // As VLC writes XSPF: file:// locations, relative ones percent-encoded, titles, extensions.
    WriteText(dir + "music/vlc.xspf",
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<playlist xmlns=\"http://xspf.org/ns/0/\" xmlns:vlc=\"http://www.videolan.org/vlc/playlist/ns/0/\" version=\"1\">\n"
              " <title>Playlist</title>\n <trackList>\n"
              "  <track><location>sub/a%20b.ogg</location><title>Listed A</title><duration>300</duration>\n"
              "   <extension application=\"http://www.videolan.org/vlc/playlist/0\"><vlc:id>0</vlc:id></extension></track>\n"
              "  <track><location>file://" + dir + "music/c.ogg</location><title>Not shown</title></track>\n"
              "  <track><location>http://radio.example/live.ogg</location></track>\n"
              "  <track><location>cover.jpg</location></track>\n"
              " </trackList>\n</playlist>\n");
    // As Audacious writes PLS.
    WriteText(dir + "music/auda.pls",
              "[playlist]\nNumberOfEntries=2\nFile1=file://" + dir + "music/sub/a%20b.ogg\nTitle1=From PLS\nFile2=c.ogg\n");
    Form2->LoadPlaylistFile(dir + "music/vlc.xspf");
    Form2->LoadPlaylistFile(dir + "music/auda.pls");
    const std::string a = dir + "music/sub/a b.ogg", c = dir + "music/c.ogg";
    EXPECT_EQ(Form2->Playlist->Paths(), (std::vector<std::string>{a, c, a, c}));
    EXPECT_EQ(Form2->Playlist->Name(0), "Listed A");
    EXPECT_EQ(Form2->Playlist->Name(1), "Tagged");  // the file's own title comes first
    EXPECT_EQ(Form2->Playlist->Name(2), "From PLS");

    // Saved in the format the name says, and read back the same; any other name gets ".m3u8".
    Form2->ConfirmReplace = [](const QString&) { return true; };
    for (const char* name : {"out.xspf", "out.pls", "out.m3u8", "out.txt"}) {
        Form2->ChooseSaveFile = [&] { return QString::fromStdString(dir + name); };
        Form2->Form1S1Click();
        const std::string saved = dir + name + (std::string(name) == "out.txt" ? ".m3u8" : "");
        ASSERT_TRUE(fs::exists(saved)) << saved;
        TPlaylist& list = *Form2->Playlist;
        const std::vector<std::string> before = list.Paths();
        list.Clear();
        Form2->LoadPlaylistFile(saved);
        EXPECT_EQ(list.Paths(), before) << name;
    }
    EXPECT_FALSE(fs::exists(dir + "out.txt"));
    EXPECT_TRUE(messages.empty());
}
