// TOggData: construction, destruction, loading, stream information and the looped-Ogg container.
// Rendering, volume, play state, the equaliser and the analysis live in OggDataRender.cpp.
#include "OggDataLib.h"

#include "AtomicFile.h"
#include "ChannelDownmix.h"
#include "ERangeError.h"
#include "LoopFit.h"
#include "OggWuvorbisLib.h"
#include "Paths.h"
#include "RateConverter.h"
#include "TOggPage.h"
#include "TRegularFile.h"
#include "TVorbisHeaders.h"

#include <algorithm>
#include <bit>
#include <iterator>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

// The container's numbers are little-endian on file and copied as they stand in memory.
static_assert(std::endian::native == std::endian::little, "the container layout assumes a little-endian machine");

namespace {
constexpr char kMagic[] = "OSTRAOGG";
constexpr int64_t kHeaderSize = sizeof(TOstraOggHed);
// Shorter streams tried when the decoder refuses a chained one: each try opens the stream anew.
constexpr size_t kMaxCuts = 16;
}

TOggData::TOggData(int32_t renderBufferSize)
{
    CommentList = std::make_unique<TStringList>();
    EQFFT = std::make_unique<TFFT>(256);
    GraphFFT = std::make_unique<TFFT>(256);
    RenderBuffer = std::make_unique<TMemoryStream>();
    RenderBuffer->SetSize(renderBufferSize > 0 ? renderBufferSize : 0);
    Published = std::make_unique<TRenderSnapshot>(RenderBuffer->Size());
    Init();
    for (int i = 0; i < 256; ++i)
        SetEQ(i, 1.0f);
    SetVolume(1.0f);
    SetMasterVolume(1.0f);
    SetChannelVolume(1.0f);
}

TOggData::~TOggData()
{
    Init();
    {
        // A block that started before Init cleared Loaded finishes before anything goes.
        std::lock_guard<std::recursive_mutex> lock(RenderLock);
    }
    RenderBuffer.reset();
    CommentList.reset();
    EQFFT.reset();
    GraphFFT.reset();
}

void TOggData::Init()
{
    Loaded = false;
    // Holding the lock replaces waiting for Busy: a block being rendered finishes first, and no
    // new block starts (it sees Loaded false) while the decoder state is torn down.
    std::lock_guard<std::recursive_mutex> lock(RenderLock);
    Pause();
    if (CommentList)
        CommentList->Clear();
    Vendor.clear();
    Channels = 0;
    Rate = 0;
    TotalTime = 0.0f;
    PcmBytes = 0;
    Converter.reset();
    Downmix.reset();
    ResetConversion();
    Links.clear();
    PathLink = NextLink = RawLink = 0;
    PathRate = PathChannels = 0;
    RawAt = RawEnd = 0;
    if (FileData) {
        if (_VorbisfileDll) {
            // Closing the decoder state destroys FileData through the close callback.
            _VorbisfileDll->wu_ov_clear(&VorbisFile);
        } else {
            // The library went away under an open file; only the stream can still be released.
            std::unique_ptr<TMemoryStream> orphan(FileData);
        }
        FileData = nullptr;
    }
    std::memset(&VorbisFile, 0, sizeof VorbisFile);
    PublishPosition();
}

bool TOggData::LoadOgg(const std::string& fileName)
{
    // Something else under the name (a FIFO, a device, a folder) is said so; only a missing file
    // is a plain false.
    if (!TRegularFile::Exists(fileName))
        return false;
    // Without the decoder library nothing can be opened; the object stays as it is.
    if (!_VorbisfileDll)
        return false;
    auto stream = std::make_unique<TMemoryStream>();
    stream->LoadFromFile(fileName);
    stream->SetPosition(0);
    return LoadOgg(stream.release());
}

