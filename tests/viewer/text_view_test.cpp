// Tests of the document view, its renderer and its fonts (Windows builds, run under Wine):
// pages drawn from hand-built layouts show rectangles, pictures and text where laid out;
// faces are chosen and characters fall back to a face that has them; the view loads from a
// 1-based position, hands out its text and selection, searches, counts and prints pages,
// and recovers its Find dialog after being hidden; the printer is asked for the page's paper.
#include "text_view.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <winspool.h>

#include "paper_settings.h"

namespace viewer {
namespace {

using docengine::Layout;
using docengine::Picture;

constexpr char kRtf[] = "{\\rtf1\\ansi{\\fonttbl\\f0 Arial;}\\f0 Hello viewer.\\par}";

// A 4 x 4 PNG, every pixel RGB(0x20, 0x40, 0xE0).
const std::vector<std::uint8_t> kBluePng{
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52, 0x00, 0x00, 0x00,
    0x04, 0x00, 0x00, 0x00, 0x04, 0x08, 0x02, 0x00, 0x00, 0x00, 0x26, 0x93, 0x09, 0x29, 0x00, 0x00, 0x00, 0x10, 0x49,
    0x44, 0x41, 0x54, 0x78, 0x9c, 0x63, 0x50, 0x70, 0x78, 0x00, 0x47, 0x0c, 0xc4, 0x71, 0x00, 0xfc, 0x43, 0x14, 0x01,
    0x82, 0x7c, 0x0c, 0xdd, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};

// An enhanced metafile that fills its frame with green.
std::vector<std::uint8_t> GreenEmf() {
    RECT frame{0, 0, 1000, 1000};  // 0.01 mm
    HDC dc = CreateEnhMetaFileW(nullptr, nullptr, &frame, nullptr);
    UniqueBrush green(CreateSolidBrush(RGB(0, 0xC0, 0)));
    const int w = GetDeviceCaps(dc, HORZRES) * 10 / std::max(GetDeviceCaps(dc, HORZSIZE), 1);
    RECT r{0, 0, w, w};  // 10 mm in the reference device's pixels
    FillRect(dc, &r, green.Get());
    UniqueEnhMetaFile emf(CloseEnhMetaFile(dc));
    std::vector<std::uint8_t> bytes(GetEnhMetaFileBits(emf.Get(), 0, nullptr));
    GetEnhMetaFileBits(emf.Get(), static_cast<UINT>(bytes.size()), bytes.data());
    return bytes;
}

std::shared_ptr<const Picture> PictureOf(Picture::Kind kind, std::vector<std::uint8_t> bytes) {
    auto picture = std::make_shared<Picture>();
    picture->kind = kind;
    picture->data = std::make_shared<const std::vector<std::uint8_t>>(std::move(bytes));
    return picture;
}

docengine::FontSpec Sans(int sizeTwips) {
    docengine::FontSpec spec;
    spec.face = u"Arial";
    spec.family = docengine::Font::Family::Swiss;
    spec.sizeTwips = sizeTwips;
    return spec;
}

docengine::TextItem Text(std::u16string text, int x, int baseline, std::size_t offset, int font = 0) {
    docengine::TextItem item;
    item.x = x;
    item.baseline = baseline;
    item.text = std::move(text);
    item.textOffset = offset;
    item.font = font;
    return item;
}

// A 32 bpp white canvas to draw pages on, with its pixels readable.
class Canvas {
public:
    Canvas(int width, int height) : width_(width), height_(height), dc_(CreateCompatibleDC(nullptr)) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        bitmap_.Reset(CreateDIBSection(dc_.Get(), &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0));
        old_ = SelectObject(dc_.Get(), bitmap_.Get());
        std::fill(bits_, bits_ + width * height, 0x00FFFFFFu);
    }
    ~Canvas() { SelectObject(dc_.Get(), old_); }
    HDC Dc() const { return dc_.Get(); }
    COLORREF At(int x, int y) const {
        GdiFlush();
        const std::uint32_t p = bits_[y * width_ + x];
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }
    // Pixels in [x0, x1) x [y0, y1) that are not white.
    int Inked(int x0, int y0, int x1, int y1) const {
        int n = 0;
        for (int y = y0; y < y1; ++y) {
            for (int x = x0; x < x1; ++x) n += At(x, y) != RGB(255, 255, 255);
        }
        return n;
    }

private:
    int width_, height_;
    UniqueDc dc_;
    UniqueBitmap bitmap_;
    std::uint32_t* bits_ = nullptr;
    HGDIOBJ old_ = nullptr;
};

bool Near(COLORREF a, COLORREF b, int slack = 24) {
    return std::abs(GetRValue(a) - GetRValue(b)) <= slack && std::abs(GetGValue(a) - GetGValue(b)) <= slack &&
           std::abs(GetBValue(a) - GetBValue(b)) <= slack;
}

// ---- The renderer and the fonts --------------------------------------------------------------

// One page of 2880 x 2880 twips drawn at 100 pixels per inch (200 x 200 pixels).
class RenderTest : public ::testing::Test {
protected:
    RenderTest() : canvas_(200, 200) {
        layout_.fonts.push_back(Sans(480));
        layout_.pages.emplace_back();
        layout_.pages[0].width = layout_.pages[0].height = 2880;
    }
    void Draw(TextSpan selection = {}) {
        RenderPage(canvas_.Dc(), layout_, 0, PageTransform{100.0 / 1440, 100.0 / 1440, 0, 0}, fonts_, pictures_,
                   selection);
    }
    docengine::Page& Page() { return layout_.pages[0]; }

