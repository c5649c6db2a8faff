// Conversions between UTF-8 (the tool's own strings: command line, JSON,
// messages) and UTF-16 (the record container's strings, and Windows' wide
// strings). Invalid input is reported, never passed on half-converted.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace sorbel::tool {

// UTF-8 to UTF-16; no value when the input is not well-formed UTF-8.
std::optional<std::u16string> Utf8ToUtf16(std::string_view text);

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace sorbel::tool
