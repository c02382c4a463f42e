#include "FFTLib.h"

#include <algorithm>
#include <cmath>

TFFT::TFFT(int32_t n)
{
    Init(n);
}

void TFFT::Init(int32_t n)
{
    Size = n;
    Re.resize(static_cast<size_t>(n), 0.0f);
    Im.resize(static_cast<size_t>(n), 0.0f);
    MakeSinTbl();
    MakeBitRev();
    MakeHammingTbl();
    MakeNormalizeTbl();
}

// Quarter-wave sine table by recurrence: cheaper than a sine call per entry and accurate to
// float precision for the sizes we use. The value of pi is deliberately the short one the
// tables were always built with, so the tables stay the same everywhere.
void TFFT::MakeSinTbl()
{
    const int32_t n = Size;
    const int32_t n2 = n / 2, n4 = n / 4, n8 = n / 8;
    SinTbl.assign(static_cast<size_t>(3 * n4), 0.0f);
    if (n4 == 0)
        return;

    float s1 = static_cast<float>(std::sin(3.141592 / n));
    float dc = 2.0f * s1 * s1;
    float ds = std::sqrt((2.0f - dc) * dc);
    const float t = 2.0f * dc;
    SinTbl[n4] = 1.0f;
    SinTbl[0] = 0.0f;
    float c = 1.0f;
    float s = 0.0f;
    for (int32_t i = 1; i < n8; ++i) {
        c = c - dc;
        dc = t * c + dc;
        s = s + ds;
        ds = ds - t * s;
        SinTbl[i] = s;
        SinTbl[n4 - i] = c;
    }
    if (n8 != 0)
        SinTbl[n8] = std::sqrt(0.5f);
    for (int32_t i = 0; i < n4; ++i) {
        SinTbl[n2 - i] = SinTbl[i];
        SinTbl[n2 + i] = -SinTbl[i];
    }
}

void TFFT::MakeBitRev()
{
    const int32_t n = Size;
    BitRev.assign(static_cast<size_t>(n), 0);
    int32_t j = 0;
    for (int32_t i = 0; i < n; ++i) {
        BitRev[i] = j;
        if (i == n - 1)
            break;
        int32_t k = n / 2;
        while (k > 0 && k <= j) {
            j -= k;
            k /= 2;
        }
        j += k;
    }
}

// Half a period of a raised cosine: 0.5 at the edges, 1.0 in the middle. It never reaches
// zero, so the inverse window is exact and its factors stay between 1 and 2.
void TFFT::MakeHammingTbl()
{
    const int32_t n = Size;
    HammingTbl.assign(static_cast<size_t>(n), 0.0f);
    UnHammingTbl.assign(static_cast<size_t>(n), 0.0f);
    for (int32_t i = 0; i < n; ++i) {
        float w = static_cast<float>(0.5 + 0.5 * std::cos(3.14159265 * (i - n / 2) / n));
        HammingTbl[i] = w;
        UnHammingTbl[i] = 1.0f / w;
    }
}

// Display weighting, symmetric in i and N-1-i, tilted towards the treble so that a spectrum
// of music looks level.
void TFFT::MakeNormalizeTbl()
{
    const int32_t n = Size;
    NormalizeTbl.assign(static_cast<size_t>(n), 0.0f);
    for (int32_t i = 0; i < n / 2; ++i) {
        double deg = (i * 90) / 127.0;
        float v = static_cast<float>((std::sin(deg * 3.141592 / 180.0) + 0.05) / 500.0);
        NormalizeTbl[i] = v;
        NormalizeTbl[n - 1 - i] = v;
    }
}

void TFFT::Transform(bool forward)
{
    const int32_t n = Size;
    if (n < 2 || static_cast<int32_t>(Re.size()) < n || static_cast<int32_t>(Im.size()) < n)
        return;
    float* re = Re.data();
    float* im = Im.data();
    const float* sinTbl = SinTbl.data();
    const int32_t* bitRev = BitRev.data();
    const int32_t n4 = n / 4;

    for (int32_t i = 0; i < n; ++i) {
        int32_t j = bitRev[i];
        if (i < j) {
            std::swap(re[i], re[j]);
            std::swap(im[i], im[j]);
        }
    }

    for (int32_t k = 1; k < n; k *= 2) {
        const int32_t d = n / (2 * k);
        int32_t h = 0;
        for (int32_t j = 0; j < k; ++j) {
            const float c = sinTbl[h + n4];
            const float s = forward ? -sinTbl[h] : sinTbl[h];
            for (int32_t i = j; i < n; i += 2 * k) {
                const int32_t m = i + k;
                const float dx = s * im[m] + c * re[m];
                const float dy = c * im[m] - s * re[m];
                re[m] = re[i] - dx;
                re[i] = re[i] + dx;
                im[m] = im[i] - dy;
                im[i] = im[i] + dy;
            }
            h += d;
        }
    }

    if (forward) {
        const float scale = 1.0f / static_cast<float>(n);
        for (int32_t i = 0; i < n; ++i) {
            re[i] *= scale;
            im[i] *= scale;
        }
    }
}

void TFFT::FFT()
{
    Transform(true);
}

void TFFT::UnFFT()
{
    Transform(false);
}

void TFFT::HammingWindow()
{
    for (int32_t i = 0; i < Size; ++i) {
        Re[i] *= HammingTbl[i];
        Im[i] *= HammingTbl[i];
    }
}

void TFFT::UnHammingWindow()
{
    for (int32_t i = 0; i < Size; ++i) {
        Re[i] *= UnHammingTbl[i];
        Im[i] *= UnHammingTbl[i];
    }
}

void TFFT::NormalizeFFT()
{
    for (int32_t i = 0; i < Size; ++i) {
        Re[i] *= NormalizeTbl[i];
        Im[i] *= NormalizeTbl[i];
    }
}

// The bound is 32767 on both sides, so every value converts to a 16-bit sample whose
// magnitude is at most 32767.
void TFFT::SatSmallInt()
{
    for (int32_t i = 0; i < Size; ++i) {
        Re[i] = std::clamp(Re[i], -32767.0f, 32767.0f);
        Im[i] = std::clamp(Im[i], -32767.0f, 32767.0f);
    }
}

// Interleaved order: position 2i holds bin i, position 2i+1 holds bin N-1-i.
void TFFT::SortFFT()
{
    const std::vector<float> re(Re.begin(), Re.begin() + Size);
    const std::vector<float> im(Im.begin(), Im.begin() + Size);
    for (int32_t i = 0; i < Size / 2; ++i) {
        Re[2 * i] = re[i];
        Re[2 * i + 1] = re[Size - 1 - i];
        Im[2 * i] = im[i];
        Im[2 * i + 1] = im[Size - 1 - i];
    }
}

void TFFT::UnSortFFT()
{
    const std::vector<float> re(Re.begin(), Re.begin() + Size);
    const std::vector<float> im(Im.begin(), Im.begin() + Size);
    for (int32_t i = 0; i < Size / 2; ++i) {
        Re[i] = re[2 * i];
        Re[Size - 1 - i] = re[2 * i + 1];
        Im[i] = im[2 * i];
        Im[Size - 1 - i] = im[2 * i + 1];
    }
}
