// libFuzzer target for the RTF reader (ReadRtf) and the page layout of what it reads.
//
// Every input must give a status, never a crash, a hang or unbounded memory. The document that
// comes back is walked whole, checking the invariants the layout relies on: note references
// and links point into their tables, pictures have data. It is then laid out (fixed metrics,
// a small page, so that real structure such as columns, tables and notes meets page breaks),
// and every text item's offset must show its text in the layout's plain text. Any violation
// aborts, so libFuzzer records the input. The model budget is kept low so that inputs which
// inflate the model are refused quickly.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "metafile_clean.h"
#include "page_layout.h"
#include "rtf_reader.h"

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "fuzz_rtf: %s\n", what);
    std::abort();
}

void Walk(const docengine::Document& doc, const docengine::Blocks& blocks, int depth) {
    if (depth > 64) Fail("tables nested beyond the limit");
    for (const auto& block : blocks) {
        if (const auto* p = std::get_if<docengine::Paragraph>(&block.value)) {
            for (const auto& item : p->content) {
                if (item.kind == docengine::Inline::Kind::NoteRef &&
                    (item.note < 0 || static_cast<std::size_t>(item.note) >= doc.notes.size())) {
                    Fail("note reference outside the notes");
                }
                if (item.kind == docengine::Inline::Kind::Ruby &&
                    (item.note < 0 || static_cast<std::size_t>(item.note) >= doc.rubies.size())) {
                    Fail("ruby outside the readings");
                }
                if (item.format.link >= 0 && static_cast<std::size_t>(item.format.link) >= doc.links.size()) {
                    Fail("link outside the links");
                }
                if (item.format.font >= 0 && static_cast<std::size_t>(item.format.font) >= doc.fonts.size()) {
                    Fail("font outside the font table");
                }
                if (item.kind == docengine::Inline::Kind::Picture) {
                    if (!item.picture || !item.picture->data) Fail("picture without data");
                    const auto kind = item.picture->kind;
                    const bool metafile = kind == docengine::Picture::Kind::Emf || kind == docengine::Picture::Kind::Wmf;
                    if (item.picture->data->empty() && !metafile) Fail("picture without data");
                    if (metafile && !item.picture->data->empty()) {
                        // what the player gets is already clean: cleaning it again changes nothing
                        std::vector<std::uint8_t> again = *item.picture->data;
                        if (kind == docengine::Picture::Kind::Emf) docengine::CleanEmf(again);
                        else docengine::CleanWmf(again);
                        if (again != *item.picture->data) Fail("metafile not clean");
                    }
                    const auto size = item.picture->DisplaySize();
                    if (size.width < 0 || size.height < 0 || size.width > docengine::Picture::kMaxPictureTwips ||
                        size.height > docengine::Picture::kMaxPictureTwips)
                        Fail("picture size out of range");
                }
            }
        } else {
            for (const auto& row : std::get<docengine::Table>(block.value).rows) {
                if (row.cells.empty()) Fail("row without cells");
                for (const auto& cell : row.cells) Walk(doc, cell.content, depth + 1);
            }
        }
    }
}

// Every character is half its size wide; ascent 0.8 em, descent 0.2 em.
class FixedMetrics : public docengine::FontMetrics {
public:
    docengine::VerticalMetrics Metrics(const docengine::FontSpec& f) override {
        return {f.sizeTwips * 4 / 5, f.sizeTwips / 5};
    }
    void Advances(const docengine::FontSpec& f, std::u16string_view text, std::vector<int>& out) override {
        out.insert(out.end(), text.size(), f.sizeTwips / 2);
    }
};

void CheckLayout(const docengine::Document& doc) {
    FixedMetrics metrics;
    docengine::PageSetup setup;
    setup.width = 6000;
    setup.height = 5000;
    setup.marginLeft = setup.marginRight = setup.marginTop = setup.marginBottom = 720;
    const docengine::Layout layout = docengine::LayOut(doc, setup, metrics);
    if (layout.pages.empty()) Fail("a layout without pages");
    for (const auto& page : layout.pages) {
        for (const auto& t : page.texts) {
            if (t.textOffset == docengine::kNoTextOffset) continue;
            if (t.textOffset > layout.plainText.size() || t.text.size() > layout.plainText.size() - t.textOffset ||
                layout.plainText.compare(t.textOffset, t.text.size(), t.text) != 0)
                Fail("a text item that is not its plain text");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    docengine::ReadLimits limits;
    limits.modelBytesBase = std::size_t{1} << 20;
    limits.modelBytesPerInputByte = 64;
    limits.maxPictureBytes = std::size_t{1} << 20;
    const auto result = docengine::ReadRtf(std::string_view(reinterpret_cast<const char*>(data), size), limits);
    if (result.ok() != result.message.empty()) Fail("message does not match the status");
    const auto& doc = result.document;
    if (result.status != docengine::ReadStatus::NotRtf && doc.sections.empty()) Fail("no section");
    if (doc.defaultFont >= static_cast<int>(doc.fonts.size())) Fail("default font outside the font table");
    for (const auto& section : doc.sections) {
        Walk(doc, section.body, 0);
        for (const auto* hf : {&section.headers, &section.footers}) {
            Walk(doc, hf->both, 0);
            Walk(doc, hf->left, 0);
            Walk(doc, hf->right, 0);
            Walk(doc, hf->first, 0);
        }
    }
    for (const auto& note : doc.notes) Walk(doc, note.content, 0);
    if (result.status != docengine::ReadStatus::NotRtf) CheckLayout(doc);
    return 0;
}