bool TOggData::LoadOgg(TMemoryStream* stream)
{
    if (!stream)
        return false;
    // Without the decoder library the stream is not taken: false, the caller keeps it and the
    // object stays as it is.
    if (!_VorbisfileDll)
        return false;
    std::unique_ptr<TMemoryStream> owned(stream);
    std::lock_guard<std::recursive_mutex> lock(RenderLock);
    Init();
    // Entries an earlier file's tags made go with that file; a container's table stays as the
    // container left it.
    for (int32_t i = 0; i < 16; ++i)
        if (ByFrames(i))
            Loops[i] = TOggLoop{};
    std::fill(std::begin(LoopFrames), std::end(LoopFrames), TFrameLoop{});
    LoopTags = TTaggedLoop{};
    const bool container = LoadLoop(owned.get());
    DataStart = owned->Position();
    // The decoder looks for the last page from the end of its source, in steps that grow with
    // the distance (time quadratic in the length of anything behind the stream). It is shown the
    // stream up to the end of its last intact page; a normal file ends there anyway.
    const int64_t streamEnd = TOggPage::LastEnd(owned->Memory(), DataStart, owned->Size());
    if (streamEnd > DataStart && streamEnd < owned->Size())
        owned->SetSize(streamEnd);
    FileData = owned.get();
    bool opened = _VorbisfileDll->wu_ov_open_callbacks(FileData, &VorbisFile, nullptr, 0) >= 0;
    if (!opened) {
        // The decoder refuses a whole chained stream when a later link's headers are damaged.
        // The links before that one can still play: it is shown the stream only up to the start
        // of a later link, the last first, so that the piece ends where the damage begins.
        const std::vector<int64_t> starts = TOggPage::LinkStarts(owned->Memory(), DataStart, owned->Size());
        for (size_t i = 0; i < std::min(starts.size(), kMaxCuts) && !opened; ++i) {
            std::memset(&VorbisFile, 0, sizeof VorbisFile);
            owned->SetSize(starts[starts.size() - 1 - i]);
            owned->SetPosition(DataStart);
            opened = _VorbisfileDll->wu_ov_open_callbacks(FileData, &VorbisFile, nullptr, 0) >= 0;
        }
    }
    if (!opened) {
        // The library does not close a source it could not open: it goes with `owned`.
        FileData = nullptr;
        std::memset(&VorbisFile, 0, sizeof VorbisFile);
        throw ERangeError("ファイルの読み込みに失敗");
    }
    // From here the decoder state owns the stream and destroys it when it is closed.
    owned.release();
    GetOggInfo();
    SetUpConversion();
    if (!container)
        TakeLoopTags();
    Loaded = true;
    PublishPosition();
    return true;
}

bool TOggData::ReadComments(const std::string& fileName, TStringList& comments)
{
    if (!TRegularFile::Exists(fileName) || !_VorbisfileDll)
        return false;
    TRegularFile file(fileName);
    // A file too large to be played is refused as its load would refuse it.
    if (file.Size() > TMemoryStream::MaxLoadSize())
        file.ReadAll(TMemoryStream::MaxLoadSize());
    std::FILE* f = file.Stream();
    // A container header is passed over as LoadLoop takes it: only with a whole header there.
    char magic[8] = {};
    const bool container = file.Size() >= kHeaderSize && std::fread(magic, 1, sizeof magic, f) == sizeof magic &&
                           std::memcmp(magic, kMagic, sizeof magic) == 0;
    if (std::fseek(f, container ? kHeaderSize : 0, SEEK_SET) != 0)
        throw ERangeError("ファイルの読み込みに失敗");

    for (std::string& line : TVorbisHeaders::ReadComments(f))
        comments.Add(std::move(line));
    return true;
}

void TOggData::GetOggInfo()
{
    if (!_VorbisfileDll || !FileData)
        return;
    wu_vorbis_comment* comment = _VorbisfileDll->wu_ov_comment(&VorbisFile, -1);
    wu_vorbis_info* info = _VorbisfileDll->wu_ov_info(&VorbisFile, -1);
    if (comment) {
        Vendor = comment->vendor ? comment->vendor : "";
        LPPCharToStringList(*CommentList, comment->user_comments);
    }
    if (info) {
        Channels = info->channels;
        Rate = static_cast<int32_t>(info->rate);
    }
    ReadLinks();
    // The totals are negative error codes when the stream cannot tell them; none is then known.
    // A damaged last granule position can claim a length no stream has: one beyond what a float
    // or the byte count can hold is taken as unknown too.
    double total = _VorbisfileDll->wu_ov_time_total(&VorbisFile, -1);
    TotalTime = total > 0.0 && total <= std::numeric_limits<float>::max() ? static_cast<float>(total) : 0.0f;
    const int64_t pcm = PieceFrames();
    PcmBytes = pcm > 0 && pcm <= std::numeric_limits<int64_t>::max() / 4 ? pcm * 2 * 2 : 0;
}

