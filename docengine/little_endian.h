// Little-endian reads and writes of raw bytes, for the binary formats the engine takes apart
// (metafiles). The caller has checked that the bytes are there.
#pragma once

#include <cstdint>

namespace docengine {

// 32 bits wide, so that a caller may shift it left by 16 without leaving its type.
inline std::uint32_t ReadLe16(const std::uint8_t* p) { return p[0] | std::uint32_t{p[1]} << 8; }
inline std::uint32_t ReadLe32(const std::uint8_t* p) { return ReadLe16(p) | ReadLe16(p + 2) << 16; }

inline void WriteLe32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace docengine
