// What the viewer should show for a document, worked out independently of the viewer:
// reads a .orl file's leading part and package by hand and turns the six page keys into
// the numbers the viewer must apply. The UI tests compare the viewer's window against this.
//
//   .orl leading part: 8-byte signature, version, P, L (32-bit big-endian each), then the
//   package at offset P (L bytes), then the rich text.
//   package: type 1000, size, category length (1 byte), title length (1 byte), record count,
//   category, title, then per record: key length (1 byte), data length (4), key, data.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace oracle {

struct PageKey {
    const char* key;       // "DocProperty_PageMarginL" ...
    const wchar_t* prop;   // the window property the viewer publishes: L"Navreth.MarginL" ...
};

// The six keys in the order the viewer applies them.
extern const PageKey kPageKeys[6];

// The records of the document's package by key (first record wins for a repeated key),
// or nothing when the file is not a well-formed document.
std::optional<std::map<std::string, std::string>> ReadDocumentProperties(const std::wstring& path);

// The number the viewer makes of a stored page value: the text "0" followed by the value,
// as a 32-bit integer with fractions rounded half to even. Nothing when it does not convert
// (letters, a sign, beyond 32 bits): the viewer then keeps the setting it had.
std::optional<std::int32_t> PageValue(const std::string& stored);

}  // namespace oracle
