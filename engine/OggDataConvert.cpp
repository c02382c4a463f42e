// TOggData: streams that are not 44100 Hz stereo or mono, and chained streams whose links differ.
// Reading any channel count as stereo, the converted path that takes a stream at another rate to
// 44100 Hz, and the change from one link's path to the next one's.
// The loop step and the play state live in OggDataRender.cpp.
//
// A chained stream is several streams one after another, each with its own rate and channels.
// The decoder reads on from one link into the next and tells, with each read, which link the
// frames came from. The read that finds a new link is kept (Raw) until the path has changed: the
// old link's converter first gives out what it holds, then the new link is rendered as a file
// holding only that link would be, through a fresh converter and downmix of its own.
#include "OggDataLib.h"

#include "ChannelDownmix.h"
#include "LoopTime.h"
#include "OggWuvorbisLib.h"
#include "RateConverter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace {

// Source frames decoded at a time for the converter (LoopTime.h, where the loop arithmetic
// that depends on it lives).
constexpr size_t kSourceChunkFrames = static_cast<size_t>(LoopTime::SourceChunkFrames);
// Frames decoded at a time; one read gives at most one packet's worth anyway.
constexpr int32_t kRawFrames = 1024;
// Room for that many frames of the widest layout the path takes.
constexpr int32_t kRawBytes = kRawFrames * TChannelDownmix::MaxChannels * 2;
// The decoder's result for a read with less room than one frame (OV_EINVAL).
constexpr int32_t kNoRoom = -131;
// Rates converted: those of real audio. A header may claim any 32-bit rate; outside this range
// the stream is not rendered (and ends), rather than overflow the byte counts made from it.
constexpr int32_t kMinRate = 1000;
constexpr int32_t kMaxRate = 768000;
// The longest block Vorbis allows, in frames: twice the furthest a seek can land late.
constexpr int64_t kLongestBlock = 8192;
// Changes of link within one block at most: a loop that crosses links every few milliseconds
// is not music, and this bounds the work of a block whatever the table holds.
constexpr int32_t kMaxLinkPasses = 64;

}

bool TOggData::Renderable() const
{
    if (!TChannelDownmix::Supports(PathChannels))
        return false;
    return PathRate == OutputFormat::Rate || Converter != nullptr;
}

int32_t TOggData::SourceBytesPerSecond() const
{
    return Converter ? PathRate * OutputFormat::BytesPerFrame : OutputFormat::BytesPerSecond;
}

// ---------------------------------------------------------------------------------------------
// Links

void TOggData::ReadLinks()
{
    Links.clear();
    if (!_VorbisfileDll || !FileData)
        return;
    // A stream that cannot seek describes only the link being decoded, whatever number is asked
    // for: it has one known link, and a later one cannot be told apart from it.
    const bool seekable = _VorbisfileDll->wu_ov_seekable(&VorbisFile) != 0;
    for (int link = 0; link < std::numeric_limits<int>::max(); ++link) {
        const wu_vorbis_info* info = _VorbisfileDll->wu_ov_info(&VorbisFile, link);
        if (!info)
            break;
        // A rate beyond 32 bits names no real rate; as 0 it is one the path refuses.
        const long rate = info->rate > 0 && info->rate <= std::numeric_limits<int32_t>::max() ? info->rate : 0;
        Links.push_back({static_cast<int32_t>(rate), info->channels, info});
        if (!seekable)
            break;
    }
}

TOggData::TLink TOggData::LinkFormat(int32_t link) const
{
    return link >= 0 && static_cast<size_t>(link) < Links.size() ? Links[static_cast<size_t>(link)] : TLink{};
}

int64_t TOggData::PieceFrames()
{
    const int64_t whole = _VorbisfileDll->wu_ov_pcm_total(&VorbisFile, -1);
    const bool oneRate = std::all_of(Links.begin(), Links.end(), [&](const TLink& l) { return l.Rate == Rate; });
    if (oneRate)
        return whole;
    // Each link's frames counted at the first link's rate: the sum of the links' times.
    double frames = 0.0;
    for (size_t i = 0; i < Links.size(); ++i) {
        const int64_t pcm = _VorbisfileDll->wu_ov_pcm_total(&VorbisFile, static_cast<int>(i));
        if (pcm < 0 || Links[i].Rate <= 0 || Rate <= 0)
            return -1;
        frames += static_cast<double>(pcm) * Rate / Links[i].Rate;
    }
    return frames < 9.0e15 ? std::llround(frames) : -1;
}

void TOggData::SetUpConversion()
{
    NextLink = 0;
    NextLink = DecoderLink();
    UseLink(NextLink);
}

bool TOggData::UseLink(int32_t link)
{
    Converter.reset();
    Downmix.reset();
    ResetConversion();
    PathLink = link;
    const TLink format = LinkFormat(link);
    PathRate = format.Rate;
    PathChannels = format.Channels;
    if (!TChannelDownmix::Supports(PathChannels) || PathRate < kMinRate || PathRate > kMaxRate)
        return false;
    if (PathChannels > 2)
        Downmix = std::make_unique<TChannelDownmix>(PathChannels);
    if (PathRate == OutputFormat::Rate)
        return true;
    try {
        Converter = std::make_unique<TRateConverter>(PathRate);
    } catch (const std::runtime_error&) {
        return false;  // a rate the converter refuses: the link cannot be rendered
    }
    SourceFrames.resize(kSourceChunkFrames * OutputFormat::Channels);
    return true;
}

