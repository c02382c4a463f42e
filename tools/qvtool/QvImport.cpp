// qvtool import IN... [--out DIR] [--count N] [--force]: reads the loop tags other tools write as
// Vorbis comments and writes each tagged file as a looped-Ogg container, its Ogg bytes unchanged.
#include "QvCommand.h"

#include "ERangeError.h"
#include "LoopFit.h"
#include "LoopTags.h"
#include "OggDataLib.h"
#include "QvWriter.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <system_error>

namespace fs = std::filesystem;

namespace {

struct TJob {
    fs::path In;
    fs::path Out;
};

struct TCounts {
    int Converted = 0;
    int Skipped = 0;
    int Failed = 0;
};

bool IsOggName(const fs::path& p)
{
    std::string ext = p.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext == ".ogg" || ext == ".oga";
}

void Fail(TCounts& counts, const std::string& what, const std::string& why)
{
    std::fprintf(stderr, "%s: %s\n", what.c_str(), why.c_str());
    ++counts.Failed;
}

// The files named: files as given, directories walked for their Ogg files. With an output
// directory, files found in a directory keep their place below it.
std::vector<TJob> Collect(const std::vector<std::string>& inputs, const std::string& outDir, TCounts& counts)
{
    std::vector<TJob> jobs;
    auto target = [&](const fs::path& file, const fs::path& below) {
        fs::path name = file.filename();
        name.replace_extension(".qv");
        return outDir.empty() ? file.parent_path() / name : fs::path(outDir) / below / name;
    };
    for (const auto& input : inputs) {
        std::error_code ec;
        const fs::path in(input);
        if (fs::is_directory(in, ec)) {
            std::vector<fs::path> found;
            const auto options = fs::directory_options::skip_permission_denied;
            for (fs::recursive_directory_iterator it(in, options, ec), end; !ec && it != end; it.increment(ec))
                if (it->is_regular_file(ec) && IsOggName(it->path()))
                    found.push_back(it->path());
            if (ec) {
                Fail(counts, input, "cannot read the directory: " + ec.message());
                continue;
            }
            if (found.empty())
                Fail(counts, input, "no Ogg files (.ogg, .oga) in this directory");
            std::sort(found.begin(), found.end());
            for (const auto& f : found)
                jobs.push_back({f, target(f, f.parent_path().lexically_relative(in))});
        } else if (fs::is_regular_file(in, ec)) {
            jobs.push_back({in, target(in, "")});
        } else if (fs::exists(in, ec)) {
            Fail(counts, input, "not a regular file");
        } else {
            Fail(counts, input, "no such file or directory");
        }
    }
    return jobs;
}

// "12345 (0.279932 s)"
std::string Shown(int64_t frame, float time)
{
    char buf[96];
    std::snprintf(buf, sizeof buf, "%lld (%.6f s)", static_cast<long long>(frame), static_cast<double>(time));
    return buf;
}

void Import(const TJob& job, int32_t count, bool force, std::set<fs::path>& written, TCounts& counts)
{
    const std::string in = job.In.string();
    const std::string out = job.Out.string();
    std::error_code ec;
    if (fs::is_regular_file(job.In, ec) && fs::file_size(job.In, ec) == 0 && !ec)
        return Fail(counts, in, "empty file, not Ogg Vorbis");
    TOggData data(0);
    try {
        if (!data.LoadOgg(in))
            return Fail(counts, in, "cannot be read");
    } catch (const ERangeError&) {
        return Fail(counts, in, "not an Ogg Vorbis file");
    }

    const int64_t total = data.PcmBytes / OutputFormat::BytesPerFrame;
    // The rules the player loops a tagged file by: what it would refuse is refused here too.
    const TTaggedLoop tags = TLoopTags::Read(data.CommentList->Lines(), total, data.Rate);
    if (tags.Result == TTaggedLoop::None) {
        std::printf("%s: no loop tags, skipped\n", in.c_str());
        ++counts.Skipped;
        return;
    }
    if (tags.Result == TTaggedLoop::Bad)
        return Fail(counts, in, tags.Message);
    if (total <= 0 || !tags.End)
        return Fail(counts, in, "the stream does not tell its length, so its loop cannot be placed");
    if (!tags.Warning.empty())
        std::printf("%s: warning: %s\n", in.c_str(), tags.Warning.c_str());
    const int64_t end = *tags.End;

    const TLoopFit fit(data.Rate, total);
    const TLoopFit::TPoint start = fit.Start(tags.Start);
    const TLoopFit::TPoint stop = fit.End(end);
    for (const auto& [point, frame, what] :
         {std::tuple{start, tags.Start, "start"}, std::tuple{stop, end, "end"}}) {
        if (point.FirstError > total)
            return Fail(counts, in, std::string("no 32-bit time reaches the loop ") + what);
        if (point.FirstError > 0)
            std::printf("%s: no 32-bit time lands exactly on loop %s frame %lld; the nearest misses it by %lld "
                        "frame(s)\n",
                        in.c_str(), what, static_cast<long long>(frame), static_cast<long long>(point.FirstError));
        else if (point.Error > 0)
            std::printf("%s: loop %s frame %lld is exact played from the start; 32-bit times this far in can put "
                        "a later pass up to %lld frame(s) off\n",
                        in.c_str(), what, static_cast<long long>(frame), static_cast<long long>(point.Error));
    }

    if (written.count(fs::absolute(job.Out, ec)) != 0)
        return Fail(counts, in, out + " was written earlier in this run; not replaced");
    // An input named like its output (a.qv given as input) is never written over.
    if (!QvMayWrite(out, {in}, true)) {
        ++counts.Failed;
        return;
    }
    if (!force && fs::exists(fs::symlink_status(job.Out, ec))) {
        std::printf("%s: %s already exists, skipped (--force replaces it)\n", in.c_str(), out.c_str());
        ++counts.Skipped;
        return;
    }
    if (!job.Out.parent_path().empty())
        fs::create_directories(job.Out.parent_path(), ec);
    const uint8_t* file = data.FileData->Memory();
    const std::vector<uint8_t> ogg(file + data.DataStart, file + data.FileData->Size());
    if (!QvSave(out, TQvWriter::Header({{start.Time, stop.Time, count}}), ogg, force)) {
        ++counts.Failed;
        return;
    }
    written.insert(fs::absolute(job.Out, ec));
    std::printf("%s -> %s: loop from frame %s to frame %s, count %d (%s)\n", in.c_str(), out.c_str(),
                Shown(tags.Start, start.Time).c_str(), Shown(end, stop.Time).c_str(), count, tags.Form.c_str());
    ++counts.Converted;
}

bool ParseCount(const std::string& text, int32_t& out)
{
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || errno != 0 || *end != '\0' || v < -1 || v == 0 || v > INT32_MAX)
        return false;
    out = static_cast<int32_t>(v);
    return true;
}

