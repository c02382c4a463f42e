#pragma once
// TOggData: one open Ogg Vorbis file, rendered block by block in the output format (OutputFormat.h),
// with loop points, whole-file repeat, a fading volume, master and channel volumes, a 256-band
// equaliser and analysis of the sound being heard.
#include "FFTLib.h"
#include "LoopTags.h"
#include "OutputFormat.h"
#include "TMemoryStream.h"
#include "TLoopHistory.h"
#include "TRenderSnapshot.h"
#include "TStringList.h"
#include "wuvorbis.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

class TChannelDownmix;
class TRateConverter;

enum TPLAYSTATE : int32_t { psNONE = 0, psSTOP = 1, psPLAY = 2, psLOOP = 3 };

#pragma pack(push, 1)
struct TLRWavePack {
    int16_t L;
    int16_t R;
};
#pragma pack(pop)
using PLRWavePack = TLRWavePack*;

// A fading level: 1445068800 is full volume, 0 silence; Step is the change per frame.
// Written whole by the caller's thread while the render thread reads and updates it.
struct TOggVolume {
    std::atomic<int32_t> Now{0};
    std::atomic<int32_t> Target{0};
    std::atomic<int32_t> Step{0};
};

// One equaliser gain (1.0 leaves the band unchanged).
struct TOggEQ {
    std::atomic<float> Now{1.0f};
    std::atomic<float> Target{1.0f};
    std::atomic<float> Step{0.0f};
};

#pragma pack(push, 1)
struct TOggLoop {
    float LoopStart;
    float LoopEnd;
    int32_t RepeatCount;
};

struct TOstraOggHed {
    char Magic[8];
    TOggLoop Loops[16];
};
#pragma pack(pop)
static_assert(sizeof(TOggLoop) == 12, "a loop entry is 12 bytes on file");
static_assert(sizeof(TOstraOggHed) == 200, "the container header is 200 bytes");

class TOggData {
public:
    static constexpr int32_t FullVolume = 1445068800;

    explicit TOggData(int32_t renderBufferSize);
    virtual ~TOggData();
    TOggData(const TOggData&) = delete;
    TOggData& operator=(const TOggData&) = delete;

    // Loading (closes what is open first).
    void Init();
    bool LoadOgg(const std::string& fileName);
    bool LoadOgg(TMemoryStream* stream);  // ownership passes on success and on decoder failure
    void GetOggInfo();
    static void LPPCharToStringList(TStringList& list, char** strings);
    // The comment lines of a file's first stream, appended to comments, read from its headers
    // alone: the file is read once from the front (behind a container header) and only as far
    // as the stream's three headers reach, never into memory whole. False when no regular file of
    // that name exists (comments untouched). Throws what LoadOgg throws for the same file: ERangeError
    // when the headers are not those of a readable Ogg Vorbis stream, EFileError when the file
    // cannot be read or is too large to be played.
    static bool ReadComments(const std::string& fileName, TStringList& comments);
    // The render memory: two halves, rendered into in turn.
    uint8_t* Memory();
    int32_t MemorySize();
    uint8_t* Offset();
    bool SeekAble();

    // The looped-Ogg container.
    bool LoadLoop(TMemoryStream* stream);
    bool SaveOstraOgg(const std::string& fileName);

