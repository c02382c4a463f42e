// Every piece is heard to its end: the real player on SDL's disk driver (faster than real time),
// its timers ticking at random moments, and what it played compared with each piece rendered
// on its own.
#include "PlaybackFixture.h"

#include "OggDataLib.h"
#include "OutputFormat.h"
#include "Unit1.h"
#include "Unit3.h"

#include <QSpinBox>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <random>
#include <thread>

using namespace playback_test;

namespace {

using Samples = std::vector<int16_t>;

// The piece as the stream player renders it, block after block, to the end of its sound.
Samples Rendered(const std::string& path)
{
    TOggData data(OutputFormat::StreamBufferBytes);
    EXPECT_TRUE(data.LoadOgg(path));
    data.Play(false);
    Samples out;
    Samples block(OutputFormat::BlockBytes / 2);
    for (int i = 0; i < 600 && data.GetPlayState() != psSTOP; ++i) {
        data.RenderBlock({reinterpret_cast<uint8_t*>(block.data()), OutputFormat::BlockBytes}, {}, false);
        out.insert(out.end(), block.begin(), block.end());
    }
    while (!out.empty() && out.back() == 0)
        out.pop_back();
    return out;
}

Samples Captured(const std::string& path)
{
    const std::vector<uint8_t> bytes = fixture::ReadFile(path);
    Samples s(bytes.size() / 2);
    std::memcpy(s.data(), bytes.data(), s.size() * 2);
    return s;
}

size_t FirstSound(const Samples& s, size_t from)
{
    while (from < s.size() && s[from] == 0)
        ++from;
    return from;
}

// Finds each piece whole, in order, each after the end of the one before; returns how many were.
size_t WholeInOrder(const Samples& capture, const std::vector<const Samples*>& pieces)
{
    size_t at = 0;
    for (size_t n = 0; n < pieces.size(); ++n) {
        const Samples& piece = *pieces[n];
        const size_t lead = FirstSound(piece, 0);
        const size_t found = FirstSound(capture, at);
        if (found < lead || found - lead + piece.size() > capture.size())
            return n;
        const size_t start = found - lead;
        if (!std::equal(piece.begin(), piece.end(), capture.begin() + static_cast<std::ptrdiff_t>(start)))
            return n;
        at = start + piece.size();
    }
    return pieces.size();
}

class WholePieces : public PlaybackTest {
protected:
    // A Timer3 tick now and then, at random moments; NextPlayTimer's when it runs, a random
    // while later. Stops once `moves` entries have followed an ended one: by the timer, or
    // running on from the piece's last sound when it was queued in time.
    int Drive(std::mt19937& random, int moves, std::chrono::seconds limit)
    {
        std::uniform_int_distribution<int> tick(5, 120);
        int moved = 0;
        const auto end = std::chrono::steady_clock::now() + limit;
        while (moved < moves && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(std::chrono::milliseconds(tick(random)));
            const int entry = form1->CurrentEntry();
            form1->Timer3Timer();
            if (form1->NextPlayTimer->isActive()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(tick(random)));
                form1->NextPlayTimerTimer();
            }
            if (form1->CurrentEntry() != entry)
                ++moved;
        }
        return moved;
    }
};

TEST_F(WholePieces, AListPlayedTwiceHoldsEveryPieceWholeAndInOrder)
{
    const std::vector<std::string> files = {MakeOgg("p33.ogg", 3.3), MakeOgg("p27.ogg", 2.7),
                                            MakeOgg("p145.ogg", 1.45), MakeOgg("p06.ogg", 0.6)};
    std::vector<Samples> rendered;
    for (const std::string& f : files)
        rendered.push_back(Rendered(f));
    std::vector<const Samples*> twice;
    for (int round = 0; round < 2; ++round)
        for (const Samples& r : rendered)
            twice.push_back(&r);

    std::mt19937 random(20261207);
    for (int run = 0; run < 10; ++run) {
        const std::string capture = fixture::TempDir() + "/whole" + std::to_string(run) + ".raw";
        StartCapturing(capture);
        Add(files);
        std::this_thread::sleep_for(std::chrono::milliseconds(std::uniform_int_distribution<int>(0, 200)(random)));
        form1->PlayEntry(0);
        // Eight ends heard: the last piece of the second round too.
        ASSERT_EQ(Drive(random, 8, std::chrono::seconds(60)), 8) << "run " << run;
        CloseWindows();
        EXPECT_EQ(WholeInOrder(Captured(capture), twice), twice.size()) << "run " << run;
    }
}

TEST_F(WholePieces, AClosingFadeIsHeardToSilenceBeforeTheNextEntry)
{
    const std::string qv = MakeQv("fadeend.qv", 8, 2.0f, 6.0f, -1);
    // Noise, so that it cannot be mistaken for the container's tone.
    const std::string then = fixture::WriteTemp(fixture::Encode(fixture::Noise(1.0)), "then.ogg");
    const Samples next = Rendered(then);
    const std::string capture = fixture::TempDir() + "/fade.raw";
    StartCapturing(capture);
    Add({qv, then});
    form3->LoopCount->setValue(0);
    form1->PlayEntry(0);
    std::mt19937 random(7);
    std::uniform_int_distribution<int> tick(5, 120);
    ASSERT_TRUE(WaitFor(
        [&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(tick(random)));
            form1->Timer3Timer();
            return form1->CurrentEntry() == 1;
        },
        std::chrono::seconds(60)));
    ASSERT_TRUE(WaitFor([&] { return !form1->OggStream.IsPlaying(); }, std::chrono::seconds(20)));
    CloseWindows();

    // The next piece follows the fade; just before it, the fade has reached silence rather
    // than being cut off while still sounding.
    const Samples s = Captured(capture);
    const auto at = std::search(s.begin(), s.end(), next.begin() + 4096, next.begin() + 8192);
    ASSERT_NE(at, s.end()) << "the next entry is not in the capture";
    const auto nextStart = static_cast<size_t>(at - s.begin()) - 4096;
    size_t lastSound = nextStart;
    while (lastSound > 0 && s[lastSound - 1] == 0)
        --lastSound;
    ASSERT_GT(lastSound, 44100u * 2) << "the container is not in the capture";
    int peak = 0;
    for (size_t i = lastSound - 4410; i < lastSound; ++i)
        peak = std::max(peak, std::abs(static_cast<int>(s[i])));
    EXPECT_LT(peak, 328) << "the last tenth of a second before the gap is still at " << peak;
}

}
