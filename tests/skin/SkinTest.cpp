// Our two skins, as committed and as copied into the program folder: every key there, a clean cut,
// buttons that sit on the face, glyph strips with three visibly different states.
#include "BuildPaths.h"
#include "OggFixture.h"
#include "TStringList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Rgb = std::array<int, 3>;

struct TBitmap {
    int Width = 0;
    int Height = 0;
    std::vector<Rgb> Pixels;  // top row first
    const Rgb& At(int x, int y) const { return Pixels[static_cast<size_t>(y) * Width + x]; }
};

uint32_t Le(const std::vector<uint8_t>& b, size_t at, int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) v |= static_cast<uint32_t>(b.at(at + i)) << (8 * i);
    return v;
}

// Uncompressed 24-bit BMP, the only kind we draw.
TBitmap LoadBmp(const std::string& path) {
    const std::vector<uint8_t> b = fixture::ReadFile(path);
    TBitmap bmp;
    if (b.size() < 54 || b[0] != 'B' || b[1] != 'M') return bmp;
    EXPECT_EQ(Le(b, 28, 2), 24u) << path;
    EXPECT_EQ(Le(b, 30, 4), 0u) << path;
    const size_t offset = Le(b, 10, 4);
    bmp.Width = static_cast<int>(Le(b, 18, 4));
    const int h = static_cast<int32_t>(Le(b, 22, 4));
    bmp.Height = h < 0 ? -h : h;
    const size_t row = (static_cast<size_t>(bmp.Width) * 3 + 3) & ~size_t{3};
    for (int y = 0; y < bmp.Height; ++y) {
        const size_t r = offset + row * static_cast<size_t>(h < 0 ? y : bmp.Height - 1 - y);
        for (int x = 0; x < bmp.Width; ++x) {
            const size_t p = r + 3 * static_cast<size_t>(x);
            bmp.Pixels.push_back({b.at(p + 2), b.at(p + 1), b.at(p)});
        }
    }
    return bmp;
}

double Luma(const Rgb& c) { return 0.299 * c[0] + 0.587 * c[1] + 0.114 * c[2]; }

const std::vector<std::string> Skins = {"default", "light"};
const std::vector<std::string> Buttons = {"PLAY", "STOP", "PAUSE", "BACK", "NEXT", "REWIND", "FAST"};
const std::vector<std::string> Strips = {"bPlay", "bStop", "bPause", "bBack", "bNext", "bRewind", "bFast"};

std::string Dir(const std::string& skin) { return std::string(buildpaths::SkinSource) + "/" + skin + "/"; }

TStringList Ini(const std::string& skin) {
    TStringList ini;
    ini.LoadFromFile(Dir(skin) + "skin.ini");
    return ini;
}

int Int(const TStringList& ini, const std::string& key) { return std::stoi(ini.Values(key)); }

}  // namespace

TEST(Skins, EveryKeyPresentWithNumbersAndColours) {
    for (const std::string& skin : Skins) {
        SCOPED_TRACE(skin);
        const TStringList ini = Ini(skin);
        std::vector<std::string> keys = {"DISPLAY_X", "DISPLAY_Y"};
        for (const std::string& b : Buttons)
            for (const char* k : {"_BUTTON_X", "_BUTTON_Y", "_BUTTON_TRANS"}) keys.push_back(b + k);
        for (const std::string& k : keys) {
            const std::string v = ini.Values(k);
            ASSERT_FALSE(v.empty()) << k;
            EXPECT_EQ(std::to_string(std::stoi(v)), v) << k;
        }
        for (const char* k : {"TITLE_COLOR", "TIME_COLOR", "TOTALTIME_COLOR"}) {
            std::stringstream in(ini.Values(k));
            std::string part;
            int n = 0;
            while (std::getline(in, part, ',')) {
                const int v = std::stoi(part);
                EXPECT_TRUE(v >= 0 && v <= 255) << k;
                ++n;
            }
            EXPECT_EQ(n, 3) << k;
            EXPECT_NE(ini.Values(k), "0,0,0") << k << ": black text would not show";
        }
        EXPECT_EQ(static_cast<int>(keys.size()) + 3, 26);
    }
}

// The key colour cuts the outline: no blend with it at the edge (a fringe would show as a halo),
// no black (see-through), corners cut, and the cut only a small part of the face.
TEST(Skins, FaceOutlineIsCutCleanly) {
    for (const std::string& skin : Skins) {
        SCOPED_TRACE(skin);
        const TBitmap face = LoadBmp(Dir(skin) + "face.bmp");
        ASSERT_GT(face.Width, 200);
        ASSERT_GT(face.Height, 80);
        const Rgb key = face.At(0, 0);
        EXPECT_EQ(key, (Rgb{255, 0, 255}));
        EXPECT_EQ(face.At(face.Width - 1, 0), key);
        EXPECT_EQ(face.At(0, face.Height - 1), key);
        EXPECT_EQ(face.At(face.Width - 1, face.Height - 1), key);
        std::set<Rgb> edge;
        int cut = 0;
        for (int y = 0; y < face.Height; ++y) {
            for (int x = 0; x < face.Width; ++x) {
                const Rgb& c = face.At(x, y);
                EXPECT_NE(c, (Rgb{0, 0, 0})) << x << "," << y;
                if (c == key) {
                    ++cut;
                    continue;
                }
                const int dx[] = {1, -1, 0, 0}, dy[] = {0, 0, 1, -1};
                for (int i = 0; i < 4; ++i) {
                    const int X = x + dx[i], Y = y + dy[i];
                    if (X < 0 || Y < 0 || X >= face.Width || Y >= face.Height || face.At(X, Y) == key) edge.insert(c);
                }
            }
        }
        EXPECT_EQ(edge.size(), 1u) << "the outline's edge pixels should be one rim colour";
        EXPECT_GT(cut, 4 * 20);
        EXPECT_LT(cut, face.Width * face.Height / 10);
    }
}

