// Reader and writer of the .orl document file (layout in doc_file.h).
//
// Every read first learns the file's size and checks the requested range
// against it in 64-bit arithmetic, in the form `n > remaining`, so a header
// or caller that names a huge or negative offset or length can neither make
// us read outside the file nor allocate more than the file holds.
//
// Files are opened through FILE*: _wfopen on Windows so that paths with
// characters outside the ANSI code page work, fopen elsewhere.
#include "doc_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#endif

namespace docfile {
namespace {

constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

struct FileCloser {
    void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

File OpenFile(const std::filesystem::path& path, bool forWriting) {
#ifdef _WIN32
    return File(::_wfopen(path.c_str(), forWriting ? L"wb" : L"rb"));
#else
    return File(std::fopen(path.c_str(), forWriting ? "wb" : "rb"));
#endif
}

bool Seek(std::FILE* f, std::int64_t offset, int origin) {
#ifdef _WIN32
    return ::_fseeki64(f, offset, origin) == 0;
#else
    return ::fseeko(f, static_cast<off_t>(offset), origin) == 0;
#endif
}

std::int64_t Tell(std::FILE* f) {
#ifdef _WIN32
    return ::_ftelli64(f);
#else
    return static_cast<std::int64_t>(::ftello(f));
#endif
}

// The size of an open file, or -1 when it cannot be learnt (not a seekable file).
std::int64_t SizeOf(std::FILE* f) {
    if (!Seek(f, 0, SEEK_END)) return -1;
    const std::int64_t size = Tell(f);
    if (size < 0 || !Seek(f, 0, SEEK_SET)) return -1;
    return size;
}

bool ReadExactly(std::FILE* f, std::uint8_t* data, std::size_t n) {
    return n == 0 || std::fread(data, 1, n, f) == n;
}

// Whether anything is at the path: "missing" (nothing there) and "exists but
// is not a readable file" (a FIFO, a device, a directory) are reported apart.
// A path holding a NUL character names no file: the open call would stop at the
// NUL and open a different one.
bool Exists(const std::filesystem::path& path) {
    if (path.empty() ||
        path.native().find(std::filesystem::path::value_type{0}) != std::filesystem::path::string_type::npos) {
        return false;
    }
#ifdef _WIN32
    // The C runtime's stat, under std::filesystem, fails for FIFOs and devices
    // as if nothing were there; only "not found" errors mean that.
    if (::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    switch (::GetLastError()) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME:
            return false;
        default:
            return true;
    }
#else
    std::error_code ec;
    return std::filesystem::status(path, ec).type() != std::filesystem::file_type::not_found;
#endif
}

bool IsRegular(const std::filesystem::path& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

std::int32_t GetBigEndian32(const std::uint8_t* p) {
    const std::uint32_t u = (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) |
                            (std::uint32_t{p[2]} << 8) | std::uint32_t{p[3]};
    return static_cast<std::int32_t>(u);
}

void PutBigEndian32(std::uint8_t* p, std::int32_t value) {
    const auto u = static_cast<std::uint32_t>(value);
    p[0] = static_cast<std::uint8_t>(u >> 24);
    p[1] = static_cast<std::uint8_t>(u >> 16);
    p[2] = static_cast<std::uint8_t>(u >> 8);
    p[3] = static_cast<std::uint8_t>(u);
}

// The path as UTF-8 text for messages; never throws on characters that the
// narrow code page cannot hold.
std::string PathText(const std::filesystem::path& path) {
    const auto u8 = path.u8string();
    return std::string(u8.begin(), u8.end());
}

[[noreturn]] void WriteFailed(const std::filesystem::path& path, const char* what, int error) {
    std::string message = "cannot write document '" + PathText(path) + "': " + what;
    if (error != 0) message += std::string(" (") + std::strerror(error) + ")";
    throw std::runtime_error(message);
}

}  // namespace

DocHeader ReadDocHeader(const std::filesystem::path& path) {
    DocHeader header;
    if (!Exists(path)) {
        header.status = kDocMissing;
        return header;
    }
    header.status = kDocUnreadable;
    if (!IsRegular(path)) return header;
    File file = OpenFile(path, false);
    if (!file) return header;
    header.fileSize = SizeOf(file.get());
    if (header.fileSize < 0) {
        header.fileSize = 0;
        return header;
    }

    std::uint8_t lead[kLeadingPartSize];
    if (header.fileSize < kLeadingPartSize) {
        header.status = kDocNotDocument;
        return header;
    }
    if (!ReadExactly(file.get(), lead, sizeof lead)) return header;  // unreadable
    if (std::memcmp(lead, kSignature, sizeof kSignature) != 0) {
        header.status = kDocNotDocument;
        return header;
    }

    // The values read are reported whatever the status, for diagnostics; a
    // caller must use them only when the status is kDocOk.
    header.version = GetBigEndian32(lead + 8);
    header.packageOffset = GetBigEndian32(lead + 12);
    header.packageLength = GetBigEndian32(lead + 16);
    if (header.version != kFormatVersion) {
        header.status = kDocUnsupportedVersion;
        return header;
    }

    // The package must sit after the leading part and end inside the file.
    // The viewer also computes the text's 1-based position P + L + 1 in 32
    // bits, so a package ending at the very top of that range is refused too.
    const std::int64_t p = header.packageOffset;
    const std::int64_t l = header.packageLength;
    const bool inside = p >= kLeadingPartSize && l >= 0 && p <= header.fileSize &&
                        l <= header.fileSize - p && p + l < kInt32Max;
    header.status = inside ? kDocOk : kDocPackageOutside;
    return header;
}

std::int32_t ReadBlock(const std::filesystem::path& path, std::int32_t start, std::int32_t length,
                       std::vector<std::uint8_t>& out) {
    out.clear();
    if (start < 1 || length < 0) return kBlockOutside;
    if (!Exists(path)) return kBlockMissing;
    if (!IsRegular(path)) return kBlockUnreadable;
    File file = OpenFile(path, false);
    if (!file) return kBlockUnreadable;
    const std::int64_t size = SizeOf(file.get());
    if (size < 0) return kBlockUnreadable;

    // 0-based offset of the first byte; an empty block may sit right after the last byte.
    const std::int64_t offset = std::int64_t{start} - 1;
    if (offset > size || std::int64_t{length} > size - offset) return kBlockOutside;
    if (length == 0) return kBlockOk;

    std::vector<std::uint8_t> data(static_cast<std::size_t>(length));
    if (!Seek(file.get(), offset, SEEK_SET) ||
        !ReadExactly(file.get(), data.data(), data.size())) {
        return kBlockUnreadable;  // the file shrank or the device failed
    }
    out = std::move(data);
    return kBlockOk;
}

std::vector<std::uint8_t> MakeLeadingPart(std::int32_t packageLength) {
    // The text's load position P + L + 1 must still be a 32-bit value.
    if (packageLength < 0 || packageLength > kInt32Max - kLeadingPartSize - 1) {
        throw std::length_error("package length " + std::to_string(packageLength) +
                                " does not fit a document");
    }
    std::vector<std::uint8_t> lead(kLeadingPartSize);
    std::memcpy(lead.data(), kSignature, sizeof kSignature);
    PutBigEndian32(lead.data() + 8, kFormatVersion);
    PutBigEndian32(lead.data() + 12, kLeadingPartSize);
    PutBigEndian32(lead.data() + 16, packageLength);
    return lead;
}

void WriteDocument(const std::filesystem::path& path, std::span<const std::uint8_t> package,
                   std::span<const std::uint8_t> richText) {
    if (package.size() > static_cast<std::size_t>(kInt32Max - kLeadingPartSize - 1)) {
        WriteFailed(path, "the package is too large for a document", 0);
    }
    const auto lead = MakeLeadingPart(static_cast<std::int32_t>(package.size()));

    // Written beside the target and renamed over it at the end, so a failed
    // write never leaves a truncated document or destroys the previous one.
    std::filesystem::path temp = path;
    temp += ".tmp";
    {
        errno = 0;
        File file = OpenFile(temp, true);
        if (!file) WriteFailed(path, "cannot create the file", errno);
        const auto put = [&](std::span<const std::uint8_t> bytes) {
            if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) {
                const int error = errno;
                file.reset();
                std::error_code ignored;
                std::filesystem::remove(temp, ignored);
                WriteFailed(path, "writing failed", error);
            }
        };
        put(lead);
        put(package);
        put(richText);
        const bool flushed = std::fflush(file.get()) == 0;
        const int error = errno;
        const bool closed = std::fclose(file.release()) == 0;
        if (!flushed || !closed) {
            std::error_code ignored;
            std::filesystem::remove(temp, ignored);
            WriteFailed(path, "writing failed", error);
        }
    }
    std::error_code ec;
    std::filesystem::rename(temp, path, ec);
    if (ec) {
        std::error_code ignored;
        std::filesystem::remove(temp, ignored);
        throw std::runtime_error("cannot write document '" + PathText(path) + "': " + ec.message());
    }
}

}  // namespace docfile
