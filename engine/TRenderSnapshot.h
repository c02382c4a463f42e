#pragma once
// What another thread may read of a TOggData's rendering without waiting for a block being
// rendered: the decoder's place, when and where the last block went into the render memory, and
// a copy of that memory, all published together when a block is finished and after a seek, a stop
// or a load. A sequence counter (odd while a publication is under way) lets a reader take a
// consistent copy: it reads the words and starts again in the rare case a publication ran
// meanwhile, so it waits at most for one copy of a block, never for a decode. Every word is an
// atomic, so the copy is no data race.
//
// One writer at a time: the holder of the render lock.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <thread>

class TRenderSnapshot {
public:
    struct TPosition {
        float Tell = 0.0f;       // the decoder's place in seconds
        int32_t Offset = 0;      // RenderOffset of the last block
        uint64_t Tick = 0;       // RenderTick of the last block
    };

    // ringBytes: the size of the render memory (whole frames of 4 bytes are kept).
    explicit TRenderSnapshot(int64_t ringBytes)
        : frames_(ringBytes > 0 ? ringBytes / 4 : 0), ring_(std::make_unique<std::atomic<uint32_t>[]>(frames_))
    {
    }
    TRenderSnapshot(const TRenderSnapshot&) = delete;
    TRenderSnapshot& operator=(const TRenderSnapshot&) = delete;

    int64_t Frames() const { return frames_; }

    // Publishes a position, and with memory the bytes [from, from + bytes) of the render memory.
    void Publish(const TPosition& p, const uint8_t* memory = nullptr, int64_t from = 0, int64_t bytes = 0)
    {
        const uint64_t s = seq_.load(std::memory_order_relaxed);
        seq_.store(s + 1, std::memory_order_relaxed);
        tell_.store(p.Tell, std::memory_order_release);
        offset_.store(p.Offset, std::memory_order_release);
        tick_.store(p.Tick, std::memory_order_release);
        if (memory != nullptr) {
            const int64_t first = std::max<int64_t>(from / 4, 0);
            const int64_t last = std::min<int64_t>((from + bytes) / 4, frames_);
            for (int64_t f = first; f < last; ++f) {
                uint32_t frame;
                std::memcpy(&frame, memory + f * 4, 4);
                ring_[f].store(frame, std::memory_order_release);
            }
        }
        seq_.store(s + 2, std::memory_order_release);
    }

    TPosition Position() const
    {
        TPosition p;
        Read([&](const TPosition& at, auto&&) { p = at; });
        return p;
    }

    // Calls take(position, frame) with a consistent position, where frame(i) reads frame i of
    // the ring (i taken modulo its length). take may be called more than once; the last call's
    // results stand.
    template <typename Take>
    void Read(Take&& take) const
    {
        auto frame = [this](int64_t i) {
            const uint32_t v = frames_ > 0 ? ring_[((i % frames_) + frames_) % frames_].load(std::memory_order_acquire) : 0;
            return v;
        };
        for (;;) {
            const uint64_t s = seq_.load(std::memory_order_acquire);
            if ((s & 1) != 0) {
                std::this_thread::yield();
                continue;
            }
            TPosition p;
            p.Tell = tell_.load(std::memory_order_acquire);
            p.Offset = offset_.load(std::memory_order_acquire);
            p.Tick = tick_.load(std::memory_order_acquire);
            take(static_cast<const TPosition&>(p), frame);
            if (seq_.load(std::memory_order_relaxed) == s)
                return;
        }
    }

private:
    const int64_t frames_;
    std::unique_ptr<std::atomic<uint32_t>[]> ring_;
    std::atomic<uint64_t> seq_{0};
    std::atomic<float> tell_{0.0f};
    std::atomic<int32_t> offset_{0};
    std::atomic<uint64_t> tick_{0};
};
