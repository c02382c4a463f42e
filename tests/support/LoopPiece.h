#pragma once
// Pieces that repeat: a section of known length played over and over, after an intro, for the
// tests and the benchmark of the loop finder. The same arguments always make the same piece.
#include "OggFixture.h"

#include <cstdint>
#include <vector>

namespace fixture {

enum class Kind { Tonal, Noisy, Percussive };

// One section `frames` long at `rate`, interleaved stereo: quarter-second notes, noise whose
// colour and level change every 0.2 s, or drum hits on an eighth-note grid; seed picks which.
std::vector<float> Section(Kind kind, int64_t frames, int rate, uint32_t seed);

// An intro of notes (none for 0 s), the section `periods` times, then its first two seconds
// again: a piece whose loop is the section, `frames` long.
Pcm Piece(Kind kind, double introSeconds, int64_t frames, int periods, int rate = 44100);

}
