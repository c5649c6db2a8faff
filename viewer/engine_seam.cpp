// The view's calls into the document engine: see engine_seam.h. This file holds the small
// stand-in reader and paginator that the engine's own replace.
#include "engine_seam.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace viewer::engine {

namespace {

using namespace docengine;

constexpr int kMaxDepth = 1000;

struct ReaderState {
    CharFormat format;
    int skip = 0;       // inside a destination whose text is not shown
    bool fontTable = false;
    int uc = 1;
};

bool IsSkippedDestination(std::string_view word) {
    static constexpr std::string_view kSkipped[] = {
        "colortbl", "stylesheet", "info", "pict", "object", "header", "footer", "headerl", "headerr", "headerf",
        "footerl", "footerr", "footerf", "fldinst", "themedata", "colorschememapping", "datastore", "xmlnstbl",
        "listtable", "listoverridetable", "rsidtbl", "generator", "latentstyles", "footnote", "pntext",
        "pntxtb", "pntxta", "filetbl", "revtbl", "nonshppict", "shp", "txe", "mmathPr", "fchars", "lchars"};
    return std::find(std::begin(kSkipped), std::end(kSkipped), word) != std::end(kSkipped);
}

class Reader {
public:
    explicit Reader(std::string_view rtf) : in_(rtf) {}

