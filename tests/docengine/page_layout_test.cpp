// Tests of the page layout with fixed metrics: every character is half its font size wide,
// ascent 0.8 em, descent 0.2 em. At the default 12 pt a character is 120 twips and a line 240.
#include "page_layout.h"
#include "rtf_reader.h"

#include <gtest/gtest.h>

#include "fixed_metrics.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <functional>
#include <string>
#include <tuple>

namespace docengine {
namespace {

std::u16string U(const std::string& s) { return std::u16string(s.begin(), s.end()); }

Inline Text(const std::string& s, CharFormat f = {}) {
    Inline in;
    in.text = U(s);
    in.format = f;
    return in;
}

Inline Kind(Inline::Kind kind) {
    Inline in;
    in.kind = kind;
    return in;
}

Paragraph Para(const std::string& s, ParaFormat pf = {}) {
    Paragraph p;
    p.format = pf;
    if (!s.empty()) p.content.push_back(Text(s));
    return p;
}

Block B(Paragraph p) { return Block{std::move(p)}; }
Block B(Table t) { return Block{std::move(t)}; }

Document Doc(Blocks body) {
    Document d;
    d.sections.emplace_back();
    d.sections[0].body = std::move(body);
    return d;
}

// A page whose text area is `textWidth` wide and `lines` default lines high.
PageSetup TextArea(int textWidth, int lines) {
    PageSetup s;
    s.width = textWidth + 2000;
    s.marginLeft = s.marginRight = 1000;
    s.marginTop = s.marginBottom = 1000;
    s.height = lines * 240 + 2000;
    return s;
}

// Every text item's text is found at its offset in plainText.
void ExpectOffsetsAgree(const Layout& layout) {
    for (const auto& page : layout.pages)
        for (const auto& t : page.texts) {
            if (t.textOffset == kNoTextOffset) continue;
            ASSERT_LE(t.textOffset + t.text.size(), layout.plainText.size());
            EXPECT_EQ(layout.plainText.substr(t.textOffset, t.text.size()), t.text);
        }
}

// The page index holding the first item whose text contains `needle`; -1 if none.
int PageOf(const Layout& layout, const std::string& needle) {
    for (std::size_t p = 0; p < layout.pages.size(); ++p)
        for (const auto& t : layout.pages[p].texts)
            if (t.text.find(U(needle)) != std::u16string::npos) return static_cast<int>(p);
    return -1;
}

const TextItem* Item(const Layout& layout, const std::string& needle) {
    for (const auto& page : layout.pages)
        for (const auto& t : page.texts)
            if (t.text.find(U(needle)) != std::u16string::npos) return &t;
    return nullptr;
}

Layout LayOutChecked(const Document& d, const PageSetup& s) {
    FixedMetrics m;
    Layout l = LayOut(d, s, m);
    ExpectOffsetsAgree(l);
    return l;
}

TEST(PageLayout, ExplicitPageBreaksAndPageCountField) {
    Paragraph a = Para("one"), b = Para("two"), c = Para("three of ");
    a.pageBreakAfter = b.pageBreakAfter = true;
    c.content.push_back(Kind(Inline::Kind::PageCount));
    c.content.back().text = u"99";
    Document d = Doc({B(a), B(b), B(c)});
    const Layout l = LayOutChecked(d, PageSetup{});
    ASSERT_EQ(l.pages.size(), 3u);
    EXPECT_EQ(PageOf(l, "one"), 0);
    EXPECT_EQ(PageOf(l, "two"), 1);
    EXPECT_EQ(PageOf(l, "three"), 2);
    const TextItem& count = l.pages[2].texts.back();
    EXPECT_EQ(count.field, TextItem::Field::PageCount);
    EXPECT_EQ(count.text, u"3");
    EXPECT_EQ(l.plainText, u"one\r\ntwo\r\nthree of 3\r\n");  // the result, not the stored "99"
}

// A contents line on page 1 refers to a bookmark on page 3 (named in other letter case) and to
// one that is never placed; the section numbers its pages in lower-case roman.
TEST(PageLayout, PageReferencesShowTheBookmarksPage) {
    const ReadResult read = ReadRtf(
        "{\\rtf1\\pgnlcrm Intro\\tab {\\field{\\*\\fldinst PAGEREF _Intro \\\\h}{\\fldrslt 0000}}"
        " Gone {\\field{\\*\\fldinst PAGEREF _gone}{\\fldrslt 7}}\\par\\page two\\page "
        "{\\*\\bkmkstart _INTRO}{\\*\\bkmkend _INTRO}Intro text\\par}");
    ASSERT_TRUE(read.ok());
    const Layout l = LayOutChecked(read.document, PageSetup{});
    ASSERT_EQ(l.pages.size(), 3u);
    std::vector<const TextItem*> refs;
    for (const TextItem& t : l.pages[0].texts)
        if (t.field == TextItem::Field::PageRef) refs.push_back(&t);
    ASSERT_EQ(refs.size(), 2u);
    EXPECT_EQ(refs[0]->text, u"iii");
    const TextItem* gone = Item(l, "Gone");
    ASSERT_NE(gone, nullptr);
    ASSERT_EQ(gone->text.substr(0, 2), u" G");
    EXPECT_EQ(refs[0]->x + refs[0]->width, gone->x) << "ends where the stored result ended";
    EXPECT_EQ(refs[1]->text, u"7") << "a bookmark never placed keeps the stored result";
    EXPECT_EQ(l.plainText.substr(0, l.plainText.find(u'\r')), u"Intro\tiii Gone 7") << "the text holds the results";
}

TEST(PageLayout, BreaksAtSpacesAndInsideOverlongWords) {
    // 10 characters per line.
    Document d = Doc({B(Para("aaa bbb ccc")), B(Para(std::string(25, 'x')))});
    const Layout l = LayOutChecked(d, TextArea(1200, 40));
    const auto& t = l.pages[0].texts;
    ASSERT_EQ(t.size(), 5u);
    EXPECT_EQ(t[0].text, u"aaa bbb");  // the space the line ends in is not drawn
    EXPECT_EQ(t[1].text, u"ccc");
    EXPECT_EQ(t[1].baseline - t[0].baseline, 240);
    EXPECT_EQ(t[2].text, std::u16string(10, u'x'));
    EXPECT_EQ(t[4].text, std::u16string(5, u'x'));
    EXPECT_EQ(t[4].baseline - t[2].baseline, 480);

    // A word too long for the line breaks after its last slash that fits, before its letters.
    const Layout slashed = LayOutChecked(Doc({B(Para("abc/defg/hijk"))}), TextArea(1200, 40));
    ASSERT_EQ(slashed.pages[0].texts.size(), 2u);
    EXPECT_EQ(slashed.pages[0].texts[0].text, u"abc/defg/");
    EXPECT_EQ(slashed.pages[0].texts[1].text, u"hijk");

    // Hidden text hides its breaks and tabs too: "A" and "B" stay on one line.
    Paragraph hidden = Para("A");
    CharFormat v;
    v.hidden = true;
    for (Inline::Kind k : {Inline::Kind::LineBreak, Inline::Kind::Tab, Inline::Kind::PageNumber}) {
        hidden.content.push_back(Kind(k));
        hidden.content.back().format = v;
    }
    hidden.content.push_back(Text("gone", v));
    hidden.content.push_back(Text("B"));
    const Layout h = LayOutChecked(Doc({B(hidden)}), TextArea(1200, 40));
    ASSERT_EQ(h.pages[0].texts.size(), 2u);
    EXPECT_EQ(h.pages[0].texts[1].baseline, h.pages[0].texts[0].baseline);
    EXPECT_EQ(h.pages[0].texts[1].x, h.pages[0].texts[0].x + h.pages[0].texts[0].width);
    EXPECT_EQ(h.plainText, u"AB\r\n");
}

TEST(PageLayout, AlignmentAndJustification) {
    ParaFormat center, right, justify;
    center.alignment = Alignment::Center;
    right.alignment = Alignment::Right;
    justify.alignment = Alignment::Justify;
    Document d = Doc({B(Para("ab", center)), B(Para("ab", right)), B(Para("aa bb cc dd", justify))});
    const Layout l = LayOutChecked(d, TextArea(1200, 40));
    const auto& t = l.pages[0].texts;
    EXPECT_EQ(t[0].x, 1000 + (1200 - 240) / 2);
    EXPECT_EQ(t[1].x, 1000 + 1200 - 240);
    // "aa bb cc " fits (9 units); justified: the last word ends at the right edge.
    ASSERT_EQ(t[2].text, u"aa ");
    EXPECT_EQ(t[3].text, u"bb ");
    EXPECT_EQ(t[4].text, u"cc");
    EXPECT_EQ(t[4].x + t[4].width, 1000 + 1200);
    EXPECT_GT(t[3].x, t[2].x + t[2].width);
    // The last line is not spread.
    EXPECT_EQ(t[5].text, u"dd");
    EXPECT_EQ(t[5].x, 1000);
}

TEST(PageLayout, TabStopsListLabelsAndSuperscript) {
    ParaFormat tabs;
    tabs.tabs = {TabStop{1200, TabStop::Kind::Right}, TabStop{2400, TabStop::Kind::Center},
                 TabStop{4800, TabStop::Kind::Decimal}};
    Paragraph p = Para("a", tabs);
    for (const char* s : {"bb", "cc", "12.5"}) {
        p.content.push_back(Kind(Inline::Kind::Tab));
        p.content.push_back(Text(s));
    }
    p.content.push_back(Kind(Inline::Kind::Tab));
    p.content.push_back(Text("d"));  // "12.5" ends at 5040: the next default stop is 5760
    ParaFormat list;
    list.leftIndent = 720;
    list.firstLineIndent = -360;
    list.listLabel = u"1.";
    Paragraph item = Para("item", list);
    // labels that end at or are centred on the first line's indent; the text still goes to the
    // hanging indent, which a label set from there would have passed
    list.leftIndent = 1440;
    list.listLabel = u"10.";
    list.listLabelAlign = ParaFormat::LabelAlign::Right;
    Paragraph right = Para("right", list);
    list.listLabelAlign = ParaFormat::LabelAlign::Center;
    list.listLabel = u"11.";
    Paragraph centred = Para("centred", list);
    CharFormat super;
    super.verticalAlign = VerticalAlign::Superscript;
    item.content.push_back(Text("z", super));
    CharFormat smallCaps;
    smallCaps.smallCaps = true;
    item.content.push_back(Text(" Sc", smallCaps));
    CharFormat narrow;
    narrow.scalePercent = 50;
    item.content.push_back(Text("nn", narrow));
    item.content.push_back(Text("w"));
    const Layout l = LayOutChecked(Doc({B(p), B(item), B(right), B(centred)}), TextArea(6000, 40));
    EXPECT_EQ(Item(l, "bb")->x, 1000 + 1200 - 240);
    EXPECT_EQ(Item(l, "cc")->x, 1000 + 2400 - 120);
    EXPECT_EQ(Item(l, "12")->x, 1000 + 4800 - 240);
    EXPECT_EQ(Item(l, "d")->x, 1000 + 5760);
    EXPECT_EQ(Item(l, "1.")->x, 1000 + 360);  // the label in the hanging indent
    EXPECT_EQ(Item(l, "item")->x, 1000 + 720);
    EXPECT_EQ(Item(l, "10.")->x, 1000 + 1080 - 360);
    EXPECT_EQ(Item(l, "right")->x, 1000 + 1440);
    EXPECT_EQ(Item(l, "11.")->x, 1000 + 1080 - 180);
    EXPECT_EQ(Item(l, "centred")->x, 1000 + 1440);
    const TextItem* two = Item(l, "z");
    EXPECT_EQ(two->baseline, Item(l, "item")->baseline - 80);
    EXPECT_EQ(l.fonts[two->font].sizeTwips, 160);
    // small capitals: capitals at full size, lower-case letters as capitals four fifths the size
    EXPECT_EQ(l.fonts[Item(l, " S")->font].sizeTwips, 240);
    EXPECT_EQ(l.fonts[Item(l, "C")->font].sizeTwips, 192);
    // letters scaled to half their width (\\charscalex50) take half the room, in a font of their own
    EXPECT_EQ(Item(l, "w")->x - Item(l, "nn")->x, 120);
    EXPECT_EQ(l.fonts[Item(l, "nn")->font].scalePercent, 50);
    EXPECT_EQ(l.plainText, u"a\tbb\tcc\t12.5\td\r\n1.\titemz SCnnw\r\n10.\tright\r\n11.\tcentred\r\n");

    // a right stop in the right indent still holds its text on the line; one past the text's
    // room stands at its edge
    ParaFormat indented;
    indented.rightIndent = 600;
    indented.tabs = {TabStop{5700, TabStop::Kind::Right}};
    Paragraph inIndent = Para("p", indented);
    inIndent.content.push_back(Kind(Inline::Kind::Tab));
    inIndent.content.push_back(Text("rr"));
    indented.tabs = {TabStop{7000, TabStop::Kind::Right}};
    Paragraph pastEdge = Para("q", indented);
    pastEdge.content.push_back(Kind(Inline::Kind::Tab));
    pastEdge.content.push_back(Text("ss"));
    const Layout stops = LayOutChecked(Doc({B(inIndent), B(pastEdge)}), TextArea(6000, 40));
    EXPECT_EQ(Item(stops, "rr")->x, 1000 + 5700 - 240);
    EXPECT_EQ(Item(stops, "rr")->baseline, Item(stops, "p")->baseline);
    EXPECT_EQ(Item(stops, "ss")->x, 1000 + 6000 - 240);
    EXPECT_EQ(Item(stops, "ss")->baseline, Item(stops, "q")->baseline);

    // default stops as the document sets them; one too small to be meant is ignored
    const Layout own = LayOutChecked(ReadRtf("{\\rtf1\\deftab500 a\\tab b\\tab c\\par}").document, TextArea(6000, 40));
    EXPECT_EQ(Item(own, "b")->x, 1000 + 500);
    EXPECT_EQ(Item(own, "c")->x, 1000 + 1000);
    const Layout tiny = LayOutChecked(ReadRtf("{\\rtf1\\deftab1 a\\tab b\\par}").document, TextArea(6000, 40));
    EXPECT_EQ(Item(tiny, "b")->x, 1000 + 720);

    // a line may end after a left tab: the underlined tab fills the first line to its stop, the
    // next tab the second, and the text after it wraps; text set at a right stop goes with its tab
    const Layout fill = LayOutChecked(
        ReadRtf("{\\rtf1\\tlul\\tx6000 ab \\tab \\tab cd\\par\\pard\\tqr\\tx6000 "
                "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx yy\\tab 12\\par}")
            .document,
        TextArea(6000, 40));
    const TextItem* leader = Item(fill, "_");
    ASSERT_NE(leader, nullptr);
    EXPECT_EQ(leader->baseline, Item(fill, "ab")->baseline);
    EXPECT_EQ(Item(fill, "cd")->baseline, Item(fill, "ab")->baseline + 480);
    EXPECT_EQ(Item(fill, "cd")->x, 1000);
    EXPECT_EQ(Item(fill, "12")->baseline, Item(fill, "yy")->baseline);
    EXPECT_EQ(Item(fill, "12")->x, 1000 + 6000 - 240);
}

// A right-to-left paragraph reads from the right: its first-line indent and list label on the
// right, left-to-right runs in their own order inside, \\ql and \\qr the edges they name.
TEST(PageLayout, RightToLeftLinesRunFromTheRight) {
    auto hebrew = [](std::u16string text) {
        Inline in;
        in.text = std::move(text);
        return in;
    };
    CharFormat bold;
    bold.bold = true;
    ParaFormat rtl;
    rtl.rightToLeft = true;
    rtl.alignment = Alignment::Right;
    rtl.firstLineIndent = 360;
    rtl.listLabel = u"1.";
    Paragraph p;
    p.format = rtl;
    p.content = {hebrew(u"\u05D0\u05D1 "), Text("AB", bold), Text(" CD"), hebrew(u" \u05D2")};
    ParaFormat left = rtl;
    left.alignment = Alignment::Left;
    left.listLabel.clear();
    left.firstLineIndent = 0;
    Paragraph q;
    q.format = left;
    q.content = {hebrew(u"\u05D3\u05D4")};
    const Layout l = LayOutChecked(Doc({B(p), B(q)}), TextArea(6000, 40));
    // laid out from the right edge: the label, its tab to the next stop (720), then the runs
    EXPECT_EQ(Item(l, "1.")->x, 1000 + 6000 - 360 - 240);
    const int start = 1000 + 6000 - 720;
    const TextItem& first = l.pages[0].texts[1];
    EXPECT_EQ(first.x, start - 360);
    EXPECT_TRUE(first.rightToLeft);
    EXPECT_EQ(Item(l, "AB")->x, start - 360 - 600) << "AB CD, left to right, after it";
    EXPECT_EQ(Item(l, " CD")->x, start - 360 - 360);
    EXPECT_FALSE(Item(l, "AB")->rightToLeft);
    EXPECT_EQ(l.pages[0].texts[4].x, start - 360 - 600 - 240);
    EXPECT_EQ(l.pages[0].texts[5].x, 1000) << "aligned left, it ends at the left edge";
}

TEST(PageLayout, RubyStandsAboveItsWordKeepsItWholeAndWidensItsRoom) {
    auto ruby = [](std::u16string base, int reading) {
        Inline in;
        in.kind = Inline::Kind::Ruby;
        in.text = std::move(base);
        in.note = reading;
        return in;
    };
    Paragraph p;
    p.content = {ruby(u"cd", 0), Text(" "), ruby(u"e", 1), Text("f")};
    Document d = Doc({B(p)});
    d.rubies = {Ruby{u"xyz", 0}, Ruby{u"vwxyz", 0}};  // half size: 60 twips a character
    Layout l = LayOutChecked(d, TextArea(6000, 40));
    EXPECT_EQ(l.plainText, u"cd ef\r\n");  // readings are not the document's text
    const TextItem *cd = Item(l, "cd"), *xyz = Item(l, "xyz"), *wider = Item(l, "vwxyz");
    ASSERT_TRUE(cd && xyz && wider);
    EXPECT_EQ(cd->baseline, 1000 + 216 + 96);  // the line grew by the reading above
    EXPECT_EQ(xyz->baseline, cd->baseline - 216);
    EXPECT_EQ(xyz->x, 1000 + 30);  // centred over its word
    EXPECT_EQ(l.fonts[xyz->font].sizeTwips, 120);
    EXPECT_EQ(wider->x, 1000 + 360);
    EXPECT_EQ(Item(l, "f")->x, 1000 + 360 + 300);  // a wider reading widens the word's room

    // a word with its reading does not break inside, though its characters allow it alone
    p.content = {Text("a "), ruby(u"\u6F22\u5B57", 0)};
    d = Doc({B(p)});
    d.rubies = {Ruby{u"\u304B\u3093\u3058", 0}};
    l = LayOutChecked(d, TextArea(360, 40));
    const auto& texts = l.pages.at(0).texts;
    const auto word = std::find_if(texts.begin(), texts.end(), [](const TextItem& t) { return t.text == u"\u6F22\u5B57"; });
    ASSERT_NE(word, texts.end());
    EXPECT_EQ(word->x, 1000);
}

TEST(PageLayout, TrackedChangesShowAsMarkupInTheirAuthorsColour) {
    const Layout l = LayOutChecked(
        ReadRtf("{\\rtf1 a{\\revised\\revauth2 b}{\\deleted\\revauthdel1\\cf1 c}{\\revised\\revised0 d}\\par}").document,
        TextArea(6000, 40));
    const TextItem *a = Item(l, "a"), *b = Item(l, "b"), *c = Item(l, "c");
    ASSERT_TRUE(a && b && c);
    EXPECT_TRUE(a->color.automatic);
    EXPECT_EQ(b->underline, Underline::Single);
    EXPECT_FALSE(b->strike);
    EXPECT_TRUE(c->strike);
    EXPECT_FALSE(b->color.automatic || c->color.automatic);
    EXPECT_NE(b->color, c->color);  // two authors
    EXPECT_EQ(l.plainText, u"abcd\r\n");  // deleted text is still the document's
    const TextItem* d = Item(l, "d");
    ASSERT_TRUE(d);
    EXPECT_EQ(d->underline, Underline::None);
    // the changed line's bar in the margin
    ASSERT_EQ(l.pages[0].rects.size(), 1u);
    EXPECT_EQ(l.pages[0].rects[0].x, 1000 - 180 - 15);
    EXPECT_EQ(l.pages[0].rects[0].height, 240);
}

TEST(PageLayout, ExactAndAtLeastLineSpacing) {
    ParaFormat exact, least, dbl;
    exact.lineSpacing = -400;
    least.lineSpacing = 400;
    dbl.lineSpacing = 480;
    dbl.lineMultiple = true;
    CharFormat big;
    big.sizeHalfPoints = 48;  // 24 pt: a natural line of 480
    Paragraph bigLeast = Para("", least);
    bigLeast.content.push_back(Text("b", big));
    Document d = Doc({B(Para("a", exact)), B(Para("b", exact)), B(Para("c", least)), B(Para("d", dbl)),
                      B(bigLeast), B(Para("e"))});
    const Layout l = LayOutChecked(d, PageSetup{});
    const auto& t = l.pages[0].texts;
    EXPECT_EQ(t[1].baseline - t[0].baseline, 400);  // exact
    EXPECT_EQ(t[2].baseline - t[1].baseline, 400);  // at least 400 > 240
    EXPECT_EQ(t[3].baseline - t[2].baseline, 480);  // double spacing, extra above the text
    EXPECT_EQ(t[5].baseline - t[4].baseline, (480 - 384) + 192);  // at least 400 < 480: the line's own height

    // A font with a line gap of its own: single and multiple spacing count it, exact does not.
    struct GapMetrics : FixedMetrics {
        VerticalMetrics Metrics(const FontSpec& f) override { return {f.sizeTwips * 4 / 5, f.sizeTwips / 5, 40}; }
    } gapped;
    d = Doc({B(Para("a")), B(Para("b")), B(Para("c", dbl)), B(Para("d", exact)), B(Para("e"))});
    const Layout g = LayOut(d, PageSetup{}, gapped);
    const auto& u = g.pages[0].texts;
    EXPECT_EQ(u[0].baseline, PageSetup{}.marginTop + 192);  // the gap is below the first line
    EXPECT_EQ(u[1].baseline - u[0].baseline, 280);
    EXPECT_EQ(u[2].baseline - u[1].baseline, 560);  // double: the text at the foot of its 560
    EXPECT_EQ(u[3].baseline - u[2].baseline, 40 + 48 + 400 - 48);
    EXPECT_EQ(u[4].baseline - u[3].baseline, 48 + 192);
}

TEST(PageLayout, ShadingAndBordersFollowAParagraphAcrossPages) {
    ParaFormat boxed;
    boxed.shading = Color{0, 0, 200, false};
    boxed.borders.left.style = BorderLine::Style::Single;
    boxed.borders.left.widthTwips = 20;
    boxed.borders.top = boxed.borders.left;
    boxed.widowControl = false;
    Blocks body(7, B(Para("x")));
    body.push_back(B(Para("aaaaaaaaa bbbbbbbbb ccccccccc dddddddd", boxed)));  // four lines, cut 2 + 2
    const Layout l = LayOutChecked(Doc(body), TextArea(1200, 10));
    ASSERT_EQ(l.pages.size(), 2u);
    for (const Page& page : l.pages) {
        int shaded = 0, left = 0, top = 0;
        for (const RectItem& r : page.rects) {
            if (r.color.b == 200) shaded += r.height;
            else if (r.height > r.width) left += r.height;
            else ++top;
        }
        EXPECT_EQ(shaded, 480 + (&page == &l.pages[0] ? 20 : 0));
        EXPECT_EQ(left, shaded);
        EXPECT_EQ(top, &page == &l.pages[0] ? 1 : 0);  // the top border only where it starts
    }
}

TEST(PageLayout, KeepWithNextMovesHeadingWithItsParagraph) {
    ParaFormat keep;
    keep.keepWithNext = true;
    Blocks body;
    for (int i = 0; i < 9; ++i) body.push_back(B(Para("line")));
    body.push_back(B(Para("Heading", keep)));
    body.push_back(B(Para("Body")));
    const Layout l = LayOutChecked(Doc(body), TextArea(1200, 10));
    EXPECT_EQ(PageOf(l, "Heading"), 1);
    EXPECT_EQ(PageOf(l, "Body"), 1);
    // Without the keep the heading stays on page 1.
    std::get<Paragraph>(body[9].value).format = ParaFormat{};
    const Layout free = LayOutChecked(Doc(body), TextArea(1200, 10));
    EXPECT_EQ(PageOf(free, "Heading"), 0);
    // A chain of keeps longer than a page is broken, not looped on.
    Blocks chain(30, B(Para("k", keep)));
    EXPECT_EQ(LayOutChecked(Doc(chain), TextArea(1200, 10)).pages.size(), 3u);
}

// Space before a paragraph is dropped where the text flowed onto a new page, the paragraph
// alone or moved on with the lines it keeps with; it stays on the first page and after a page
// break. The page's text starts at 1000, a line's baseline 192 below its top.
TEST(PageLayout, SpaceBeforeIsDroppedAtTheTopOfAPageTheTextFlowedOnto) {
    ParaFormat before;
    before.spaceBefore = 480;
    ParaFormat keep = before;
    keep.keepWithNext = true;
    auto lines = [](int n) { return Blocks(static_cast<std::size_t>(n), B(Para("line"))); };

    Blocks flowed = lines(10);
    flowed.push_back(B(Para("after", before)));
    const Layout l = LayOutChecked(Doc(flowed), TextArea(1200, 10));
    ASSERT_EQ(PageOf(l, "after"), 1);
    EXPECT_EQ(Item(l, "after")->baseline, 1192);

    Blocks moved = lines(8);
    moved.push_back(B(Para("Heading", keep)));
    moved.push_back(B(Para("Body")));
    const Layout m = LayOutChecked(Doc(moved), TextArea(1200, 10));
    ASSERT_EQ(PageOf(m, "Heading"), 1);
    EXPECT_EQ(Item(m, "Heading")->baseline, 1192);
    EXPECT_EQ(Item(m, "Body")->baseline, 1432);

    const Layout first = LayOutChecked(Doc({B(Para("first", before))}), TextArea(1200, 10));
    EXPECT_EQ(Item(first, "first")->baseline, 1672);

    Blocks broken = lines(2);
    std::get<Paragraph>(broken[1].value).pageBreakAfter = true;
    broken.push_back(B(Para("after", before)));
    const Layout b = LayOutChecked(Doc(broken), TextArea(1200, 10));
    ASSERT_EQ(PageOf(b, "after"), 1);
    EXPECT_EQ(Item(b, "after")->baseline, 1672);

    ParaFormat breakBefore = before;
    breakBefore.pageBreakBefore = true;
    Blocks asked = lines(2);
    asked.push_back(B(Para("after", breakBefore)));
    const Layout a = LayOutChecked(Doc(asked), TextArea(1200, 10));
    ASSERT_EQ(PageOf(a, "after"), 1);
    EXPECT_EQ(Item(a, "after")->baseline, 1672);
}

TEST(PageLayout, WidowControlKeepsTwoLinesTogether) {
    Blocks body;
    for (int i = 0; i < 9; ++i) body.push_back(B(Para("line")));
    body.push_back(B(Para("aaaaaaaaa bbbbbbbbb ccccccccc")));  // three lines
    const Layout l = LayOutChecked(Doc(body), TextArea(1200, 10));
    EXPECT_EQ(PageOf(l, "aaa"), 1);  // one line alone would be an orphan
    ParaFormat widows;
    widows.widowControl = false;
    std::get<Paragraph>(body[9].value).format = widows;
    EXPECT_EQ(PageOf(LayOutChecked(Doc(body), TextArea(1200, 10)), "aaa"), 0);
}

Table Grid(int rows, std::vector<int> edges, const std::string& prefix) {
    Table t;
    for (int r = 0; r < rows; ++r) {
        TableRow row;
        row.gapHalf = 100;
        row.leftOffset = -100;
        for (std::size_t c = 0; c < edges.size(); ++c) {
            TableCell cell;
            cell.rightEdge = edges[c];
            cell.content.push_back(B(Para(prefix + std::to_string(r) + "." + std::to_string(c))));
            row.cells.push_back(cell);
        }
        t.rows.push_back(row);
    }
    return t;
}

// Text running up a cell starts at its bottom with its lines stacked from the left; running
// down, at its top with its lines stacked from the right. An automatic row is as tall as the
// longest such line.
TEST(PageLayout, TurnedCellTextRunsUpOrDownItsCell) {
    Table t = Grid(2, {2000, 5000}, "t");
    t.rows[0].height = 1500;
    t.rows[0].cells[0].textFlow = TableCell::Flow::Up;
    t.rows[0].cells[1].textFlow = TableCell::Flow::Down;
    t.rows[1].cells[0].textFlow = TableCell::Flow::Up;
    const Layout l = LayOutChecked(Doc({B(t)}), TextArea(6000, 40));
    const TextItem* up = Item(l, "t0.0");
    EXPECT_EQ(up->quarterTurns, 1);
    EXPECT_EQ(up->x, 1000 + 192);
    EXPECT_EQ(up->baseline, 1000 + 1500);
    const TextItem* down = Item(l, "t0.1");
    EXPECT_EQ(down->quarterTurns, 3);
    EXPECT_EQ(down->x, 1000 + 2100 + 2800 - 192);
    EXPECT_EQ(down->baseline, 1000);
    EXPECT_EQ(Item(l, "t1.0")->baseline, 1000 + 1500 + 481);  // "t1.0" is 480 long
    EXPECT_EQ(Item(l, "t1.1")->quarterTurns, 0);
    EXPECT_EQ(Item(l, "t1.1")->baseline, 1000 + 1500 + 192);
}

TEST(PageLayout, TableColumnsRowsAndHeaderRepeat) {
    Table t = Grid(30, {2000, 5000}, "r");
    t.rows[0].header = true;
    Document d = Doc({B(Para("before")), B(t), B(Para("after"))});
    const Layout l = LayOutChecked(d, TextArea(6000, 10));
    // Cell text starts at the cell's left edge plus the gap: \trleft -100, gap 100.
    EXPECT_EQ(Item(l, "r1.0")->x, 1000 - 100 + 100);
    EXPECT_EQ(Item(l, "r1.1")->x, 1000 + 2000 + 100);
    EXPECT_EQ(Item(l, "r1.1")->baseline, Item(l, "r1.0")->baseline);
    // Ten lines a page: "before", the header and 8 rows on page 1; each later page repeats
    // the header.
    EXPECT_EQ(PageOf(l, "r8.0"), 0);
    EXPECT_EQ(PageOf(l, "r9.0"), 1);
    for (std::size_t p = 1; p < l.pages.size(); ++p) {
        const auto& texts = l.pages[p].texts;
        ASSERT_FALSE(texts.empty());
        EXPECT_EQ(texts[0].text, u"r0.0") << "page " << p;
    }
    // Cell text is in plainText in reading order, once.
    const std::u16string& text = l.plainText;
    EXPECT_LT(text.find(u"r0.1\r\nr1.0"), text.find(u"r29.1"));
    EXPECT_EQ(text.find(u"r0.0"), text.rfind(u"r0.0"));

    // A right-to-left row (\rtlrow) has the same cells mirrored: the first at the right.
    Table rtl = Grid(1, {2000, 5000}, "R");
    rtl.rows[0].rightToLeft = true;
    const Layout mirrored = LayOutChecked(Doc({B(rtl)}), TextArea(6000, 10));
    EXPECT_EQ(Item(mirrored, "R0.0")->x, 1000 - 100 + 5000 - 2000 + 100);
    EXPECT_EQ(Item(mirrored, "R0.1")->x, 1000 - 100 + 100);
    EXPECT_EQ(mirrored.plainText, u"R0.0\r\nR0.1\r\n");  // read in the file's order

    // A table whose first paragraph breaks the page starts on a new one.
    Table broken = Grid(2, {2000}, "B");
    auto& firstCell = std::get<Paragraph>(broken.rows[0].cells[0].content[0].value);
    ParaFormat breakBefore;
    breakBefore.pageBreakBefore = true;
    firstCell.format = breakBefore;
    const Layout l2 = LayOutChecked(Doc({B(Para("before")), B(broken)}), TextArea(6000, 10));
    EXPECT_EQ(PageOf(l2, "B0.0"), 1);
    EXPECT_EQ(PageOf(l2, "B1.0"), 1);
}

// `lines` one-line paragraphs, then the table, on ten-line pages.
Layout AfterLines(int lines, const Table& t) {
    Blocks body(lines, B(Para("p")));
    body.push_back(B(t));
    return LayOutChecked(Doc(body), TextArea(6000, 10));
}

TEST(PageLayout, RowsBreakAtThePageUnlessKeptTogetherAndRowTallerThanPageIsCut) {
    Table t;
    TableRow row;
    TableCell cell;
    cell.rightEdge = 3000;
    for (int i = 0; i < 4; ++i) cell.content.push_back(B(Para("c" + std::to_string(i))));
    row.cells.push_back(cell);
    t.rows.push_back(row);
    // Two of its four lines fit on the first page: they stay there, the rest goes on.
    const Layout broken = AfterLines(8, t);
    EXPECT_EQ(PageOf(broken, "c1"), 0);
    EXPECT_EQ(PageOf(broken, "c2"), 1);
    // \trkeep, and an exact height, keep the row whole on the next page.
    for (const int exact : {0, -4 * 240}) {
        t.rows[0].keepTogether = exact == 0;
        t.rows[0].height = exact;
        const Layout moved = AfterLines(8, t);
        EXPECT_EQ(PageOf(moved, "c0"), 1) << exact;
        EXPECT_EQ(PageOf(moved, "c3"), 1) << exact;
    }
    t.rows[0].keepTogether = false;
    t.rows[0].height = 0;

    for (int i = 4; i < 25; ++i) t.rows[0].cells[0].content.push_back(B(Para("c" + std::to_string(i))));
    const Layout cut = AfterLines(8, t);
    EXPECT_EQ(PageOf(cut, "c0"), 0);  // starts in the room left on page 1
    EXPECT_EQ(PageOf(cut, "c1"), 0);
    EXPECT_EQ(PageOf(cut, "c2"), 1);
    EXPECT_EQ(PageOf(cut, "c2"), 1);
    EXPECT_EQ(PageOf(cut, "c12"), 2);
    EXPECT_EQ(PageOf(cut, "c24"), 3);
}

TEST(PageLayout, RowsKeptWithTheNextMoveOnWithTheirTable) {
    // Six one-line rows below seven lines on a ten-line page: three fit, unless their
    // paragraphs are kept with the next, the way to keep a table on one page.
    Table t = Grid(6, {3000}, "r");
    const Layout split = AfterLines(7, t);
    EXPECT_EQ(PageOf(split, "r2.0"), 0);
    EXPECT_EQ(PageOf(split, "r3.0"), 1);

    ParaFormat keep;
    keep.keepWithNext = true;
    for (std::size_t r = 0; r + 1 < t.rows.size(); ++r)  // all but the last, as Word writes it
        std::get<Paragraph>(t.rows[r].cells[0].content[0].value).format = keep;
    const Layout kept = AfterLines(7, t);
    EXPECT_EQ(PageOf(kept, "r0.0"), 1);
    EXPECT_EQ(PageOf(kept, "r5.0"), 1);

    // A kept table longer than a page still goes on from page to page.
    Table tall = Grid(25, {3000}, "t");
    for (TableRow& row : tall.rows) std::get<Paragraph>(row.cells[0].content[0].value).format = keep;
    const Layout flowed = AfterLines(7, tall);
    EXPECT_EQ(PageOf(flowed, "t24.0"), PageOf(flowed, "t0.0") + 2);
}

TEST(PageLayout, RowBordersAreTheTablesOuterAndInsideLines) {
    // Word writes the table's lines on every row: \trbrdrt and \trbrdrb are its top and bottom,
    // \trbrdrl and \trbrdrr its sides, \trbrdrh and \trbrdrv the lines between rows and cells.
    Table t = Grid(3, {1000, 2000}, "g");
    BorderLine outer, inside;
    outer.style = inside.style = BorderLine::Style::Single;
    outer.widthTwips = 30;
    inside.widthTwips = 10;
    for (TableRow& row : t.rows) {
        row.borders = Borders{outer, outer, outer, outer};
        row.insideHorizontal = inside;
    }
    const Layout l = LayOutChecked(Doc({B(t)}), PageSetup{});
    std::vector<int> across;  // the heights (widths) of the horizontal lines, top to bottom
    int sides = 0;
    for (const RectItem& r : l.pages[0].rects) {
        if (r.width > r.height) across.push_back(r.height);
        else sides += r.width == 30;
    }
    // One outer line above, two thin ones between the rows, one outer line below, in each cell.
    EXPECT_EQ(std::count(across.begin(), across.end(), 30), 2 * 2);
    EXPECT_EQ(std::count(across.begin(), across.end(), 10), 2 * 2);
    EXPECT_EQ(sides, 3 * 2);  // the table's left and right edges only, no line between the cells
}

TEST(PageLayout, CellBordersOverRowBordersAndCompoundWidth) {
    Table t = Grid(1, {1000, 2000}, "b");
    BorderLine single;
    single.style = BorderLine::Style::Single;
    single.widthTwips = 10;
    t.rows[0].borders = Borders{single, single, single, single};
    t.rows[0].cells[0].borders.left.given = true;  // \clbrdrl\brdrnone
    t.rows[0].cells[1].borders.top.style = BorderLine::Style::ThickThin;
    t.rows[0].cells[1].borders.top.widthTwips = 120;
    const Layout l = LayOutChecked(Doc({B(t)}), PageSetup{});
    bool leftEdge = false;
    std::vector<const RectItem*> compound;  // the second cell's top border
    for (const auto& r : l.pages[0].rects) {
        if (r.height > r.width && r.x <= 1440 && r.x + r.width >= 1440) leftEdge = true;
        if (r.width > r.height && r.x > 1440 + 500 && r.y < 1440 + 100) compound.push_back(&r);
    }
    EXPECT_FALSE(leftEdge);
    // The thick line outside, a gap and a thin line: 150 twips in all, not three thick lines.
    ASSERT_EQ(compound.size(), 2u);
    EXPECT_EQ(compound[0]->height, 120);
    EXPECT_EQ(compound[1]->height, 15);
    EXPECT_EQ(compound[1]->y, compound[0]->y + 120 + 15);

    // A double line: two strokes with the gap between them.
    t.rows[0].cells[1].borders.top.style = BorderLine::Style::Double;
    t.rows[0].cells[1].borders.top.widthTwips = 20;
    const Layout d = LayOutChecked(Doc({B(t)}), PageSetup{});
    compound.clear();
    for (const auto& r : d.pages[0].rects)
        if (r.width > r.height && r.x > 1440 + 500 && r.y < 1440 + 100) compound.push_back(&r);
    ASSERT_EQ(compound.size(), 2u);
    EXPECT_EQ(compound[0]->height, 20);
    EXPECT_EQ(compound[1]->y, compound[0]->y + 40);

    // A dotted line: dots as long as the line is thick, with gaps as long between them.
    t.rows[0].cells[1].borders.top.style = BorderLine::Style::Dotted;
    const Layout dots = LayOutChecked(Doc({B(t)}), PageSetup{});
    compound.clear();
    for (const auto& r : dots.pages[0].rects)
        if (r.x > 1440 + 500 && r.y < 1440 + 100 && r.height == 20) compound.push_back(&r);
    ASSERT_GT(compound.size(), 10u);
    EXPECT_EQ(compound[0]->width, 20);
    EXPECT_EQ(compound[1]->x, compound[0]->x + 40);
}

// Thick borders and padding take room inside the cell: the text keeps clear of the lines.
TEST(PageLayout, CellTextKeepsClearOfThickBordersAndPadding) {
    Table t = Grid(2, {2000}, "t");  // the cell from 1340; \trgaph 100
    BorderLine thick;
    thick.style = BorderLine::Style::Thick;
    thick.widthTwips = 60;  // a line 120 wide, 60 of it inside the cell
    for (auto& row : t.rows) row.cells[0].borders = Borders{thick, thick, thick, thick};
    t.rows[0].paddingLeft = 200;
    t.rows[0].cells[0].padTop = 50;
    const Layout l = LayOutChecked(Doc({B(t)}), PageSetup{});
    EXPECT_EQ(Item(l, "t0.0")->x, 1340 + 200 + 60);
    EXPECT_EQ(Item(l, "t0.0")->baseline, 1440 + 50 + 60 + 192);
    EXPECT_EQ(Item(l, "t1.0")->x, 1340 + 100 + 60);
    EXPECT_EQ(Item(l, "t1.0")->baseline, 1440 + (50 + 60 + 240 + 60) + 60 + 192);
    for (const auto& text : l.pages[0].texts)
        for (const auto& r : l.pages[0].rects)
            EXPECT_FALSE(text.x < r.x + r.width && r.x < text.x + text.width && text.baseline - 192 < r.y + r.height &&
                         r.y < text.baseline + 48)
                << "a border over " << std::string(text.text.begin(), text.text.end());
}

TEST(PageLayout, MergedCells) {
    Table t = Grid(3, {1000, 2000, 3000}, "m");
    BorderLine line;
    line.style = BorderLine::Style::Single;
    line.widthTwips = 20;
    for (auto& row : t.rows)
        for (auto& cell : row.cells) cell.borders = Borders{line, line, line, line};
    t.rows[0].cells[0].mergeFirst = true;  // spans columns 0 and 1
    t.rows[0].cells[1].merged = true;
    t.rows[1].cells[2].verticalMergeFirst = true;  // spans rows 1 and 2
    t.rows[1].cells[2].shading = Color{200, 0, 0, false};
    t.rows[2].cells[2].verticalMerged = true;
    for (const char* v : {"v2", "v3"}) t.rows[1].cells[2].content.push_back(B(Para(v)));
    const Layout l = LayOutChecked(Doc({B(t), B(Para("after"))}), PageSetup{});
    EXPECT_EQ(Item(l, "m0.1"), nullptr);  // the merged cell's content is not drawn
    EXPECT_EQ(Item(l, "m2.2"), nullptr);
    const auto& rects = l.pages[0].rects;
    // The merge's three lines run through its two rows; the second row grows to hold the
    // third line, the first keeps its own height (a line and the insides of its borders, 2 x 10).
    EXPECT_EQ(Item(l, "m2.0")->baseline - Item(l, "m1.0")->baseline, 260);
    EXPECT_EQ(Item(l, "v3")->baseline - Item(l, "m1.2")->baseline, 480);
    EXPECT_EQ(Item(l, "after")->baseline - Item(l, "m2.0")->baseline, 470);
    // Its shading covers both rows.
    int shaded = 0;
    for (const auto& r : rects)
        if (r.color.r == 200) shaded += r.height;
    EXPECT_EQ(shaded, 260 + 480);
    // No horizontal border inside the vertical merge (at the boundary of rows 1 and 2) and
    // none inside the horizontal one (at x 1000 in row 0).
    const int rowTop1 = 1440 + 260, rowTop2 = 1440 + 520;
    for (const auto& r : rects) {
        if (r.color.r == 200) continue;  // shading
        const bool horizontal = r.width > r.height;
        if (horizontal && r.x >= 1440 + 2000 - 10 && r.y <= rowTop2 && r.y + r.height >= rowTop2)
            ADD_FAILURE() << "border inside the vertical merge at y " << r.y;
        if (!horizontal && r.y < rowTop1 && r.x <= 1440 + 1000 && r.x + r.width >= 1440 + 1000)
            ADD_FAILURE() << "border inside the horizontal merge";
    }

    // A merge's line that starts in one row (and runs on into the next) is drawn once, even
    // where a thicker line above the next row gives that row more room at its top.
    Table u = Grid(2, {1000, 2000}, "u");
    for (auto& row : u.rows)
        for (auto& cell : row.cells) cell.borders = Borders{line, line, line, line};
    u.rows[0].cells[0].borders.bottom.widthTwips = 120;
    u.rows[0].cells[0].content.clear();
    u.rows[0].height = 260;  // the second line starts 10 above the row's end
    u.rows[0].cells[1].verticalMergeFirst = true;
    u.rows[1].cells[1].verticalMerged = true;
    u.rows[0].cells[1].content = {B(Para("w1")), B(Para("w2"))};
    const Layout once = LayOutChecked(Doc({B(u)}), PageSetup{});
    int drawn = 0;
    for (const auto& text : once.pages[0].texts) drawn += text.text == u"w2";
    EXPECT_EQ(drawn, 1);
}

TEST(PageLayout, FootnoteOnThePageOfItsReference) {
    Document d;
    d.sections.emplace_back();
    Note note;
    note.mark = u"1";
    note.content.push_back(B(Para("NOTE")));
    d.notes.push_back(note);
    for (int i = 0; i < 15; ++i) d.sections[0].body.push_back(B(Para("x")));
    Paragraph ref = Para("ref");
    Inline mark = Kind(Inline::Kind::NoteRef);
    mark.note = 0;
    ref.content.push_back(mark);
    d.sections[0].body.push_back(B(ref));
    // 10 lines a page: the separator and the note take two, so "ref" (line 16) lands on page 2.
    const Layout l = LayOutChecked(d, TextArea(3000, 10));
    ASSERT_EQ(PageOf(l, "ref"), 1);
    EXPECT_EQ(PageOf(l, "NOTE"), 1);
    EXPECT_GT(Item(l, "NOTE")->baseline, Item(l, "ref")->baseline);
    EXPECT_EQ(Item(l, "NOTE")->baseline, 1000 + 10 * 240 - 240 + 192);  // the last line of the body
    // The note's text follows the body, led by its mark.
    EXPECT_EQ(l.plainText.substr(l.plainText.size() - 8), u"1 NOTE\r\n");

    // With a mark of the file's own the note still goes to its reference's page, and nothing is
    // added before it or in the text.
    d.notes[0].mark.clear();
    const Layout c = LayOutChecked(d, TextArea(3000, 10));
    EXPECT_EQ(PageOf(c, "NOTE"), 1);
    EXPECT_EQ(c.plainText.substr(c.plainText.size() - 11), u"ref\r\nNOTE\r\n");
    EXPECT_EQ(PageOf(c, "1"), -1);

    // With the footnotes collected at the document's end it goes after the body instead.
    d.footnotesAtEnd = true;
    const Layout e = LayOutChecked(d, TextArea(3000, 10));
    EXPECT_GT(Item(e, "NOTE")->baseline + 10000 * PageOf(e, "NOTE"), Item(e, "ref")->baseline + 10000 * PageOf(e, "ref"));
}

TEST(PageLayout, HeadersAndFootersByPageWithPageNumbers) {
    Document d;
    d.facingPages = true;
    Section s;
    s.titlePage = true;
    s.headers.first.push_back(B(Para("FIRST")));
    s.headers.left.push_back(B(Para("LEFT")));
    Paragraph right = Para("RIGHT ");
    right.content.push_back(Kind(Inline::Kind::PageNumber));
    s.headers.right.push_back(B(right));
    Paragraph foot = Para("of ");
    foot.content.push_back(Kind(Inline::Kind::PageCount));
    s.footers.both.push_back(B(foot));
    for (int i = 0; i < 3; ++i) {
        Paragraph p = Para("page");
        p.pageBreakAfter = i < 2;
        s.body.push_back(B(p));
    }
    d.sections.push_back(s);
    const Layout l = LayOutChecked(d, PageSetup{});
    ASSERT_EQ(l.pages.size(), 3u);
    EXPECT_EQ(PageOf(l, "FIRST"), 0);
    EXPECT_EQ(PageOf(l, "LEFT"), 1);
    EXPECT_EQ(PageOf(l, "RIGHT"), 2);
    const auto& p3 = l.pages[2].texts;
    auto number = std::find_if(p3.begin(), p3.end(), [](const TextItem& t) { return t.field == TextItem::Field::PageNumber; });
    ASSERT_NE(number, p3.end());
    EXPECT_EQ(number->text, u"3");
    EXPECT_EQ(number->textOffset, kNoTextOffset);
    auto count = std::find_if(p3.begin(), p3.end(), [](const TextItem& t) { return t.field == TextItem::Field::PageCount; });
    ASSERT_NE(count, p3.end());
    EXPECT_EQ(count->text, u"3");
    EXPECT_EQ(Item(l, "FIRST")->baseline, 720 + 192);  // at the header distance
    EXPECT_EQ(l.plainText.find(u"FIRST"), std::u16string::npos);

    // Page numbers in the section's style, in headers and in the body alike.
    d.sections[0].pageNumbers = Numbering::LowerRoman;
    std::get<Paragraph>(d.sections[0].body.back().value).content.push_back(Kind(Inline::Kind::PageNumber));
    const Layout roman = LayOutChecked(d, PageSetup{});
    const auto& r3 = roman.pages[2].texts;
    EXPECT_EQ(std::count_if(r3.begin(), r3.end(), [](const TextItem& t) { return t.text == u"iii"; }), 2);

    // A header taller than the top margin pushes the body down.
    for (int i = 0; i < 8; ++i) d.sections[0].headers.first.push_back(B(Para("h")));
    const Layout tall = LayOutChecked(d, PageSetup{});
    EXPECT_EQ(Item(tall, "page")->baseline, 720 + 9 * 240 + 192);

    // Without a header or footer the body runs from margin to margin, though the header and
    // footer distances (720) reach further in than the margins (300).
    Document bare = Doc({B(Para("top"))});
    for (int i = 0; i < 9; ++i) bare.sections[0].body.push_back(B(Para("line")));
    PageSetup narrow = TextArea(4000, 10);
    narrow.marginTop = narrow.marginBottom = 300;
    narrow.height = 300 + 10 * 240 + 300;
    const Layout full = LayOutChecked(bare, narrow);
    EXPECT_EQ(full.pages.size(), 1u);
    EXPECT_EQ(Item(full, "top")->baseline, 300 + 192);
}

TEST(PageLayout, SectionBreaksAndPageNumberRestart) {
    Document d;
    d.sections.resize(4);
    d.sections[0].body.push_back(B(Para("s0")));
    d.sections[1].breakBefore = Section::Break::Odd;  // page 2 is even: a blank page first
    d.sections[1].body.push_back(B(Para("s1")));
    d.sections[2].breakBefore = Section::Break::None;
    d.sections[2].body.push_back(B(Para("s2")));
    Paragraph broken = Para("s2b");
    broken.pageBreakAfter = true;
    d.sections[2].body.push_back(B(broken));
    d.sections[3].breakBefore = Section::Break::None;  // continuous, but after a \page
    d.sections[3].body.push_back(B(Para("s3")));
    const Layout l = LayOutChecked(d, PageSetup{});
    ASSERT_EQ(l.pages.size(), 4u);
    EXPECT_EQ(PageOf(l, "s0"), 0);
    EXPECT_TRUE(l.pages[1].texts.empty());
    EXPECT_EQ(PageOf(l, "s1"), 2);
    EXPECT_EQ(PageOf(l, "s2"), 2);
    EXPECT_EQ(Item(l, "s2")->baseline, Item(l, "s1")->baseline + 240);
    EXPECT_EQ(PageOf(l, "s3"), 3);
    EXPECT_EQ(l.pages[3].number, 4);

    d.sections[3].breakBefore = Section::Break::Page;
    d.sections[3].pageNumberStart = 7;
    std::get<Paragraph>(d.sections[2].body.back().value).pageBreakAfter = false;
    const Layout restarted = LayOutChecked(d, PageSetup{});
    ASSERT_EQ(restarted.pages.size(), 4u);
    EXPECT_EQ(restarted.pages[3].number, 7);

    // A section's own margins move the page setup's by as much as they differ from the first
    // section's: left and right at once, also in a continuous section, top from its next page.
    Document m = Doc({B(Para("first"))});
    m.sections[0].marginLeft = 1800;
    m.sections.resize(3);
    m.sections[1].breakBefore = Section::Break::None;
    m.sections[1].marginLeft = 2800;
    m.sections[1].marginTop = 2440;
    m.sections[1].body.push_back(B(Para("narrow")));
    m.sections[2].body.push_back(B(Para("third")));  // no margins of its own: the document's
    m.marginLeft = 1000;
    const PageSetup setup;
    const Layout margins = LayOutChecked(m, setup);
    EXPECT_EQ(Item(margins, "first")->x, setup.marginLeft);
    EXPECT_EQ(Item(margins, "narrow")->x, setup.marginLeft + 1000);
    EXPECT_EQ(Item(margins, "narrow")->baseline, Item(margins, "first")->baseline + 240);
    EXPECT_EQ(Item(margins, "third")->x, setup.marginLeft - 800);
    EXPECT_EQ(Item(margins, "third")->baseline, setup.marginTop + 192);
    m.sections[2].marginLeft = 2800;  // inherited the section before's margins
    m.sections[2].marginTop = 2440;
    const Layout moved = LayOutChecked(m, setup);
    EXPECT_EQ(Item(moved, "third")->x, setup.marginLeft + 1000);
    EXPECT_EQ(Item(moved, "third")->baseline, setup.marginTop + 1000 + 192);
}

TEST(PageLayout, ASectionOnOtherPaperHasPagesOfItsOwnSize) {
    // A4 portrait, then a landscape section, continuous (which starts a new page all the same),
    // then a section on paper an inch wider, laid out at Letter portrait: the landscape pages
    // are Letter turned, the wider ones Letter an inch wider.
    Document d = Doc({B(Para("portrait"))});
    d.paperWidth = 11906;
    d.paperHeight = 16838;
    d.sections.resize(3);
    d.sections[1].breakBefore = Section::Break::None;
    d.sections[1].pageWidth = 16838;
    d.sections[1].pageHeight = 11906;
    d.sections[1].body.push_back(B(Para("landscape")));
    d.sections[2].pageWidth = 11906 + 1440;
    d.sections[2].pageHeight = 16838;
    d.sections[2].body.push_back(B(Para("wider")));
    const PageSetup setup;  // Letter, 1-inch margins
    const Layout l = LayOutChecked(d, setup);
    ASSERT_EQ(l.pages.size(), 3u);
    EXPECT_EQ(PageOf(l, "landscape"), 1);
    EXPECT_EQ(std::pair(l.pages[0].width, l.pages[0].height), std::pair(12240, 15840));
    EXPECT_EQ(std::pair(l.pages[1].width, l.pages[1].height), std::pair(15840, 12240));
    EXPECT_EQ(std::pair(l.pages[2].width, l.pages[2].height), std::pair(12240 + 1440, 15840));
    EXPECT_EQ(Item(l, "landscape")->x, setup.marginLeft);

    // The same paper as the first section's keeps a continuous section on the page; paper too
    // narrow for the margins leaves them half an inch of text.
    d.sections[1].pageWidth = 11906 + 10;
    d.sections[1].pageHeight = 16838;
    d.sections[2].pageWidth = 100;
    const Layout small = LayOutChecked(d, setup);
    EXPECT_EQ(PageOf(small, "landscape"), 0);
    EXPECT_EQ(small.pages.back().width, setup.marginLeft + setup.marginRight + 720);
    EXPECT_EQ(Item(small, "wider")->x, setup.marginLeft);
}

TEST(PageLayout, MirroredMarginsAndTheGutterFollowThePageSide) {
    // Three pages, the second numbered 2 and the third restarted at 2 by its section: with
    // mirrored margins both even pages have the left and right margins swapped, and the gutter
    // widens the inside one, leaving the text width as it is on every page.
    Document d = Doc({B(Para("one")), B(Para("two"))});
    std::get<Paragraph>(d.sections[0].body[0].value).pageBreakAfter = true;
    d.sections.resize(2);
    d.sections[1].pageNumberStart = 2;
    d.sections[1].body.push_back(B(Para("restarted")));
    PageSetup setup;
    setup.marginLeft = 1000;
    setup.marginRight = 2000;
    d.mirrorMargins = true;
    const Layout mirrored = LayOutChecked(d, setup);
    EXPECT_EQ(Item(mirrored, "one")->x, 1000);
    EXPECT_EQ(Item(mirrored, "two")->x, 2000);
    EXPECT_EQ(Item(mirrored, "restarted")->x, 2000);
    d.gutter = 500;
    const Layout bound = LayOutChecked(d, setup);
    EXPECT_EQ(Item(bound, "one")->x, 1500);
    EXPECT_EQ(Item(bound, "two")->x, 2000);

    // Without mirrored margins the gutter is on the left, on the right (\rtlgutter) or at the
    // top; one that would leave less than half an inch of text is left out.
    d.mirrorMargins = false;
    EXPECT_EQ(Item(LayOutChecked(d, setup), "two")->x, 1500);
    d.gutterRight = true;
    EXPECT_EQ(Item(LayOutChecked(d, setup), "two")->x, 1000);
    d.gutterAtTop = true;
    EXPECT_EQ(Item(LayOutChecked(d, setup), "one")->baseline,
              Item(LayOutChecked(Doc({B(Para("one"))}), setup), "one")->baseline + 500);
    d.gutterAtTop = false;
    d.gutter = setup.width;
    EXPECT_EQ(Item(LayOutChecked(d, setup), "two")->x, 1000);
}

TEST(PageLayout, PageBordersOutsideTheMarginsOrInsideTheEdge) {
    Document d = Doc({B(Para("a")), B(Para("b"))});
    std::get<Paragraph>(d.sections[0].body[0].value).pageBreakAfter = true;
    BorderLine line;
    line.style = BorderLine::Style::Single;
    line.widthTwips = 20;
    line.spaceTwips = 100;
    d.sections[0].pageBorders = Borders{line, line, line, line};
    const PageSetup setup = TextArea(6000, 20);  // 8000 x 6800, margins 1000
    auto rects = [](const Layout& l, std::size_t page) {
        std::vector<std::array<int, 4>> out;
        for (const RectItem& r : l.pages.at(page).rects) out.push_back({r.x, r.y, r.width, r.height});
        std::sort(out.begin(), out.end());
        return out;
    };
    Layout l = LayOutChecked(d, setup);
    using Box = std::vector<std::array<int, 4>>;
    // from the text: each line's inner side 100 twips outside the margin
    EXPECT_EQ(rects(l, 0), (Box{{880, 880, 20, 5040}, {880, 880, 6240, 20}, {880, 5900, 6240, 20}, {7100, 880, 20, 5040}}));
    EXPECT_EQ(rects(l, 1), rects(l, 0));
    // from the paper's edge, on the first page only
    d.sections[0].pageBordersFromEdge = true;
    d.sections[0].pageBordersOn = Section::BorderPages::First;
    l = LayOutChecked(d, setup);
    EXPECT_EQ(rects(l, 0), (Box{{100, 100, 20, 6600}, {100, 100, 7800, 20}, {100, 6680, 7800, 20}, {7880, 100, 20, 6600}}));
    EXPECT_TRUE(l.pages.at(1).rects.empty());
}

TEST(PageLayout, ColumnsAndColumnBreak) {
    Section s;
    s.columns = 2;
    s.columnSpace = 400;
    s.lineBetween = true;
    for (int i = 0; i < 12; ++i) s.body.push_back(B(Para("L" + std::to_string(i))));
    Paragraph brk = Para("end");
    brk.content.push_back(Kind(Inline::Kind::ColumnBreak));
    s.body.push_back(B(brk));
    s.body.push_back(B(Para("next")));
    Document d;
    d.sections.push_back(s);
    const Layout l = LayOutChecked(d, TextArea(4400, 10));  // columns 2000 wide at x 1000 and 3400
    EXPECT_EQ(Item(l, "L9")->x, 1000);
    EXPECT_EQ(Item(l, "L10")->x, 3400);
    EXPECT_EQ(Item(l, "L10")->baseline, Item(l, "L0")->baseline);
    EXPECT_EQ(PageOf(l, "next"), 1);  // the column break after "end" in column 2
    const auto& rects = l.pages[0].rects;
    EXPECT_TRUE(std::any_of(rects.begin(), rects.end(), [](const RectItem& r) { return r.x < 3200 && r.x + r.width > 3200 && r.height > r.width; }));

    // In one column a column break starts a page, but not when only empty paragraphs follow it
    // before a continuous section break
    const char* breaks[] = {"{\\rtf1 a\\par\\column b\\par\\sect\\sectd\\sbknone c\\par}",
                            "{\\rtf1 a\\par\\column\\par\\sect\\sectd\\sbknone c\\par}",
                            "{\\rtf1 a\\par\\column\\par\\sect\\sectd c\\par}"};
    const int pageOfC[] = {1, 0, 2};  // (the last: the break's empty paragraph has a page of its own)
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(PageOf(LayOutChecked(ReadRtf(breaks[k]).document, TextArea(4400, 10)), "c"), pageOfC[k]) << breaks[k];
}

// The line numbers on `page` (its only text outside the document's text): each one's number,
// baseline and right edge.
using Numbers = std::vector<std::tuple<std::u16string, int, int>>;
Numbers LineNumbers(const Layout& l, std::size_t page) {
    Numbers out;
    for (const TextItem& t : l.pages.at(page).texts)
        if (t.textOffset == kNoTextOffset) out.emplace_back(t.text, t.baseline, t.x + t.width);
    return out;
}

TEST(PageLayout, LineNumbersCountTheBodysTextLinesOnly) {
    ParaFormat noline, spaced;
    noline.noLineNumbers = true;
    spaced.spaceBefore = 120;
    Paragraph four = Para("four four four four four", spaced);  // two lines
    four.pageBreakAfter = true;
    Document d = Doc({B(Para("one")), B(Para("")), B(Para("skipped", noline)), B(Grid(1, {2400}, "cell")),
                      B(Para("three")), B(four), B(Para("more"))});
    d.sections[0].lineNumbers.every = 2;
    const Layout l = LayOutChecked(d, TextArea(2400, 20));
    // The empty paragraph is line 2; each number ends the automatic 360 twips left of the column.
    EXPECT_EQ(LineNumbers(l, 0), (Numbers{{u"2", 1432, 640}, {u"4", Item(l, "four four")->baseline, 640}}));
    EXPECT_TRUE(LineNumbers(l, 1).empty());  // "more" is line 1 of its page
    d.sections[0].lineNumbers.every = 0;
    EXPECT_EQ(LayOutChecked(d, TextArea(2400, 20)).plainText, l.plainText);  // not the document's text

    // On from the section before, or from the start again; beside each column.
    Paragraph split = Para("b");
    split.content.push_back(Kind(Inline::Kind::ColumnBreak));
    split.content.push_back(Text("c"));
    d = Doc({B(Para("a"))});
    d.sections[0].lineNumbers = LineNumbering{1, 200, 5, LineNumbering::Restart::Page};
    Section& s = d.sections.emplace_back();
    s.body = {B(split)};
    s.breakBefore = Section::Break::None;
    s.columns = 2;
    s.columnSpace = 400;  // columns at 1000 and 3400
    s.lineNumbers = LineNumbering{1, 200, 1, LineNumbering::Restart::Continue};
    EXPECT_EQ(LineNumbers(LayOutChecked(d, TextArea(4400, 20)), 0),
              (Numbers{{u"5", 1192, 800}, {u"6", 1432, 800}, {u"7", 1432, 3200}}));
    s.lineNumbers.restart = LineNumbering::Restart::Section;
    EXPECT_EQ(std::get<0>(LineNumbers(LayOutChecked(d, TextArea(4400, 20)), 0).at(1)), u"1");
}

// The right edge of the widest text on page 1 with its baseline in (from, to], but `except`.
int RightmostText(const Layout& l, const std::string& except, int from, int to) {
    int right = 0;
    for (const TextItem& t : l.pages[0].texts)
        if (t.text.find(U(except)) == std::u16string::npos && t.baseline > from && t.baseline <= to)
            right = std::max(right, t.x + t.width);
    return right;
}

TEST(PageLayout, PositionedFramesStandApartAndTextFlowsAroundThem) {
    std::string words;
    for (int i = 0; i < 60; ++i) words += "word ";
    ParaFormat framed;
    framed.frame.set = true;
    framed.frame.horzAlign = FramePosition::HorzAlign::Right;
    framed.frame.width = 2400;
    framed.frame.gapX = 120;
    // Three lines in a frame at the column's right, text beside it, then across the column.
    Document d = Doc({B(Para("FRAMEA", framed)), B(Para("FRAMEB", framed)), B(Para("FRAMEC", framed)), B(Para(words))});
    Layout l = LayOutChecked(d, TextArea(9600, 20));
    const TextItem* frame = Item(l, "FRAMEA");
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->x, 1000 + 9600 - 2400);
    EXPECT_EQ(Item(l, "FRAMEC")->baseline, frame->baseline + 480);
    EXPECT_EQ(Item(l, "word")->baseline, frame->baseline);  // beside the frame, not below it
    const int last = Item(l, "FRAMEC")->baseline;
    EXPECT_LE(RightmostText(l, "FRAME", 0, last), 1000 + 9600 - 2400 - 120);
    EXPECT_GT(RightmostText(l, "FRAME", last, last + 240), 1000 + 9600 - 2400);
    EXPECT_EQ(l.plainText.substr(0, 6), u"FRAMEA");  // read in the document's order

