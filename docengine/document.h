// The document model: what the RTF reader makes of a rich-text file and what the page layout
// lays out. Plain values only (no platform types), so that reading and layout are portable and
// tested natively; the Windows renderer draws what the layout makes of it.
//
// A Document is a list of sections; a section's body is a list of blocks (paragraphs and
// tables, tables nesting through their cells). Character and paragraph formats are resolved by
// the reader: every run carries its complete format, so nothing downstream follows style
// sheets or \plain/\pard state. Lengths are in twips (1/1440 inch) unless a name says
// otherwise; font sizes are in half points, as in RTF.
//
// Ownership: a Document owns everything in it. Picture data is shared (std::shared_ptr) so
// that copies of the document and of its layout stay cheap.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace docengine {

// How a list label or page number is written. The symbol sets cycle (after the last comes the
// first again) unless said otherwise; "then decimal": numbers past the set are written 21, 22.
enum class Numbering : std::uint8_t {
    Decimal, UpperRoman, LowerRoman, UpperLetter, LowerLetter, Bullet, None,
    Ordinal,                     // 1st 2nd 3rd 11th 21st
    CardinalText,                // One Two ... Twenty-One, up to 999,999
    OrdinalText,                 // First Second ... Twenty-First
    Hex,                         // 9 A B ... 1F
    Chicago,                     // * † ‡ § ** ††
    DecimalZero,                 // 01 ... 09 10
    FullWidthDecimal,            // １ ２ ... １０
    DecimalEnclosedCircle,       // ① ... ⑳, then decimal
    DecimalEnclosedFullStop,     // ⒈ ... ⒛, then decimal
    DecimalEnclosedParen,        // ⑴ ... ⒇, then decimal
    IdeographEnclosedCircle,     // ㊀ ... ㊉, then decimal
    IdeographDigital,            // 一 二 ... 一〇: digit by digit
    KoreanDigital,               // 일 이 ... 일영: digit by digit
    JapaneseCounting,            // 一 ... 十 十一 百 千, up to 9,999
    JapaneseLegal,               // 壱 ... 壱拾 壱百 壱萬
    JapaneseDigitalTenThousand,  // 一 ... 十 百 千 一万
    TaiwaneseCounting,           // 一 ... 十 十一 一百零一 一萬
    IdeographLegalTraditional,   // 壹 ... 壹拾 壹佰零壹
    ChineseCounting,             // 一 ... 十 十一 一百零一 一万
    ChineseLegalSimplified,      // 壹 ... 壹拾 壹佰零壹
    KoreanCounting,              // 일 ... 십 십일 백 천 일만
    KoreanLegal,                 // 하나 둘 ... 열 열하나 ... 아흔아홉, then decimal
    AiueoHalfWidth, AiueoFullWidth,  // ｱ ｲ ｳ ... ﾝ, ア イ ウ ... ン
    IrohaHalfWidth, IrohaFullWidth,  // ｲ ﾛ ﾊ ... ｽ, イ ロ ハ ... ス
    Ganada, Chosung,             // 가 나 다 ... 하, ㄱ ㄴ ㄷ ... ㅎ
    IdeographTraditional,        // the heavenly stems 甲 乙 ... 癸, then decimal
    IdeographZodiac,             // the earthly branches 子 丑 ... 亥, then decimal
    IdeographZodiacTraditional,  // their sixty pairs 甲子 乙丑 ... 癸亥, then decimal
    Hebrew1,                     // letters as numerals: א ... י יא ... טו טז ... ק, up to 999
    Hebrew2,                     // the letters in order: א ב ... ת
    ArabicAlpha,                 // أ ب ت ث ...
    ArabicAbjad,                 // أ ب ج د ...
};

// n written in that style: 4 -> "iv", 28 -> "BB", 101 -> "一百零一" (ChineseCounting). A number
// the style cannot write (0 or less in most, past the end of a closed set) is written in decimal.
std::u16string FormatNumber(int n, Numbering numbering);

struct Color {
    std::uint8_t r = 0, g = 0, b = 0;
    bool automatic = true;  // the default colour: black text, no fill
    friend bool operator==(const Color&, const Color&) = default;
};

struct Font {
    std::u16string name = u"Arial";  // the face as the document names it (\fonttbl)
    std::u16string altName;          // \falt, tried when `name` is not installed
    enum class Family { Nil, Roman, Swiss, Modern, Script, Decor, Tech, Bidi } family = Family::Nil;
    int charset = 0;  // \fcharsetN
    int pitch = 0;    // \fprqN: 0 default, 1 fixed, 2 variable
    friend bool operator==(const Font&, const Font&) = default;
};

