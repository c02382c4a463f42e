// The decoder library "wuvorbis.dll": libvorbisfile's file-level operations under the wu_ names,
// plus wu_DetectCPU, wu_SetCPUType and wu_ScaleOutput. Only the wu_ names are exported
// (hidden visibility by default and a version script).
#include "wuvorbis.h"

#include "GranuleRebase.h"
#include "SetupCodebooks.h"
#include "SetupPacketFinder.h"

#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#define WU_EXPORT __attribute__((visibility("default")))

namespace {

// What the opaque record holds. The caller's data source is wrapped, for two reasons:
//
// 1. The caller's seek callback answers with the new position, as a stream's Seek does, while
//    libvorbisfile takes any non-zero answer as a failed seek.
// 2. A looped container opens the decoder on the whole file image standing at byte 200, and the
//    caller's callbacks speak in positions of that whole image. libvorbisfile counts the bytes it
//    reads from where it started, but takes the end of the stream (seek to the end, then tell) and
//    every seek target as absolute. Its page offsets then mix both bases: the start of the audio
//    data is remembered 200 bytes too early, inside the header pages, and only the resync on the
//    next capture pattern happens to hide it. So the decoder is shown the stream as it stands from
//    the position at open time: position 0 is the first byte it will read.
struct Source {
    void* user = nullptr;
    wu_ov_callbacks callbacks{};
    int64_t base = 0;
    // While the decoder opens, what it reads before its first seek: the first link's headers.
    std::vector<unsigned char>* opening = nullptr;
    // The first link's pages as the decoder is shown them, when their positions start late.
    const GranuleRebase* rebase = nullptr;
};

struct State {
    OggVorbis_File vf;
    Source source;
    GranuleRebase* rebase = nullptr;  // owned; freed by wu_ov_clear
};
static_assert(sizeof(State) <= sizeof(wu_OggVorbis_File), "the decoder state must fit the opaque record");
static_assert(alignof(State) <= alignof(wu_OggVorbis_File), "the opaque record must be aligned for the state");

State* StateOf(wu_OggVorbis_File* vf) { return reinterpret_cast<State*>(vf->opaque); }

size_t SourceRead(void* ptr, size_t size, size_t nmemb, void* ds)
{
    auto* s = static_cast<Source*>(ds);
    if (!s->callbacks.read_func || size == 0 || nmemb == 0)
        return 0;
    const long at = s->rebase && s->callbacks.tell_func ? s->callbacks.tell_func(s->user) : -1;
    // The caller's read answers in bytes; libvorbisfile asks in elements (always of one byte).
    size_t bytes = s->callbacks.read_func(ptr, size, nmemb, s->user);
    if (at >= 0)
        s->rebase->Apply(static_cast<unsigned char*>(ptr), at - s->base, std::min(bytes, size * nmemb));
    if (s->opening) {
        const auto* p = static_cast<const unsigned char*>(ptr);
        s->opening->insert(s->opening->end(), p, p + std::min(bytes, size * nmemb));
    }
    return bytes / size;
}

int SourceSeek(void* ds, ogg_int64_t offset, int whence)
{
    auto* s = static_cast<Source*>(ds);
    if (!s->callbacks.seek_func)
        return -1;
    if (offset != 0 || whence != SEEK_CUR)
        s->opening = nullptr;  // only asking where it stands leaves the reading in one run
    if (whence == SEEK_SET)
        offset += s->base;
    int r = s->callbacks.seek_func(s->user, offset, whence);
    return r < 0 ? -1 : 0;
}

long SourceTell(void* ds)
{
    auto* s = static_cast<Source*>(ds);
    if (!s->callbacks.tell_func)
        return -1;
    long pos = s->callbacks.tell_func(s->user);
    return pos < 0 ? pos : static_cast<long>(pos - s->base);
}

int SourceClose(void* ds)
{
    auto* s = static_cast<Source*>(ds);
    return s->callbacks.close_func ? s->callbacks.close_func(s->user) : 0;
}

// libvorbis 1.3.7 accepts a setup header whose codebook lengths do not form a whole prefix code
// (too many or too few codes of some length). Building such a book for decoding fails, and the
// book is left empty, with dimension 0, while decoding goes on: residue decoding then divides by
// that dimension and the process dies of SIGFPE. Such a stream is refused at open. The check reads
// each link's setup header from the stream itself: the first link's from what the open read, the
// others' from where libvorbisfile found each link to start.
bool SetupUsable(SetupPacketFinder& finder)
{
    return SetupCodebooks::AllDecodable(finder.Packet().data(), finder.Packet().size());
}

// Reads the stream from start until the setup packet of serial is complete or the stream ends.
bool LinkUsable(Source* source, ogg_int64_t start, long serial)
{
    if (SourceSeek(source, start, SEEK_SET) != 0)
        return false;
    SetupPacketFinder finder(serial);
    unsigned char chunk[4096];
    for (size_t n; (n = SourceRead(chunk, 1, sizeof chunk, source)) > 0;)
        if (finder.Feed(chunk, n))
            break;
    return SetupUsable(finder);
}

bool CodebooksUsable(State* st, const std::vector<unsigned char>& opening)
{
    OggVorbis_File* vf = &st->vf;
    SetupPacketFinder first(ov_serialnumber(vf, 0));
    first.Feed(opening.data(), opening.size());
    if (!SetupUsable(first))
        return false;
    const long links = ov_streams(vf);
    if (links <= 1)
        return true;
    // The later links are read again, and the source is put back where the decoder left it.
    const long resume = SourceTell(&st->source);
    if (resume < 0)
        return false;
    bool usable = true;
    ogg_int64_t start = 0;
    for (long link = 1; usable && link < links; ++link) {
        const ogg_int64_t before = ov_raw_total(vf, static_cast<int>(link - 1));
        start += before;
        usable = before > 0 && LinkUsable(&st->source, start, ov_serialnumber(vf, static_cast<int>(link)));
    }
    return SourceSeek(&st->source, resume, SEEK_SET) == 0 && usable;
}

// A first link whose page positions start above its first decoded frame is shown to the decoder
// with them lowered to start there (GranuleRebase.h says why), and the decoder starts again from
// its first audio page so that it reads them so. False when it cannot start again.
bool RebaseFirstLink(State* st)
{
    OggVorbis_File* vf = &st->vf;
    if (!vf->seekable || vf->links < 1 || !vf->pcmlengths || !vf->offsets || !vf->serialnos || !vf->dataoffsets ||
        vf->pcmlengths[0] <= 0)
        return true;
    const long resume = SourceTell(&st->source);
    if (resume < 0 || SourceSeek(&st->source, vf->offsets[0], SEEK_SET) != 0)
        return false;
    auto rebase = std::make_unique<GranuleRebase>();
    rebase->Build([st](unsigned char* p, size_t n) { return SourceRead(p, 1, n, &st->source); }, vf->offsets[0],
                  vf->offsets[1], vf->serialnos[0], vf->pcmlengths[0]);
    if (SourceSeek(&st->source, resume, SEEK_SET) != 0)
        return false;
    if (rebase->Empty())
        return true;
    st->rebase = rebase.release();
    st->source.rebase = st->rebase;
    vf->pcmlengths[0] = 0;
    return ov_raw_seek(vf, vf->dataoffsets[0]) == 0;
}

std::atomic<float> g_scale{1.0f};
std::atomic<uint32_t> g_cpuType{0};

int16_t Clip16(float v)
{
    if (v > 32767.0f)
        return 32767;
    if (v < -32768.0f)
        return -32768;
    return static_cast<int16_t>(std::lrintf(v));
}

// Scales decoded samples in place, in the layout ov_read produced them.
void ScaleSamples(char* buffer, long bytes, int bigendianp, int word, int sgned, float scale)
{
    if (word == 2) {
        auto* p = reinterpret_cast<unsigned char*>(buffer);
        for (long i = 0; i + 1 < bytes; i += 2) {
            unsigned char lo = bigendianp ? p[i + 1] : p[i];
            unsigned char hi = bigendianp ? p[i] : p[i + 1];
            uint16_t raw = static_cast<uint16_t>(lo | (hi << 8));
            int v = sgned ? static_cast<int16_t>(raw) : static_cast<int>(raw) - 32768;
            int out = Clip16(static_cast<float>(v) * scale);
            uint16_t o = sgned ? static_cast<uint16_t>(static_cast<int16_t>(out)) : static_cast<uint16_t>(out + 32768);
            p[bigendianp ? i + 1 : i] = static_cast<unsigned char>(o & 0xFF);
            p[bigendianp ? i : i + 1] = static_cast<unsigned char>(o >> 8);
        }
    } else if (word == 1) {
        auto* p = reinterpret_cast<unsigned char*>(buffer);
        for (long i = 0; i < bytes; ++i) {
            int v = sgned ? static_cast<signed char>(p[i]) : static_cast<int>(p[i]) - 128;
            float f = static_cast<float>(v) * scale;
            int out = f > 127.0f ? 127 : f < -128.0f ? -128 : static_cast<int>(std::lrintf(f));
            p[i] = sgned ? static_cast<unsigned char>(static_cast<signed char>(out)) : static_cast<unsigned char>(out + 128);
        }
    }
}

}

