// Paragraph and table-row formatting (see block_format.h).
//
// A paragraph is first turned into a row of units (UTF-16 code units as drawn, plus one unit
// for each tab, line break, column break and picture), each with its advance and class. Lines
// are broken greedily: after spaces, hyphens, dashes and ideographs, and inside a word only when
// the word alone is wider than the line (after a slash in it if one fits, else at a letter).
// Each line is then positioned (tabs, alignment, justification) and emitted as text items, one
// per run piece.
#include "block_format.h"

#include <algorithm>
#include <climits>
#include <cstdint>

namespace docengine::detail {
namespace {

constexpr int kDefaultTab = 720;
constexpr int kMinDefaultTab = 15;  // a default tab stop every pixel or more, never every twip
constexpr int kChangeBarGap = 180;  // between a changed line's bar and the text's left edge
constexpr int kMaxTableDepth = 16;  // deeper nested tables are not drawn

// Unit classes.
enum : std::uint8_t {
    kChar,         // part of a word
    kSpace,        // a break may follow; hangs past the line's end
    kBreakAfter,   // a hyphen, dash or ideograph: a break may follow
    kTab,
    kLineBreak,    // \line: ends the line
    kColumnBreak,  // \column: ends the line and the column
    kObject,       // a picture: breaks may come before and after it
};

bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

std::uint8_t Classify(char16_t c) {
    switch (c) {
    case u' ': case 0x2002: case 0x2003: case 0x2004: case 0x2005: case 0x2006: case 0x2008:
    case 0x2009: case 0x200A: case 0x200B: case 0x3000:
        return kSpace;
    case u'-': case 0x00AD: case 0x2010: case 0x2012: case 0x2013: case 0x2014:
        return kBreakAfter;
    case u'\t':
        return kTab;
    case u'\n': case u'\r': case u'\v': case u'\f': case 0x2028: case 0x2029:
        return kLineBreak;
    default:
        break;
    }
    if ((c >= 0x3040 && c <= 0x9FFF) || (c >= 0xAC00 && c <= 0xD7AF) || (c >= 0xF900 && c <= 0xFAFF) ||
        (c >= 0xFF00 && c <= 0xFFEF))
        return kBreakAfter;
    return kChar;
}

char16_t Upper(char16_t c) {
    if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 32);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 32);
    return c;
}

// The colour of tracked changes by author (\revauthN counts from 1; 0 is "unknown").
Color RevisionColor(int author) {
    static constexpr Color kColors[] = {{6, 70, 162, false},  {178, 34, 34, false},  {0, 128, 0, false},
                                        {198, 120, 0, false}, {123, 31, 162, false}, {0, 131, 143, false}};
    constexpr int kCount = static_cast<int>(std::size(kColors));
    return kColors[author > 0 ? (author - 1) % kCount : 0];
}

// Text in a tracked change is drawn in its author's colour, as are its tab leaders.
Color TextColor(const CharFormat& format) {
    return format.revision == CharFormat::Revision::None ? format.color : RevisionColor(format.revisionAuthor);
}

Color Black() {
    Color c;
    c.automatic = false;
    return c;
}

constexpr int kThinLine = 15;  // a compound border's thin line and its gap: 3/4 pt

int BorderWidth(const BorderLine& b) {
    if (!b.Visible()) return 0;
    int w = std::clamp(b.widthTwips, 0, 1440);
    if (w == 0) w = 15;
    if (b.style == BorderLine::Style::Thick) w *= 2;
    if (b.style == BorderLine::Style::Double) w *= 3;                // two lines and the gap, all w wide
    if (b.style == BorderLine::Style::ThickThin) w += 2 * kThinLine;  // the thick line, a gap, a thin line
    return std::min(w, 1440);
}

Color BorderColor(const BorderLine& b) { return b.color.automatic ? Black() : b.color; }

// A cell's border on one side: its own, \brdrnone included, wins over its row's.
const BorderLine& CellBorder(const BorderLine& own, const BorderLine& row) {
    return own.Visible() || own.given ? own : row;
}

// The row's line above it: the table's top line on its first row, else the line between rows.
// Below, only the last row has the table's bottom line; the line between two rows is the
// lower one's top.
const BorderLine& RowTopLine(const TableRow& row, bool first) {
    return first ? row.borders.top : row.insideHorizontal;
}
const BorderLine kNoLine;
const BorderLine& RowBottomLine(const TableRow& row, bool last) { return last ? row.borders.bottom : kNoLine; }

// The widest top or bottom border line among the cells of row r.
int WidestBorder(const Table& table, std::size_t r, bool top) {
    const TableRow& row = table.rows[r];
    int widest = 0;
    for (const TableCell& cell : row.cells)
        widest = std::max(widest, BorderWidth(top ? CellBorder(cell.borders.top, RowTopLine(row, r == 0))
                                                  : CellBorder(cell.borders.bottom,
                                                               RowBottomLine(row, r + 1 == table.rows.size()))));
    return widest;
}

void AddRect(Items& items, int x, int y, int w, int h, Color color) {
    if (w <= 0 || h <= 0) return;
    items.rects.push_back(RectItem{x, y, w, h, color});
}

// Draws border `b` filling the rectangle (x, y, w, h), whose height (horizontal lines) or width
// (vertical ones) is BorderWidth(b): a double line as two strokes with the gap between them; a
// thick-thin line as its thick stroke on the outer side (`outerFirst`: the top or left of the
// rectangle), a gap and the thin stroke; dotted and dashed lines as their dots and dashes (at
// most kMaxBorderPieces to a line: longer lines space theirs out); other styles as one stroke.
void AddBorder(Items& items, int x, int y, int w, int h, bool horizontal, bool outerFirst, const BorderLine& b) {
    const Color color = BorderColor(b);
    const int across = horizontal ? h : w;
    if (b.style == BorderLine::Style::Dotted || b.style == BorderLine::Style::Dashed) {
        constexpr std::int64_t kMaxBorderPieces = 400;
        const std::int64_t along = horizontal ? w : h;
        const std::int64_t unit = std::max(across, 15);
        std::int64_t on = b.style == BorderLine::Style::Dotted ? unit : 4 * unit;
        std::int64_t off = b.style == BorderLine::Style::Dotted ? unit : 2 * unit;
        const std::int64_t period = std::max<std::int64_t>(on + off, along / kMaxBorderPieces + 1);
        on = period * on / (on + off);
        for (std::int64_t at = 0; at < along; at += period) {
            const int piece = static_cast<int>(std::min(on, along - at));
            if (horizontal) AddRect(items, x + static_cast<int>(at), y, piece, h, color);
            else AddRect(items, x, y + static_cast<int>(at), w, piece, color);
        }
        return;
    }
    int first = across, gap = 0;
    if (b.style == BorderLine::Style::Double && across >= 3) {
        first = across / 3;
        gap = across / 3;
    } else if (b.style == BorderLine::Style::ThickThin && across > 2 * kThinLine) {
        const int thick = across - 2 * kThinLine;
        first = outerFirst ? thick : kThinLine;
        gap = kThinLine;
    }
    const int second = across - first - gap;
    if (horizontal) {
        AddRect(items, x, y, w, first, color);
        if (gap > 0) AddRect(items, x, y + first + gap, w, second, color);
    } else {
        AddRect(items, x, y, first, h, color);
        if (gap > 0) AddRect(items, x + first + gap, y, second, h, color);
    }
}

}  // namespace

void AddPageBorders(Items& items, const Section& section, const PageSetup& setup) {
    const Borders& b = section.pageBorders;
    if (!b.top.Visible() && !b.left.Visible() && !b.bottom.Visible() && !b.right.Visible()) return;
    // The box's outer edges: the space is measured to the line from the paper's edge, or from
    // the margin outwards to the line's inner side.
    const auto space = [&](const BorderLine& line) { return std::clamp(line.spaceTwips, 0, 31680); };
    const auto width = [](const BorderLine& line) { return line.Visible() ? BorderWidth(line) : 0; };
    int left = space(b.left), top = space(b.top);
    int right = setup.width - space(b.right), bottom = setup.height - space(b.bottom);
    if (!section.pageBordersFromEdge) {
        left = setup.marginLeft - space(b.left) - width(b.left);
        top = setup.marginTop - space(b.top) - width(b.top);
        right = setup.width - setup.marginRight + space(b.right) + width(b.right);
        bottom = setup.height - setup.marginBottom + space(b.bottom) + width(b.bottom);
    }
    left = std::clamp(left, 0, setup.width);
    right = std::clamp(right, left, setup.width);
    top = std::clamp(top, 0, setup.height);
    bottom = std::clamp(bottom, top, setup.height);
    const int w = right - left, h = bottom - top;
    if (b.top.Visible()) AddBorder(items, left, top, w, std::min(width(b.top), h), true, true, b.top);
    if (b.bottom.Visible())
        AddBorder(items, left, bottom - std::min(width(b.bottom), h), w, std::min(width(b.bottom), h), true, false,
                  b.bottom);
    if (b.left.Visible()) AddBorder(items, left, top, std::min(width(b.left), w), h, false, true, b.left);
    if (b.right.Visible())
        AddBorder(items, right - std::min(width(b.right), w), top, std::min(width(b.right), w), h, false, false,
                  b.right);
}