    // Rendering and play state.
    void Rendering();
    int32_t RenderingToPointer(void* dest, int32_t bytes);
    // The one step by which both the stream player and qvtool render make their output, so the
    // two cannot differ. Under the render lock: clears the next half of the render memory (a
    // block that decodes nothing, because the piece has ended or a fade-out has paused it, is
    // then silence rather than the sound of two blocks before), renders it (Rendering), and
    // copies it to first and then to second (the part of a range that wraps around a ring
    // buffer's end; empty when there is none). With silent the destination gets zeros instead;
    // the block is rendered all the same, so the decoder, the loops and the fades move on.
    // Returns the bytes of the block that hold the piece's sound: less than a block where the
    // piece ended inside it, 0 where it had already ended or a finished fade paused it.
    int32_t RenderBlock(std::span<uint8_t> first, std::span<uint8_t> second, bool silent);
    // After a seek, the sound rendered but not yet heard is out of date: renders the last bytes
    // of what the blocks have rendered (up to where the newest block ends) again, from the
    // decoder's place, by RenderBlock's step, into the same place of the render memory and to
    // first and second. The newest block stays the newest and keeps its render tick, so the
    // analysis of the output still finds the sound being heard, now the new sound. BlockMarks
    // then describe this range, from its start. Returns the bytes of it that hold the piece's
    // sound, as RenderBlock does.
    int32_t RenderAgain(int32_t bytes, std::span<uint8_t> first, std::span<uint8_t> second, bool silent);
    // The decoder's output can be rendered: one to eight channels (mixed down to two) at any rate
    // libsoxr takes (converted to 44100 Hz; 44100 Hz streams are used as they are). A stream that
    // cannot be rendered ends at its first block, as a piece that has no data. For a chained
    // stream this is the link being played (the first until playback moves on); a link that
    // cannot be rendered ends the piece where it begins.
    bool Renderable() const;
    bool IsBusy();
    void Play(bool loop);
    void Pause();
    void Stop();
    void TimeSeek(float seconds);
    // The decoder's place, read without waiting for a block being rendered (a display may ask at
    // any moment): while one is, the place where the last finished block, seek, stop or load left it.
    float TimeTell();
    // The decoder's place now, waiting for a block being rendered to finish: for what must start
    // from the exact place (a seek relative to it, a pause).
    float DecoderTime();
    // The time of the sound being heard, from TimeTell and the last block's render tick, taken
    // together without waiting for a block being rendered.
    float GetOutputTime();
    // Where the sound of the last rendered block comes from in the piece: from each mark's byte
    // offset in the block on, the piece's time runs on from the mark's time. The first mark is
    // at offset 0 and each loop jump inside the block adds one. Empty when the block held no
    // sound. (On converted streams a jump is marked where the source jumped, not where the
    // converter's delay lets it be heard: some milliseconds early.)
    // Each mark also carries the loop jumps made and the passes among them (LoopJumps,
    // LoopPasses) from its offset on, so that a player counts the passes it has let be heard.
    struct TTimeMark {
        int32_t Offset;
        float Time;
        int64_t Jumps = 0;
        int64_t Passes = 0;
    };
    std::vector<TTimeMark> BlockMarks();
    TPLAYSTATE GetPlayState();
    void SetVolume(float volume);
    void SetVolume(float volume, float fadeSeconds);
    float GetNowVolume();
    float GetSetVolume();
    // The fade's change of level per frame; 0 when no fade is under way.
    int32_t GetVolumeStep();
    void SetMasterVolume(float v);
    float GetMasterVolume();
    void SetChannelVolume(float v);
    float GetChannelVolume();
    int32_t GetLoopCount(int32_t index);
    void SetLoopCount(int32_t index, int32_t value);
    // The loop jumps the loop step has made since the piece started (or was stopped), and the
    // passes among them: the jumps of the endless entries when the table has any (finite repeats
    // are then part of the piece), else every jump. Both as the decoder stands, ahead of what is
    // heard; BlockMarks place them in the sound.
    int64_t LoopJumps();
    int64_t LoopPasses();
    // The table holds an endless entry that playback can reach: the piece loops until stopped.
    bool EndlessLoop();
    // A step of seconds (back when negative) along the piece as it is heard, loops unrolled,
    // from the time `from` heard after `jumpsHeard` jumps: forward across a loop end that has
    // jumps left it lands inside the loop, the jump made (and counted); back across a jump it
    // returns into the pass before it, the jump undone. Jumps rendered after jumpsHeard are
    // undone first: they were never heard. Seeks the decoder there and returns Landed with the
    // place in landed; BeforeStart or PastEnd, nothing moved, when the step leaves the piece;
    // Refused, nothing moved, for a place or step that is no number.
    enum class TStep { Landed, BeforeStart, PastEnd, Refused };
    TStep StepListening(double from, int64_t jumpsHeard, double seconds, double& landed);
    // A place of the piece's own time `to` in the pass being heard (the desktop's absolute
    // position): the passes heard stay as they are. A place past the end of a loop that has
    // jumps left is Refused, nothing moved: what follows a loop is heard only after its last
    // pass. Otherwise as StepListening.
    TStep PlaceListening(double from, int64_t jumpsHeard, double to, double& landed);

