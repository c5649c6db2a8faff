// rtf_read_bench: how long the RTF reader takes and how much memory it needs on large
// documents. Generates a document of each size asked for (MB; text with formatting runs,
// lists, bordered tables, footnotes, fields and small pictures, as word processors write it)
// or reads the files named, then prints the input size, the read time and the peak resident
// memory added by reading.
//   rtf_read_bench 5 50          generated 5 MB and 50 MB documents
//   rtf_read_bench file.rtf ...  the files themselves
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "rtf_reader.h"

namespace {

long PeakRssKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

std::string Generate(std::size_t bytes) {
    std::string out =
        "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\froman\\fcharset0 Times New Roman;}"
        "{\\f1\\fswiss\\fcharset0 Arial;}{\\f2\\fnil\\fcharset2 Symbol;}}"
        "{\\colortbl;\\red0\\green0\\blue0;\\red200\\green220\\blue255;}"
        "{\\stylesheet{\\s0\\sa120\\f0\\fs24 Normal;}{\\s1\\sbasedon0\\sb240\\keepn\\b\\f1\\fs32 heading 1;}}"
        "{\\*\\listtable{\\list\\listtemplateid1{\\listlevel\\levelnfc0\\levelstartat1{\\leveltext\\'02\\'00.;}"
        "{\\levelnumbers\\'01;}\\fi-360\\li720}\\listid1}}{\\*\\listoverridetable{\\listoverride\\listid1\\ls1}}"
        "\\paperw12240\\paperh15840\\margl1440\\margr1440\\margt1440\\margb1440\n"
        "{\\header\\pard\\qr Page {\\field{\\*\\fldinst PAGE}{\\fldrslt 1}}\\par}\n";
    std::string picture = "{\\*\\shppict{\\pict\\pngblip\\picw64\\pich64\\picwgoal960\\pichgoal960 ";
    for (int i = 0; i < 1024; ++i) picture += "0123456789abcdef"[i % 16];
    picture += "}}{\\nonshppict{\\pict\\wmetafile8\\picw64\\pich64 0100090000}}";
    for (int n = 0; out.size() < bytes; ++n) {
        out += "\\pard\\plain\\s1\\sb240\\keepn\\b\\f1\\fs32 Chapter " + std::to_string(n) + "\\par\n";
        for (int p = 0; p < 6; ++p) {
            out += "\\pard\\plain\\s0\\sa120\\qj\\f0\\fs24 Lorem ipsum dolor sit amet, {\\b consectetur} adipiscing "
                   "{\\i elit}, sed do eiusmod tempor \\u8220?incididunt\\u8221? ut labore et dolore magna aliqua "
                   "\\'e9t\\'e9. Ut enim ad minim veniam, quis {\\ul nostrud} exercitation ullamco laboris nisi "
                   "ut aliquip ex ea commodo consequat.\\par\n";
        }
        out += "\\pard\\plain\\ls1\\ilvl0\\fi-360\\li720{\\listtext\\f0 1.\\tab}First item{\\super\\chftn}"
               "{\\footnote\\pard\\plain{\\super\\chftn} A note.\\par}\\par\n"
               "\\pard\\plain\\ls1\\ilvl0\\fi-360\\li720{\\listtext\\f0 2.\\tab}Second item with "
               "{\\field{\\*\\fldinst HYPERLINK \"http://example.org/\"}{\\fldrslt {\\ul a link}}}\\par\n";
        for (int r = 0; r < 3; ++r) {
            out += "\\trowd\\trgaph108\\trleft-108";
            for (int c = 1; c <= 4; ++c) {
                out += "\\clbrdrt\\brdrs\\brdrw10\\clbrdrl\\brdrs\\brdrw10\\clbrdrb\\brdrs\\brdrw10"
                       "\\clbrdrr\\brdrs\\brdrw10\\clcbpat2\\cellx" + std::to_string(c * 2160);
            }
            for (int c = 0; c < 4; ++c) out += "\\pard\\plain\\intbl\\f0\\fs20 Cell " + std::to_string(c) + "\\cell";
            out += "\\row\n";
        }
        if (n % 4 == 0) out += "\\pard\\plain\\qc " + picture + "\\par\n";
    }
    out += "}";
    return out;
}

void Measure(const std::string& name, const std::string& rtf) {
    const long before = PeakRssKb();
    const auto start = std::chrono::steady_clock::now();
    auto result = docengine::ReadRtf(rtf);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const long after = PeakRssKb();
    std::size_t blocks = 0;
    for (const auto& section : result.document.sections) blocks += section.body.size();
    std::printf("%-24s %10zu bytes  %7.3f s  %7.1f MB/s  peak RSS +%ld MB (%.1f x input)  status %d  %zu blocks\n",
                name.c_str(), rtf.size(), seconds, rtf.size() / 1e6 / seconds, (after - before) / 1024,
                (after - before) * 1024.0 / static_cast<double>(rtf.size()), static_cast<int>(result.status), blocks);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: rtf_read_bench MB... | file.rtf...\n");
        return 2;
    }
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        char* end = nullptr;
        const double mb = std::strtod(arg.c_str(), &end);
        if (end != arg.c_str() && *end == '\0') {
            Measure("generated " + arg + " MB", Generate(static_cast<std::size_t>(mb * 1e6)));
        } else {
            std::ifstream in(arg, std::ios::binary);
            Measure(arg, std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()));
        }
    }
    return 0;
}
