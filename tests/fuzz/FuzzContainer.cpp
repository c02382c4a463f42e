// The container reader LoadLoop on arbitrary bytes from an arbitrary position, and SaveOstraOgg
// after it. The first byte is the stream position LoadLoop starts from (clamped to the data).
// What is checked: a header is taken exactly when the magic stands at the position with 200
// bytes behind it, the table is copied as it stands, a miss changes nothing, and saving writes
// the header and then the bytes from the data start, so that reading the saved file gives the
// same table back.
#include "FuzzSupport.h"
#include "OggDataLib.h"

#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const size_t start = std::min<size_t>(data[0], size - 1);
    ++data;
    --size;

    auto stream = std::make_unique<TMemoryStream>();
    if (size > 0)
        stream->Write(data, size);
    stream->SetPosition(static_cast<int64_t>(start));

    TOggData ogg(0);
    TOggLoop before[16];
    for (int i = 0; i < 16; ++i)
        ogg.Loops[i] = TOggLoop{1.0f, 2.0f, static_cast<int32_t>(i)};
    std::memcpy(before, ogg.Loops, sizeof before);

    const bool expected = start + 200 <= size && std::memcmp(data + start, "OSTRAOGG", 8) == 0;
    const bool taken = ogg.LoadLoop(stream.get());
    FUZZ_CHECK(taken == expected);
    if (taken) {
        FUZZ_CHECK(stream->Position() == static_cast<int64_t>(start + 200));
        FUZZ_CHECK(std::memcmp(ogg.Loops, data + start + 8, sizeof ogg.Loops) == 0);
    } else {
        FUZZ_CHECK(stream->Position() == static_cast<int64_t>(start));
        FUZZ_CHECK(std::memcmp(ogg.Loops, before, sizeof before) == 0);
    }

    // Save as the loader would have left things: the stream as FileData, its position as the
    // data start. The stream stays ours; FileData is emptied again before the object goes.
    ogg.FileData = stream.get();
    ogg.DataStart = stream->Position();
    const std::string path = fuzz::ScratchDir() + "/saved.qv";
    const bool saved = ogg.SaveOstraOgg(path);
    ogg.FileData = nullptr;
    FUZZ_CHECK(saved);

    const std::string file = fuzz::ReadWholeFile(path);
    const size_t rest = size - static_cast<size_t>(ogg.DataStart);
    FUZZ_CHECK(file.size() == 200 + rest);
    FUZZ_CHECK(std::memcmp(file.data(), "OSTRAOGG", 8) == 0);
    FUZZ_CHECK(std::memcmp(file.data() + 8, ogg.Loops, sizeof ogg.Loops) == 0);
    FUZZ_CHECK(rest == 0 || std::memcmp(file.data() + 200, data + ogg.DataStart, rest) == 0);

    TMemoryStream again;
    again.Write(file.data(), file.size());
    again.SetPosition(0);
    TOggData reread(0);
    FUZZ_CHECK(reread.LoadLoop(&again));
    FUZZ_CHECK(again.Position() == 200);
    FUZZ_CHECK(std::memcmp(reread.Loops, ogg.Loops, sizeof ogg.Loops) == 0);
    return 0;
}
