#pragma once
// TOggData: one open Ogg Vorbis file, rendered block by block to 44100 Hz 16-bit stereo PCM,
// with loop points, whole-file repeat, a fading volume, master and channel volumes, a 256-band
// equaliser and analysis of the sound being heard.
#include "FFTLib.h"
#include "TMemoryStream.h"
#include "TStringList.h"
#include "wuvorbis.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

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
    static constexpr int32_t BytesPerSecond = 176400;
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
    uint8_t* Memory();
    uint8_t* Offset();
    bool SeekAble();

    // The looped-Ogg container.
    bool LoadLoop(TMemoryStream* stream);
    bool SaveOstraOgg(const std::string& fileName);

    // Rendering and play state.
    void Rendering();
    int32_t RenderingToPointer(void* dest, int32_t bytes);
    void Play(bool loop);
    void Pause();
    void Stop();
    void TimeSeek(float seconds);
    float TimeTell();
    float GetOutputTime();
    TPLAYSTATE GetPlayState();
    void SetVolume(float volume);
    void SetVolume(float volume, float fadeSeconds);
    float GetNowVolume();
    float GetSetVolume();
    void SetMasterVolume(float v);
    float GetMasterVolume();
    void SetChannelVolume(float v);
    float GetChannelVolume();
    int32_t GetLoopCount(int32_t index);
    void SetLoopCount(int32_t index, int32_t value);

    // Equaliser.
    void ApplyEQ(PLRWavePack buffer, int32_t bytes);
    void SetEQ(int32_t index, float gain);
    void SetEQ(int32_t index, float gain, float seconds);
    void SetEQ4(float b0, float b1, float b2, float b3, float seconds);
    void SetEQ8(const float bands[8], float seconds);
    void SetEQ16(const float bands[16], float seconds);
    float GetNowEQ(int32_t index);
    float GetSetEQ(int32_t index);
    bool GetEQ();
    static float Hermite(float p0, float p1, float p2, float p3, float t, float a, float b);
    static float Harmite2(const float* points, float x, int32_t n);

    // Output analysis.
    int32_t GetOutputWavePos();
    float GetOutputSum();
    float GetOutputSum(int32_t channel);
    void GetOutputGraph(float* values);

    // Fields, in the order of the design. Flags and values shared between the caller's thread
    // and the render thread are atomic; the decoder state is guarded by RenderLock.
    std::atomic<bool> Loaded{false};
    TMemoryStream* FileData = nullptr;  // owned; handed to the decoder state, which frees it
    int64_t DataStart = 0;
    wu_OggVorbis_File VorbisFile{};
    std::atomic<bool> LoopPlay{false};
    std::atomic<bool> Playing{false};
    std::unique_ptr<TMemoryStream> RenderBuffer;
    std::atomic<int32_t> RenderOffset{0};
    std::atomic<uint64_t> RenderTick{0};
    std::atomic<bool> Busy{false};
    std::atomic<int32_t> LoopCounter[16]{};
    TOggVolume OggVolume;
    std::atomic<int32_t> MasterVolume{0};
    std::atomic<int32_t> ChannelVolume{0};
    float EQHistoryR[256]{};
    float EQHistoryL[256]{};
    TOggEQ OggEQ[256];
    int32_t Channels = 0;
    int32_t Rate = 0;
    std::string Vendor;
    std::unique_ptr<TStringList> CommentList;
    float TotalTime = 0.0f;
    int64_t PcmBytes = 0;
    TOggLoop Loops[16]{};
    std::unique_ptr<TFFT> EQFFT;
    std::unique_ptr<TFFT> GraphFFT;

    // Held across a block's rendering, the decoder teardown in Init and the seek in TimeSeek,
    // so that none of them sees the decoder state half-changed by another thread.
    std::recursive_mutex RenderLock;

private:
    // Decodes len bytes at dest, handling the end of the data; stopAtEnd ends the range early
    // (returning what was decoded) instead of restarting or stopping, for the part before a jump.
    int32_t FillBlock(uint8_t* dest, int32_t len, bool stopAtEnd = false);
    // One decoder read of at most m bytes of stereo output at dest.
    int32_t ReadBlock(uint8_t* dest, int32_t m);
    void ApplyVolume(PLRWavePack frames, int32_t count);

    // Mono samples are decoded here before being doubled into the output.
    uint8_t MonoScratch[4096]{};
    // Guards the read-modify-write of the fade level and the equaliser gains, which the caller's
    // thread sets while the render thread advances them.
    std::mutex GainLock;
};