namespace {

std::u16string LeaderText(TabStop::Leader leader) {
    switch (leader) {
    case TabStop::Leader::Dots: return u".";
    case TabStop::Leader::Hyphens: return u"-";
    case TabStop::Leader::Underline: case TabStop::Leader::Thick: return u"_";
    case TabStop::Leader::Equals: return u"=";
    default: return {};
    }
}

// An empty line that only takes room.
Line Spacer(int height, bool noteText) {
    Line line;
    line.height = height;
    line.noteText = noteText;
    return line;
}

}  // namespace

void Items::Append(Items&& other, int dx, int dy) {
    for (auto& t : other.texts) {
        t.x += dx;
        t.baseline += dy;
        texts.push_back(std::move(t));
    }
    for (auto& r : other.rects) {
        r.x += dx;
        r.y += dy;
        rects.push_back(r);
    }
    for (auto& p : other.pictures) {
        p.x += dx;
        p.y += dy;
        pictures.push_back(std::move(p));
    }
}

void Items::Append(const Items& other, int dx, int dy) {
    Items copy = other;
    Append(std::move(copy), dx, dy);
}

void ShiftLine(Line& line, int dx) {
    if (dx == 0) return;
    for (TextItem& t : line.items.texts) t.x += dx;
    for (RectItem& r : line.items.rects) r.x += dx;
    for (PictureItem& p : line.items.pictures) p.x += dx;
}

namespace {

// Moves everything `line` draws, and its line number's baseline, down by dy.
void ShiftLineDown(Line& line, int dy) {
    if (dy == 0) return;
    for (TextItem& t : line.items.texts) t.baseline += dy;
    for (RectItem& r : line.items.rects) r.y += dy;
    for (PictureItem& p : line.items.pictures) p.y += dy;
    if (line.numberBaseline >= 0) line.numberBaseline += dy;
}

}  // namespace

void DropLeading(Line& line) {
    if (line.leading <= 0) return;
    ShiftLineDown(line, -line.leading);
    line.height -= line.leading;
    line.leading = 0;
}

FreeSpan FindFreeSpan(const std::vector<Exclusion>& exclusions, int y, int height, int left, int right, int minWidth) {
    FreeSpan span{0, right - left, false, INT_MAX};
    int from = left, to = right;
    for (const Exclusion& ex : exclusions) {
        if (ex.top >= y + std::max(height, 1) || ex.bottom <= y || ex.left >= to || ex.right <= from) continue;
        span.clearY = std::min(span.clearY, ex.bottom);  // where the first of them ends
        // The wider of the parts left and right of it.
        if (ex.left - from >= to - ex.right) to = ex.left;
        else from = ex.right;
    }
    if (to - from < std::min(minWidth, right - left)) {
        span.blocked = true;
        return span;
    }
    span.clearY = y;
    span.left = from - left;
    span.width = to - from;
    return span;
}

int FirstUnblockedY(const std::vector<Exclusion>& exclusions, int y, int height, int left, int right, int minWidth) {
    FreeSpan span = FindFreeSpan(exclusions, y, height, left, right, minWidth);
    while (span.blocked && span.clearY > y) {
        y = span.clearY;
        span = FindFreeSpan(exclusions, y, height, left, right, minWidth);
    }
    return y;
}

int FrameLeft(const FramePosition& frame, int width, int refLeft, int refWidth, bool oddPage) {
    using H = FramePosition::HorzAlign;
    switch (frame.horzAlign) {
    case H::Offset: return refLeft + frame.x;
    case H::Left: return refLeft;
    case H::Center: return refLeft + (refWidth - width) / 2;
    case H::Right: return refLeft + refWidth - width;
    case H::Inside: return oddPage ? refLeft : refLeft + refWidth - width;
    case H::Outside: return oddPage ? refLeft + refWidth - width : refLeft;
    }
    return refLeft;
}

int FrameTop(const FramePosition& frame, int height, int refTop, int refHeight) {
    using V = FramePosition::VertAlign;
    switch (frame.vertAlign) {
    case V::Offset: return refTop + frame.y;
    case V::Center: return refTop + (refHeight - height) / 2;
    case V::Bottom: return refTop + refHeight - height;
    case V::Top: case V::Inline: return refTop;
    }
    return refTop;
}

int PlacedFrameTop(const FramePosition& frame, int height, int pageHeight, int marginTop, int marginBottom) {
    if (frame.vertRef == FramePosition::VertRef::Page) return FrameTop(frame, height, 0, pageHeight);
    return FrameTop(frame, height, marginTop, pageHeight - marginTop - marginBottom);
}

void DrawFrame(const FramePosition& frame, int x, int y, int width, int height, std::vector<RectItem>& out) {
    using Drawn = FramePosition::Drawn;
    const int rotation = ((frame.rotation % 360) + 360) % 360;
    const bool turned = rotation != 0 && frame.drawn != Drawn::Nothing;
    const bool straight = frame.drawn == Drawn::Across || frame.drawn == Drawn::Down;
    if (turned && !straight && FramePosition::IsSideways(rotation)) {
        // the drawing stands sideways in its box: its own width is the box's height
        x += (width - height) / 2;
        y += (height - width) / 2;
        std::swap(width, height);
    }
    if (frame.drawn == Drawn::WordArt) {
        RectItem item{x, y, width, height, frame.lineColor};
        item.shape = RectItem::Shape::Text;
        item.text = frame.shapeText;
        item.rotation = rotation;
        item.flipH = frame.flipH;
        item.flipV = frame.flipV;
        out.push_back(item);
        return;
    }
    const bool shape = frame.drawn == Drawn::Ellipse || frame.drawn == Drawn::Line || frame.drawn == Drawn::Preset ||
                       frame.rounded || turned;
    if (!frame.fill.automatic && !shape) out.push_back(RectItem{x, y, width, height, frame.fill});
    const int w = frame.lineWidth, half = w / 2;
    switch (shape ? Drawn::Line : frame.drawn) {
    case Drawn::Ellipse:
    case Drawn::Preset:
    case Drawn::Line: {
        RectItem item{x, y, width, height, frame.lineColor};
        item.shape = frame.drawn == Drawn::Ellipse                     ? RectItem::Shape::Ellipse
                     : frame.drawn == Drawn::Outline || frame.rounded ? RectItem::Shape::Box
                     : frame.drawn == Drawn::Preset                   ? RectItem::Shape::Preset
                                                                      : RectItem::Shape::Line;
        item.preset = frame.preset;
        item.rounded = frame.rounded;
        item.rotation = rotation;
        if (straight) {
            // a straight line, turned about its middle
            if (frame.drawn == Drawn::Across) item.y = y, item.height = 0;
            else item.x = x, item.width = 0;
        }
        item.lineWidth = frame.drawn == Drawn::Nothing ? 0 : w;  // a rounded fill alone
        item.fill = frame.fill;
        item.flipH = frame.flipH;
        item.flipV = frame.flipV;
        item.arrows = frame.arrows;
        out.push_back(item);
        break;
    }
    case FramePosition::Drawn::Outline:  // centred on the box's edges
        out.push_back(RectItem{x - half, y - half, width + w, w, frame.lineColor});
        out.push_back(RectItem{x - half, y + height - half, width + w, w, frame.lineColor});
        out.push_back(RectItem{x - half, y - half, w, height + w, frame.lineColor});
        out.push_back(RectItem{x + width - half, y - half, w, height + w, frame.lineColor});
        break;
    case FramePosition::Drawn::Across: out.push_back(RectItem{x, y - half, width, w, frame.lineColor}); break;
    case FramePosition::Drawn::Down: out.push_back(RectItem{x - half, y, w, height, frame.lineColor}); break;
    case FramePosition::Drawn::Nothing: case FramePosition::Drawn::WordArt: break;
    }
}

std::size_t BlockFormatter::FrameEnd(const Blocks& blocks, std::size_t first) {
    const FramePosition* lead = FrameOf(blocks[first]);
    std::size_t end = first + 1;
    if (!lead) return end;
    while (end < blocks.size()) {
        const FramePosition* frame = FrameOf(blocks[end]);
        if (!frame || !(*frame == *lead)) break;
        ++end;
    }
    return end;
}

FrameBox BlockFormatter::FormatFrame(const Blocks& blocks, std::size_t first, std::size_t end, int width,
                                     FormatContext& ctx, const Note* note) {
    FrameBox box;
    const FramePosition& frame = *FrameOf(blocks[first]);
    const int inner = frame.width > 0 ? frame.width : std::max(width, 1);
    // A frame with nothing in it (a drawn shape's) adds no empty lines to the text.
    bool empty = note == nullptr;
    for (std::size_t i = first; i < end && empty; ++i) {
        const auto* p = std::get_if<Paragraph>(&blocks[i].value);
        empty = p != nullptr && p->content.empty() && p->format->listLabel.empty();
    }
    FormatContext silent = ctx;
    silent.text = nullptr;
    silent.bookmarks = nullptr;
    for (std::size_t i = first; i < end; ++i) {
        if (const auto* p = std::get_if<Paragraph>(&blocks[i].value))
            FormatParagraph(*p, inner, empty ? silent : ctx, box.lines, i == first ? note : nullptr);
        else
            FormatTable(std::get<Table>(blocks[i].value), inner, ctx, box.lines, 0);
    }
    box.width = inner;
    if (frame.width <= 0) {
        // As wide as what it holds: from the leftmost thing drawn to the rightmost.
        int lo = INT_MAX, hi = INT_MIN;
        auto span = [&](int x, int w) {
            lo = std::min(lo, x);
            hi = std::max(hi, x + w);
        };
        for (const Line& line : box.lines) {
            for (const TextItem& t : line.items.texts)
                if (!t.text.empty()) span(t.x, t.width);
            for (const RectItem& r : line.items.rects) span(r.x, r.width);
            for (const PictureItem& p : line.items.pictures) span(p.x, p.width);
        }
        if (lo < hi) {
            for (Line& line : box.lines) ShiftLine(line, -lo);
            box.width = hi - lo;
        } else {
            box.width = 0;
        }
    }
    for (Line& line : box.lines) {
        box.height += line.height;
        line.keepWithNext = false;
    }
    if (frame.height < 0) box.height = -frame.height;
    else box.height = std::max(box.height, frame.height);
    return box;
}