extern "C" {

// Which of the optional instruction sets the processor has, as WU_CPU_* bits.
WU_EXPORT uint32_t wu_DetectCPU(void)
{
    uint32_t bits = 0;
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("sse2"))
        bits |= WU_CPU_SSE2;
    if (__builtin_cpu_supports("sse4.1"))
        bits |= WU_CPU_SSE41;
    if (__builtin_cpu_supports("avx2"))
        bits |= WU_CPU_AVX2;
#endif
    return bits;
}

// libvorbisfile chooses no code path of its own; the type is only remembered.
WU_EXPORT void wu_SetCPUType(uint32_t type) { g_cpuType.store(type); }

#ifndef WU_OMIT_SCALEOUTPUT
WU_EXPORT void wu_ScaleOutput(float scale)
{
    if (!std::isfinite(scale) || scale < 0.0f)
        scale = 1.0f;
    g_scale.store(scale);
}
#endif

WU_EXPORT int wu_ov_clear(wu_OggVorbis_File* vf)
{
    if (!vf)
        return OV_EINVAL;
    // A zero-filled record has no data source and nothing allocated: ov_clear leaves it as it is.
    int r = ov_clear(&StateOf(vf)->vf);
    delete StateOf(vf)->rebase;
    std::memset(vf->opaque, 0, sizeof vf->opaque);
    return r;
}