int32_t TOggData::DecoderLink()
{
    if (!_VorbisfileDll)
        return NextLink;
    // The decoder describes the link it stands in with the same record as that link's own.
    const wu_vorbis_info* now = _VorbisfileDll->wu_ov_info(&VorbisFile, -1);
    if (now == nullptr)
        return NextLink;
    // A seek mostly stays in its link (a loop, a seek within a piece): that one is looked at first.
    if (LinkFormat(NextLink).Info == now)
        return NextLink;
    for (size_t i = 0; i < Links.size(); ++i)
        if (Links[i].Info == now)
            return static_cast<int32_t>(i);
    return NextLink;
}

int32_t TOggData::SourceSeek(double seconds)
{
    if (!_VorbisfileDll)
        return -1;
    const int32_t r = _VorbisfileDll->wu_ov_time_seek(&VorbisFile, seconds);
    // A failed seek leaves the decoder where it was, with what was read ahead still to come.
    if (r >= 0) {
        RawAt = RawEnd = 0;
        NextLink = DecoderLink();
        LandOn(seconds);
    }
    return r;
}

void TOggData::LandOn(double seconds)
{
    // In a link after the first, the decoder passes over the packets before the frame asked for
    // by the first link's block size, not the link's own: where the link's blocks are longer it
    // lands late, by up to half of its longest block. It is then sent back early enough (or to
    // the link's start, where it lands exactly) and decodes forward to that frame.
    const TLink l = LinkFormat(NextLink);
    if (NextLink <= 0 || l.Rate <= 0 || !TChannelDownmix::Supports(l.Channels))
        return;
    // The link's start and the frame in it, reckoned as the decoder reckons them for the seek.
    double start = 0.0;
    for (int32_t i = 0; i < NextLink; ++i)
        start += _VorbisfileDll->wu_ov_time_total(&VorbisFile, i);
    const auto want = static_cast<int64_t>((seconds - start) * l.Rate);
    auto at = [&] { return std::llround((_VorbisfileDll->wu_ov_time_tell(&VorbisFile) - start) * l.Rate); };
    if (at() <= want)
        return;
    const double back = std::max(start, seconds - static_cast<double>(kLongestBlock) / l.Rate);
    if (_VorbisfileDll->wu_ov_time_seek(&VorbisFile, back) < 0 || DecoderLink() != NextLink) {
        // Late is better than lost: back where the first seek landed.
        _VorbisfileDll->wu_ov_time_seek(&VorbisFile, seconds);
        NextLink = DecoderLink();
        return;
    }
    Raw.resize(static_cast<size_t>(kRawBytes) / 2);
    const int32_t frameBytes = l.Channels * 2;
    for (int64_t drop = want - at(); drop > 0;) {
        int32_t link = NextLink;
        const auto bytes = static_cast<int32_t>(std::min<int64_t>(drop, kRawFrames) * frameBytes);
        const int32_t r =
            _VorbisfileDll->wu_ov_read(&VorbisFile, reinterpret_cast<char*>(Raw.data()), bytes, 0, 2, 1, &link);
        if (r <= 0 || link != NextLink)
            break;
        drop -= r / frameBytes;
    }
    RawAt = RawEnd = 0;
}

double TOggData::SourceTell()
{
    if (!_VorbisfileDll)
        return 0.0;
    double t = _VorbisfileDll->wu_ov_time_tell(&VorbisFile);
    const TLink l = LinkFormat(RawLink);
    if (RawAt < RawEnd && l.Rate > 0 && l.Channels > 0)
        t -= static_cast<double>((RawEnd - RawAt) / static_cast<size_t>(l.Channels)) / l.Rate;
    return t;
}

bool TOggData::EndPastSeam(double loopEnd)
{
    // The next link begins where the decoder stands less what it read ahead of the change; an
    // end within half a frame of that is the seam itself.
    const int32_t rate = LinkFormat(NextLink).Info ? LinkFormat(NextLink).Rate : PathRate;
    return loopEnd - SourceTell() > 0.5 / std::max(rate, 1);
}

int32_t TOggData::RenderLinks(uint8_t* p, int32_t n)
{
    int32_t done = 0;
    for (int32_t pass = 0; pass < kMaxLinkPasses && done < n; ++pass) {
        // The direct path holds nothing back, so it changes at once; the converted one changes
        // once its converter has given out the old link (RenderConverted).
        if (LinkPending() && !Converter)
            UseLink(NextLink);
        const int32_t link = PathLink;
        passAt_ = done;
        done += Converter ? RenderConverted(p + done, n - done) : RenderSource(p + done, n - done);
        // Another pass only where this one stopped for a change of link.
        if (!Playing.load() || (!LinkPending() && PathLink == link))
            return done;
    }
    // Links changed more often than a block allows: the rest of it is silence (each pass zeroes
    // what it did not fill), and the piece plays on.
    return n;
}