void BlockFormatter::FormatAround(const Paragraph& paragraph, int width, int& y, const std::vector<Exclusion>& around,
                                  FormatContext& ctx, std::vector<Line>& out, const Note* note) {
    auto spacer = [&](int to) {
        out.push_back(Spacer(to - y, ctx.noteText));
        y = to;
    };
    // The first line's room is judged at a single line's height.
    const int start = FirstUnblockedY(around, y, kProbeLineHeight, 0, width);
    if (start > y) spacer(start);
    const FreeSpan span = FindFreeSpan(around, y, kProbeLineHeight, 0, width);
    const std::size_t textBase = ctx.text ? ctx.text->size() : 0;
    const std::size_t bookmarkBase = ctx.bookmarks ? ctx.bookmarks->size() : 0;
    std::vector<Line> lines;
    FormatParagraph(paragraph, span.width, ctx, lines, note);
    int cur = span.width, shift = span.left, reflows = kMaxWrapReflows;
    for (std::size_t k = 0; k < lines.size();) {
        FreeSpan room = FindFreeSpan(around, y, lines[k].height, 0, width);
        if (room.blocked) {
            spacer(room.clearY);
            continue;
        }
        if ((room.width != cur || room.left != shift) && reflows > 0) {
            --reflows;
            cur = room.width;
            shift = room.left;
            if (k == 0) {
                // The first line at its full height meets a frame the probe missed: the whole
                // paragraph is formatted anew for the room beside it, its text taken back first.
                if (ctx.text) ctx.text->resize(textBase);
                if (ctx.bookmarks) ctx.bookmarks->resize(bookmarkBase);
                lines.clear();
                FormatParagraph(paragraph, cur, ctx, lines, note);
                continue;
            }
            const ResumeAt resume{lines[k].unitStart, textBase};
            std::vector<Line> rest;
            FormatParagraph(paragraph, cur, ctx, rest, note, &resume);
            lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(k), lines.end());
            for (Line& line : rest) lines.push_back(std::move(line));
            if (k >= lines.size()) break;
            continue;
        }
        if (room.width < cur) {
            // Formatted wider than the room beside a frame: it goes below the frame.
            const FreeSpan below = FindFreeSpan(around, y, lines[k].height, 0, width, width);
            if (below.blocked && below.clearY > y) {
                spacer(below.clearY);
                continue;
            }
        }
        ShiftLine(lines[k], shift);
        y += lines[k].height;
        out.push_back(std::move(lines[k]));
        ++k;
    }
}

std::pair<int, int> BlockFormatter::PictureSize(const Picture& picture, int maxWidth, int maxHeight) {
    const Picture::Size size = picture.DisplaySize();
    std::int64_t w = size.width, h = size.height;
    maxWidth = std::max(maxWidth, 1);
    maxHeight = std::max(maxHeight, 1);
    if (w > maxWidth) {
        h = h * maxWidth / w;
        w = maxWidth;
    }
    if (h > maxHeight) {
        w = w * maxHeight / h;
        h = maxHeight;
    }
    return {static_cast<int>(w), static_cast<int>(h)};
}

// Small capitals: the lower-case letters are set as capitals at four fifths of the size, in
// segments of their own.
void BlockFormatter::AddRun(std::u16string_view text, const CharFormat& format, bool plain, TextItem::Field field,
                            int note) {
    if (!format.smallCaps || format.caps) {
        AddSegment(text, format, plain, field, note, false);
        return;
    }
    auto lower = [](char16_t c) { return Upper(c) != c; };
    for (std::size_t i = 0; i < text.size();) {
        std::size_t j = i + 1;
        while (j < text.size() && lower(text[j]) == lower(text[i])) ++j;
        AddSegment(text.substr(i, j - i), format, plain, field, i == 0 ? note : -1, lower(text[i]));
        i = j;
    }
}

void BlockFormatter::AddSegment(std::u16string_view text, const CharFormat& format, bool plain, TextItem::Field field,
                                int note, bool smaller) {
    if (text.empty()) return;
    Seg seg;
    seg.start = disp_.size();
    seg.format = &format;
    seg.field = field;
    seg.note = note;
    const int base = FontSizeTwips(format);
    int size = base;
    int raise = format.offsetHalfPoints * 10;
    if (format.verticalAlign == VerticalAlign::Superscript) {
        size = base * 2 / 3;
        raise += base / 3;
    } else if (format.verticalAlign == VerticalAlign::Subscript) {
        size = base * 2 / 3;
        raise -= base / 5;
    }
    raise = std::clamp(raise, -kMaxFontTwips, kMaxFontTwips);
    if (smaller) size = std::max(1, size * 4 / 5);
    seg.font = measure_.Font(format, size);
    seg.raise = raise;
    const VerticalMetrics& vm = measure_.Vertical(seg.font);
    seg.ascent = std::max(0, vm.ascent + raise);
    seg.descent = std::max(0, vm.descent - raise);
    seg.lineGap = vm.lineGap;
    if (plain) seg.plain = plain_.size();

    const std::size_t start = disp_.size();
    if (format.caps || format.smallCaps) {
        for (char16_t c : text) disp_.push_back(Upper(c));
    } else {
        disp_.append(text);
    }
    const std::size_t n = disp_.size();
    adv_.resize(n);
    measure_.Advances(seg.font, std::u16string_view(disp_).substr(start), adv_.data() + start);
    const int spacing = std::clamp(format.spacingTwips, -kMaxFontTwips, kMaxFontTwips);
    kind_.resize(n);
    for (std::size_t i = start; i < n; ++i) {
        kind_[i] = Classify(disp_[i]);
        if (kind_[i] == kTab || kind_[i] == kLineBreak) adv_[i] = 0;
        else if (spacing != 0) adv_[i] = std::max(0, adv_[i] + spacing);
    }
    if (plain) plain_.append(disp_, start, n - start);
    seg.end = n;
    segOf_.resize(n, static_cast<int>(segs_.size()));
    segs_.push_back(std::move(seg));
}

void BlockFormatter::AddSpecial(char16_t unit, std::uint8_t kind, const CharFormat& format, bool plain) {
    AddRun(std::u16string_view(&unit, 1), format, plain, TextItem::Field::None, -1);
    kind_.back() = kind;
    adv_.back() = 0;
}

void BlockFormatter::AddPicture(const std::shared_ptr<const Picture>& picture, const CharFormat& format,
                                int maxWidth, int maxHeight) {
    if (!picture) return;
    const auto [w, h] = PictureSize(*picture, maxWidth, maxHeight);
    // The picture is one character of the text, U+FFFC (an object), as in a word processor:
    // the words on either side stay apart for search, copy and screen readers.
    AddRun(u"\uFFFC", format, true, TextItem::Field::None, -1);
    Seg& seg = segs_.back();
    seg.picture = picture;
    seg.pictureWidth = w;
    seg.pictureHeight = h;
    seg.ascent = std::max(0, h + seg.raise);
    seg.descent = std::max(0, -seg.raise);
    kind_.back() = kObject;
    adv_.back() = w;
}

// Sets `ruby` above the last run: the line grows by the reading's height, the run stays on one
// line, and a reading wider than its run widens the run's room (the run at its start).
void BlockFormatter::AddRuby(const Ruby& ruby) {
    if (segs_.empty() || ruby.text.empty()) return;
    Seg& seg = segs_.back();
    const int size = ruby.sizeHalfPoints > 0 ? ruby.sizeHalfPoints * 10 : FontSizeTwips(*seg.format) / 2;
    seg.ruby = &ruby.text;
    seg.rubyFont = measure_.Font(*seg.format, std::max(size, 1));
    seg.rubyWidth = measure_.Width(seg.rubyFont, ruby.text);
    const VerticalMetrics& reading = measure_.Vertical(seg.rubyFont);
    seg.rubyBaseline = measure_.Vertical(seg.font).ascent + reading.descent;
    seg.ascent = std::max(seg.ascent, seg.raise + seg.rubyBaseline + reading.ascent);
    int width = 0;
    for (std::size_t i = seg.start; i < seg.end; ++i) {
        width += adv_[i];
        if (i + 1 < seg.end && (kind_[i] == kBreakAfter || kind_[i] == kSpace)) kind_[i] = kChar;
    }
    if (seg.rubyWidth > width) adv_[seg.end - 1] += seg.rubyWidth - width;
}