enum class Underline : std::uint8_t { None, Single, Double, Dotted, Dashed, Thick, Wave, Words };
enum class VerticalAlign : std::uint8_t { Baseline, Superscript, Subscript };

struct CharFormat {
    int font = -1;               // index into Document::fonts; -1: the document's default font
    int sizeHalfPoints = 24;     // \fsN
    bool bold = false, italic = false, strike = false, doubleStrike = false;
    bool caps = false, smallCaps = false, hidden = false, outline = false, shadow = false;
    Underline underline = Underline::None;
    std::uint8_t underlineColor = 0;  // \ulcN: 0, the text's; else Document::underlineColors[n - 1]
    VerticalAlign verticalAlign = VerticalAlign::Baseline;  // \super \sub (smaller, raised/lowered)
    int offsetHalfPoints = 0;    // \upN (positive) \dnN (negative): raise without shrinking
    int spacingTwips = 0;        // \expndtwN: extra space after each character
    int scalePercent = 100;      // \charscalexN
    Color color;                 // \cfN
    Color highlight;             // \highlightN / \chcbpatN; automatic: none
    int link = -1;               // index into Document::links while inside a hyperlink's result
    // A tracked change (\revised, \deleted) and its author (\revauthN, \revauthdelN): shown
    // as word processors show their markup, inserted text underlined and deleted text struck
    // through, in the author's colour.
    enum class Revision : std::uint8_t { None, Inserted, Deleted } revision = Revision::None;
    std::uint8_t revisionAuthor = 0;
    friend bool operator==(const CharFormat&, const CharFormat&) = default;
};

enum class Alignment : std::uint8_t { Left, Center, Right, Justify, Distribute };

struct TabStop {
    int position = 0;  // \txN: from the left edge of the text area (the left margin)
    enum class Kind : std::uint8_t { Left, Center, Right, Decimal, Bar } kind = Kind::Left;
    enum class Leader : std::uint8_t { None, Dots, Hyphens, Underline, Thick, Equals } leader = Leader::None;
    friend bool operator==(const TabStop&, const TabStop&) = default;
};

struct BorderLine {
    // ThickThin: a thick line of the given width beside a thin one (\brdrthtnsg, \brdrtnthlg ...)
    enum class Style : std::uint8_t { None, Single, Thick, Double, ThickThin, Dotted, Dashed, Hairline } style = Style::None;
    bool given = false;  // the file set a style, \brdrnone included: a cell's own overrides its row's
    int widthTwips = 0;  // \brdrwN
    Color color;         // \brdrcfN
    int spaceTwips = 0;  // \brspN: gap between the border and the text
    bool Visible() const { return style != Style::None; }
    friend bool operator==(const BorderLine&, const BorderLine&) = default;
};

struct Borders {
    BorderLine top, left, bottom, right;
    friend bool operator==(const Borders&, const Borders&) = default;
};

