// File access for the tool. Paths arrive as UTF-8 (the command line is turned
// into UTF-8 on every platform) and are turned into std::filesystem::path from
// wide strings on Windows, so that names outside the ANSI code page work.
// Every failure is a ToolError whose message names the file and the reason.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace sorbel::tool {

// A failure to report to the user: the message is complete ("FILE: reason").
class ToolError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::filesystem::path PathFromUtf8(const std::string& utf8);

// The whole file; "-" reads standard input.
std::vector<std::uint8_t> ReadWholeFile(const std::string& name);

// Writes the bytes to a file ("-": standard output). A failed write removes
// the partly written file.
void WriteWholeFile(const std::string& name, std::span<const std::uint8_t> bytes);

// Up to `count` bytes from the start of the file (fewer when it is shorter).
std::vector<std::uint8_t> ReadFileStart(const std::string& name, std::size_t count);

}  // namespace sorbel::tool