// The width of the tab at unit i, which starts at `at` (x from the flow's left edge). Centre,
// right and decimal tabs look ahead to the next tab (at most to `limit`).
int BlockFormatter::TabWidth(std::size_t i, int at, const ParaFormat& pf, bool firstLine, std::size_t limit,
                             int* leader, int* alignedStop) {
    if (alignedStop) *alignedStop = -1;
    int best = INT_MAX;
    const TabStop* stop = nullptr;
    if (tabsSorted_) {
        auto it = std::upper_bound(pf.tabs.begin(), pf.tabs.end(), at,
                                   [](int x, const TabStop& t) { return x < t.position; });
        while (it != pf.tabs.end() && it->kind == TabStop::Kind::Bar) ++it;
        if (it != pf.tabs.end()) {
            best = it->position;
            stop = &*it;
        }
    } else {
        for (const TabStop& t : pf.tabs) {
            if (t.kind != TabStop::Kind::Bar && t.position > at && t.position < best) {
                best = t.position;
                stop = &t;
            }
        }
    }
    // A hanging indent is a tab stop of its own (where list labels' tabs go).
    if (firstLine && pf.firstLineIndent < 0 && startIndent_ > at && startIndent_ < best) {
        best = startIndent_;
        stop = nullptr;
    }
    if (best == INT_MAX) {
        // the next default stop (\deftab; too small or none: every half inch)
        const int step = document_.defaultTab >= kMinDefaultTab ? document_.defaultTab : kDefaultTab;
        const int q = at >= 0 ? at / step : -((-at + step - 1) / step);
        best = (q + 1) * step;
        if (best <= at) best += step;
    }
    if (leader) *leader = stop ? static_cast<int>(stop->leader) : 0;
    const TabStop::Kind kind = stop ? stop->kind : TabStop::Kind::Left;
    if (kind == TabStop::Kind::Left || kind == TabStop::Kind::Bar) return best - at;
    if (best > tabLimit_ && tabLimit_ > at) best = tabLimit_;
    if (alignedStop) *alignedStop = best;
    int segment = 0;
    for (std::size_t j = i + 1; j < limit; ++j) {
        const std::uint8_t k = kind_[j];
        if (k == kTab || k == kLineBreak || k == kColumnBreak) break;
        if (kind == TabStop::Kind::Decimal && (disp_[j] == u'.' || disp_[j] == u',')) break;
        segment += adv_[j];
        if (segment > (1 << 24)) break;
    }
    const int w = kind == TabStop::Kind::Center ? best - at - segment / 2 : best - at - segment;
    return std::max(0, w);
}

void BlockFormatter::FormatParagraph(const Paragraph& p, int width, FormatContext& ctx, std::vector<Line>& out,
                                     const Note* note, const ResumeAt* resume) {
    disp_.clear();
    plain_.clear();
    kind_.clear();
    adv_.clear();
    segOf_.clear();
    segs_.clear();
    const ParaFormat& pf = *p.format;
    tabsSorted_ = std::is_sorted(pf.tabs.begin(), pf.tabs.end(),
                                 [](const TabStop& a, const TabStop& b) { return a.position < b.position; });
    width = std::max(width, 1);
    const int li = std::clamp(pf.leftIndent, -width * 4, width * 4);
    const int ri = std::clamp(pf.rightIndent, -width * 4, width * 4);
    const int fi = std::clamp(pf.firstLineIndent, -width * 4, width * 4);
    const int bodyWidth = std::max(1, width - li - ri);
    // the indents on the lines' start and end sides
    const int si = pf.rightToLeft ? ri : li, ei = pf.rightToLeft ? li : ri;
    startIndent_ = si;

    if (note && !note->mark.empty() && !(!p.content.empty() && p.content.front().kind == Inline::Kind::NoteRef)) {
        CharFormat& markFormat = markFormats_.emplace_back(p.content.empty() ? p.endFormat : p.content.front().format);
        if (markFormat.verticalAlign == VerticalAlign::Baseline) markFormat.verticalAlign = VerticalAlign::Superscript;
        AddRun(note->mark, markFormat, true, TextItem::Field::None, -1);
        AddRun(u" ", p.content.empty() ? p.endFormat : p.content.front().format, true, TextItem::Field::None, -1);
    }
    labelShift_ = 0;
    tabLimit_ = width;
    if (!pf.listLabel.empty()) {
        const std::size_t labelStart = adv_.size();
        AddRun(pf.listLabel, pf.listLabelFormat, true, TextItem::Field::None, -1);
        if (pf.listLabelAlign != ParaFormat::LabelAlign::Left) {
            long long labelWidth = 0;
            for (std::size_t j = labelStart; j < adv_.size(); ++j) labelWidth += adv_[j];
            if (pf.listLabelAlign == ParaFormat::LabelAlign::Center) labelWidth /= 2;
            labelShift_ = static_cast<int>(std::min<long long>(labelWidth, width));
        }
        if (pf.listLabelFollow == ParaFormat::LabelFollow::Tab)
            AddSpecial(u'\t', kTab, pf.listLabelFormat, true);
        else if (pf.listLabelFollow == ParaFormat::LabelFollow::Space)
            AddRun(u" ", pf.listLabelFormat, true, TextItem::Field::None, -1);
    }
    for (const Inline& in : p.content) {
        // Hidden text (\v) shows nothing of what it holds: no tabs, breaks, fields or pictures
        // either. A hidden note mark still takes its note along.
        if (in.format.hidden && in.kind != Inline::Kind::Bookmark && in.kind != Inline::Kind::NoteRef) continue;
        switch (in.kind) {
        case Inline::Kind::Text:
            AddRun(in.text, in.format, true, TextItem::Field::None, -1);
            break;
        case Inline::Kind::Tab:
            AddSpecial(u'\t', kTab, in.format, true);
            break;
        case Inline::Kind::LineBreak:
            AddSpecial(u'\v', kLineBreak, in.format, true);
            break;
        case Inline::Kind::ColumnBreak:
            AddSpecial(u'\f', kColumnBreak, in.format, false);
            break;
        // Page fields are part of the text with the result they show; the layout puts in
        // their final result once it is known.
        case Inline::Kind::PageNumber:
            AddRun(ctx.pageNumber, in.format, true, TextItem::Field::PageNumber, -1);
            break;
        case Inline::Kind::PageCount:
            AddRun(in.text.empty() ? ctx.pageCount : in.text, in.format, true, TextItem::Field::PageCount, -1);
            break;
        case Inline::Kind::PageRef: {
            const std::size_t before = segs_.size();
            AddRun(in.text.empty() ? ctx.pageNumber : in.text, in.format, true, TextItem::Field::PageRef, -1);
            if (segs_.size() > before) segs_.back().bookmark = in.bookmark;
            break;
        }
        case Inline::Kind::Bookmark:
            if (ctx.text && ctx.bookmarks && !resume)
                ctx.bookmarks->emplace_back(in.bookmark, ctx.text->size() + plain_.size());
            break;
        case Inline::Kind::Picture:
            AddPicture(in.picture, in.format, bodyWidth, ctx.maxPictureHeight);
            break;
        case Inline::Kind::Ruby: {
            const std::size_t before = segs_.size();
            AddRun(in.text, in.format, true, TextItem::Field::None, -1);
            if (segs_.size() > before && in.note >= 0 && static_cast<std::size_t>(in.note) < document_.rubies.size())
                AddRuby(document_.rubies[static_cast<std::size_t>(in.note)]);
            break;
        }
        case Inline::Kind::NoteRef: {
            const bool valid = in.note >= 0 && static_cast<std::size_t>(in.note) < document_.notes.size();
            if (!valid) break;
            CharFormat f = in.format;
            if (f.verticalAlign == VerticalAlign::Baseline) f.verticalAlign = VerticalAlign::Superscript;
            const std::u16string& mark = document_.notes[in.note].mark;
            if (mark.empty()) {
                // The file wrote the mark itself: only the anchor that takes the note along,
                // an object of no width.
                AddRun(u"\uFFFC", in.format, false, TextItem::Field::None, ctx.collectNotes ? in.note : -1);
                kind_.back() = kObject;
                adv_.back() = 0;
                break;
            }
            // Marks' formats live in segs_ only as pointers: keep the adjusted copy alive.
            markFormats_.push_back(f);
            AddRun(mark, markFormats_.back(), true, TextItem::Field::None, ctx.collectNotes ? in.note : -1);
            break;
        }
        }
    }

    const std::size_t base = resume ? resume->textBase : ctx.text ? ctx.text->size() : 0;
    const std::size_t n = disp_.size();
    std::size_t firstOut = out.size();
    if (n == 0 && !resume) {
        out.emplace_back();
        EmitLine(p, 0, 0, true, true, false, width, base, ctx, out.back());
    }
    std::size_t s = resume ? std::min(resume->unit, n) : 0;
    bool first = !resume;
    // A right indent reaching past the other edge leaves no room at all: the lines take the
    // room up to the edge instead, as for text at a stop beyond the indent (below).
    const bool indentPastEdge = width - ei < -1;
    while (s < n) {
        const int left = si + (first ? fi - labelShift_ : 0);
        int avail = std::max(1, width - left - ei);
        int x = 0;
        std::size_t brk = s, e = n;
        bool hard = false;
        for (std::size_t i = s; i < n; ++i) {
            const std::uint8_t k = kind_[i];
            if (k == kLineBreak || k == kColumnBreak) {
                e = i + 1;
                hard = true;
                break;
            }
            int a = adv_[i];
            bool breakAfter = k == kBreakAfter || k == kObject;
            if (k == kTab) {
                int alignedStop = -1;
                a = TabWidth(i, left + x, pf, first, n, nullptr, &alignedStop);
                // Text set at a centre, right or decimal stop beyond the right indent may run
                // into the indent, up to the edge of the text's room, rather than wrap: word
                // processors honour such stops (a cell's figures, a contents line's page number).
                if (alignedStop > width - ei && alignedStop <= width) avail = std::max(avail, width - left);
                // A line may end after a left tab: text after it that does not fit wraps, the
                // tab (and its leader) stays. Text set at an aligned stop goes with its tab.
                breakAfter = alignedStop < 0;
            } else if (indentPastEdge) {
                avail = std::max(avail, width - left);
            }
            if (k == kSpace) {
                x += a;
                brk = i + 1;
                continue;
            }
            if (i > s && x + a > avail) {
                // A word too long for the line breaks after its last slash that fits rather than
                // at its last letter ("Requester/" "Trainer:", a path or a link), as word
                // processors do; looked for only here, off the path every unit takes.
                std::size_t slash = s;
                if (k != kObject && brk <= s) {
                    for (std::size_t j = i; j > s && slash == s; --j)
                        if (disp_[j - 1] == u'/') slash = j;
                }
                if (slash > s) {
                    e = slash;
                } else if (k == kObject || brk <= s) {
                    e = i;
                    if (IsLowSurrogate(disp_[e]) && e - 1 > s) --e;
                } else {
                    e = brk;
                }
                break;
            }
            x += a;
            if (breakAfter) brk = i + 1;
        }
        out.emplace_back();
        out.back().unitStart = s;
        EmitLine(p, s, e, first, e >= n && !hard, hard, width, base, ctx, out.back());
        if (hard && e >= n) {
            // A paragraph that ends in a line break has an empty last line.
            out.emplace_back();
            out.back().unitStart = e;
            EmitLine(p, e, e, false, true, false, width, base, ctx, out.back());
        }
        s = e;
        first = false;
    }

    if (out.size() == firstOut) {  // resumed past the end
        markFormats_.clear();
        return;
    }
    // Space before and after, borders' room, and keeps on the first and last lines.
    const Borders& b = pf.borders;
    const int top = b.top.Visible() ? BorderWidth(b.top) + std::clamp(b.top.spaceTwips, 0, 1440) : 0;
    const int bottom = b.bottom.Visible() ? BorderWidth(b.bottom) + std::clamp(b.bottom.spaceTwips, 0, 1440) : 0;
    const int before = std::clamp(pf.spaceBefore, 0, 31680);
    const int after = std::clamp(pf.spaceAfter, 0, 31680);
    Line& lastLine = out.back();
    const bool boxed = !pf.shading.automatic || b.left.Visible() || b.right.Visible() || b.top.Visible() ||
                       b.bottom.Visible();
    // Each line draws its slice of the paragraph's box, so a paragraph cut by a page break keeps
    // its shading and side borders on both pages.
    const int boxLeft = (pf.rightToLeft ? li : std::min(li, li + fi)) -
                        (b.left.Visible() ? BorderWidth(b.left) + std::clamp(b.left.spaceTwips, 0, 1440) : 0);
    const int boxRight = width - (pf.rightToLeft ? std::min(ri, ri + fi) : ri) +
                         (b.right.Visible() ? BorderWidth(b.right) + std::clamp(b.right.spaceTwips, 0, 1440) : 0);
    for (std::size_t k = firstOut; k < out.size(); ++k) {
        Line& line = out[k];
        const bool isFirst = k == firstOut && !resume, isLast = k + 1 == out.size();
        const int lead = (isFirst ? before + top : 0);
        const int extra = (isLast ? bottom : 0);
        ShiftLineDown(line, lead);
        line.height += lead + extra;
        if (isFirst) line.leading = before;
        if (boxed) {
            const int y0 = isFirst ? before : 0;
            const int h = line.height - y0;
            Items box;
            if (!pf.shading.automatic) AddRect(box, boxLeft, y0, boxRight - boxLeft, h, pf.shading);
            if (isFirst && b.top.Visible())
                AddBorder(box, boxLeft, y0, boxRight - boxLeft, BorderWidth(b.top), true, true, b.top);
            if (isLast && b.bottom.Visible())
                AddBorder(box, boxLeft, y0 + h - BorderWidth(b.bottom), boxRight - boxLeft, BorderWidth(b.bottom), true,
                          false, b.bottom);
            if (b.left.Visible()) AddBorder(box, boxLeft, y0, BorderWidth(b.left), h, false, true, b.left);
            if (b.right.Visible())
                AddBorder(box, boxRight - BorderWidth(b.right), y0, BorderWidth(b.right), h, false, false, b.right);
            // Shading goes under the text.
            box.rects.insert(box.rects.end(), line.items.rects.begin(), line.items.rects.end());
            line.items.rects = std::move(box.rects);
        }
    }
    lastLine.height += after;
    lastLine.trailing = after;

    const std::size_t count = out.size() - firstOut;
    if (pf.keepTogether)
        for (std::size_t k = firstOut; k + 1 < out.size(); ++k) out[k].keepWithNext = true;
    if (pf.widowControl && count >= 2) {
        out[firstOut].keepWithNext = true;  // no single first line at a page's foot
        out[out.size() - 2].keepWithNext = true;  // no single last line at a page's head
    }
    if (pf.keepWithNext) lastLine.keepWithNext = true;

    if (ctx.text && !resume) {
        ctx.text->append(plain_);
        ctx.text->append(u"\r\n");
    }
    markFormats_.clear();
}

