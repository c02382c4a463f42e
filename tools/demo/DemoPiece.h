#pragma once
// TDemoPiece: the whole demo piece as 44100 Hz stereo float PCM, with its loop points.
//
// The looping section is one period of a piece that has always been looping: whatever rings on
// past its end (releases, the room) is folded back onto its start, and the room is run over three
// periods so that its state at the end matches its state at the start. So the sound at LoopEnd
// continues exactly into the sound at LoopStart; both fall on whole frames.
#include <cstdint>
#include <vector>

class TDemoPiece {
public:
    static const int64_t IntroFrames;
    static const int64_t LoopFrames;
    static const int64_t OutroFrames;  // after LoopEnd: the loop's start again, fading out
    static constexpr double Peak = 0.8;

    // Renders the piece: intro | loop period | outro, scaled so its peak is `Peak`.
    static TDemoPiece Make();
    // One period of the looping section (dry and room), as heard once it has looped for ever; unscaled.
    static std::vector<float> LoopPeriod();
    // The looping section's notes played `periods` times in a row from silence, room included; unscaled.
    static std::vector<float> LoopPlayedThrough(int periods);

    std::vector<float> Pcm;  // interleaved stereo
    int64_t LoopStartFrame = 0;
    int64_t LoopEndFrame = 0;
    double Gain = 1.0;  // the scale applied to reach Peak
};
