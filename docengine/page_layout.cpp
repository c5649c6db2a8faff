// Pagination (see page_layout.h).
//
// Blocks are formatted one at a time into lines (block_format.h) and the lines are placed down
// the columns of the current page. Lines that must not be separated from the next (keep with
// next, keep together, widow and orphan control, table header rows) wait in a pending group;
// when a line does not fit, the group moves with it to the next column if it fits there whole,
// otherwise the break falls where it must. Every decision moves forward, so no input can loop.
// Footnotes reserve room at the page foot as their reference lines are placed; what does not
// fit continues on the next page.
#include "page_layout.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstdint>
#include <deque>
#include <string>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

#include "block_format.h"
#include "text_measure.h"

namespace docengine {
namespace {

using detail::Line;

constexpr int kMaxPageTwips = 31680 * 4;  // 88 inches: larger pages are taken as a mistake
constexpr int kSeparatorHeight = 240;     // the line that holds the footnote separator rule
constexpr int kSeparatorWidth = 2880;
constexpr int kRuleThickness = 10;

// The width of a page field's result once the field is filled in: its characters' advances
// with the item's character spacing applied, as the renderer places them.
int ResultWidth(detail::TextMeasure& measure, const TextItem& t) {
    std::vector<int> advances(t.text.size());
    measure.Advances(t.font, t.text, advances.data());
    ApplyCharSpacing(t, advances);
    int width = 0;
    for (int advance : advances) width += advance;
    return width;
}
// Formatting a paragraph anew for columns of other widths: how often, and up to what length.
constexpr int kMaxReflows = 64;
constexpr std::size_t kMaxReflowLines = 2000;
constexpr std::size_t kMaxPlannedUnits = 1 << 14;  // sections balanced ahead (PlanBalance)

std::u16string Number(long long n) {
    const std::string s = std::to_string(n);
    return std::u16string(s.begin(), s.end());
}

Color Black() {
    Color c;
    c.automatic = false;
    return c;
}

// About how many units of plainText `blocks` make (text, labels, marks, paragraph ends), so
// that the text is allocated once rather than grown to twice its size.
std::size_t TextEstimate(const Blocks& blocks, int depth) {
    std::size_t n = 0;
    for (const Block& block : blocks) {
        if (const auto* p = std::get_if<Paragraph>(&block.value)) {
            n += 2 + p->format->listLabel.size() + 1;
            for (const Inline& in : p->content) n += in.kind == Inline::Kind::Text ? in.text.size() : 4;
        } else if (depth < 16) {
            for (const TableRow& row : std::get<Table>(block.value).rows)
                for (const TableCell& cell : row.cells) n += TextEstimate(cell.content, depth + 1);
        }
    }
    return n;
}

// A row whose cells' paragraphs are all kept with the next stays on the page of the row or
// paragraph after it: word processors keep a table on one page that way.
bool RowKeepsWithNext(const TableRow& row) {
    bool any = false;
    for (const TableCell& cell : row.cells) {
        for (const Block& block : cell.content) {
            const auto* p = std::get_if<Paragraph>(&block.value);
            if (!p || !p->format->keepWithNext) return false;
            any = true;
        }
    }
    return any;
}

}  // namespace

PageSetup UsablePageSetup(const PageSetup& s) {
    const auto room = [](std::int64_t size, std::int64_t a, std::int64_t b) { return size - a - b; };
    const bool usable = s.width > 0 && s.height > 0 && s.width <= kMaxPageTwips && s.height <= kMaxPageTwips &&
                        s.marginLeft >= 0 && s.marginRight >= 0 && s.marginTop >= 0 && s.marginBottom >= 0 &&
                        room(s.width, s.marginLeft, s.marginRight) >= 144 &&
                        room(s.height, s.marginTop, s.marginBottom) >= 144;
    return usable ? s : PageSetup{};
}

class Paginator::Flow {
public:
    Flow(const Document& document, const PageSetup& setup, FontMetrics& metrics)
        : doc_(document),
          setup_(UsablePageSetup(setup)),
          measure_(document, metrics, layout_.fonts),
          formatter_(document, measure_),
          noteDone_(document.notes.size(), 0) {
        base_ = setup_;
        bodyCtx_.text = &layout_.plainText;
        layout_.underlineColors = document.underlineColors;
        bodyCtx_.bookmarks = &bookmarkPlaces_;
        notesCtx_.text = &notesText_;
        notesCtx_.noteText = true;
        notesCtx_.collectNotes = false;
        fixedCtx_.collectNotes = false;
        fixedCtx_.placeOnPage = true;
        fixedCtx_.floatsTakeNoRoom = true;
        planCtx_.collectNotes = false;
        UseSetup(setup_);
        std::size_t bodyText = 0, notesText = 0;
        for (const Section& section : document.sections) bodyText += TextEstimate(section.body, 0);
        for (const Note& note : document.notes) notesText += TextEstimate(note.content, 0) + note.mark.size() + 1;
        layout_.plainText.reserve(bodyText + notesText);
        notesText_.reserve(notesText);
        for (const ShapeText& shapeText : document.shapeTexts) {
            const int font = measure_.Font(shapeText.format, detail::FontSizeTwips(shapeText.format));
            layout_.shapeTexts.push_back(ShapeTextItem{shapeText.text, font, shapeText.format.color});
        }
    }

    Layout layout_;
    bool finished_ = false;

    // One unit of work: a paragraph, a table row, a section start. False when all is placed.
    bool Advance();
    void Finish();

private:
    struct Pending {
        Line line;
        int y = 0;
    };
    struct TableState {
        std::vector<Line> header;  // the header rows, to repeat on the pages the table runs onto
        int headerHeight = 0;
        std::size_t headerRows = 0;
        bool bodyStarted = false;
        detail::VerticalSpans spans;
    };

    const Section& CurrentSection() const;
    void SetColumns(const Section& section);
    void ApplySectionPage(const Section& section);
    void UseSetup(const PageSetup& s);
    void TakePageSide();
    std::pair<int, int> SectionPaper(const Section& section) const;
    void StartSection(std::size_t index);
    void OpenPage();
    void FinishPage();
    std::vector<Line> FixedLines(const Blocks& blocks);
    void CloseRegion();
    void BalanceColumns();
    void EmitBody(Line&& line, int y);
    void StartLineNumbering(const Section& section);
    void NumberLine(Line& line);
    void NewColumn();
    std::size_t IdleColumnBreaksFrom(std::size_t index) const;
    void RepeatTableHeader();
    // The foot of the current column: above the footnotes, and in a region whose columns are
    // balanced ahead (PlanBalance), at the planned height for all but the last column.
    int Bottom() const {
        const int bottom = bodyBottom_ - footHeight_;
        return balanceBottom_ > 0 && column_ + 1 < columns_ ? std::min(bottom, balanceBottom_) : bottom;
    }
    int ColumnLeft() const { return setup_.marginLeft + columnX_[static_cast<std::size_t>(column_)]; }
    int ColumnWidth() const { return columnW_[static_cast<std::size_t>(column_)]; }
    int NextColumnWidth() const { return columnW_[column_ + 1 < columns_ ? static_cast<std::size_t>(column_) + 1 : 0]; }
    void PlanBalance(std::size_t index);
    bool PlanFits(const Blocks& body, int limit);
    int FullHeight() const;
    bool Fits(const Line& line);
    void AddLine(Line&& line);
    void Place(Line&& line);
    void CommitPending();
    void Emit(Line&& line, int x, int y);
    bool IsFootnote(int note) const;
    std::vector<Line>& NoteLines(int note);
    int NoteHeight(int note);
    void PlaceNote(int note);
    void BreakBefore(const Paragraph& paragraph);
    void BreakAfter(const Paragraph& paragraph);
    void ProcessParagraph(const Paragraph& paragraph, const Note* note);
    std::size_t ProcessFrame(const Blocks& blocks, std::size_t first, const Note* note);
    void ProcessRow();
    void NextBlock();

    const Document& doc_;
    PageSetup setup_;  // sectionSetup_ on the current page's side (mirrored margins, gutter)
    PageSetup sectionSetup_;  // the current section's margins on base_'s paper
    detail::TextMeasure measure_;
    detail::BlockFormatter formatter_;
    detail::FormatContext bodyCtx_, notesCtx_, fixedCtx_;
    std::u16string notesText_;
    int textWidth_ = 0;
    PageSetup base_;  // the page setup asked for; setup_ has the current section's margins
    std::vector<Line> lines_;