void BlockFormatter::EmitLine(const Paragraph& p, std::size_t s, std::size_t e, bool first, bool last, bool hard,
                              int width, std::size_t textBase, FormatContext& ctx, Line& line) {
    const ParaFormat& pf = *p.format;
    const bool rtl = pf.rightToLeft;
    // the indents on the lines' start and end sides
    const int si = std::clamp(rtl ? pf.rightIndent : pf.leftIndent, -width * 4, width * 4);
    const int ei = std::clamp(rtl ? pf.leftIndent : pf.rightIndent, -width * 4, width * 4);
    const int fi = std::clamp(pf.firstLineIndent, -width * 4, width * 4);
    const int left = si + (first ? fi - labelShift_ : 0);
    const int avail = std::max(1, width - left - ei);
    line.noteText = ctx.noteText;
    line.columnBreakAfter = e > s && kind_[e - 1] == kColumnBreak;

    // Positions, with the tabs resolved for this line.
    if (pos_.size() < e + 1) pos_.resize(e + 1);
    if (tabw_.size() < e + 1) tabw_.resize(e + 1);
    if (leader_.size() < e + 1) leader_.resize(e + 1);
    int x = 0;
    std::size_t lastTab = s;
    for (std::size_t i = s; i < e; ++i) {
        pos_[i] = x;
        if (kind_[i] == kTab) {
            int leader = 0;
            tabw_[i] = TabWidth(i, left + x, pf, first, e, &leader);
            x += tabw_[i];
            lastTab = i + 1;
            leader_[i] = static_cast<std::uint8_t>(leader);
        } else {
            x += adv_[i];
        }
    }
    pos_[e] = x;
    std::size_t contentEnd = e;
    while (contentEnd > s && (kind_[contentEnd - 1] == kSpace || kind_[contentEnd - 1] == kLineBreak ||
                              kind_[contentEnd - 1] == kColumnBreak))
        --contentEnd;
    const int contentWidth = pos_[contentEnd];

    // Alignment and justification.
    int offset = 0;
    // laid out from the start side: a right-to-left line aligned right starts at its start
    const Alignment align = !rtl ? pf.alignment
                            : pf.alignment == Alignment::Left  ? Alignment::Right
                            : pf.alignment == Alignment::Right ? Alignment::Left
                                                               : pf.alignment;
    if (align == Alignment::Center) offset = std::max(0, (avail - contentWidth) / 2);
    else if (align == Alignment::Right) offset = std::max(0, avail - contentWidth);
    const bool justify = (align == Alignment::Justify && !last && !hard) || align == Alignment::Distribute;
    int spaces = 0;
    if (justify && contentWidth < avail)
        for (std::size_t i = lastTab; i < contentEnd; ++i) spaces += kind_[i] == kSpace;
    const int extra = spaces ? avail - contentWidth : 0;
    const int perSpace = spaces ? extra / spaces : 0;
    int remainder = spaces ? extra % spaces : 0;

    // Vertical metrics.
    int ascent = 0, descent = 0, gap = 0;
    if (s < e) {
        for (int g = segOf_[s]; g <= segOf_[e - 1]; ++g) {
            ascent = std::max(ascent, segs_[g].ascent);
            descent = std::max(descent, segs_[g].descent);
            gap = std::max(gap, segs_[g].lineGap);
        }
    } else {
        const CharFormat& f = p.endFormat;
        const VerticalMetrics& vm = measure_.Vertical(measure_.Font(f, FontSizeTwips(f)));
        ascent = vm.ascent;
        descent = vm.descent;
        gap = vm.lineGap;
    }
    // Single, multiple and at-least spacing count the fonts' line gap below the text; exact
    // spacing is the height given, the text standing on its descent.
    const int natural = ascent + descent + gap;
    int height = natural, baseline = ascent;
    const int sl = std::clamp(pf.lineSpacing, -31680, 31680);
    if (sl < 0) {
        height = -sl;
        baseline = height - descent;
    } else if (sl > 0 && pf.lineMultiple) {
        height = static_cast<int>(static_cast<std::int64_t>(natural) * sl / 240);
        baseline = height - descent - gap;
    } else if (sl > 0) {
        height = std::max(natural, sl);
        baseline = height - descent - gap;
    }
    line.height = height;
    if (!pf.noLineNumbers) line.numberBaseline = baseline;

    // A line with tracked changes has a bar in the margin beside it, as word processors mark
    // changed lines (not in cells and frames, whose margin is other text).
    if (cellDepth_ == 0 && !pf.frame.set && s < e) {
        for (int g = segOf_[s]; g <= segOf_[e - 1]; ++g) {
            if (segs_[g].format->revision == CharFormat::Revision::None) continue;
            AddRect(line.items, -kChangeBarGap - kThinLine, 0, kThinLine, height, Black());
            break;
        }
    }

    // Items.
    const std::size_t firstText = line.items.texts.size();
    int shift = 0;
    const int x0 = left + offset;
    for (std::size_t i = s; i < contentEnd;) {
        const std::uint8_t k = kind_[i];
        const Seg& seg = segs_[segOf_[i]];
        if (k == kTab) {
            const auto leader = static_cast<TabStop::Leader>(leader_[i]);
            const std::u16string fill = LeaderText(leader);
            if (!fill.empty() && tabw_[i] > 0) {
                const int w = std::max(1, measure_.Width(seg.font, fill));
                const int count = std::min(tabw_[i] / w, 4096);
                if (count > 0) {
                    TextItem t;
                    t.text.reserve(count);
                    for (int c = 0; c < count; ++c) t.text += fill;
                    t.width = count * w;
                    t.x = x0 + pos_[i] + shift + tabw_[i] - t.width;
                    t.baseline = baseline - seg.raise;
                    t.font = seg.font;
                    t.color = TextColor(*seg.format);
                    t.textOffset = kNoTextOffset;
                    line.items.texts.push_back(std::move(t));
                }
            }
            ++i;
            continue;
        }
        if (k == kObject) {
            if (seg.pictureWidth > 0 && seg.pictureHeight > 0)
                line.items.pictures.push_back(PictureItem{x0 + pos_[i] + shift, baseline - seg.raise - seg.pictureHeight,
                                                          seg.pictureWidth, seg.pictureHeight, seg.picture});
            if (seg.note >= 0 && std::find(line.notes.begin(), line.notes.end(), seg.note) == line.notes.end())
                line.notes.push_back(seg.note);
            ++i;
            continue;
        }
        if (k == kLineBreak || k == kColumnBreak) {
            ++i;
            continue;
        }
        const int itemShift = shift;
        std::size_t j = i;
        while (j < contentEnd && segOf_[j] == segOf_[i]) {
            const std::uint8_t kj = kind_[j];
            if (kj == kTab || kj == kObject || kj == kLineBreak || kj == kColumnBreak) break;
            ++j;
            if (kj == kSpace && spaces && j - 1 >= lastTab) {
                shift += perSpace + (remainder > 0 ? 1 : 0);
                if (remainder > 0) --remainder;
                break;  // the next word starts a new item at its justified position
            }
        }
        TextItem t;
        t.x = x0 + pos_[i] + itemShift;
        t.baseline = baseline - seg.raise;
        t.width = pos_[j] - pos_[i];
        t.font = seg.font;
        t.text.assign(disp_, i, j - i);
        const CharFormat& f = *seg.format;
        t.color = TextColor(f);
        t.underline = f.revision == CharFormat::Revision::Inserted && f.underline == Underline::None ? Underline::Single
                                                                                                   : f.underline;
        t.underlineColor = f.underlineColor;
        t.strike = f.strike || f.doubleStrike || f.revision == CharFormat::Revision::Deleted;
        t.link = f.link;
        t.field = seg.field;
        if (seg.bookmark >= 0 && static_cast<std::size_t>(seg.bookmark) < Document::kMaxBookmarks)
            t.bookmark = static_cast<std::uint16_t>(seg.bookmark);
        t.charSpacing = std::clamp(f.spacingTwips, -kMaxFontTwips, kMaxFontTwips);  // as measured
        const std::size_t offset = textBase + seg.plain + (i - seg.start);
        t.textOffset = ctx.text && seg.plain != kNoPlain && offset < kNoTextOffset ? static_cast<TextOffset>(offset)
                                                                                    : kNoTextOffset;
        if (!f.highlight.automatic)
            AddRect(line.items, t.x, baseline - ascent, t.width, ascent + descent, f.highlight);
        if (seg.ruby && i == seg.start) {
            // the reading, centred over the run's room; not part of the document's text
            TextItem r;
            const int room = pos_[std::min(seg.end, e)] - pos_[i];
            r.x = t.x + (room - seg.rubyWidth) / 2;
            r.baseline = t.baseline - seg.rubyBaseline;
            r.width = seg.rubyWidth;
            r.font = seg.rubyFont;
            r.text = *seg.ruby;
            r.color = f.color;
            r.link = f.link;
            r.textOffset = kNoTextOffset;
            line.items.texts.push_back(std::move(r));
        }
        line.items.texts.push_back(std::move(t));
        if (seg.note >= 0 && std::find(line.notes.begin(), line.notes.end(), seg.note) == line.notes.end())
            line.notes.push_back(seg.note);
        i = j;
    }
    if (rtl) MirrorLine(line.items, firstText, width);
}