    // Beside a frame at a page's foot, the text takes the whole width again on the next page.
    l = LayOutChecked(d, TextArea(9600, 2));
    ASSERT_GT(l.pages.size(), 1u);
    EXPECT_TRUE(std::any_of(l.pages[1].texts.begin(), l.pages[1].texts.end(),
                            [](const TextItem& t) { return t.x + t.width > 1000 + 9600 - 2400; }));

    // The text runs under a frame in front of it.
    Document over = d;
    for (int i = 0; i < 3; ++i) {
        Paragraph& p = std::get<Paragraph>(over.sections[0].body[i].value);
        ParaFormat f = *p.format;
        f.frame.inFront = true;
        p.format = f;
    }
    l = LayOutChecked(over, TextArea(9600, 20));
    EXPECT_EQ(Item(l, "word")->baseline, Item(l, "FRAMEA")->baseline);
    EXPECT_GT(RightmostText(l, "FRAME", 0, Item(l, "FRAMEA")->baseline), 1000 + 9600 - 2400);

    // Without wrapping the text goes below it.
    for (int i = 0; i < 3; ++i) {
        Paragraph& p = std::get<Paragraph>(d.sections[0].body[i].value);
        ParaFormat f = *p.format;
        f.frame.wrap = false;
        f.frame.gapY = 100;
        p.format = f;
    }
    l = LayOutChecked(d, TextArea(9600, 20));
    EXPECT_EQ(Item(l, "word")->baseline, Item(l, "FRAMEC")->baseline + 240 + 100);

