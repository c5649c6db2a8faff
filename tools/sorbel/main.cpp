// Entry point of `sorbel`, the command-line tool for packages and documents.
// The command line is parsed with CLI11 into the option structs of commands.h.
// On Windows the arguments are taken as wide strings and turned into UTF-8, so
// that file names outside the ANSI code page reach the commands intact.
#include <cstdlib>
#include <iostream>
#include <limits>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "commands.h"
#include "files.h"
#include "unicode.h"

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

namespace {

using namespace sorbel::tool;

std::vector<std::string> Arguments(int argc, char** argv) {
#ifdef _WIN32
    (void)argc;
    (void)argv;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> args;
    for (int i = 0; i < count; ++i) {
        const std::wstring arg(wide[i]);
        args.push_back(Utf16ToUtf8(std::u16string(arg.begin(), arg.end())));
    }
    LocalFree(wide);
    // Messages and JSON are UTF-8; the console's own code page is put back on exit,
    // since it belongs to the console window, not to this process.
    static const UINT previousCodePage = GetConsoleOutputCP();
    if (previousCodePage != 0 && SetConsoleOutputCP(CP_UTF8)) {
        std::atexit([] { SetConsoleOutputCP(previousCodePage); });
    }
    return args;
#else
    return std::vector<std::string>(argv, argv + argc);
#endif
}

const char* const kDescription =
    "sorbel: inspect, build and check Sorbel packages and .orl documents.\n"
    "Exit status: 0 done, 1 the input was refused or a file failed, 2 wrong arguments.";

// A fault that no command turns into a refusal (out of memory, a failure
// inside a library): one message naming the input, and exit status 1.
int ReportFault(const std::string& input, const char* what) {
    std::cerr << "sorbel: " << (input.empty() ? std::string() : input + ": ") << what << "\n";
    return kExitRefused;
}

}  // namespace

int main(int argc, char** argv) {
    GuardStandardStreams();
    CLI::App app(kDescription, "sorbel");
    app.require_subcommand(1);

    DumpOptions dump;
    auto* dumpCmd = app.add_subcommand("dump", "Print a package, or the package of an .orl document, as JSON");
    dumpCmd->footer(
        "Each record has \"hex\" (lower-case) and, when every data byte is printable ASCII, \"text\".\n"
        "A document also gets a \"document\" object: version, package_offset, package_length,\n"
        "text_offset and text_length.");
    dumpCmd->add_option("FILE", dump.file, "package or .orl document (a document by its signature or its .orl name)")
        ->required();

    PackOptions pack;
    auto* packCmd = app.add_subcommand("pack", "Build a package from the JSON that dump prints");
    packCmd->footer(
        "A record gives its data as \"hex\" or \"text\" (encoded in Windows-1252). When both are\n"
        "present, \"hex\" is the data and \"text\" must encode to the same bytes, else it is an error.\n"
        "Title, category and keys must be printable ASCII for the package to load.");
    packCmd->add_option("JSON", pack.json, "JSON file, or - for standard input")->required();
    packCmd->add_option("-o,--output", pack.output, "package file to write, or - for standard output")
        ->required();
    packCmd->add_flag("--force", pack.force, "write the package even when it would be refused on load");

    CheckOptions check;
    auto* checkCmd = app.add_subcommand("check", "Say whether a package or document loads, as the viewer would");
    checkCmd->footer(
        "A refusal is printed by name and number and exits 1. For a document the status the viewer\n"
        "reports is added: -60 leading part, -71 package block, -80 package, -72 text.");
    checkCmd->add_option("FILE", check.file, "package or .orl document")->required();

    MkDocOptions mkdoc;
    // Page values are stored as 32-bit twips: say so when one is out of range, rather than
    // quoting the largest double.
    const CLI::Range kTwips(0, std::numeric_limits<std::int32_t>::max(), "TWIPS");
    auto* mkdocCmd = app.add_subcommand("mkdoc", "Write an .orl document from a rich-text file");
    mkdocCmd->footer(
        "The package holds the six DocProperty_ page settings as decimal twips, then the --prop\n"
        "records, and the title. Defaults: US Letter (12240 x 15840) with one-inch (1440) margins.");
    mkdocCmd->add_option("--rtf", mkdoc.rtf, "rich-text file, or - for standard input; must start with {\\rtf")->required();
    mkdocCmd->add_option("-o,--output", mkdoc.output, "document file to write, or - for standard output")->required();
    mkdocCmd->add_option("--page-width", mkdoc.page.width, "page width in twips")
        ->check(kTwips)->capture_default_str();
    mkdocCmd->add_option("--page-height", mkdoc.page.height, "page height in twips")
        ->check(kTwips)->capture_default_str();
    mkdocCmd->add_option("--margin-left", mkdoc.page.marginLeft, "left margin in twips")
        ->check(kTwips)->capture_default_str();
    mkdocCmd->add_option("--margin-right", mkdoc.page.marginRight, "right margin in twips")
        ->check(kTwips)->capture_default_str();
    mkdocCmd->add_option("--margin-top", mkdoc.page.marginTop, "top margin in twips")
        ->check(kTwips)->capture_default_str();
    mkdocCmd->add_option("--margin-bottom", mkdoc.page.marginBottom, "bottom margin in twips")
        ->check(kTwips)->capture_default_str();
    mkdocCmd->add_option("--title", mkdoc.title, "package title (printable ASCII)");
    mkdocCmd->add_option("--category", mkdoc.category, "package category (printable ASCII)");
    mkdocCmd->add_option("--prop", mkdoc.props, "extra property KEY=VALUE, stored after the page keys; repeatable");
    mkdocCmd->add_flag("--force",
                       mkdoc.force,
                       "write the document even when the viewer would refuse it (text not rich text, "
                       "package that does not load, margins wider than the page)");

    std::vector<std::string> args = Arguments(argc, argv);
    std::vector<char*> pointers;
    for (std::string& arg : args) pointers.push_back(arg.data());
    try {
        app.parse(static_cast<int>(pointers.size()), pointers.data());
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::cerr << "sorbel: " << e.what() << "\n\n";
        const auto selected = app.get_subcommands();
        std::cerr << (selected.empty() ? app.help() : selected.front()->help());
        return kExitUsage;
    }

    // The input a fault message names.
    std::string input;
    if (dumpCmd->parsed()) input = dump.file;
    if (packCmd->parsed()) input = pack.json == "-" ? "standard input" : pack.json;
    if (checkCmd->parsed()) input = check.file;
    if (mkdocCmd->parsed()) input = mkdoc.rtf == "-" ? "standard input" : mkdoc.rtf;

    int status = kExitUsage;
    try {
        if (dumpCmd->parsed()) status = RunDump(dump, std::cout, std::cerr);
        if (packCmd->parsed()) status = RunPack(pack, std::cout, std::cerr);
        if (checkCmd->parsed()) status = RunCheck(check, std::cout, std::cerr);
        if (mkdocCmd->parsed()) status = RunMkDoc(mkdoc, std::cout, std::cerr);
    } catch (const std::bad_alloc&) {
        status = ReportFault(input, "out of memory");
    } catch (const std::exception& e) {
        status = ReportFault(input, e.what());
    } catch (...) {
        status = ReportFault(input, "unexpected failure");
    }
    // Whatever was printed must have reached standard output in full. A
    // command that failed has already said why; its output is no news.
    const std::string outputError = FinishStandardOutput();
    if (!outputError.empty() && status == kExitOk) {
        std::cerr << "sorbel: " << outputError << "\n";
        status = kExitRefused;
    }
    return status;
}
