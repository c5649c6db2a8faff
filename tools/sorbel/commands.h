// The four commands of the `sorbel` tool. Each takes its parsed options and
// the streams to write to, and returns the process exit status:
//   0  done (dump printed, file written, check accepted)
//   1  the input was refused or a file could not be read or written
// Wrong arguments (status 2) are caught earlier, by the command-line parser.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace sorbel::tool {

inline constexpr int kExitOk = 0;
inline constexpr int kExitRefused = 1;
inline constexpr int kExitUsage = 2;

struct DumpOptions {
    std::string file;
};

struct PackOptions {
    std::string json;    // "-" reads standard input
    std::string output;  // "-" writes standard output
    bool force = false;  // write a package that would be refused on load
};

struct CheckOptions {
    std::string file;
};

// Page settings in twips; the defaults are US Letter with one-inch margins.
struct PageSettings {
    std::int32_t width = 12240;
    std::int32_t height = 15840;
    std::int32_t marginLeft = 1440;
    std::int32_t marginRight = 1440;
    std::int32_t marginTop = 1440;
    std::int32_t marginBottom = 1440;
};

struct MkDocOptions {
    std::string rtf;
    std::string output;
    PageSettings page;
    std::string title;
    std::string category;
    std::vector<std::string> props;  // KEY=VALUE, stored after the six page keys
    bool force = false;              // write a document the viewer would refuse
};

int RunDump(const DumpOptions& options, std::ostream& out, std::ostream& err);
int RunPack(const PackOptions& options, std::ostream& out, std::ostream& err);
int RunCheck(const CheckOptions& options, std::ostream& out, std::ostream& err);
int RunMkDoc(const MkDocOptions& options, std::ostream& out, std::ostream& err);

}  // namespace sorbel::tool
