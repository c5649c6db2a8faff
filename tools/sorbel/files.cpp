// Bounded reads and all-or-nothing writes (see files.h), through C stdio,
// which reports the reason of a failure in errno (iostreams do not). On
// Windows the wide _wfopen is used.
#include "files.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "ckx_data_pak.h"
#include "unicode.h"

namespace sorbel::tool {
namespace {

constexpr std::size_t kChunk = 65536;

std::string Reason(int error) { return std::strerror(error); }

FilePtr OpenFile(const std::filesystem::path& path, bool forWriting) {
#ifdef _WIN32
    return FilePtr(_wfopen(path.c_str(), forWriting ? L"wb" : L"rb"));
#else
    return FilePtr(std::fopen(path.c_str(), forWriting ? "wb" : "rb"));
#endif
}

#ifdef _WIN32
using StatBuffer = struct _stat64;
int StatOf(std::FILE* f, StatBuffer& st) { return _fstat64(_fileno(f), &st); }
bool IsRegularMode(unsigned mode) { return (mode & _S_IFMT) == _S_IFREG; }
bool IsDirectoryMode(unsigned mode) { return (mode & _S_IFMT) == _S_IFDIR; }
#else
using StatBuffer = struct stat;
int StatOf(std::FILE* f, StatBuffer& st) { return ::fstat(fileno(f), &st); }
bool IsRegularMode(unsigned mode) { return S_ISREG(mode); }
bool IsDirectoryMode(unsigned mode) { return S_ISDIR(mode); }
#endif

std::int32_t BigEndian32(const std::uint8_t* p) {
    return static_cast<std::int32_t>((std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) |
                                     (std::uint32_t{p[2]} << 8) | std::uint32_t{p[3]});
}

// What kind of thing is at a path that is not a regular file, for messages.
std::string KindOf(std::filesystem::file_type type) {
    switch (type) {
        case std::filesystem::file_type::directory: return "a directory";
        case std::filesystem::file_type::character:
        case std::filesystem::file_type::block: return "a device";
        case std::filesystem::file_type::fifo: return "a FIFO";
        case std::filesystem::file_type::socket: return "a socket";
        default: return "not a regular file";
    }
}

// The file a chain of symbolic links ends at (the path itself when it is no link).
std::filesystem::path FollowLinks(const std::string& name, std::filesystem::path path) {
    for (int hops = 0;; ++hops) {
        std::error_code ec;
        if (!std::filesystem::is_symlink(std::filesystem::symlink_status(path, ec))) return path;
        if (hops == 40) throw ToolError(name + ": too many levels of symbolic links");
        std::filesystem::path next = std::filesystem::read_symlink(path, ec);
        if (ec) throw ToolError(name + ": cannot follow the symbolic link: " + ec.message());
        path = next.is_absolute() ? next : path.parent_path() / next;
    }
}

// Refuses a target that exists and is not a regular file.
void RequireRegularOrAbsent(const std::string& name, const std::filesystem::path& target) {
    std::error_code ec;
    const auto status = std::filesystem::status(target, ec);
    const auto type = status.type();
    if (type == std::filesystem::file_type::not_found || type == std::filesystem::file_type::regular) return;
    if (ec && type == std::filesystem::file_type::none) {
        throw ToolError(name + ": cannot examine the target: " + ec.message());
    }
    throw ToolError(name + ": is " + KindOf(type) +
                    ", not a regular file; only a regular file is written (use -o - for standard output)");
}

}  // namespace

void FileCloser::operator()(std::FILE* f) const noexcept { std::fclose(f); }

std::filesystem::path PathFromUtf8(const std::string& utf8) {
#ifdef _WIN32
    const auto wide = Utf8ToUtf16(utf8);
    if (!wide) throw ToolError(utf8 + ": the file name is not valid UTF-8");
    return std::filesystem::path(std::wstring(wide->begin(), wide->end()));
#else
    return std::filesystem::path(utf8);
#endif
}

// ---- reading -----------------------------------------------------------------

Input::Input(const std::string& name, bool dashIsStandardInput) {
    if (dashIsStandardInput && name == "-") {
#ifdef _WIN32
        _setmode(_fileno(stdin), _O_BINARY);
#endif
        name_ = "standard input";
        file_ = stdin;
    } else {
        name_ = name;
        errno = 0;
        owned_ = OpenFile(PathFromUtf8(name), false);
        if (!owned_) throw ToolError(name + ": cannot open: " + Reason(errno));
        file_ = owned_.get();
    }
    StatBuffer st{};
    if (StatOf(file_, st) != 0) return;
    if (IsDirectoryMode(st.st_mode)) throw ToolError(name_ + ": is a directory");
    if (IsRegularMode(st.st_mode) && st.st_size >= 0) {
        // Standard input may be a regular file already partly read.
        const auto at = file_ == stdin ? std::ftell(file_) : 0L;
        const auto size = static_cast<std::uint64_t>(st.st_size);
        if (at >= 0) size_ = size - std::min<std::uint64_t>(size, static_cast<std::uint64_t>(at));
    }
}

std::size_t Input::Read(std::uint8_t* data, std::size_t n) {
    const std::size_t got = n == 0 ? 0 : std::fread(data, 1, n, file_);
    if (got < n && std::ferror(file_)) throw ToolError(name_ + ": read failed: " + Reason(errno));
    return got;
}

void Input::ReadTo(std::vector<std::uint8_t>& bytes, std::size_t target) {
    if (size_) bytes.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(target, *size_)));
    while (bytes.size() < target) {
        const std::size_t at = bytes.size();
        const std::size_t want = std::min(kChunk, target - at);
        bytes.resize(at + want);
        const std::size_t got = Read(bytes.data() + at, want);
        bytes.resize(at + got);
        if (got < want) return;
    }
}

