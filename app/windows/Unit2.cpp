#include "Unit2.h"

#include "DisplayText.h"
#include "Paths.h"
#include "PlaylistFormats.h"
#include "PlaylistRules.h"
#include "SjisConv.h"
#include "TMessages.h"
#include "TScreenPlace.h"
#include "TDialogWatch.h"
#include "TFileIntake.h"
#include "TSkippedNames.h"
#include "TMemoryStream.h"
#include "Unit1.h"
#include "Unit5.h"
#include "XspfReader.h"
#include "ui_Unit2.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMessageBox>
#include <QListWidget>
#include <QMouseEvent>
#include <QStandardPaths>
#include <algorithm>
#include <exception>
#include <filesystem>

TForm2* Form2 = nullptr;

namespace {
// The folder a dialog last ended in during this run; empty before the first.
QString& LastFolder()
{
    static QString folder;
    return folder;
}

// Where a dialog starts: the folder last used in this run, else the user's music folder, else
// the home folder.
QString StartFolder()
{
    for (const QString& folder : {LastFolder(), QStandardPaths::writableLocation(QStandardPaths::MusicLocation)})
        if (!folder.isEmpty() && QFileInfo(folder).isDir())
            return folder;
    return QDir::homePath();
}

// One of the window's file dialogs: made once, run as often as needed.
QFileDialog* MakeDialog(QWidget* parent, const QString& name, const QString& title, const QString& filter,
                        QFileDialog::AcceptMode accept, QFileDialog::FileMode files)
{
    auto* dialog = new QFileDialog(parent);
    dialog->setObjectName(name);
    dialog->setWindowTitle(title);
    if (!filter.isEmpty())
        dialog->setNameFilter(filter);
    dialog->setAcceptMode(accept);
    dialog->setFileMode(files);
    // The filter's caption is shown as written, without the toolkit adding its patterns again.
    dialog->setOption(QFileDialog::HideNameFilterDetails, true);
    dialog->setDirectory(StartFolder());
    TDialogWatch::WhileShown(dialog);
    return dialog;
}

QStringList RunOpenDialog(QFileDialog* dialog)
{
    dialog->setDirectory(StartFolder());
    if (dialog->exec() != QDialog::Accepted)
        return QStringList();
    LastFolder() = dialog->directory().absolutePath();
    return dialog->selectedFiles();
}

// The formats a playlist is saved in, the first the default: the filter offered, and the
// extension a name typed without one gets while that filter is chosen. A ".m3u" is written in
// UTF-8 as the ".m3u8" is (names are UTF-8 here); its name is for players that know no other.
struct TSaveFormat {
    const char* filter;
    const char* suffix;
};
constexpr TSaveFormat SaveFormats[] = {
    {"M3U8 プレイリスト (*.m3u8)", "m3u8"},
    {"M3U プレイリスト・古いプレーヤー用 (*.m3u)", "m3u"},
    {"PLS プレイリスト (*.pls)", "pls"},
    {"XSPF プレイリスト (*.xspf)", "xspf"},
};

QString SuffixOf(const QString& filter)
{
    for (const TSaveFormat& format : SaveFormats)
        if (filter == QString::fromUtf8(format.filter))
            return QString::fromUtf8(format.suffix);
    return QString::fromUtf8(SaveFormats[0].suffix);
}

bool FastLoad()
{
    return Form1 && Form1->S3 && Form1->S3->isChecked();
}

}

