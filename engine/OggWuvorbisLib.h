#pragma once
// Binding to the decoder library "wuvorbis.dll", loaded at run time from a path.
#include "wuvorbis.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <tuple>
#include <utility>

class TMemoryStream;

class TVorbisFileDLL {
public:
    // Loads the library from path and resolves its thirteen entry points.
    // Throws ERangeError: "wuvorbis.dllが存在しません。\r\n(<full path>)" or "関数(<name>)の所得に失敗しました".
    explicit TVorbisFileDLL(const std::string& path);
    virtual ~TVorbisFileDLL();
    TVorbisFileDLL(const TVorbisFileDLL&) = delete;
    TVorbisFileDLL& operator=(const TVorbisFileDLL&) = delete;

    void wu_SetCPUType(uint32_t type);
    uint32_t wu_DetectCPU();
    void wu_ScaleOutput(float scale);
    int wu_ov_clear(wu_OggVorbis_File* vf);
    int wu_ov_open_callbacks(TMemoryStream* datasource, wu_OggVorbis_File* vf, const char* initial, long ibytes);
    wu_vorbis_info* wu_ov_info(wu_OggVorbis_File* vf, int link);
    wu_vorbis_comment* wu_ov_comment(wu_OggVorbis_File* vf, int link);
    int32_t wu_ov_read(wu_OggVorbis_File* vf, char* buffer, int32_t length, int bigendianp, int word, int sgned,
                       int32_t* bitstream);
    double wu_ov_time_total(wu_OggVorbis_File* vf, int link);
    int32_t wu_ov_time_seek(wu_OggVorbis_File* vf, double pos);
    double wu_ov_time_tell(wu_OggVorbis_File* vf);
    int64_t wu_ov_pcm_total(wu_OggVorbis_File* vf, int link);
    int32_t wu_ov_seekable(wu_OggVorbis_File* vf);

    void* LibHandle = nullptr;
    wu_ov_callbacks Callbacks{};

private:
    // The entry points, in the order they are looked up (the names in the same order in the .cpp).
    // Each has a type of its own, so each is found by its type.
    using Entries = std::tuple<wu_SetCPUType_t, wu_DetectCPU_t, wu_ScaleOutput_t, wu_ov_clear_t,
                               wu_ov_open_callbacks_t, wu_ov_info_t, wu_ov_comment_t, wu_ov_read_t,
                               wu_ov_time_total_t, wu_ov_time_seek_t, wu_ov_time_tell_t, wu_ov_pcm_total_t,
                               wu_ov_seekable_t>;

    // Looks each name up in turn; throws at the first one the library lacks.
    template <size_t... I>
    void SetProcessAddresses(std::index_sequence<I...>);
    template <typename F>
    void SetProcessAddress(F& slot, const char* name);
    template <typename F>
    F Entry() const { return std::get<F>(entries_); }

    Entries entries_{};
};

// The one instance; empty until _VorbisfileInitialize succeeds.
extern TVorbisFileDLL* _VorbisfileDll;

// Creates the instance from path unless one exists (a second call keeps the first library).
// Construction errors propagate; _VorbisfileDll then stays empty.
void _VorbisfileInitialize(const std::string& path);
// Destroys the instance, unloading the library.
void _VorbisfileFinalize();

// The four data-source callbacks over a TMemoryStream.
size_t _fread(void* ptr, size_t size, size_t nmemb, void* datasource);
int _fseek(void* datasource, int64_t offset, int whence);
int _fclose(void* datasource);
long _ftell(void* datasource);
