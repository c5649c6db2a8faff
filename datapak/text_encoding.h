// The single-byte character set that turns record text into bytes and back.
// Every character becomes exactly one byte and every byte one character.
// The portable default is Windows-1252; the Windows build plugs in the
// system ANSI code page through the platform's conversion functions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace sorbel {

class TextEncoding {
public:
    virtual ~TextEncoding() = default;
    // Writes text.size() bytes to `out`. A character the set lacks becomes a
    // look-alike or '?'. Throws std::overflow_error when a character would
    // take more than one byte (only a multi-byte code page can do that).
    virtual void Encode(std::u16string_view text, std::uint8_t* out) const = 0;
    // Writes bytes.size() characters to `out`; byte 0 is character 0.
    virtual void Decode(std::span<const std::uint8_t> bytes, char16_t* out) const = 0;
};

// Windows-1252 exactly: all 256 bytes decode to a character that encodes back
// to the same byte (the five bytes 1252 leaves undefined map to the C1 control
// characters of the same code); other characters become a look-alike or '?'.
const TextEncoding& Windows1252();

}  // namespace sorbel