    // Where the flow is.
    enum class Phase { Body, Endnotes, Done } phase_ = Phase::Body;
    std::size_t section_ = 0, block_ = 0;
    bool sectionOpen_ = false;
    // Column breaks in the section's blocks from this one on end no column (IdleColumnBreaksFrom).
    std::size_t idleBreaksFrom_ = SIZE_MAX;
    std::vector<int> endnotes_;
    std::size_t endnote_ = 0, endnoteBlock_ = 0;
    const Table* table_ = nullptr;
    std::size_t row_ = 0;
    TableState tableState_;
    bool pageBreakPending_ = false;
    // A paragraph whose page break was taken before the frames anchored in it were placed.
    const Paragraph* breakTaken_ = nullptr;
    // The block after the last run of frames looked through (the paragraph they are anchored
    // in), so that a run of many frames is looked through once.
    const Blocks* anchorBlocks_ = nullptr;
    std::size_t anchorIndex_ = 0;

    // The current page.
    bool firstOfSection_ = false;
    int pageNumber_ = 0;
    std::u16string pageLabel_;  // pageNumber_ as the section writes it (\pgnlcrm: "iv")
    int bodyTop_ = 0, bodyBottom_ = 0;
    int footHeight_ = 0;  // footnotes with their separator
    std::vector<Line> footLines_;
    std::deque<Line> carry_;  // footnote lines that continue on the next page

    // Line numbering: that of the section whose lines are being placed (null before the first),
    // the number the next line that counts gets, and the numbers' font (-1: not needed yet).
    const LineNumbering* lineNumbering_ = nullptr;
    int lineNumber_ = 1;
    int lineNumberFont_ = -1;

    // Columns of the current region (a section's part of the page): each one's left edge (from
    // the left margin) and width.
    int columns_ = 1;
    std::vector<int> columnX_{0}, columnW_{0};
    bool uniform_ = true;  // all columns equally wide
    bool lineBetween_ = false;
    int balanceBottom_ = 0;  // where the columns but the last end, when planned; 0: at the foot
    detail::FormatContext planCtx_;
    int column_ = 0, regionTop_ = 0, y_ = 0, lowest_ = 0;
    bool columnUsed_ = false;
    // The column was begun by a line that did not fit the one before (not by a page, column or
    // section break): the first line placed at its top loses its paragraph's space before.
    bool flowedOver_ = false;

    // The lines placed in the current region of several columns, for balancing them: where
    // each one's items start in the page's lists.
    struct RegionLine {
        std::size_t texts = 0, rects = 0, pictures = 0;
        int y = 0, height = 0, column = 0;
    };
    std::vector<RegionLine> regionLines_;
    // Frames on the current page that the text keeps clear of (page coordinates).
    std::vector<detail::Exclusion> exclusions_;

    std::vector<Pending> pending_;
    bool pendingAfterContent_ = false;
    std::vector<int> pendingNotes_;
    int pendingNotesHeight_ = 0;

    struct FixedCache {
        bool formatted = false;
        std::size_t digits = 0;
        int width = 0;
        std::vector<Line> lines;
    };
    std::unordered_map<const Blocks*, FixedCache> fixedCache_;

    std::vector<char> noteDone_;
    std::unordered_map<int, std::vector<Line>> noteLines_;

