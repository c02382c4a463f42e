#include "TDSOggStream.h"

#include "EResourceError.h"
#include "SjisConv.h"
#include "TEvent.h"

#include <algorithm>
#include <cmath>
#include <system_error>

namespace {
constexpr const char* Unused = "未使用";
}

TDSOggStream::TDSOggStream() = default;

TDSOggStream::~TDSOggStream()
{
    Release();
    Comments.reset();
}

bool TDSOggStream::Init(TDXSound* sound)
{
    Trace.TraceOpen("_DSOggStream.debug");
    Sound = sound;
    FileName = Unused;
    Comments = std::make_unique<TStringList>();
    return true;
}

bool TDSOggStream::CreateBuffer()
{
    WAVEFORMATEX wf{};
    wf.wFormatTag = WAVE_FORMAT_PCM;
    wf.nChannels = OutputFormat::Channels;
    wf.nSamplesPerSec = OutputFormat::Rate;
    wf.nAvgBytesPerSec = OutputFormat::BytesPerSecond;
    wf.nBlockAlign = OutputFormat::BytesPerFrame;
    wf.wBitsPerSample = OutputFormat::BitsPerSample;
    wf.cbSize = 0;
    BufferSize = OutputFormat::StreamBufferBytes;

    DSBUFFERDESC desc{};
    desc.dwSize = sizeof(DSBUFFERDESC);
    desc.dwFlags = DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPOSITIONNOTIFY | DSBCAPS_GLOBALFOCUS |
                   DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_LOCDEFER;
    desc.dwBufferBytes = BufferSize;
    desc.lpwfxFormat = &wf;

    IDirectSound8* device = Sound != nullptr ? Sound->Device.Get() : nullptr;
    if (device == nullptr || FAILED(device->CreateSoundBuffer(&desc, PlayBuffer.Put(), nullptr))) {
        Trace.Trace("再生バッファーの生成に失敗\n");
        Release();
        return false;
    }

    for (auto& event : Events) {
        event = std::make_unique<TEvent>();
    }

    if (FAILED(PlayBuffer->QueryInterface(IID_IDirectSoundNotify8, Notify.PutVoid())) || Notify == nullptr) {
        Trace.Trace("IDirectSoundNotify8インターフェイスの取得に失敗\n");
        Release();
        return false;
    }

    const DSBPOSITIONNOTIFY positions[2] = {{0, Events[0].get()}, {BufferSize / 2, Events[1].get()}};
    if (FAILED(Notify->SetNotificationPositions(2, positions))) {
        Trace.Trace("停止位置設定に失敗\n");
        Release();
        return false;
    }

    OggData = std::make_unique<TOggData>(static_cast<int32_t>(BufferSize));
    PlayBuffer->SetVolume(Volume.load());
    return true;
}

void TDSOggStream::Release()
{
    Trace.Trace("\n[%s]を破棄します\n", FileName.c_str());
    Trace.Trace("[解放処理開始]\n");
    if (PlayBuffer != nullptr) {
        PlayBuffer->Stop();
    }
    if (Thread.joinable()) {
        // The thread leaves its loop at the third event; joining makes certain it has gone before
        // anything it uses is freed.
        Events[2]->Set();
        Thread.join();
        // The thread may have started the buffer again just before it saw the event.
        if (PlayBuffer != nullptr) {
            PlayBuffer->Stop();
        }
        Trace.Trace("    ストリーム再生スレッドの解放\n");
    }
    if (OggData) {
        OggData.reset();
        Trace.Trace("    OggDataクラスの解放\n");
    }
    Next.reset();
    NextName.clear();
    NextBegun_ = false;
    NextCall = -1;
    if (Notify != nullptr) {
        // The buffer outlives this interface for a moment; make sure it can no longer signal the
        // events that are closed next.
        Notify->SetNotificationPositions(0, nullptr);
        Notify.Reset();
        Trace.Trace("    通知イベントインターフェイスの解放\n");
    }
    if (Events[1]) {
        Events[1].reset();
        Trace.Trace("    イベントハンドル(1)解放\n");
    }
    if (Events[0]) {
        Events[0].reset();
        Trace.Trace("    イベントハンドル(0)解放\n");
    }
    Events[2].reset();
    if (PlayBuffer.Reset()) {
        Trace.Trace("    再生バッファーの解放\n");
    }
    Trace.Trace("[解放処理終了]\n");
}

