#pragma once
// TFileIntake: files coming in from outside the program, dropped on a window or named on the
// command line. Names are native bytes throughout, as the file system knows them; the few
// steps that meet Qt (its argument list, a drop's URLs) turn Qt's text back into those bytes.
//
// The main window's intake: the names replace the playlist and, when every one was taken in,
// the window plays the first entry. The loading window shows the progress meanwhile.
#include <optional>
#include <string>
#include <vector>

class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QString;
class TForm2;

class TFileIntake {
public:
    // The two ways in differ only in the loading bar and in an empty list: a drop counts the
    // bar from 0 and sets it back to 0 afterwards, and empties the playlist even when it
    // brought no file; the command line counts from 1, leaves the bar at its last position, and
    // without parameters changes nothing.
    enum class Source { Drop, CommandLine };

    // The main window's intake into the playlist window: the playlist cleared, the names taken
    // in order (audio names added, ".m3u" and ".M3U" playlists expanded in place), the first
    // error shown once and the names after it left. True when every name was taken in: the
    // caller then plays the first entry. False also when there is no playlist window.
    static bool ReplacePlaylist(const std::vector<std::string>& names, Source source);
    // Takes names in order into the playlist: audio names added, names isPlaylist accepts
    // expanded as .m3u playlists, others passed over; the loading bar stepped from firstStep.
    // An error stops it and goes on to the caller; the entries taken before it stay.
    static void TakeNames(TForm2& playlist, const std::vector<std::string>& names, int firstStep,
                          bool (*isPlaylist)(const std::string&));

    // The program's parameters, without its own name.
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
};