TForm2::TForm2(QWidget* parent) : TSideWindow(parent, &TPlayerSettings::PlaylistShown)
{
    const auto ui = SetUpNamed<Ui::TForm2>(Form2);
    ListBox1 = ui.ListBox1;
    MainMenu1 = ui.MainMenu1;
    F1 = ui.F1;
    MLoadOgg = ui.MLoadOgg;
    MPlayList = ui.MPlayList;
    S1 = ui.S1;
    MDelete = ui.MDelete;
    C1 = ui.C1;
    MUp = ui.MUp;
    MDown = ui.MDown;

    // A tool window with a sizable frame and only a close button; 286 x 206 outside.
    MakeToolWindow(12);
    ListBox1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListBox1->viewport()->installEventFilter(this);
    ListBox1->installEventFilter(this);

    OggLoadDialog.MadeBy([this] {
        return MakeDialog(this, QStringLiteral("OggLoadDialog"), QString(),
                          QStringLiteral("OggVorbisファイル(ogg/qv) (*.ogg *.qv)"), QFileDialog::AcceptOpen,
                          QFileDialog::ExistingFiles);
    });
    // The playlist dialogs show their patterns: which formats are meant is not in the captions.
    ListLoadDialog.MadeBy([this] {
        QFileDialog* dialog = MakeDialog(this, QStringLiteral("ListLoadDialog"), QStringLiteral("プレイリストの読みこみ"),
                                         QString(), QFileDialog::AcceptOpen, QFileDialog::ExistingFiles);
        dialog->setNameFilters({QStringLiteral("プレイリストファイル (*.m3u8 *.m3u *.pls *.xspf)"),
                                QStringLiteral("すべてのファイル (*)")});
        dialog->setOption(QFileDialog::HideNameFilterDetails, false);
        return dialog;
    });
    ListSaveDialog.MadeBy([this] {
        QFileDialog* dialog = MakeDialog(this, QStringLiteral("ListSaveDialog"), QStringLiteral("プレイリストの保存"),
                                         QString(), QFileDialog::AcceptSave, QFileDialog::AnyFile);
        QStringList filters;
        for (const TSaveFormat& format : SaveFormats)
            filters << QString::fromUtf8(format.filter);
        dialog->setNameFilters(filters);
        dialog->setOption(QFileDialog::HideNameFilterDetails, false);
        dialog->setOption(QFileDialog::DontConfirmOverwrite, true);
        return dialog;
    });

    ChooseOggFiles = [this] { return RunOpenDialog(OggLoadDialog); };
    ChoosePlaylists = [this] { return RunOpenDialog(ListLoadDialog); };
    ChooseSaveFile = [this] {
        const QStringList chosen = RunOpenDialog(ListSaveDialog);
        if (chosen.isEmpty())
            return QString();
        // A name that names no format gets the chosen filter's extension ("list" and
        // "list.txt" as ".m3u8" unless another was chosen), so the file is written in the
        // format the user picked. The dialog's own default suffix would be added only to a name
        // without any, and would not follow the filter.
        QString file = chosen.first();
        if (!PlaylistFormats::IsPlaylistName(TFileIntake::NativeName(file)))
            file += QLatin1Char('.') + SuffixOf(ListSaveDialog->selectedNameFilter());
        return file;
    };
    ShowError = [](const std::string& message) { TMessages::ShowException(message); };
    ConfirmReplace = [this](const QString& file) {
        const QString text = QStringLiteral("%1 は既に存在します。\n上書きしますか？").arg(QFileInfo(file).fileName());
        return QMessageBox::question(this, TMessages::Title(), text, QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::No) == QMessageBox::Yes;
    };

    connect(MLoadOgg, &QAction::triggered, this, [this] { MLoadOggClick(); });
    connect(MPlayList, &QAction::triggered, this, [this] { MPlayListClick(); });
    connect(S1, &QAction::triggered, this, [this] { Form1S1Click(); });
    connect(MDelete, &QAction::triggered, this, [this] { MDeleteClick(); });
    connect(C1, &QAction::triggered, this, [this] { C1Click(); });
    connect(MUp, &QAction::triggered, this, [this] { MUpClick(); });
    connect(MDown, &QAction::triggered, this, [this] { MDownClick(); });

    Playlist = std::make_unique<TPlaylist>(Form1->OggFileList, ListBox1);
    Intake = std::make_unique<TFileIntake>(
        this, *Playlist, *this, LoadingProgress,
        [this](int first) { PlayFromStart(first); },
        [](const std::string& message) { TMessages::ShowMessage(message); });
    Form1->PlaylistCursor.SetPlaylist(Playlist.get());
    FormCreate();
}

TForm2::~TForm2()
{
    if (Form1 != nullptr)
        Form1->PlaylistCursor.SetPlaylist(nullptr);
}

template <class F>
void TForm2::Guarded(F&& body)
{
    try {
        body();
    } catch (const std::exception& e) {
        if (ShowError)
            ShowError(e.what());
    } catch (...) {
        if (ShowError)
            ShowError(std::string());
    }
}

void TForm2::ResetPlayback()
{
    Form1->Sequence.Reset();
}

void TForm2::PlayFromStart(int index)
{
    if (Form1 == nullptr)
        return;
    ResetPlayback();
    Form1->OggStream.Stop();
    Form1->PlayEntry(index);
}

std::string TForm2::DisplayName(const std::string& path, const std::string& listedTitle)
{
    if (!FastLoad()) {
        std::string title = Form1->OggStream.GetTitle(path);
        if (!title.empty())
            return title;
    }
    return Utf8ToSjis(listedTitle.empty() ? Paths::ExtractFileName(path) : listedTitle);
}

void TForm2::AddPlaylistEntry(const std::string& path)
{
    AddListedEntry(path, std::string());
}