    // Equaliser.
    void ApplyEQ(PLRWavePack buffer, int32_t bytes);
    void SetEQ(int32_t index, float gain);
    void SetEQ(int32_t index, float gain, float seconds);
    void SetEQ4(float b0, float b1, float b2, float b3, float seconds);
    void SetEQ8(const float bands[8], float seconds);
    void SetEQ16(const float bands[16], float seconds);
    float GetNowEQ(int32_t index);
    float GetSetEQ(int32_t index);
    // A gain's change per frame; 0 when it is not moving (or the index is outside the table).
    float GetEQStep(int32_t index);
    bool GetEQ();
    static float Hermite(float p0, float p1, float p2, float p3, float t, float a, float b);
    static float Harmite2(const float* points, float x, int32_t n);

    // Output analysis. The level and the spectrum never wait for a block being rendered: they
    // then read the render memory as the last finished block left it (TRenderSnapshot).
    int32_t GetOutputWavePos();
    float GetOutputSum();
    float GetOutputSum(int32_t channel);
    void GetOutputGraph(float* values);

    // What loading found out and callers read: the stream, its information and loop table (which
    // a caller may edit before SaveOstraOgg), and where and when the last block was rendered, from
    // which the analysis finds the sound being heard. Flags shared between the caller's thread
    // and the render thread are atomic. Channels and Rate are those of the first link of a chained
    // stream; PcmBytes is the length of the whole piece as stereo 16-bit frames at Rate (for a
    // single stream, or links that share its rate, the decoder's own frame count), so that
    // PcmBytes / 4 / Rate is the piece's length whatever rates its links have.
    std::atomic<bool> Loaded{false};
    TMemoryStream* FileData = nullptr;  // owned; handed to the decoder state, which frees it
    int64_t DataStart = 0;
    std::atomic<int32_t> RenderOffset{0};
    std::atomic<uint64_t> RenderTick{0};
    int32_t Channels = 0;
    int32_t Rate = 0;
    std::string Vendor;
    std::unique_ptr<TStringList> CommentList;
    float TotalTime = 0.0f;
    int64_t PcmBytes = 0;
    TOggLoop Loops[16]{};
    // Loop entries met at whole frames of the stream's own rate rather than at their float times:
    // the loop of a plain file's tags, which then lands on the tagged frame exactly, also where
    // no 32-bit time would. An entry is met by its frames only while Loops[i] still holds the
    // times they were made with, so a caller that writes its own times into the table is obeyed.
    struct TFrameLoop {
        int64_t Start = -1;  // the frame played after the jump; -1: met by its times
        int64_t End = -1;    // the first frame not played before it
        float ForStart = 0.0f;
        float ForEnd = 0.0f;
    };
    TFrameLoop LoopFrames[16]{};
    // What the loop tags of a plain file said (None for a container, whose table is its own);
    // when they give a loop, it is entry 0, endless, as qvtool import would write it.
    TTaggedLoop LoopTags;
    // The entry is met by its frames (see LoopFrames).
    bool ByFrames(int32_t index) const;

private:
    // The loop step over n bytes of stereo frames at the stream's own rate at p: decodes up to
    // each due loop end, jumps, and decodes on. Returns the bytes decoded.
    int32_t RenderSource(uint8_t* p, int32_t n);
    // For a stream at another rate: fills n bytes at 44100 Hz at p through the rate converter,
    // taking source frames from RenderSource as it needs them. Returns the bytes of sound. When
    // the decoder has moved on to another link, gives out what the converter still holds of the
    // old one and switches the path to the new one (UseLink) before it returns.
    int32_t RenderConverted(uint8_t* p, int32_t n);
    // Reads the loop tags of a plain file just opened and makes entry 0 of them.
    void TakeLoopTags();
    // Fills n bytes at p link by link: each pass renders on the path of one link (directly or
    // through RenderConverted) until the block is full, the piece ends or the decoder moves on
    // to another link, whose path the next pass uses. Returns the bytes of sound.
    int32_t RenderLinks(uint8_t* p, int32_t n);
    // Chooses the path for the stream just opened: the converter and the downmix its first link
    // needs.
    void SetUpConversion();
    // Reads the format of every link of the stream just opened into Links.
    void ReadLinks();
    // The piece's length in frames at Rate (see PcmBytes); negative when it is not known.
    int64_t PieceFrames();
    // Sets the output path up for link (its rate converter and downmix). A link that cannot be
    // rendered (unknown, damaged, of a format the path cannot take) gets a path that reads
    // nothing, so that the piece ends where it begins. Returns whether it can be rendered.
    bool UseLink(int32_t link);
    // The link the decoder stands in after a seek; NextLink when that cannot be told.
    int32_t DecoderLink();
    // Every decoder seek goes through here: it drops the frames read ahead of a link change and
    // notes the link the decoder lands in. Returns the decoder's result.
    int32_t SourceSeek(double seconds);
    // After a seek into a later link: puts the decoder on the frame asked for where it landed
    // after it.
    void LandOn(double seconds);
    // The decoder's time, less the frames read ahead of a link change and not yet rendered.
    double SourceTell();
    // The decoder's next frames belong to another link than the one the path is set up for.
    bool LinkPending() const { return NextLink != PathLink; }
    // Whether a loop end that FillBlock did not reach before the data went on into another link
    // lies in that link (to be reached there) rather than at the seam (to be taken there).
    bool EndPastSeam(double loopEnd);
    // ReadBlock's result when the next frames belong to another link: nothing was read for the
    // current path, and RenderSource stops so that the path can change.
    static constexpr int32_t LinkChange = -1000;
    // Forgets the frames between the decoder and the output (a seek, a stop, a new start).
    void ResetConversion();
    // The data has ended or can no longer be decoded: the piece ends (at once on the direct
    // path, once the converter has given out its last frames on the converted one); with rewind
    // the decoder goes back to the start for a later Play.
    void EndOfData(bool rewind);
    // Bytes per second of stereo frames at the current link's own rate.
    int32_t SourceBytesPerSecond() const;
    // Decodes len bytes at dest, handling the end of the data; stopAtEnd ends the range early
    // (returning what was decoded) instead of restarting or stopping, for the part before a jump.
    // Also ends early, the rest zeroed, where the data goes on into another link.
    int32_t FillBlock(uint8_t* dest, int32_t len, bool stopAtEnd = false);
    // One decoder read of at most m bytes of stereo output at dest (mono doubled, more channels
    // mixed down), at the current link's own rate; LinkChange where the next frames belong to
    // another link.
    int32_t ReadBlock(uint8_t* dest, int32_t m);
    void ApplyVolume(PLRWavePack frames, int32_t count);
    // The step RenderBlock and RenderAgain share, over [from, from + bytes) of the render memory
    // (a ring: the range may run over its end): clears the range, renders into it, copies it to
    // first and second and publishes it. newBlock stamps the render tick: the range is a new
    // block, which the analysis measures the heard place from.
    int32_t RenderRange(int32_t from, int32_t bytes, std::span<uint8_t> first, std::span<uint8_t> second,
                        bool silent, bool newBlock);
    // RenderingToPointer's work; newBlock as for RenderRange.
    int32_t RenderInto(void* dest, int32_t bytes, bool newBlock);
    // A range of RenderRange that runs over the end of the render memory is rendered here first.
    std::vector<uint8_t> WrapScratch;
    // Sets a fading level (OggVolume, an entry of OggEQ): with fade, a fade to value by step per
    // frame from where it stands; without, value at once. The caller holds GainLock.
    template <typename Level, typename T>
    static void SetLevel(Level& level, T value, bool fade, T step)
    {
        if (!fade)
            level.Now.store(value);
        level.Target.store(value);
        level.Step.store(fade ? step : T{});
    }