    std::vector<std::pair<std::size_t, std::size_t>> pageCountItems_, noteItems_, pageRefItems_;
    // For PAGEREF fields: where each bookmark stands in the body's text, and each page's first
    // offset of body text (kNoTextOffset: none) with the label it shows.
    std::vector<std::pair<int, std::size_t>> bookmarkPlaces_;
    std::vector<TextOffset> pageFirstText_;
    std::vector<std::u16string> pageLabels_;
    void ResolvePageRefs();
    // Page fields in the body and the notes, with the length of the result their text held
    // when they were formatted: their final results replace those in plainText at the end.
    struct FieldResult {
        std::size_t page, item;
        TextOffset length;
        bool note;
    };
    std::vector<FieldResult> fieldResults_;
    void PlaceFieldResults();
};

const Section& Paginator::Flow::CurrentSection() const {
    static const Section kDefault;
    if (doc_.sections.empty()) return kDefault;
    return doc_.sections[std::min(section_, doc_.sections.size() - 1)];
}

// The section's paper: the page setup's, which stands for the first section's. A section whose
// own paper is the first section's turned (a landscape table in a portrait report) has the page
// setup's turned; one with another paper has the page setup's, grown or shrunk by as much.
std::pair<int, int> Paginator::Flow::SectionPaper(const Section& section) const {
    const Section& first = doc_.sections.front();
    const int firstWidth = first.pageWidth > 0 ? first.pageWidth : doc_.paperWidth > 0 ? doc_.paperWidth : 12240;
    const int firstHeight = first.pageHeight > 0 ? first.pageHeight : doc_.paperHeight > 0 ? doc_.paperHeight : 15840;
    if (section.pageWidth <= 0 || section.pageHeight <= 0) return {base_.width, base_.height};
    constexpr int kSlack = 20;  // papers in millimetres come out a twip or two apart
    const auto near = [](int a, int b) { return std::abs(a - b) <= kSlack; };
    if (near(section.pageWidth, firstWidth) && near(section.pageHeight, firstHeight)) return {base_.width, base_.height};
    if (near(section.pageWidth, firstHeight) && near(section.pageHeight, firstWidth)) return {base_.height, base_.width};
    // Never so small that the page setup's margins leave less than half an inch of text.
    const auto moved = [](int base, int own, int firstOwn, int margins) {
        const std::int64_t least = std::min<std::int64_t>(std::int64_t{margins} + 720, base);
        return static_cast<int>(std::clamp<std::int64_t>(std::int64_t{base} + own - firstOwn, least, kMaxPageTwips));
    };
    return {moved(base_.width, section.pageWidth, firstWidth, base_.marginLeft + base_.marginRight),
            moved(base_.height, section.pageHeight, firstHeight, base_.marginTop + base_.marginBottom)};
}

// The section's paper (above) and margins: the page setup's margins, moved by as much as the
// section's own differ from the first section's (a cover, or a wide table's pages, with margins
// of their own). Margins that would leave less than half an inch of text keep the page setup's.
void Paginator::Flow::ApplySectionPage(const Section& section) {
    const Section& first = doc_.sections.front();
    auto margin = [](int base, int own, int firstOwn, int document, int fallback) {
        const int given = document > 0 ? document : fallback;
        const std::int64_t moved = std::int64_t{base} + (own >= 0 ? own : given) - (firstOwn >= 0 ? firstOwn : given);
        return static_cast<int>(std::clamp<std::int64_t>(moved, 0, kMaxPageTwips));
    };
    PageSetup s = base_;
    std::tie(s.width, s.height) = SectionPaper(section);
    s.marginLeft = margin(base_.marginLeft, section.marginLeft, first.marginLeft, doc_.marginLeft, 1800);
    s.marginRight = margin(base_.marginRight, section.marginRight, first.marginRight, doc_.marginRight, 1800);
    s.marginTop = margin(base_.marginTop, section.marginTop, first.marginTop, doc_.marginTop, 1440);
    s.marginBottom = margin(base_.marginBottom, section.marginBottom, first.marginBottom, doc_.marginBottom, 1440);
    if (std::int64_t{s.width} - s.marginLeft - s.marginRight < 720) {
        s.marginLeft = base_.marginLeft;
        s.marginRight = base_.marginRight;
    }
    if (std::int64_t{s.height} - s.marginTop - s.marginBottom < 720) {
        s.marginTop = base_.marginTop;
        s.marginBottom = base_.marginBottom;
    }
    UseSetup(s);
}

// Makes `s` the page the text is laid out on, on the current page's side.
void Paginator::Flow::UseSetup(const PageSetup& s) {
    sectionSetup_ = s;
    TakePageSide();
}

// Lays the text out on the section's page as the current page's side has it, with the text
// width and what the format contexts know of the page. With mirrored margins an even page is a
// left-hand page: its left and right margins are the other way round, so that the wider one is
// always inside. The gutter widens the binding side's margin: the inside one (the left, or the
// right in a right-to-left book), or the top. It is left out where it would leave less than
// half an inch of text. The text width is the same on every side.
void Paginator::Flow::TakePageSide() {
    PageSetup s = sectionSetup_;
    const bool leftHand = pageNumber_ % 2 == 0;
    if (doc_.mirrorMargins && leftHand) std::swap(s.marginLeft, s.marginRight);
    const std::int64_t gutter = doc_.gutter;
    if (gutter > 0 && doc_.gutterAtTop) {
        if (std::int64_t{s.height} - s.marginTop - s.marginBottom - gutter >= 720) s.marginTop += doc_.gutter;
    } else if (gutter > 0 && std::int64_t{s.width} - s.marginLeft - s.marginRight - gutter >= 720) {
        const bool right = doc_.mirrorMargins ? leftHand : doc_.gutterRight;
        (right ? s.marginRight : s.marginLeft) += doc_.gutter;
    }
    setup_ = s;
    textWidth_ = setup_.width - setup_.marginLeft - setup_.marginRight;
    fixedCtx_.flowLeft = setup_.marginLeft;
    fixedCtx_.pageWidth = setup_.width;
    fixedCtx_.pageHeight = setup_.height;
    fixedCtx_.marginTop = setup_.marginTop;
    fixedCtx_.marginBottom = setup_.marginBottom;
    const int body = setup_.height - setup_.marginTop - setup_.marginBottom;
    bodyCtx_.maxPictureHeight = notesCtx_.maxPictureHeight = fixedCtx_.maxPictureHeight = body;
    planCtx_.maxPictureHeight = body;
}

void Paginator::Flow::SetColumns(const Section& section) {
    int n = std::clamp(section.columns, 1, 64);
    const int gap = std::clamp(section.columnSpace, 0, textWidth_ / 2);
    columnX_.clear();
    columnW_.clear();
    balanceBottom_ = 0;
    const auto& defs = section.columnDefs;
    const bool own = n > 1 && defs.size() >= static_cast<std::size_t>(n) &&
                     std::all_of(defs.begin(), defs.begin() + n, [](const SectionColumn& c) { return c.width > 0; });
    if (own) {
        // Widths and gaps as given (\colw \colsr), scaled down together when wider than the text.
        std::vector<std::int64_t> widths, gaps;
        std::int64_t total = 0;
        for (int c = 0; c < n; ++c) {
            widths.push_back(defs[c].width);
            gaps.push_back(c + 1 < n ? (defs[c].spaceAfter >= 0 ? defs[c].spaceAfter : gap) : 0);
            total += widths.back() + gaps.back();
        }
        std::int64_t x = 0;
        for (int c = 0; c < n; ++c) {
            const std::int64_t w = total > textWidth_ ? widths[c] * textWidth_ / total : widths[c];
            const std::int64_t g = total > textWidth_ ? gaps[c] * textWidth_ / total : gaps[c];
            columnX_.push_back(static_cast<int>(x));
            columnW_.push_back(std::max(1, static_cast<int>(w)));
            x += w + g;
        }
    } else {
        while (n > 1 && (textWidth_ - gap * (n - 1)) / n < 720) --n;
        const int g = n > 1 ? gap : 0;
        const int w = (textWidth_ - g * (n - 1)) / n;
        for (int c = 0; c < n; ++c) {
            columnX_.push_back(c * (w + g));
            columnW_.push_back(w);
        }
    }
    columns_ = n;
    uniform_ = std::all_of(columnW_.begin(), columnW_.end(), [&](int w) { return w == columnW_.front(); });
    lineBetween_ = section.lineBetween && n > 1;
}

// A section of columns that are not alike, followed by a continuous one, has its columns
// balanced ahead: the lowest column height that takes its paragraphs is found by formatting
// them trial-wise (each at the width of the column it falls in), and all columns but the last
// end there. Sections with tables or breaks, and long ones, fill their columns in turn.
void Paginator::Flow::PlanBalance(std::size_t index) {
    balanceBottom_ = 0;
    if (uniform_ || columns_ < 2 || !doc_.balanceColumns || index + 1 >= doc_.sections.size() ||
        doc_.sections[index + 1].breakBefore != Section::Break::None)
        return;
    const Blocks& body = doc_.sections[index].body;
    std::size_t units = 0;
    for (const Block& block : body) {
        const auto* p = std::get_if<Paragraph>(&block.value);
        if (!p || p->pageBreakAfter || p->format->pageBreakBefore) return;
        for (const Inline& in : p->content) units += in.text.size() + 1;
        if (units > kMaxPlannedUnits) return;
    }
    int hi = Bottom() - regionTop_;
    if (hi <= 0 || !PlanFits(body, hi)) return;
    int lo = 0;  // PlanFits(lo) is false, PlanFits(hi) true
    while (hi - lo > 20) {
        const int mid = lo + (hi - lo) / 2;
        if (PlanFits(body, mid)) hi = mid;
        else lo = mid;
    }
    balanceBottom_ = regionTop_ + hi;
}

// Whether `body` goes into the region's columns cut at `limit` high. Lines that a paragraph
// keeps together (widow and orphan control, \keep) move on together, as in the flow.
bool Paginator::Flow::PlanFits(const Blocks& body, int limit) {
    int column = 0, used = 0;
    bool flowedOver = false;  // the column was begun by a line that did not fit the one before
    std::vector<Line> lines;
    for (const Block& block : body) {
        const Paragraph& p = std::get<Paragraph>(block.value);
        int width = columnW_[static_cast<std::size_t>(column)];
        lines.clear();
        formatter_.FormatParagraph(p, width, planCtx_, lines);
        std::size_t chain = 0;  // the first of the lines before k that keep with k
        int chainHeight = 0;
        for (std::size_t k = 0; k < lines.size();) {
            const Line& line = lines[k];
            if (used > 0 && used + line.height - line.trailing > limit) {
                if (++column == columns_) return false;
                const bool moveChain = chainHeight > 0 && chainHeight < used;
                used = 0;
                flowedOver = true;
                const std::size_t from = moveChain ? chain : k;
                if (columnW_[static_cast<std::size_t>(column)] != width || moveChain) {
                    // The rest of the paragraph goes on at this column's width.
                    width = columnW_[static_cast<std::size_t>(column)];
                    const detail::ResumeAt resume{lines[from].unitStart, 0};
                    std::vector<Line> rest;
                    formatter_.FormatParagraph(p, width, planCtx_, rest, nullptr, &resume);
                    lines = std::move(rest);
                    k = 0;
                }
                chain = k;
                chainHeight = 0;
                continue;
            }
            used += line.height - (flowedOver ? line.leading : 0);
            flowedOver = false;
            if (line.keepWithNext) {
                if (chainHeight == 0) chain = k;
                chainHeight += line.height;
            } else {
                chainHeight = 0;
            }
            if (line.columnBreakAfter) {
                if (++column == columns_) return false;
                used = 0;
                chainHeight = 0;
            }
            ++k;
        }
    }
    return true;
}

// A column break in a one-column section starts a new page, except where nothing but empty
// paragraphs follows it before a continuous section break: word processors end the section
// there and go on below on the same page. Returns the first of those trailing paragraphs (or
// SIZE_MAX when the section is not of that kind).
std::size_t Paginator::Flow::IdleColumnBreaksFrom(std::size_t index) const {
    const Section& section = doc_.sections[index];
    if (index + 1 >= doc_.sections.size() || doc_.sections[index + 1].breakBefore != Section::Break::None ||
        section.columns > 1 || section.columnDefs.size() > 1)
        return SIZE_MAX;
    std::size_t first = section.body.size();
    while (first > 0) {
        const Block& block = section.body[first - 1];
        const auto* paragraph = std::get_if<Paragraph>(&block.value);
        if (paragraph == nullptr || FrameOf(block) != nullptr || !paragraph->format->listLabel.empty() ||
            !std::all_of(paragraph->content.begin(), paragraph->content.end(),
                         [](const Inline& in) { return in.kind == Inline::Kind::ColumnBreak; }))
            break;
        --first;
    }
    return first;
}

void Paginator::Flow::StartSection(std::size_t index) {
    const Section& section = doc_.sections[index];
    if (layout_.pages.empty()) {
        StartLineNumbering(section);
        ApplySectionPage(section);
        SetColumns(section);
        firstOfSection_ = true;
        OpenPage();
        PlanBalance(index);
        return;
    }
    CommitPending();
    StartLineNumbering(section);
    // A continuous section on other paper starts a new page, as in word processors.
    if (section.breakBefore == Section::Break::None &&
        SectionPaper(section) == std::pair<int, int>{setup_.width, setup_.height}) {
        // Continuous: the columns so far are balanced, and the new section's columns start
        // below them.
        BalanceColumns();
        CloseRegion();
        ApplySectionPage(section);  // its left and right ones from here, the others from the next page
        SetColumns(section);
        regionTop_ = y_ = lowest_ = std::max(lowest_, y_);
        column_ = 0;
        regionLines_.clear();
        columnUsed_ = regionTop_ > bodyTop_;
        PlanBalance(index);
        return;  // a \page before it still starts the next page

    }
    FinishPage();
    ApplySectionPage(section);
    SetColumns(section);
    firstOfSection_ = true;
    OpenPage();
    const bool even = pageNumber_ % 2 == 0;
    if ((section.breakBefore == Section::Break::Even && !even) ||
        (section.breakBefore == Section::Break::Odd && even)) {
        FinishPage();
        firstOfSection_ = true;
        OpenPage();
    }
    pageBreakPending_ = false;
    PlanBalance(index);
}

void Paginator::Flow::OpenPage() {
    const Section& section = CurrentSection();
    pageNumber_ = firstOfSection_ && section.pageNumberStart > 0 ? section.pageNumberStart : pageNumber_ + 1;
    if (doc_.mirrorMargins) TakePageSide();
    if (section.lineNumbers.restart == LineNumbering::Restart::Page) lineNumber_ = section.lineNumbers.start;
    Page page;
    page.width = setup_.width;
    page.height = setup_.height;
    page.number = pageNumber_;
    layout_.pages.push_back(std::move(page));

    // Headers and footers: the first page's own with \titlpg, left and right ones with
    // \facingp, the common one otherwise.
    auto pick = [&](const HeaderFooter& hf) -> const Blocks& {
        if (section.titlePage && firstOfSection_) return hf.first;
        if (doc_.facingPages) {
            const Blocks& side = pageNumber_ % 2 == 0 ? hf.left : hf.right;
            return side.empty() ? hf.both : side;
        }
        if (!hf.both.empty()) return hf.both;
        return hf.right.empty() ? hf.left : hf.right;
    };
    using BorderPages = Section::BorderPages;
    if (section.pageBordersOn == BorderPages::All || (section.pageBordersOn == BorderPages::First) == firstOfSection_) {
        Line borders;
        AddPageBorders(borders.items, section, setup_);
        Emit(std::move(borders), 0, 0);
    }
    pageLabel_ = FormatNumber(pageNumber_, section.pageNumbers);
    fixedCtx_.pageNumber = pageLabel_;
    const int height = setup_.height;
    std::vector<Line> header = FixedLines(pick(section.headers));
    std::vector<Line> footer = FixedLines(pick(section.footers));
    // Places a header's or footer's lines from `y` down; returns where they end. A frame placed
    // on the page stands where it says; one whose place falls past the paper's foot is moved
    // up onto it.
    auto place = [&](std::vector<Line>& lines, int y) {
        for (Line& line : lines) {
            if (line.placed) {
                Emit(std::move(line), setup_.marginLeft, 0);
                continue;
            }
            const int h = line.height;
            int at = y;
            if (line.frame && y + line.boxBottom > height) at = std::max(height - line.boxBottom, -line.boxTop);
            Emit(std::move(line), setup_.marginLeft, at);
            y += h;
        }
        return y;
    };
    // A tall header pushes the body down and a tall footer pulls its foot up; a page without
    // them has the body from margin to margin, however far the header and footer distances
    // reach into it.
    const int headerTop = std::clamp(section.headerDistance, 0, height / 2);
    const int headerBottom = place(header, headerTop);
    bodyTop_ = headerBottom > headerTop ? std::max(setup_.marginTop, headerBottom) : setup_.marginTop;
    int footerHeight = 0;
    for (const Line& line : footer) footerHeight += line.height;
    const int footerTop = height - std::clamp(section.footerDistance, 0, height / 2) - footerHeight;
    bodyBottom_ = footerHeight > 0 ? std::min(height - setup_.marginBottom, footerTop) : height - setup_.marginBottom;
    place(footer, footerTop);
    const int margins = height - setup_.marginTop - setup_.marginBottom;
    if (bodyBottom_ - bodyTop_ < std::max(144, margins / 4)) {
        // Headers and footers that leave almost no body are drawn over rather than obeyed.
        bodyTop_ = setup_.marginTop;
        bodyBottom_ = height - setup_.marginBottom;
    }
    firstOfSection_ = false;
    bodyCtx_.pageNumber = pageLabel_;
    planCtx_.pageNumber = pageLabel_;
    balanceBottom_ = 0;

    footHeight_ = 0;
    footLines_.clear();
    column_ = 0;
    regionTop_ = y_ = lowest_ = bodyTop_;
    columnUsed_ = false;
    regionLines_.clear();
    exclusions_.clear();

    // Footnote lines carried over from the previous page come first, up to 3/4 of the body.
    const int room = (bodyBottom_ - bodyTop_) * 3 / 4;
    while (!carry_.empty()) {
        const int add = (footLines_.empty() ? kSeparatorHeight : 0) + carry_.front().height;
        if (!footLines_.empty() && footHeight_ + add > room) break;
        footHeight_ += add;
        footLines_.push_back(std::move(carry_.front()));
        carry_.pop_front();
    }
}

// A header's or footer's lines for the current page. They are formatted once for each length of
// page number (page fields get their page's number when emitted) and copied for each page.
std::vector<Line> Paginator::Flow::FixedLines(const Blocks& blocks) {
    if (blocks.empty()) return {};
    FixedCache& cache = fixedCache_[&blocks];
    if (!cache.formatted || cache.digits != fixedCtx_.pageNumber.size() || cache.width != textWidth_) {
        cache.lines.clear();
        formatter_.FormatBlocks(blocks, textWidth_, fixedCtx_, cache.lines, 0);
        cache.digits = fixedCtx_.pageNumber.size();
        cache.width = textWidth_;
        cache.formatted = true;
    }
    return cache.lines;
}

void Paginator::Flow::CloseRegion() {
    if (!lineBetween_) return;
    const int bottom = std::max(lowest_, y_);
    if (bottom <= regionTop_) return;
    for (int c = 1; c < columns_; ++c) {
        const int x = setup_.marginLeft + (columnX_[c - 1] + columnW_[c - 1] + columnX_[c]) / 2;
        layout_.pages.back().rects.push_back(
            RectItem{x - kRuleThickness / 2, regionTop_, kRuleThickness, bottom - regionTop_, Black()});
    }
}

// The lines placed from here on are `section`'s: they count on from the section before only
// when the section says so (\linecont) or restarts on each page.
void Paginator::Flow::StartLineNumbering(const Section& section) {
    if (!lineNumbering_ || section.lineNumbers.restart == LineNumbering::Restart::Section)
        lineNumber_ = section.lineNumbers.start;
    lineNumbering_ = &section.lineNumbers;
}

// Counts a body line in its section's line numbering and, when its number is one to show, puts
// the number beside it: on its baseline, ending the section's distance left of the column. The
// number is not part of the document's text.
void Paginator::Flow::NumberLine(Line& line) {
    if (!lineNumbering_ || lineNumbering_->every <= 0 || line.numberBaseline < 0) return;
    const int number = lineNumber_;
    if (lineNumber_ < INT_MAX) ++lineNumber_;
    if (number % lineNumbering_->every != 0) return;
    const CharFormat& format = doc_.lineNumberFormat;
    if (lineNumberFont_ < 0) lineNumberFont_ = measure_.Font(format, detail::FontSizeTwips(format));
    TextItem t;
    t.text = Number(number);
    t.font = lineNumberFont_;
    t.width = measure_.Width(t.font, t.text);
    const int distance = lineNumbering_->distance > 0 ? lineNumbering_->distance : LineNumbering::kAutomaticDistance;
    t.x = -distance - t.width;
    t.baseline = line.numberBaseline;
    t.color = format.color;
    t.textOffset = kNoTextOffset;
    line.items.texts.push_back(std::move(t));
}

void Paginator::Flow::EmitBody(Line&& line, int y) {
    NumberLine(line);
    if (columns_ > 1) {
        const Page& page = layout_.pages.back();
        regionLines_.push_back(
            RegionLine{page.texts.size(), page.rects.size(), page.pictures.size(), y, line.height, column_});
    }
    Emit(std::move(line), ColumnLeft(), y);
}

// Redistributes the region's lines over its columns so that they end at about the same height
// (the shortest height that holds them all, filling each column in order).
void Paginator::Flow::BalanceColumns() {
    // Lines are only moved, not formatted anew: columns of other widths are planned ahead.
    if (columns_ < 2 || regionLines_.empty() || !uniform_ || !doc_.balanceColumns) return;
    const std::size_t n = regionLines_.size();
    auto fill = [&](int limit, std::vector<int>* columnOf) {
        int column = 0, used = 0, overflow = INT_MAX;
        for (std::size_t i = 0; i < n; ++i) {
            const int h = regionLines_[i].height;
            if (used > 0 && used + h > limit) {
                overflow = std::min(overflow, used + h - limit);
                if (++column == columns_) return overflow;
                used = 0;
            }
            if (columnOf) (*columnOf)[i] = column;
            used += h;
        }
        return 0;
    };
    long long total = 0;
    for (const RegionLine& l : regionLines_) total += l.height;
    int limit = static_cast<int>(std::min<long long>(total / columns_, INT_MAX / 2));
    for (std::size_t tries = 0; tries <= n; ++tries) {
        const int overflow = fill(limit, nullptr);
        if (overflow == 0) break;
        limit += overflow;
    }
    if (limit > Bottom() - regionTop_) return;  // the columns were full: nothing to even out
    std::vector<int> columnOf(n, 0);
    fill(limit, &columnOf);
    Page& page = layout_.pages.back();
    int column = -1, y = regionTop_, lowest = regionTop_;
    for (std::size_t i = 0; i < n; ++i) {
        const RegionLine& l = regionLines_[i];
        if (columnOf[i] != column) {
            column = columnOf[i];
            y = regionTop_;
        }
        const int dx = columnX_[column] - columnX_[l.column], dy = y - l.y;
        const RegionLine end = i + 1 < n ? regionLines_[i + 1]
                                         : RegionLine{page.texts.size(), page.rects.size(), page.pictures.size()};
        for (std::size_t k = l.texts; k < end.texts; ++k) {
            page.texts[k].x += dx;
            page.texts[k].baseline += dy;
        }
        for (std::size_t k = l.rects; k < end.rects; ++k) {
            page.rects[k].x += dx;
            page.rects[k].y += dy;
        }
        for (std::size_t k = l.pictures; k < end.pictures; ++k) {
            page.pictures[k].x += dx;
            page.pictures[k].y += dy;
        }
        y += l.height;
        lowest = std::max(lowest, y);
    }
    column_ = column;
    y_ = lowest_ = lowest;
}

void Paginator::Flow::FinishPage() {
    if (layout_.pages.empty()) return;
    CommitPending();
    CloseRegion();
    if (!footLines_.empty()) {
        int y = bodyBottom_ - footHeight_;
        layout_.pages.back().rects.push_back(RectItem{setup_.marginLeft, y + kSeparatorHeight / 2,
                                                      std::min(kSeparatorWidth, textWidth_), kRuleThickness,
                                                      Black()});
        y += kSeparatorHeight;
        for (Line& line : footLines_) {
            const int h = line.height;
            Emit(std::move(line), setup_.marginLeft, y);
            y += h;
        }
    }
    footLines_.clear();
    footHeight_ = 0;
    // The page is done growing: give back what its lists reserved beyond their size.
    Page& page = layout_.pages.back();
    page.texts.shrink_to_fit();
    page.rects.shrink_to_fit();
    page.pictures.shrink_to_fit();
}

void Paginator::Flow::NewColumn() {
    lowest_ = std::max(lowest_, y_);
    if (column_ + 1 < columns_) {
        ++column_;
        y_ = regionTop_;
        columnUsed_ = false;
    } else {
        FinishPage();
        OpenPage();
    }
    RepeatTableHeader();
}

void Paginator::Flow::RepeatTableHeader() {
    if (!table_ || !tableState_.bodyStarted || tableState_.header.empty()) return;
    if (tableState_.headerHeight >= (Bottom() - y_) / 2) return;  // it would crowd the rows out
    for (const Line& line : tableState_.header) {
        Line copy = line;
        const int h = copy.height;
        EmitBody(std::move(copy), y_);
        y_ += h;
    }
    columnUsed_ = false;  // a row that does not fit under the header is cut, not moved again
}

int Paginator::Flow::FullHeight() const {
    int full = column_ + 1 < columns_ ? Bottom() - regionTop_ : bodyBottom_ - bodyTop_;
    if (table_ && tableState_.bodyStarted) full -= tableState_.headerHeight;
    return full;
}

bool Paginator::Flow::IsFootnote(int note) const {
    return note >= 0 && static_cast<std::size_t>(note) < doc_.notes.size() && !doc_.notes[note].endnote &&
           !doc_.footnotesAtEnd;
}

std::vector<Line>& Paginator::Flow::NoteLines(int note) {
    auto it = noteLines_.find(note);
    if (it == noteLines_.end()) {
        it = noteLines_.emplace(note, std::vector<Line>()).first;
        formatter_.FormatBlocks(doc_.notes[note].content, textWidth_, notesCtx_, it->second, 0, &doc_.notes[note]);
        for (Line& line : it->second) line.keepWithNext = false;
    }
    return it->second;
}

int Paginator::Flow::NoteHeight(int note) {
    int h = 0;
    for (const Line& line : NoteLines(note)) h += line.height;
    return h;
}

bool Paginator::Flow::Fits(const Line& line) {
    int notes = 0;
    for (int note : line.notes) {
        if (!IsFootnote(note) || noteDone_[note] ||
            std::find(pendingNotes_.begin(), pendingNotes_.end(), note) != pendingNotes_.end())
            continue;
        // The reference and at least the note's first line must fit; the rest may continue on
        // the next page.
        const bool separator = footLines_.empty() && pendingNotes_.empty() && carry_.empty();
        const std::vector<Line>& lines = NoteLines(note);
        notes = (separator ? kSeparatorHeight : 0) + (lines.empty() ? 0 : lines.front().height);
        break;
    }
    const int bottom = y_ + line.height - line.trailing;
    if (notes == 0) return bottom + pendingNotesHeight_ <= Bottom();
    // Room for notes is taken from every column of the page.
    return std::max(bottom, lowest_) + pendingNotesHeight_ + notes <= Bottom();
}

void Paginator::Flow::AddLine(Line&& line) {
    if (Fits(line)) {
        Place(std::move(line));
        return;
    }
    if (!pending_.empty() && pendingAfterContent_) {
        // The group that must stay together moves on with this line if it fits a column.
        int group = line.height;
        for (const Pending& p : pending_) group += p.line.height;
        if (group <= FullHeight()) {
            std::vector<Pending> moved = std::move(pending_);
            pending_.clear();
            pendingNotes_.clear();
            pendingNotesHeight_ = 0;
            NewColumn();
            flowedOver_ = true;
            for (Pending& p : moved) Place(std::move(p.line));
            AddLine(std::move(line));
            return;
        }
    }
    CommitPending();
    if (columnUsed_) {
        NewColumn();
        flowedOver_ = true;
        AddLine(std::move(line));
        return;
    }
    Place(std::move(line));  // taller than a column: it goes where it is
}

void Paginator::Flow::Place(Line&& line) {
    if (flowedOver_) {
        flowedOver_ = false;
        detail::DropLeading(line);
    }
    if (pending_.empty()) pendingAfterContent_ = columnUsed_;
    for (int note : line.notes) {
        if (!IsFootnote(note) || noteDone_[note] ||
            std::find(pendingNotes_.begin(), pendingNotes_.end(), note) != pendingNotes_.end())
            continue;
        if (footLines_.empty() && pendingNotes_.empty() && carry_.empty()) pendingNotesHeight_ += kSeparatorHeight;
        pendingNotes_.push_back(note);
        pendingNotesHeight_ += NoteHeight(note);
    }
    const int y = y_;
    y_ += line.height;
    const bool commit = !line.keepWithNext || line.columnBreakAfter;
    const bool columnBreak = line.columnBreakAfter && !(phase_ == Phase::Body && block_ >= idleBreaksFrom_);
    pending_.push_back(Pending{std::move(line), y});
    if (commit) CommitPending();
    if (columnBreak) NewColumn();
}

void Paginator::Flow::CommitPending() {
    if (pending_.empty()) return;
    for (Pending& p : pending_) EmitBody(std::move(p.line), p.y);
    pending_.clear();
    columnUsed_ = true;
    std::vector<int> notes = std::move(pendingNotes_);
    pendingNotes_.clear();
    pendingNotesHeight_ = 0;
    for (int note : notes) PlaceNote(note);
}

void Paginator::Flow::PlaceNote(int note) {
    noteDone_[note] = 1;
    std::vector<Line> lines = std::move(NoteLines(note));
    noteLines_.erase(note);
    const int bodyLow = std::max(lowest_, y_);
    for (Line& line : lines) {
        if (carry_.empty()) {
            const int separator = footLines_.empty() ? kSeparatorHeight : 0;
            if (bodyLow + footHeight_ + separator + line.height <= bodyBottom_ || footLines_.empty()) {
                footHeight_ += separator + line.height;
                footLines_.push_back(std::move(line));
                continue;
            }
        }
        carry_.push_back(std::move(line));
    }
}

void Paginator::Flow::Emit(Line&& line, int x, int y) {
    const std::size_t pageIndex = layout_.pages.size() - 1;
    Page& page = layout_.pages.back();
    for (TextItem& t : line.items.texts) {
        t.x += x;
        t.baseline += y;
        if (t.field != TextItem::Field::None && t.textOffset != kNoTextOffset)
            fieldResults_.push_back({pageIndex, page.texts.size(), static_cast<TextOffset>(t.text.size()), line.noteText});
        if (t.field == TextItem::Field::PageNumber) {
            t.text = pageLabel_;
            t.width = ResultWidth(measure_, t);
        } else if (t.field == TextItem::Field::PageCount) {
            pageCountItems_.emplace_back(pageIndex, page.texts.size());
        } else if (t.field == TextItem::Field::PageRef) {
            pageRefItems_.emplace_back(pageIndex, page.texts.size());
        }
        if (!line.noteText && t.textOffset != kNoTextOffset) {
            if (pageFirstText_.size() <= pageIndex) {
                pageFirstText_.resize(pageIndex + 1, kNoTextOffset);
                pageLabels_.resize(pageIndex + 1);
            }
            if (t.textOffset < pageFirstText_[pageIndex]) {
                pageFirstText_[pageIndex] = t.textOffset;
                pageLabels_[pageIndex] = pageLabel_;
            }
        }
        if (line.noteText && t.textOffset != kNoTextOffset) noteItems_.emplace_back(pageIndex, page.texts.size());
        page.texts.push_back(std::move(t));
    }
    for (RectItem& r : line.items.rects) {
        r.x += x;
        r.y += y;
        page.rects.push_back(r);
    }
    for (PictureItem& p : line.items.pictures) {
        p.x += x;
        p.y += y;
        page.pictures.push_back(std::move(p));
    }
}

// \pagebb: a new page, unless the page holds nothing yet.
void Paginator::Flow::BreakBefore(const Paragraph& paragraph) {
    if (&paragraph == breakTaken_) return;
    if (paragraph.format->pageBreakBefore && (columnUsed_ || !pending_.empty())) {
        CommitPending();
        FinishPage();
        OpenPage();
    }
}

// \page after the paragraph: the next block starts a new page.
void Paginator::Flow::BreakAfter(const Paragraph& paragraph) {
    if (paragraph.pageBreakAfter) {
        CommitPending();
        pageBreakPending_ = true;
    }
}

void Paginator::Flow::ProcessParagraph(const Paragraph& paragraph, const Note* note) {
    BreakBefore(paragraph);
    lines_.clear();
    bodyCtx_.maxPictureHeight = bodyBottom_ - bodyTop_;
    int width = ColumnWidth(), shift = 0;
    auto room = [&](int height, int minWidth = detail::kMinWrapWidth) {
        return detail::FindFreeSpan(exclusions_, y_, height, ColumnLeft(), ColumnLeft() + ColumnWidth(), minWidth);
    };
    if (!exclusions_.empty()) {
        // Beside or below the frames on the page: the first line's room is judged at a single
        // line's height.
        y_ = detail::FirstUnblockedY(exclusions_, y_, detail::kProbeLineHeight, ColumnLeft(),
                                     ColumnLeft() + ColumnWidth());
        const detail::FreeSpan span = room(detail::kProbeLineHeight);
        if (!span.blocked) {
            width = span.width;
            shift = span.left;
        }
    }
    const std::size_t textBase = layout_.plainText.size();
    const std::size_t bookmarkBase = bookmarkPlaces_.size();
    formatter_.FormatParagraph(paragraph, width, bodyCtx_, lines_, note);
    // A line that goes into a column of another width, or beside a frame, takes the rest of the
    // paragraph with it, formatted anew at that width. Each time costs the paragraph's length,
    // so a paragraph is formatted anew a bounded number of times and long ones not at all: the
    // work stays linear.
    const bool bounded = lines_.size() <= kMaxReflowLines;
    int reflows = uniform_ || !bounded ? 0 : kMaxReflows;
    int wraps = exclusions_.empty() || !bounded ? 0 : detail::kMaxWrapReflows;
    for (std::size_t k = 0; k < lines_.size();) {
        Line& line = lines_[k];
        const bool moves = !Fits(line) && (columnUsed_ || !pending_.empty());
        int target = width, targetShift = shift;
        // Past the first line the rest is formatted anew at the line's room; the first line
        // too, when only its full height (space before included) meets a frame that a plain
        // line's probe above missed: it goes beside the frame, not below it with the rest.
        const bool may = k > 0 ? reflows > 0 || wraps > 0 : !moves && wraps > 0;
        if (moves) {
            target = NextColumnWidth();
            targetShift = 0;
        } else if (!exclusions_.empty()) {
            const detail::FreeSpan span = room(line.height);
            if (span.blocked && span.clearY > y_) {
                y_ = span.clearY;  // below the frame in its way
                continue;
            }
            target = span.blocked ? ColumnWidth() : span.width;
            targetShift = span.blocked ? 0 : span.left;
        } else {
            target = ColumnWidth();
            targetShift = 0;
        }
        if ((target != width || targetShift != shift) && may) {
            if (wraps > 0) --wraps;  // beside frames, or back to the column's width after them
            else --reflows;
            width = target;
            shift = targetShift;
            if (k == 0) {  // the whole paragraph, its text and bookmarks taken back first
                layout_.plainText.resize(textBase);
                bookmarkPlaces_.resize(bookmarkBase);
                lines_.clear();
                formatter_.FormatParagraph(paragraph, width, bodyCtx_, lines_, note);
                continue;
            }
            const detail::ResumeAt resume{lines_[k].unitStart, textBase};
            std::vector<Line> rest;
            formatter_.FormatParagraph(paragraph, width, bodyCtx_, rest, note, &resume);
            lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(k), lines_.end());
            for (Line& l : rest) lines_.push_back(std::move(l));
            if (k >= lines_.size()) break;
            continue;
        }
        if (!moves && !exclusions_.empty() && (target < width || targetShift != shift)) {
            // Formatted for other room than there is beside a frame: it goes below the frame.
            const detail::FreeSpan below = detail::FindFreeSpan(
                exclusions_, y_, line.height, ColumnLeft() + shift, ColumnLeft() + shift + width, width);
            if (below.blocked && below.clearY > y_) {
                y_ = below.clearY;
                continue;
            }
        }
        detail::ShiftLine(line, shift);
        if (phase_ != Phase::Body) line.numberBaseline = -1;  // endnotes are not numbered
        AddLine(std::move(line));
        ++k;
    }
    lines_.clear();
    BreakAfter(paragraph);
}