    Canvas canvas_;
    Layout layout_;
    GdiFontMetrics fonts_;
    PictureCache pictures_;
};

TEST_F(RenderTest, DrawsRectsPicturesAndTextWhereLaidOut) {
    Page().rects.push_back(docengine::RectItem{0, 0, 288, 288, docengine::Color{200, 0, 0, false}});
    Page().rects.push_back(docengine::RectItem{0, 2000, 2880, 0, docengine::Color{}});  // a hairline rule
    Page().pictures.push_back(docengine::PictureItem{1440, 0, 720, 720, PictureOf(Picture::Kind::Png, kBluePng)});
    Page().pictures.push_back(docengine::PictureItem{1440, 1440, 720, 360, PictureOf(Picture::Kind::Emf, GreenEmf())});
    Page().pictures.push_back(
        docengine::PictureItem{288, 1440, 720, 360, PictureOf(Picture::Kind::Png, {0x89, 'P', 'N', 'G', 1, 2, 3})});
    Page().texts.push_back(Text(u"HHHH", 288, 1200, 0));
    Page().texts.push_back(Text(u"HHHH", 288, 2700, 4));
    Page().texts.back().link = 0;  // a hyperlink's result in the automatic colour
    Draw();

    EXPECT_TRUE(Near(canvas_.At(10, 10), RGB(200, 0, 0))) << "shading at its place";
    EXPECT_EQ(canvas_.At(30, 30), RGB(255, 255, 255)) << "and not beyond it";
    EXPECT_GT(canvas_.Inked(0, 137, 200, 141), 150) << "a zero-height rule still shows as a line";
    EXPECT_TRUE(Near(canvas_.At(125, 25), RGB(0x20, 0x40, 0xE0))) << "the PNG, decoded and stretched";
    EXPECT_TRUE(Near(canvas_.At(125, 112), RGB(0, 0xC0, 0), 40)) << "the EMF, played into its frame";
    EXPECT_NE(canvas_.At(20, 100), RGB(255, 255, 255)) << "an undecodable picture is framed";
    EXPECT_EQ(canvas_.At(40, 112), RGB(255, 255, 255)) << "and left empty inside";
    // "HHHH" at 24 pt: ink between the baseline and the cap height, right of x = 20 px.
    const int ink = canvas_.Inked(20, 60, 100, 84);
    EXPECT_GT(ink, 100) << "the text is drawn above its baseline";
    EXPECT_EQ(canvas_.Inked(20, 86, 100, 95), 0) << "and nothing below it";
    int blue = 0;
    for (int y = 170; y < 188; ++y)
        for (int x = 20; x < 100; ++x) blue += GetBValue(canvas_.At(x, y)) > GetRValue(canvas_.At(x, y)) + 60;
    EXPECT_GT(canvas_.Inked(20, 170, 100, 188), 100) << "the link's text is drawn";
    EXPECT_EQ(blue, 0) << "in the document's colour, as printed";
}

TEST_F(RenderTest, UnderlinesTakeTheirStyleAndColour) {
    using docengine::Underline;
    layout_.underlineColors.push_back(docengine::Color{255, 0, 0, false});
    auto underlined = [&](std::u16string text, int baseline, Underline style, std::uint8_t color = 0) {
        Page().texts.push_back(Text(std::move(text), 288, baseline, 0));
        Page().texts.back().underline = style;
        Page().texts.back().underlineColor = color;
    };
    underlined(u"HHHH", 600, Underline::Single, 1);
    underlined(u"HHHH", 1200, Underline::Double);
    underlined(u"HH HH", 1800, Underline::Words);
    Draw();
    // Rows of ink in column x from y0 to y1, as runs: a double underline is two.
    auto runs = [&](int x, int y0, int y1) {
        int n = 0;
        for (int y = y0; y < y1; ++y) n += canvas_.At(x, y) != RGB(255, 255, 255) && canvas_.At(x, y - 1) == RGB(255, 255, 255);
        return n;
    };
    // 24 pt text: the line lies a tenth of the size (3 px) below the baseline, 2 px thick.
    EXPECT_TRUE(Near(canvas_.At(40, 45), RGB(255, 0, 0))) << "a single underline in its own colour";
    EXPECT_EQ(runs(40, 84, 98), 2) << "a double underline";
    EXPECT_GT(canvas_.Inked(20, 126, 60, 132), 0) << "words underlined";
    EXPECT_EQ(canvas_.Inked(70, 126, 75, 132), 0) << "and the space between them not";
}

TEST_F(RenderTest, ShapesDrawTheirEllipsesAndLinesInTheirBoxes) {
    docengine::RectItem ellipse{0, 0, 1440, 1440, docengine::Color{}};  // 100 x 100 px
    ellipse.shape = docengine::RectItem::Shape::Ellipse;
    ellipse.lineWidth = 0;
    ellipse.fill = docengine::Color{0, 0, 200, false};
    docengine::RectItem line{1440, 0, 1440, 1440, docengine::Color{200, 0, 0, false}};
    line.shape = docengine::RectItem::Shape::Line;
    line.lineWidth = 30;
    line.flipH = true;  // from the top-right corner to the bottom-left
    line.arrows = 2;
    docengine::RectItem diamond{720, 1500, 720, 720, docengine::Color{}};  // at (50, 104), 50 px wide
    diamond.shape = docengine::RectItem::Shape::Box;
    diamond.lineWidth = 0;
    diamond.fill = docengine::Color{0, 150, 0, false};
    diamond.rotation = 45;
    docengine::RectItem triangle{1440, 1440, 1440, 1440, docengine::Color{}};  // (100, 100) to (200, 200)
    triangle.shape = docengine::RectItem::Shape::Preset;
    triangle.preset = 5;  // its apex at the top's middle
    triangle.lineWidth = 0;
    triangle.fill = docengine::Color{0, 0, 0, false};
    Page().rects = {ellipse, line, diamond, triangle};
    Draw();
    EXPECT_EQ(canvas_.At(150, 190), RGB(0, 0, 0)) << "a preset shape's outline, filled";
    EXPECT_EQ(canvas_.At(110, 110), RGB(255, 255, 255)) << "not beside its apex";
    EXPECT_TRUE(Near(canvas_.At(75, 129), RGB(0, 150, 0))) << "a turned box around its centre";
    EXPECT_EQ(canvas_.At(53, 107), RGB(255, 255, 255)) << "but not in its unturned corner";
    EXPECT_TRUE(Near(canvas_.At(50, 50), RGB(0, 0, 200))) << "the ellipse's fill";
    EXPECT_EQ(canvas_.At(5, 5), RGB(255, 255, 255)) << "not its box's corner";
    EXPECT_TRUE(Near(canvas_.At(150, 50), RGB(200, 0, 0))) << "the line through the box's middle";
    EXPECT_TRUE(Near(canvas_.At(195, 5), RGB(200, 0, 0))) << "from the top-right corner";
    EXPECT_EQ(canvas_.At(105, 5), RGB(255, 255, 255)) << "not the top-left one";
    EXPECT_GT(canvas_.Inked(100, 85, 115, 100), canvas_.Inked(185, 0, 200, 15)) << "its arrowhead at its end";
}

TEST_F(RenderTest, ScaledLettersAreDrawnAtTheirScaledWidth) {
    docengine::FontSpec narrow = Sans(480);
    narrow.scalePercent = 50;
    layout_.fonts.push_back(narrow);
    Page().texts.push_back(Text(u"MMM", 144, 700, 0, 0));
    Page().texts.push_back(Text(u"MMM", 144, 1400, 0, 1));
    Draw();
    const auto inkEnd = [&](int y0, int y1) {
        int last = 0;
        for (int x = 0; x < 200; ++x)
            if (canvas_.Inked(x, y0, x + 1, y1) > 0) last = x;
        return last - 10;  // the text starts at 10 px
    };
    const int full = inkEnd(20, 50), half = inkEnd(70, 98);
    EXPECT_GT(full, 40);
    EXPECT_NEAR(2 * half, full, full / 6) << "letters half as wide, not overlapping at full width";
}

// WordArt fills its box: across a wide box, and turned a quarter, down a tall one.
TEST_F(RenderTest, WordArtTextIsStretchedToItsBoxAndTurnedWithIt) {
    layout_.shapeTexts.push_back(docengine::ShapeTextItem{u"DRAFT", 0, docengine::Color{0, 0, 200, false}});
    docengine::RectItem across{0, 0, 2880, 720, docengine::Color{}};  // 200 x 50 px
    across.shape = docengine::RectItem::Shape::Text;
    across.text = 0;
    // 150 x 75 px about (162, 125), turned to stand in x 125-200, y 50-200
    docengine::RectItem down{1260, 1260, 2160, 1080, docengine::Color{}};
    down.shape = docengine::RectItem::Shape::Text;
    down.text = 0;
    down.rotation = 90;
    Page().rects = {across, down};
    Draw();
    int left = 200, right = 0;
    for (int x = 0; x < 200; ++x) {
        if (canvas_.Inked(x, 0, x + 1, 50) > 0) left = std::min(left, x), right = std::max(right, x);
    }
    EXPECT_LT(left, 20);
    EXPECT_GT(right, 180) << "the letters widened to the box's width";
    EXPECT_GT(canvas_.Inked(125, 60, 200, 200), 500) << "the turned text drawn down its box";
    EXPECT_EQ(canvas_.Inked(0, 60, 120, 200), 0) << "and not across the page";
    int blue = 0;
    for (int y = 60; y < 200; ++y)
        for (int x = 125; x < 200; ++x) blue += GetBValue(canvas_.At(x, y)) > GetRValue(canvas_.At(x, y)) + 100;
    EXPECT_GT(blue, 300) << "in its colour";
}

// Text turned with its table cell runs up (or down) from where it starts, its tops facing left.
TEST_F(RenderTest, TurnedTextRunsUpFromItsStart) {
    docengine::TextItem up = Text(u"HHHH", 1440, 2700, 0);  // from (100, 187) px
    up.quarterTurns = 1;
    Page().texts.push_back(up);
    Draw();
    EXPECT_GT(canvas_.Inked(75, 110, 101, 188), 100) << "up the page, left of its baseline";
    EXPECT_EQ(canvas_.Inked(102, 0, 200, 200), 0) << "nothing right of it";
    EXPECT_EQ(canvas_.Inked(0, 189, 200, 200), 0) << "nor below where it starts";
}

TEST_F(RenderTest, SelectionIsHighlightedBehindItsCharactersOnly) {
    Page().texts.push_back(Text(u"abcdef", 144, 1200, 10));
    Draw(TextSpan{13, 40});  // "def"
    const auto highlighted = [&](int x0, int x1) {
        int n = 0;
        for (int x = x0; x < x1; ++x) n += Near(canvas_.At(x, 72), RGB(0xA8, 0xCE, 0xFF), 8);
        return n;
    };
    std::vector<int> advances;
    fonts_.Advances(layout_.fonts[0], u"abc", advances);
    const int split = (144 + advances[0] + advances[1] + advances[2]) * 100 / 1440;
    EXPECT_EQ(highlighted(0, split - 1), 0);
    EXPECT_GT(highlighted(split + 1, 200), 5);

    // a right-to-left run's first characters stand at its right end
    docengine::TextItem hebrew = Text(u"\u05D0\u05D1\u05D2\u05D3", 144, 2400, 50);
    std::vector<int> own;
    fonts_.Advances(layout_.fonts[0], hebrew.text, own);
    for (int a : own) hebrew.width += a;
    hebrew.rightToLeft = true;
    Page().texts = {hebrew};
    Draw(TextSpan{50, 51});
    int left = 200, right = 0;
    for (int x = 0; x < 200; ++x)
        if (Near(canvas_.At(x, 155), RGB(0xA8, 0xCE, 0xFF), 8)) left = std::min(left, x), right = std::max(right, x);
    const int end = (144 + hebrew.width) * 100 / 1440;
    EXPECT_NEAR(right, end, 2);
    EXPECT_NEAR(left, (144 + hebrew.width - own[0]) * 100 / 1440, 2);
}

// Letters spread by character spacing land where the layout put them, rather than at the
// font's own advances with the whole difference taken from the item's last character.
TEST_F(RenderTest, CharacterSpacingPlacesEachLetterAsLaidOut) {
    std::vector<int> advances;
    fonts_.Advances(layout_.fonts[0], u"I", advances);
    docengine::TextItem item = Text(u"III", 144, 1200, 0);
    item.charSpacing = 720;
    item.width = 3 * (advances[0] + 720);
    Page().texts.push_back(item);
    Draw();
    const int second = (144 + advances[0] + 720) * 100 / 1440;  // pixels
    const int firstEnd = (144 + advances[0]) * 100 / 1440;
    EXPECT_EQ(canvas_.Inked(firstEnd + 2, 60, second - 2, 84), 0) << "the gap stays empty";
    EXPECT_GT(canvas_.Inked(second, 60, second + advances[0] * 100 / 1440 + 2, 84), 20) << "the second I";
}

TEST_F(RenderTest, TextAfterRightToLeftLettersStaysAtItsPlace) {
    // A table row on one baseline: a number, a Hebrew word, then a word in the next cell.
    Page().texts.push_back(Text(u"1.", 144, 1200, 0));
    Page().texts.push_back(Text(u"\u05D0\u05D1\u05D2", 720, 1200, 2));
    Page().texts.push_back(Text(u"HH", 2448, 1200, 5));
    Draw();
    EXPECT_GT(canvas_.Inked(50, 60, 100, 84), 20) << "the Hebrew word";
    EXPECT_GT(canvas_.Inked(170, 60, 200, 84), 100) << "the next cell's word where it was laid out";
    EXPECT_EQ(canvas_.Inked(120, 60, 168, 84), 0) << "and not after the Hebrew word";
}

TEST_F(RenderTest, FacesFollowTheDocumentThenItsKindAndCharactersFallBack) {
    docengine::FontSpec missing = Sans(240);
    missing.face = u"No Such Face 1234";
    missing.family = docengine::Font::Family::Roman;
    const std::wstring serif = fonts_.Face(missing);
    EXPECT_TRUE(serif == L"Times New Roman" || serif == L"Liberation Serif" || serif == L"DejaVu Serif")
        << "an absent roman face becomes an installed serif face, not " << std::string(serif.begin(), serif.end());
    for (const char16_t* name : {u"Calibri Light", u"MyriadPro-Regular", u"Roboto"}) {
        docengine::FontSpec known = missing;
        known.face = name;
        if (fonts_.Installed(std::wstring(known.face.begin(), known.face.end()))) continue;
        const std::wstring sans = fonts_.Face(known);
        EXPECT_TRUE(sans == L"Arial" || sans == L"Liberation Sans" || sans == L"DejaVu Sans" || sans == L"Tahoma")
            << "a widespread sans face tagged roman stays sans, not " << std::string(sans.begin(), sans.end());
    }
    docengine::FontSpec code = missing;
    code.face = u"Roboto Mono";
    if (!fonts_.Installed(L"Roboto Mono")) {
        const std::wstring fixed = fonts_.Face(code);
        EXPECT_TRUE(fixed == L"Courier New" || fixed == L"Liberation Mono" || fixed == L"DejaVu Sans Mono")
            << "a monospaced face of a sans family stays monospaced, not " << std::string(fixed.begin(), fixed.end());
    }
    docengine::FontSpec cambria = missing;
    cambria.face = u"Cambria";
    if (!fonts_.Installed(L"Cambria") && fonts_.Installed(L"Caladea")) {
        EXPECT_EQ(fonts_.Face(cambria), L"Caladea") << "the face with Cambria's widths";
    }
    docengine::FontSpec verdana = missing;
    verdana.face = u"Verdana";
    if (!fonts_.Installed(L"Verdana") && fonts_.Installed(L"DejaVu Sans")) {
        EXPECT_EQ(fonts_.Face(verdana), L"DejaVu Sans") << "Verdana's wide letters: DejaVu Sans";
    }
    missing.altFace = u"DejaVu Sans Mono";
    if (fonts_.Installed(L"DejaVu Sans Mono")) {
        EXPECT_EQ(fonts_.Face(missing), L"DejaVu Sans Mono") << "\\falt next";
    }

    // Widths are in twips whatever the device: twice the size, twice the width.
    std::vector<int> small, large;
    fonts_.Advances(Sans(240), u"Hello", small);
    fonts_.Advances(Sans(480), u"Hello", large);
    ASSERT_EQ(small.size(), 5u);
    int sumSmall = 0, sumLarge = 0;
    for (int w : small) sumSmall += w;
    for (int w : large) sumLarge += w;
    EXPECT_GT(sumSmall, 240);
    EXPECT_NEAR(sumLarge, 2 * sumSmall, sumSmall / 50 + 2);

    // A snowman is in no Latin text face; some installed face has it, and it is measured there.
    const std::u16string snowman = u"\u2603";
    const std::wstring& face = fonts_.GlyphFace(Sans(240), snowman);
    if (face == fonts_.Face(Sans(240))) GTEST_SKIP() << "no installed face has U+2603";
    std::vector<int> width;
    fonts_.Advances(Sans(240), snowman, width);
    EXPECT_GT(width[0], 0) << "a character without a glyph in its face still takes room";
    Page().texts.push_back(Text(snowman, 288, 1200, 0));
    Draw();
    EXPECT_GT(canvas_.Inked(20, 40, 60, 90), 20) << "and is drawn with the face that has it";
}

// The face selected at each text output of an enhanced metafile, read back from its records.
struct FaceRecords {
    std::map<DWORD, std::wstring> fontOfHandle;
    std::wstring selected;
    std::vector<std::wstring> faceOfText;