bool TDSOggStream::Play(const std::string& fileName, bool loop)
{
    return PlayThen(fileName, loop, std::string());
}

bool TDSOggStream::PlayThen(const std::string& fileName, bool loop, const std::string& next)
{
    // A new piece is neither paused nor finished, also when it cannot be played.
    PauseTime = 0.0f;
    Loop = loop;
    if (PlayBuffer != nullptr || OggData || Thread.joinable()) {
        Release();
        FileName = Unused;
    }
    if (!CreateBuffer()) {
        return false;
    }
    FileName = fileName;
    if (!OggData->LoadOgg(fileName)) {
        Trace.Trace("Play:[%s]オープン失敗\n", fileName.c_str());
        return false;
    }
    OggData->Play(Loop);
    if (Prepare) {
        Prepare(*OggData);
    }
    PauseTime = 0.0f;
    BufferHeld = false;
    RefillSkipped = false;
    NewestBlock = 0;
    EndedWhilePaused = false;
    BlockCalls = 0;
    BlocksCopied = 0;
    EndBlockCall = -1;
    HalfMarks[0].clear();
    HalfMarks[1].clear();
    if (!next.empty()) {
        try {
            QueueNext(next);
        } catch (const std::exception&) {
            // It fails again when it is started, and is passed over then.
        }
    }
    try {
        Thread = std::thread(&TDSOggStream::StreamThread, this);
    } catch (const std::system_error& e) {
        Trace.Trace("Play:[%s]スレッドを作れませんでした\n", fileName.c_str());
        throw EResourceError(std::string("再生スレッドを作れません。(") + e.what() + ")");
    }
    Trace.Trace("Play:[%s]を読みこみました\n", fileName.c_str());
    return true;
}

void TDSOggStream::Stop()
{
    if (PlayBuffer != nullptr) {
        if (OggData) {
            OggData->Stop();
        }
        std::lock_guard lock(BufferLock);
        BufferHeld = true;
        EndBlockCall = -1;  // a stopped piece has nothing more to be heard
        PlayBuffer->Stop();
    }
}

void TDSOggStream::Pause()
{
    if (!OggData) {
        return;
    }
    std::lock_guard refill(RefillLock);
    if (OggData->GetPlayState() != psSTOP) {
        OggData->Pause();
        float at = OggData->DecoderTime();
        // A pause before the first block was decoded would read 0, which means "not paused" and
        // could never be resumed; the decoder's own restart point stands in for it.
        if (at == 0.0f && OggData->Loaded) {
            at = 0.001f;
        }
        PauseTime = at;
        if (PlayBuffer != nullptr) {
            std::lock_guard lock(BufferLock);
            BufferHeld = true;
            PlayBuffer->Stop();
        }
        return;
    }
    if (PauseTime != 0.0f) {
        // Nothing is decoded while paused, so the decoder is still where the pause (or a seek
        // since) left it, unless a stop has rewound it since. A pause before the first block
        // stands at 0.001 with the decoder at 0; seeking there would drop its first frames. When
        // a seek while paused rendered the piece to its end, the ring holds the rest of it and
        // the data stays ended.
        if (!EndedWhilePaused) {
            if (std::fabs(OggData->DecoderTime() - PauseTime) > 0.002f) {
                OggData->TimeSeek(PauseTime);
            }
            OggData->Play(Loop);
        }
        if (Notify != nullptr && Events[0] && Events[1]) {
            const DSBPOSITIONNOTIFY positions[2] = {{0, Events[0].get()}, {BufferSize / 2, Events[1].get()}};
            Notify->SetNotificationPositions(2, positions);
        }
        if (PlayBuffer != nullptr) {
            std::lock_guard lock(BufferLock);
            BufferHeld = false;
            if (!EndedWhilePaused) {
                EndBlockCall = -1;  // an end noted while the pause was being taken was none
            }
            PlayBuffer->Play(0, 0, DSBPLAY_LOOPING);
        }
        EndedWhilePaused = false;
        PauseTime = 0.0f;
        if (RefillSkipped && Events[0] && Events[1]) {
            // The thread checks the cursor on either event and refills the half that is due.
            RefillSkipped = false;
            Events[0]->Set();
            Events[1]->Set();
        }
    }
}

