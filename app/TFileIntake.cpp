#include "TFileIntake.h"

#include "PlaylistRules.h"
#include "TApplication.h"
#include "TPlaylist.h"
#include "Unit2.h"
#include "Unit5.h"

#include <QCoreApplication>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QProgressBar>
#include <QUrl>
#include <fstream>

bool TFileIntake::ReplacePlaylist(const std::vector<std::string>& names, Source source)
{
    const bool drop = source == Source::Drop;
    if ((!drop && names.empty()) || Form2 == nullptr || !Form2->Playlist)
        return false;
    Form2->Playlist->Clear();
    if (Form5 != nullptr) {
        TForm5::SetMaximum(Form5->LoadingBar, static_cast<int>(names.size()));
        Form5->ShowLoading();
    }
    bool whole = true;
    try {
        TakeNames(*Form2, names, drop ? 0 : 1, PlaylistRules::IsM3uName);
    } catch (...) {
        // The entries before the failing name stay (both lists in step); the error is shown
        // once, with the loading window already gone.
        if (Form5 != nullptr)
            Form5->HideLoading();
        TApplication::HandleException();
        whole = false;
    }
    if (Form5 != nullptr) {
        Form5->HideLoading();
        if (drop)
            TForm5::Step(Form5->LoadingBar, 0);
    }
    return whole;
}

void TFileIntake::TakeNames(TForm2& playlist, const std::vector<std::string>& names, int firstStep,
                            bool (*isPlaylist)(const std::string&))
{
    for (size_t i = 0; i < names.size(); ++i) {
        if (Form5 != nullptr)
            TForm5::Step(Form5->LoadingBar, firstStep + static_cast<int>(i));
        const std::string& name = names[i];
        if (PlaylistRules::IsAudioName(name))
            playlist.AddPlaylistEntry(name);
        else if (isPlaylist(name))
            playlist.LoadPlaylistFile(name);
    }
}

std::vector<std::string> TFileIntake::CommandLineNames()
{
    const QStringList args = QCoreApplication::arguments();
    std::vector<std::string> params;
    for (qsizetype i = 1; i < args.size(); ++i)
        params.push_back(NativeName(args[i]));
    // Qt hands the parameters over as text, which loses the bytes of a name that is not valid
    // in the locale's encoding. The process's own record has them exactly; it is taken when Qt
    // took none of the parameters for itself (then both lists are the same length).
    const std::vector<std::string> raw = ReadArgumentFile("/proc/self/cmdline");
    if (raw.size() == static_cast<size_t>(args.size()) && !raw.empty())
        params.assign(raw.begin() + 1, raw.end());
    return params;
}

std::vector<std::string> TFileIntake::ReadArgumentFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::vector<std::string> args;
    for (std::string arg; std::getline(file, arg, '\0');)
        args.push_back(arg);
    return args;
}

void TFileIntake::AcceptFileDrag(QDragEnterEvent* event)
{
    AcceptFileDrag(static_cast<QDragMoveEvent*>(event));
}

void TFileIntake::AcceptFileDrag(QDragMoveEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

std::optional<std::vector<std::string>> TFileIntake::AcceptFileDrop(QDropEvent* event)
{
    if (!event->mimeData()->hasUrls())
        return std::nullopt;
    std::vector<std::string> names;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile())
            names.push_back(NativeName(url.toLocalFile()));
    event->acceptProposedAction();
    return names;
}

std::string TFileIntake::NativeName(const QString& name)
{
    const QByteArray bytes = QFile::encodeName(name);
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}