    static int CALLBACK OnRecord(HDC, HANDLETABLE*, const ENHMETARECORD* record, int, LPARAM data) {
        auto& r = *reinterpret_cast<FaceRecords*>(data);
        if (record->iType == EMR_EXTCREATEFONTINDIRECTW) {
            const auto* font = reinterpret_cast<const EMREXTCREATEFONTINDIRECTW*>(record);
            r.fontOfHandle[font->ihFont] = font->elfw.elfLogFont.lfFaceName;
        } else if (record->iType == EMR_SELECTOBJECT) {
            const auto found = r.fontOfHandle.find(reinterpret_cast<const EMRSELECTOBJECT*>(record)->ihObject);
            if (found != r.fontOfHandle.end()) r.selected = found->second;
        } else if (record->iType == EMR_EXTTEXTOUTW) {
            r.faceOfText.push_back(r.selected);
        }
        return 1;
    }
};

// A page's text is drawn one face at a time: a PostScript driver keeps few downloaded fonts
// and sends a font again whenever the page comes back to one it dropped.
TEST_F(RenderTest, TextIsDrawnOneFaceAtATime) {
    docengine::FontSpec serif = Sans(240), mono = Sans(240);
    serif.face = u"Times New Roman", serif.family = docengine::Font::Family::Roman;
    mono.face = u"Courier New", mono.family = docengine::Font::Family::Modern;
    layout_.fonts = {Sans(240), serif, mono};
    for (int i = 0; i < 9; ++i)
        Page().texts.push_back(Text(u"word", 144 + (i % 3) * 800, 400 + (i / 3) * 300, 0, i % 3));

    HDC dc = CreateEnhMetaFileW(nullptr, nullptr, nullptr, nullptr);
    RenderPage(dc, layout_, 0, PageTransform{100.0 / 1440, 100.0 / 1440, 0, 0}, fonts_, pictures_);
    UniqueEnhMetaFile emf(CloseEnhMetaFile(dc));
    ASSERT_TRUE(emf);

    FaceRecords records;
    EnumEnhMetaFile(nullptr, emf.Get(), &FaceRecords::OnRecord, &records, nullptr);
    ASSERT_EQ(records.faceOfText.size(), 9u);
    int switches = 0;
    for (std::size_t i = 1; i < records.faceOfText.size(); ++i)
        switches += records.faceOfText[i] != records.faceOfText[i - 1];
    EXPECT_EQ(switches, 2) << "three faces, each drawn in one stretch";
}

// ---- The view ------------------------------------------------------------------------------

class TextViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        parent_ = CreateWindowExW(0, L"Static", L"", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(parent_, nullptr);
        view_ = std::make_unique<TextView>(parent_, 100, 0, 435, 9465, 3675);
    }
    void TearDown() override {
        if (view_) view_->RemoveProperties();
        view_.reset();
        if (parent_) DestroyWindow(parent_);
        for (const std::wstring& path : files_) DeleteFileW(path.c_str());
    }