// A positioned frame (\posx \posy \absw ...): consecutive paragraphs with the same frame are
// laid out together in a box of their own, placed on the page or beside the text around it.
struct FramePosition {
    enum class HorzRef : std::uint8_t { Column, Margin, Page } horzRef = HorzRef::Column;       // \phcol \phmrg \phpg
    enum class VertRef : std::uint8_t { Paragraph, Margin, Page } vertRef = VertRef::Paragraph;  // \pvpara \pvmrg \pvpg
    // Offset: x or y from the reference's edge; otherwise aligned in the reference.
    enum class HorzAlign : std::uint8_t { Offset, Left, Center, Right, Inside, Outside } horzAlign = HorzAlign::Offset;
    enum class VertAlign : std::uint8_t { Offset, Top, Center, Bottom, Inline } vertAlign = VertAlign::Offset;
    int x = 0, y = 0;        // \posxN \posyN (may be negative)
    int width = 0;           // \abswN; 0: as wide as its content
    int height = 0;          // \abshN: N > 0 at least N, N < 0 exactly -N, 0 its content
    int gapX = 0, gapY = 0;  // distance from the text around it (\dxfrtext \dfrmtxtx \dfrmtxty)
    bool wrap = true;        // text flows beside it; \nowrap: only above and below
    bool inFront = false;    // a shape the text runs under (\shpwr3): it keeps no room
    // What a shape draws of itself: the outline of its box, an ellipse in it (its outline
    // `lineWidth` wide, 0 for none, and its fill), a straight line across or down the box, or a
    // line from corner to corner (`Line`: from the top-left one unless flipped, with its
    // arrowheads); and the fill of a box (automatic: none).
    // `Preset`: the outline of a preset shape (`preset`, its type: PresetOutline) and its fill.
    // `WordArt`: the text Document::shapeTexts[shapeText] stretched to fill the box (a
    // watermark's "DRAFT"), turned with it.
    enum class Drawn : std::uint8_t { Nothing, Outline, Across, Down, Ellipse, Line, Preset, WordArt } drawn = Drawn::Nothing;
    int shapeText = -1;
    std::uint8_t preset = 0;
    bool rounded = false;  // the box's outline and fill have rounded corners (a rounded rectangle)
    Color lineColor;
    int lineWidth = 0;  // twips
    Color fill;
    bool flipH = false, flipV = false;
    std::uint8_t arrows = 0;  // Line: 1 an arrowhead at its start, 2 at its end, 3 both
    // The drawing turned clockwise about the box's centre, 0-359 degrees. Turned a quarter or
    // three quarters (IsSideways), the box holds the drawing turned sideways: its width is the
    // drawing's height. Text and pictures in it are not turned (WordArt's own text is).
    int rotation = 0;
    static bool IsSideways(int degrees) { return (degrees >= 45 && degrees < 135) || (degrees >= 225 && degrees < 315); }
    bool set = false;        // the paragraph is in a frame
    // Placed by a shape (\shp, \do): in a table cell it keeps its place in the cell, where a
    // positioned frame's paragraphs are laid out in the cell's flow.
    bool shape = false;
    friend bool operator==(const FramePosition&, const FramePosition&) = default;
};

struct ParaFormat {
    Alignment alignment = Alignment::Left;
    int leftIndent = 0, rightIndent = 0, firstLineIndent = 0;  // \li \ri \fi (fi may be negative)
    int spaceBefore = 0, spaceAfter = 0;                       // \sb \sa
    // \slN: N > 0 at least N, N < 0 exactly -N, 0 single; with lineMultiple (\slmult1) N is
    // 240ths of single spacing (240 single, 360 one and a half, 480 double).
    int lineSpacing = 0;
    bool lineMultiple = false;
    bool keepTogether = false, keepWithNext = false, pageBreakBefore = false;  // \keep \keepn \pagebb
    bool widowControl = true;                                                  // \widctlpar / \nowidctlpar
    int style = 0;                  // \sN: the paragraph's style
    bool contextualSpacing = false;  // \contextualspace: no space between it and paragraphs of its style
    // \sbauto1 \saauto1: the space is Word's automatic spacing of pages made from HTML, 14 points,
    // in place of \sb and \sa; the reader works it out once the neighbours are known.
    bool autoSpaceBefore = false, autoSpaceAfter = false;
    std::vector<TabStop> tabs;  // sorted by position
    Borders borders;            // \brdrt ... paragraph borders
    Color shading;              // \cbpatN with \shadingN folded in; automatic: none
    // The list label drawn before the first line (bullet, "1.", "IV.", ...) with its format;
    // empty when the paragraph is not a list item. The reader resolves \listtext, \pntext,
    // \ls/\ilvl and \pn numbering into this text.
    std::u16string listLabel;
    CharFormat listLabelFormat;
    // What comes between the label and the text (\levelfollowN): a tab to the next stop, a
    // space, or nothing.
    enum class LabelFollow : std::uint8_t { Tab, Space, Nothing } listLabelFollow = LabelFollow::Tab;
    // Where the label stands against the first line's indent (\leveljcN, \pnqc, \pnqr): it starts
    // there, is centred on it, or ends there; the text after it follows as usual.
    enum class LabelAlign : std::uint8_t { Left, Center, Right } listLabelAlign = LabelAlign::Left;
    // \rtlpar: the lines run from right to left (Hebrew, Arabic): the first-line indent, tabs
    // and list label count from the right edge. \ql and \qr still mean the left and right edges.
    bool rightToLeft = false;
    int outlineLevel = -1;  // \outlinelevelN, for headings
    bool noLineNumbers = false;  // \noline: its lines are neither numbered nor counted (Section::lineNumbers)
    FramePosition frame;
    friend bool operator==(const ParaFormat&, const ParaFormat&) = default;
};

