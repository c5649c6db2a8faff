// The machine's memory limit for one allocation: physical memory (and the
// address-space limit, where one is set) on POSIX; available physical memory
// and the process's virtual address space on Windows.
#include "memory_limit.h"

#ifdef _WIN32
#include <windows.h>
#else
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

}  // namespace sorbel
