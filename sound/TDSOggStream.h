#pragma once
// Plays one Ogg file at a time: a two-second looping buffer with notifications at its start and
// middle, refilled one second at a time by a stream thread from a TOggData.
#include "DirectSound.h"
#include "IStreamPlayer.h"
#include "OggDataLib.h"
#include "TComPtr.h"
#include "TDXSound.h"
#include "TStringList.h"
#include "TraceChannel.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

class TEvent;

class TDSOggStream : public IStreamPlayer {
public:
    TDSOggStream();
    ~TDSOggStream() override;
    TDSOggStream(const TDSOggStream&) = delete;
    TDSOggStream& operator=(const TDSOggStream&) = delete;

    bool Init(TDXSound* sound);
    bool CreateBuffer();
    // Stops the buffer, ends the stream thread for good (the third event, then a join), and only
    // then frees the data, the notification interface, the events and the buffer.
    void Release();
    // Releases the previous file, makes everything afresh, loads the file and starts a new stream
    // thread. False when no buffer can be made or the file does not exist; data that is not Ogg
    // Vorbis throws ERangeError from TOggData::LoadOgg and leaves the same state as false; so does
    // a stream thread the system will not make, with EResourceError.
    bool Play(const std::string& fileName, bool loop) override;
    // Called by each Play on the freshly loaded data before the stream thread starts, so that
    // the loop table or the place can be changed while nothing else reads them (qvtool play
    // --join). Empty by default.
    void SetPrepare(std::function<void(TOggData&)> prepare) { Prepare = std::move(prepare); }
    void Stop() override;
    void Pause() override;
    void FadeOut(float seconds) override;
    void SetVolume(int32_t volume);
    float GetOutputTime() override;
    float GetTotalTime() override;
    bool HasLoops() override;
    bool HasEndlessLoop() override;
    int64_t HeardPasses() override;
    // The stream thread begins the queued piece in the block where this one's data ends by
    // itself (not at a stop, a pause or while muted), in the bytes after its last sound; until
    // TakeNext the transport and the times stay with the piece that was started (a seek is
    // refused then) and IsPlaying stays true.
    bool QueueNext(const std::string& fileName) override;
    bool PlayThen(const std::string& fileName, bool loop, const std::string& next) override;
    bool NextBegun() override { return NextBegun_.load(); }
    bool NextHeard() override;
    bool TakeNext() override;
    bool IsPlaying() override;
    // A step from the place being heard, along the piece as it is heard (TOggData::StepListening:
    // forward across a loop end with jumps left it lands inside the loop, back across a jump
    // into the pass before it): the sound not yet heard is rendered again from the new place at
    // once (see SeekHeard). Also while paused, where the resume then plays from
    // the new place, and after the data has ended while its last sound is still being heard.
    bool Rewind(float seconds) override;
    bool Forward(float seconds) override;
    // Moves to the piece's own time seconds in the pass being heard (TOggData::PlaceListening),
    // as the step does. False, nothing moved, for a place outside the piece or past the end of a
    // loop still to jump back.
    bool SeekTo(float seconds) override;
    // The file's "title" comment in Shift-JIS, or empty text. Only the stream's headers are read
    // (TOggData::ReadComments). Throws ERangeError for data that is not Ogg Vorbis.
    std::string GetTitle(const std::string& fileName);
    // Comment lines are cut to this many bytes, at a character boundary, before they are
    // converted for display: a tag of megabytes would otherwise be converted, kept and scrolled
    // whole. 512 bytes hold any title a window can show (about 170 Japanese characters).
    static constexpr size_t MaxCommentBytes = 512;
    // A comment line cut to MaxCommentBytes: before the lead byte of the character the limit
    // falls in.
    static std::string_view DisplayCut(std::string_view line);
    void SetMute(bool mute) override;
    // The piece has ended: PauseTime becomes its length (so the shown time stands still and a
    // play starts afresh) and the rest of the buffer plays silence.
    void MarkFinished() override;
    // PauseTime is not 0: paused, or marked finished.
    bool IsPaused() override;

