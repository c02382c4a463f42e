#pragma once
// TLoopTags: loop points written as Vorbis comments by other tools and game engines, read as
// frame numbers at the file's own rate. One set of rules for everything that reads them: the
// engine when it loads a plain file, qvtool import, info and check.
//
// Field names are matched whatever their case, as Vorbis comments define them, in every spelling
// the readers of such files take (RPG engines, SDL_mixer, ZMusic, vgmstream): a start (LOOPSTART,
// LOOP_START, LOOP-START, LOOP_BEGIN, LOOPPOINT, XIPH_CUE_LOOPSTART, COMMENT=LOOPPOINT=n, ...)
// pairs with an end (LOOPEND, LOOP_END, LOOP-END, XIPH_CUE_LOOPEND) or a length (LOOPLENGTH,
// LOOP_LENGTH, LOOP-LENGTH); LOOPDEFS, LP and COMMENT=loop(...) hold "start,end" in one value;
// LOOPMS is a start in milliseconds. A value is frames when it is a whole number, and a time
// (H:M:S.f, M:S.f, S.f) when it has a colon or a point. Tags that say the same thing twice are
// fine; tags that disagree are refused, never guessed between. An end less than a second past
// the last frame is taken as the last frame, with a warning; one further out is refused.
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
    // Each tag used and how its value was read, e.g.
    // "LOOPSTART=1:02.5 (time, frame 2756250) / LOOPLENGTH=441000 (frames)".
    std::string Reading;
    // Set when the end was moved to the last frame: the tag, where it pointed and by how much.
    std::string Warning;
    std::string Message;  // why the tags were refused (Bad): the tags named, and the reason
};

class TLoopTags {
public:
    // The loop the comments ("NAME=value") describe, in a stream of totalFrames frames at `rate`
    // frames a second (either 0 when not known: then times are refused, or only the values
    // themselves are checked).
    static TTaggedLoop Read(const std::vector<std::string>& comments, int64_t totalFrames, int32_t rate);
    // True for a comment that is one of the loop tags read here, whatever its value.
    static bool IsLoopTag(const std::string& comment);
};