// A positioned frame: the paragraphs from blocks[first] on that share its frame, formatted in a
// box and placed on the page by its position; the text after it keeps clear of it. Returns how
// many blocks it took.
std::size_t Paginator::Flow::ProcessFrame(const Blocks& blocks, std::size_t first, const Note* note) {
    const std::size_t end = detail::BlockFormatter::FrameEnd(blocks, first);
    const FramePosition& frame = *FrameOf(blocks[first]);
    if (const auto* lead = std::get_if<Paragraph>(&blocks[first].value)) BreakBefore(*lead);
    // Frames stand before the paragraph they are anchored in: when that paragraph starts a
    // new page (\pagebb), they go on that page with it. A \page mark at its start comes after
    // them, and they stay.
    if (&blocks != anchorBlocks_ || anchorIndex_ < end) {
        anchorBlocks_ = &blocks;
        anchorIndex_ = end;
        while (anchorIndex_ < blocks.size() && FrameOf(blocks[anchorIndex_]) != nullptr) ++anchorIndex_;
    }
    if (anchorIndex_ < blocks.size()) {
        const auto* next = std::get_if<Paragraph>(&blocks[anchorIndex_].value);
        if (next && next->format->pageBreakBefore && !next->breakMarkBefore) {
            BreakBefore(*next);
            breakTaken_ = next;
        }
    }
    bodyCtx_.maxPictureHeight = bodyBottom_ - bodyTop_;
    detail::FrameBox box = formatter_.FormatFrame(blocks, first, end, ColumnWidth(), bodyCtx_, note);
    const bool anchored = frame.vertRef == FramePosition::VertRef::Paragraph ||
                          frame.vertAlign == FramePosition::VertAlign::Inline;
    const int offset = frame.vertAlign == FramePosition::VertAlign::Offset ? frame.y : 0;
    // Anchored to the text and not fitting below it: the next column, unless it would not
    // fit there either. One placed at a distance below its anchor stays on its anchor's page
    // as long as it fits on the paper, the bottom margin included, as word processors place
    // shapes (a footer logo 13,000 twips below the first paragraph belongs to the first page).
    // A shape in front of the text takes no room, so it never moves the text on: it stays on
    // its anchor's page, moved up where it would run past the paper's foot.
    const int limit = offset > 0 ? setup_.height : Bottom();
    if (anchored && !frame.inFront && y_ + offset + box.height > limit && box.height <= FullHeight() &&
        (columnUsed_ || !pending_.empty())) {
        CommitPending();
        NewColumn();
    }
    int refLeft = ColumnLeft(), refWidth = ColumnWidth();
    if (frame.horzRef == FramePosition::HorzRef::Page) {
        refLeft = 0;
        refWidth = setup_.width;
    } else if (frame.horzRef == FramePosition::HorzRef::Margin) {
        refLeft = setup_.marginLeft;
        refWidth = textWidth_;
    }
    const int x = std::clamp(detail::FrameLeft(frame, box.width, refLeft, refWidth, pageNumber_ % 2 != 0), 0,
                             std::max(0, setup_.width - box.width));
    const int top = std::clamp(anchored ? y_ + offset
                                        : detail::PlacedFrameTop(frame, box.height, setup_.height, setup_.marginTop,
                                                                 setup_.marginBottom),
                               0, std::max(0, setup_.height - box.height));
    detail::DrawFrame(frame, x, top, box.width, box.height, layout_.pages.back().rects);
    int y = top;
    std::vector<int> notes;
    for (Line& line : box.lines) {
        const int h = line.height;
        notes.insert(notes.end(), line.notes.begin(), line.notes.end());
        Emit(std::move(line), x, y);
        y += h;
    }
    for (int n : notes)
        if (IsFootnote(n) && !noteDone_[n]) PlaceNote(n);
    columnUsed_ = true;  // the page holds something: a page break after the frame starts a new one
    const int gapX = frame.wrap ? frame.gapX : setup_.width;
    if (!frame.inFront && exclusions_.size() < detail::kMaxExclusions)
        exclusions_.push_back(detail::Exclusion{top - frame.gapY, top + box.height + frame.gapY, x - gapX,
                                                x + box.width + gapX});
    for (std::size_t i = first; i < end; ++i)
        if (const auto* p = std::get_if<Paragraph>(&blocks[i].value)) BreakAfter(*p);
    return end - first;
}

