#include "TLoopHistory.h"

#include <algorithm>

int64_t TLoopHistory::Passes() const
{
    return kept_.empty() ? forgottenPasses_ : kept_.back().PassesAfter;
}

int64_t TLoopHistory::PassesAt(int64_t jumps) const
{
    if (jumps <= forgottenJumps_ || kept_.empty())
        return jumps >= Jumps() ? Passes() : std::min(forgottenPasses_, std::max<int64_t>(jumps, 0));
    const auto at = static_cast<size_t>(std::min(jumps - forgottenJumps_, static_cast<int64_t>(kept_.size())));
    return kept_[at - 1].PassesAfter;
}

void TLoopHistory::Add(TJump jump)
{
    jump.PassesAfter = Passes() + (jump.Pass ? 1 : 0);
    if (kept_.size() >= MaxKept) {
        forgottenPasses_ = kept_.front().PassesAfter;
        ++forgottenJumps_;
        kept_.pop_front();
    }
    kept_.push_back(jump);
}

void TLoopHistory::Pop()
{
    if (!kept_.empty())
        kept_.pop_back();
}

void TLoopHistory::Clear()
{
    kept_.clear();
    forgottenJumps_ = 0;
    forgottenPasses_ = 0;
}

void TLoopHistory::Forget()
{
    forgottenPasses_ = Passes();
    forgottenJumps_ = Jumps();
    kept_.clear();
}
