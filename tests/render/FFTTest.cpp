#include "FFTLib.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>

namespace {

constexpr double kPi = 3.14159265358979323846;

void FillExponential(TFFT& fft, int freq, int sign)
{
    for (int n = 0; n < fft.Size; ++n) {
        double a = sign * 2.0 * kPi * freq * n / fft.Size;
        fft.Re[n] = static_cast<float>(std::cos(a));
        fft.Im[n] = static_cast<float>(std::sin(a));
    }
}

}

TEST(FFT, TablesMatchTheirDefinitions)
{
    TFFT fft(256);
    ASSERT_EQ(fft.SinTbl.size(), 192u);
    for (int k = 0; k < 192; ++k)
        EXPECT_NEAR(fft.SinTbl[k], std::sin(2.0 * kPi * k / 256), 2e-7) << k;
    for (int i = 0; i < 256; ++i) {
        int rev = 0;
        for (int b = 0; b < 8; ++b)
            rev |= ((i >> b) & 1) << (7 - b);
        EXPECT_EQ(fft.BitRev[i], rev) << i;
    }
    EXPECT_EQ(fft.HammingTbl[0], 0.5f);
    EXPECT_EQ(fft.HammingTbl[128], 1.0f);
    EXPECT_NEAR(fft.HammingTbl[255], 0.5061f, 1e-4);
    EXPECT_FLOAT_EQ(fft.NormalizeTbl[0], 0.0001f);
    EXPECT_FLOAT_EQ(fft.NormalizeTbl[255], 0.0001f);
    EXPECT_FLOAT_EQ(fft.NormalizeTbl[127], 0.0021f);
    EXPECT_FLOAT_EQ(fft.NormalizeTbl[128], 0.0021f);
}

TEST(FFT, ComplexExponentialsLandInTheirBins)
{
    TFFT fft(256);
    FillExponential(fft, 5, +1);
    fft.FFT();
    for (int k = 0; k < 256; ++k) {
        double mag = std::hypot(fft.Re[k], fft.Im[k]);
        EXPECT_NEAR(mag, k == 251 ? 1.0 : 0.0, 1e-5) << k;
    }
    EXPECT_NEAR(fft.Re[251], 1.0, 1e-5);

    FillExponential(fft, 5, -1);
    fft.FFT();
    for (int k = 0; k < 256; ++k)
        EXPECT_NEAR(std::hypot(fft.Re[k], fft.Im[k]), k == 5 ? 1.0 : 0.0, 1e-5) << k;
}

TEST(FFT, SmallSizeMatchesDirectTransformAndResizingKeepsBuffers)
{
    TFFT fft(256);
    for (int i = 0; i < 8; ++i) {
        fft.Re[i] = static_cast<float>(i + 1);
        fft.Im[i] = static_cast<float>(3 - i);
    }
    fft.Init(8);
    ASSERT_EQ(fft.Re.size(), 8u);
    EXPECT_EQ(fft.Re[7], 8.0f);
    EXPECT_EQ(fft.Im[7], -4.0f);

    std::complex<double> z[8];
    for (int n = 0; n < 8; ++n)
        z[n] = {fft.Re[n], fft.Im[n]};
    fft.FFT();
    for (int k = 0; k < 8; ++k) {
        std::complex<double> x = 0;
        for (int n = 0; n < 8; ++n)
            x += z[n] * std::polar(1.0, 2.0 * kPi * n * k / 8);
        x /= 8.0;
        EXPECT_NEAR(fft.Re[k], x.real(), 1e-5) << k;
        EXPECT_NEAR(fft.Im[k], x.imag(), 1e-5) << k;
    }
}

TEST(FFT, RoundTripsRestoreTheBuffers)
{
    TFFT fft(256);
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> sample(-32768, 32767);
    std::vector<float> re(256), im(256);
    for (int i = 0; i < 256; ++i) {
        re[i] = fft.Re[i] = static_cast<float>(sample(rng));
        im[i] = fft.Im[i] = static_cast<float>(sample(rng));
    }
    fft.FFT();
    fft.UnFFT();
    for (int i = 0; i < 256; ++i) {
        EXPECT_NEAR(fft.Re[i], re[i], 0.02) << i;
        EXPECT_NEAR(fft.Im[i], im[i], 0.02) << i;
    }

    fft.HammingWindow();
    fft.UnHammingWindow();
    for (int i = 0; i < 256; ++i)
        EXPECT_NEAR(fft.Re[i], re[i], 0.03) << i;

    for (int i = 0; i < 256; ++i) {
        fft.Re[i] = static_cast<float>(i);
        fft.Im[i] = static_cast<float>(-i);
    }
    fft.SortFFT();
    EXPECT_EQ(fft.Re[1], 255.0f);
    EXPECT_EQ(fft.Re[255], 128.0f);
    EXPECT_EQ(fft.Im[254], -127.0f);
    fft.UnSortFFT();
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(fft.Re[i], static_cast<float>(i));
        EXPECT_EQ(fft.Im[i], static_cast<float>(-i));
    }
}

TEST(FFT, SaturationIsSymmetricAt32767)
{
    TFFT fft(8);
    const float in[8] = {40000.0f, -32768.0f, 32767.0f, -32767.0f, 0.5f, -1e9f, 32767.5f, -0.0f};
    for (int i = 0; i < 8; ++i)
        fft.Re[i] = fft.Im[i] = in[i];
    fft.SatSmallInt();
    const float out[8] = {32767.0f, -32767.0f, 32767.0f, -32767.0f, 0.5f, -32767.0f, 32767.0f, 0.0f};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(fft.Re[i], out[i]) << i;
        EXPECT_EQ(fft.Im[i], out[i]) << i;
    }
}
