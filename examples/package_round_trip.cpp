// Builds a record list, writes its package to a file, reads the file into a
// second object and prints what that object holds.
// Usage: package_round_trip FILE
#include <sorbel/ckx_data_pak.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

namespace {

// The example's texts are ASCII, so each UTF-16 unit is one character.
std::string Narrow(const std::u16string& text) { return {text.begin(), text.end()}; }

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: package_round_trip FILE\n");
        return 2;
    }
    sorbel::ckxDataPak written;
    written.Title(u"Example");
    written.Category(u"demo");
    written.Append(u"name", u"Sorbel");
    const std::uint8_t bytes[] = {0x00, 0x01, 0x02, 0xFF};
    written.AppendB(u"bytes", bytes);
    written.Append(u"empty", u"");
    const sorbel::Bytes package = written.Package();
    std::ofstream(argv[1], std::ios::binary)
        .write(reinterpret_cast<const char*>(package.data()), static_cast<std::streamsize>(package.size()));

    std::ifstream in(argv[1], std::ios::binary);
    const sorbel::Bytes loaded{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    sorbel::ckxDataPak read;
    read.Package(loaded);
    if (read.ErrorNumber() != sorbel::ckxDataPak_errNoError) {
        std::fprintf(stderr, "package refused: %d\n", static_cast<int>(read.ErrorNumber()));
        return 1;
    }
    std::printf("%s (%s): %d records, %zu bytes\n", Narrow(read.Title()).c_str(),
                Narrow(read.Category()).c_str(), static_cast<int>(read.Count()), loaded.size());
    for (const sorbel::PakRecord& record : read.Records()) {
        std::printf("%s:", Narrow(record.Key).c_str());
        for (std::uint8_t b : record.Data) std::printf(" %02x", b);
        std::printf("\n");
    }
    return 0;
}