    // A file holding `bytes`, removed after the test.
    std::wstring File(const std::string& bytes) {
        wchar_t dir[MAX_PATH], path[MAX_PATH];
        GetTempPathW(MAX_PATH, dir);
        GetTempFileNameW(dir, L"tvt", 0, path);
        std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        files_.push_back(path);
        return path;
    }

    std::wstring Text() const {
        const int n = GetWindowTextLengthW(view_->Handle());
        std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
        text.resize(static_cast<std::size_t>(GetWindowTextW(view_->Handle(), text.data(), n + 1)));
        return text;
    }

    std::intptr_t Prop(const wchar_t* name) const {
        return reinterpret_cast<std::intptr_t>(GetPropW(view_->Handle(), name));
    }

    std::pair<int, int> Sel() const {
        const LRESULT packed = SendMessageW(view_->Handle(), EM_GETSEL, 0, 0);
        return {LOWORD(packed), HIWORD(packed)};
    }

    void Find(const wchar_t* word, DWORD flags) {
        wchar_t buffer[64];
        lstrcpynW(buffer, word, 64);
        FINDREPLACEW request{};
        request.lStructSize = sizeof request;
        request.Flags = FR_FINDNEXT | flags;
        request.lpstrFindWhat = buffer;
        view_->OnFindMessage(request);
    }

