#include "OggDiagnosis.h"

#include "TOggPage.h"

#include <cstring>

namespace {

constexpr size_t kContainerHeader = 200;

// Bytes that start like a page but end before the page does.
bool CutPage(const uint8_t* p, size_t n)
{
    if (std::memcmp(p, "OggS", n < 4 ? n : 4) != 0)
        return false;
    if (n < static_cast<size_t>(TOggPage::HeaderBytes))
        return true;
    const size_t segments = p[26];
    if (n < TOggPage::HeaderBytes + segments)
        return true;
    size_t length = TOggPage::HeaderBytes + segments;
    for (size_t i = 0; i < segments; ++i)
        length += p[TOggPage::HeaderBytes + i];
    return n < length;
}

}

TOggDiagnosis::TKind TOggDiagnosis::Of(const uint8_t* data, size_t size)
{
    if (size == 0)
        return Empty;
    size_t at = 0;
    if (size >= 8 && std::memcmp(data, "OSTRAOGG", 8) == 0) {
        if (size <= kContainerHeader)
            return HeadersCut;
        at = kContainerHeader;
    }
    if (std::memcmp(data + at, "OggS", size - at < 4 ? size - at : 4) != 0)
        return NotOgg;
    // Header packets of the first stream completed so far: a packet ends at a lacing value
    // below 255.
    int packets = 0;
    bool first = true;
    uint32_t serial = 0;
    while (at < size) {
        const uint8_t* p = data + at;
        const int64_t length = TOggPage::Length(p, static_cast<int64_t>(size - at));
        if (length == 0) {
            if (CutPage(p, size - at))
                return packets < 3 ? HeadersCut : LastPageCut;
            // Bytes behind whole headers are the decoder's to judge (it skips to the next page).
            return packets < 3 ? Damaged : Whole;
        }
        const size_t segments = p[26];
        const uint8_t* body = p + TOggPage::HeaderBytes + segments;
        const size_t bodyBytes = static_cast<size_t>(length) - TOggPage::HeaderBytes - segments;
        if (first) {
            if (bodyBytes < 7 || body[0] != 1 || std::memcmp(body + 1, "vorbis", 6) != 0)
                return NotVorbis;
            serial = TOggPage::Le32(p + 14);
            first = false;
        }
        if (packets < 3 && TOggPage::Le32(p + 14) == serial)
            for (size_t i = 0; i < segments; ++i)
                packets += p[TOggPage::HeaderBytes + i] < 255 ? 1 : 0;
        at += static_cast<size_t>(length);
    }
    return packets < 3 ? HeadersCut : Whole;
}

std::string TOggDiagnosis::Words(TKind kind)
{
    switch (kind) {
    case Whole:
        return "";
    case Empty:
        return "empty file, not Ogg Vorbis";
    case NotOgg:
        return "not an Ogg Vorbis file";
    case NotVorbis:
        return "not an Ogg Vorbis file (an Ogg stream of another kind)";
    case HeadersCut:
        return "truncated: the Ogg data ends before its headers are complete";
    case LastPageCut:
        return "truncated: the last Ogg page is cut off";
    case Damaged:
        return "damaged: an Ogg page of the headers fails its checksum";
    }
    return "";
}
