#pragma once
// TFileIntake: files coming in from outside the program, dropped on a window, named on the
// command line, or handed over by a second start of the program. Names are native bytes
// throughout, as the file system knows them; the few steps that meet Qt (its argument list, a
// drop's URLs) turn Qt's text back into those bytes.
//
// Every way in takes names the same way (TakeNames): a relative name is made absolute against
// the current directory, so a playlist saved later works from anywhere; a folder adds the
// playable files inside it, through all its subfolders, in natural order; a playlist is
// expanded in place; and a name that cannot be taken in (not Ogg Vorbis, unreadable) is passed
// over while the rest go in. The names passed over are reported once, in one message, when the
// event loop next runs, so the first entry is already playing and nothing (the start-up, a
// second program waiting for its hand-over to be taken) waits for the user to close it.
//
// The intake knows the windows only through what it is given: the playlist it fills, the loader
// that reads one file or one playlist into it, the bar that shows its progress, how the first
// new entry is played and how a message is shown.
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QObject;
class QString;
class IIntakeProgress;
class IPlaylistLoader;
class TPlaylist;
class TSkippedNames;

class TFileIntake {
public:
    // The two ways into the main window differ only in the loading bar and in an empty list: a
    // drop counts the bar from 0 and sets it back to 0 afterwards, and empties the playlist even
    // when it brought no file; the command line counts from 1, leaves the bar at its last
    // position, and without parameters changes nothing.
    enum class Source { Drop, CommandLine };

    // Plays entry index of the playlist from the start, as a double-click on it does.
    using PlayEntry = std::function<void(int index)>;
    // Shows a plain message.
    using ShowMessage = std::function<void(const std::string& message)>;

    // owner: the window the delayed message about skipped names belongs to; a message of a
    // window that is gone is never shown.
    TFileIntake(QObject* owner, TPlaylist& playlist, IPlaylistLoader& loader, IIntakeProgress& progress,
                PlayEntry play, ShowMessage show);

    // The main window's intake into the playlist window: the playlist cleared, the names taken
    // in order (".m3u", ".M3U", ".m3u8" and ".M3U8" playlists expanded). True when the playlist
    // now holds an entry: the caller then plays the first.
    bool ReplacePlaylist(const std::vector<std::string>& names, Source source);

    // Names given at a start, the program's own or a second one handing them over (opening a
    // file from the file manager while the player runs): one rule for both. They are appended,
    // as a drop on the playlist window appends, and the first entry they brought plays at once:
    // the user asked to hear that file, and the list built so far stays. The loading bar counts
    // as source says. The names must already be absolute, made so by the starting process
    // against its own directory (CommandLineNames does it); a relative name would be taken
    // against this process's directory. True when an entry was added and started; nothing
    // changes for an empty list.
    bool HandOver(const std::vector<std::string>& names, Source source = Source::Drop);

    // Takes names in order into the playlist: each made absolute, folders replaced by their
    // playable files, audio names added, names isPlaylist accepts expanded as .m3u playlists,
    // others left out without a message. The progress's maximum becomes the number of names
    // with the folders expanded, and it steps from firstStep. A name that fails goes into
    // skipped and the rest are taken all the same.
    void TakeNames(const std::vector<std::string>& names, int firstStep, bool (*isPlaylist)(const std::string&),
                   TSkippedNames& skipped);
    // The one message about the names an add passed over, shown when the event loop next runs;
    // nothing when none was.
    void ReportSkipped(const TSkippedNames& skipped) const;

    // The program's parameters, without its own name, made absolute.
    static std::vector<std::string> CommandLineNames();
    // The arguments kept in a file of NUL-terminated strings such as /proc/self/cmdline;
    // nothing when the file cannot be read.
    static std::vector<std::string> ReadArgumentFile(const std::string& path);

    // A drag entering or moving over a window that takes files: accepted when it carries URLs.
    static void AcceptFileDrag(QDragEnterEvent* event);
    static void AcceptFileDrag(QDragMoveEvent* event);
    // A drop on such a window: when it carries URLs it is accepted and the local files among
    // them are returned in order (other URLs are left out); nothing when it carries none.
    static std::optional<std::vector<std::string>> AcceptFileDrop(QDropEvent* event);
    // A file name from Qt (a dialog, a URL, an argument) as native bytes.
    static std::string NativeName(const QString& name);

private:
    QObject* owner_;
    TPlaylist& playlist_;
    IPlaylistLoader& loader_;
    IIntakeProgress& progress_;
    PlayEntry play_;
    ShowMessage show_;
};
