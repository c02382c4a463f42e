#pragma once
// Interface of the decoder library "wuvorbis.dll": the file-level decoding operations of the
// Ogg Vorbis reference decoder under a wu_ prefix, plus three of the library's own.
// The program never links against it; it loads it by path and looks the names up.
#include <cstddef>
#include <cstdint>

extern "C" {

// The decoder state. Opaque to the program: it is zero-filled before the first open and after
// every close, embedded in its holder and passed by reference to every wu_ov_* call.
struct wu_OggVorbis_File {
    alignas(16) unsigned char opaque[4096];
};

// Data-source callbacks, in the order read, seek, close, tell. read answers with bytes, seek
// with the new position (negative on failure), tell with the position; positions are those of
// the whole data source. The decoder reads from where the source stands at open time and sees
// nothing before it.
struct wu_ov_callbacks {
    size_t (*read_func)(void* ptr, size_t size, size_t nmemb, void* datasource);
    int (*seek_func)(void* datasource, int64_t offset, int whence);
    int (*close_func)(void* datasource);
    long (*tell_func)(void* datasource);
};

// The records returned by wu_ov_info and wu_ov_comment; they belong to the library.
struct wu_vorbis_info {
    int version;
    int channels;
    long rate;
    long bitrate_upper;
    long bitrate_nominal;
    long bitrate_lower;
    long bitrate_window;
    void* codec_setup;
};

struct wu_vorbis_comment {
    char** user_comments;
    int* comment_lengths;
    int comments;
    char* vendor;
};

// Processor feature bits of wu_DetectCPU (bits 17 to 19 are the ones a caller hands back to
// wu_SetCPUType; the others are informative).
enum : uint32_t {
    WU_CPU_SSE2 = 1u << 17,
    WU_CPU_SSE41 = 1u << 18,
    WU_CPU_AVX2 = 1u << 19,
};

typedef void (*wu_SetCPUType_t)(uint32_t type);
typedef uint32_t (*wu_DetectCPU_t)(void);
// wu_ScaleOutput: a factor for every sample wu_ov_read returns from then on, clipped to the
// sample range; 1.0 (the default) leaves the output unchanged. A negative or non-finite scale
// counts as 1.0. It applies to every open decoder state of the process.
typedef void (*wu_ScaleOutput_t)(float scale);
typedef int (*wu_ov_clear_t)(wu_OggVorbis_File* vf);
typedef int (*wu_ov_open_callbacks_t)(void* datasource, wu_OggVorbis_File* vf, const char* initial,
                                      long ibytes, wu_ov_callbacks callbacks);
typedef wu_vorbis_info* (*wu_ov_info_t)(wu_OggVorbis_File* vf, int link);
typedef wu_vorbis_comment* (*wu_ov_comment_t)(wu_OggVorbis_File* vf, int link);
typedef long (*wu_ov_read_t)(wu_OggVorbis_File* vf, char* buffer, int length, int bigendianp, int word,
                             int sgned, int* bitstream);
typedef double (*wu_ov_time_total_t)(wu_OggVorbis_File* vf, int link);
typedef int (*wu_ov_time_seek_t)(wu_OggVorbis_File* vf, double pos);
typedef double (*wu_ov_time_tell_t)(wu_OggVorbis_File* vf);
typedef int64_t (*wu_ov_pcm_total_t)(wu_OggVorbis_File* vf, int link);
typedef long (*wu_ov_seekable_t)(wu_OggVorbis_File* vf);
}