    // What callers and tests may read. PauseTime: the decoder time taken at a pause, the length
    // of a piece marked finished, 0 otherwise.
    float GetPauseTime() const;
    bool IsMuted() const;
    int32_t GetVolume() const;
    const std::string& GetFileName() const;
    uint32_t GetBufferSize() const;
    // The decoder's position in seconds: where the next block starts, ahead of what is heard.
    // Like GetOutputTime, it never waits for a block being rendered.
    float TimeTell();
    // The data being played, for the engine's controls the player itself leaves alone (the
    // equaliser, the analysis of the output); the stream owns it. Null before the first play and
    // after a release.
    TOggData* GetOggData() const;
    // The play buffer, for reading its position, volume and content; the stream owns it. Null
    // before the first play and after a release.
    IDirectSoundBuffer* GetPlayBuffer() const;
    // A stream thread is running (from a successful Play to the next Release).
    bool HasStreamThread() const;
    // Block copies finished since the play began: a test that has its device take sound faster
    // than real time waits for the refill it set off before it takes the refilled half.
    int64_t CopiedBlocks() const { return BlocksCopied.load(); }
    // The converted comments of the last title lookup; null before Init.
    const TStringList* GetComments() const;

private:
    bool Block_Copy(int block);
    // The piece's sound ended in a block that the play cursor has not yet passed. Under BufferLock.
    bool EndUnheard();
    // The sound written at offset of the ring by block copy call has not yet been reached by the
    // play cursor. Under BufferLock.
    bool Unheard(int64_t call, DWORD blockStart, DWORD offset);
    // After a block copy whose data ended by itself at rendered bytes: the queued piece fills
    // the rest of the block and is rendered from then on. Under RefillLock.
    void BeginNext(int block, int64_t call, uint8_t* at, int32_t rendered, std::vector<TOggData::TTimeMark>& marks);
    // After a block copy: when the data stopped by itself in it, where its sound ends.
    void NoteEnd(TOggData& data, int block, int64_t call, bool wasPlaying, int32_t rendered);
    // After a block copy: where the sound of that half of the ring comes from in the piece.
    void KeepMarks(int block, std::vector<TOggData::TTimeMark> marks);
    static uint32_t StreamThread(TDSOggStream* stream);
    // Rewind and Forward: moves the place heard by seconds (with absolute, SeekTo: to seconds).
    // True when that went past the start or the end and stopped the piece.
    bool SeekHeard(float seconds, bool absolute);
    bool placeRefused_ = false;  // the last SeekHeard moved nothing (GUI thread only)
    // After a seek: renders the ring again from lead bytes past the write cursor (what the
    // device has not yet taken) to the end of the newest half, from the decoder's place; the
    // marks and the end of the piece follow. Under RefillLock. When the device took more than
    // the lead meanwhile, the new sound would start after its own beginning: nothing is
    // written, and the bytes the device took are returned, for the caller to seek and render
    // again (the last attempt writes all the same). 0 once written.
    DWORD RenderUnheard(DWORD lead, bool last);
    // The piece's time at a byte of the ring, from the marks; negative when its half has none.
    // Under BufferLock.
    double TimeAt(DWORD offset) const;
    // The mark in force at a byte of the ring; null when its half has none. Under BufferLock.
    const TOggData::TTimeMark* MarkAt(DWORD offset) const;
    // Sets the marks of the ring range [from, from + bytes) (it may wrap) to marks, whose
    // offsets count from from. Under BufferLock.
    void PutMarks(DWORD from, DWORD bytes, const std::vector<TOggData::TTimeMark>& marks);

    TTraceChannel Trace;
    TDXSound* Sound = nullptr;
    TComPtr<IDirectSoundNotify8> Notify;
    TComPtr<IDirectSoundBuffer> PlayBuffer;
    std::string FileName;  // kept whole, whatever its length
    std::atomic<int32_t> Volume{0};
    std::atomic<bool> Mute{false};
    uint32_t BufferSize = 0;
    // Events[0] at offset 0, Events[1] at the middle; the third makes the thread leave its loop.
    std::unique_ptr<TEvent> Events[3];
    std::thread Thread;
    std::unique_ptr<TOggData> OggData;
    std::unique_ptr<TStringList> Comments;
    bool Loop = false;
    std::function<void(TOggData&)> Prepare;
    std::atomic<float> PauseTime{0.0f};

    // The stream thread starts the buffer after its first block, which may come after the GUI
    // thread has paused or stopped the stream. A pause or stop holds the buffer, and the thread
    // starts it only when it is not held; the lock makes the check and the start one step.
    std::mutex BufferLock;
    bool BufferHeld = false;
    // Held by the stream thread across a refill (deciding whether to copy, and the copy) and by
    // Pause across all of a pause or a resume, so that no refill sees half of either: one that
    // saw the pause time set and the buffer still running wrote a silent block heard after the
    // resume, one that saw the data running and the pause time not yet cleared lost a block.
    // While the buffer is held the thread leaves the refill to the resume (RefillSkipped).
    std::mutex RefillLock;
    bool RefillSkipped = false;
    // The half of the ring the last block copy wrote; the other one is refilled next. Under
    // RefillLock.
    int NewestBlock = 0;
    // A seek while paused rendered the piece to its end: the resume then only starts the buffer.
    // Under RefillLock.
    bool EndedWhilePaused = false;
    // Block copies started since the play began, and, once the data has ended by itself, the
    // copy that wrote the end (-1: none), where that block starts in the ring and where its
    // sound ends. The last three are under BufferLock.
    std::atomic<int64_t> BlockCalls{0};
    std::atomic<bool> Copying{false};  // a block copy is under way
    std::atomic<int64_t> BlocksCopied{0};
    int64_t EndBlockCall = -1;
    std::vector<TOggData::TTimeMark> HalfMarks[2];  // under BufferLock
    DWORD EndBlockStart = 0;
    DWORD EndOffset = 0;

    // The piece queued to follow. The GUI thread alone sets and moves the pointer, under
    // RefillLock, and the stream thread reads it under that lock only. NextBegun is set by the
    // stream thread (under RefillLock) once its blocks come from Next; where Next's first sound
    // lies in the ring is under BufferLock.
    std::unique_ptr<TOggData> Next;
    std::string NextName;
    std::atomic<bool> NextBegun_{false};
    int64_t NextCall = -1;
    DWORD NextBlockStart = 0;
    DWORD NextOffset = 0;
};