void Paginator::Flow::ProcessRow() {
    const Table& table = *table_;
    if (row_ == 0) {
        // A table whose first paragraph breaks the page (\pagebb in its first cell) starts
        // on a new page, as that paragraph would outside a table.
        const std::vector<TableCell>& cells = table.rows[0].cells;
        if (!cells.empty() && !cells[0].content.empty()) {
            if (const auto* paragraph = std::get_if<Paragraph>(&cells[0].content.front().value)) BreakBefore(*paragraph);
        }
        tableState_ = TableState();
        std::size_t headers = 0;
        while (headers < table.rows.size() && table.rows[headers].header) ++headers;
        tableState_.headerRows = headers == table.rows.size() ? 0 : headers;
    }
    detail::RowBox row = formatter_.FormatRow(table, row_, ColumnWidth(), bodyCtx_, tableState_.spans, 0);
    if (row.cells.empty()) return;
    if (row_ < tableState_.headerRows) {
        Line line = detail::BlockFormatter::RowSlice(row, 0, row.height);
        line.keepWithNext = true;  // a header row stays with the first row under it
        Line copy = line;
        copy.notes.clear();
        tableState_.header.push_back(std::move(copy));
        tableState_.headerHeight += row.height;
        AddLine(std::move(line));
        return;
    }
    if (!exclusions_.empty()) {
        // Rows go below the frames in the way of their cells.
        int left = INT_MAX, right = INT_MIN;
        for (const detail::CellBox& cell : row.cells) {
            left = std::min(left, ColumnLeft() + cell.left);
            right = std::max(right, ColumnLeft() + cell.right);
        }
        if (right <= left) right = left + 1;
        y_ = detail::FirstUnblockedY(exclusions_, y_, row.height, left, right, right - left);
    }
    if (row.height <= FullHeight()) {
        // Whole, here or on the next page; or, as word processors break a row that may break
        // (no \trkeep, no exact height), its lines that fit here and the rest on the next page.
        // Rows kept with the next, and the row after them, move on whole with their group.
        Line whole = detail::BlockFormatter::RowSlice(row, 0, row.height);
        const TableRow& definition = table.rows[row_];
        whole.keepWithNext = RowKeepsWithNext(definition);
        auto mayBreak = [&] {
            return !definition.keepTogether && definition.height >= 0 && whole.notes.empty() &&
                   std::all_of(definition.cells.begin(), definition.cells.end(), [](const TableCell& c) {
                       return c.textFlow == TableCell::Flow::Across && !c.verticalMergeFirst && !c.verticalMerged;
                   });
        };
        int cut = 0;
        if (Fits(whole)) {
            Place(std::move(whole));
        } else if (!whole.keepWithNext && pending_.empty() && mayBreak() &&
                   (cut = detail::BlockFormatter::RowBreak(row, Bottom() - y_ - pendingNotesHeight_)) > 0) {
            Line first = detail::BlockFormatter::RowSlice(row, 0, cut);
            first.keepWithNext = false;
            Place(std::move(first));
            NewColumn();
            AddLine(detail::BlockFormatter::RowSlice(row, cut, row.height));
        } else {
            AddLine(std::move(whole));
        }
    } else {
        // Taller than a page: cut between content lines, continuing on the next pages.
        int from = 0;
        while (from < row.height) {
            const int avail = Bottom() - y_ - pendingNotesHeight_;
            if ((avail <= 0 || (avail < 240 && avail < row.height - from)) && (columnUsed_ || !pending_.empty())) {
                CommitPending();
                NewColumn();
                continue;
            }
            const int cut = detail::BlockFormatter::RowCut(row, from, std::max(avail, 1));
            Line piece = detail::BlockFormatter::RowSlice(row, from, cut);
            piece.keepWithNext = false;
            Place(std::move(piece));
            from = cut;
            if (from < row.height) NewColumn();
        }
    }
    tableState_.bodyStarted = true;
}

