// Whole-file reads and writes through C stdio, which reports the reason of a
// failure in errno (iostreams do not). On Windows the wide _wfopen is used.
#include "files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <iterator>
#include <memory>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "unicode.h"

namespace sorbel::tool {
namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

FilePtr OpenFile(const std::filesystem::path& path, bool forWriting) {
#ifdef _WIN32
    return FilePtr(_wfopen(path.c_str(), forWriting ? L"wb" : L"rb"));
#else
    return FilePtr(std::fopen(path.c_str(), forWriting ? "wb" : "rb"));
#endif
}

std::string Reason(int error) { return std::strerror(error); }

FilePtr OpenForReading(const std::string& name) {
    const auto path = PathFromUtf8(name);
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) throw ToolError(name + ": is a directory");
    errno = 0;
    FilePtr file = OpenFile(path, false);
    if (!file) throw ToolError(name + ": cannot open: " + Reason(errno));
    return file;
}

}  // namespace

std::filesystem::path PathFromUtf8(const std::string& utf8) {
#ifdef _WIN32
    const auto wide = Utf8ToUtf16(utf8);
    if (!wide) throw ToolError(utf8 + ": the file name is not valid UTF-8");
    return std::filesystem::path(std::wstring(wide->begin(), wide->end()));
#else
    return std::filesystem::path(utf8);
#endif
}

std::vector<std::uint8_t> ReadWholeFile(const std::string& name) {
    if (name == "-") {
#ifdef _WIN32
        _setmode(_fileno(stdin), _O_BINARY);
#endif
        std::vector<std::uint8_t> bytes;
        std::uint8_t buffer[65536];
        std::size_t got = 0;
        while ((got = std::fread(buffer, 1, sizeof buffer, stdin)) > 0) {
            bytes.insert(bytes.end(), buffer, buffer + got);
        }
        if (std::ferror(stdin)) throw ToolError("standard input: read failed");
        return bytes;
    }
    FilePtr file = OpenForReading(name);
    std::vector<std::uint8_t> bytes;
    std::uint8_t buffer[65536];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    if (std::ferror(file.get())) throw ToolError(name + ": read failed: " + Reason(errno));
    return bytes;
}

std::vector<std::uint8_t> ReadFileStart(const std::string& name, std::size_t count) {
    FilePtr file = OpenForReading(name);
    std::vector<std::uint8_t> bytes(count);
    const std::size_t got = std::fread(bytes.data(), 1, count, file.get());
    if (std::ferror(file.get())) throw ToolError(name + ": read failed: " + Reason(errno));
    bytes.resize(got);
    return bytes;
}

void WriteWholeFile(const std::string& name, std::span<const std::uint8_t> bytes) {
    if (name == "-") {
#ifdef _WIN32
        _setmode(_fileno(stdout), _O_BINARY);
#endif
        std::cout.flush();
        if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() || std::fflush(stdout) != 0) {
            throw ToolError("standard output: write failed");
        }
        return;
    }
    const auto path = PathFromUtf8(name);
    errno = 0;
    FilePtr file = OpenFile(path, true);
    if (!file) throw ToolError(name + ": cannot create: " + Reason(errno));
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
    const int writeError = errno;
    ok = (std::fclose(file.release()) == 0) && ok;
    if (!ok) {
        std::error_code ec;
        std::filesystem::remove(path, ec);
        throw ToolError(name + ": write failed: " + Reason(writeError ? writeError : errno));
    }
}

}  // namespace sorbel::tool