    // The render state, changed only through the operations above: they keep its rules (limits,
    // fades, the locks) that a direct write would bypass. The decoder state is guarded by
    // RenderLock.
    wu_OggVorbis_File VorbisFile{};
    std::atomic<bool> LoopPlay{false};
    std::atomic<bool> Playing{false};
    std::unique_ptr<TMemoryStream> RenderBuffer;
    std::atomic<bool> Busy{false};
    std::atomic<int32_t> LoopCounter[16]{};
    // The jumps made, for the passes and for steps back across a jump (under RenderLock).
    TLoopHistory History;
    // TimeSeek keeps History (StepListening's own seek) instead of forgetting it.
    bool seekKeepsHistory_ = false;
    // Whether a jump of entry counts as a pass (see LoopPasses).
    bool CountsAsPass(int32_t entry);
    // The counters of the entries as they stand.
    TLoopHistory::TCounters Counters();
    // Where entry i loops, in seconds of the piece; false for an entry a step does not follow
    // (one that never jumps, cannot be reached, or is of no length).
    bool LoopSpan(int32_t i, double& start, double& end);
    // Jumps after jumpsHeard undone on copies of History and the counters.
    void UndoUnheard(int64_t jumpsHeard, TLoopHistory& history, TLoopHistory::TCounters& counters);
    TOggVolume OggVolume;
    std::atomic<int32_t> MasterVolume{0};
    std::atomic<int32_t> ChannelVolume{0};
    float EQHistoryR[256]{};
    float EQHistoryL[256]{};
    TOggEQ OggEQ[256];
    std::unique_ptr<TFFT> EQFFT;
    std::unique_ptr<TFFT> GraphFFT;