namespace {

// What sets a run's direction: a right-to-left letter (Hebrew, Arabic, their presentation
// forms), else a left-to-right one (Latin, Greek, Cyrillic, Indic, CJK ...), else a digit.
enum class Strong : std::uint8_t { None, Left, Right, Digit };

Strong DirectionOf(std::u16string_view text) {
    bool left = false, digit = false;
    for (const char16_t c : text) {
        if ((c >= 0x0590 && c <= 0x08FF) || (c >= 0xFB1D && c <= 0xFDFF) || (c >= 0xFE70 && c <= 0xFEFE))
            return Strong::Right;
        if (c >= u'0' && c <= u'9') digit = true;
        else if ((c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= 0xC0 && c < 0x0590 && c != 0xD7 && c != 0xF7) ||
                 (c >= 0x0900 && c < 0x2000) || (c >= 0x2E80 && c < 0xD800) || (c >= 0xF900 && c < 0xFB1D))
            left = true;
    }
    return left ? Strong::Left : digit ? Strong::Digit : Strong::None;
}

}  // namespace

// The items of a line laid out from its start (x from the left) stand at their mirror images,
// so that the line reads from the right. Runs of left-to-right text (with the digits,
// spaces and punctuation between them) keep their own order inside the place they get, as
// the bidirectional algorithm orders them; each run's characters are put in order when drawn.
void BlockFormatter::MirrorLine(Items& items, std::size_t firstText, int width) {
    auto& texts = items.texts;
    const std::size_t n = texts.size();
    // groups of items that stay in their left-to-right order: [first, last] and where they
    // move to, as a shift of their logical x
    struct Group {
        std::size_t first, last;
        int shift;
    };
    std::vector<Strong> direction(n - firstText);
    for (std::size_t k = firstText; k < n; ++k) direction[k - firstText] = DirectionOf(texts[k].text);
    std::vector<Group> groups;
    for (std::size_t i = firstText; i < n;) {
        if (direction[i - firstText] != Strong::Left) {
            ++i;
            continue;
        }
        std::size_t last = i;
        for (std::size_t k = i + 1; k < n; ++k) {
            const Strong d = direction[k - firstText];
            if (d == Strong::Right) break;
            if (d != Strong::None) last = k;  // digits after left-to-right text are its own
        }
        int lo = INT_MAX, hi = INT_MIN;
        for (std::size_t k = i; k <= last; ++k) {
            lo = std::min(lo, texts[k].x);
            hi = std::max(hi, texts[k].x + texts[k].width);
        }
        groups.push_back(Group{i, last, width - hi - lo});
        i = last + 1;
    }
    auto groupOf = [&](int x, int w) -> const Group* {
        for (const Group& g : groups)
            for (std::size_t k = g.first; k <= g.last; ++k)
                if (texts[k].x == x && texts[k].width == w) return &g;
        return nullptr;
    };
    // highlights first: they are matched to their runs by the runs' unmirrored places
    for (RectItem& r : items.rects) {
        const Group* g = groupOf(r.x, r.width);
        r.x = g ? r.x + g->shift : width - r.x - r.width;
    }
    for (PictureItem& pic : items.pictures) pic.x = width - pic.x - pic.width;
    std::vector<int> shifted(n - firstText, INT_MIN);
    for (const Group& g : groups)
        for (std::size_t k = g.first; k <= g.last; ++k) shifted[k - firstText] = texts[k].x + g.shift;
    for (std::size_t k = firstText; k < n; ++k) {
        TextItem& t = texts[k];
        const bool inGroup = shifted[k - firstText] != INT_MIN;
        t.x = inGroup ? shifted[k - firstText] : width - t.x - t.width;
        t.rightToLeft = !inGroup;
    }
}

void BlockFormatter::FormatBlocks(const Blocks& blocks, int width, FormatContext& ctx, std::vector<Line>& out,
                                  int depth, const Note* note) {
    bool firstParagraph = true;
    // Frames that the text after them flows around, and where the lowest of them ends: y counts
    // from the top of these blocks.
    std::vector<Exclusion> around;
    int y = 0, frameBottom = 0;
    auto push = [&](Line&& line) {
        y += line.height;
        out.push_back(std::move(line));
    };
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const Block& block = blocks[i];
        const auto* p = std::get_if<Paragraph>(&block.value);
        const Note* lead = p != nullptr && firstParagraph ? note : nullptr;
        if (p != nullptr) firstParagraph = false;
        // A positioned frame in a table cell is laid out in the cell's flow, as word processors
        // do; a shape placed from its paragraph is placed in the cell, from the cell's left
        // edge, as Word and LibreOffice lay it out (above the cell too).
        const bool inCell = cellDepth_ > 0;
        const FramePosition* framed = FrameOf(block);
        if (inCell && framed != nullptr && !(framed->shape && framed->vertRef == FramePosition::VertRef::Paragraph))
            framed = nullptr;
        if (framed != nullptr && (p != nullptr || depth < kMaxTableDepth)) {
            const std::size_t end = FrameEnd(blocks, i);
            FrameBox box = FormatFrame(blocks, i, end, width, ctx, lead);
            i = end - 1;
            const FramePosition& frame = *framed;
            int refLeft = 0, refWidth = width;
            if (frame.horzRef == FramePosition::HorzRef::Page && ctx.pageWidth > 0 && !inCell) {
                refLeft = -ctx.flowLeft;
                refWidth = ctx.pageWidth;
            }
            const int x = FrameLeft(frame, box.width, refLeft, refWidth, true);
            Line line;
            line.noteText = ctx.noteText;
            const bool onPage = ctx.placeOnPage && frame.vertRef != FramePosition::VertRef::Paragraph &&
                                frame.vertAlign != FramePosition::VertAlign::Inline;
            int top = 0;
            if (onPage) {
                top = std::clamp(PlacedFrameTop(frame, box.height, ctx.pageHeight, ctx.marginTop, ctx.marginBottom),
                                 0, std::max(0, ctx.pageHeight - box.height));
            } else {
                const int offset = frame.vertAlign == FramePosition::VertAlign::Offset ? frame.y : 0;
                // a shape in a cell stays within a page's body height of the cell's top (the
                // height pictures are scaled to), as the page keeps those outside tables
                top = inCell ? std::min(y + offset, std::max(y, ctx.maxPictureHeight - box.height))
                             : std::max(0, y + offset);
            }
            int dy = top - (onPage ? 0 : y);
            line.frame = !onPage;
            line.boxTop = dy;
            line.boxBottom = dy + box.height;
            DrawFrame(frame, x, dy, box.width, box.height, line.items.rects);
            for (Line& l : box.lines) {
                line.items.Append(std::move(l.items), x, dy);
                line.notes.insert(line.notes.end(), l.notes.begin(), l.notes.end());
                dy += l.height;
            }
            if (onPage) {
                line.placed = true;  // drawn where it stands, taking no room
                out.push_back(std::move(line));
                continue;
            }
            const Exclusion ex{top - frame.gapY, top + box.height + frame.gapY, x - frame.gapX,
                               x + box.width + frame.gapX};
            if (frame.inFront) {
                out.push_back(std::move(line));  // the text runs under it
            } else if (frame.wrap && !FindFreeSpan({ex}, top, 1, 0, width).blocked) {
                out.push_back(std::move(line));  // the text after it flows beside it
                if (around.size() < kMaxExclusions) around.push_back(ex);
                frameBottom = std::max(frameBottom, top + box.height);
            } else {
                line.height = std::max(0, ex.bottom - y);
                push(std::move(line));
            }
            continue;
        }
        if (p != nullptr) {
            if (around.empty()) {
                const std::size_t before = out.size();
                FormatParagraph(*p, width, ctx, out, lead);
                for (std::size_t k = before; k < out.size(); ++k) y += out[k].height;
            } else {
                FormatAround(*p, width, y, around, ctx, out, lead);
            }
        } else if (const auto* t = std::get_if<Table>(&block.value)) {
            if (depth >= kMaxTableDepth) continue;
            if (y < frameBottom) push(Spacer(frameBottom - y, ctx.noteText));  // tables go below the frames before them
            around.clear();
            const std::size_t before = out.size();
            FormatTable(*t, width, ctx, out, depth);
            for (std::size_t k = before; k < out.size(); ++k) y += out[k].height;
        }
    }
    // the blocks hold their frames
    if (y < frameBottom && !ctx.floatsTakeNoRoom) push(Spacer(frameBottom - y, ctx.noteText));
}

void BlockFormatter::FormatTable(const Table& table, int width, FormatContext& ctx, std::vector<Line>& out, int depth) {
    VerticalSpans spans;
    for (std::size_t r = 0; r < table.rows.size(); ++r) {
        RowBox row = FormatRow(table, r, width, ctx, spans, depth + 1);
        if (row.cells.empty()) continue;
        Line line = RowSlice(row, 0, row.height);
        line.notes = std::move(row.notes);
        line.noteText = ctx.noteText;
        out.push_back(std::move(line));
    }
}

RowBox BlockFormatter::FormatRow(const Table& table, std::size_t r, int width, FormatContext& ctx,
                                 VerticalSpans& spans, int depth) {
    RowBox box;
    const TableRow& row = table.rows[r];
    const std::size_t n = row.cells.size();
    if (n == 0) return box;

    // Cell edges: \cellx positions count from the text's left edge; out-of-order edges are
    // taken as zero-width cells, a row without any width is shared out evenly.
    auto edgesOf = [&](const TableRow& rw, std::vector<int>& rights) {
        rights.resize(rw.cells.size());
        int prev = std::clamp(rw.leftOffset, -(1 << 22), 1 << 22);
        for (std::size_t i = 0; i < rw.cells.size(); ++i) {
            prev = std::max(prev, std::clamp(rw.cells[i].rightEdge, -(1 << 22), 1 << 22));
            rights[i] = prev;
        }
    };
    std::vector<int> rights, nextRights;
    edgesOf(row, rights);
    int left0 = std::clamp(row.leftOffset, -(1 << 22), 1 << 22);
    if (rights.back() <= left0) {
        const int each = std::max(1, (width - left0) / static_cast<int>(n));
        for (std::size_t i = 0; i < n; ++i) rights[i] = left0 + each * static_cast<int>(i + 1);
    }
    int shift = 0;
    if (row.alignment == Alignment::Center) shift = (width - (rights.back() - left0)) / 2 - left0;
    else if (row.alignment == Alignment::Right) shift = width - rights.back();
    const TableRow* next = r + 1 < table.rows.size() ? &table.rows[r + 1] : nullptr;
    if (next) edgesOf(*next, nextRights);
    auto continuesBelow = [&](int edge) {
        if (!next || next->cells.empty()) return false;
        auto it = std::lower_bound(nextRights.begin(), nextRights.end(), edge);
        return it != nextRights.end() && *it == edge && next->cells[it - nextRights.begin()].verticalMerged;
    };
    // The room on each side of a cell's text, as word processors reserve it: the padding (the
    // cell's own, else the row's, else \trgaph at the sides) plus the part of the border line
    // inside the cell. Lines are drawn centred on the cell's edges, so half of each is inside;
    // above and below, the neighbouring row's lines reach in as far as half of the widest one.
    const int gap = std::clamp(row.gapHalf, 0, 31680);
    auto pad = [](int cellPad, int rowPad, int fallback) {
        return std::clamp(cellPad >= 0 ? cellPad : rowPad >= 0 ? rowPad : fallback, 0, 31680);
    };
    const int lineAbove = r > 0 ? WidestBorder(table, r - 1, false) : 0;
    const int lineBelow = next ? WidestBorder(table, r + 1, true) : 0;
    int minPads = INT_MAX;

    const int rule = std::clamp(row.height, -31680 * 4, 31680 * 4);  // \trrh: > 0 at least, < 0 exactly
    int contentHeight = 0;
    std::vector<std::size_t> running;  // spans that continue below this row
    for (std::size_t i = 0; i < n; ++i) {
        const TableCell& cell = row.cells[i];
        if (cell.merged && i > 0) continue;  // covered by the cell that starts the merge
        std::size_t last = i;
        if (cell.mergeFirst)
            while (last + 1 < n && row.cells[last + 1].merged) ++last;
        CellBox cb;
        cb.left = (i == 0 ? left0 : rights[i - 1]) + shift;
        cb.right = rights[last] + shift;
        if (row.rightToLeft) {  // the same edges, mirrored within the row
            const int mirror = left0 + rights.back() + 2 * shift, left = cb.left;
            cb.left = mirror - cb.right;
            cb.right = mirror - left;
        }
        const int edge = rights[last];
        const bool below = continuesBelow(edge);
        auto span = std::find_if(spans.begin(), spans.end(),
                                 [&](const VerticalSpan& s) { return s.edge == edge && s.first; });
        // A later row of a vertical merge has the first cell's look.
        const TableCell* look = cell.verticalMerged && span != spans.end() ? span->first : &cell;
        cb.borders.top = CellBorder(look->borders.top, RowTopLine(row, r == 0));
        cb.borders.bottom = CellBorder(look->borders.bottom, RowBottomLine(row, r + 1 == table.rows.size()));
        // The table's left and right lines on the cells at its edges (in a right-to-left row
        // the first cell is at the right); the line between two cells is the right one's left.
        const bool atLeft = row.rightToLeft ? last + 1 == n : i == 0;
        const bool atRight = row.rightToLeft ? i == 0 : last + 1 == n;
        cb.borders.left = CellBorder(look->borders.left, atLeft ? row.borders.left : row.insideVertical);
        cb.borders.right = CellBorder(look->borders.right, atRight ? row.borders.right : kNoLine);
        const int padL = pad(look->padLeft, row.paddingLeft, gap) + BorderWidth(cb.borders.left) / 2;
        const int padR = pad(look->padRight, row.paddingRight, gap) + BorderWidth(cb.borders.right) / 2;
        const int padT = pad(look->padTop, row.paddingTop, 0) + std::max(BorderWidth(cb.borders.top), lineAbove) / 2;
        const int padB = pad(look->padBottom, row.paddingBottom, 0) + std::max(BorderWidth(cb.borders.bottom), lineBelow) / 2;
        minPads = std::min(minPads, padT + padB);
        const int textWidth = std::max(1, cb.right - cb.left - padL - padR);
        int h = padT + padB;
        int top = padT;
        if (cell.verticalMerged && span != spans.end()) {
            // The rest of the merge's content, from where the first row put it: a row whose
            // lines above reach in further must not bring back a line the row before showed.
            cb.openTop = true;
            top = span->padTop;
            cb.lines = span->lines;
            cb.shift = span->consumed;
            h = below ? 0 : std::max(0, span->contentHeight - span->consumed);
            if (below) running.push_back(span - spans.begin());
            else span->first = nullptr;  // ends here
        } else {
            if (span != spans.end()) span->first = nullptr;
            auto lines = std::make_shared<std::vector<Line>>();
            ++cellDepth_;
            // (a cell holding a table stays across: measuring turned content twice at every
            // level of nested tables would cost twice as much for each level)
            const bool turned = cell.textFlow != TableCell::Flow::Across && !(cell.verticalMergeFirst && below) &&
                                std::all_of(cell.content.begin(), cell.content.end(),
                                            [](const Block& b) { return std::holds_alternative<Paragraph>(b.value); });
            if (turned) {
                lines->push_back(FormatTurned(cell, textWidth, rule == 0 ? 0 : std::max(1, std::abs(rule) - padT - padB),
                                              ctx, depth));
            } else {
                FormatBlocks(cell.content, textWidth, ctx, *lines, depth);
            }
            --cellDepth_;
            for (const Line& l : *lines) {
                h += l.height;
                for (int note : l.notes) box.notes.push_back(note);
            }
            cb.lines = lines;
            if (cell.verticalMergeFirst && below) {
                // Its content runs down through the merged rows; the last of them makes room
                // for what is left.
                spans.push_back(VerticalSpan{edge, &cell, lines, h, 0, padT});
                running.push_back(spans.size() - 1);
                h = 0;
            }
        }
        cb.openBottom = below && (cell.verticalMergeFirst || cb.openTop);
        cb.shading = look->shading;
        cb.valign = cb.openTop || cb.openBottom ? TableCell::VAlign::Top : look->verticalAlign;
        cb.padTop = top;
        cb.textLeft = cb.left + padL;
        cb.contentHeight = h;
        contentHeight = std::max(contentHeight, h);
        box.cells.push_back(std::move(cb));
    }
    box.height = rule < 0 ? -rule : std::max(contentHeight, rule);
    if (box.height == 0) box.height = std::max(minPads == INT_MAX ? 0 : minPads, 1);
    for (std::size_t k : running) spans[k].consumed += box.height;
    std::erase_if(spans, [](const VerticalSpan& s) { return s.first == nullptr; });
    return box;
}

namespace {

// Calls f(line, y) for each content line of `cell` with its top relative to the row.
template <typename F>
void ForEachLine(const RowBox& row, const CellBox& cell, F&& f) {
    if (!cell.lines) return;
    const int slack = std::max(0, row.height - cell.contentHeight);
    int y = cell.padTop - cell.shift +
            (cell.valign == TableCell::VAlign::Center ? slack / 2 : cell.valign == TableCell::VAlign::Bottom ? slack : 0);
    for (const Line& l : *cell.lines) {
        if (y >= row.height) break;  // an exact row height cuts its content off; a merge's next row
        if (!f(l, y)) break;
        y += l.height;
    }
}

}  // namespace

Line BlockFormatter::FormatTurned(const TableCell& cell, int across, int along, FormatContext& ctx, int depth) {
    std::vector<Line> lines;
    int length = along;
    if (length <= 0) {
        // as long as its longest line (and the widest indents), within a page's length
        constexpr int kLongest = 31680;
        FormatContext probe = ctx;  // measuring only: the text is given out by the second pass
        probe.text = nullptr;
        probe.bookmarks = nullptr;
        FormatBlocks(cell.content, kLongest, probe, lines, depth);
        int longest = 1, indents = 0;
        for (const Line& l : lines) {
            int lo = INT_MAX, hi = INT_MIN;
            for (const TextItem& t : l.items.texts) lo = std::min(lo, t.x), hi = std::max(hi, t.x + t.width);
            for (const PictureItem& p : l.items.pictures) lo = std::min(lo, p.x), hi = std::max(hi, p.x + p.width);
            if (hi > lo) longest = std::max(longest, hi - lo);
        }
        for (const Block& b : cell.content) {
            if (const auto* p = std::get_if<Paragraph>(&b.value)) {
                const ParaFormat& pf = *p->format;
                indents = std::max(indents, std::clamp(pf.leftIndent, 0, kLongest) + std::clamp(pf.rightIndent, 0, kLongest) +
                                                std::clamp(pf.firstLineIndent, 0, kLongest));
            }
        }
        length = std::min(kLongest, longest + indents + 1);
        lines.clear();
    }
    FormatBlocks(cell.content, length, ctx, lines, depth);
    // (u, v): along a line from its start and across the lines from the first; up: u runs up
    // from the bottom and v from the left, down: u runs down from the top and v from the right
    const bool up = cell.textFlow == TableCell::Flow::Up;
    Line out;
    out.height = length;
    int v = 0;
    auto box = [&](int x, int y, int w, int h, auto& item) {
        item.x = up ? v + y : across - (v + y + h);
        item.y = up ? length - (x + w) : x;
        item.width = h;
        item.height = w;
    };
    for (Line& l : lines) {
        for (TextItem t : l.items.texts) {
            const int u = t.x, baseline = v + t.baseline;
            t.x = up ? baseline : across - baseline;
            t.baseline = up ? length - u : u;
            t.quarterTurns = up ? 1 : 3;
            out.items.texts.push_back(std::move(t));
        }
        for (RectItem r : l.items.rects) {
            box(r.x, r.y, r.width, r.height, r);
            out.items.rects.push_back(r);
        }
        for (PictureItem p : l.items.pictures) {
            box(p.x, p.y, p.width, p.height, p);
            out.items.pictures.push_back(std::move(p));
        }
        out.notes.insert(out.notes.end(), l.notes.begin(), l.notes.end());
        v += l.height;
    }
    return out;
}

Line BlockFormatter::RowSlice(const RowBox& row, int from, int to) {
    Line line;
    line.height = to - from;
    const int h = to - from;
    for (const CellBox& cell : row.cells) {
        const int w = cell.right - cell.left;
        if (!cell.shading.automatic) AddRect(line.items, cell.left, 0, w, h, cell.shading);
        ForEachLine(row, cell, [&](const Line& l, int y) {
            if (y >= from && y < to) line.items.Append(l.items, cell.textLeft, y - from);
            return true;
        });
    }
    // Borders over the content, centred on the cell edges so that neighbours' coincide.
    for (const CellBox& cell : row.cells) {
        const int w = cell.right - cell.left;
        const Borders& b = cell.borders;
        if (from == 0 && !cell.openTop && b.top.Visible()) {
            const int bw = BorderWidth(b.top);
            AddBorder(line.items, cell.left - bw / 2, -bw / 2, w + bw, bw, true, true, b.top);
        }
        if (to >= row.height && !cell.openBottom && b.bottom.Visible()) {
            const int bw = BorderWidth(b.bottom);
            AddBorder(line.items, cell.left - bw / 2, h - bw / 2, w + bw, bw, true, false, b.bottom);
        }
        if (b.left.Visible()) {
            const int bw = BorderWidth(b.left);
            AddBorder(line.items, cell.left - bw / 2, 0, bw, h, false, true, b.left);
        }
        if (b.right.Visible()) {
            const int bw = BorderWidth(b.right);
            AddBorder(line.items, cell.right - bw / 2, 0, bw, h, false, false, b.right);
        }
    }
    if (from == 0) line.notes = row.notes;
    return line;
}

int BlockFormatter::RowCut(const RowBox& row, int from, int avail) {
    const int target = from + std::max(avail, 1);
    int cut = std::min(row.height, target);
    for (const CellBox& cell : row.cells) {
        ForEachLine(row, cell, [&](const Line& l, int y) {
            if (y < from || y + l.height <= target) return true;
            if (y > from) cut = std::min(cut, y);
            return false;
        });
    }
    return std::max(cut, from + 1);
}

int BlockFormatter::RowBreak(const RowBox& row, int avail) {
    if (avail <= 0 || avail >= row.height) return 0;
    const int cut = RowCut(row, 0, avail);
    if (cut >= row.height) return 0;
    bool before = false, through = false;
    for (const CellBox& cell : row.cells) {
        ForEachLine(row, cell, [&](const Line& l, int y) {
            if (y < cut && y + l.height > cut) through = true;
            if (l.height > 0 && y + l.height <= cut) before = true;
            return y < cut;
        });
    }
    return before && !through ? cut : 0;
}

}  // namespace docengine::detail