void Paginator::Flow::NextBlock() {
    if (phase_ == Phase::Body) ++block_;
    else ++endnoteBlock_;
}

bool Paginator::Flow::Advance() {
    if (table_) {
        ProcessRow();
        if (++row_ >= table_->rows.size()) {
            table_ = nullptr;
            tableState_ = TableState();
            NextBlock();
        }
        return true;
    }
    const Blocks* blocks = nullptr;
    std::size_t index = 0;
    const Note* lead = nullptr;
    if (phase_ == Phase::Body) {
        if (section_ >= doc_.sections.size()) {
            phase_ = Phase::Endnotes;
            for (std::size_t i = 0; i < doc_.notes.size(); ++i)
                if (doc_.notes[i].endnote || doc_.footnotesAtEnd) endnotes_.push_back(static_cast<int>(i));
            if (!endnotes_.empty() && !layout_.pages.empty()) {
                // The endnotes' separator: a short rule.
                Line rule;
                rule.height = kSeparatorHeight;
                rule.keepWithNext = true;
                rule.items.rects.push_back(RectItem{0, kSeparatorHeight / 2, std::min(kSeparatorWidth, ColumnWidth()),
                                                    kRuleThickness, Black()});
                AddLine(std::move(rule));
            }
            return true;
        }
        if (!sectionOpen_) {
            StartSection(section_);
            sectionOpen_ = true;
            idleBreaksFrom_ = IdleColumnBreaksFrom(section_);
        }
        const Section& section = doc_.sections[section_];
        if (block_ >= section.body.size()) {
            ++section_;
            block_ = 0;
            sectionOpen_ = false;
            return true;
        }
        blocks = &section.body;
        index = block_;
    } else if (phase_ == Phase::Endnotes) {
        if (endnote_ >= endnotes_.size()) {
            phase_ = Phase::Done;
            return false;
        }
        const Note& note = doc_.notes[endnotes_[endnote_]];
        if (endnoteBlock_ >= note.content.size()) {
            ++endnote_;
            endnoteBlock_ = 0;
            return true;
        }
        if (layout_.pages.empty()) {
            SetColumns(CurrentSection());
            firstOfSection_ = true;
            OpenPage();
        }
        blocks = &note.content;
        index = endnoteBlock_;
        if (endnoteBlock_ == 0) lead = &note;
    } else {
        return false;
    }

    if (pageBreakPending_) {
        CommitPending();
        FinishPage();
        OpenPage();
        pageBreakPending_ = false;
    }
    const Block& block = (*blocks)[index];
    if (FrameOf(block) != nullptr) {
        const std::size_t taken = ProcessFrame(*blocks, index, lead);
        for (std::size_t k = 0; k < taken; ++k) NextBlock();
    } else if (const auto* paragraph = std::get_if<Paragraph>(&block.value)) {
        ProcessParagraph(*paragraph, lead);
        NextBlock();
    } else {
        const Table& table = std::get<Table>(block.value);
        if (table.rows.empty()) {
            NextBlock();
        } else {
            table_ = &table;
            row_ = 0;
        }
    }
    return true;
}

