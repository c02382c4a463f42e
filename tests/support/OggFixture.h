#pragma once
// Test fixtures made at test time: Ogg Vorbis files encoded with libvorbisenc from generated PCM,
// and a reference decode straight through libvorbisfile.
#include <cstdint>
#include <string>
#include <vector>

namespace fixture {

// Interleaved float PCM, samples in -1 .. 1.
struct Pcm {
    int channels = 2;
    int rate = 44100;
    std::vector<float> samples;
    int64_t Frames() const { return channels ? static_cast<int64_t>(samples.size()) / channels : 0; }
};

// Generators. freqs gives one frequency per channel (the last one repeats).
Pcm Sine(double seconds, std::vector<double> freqs = {440.0, 660.0}, int channels = 2, int rate = 44100,
         double amplitude = 0.5);
Pcm Noise(double seconds, int channels = 2, int rate = 44100, double amplitude = 0.3, uint32_t seed = 1);
Pcm Silence(double seconds, int channels = 2, int rate = 44100);
// A ramp rising from -amplitude to +amplitude over the whole length, the same on every channel.
Pcm Ramp(double seconds, int channels = 2, int rate = 44100, double amplitude = 0.8);

// Encodes PCM to Ogg Vorbis bytes. Streams to be chained (their bytes one after another) need
// serial numbers of their own, or the decoder cannot tell the links apart.
std::vector<uint8_t> Encode(const Pcm& pcm, const std::vector<std::string>& comments = {}, float quality = 0.4f,
                            int serial = 12345);

// The stream with every audio page's position moved by `by` frames (checksums made right again),
// as encoders write streams whose positions do not start at the first decoded frame: a positive
// `by` starts them late, a negative one trims that many frames off the beginning. Header pages
// (position 0) are left as they are.
std::vector<uint8_t> ShiftPositions(std::vector<uint8_t> bytes, int64_t by);

// Writes bytes to a new file in a per-process temporary directory; returns its path.
std::string WriteTemp(const std::vector<uint8_t>& bytes, const std::string& name);
// The per-process temporary directory (removed at exit).
std::string TempDir();
// A new directory in it for one test (ending in "/"), its name starting with name.
std::string FreshDir(const std::string& name);
std::vector<uint8_t> ReadFile(const std::string& path);
// A file's bytes as a string; empty when it cannot be read.
std::string ReadText(const std::string& path);

// Files in the temporary directory for the tests that need a few short pieces, encoded at the
// lowest quality to be quick: a sine tone (title empty for none); a looped-Ogg container with one
// loop entry before such a tone; a file with the given bytes.
std::string MakeOgg(const std::string& name, double seconds, const std::string& title = "");
std::string MakeQv(const std::string& name, double seconds, float loopStart, float loopEnd, int32_t count);
std::string MakeFile(const std::string& name, const std::string& bytes);

// Decodes a whole file (or bytes) with libvorbisfile to interleaved 16-bit samples in the
// stream's own channel layout (ov_read, little-endian, signed).
struct Decoded {
    int channels = 0;
    long rate = 0;
    std::vector<int16_t> samples;
    int64_t Frames() const { return channels ? static_cast<int64_t>(samples.size()) / channels : 0; }
};
Decoded ReferenceDecode(const std::string& path);
Decoded ReferenceDecode(const std::vector<uint8_t>& bytes);
// The same, starting after ov_time_seek(seconds) of a fresh decoder.
Decoded ReferenceDecodeFrom(const std::vector<uint8_t>& bytes, double seconds);

// A 200-byte looped-Ogg container header: "OSTRAOGG" and up to 16 entries (start, end, count).
struct LoopEntry {
    float start;
    float end;
    int32_t count;
};
std::vector<uint8_t> ContainerHeader(const std::vector<LoopEntry>& loops);

// Where the build put the player's files (wuvorbis.dll, qvtool, ...).
std::string BinDir();

// Bytes this process has read through system calls so far (rchar of /proc/self/io); -1 when
// unknown.
long long ProcessReadBytes();

}