void TForm2::AddListedEntry(const std::string& path, const std::string& title)
{
    // The name comes first: a lookup that fails leaves both lists as they were.
    const std::string name = DisplayName(path, title);
    Playlist->Add(path, name);
}

void TForm2::LoadPlaylistFile(const std::string& path, TSkippedNames& skipped)
{
    TMemoryStream file;
    file.LoadFromFile(path);
    const std::string bytes(reinterpret_cast<const char*>(file.Memory()), static_cast<size_t>(file.Size()));
    const std::string folder = Paths::ExtractFilePath(PlaylistRules::AbsoluteName(path, Paths::GetCurrentDir()));
    using PlaylistFormats::TKind;
    const TKind kind = PlaylistFormats::KindOf(path);
    const std::vector<PlaylistRules::TListedEntry> listed =
        kind == TKind::Xspf ? XspfReader::Entries(bytes) : PlaylistFormats::TextEntries(kind, bytes);
    if (Form5)
        TForm5::SetMaximum(Form5->LoadingBar2, static_cast<int>(listed.size()));
    for (size_t b = 0; b < listed.size(); ++b) {
        TForm5::StepBar(&TForm5::LoadingBar2, static_cast<int>(b));
        const std::string entry = PlaylistRules::ResolveListed(listed[b], folder);
        try {
            AddListedEntry(entry, listed[b].title);
        } catch (...) {
            skipped.Add(entry);
        }
    }
    if (Playlist->Selected() == -1 && Playlist->Count() > 0)
        Playlist->Select(0);
}

void TForm2::LoadPlaylistFile(const std::string& path)
{
    TSkippedNames skipped;
    LoadPlaylistFile(path, skipped);
    Intake->ReportSkipped(skipped);
}

void TForm2::FormCreate()
{
    setAcceptDrops(true);
    // On the first run the record puts it where the main window is: it goes to the nearest free
    // place, beside the main window.
    TScreenPlace::Restore(this, QPoint(Form1->Settings.PlaylistLeft, Form1->Settings.PlaylistTop), {Form1});
    ShowAsRecorded();
}

void TForm2::dropEvent(QDropEvent* event)
{
    if (const auto names = TFileIntake::AcceptFileDrop(event))
        WMDropFiles(*names);
}