// ---------------------------------------------------------------------------------------------
// The converted path and the reads

void TOggData::ResetConversion()
{
    if (Converter)
        Converter->Clear();
    SourceAt = SourceEnd = 0;
    SourceEnded = false;
}

int32_t TOggData::RenderConverted(uint8_t* p, int32_t n)
{
    auto* out = reinterpret_cast<int16_t*>(p);
    const auto want = static_cast<size_t>(n) / OutputFormat::BytesPerFrame;
    size_t done = 0;
    // Each pass gives out frames or takes in source; a pass that does neither (which the
    // converter should never allow) ends the block rather than spin.
    for (int stalls = 0; done < want && stalls < 2;) {
        size_t made = 0;
        if (SourceAt < SourceEnd) {
            size_t used = 0;
            made = Converter->Process(SourceFrames.data() + SourceAt * 2, SourceEnd - SourceAt, used, out + done * 2,
                                      want - done);
            SourceAt += used;
            stalls = (made == 0 && used == 0) ? stalls + 1 : 0;
        } else if (SourceEnded || LinkPending()) {
            made = Converter->Flush(out + done * 2, want - done);
            if (made < want - done || Converter->Delay() < 0.5) {
                done += made;
                if (SourceEnded) {
                    // All of it is out: the piece ends here, and a later Play starts afresh.
                    Playing.store(false);
                    ResetConversion();
                } else {
                    // All of the old link is out: the new one follows on its own path.
                    UseLink(NextLink);
                }
                break;
            }
        } else {
            markBase_ = passAt_ + static_cast<int32_t>(done + static_cast<size_t>(Converter->Delay())) *
                                      OutputFormat::BytesPerFrame;
            const int32_t got = RenderSource(reinterpret_cast<uint8_t*>(SourceFrames.data()),
                                             static_cast<int32_t>(kSourceChunkFrames) * OutputFormat::BytesPerFrame);
            SourceAt = 0;
            SourceEnd = static_cast<size_t>(std::max(got, 0)) / OutputFormat::BytesPerFrame;
            SourceEnded = DataEnded;
            stalls = (SourceEnd == 0 && !SourceEnded && !LinkPending()) ? stalls + 1 : 0;
        }
        done += made;
    }
    if (done < want)
        std::memset(out + done * 2, 0, (want - done) * OutputFormat::BytesPerFrame);
    return static_cast<int32_t>(done) * OutputFormat::BytesPerFrame;
}

int32_t TOggData::DecodeRaw(int32_t bytes, int32_t& link)
{
    Raw.resize(static_cast<size_t>(kRawBytes) / 2);
    RawAt = RawEnd = 0;
    int32_t bitstream = link;
    auto* buffer = reinterpret_cast<char*>(Raw.data());
    int32_t r = _VorbisfileDll->wu_ov_read(&VorbisFile, buffer, bytes, 0, 2, 1, &bitstream);
    // A link with more channels than the path's may begin here; the decoder refuses a read with
    // less room than one of its frames, so it is asked again with room for any.
    if (r == kNoRoom && bytes < kRawBytes)
        r = _VorbisfileDll->wu_ov_read(&VorbisFile, buffer, kRawBytes, 0, 2, 1, &bitstream);
    if (r > 0) {
        RawEnd = static_cast<size_t>(r) / 2;
        RawLink = link = bitstream;
    }
    return r;
}

int32_t TOggData::ReadBlock(uint8_t* dest, int32_t m)
{
    if (_VorbisfileDll == nullptr)
        return -1;
    if (LinkPending())
        return LinkChange;
    if (!Renderable())
        return -1;
    const int32_t frames = std::min(m / OutputFormat::BytesPerFrame, kRawFrames);
    if (frames <= 0)
        return 0;
    if (RawAt == RawEnd) {
        // Asked for no more than fits at dest in the path's layout, so that nothing is left over
        // while the link stays the same.
        int32_t link = PathLink;
        const int32_t r = DecodeRaw(frames * PathChannels * 2, link);
        if (r <= 0)
            return r;
        if (link != PathLink) {
            NextLink = link;
            return LinkChange;
        }
    }
    const auto channels = static_cast<size_t>(PathChannels);
    const auto got = std::min(static_cast<size_t>(frames), (RawEnd - RawAt) / channels);
    const int16_t* in = Raw.data() + RawAt;
    auto* out = reinterpret_cast<int16_t*>(dest);
    if (channels == 2) {
        std::memcpy(out, in, got * OutputFormat::BytesPerFrame);
    } else if (channels == 1) {
        // One channel: each sample doubled into a frame.
        for (size_t i = 0; i < got; ++i)
            out[2 * i] = out[2 * i + 1] = in[i];
    } else {
        Downmix->Mix(in, static_cast<int32_t>(got), out);
    }
    RawAt += got * channels;
    return static_cast<int32_t>(got) * OutputFormat::BytesPerFrame;
}