void TDSOggStream::FadeOut(float seconds)
{
    if (OggData) {
        OggData->SetVolume(0.0f, seconds);
    }
}

void TDSOggStream::SetVolume(int32_t volume)
{
    Volume = volume;
    if (PlayBuffer != nullptr) {
        PlayBuffer->SetVolume(volume);
    }
}

float TDSOggStream::GetOutputTime()
{
    if (!OggData)
        return 0.0f;
    // The time of the sound being played: the play cursor mapped through the marks of the
    // block it is in, so that a loop jump shows when it is heard, not when it is rendered.
    // The write cursor is the end of what has gone to the device; the play cursor, the start of
    // it, may still stand in the half the stream thread has just begun to refill.
    if (PlayBuffer != nullptr) {
        DWORD play = 0;
        PlayBuffer->GetCurrentPosition(nullptr, &play);
        std::lock_guard lock(BufferLock);
        const double t = TimeAt(play);
        if (t >= 0.0)
            return static_cast<float>(t);
    }
    return OggData->GetOutputTime();
}

const TOggData::TTimeMark* TDSOggStream::MarkAt(DWORD offset) const
{
    const DWORD half = BufferSize / 2;
    const int block = offset >= half ? 1 : 0;
    const auto at = static_cast<int32_t>(offset - static_cast<DWORD>(block) * half);
    const auto& marks = HalfMarks[block];
    if (marks.empty())
        return nullptr;
    auto mark = marks.begin();
    for (auto m = marks.begin(); m != marks.end() && m->Offset <= at; ++m)
        mark = m;
    return &*mark;
}

double TDSOggStream::TimeAt(DWORD offset) const
{
    const TOggData::TTimeMark* mark = MarkAt(offset);
    if (mark == nullptr)
        return -1.0;
    const DWORD half = BufferSize / 2;
    const auto at = static_cast<int32_t>(offset % half);
    const double t = mark->Time + static_cast<double>(at - mark->Offset) / OutputFormat::BytesPerSecond;
    // Until the piece that follows is taken over, the ring holds the times of both.
    const float total = std::max(OggData->TotalTime, NextBegun_.load() && Next ? Next->TotalTime : 0.0f);
    return std::clamp(t, 0.0, static_cast<double>(total));
}

void TDSOggStream::PutMarks(DWORD from, DWORD bytes, const std::vector<TOggData::TTimeMark>& marks)
{
    const DWORD half = BufferSize / 2;
    for (DWORD done = 0; done < bytes;) {
        const DWORD at = (from + done) % BufferSize;
        const int block = at >= half ? 1 : 0;
        const auto local = static_cast<int32_t>(at - static_cast<DWORD>(block) * half);
        const auto run = static_cast<int32_t>(std::min<DWORD>(bytes - done, half - static_cast<DWORD>(local)));
        auto& kept = HalfMarks[block];
        std::erase_if(kept, [&](const TOggData::TTimeMark& m) { return m.Offset >= local && m.Offset < local + run; });
        // The time in force where the run starts, then the marks inside it.
        const auto start = static_cast<int32_t>(done);
        const TOggData::TTimeMark* before = nullptr;
        for (const auto& m : marks) {
            if (m.Offset <= start)
                before = &m;
            else if (m.Offset < start + run)
                kept.push_back({local + (m.Offset - start), m.Time, m.Jumps, m.Passes});
        }
        if (before != nullptr) {
            const double t = before->Time + static_cast<double>(start - before->Offset) / OutputFormat::BytesPerSecond;
            kept.push_back({local, static_cast<float>(t), before->Jumps, before->Passes});
        }
        std::sort(kept.begin(), kept.end(), [](const auto& a, const auto& b) { return a.Offset < b.Offset; });
        done += static_cast<DWORD>(run);
    }
}

float TDSOggStream::GetTotalTime()
{
    return OggData ? OggData->TotalTime : 0.0f;
}

bool TDSOggStream::HasLoops()
{
    if (!OggData)
        return false;
    // The table is written only while a file loads, on this thread: read here, it stands still.
    for (const TOggLoop& l : OggData->Loops)
        if (l.RepeatCount == -1 || l.RepeatCount > 0)
            return true;
    return false;
}