WU_EXPORT int wu_ov_open_callbacks(void* datasource, wu_OggVorbis_File* vf, const char* initial, long ibytes,
                                   wu_ov_callbacks callbacks)
{
    if (!vf)
        return OV_EINVAL;
    std::memset(vf->opaque, 0, sizeof vf->opaque);
    State* st = new (vf->opaque) State{};
    st->source.user = datasource;
    st->source.callbacks = callbacks;
    if (callbacks.seek_func && callbacks.tell_func) {
        long at = callbacks.tell_func(datasource);
        st->source.base = at > 0 ? at : 0;
    }
    ov_callbacks cb{SourceRead, callbacks.seek_func ? SourceSeek : nullptr, SourceClose,
                    callbacks.tell_func ? SourceTell : nullptr};
    std::vector<unsigned char> opening;
    if (initial && ibytes > 0)
        opening.assign(initial, initial + ibytes);
    st->source.opening = &opening;
    int r = ov_open_callbacks(&st->source, &st->vf, initial, ibytes, cb);
    st->source.opening = nullptr;
    if (r == 0 && (!CodebooksUsable(st, opening) || !RebaseFirstLink(st))) {
        // Refused like any other bad header: the source stays open for the caller to destroy.
        st->vf.datasource = nullptr;
        ov_clear(&st->vf);
        delete st->rebase;
        r = OV_EBADHEADER;
    }
    if (r < 0) {
        // libvorbisfile has already released what it allocated and left the source open;
        // the caller destroys it.
        std::memset(vf->opaque, 0, sizeof vf->opaque);
    }
    return r;
}

WU_EXPORT wu_vorbis_info* wu_ov_info(wu_OggVorbis_File* vf, int link)
{
    return vf ? reinterpret_cast<wu_vorbis_info*>(ov_info(&StateOf(vf)->vf, link)) : nullptr;
}

WU_EXPORT wu_vorbis_comment* wu_ov_comment(wu_OggVorbis_File* vf, int link)
{
    return vf ? reinterpret_cast<wu_vorbis_comment*>(ov_comment(&StateOf(vf)->vf, link)) : nullptr;
}

WU_EXPORT long wu_ov_read(wu_OggVorbis_File* vf, char* buffer, int length, int bigendianp, int word, int sgned,
                          int* bitstream)
{
    if (!vf)
        return OV_EINVAL;
    int dummy = 0;
    long n = ov_read(&StateOf(vf)->vf, buffer, length, bigendianp, word, sgned, bitstream ? bitstream : &dummy);
    float scale = g_scale.load();
    if (n > 0 && scale != 1.0f)
        ScaleSamples(buffer, n, bigendianp, word, sgned, scale);
    return n;
}

WU_EXPORT double wu_ov_time_total(wu_OggVorbis_File* vf, int link)
{
    return vf ? ov_time_total(&StateOf(vf)->vf, link) : OV_EINVAL;
}

WU_EXPORT int wu_ov_time_seek(wu_OggVorbis_File* vf, double pos)
{
    return vf ? ov_time_seek(&StateOf(vf)->vf, pos) : OV_EINVAL;
}

WU_EXPORT double wu_ov_time_tell(wu_OggVorbis_File* vf) { return vf ? ov_time_tell(&StateOf(vf)->vf) : OV_EINVAL; }

WU_EXPORT int64_t wu_ov_pcm_total(wu_OggVorbis_File* vf, int link)
{
    return vf ? ov_pcm_total(&StateOf(vf)->vf, link) : OV_EINVAL;
}

WU_EXPORT long wu_ov_seekable(wu_OggVorbis_File* vf) { return vf ? ov_seekable(&StateOf(vf)->vf) : 0; }
}

// The records handed out must read as the interface header declares them.
static_assert(sizeof(wu_vorbis_info) == sizeof(vorbis_info), "wu_vorbis_info mirrors vorbis_info");
static_assert(offsetof(wu_vorbis_info, channels) == offsetof(vorbis_info, channels), "channels");
static_assert(offsetof(wu_vorbis_info, rate) == offsetof(vorbis_info, rate), "rate");
static_assert(sizeof(wu_vorbis_comment) == sizeof(vorbis_comment), "wu_vorbis_comment mirrors vorbis_comment");
static_assert(offsetof(wu_vorbis_comment, user_comments) == offsetof(vorbis_comment, user_comments), "comments");
static_assert(offsetof(wu_vorbis_comment, vendor) == offsetof(vorbis_comment, vendor), "vendor");