    // A frame at a place on the page, and one too wide to leave room beside it.
    ParaFormat onPage;
    onPage.frame.set = true;
    onPage.frame.vertRef = FramePosition::VertRef::Page;
    onPage.frame.horzRef = FramePosition::HorzRef::Page;
    onPage.frame.x = 3000;
    onPage.frame.y = 2000;
    onPage.frame.height = -960;
    ParaFormat wide;
    wide.frame.set = true;
    wide.frame.width = 9000;
    Document placed = Doc({B(Para("intro")), B(Para("PLACED", onPage)), B(Para(words)), B(Para("WIDE", wide)), B(Para("after"))});
    l = LayOutChecked(placed, TextArea(9600, 20));
    EXPECT_EQ(Item(l, "PLACED")->x, 3000);
    EXPECT_EQ(Item(l, "PLACED")->baseline, 2000 + 192);
    for (const TextItem& t : l.pages[0].texts) {  // nothing drawn over it
        if (t.text.find(u"PLACED") != std::u16string::npos || t.baseline - 192 >= 2960 || t.baseline + 48 <= 2000)
            continue;
        EXPECT_TRUE(t.x + t.width <= 3000 || t.x >= 3000 + 6 * 120) << "at " << t.x << "," << t.baseline;
    }
    EXPECT_EQ(Item(l, "after")->baseline, Item(l, "WIDE")->baseline + 240);

    // A frame that only the first line's space before reaches: that line goes beside it too.
    ParaFormat spaced;
    spaced.spaceBefore = 200;
    ParaFormat low = onPage;
    low.frame.x = 1000;
    low.frame.y = 1000 + 240 + 300;
    low.frame.width = 2400;
    l = LayOutChecked(Doc({B(Para("intro")), B(Para("PLACED", low)), B(Para("beside", spaced))}), TextArea(9600, 20));
    EXPECT_EQ(Item(l, "beside")->baseline, 1000 + 240 + 200 + 192);
    EXPECT_GE(Item(l, "beside")->x, 1000 + 2400);

    // Anchored to its paragraph: one placed far below it stays on its page, in the bottom
    // margin; one that starts at its anchor and does not fit goes to the next page.
    ParaFormat below;
    below.frame.set = true;
    below.frame.y = 700;  // on a page of two lines: from below the anchor into the bottom margin
    below.frame.height = -480;
    ParaFormat atAnchor = below;
    atAnchor.frame.y = 0;
    for (const ParaFormat& f : {below, atAnchor}) {
        l = LayOutChecked(Doc({B(Para("anchor")), B(Para("LOGO", f)), B(Para("more"))}), TextArea(9600, 2));
        const int page = PageOf(l, "LOGO");
        EXPECT_EQ(page, f.frame.y > 0 ? 0 : 1);
        if (f.frame.y > 0) {
            EXPECT_GT(Item(l, "LOGO")->baseline, 1000 + 2 * 240);
        }
    }
    // A shape in front of the text takes no room: it stays on its anchor's page, moved up
    // where it would run past the paper's foot, and the text after it stays too.
    ParaFormat front = atAnchor;
    front.frame.inFront = true;
    for (int y : {0, 5000}) {
        front.frame.y = y;
        l = LayOutChecked(Doc({B(Para("anchor")), B(Para("LOGO", front)), B(Para("more"))}), TextArea(9600, 2));
        EXPECT_EQ(PageOf(l, "LOGO"), 0) << y;
        EXPECT_EQ(PageOf(l, "more"), 0) << y;
        EXPECT_EQ(Item(l, "LOGO")->baseline, std::min(1240 + y, 2480 - 480) + 192) << y;
    }

    // A table row stays beside a frame that leaves its cells room, else goes below it.
    for (int edge : {4000, 9000}) {
        l = LayOutChecked(Doc({B(Para("FRAMEA", framed)), B(Grid(1, {edge}, "R"))}), TextArea(9600, 20));
        EXPECT_EQ(Item(l, "R0.0")->baseline > Item(l, "FRAMEA")->baseline + 120, edge == 9000) << edge;
    }

    // A table in a frame (a text box's) goes into the frame's box with its paragraphs, in the
    // body and in a header alike.
    Table boxedTable = Grid(2, {1500}, "T");
    boxedTable.frame = onPage.frame;
    placed = Doc({B(Para("intro")), B(Para("BOXED", onPage)), B(boxedTable), B(Para("after"))});
    for (bool inHeader : {false, true}) {
        if (inHeader) placed.sections[0].headers.both = std::exchange(placed.sections[0].body, {B(Para("body"))});
        l = LayOutChecked(placed, TextArea(9600, 20));
        EXPECT_EQ(Item(l, "BOXED")->baseline, 2000 + 192);
        EXPECT_EQ(Item(l, "T0.0")->x, 3000);
        EXPECT_EQ(Item(l, "T0.0")->baseline, Item(l, "BOXED")->baseline + 240);
        EXPECT_EQ(Item(l, "T1.0")->baseline, Item(l, "T0.0")->baseline + 240);
    }

    // In a table cell a framed paragraph stays in the cell's flow.
    Table table = Grid(1, {4000}, "C");
    table.rows[0].cells[0].content.push_back(B(Para("INCELL", framed)));
    l = LayOutChecked(Doc({B(table)}), TextArea(9600, 20));
    EXPECT_EQ(Item(l, "INCELL")->x, Item(l, "C0.0")->x);
    EXPECT_EQ(Item(l, "INCELL")->baseline, Item(l, "C0.0")->baseline + 240);
    // A text box placed from its paragraph keeps its place in the cell, in front of the text
    // (in a row of exact height too), and may stand above the cell.
    for (int top : {120, -600}) {
        const std::string rtf = "{\\rtf1\\trowd\\trrh-480\\cellx4000\\pard\\intbl{\\shp{\\*\\shpinst\\shpleft600\\shptop" +
                                std::to_string(top) + "\\shpright2600\\shpbottom1000\\shpbxcolumn\\shpbypara\\shpwr3"
                                "{\\shptxt \\pard BOXED\\par}}}anchor\\cell\\row}";
        l = LayOutChecked(ReadRtf(rtf).document, TextArea(9600, 20));
        ASSERT_NE(Item(l, "BOXED"), nullptr) << top;
        EXPECT_EQ(Item(l, "BOXED")->x, Item(l, "anchor")->x + 600 + 144) << top;  // Word's inner margins
        EXPECT_EQ(Item(l, "BOXED")->baseline, Item(l, "anchor")->baseline + top + 72) << top;
    }

