// Why qvtool says a file is no playable Ogg Vorbis stream (TOggDiagnosis), on arbitrary bytes.
// What is checked: it always ends with one answer and its words, empty bytes are called empty,
// anything not starting with a page capture (after a container header) is not Ogg, and an answer
// that the data is whole means a first page that carries a Vorbis identification header.
#include "FuzzSupport.h"
#include "OggDiagnosis.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const TOggDiagnosis::TKind kind = TOggDiagnosis::Of(data, size);
    FUZZ_CHECK(TOggDiagnosis::Words(kind).empty() == (kind == TOggDiagnosis::Whole));
    FUZZ_CHECK((kind == TOggDiagnosis::Empty) == (size == 0));
    const size_t at = size >= 8 && std::memcmp(data, "OSTRAOGG", 8) == 0 ? 200 : 0;
    if (size >= at + 4 && std::memcmp(data + at, "OggS", 4) != 0)
        FUZZ_CHECK(kind == TOggDiagnosis::NotOgg);
    if (kind == TOggDiagnosis::Whole) {
        FUZZ_CHECK(size >= at + 27 + 7);
        const size_t body = at + 27 + data[at + 26];
        FUZZ_CHECK(size > body + 6 && data[body] == 1 && std::memcmp(data + body + 1, "vorbis", 6) == 0);
    }
    return 0;
}
