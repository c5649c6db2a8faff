// The JSON form of a package, shared by `sorbel dump` and `sorbel pack`:
//
//   {"category": "...", "title": "...",
//    "records": [{"key": "...", "hex": "01ff", "text": "..."}, ...]}
//
// "hex" is always written (lower-case, no separators); "text" only when every
// data byte is printable ASCII (32..126). On input a record gives its data as
// "hex" or "text"; when both are present "hex" is the data and "text" must
// encode to the same bytes, so that an edit to only one of them is caught
// instead of silently dropped. Texts are UTF-8 in JSON and go through the
// container's single-byte text encoding; a character that encoding cannot
// hold is refused rather than replaced.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "ckx_data_pak.h"

namespace sorbel::tool {

using Json = nlohmann::ordered_json;

// Content that cannot become a package; the message says which part and why.
class JsonInputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::string ToHex(std::span<const std::uint8_t> bytes);
// No value unless the text is an even number of hexadecimal digits (either case).
std::optional<Bytes> FromHex(std::string_view hex);

// The bytes of `text` in `encoding`, or no value when some character does not
// come back unchanged (it would have been replaced by a look-alike or '?').
std::optional<Bytes> EncodeExactly(const TextEncoding& encoding, std::u16string_view text);
std::u16string DecodeBytes(const TextEncoding& encoding, std::span<const std::uint8_t> bytes);

// "category", "title" and "records" of a loaded object.
Json PackageToJson(const ckxDataPak& pak);

// Fills an empty object from the JSON form. Throws JsonInputError. A
// top-level "document" member (written by dump for documents) is ignored.
void PackageFromJson(const Json& json, ckxDataPak& pak);

}  // namespace sorbel::tool