    // A shape's frame draws its fill and outline around its box.
    ParaFormat boxed = onPage;
    boxed.frame.width = 2000;
    boxed.frame.drawn = FramePosition::Drawn::Outline;
    boxed.frame.lineWidth = 20;
    boxed.frame.fill = Color{255, 0, 0, false};
    l = LayOutChecked(Doc({B(Para("BOXED", boxed))}), TextArea(9600, 20));
    const auto& rects = l.pages[0].rects;
    ASSERT_EQ(rects.size(), 5u);
    EXPECT_EQ(rects[0].x, 3000);  // the fill
    EXPECT_EQ(rects[0].y, 2000);
    EXPECT_EQ(rects[0].width, 2000);
    EXPECT_EQ(rects[0].height, 960);
    EXPECT_EQ(rects[2].y + rects[2].height / 2, 2000 + 960);  // the bottom edge, centred on the box's
    EXPECT_EQ(rects[4].x + rects[4].width / 2, 3000 + 2000);   // and the right
    l = LayOutChecked(Doc({B(Para("", boxed)), B(Para("after"))}), TextArea(9600, 20));
    EXPECT_EQ(l.pages[0].rects.size(), 5u);
    EXPECT_EQ(l.plainText, u"after\r\n");  // a drawn shape adds no empty line to the text
    // an ellipse is one item holding its fill; a line keeps its direction and arrowheads
    boxed.frame.drawn = FramePosition::Drawn::Ellipse;
    l = LayOutChecked(Doc({B(Para("", boxed))}), TextArea(9600, 20));
    ASSERT_EQ(l.pages[0].rects.size(), 1u);
    EXPECT_EQ(l.pages[0].rects[0].shape, RectItem::Shape::Ellipse);
    EXPECT_EQ(l.pages[0].rects[0].fill, boxed.frame.fill);
    boxed.frame.drawn = FramePosition::Drawn::Line;
    boxed.frame.fill = Color{};
    boxed.frame.flipH = true;
    boxed.frame.arrows = 3;
    l = LayOutChecked(Doc({B(Para("", boxed))}), TextArea(9600, 20));
    ASSERT_EQ(l.pages[0].rects.size(), 1u);
    EXPECT_EQ(l.pages[0].rects[0].shape, RectItem::Shape::Line);
    EXPECT_TRUE(l.pages[0].rects[0].flipH);
    EXPECT_EQ(l.pages[0].rects[0].arrows, 3);
    EXPECT_EQ(l.pages[0].rects[0].width, 2000);
    // a turned box is one item holding its line and fill, sideways boxes turned back
    boxed.frame.drawn = FramePosition::Drawn::Outline;
    boxed.frame.rotation = 90;
    boxed.frame.height = -1000;
    l = LayOutChecked(Doc({B(Para("", boxed))}), TextArea(9600, 20));
    ASSERT_EQ(l.pages[0].rects.size(), 1u);
    const RectItem& box = l.pages[0].rects[0];
    EXPECT_EQ(box.shape, RectItem::Shape::Box);
    EXPECT_EQ(box.rotation, 90);
    EXPECT_EQ(box.width, 1000);
    EXPECT_EQ(box.height, 2000);
    EXPECT_EQ(box.x + box.width / 2, 3000 + 1000);  // about the same centre
    // so is a rounded one, unturned
    boxed.frame.rotation = 0;
    boxed.frame.rounded = true;
    l = LayOutChecked(Doc({B(Para("", boxed))}), TextArea(9600, 20));
    ASSERT_EQ(l.pages[0].rects.size(), 1u);
    EXPECT_TRUE(l.pages[0].rects[0].shape == RectItem::Shape::Box && l.pages[0].rects[0].rounded);

    // WordArt as a file writes it: its text, face and style, its translucent fill lightened
    // over the paper, its turn; drawn as one item, and no part of the document's text
    auto wordArt = ReadRtf("{\\rtf1{\\shp{\\*\\shpinst\\shpleft0\\shptop0\\shpright4000\\shpbottom1000"
                           "{\\sp{\\sn shapeType}{\\sv 136}}{\\sp{\\sn gtextUNICODE}{\\sv Dr\\u228?ft}}"
                           "{\\sp{\\sn gtextFont}{\\sv Impact}}{\\sp{\\sn gtextFBold}{\\sv 1}}"
                           "{\\sp{\\sn fillColor}{\\sv 8421504}}{\\sp{\\sn fillOpacity}{\\sv 32768}}"
                           "{\\sp{\\sn rotation}{\\sv -2949120}}}}text\\par}");
    ASSERT_EQ(wordArt.document.shapeTexts.size(), 1u);
    const ShapeText& art = wordArt.document.shapeTexts[0];
    EXPECT_EQ(art.text, u"Dr\u00E4ft");
    EXPECT_EQ(wordArt.document.fonts.at(static_cast<std::size_t>(art.format.font)).name, u"Impact");
    EXPECT_TRUE(art.format.bold);
    EXPECT_EQ(art.format.color, (Color{192, 192, 192, false}));
    l = LayOutChecked(wordArt.document, TextArea(9600, 20));
    const auto text = std::find_if(l.pages[0].rects.begin(), l.pages[0].rects.end(),
                                   [](const RectItem& r) { return r.shape == RectItem::Shape::Text; });
    ASSERT_NE(text, l.pages[0].rects.end());
    EXPECT_EQ(text->rotation, 315);
    EXPECT_EQ(text->width, 4000);
    ASSERT_EQ(l.shapeTexts.size(), 1u);
    EXPECT_EQ(l.shapeTexts[static_cast<std::size_t>(text->text)].text, u"Dr\u00E4ft");
    EXPECT_EQ(l.plainText, u"text\r\n");

    // Frames taller than the page stay on it, side by side, rather than each taking a page.
    ParaFormat tall = framed;
    tall.frame.height = -20 * 240;
    ParaFormat tallLeft = tall;
    tallLeft.frame.horzAlign = FramePosition::HorzAlign::Left;
    l = LayOutChecked(Doc({B(Para("TALLA", tallLeft)), B(Para("TALLB", tall))}), TextArea(9600, 10));
    EXPECT_EQ(PageOf(l, "TALLB"), 0);

