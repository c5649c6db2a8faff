// How much memory one allocation may ask for before we refuse it ourselves.
//
// On Linux an allocation far beyond physical memory may "succeed" thanks to
// overcommit and then get the process killed when the pages are touched; on
// Windows it may page the machine to a halt. Callers that size a block from a
// caller's number (a record position, a record count) check it here first and
// throw std::bad_alloc instead.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sorbel {

// True when `bytes` may reasonably be allocated in one piece on this machine.
bool MemoryCanHold(std::uint64_t bytes);

// Asks the system to map the whole pages of a freshly allocated block that is
// about to be written, in one call instead of one page fault per page. Only a
// speed-up: it changes no byte, and does nothing where it is not supported or
// the block is small.
void PrefaultForWrite(void* block, std::size_t bytes);

}  // namespace sorbel