// A paragraph's format, shared by paragraphs that have the same one: a document repeats a few
// formats over and over, and a format is some 200 bytes, more than most paragraphs' text.
// Read it with -> and *; assign a ParaFormat to give a paragraph a format of its own.
class SharedParaFormat {
public:
    SharedParaFormat() : format_(Default()) {}
    SharedParaFormat(const ParaFormat& format) : format_(std::make_shared<const ParaFormat>(format)) {}
    explicit SharedParaFormat(std::shared_ptr<const ParaFormat> format)
        : format_(format ? std::move(format) : Default()) {}
    const ParaFormat& operator*() const { return *format_; }
    const ParaFormat* operator->() const { return format_.get(); }

private:
    static const std::shared_ptr<const ParaFormat>& Default() {
        static const std::shared_ptr<const ParaFormat> format = std::make_shared<const ParaFormat>();
        return format;
    }
    std::shared_ptr<const ParaFormat> format_;
};

// A picture as stored in the file, with the size it is to be shown at.
struct Picture {
    enum class Kind : std::uint8_t { Png, Jpeg, Emf, Wmf, Dib, Bitmap, Unknown } kind = Kind::Unknown;
    std::shared_ptr<const std::vector<std::uint8_t>> data;  // the picture's bytes (hex or \bin)
    // The picture's own size: pixels for bitmaps, PNG and JPEG; 0.01 mm (HIMETRIC) for
    // metafiles (\picwN \pichN), as the file gives it.
    int width = 0, height = 0;
    int goalWidth = 0, goalHeight = 0;        // \picwgoalN \pichgoalN: intended size, twips
    int scaleX = 100, scaleY = 100;           // \picscalexN \picscaleyN, percent
    int cropLeft = 0, cropTop = 0, cropRight = 0, cropBottom = 0;  // \piccropN, twips
    int metafileMapMode = 0;                  // \wmetafileN
    int bitsPerPixel = 0, planes = 1, widthBytes = 0;  // \wbmbitspixelN \wbmplanesN \wbmwidthbytesN
    // The size the picture is shown at, in twips, before the layout fits it to its room: the
    // goal size (else the picture's own; a goal on one axis only keeps the proportions), less
    // the cropping (unless that leaves nothing), times the scale; each within [0, kMaxPictureTwips].
    struct Size {
        int width = 0, height = 0;
        friend bool operator==(const Size&, const Size&) = default;
    };
    Size DisplaySize() const;
    static constexpr int kMaxPictureTwips = 1 << 22;  // 2900 inches: larger is taken as a mistake
};

struct Block;
using Blocks = std::vector<Block>;

// A footnote or endnote: its reference mark in the text and its own paragraphs.
struct Note {
    bool endnote = false;
    // What stands in the text and before the note: its number ("1", "ii") when the text refers
    // to it with \chftn; empty when the file writes a mark of its own (`{\super *}`) before the
    // note and in its text, so that nothing is added to either.
    std::u16string mark;
    bool numbered = true;  // referred to by \chftn: counts in the notes' numbering
    Blocks content;
};

// One piece of a paragraph's content.
struct Inline {
    enum class Kind : std::uint8_t {
        Text,         // `text` in `format`
        Tab,          // \tab
        LineBreak,    // \line
        PageNumber,   // a PAGE field: the number of the page it is laid out on
        PageCount,    // a NUMPAGES field: the number of pages
        Picture,      // `picture`, shown inline at its display size
        NoteRef,      // the mark of `note` (footnotes[note]) in the text
        ColumnBreak,  // \column
        Bookmark,     // where the bookmark `bookmark` starts ({\*\bkmkstart name}); shows nothing
        PageRef,      // a PAGEREF field: the number of the page `bookmark` is on
        Ruby,         // `text` with a reading set small above it (Document::rubies[note])
    } kind = Kind::Text;
    std::u16string text;  // Text; for PageNumber/PageCount/PageRef the result the file stored
    CharFormat format;
    std::shared_ptr<const Picture> picture;  // Picture
    int note = -1;                           // NoteRef: index into Document::notes; Ruby: into rubies
    int bookmark = -1;                       // Bookmark, PageRef: index into Document::bookmarks
};

// Ruby: the reading of a word (Japanese furigana), set above it.
struct Ruby {
    std::u16string text;
    int sizeHalfPoints = 0;  // 0: half the size of the word below
};