void Paginator::Flow::Finish() {
    if (finished_) return;
    while (Advance()) {
    }
    CommitPending();
    if (layout_.pages.empty()) {
        SetColumns(CurrentSection());
        firstOfSection_ = true;
        OpenPage();
    }
    FinishPage();
    while (!carry_.empty()) {
        OpenPage();
        FinishPage();
    }
    const std::u16string count = Number(static_cast<long long>(layout_.pages.size()));
    for (const auto& [page, item] : pageCountItems_) {
        TextItem& t = layout_.pages[page].texts[item];
        t.text = count;
        t.width = ResultWidth(measure_, t);
    }
    ResolvePageRefs();
    PlaceFieldResults();
    const std::size_t bodyLength = layout_.plainText.size();
    for (const auto& [page, item] : noteItems_) {
        TextOffset& offset = layout_.pages[page].texts[item].textOffset;
        offset = bodyLength < kNoTextOffset - offset ? static_cast<TextOffset>(offset + bodyLength) : kNoTextOffset;
    }
    layout_.plainText += notesText_;
    notesText_.clear();
    finished_ = true;
}

// Fills in each PAGEREF with the label of the page its bookmark stands on: the last page whose
// body text starts at or before the bookmark. A bookmark that is never placed leaves the result
// the file stored. The new result ends where the stored one ended, as a page number in a table
// of contents stands against its right tab.
void Paginator::Flow::ResolvePageRefs() {
    if (pageRefItems_.empty()) return;
    std::vector<std::size_t> place(doc_.bookmarks.size(), SIZE_MAX);
    for (const auto& [bookmark, offset] : bookmarkPlaces_) {
        if (bookmark >= 0 && static_cast<std::size_t>(bookmark) < place.size())
            place[static_cast<std::size_t>(bookmark)] = std::min(place[static_cast<std::size_t>(bookmark)], offset);
    }
    std::vector<std::pair<TextOffset, std::size_t>> starts;  // (first offset, page), rising
    for (std::size_t k = 0; k < pageFirstText_.size(); ++k) {
        if (pageFirstText_[k] != kNoTextOffset && (starts.empty() || pageFirstText_[k] > starts.back().first))
            starts.emplace_back(pageFirstText_[k], k);
    }
    if (starts.empty()) return;  // no body text: no bookmark has a page
    for (const auto& [page, item] : pageRefItems_) {
        TextItem& t = layout_.pages[page].texts[item];
        if (t.bookmark >= place.size() || place[t.bookmark] == SIZE_MAX) continue;
        const std::size_t at = place[t.bookmark];
        auto next = std::upper_bound(starts.begin(), starts.end(), at,
                                     [](std::size_t offset, const auto& start) { return offset < start.first; });
        const std::size_t onPage = next == starts.begin() ? starts.front().second : std::prev(next)->second;
        const int end = t.x + t.width;
        t.text = pageLabels_[onPage];
        t.width = ResultWidth(measure_, t);
        t.x = end - t.width;
    }
}