    std::optional<Document> Read() {
        if (in_.substr(0, 5) != "{\\rtf") return std::nullopt;
        document_.sections.emplace_back();
        std::vector<ReaderState> stack;
        ReaderState state;
        std::string fontName;
        int fontIndex = -1;
        std::size_t pendingSkip = 0;  // characters still to skip after \uN
        std::size_t i = 0;
        while (i < in_.size()) {
            const char c = in_[i];
            if (c == '{') {
                if (stack.size() >= kMaxDepth) return std::nullopt;
                stack.push_back(state);
                ++i;
                continue;
            }
            if (c == '}') {
                if (stack.empty()) break;
                if (state.fontTable && !stack.back().fontTable) fontIndex = -1;
                state = stack.back();
                stack.pop_back();
                ++i;
                if (stack.empty()) break;
                continue;
            }
            if (c == '\r' || c == '\n') {
                ++i;
                continue;
            }
            if (c != '\\') {
                if (pendingSkip > 0) --pendingSkip;
                else Put(state, fontName, fontIndex, static_cast<unsigned char>(c), 1252);
                ++i;
                continue;
            }
            // A control word or symbol.
            ++i;
            if (i >= in_.size()) break;
            const char s = in_[i];
            if (!std::isalpha(static_cast<unsigned char>(s))) {
                ++i;
                if (s == '\'') {
                    if (i + 2 > in_.size()) break;
                    const int value = std::strtol(std::string(in_.substr(i, 2)).c_str(), nullptr, 16);
                    i += 2;
                    if (pendingSkip > 0) --pendingSkip;
                    else Put(state, fontName, fontIndex, static_cast<unsigned char>(value), 1252);
                } else if (s == '*') {
                    state.skip = 1;
                } else if (s == '~') {
                    Text(state, u"\u00A0");
                } else if (s == '_') {
                    Text(state, u"\u2011");
                } else if (s == '\\' || s == '{' || s == '}') {
                    Put(state, fontName, fontIndex, static_cast<unsigned char>(s), 1252);
                } else if (s == '\r' || s == '\n') {
                    EndParagraph(state, false);
                }
                continue;
            }
            std::size_t start = i;
            while (i < in_.size() && std::isalpha(static_cast<unsigned char>(in_[i])) && i - start < 32) ++i;
            const std::string_view word = in_.substr(start, i - start);
            bool hasValue = false;
            long value = 0;
            bool negative = false;
            if (i < in_.size() && in_[i] == '-') {
                negative = true;
                ++i;
            }
            std::size_t digits = 0;
            while (i < in_.size() && std::isdigit(static_cast<unsigned char>(in_[i])) && digits < 10) {
                value = value * 10 + (in_[i] - '0');
                ++i;
                ++digits;
                hasValue = true;
            }
            if (negative) value = -value;
            if (i < in_.size() && in_[i] == ' ') ++i;
            if (word == "bin" && hasValue) {
                i += std::min<std::size_t>(static_cast<std::size_t>(std::max(value, 0L)), in_.size() - i);
                continue;
            }
            if (state.skip) continue;
            if (word == "fonttbl") {
                state.fontTable = true;
            } else if (IsSkippedDestination(word)) {
                state.skip = 1;
            } else if (state.fontTable) {
                if (word == "f" && hasValue) {
                    fontIndex = static_cast<int>(document_.fonts.size());
                    fontNumbers_.push_back(value);
                    document_.fonts.emplace_back();
                    document_.fonts.back().name.clear();
                } else if (fontIndex >= 0) {
                    Font& font = document_.fonts[fontIndex];
                    if (word == "froman") font.family = Font::Family::Roman;
                    else if (word == "fswiss") font.family = Font::Family::Swiss;
                    else if (word == "fmodern") font.family = Font::Family::Modern;
                    else if (word == "fcharset") font.charset = static_cast<int>(value);
                    else if (word == "fprq") font.pitch = static_cast<int>(value);
                }
            } else if (word == "par" || word == "sect") {
                EndParagraph(state, false);
            } else if (word == "page") {
                EndParagraph(state, true);
            } else if (word == "row") {
                EndParagraph(state, false);
            } else if (word == "cell") {
                Add(Inline::Kind::Tab, state);
            } else if (word == "tab") {
                Add(Inline::Kind::Tab, state);
            } else if (word == "line") {
                Add(Inline::Kind::LineBreak, state);
            } else if (word == "u" && hasValue) {
                const long unit = value < 0 ? value + 65536 : value;
                Text(state, std::u16string(1, static_cast<char16_t>(unit)));
                pendingSkip = static_cast<std::size_t>(std::max(state.uc, 0));
            } else if (word == "uc" && hasValue) {
                state.uc = static_cast<int>(value);
            } else if (word == "plain") {
                state.format = CharFormat{};
                state.format.font = document_.defaultFont;
            } else if (word == "pard") {
                paragraph_.format = ParaFormat{};
            } else if (word == "qc") {
                paragraph_.format.alignment = Alignment::Center;
            } else if (word == "qr") {
                paragraph_.format.alignment = Alignment::Right;
            } else if (word == "deff" && hasValue) {
                defaultNumber_ = value;
            } else if (word == "f" && hasValue) {
                state.format.font = FontOf(value);
            } else if (word == "fs" && hasValue) {
                state.format.sizeHalfPoints = std::clamp<int>(static_cast<int>(value), 2, 3276);
            } else if (word == "b") {
                state.format.bold = !hasValue || value != 0;
            } else if (word == "i") {
                state.format.italic = !hasValue || value != 0;
            } else if (word == "ul") {
                state.format.underline = (!hasValue || value != 0) ? Underline::Single : Underline::None;
            } else if (word == "ulnone") {
                state.format.underline = Underline::None;
            } else if (word == "strike") {
                state.format.strike = !hasValue || value != 0;
            } else if (word == "sb" && hasValue) {
                paragraph_.format.spaceBefore = std::clamp<int>(static_cast<int>(value), 0, 14400);
            } else if (word == "sa" && hasValue) {
                paragraph_.format.spaceAfter = std::clamp<int>(static_cast<int>(value), 0, 14400);
            }
        }
        if (!paragraph_.content.empty()) EndParagraph(ReaderState{}, false);
        document_.defaultFont = FontOf(defaultNumber_);
        return std::move(document_);
    }

private:
    int FontOf(long number) const {
        for (std::size_t k = 0; k < fontNumbers_.size(); ++k) {
            if (fontNumbers_[k] == number) return static_cast<int>(k);
        }
        return -1;
    }

    void Put(const ReaderState& state, std::string& fontName, int fontIndex, unsigned char byte, UINT codePage) {
        if (state.skip) return;
        if (state.fontTable) {
            if (fontIndex < 0) return;
            Font& font = document_.fonts[fontIndex];
            if (byte == ';') return;
            font.name.push_back(static_cast<char16_t>(byte));
            (void)fontName;
            return;
        }
        const char narrow = static_cast<char>(byte);
        wchar_t wide = 0;
        if (MultiByteToWideChar(codePage, 0, &narrow, 1, &wide, 1) != 1) wide = byte;
        Text(state, std::u16string(1, static_cast<char16_t>(wide)));
    }