struct Paragraph {
    SharedParaFormat format;
    std::vector<Inline> content;
    CharFormat endFormat;  // the format of the paragraph mark: the height of an empty paragraph
    // A page break follows this paragraph (\page): the next block starts a new page.
    bool pageBreakAfter = false;
    // Its page break before (format->pageBreakBefore) is a \page written at its start rather
    // than its own \pagebb: frames anchored before that mark stay on the page before it.
    bool breakMarkBefore = false;
};

struct TableCell {
    int rightEdge = 0;  // \cellxN: from the row's left edge (the table's left, before \trleft)
    Borders borders;    // \clbrdrt ...
    Color shading;      // \clcbpatN with \clshdngN folded in
    enum class VAlign : std::uint8_t { Top, Center, Bottom } verticalAlign = VAlign::Top;
    // How its text runs (\cltxbtlr, \cltxtbrl): across, up from the bottom with its lines
    // stacked from the left, or down from the top with its lines stacked from the right.
    enum class Flow : std::uint8_t { Across, Up, Down } textFlow = Flow::Across;
    bool mergeFirst = false, merged = false;                  // \clmgf \clmrg: horizontal merge
    bool verticalMergeFirst = false, verticalMerged = false;  // \clvmgf \clvmrg
    // Room between the cell's edges (inside its borders) and its text, twips: \clpad*; -1: the
    // row's (\trpadd*, else \trgaph at the sides and nothing above and below).
    int padLeft = -1, padTop = -1, padRight = -1, padBottom = -1;
    Blocks content;     // paragraphs and nested tables
};

struct TableRow {
    std::vector<TableCell> cells;
    int leftOffset = 0;   // \trleftN
    int gapHalf = 0;      // \trgaphN: half the space between cells' text
    int height = 0;       // \trrhN: > 0 at least, < 0 exactly, 0 auto
    bool header = false;  // \trhdr: repeated at the top of each page the table runs onto
    bool keepTogether = false;  // \trkeep
    bool rightToLeft = false;   // \rtlrow: the cells run from the right, the first at the right edge
    Alignment alignment = Alignment::Left;  // \trql \trqc \trqr
    // \trbrdrt \trbrdrl \trbrdrb \trbrdrr: the table's outer lines, drawn where the row stands at
    // the table's top, left, bottom or right edge; \trbrdrh \trbrdrv: its lines between rows
    // and between cells. A cell's own border on a side wins over them.
    Borders borders;
    BorderLine insideHorizontal, insideVertical;
    int paddingLeft = -1, paddingRight = -1, paddingTop = -1, paddingBottom = -1;  // \trpadd*; -1: not given
};

struct Table {
    std::vector<TableRow> rows;
    // Set when the table stands in a positioned frame, a text box's, with the paragraphs and
    // tables around it that have the same frame.
    FramePosition frame;
};

struct Block {
    std::variant<Paragraph, Table> value;
};

// The positioned frame a block stands in, or nullptr when it flows with the text.
inline const FramePosition* FrameOf(const Block& block) {
    const FramePosition& frame = std::holds_alternative<Paragraph>(block.value)
                                     ? std::get<Paragraph>(block.value).format->frame
                                     : std::get<Table>(block.value).frame;
    return frame.set ? &frame : nullptr;
}

// Headers and footers of a section: which one a page gets depends on the page (first page of
// the section with \titlpg, left and right pages with \facingp).
struct HeaderFooter {
    Blocks both, left, right, first;  // \header \headerl \headerr \headerf (footers alike)
};

// One column of a section whose columns are not all alike (\colnoN \colwN \colsrN).
struct SectionColumn {
    int width = 0;         // \colwN, twips; 0: not given
    int spaceAfter = -1;   // \colsrN: the gap to the next column; -1: the section's \colsx
    friend bool operator==(const SectionColumn&, const SectionColumn&) = default;
};

// Numbers beside the body's lines in the left margin, as legal documents have them. Every line of
// a body paragraph counts (an empty paragraph's too); lines in tables, frames, headers, footers
// and notes and those of \noline paragraphs do not. A line shows its number when the number is
// a multiple of `every`.
struct LineNumbering {
    int every = 0;     // \linemodN; 0: the section's lines are not numbered
    int distance = 0;  // \linexN: from the number's right edge to the column's left edge; 0: automatic
    int start = 1;     // \linestartsN: the number of the first line
    // When the count starts again at `start`: on each page (\lineppage, and when the file says
    // nothing), with the section (\linerestart), or never: on from the section before (\linecont).
    enum class Restart : std::uint8_t { Page, Section, Continue } restart = Restart::Page;
    static constexpr int kAutomaticDistance = 360;  // a quarter inch, as word processors place them
    friend bool operator==(const LineNumbering&, const LineNumbering&) = default;
};

