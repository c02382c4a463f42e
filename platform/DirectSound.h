#pragma once
// A DirectSound 8 stand-in on SDL2: the types, constants and interfaces the sound classes call,
// with the Windows names so that those classes read as they would on Windows.
//
// One SDL audio device (44100 Hz, signed 16-bit, stereo) mixes every playing secondary buffer in
// its callback. Results are HRESULTs: 0 for success, negative for failure. Objects are
// reference-counted; the last Release frees.
#include <cstdint>

class TEvent;

using HRESULT = int32_t;
using DWORD = uint32_t;
using ULONG = uint32_t;
using WORD = uint16_t;
using LONG = int32_t;
using HWND = void*;
using HANDLE = TEvent*;

struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
bool operator==(const GUID& a, const GUID& b);

constexpr HRESULT DS_OK = 0;
constexpr HRESULT DSERR_GENERIC = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT DSERR_UNSUPPORTED = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT DSERR_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
constexpr HRESULT DSERR_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT DSERR_INVALIDPARAM = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT DSERR_CONTROLUNAVAIL = static_cast<HRESULT>(0x8878001Eu);
constexpr HRESULT DSERR_INVALIDCALL = static_cast<HRESULT>(0x88780032u);
constexpr HRESULT DSERR_BADFORMAT = static_cast<HRESULT>(0x88780064u);
constexpr HRESULT DSERR_NODRIVER = static_cast<HRESULT>(0x88780078u);

// Cooperative levels.
constexpr DWORD DSSCL_NORMAL = 1;
constexpr DWORD DSSCL_PRIORITY = 2;
constexpr DWORD DSSCL_EXCLUSIVE = 3;
constexpr DWORD DSSCL_WRITEPRIMARY = 4;

// Buffer capabilities.
constexpr DWORD DSBCAPS_PRIMARYBUFFER = 0x1;
constexpr DWORD DSBCAPS_STATIC = 0x2;
constexpr DWORD DSBCAPS_LOCHARDWARE = 0x4;
constexpr DWORD DSBCAPS_LOCSOFTWARE = 0x8;
constexpr DWORD DSBCAPS_CTRL3D = 0x10;
constexpr DWORD DSBCAPS_CTRLFREQUENCY = 0x20;
constexpr DWORD DSBCAPS_CTRLPAN = 0x40;
constexpr DWORD DSBCAPS_CTRLVOLUME = 0x80;
constexpr DWORD DSBCAPS_CTRLPOSITIONNOTIFY = 0x100;
constexpr DWORD DSBCAPS_STICKYFOCUS = 0x4000;
constexpr DWORD DSBCAPS_GLOBALFOCUS = 0x8000;
constexpr DWORD DSBCAPS_GETCURRENTPOSITION2 = 0x10000;
constexpr DWORD DSBCAPS_MUTE3DATMAXDISTANCE = 0x20000;
constexpr DWORD DSBCAPS_LOCDEFER = 0x40000;

constexpr DWORD DSBPLAY_LOOPING = 0x1;
constexpr DWORD DSBLOCK_FROMWRITECURSOR = 0x1;
constexpr DWORD DSBLOCK_ENTIREBUFFER = 0x2;
constexpr DWORD DSBPN_OFFSETSTOP = 0xFFFFFFFFu;

constexpr LONG DSBVOLUME_MIN = -10000;
constexpr LONG DSBVOLUME_MAX = 0;
constexpr DWORD DSBSIZE_MIN = 4;
constexpr DWORD DSBSIZE_MAX = 0x0FFFFFFF;

constexpr WORD WAVE_FORMAT_PCM = 1;

// The output format of the device and the only one a secondary buffer may have.
constexpr DWORD DSOutputRate = 44100;
constexpr WORD DSOutputChannels = 2;
constexpr WORD DSOutputBits = 16;
// Frames per audio callback, 93 ms. With SDL's pulseaudio driver the server holds about one
// callback (the rest of what was written last, and its sink's own latency), which is both the
// margin a late audio thread or a late server has before the sound breaks up and how long sound
// already handed over goes on after a pause or stop, which must stay under 100 ms. Measured
// through a PulseAudio null sink with every core busy for 60 s: 1024 frames broke up 8 times in
// 20 s, 2048 11 times in 60 s, 3072 and 4096 not once; 3072 held at most 81 ms, 4096 86 ms.
// Under stress-ng --cpu 2 --io 1 beside other builds (bench/dropouts.sh, the device thread
// real-time), 3072 still broke up 27 times in 9 minutes, 21 of them heard in the player alone,
// as mpv in the same rounds broke up 15 times; 4096 did not, and held at most 86 ms.
constexpr DWORD DSOutputFrames = 4096;

#pragma pack(push, 1)
struct WAVEFORMATEX {
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign;
    WORD wBitsPerSample;
    WORD cbSize;
};
#pragma pack(pop)

struct DSBUFFERDESC {
    DWORD dwSize;
    DWORD dwFlags;
    DWORD dwBufferBytes;
    DWORD dwReserved;
    WAVEFORMATEX* lpwfxFormat;
    GUID guid3DAlgorithm;
};

struct DSBPOSITIONNOTIFY {
    DWORD dwOffset;
    HANDLE hEventNotify;
};

extern const GUID IID_IUnknown;
extern const GUID IID_IDirectSoundBuffer;
extern const GUID IID_IDirectSoundNotify8;  // {B0210783-89CD-11D0-AF08-00A0C925CD16}

class IUnknown {
public:
    virtual HRESULT QueryInterface(const GUID& iid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    virtual ~IUnknown() = default;
};

class IDirectSoundBuffer : public IUnknown {
public:
    // play: the position being heard; write: where it is safe to write, ahead of play by what
    // the device has already taken. Either pointer may be null.
    virtual HRESULT GetCurrentPosition(DWORD* play, DWORD* write) = 0;
    // Two regions: the second is non-empty only when the range wraps past the buffer's end.
    virtual HRESULT Lock(DWORD offset, DWORD bytes, void** ptr1, DWORD* bytes1, void** ptr2, DWORD* bytes2,
                         DWORD flags) = 0;
    virtual HRESULT Play(DWORD reserved, DWORD priority, DWORD flags) = 0;
    virtual HRESULT SetFormat(const WAVEFORMATEX* format) = 0;
    // Hundredths of a decibel: 0 full, -10000 silent.
    virtual HRESULT SetVolume(LONG volume) = 0;
    virtual HRESULT GetVolume(LONG* volume) = 0;
    virtual HRESULT Stop() = 0;
    virtual HRESULT Unlock(void* ptr1, DWORD bytes1, void* ptr2, DWORD bytes2) = 0;
};

class IDirectSoundNotify8 : public IUnknown {
public:
    // Replaces the buffer's notification positions; count 0 removes them all.
    virtual HRESULT SetNotificationPositions(DWORD count, const DSBPOSITIONNOTIFY* positions) = 0;
};

class IDirectSound8 : public IUnknown {
public:
    virtual HRESULT CreateSoundBuffer(const DSBUFFERDESC* desc, IDirectSoundBuffer** buffer, IUnknown* outer) = 0;
    virtual HRESULT SetCooperativeLevel(HWND window, DWORD level) = 0;
};

// Opens the default SDL audio device. deviceGuid must be null (the default device).
// Negative when SDL cannot open a device: DSERR_OUTOFMEMORY when that was for want of memory or
// a thread, DSERR_NODRIVER when there is no device to open.
HRESULT DirectSoundCreate8(const GUID* deviceGuid, IDirectSound8** device, IUnknown* outer);

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }
