// Formatting of blocks into lines for the page layout: a paragraph becomes lines broken to a
// width (with alignment, indents, tabs, spacing, borders and shading), a table row becomes one
// box of cells laid out at their widths. Lines are positioned relative to their own top-left
// corner (x from the left edge of the flow they are formatted for); the paginator decides where
// on which page they go, and may cut a tall table row into slices.
//
// The text of formatted paragraphs is appended to the context's text (Layout::plainText or the
// notes' text) as it is formatted, so every block must be formatted exactly once into a text.
#pragma once

#include <climits>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "layout.h"
#include "text_measure.h"

namespace docengine::detail {

// What a line draws, relative to the line's top-left corner.
struct Items {
    std::vector<TextItem> texts;
    std::vector<RectItem> rects;
    std::vector<PictureItem> pictures;
    // Moves everything in `other` here, shifted by (dx, dy).
    void Append(Items&& other, int dx, int dy);
    void Append(const Items& other, int dx, int dy);
};

// The page's borders of `section` on a page of `setup`'s size and margins.
void AddPageBorders(Items& items, const Section& section, const PageSetup& setup);

struct Line {
    int height = 0;    // the vertical advance, space before and after included
    int trailing = 0;  // the part of `height` that may hang below a page's last line (space after)
    int leading = 0;   // the part of `height` above a paragraph's first line: its space before
    Items items;
    std::vector<int> notes;        // footnotes (Document::notes) whose marks are on this line
    bool keepWithNext = false;     // no page or column break between this line and the next
    bool columnBreakAfter = false; // a \column ends this line
    bool noteText = false;         // its textOffsets count from the start of the notes' text
    std::size_t unitStart = 0;     // a paragraph's line: where it starts in the paragraph's units
    // A frame placed on the page: its items' y counts from the paper's top (x still from the
    // flow's left edge) and it takes no room in the flow.
    bool placed = false;
    // A frame placed from its paragraph: its box from boxTop to boxBottom below the line's top.
    // In a header or footer the page moves it up onto the paper when its place falls past the
    // paper's foot, as the page keeps the body's frames on it.
    bool frame = false;
    int boxTop = 0, boxBottom = 0;
    // A line of paragraph text that counts in the section's line numbering: the baseline its
    // number stands on. -1: a line that does not count (table rows, frames, \noline paragraphs).
    int numberBaseline = -1;
};

// Moves everything `line` draws by dx.
void ShiftLine(Line& line, int dx);

// Takes a paragraph's space before off its first line, as word processors do where the line
// comes to the top of a page or column because the one before was full.
void DropLeading(Line& line);

// Room a frame keeps clear of the text that flows around it, in the coordinates of that flow.
struct Exclusion {
    int top = 0, bottom = 0, left = 0, right = 0;
};

// Where a line from y to y + height may go in [left, right) beside `exclusions`: the wider of
// the parts each one leaves, at least kMinWrapWidth wide. When none is left the line is
// blocked; `clearY` is where the first of the exclusions in its way ends, to look again from.
struct FreeSpan {
    int left = 0, width = 0;
    bool blocked = false;
    int clearY = 0;
};
inline constexpr int kMinWrapWidth = 1440;
inline constexpr int kProbeLineHeight = 240;  // a line's height before it is formatted (12 pt)
inline constexpr int kMaxWrapReflows = 8;     // a paragraph is formatted anew at most this often beside frames
// Frames a page (or a header) keeps the text clear of: further ones are placed all the same
// (report generators place every field in a frame), but the text does not avoid them, so that a
// flood of frames costs no more than its text.
inline constexpr std::size_t kMaxExclusions = 256;
FreeSpan FindFreeSpan(const std::vector<Exclusion>& exclusions, int y, int height, int left, int right,
                      int minWidth = kMinWrapWidth);

// What a shape's frame draws of itself (its fill, outline or line) for its box at (x, y),
// width x height.
void DrawFrame(const FramePosition& frame, int x, int y, int width, int height, std::vector<RectItem>& out);

// The first y from `y` down where a line `height` high is not blocked (FindFreeSpan).
int FirstUnblockedY(const std::vector<Exclusion>& exclusions, int y, int height, int left, int right,
                    int minWidth = kMinWrapWidth);

// Where a frame `width` wide goes in the reference [refLeft, refLeft + refWidth) (the column,
// the margins or the paper), and `height` high in [refTop, refTop + refHeight).
int FrameLeft(const FramePosition& frame, int width, int refLeft, int refWidth, bool oddPage);
int FrameTop(const FramePosition& frame, int height, int refTop, int refHeight);
// FrameTop for a frame placed by the top margin (\pvmrg) or the paper (\pvpg).
int PlacedFrameTop(const FramePosition& frame, int height, int pageHeight, int marginTop, int marginBottom);

// A positioned frame's paragraphs formatted in a box of its own.
struct FrameBox {
    std::vector<Line> lines;
    int width = 0, height = 0;
};

// Where to take up a paragraph again that is formatted anew from one of its lines on (the rest
// of it goes on in a column of another width): that line's Line::unitStart, and where the
// paragraph's text starts in the context's text, to which it was appended the first time.
struct ResumeAt {
    std::size_t unit = 0;
    std::size_t textBase = 0;
};

struct FormatContext {
    std::u16string* text = nullptr;  // where paragraph text goes; null: not part of plainText
    bool noteText = false;           // `text` is the notes' text
    bool collectNotes = true;        // note marks put their notes on the line
    int maxPictureHeight = 1 << 20;  // pictures are scaled down to this height
    // Where bookmarks stand in `text`: (Document::bookmarks index, offset), when not null.
    std::vector<std::pair<int, std::size_t>>* bookmarks = nullptr;
    std::u16string pageNumber = u"1";  // shown by page fields until the paginator substitutes
    std::u16string pageCount = u"1";
    // Frames positioned on the page (rather than by their paragraph) are placed there when
    // the page is known: the flow's left edge and the paper's size. Otherwise they stay in the
    // flow.
    bool placeOnPage = false;
    // Headers and footers: a shape the text flows beside or runs under does not make them
    // taller, as word processors size them by their text alone.
    bool floatsTakeNoRoom = false;
    int flowLeft = 0, pageWidth = 0, pageHeight = 0, marginTop = 0, marginBottom = 0;
};

// One cell of a formatted table row.
struct CellBox {
    int left = 0, right = 0;  // the cell's edges, relative to the flow's left edge
    int textLeft = 0;         // where its content's lines start
    Borders borders;          // resolved: the cell's own, else the row's
    Color shading;
    bool openTop = false, openBottom = false;  // a vertical merge continues above / below
    TableCell::VAlign valign = TableCell::VAlign::Top;
    int padTop = 0;
    int contentHeight = 0;  // padding included; 0 for a vertical merge's part that is not its last
    // The content: the cell's own lines, or a vertical merge's, which run on through the rows of
    // the merge; `shift` is how much of them the rows above took.
    std::shared_ptr<const std::vector<Line>> lines;
    int shift = 0;
};

struct RowBox {
    int height = 0;
    std::vector<CellBox> cells;
    std::vector<int> notes;
};

// A vertical merge in progress: its first cell, by the cell's right edge, with the content
// that runs through its rows and how much of it the rows so far took.
struct VerticalSpan {
    int edge = 0;
    const TableCell* first = nullptr;
    std::shared_ptr<const std::vector<Line>> lines;
    int contentHeight = 0;
    int consumed = 0;
    int padTop = 0;  // the first cell's room above its text, where the content starts in every row
};
using VerticalSpans = std::vector<VerticalSpan>;

class BlockFormatter {
public:
    BlockFormatter(const Document& document, TextMeasure& measure) : document_(document), measure_(measure) {}

    // Appends the lines of `paragraph` broken to `width`. With `note`, the note's mark leads the
    // paragraph (unless the paragraph starts with a mark of its own). With `resume`, only the
    // lines from there on, as continuation lines (no space before, no first-line indent), and
    // the paragraph's text is not appended again.
    void FormatParagraph(const Paragraph& paragraph, int width, FormatContext& ctx, std::vector<Line>& out,
                         const Note* note = nullptr, const ResumeAt* resume = nullptr);
    // Paragraphs and tables (each table row one line), as in a cell, header, footer or note.
    void FormatBlocks(const Blocks& blocks, int width, FormatContext& ctx, std::vector<Line>& out, int depth,
                      const Note* note = nullptr);
    // A table's rows at `width`, each row one line; `depth` is the table's nesting.
    void FormatTable(const Table& table, int width, FormatContext& ctx, std::vector<Line>& out, int depth);
    // The blocks [first, end) of `blocks`, which share one frame (FrameOf), in the frame's
    // box: at its width, or at `width` and then as wide as what they hold.
    FrameBox FormatFrame(const Blocks& blocks, std::size_t first, std::size_t end, int width, FormatContext& ctx,
                         const Note* note = nullptr);
    // Where the frame that starts blocks[first] ends: the blocks after it with the same frame.
    static std::size_t FrameEnd(const Blocks& blocks, std::size_t first);
    // Row `r` of `table`, its cells laid out at their widths. `spans` carries vertical merges
    // from row to row: pass the same list for the rows of one table, in order.
    RowBox FormatRow(const Table& table, std::size_t r, int width, FormatContext& ctx, VerticalSpans& spans,
                     int depth);