    // Two pages of hand-laid text: "One two\r\nthree one\r\n" then "ONE four\r\n".
    static Layout TwoPages() {
        Layout layout;
        layout.fonts.push_back(Sans(240));
        layout.plainText = u"One two\r\nthree one\r\nONE four\r\n";
        layout.pages.resize(2);
        for (auto& page : layout.pages) page.width = 12240, page.height = 15840;
        auto run = [](std::u16string text, int baseline, std::size_t offset) {
            docengine::TextItem item = viewer::Text(std::move(text), 1440, baseline, offset);
            item.width = 900;
            return item;
        };
        layout.pages[0].texts = {run(u"One two", 1700, 0), run(u"three one", 2000, 9)};
        layout.pages[1].texts = {run(u"ONE four", 1700, 20)};
        return layout;
    }

    HWND parent_ = nullptr;
    std::unique_ptr<TextView> view_;
    std::vector<std::wstring> files_;
};

TEST_F(TextViewTest, LoadsFromTheOneBasedPositionAfterALeadingPart) {
    const std::string leading(37, 'x');
    const std::wstring path = File(leading + kRtf + "trailing bytes after the text");
    EXPECT_GT(view_->LoadText(path, 38), 0);
    EXPECT_NE(Text().find(L"Hello viewer."), std::wstring::npos);
    EXPECT_EQ(Text().find(L"trailing"), std::wstring::npos);
}

TEST_F(TextViewTest, OneByteOffIsNotRichText) {
    const std::wstring path = File(std::string(20, 'x') + kRtf);
    EXPECT_EQ(view_->LoadText(path, 20), 0);  // starts at the last byte before the text
    EXPECT_EQ(view_->LoadText(path, 22), 0);  // starts inside "{\rtf"
    EXPECT_GT(view_->LoadText(path, 21), 0);
}

TEST_F(TextViewTest, AnEmptyDocumentOpensAsABlankPage) {
    for (const char* rtf : {"{\\rtf1 }", "{\\rtf1{\\header\\pard Only a header\\par}}"}) {
        EXPECT_GT(view_->LoadText(File(rtf), 1), 0) << rtf;
        EXPECT_EQ(view_->PageCount(), 1) << rtf;
        EXPECT_EQ(Text(), L"") << rtf;
    }
}

TEST_F(TextViewTest, NothingLoadedGivesZero) {
    const std::string text = kRtf;
    const std::wstring path = File(text);
    EXPECT_EQ(view_->LoadText(path, 0), 0);
    EXPECT_EQ(view_->LoadText(path, -5), 0);
    EXPECT_EQ(view_->LoadText(path, static_cast<std::int32_t>(text.size()) + 1), 0);  // at the end
    EXPECT_EQ(view_->LoadText(path, 2147483647), 0);
    EXPECT_EQ(view_->LoadText(File("plain text, not rich text"), 1), 0);
    EXPECT_EQ(view_->LoadText(File(""), 1), 0);
    EXPECT_EQ(view_->LoadText(L"Z:\\no\\such\\directory\\file.orl", 1), 0);
    EXPECT_EQ(Text(), L"") << "a failed load leaves no earlier document on display";
}

