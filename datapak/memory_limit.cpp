// The machine's memory limit for one allocation: physical memory (and the
// address-space limit, where one is set) on POSIX; available physical memory
// and the process's virtual address space on Windows.
#include "memory_limit.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <limits>

namespace sorbel {

bool MemoryCanHold(std::uint64_t bytes) {
#ifdef _WIN32
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    if (!GlobalMemoryStatusEx(&status)) {
        return true;  // unknown: let the allocator decide
    }
    return bytes <= std::min<std::uint64_t>(status.ullAvailPhys, status.ullTotalVirtual);
#else
    std::uint64_t limit = std::numeric_limits<std::uint64_t>::max();
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages > 0 && pageSize > 0) {
        limit = static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize);
    }
    rlimit addressSpace{};
    if (getrlimit(RLIMIT_AS, &addressSpace) == 0 && addressSpace.rlim_cur != RLIM_INFINITY) {
        limit = std::min<std::uint64_t>(limit, addressSpace.rlim_cur);
    }
    return bytes <= limit;
#endif
}

void PrefaultForWrite(void* block, std::size_t bytes) {
#if defined(__linux__)
    constexpr int kPopulateWrite = 23;  // MADV_POPULATE_WRITE (Linux 5.14); older kernels answer EINVAL
    constexpr std::size_t kWorthIt = std::size_t{1} << 20;
    if (bytes < kWorthIt) {
        return;
    }
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    const auto start = reinterpret_cast<std::uintptr_t>(block);
    const std::uintptr_t first = (start + page - 1) & ~(page - 1);
    const std::uintptr_t last = (start + bytes) & ~(page - 1);
    if (last <= first) {
        return;
    }
    // A block the allocator reuses is already mapped, and populating it again
    // costs more than it saves; a fresh mapping has its last page unmapped.
    unsigned char resident = 0;
    if (mincore(reinterpret_cast<void*>(last - page), page, &resident) == 0 && (resident & 1) != 0) {
        return;
    }
    madvise(reinterpret_cast<void*>(first), last - first, kPopulateWrite);
#else
    (void)block;
    (void)bytes;
#endif
}

}  // namespace sorbel
