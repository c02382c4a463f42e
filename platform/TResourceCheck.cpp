#include "TResourceCheck.h"

#include <fcntl.h>
#include <malloc.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

namespace {
// The soft limit raised to the hard one; false when the limit cannot be read.
bool RaisedLimit(int resource, rlimit& limit)
{
    if (getrlimit(resource, &limit) != 0)
        return false;
    if (limit.rlim_cur != limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = raised.rlim_max;
        if (setrlimit(resource, &raised) == 0)
            limit = raised;
    }
    return true;
}

// Descriptors open now, counted below limit (only asked for small limits).
uint64_t OpenDescriptors(uint64_t limit)
{
    uint64_t open = 0;
    for (uint64_t fd = 0; fd < limit; ++fd)
        if (fcntl(static_cast<int>(fd), F_GETFD) != -1)
            ++open;
    return open;
}

// The address space mapped now, in bytes; 0 when it cannot be read.
uint64_t MappedBytes()
{
    std::ifstream statm("/proc/self/statm");
    uint64_t pages = 0;
    if (!(statm >> pages))
        return 0;
    return pages * static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
}

template <typename... Args>
std::string Format(const char* format, Args... args)
{
    char text[512];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}
}

std::string TResourceCheck::Run()
{
    rlimit files{};
    // With a limit of thousands a start that finds too few free descriptors is no start anyone
    // makes; the count is taken below that only.
    if (RaisedLimit(RLIMIT_NOFILE, files) && files.rlim_cur != RLIM_INFINITY && files.rlim_cur < 4096) {
        const uint64_t open = OpenDescriptors(files.rlim_cur);
        if (files.rlim_cur < open + NeededDescriptors)
            return Format("開けるファイルの数が足りません。上限 %llu 個 (ulimit -n) のうち %llu 個が使用中で、"
                          "起動にはあと %llu 個要ります。",
                          static_cast<unsigned long long>(files.rlim_cur), static_cast<unsigned long long>(open),
                          static_cast<unsigned long long>(NeededDescriptors));
    }
    rlimit space{};
    if (RaisedLimit(RLIMIT_AS, space) && space.rlim_cur != RLIM_INFINITY) {
        // Every thread that allocates would otherwise reserve a heap of its own, 64 MB of address
        // space each, and whether the next thread can still be made would depend on how the
        // earlier reservations fell.
        mallopt(M_ARENA_MAX, 1);
        void* probe = mmap(nullptr, NeededAddressBytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (probe == MAP_FAILED) {
            const uint64_t mb = 1u << 20;
            return Format("メモリーが足りません。アドレス空間の上限 %llu MB (ulimit -v) では起動できません。"
                          "約 %llu MB 要ります。",
                          static_cast<unsigned long long>(space.rlim_cur / mb),
                          static_cast<unsigned long long>((MappedBytes() + NeededAddressBytes + mb - 1) / mb));
        }
        munmap(probe, NeededAddressBytes);
    }
    return {};
}
