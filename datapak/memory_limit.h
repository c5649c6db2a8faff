// How much memory one allocation may ask for before we refuse it ourselves.
//
// On Linux an allocation far beyond physical memory may "succeed" thanks to
// overcommit and then get the process killed when the pages are touched; on
// Windows it may page the machine to a halt. Callers that size a block from a
// caller's number (a record position, a record count) check it here first and
// throw std::bad_alloc instead.
#pragma once

#include <cstdint>

namespace sorbel {

// True when `bytes` may reasonably be allocated in one piece on this machine.
bool MemoryCanHold(std::uint64_t bytes);

}  // namespace sorbel
