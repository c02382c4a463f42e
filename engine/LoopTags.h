#pragma once
// TLoopTags: loop points written as Vorbis comments by other tools and game engines, read as
// frame numbers at the file's own rate. One set of rules for everything that reads them: the
// engine when it loads a plain file, qvtool import and qvtool info.
//
// Field names are matched whatever their case, as Vorbis comments define them. A start (LOOPSTART,
// LOOP_START, LOOP_BEGIN) pairs with an end (LOOPEND, LOOP_END) or a length (LOOPLENGTH,
// LOOP_LENGTH) of any of these spellings; LOOPDEFS and LP hold "start,end" in one value. Tags
// that say the same thing twice are fine; tags that disagree are refused, never guessed between.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct TTaggedLoop {
    enum Kind { None, Found, Bad };
    Kind Result = None;
    int64_t Start = 0;
    // The first frame not played before the jump; none: the loop runs to the last frame (only
    // when the length of the stream is not known, else it is that length).
    std::optional<int64_t> End;
    std::string Form;     // the tags it came from, as written, e.g. "LOOPSTART/LOOPLENGTH"
    std::string Message;  // why the tags were refused (Bad): the tags named, and the reason
};

class TLoopTags {
public:
    // The loop the comments ("NAME=value") describe, in a stream of totalFrames frames (0 when
    // its length is not known: then only the values themselves are checked).
    static TTaggedLoop Read(const std::vector<std::string>& comments, int64_t totalFrames);
    // True for a comment that is one of the loop tags read here, whatever its value.
    static bool IsLoopTag(const std::string& comment);
};
