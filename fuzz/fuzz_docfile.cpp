// libFuzzer target for the document-file reader (ReadDocHeader, ReadBlock).
//
// Each input is written to a scratch file and read back the way the viewer
// reads a document: the header locates the package (P, L), then the package
// is read as a block from the 1-based position P + 1. Further blocks, some
// taken from the input's own bytes and some at the edges of the file, check
// that ReadBlock hands out exactly the bytes asked for when the block lies in
// the file and nothing otherwise. Any mismatch aborts, so libFuzzer records
// the input.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>
#include <system_error>
#include <unistd.h>
#include <vector>

#include "doc_file.h"

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "fuzz_docfile: %s\n", what);
    std::abort();
}

// The scratch file lives in memory (/dev/shm) where there is one: rewriting a
// file on ext4 flushes it to disk on every close, which would make disk
// writes, not the reader, the cost of each run.
const std::filesystem::path& ScratchPath() {
    static const std::filesystem::path path = [] {
        std::error_code ec;
        const std::filesystem::path dir = std::filesystem::is_directory("/dev/shm", ec)
                                              ? std::filesystem::path("/dev/shm")
                                              : std::filesystem::temp_directory_path();
        auto p = dir / ("sorbel_fuzz_docfile_" + std::to_string(::getpid()) + ".orl");
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove(ScratchPath(), ignored);
        });
        return p;
    }();
    return path;
}

void WriteScratch(const std::uint8_t* data, std::size_t size) {
    std::FILE* f = std::fopen(ScratchPath().c_str(), "wb");
    if (f == nullptr) Fail("cannot create the scratch file");
    if (size != 0 && std::fwrite(data, 1, size, f) != size) Fail("cannot write the scratch file");
    if (std::fclose(f) != 0) Fail("cannot close the scratch file");
}

std::int32_t BigEndian32(const std::uint8_t* p) {
    return static_cast<std::int32_t>((std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) |
                                     (std::uint32_t{p[2]} << 8) | p[3]);
}

// Reads one block and checks it against the file's bytes.
void CheckBlock(const std::uint8_t* data, std::size_t size, std::int32_t start, std::int32_t length) {
    std::vector<std::uint8_t> out{0xAA, 0xBB, 0xCC};  // a failed read must leave this empty
    const std::int32_t status = docfile::ReadBlock(ScratchPath(), start, length, out);

    const std::int64_t first = std::int64_t{start} - 1;
    const bool inside = start >= 1 && length >= 0 && first + length <= static_cast<std::int64_t>(size);

    if (status != docfile::kBlockOk && status != docfile::kBlockOutside)
        Fail("ReadBlock of an existing file reports it missing or unreadable");
    if (out.size() > size) Fail("ReadBlock returned more bytes than the file has");
    if (length >= 0 && out.size() > static_cast<std::size_t>(length)) Fail("ReadBlock returned more bytes than asked");
    if (status != docfile::kBlockOk) {
        if (!out.empty()) Fail("a refused ReadBlock left bytes in its result");
        if (inside && length > 0) Fail("ReadBlock refused a block that lies inside the file");
        return;
    }
    if (length < 0 || start < 1) Fail("ReadBlock accepted a negative length or a start before 1");
    if (out.size() != static_cast<std::size_t>(length)) Fail("ReadBlock returned a different number of bytes");
    if (length > 0 && !inside) Fail("ReadBlock accepted a block that runs past the end of the file");
    if (length > 0 && std::memcmp(out.data(), data + first, out.size()) != 0)
        Fail("ReadBlock returned bytes that differ from the file");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    WriteScratch(data, size);
    const docfile::DocHeader header = docfile::ReadDocHeader(ScratchPath());

    switch (header.status) {
    case docfile::kDocOk:
    case docfile::kDocNotDocument:
    case docfile::kDocUnsupportedVersion:
    case docfile::kDocPackageOutside:
        break;
    default:
        Fail("ReadDocHeader of an existing file reports it missing, unreadable or an unknown status");
    }
    const bool signature = size >= sizeof docfile::kSignature &&
                           std::memcmp(data, docfile::kSignature, sizeof docfile::kSignature) == 0;
    if (!signature && header.status != docfile::kDocNotDocument) Fail("a wrong signature is not refused as such");

    if (header.status == docfile::kDocOk) {
        if (size < static_cast<std::size_t>(docfile::kLeadingPartSize)) Fail("a file shorter than the leading part is accepted");
        if (BigEndian32(data + 8) != docfile::kFormatVersion || header.version != docfile::kFormatVersion)
            Fail("an unsupported version is accepted");
        const std::int32_t p = header.packageOffset;
        const std::int32_t l = header.packageLength;
        if (p != BigEndian32(data + 12) || l != BigEndian32(data + 16)) Fail("P or L differ from the header fields");
        if (header.fileSize != static_cast<std::int64_t>(size)) Fail("the reported file size is wrong");
        if (p < 0 || l < 0 || std::int64_t{p} + l > static_cast<std::int64_t>(size))
            Fail("status 0 for a package that is not inside the file");

        // The package exactly as the viewer reads it.
        std::vector<std::uint8_t> package;
        if (docfile::ReadBlock(ScratchPath(), p + 1, l, package) != docfile::kBlockOk)
            Fail("the package that the header locates cannot be read");
        if (package.size() != static_cast<std::size_t>(l) ||
            (l > 0 && std::memcmp(package.data(), data + p, package.size()) != 0))
            Fail("the package read differs from the file's bytes at P");
    }

    // Blocks at the edges of the file, where off-by-one and overflow faults
    // live. Every read opens the file, so each input tries two of them,
    // chosen by its length and one of its bytes, rather than all.
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
    const auto n = static_cast<std::int32_t>(size);
    const std::int32_t edges[][2] = {
        {1, n}, {1, n + 1}, {n, 1}, {n, 2}, {n + 1, 0}, {n + 1, 1}, {0, 0}, {0, 1}, {1, -1}, {1, 0},
        {kMax, 1}, {kMax, kMax}, {1, kMax}, {2, kMax}, {kMin, 5}, {-1, 2}, {n / 2 + 1, n - n / 2},
    };
    constexpr std::size_t kEdges = sizeof edges / sizeof edges[0];
    const auto& byLength = edges[size % kEdges];
    const auto& byContent = edges[size == 0 ? 0 : data[size / 2] % kEdges];
    CheckBlock(data, size, byLength[0], byLength[1]);
    CheckBlock(data, size, byContent[0], byContent[1]);

    // Blocks chosen by the input: its last eight bytes taken raw, and two
    // positions folded into the file's range.
    if (size >= 8) {
        CheckBlock(data, size, BigEndian32(data + size - 8), BigEndian32(data + size - 4));
        const auto span = static_cast<std::uint32_t>(n) + 2;
        const auto a = static_cast<std::int32_t>(static_cast<std::uint32_t>(BigEndian32(data)) % span);
        const auto b = static_cast<std::int32_t>(static_cast<std::uint32_t>(BigEndian32(data + 4)) % span);
        CheckBlock(data, size, a + 1, b);
        CheckBlock(data, size, a, n - a + 1);
    }
    return 0;
}