// Each button lies on the face, clear of the others and of the text display, on one flat colour
// that is also its strip's bottom-left pixel: drawn opaque or with that colour see-through, it
// looks the same.
TEST(Skins, ButtonsSitOnFlatFaceApartFromEachOtherAndTheDisplay) {
    for (const std::string& skin : Skins) {
        SCOPED_TRACE(skin);
        const TStringList ini = Ini(skin);
        const TBitmap face = LoadBmp(Dir(skin) + "face.bmp");
        const Rgb key = face.At(0, 0);
        const int dx = Int(ini, "DISPLAY_X"), dy = Int(ini, "DISPLAY_Y");
        struct R { int x0, y0, x1, y1; };
        auto overlap = [](const R& a, const R& b) { return a.x0 < b.x1 && b.x0 < a.x1 && a.y0 < b.y1 && b.y0 < a.y1; };
        const R display{dx, dy, dx + 236, dy + 44};
        EXPECT_LE(display.x1, face.Width);
        std::vector<R> placed;
        for (size_t i = 0; i < Buttons.size(); ++i) {
            SCOPED_TRACE(Buttons[i]);
            const TBitmap strip = LoadBmp(Dir(skin) + Strips[i] + ".bmp");
            ASSERT_EQ(strip.Width, 48);
            ASSERT_EQ(strip.Height, 16);
            const R r{Int(ini, Buttons[i] + "_BUTTON_X"), Int(ini, Buttons[i] + "_BUTTON_Y"), 0, 0};
            const R b{r.x0, r.y0, r.x0 + 16, r.y0 + 16};
            ASSERT_TRUE(b.x0 >= 0 && b.y0 >= 0 && b.x1 <= face.Width && b.y1 <= face.Height);
            EXPECT_FALSE(overlap(b, display));
            for (const R& o : placed) EXPECT_FALSE(overlap(b, o));
            placed.push_back(b);
            const Rgb under = strip.At(0, 15);
            for (int y = b.y0; y < b.y1; ++y)
                for (int x = b.x0; x < b.x1; ++x) {
                    ASSERT_NE(face.At(x, y), key);
                    ASSERT_EQ(face.At(x, y), under) << x << "," << y;
                }
        }
    }
}

// Normal, disabled and pressed must be told apart at a glance: disabled has little contrast,
// pressed is darker than normal.
TEST(Skins, GlyphStripsHaveThreeDistinctStates) {
    for (const std::string& skin : Skins) {
        for (const std::string& name : Strips) {
            SCOPED_TRACE(skin + "/" + name);
            const TBitmap s = LoadBmp(Dir(skin) + name + ".bmp");
            ASSERT_EQ(s.Width, 48);
            double mean[3] = {0, 0, 0}, lo[3] = {255, 255, 255}, hi[3] = {0, 0, 0};
            for (int img = 0; img < 3; ++img)
                for (int y = 2; y < 14; ++y)
                    for (int x = 2; x < 14; ++x) {
                        const Rgb& c = s.At(img * 16 + x, y);
                        EXPECT_NE(c, (Rgb{0, 0, 0}));
                        const double l = Luma(c);
                        mean[img] += l / 144.0;
                        lo[img] = std::min(lo[img], l);
                        hi[img] = std::max(hi[img], l);
                    }
            EXPECT_LT(hi[1] - lo[1], 0.5 * (hi[0] - lo[0])) << "disabled not greyed";
            EXPECT_LT(mean[2], mean[0] - 10.0) << "pressed not darker";
        }
    }
}

TEST(Skins, TheTwoSkinsLookDifferent) {
    double mean[2] = {0, 0};
    for (int i = 0; i < 2; ++i) {
        const TBitmap face = LoadBmp(Dir(Skins[i]) + "face.bmp");
        for (const Rgb& c : face.Pixels) mean[i] += Luma(c) / static_cast<double>(face.Pixels.size());
    }
    EXPECT_GT(mean[1] - mean[0], 60.0);
}

TEST(Skins, BuildCopiesThemBesideTheProgram) {
    for (const std::string& skin : Skins)
        for (const std::string& f : {std::string("skin.ini"), std::string("face.bmp"), std::string("bPlay.bmp")}) {
            const std::vector<uint8_t> src = fixture::ReadFile(Dir(skin) + f);
            ASSERT_FALSE(src.empty());
            EXPECT_EQ(fixture::ReadFile(fixture::BinDir() + "/skin/" + skin + "/" + f), src) << skin << "/" << f;
        }
}