    // A page that holds only a frame is a page: a break after it starts the next one.
    Paragraph alone = Para("PLACED", onPage);
    alone.pageBreakAfter = true;
    l = LayOutChecked(Doc({B(alone), B(Para("next"))}), TextArea(9600, 20));
    EXPECT_EQ(PageOf(l, "next"), 1);
    // Frames anchored in a paragraph that starts a new page go there with it.
    ParaFormat breaks;
    breaks.pageBreakBefore = true;
    l = LayOutChecked(Doc({B(Para("first")), B(Para("BOXA", framed)), B(Para("BOXB", tall)), B(Para("next", breaks))}),
                      TextArea(9600, 20));
    EXPECT_EQ(PageOf(l, "BOXA"), 1);
    EXPECT_EQ(PageOf(l, "BOXB"), 1);
    EXPECT_EQ(PageOf(l, "next"), 1);
    EXPECT_EQ(l.pages.size(), 2u);
    // A \page mark at the start of the next paragraph comes after the frames: they stay.
    Paragraph marked = Para("next", breaks);
    marked.breakMarkBefore = true;
    l = LayOutChecked(Doc({B(Para("first")), B(Para("BOXA", framed)), B(marked)}), TextArea(9600, 20));
    EXPECT_EQ(PageOf(l, "BOXA"), 0);
    EXPECT_EQ(PageOf(l, "next"), 1);
}

TEST(PageLayout, FramesInHeadersAndFooters) {
    Section s;
    ParaFormat number;  // a page number at the right of the footer, beside its text
    number.frame.set = true;
    number.frame.horzRef = FramePosition::HorzRef::Margin;
    number.frame.horzAlign = FramePosition::HorzAlign::Right;
    Paragraph page = Para("", number);
    page.content.push_back(Kind(Inline::Kind::PageNumber));
    s.footers.both.push_back(B(page));
    s.footers.both.push_back(B(Para("left")));
    ParaFormat onPage;  // a return address at a place on the page, outside the header's flow
    onPage.frame.set = true;
    onPage.frame.vertRef = FramePosition::VertRef::Page;
    onPage.frame.horzAlign = FramePosition::HorzAlign::Right;
    onPage.frame.y = 3000;
    onPage.frame.width = 2400;
    onPage.frame.wrap = false;
    s.headers.both.push_back(B(Para("ADDRESS", onPage)));
    s.headers.both.push_back(B(Para("head")));
    ParaFormat logo;  // a shape below the header's text, by its paragraph: the body stays put
    logo.frame.set = true;
    logo.frame.horzAlign = FramePosition::HorzAlign::Right;
    logo.frame.y = 1500;
    logo.frame.width = 1000;
    logo.frame.height = -1500;
    s.headers.both.push_back(B(Para("LOGO", logo)));
    ParaFormat past = logo;  // one whose place by its paragraph is past the paper's foot
    past.frame.y = 15000;
    s.footers.both.push_back(B(Para("PAST", past)));
    s.body.push_back(B(Para("body")));
    Document d;
    d.sections.push_back(s);
    const Layout l = LayOutChecked(d, PageSetup{});
    const auto& texts = l.pages[0].texts;
    auto num = std::find_if(texts.begin(), texts.end(), [](const TextItem& t) { return t.field == TextItem::Field::PageNumber; });
    ASSERT_NE(num, texts.end());
    EXPECT_EQ(num->x + num->width, 12240 - 1440);
    EXPECT_EQ(num->baseline, Item(l, "left")->baseline);
    EXPECT_EQ(Item(l, "ADDRESS")->x, 12240 - 1440 - 2400);
    EXPECT_EQ(Item(l, "ADDRESS")->baseline, 3000 + 192);
    EXPECT_EQ(Item(l, "head")->baseline, 720 + 192);  // the header's own flow is as without it
    EXPECT_EQ(Item(l, "body")->baseline, 1440 + 192);
    EXPECT_GT(Item(l, "LOGO")->baseline, 720 + 1500);
    EXPECT_EQ(Item(l, "PAST")->baseline, 15840 - 1500 + 192);  // moved up onto the paper

    // A frame that only the first line's space before reaches: that line goes beside it.
    Section h;
    ParaFormat mark = logo;
    mark.frame.y = 300;
    mark.frame.height = -500;
    ParaFormat spaced;
    spaced.spaceBefore = 200;
    h.headers.both = {B(Para("MARK", mark)), B(Para("beside", spaced))};
    h.body.push_back(B(Para("body")));
    d.sections = {h};
    const Layout m = LayOutChecked(d, PageSetup{});
    EXPECT_EQ(Item(m, "beside")->baseline, 720 + 200 + 192);
}

TEST(PageLayout, ContinuousSectionBalancesTheColumnsAbove) {
    Section two;
    two.columns = 2;
    two.columnSpace = 400;
    for (int i = 0; i < 6; ++i) two.body.push_back(B(Para("L" + std::to_string(i))));
    Section one;
    one.breakBefore = Section::Break::None;
    one.body.push_back(B(Para("after")));
    Document d;
    d.sections = {two, one};
    const Layout l = LayOutChecked(d, TextArea(4400, 40));
    ASSERT_EQ(l.pages.size(), 1u);
    EXPECT_EQ(Item(l, "L2")->x, 1000);
    EXPECT_EQ(Item(l, "L3")->x, 3400);
    EXPECT_EQ(Item(l, "L3")->baseline, Item(l, "L0")->baseline);
    EXPECT_EQ(Item(l, "after")->baseline, Item(l, "L2")->baseline + 240);
    EXPECT_EQ(Item(l, "after")->x, 1000);

    // \nocolbal: the first column fills first, and the next section starts below it
    d.balanceColumns = false;
    const Layout unbalanced = LayOutChecked(d, TextArea(4400, 40));
    EXPECT_EQ(Item(unbalanced, "L5")->x, 1000);
    EXPECT_EQ(Item(unbalanced, "after")->baseline, Item(unbalanced, "L5")->baseline + 240);
}

// Columns of their own widths (\colw \colsr): a paragraph that runs on from the narrow column
// into the wide one is formatted anew at the wide one's width, and the columns are balanced
// before a continuous section.
TEST(PageLayout, UnequalColumnsReflowAndBalance) {
    Section cols;
    cols.columns = 2;
    cols.columnDefs = {{1000, 400}, {3000, -1}};  // 8 and 25 characters
    cols.lineBetween = true;
    cols.body = {B(Para("aaaaaaa bbbbbbb ccccccc ddddddd")), B(Para("eeee"))};
    Section after;
    after.breakBefore = Section::Break::None;
    after.body.push_back(B(Para("after")));
    Document d;
    d.sections = {cols, after};
    const Layout l = LayOutChecked(d, TextArea(4400, 40));
    ASSERT_EQ(l.pages.size(), 1u);
    const int top = Item(l, "aaaaaaa")->baseline;
    EXPECT_EQ(Item(l, "bbbbbbb")->x, 1000);
    const TextItem* rest = Item(l, "ccccccc ddddddd");
    ASSERT_NE(rest, nullptr);
    EXPECT_EQ(rest->x, 2400);
    EXPECT_EQ(rest->baseline, top);
    EXPECT_EQ(Item(l, "eeee")->x, 2400);
    EXPECT_EQ(Item(l, "after")->baseline, top + 480);
    const auto& rects = l.pages[0].rects;  // the rule in the middle of the gap
    EXPECT_TRUE(std::any_of(rects.begin(), rects.end(), [](const RectItem& r) { return r.x < 2200 && r.x + r.width > 2200; }));

    // Widths wider than the text are scaled down together.
    d.sections[0].columnDefs = {{4400, 800}, {4400, -1}};
    EXPECT_EQ(Item(LayOutChecked(d, TextArea(4400, 40)), "after")->x, 1000);
    const Layout scaled = LayOutChecked(d, TextArea(4400, 40));
    EXPECT_NEAR(Item(scaled, "eeee")->x, 1000 + (4400 + 800) * 4400 / 9600, 1);
}

TEST(PageLayout, PicturesScaledToFit) {
    auto picture = std::make_shared<Picture>();
    picture->kind = Picture::Kind::Png;
    picture->width = 4000;  // pixels: 60000 x 30000 twips
    picture->height = 2000;
    Paragraph p;
    Inline in = Kind(Inline::Kind::Picture);
    in.picture = picture;
    p.content = {Text("before"), in, Text("after")};
    const Layout l = LayOutChecked(Doc({B(p)}), TextArea(6000, 40));
    EXPECT_EQ(l.plainText, u"before\uFFFCafter\r\n");  // one character, keeping the words apart
    ASSERT_EQ(l.pages[0].pictures.size(), 1u);
    const PictureItem& item = l.pages[0].pictures[0];
    EXPECT_EQ(item.width, 6000);
    EXPECT_EQ(item.height, 3000);
    // Tall: fitted to the page's height.
    picture->height = 40000;
    // Goal size and scale, when it fits.
    picture->goalWidth = 1440;
    picture->goalHeight = 720;
    picture->scaleX = picture->scaleY = 50;
    const PictureItem small = LayOutChecked(Doc({B(p)}), TextArea(6000, 40)).pages[0].pictures[0];
    EXPECT_EQ(small.width, 720);
    EXPECT_EQ(small.height, 360);
    *picture = Picture{Picture::Kind::Png, nullptr, 4000, 40000};
    const Layout tallLayout = LayOutChecked(Doc({B(p)}), TextArea(6000, 40));
    const PictureItem& tall = tallLayout.pages[0].pictures[0];
    EXPECT_EQ(tall.height, 40 * 240);
    EXPECT_EQ(tall.width, 4000 * 15 * 9600 / 600000);
}

TEST(PageLayout, DegenerateInputFinishes) {
    Blocks body;
    CharFormat tiny, huge;
    tiny.sizeHalfPoints = 0;
    huge.sizeHalfPoints = 4000;
    Paragraph p;
    p.content.push_back(Text(std::string(10000, 'w'), tiny));
    p.content.push_back(Text("big", huge));
    body.push_back(B(p));
    ParaFormat odd;
    odd.leftIndent = 100000;
    odd.firstLineIndent = -300000;
    odd.lineSpacing = -100000;
    body.push_back(B(Para("indented", odd)));
    Table wide;
    TableRow row;
    for (int c = 0; c < 1000; ++c) {
        TableCell cell;
        cell.rightEdge = (c % 7) * 50;  // out of order
        cell.content.push_back(B(Para("c")));
        row.cells.push_back(cell);
    }
    wide.rows.push_back(row);
    wide.rows.emplace_back();  // no cells
    body.push_back(B(wide));
    body.push_back(B(Table{}));
    auto huge_picture = std::make_shared<Picture>();
    huge_picture->width = huge_picture->height = 2147483647;
    huge_picture->scaleX = 2147483647;
    Paragraph pictures;
    Inline in = Kind(Inline::Kind::Picture);
    in.picture = huge_picture;
    pictures.content.assign(3, in);
    body.push_back(B(pictures));
    for (int i = 0; i < 100000; ++i) body.push_back(B(Para("")));
    ParaFormat frame;  // a flood of frames, each of its own, at places on one page, text after
    frame.frame.set = true;
    frame.frame.vertRef = FramePosition::VertRef::Page;
    frame.frame.wrap = false;
    for (int i = 0; i < 30000; ++i) {
        frame.frame.y = i % 10000;
        body.push_back(B(Para("framed words", frame)));
    }
    body.push_back(B(Para(std::string(20000, 'w'))));
    Document d = Doc(body);
    d.sections.emplace_back();
    d.sections.back().columns = 1000;
    d.sections.back().headerDistance = -5;
    d.sections.back().body.push_back(B(Para("last")));

    for (PageSetup setup : {PageSetup{0, 0, 0, 0, 0, 0}, PageSetup{12240, 15840, 9000, 9000, 9000, 9000},
                            PageSetup{-5, 100, -1, 0, 0, 0}}) {
        const auto start = std::chrono::steady_clock::now();
        const Layout l = LayOutChecked(d, setup);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
        EXPECT_EQ(l.pages[0].width, 12240);  // Letter instead of an unusable page
        EXPECT_NE(PageOf(l, "last"), -1);
        EXPECT_NE(Item(l, "indented"), nullptr);
    }
}

// Random documents of every construct: layout finishes, every body paragraph's text is in
// plainText, and the items agree with it.
TEST(PageLayout, RandomDocumentsKeepTheTextAndItsOffsets) {
    unsigned seed = 7;
    auto next = [&](unsigned n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % n;
    };
    std::function<Blocks(int)> blocks = [&](int depth) {
        Blocks out;
        for (unsigned b = 0, n = 1 + next(6); b < n; ++b) {
            if (depth < 3 && next(5) == 0) {
                Table t;
                for (unsigned r = 0, rows = next(5); r < rows; ++r) {
                    TableRow row;
                    row.header = next(3) == 0;
                    row.height = static_cast<int>(next(3)) * 300 - 300;
                    row.alignment = static_cast<Alignment>(next(3));
                    for (unsigned c = 0, cells = next(5); c < cells; ++c) {
                        TableCell cell;
                        cell.rightEdge = static_cast<int>(next(9000)) - 500;
                        cell.mergeFirst = next(4) == 0;
                        cell.merged = next(4) == 0;
                        cell.verticalMergeFirst = next(4) == 0;
                        cell.verticalMerged = next(4) == 0;
                        cell.padTop = static_cast<int>(next(400)) - 100;
                        cell.borders.bottom.style = static_cast<BorderLine::Style>(next(8));
                        cell.borders.bottom.widthTwips = static_cast<int>(next(200));
                        cell.content = blocks(depth + 1);
                        row.cells.push_back(std::move(cell));
                    }
                    t.rows.push_back(std::move(row));
                }
                out.push_back(B(std::move(t)));
                continue;
            }
            ParaFormat pf;
            pf.alignment = static_cast<Alignment>(next(5));
            pf.leftIndent = static_cast<int>(next(3000)) - 1000;
            pf.firstLineIndent = static_cast<int>(next(3000)) - 1500;
            pf.lineSpacing = static_cast<int>(next(1000)) - 500;
            pf.lineMultiple = next(2);
            pf.keepWithNext = next(3) == 0;
            pf.keepTogether = next(4) == 0;
            pf.pageBreakBefore = next(10) == 0;
            if (next(4) == 0) pf.listLabel = u"\u2022";
            if (next(5) == 0) {
                FramePosition& f = pf.frame;
                f.set = true;
                f.horzRef = static_cast<FramePosition::HorzRef>(next(3));
                f.vertRef = static_cast<FramePosition::VertRef>(next(3));
                f.horzAlign = static_cast<FramePosition::HorzAlign>(next(6));
                f.vertAlign = static_cast<FramePosition::VertAlign>(next(5));
                f.x = static_cast<int>(next(20000)) - 2000;
                f.y = static_cast<int>(next(20000)) - 2000;
                f.width = static_cast<int>(next(6000));
                f.height = static_cast<int>(next(4000)) - 2000;
                f.gapX = f.gapY = static_cast<int>(next(300));
                f.wrap = next(3) != 0;
            }
            Paragraph p = Para("", pf);
            for (unsigned i = 0, n = next(8); i < n; ++i) {
                const unsigned k = next(10);
                if (k < 5) {
                    CharFormat f;
                    f.sizeHalfPoints = static_cast<int>(next(80));
                    f.verticalAlign = static_cast<VerticalAlign>(next(3));
                    f.caps = next(5) == 0;
                    std::string text;
                    for (unsigned w = 0, words = next(30); w < words; ++w) text += std::string(1 + next(12), 'a' + next(26)) + (next(6) ? " " : "-");
                    p.content.push_back(Text(text, f));
                } else {
                    static const Inline::Kind kinds[] = {Inline::Kind::Tab, Inline::Kind::LineBreak, Inline::Kind::PageNumber,
                                                         Inline::Kind::NoteRef, Inline::Kind::ColumnBreak};
                    Inline in = Kind(kinds[k - 5]);
                    in.note = static_cast<int>(next(4));
                    p.content.push_back(in);
                }
            }
            p.pageBreakAfter = next(12) == 0;
            out.push_back(B(std::move(p)));
        }
        return out;
    };
    for (int round = 0; round < 20; ++round) {
        Document d;
        for (int n = 0; n < 4; ++n) {
            Note note;
            note.mark = next(4) ? U(std::to_string(n + 1)) : u"";
            note.endnote = next(3) == 0;
            note.content = blocks(3);
            d.notes.push_back(std::move(note));
        }
        for (unsigned s = 0, n = 1 + next(3); s < n; ++s) {
            Section section;
            section.breakBefore = static_cast<Section::Break>(next(5));
            section.columns = 1 + static_cast<int>(next(3));
            section.lineBetween = next(2);
            for (int c = 0; c < section.columns && next(2); ++c)
                section.columnDefs.push_back({static_cast<int>(next(5000)), static_cast<int>(next(1000)) - 200});
            section.titlePage = next(2);
            section.headers.both = blocks(3);
            section.footers.first = blocks(3);
            for (int k = 0; k < 2; ++k) {
                Blocks more = blocks(0);
                for (auto& b : more) section.body.push_back(std::move(b));
            }
            d.sections.push_back(std::move(section));
        }
        d.facingPages = next(2);
        const Layout l = LayOutChecked(d, TextArea(2000 + static_cast<int>(next(6000)), 5 + static_cast<int>(next(40))));
        ASSERT_FALSE(l.pages.empty());
    }
}

TEST(PageLayout, StepByStepEqualsAllAtOnceAndCachesMetrics) {
    Blocks body;
    for (int i = 0; i < 500; ++i) body.push_back(B(Para("paragraph number " + std::to_string(i))));
    Paragraph last = Para("of ");
    last.content.push_back(Kind(Inline::Kind::PageCount));
    body.push_back(B(last));
    const Document d = Doc(body);
    FixedMetrics m;
    Paginator paginator(d, PageSetup{}, m);
    EXPECT_FALSE(paginator.Step(1));
    EXPECT_GE(paginator.PagesReady(), 1u);
    std::size_t steps = 1;
    while (!paginator.Step(2)) ++steps;
    EXPECT_GT(steps, 3u);
    const Layout stepped = paginator.TakeLayout();
    const Layout whole = LayOutChecked(d, PageSetup{});
    ASSERT_EQ(stepped.pages.size(), whole.pages.size());
    EXPECT_EQ(stepped.plainText, whole.plainText);
    EXPECT_EQ(stepped.pages.back().texts.back().text, U(std::to_string(whole.pages.size())));
    // Each character of each font is measured once.
    EXPECT_LT(m.calls, 30);
}

}  // namespace
}  // namespace docengine