// Puts each page field's final result into the text in place of the one it was formatted
// with (the number of the page the paragraph was begun on, the file's stored result), so that
// Find, Copy and the window's text hold what the pages show, and moves the later text's
// offsets by the difference in length.
void Paginator::Flow::PlaceFieldResults() {
    if (fieldResults_.empty()) return;
    struct Splice {
        TextOffset at, oldLength;
        const std::u16string* result;
        long long shiftBefore;  // the text's growth from the splices before this one
    };
    auto place = [&](bool note, std::u16string& text) {
        std::vector<std::pair<TextOffset, FieldResult>> fields;  // in the order they were placed
        for (const FieldResult& r : fieldResults_) {
            const TextOffset at = layout_.pages[r.page].texts[r.item].textOffset;
            if (r.note == note && at <= text.size() && r.length <= text.size() - at) fields.emplace_back(at, r);
        }
        std::stable_sort(fields.begin(), fields.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        std::vector<Splice> splices;
        for (const auto& [at, r] : fields) {
            TextItem& t = layout_.pages[r.page].texts[r.item];
            if (!splices.empty() && at < splices.back().at + splices.back().oldLength) {
                // A repeated heading row's copy shares the text of the first: it keeps its place
                // there where it shows the same result, and has none where it shows another.
                if (at != splices.back().at || t.text != *splices.back().result) t.textOffset = kNoTextOffset;
                continue;
            }
            splices.push_back({at, r.length, &t.text, 0});
        }
        if (std::all_of(splices.begin(), splices.end(), [](const Splice& sp) { return sp.result->size() == sp.oldLength; })) {
            // The usual case (a contents line's number as the file stored it): written over
            // the old result, nothing moves.
            for (const Splice& sp : splices) std::copy(sp.result->begin(), sp.result->end(), text.begin() + sp.at);
            splices.clear();
            return splices;
        }
        std::u16string out;
        out.reserve(text.size());
        std::size_t from = 0;
        long long shift = 0;
        for (Splice& sp : splices) {
            out.append(text, from, sp.at - from);
            out += *sp.result;
            from = sp.at + sp.oldLength;
            sp.shiftBefore = shift;
            shift += static_cast<long long>(sp.result->size()) - sp.oldLength;
        }
        out.append(text, from, std::u16string::npos);
        text = std::move(out);
        return splices;
    };
    // Splices that moved text after them; none when every result kept its length.
    const std::vector<Splice> body = place(false, layout_.plainText);
    const std::vector<Splice> notes = place(true, notesText_);
    if (body.empty() && notes.empty()) return;
    auto moved = [](const std::vector<Splice>& splices, TextOffset offset) -> TextOffset {
        // the last splice that starts at or before `offset`
        auto after = std::upper_bound(splices.begin(), splices.end(), offset,
                                      [](TextOffset o, const Splice& s) { return o < s.at; });
        if (after == splices.begin()) return offset;
        const Splice& s = *std::prev(after);
        const long long newLength = static_cast<long long>(s.result->size());
        long long result = offset + s.shiftBefore;  // at the result's start
        if (offset >= s.at + s.oldLength) result += newLength - s.oldLength;
        else if (offset > s.at) result = s.at + s.shiftBefore + std::min<long long>(offset - s.at, newLength);
        return result >= 0 && result < kNoTextOffset ? static_cast<TextOffset>(result) : kNoTextOffset;
    };
    // Note items are the ones noteItems_ lists, in the order Emit placed them (page by page),
    // as this walk meets them.
    auto nextNote = noteItems_.begin();
    for (std::size_t p = 0; p < layout_.pages.size(); ++p) {
        std::vector<TextItem>& texts = layout_.pages[p].texts;
        for (std::size_t i = 0; i < texts.size(); ++i) {
            const bool note = nextNote != noteItems_.end() && nextNote->first == p && nextNote->second == i;
            if (note) ++nextNote;
            TextOffset& offset = texts[i].textOffset;
            if (offset != kNoTextOffset) offset = moved(note ? notes : body, offset);
        }
    }
}

Paginator::Paginator(const Document& document, const PageSetup& setup, FontMetrics& metrics)
    : flow_(std::make_unique<Flow>(document, setup, metrics)) {}

Paginator::~Paginator() = default;

bool Paginator::Step(std::size_t maxPages) {
    if (flow_->finished_) return true;
    if (maxPages == 0) return false;
    const std::size_t ready = PagesReady();
    const std::size_t target = ready + std::min(maxPages, SIZE_MAX - ready);
    while (PagesReady() < target) {
        if (!flow_->Advance()) {
            flow_->Finish();
            break;
        }
    }
    return flow_->finished_;
}

bool Paginator::Finished() const { return flow_->finished_; }

std::size_t Paginator::PagesReady() const {
    const std::size_t n = flow_->layout_.pages.size();
    return flow_->finished_ ? n : (n > 0 ? n - 1 : 0);
}

const Layout& Paginator::Result() const { return flow_->layout_; }

Layout Paginator::TakeLayout() {
    flow_->Finish();
    return std::move(flow_->layout_);
}

Layout LayOut(const Document& document, const PageSetup& setup, FontMetrics& metrics) {
    Paginator paginator(document, setup, metrics);
    return paginator.TakeLayout();
}

}  // namespace docengine
