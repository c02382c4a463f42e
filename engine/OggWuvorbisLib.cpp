#include "OggWuvorbisLib.h"

#include "ERangeError.h"
#include "Paths.h"
#include "TMemoryStream.h"

#include <climits>
#include <dlfcn.h>
#include <iterator>
#include <memory>

TVorbisFileDLL* _VorbisfileDll = nullptr;

namespace {
// Owns the one instance; _VorbisfileDll is its plain view for the callers.
std::unique_ptr<TVorbisFileDLL>& Instance()
{
    static std::unique_ptr<TVorbisFileDLL> instance;
    return instance;
}
}

TVorbisFileDLL::TVorbisFileDLL(const std::string& path)
{
    // Only ever by absolute path, so the dynamic loader takes that file and searches nowhere else.
    // A name that cannot be made absolute (no current directory) is not tried.
    std::string full = Paths::ExpandFileName(path);
    if (!full.empty() && full.front() == '/')
        LibHandle = ::dlopen(full.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!LibHandle)
        throw ERangeError::CreateFmt("wuvorbis.dllが存在しません。\r\n(%s)", full);
    try {
        SetProcessAddresses(std::make_index_sequence<std::tuple_size_v<Entries>>());
    } catch (...) {
        // A half-built instance never reaches its destructor: unload here.
        ::dlclose(LibHandle);
        LibHandle = nullptr;
        throw;
    }
    Callbacks.read_func = _fread;
    Callbacks.seek_func = _fseek;
    Callbacks.close_func = _fclose;
    Callbacks.tell_func = _ftell;
    wu_SetCPUType(wu_DetectCPU() & 0xE0000u);
}

TVorbisFileDLL::~TVorbisFileDLL()
{
    if (LibHandle) {
        ::dlclose(LibHandle);
        LibHandle = nullptr;
    }
}

template <size_t... I>
void TVorbisFileDLL::SetProcessAddresses(std::index_sequence<I...>)
{
    static constexpr const char* kNames[] = {"wu_SetCPUType",   "wu_DetectCPU",    "wu_ScaleOutput",
                                             "wu_ov_clear",     "wu_ov_open_callbacks",
                                             "wu_ov_info",      "wu_ov_comment",   "wu_ov_read",
                                             "wu_ov_time_total", "wu_ov_time_seek", "wu_ov_time_tell",
                                             "wu_ov_pcm_total", "wu_ov_seekable"};
    static_assert(std::size(kNames) == sizeof...(I), "one name for each entry point");
    (SetProcessAddress(std::get<I>(entries_), kNames[I]), ...);
}

template <typename F>
void TVorbisFileDLL::SetProcessAddress(F& slot, const char* name)
{
    slot = reinterpret_cast<F>(::dlsym(LibHandle, name));
    if (!slot)
        throw ERangeError::CreateFmt("関数(%s)の所得に失敗しました", name);
}

void TVorbisFileDLL::wu_SetCPUType(uint32_t type) { Entry<wu_SetCPUType_t>()(type); }
uint32_t TVorbisFileDLL::wu_DetectCPU() { return Entry<wu_DetectCPU_t>()(); }
void TVorbisFileDLL::wu_ScaleOutput(float scale) { Entry<wu_ScaleOutput_t>()(scale); }
int TVorbisFileDLL::wu_ov_clear(wu_OggVorbis_File* vf) { return Entry<wu_ov_clear_t>()(vf); }

int TVorbisFileDLL::wu_ov_open_callbacks(TMemoryStream* datasource, wu_OggVorbis_File* vf, const char* initial,
                                         long ibytes)
{
    return Entry<wu_ov_open_callbacks_t>()(datasource, vf, initial, ibytes, Callbacks);
}

wu_vorbis_info* TVorbisFileDLL::wu_ov_info(wu_OggVorbis_File* vf, int link)
{
    return Entry<wu_ov_info_t>()(vf, link);
}

wu_vorbis_comment* TVorbisFileDLL::wu_ov_comment(wu_OggVorbis_File* vf, int link)
{
    return Entry<wu_ov_comment_t>()(vf, link);
}

int32_t TVorbisFileDLL::wu_ov_read(wu_OggVorbis_File* vf, char* buffer, int32_t length, int bigendianp, int word,
                                   int sgned, int32_t* bitstream)
{
    return static_cast<int32_t>(Entry<wu_ov_read_t>()(vf, buffer, length, bigendianp, word, sgned, bitstream));
}

double TVorbisFileDLL::wu_ov_time_total(wu_OggVorbis_File* vf, int link)
{
    return Entry<wu_ov_time_total_t>()(vf, link);
}

int32_t TVorbisFileDLL::wu_ov_time_seek(wu_OggVorbis_File* vf, double pos)
{
    return Entry<wu_ov_time_seek_t>()(vf, pos);
}

double TVorbisFileDLL::wu_ov_time_tell(wu_OggVorbis_File* vf) { return Entry<wu_ov_time_tell_t>()(vf); }

int64_t TVorbisFileDLL::wu_ov_pcm_total(wu_OggVorbis_File* vf, int link)
{
    return Entry<wu_ov_pcm_total_t>()(vf, link);
}

int32_t TVorbisFileDLL::wu_ov_seekable(wu_OggVorbis_File* vf)
{
    return static_cast<int32_t>(Entry<wu_ov_seekable_t>()(vf));
}

void _VorbisfileInitialize(const std::string& path)
{
    if (_VorbisfileDll)
        return;
    Instance() = std::make_unique<TVorbisFileDLL>(path);
    _VorbisfileDll = Instance().get();
}

void _VorbisfileFinalize()
{
    _VorbisfileDll = nullptr;
    Instance().reset();
}

// The data-source callbacks. The data source is a TMemoryStream holding a whole file; positions
// are those of that whole image.

size_t _fread(void* ptr, size_t size, size_t nmemb, void* datasource)
{
    auto* stream = static_cast<TMemoryStream*>(datasource);
    if (!stream || !ptr || size == 0 || nmemb == 0)
        return 0;
    // Bytes, not elements. A product that would overflow asks for everything there is.
    size_t bytes = nmemb > SIZE_MAX / size ? SIZE_MAX : size * nmemb;
    return stream->Read(ptr, bytes);
}

int _fseek(void* datasource, int64_t offset, int whence)
{
    auto* stream = static_cast<TMemoryStream*>(datasource);
    if (!stream)
        return -1;
    // Only the low 32 bits count, as a signed value.
    int32_t low = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(offset) & 0xFFFFFFFFu));
    return static_cast<int>(stream->Seek(low, whence));
}

int _fclose(void* datasource)
{
    // The decoder state owns its data source from the open on; closing it ends the stream.
    std::unique_ptr<TMemoryStream> stream(static_cast<TMemoryStream*>(datasource));
    return 0;
}

long _ftell(void* datasource)
{
    auto* stream = static_cast<TMemoryStream*>(datasource);
    return stream ? static_cast<long>(stream->Position()) : -1;
}
