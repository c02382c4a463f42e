#pragma once
// A complex radix-2 FFT of fixed size on two float work buffers, with the window, display
// weighting and clipping that the equaliser and the spectrum graph chain around it.
#include <cstdint>
#include <vector>

class TFFT {
public:
    explicit TFFT(int32_t n);
    virtual ~TFFT() = default;

    void Init(int32_t n);
    void FFT();    // forward, scaled by 1/N
    void UnFFT();  // inverse, unscaled
    void HammingWindow();
    void UnHammingWindow();
    void NormalizeFFT();
    void SatSmallInt();
    void SortFFT();
    void UnSortFFT();

    void MakeSinTbl();
    void MakeBitRev();
    void MakeHammingTbl();
    void MakeNormalizeTbl();

    std::vector<float> SinTbl;
    std::vector<int32_t> BitRev;
    std::vector<float> HammingTbl;
    std::vector<float> UnHammingTbl;
    std::vector<float> NormalizeTbl;
    int32_t Size = 0;
    std::vector<float> Re;
    std::vector<float> Im;

private:
    void Transform(bool forward);
};
