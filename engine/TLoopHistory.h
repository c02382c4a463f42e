#pragma once
// TLoopHistory: the loop jumps a piece has made, newest last. A listener's passes are counted from
// it (a pass is a jump back the loop step really made, however short the loop), and a step back
// across a jump undoes the jump, so that it returns into the pass before it with the loop
// entries' counters as they stood then.
//
// Only the newest MaxKept jumps are kept in full (a 10 ms loop jumps a hundred times a second);
// the counts of the older ones stay.
#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>

class TLoopHistory {
public:
    static constexpr std::size_t MaxKept = 4096;
    using TCounters = std::array<int32_t, 16>;
    struct TJump {
        int32_t Entry = 0;
        double From = 0.0;  // the loop's end in the piece, seconds: where the pass before it ends
        double To = 0.0;    // where the jump landed
        TCounters Before{};  // the entries' counters just before the jump
        bool Pass = false;   // a pass of the loop the listener counts
        int64_t PassesAfter = 0;
    };

    // Jumps made, and those of them that are passes.
    int64_t Jumps() const { return forgottenJumps_ + static_cast<int64_t>(kept_.size()); }
    int64_t Passes() const;
    // The passes among the first `jumps` jumps (clamped to those made).
    int64_t PassesAt(int64_t jumps) const;
    void Add(TJump jump);
    // The newest jump still kept; null when none is.
    const TJump* Last() const { return kept_.empty() ? nullptr : &kept_.back(); }
    // Undoes the newest jump (nothing when none is kept).
    void Pop();
    // Everything forgotten and the counts back to 0: a new start of the piece.
    void Clear();
    // The jumps forgotten, their counts kept: playback was moved to a place that the jumps no
    // longer lead to, so a step back goes straight back from there.
    void Forget();

private:
    std::deque<TJump> kept_;
    int64_t forgottenJumps_ = 0;
    int64_t forgottenPasses_ = 0;
};