void Input::TooLarge(std::uint64_t limit) const {
    throw ToolError(name_ + ": larger than " + std::to_string(limit) +
                    " bytes, the most a package or document can hold; refused");
}

std::vector<std::uint8_t> Input::ReadAll(std::uint64_t limit) {
    if (size_ && *size_ > limit) TooLarge(limit);
    std::vector<std::uint8_t> bytes;
    // One byte more than the limit tells an input that is too long.
    ReadTo(bytes, static_cast<std::size_t>(limit + 1));
    if (bytes.size() > limit) TooLarge(limit);
    return bytes;
}

InputBuffer::InputBuffer(Input& input, std::uint64_t limit) : input_(input), limit_(limit) {
    if (input.KnownSize() && *input.KnownSize() > limit) input.TooLarge(limit);
}

InputBuffer::int_type InputBuffer::underflow() {
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof buffer_, limit_ + 1 - total_));
    const std::size_t got = input_.Read(reinterpret_cast<std::uint8_t*>(buffer_), want);
    total_ += got;
    if (total_ > limit_) input_.TooLarge(limit_);
    if (got == 0) return traits_type::eof();
    setg(buffer_, buffer_, buffer_ + got);
    return traits_type::to_int_type(*gptr());
}

// Package grammar (docs/package-format.md): type 1000 (4 bytes, big-endian),
// size (4 bytes, big-endian, the whole package), then the rest. The loader
// refuses fewer than 14 bytes, a wrong type and a size field that differs
// from the length, in that order, before it looks further.
std::vector<std::uint8_t> ReadPackage(Input& input, std::vector<std::uint8_t> bytes) {
    constexpr auto kHeader = static_cast<std::size_t>(kPackageHeaderSize);
    input.ReadTo(bytes, kHeader);
    if (bytes.size() < kHeader) return bytes;                              // too small
    if (BigEndian32(bytes.data()) != kPackageTypeId) return bytes;       // wrong type
    const std::int32_t size = BigEndian32(bytes.data() + 4);
    if (size < kPackageHeaderSize) return bytes;                          // the length is not the size
    const auto claimed = static_cast<std::size_t>(size);
    if (input.KnownSize() && *input.KnownSize() != claimed) {
        // A file of another size is refused for that; one byte past the
        // header keeps the refusal when the size field says 14.
        if (claimed == kHeader) input.ReadTo(bytes, kHeader + 1);
        return bytes;
    }
    // Reading one byte past the claimed size tells a longer input without reading it all.
    input.ReadTo(bytes, claimed + 1);
    return bytes;
}