struct Section {
    Blocks body;
    enum class Break : std::uint8_t { Page, None, Column, Even, Odd } breakBefore = Break::Page;
    int columns = 1;          // \colsN
    int columnSpace = 720;    // \colsxN
    bool lineBetween = false; // \linebetcol
    // Widths and gaps of the columns one by one, when the file gives them; empty: `columns`
    // equal columns `columnSpace` apart.
    std::vector<SectionColumn> columnDefs;
    bool titlePage = false;   // \titlpg: the first page has its own header and footer
    int headerDistance = 720, footerDistance = 720;  // \headeryN \footeryN from the paper's edge
    HeaderFooter headers, footers;
    int pageNumberStart = 0;  // \pgnstartsN with \pgnrestart; 0: continue
    Numbering pageNumbers = Numbering::Decimal;  // \pgndec \pgnucrm \pgnlcrm \pgnucltr \pgnlcltr
    // Borders around the page (\pgbrdrt \pgbrdrl \pgbrdrb \pgbrdrr), each its `spaceTwips`
    // outside the margins or, with `pageBordersFromEdge` (\pgbrdropt 32), inside the paper's
    // edge; on the section's pages as \pgbrdropt's low bits say.
    Borders pageBorders;
    bool pageBordersFromEdge = false;
    enum class BorderPages : std::uint8_t { All, First, AllButFirst } pageBordersOn = BorderPages::All;
    LineNumbering lineNumbers;
    // The section's own margins (\marglsxnN \margrsxnN \margtsxnN \margbsxnN); -1: the
    // document's. The pages are laid out at the page setup's margins, moved by as much as a
    // section's margins differ from the first section's.
    int marginLeft = -1, marginRight = -1, marginTop = -1, marginBottom = -1;
    // The section's own paper (\pgwsxnN \pghsxnN); 0: the document's. A later section whose
    // paper differs from the first section's (a landscape table in a portrait report) has pages
    // of its own size: see Paginator.
    int pageWidth = 0, pageHeight = 0;
};

struct Link {
    std::u16string target;  // a HYPERLINK field's address (URL, file, or "#bookmark")
};

// The text a WordArt shape draws (FramePosition::Drawn::WordArt), in its font and colour.
struct ShapeText {
    std::u16string text;
    CharFormat format;
};

struct Document {
    std::vector<Font> fonts;
    int defaultFont = -1;         // \deffN as an index into fonts; -1: none given
    std::vector<Section> sections;
    std::vector<Note> notes;      // referenced by Inline::note
    std::vector<Link> links;      // referenced by CharFormat::link
    // Bookmark names, in the order first met (a PAGEREF may name one before its place comes);
    // at most kMaxBookmarks.
    std::vector<std::u16string> bookmarks;
    std::vector<Ruby> rubies;     // referenced by Inline::note of Ruby items
    std::vector<ShapeText> shapeTexts;  // referenced by FramePosition::shapeText
    static constexpr std::size_t kMaxBookmarks = 65535;
    bool facingPages = false;     // \facingp
    std::vector<Color> underlineColors;  // referenced by CharFormat::underlineColor; at most 255
    bool mirrorMargins = false;   // \margmirror: left and right margins swap on even pages
    // \gutterN: a binding margin added to the left one (the inside one with mirrored margins),
    // to the right one with \rtlgutter, to the top one with \gutterprl.
    int gutter = 0;
    bool gutterRight = false, gutterAtTop = false;
    bool balanceColumns = true;   // columns above a continuous section break end level; \nocolbal: not
    int defaultTab = 720;         // \deftabN: default tab stops every this many twips
    bool footnotesAtEnd = false;  // \enddoc: footnotes collected at the document's end, with the endnotes
    std::u16string title;         // \info \title
    // What line numbers are drawn in: the normal style's format with the "Line Number" style's
    // on top, as far as the file has them.
    CharFormat lineNumberFormat;

    // The page the file asks for (\paperw \paperh \margl ...); 0 where it says nothing. The
    // viewer lays out at the page its document properties give, not at these.
    int paperWidth = 0, paperHeight = 0;
    int marginLeft = 0, marginRight = 0, marginTop = 0, marginBottom = 0;
};

}  // namespace docengine