    // Held across a block's rendering, the decoder teardown in Init and the seek in TimeSeek,
    // so that none of them sees the decoder state half-changed by another thread.
    std::recursive_mutex RenderLock;

    // The links of a chained stream (one for a single stream, and for a stream that cannot seek,
    // whose later links cannot be told apart): each link's format and the record the decoder
    // describes it with, by which the link the decoder stands in is found after a seek.
    struct TLink {
        int32_t Rate = 0;
        int32_t Channels = 0;
        const wu_vorbis_info* Info = nullptr;
    };
    std::vector<TLink> Links;
    // Link link's entry; one of no format (and no record) for a link not known.
    TLink LinkFormat(int32_t link) const;
    // The link the output path is set up for and its format, and the link the decoder's next
    // frames belong to (told by each read and each seek). They differ from the moment the
    // decoder moves on until the old path has given out what it holds.
    int32_t PathLink = 0;
    int32_t PathRate = 0;
    int32_t PathChannels = 0;
    int32_t NextLink = 0;
    // Samples as the decoder gives them, in the layout of RawLink, before they become stereo
    // frames: RawAt .. RawEnd are those read but not yet rendered. Only the read that finds a
    // link change leaves any here (it is kept for the new path).
    std::vector<int16_t> Raw;
    size_t RawAt = 0;
    size_t RawEnd = 0;
    int32_t RawLink = 0;
    // Decodes up to bytes into Raw; returns the decoder's result and sets link to the link read.
    int32_t DecodeRaw(int32_t bytes, int32_t& link);
    std::unique_ptr<TChannelDownmix> Downmix;
    // The converted path (under RenderLock): the converter, the source frames decoded but not
    // yet taken by it (SourceAt .. SourceEnd of SourceFrames), whether the current RenderSource
    // call met the end of the data, and whether the source has ended and only the converter's
    // last frames are left to give out.
    std::unique_ptr<TRateConverter> Converter;
    std::vector<int16_t> SourceFrames;
    std::vector<TTimeMark> blockMarks_;
    // A loop jump sourceBytes into what RenderSource writes, to the piece's time `to`.
    void MarkJump(int32_t sourceBytes, double to);
    // Output bytes of the current block made before the source chunk being decoded, so that a
    // jump in that chunk can be marked in block bytes.
    int32_t markBase_ = 0;
    // Output bytes of the current block made before the current link's pass (RenderLinks).
    int32_t passAt_ = 0;
    // The length of what the current render writes: jumps at or past it are not in it.
    int32_t markLimit_ = 0;
    size_t SourceAt = 0;
    size_t SourceEnd = 0;
    bool DataEnded = false;
    bool SourceEnded = false;
    // What the caller's thread reads of the rendering (TimeTell, GetOutputTime, the analysis);
    // published under RenderLock.
    std::unique_ptr<TRenderSnapshot> Published;
    // Publishes the place of the decoder and of the last block; with the ring, also the render
    // memory from `from` for `bytes` bytes. The caller holds RenderLock.
    void PublishPosition(bool ring = false, int64_t from = 0, int64_t bytes = 0);
    // The analysis's place in the render memory for a render tick and offset (-1: none).
    static int32_t WavePos(int64_t ringBytes, uint64_t tick, int32_t offset);
    // The place of the decoder and of the last block: read under RenderLock when no block is
    // being rendered, else as the last finished block published it.
    TRenderSnapshot::TPosition PositionNow();
    // The 256 frames from the place being heard, in the same way; false when no place is heard.
    bool HeardFrames(TLRWavePack* frames);
    // Held across the spectrum's transform, which two callers of GetOutputGraph would share.
    std::mutex GraphLock;

    // Guards the read-modify-write of the fade level and the equaliser gains, which the caller's
    // thread sets while the render thread advances them.
    std::mutex GainLock;
};
