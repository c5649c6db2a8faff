// File access for the tool. Paths arrive as UTF-8 (the command line is turned
// into UTF-8 on every platform) and are turned into std::filesystem::path from
// wide strings on Windows, so that names outside the ANSI code page work.
// Every failure is a ToolError whose message names the file and the reason.
//
// Reading is bounded: a regular file's size is learnt before anything is read,
// and no input is read past kInputLimit bytes, so a huge file, a device such as
// /dev/zero or an endless pipe is refused early and in bounded memory.
// Writing is all or nothing: a file is written beside its target and renamed
// over it only once it is complete and flushed; standard output is checked
// write by write and at its final flush.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <streambuf>
#include <stdexcept>
#include <string>
#include <vector>

namespace sorbel::tool {

// A failure to report to the user: the message is complete ("FILE: reason").
class ToolError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The most bytes read from any input: a package's size and a document's
// positions are 32-bit signed numbers, so nothing larger can be used.
inline constexpr std::uint64_t kInputLimit = 2147483647;

std::filesystem::path PathFromUtf8(const std::string& utf8);

struct FileCloser {
    void operator()(std::FILE* f) const noexcept;
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// An input opened for reading: a file, or standard input for "-" when
// `dashIsStandardInput`. Directories are refused when opened.
class Input {
public:
    Input(const std::string& name, bool dashIsStandardInput);

    // The file name, or "standard input".
    const std::string& Name() const { return name_; }
    // The size of a regular file, known before anything is read; no value for
    // standard input from a pipe or terminal, a FIFO or a device.
    std::optional<std::uint64_t> KnownSize() const { return size_; }

    // Appends bytes to `bytes` until it holds `target` bytes or the input ends.
    void ReadTo(std::vector<std::uint8_t>& bytes, std::size_t target);
    // Up to `n` bytes into `data`; fewer only at the end of the input.
    std::size_t Read(std::uint8_t* data, std::size_t n);

    // The rest of the input, at most `limit` bytes in all; a longer input is
    // refused (a regular file by its size, before it is read).
    std::vector<std::uint8_t> ReadAll(std::uint64_t limit = kInputLimit);
    // Throws the refusal of an input longer than `limit` bytes.
    [[noreturn]] void TooLarge(std::uint64_t limit) const;

private:
    std::string name_;
    std::FILE* file_ = nullptr;  // standard input or owned_
    FilePtr owned_;
    std::optional<std::uint64_t> size_;
};

// An Input as a stream buffer, for parsers that read as they go: the input
// is read in chunks as the parser asks for them, so a parser that fails early
// stops the reading early. Past `limit` bytes it throws the refusal.
class InputBuffer : public std::streambuf {
public:
    explicit InputBuffer(Input& input, std::uint64_t limit = kInputLimit);

protected:
    int_type underflow() override;

private:
    Input& input_;
    std::uint64_t limit_;
    std::uint64_t total_ = 0;
    char buffer_[65536];
};

// A package's bytes read only as far as the loader needs them to decide:
// `bytes` holds what was read already (from the start of the input). The
// result loads, or is refused, exactly as the whole input would be; it is
// the whole input whenever the input is a package whose size field matches.
std::vector<std::uint8_t> ReadPackage(Input& input, std::vector<std::uint8_t> bytes);

// A file written all or nothing, or standard output for "-".
// A symbolic link is followed and its target replaced; a target that exists
// and is not a regular file (a device, a FIFO, a directory) is refused, so
// nothing ever replaces a device node. The bytes go to a temporary file in
// the target's directory, which Commit flushes and renames over the target;
// until then (and when anything fails) the target keeps its old content.
class Output {
public:
    explicit Output(const std::string& name);
    ~Output();
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    void Write(std::span<const std::uint8_t> bytes);
    void Commit();

private:
    [[noreturn]] void Fail(const std::string& what, int error);
    void Discard() noexcept;

    std::string name_;
    std::filesystem::path target_;
    std::filesystem::path temp_;
    FilePtr file_;
    bool toStandardOutput_ = false;
};

// Writes the bytes to a file ("-": standard output), all or nothing.
void WriteWholeFile(const std::string& name, std::span<const std::uint8_t> bytes);

// Flushes and closes standard output; an empty string when everything that
// was written reached it, otherwise the reason.
std::string FinishStandardOutput();

// Makes sure descriptors 0 to 2 are open, so that a file the tool opens never
// takes the place of a closed standard stream. A closed standard output gets a
// descriptor that refuses writes, so output to it fails instead of vanishing.
void GuardStandardStreams();

}  // namespace sorbel::tool