// ---- writing -----------------------------------------------------------------

Output::Output(const std::string& name) : name_(name) {
    if (name == "-") {
#ifdef _WIN32
        _setmode(_fileno(stdout), _O_BINARY);
#endif
        name_ = "standard output";
        toStandardOutput_ = true;
        std::cout.flush();
        return;
    }
    target_ = FollowLinks(name, PathFromUtf8(name));
    RequireRegularOrAbsent(name, target_);
    std::filesystem::path dir = target_.parent_path();
    if (dir.empty()) dir = ".";
#ifdef _WIN32
    temp_ = target_;
    temp_ += ".tmp";
    errno = 0;
    file_ = OpenFile(temp_, true);
    if (!file_) {
        const int error = errno;
        temp_.clear();
        Fail("cannot create a file beside it", error);
    }
#else
    std::string pattern = (dir / ("." + target_.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) Fail("cannot create a file beside it", errno);
    temp_ = pattern;
    // The new file takes the old one's permissions (and owner, where allowed),
    // or the usual ones of a new file.
    struct stat old {};
    if (::stat(target_.c_str(), &old) == 0) {
        ::fchmod(fd, old.st_mode & 07777);
        if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
            // Only the superuser may give a file away; the content matters more.
        }
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
    }
    file_.reset(::fdopen(fd, "wb"));
    if (!file_) {
        const int error = errno;
        ::close(fd);
        Fail("cannot create a file beside it", error);
    }
#endif
}

Output::~Output() { Discard(); }

void Output::Discard() noexcept {
    file_.reset();
    if (!temp_.empty()) {
        std::error_code ignored;
        std::filesystem::remove(temp_, ignored);
        temp_.clear();
    }
}

void Output::Fail(const std::string& what, int error) {
    Discard();
    std::string message = name_ + ": " + what;
    if (error != 0) message += ": " + Reason(error);
    if (!toStandardOutput_) message += "; the target was not changed";
    throw ToolError(message);
}

void Output::Write(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return;
    std::FILE* f = toStandardOutput_ ? stdout : file_.get();
    errno = 0;
    if (std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) Fail("write failed", errno);
}

void Output::Commit() {
    errno = 0;
    if (toStandardOutput_) {
        if (std::fflush(stdout) != 0 || std::ferror(stdout)) Fail("write failed", errno);
        return;
    }
    if (std::fflush(file_.get()) != 0) Fail("write failed", errno);
#ifdef _WIN32
    if (_commit(_fileno(file_.get())) != 0) Fail("write failed", errno);
#else
    if (::fsync(fileno(file_.get())) != 0) Fail("write failed", errno);
#endif
    const int closed = std::fclose(file_.release());
    if (closed != 0) Fail("write failed", errno);
    // The target may have changed since it was examined: never rename over a device.
    RequireRegularOrAbsent(name_, target_);
    std::error_code ec;
    std::filesystem::rename(temp_, target_, ec);
    if (ec) Fail("cannot replace the file: " + ec.message(), 0);
    temp_.clear();
}

void WriteWholeFile(const std::string& name, std::span<const std::uint8_t> bytes) {
    Output output(name);
    output.Write(bytes);
    output.Commit();
}

std::string FinishStandardOutput() {
    std::cout.flush();
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0 && !std::ferror(stdout) && std::cout.good();
    const int flushError = errno;
    errno = 0;
    const bool closed = std::fclose(stdout) == 0;
    const int error = flushed ? errno : flushError;
    if (flushed && closed) return {};
    return "standard output: write failed" + (error != 0 ? ": " + Reason(error) : std::string());
}

void GuardStandardStreams() {
#ifndef _WIN32
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // open() returns the lowest free descriptor, which is this one. A
        // read-only descriptor makes every write to a closed output fail.
        const int opened = ::open("/dev/null", O_RDONLY);
        if (opened != fd && opened >= 0) ::close(opened);
    }
#endif
}

}  // namespace sorbel::tool