bool TForm2::eventFilter(QObject* watched, QEvent* event)
{
    // Only the left button's double-click plays; the right one opens the menu twice, the middle
    // one does nothing.
    if (watched == ListBox1->viewport() && event->type() == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
        ListBox1DblClick();
    if (watched == ListBox1 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Delete)
            MDeleteClick();
        else if (key == Qt::Key_Return || key == Qt::Key_Enter)
            ListBox1DblClick();
        if (key == Qt::Key_Delete || key == Qt::Key_Return || key == Qt::Key_Enter)
            return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TForm2::WMDropFiles(const std::vector<std::string>& names)
{
    Guarded([&] {
        // Whatever happens on the way, the entries added so far stay, entry 0 becomes the
        // selection when there was none, and the loading window goes away.
        struct Finish {
            TPlaylist& list;
            ~Finish()
            {
                if (list.Selected() == -1 && list.Count() > 0)
                    list.Select(0);
            }
        } finish{*Playlist};
        TSkippedNames skipped;
        {
            TForm5::TShown shown(&TForm5::LoadingBar, static_cast<int>(names.size()));
            Intake->TakeNames(names, 0, PlaylistFormats::IsPlaylistName, skipped);
        }
        Intake->ReportSkipped(skipped);
    });
}

void TForm2::ListBox1DblClick()
{
    Guarded([&] {
        const int s = Playlist->Selected();
        if (s >= 0)
            PlayFromStart(s);
    });
}

void TForm2::MLoadOggClick()
{
    Guarded([&] {
        const QStringList files = ChooseOggFiles ? ChooseOggFiles() : QStringList();
        if (files.isEmpty())
            return;
        struct Finish {
            TPlaylist& list;
            ~Finish()
            {
                // Entry 0 becomes current even while another entry plays; the song goes on.
                if (list.Count() > 0)
                    list.Select(0);
            }
        } finish{*Playlist};
        TakeChosen(files, [this](const std::string& name, TSkippedNames&) {
            if (PlaylistRules::IsAudioName(name))
                AddPlaylistEntry(name);
        });
    });
}

void TForm2::TakeChosen(const QStringList& files, const std::function<void(const std::string&, TSkippedNames&)>& take)
{
    TSkippedNames skipped;
    {
        TForm5::TShown shown(&TForm5::LoadingBar, static_cast<int>(files.size()));
        for (qsizetype b = 0; b < files.size(); ++b) {
            TForm5::StepBar(&TForm5::LoadingBar, static_cast<int>(b));
            const std::string name = TFileIntake::NativeName(files[b]);
            try {
                take(name, skipped);
            } catch (...) {
                skipped.Add(name);
            }
        }
    }
    Intake->ReportSkipped(skipped);
}

void TForm2::MPlayListClick()
{
    Guarded([&] {
        const QStringList files = ChoosePlaylists ? ChoosePlaylists() : QStringList();
        if (files.isEmpty())
            return;
        Playlist->Clear();
        Form1->OggStream.Stop();
        ResetPlayback();
        TakeChosen(files, [this](const std::string& name, TSkippedNames& skipped) { LoadPlaylistFile(name, skipped); });
    });
}

void TForm2::Form1S1Click()
{
    Guarded([&] {
        const QString file = ChooseSaveFile ? ChooseSaveFile() : QString();
        if (file.isEmpty())
            return;
        // The dialog's own question is off (it would ask in the toolkit's words); this one asks
        // also when the name was typed, and a slip of the mouse destroys no playlist.
        // Written in the format its name says; a name that says none gets ".m3u8", before the
        // question, so that the question names the file that would be replaced.
        const std::string name = PlaylistFormats::SaveName(TFileIntake::NativeName(file));
        std::error_code ec;
        if (std::filesystem::exists(std::filesystem::symlink_status(name, ec)) &&
            !(ConfirmReplace && ConfirmReplace(QFile::decodeName(QByteArray::fromStdString(name)))))
            return;
        PlaylistFormats::Save(name, Playlist->Paths());
    });
}

void TForm2::MDeleteClick()
{
    Guarded([&] {
        const std::vector<int> rows = Playlist->SelectedRows();
        if (rows.empty())
            return;
        const int c = Playlist->Current();
        const bool currentGoes = std::binary_search(rows.begin(), rows.end(), c);
        if (currentGoes)
            ShowNothingPlays();
        const bool playing = !currentGoes && c >= 0 && (Form1->OggStream.IsPlaying() || Form1->OggStream.IsPaused());
        // Where the current entry ends up: the same piece, or when it goes, the entry that came
        // after it (the first one after the end), so that Play goes on from there.
        int next = c;
        if (currentGoes) {
            next = c + 1;
            while (std::binary_search(rows.begin(), rows.end(), next))
                ++next;
        }
        const auto newIndex = [&rows](int old) {
            return old - static_cast<int>(std::lower_bound(rows.begin(), rows.end(), old) - rows.begin());
        };
        for (auto r = rows.rbegin(); r != rows.rend(); ++r)
            Playlist->Delete(*r);
        const int count = Playlist->Count();
        const int oldCount = count + static_cast<int>(rows.size());
        // Past the end it goes round to the first entry, as Next does.
        const int current = next < 0 || count == 0 ? -1 : next < oldCount ? newIndex(next) : 0;
        Playlist->Select(current);
        // The highlight takes the first deleted row's place (or the new last row), so that a
        // second Delete takes the next row; the piece that plays is never lined up for it.
        int highlight = std::min(rows.front(), count - 1);
        if (playing && highlight == current)
            highlight = highlight + 1 < count ? highlight + 1 : highlight - 1;
        Playlist->Highlight(highlight >= 0 ? std::vector<int>{highlight} : std::vector<int>{});
    });
}

void TForm2::MoveSelection(int step)
{
    Guarded([&] {
        const std::vector<int> rows = Playlist->SelectedRows();
        if (rows.empty())
            return;
        const std::vector<int> order = TPlaylist::StepOrder(Playlist->Count(), rows, step);
        // While a piece plays the current entry stays that piece, so that Next goes on from it;
        // otherwise one entry moved becomes the current one as well.
        const bool going = Form1->OggStream.IsPlaying() || Form1->OggStream.IsPaused();
        if (rows.size() == 1 && !going) {
            if (order[static_cast<size_t>(rows.front())] != rows.front())
                Playlist->Move(rows.front(), rows.front() + step);
            return;
        }
        Playlist->Reorder(order);
    });
}

void TForm2::MUpClick()
{
    MoveSelection(-1);
}

void TForm2::MDownClick()
{
    MoveSelection(1);
}

void TForm2::ShowNothingPlays()
{
    Form1->OggStream.Stop();
    ResetPlayback();
    Form1->ShowNothingPlays();
}

void TForm2::C1Click()
{
    Guarded([&] {
        ShowNothingPlays();
        Playlist->Clear();
    });
}