TEST_F(TextViewTest, PageSettingsArePublishedInTwips) {
    view_->PageMarginL(1440);
    view_->PageMarginR(720);
    view_->PageMarginT(1080);
    view_->PageMarginB(360);
    view_->PageHeight(15840);
    view_->PageWidth(12240);
    EXPECT_EQ(Prop(L"Navreth.MarginL"), 1440);
    EXPECT_EQ(Prop(L"Navreth.MarginR"), 720);
    EXPECT_EQ(Prop(L"Navreth.MarginT"), 1080);
    EXPECT_EQ(Prop(L"Navreth.MarginB"), 360);
    EXPECT_EQ(Prop(L"Navreth.PageHeight"), 15840);
    EXPECT_EQ(Prop(L"Navreth.PageWidth"), 12240);
    EXPECT_EQ(Prop(L"Navreth.PageCount"), 0);  // nothing loaded yet
}

TEST_F(TextViewTest, PageCountFollowsThePageSize) {
    std::string rtf = "{\\rtf1\\ansi{\\fonttbl\\f0 Arial;}\\f0\\fs24 ";
    for (int i = 0; i < 120; ++i) rtf += "Line " + std::to_string(i) + " of a text long enough for pages.\\par ";
    rtf += "}";
    ASSERT_GT(view_->LoadText(File(rtf), 1), 0);
    view_->PageWidth(12240);
    view_->PageHeight(15840);
    view_->PageMarginL(1440);
    view_->PageMarginR(1440);
    view_->PageMarginT(1440);
    view_->PageMarginB(1440);
    const std::int32_t letter = view_->PageCount();
    EXPECT_GE(letter, 2);
    EXPECT_EQ(Prop(L"Navreth.PageCount"), letter);
    view_->PageHeight(15840 / 2 + 1440);  // half the text height per page
    EXPECT_EQ(Prop(L"Navreth.PageCount"), 0) << "a changed page is not counted until laid out again";
    const std::int32_t half = view_->PageCount();
    EXPECT_GE(half, 2 * letter - 1);
    EXPECT_LE(half, 2 * letter + 1);
    EXPECT_EQ(Prop(L"Navreth.PageCount"), half);
}

// A long document shows its first pages at once; the rest are laid out while messages flow,
// and the page count is published when the last page is laid out.
TEST_F(TextViewTest, LongDocumentsAreLaidOutInTheBackground) {
    std::string rtf = "{\\rtf1\\ansi{\\fonttbl\\f0\\fswiss Arial;}\\f0\\fs24 ";
    for (int i = 0; i < 40000; ++i) {
        rtf += "Paragraph " + std::to_string(i) + " of a long document that runs to many pages in all.\\par ";
        if (i % 40 == 39 && i + 1 < 40000) rtf += "\\page ";
    }
    rtf += "}";
    const std::wstring path = File(rtf);
    const ULONGLONG start = GetTickCount64();
    ASSERT_GT(view_->LoadText(path, 1), 0);
    view_->Visible(true);
    UpdateWindow(view_->Handle());
    const ULONGLONG shown = GetTickCount64() - start;
    RecordProperty("first_page_ms", static_cast<int>(shown));
    EXPECT_LT(shown, 1500u) << "the first page does not wait for the whole layout";
    MSG msg;
    const ULONGLONG until = GetTickCount64() + 30000;
    while (Prop(L"Navreth.PageCount") == 0 && GetTickCount64() < until) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        Sleep(1);
    }
    EXPECT_EQ(Prop(L"Navreth.PageCount"), 1000) << "every \\page starts a page";
    RecordProperty("all_pages_ms", static_cast<int>(GetTickCount64() - start));
}

TEST_F(TextViewTest, TextAndSelectionCountAParagraphBreakAsOneCharacter) {
    view_->ShowLayout(TwoPages());
    EXPECT_EQ(Text(), L"One two\r\nthree one\r\nONE four\r\n") << "WM_GETTEXT hands out the document's text";
    EXPECT_EQ(SendMessageW(view_->Handle(), WM_GETTEXTLENGTH, 0, 0), 30);
    wchar_t small[5];
    EXPECT_EQ(SendMessageW(view_->Handle(), WM_GETTEXT, 5, reinterpret_cast<LPARAM>(small)), 4);
    EXPECT_STREQ(small, L"One ");
    view_->SelStart(8);  // "three": 9 in the text, 8 as a position
    view_->SelLength(5);
    EXPECT_EQ(Sel(), std::make_pair(8, 13));
    SendMessageW(view_->Handle(), WM_COPY, 0, 0);
    if (OpenClipboard(view_->Handle())) {
        HANDLE data = GetClipboardData(CF_UNICODETEXT);
        const auto* copied = data ? static_cast<const wchar_t*>(GlobalLock(data)) : nullptr;
        EXPECT_STREQ(copied, L"three") << "Copy puts the selected text on the clipboard";
        if (copied) GlobalUnlock(data);
        CloseClipboard();
    }
}