bool TDSOggStream::HasEndlessLoop()
{
    return OggData && OggData->EndlessLoop();
}

int64_t TDSOggStream::HeardPasses()
{
    if (!OggData)
        return 0;
    if (NextBegun_.load())
        return OggData->LoopPasses();  // the ring's newer marks are the next piece's
    // The passes in force where the sound being played came from, as GetOutputTime's time.
    if (PlayBuffer != nullptr) {
        DWORD play = 0;
        PlayBuffer->GetCurrentPosition(nullptr, &play);
        std::lock_guard lock(BufferLock);
        if (const TOggData::TTimeMark* mark = MarkAt(play))
            return mark->Passes;
    }
    return OggData->LoopPasses();
}

bool TDSOggStream::IsPlaying()
{
    if (!OggData)
        return false;
    if (OggData->GetPlayState() != psSTOP)
        return true;
    // Paused or stopped by the caller: nothing more is heard.
    std::lock_guard lock(BufferLock);
    if (BufferHeld || PlayBuffer == nullptr)
        return false;
    if (NextBegun_.load())
        return true;  // the piece queued plays on where this one ended
    // While a block is being copied the data may just have stopped at its end, before the end
    // is noted: that is no end heard yet.
    return Copying.load() || EndUnheard();
}

bool TDSOggStream::QueueNext(const std::string& fileName)
{
    if (!OggData || NextBegun_.load())
        return false;
    std::unique_ptr<TOggData> next;
    if (!fileName.empty()) {
        // Loaded here, on the caller's thread, as Play loads: the stream thread only renders.
        next = std::make_unique<TOggData>(static_cast<int32_t>(BufferSize));
        if (!next->LoadOgg(fileName))
            next.reset();
        else
            next->Play(Loop);
    }
    std::unique_ptr<TOggData> old;
    {
        std::lock_guard refill(RefillLock);
        if (NextBegun_.load())
            return false;
        old = std::move(Next);
        Next = std::move(next);
        NextName = Next ? fileName : std::string();
    }
    return Next != nullptr;
}

bool TDSOggStream::NextHeard()
{
    if (!NextBegun_.load())
        return false;
    std::lock_guard lock(BufferLock);
    return !BufferHeld && PlayBuffer != nullptr && !Unheard(NextCall, NextBlockStart, NextOffset);
}

bool TDSOggStream::TakeNext()
{
    if (!NextBegun_.load())
        return false;
    std::unique_ptr<TOggData> ended;
    {
        std::lock_guard refill(RefillLock);
        ended = std::move(OggData);
        OggData = std::move(Next);
        FileName = NextName;
        NextName.clear();
        NextBegun_ = false;
        std::lock_guard lock(BufferLock);
        NextCall = -1;
    }
    Trace.Trace("TakeNext:[%s]へ続けました\n", FileName.c_str());
    return true;
}

void TDSOggStream::BeginNext(int block, int64_t call, uint8_t* at, int32_t rendered,
                             std::vector<TOggData::TTimeMark>& marks)
{
    const auto half = static_cast<int32_t>(BufferSize / 2);
    rendered = std::clamp(rendered, 0, half) / OutputFormat::BytesPerFrame * OutputFormat::BytesPerFrame;
    {
        // A stop or pause taken while the block rendered ended the piece; nothing follows it.
        std::lock_guard lock(BufferLock);
        if (BufferHeld)
            return;
    }
    const int32_t tail = half - rendered;
    int32_t sound = 0;
    if (tail > 0) {
        // The queued piece's first bytes, by the render step every block takes, right after the
        // last sound of the one that ended; its next block follows on from them.
        sound = Next->RenderAgain(tail, {at + rendered, static_cast<size_t>(tail)}, {}, false);
        for (const TOggData::TTimeMark& m : Next->BlockMarks())
            marks.push_back({m.Offset + rendered, m.Time, m.Jumps, m.Passes});
    }
    const DWORD blockStart = static_cast<DWORD>(block) * static_cast<DWORD>(half);
    std::lock_guard lock(BufferLock);
    NextCall = call;
    NextBlockStart = blockStart;
    NextOffset = blockStart + static_cast<DWORD>(rendered);
    // Set last, under the lock: whoever sees it finds where the next piece begins.
    NextBegun_ = true;
    // The end noted was the ended piece's; one of the next inside the same bytes is its own.
    EndBlockCall = -1;
    if (tail > 0 && Next->GetPlayState() == psSTOP) {
        EndBlockCall = call;
        EndBlockStart = blockStart;
        EndOffset = NextOffset + static_cast<DWORD>(std::clamp(sound, 0, tail));
    }
}