    void Text(const ReaderState& state, const std::u16string& text) {
        if (state.skip || state.fontTable) return;
        if (!paragraph_.content.empty() && paragraph_.content.back().kind == Inline::Kind::Text &&
            paragraph_.content.back().format == state.format) {
            paragraph_.content.back().text += text;
            return;
        }
        Inline run;
        run.text = text;
        run.format = state.format;
        paragraph_.content.push_back(std::move(run));
    }

    void Add(Inline::Kind kind, const ReaderState& state) {
        if (state.skip || state.fontTable) return;
        Inline item;
        item.kind = kind;
        item.format = state.format;
        paragraph_.content.push_back(std::move(item));
    }

    void EndParagraph(const ReaderState& state, bool pageBreak) {
        if (state.skip || state.fontTable) return;
        paragraph_.endFormat = state.format;
        paragraph_.pageBreakAfter = pageBreak;
        ParaFormat format = paragraph_.format;
        document_.sections.back().body.push_back(Block{std::move(paragraph_)});
        paragraph_ = Paragraph{};
        paragraph_.format = format;
    }

    std::string_view in_;
    Document document_;
    Paragraph paragraph_;
    std::vector<long> fontNumbers_;
    long defaultNumber_ = 0;
};

}  // namespace

std::optional<Document> ReadRtf(std::string_view rtf) {
    try {
        return Reader(rtf).Read();
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// ---- Pagination: paragraphs filled line by line, a page at a time -----------------------------

struct Pagination::State {
    std::shared_ptr<const Document> document;
    PageSetup setup;
    FontMetrics* metrics = nullptr;
    Layout layout;
    std::vector<const Paragraph*> paragraphs;
    std::size_t next = 0;  // the next paragraph to lay out
    int y = 0;             // top of the next line on the current page
    bool pageOpen = false;

    int FontIndex(const CharFormat& format) {
        FontSpec spec;
        const int index = format.font >= 0 ? format.font : document->defaultFont;
        if (index >= 0 && static_cast<std::size_t>(index) < document->fonts.size()) {
            const Font& font = document->fonts[index];
            spec.face = font.name;
            spec.altFace = font.altName;
            spec.family = font.family;
            spec.pitch = font.pitch;
            spec.charset = font.charset;
        } else {
            spec.face = u"Arial";
        }
        spec.sizeTwips = format.sizeHalfPoints * 10;
        spec.bold = format.bold;
        spec.italic = format.italic;
        for (std::size_t k = 0; k < layout.fonts.size(); ++k) {
            if (layout.fonts[k] == spec) return static_cast<int>(k);
        }
        layout.fonts.push_back(spec);
        return static_cast<int>(layout.fonts.size() - 1);
    }

    void NewPage() {
        Page page;
        page.width = setup.width;
        page.height = setup.height;
        layout.pages.push_back(std::move(page));
        y = setup.marginTop;
        pageOpen = true;
    }

    struct Piece {  // a word or a space, in one format
        std::u16string text;
        int font = 0;
        const CharFormat* format = nullptr;
        int width = 0;
        bool space = false, tab = false, lineBreak = false;
    };

    void LayOutParagraph(const Paragraph& paragraph) {
        std::vector<Piece> pieces;
        std::vector<int> advances;
        for (const Inline& item : paragraph.content) {
            if (item.kind == Inline::Kind::Tab || item.kind == Inline::Kind::LineBreak) {
                Piece piece;
                piece.font = FontIndex(item.format);
                piece.format = &item.format;
                piece.tab = item.kind == Inline::Kind::Tab;
                piece.lineBreak = !piece.tab;
                piece.text = piece.tab ? u"\t" : u"";
                pieces.push_back(std::move(piece));
                continue;
            }
            if (item.kind != Inline::Kind::Text) continue;
            const int font = FontIndex(item.format);
            std::size_t k = 0;
            while (k < item.text.size()) {
                const bool space = item.text[k] == u' ';
                std::size_t end = k;
                while (end < item.text.size() && (item.text[end] == u' ') == space) ++end;
                Piece piece;
                piece.text = item.text.substr(k, end - k);
                piece.font = font;
                piece.format = &item.format;
                piece.space = space;
                advances.clear();
                metrics->Advances(layout.fonts[font], piece.text, advances);
                for (int a : advances) piece.width += a;
                pieces.push_back(std::move(piece));
                k = end;
            }
        }
        const int left = setup.marginLeft + paragraph.format.leftIndent;
        const int right = setup.width - setup.marginRight - paragraph.format.rightIndent;
        const int usable = std::max(right - left, 1);
        y += paragraph.format.spaceBefore;
        std::size_t at = 0;
        bool first = true;
        do {
            // One line: the pieces that fit (at least one).
            std::size_t end = at;
            int width = 0;
            while (end < pieces.size()) {
                const Piece& p = pieces[end];
                if (p.lineBreak) {
                    ++end;
                    break;
                }
                const int w = p.tab ? 720 - (width % 720) : p.width;
                if (end > at && !p.space && width + w > usable) break;
                width += w;
                ++end;
            }
            int ascent = 0, descent = 0;
            const int endFont = FontIndex(paragraph.endFormat);
            for (std::size_t k = at; k < end; ++k) {
                const VerticalMetrics v = metrics->Metrics(layout.fonts[pieces[k].font]);
                ascent = std::max(ascent, v.ascent);
                descent = std::max(descent, v.descent);
            }
            if (at == end) {
                const VerticalMetrics v = metrics->Metrics(layout.fonts[endFont]);
                ascent = v.ascent;
                descent = v.descent;
            }
            if (!pageOpen || (y + ascent + descent > setup.height - setup.marginBottom && y > setup.marginTop)) {
                NewPage();
            }
            int x = left;
            if (paragraph.format.alignment != Alignment::Left) {
                int lineWidth = 0;
                for (std::size_t k = at; k < end; ++k) lineWidth += pieces[k].space && k + 1 == end ? 0 : pieces[k].width;
                const int slack = std::max(usable - lineWidth, 0);
                x += paragraph.format.alignment == Alignment::Center ? slack / 2
                     : paragraph.format.alignment == Alignment::Right ? slack : 0;
            }
            const int baseline = y + ascent;
            for (std::size_t k = at; k < end; ++k) {
                const Piece& p = pieces[k];
                const int w = p.tab ? 720 - ((x - left) % 720) : p.width;
                if (!p.lineBreak) {
                    TextItem item;
                    item.x = x;
                    item.baseline = baseline;
                    item.width = w;
                    item.font = p.font;
                    item.text = p.tab ? u"" : p.text;
                    item.color = p.format->color;
                    item.underline = p.format->underline;
                    item.strike = p.format->strike;
                    item.textOffset = layout.plainText.size();
                    layout.plainText += p.text;
                    if (!item.text.empty()) layout.pages.back().texts.push_back(std::move(item));
                }
                x += w;
            }
            y = baseline + descent;
            at = end;
            first = false;
        } while (at < pieces.size());
        (void)first;
        y += paragraph.format.spaceAfter;
        layout.plainText += u"\r\n";
        if (paragraph.pageBreakAfter) pageOpen = false;
    }
};

namespace {

void Collect(const Blocks& blocks, std::vector<const Paragraph*>& out) {
    for (const Block& block : blocks) {
        if (const auto* paragraph = std::get_if<Paragraph>(&block.value)) {
            out.push_back(paragraph);
        } else if (const auto* table = std::get_if<Table>(&block.value)) {
            for (const TableRow& row : table->rows) {
                for (const TableCell& cell : row.cells) Collect(cell.content, out);
            }
        }
    }
}

}  // namespace

Pagination::Pagination(std::shared_ptr<const Document> document, const PageSetup& setup, FontMetrics& metrics)
    : state_(std::make_unique<State>()) {
    state_->document = std::move(document);
    state_->setup = setup;
    state_->metrics = &metrics;
    for (const Section& section : state_->document->sections) Collect(section.body, state_->paragraphs);
}

Pagination::~Pagination() = default;

bool Pagination::Finished() const { return state_->next >= state_->paragraphs.size(); }

bool Pagination::Step(std::size_t maxPages) {
    const std::size_t target = state_->layout.pages.size() + std::max<std::size_t>(maxPages, 1);
    while (!Finished() && state_->layout.pages.size() < target) {
        state_->LayOutParagraph(*state_->paragraphs[state_->next++]);
    }
    if (Finished() && state_->layout.pages.empty()) state_->NewPage();
    return Finished();
}

const Layout& Pagination::Result() const { return state_->layout; }

}  // namespace viewer::engine