// Keys and the wheel scroll through the pages; Ctrl+A selects everything; dragging over a
// word selects from where the button went down to where it came up.
TEST_F(TextViewTest, KeysWheelAndMouseScrollAndSelect) {
    view_->ShowLayout(TwoPages());
    HWND view = view_->Handle();
    const auto press = [&](WPARAM key, bool control = false) {
        BYTE keys[256];
        GetKeyboardState(keys);
        keys[VK_CONTROL] = control ? 0x80 : 0;
        SetKeyboardState(keys);
        SendMessageW(view, WM_KEYDOWN, key, 0);
        keys[VK_CONTROL] = 0;
        SetKeyboardState(keys);
    };
    const auto top = [&] { return GetScrollPos(view, SB_VERT); };
    EXPECT_EQ(top(), 0);
    press(VK_DOWN);
    const int line = top();
    EXPECT_GT(line, 0);
    press(VK_NEXT);
    EXPECT_GT(top(), 2 * line) << "Page Down moves by about a window";
    press(VK_END, true);
    const int bottom = top();
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_ALL;
    GetScrollInfo(view, SB_VERT, &si);
    EXPECT_EQ(bottom, si.nMax - static_cast<int>(si.nPage) + 1) << "Ctrl+End: the end of the last page";
    press(VK_HOME, true);
    EXPECT_EQ(top(), 0);
    SendMessageW(view, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)), 0);
    EXPECT_GT(top(), 0) << "the wheel scrolls down";
    press(VK_HOME, true);

    press('A', true);
    EXPECT_EQ(Sel(), std::make_pair(0, 27)) << "Ctrl+A: the whole text (30 characters, three breaks)";

    // With room for the page at its actual size, it stands centred 16 pixels below the top.
    // "three one" starts at 1440 twips across, its baseline 2000 twips down.
    view_->Width(30000);
    const double scale = GetDeviceCaps(UniqueScreenDc(GetDC(nullptr)).Get(), LOGPIXELSX) / 1440.0;
    RECT client{};
    GetClientRect(view, &client);
    const int left = (client.right - static_cast<int>(12240 * scale + 0.5)) / 2;
    const int y = 16 + static_cast<int>(1950 * scale);
    const auto at = [&](int twipsX) { return MAKELPARAM(left + static_cast<int>(twipsX * scale), y); };
    SendMessageW(view, WM_LBUTTONDOWN, MK_LBUTTON, at(1440));
    SendMessageW(view, WM_MOUSEMOVE, MK_LBUTTON, at(1440 + 10 * 1440));
    SendMessageW(view, WM_LBUTTONUP, 0, at(1440 + 10 * 1440));
    EXPECT_EQ(Sel(), std::make_pair(8, 17)) << "the drag selects \"three one\"";
}

TEST_F(TextViewTest, FindMovesFromTheSelectionWithItsOptions) {
    view_->ShowLayout(TwoPages());
    Find(L"one", FR_DOWN);
    EXPECT_EQ(Sel(), std::make_pair(0, 3)) << "without Match case, One matches";
    Find(L"one", FR_DOWN | FR_MATCHCASE);
    EXPECT_EQ(Sel(), std::make_pair(14, 17)) << "with it, only \"one\"";
    Find(L"one", FR_DOWN);
    EXPECT_EQ(Sel(), std::make_pair(18, 21)) << "on to the next page";
    Find(L"one", 0);
    EXPECT_EQ(Sel(), std::make_pair(14, 17)) << "upwards: the nearest hit before";
    view_->SelStart(0);
    // Not found as a whole word: the message box says so, and the selection stays.
    std::wstring message;
    std::thread answer([&] {
        for (int i = 0; i < 500 && message.empty(); ++i) {
            if (HWND box = FindWindowW(L"#32770", L"Find")) {
                wchar_t text[256] = {};
                GetDlgItemTextW(box, 0xFFFF, text, 256);
                message = text[0] ? text : L"(empty)";
                PostMessageW(box, WM_COMMAND, IDOK, 0);
            }
            Sleep(10);
        }
    });
    Find(L"thr", FR_DOWN | FR_WHOLEWORD);
    answer.join();
    EXPECT_EQ(message, L"Cannot find \"thr\".");
    EXPECT_EQ(Sel(), std::make_pair(0, 0));
    view_->SelStart(0);
    Find(L"two", FR_DOWN | FR_WHOLEWORD);
    EXPECT_EQ(Sel(), std::make_pair(4, 7));
}

TEST_F(TextViewTest, HidingTheViewClosesAndForgetsItsFindDialog) {
    view_->ShowLayout(TwoPages());
    view_->Visible(true);
    view_->Search(1);
    const HWND first = view_->FindDialog();
    ASSERT_NE(first, nullptr);
    view_->Visible(false);
    EXPECT_FALSE(IsWindow(first));
    EXPECT_EQ(view_->FindDialog(), nullptr);
    view_->Visible(true);
    view_->Search(1);
    EXPECT_TRUE(view_->FindDialog() && IsWindow(view_->FindDialog())) << "Find opens again";
}