void TOggData::TakeLoopTags()
{
    const int64_t total = PcmBytes / OutputFormat::BytesPerFrame;
    LoopTags = TLoopTags::Read(CommentList->Lines(), total, Rate);
    // A loop needs the stream's length to be placed (and checked against it).
    if (LoopTags.Result != TTaggedLoop::Found || total <= 0 || !LoopTags.End)
        return;
    // The times are those qvtool import writes, for everything that reads the table; playback
    // meets the loop at its frames.
    const TLoopFit fit(Rate, total);
    Loops[0] = TOggLoop{fit.Start(LoopTags.Start).Time, fit.End(*LoopTags.End).Time, -1};
    LoopFrames[0] = TFrameLoop{LoopTags.Start, *LoopTags.End, Loops[0].LoopStart, Loops[0].LoopEnd};
}

bool TOggData::ByFrames(int32_t index) const
{
    if (index < 0 || index > 15)
        return false;
    const TFrameLoop& f = LoopFrames[index];
    // The float times compared bit for bit: a caller writing the same times changes nothing.
    return f.Start >= 0 && std::memcmp(&f.ForStart, &Loops[index].LoopStart, sizeof(float)) == 0 &&
           std::memcmp(&f.ForEnd, &Loops[index].LoopEnd, sizeof(float)) == 0;
}

void TOggData::LPPCharToStringList(TStringList& list, char** strings)
{
    if (!strings)
        return;
    for (char** p = strings; *p; ++p)
        list.Add(std::string(*p));
}

uint8_t* TOggData::Memory() { return RenderBuffer->Memory(); }

int32_t TOggData::MemorySize() { return static_cast<int32_t>(RenderBuffer->Size()); }

uint8_t* TOggData::Offset() { return RenderBuffer->Memory() + RenderOffset.load(); }

bool TOggData::SeekAble()
{
    if (!Loaded || !_VorbisfileDll)
        return false;
    return _VorbisfileDll->wu_ov_seekable(&VorbisFile) != 0;
}

bool TOggData::LoadLoop(TMemoryStream* stream)
{
    if (!stream)
        return false;
    if (stream->Size() < kHeaderSize)
        return false;
    int64_t start = stream->Position();
    char magic[9] = {};
    stream->Read(magic, 8);
    stream->SetPosition(start);
    if (std::strcmp(magic, kMagic) != 0)
        return false;
    // A magic with less than a whole header behind it is not a container: the entries would be
    // partly invented.
    if (stream->Size() - start < kHeaderSize)
        return false;
    TOstraOggHed header;
    stream->Read(&header, sizeof header);
    std::memcpy(Loops, header.Loops, sizeof Loops);
    return true;
}

bool TOggData::SaveOstraOgg(const std::string& fileName)
{
    if (!FileData)
        return false;
    // Read through the memory and the size only: the decoder may be using the stream's position.
    const uint8_t* data = FileData->Memory();
    int64_t size = FileData->Size();
    int64_t start = DataStart < 0 ? 0 : (DataStart > size ? size : DataStart);

    TOstraOggHed header;
    std::memcpy(header.Magic, kMagic, sizeof header.Magic);
    std::memcpy(header.Loops, Loops, sizeof header.Loops);

    std::vector<uint8_t> bytes(static_cast<size_t>(kHeaderSize + (size - start)));
    std::memcpy(bytes.data(), &header, sizeof header);
    if (size > start)
        std::memcpy(bytes.data() + kHeaderSize, data + start, static_cast<size_t>(size - start));
    // Written beside the target and renamed over it, so that a failed save leaves an existing
    // file whole. Throws EFileError when the file cannot be created.
    AtomicFile::Write(fileName, bytes.data(), bytes.size());
    return true;
}
