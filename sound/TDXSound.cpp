#include "TDXSound.h"

#include "EResourceError.h"

#include <SDL.h>

#include <string>
#include <utility>

TDXSound::TDXSound() = default;

bool TDXSound::Init(HWND window, const TSoundFormat* format)
{
    Trace.TraceOpen("_DXSound.debug");
    Trace.Trace("[初期化開始]\n");

    // Init runs once; whatever an earlier call left is released rather than lost.
    ReleaseAll(false);

    Trace.Trace("    DirectSoundオブジェクトの作成\n");
    // A failed call leaves its out parameter empty.
    const HRESULT created = DirectSoundCreate8(nullptr, Device.Put(), nullptr);
    if (FAILED(created)) {
        Trace.Trace("    DirectSoundオブジェクトの作成に失敗しました\n");
        // No device is a player that plays nothing; a device the system had no memory or thread
        // for is a program that cannot run.
        if (created == DSERR_OUTOFMEMORY) {
            throw EResourceError(std::string("サウンドデバイスを開けません。(") + SDL_GetError() + ")");
        }
        return false;
    }

    Trace.Trace("    協調レベルの設定(優先協調レベル)\n");
    if (FAILED(Device->SetCooperativeLevel(window, DSSCL_PRIORITY))) {
        Trace.Trace("    協調レベルの設定に失敗しました\n");
        return false;
    }

    DSBUFFERDESC desc{};
    desc.dwSize = sizeof(DSBUFFERDESC);
    desc.dwFlags = DSBCAPS_PRIMARYBUFFER | DSBCAPS_CTRLVOLUME;
    Trace.Trace("    プライマリーバッファーの作成\n");
    if (FAILED(Device->CreateSoundBuffer(&desc, PrimaryBuffer.Put(), nullptr))) {
        Trace.Trace("    プライマリーバッファーの作成に失敗しました\n");
        return false;
    }

    const uint32_t rate = format != nullptr ? format->SampleRate : 0;
    WAVEFORMATEX wf{};
    wf.wFormatTag = WAVE_FORMAT_PCM;
    wf.nChannels = 2;
    wf.nSamplesPerSec = rate;
    wf.nAvgBytesPerSec = rate * 4;
    wf.nBlockAlign = 4;
    wf.wBitsPerSample = 16;
    wf.cbSize = 0;
    Trace.Trace("    Waveフォーマットの設定\n");
    if (FAILED(PrimaryBuffer->SetFormat(&wf))) {
        return false;
    }

    Trace.Trace("[初期化終了]\n");
    return true;
}

TDXSound::~TDXSound()
{
    Trace.Trace("[解放処理開始]\n");
    ReleaseAll(true);
    Trace.Trace("[解放処理終了]\n");
}

void TDXSound::ReleaseAll(bool traced)
{
    for (int n = 63; n >= 0; --n) {
        if (TComPtr<IDirectSoundBuffer>(std::exchange(SecondaryBuffers[n], nullptr)).Reset()) {
            if (traced) {
                Trace.Trace("    セカンダリーバッファー%d番 解放\n", n);
            }
        }
    }
    if (PrimaryBuffer.Reset()) {
        if (traced) {
            Trace.Trace("    プライマリーバッファー解放\n");
        }
    }
    if (Device.Reset()) {
        if (traced) {
            Trace.Trace("    DirectSoundオブジェクト解放\n");
        }
    }
}