// Printed to a file through the default printer's driver (PostScript under Wine): the
// asked pages, clipped to the document, each copy in turn, with their text.
TEST_F(TextViewTest, PrintsTheAskedPagesOfTheSameLayout) {
    wchar_t printer[256];
    DWORD size = 256;
    if (!GetDefaultPrinterW(printer, &size)) GTEST_SKIP() << "no printer installed";
    UniqueDc dc(CreateDCW(L"WINSPOOL", printer, nullptr, nullptr));
    ASSERT_NE(dc.Get(), nullptr);
    view_->ShowLayout(TwoPages());
    EXPECT_EQ(view_->PageCount(), 2);
    const std::wstring output = File("");
    view_->PrintDevice(dc.Get(), nullptr, output);
    view_->Print(L"C:\\docs\\two.orl", 2, 9, 2);
    std::ifstream in(output.c_str(), std::ios::binary);
    const std::string job((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::size_t pages = 0;
    for (std::size_t at = job.find("%%Page:"); at != std::string::npos; at = job.find("%%Page:", at + 1)) ++pages;
    EXPECT_EQ(pages, 2u) << "page 2 of 2, twice";
    EXPECT_NE(job.find("two.orl"), std::string::npos) << "the job is named after the file";
}

// A page of other paper (a landscape section) is printed on that paper: the printer is asked
// for it between the pages.
TEST_F(TextViewTest, PrintsAPageOfOtherPaperOnThatPaper) {
    wchar_t printer[256];
    DWORD size = 256;
    if (!GetDefaultPrinterW(printer, &size)) GTEST_SKIP() << "no printer installed";
    HANDLE handle = nullptr;
    ASSERT_TRUE(OpenPrinterW(printer, &handle, nullptr));
    const LONG bytes = DocumentPropertiesW(nullptr, handle, printer, nullptr, nullptr, 0);
    std::vector<BYTE> settings(bytes > 0 ? static_cast<std::size_t>(bytes) : 0);
    const bool got = bytes > 0 && DocumentPropertiesW(nullptr, handle, printer, reinterpret_cast<DEVMODEW*>(settings.data()),
                                                      nullptr, DM_OUT_BUFFER) == IDOK;
    ClosePrinter(handle);
    ASSERT_TRUE(got);
    UniqueDc dc(CreateDCW(L"WINSPOOL", printer, nullptr, nullptr));
    ASSERT_NE(dc.Get(), nullptr);
    Layout layout = TwoPages();
    layout.pages[1].width = 15840;
    layout.pages[1].height = 12240;
    view_->ShowLayout(std::move(layout));
    const std::wstring output = File("");
    view_->PrintDevice(dc.Get(), reinterpret_cast<const DEVMODEW*>(settings.data()), output);
    view_->Print(L"C:\\docs\\two.orl", 1, 2, 1);
    std::ifstream in(output.c_str(), std::ios::binary);
    const std::string job((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t first = job.find("%%Page: 1"), second = job.find("%%Page: 2");
    ASSERT_NE(first, std::string::npos);
    ASSERT_NE(second, std::string::npos);
    // The PostScript driver turns a landscape page in its page setup.
    const auto setup = [&](std::size_t at) { return job.substr(at, job.find("%%EndPageSetup", at) - at); };
    EXPECT_EQ(setup(first).find("90 rotate"), std::string::npos) << setup(first);
    EXPECT_NE(setup(second).find("90 rotate"), std::string::npos) << setup(second);
}

TEST_F(TextViewTest, RefusesWhatItCannotDo) {
    EXPECT_THROW(view_->Search(2), ComError);
    EXPECT_THROW(view_->Print(L"C:\\doc.orl", 1, 1, 1), ComError);  // no print device
}

TEST_F(TextViewTest, VisibilityIsTheWindowsOwn) {
    view_->Visible(true);
    EXPECT_TRUE(view_->Visible());
    EXPECT_TRUE(GetWindowLongW(view_->Handle(), GWL_STYLE) & WS_VISIBLE);
    view_->Visible(false);
    EXPECT_FALSE(view_->Visible());
}

// Printer settings for the document's paper: the dialog's settings with the paper size and
// orientation replaced, its driver data kept.
DEVMODEW PaperOf(const std::vector<BYTE>& settings) {
    DEVMODEW mode{};
    std::memcpy(&mode, settings.data(), sizeof mode);
    return mode;
}

TEST(PaperSettingsTest, AsksForTheDocumentsPaper) {
    // A printer's settings: A4 portrait by form name, with eight bytes of driver data.
    std::vector<BYTE> printer(sizeof(DEVMODEW) + 8, 0xA5);
    DEVMODEW a4{};
    a4.dmSize = sizeof a4;
    a4.dmDriverExtra = 8;
    a4.dmFields = DM_PAPERSIZE | DM_ORIENTATION | DM_FORMNAME | DM_COPIES;
    a4.dmPaperSize = DMPAPER_A4;
    a4.dmOrientation = DMORIENT_PORTRAIT;
    a4.dmCopies = 3;
    std::memcpy(printer.data(), &a4, sizeof a4);

    // US Letter, one-inch margins: the standard size by number, portrait; the rest untouched.
    const std::vector<BYTE> letter =
        PaperSettings(printer.data(), printer.size(), PageSettings{12240, 15840, 1440, 1440, 1440, 1440});
    ASSERT_EQ(letter.size(), printer.size());
    DEVMODEW mode = PaperOf(letter);
    EXPECT_EQ(mode.dmPaperSize, DMPAPER_LETTER);
    EXPECT_EQ(mode.dmOrientation, DMORIENT_PORTRAIT);
    EXPECT_TRUE(mode.dmFields & DM_PAPERSIZE);
    EXPECT_TRUE(mode.dmFields & DM_ORIENTATION);
    EXPECT_FALSE(mode.dmFields & DM_FORMNAME) << "the form name would override the size";
    EXPECT_EQ(mode.dmCopies, 3);
    EXPECT_TRUE(std::equal(letter.begin() + sizeof mode, letter.end(), printer.begin() + sizeof mode))
        << "the driver's own data is kept";

    // A5 landscape (11906 x 8391 twips): A5 turned, within the rounding of millimetres.
    mode = PaperOf(PaperSettings(printer.data(), printer.size(), PageSettings{11906, 8391, 720, 720, 720, 720}));
    EXPECT_EQ(mode.dmPaperSize, DMPAPER_A5);
    EXPECT_EQ(mode.dmOrientation, DMORIENT_LANDSCAPE);
    mode = PaperOf(PaperSettings(printer.data(), printer.size(), PageSettings{11904, 8395, 720, 720, 720, 720}));
    EXPECT_EQ(mode.dmPaperSize, DMPAPER_A5);

    // Any other size: a custom paper in tenths of a millimetre, given standing up.
    mode = PaperOf(PaperSettings(printer.data(), printer.size(), PageSettings{14400, 7200, 720, 720, 720, 720}));
    EXPECT_EQ(mode.dmPaperSize, DMPAPER_USER);
    EXPECT_EQ(mode.dmOrientation, DMORIENT_LANDSCAPE);
    EXPECT_EQ(mode.dmPaperWidth, 1270);   // 5 inches across
    EXPECT_EQ(mode.dmPaperLength, 2540);  // 10 inches down
    EXPECT_EQ(mode.dmFields & (DM_PAPERWIDTH | DM_PAPERLENGTH), DWORD{DM_PAPERWIDTH | DM_PAPERLENGTH});

    // No settings to adjust, or no page to fit: nothing to ask for.
    EXPECT_TRUE(PaperSettings(nullptr, 0, PageSettings{12240, 15840, 0, 0, 0, 0}).empty());
    EXPECT_TRUE(PaperSettings(printer.data(), 16, PageSettings{12240, 15840, 0, 0, 0, 0}).empty());
    EXPECT_TRUE(PaperSettings(printer.data(), printer.size(), PageSettings{0, 15840, 0, 0, 0, 0}).empty());
    EXPECT_TRUE(PaperSettings(printer.data(), printer.size(), PageSettings{12240, -5, 0, 0, 0, 0}).empty());
}

}  // namespace
}  // namespace viewer

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);  // WIC decodes the pictures
    const int result = RUN_ALL_TESTS();
    CoUninitialize();
    return result;
}