int QvImport(const std::vector<std::string>& args)
{
    std::vector<std::string> inputs;
    std::string outDir;
    int32_t count = -1;
    bool force = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--force") {
            force = true;
        } else if (a == "--out") {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                std::fprintf(stderr, "--out wants a directory\n");
                return QvUsage;
            }
            outDir = args[++i];
        } else if (a == "--count") {
            if (i + 1 >= args.size() || !ParseCount(args[i + 1], count)) {
                std::fprintf(stderr, "--count wants -1 (endless) or a number of repeats, 1 or more\n");
                return QvUsage;
            }
            ++i;
        } else if (!QvTakeOperand(a, inputs)) {
            return QvUsage;
        }
    }
    if (inputs.empty())
        return QvUsage;
    std::error_code ec;
    if (!outDir.empty() && fs::exists(outDir, ec) && !fs::is_directory(outDir, ec)) {
        std::fprintf(stderr, "%s: not a directory\n", outDir.c_str());
        return QvFailed;
    }
    QvLoadDecoder();

    TCounts counts;
    std::set<fs::path> written;
    for (const auto& job : Collect(inputs, outDir, counts))
        Import(job, count, force, written, counts);
    std::printf("converted %d, skipped %d, failed %d\n", counts.Converted, counts.Skipped, counts.Failed);
    return counts.Converted > 0 && counts.Failed == 0 ? QvOk : QvFailed;
}

QvRegistrar registrar{"import", "import IN... [--out DIR] [--count N] [--force]", QvImport};

}
