#include "TFileIntake.h"

#include "FolderWalk.h"
#include "IIntakeProgress.h"
#include "IPlaylistLoader.h"
#include "Paths.h"
#include "PlaylistFormats.h"
#include "PlaylistRules.h"
#include "ProgramOptions.h"
#include "TPlaylist.h"
#include "TSkippedNames.h"

#include <QCoreApplication>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <fstream>

namespace {
// The progress shown for the length of an adding loop, hidden again also when an error ends it.
class TShownWhile {
public:
    TShownWhile(IIntakeProgress& progress, int maximum) : progress_(progress) { progress_.Show(maximum); }
    ~TShownWhile() { progress_.Hide(); }
    TShownWhile(const TShownWhile&) = delete;
    TShownWhile& operator=(const TShownWhile&) = delete;

private:
    IIntakeProgress& progress_;
};
} // namespace

TFileIntake::TFileIntake(QObject* owner, TPlaylist& playlist, IPlaylistLoader& loader, IIntakeProgress& progress,
                         PlayEntry play, ShowMessage show)
    : owner_(owner), playlist_(playlist), loader_(loader), progress_(progress), play_(std::move(play)),
      show_(std::move(show))
{
}

bool TFileIntake::ReplacePlaylist(const std::vector<std::string>& names, Source source)
{
    const bool drop = source == Source::Drop;
    if (!drop && names.empty())
        return false;
    playlist_.Clear();
    TSkippedNames skipped;
    {
        TShownWhile shown(progress_, static_cast<int>(names.size()));
        TakeNames(names, drop ? 0 : 1, PlaylistFormats::IsPlaylistName, skipped);
    }
    if (drop)
        progress_.Step(0);
    ReportSkipped(skipped);
    return playlist_.Count() > 0;
}

bool TFileIntake::HandOver(const std::vector<std::string>& names, Source source)
{
    if (names.empty())
        return false;
    const bool drop = source == Source::Drop;
    const int first = playlist_.Count();
    TSkippedNames skipped;
    {
        TShownWhile shown(progress_, static_cast<int>(names.size()));
        TakeNames(names, drop ? 0 : 1, PlaylistFormats::IsPlaylistName, skipped);
    }
    if (drop)
        progress_.Step(0);
    const bool added = playlist_.Count() > first;
    if (added)
        play_(first);
    ReportSkipped(skipped);
    return added;
}

void TFileIntake::TakeNames(const std::vector<std::string>& names, int firstStep,
                            bool (*isPlaylist)(const std::string&), TSkippedNames& skipped)
{
    const std::string cwd = Paths::GetCurrentDir();
    std::vector<std::string> expanded;
    expanded.reserve(names.size());
    for (const std::string& given : names) {
        std::string name = PlaylistRules::AbsoluteName(given, cwd);
        if (!FolderWalk::IsFolder(name)) {
            expanded.push_back(std::move(name));
            continue;
        }
        FolderWalk::Found found = FolderWalk::PlayableFiles(name);
        for (const std::string& folder : found.unreadable)
            skipped.Add(folder);
        expanded.insert(expanded.end(), std::make_move_iterator(found.files.begin()),
                        std::make_move_iterator(found.files.end()));
    }
    progress_.SetMaximum(static_cast<int>(expanded.size()));
    for (size_t i = 0; i < expanded.size(); ++i) {
        progress_.Step(firstStep + static_cast<int>(i));
        const std::string& name = expanded[i];
        try {
            if (PlaylistRules::IsAudioName(name))
                loader_.AddPlaylistEntry(name);
            else if (isPlaylist(name))
                loader_.LoadPlaylistFile(name, skipped);
        } catch (...) {
            // AddPlaylistEntry changes nothing when it fails, and a playlist keeps the entries
            // read before its failing line: the two lists are in step either way.
            skipped.Add(name);
        }
    }
}

void TFileIntake::ReportSkipped(const TSkippedNames& skipped) const
{
    if (skipped.Empty())
        return;
    QObject* context = owner_ != nullptr ? owner_ : QCoreApplication::instance();
    if (context == nullptr)
        return;
    QTimer::singleShot(0, context, [show = show_, message = skipped.Message()] { show(message); });
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
    params = ProgramOptions::Names(params);
    const std::string cwd = Paths::GetCurrentDir();
    for (std::string& name : params)
        name = PlaylistRules::AbsoluteName(name, cwd);
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