bool TDSOggStream::EndUnheard()
{
    // The data stops when its last block is rendered, one to two seconds before that block is
    // heard. The piece plays on until the play cursor has passed the end of its sound: the
    // block copy after the end block's own copy starts as the cursor enters the end block, and
    // the one after that as it leaves it.
    return EndBlockCall >= 0 && Unheard(EndBlockCall, EndBlockStart, EndOffset);
}

bool TDSOggStream::Unheard(int64_t call, DWORD blockStart, DWORD offset)
{
    const int64_t cursorIn = BlockCalls.load() - 2;  // the copy that wrote the block being played
    if (cursorIn < call)
        return true;
    if (cursorIn > call)
        return false;
    // The notification that starts a copy comes with the chunk of sound that reaches the block,
    // so the cursor may still stand just before the end block: only a cursor inside it counts.
    DWORD play = 0;
    PlayBuffer->GetCurrentPosition(&play, nullptr);
    return play < blockStart || play >= blockStart + BufferSize / 2 || play < offset;
}

void TDSOggStream::KeepMarks(int block, std::vector<TOggData::TTimeMark> marks)
{
    std::lock_guard lock(BufferLock);
    HalfMarks[block] = std::move(marks);
}

void TDSOggStream::NoteEnd(TOggData& data, int block, int64_t call, bool wasPlaying, int32_t rendered)
{
    if (!wasPlaying || data.GetPlayState() != psSTOP)
        return;
    // A pause or stop taken meanwhile is no end of the piece.
    std::lock_guard lock(BufferLock);
    if (BufferHeld)
        return;
    const DWORD half = BufferSize / 2;
    EndBlockStart = static_cast<DWORD>(block) * half;
    EndOffset = EndBlockStart + std::min(static_cast<DWORD>(rendered), half);
    EndBlockCall = call;
}

std::string TDSOggStream::GetTitle(const std::string& fileName)
{
    if (!Comments) {
        Comments = std::make_unique<TStringList>();
    }
    Comments->Clear();
    TStringList lines;
    if (!TOggData::ReadComments(fileName, lines)) {
        return std::string();
    }
    for (const std::string& line : lines.Lines()) {
        Comments->Add(Utf8ToSjis(DisplayCut(line)));
    }
    return Comments->Values("title");
}

std::string_view TDSOggStream::DisplayCut(std::string_view line)
{
    if (line.size() <= MaxCommentBytes) {
        return line;
    }
    // Back to the lead byte of the character the limit falls in, so that it goes whole.
    size_t cut = MaxCommentBytes;
    while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) {
        --cut;
    }
    return line.substr(0, cut);
}

void TDSOggStream::SetMute(bool mute)
{
    Mute = mute;
}

void TDSOggStream::MarkFinished()
{
    PauseTime = GetTotalTime();
    SetMute(true);
}

bool TDSOggStream::IsPaused()
{
    return PauseTime.load() != 0.0f;
}

float TDSOggStream::GetPauseTime() const
{
    return PauseTime.load();
}

bool TDSOggStream::IsMuted() const
{
    return Mute.load();
}

int32_t TDSOggStream::GetVolume() const
{
    return Volume.load();
}

const std::string& TDSOggStream::GetFileName() const
{
    return FileName;
}

uint32_t TDSOggStream::GetBufferSize() const
{
    return BufferSize;
}

float TDSOggStream::TimeTell()
{
    return OggData ? OggData->TimeTell() : 0.0f;
}

TOggData* TDSOggStream::GetOggData() const
{
    return OggData.get();
}

IDirectSoundBuffer* TDSOggStream::GetPlayBuffer() const
{
    return PlayBuffer.Get();
}

bool TDSOggStream::HasStreamThread() const
{
    return Thread.joinable();
}

const TStringList* TDSOggStream::GetComments() const
{
    return Comments.get();
}

