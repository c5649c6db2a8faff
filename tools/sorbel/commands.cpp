// The commands of `sorbel`: dump, pack, check and mkdoc.
//
// Loading follows the viewer's own steps, so that `check` predicts what the
// viewer reports for a file: a document's leading part is examined
// (ReadDocHeader), the package block is read from the 1-based position P + 1
// (ReadBlock), the bytes are assigned to a ckxDataPak (Package let), and the
// text from P + L + 1 on must be rich text. The viewer's open statuses are
// -60, -71, -80 and -72 for failures of those four steps.
#include "commands.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <limits>
#include <sstream>

#include "ckx_data_pak.h"
#include "doc_file.h"
#include "files.h"
#include "package_json.h"
#include "unicode.h"

namespace sorbel::tool {
namespace {

constexpr std::int32_t kViewerHeaderRefused = -60;
constexpr std::int32_t kViewerBlockFailed = -71;
constexpr std::int32_t kViewerPackageRefused = -80;
constexpr std::int32_t kViewerTextUnloadable = -72;

constexpr std::string_view kRtfSignature = "{\\rtf";

// The package JSON nests three levels (object, records, record); anything much
// deeper is not a package and would only cost memory.
constexpr int kMaxJsonDepth = 16;

// The six page keys in the order the viewer applies them.
constexpr const char16_t* kPageKeys[] = {
    u"DocProperty_PageMarginL", u"DocProperty_PageMarginR", u"DocProperty_PageMarginT",
    u"DocProperty_PageMarginB", u"DocProperty_PageHeight",  u"DocProperty_PageWidth",
};

std::string DocStatusText(std::int32_t status) {
    switch (status) {
        case docfile::kDocOk: return "kDocOk (0)";
        case docfile::kDocMissing: return "kDocMissing (1): nothing at the path";
        case docfile::kDocUnreadable:
            return "kDocUnreadable (2): not a regular file that can be read (a folder, FIFO or device, or no access)";
        case docfile::kDocNotDocument:
            return "kDocNotDocument (3): too short for the leading part, or the signature is wrong";
        case docfile::kDocUnsupportedVersion:
            return "kDocUnsupportedVersion (4): the format version is not one this reader knows";
        case docfile::kDocPackageOutside:
            return "kDocPackageOutside (5): the package offset or length is negative or runs past the end of the file";
        default: return "unknown document status (" + std::to_string(status) + ")";
    }
}

std::string BlockStatusText(std::int32_t status) {
    switch (status) {
        case docfile::kBlockOk: return "kBlockOk (0)";
        case docfile::kBlockMissing: return "kBlockMissing (1): no file at the path";
        case docfile::kBlockUnreadable: return "kBlockUnreadable (2): open or read failed";
        case docfile::kBlockOutside: return "kBlockOutside (3): the block is not wholly inside the file";
        default: return "unknown block status (" + std::to_string(status) + ")";
    }
}

std::string ErrorNumberText(std::int32_t value) {
    std::string name(ErrorNumberName(value));
    if (name.empty()) name = "unknown error number";
    return name + " (" + std::to_string(value) + ")";
}

std::string ViewerSuffix(std::int32_t viewerStatus) {
    return "; the viewer reports " + std::to_string(viewerStatus);
}

// What a file turned out to be after the viewer's loading steps.
struct Source {
    bool isDocument = false;
    docfile::DocHeader header;
    Bytes package;
    std::string refusal;  // empty when the package was loaded
};

// A file is read as a document when its name ends in .orl or when it carries
// the document signature: a document whose leading part is damaged must be
// refused as the viewer refuses it (-60), not read as a package.
bool HasDocumentName(const std::string& name) {
    std::string extension = name.size() >= 4 ? name.substr(name.size() - 4) : std::string();
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension == ".orl";
}

bool HasDocumentSignature(const Bytes& start) {
    return start.size() == sizeof docfile::kSignature &&
           std::equal(start.begin(), start.end(), std::begin(docfile::kSignature));
}

// Loads the package of a package file or of a document into `pak`.
// Files that cannot be read at all throw ToolError; refusals are in `refusal`.
// A document is read by the viewer's own readers, which open regular files
// only. Any other file is opened once: its first bytes tell a document from a
// package, and a package is read on only as far as its header allows.
Source LoadSource(const std::string& name, ckxDataPak& pak) {
    Source source;
    source.isDocument = HasDocumentName(name);
    if (!source.isDocument) {
        Input input(name, false);
        Bytes start;
        input.ReadTo(start, sizeof docfile::kSignature);
        source.isDocument = HasDocumentSignature(start);
        if (!source.isDocument) {
            source.package = ReadPackage(input, std::move(start));
            pak.Package(source.package);
            if (pak.ErrorNumber() != ckxDataPak_errNoError) {
                source.refusal = "package refused: " + ErrorNumberText(pak.ErrorNumber());
            }
            return source;
        }
    }
    const auto path = PathFromUtf8(name);
    source.header = docfile::ReadDocHeader(path);
    if (source.header.status != docfile::kDocOk) {
        source.refusal = "document refused: " + DocStatusText(source.header.status) +
                         ViewerSuffix(kViewerHeaderRefused);
        return source;
    }
    const std::int32_t offset = source.header.packageOffset;
    if (offset == std::numeric_limits<std::int32_t>::max()) {
        source.refusal = "the package offset " + std::to_string(offset) + " has no 32-bit position" +
                         ViewerSuffix(kViewerBlockFailed);
        return source;
    }
    const std::int32_t blockStatus =
        docfile::ReadBlock(path, offset + 1, source.header.packageLength, source.package);
    if (blockStatus != docfile::kBlockOk) {
        source.refusal = "package block unreadable: " + BlockStatusText(blockStatus) +
                         ViewerSuffix(kViewerBlockFailed);
        return source;
    }
    pak.Package(source.package);
    if (pak.ErrorNumber() != ckxDataPak_errNoError) {
        source.refusal = "package refused: " + ErrorNumberText(pak.ErrorNumber()) +
                         ViewerSuffix(kViewerPackageRefused);
    }
    return source;
}

std::int64_t TextOffset(const docfile::DocHeader& header) {
    return std::int64_t{header.packageOffset} + header.packageLength;
}

// Why the viewer's text view would not load the document's text, or empty.
std::string TextRefusal(const std::string& name, const docfile::DocHeader& header) {
    const std::int64_t offset = TextOffset(header);
    const std::int64_t length = header.fileSize - offset;
    if (length <= 0) return "the text part is empty" + ViewerSuffix(kViewerTextUnloadable);
    if (offset + 1 > std::numeric_limits<std::int32_t>::max()) {
        return "the text starts beyond the 32-bit position range" + ViewerSuffix(kViewerTextUnloadable);
    }
    Bytes start;
    const auto want = static_cast<std::int32_t>(std::min<std::int64_t>(length, kRtfSignature.size()));
    const std::int32_t status =
        docfile::ReadBlock(PathFromUtf8(name), static_cast<std::int32_t>(offset + 1), want, start);
    if (status != docfile::kBlockOk) {
        return "the text part cannot be read: " + BlockStatusText(status) + ViewerSuffix(kViewerTextUnloadable);
    }
    if (!std::equal(start.begin(), start.end(), kRtfSignature.begin(), kRtfSignature.end())) {
        return "the text part is not rich text (it does not start with {\\rtf)" +
               ViewerSuffix(kViewerTextUnloadable);
    }
    return {};
}

std::string Plural(std::int64_t n, const char* word) {
    return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

// The package of `pak`, after making sure it loads back; a package that would
// be refused is written only with `force` (and a warning).
Bytes CheckedPackage(const ckxDataPak& pak, const std::string& name, bool force, std::ostream& err) {
    Bytes package = pak.Package();
    ckxDataPak probe;
    probe.Package(package);
    if (probe.ErrorNumber() != ckxDataPak_errNoError) {
        const std::string why = "the package would be refused on load: " + ErrorNumberText(probe.ErrorNumber()) +
                                " (title, category and keys must be printable ASCII)";
        if (!force) throw ToolError(name + ": " + why + "; use --force to write it anyway");
        err << name << ": warning: " << why << "\n";
    }
    return package;
}

std::u16string ArgumentText(const std::string& utf8, const std::string& what) {
    auto text = Utf8ToUtf16(utf8);
    if (!text) throw ToolError(what + " is not valid UTF-8");
    return *std::move(text);
}

// Writes a document (leading part, package, then the text: `textStart` and the
// rest of `text`), all or nothing. The text is copied in chunks and refused
// past kInputLimit bytes, so its size never matters to memory.
void WriteDocumentFrom(const std::string& name, const Bytes& package, const Bytes& textStart, Input& text) {
    if (package.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
        throw ToolError(name + ": the package is too large for a document");
    }
    Bytes lead;
    try {
        lead = docfile::MakeLeadingPart(static_cast<std::int32_t>(package.size()));
    } catch (const std::length_error& e) {
        throw ToolError(name + ": " + e.what());
    }
    Output output(name);
    output.Write(lead);
    output.Write(package);
    output.Write(textStart);
    std::uint64_t total = textStart.size();
    Bytes chunk(65536);
    for (;;) {
        const std::size_t got = text.Read(chunk.data(), chunk.size());
        total += got;
        if (total > kInputLimit) text.TooLarge(kInputLimit);
        output.Write(std::span(chunk.data(), got));
        if (got < chunk.size()) break;
    }
    output.Commit();
}

// Flushes what a command printed and passes its status on; output that did
// not reach its destination in full is a failure of the command.
int Printed(std::ostream& out, int status) {
    out.flush();
    if (!out) {
        const int error = errno;
        throw ToolError("standard output: write failed" + (error != 0 ? ": " + std::string(std::strerror(error)) : ""));
    }
    return status;
}

int Report(const ToolError& e, std::ostream& err) {
    err << "sorbel: " << e.what() << "\n";
    return kExitRefused;
}

}  // namespace

int RunDump(const DumpOptions& options, std::ostream& out, std::ostream& err) {
    try {
        ckxDataPak pak;
        const Source source = LoadSource(options.file, pak);
        if (!source.refusal.empty()) throw ToolError(options.file + ": " + source.refusal);
        Json json;
        if (source.isDocument) {
            const auto& h = source.header;
            json["document"] = {
                {"version", h.version},
                {"package_offset", h.packageOffset},
                {"package_length", h.packageLength},
                {"text_offset", TextOffset(h)},
                {"text_length", h.fileSize - TextOffset(h)},
            };
        }
        const Json contents = PackageToJson(pak);
        for (const auto& [key, value] : contents.items()) json[key] = value;
        if (pak.Package() != source.package) {
            err << "sorbel: " << options.file << ": warning: the package holds bytes that the loader ignores "
                << "(after the last record); pack will not reproduce them\n";
        }
        out << json.dump(2) << "\n";
        return Printed(out, kExitOk);
    } catch (const ToolError& e) {
        return Report(e, err);
    }
}

int RunPack(const PackOptions& options, std::ostream&, std::ostream& err) {
    try {
        Input input(options.json, true);
        const std::string& inputName = input.Name();
        Json json;
        try {
            // Parsed as it is read, so input that is not JSON stops the reading at once.
            InputBuffer buffer(input);
            std::istream stream(&buffer);
            json = Json::parse(stream, [&](int depth, Json::parse_event_t, Json&) {
                if (depth > kMaxJsonDepth) {
                    throw ToolError(inputName + ": not valid package JSON: nested deeper than " +
                                    std::to_string(kMaxJsonDepth) + " levels");
                }
                return true;
            });
        } catch (const Json::exception& e) {
            // Syntax errors and numbers beyond the range of a double alike.
            throw ToolError(inputName + ": not valid JSON: " + e.what());
        }
        ckxDataPak pak;
        try {
            PackageFromJson(json, pak);
        } catch (const JsonInputError& e) {
            throw ToolError(inputName + ": " + e.what());
        }
        const std::string outputName = options.output == "-" ? "standard output" : options.output;
        const Bytes package = CheckedPackage(pak, outputName, options.force, err);
        WriteWholeFile(options.output, package);
        return kExitOk;
    } catch (const ToolError& e) {
        return Report(e, err);
    }
}

int RunCheck(const CheckOptions& options, std::ostream& out, std::ostream& err) {
    try {
        ckxDataPak pak;
        const Source source = LoadSource(options.file, pak);
        if (!source.refusal.empty()) {
            out << options.file << ": " << source.refusal << "\n";
            return Printed(out, kExitRefused);
        }
        if (!source.isDocument) {
            out << options.file << ": OK: package of " << Plural(static_cast<std::int64_t>(source.package.size()), "byte")
                << ", " << Plural(pak.Count(), "record") << "\n";
            return Printed(out, kExitOk);
        }
        const std::string textRefusal = TextRefusal(options.file, source.header);
        if (!textRefusal.empty()) {
            out << options.file << ": " << textRefusal << "\n";
            return Printed(out, kExitRefused);
        }
        const auto& h = source.header;
        out << options.file << ": OK: document version " << h.version << ", package of "
            << Plural(h.packageLength, "byte") << " at offset " << h.packageOffset << " with "
            << Plural(pak.Count(), "record") << ", text of " << Plural(h.fileSize - TextOffset(h), "byte")
            << "\n";
        return Printed(out, kExitOk);
    } catch (const ToolError& e) {
        return Report(e, err);
    }
}

int RunMkDoc(const MkDocOptions& options, std::ostream&, std::ostream& err) {
    // Argument mistakes first: they are usage errors, not refusals.
    const PageSettings& page = options.page;
    std::vector<std::pair<std::u16string, std::u16string>> extra;
    try {
        for (const std::string& prop : options.props) {
            const auto eq = prop.find('=');
            if (eq == std::string::npos || eq == 0) {
                throw ToolError("--prop \"" + prop + "\" is not KEY=VALUE");
            }
            auto key = ArgumentText(prop.substr(0, eq), "--prop key");
            for (const char16_t* pageKey : kPageKeys) {
                if (key == pageKey) {
                    throw ToolError("--prop " + prop.substr(0, eq) +
                                    ": page settings are given with --page-width, --page-height and --margin-*");
                }
            }
            for (const auto& [seen, value] : extra) {
                if (seen == key) throw ToolError("--prop " + prop.substr(0, eq) + " is given twice");
            }
            extra.emplace_back(std::move(key), ArgumentText(prop.substr(eq + 1), "--prop value"));
        }
        if (!options.force && page.marginLeft + std::int64_t{page.marginRight} >= page.width) {
            throw ToolError("the left and right margins leave no room on a page " + std::to_string(page.width) +
                            " twips wide (use --force to write it anyway)");
        }
        if (!options.force && page.marginTop + std::int64_t{page.marginBottom} >= page.height) {
            throw ToolError("the top and bottom margins leave no room on a page " + std::to_string(page.height) +
                            " twips high (use --force to write it anyway)");
        }
    } catch (const ToolError& e) {
        err << "sorbel mkdoc: " << e.what() << "\n";
        return kExitUsage;
    }

    try {
        // Only the text's first bytes are read before the document is written;
        // the rest is copied from the input straight into the document.
        Input rtfInput(options.rtf, true);
        if (rtfInput.KnownSize() && *rtfInput.KnownSize() > kInputLimit) rtfInput.TooLarge(kInputLimit);
        Bytes rtfStart;
        rtfInput.ReadTo(rtfStart, kRtfSignature.size());
        const bool isRtf = rtfStart.size() == kRtfSignature.size() &&
                           std::equal(kRtfSignature.begin(), kRtfSignature.end(), rtfStart.begin());
        if (!isRtf) {
            const std::string why =
                rtfStart.empty() ? "the file is empty" : "the file does not start with {\\rtf";
            if (!options.force) {
                throw ToolError(rtfInput.Name() + ": " + why +
                                ", so the viewer could not load it (use --force to write it anyway)");
            }
            err << "sorbel: " << rtfInput.Name() << ": warning: " << why
                << "; the viewer will refuse the document\n";
        }

        ckxDataPak pak;
        const std::u16string title = ArgumentText(options.title, "--title");
        const std::u16string category = ArgumentText(options.category, "--category");
        if (title.size() > kMaxTextLength) throw ToolError("--title: at most 255 characters fit in a package");
        if (category.size() > kMaxTextLength) throw ToolError("--category: at most 255 characters fit in a package");
        if (!EncodeExactly(pak.Encoding(), title) || !EncodeExactly(pak.Encoding(), category)) {
            throw ToolError("--title/--category: a character that the package text encoding (Windows-1252) cannot hold");
        }
        pak.Category(category);
        pak.Title(title);
        const std::int32_t values[] = {page.marginLeft, page.marginRight, page.marginTop,
                                       page.marginBottom, page.height,    page.width};
        for (std::size_t i = 0; i < std::size(kPageKeys); ++i) {
            const std::string decimal = std::to_string(values[i]);
            pak.Append(kPageKeys[i], std::u16string(decimal.begin(), decimal.end()));
        }
        for (const auto& [key, value] : extra) {
            if (!EncodeExactly(pak.Encoding(), key) || !EncodeExactly(pak.Encoding(), value)) {
                throw ToolError("--prop " + Utf16ToUtf8(key) +
                                ": a character that the package text encoding (Windows-1252) cannot hold");
            }
            pak.Append(key, value);
            if (pak.ErrorNumber() != ckxDataPak_errNoError) {
                throw ToolError("--prop " + Utf16ToUtf8(key) + ": refused by the container: " +
                                ErrorNumberText(pak.ErrorNumber()));
            }
        }
        const Bytes package = CheckedPackage(pak, options.output, options.force, err);
        WriteDocumentFrom(options.output, package, rtfStart, rtfInput);
        return kExitOk;
    } catch (const ToolError& e) {
        return Report(e, err);
    }
}

}  // namespace sorbel::tool
