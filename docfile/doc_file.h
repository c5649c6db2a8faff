// The .orl document file: a fixed leading part, a package, then rich text.
//
//   offset  width  field
//   0       8      signature 89 4F 52 4C 0D 0A 1A 0A ("\x89ORL\r\n\x1A\n")
//   8       4      format version, 32-bit signed big-endian, currently 1
//   12      4      P: offset of the package in the file, big-endian (20 when written here)
//   16      4      L: length of the package in bytes, big-endian
//   P       L      the package (the record container's byte format)
//   P + L   rest   the document's rich text (RTF)
//
// The text view counts load positions from 1, so the text that starts at the
// 0-based offset P + L is loaded from position P + L + 1: no byte separates
// the package from the text.
//
// The reader never reads past the end of the file and never allocates more
// than the file can supply, whatever the header says.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

namespace docfile {

inline constexpr std::uint8_t kSignature[8] = {0x89, 0x4F, 0x52, 0x4C, 0x0D, 0x0A, 0x1A, 0x0A};
inline constexpr std::int32_t kFormatVersion = 1;
inline constexpr std::int32_t kLeadingPartSize = 20;

// Status of a header read; 0 only for a document whose package lies wholly inside the file.
enum DocStatus : std::int32_t {
    kDocOk = 0,
    kDocMissing = 1,             // no file at the path
    kDocUnreadable = 2,          // the file exists but cannot be opened or read
    kDocNotDocument = 3,         // too short for the leading part, or the signature is wrong
    kDocUnsupportedVersion = 4,  // the signature is right, the version is not one we read
    kDocPackageOutside = 5,      // P or L negative, or the package runs past the end of the file
};

// Status of a block read.
enum BlockStatus : std::int32_t {
    kBlockOk = 0,
    kBlockMissing = 1,      // no file at the path
    kBlockUnreadable = 2,   // open or read failed
    kBlockOutside = 3,      // the block is not wholly inside the file (or start < 1, length < 0)
};

struct DocHeader {
    std::int32_t status = kDocMissing;
    std::int32_t version = 0;
    std::int32_t packageOffset = 0;  // P
    std::int32_t packageLength = 0;  // L
    std::int64_t fileSize = 0;
};

// Examines the file's leading part and locates its package.
DocHeader ReadDocHeader(const std::filesystem::path& path);

// Reads `length` bytes starting at the 1-based position `start` into `out`.
// On failure `out` is left empty and the status says why.
std::int32_t ReadBlock(const std::filesystem::path& path, std::int32_t start, std::int32_t length,
                       std::vector<std::uint8_t>& out);

// The 20-byte leading part for a package of `packageLength` bytes placed right after it.
std::vector<std::uint8_t> MakeLeadingPart(std::int32_t packageLength);

// Leading part, package and text in one file. Throws std::runtime_error naming
// the path and the reason when the file cannot be written.
void WriteDocument(const std::filesystem::path& path, std::span<const std::uint8_t> package,
                   std::span<const std::uint8_t> richText);

}  // namespace docfile