bool TDSOggStream::Block_Copy(int block)
{
    const DWORD half = BufferSize / 2;
    // Whether the block is heard is decided before it is rendered: a pause or a finished-piece
    // mark that arrives while it renders applies from the next block on, so the block that holds
    // the end of a piece, or the last block decoded before a pause, is not lost.
    const bool silent = PauseTime.load() != 0.0f || Mute.load();
    const int64_t call = BlockCalls.fetch_add(1);
    Copying = true;
    TOggData* const data = NextBegun_.load() ? Next.get() : OggData.get();
    const bool wasPlaying = data->GetPlayState() != psSTOP;
    void* p1 = nullptr;
    void* p2 = nullptr;
    DWORD n1 = 0;
    DWORD n2 = 0;
    if (FAILED(PlayBuffer->Lock(static_cast<DWORD>(block) * half, half, &p1, &n1, &p2, &n2, 0))) {
        // The block is rendered all the same, as every block is, heard or not.
        NoteEnd(*data, block, call, wasPlaying, data->RenderBlock({}, {}, true));
        Copying = false;
        Trace.Trace("Block_Copy:バッファーのロックに失敗\n");
        return false;
    }
    // The same step as qvtool render's, under the data's render lock: TOggData::Stop clears the
    // render memory from the GUI thread, and the analysis of the output reads it.
    const int32_t rendered = data->RenderBlock({static_cast<uint8_t*>(p1), n1},
                                               {static_cast<uint8_t*>(p2), p2 != nullptr ? n2 : 0}, silent);
    auto marks = data->BlockMarks();
    NoteEnd(*data, block, call, wasPlaying, rendered);
    // The piece ended by itself inside this block: the one queued to follow starts in the very
    // next byte, so that the device never plays the silence between them.
    const bool ended = wasPlaying && data->GetPlayState() == psSTOP && !silent;
    if (ended && Next && !NextBegun_.load() && p2 == nullptr && n1 == half) {
        BeginNext(block, call, static_cast<uint8_t*>(p1), rendered, marks);
    }
    PlayBuffer->Unlock(p1, n1, p2, n2);
    KeepMarks(block, std::move(marks));
    Copying = false;
    ++BlocksCopied;
    return true;
}

uint32_t TDSOggStream::StreamThread(TDSOggStream* stream)
{
    const DWORD half = stream->BufferSize / 2;
    // The leave event comes first so that it wins over notifications that are also set.
    TEvent* const events[3] = {stream->Events[2].get(), stream->Events[0].get(), stream->Events[1].get()};

    {
        std::lock_guard refill(stream->RefillLock);
        stream->NewestBlock = 0;
        if (!stream->Block_Copy(0)) {
            return 1;
        }
    }
    {
        std::lock_guard lock(stream->BufferLock);
        if (!stream->BufferHeld) {
            stream->PlayBuffer->Play(0, 0, DSBPLAY_LOOPING);
        }
    }
    for (;;) {
        const int which = TEvent::WaitAny(events, 3, TEvent::Infinite);
        bool copied = true;
        if (which == 0) {
            return 0;
        } else if (which == 1 || which == 2) {
            // Block 0 is playing now (the first event): refill block 1, or the other way round;
            // unless this signal came out of turn. A held buffer (paused or stopped) gets no
            // refill; a resume signals again for it.
            std::lock_guard refill(stream->RefillLock);
            DWORD write = 0;
            stream->PlayBuffer->GetCurrentPosition(nullptr, &write);
            const int block = which == 1 ? 1 : 0;
            const bool block0Newest = stream->NewestBlock == 0;
            const bool due = block == 1 ? write < half && block0Newest : write >= half && !block0Newest;
            bool held = false;
            {
                std::lock_guard lock(stream->BufferLock);
                held = stream->BufferHeld;
            }
            if (due && held) {
                stream->RefillSkipped = true;
            } else if (due) {
                copied = stream->Block_Copy(block);
                stream->NewestBlock = block;
            }
        } else {
            stream->Stop();
            return 1;
        }
        if (!copied) {
            // The buffer cannot be written: silence it and end here. Freeing the stream's objects
            // is left to the owner's Release, which may be using them at this moment.
            stream->PlayBuffer->Stop();
            return 1;
        }
    }
}
