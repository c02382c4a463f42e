#pragma once
// The baseline the engine is measured against: libvorbisfile itself, reading an Ogg Vorbis file
// held in memory (as TOggData holds its file), with no binding and no engine in between.
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

class MemoryOgg {
public:
    // bytes must outlive the object.
    explicit MemoryOgg(const std::vector<uint8_t>& bytes) : bytes_(bytes)
    {
        const ov_callbacks callbacks{ReadBytes, SeekBytes, nullptr, TellBytes};
        open_ = ov_open_callbacks(this, &file_, nullptr, 0, callbacks) >= 0;
    }
    ~MemoryOgg()
    {
        if (open_)
            ov_clear(&file_);
    }
    MemoryOgg(const MemoryOgg&) = delete;
    MemoryOgg& operator=(const MemoryOgg&) = delete;

    bool IsOpen() const { return open_; }
    OggVorbis_File* File() { return &file_; }

    // Decodes up to bytes of 16-bit little-endian output at out; returns how many it got.
    int32_t Read(char* out, int32_t bytes)
    {
        int32_t got = 0;
        int bitstream = 0;
        while (got < bytes) {
            const long r = ov_read(&file_, out + got, bytes - got, 0, 2, 1, &bitstream);
            if (r <= 0)
                break;
            got += static_cast<int32_t>(r);
        }
        return got;
    }

private:
    static size_t ReadBytes(void* ptr, size_t size, size_t nmemb, void* source)
    {
        auto* m = static_cast<MemoryOgg*>(source);
        const size_t n = std::min(size * nmemb, m->bytes_.size() - m->pos_);
        std::memcpy(ptr, m->bytes_.data() + m->pos_, n);
        m->pos_ += n;
        return size ? n / size : 0;
    }
    static int SeekBytes(void* source, ogg_int64_t offset, int whence)
    {
        auto* m = static_cast<MemoryOgg*>(source);
        const auto size = static_cast<int64_t>(m->bytes_.size());
        const int64_t base = whence == SEEK_CUR ? static_cast<int64_t>(m->pos_) : whence == SEEK_END ? size : 0;
        const int64_t p = base + offset;
        if (p < 0 || p > size)
            return -1;
        m->pos_ = static_cast<size_t>(p);
        return 0;
    }
    static long TellBytes(void* source) { return static_cast<long>(static_cast<MemoryOgg*>(source)->pos_); }

    const std::vector<uint8_t>& bytes_;
    size_t pos_ = 0;
    OggVorbis_File file_{};
    bool open_ = false;
};