    // The slice [from, to) of a row as one line: its cells' shading, borders and the lines
    // that start inside the slice.
    static Line RowSlice(const RowBox& row, int from, int to);
    // Where to end the slice that starts at `from` and may be `avail` high: before the first
    // content line that would not fit, at least 1 past `from`.
    static int RowCut(const RowBox& row, int from, int avail);
    // Where a row may break so that its first part is at most `avail` high: between content
    // lines, with a line of some cell before the break and none cut through; 0 when it may not.
    static int RowBreak(const RowBox& row, int avail);

    // A picture's size in twips: its display size (Picture::DisplaySize) scaled down, keeping
    // its proportions, to fit maxWidth x maxHeight.
    static std::pair<int, int> PictureSize(const Picture& picture, int maxWidth, int maxHeight);

private:
    struct Seg;
    void AddRun(std::u16string_view text, const CharFormat& format, bool plain, TextItem::Field field, int note);
    // One segment of a run; `smaller`: small capitals, set at a smaller size.
    void AddSegment(std::u16string_view text, const CharFormat& format, bool plain, TextItem::Field field, int note,
                    bool smaller);
    void AddSpecial(char16_t unit, std::uint8_t kind, const CharFormat& format, bool plain);
    void AddPicture(const std::shared_ptr<const Picture>& picture, const CharFormat& format, int maxWidth,
                    int maxHeight);
    void AddRuby(const Ruby& ruby);
    // A paragraph after a frame in FormatBlocks: its lines beside `around` narrowed; `y` is
    // where it starts in the blocks' lines and advances past it.
    void FormatAround(const Paragraph& paragraph, int width, int& y, const std::vector<Exclusion>& around,
                      FormatContext& ctx, std::vector<Line>& out, const Note* note);
    // `alignedStop`: set to the stop of a centre, right or decimal tab, else to -1.
    int TabWidth(std::size_t i, int at, const ParaFormat& pf, bool firstLine, std::size_t limit, int* leader,
                 int* alignedStop = nullptr);
    void EmitLine(const Paragraph& p, std::size_t s, std::size_t e, bool first, bool last, bool hard, int width,
                  std::size_t textBase, FormatContext& ctx, Line& line);
    // A cell whose text runs up or down (TableCell::textFlow) as one line `across` wide (the
    // cell's text width): its content laid out in lines `along` long, or, with `along` 0, as
    // long as its longest line, and turned; the line's height is that length.
    Line FormatTurned(const TableCell& cell, int across, int along, FormatContext& ctx, int depth);
    // Turns a line laid out from its start into a right-to-left one `width` wide.
    static void MirrorLine(Items& items, std::size_t firstText, int width);

    const Document& document_;
    TextMeasure& measure_;

    static constexpr std::size_t kNoPlain = static_cast<std::size_t>(-1);  // a unit not in the text
    // Scratch of the paragraph being formatted.
    struct Seg {
        std::size_t start = 0, end = 0;
        int font = 0;
        int raise = 0;  // baseline shift, up positive
        int ascent = 0, descent = 0;
        int lineGap = 0;
        const CharFormat* format = nullptr;
        std::size_t plain = kNoPlain;  // offset of `start` in the paragraph's text
        TextItem::Field field = TextItem::Field::None;
        int note = -1;
        int bookmark = -1;  // PageRef fields
        std::shared_ptr<const Picture> picture;
        int pictureWidth = 0, pictureHeight = 0;
        const std::u16string* ruby = nullptr;  // a reading set above the run
        int rubyFont = 0, rubyWidth = 0;
        int rubyBaseline = 0;                   // the reading's baseline above the run's
    };
    std::u16string disp_;            // what is drawn, one unit per position
    std::u16string plain_;           // the paragraph's text
    std::vector<std::uint8_t> kind_; // unit classes (see block_format.cpp)
    std::vector<int> adv_;           // advances
    std::vector<int> segOf_;
    std::vector<int> pos_;           // x of each unit in the line being emitted
    std::vector<int> tabw_;          // widths of the tabs of that line
    std::vector<std::uint8_t> leader_;  // and their leaders
    // How far the paragraph's first line starts left of its indent: the width of a list label
    // that ends at the indent, or half of one centred on it.
    int labelShift_ = 0;
    // The edge of the paragraph's room: a centre, right or decimal stop beyond it stands at it.
    int tabLimit_ = INT_MAX;
    // The paragraph's indent on the side its lines start from: the left one, or in a
    // right-to-left paragraph the right one. Lines are laid out from that side and then
    // mirrored (MirrorLine).
    int startIndent_ = 0;
    std::deque<CharFormat> markFormats_;  // formats made up for note marks
    bool tabsSorted_ = true;              // the paragraph's tab stops are in order
    int cellDepth_ = 0;                   // formatting a table cell's content (no frames there)
    std::vector<Seg> segs_;
};

}  // namespace docengine::detail
