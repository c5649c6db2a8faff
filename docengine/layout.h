// Page layout: turns a Document into pages of positioned text, rules, shading and pictures at
// a given page size and margins. The screen and the printer draw the same pages, so what is
// shown, the page count and what is printed agree.
//
// Everything platform-bound is asked of a FontMetrics (the Windows view measures with GDI on
// its reference device; the tests use fixed metrics), so layout is portable and tested
// natively. Coordinates are twips from the paper's top-left corner.
//
// Ownership: a Layout owns its pages and shares the document's pictures.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "document.h"

namespace docengine {

// The font a run is measured and drawn with: the document's font resolved to a face and a
// size, with the styles that change the glyphs.
struct FontSpec {
    std::u16string face;      // as the document names it; the platform picks a fallback
    std::u16string altFace;   // \falt
    Font::Family family = Font::Family::Nil;
    int pitch = 0;
    int charset = 0;
    int sizeTwips = 240;      // the em height: half points x 10
    bool bold = false, italic = false;
    int scalePercent = 100;   // \charscalexN: the letters' width against their normal width
    friend bool operator==(const FontSpec&, const FontSpec&) = default;
};

struct VerticalMetrics {
    int ascent = 0, descent = 0;  // twips, both positive
    // The font's own space between lines (its external leading): word processors add it to a
    // line of single spacing, below the text.
    int lineGap = 0;
};

// Measures text for layout. Implementations cache as they see fit; layout calls these often.
class FontMetrics {
public:
    virtual ~FontMetrics() = default;
    virtual VerticalMetrics Metrics(const FontSpec& font) = 0;
    // Appends the advance width (twips) of each UTF-16 unit of `text` to `advances`; the
    // second unit of a surrogate pair gets 0.
    virtual void Advances(const FontSpec& font, std::u16string_view text, std::vector<int>& advances) = 0;
};

// The page the document is laid out on, in twips.
struct PageSetup {
    int width = 12240, height = 15840;
    int marginLeft = 1440, marginRight = 1440, marginTop = 1440, marginBottom = 1440;
};

// Where a text item's text starts in Layout::plainText: 32 bits, since a layout holds one item
// per run piece (per word on justified lines) and every byte of an item counts. Text beyond
// 4G units (which no readable document reaches) has no offset.
using TextOffset = std::uint32_t;
// TextItem::textOffset of text that is not part of Layout::plainText (headers, footers, page
// fields, tab leaders).
inline constexpr TextOffset kNoTextOffset = UINT32_MAX;

struct TextItem {
    int x = 0, baseline = 0;  // where the run starts, on its baseline
    int width = 0;            // its advance, as measured
    int font = 0;             // index into Layout::fonts
    std::u16string text;
    Color color;
    Underline underline = Underline::None;
    bool strike = false;
    // In a right-to-left paragraph, other than in its runs of left-to-right text: the run's
    // characters are put in their visual order as right-to-left text (neutral characters at
    // its ends take that direction).
    bool rightToLeft = false;
    // Turned counter-clockwise about (x, baseline), where the run starts, by this many quarter
    // turns: 1 for text running up a table cell, 3 for text running down; `width` runs along it.
    std::uint8_t quarterTurns = 0;
    int link = -1;                 // index into Document::links
    TextOffset textOffset = 0;     // where `text` starts in Layout::plainText
    // Added for the page layout:
    // A page field's result. PageNumber items already show their page's number; PageCount
    // and PageRef items show the final page count and the page their bookmark is on once
    // layout has finished (until then the result the file stored), so a renderer needs no
    // substitution of its own.
    enum class Field : std::uint8_t { None, PageNumber, PageCount, PageRef } field = Field::None;
    std::uint8_t underlineColor = 0;  // 0: the text's colour; else Layout::underlineColors[n - 1]
    std::uint16_t bookmark = 0;  // PageRef: index into Document::bookmarks
    int charSpacing = 0;  // extra advance after each character (\expndtw), twips; included in width
};

// Turns the font's own advances of `item`'s characters (one per UTF-16 unit, as
// FontMetrics::Advances gives them) into the advances the layout placed them at: each
// character's spacing added, never below zero. Drawing and hit-testing need this for the
// characters to land where the layout measured them.
inline void ApplyCharSpacing(const TextItem& item, std::vector<int>& advances) {
    if (item.charSpacing == 0) return;
    for (int& advance : advances) advance = std::max(0, advance + item.charSpacing);
}

struct RectItem {  // a filled rectangle: cell and paragraph shading, border lines, rules
    RectItem() = default;
    RectItem(int x_, int y_, int width_, int height_, Color color_)
        : x(x_), y(y_), width(width_), height(height_), color(color_) {}
    int x = 0, y = 0, width = 0, height = 0;
    Color color;  // Fill: the fill; the shapes: their line
    // Or a shape drawn in the rectangle: an ellipse (its line `lineWidth` wide, none at 0, and
    // `fill`, automatic for none), or a line `lineWidth` wide from one corner to the opposite
    // one: from the top-left unless flipped, with arrowheads (1 at its start, 2 at its end).
    // Box: a rectangle's outline and `fill`, used when it is turned or rounded. The shapes are turned
    // `rotation` degrees clockwise about the rectangle's centre.
    // Preset: the outline of preset shape `preset` (PresetOutline) with its line and fill.
    // Text: Layout::shapeTexts[text] stretched to fill the rectangle, turned with it.
    enum class Shape : std::uint8_t { Fill, Ellipse, Line, Box, Preset, Text } shape = Shape::Fill;
    int text = -1;
    std::uint8_t preset = 0;
    bool rounded = false;  // Box: its corners rounded, a sixth of its shorter side across
    int lineWidth = 0;
    Color fill;
    bool flipH = false, flipV = false;
    std::uint8_t arrows = 0;
    int rotation = 0;
};

struct PictureItem {
    int x = 0, y = 0, width = 0, height = 0;
    std::shared_ptr<const Picture> picture;
};

struct Page {
    int width = 0, height = 0;          // the paper
    std::vector<RectItem> rects;        // drawn first
    std::vector<PictureItem> pictures;  // then these
    std::vector<TextItem> texts;        // then the text
    int number = 0;  // added for the page layout: the number the page shows (sections may restart it)
};

// A WordArt shape's text (RectItem::Shape::Text): its characters, font and colour.
struct ShapeTextItem {
    std::u16string text;
    int font = 0;  // index into Layout::fonts
    Color color;
};

struct Layout {
    std::vector<Page> pages;
    std::vector<FontSpec> fonts;
    std::vector<ShapeTextItem> shapeTexts;  // referenced by RectItem::text
    std::vector<Color> underlineColors;     // referenced by TextItem::underlineColor
    // The document's text in reading order, as the view hands it out (copy, WM_GETTEXT) and
    // searches it: paragraphs end with "\r\n", tabs are '\t', and notes follow the body.
    std::u16string plainText;
};

}  // namespace docengine
