// The RTF reader: formatting defaults, code pages and \uc skipping, hostile structure (deep
// nesting, long control words, \bin, repeated table marks), tables, pictures, fields, lists,
// headers, footers, notes and breaks.
#include "eq_field.h"
#include "rtf_reader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

using namespace docengine;

namespace {

ReadResult Read(const std::string& rtf) { return ReadRtf(rtf); }

// The text of a paragraph: text runs as they are, tabs as '\t', line breaks as '\n', page
// numbers as '#', note references as '^'.
std::u16string TextOf(const Paragraph& p) {
    std::u16string out;
    for (const auto& item : p.content) {
        switch (item.kind) {
            case Inline::Kind::Text: case Inline::Kind::Ruby: out += item.text; break;
            case Inline::Kind::Tab: out += u'\t'; break;
            case Inline::Kind::LineBreak: out += u'\n'; break;
            case Inline::Kind::PageNumber: case Inline::Kind::PageCount: out += u'#'; break;
            case Inline::Kind::NoteRef: out += u'^'; break;
            default: break;
        }
    }
    return out;
}

// Paragraph texts of blocks joined by '|'; a table shows as [cell;cell/cell;cell].
std::u16string TextOf(const Blocks& blocks) {
    std::u16string out;
    for (const auto& block : blocks) {
        if (!out.empty()) out += u'|';
        if (const auto* p = std::get_if<Paragraph>(&block.value)) {
            out += TextOf(*p);
        } else {
            const auto& table = std::get<Table>(block.value);
            out += u'[';
            for (std::size_t r = 0; r < table.rows.size(); ++r) {
                if (r > 0) out += u'/';
                for (std::size_t c = 0; c < table.rows[r].cells.size(); ++c) {
                    if (c > 0) out += u';';
                    out += TextOf(table.rows[r].cells[c].content);
                }
            }
            out += u']';
        }
    }
    return out;
}

const Blocks& Body(const ReadResult& r) { return r.document.sections.at(0).body; }
const Paragraph& Para(const Blocks& blocks, std::size_t i) { return std::get<Paragraph>(blocks.at(i).value); }
const Table& TableAt(const Blocks& blocks, std::size_t i) { return std::get<Table>(blocks.at(i).value); }

std::vector<std::shared_ptr<const Picture>> Pictures(const Blocks& blocks) {
    std::vector<std::shared_ptr<const Picture>> out;
    for (const auto& block : blocks) {
        if (const auto* p = std::get_if<Paragraph>(&block.value)) {
            for (const auto& item : p->content) {
                if (item.kind == Inline::Kind::Picture) out.push_back(item.picture);
            }
        }
    }
    return out;
}

const std::string kHead = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}{\\f1\\fcharset2 Symbol;}}"
                          "{\\colortbl;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}";

}  // namespace

// ---------------------------------------------------------------- formats and defaults

TEST(RtfReaderFormat, TextWithoutPlainIsNotBoldAndPlainResets) {
    auto r = Read("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\pard\\f0\\fs24 Hello\\par}");
    ASSERT_TRUE(r.ok()) << r.message;
    const auto& hello = Para(Body(r), 0).content.at(0);
    EXPECT_EQ(hello.text, u"Hello");
    EXPECT_FALSE(hello.format.bold);
    EXPECT_EQ(hello.format.sizeHalfPoints, 24);
    EXPECT_EQ(r.document.fonts.at(0).name, u"Arial");
    EXPECT_EQ(r.document.defaultFont, 0);

    r = Read(kHead + "\\f1\\b\\i\\ul\\ulc1\\fs40\\cf1\\super A\\plain B\\b C\\b0 D{\\i E}F\\par}");
    const auto& c = Para(Body(r), 0).content;
    ASSERT_EQ(c.size(), 6u);
    EXPECT_TRUE(c[0].format.bold && c[0].format.italic);
    EXPECT_EQ(c[0].format.underline, Underline::Single);
    EXPECT_EQ(c[0].format.underlineColor, 1);
    EXPECT_EQ(r.document.underlineColors, (std::vector<Color>{{255, 0, 0, false}}));
    EXPECT_EQ(c[0].format.sizeHalfPoints, 40);
    EXPECT_EQ(c[0].format.verticalAlign, VerticalAlign::Superscript);
    EXPECT_EQ(c[0].format.color, (Color{255, 0, 0, false}));
    EXPECT_EQ(c[0].format.font, 1);
    EXPECT_EQ(c[1].text, u"B");
    EXPECT_EQ(c[1].format, CharFormat{});
    EXPECT_TRUE(c[2].format.bold);
    EXPECT_EQ(c[3].text, u"D");
}

// Hebrew, Arabic and other complex-script letters, and all the text of a run marked \rtlch,
// take \af \afs \ab; \af after \hich or \dbch names another font and is not taken.
TEST(RtfReaderFormat, ComplexScriptTextTakesItsOwnFontAndSize) {
    auto r = Read(kHead + "\\rtlch\\af1\\afs32\\ab\\ltrch\\hich\\af0\\f0\\fs20 Ab \\u1488?\\u1489? 7"
                          "{\\ltrch\\rtlch 1 x}\\plain\\u1490?\\par}");
    ASSERT_TRUE(r.ok()) << r.message;
    const auto& c = Para(Body(r), 0).content;
    ASSERT_EQ(c.size(), 5u);
    EXPECT_EQ(c[0].text, u"Ab ");
    EXPECT_EQ(c[0].format.font, 0);
    EXPECT_EQ(c[0].format.sizeHalfPoints, 20);
    EXPECT_FALSE(c[0].format.bold);
    EXPECT_EQ(c[1].text, u"\u05D0\u05D1");
    EXPECT_EQ(c[1].format.font, 1);
    EXPECT_EQ(c[1].format.sizeHalfPoints, 32);
    EXPECT_TRUE(c[1].format.bold);
    EXPECT_EQ(c[2].text, u" 7");
    EXPECT_EQ(c[2].format.sizeHalfPoints, 20);
    EXPECT_EQ(c[3].text, u"1 x");  // a right-to-left run
    EXPECT_EQ(c[3].format.font, 1);
    EXPECT_EQ(c[4].format, CharFormat{});  // \plain drops them
}

TEST(RtfReaderFormat, ParagraphFormatAppliesAtTheParagraphMarkAndPardResets) {
    auto r = Read(kHead + "\\pard\\qj\\li720\\ri360\\fi-360\\sb120\\sa240\\sl360\\slmult1\\keepn\\pagebb"
                          "\\tqr\\tldot\\tx5000\\tx1000 one\\par\\pard\\rtlpar two{\\qc\\par}three\\qr\\ltrpar\\par"
                          "\\pard\\pvpg\\phmrg\\posxr\\posy965\\absh-965\\absw4320\\dxfrtext187\\nowrap framed\\par}");
    const auto& body = Body(r);
    ASSERT_EQ(body.size(), 4u);
    EXPECT_FALSE(Para(body, 2).format->frame.set);
    const FramePosition& frame = Para(body, 3).format->frame;
    EXPECT_TRUE(frame.set);
    EXPECT_EQ(frame.vertRef, FramePosition::VertRef::Page);
    EXPECT_EQ(frame.horzRef, FramePosition::HorzRef::Margin);
    EXPECT_EQ(frame.horzAlign, FramePosition::HorzAlign::Right);
    EXPECT_EQ(frame.y, 965);
    EXPECT_EQ(frame.height, -965);
    EXPECT_EQ(frame.width, 4320);
    EXPECT_EQ(frame.gapX, 187);
    EXPECT_FALSE(frame.wrap);
    const auto& f = *Para(body, 0).format;
    EXPECT_EQ(f.alignment, Alignment::Justify);
    EXPECT_EQ(f.leftIndent, 720);
    EXPECT_EQ(f.firstLineIndent, -360);
    EXPECT_EQ(f.spaceAfter, 240);
    EXPECT_EQ(f.lineSpacing, 360);
    EXPECT_TRUE(f.lineMultiple && f.keepWithNext && f.pageBreakBefore);
    ASSERT_EQ(f.tabs.size(), 2u);
    EXPECT_EQ(f.tabs[0].position, 1000);
    EXPECT_EQ(f.tabs[0].kind, TabStop::Kind::Left);
    EXPECT_EQ(f.tabs[1].kind, TabStop::Kind::Right);
    EXPECT_EQ(f.tabs[1].leader, TabStop::Leader::Dots);
    EXPECT_EQ(Para(body, 1).format->alignment, Alignment::Center);
    EXPECT_EQ(Para(body, 1).format->leftIndent, 0);
    EXPECT_EQ(Para(body, 2).format->alignment, Alignment::Right);
    EXPECT_TRUE(Para(body, 1).format->rightToLeft && !Para(body, 2).format->rightToLeft);
}

TEST(RtfReaderFormat, StylesApplyWithTheirBase) {
    auto r = Read("{\\rtf1{\\stylesheet{\\s0\\sa200 Normal;}{\\s1\\qc\\b\\fs32\\sbasedon0 Heading;}"
                  "{\\*\\cs10\\additive\\i Emphasis;}}\\pard\\plain\\s1 Title\\par\\pard\\plain {\\cs10 it}"
                  "{\\*\\cs10 starred}\\par}");
    ASSERT_TRUE(r.ok());
    const auto& title = Para(Body(r), 0);
    EXPECT_EQ(title.format->alignment, Alignment::Center);
    EXPECT_EQ(title.format->spaceAfter, 200);
    EXPECT_TRUE(title.content.at(0).format.bold);
    EXPECT_EQ(title.content.at(0).format.sizeHalfPoints, 32);
    EXPECT_TRUE(Para(Body(r), 1).content.at(0).format.italic);
    EXPECT_EQ(TextOf(Para(Body(r), 1)), u"itstarred");  // a starred style in the text applies

    // Words written before \sN in the same paragraph stay; the style fills in the rest.
    r = Read("{\\rtf1{\\stylesheet{\\s2\\qc\\sa120 Heading 2;}}\\pard\\sb259\\tx720\\s2\\sl449 H\\par}");
    ASSERT_TRUE(r.ok());
    const auto& h = Para(Body(r), 0);
    EXPECT_EQ(h.format->spaceBefore, 259);
    EXPECT_EQ(h.format->lineSpacing, 449);
    EXPECT_EQ(h.format->tabs.size(), 1u);
    EXPECT_EQ(h.format->alignment, Alignment::Center);
    EXPECT_EQ(h.format->spaceAfter, 120);

    // A paragraph style does not reset the character formatting in force: it lays its own
    // character words over it (as DocBook converters rely on for their headings).
    r = Read("{\\rtf1{\\fonttbl{\\f0 Times;}{\\f1 Arial;}}{\\stylesheet{\\s1 Heading 1;}{\\s2\\i\\b0 Quote;}}"
             "\\pard\\b\\f1\\fs40 Title\\par\\pard\\s1\\fs34 Contents\\par\\pard\\s2 Said\\par}");
    ASSERT_TRUE(r.ok());
    const auto& contents = Para(Body(r), 1).content.at(0).format;
    EXPECT_TRUE(contents.bold);
    EXPECT_EQ(contents.font, 1);
    EXPECT_EQ(contents.sizeHalfPoints, 34);
    const auto& said = Para(Body(r), 2).content.at(0).format;
    EXPECT_TRUE(said.italic && !said.bold);
    EXPECT_EQ(said.font, 1);
}

TEST(RtfReaderFormat, ContextualSpacingDropsSpaceBetweenParagraphsOfOneStyle) {
    auto r = Read("{\\rtf1{\\stylesheet{\\s0 Normal;}{\\s1\\sb100\\sa200\\contextualspace List;}}"
                  "\\pard\\s1 a\\par\\pard\\s1 b\\par\\pard\\s1 c\\par\\pard\\sa200 d\\par"
                  "\\trowd\\cellx900\\pard\\intbl\\s1 e\\par\\pard\\intbl\\s1 f\\cell\\row}");
    ASSERT_TRUE(r.ok()) << r.message;
    const Blocks& body = Body(r);
    auto spacing = [](const Paragraph& p) { return std::pair{p.format->spaceBefore, p.format->spaceAfter}; };
    EXPECT_EQ(spacing(Para(body, 0)), std::pair(100, 0));  // before: nothing of its style
    EXPECT_EQ(spacing(Para(body, 1)), std::pair(0, 0));
    EXPECT_EQ(spacing(Para(body, 2)), std::pair(0, 200));  // after: another style
    EXPECT_EQ(spacing(Para(body, 3)), std::pair(0, 200));  // not asked for
    const auto& cell = TableAt(body, 4).rows.at(0).cells.at(0).content;
    EXPECT_EQ(spacing(Para(cell, 0)), std::pair(100, 0));
    EXPECT_EQ(spacing(Para(cell, 1)), std::pair(0, 200));
}

TEST(RtfReaderFormat, AutomaticSpacingCountsOnlyWithHtmlSpacingAndCollapses) {
    const std::string body = "\\pard\\sb100\\sa100\\sbauto1\\saauto1 a\\par b\\par"
                             "{\\listtext 1.\\tab}c\\par{\\listtext 2.\\tab}d\\par\\pard\\sb100\\sbauto1 e\\par"
                             "\\trowd\\cellx900\\pard\\intbl\\sbauto1\\saauto1 f\\par g\\cell\\row}";
    auto spacing = [](const Paragraph& p) { return std::pair{p.format->spaceBefore, p.format->spaceAfter}; };
    auto html = Read("{\\rtf1\\htmautsp " + body);
    ASSERT_TRUE(html.ok()) << html.message;
    const Blocks& b = Body(html);
    EXPECT_EQ(spacing(Para(b, 0)), std::pair(0, 280));    // nothing before the first
    EXPECT_EQ(spacing(Para(b, 1)), std::pair(0, 280));    // collapsed with the one before
    EXPECT_EQ(spacing(Para(b, 2)), std::pair(0, 0));      // between list items: none
    EXPECT_EQ(spacing(Para(b, 3)), std::pair(0, 280));
    EXPECT_EQ(spacing(Para(b, 4)), std::pair(0, 0));
    const auto& cell = TableAt(b, 5).rows.at(0).cells.at(0).content;
    EXPECT_EQ(spacing(Para(cell, 0)), std::pair(0, 280));
    EXPECT_EQ(spacing(Para(cell, 1)), std::pair(0, 0));   // nothing after a cell's last
    auto plain = Read("{\\rtf1 " + body);                // without \\htmautsp: as written
    EXPECT_EQ(spacing(Para(Body(plain), 1)), std::pair(100, 100));
}

TEST(RtfReaderFormat, BordersAndShadingOfParagraphs) {
    auto r = Read(kHead + "\\pard\\brdrb\\brdrdb\\brdrw30\\brdrcf2\\brsp40\\cbpat1 x\\par"
                          "\\pard\\box\\brdrs\\shading5000 y\\par}");
    const auto& a = *Para(Body(r), 0).format;
    EXPECT_EQ(a.borders.bottom.style, BorderLine::Style::Double);
    EXPECT_EQ(a.borders.bottom.widthTwips, 30);
    EXPECT_EQ(a.borders.bottom.spaceTwips, 40);
    EXPECT_EQ(a.borders.bottom.color, (Color{0, 0, 255, false}));
    EXPECT_FALSE(a.borders.top.Visible());
    EXPECT_EQ(a.shading, (Color{255, 0, 0, false}));
    const auto& b = *Para(Body(r), 1).format;
    EXPECT_TRUE(b.borders.top.Visible() && b.borders.left.Visible() && b.borders.right.Visible());
    EXPECT_EQ(b.shading, (Color{127, 127, 127, false}));
}

// ---------------------------------------------------------------- code pages and Unicode

TEST(RtfReaderText, CodePagesOfDocumentAndFonts) {
    // Windows-1251 document, a Central European font, Mac Roman, and the special words
    auto r = Read("{\\rtf1\\ansi\\ansicpg1251{\\fonttbl{\\f0 A;}{\\f1\\fcharset238 B;}}"
                  "\\f0 \\'cf\\'f0\\f1 \\'b9\\f0\\emdash\\~\\lquote\\par}");
    EXPECT_EQ(TextOf(Body(r)), u"Пр\u0105\u2014\u00A0\u2018");
    r = Read("{\\rtf1\\mac \\'8a\\'a5\\par}");
    EXPECT_EQ(TextOf(Body(r)), u"ä•");
    r = Read("{\\rtf1\\ansi\\ansicpg10000 \\'d2\\par}");
    EXPECT_EQ(TextOf(Body(r)), u"\u201C");
    r = Read("{\\rtf1\\pc \\'82\\par}");
    EXPECT_EQ(TextOf(Body(r)), u"é");
    // a character set named only in the font's name; a given \fcharset wins
    r = Read("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial Cyr;}{\\f1 Arial CE;}{\\f2\\fcharset0 Arial Greek;}}"
             "\\f0\\'c0\\f1\\'a5\\f2\\'c1\\par}");
    EXPECT_EQ(TextOf(Body(r)), u"\u0410\u0104\u00C1");
}

TEST(RtfReaderText, DoubleByteCodePagesFromEscapesAndRawBytes) {
    // Shift-JIS "あ" as two escapes, GBK "中" as raw bytes, Big5 in a font of its charset
    auto r = Read("{\\rtf1\\ansi\\ansicpg932 \\'82\\'a0x\\par}");
    EXPECT_EQ(TextOf(Body(r)), u"あx");
    r = Read("{\\rtf1\\ansi\\ansicpg936 \xD6\xD0\\par}");
    EXPECT_EQ(TextOf(Body(r)), u"中");
    r = Read("{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset136 M;}{\\f1 A;}}\\f0\\'a4\\'a4\\f1\\'e9\\par}");
    EXPECT_EQ(TextOf(Body(r)), u"中é");
    r = Read("{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset129 \\'b1\\'bc\\'b8\\'b2;}}\\par}");  // Hangul font name
    EXPECT_EQ(r.document.fonts.at(0).name, u"굴림");
    // Raw Shift-JIS whose trail bytes are a brace or a backslash: "к", "м", "Ы"
    r = Read("{\\rtf1\\ansi\\ansicpg932 \x84\x7b\x84\x7d\x84\\x\\par}");
    EXPECT_EQ(TextOf(Body(r)), u"\u043a\u043c\u042bx");
    // The Mac's: Japanese with one of its own single bytes (the copyright sign), Traditional
    // Chinese in a font of its charset
    r = Read("{\\rtf1\\mac\\ansicpg10001 \\'82\\'a8\\'93\\'c7\\'fd\\'82\\'a8\\par}");
    EXPECT_EQ(TextOf(Body(r)), u"お読\u00A9お");
    r = Read("{\\rtf1\\mac{\\fonttbl{\\f0\\fcharset81 M;}}\\f0\\'a4\\'a4\\par}");
    EXPECT_EQ(TextOf(Body(r)), u"中");
}

TEST(RtfReaderText, UnicodeWithFallbackSkipping) {
    auto r = Read("{\\rtf1\\uc1\\u1055?\\u-3913 ?a\\par}");
    EXPECT_EQ(TextOf(Body(r)), u"П\uF0B7a");
    // \uc2 skips a two-byte fallback given as escapes; a control word counts as one
    r = Read("{\\rtf1\\uc2\\u12354\\'82\\'a0b\\u12354\\tab xy\\par}");
    EXPECT_EQ(TextOf(Body(r)), u"あbあy");
    // \uc0: nothing to skip; the skip ends with the group
    r = Read("{\\rtf1{\\uc0\\u20013 z}{\\uc5\\u20013}w\\par}");
    EXPECT_EQ(TextOf(Body(r)), u"中z中w");
    // surrogate pair, a lone high surrogate, a huge \uc
    r = Read("{\\rtf1\\uc1\\u-10179?\\u-8704?|\\u-10179?x\\uc99999999\\u65 bcdefghijklmnopqrstuvwxyz\\par}");
    EXPECT_EQ(TextOf(Body(r)), u"\U0001F600|\uFFFDxArstuvwxyz");
    // a broken escape is the one fallback character, and elsewhere shows nothing
    r = Read("{\\rtf1 x\\u345\\'3?x \\'zzy\\'4{b}\\par}");
    EXPECT_EQ(TextOf(Body(r)), u"x\u0159x yb");
    // escaped line ends break the line; raw ones are not text
    r = Read("{\\rtf1 foo\\'0dba\r\nr\\'0abaz\\par}");
    EXPECT_EQ(TextOf(Body(r)), u"foo\nbar\nbaz");
}

// ---------------------------------------------------------------- hostile structure

TEST(RtfReaderLimits, DeepNestingReadsOrFailsCleanly) {
    std::string rtf = "{\\rtf1 A " + std::string(32, '{') + "x" + std::string(32, '}') + " B\\par}";
    auto r = Read(rtf);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(TextOf(Body(r)), u"A x B");

    rtf = "{\\rtf1 A " + std::string(100000, '{') + "x" + std::string(100000, '}') + " B\\par}";
    r = Read(rtf);
    EXPECT_EQ(r.status, ReadStatus::TooDeep);
    EXPECT_FALSE(r.message.empty());
}

TEST(RtfReaderLimits, LongControlWordsAndHugeParametersAreHarmless) {
    auto r = Read("{\\rtf1 a\\" + std::string(100000, 'x') + " b\\fs99999999999999999999 c\\li-99999999999 d\\par}");
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(TextOf(Body(r)), u"abcd");
    EXPECT_LE(Para(Body(r), 0).content.back().format.sizeHalfPoints, 3276);
    EXPECT_GE(Para(Body(r), 0).format->leftIndent, -(1 << 24));

    // Beyond 32 bits a number counts as 0 (digits run into a word whose delimiter was lost);
    // within them a large one is kept as the largest the word allows.
    r = Read("{\\rtf1\\sa2001196758096 a\\par\\sa2147483647 b\\par\\li-2147483649 c\\par}");
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(Para(Body(r), 0).format->spaceAfter, 0);
    EXPECT_EQ(Para(Body(r), 1).format->spaceAfter, 31680);
    EXPECT_EQ(Para(Body(r), 2).format->leftIndent, 0);
}

TEST(RtfReaderLimits, BinaryDataIsTakenByCountEvenWithBraces) {
    const std::string data("}{\\\x00\xff{", 6);
    auto r = Read(kHead + "a{\\pict\\pngblip\\picwgoal100\\pichgoal50\\bin6 " + data + "}b\\par}");
    ASSERT_TRUE(r.ok()) << r.message;
    EXPECT_EQ(TextOf(Body(r)), u"ab");
    auto pictures = Pictures(Body(r));
    ASSERT_EQ(pictures.size(), 1u);
    EXPECT_EQ(std::string(pictures[0]->data->begin(), pictures[0]->data->end()), data);
    // outside a picture the bytes are skipped; past the end the file is malformed
    EXPECT_EQ(TextOf(Body(Read("{\\rtf1 a{\\bin3 }}}b\\par}"))), u"ab");
    EXPECT_EQ(Read("{\\rtf1 a\\bin99999 xx}").status, ReadStatus::Malformed);
}

TEST(RtfReaderLimits, StatusesOfWhatIsNotAWholeDocument) {
    EXPECT_EQ(Read("").status, ReadStatus::NotRtf);
    EXPECT_EQ(Read("Hello").status, ReadStatus::NotRtf);
    // missing closing braces at the end are supplied
    auto cut = Read("{\\rtf1{\\header \\pard h\\par}{\\b cut off");
    EXPECT_TRUE(cut.ok());
    EXPECT_EQ(TextOf(Body(cut)), u"cut off");
    auto r = Read("\xEF\xBB\xBF {\\rtf1 ok}} trailing");
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(TextOf(Body(r)), u"ok");
    // a style sheet or font table whose closing brace is missing ends where the body begins,
    // and the style it defined is kept
    r = Read("{\\rtf1{\\stylesheet{\\s1\\qc Centred;}\n\\pard\\s1 Hello\\par Bye\\par}}");
    EXPECT_EQ(TextOf(Body(r)), u"Hello|Bye");
    EXPECT_EQ(Para(Body(r), 0).format->alignment, Alignment::Center);
    EXPECT_EQ(TextOf(Body(Read("{\\rtf1{\\fonttbl{\\f0 Arial;}\\pard Hello\\par}}"))), u"Hello");
    r = Read("{\\rtf1{\\fonttbl{\\f0 Arial;}{\\stylesheet{\\s1\\qc Centred;}\\pard\\s1 Hello\\par}}}");  // both unclosed
    EXPECT_EQ(TextOf(Body(r)), u"Hello");
    EXPECT_EQ(Para(Body(r), 0).format->alignment, Alignment::Center);
    // a table whose entries are not groups is left as it is
    EXPECT_EQ(TextOf(Body(Read("{\\rtf1{\\stylesheet\\pard\\s0 Normal;}Body\\par}"))), u"Body");
}

TEST(RtfReaderLimits, RepeatedTableMarksAndGroupsStayLinearAndBounded) {
    const auto time = [](const std::string& rtf, ReadLimits limits = {}) {
        const auto start = std::chrono::steady_clock::now();
        auto r = ReadRtf(rtf, limits);
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
        EXPECT_LT(ms, 5000);
        return r;
    };
    std::string cells = "{\\rtf1\\trowd";
    for (int i = 0; i < 300; ++i) cells += "\\cellx" + std::to_string(i * 10 + 10);
    for (int i = 0; i < 100000; ++i) cells += "\\row";
    for (int i = 0; i < 100000; ++i) cells += "\\intbl\\cell";
    auto r = time(cells + "}");
    EXPECT_TRUE(r.ok() || r.status == ReadStatus::TooLarge);
    // a budget that the cells exceed fails the read
    ReadLimits tight;
    tight.modelBytesBase = 0;
    tight.modelBytesPerInputByte = 4;
    EXPECT_EQ(time(cells + "}", tight).status, ReadStatus::TooLarge);

    std::string groups = "{\\rtf1 ";
    for (int i = 0; i < 200000; ++i) groups += "{\\b}";
    r = time(groups + "x\\uc9\\u66" + std::string(100000, 'y') + "}");
    EXPECT_TRUE(r.ok());
}

TEST(RtfReaderLimits, HeadersDefinedAgainInEachSectionStayWithinTheBudget) {
    // Report generators write each section with its own header: a header that replaces the
    // one before must not be charged on top of it in every later section.
    std::string rtf = "{\\rtf1 ";
    for (int i = 0; i < 1000; ++i) {
        rtf += "{\\header\\pard Section " + std::to_string(i) + " " + std::string(200, 'h') + "\\par}";
        rtf += "\\pard body " + std::to_string(i) + "\\par\\sect ";
    }
    ReadLimits limits;
    limits.modelBytesBase = 0;
    const ReadResult r = ReadRtf(rtf + "}", limits);
    ASSERT_TRUE(r.ok()) << r.message;
    EXPECT_EQ(r.document.sections.size(), 1000u);
}

TEST(RtfReaderLimits, UnknownDestinationsAreSkipped) {
    auto r = Read("{\\rtf1{\\info{\\title T\\'e9}{\\author Someone}}{\\*\\unknown {nested} gone}"
                  "{\\*\\generator X;}{\\comment hidden}shown{\\*\\bkmkstart b}\\par}");
    EXPECT_EQ(TextOf(Body(r)), u"shown");
    EXPECT_EQ(r.document.title, u"Té");
    // a second destination in one group skips the group; text after it goes where it belongs
    r = Read("{\\rtf1 a{\\footnote\\shptxt x}b\\par{\\header\\footer h}c\\par}");
    EXPECT_EQ(TextOf(Body(r)), u"ab|c");
    EXPECT_TRUE(r.document.sections.at(0).headers.both.empty());
}

// ---------------------------------------------------------------- tables

TEST(RtfReaderTables, RowsCellsBordersShadingAndMerges) {
    const std::string row =
        "\\trowd\\trgaph108\\trleft-108\\trhdr\\trqc\\trrh-400\\trpaddl50"
        "\\clbrdrt\\brdrs\\brdrw10\\clbrdrb\\brdrth\\clcbpat2\\clvertalc\\clmgf\\cellx2000"
        "\\clbrdrl\\brdrdot\\clmrg\\cltxbtlr\\cellx4000\\clvmgf\\cltxtbrl\\cellx6000";
    auto r = Read(kHead + "before\\par" + row + "\\pard\\intbl a\\cell b\\cell c\\par d\\cell\\row" + row +
                  "\\pard\\intbl e\\cell\\cell f\\cell\\row\\pard after\\par}");
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(TextOf(Body(r)), u"before|[a;b;c|d/e;;f]|after");
    // A paragraph not marked as in the table, between the cells of an unfinished row, is the
    // next cell's.
    auto unmarked = Read(kHead + row + "\\pard\\intbl a\\cell b\\cell\\pard c\\par\\pard\\intbl\\cell\\row\\pard after\\par}");
    EXPECT_EQ(TextOf(Body(unmarked)), u"[a;b;c|]|after");
    const auto& t = TableAt(Body(r), 1);
    const auto& first = t.rows.at(0);
    EXPECT_TRUE(first.header);
    EXPECT_EQ(first.alignment, Alignment::Center);
    EXPECT_EQ(first.height, -400);
    EXPECT_EQ(first.leftOffset, -108);
    EXPECT_EQ(first.gapHalf, 108);
    EXPECT_EQ(first.paddingLeft, 50);
    const auto& c0 = first.cells.at(0);
    EXPECT_EQ(c0.rightEdge, 2000);
    EXPECT_EQ(c0.borders.top.style, BorderLine::Style::Single);
    EXPECT_EQ(c0.borders.top.widthTwips, 10);
    EXPECT_EQ(c0.borders.bottom.style, BorderLine::Style::Thick);
    EXPECT_EQ(c0.shading, (Color{0, 0, 255, false}));
    EXPECT_EQ(c0.verticalAlign, TableCell::VAlign::Center);
    EXPECT_TRUE(c0.mergeFirst);
    EXPECT_EQ(first.cells.at(1).borders.left.style, BorderLine::Style::Dotted);
    EXPECT_TRUE(first.cells.at(1).merged);
    EXPECT_TRUE(first.cells.at(2).verticalMergeFirst);
    EXPECT_EQ(first.cells.at(2).rightEdge, 6000);
    EXPECT_EQ(c0.textFlow, TableCell::Flow::Across);
    EXPECT_EQ(first.cells.at(1).textFlow, TableCell::Flow::Up);
    EXPECT_EQ(first.cells.at(2).textFlow, TableCell::Flow::Down);
}

// Word writes a cell's top padding as \clpadl and its left one as \clpadt; a unit of 0 means
// the padding is not to be used.
TEST(RtfReaderTables, CellAndRowPaddingWithUnits) {
    auto r = Read("{\\rtf1\\trowd\\trgaph70\\trpaddl50\\trpaddfl0\\trpaddt20\\trpaddft3"
                  "\\clpadl30\\clpadfl3\\clpadt40\\clpadft3\\clpadr50\\clpadb60\\clpadfb0\\cellx1000"
                  "\\cellx2000\\intbl a\\cell b\\cell\\row}");
    ASSERT_TRUE(r.ok()) << r.message;
    const auto& row = TableAt(Body(r), 0).rows.at(0);
    EXPECT_EQ(row.paddingLeft, -1);
    EXPECT_EQ(row.paddingTop, 20);
    const auto& c0 = row.cells.at(0);
    EXPECT_EQ(c0.padTop, 30);
    EXPECT_EQ(c0.padLeft, 40);
    EXPECT_EQ(c0.padRight, 50);
    EXPECT_EQ(c0.padBottom, -1);
    EXPECT_EQ(row.cells.at(1).padTop, -1);
}

// A cell's \brdrnone is its own choice (its row's border does not show there); \brdrtbl says
// nothing. Thick-thin compound borders keep their kind.
TEST(RtfReaderTables, CellBorderNoneAndCompoundBorders) {
    auto r = Read("{\\rtf1\\trowd\\trbrdrl\\brdrs\\trbrdrh\\brdrdb\\brdrw5"
                  "\\clbrdrl\\brdrnone\\clbrdrt\\brdrthtnsg\\brdrw60\\cellx1000"
                  "\\clbrdrl\\brdrtbl\\cellx2000\\intbl a\\cell b\\cell\\row}");
    ASSERT_TRUE(r.ok()) << r.message;
    const auto& row = TableAt(Body(r), 0).rows.at(0);
    EXPECT_EQ(row.insideHorizontal.style, BorderLine::Style::Double);  // \trbrdrh: between rows
    EXPECT_FALSE(row.insideVertical.Visible());
    const auto& cells = row.cells;
    EXPECT_TRUE(cells.at(0).borders.left.given);
    EXPECT_FALSE(cells.at(0).borders.left.Visible());
    EXPECT_EQ(cells.at(0).borders.top.style, BorderLine::Style::ThickThin);
    EXPECT_EQ(cells.at(0).borders.top.widthTwips, 60);
    EXPECT_FALSE(cells.at(1).borders.left.given);
}

TEST(RtfReaderTables, NestedTablesWithNestTableProps) {
    auto r = Read(
        "{\\rtf1\\trowd\\cellx3000\\cellx6000"
        "\\pard\\intbl outer1\\cell"
        "\\pard\\intbl\\itap2 n1\\nestcell n2\\nestcell{\\*\\nesttableprops\\trowd\\cellx1000\\cellx2000\\nestrow}"
        "\\pard\\intbl\\itap2 n3\\nestcell n4\\nestcell{\\*\\nesttableprops\\trowd\\cellx1500\\cellx2500\\nestrow}"
        "{\\nonesttables old view}\\pard\\intbl\\itap1 tail\\cell"
        "\\trowd\\cellx3000\\cellx6000\\row\\pard end\\par}");
    ASSERT_TRUE(r.ok()) << r.message;
    EXPECT_EQ(TextOf(Body(r)), u"[outer1;[n1;n2/n3;n4]|tail]|end");
    const auto& outer = TableAt(Body(r), 0);
    EXPECT_EQ(outer.rows.at(0).cells.at(1).rightEdge, 6000);
    const auto& inner = TableAt(outer.rows.at(0).cells.at(1).content, 0);
    EXPECT_EQ(inner.rows.at(1).cells.at(0).rightEdge, 1500);
    // a table three deep closed by the outer \row alone keeps its text
    r = Read("{\\rtf1\\trowd\\cellx100\\pard\\intbl\\itap3 deep\\nestcell\\nestrow\\row\\pard after\\par}");
    EXPECT_EQ(TextOf(Body(r)), u"[[deep]]|after");
}

// ---------------------------------------------------------------- pictures

TEST(RtfReaderPictures, EachKindWithItsSize) {
    struct Case {
        const char* words;
        Picture::Kind kind;
    } cases[] = {{"\\pngblip", Picture::Kind::Png},         {"\\jpegblip", Picture::Kind::Jpeg},
                 {"\\emfblip", Picture::Kind::Emf},         {"\\wmetafile8", Picture::Kind::Wmf},
                 {"\\dibitmap0", Picture::Kind::Dib},       {"\\wbitmap0\\wbmbitspixel1\\wbmplanes1\\wbmwidthbytes2", Picture::Kind::Bitmap}};
    for (const auto& c : cases) {
        auto r = Read(std::string("{\\rtf1{\\pict") + c.words +
                      "\\picw2540\\pich1270\\picwgoal1440\\pichgoal720\\picscalex50\\picscaley200\\piccropl40 0a0B\n ff}\\par}");
        auto pictures = Pictures(Body(r));
        ASSERT_EQ(pictures.size(), 1u) << c.words;
        const auto& p = *pictures[0];
        EXPECT_EQ(p.kind, c.kind);
        // three bytes are no metafile: that one keeps its room on the page, with nothing to play
        const bool metafile = c.kind == Picture::Kind::Emf || c.kind == Picture::Kind::Wmf;
        const std::vector<std::uint8_t> bytes{0x0A, 0x0B, 0xFF};
        EXPECT_EQ(*p.data, metafile ? std::vector<std::uint8_t>() : bytes);
        EXPECT_EQ(p.DisplaySize(), (Picture::Size{(1440 - 40) / 2, 1440}));
    }
    // without a goal size: metafiles in HIMETRIC, bitmaps in pixels at 96 dpi
    auto r = Read("{\\rtf1{\\pict\\emfblip\\picw2540\\pich1270 00}{\\pict\\pngblip\\picw100\\pich10 00}\\par}");
    auto pictures = Pictures(Body(r));
    ASSERT_EQ(pictures.size(), 2u);
    EXPECT_EQ(pictures[0]->DisplaySize(), (Picture::Size{1440, 720}));
    EXPECT_EQ(pictures[1]->DisplaySize(), (Picture::Size{1500, 150}));
    EXPECT_EQ(pictures[1]->metafileMapMode, 0);

    // A goal on one axis keeps the proportions; a crop that would leave nothing is ignored, a
    // negative one adds a margin.
    r = Read("{\\rtf1{\\pict\\pngblip\\picw100\\pich10\\picwgoal3000\\piccropt200 00}"
             "{\\pict\\pngblip\\picw100\\pich10\\piccropl-60\\picscalex0 00}\\par}");
    pictures = Pictures(Body(r));
    ASSERT_EQ(pictures.size(), 2u);
    EXPECT_EQ(pictures[0]->DisplaySize(), (Picture::Size{3000, 300 - 200}));
    EXPECT_EQ(pictures[1]->DisplaySize(), (Picture::Size{1500 + 60, 150}));
}

TEST(RtfReaderPictures, OneOfEachAlternativeIsShown) {
    auto r = Read("{\\rtf1 a{\\*\\shppict{\\pict\\pngblip 01}}{\\nonshppict{\\pict\\wmetafile8 02}}"
                  "b{\\object\\objemb{\\*\\objclass Paint}{\\*\\objdata 0102}{\\result{\\pict\\emfblip 03}}}"
                  "c{\\shp{\\*\\shpinst{\\sp{\\sn fillBlip}{\\sv{\\pict\\pngblip 09}}}{\\sp{\\sn pib}{\\sv{\\pict\\jpegblip 04}}}}"
                  "{\\shprslt{\\pict\\wmetafile8 05}}}"
                  "d{\\shp{\\*\\shpinst{\\shptxt \\pard box text\\par}}{\\shprslt old box}}e\\par after\\par}");
    ASSERT_TRUE(r.ok());
    auto pictures = Pictures(Body(r));
    ASSERT_EQ(pictures.size(), 3u);
    EXPECT_EQ(pictures[0]->kind, Picture::Kind::Png);
    EXPECT_EQ(pictures[1]->kind, Picture::Kind::Emf);
    EXPECT_EQ(pictures[2]->kind, Picture::Kind::Jpeg);
    EXPECT_EQ(TextOf(Body(r)), u"abcde|box text|after");
    // a Word 95 drawing object's text box; its other words show nothing
    r = Read("{\\rtf1 a{\\*\\do\\dobxpage\\dptxbx{\\dptxbxtext\\qc drawn box\\par}\\dpx941 stray}b\\par"
             "{\\footnote{\\do\\dptxbx{\\dptxbxtext in a note\\par}}}\\par}");
    EXPECT_EQ(TextOf(Body(r)), u"drawn box|ab|^");  // the note's text box stays in the note
    const FramePosition& drawn = Para(Body(r), 0).format->frame;
    EXPECT_TRUE(drawn.set && drawn.inFront);
    EXPECT_EQ(drawn.horzRef, FramePosition::HorzRef::Page);
    EXPECT_EQ(drawn.x, 941);

    // A shape with a place is a frame before its anchor paragraph: its picture and its text box.
    r = Read("{\\rtf1 a{\\shp{\\*\\shpinst\\shpleft100\\shptop200\\shpright3100\\shpbottom1200\\shpbxpage"
             "\\shpbyignore\\shpwr3{\\sp{\\sn posrelv}{\\sv 0}}{\\sp{\\sn posh}{\\sv 3}}"
             "{\\sp{\\sn pib}{\\sv{\\pict\\pngblip 04}}}{\\shptxt \\qc boxed\\par}}}b\\par "
             "c{\\shp{\\*\\shpinst\\shpleft0\\shpright10{\\sp{\\sn fPseudoInline}{\\sv 1}}"
             "{\\sp{\\sn pib}{\\sv{\\pict\\pngblip 05}}}}}d\\par}");
    const Blocks& body = Body(r);
    ASSERT_EQ(body.size(), 4u);
    EXPECT_EQ(TextOf(body), u"boxed|ab|cd");  // the first holds the picture
    EXPECT_EQ(Para(body, 0).content.at(0).kind, Inline::Kind::Picture);
    for (int i : {0, 1}) {
        const FramePosition& frame = std::get<Paragraph>(body[i].value).format->frame;
        EXPECT_TRUE(frame.set);
        EXPECT_EQ(frame.horzRef, FramePosition::HorzRef::Page);
        EXPECT_EQ(frame.vertRef, FramePosition::VertRef::Margin);
        EXPECT_EQ(frame.horzAlign, FramePosition::HorzAlign::Right);
        EXPECT_EQ(frame.y, 200);
        EXPECT_EQ(frame.width, 3000);
        EXPECT_EQ(frame.height, -1000);
        EXPECT_TRUE(frame.inFront);
    }
    EXPECT_EQ(std::get<Paragraph>(body[1].value).format->alignment, Alignment::Center);
    EXPECT_EQ(std::get<Paragraph>(body[3].value).content.size(), 3u);  // the inline shape's picture
    // Rectangles and text boxes draw their outline and fill, ellipses theirs, lines
    // themselves (corner to corner, flipped, with arrowheads), even with nothing in them.
    r = Read("{\\rtf1 {\\shp{\\*\\shpinst\\shpleft0\\shptop0\\shpright900\\shpbottom400{\\sp{\\sn shapeType}{\\sv 1}}"
             "{\\sp{\\sn fillColor}{\\sv 255}}{\\sp{\\sn lineColor}{\\sv 16711680}}{\\sp{\\sn lineWidth}{\\sv 12700}}}}"
             "{\\shp{\\*\\shpinst\\shpleft0\\shptop500\\shpright900\\shpbottom500{\\sp{\\sn shapeType}{\\sv 20}}}}"
             "{\\shp{\\*\\shpinst\\shpleft0\\shptop0\\shpright900\\shpbottom400{\\sp{\\sn shapeType}{\\sv 3}}"
             "{\\sp{\\sn fLine}{\\sv 0}}{\\sp{\\sn fillColor}{\\sv 65280}}}}"
             "{\\shp{\\*\\shpinst\\shpleft0\\shptop0\\shpright900\\shpbottom400{\\sp{\\sn shapeType}{\\sv 32}}"
             "{\\sp{\\sn fFlipV}{\\sv 1}}{\\sp{\\sn lineEndArrowhead}{\\sv 1}}}}"
             "{\\shp{\\*\\shpinst\\shpleft0\\shptop0\\shpright900\\shpbottom400{\\sp{\\sn shapeType}{\\sv 5}}}}a\\par}");
    ASSERT_EQ(Body(r).size(), 6u);
    EXPECT_EQ(Para(Body(r), 4).format->frame.drawn, FramePosition::Drawn::Preset);  // a triangle
    EXPECT_EQ(Para(Body(r), 4).format->frame.preset, 5);
    const FramePosition& rect = Para(Body(r), 0).format->frame;
    EXPECT_EQ(rect.drawn, FramePosition::Drawn::Outline);
    EXPECT_EQ(rect.fill, (Color{255, 0, 0, false}));
    EXPECT_EQ(rect.lineColor, (Color{0, 0, 255, false}));
    EXPECT_EQ(rect.lineWidth, 20);
    EXPECT_EQ(Para(Body(r), 1).format->frame.drawn, FramePosition::Drawn::Across);
    const FramePosition& ellipse = Para(Body(r), 2).format->frame;
    EXPECT_EQ(ellipse.drawn, FramePosition::Drawn::Ellipse);
    EXPECT_EQ(ellipse.lineWidth, 0);
    EXPECT_EQ(ellipse.fill, (Color{0, 255, 0, false}));
    const FramePosition& arrow = Para(Body(r), 3).format->frame;
    EXPECT_EQ(arrow.drawn, FramePosition::Drawn::Line);
    EXPECT_TRUE(arrow.flipV && !arrow.flipH);
    EXPECT_EQ(arrow.arrows, 2);

    // A turned group turns its shapes about its centre: a group box 1000 wide and 3000 tall,
    // turned a quarter, holds a 3000 x 1000 group whose right half is its one shape.
    r = Read("{\\rtf1 {\\shpgrp{\\*\\shpinst\\shpleft0\\shptop0\\shpright1000\\shpbottom3000"
             "{\\sp{\\sn groupLeft}{\\sv 0}}{\\sp{\\sn groupTop}{\\sv 0}}{\\sp{\\sn groupRight}{\\sv 30}}"
             "{\\sp{\\sn groupBottom}{\\sv 10}}{\\sp{\\sn rotation}{\\sv 5898240}}"
             "{\\shp{\\*\\shpinst{\\sp{\\sn relLeft}{\\sv 15}}{\\sp{\\sn relTop}{\\sv 0}}{\\sp{\\sn relRight}{\\sv 30}}"
             "{\\sp{\\sn relBottom}{\\sv 10}}{\\sp{\\sn shapeType}{\\sv 1}}}}}}a\\par}");
    ASSERT_EQ(Body(r).size(), 2u);
    const FramePosition& turned = Para(Body(r), 0).format->frame;
    EXPECT_EQ(turned.rotation, 90);
    EXPECT_EQ(turned.x, 0);      // the right half, turned a quarter clockwise, is the lower half
    EXPECT_EQ(turned.y, 1500);   // of the group's box, standing sideways in a box of its own
    EXPECT_EQ(turned.width, 1000);
    EXPECT_EQ(turned.height, -1500);

    // The shapes of a group are placed by the group's place and its coordinates.
    r = Read("{\\rtf1 {\\shpgrp{\\*\\shpinst\\shpleft1000\\shptop0\\shpright3000\\shpbottom1000"
             "{\\sp{\\sn groupLeft}{\\sv 0}}{\\sp{\\sn groupTop}{\\sv 0}}{\\sp{\\sn groupRight}{\\sv 100}}"
             "{\\sp{\\sn groupBottom}{\\sv 100}}{\\shp{\\*\\shpinst{\\sp{\\sn relLeft}{\\sv 50}}{\\sp{\\sn relTop}{\\sv 10}}"
             "{\\sp{\\sn relRight}{\\sv 100}}{\\sp{\\sn relBottom}{\\sv 60}}{\\shptxt g\\par}}}}}a\\par}");
    ASSERT_EQ(Body(r).size(), 2u);
    const FramePosition& child = Para(Body(r), 0).format->frame;
    EXPECT_TRUE(child.set);
    EXPECT_EQ(child.x, 2000);
    EXPECT_EQ(child.y, 100);
    EXPECT_EQ(child.width, 1000);
    EXPECT_EQ(child.height, -500);

    // A text box holding a table has the table in its frame, moved in by the box's inner
    // margin (one that fits itself to its text is as high as what it holds); a shape in a
    // table cell goes before its paragraph, as outside tables.
    r = Read("{\\rtf1 a{\\shp{\\*\\shpinst\\shpleft0\\shpright900{\\sp{\\sn fFitShapeToText}{\\sv 1}}{\\shptxt in\\par"
             "\\trowd\\cellx900\\intbl c\\cell\\row}}}b\\par"
             "\\trowd\\cellx900\\intbl x{\\shp{\\*\\shpinst\\shpleft0\\shpright900{\\shptxt t\\par}}}y\\cell\\row}");
    EXPECT_EQ(TextOf(Body(r)), u"in|[c]|ab|[t|xy]");
    ASSERT_TRUE(Para(Body(r), 0).format->frame.set);
    EXPECT_EQ(Para(Body(r), 0).format->frame.height, 0);
    EXPECT_TRUE(TableAt(Body(r), 1).frame == Para(Body(r), 0).format->frame);
    EXPECT_EQ(TableAt(Body(r), 1).rows.at(0).cells.at(0).rightEdge, 900 + 144);
    EXPECT_FALSE(Para(Body(r), 2).format->frame.set);

    // A note mark written inside a placed shape stays in the anchor paragraph with its note.
    r = Read("{\\rtf1 a{\\shp{\\*\\shpinst\\shpleft0\\shpright900{\\sp{\\sn pib}{\\sv{\\pict\\pngblip 01}}}"
             "{\\super\\chftn}{\\sp{\\sn pib}{\\sv{\\pict\\pngblip 02}}}}}{\\footnote\\pard note\\par}b\\par}");
    EXPECT_EQ(TextOf(Body(r)), u"a^b");
    ASSERT_EQ(r.document.notes.size(), 1u);
    EXPECT_EQ(Para(Body(r), 1).content.at(1).note, 0);
    EXPECT_EQ(Para(Body(r), 0).content.size(), 2u);
}

TEST(RtfReaderPictures, Word95DrawingObjectsAreShapes) {
    // A box in its background colour; a hollow text box inside its own margin; a line drawn
    // from its first point, up and to the left; then, in one group offset by (1000, 2000), an
    // ellipse and a triangle of three lines. Drawn by depth: the first object comes last.
    auto r = Read("{\\rtf1 {\\*\\do\\dodhgt9\\dprect\\dpx10\\dpy20\\dpxsize300\\dpysize400\\dplinew30\\dplinecob255"
                  "\\dpfillfgcr255\\dpfillbgcr0\\dpfillbgcg128\\dpfillbgcb0\\dpfillpat1}"
                  "{\\*\\do\\dodhgt1\\dptxbx\\dptxbxmar40{\\dptxbxtext boxed\\par}\\dpxsize900\\dplinehollow0}"
                  "{\\*\\do\\dodhgt2\\dpline\\dpptx300\\dppty200\\dpptx0\\dppty0\\dpx100\\dpy100\\dpaendsol}"
                  "{\\*\\do\\dodhgt3\\dpgroup\\dpcount2\\dpx1000\\dpy2000\\dpellipse\\dpx5\\dpy6\\dpxsize50\\dpysize60"
                  "\\dppolyline\\dppolygon\\dppolycount3\\dpptx0\\dppty100\\dpptx50\\dppty0\\dpptx100\\dppty100"
                  "\\dpendgroup\\dpx0\\dpy0}a{\\*\\dptxbxtext stray\\par}\\par}");
    const Blocks& body = Body(r);
    EXPECT_EQ(TextOf(body), u"boxed|||||||a|stray");
    using Drawn = FramePosition::Drawn;
    auto frame = [&](std::size_t i) { return Para(body, i).format->frame; };
    EXPECT_EQ(frame(0).drawn, Drawn::Nothing);
    EXPECT_EQ(Para(body, 0).format->leftIndent, 40);
    EXPECT_EQ(frame(0).width, 900);
    EXPECT_EQ(frame(1).drawn, Drawn::Line);
    EXPECT_TRUE(frame(1).flipH && frame(1).flipV);
    EXPECT_EQ(frame(1).arrows, 2);
    EXPECT_EQ(frame(1).x, 100);
    EXPECT_EQ(frame(1).width, 300);
    EXPECT_EQ(frame(2).drawn, Drawn::Ellipse);
    EXPECT_EQ(frame(2).x, 1005);
    EXPECT_EQ(frame(2).y, 2006);
    for (std::size_t i : {3, 4, 5}) EXPECT_EQ(frame(i).drawn, i == 5 ? Drawn::Across : Drawn::Line);
    EXPECT_FALSE(frame(3).flipH || !frame(3).flipV);  // from the bottom-left corner up
    EXPECT_EQ(frame(5).y, 2100);
    const FramePosition& box = frame(6);
    EXPECT_EQ(box.drawn, Drawn::Outline);
    EXPECT_EQ(box.lineWidth, 30);
    EXPECT_EQ(box.lineColor, (Color{0, 0, 255, false}));
    EXPECT_EQ(box.fill, (Color{0, 128, 0, false}));
    EXPECT_EQ(box.height, -400);
}

TEST(RtfReaderPictures, Word95ArcsCalloutsAndPolylinesAreDrawnWithLines) {
    // An arc flipped across: from the box's top-right corner to its bottom-left one. A
    // callout: its pointer, then its text box. A polyline longer than the points kept.
    std::string points;
    for (int i = 0; i < 1000; ++i) points += "\\dpptx" + std::to_string(i) + "\\dppty0";
    auto r = Read("{\\rtf1 {\\*\\do\\dparc\\dparcflipx\\dpx100\\dpy100\\dpxsize800\\dpysize400}"
                  "{\\*\\do\\dpcallout\\dpcooffset5\\dpxsize900\\dpysize900\\dppolyline\\dppolycount2\\dpptx0\\dppty0"
                  "\\dpptx10\\dppty10\\dptxbx{\\dptxbxtext said\\par}\\dpx20\\dpxsize500\\dpysize300}"
                  "{\\*\\do\\dppolyline" + points + "}a\\par}");
    const Blocks& body = Body(r);
    ASSERT_EQ(body.size(), 8u + 2 + 127 + 1);
    auto frame = [&](std::size_t i) { return Para(body, i).format->frame; };
    EXPECT_EQ(frame(0).x + frame(0).width, 900);
    EXPECT_EQ(frame(0).y, 100);
    EXPECT_TRUE(frame(0).flipH && frame(7).flipH && !frame(7).flipV);
    EXPECT_EQ(frame(7).x, 100);
    EXPECT_EQ(frame(7).y - frame(7).height, 500);
    EXPECT_EQ(frame(8).drawn, FramePosition::Drawn::Line);
    EXPECT_EQ(frame(8).width, 10);
    EXPECT_EQ(TextOf(Para(body, 9)), u"said");
    EXPECT_EQ(frame(9).drawn, FramePosition::Drawn::Outline);
    EXPECT_EQ(frame(9).x, 20);
    EXPECT_EQ(frame(136).x, 126);
}

TEST(RtfReaderPictures, OversizedPictureIsDroppedAndTextKept) {
    ReadLimits limits;
    limits.maxPictureBytes = 4;
    auto r = ReadRtf("{\\rtf1 a{\\pict\\pngblip 0102030405}b{\\pict\\pngblip\\bin5 12345}c\\par}", limits);
    EXPECT_TRUE(r.ok());
    EXPECT_TRUE(Pictures(Body(r)).empty());
    EXPECT_EQ(TextOf(Body(r)), u"abc");
}

// ---------------------------------------------------------------- fields, lists

TEST(RtfReaderFields, ResultsShownLinksKeptPageFieldsMarked) {
    auto r = Read("{\\rtf1{\\field{\\*\\fldinst {HYPERLINK \"http://x.org/a\" \\\\o \"tip\"}}{\\fldrslt {\\ul site}}}"
                  " {\\field{\\*\\fldinst HYPERLINK \\\\l \"sec2\"}{\\fldrslt here}}"
                  " p{\\field{\\*\\fldinst  PAGE \\\\* MERGEFORMAT}{\\fldrslt 3}} of {\\field{\\*\\fldinst NUMPAGES}}"
                  " {\\field{\\*\\fldinst DOCPROPERTY Company}{\\fldrslt Acme}}"
                  " {\\field{\\*\\fldinst SYMBOL 183 \\\\f \"Symbol\" \\\\s 10}{\\fldrslt }}\\par}");
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(TextOf(Body(r)), u"site here p# of # Acme \u00B7");
    ASSERT_EQ(r.document.links.size(), 2u);
    EXPECT_EQ(r.document.links[0].target, u"http://x.org/a");
    EXPECT_EQ(r.document.links[1].target, u"#sec2");
    const auto& c = Para(Body(r), 0).content;
    EXPECT_EQ(c.at(0).format.link, 0);
    EXPECT_EQ(c.at(0).format.underline, Underline::Single);
    EXPECT_EQ(c.at(1).format.link, -1);
    const auto page = std::find_if(c.begin(), c.end(), [](const Inline& i) { return i.kind == Inline::Kind::PageNumber; });
    ASSERT_NE(page, c.end());
    EXPECT_EQ(page->text, u"3");
    EXPECT_EQ(std::count_if(c.begin(), c.end(), [](const Inline& i) { return i.kind == Inline::Kind::PageCount; }), 1);
}

TEST(RtfReaderFields, ButtonsShowTheirTextAndFieldNamesMayStartWithABackslash) {
    auto r = Read("{\\rtf1 toc\\tab{\\field{\\*\\fldinst GOTOBUTTON _Toc1{\\field{\\*\\fldinst PAGEREF _Toc1}"
                  "{\\fldrslt 7}}}} {\\field{\\*\\fldinst MACROBUTTON Run  Click here \\\\* MERGEFORMAT}}"
                  "{\\field{\\*\\fldinst GOTOBUTTON \\\\* MERGEFORMAT}}"
                  " p{\\field{\\*\\fldinst \\\\PAGE}}\\par}");
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(TextOf(Body(r)), u"toc\t7 Click here p#");
}

TEST(RtfReaderFields, DateAndTimeShowTheDayOfReadingInTheirPictureAndLanguage) {
    const DateTime when{2026, 3, 1, 14, 5, 9};  // a Sunday
    const auto read = [&](const std::string& fields) {
        auto r = ReadRtf("{\\rtf1\\deflang1033 " + fields + "\\par}", {}, when);
        EXPECT_TRUE(r.ok());
        return TextOf(Body(r));
    };
    // The stored result is the day of saving; other date fields keep theirs.
    EXPECT_EQ(read("{\\field{\\*\\fldinst DATE \\\\* MERGEFORMAT}{\\fldrslt 6/5/00}}|"
                   "{\\field{\\*\\fldinst { TIME }}{\\fldrslt old}}|"
                   "{\\field{\\*\\fldinst CREATEDATE}{\\fldrslt 6/5/00}}|"
                   "{\\field\\fldlock{\\*\\fldinst DATE}{\\fldrslt 7/5/00}}"),
              u"3/1/2026|2:05 PM|6/5/00|7/5/00");
    EXPECT_EQ(read("{\\lang1036{\\field{\\*\\fldinst DATE \\\\@ \"dddd d MMMM yyyy\"}{\\fldrslt xxx}}} "
                   "{\\lang1031{\\field{\\*\\fldinst DATE}}}"),
              u"dimanche 1 mars 2026 01.03.2026");
    EXPECT_EQ(read("{\\field{\\*\\fldinst TIME \\\\@ \"'at' HH:mm:ss am/pm, ddd dd MMM yy\"}}"),
              u"at 14:05:09 pm, Sun 01 Mar 26");
    // The words of old headers (and of latex2rtf's \\today) show the same.
    EXPECT_EQ(read("\\chdate|\\chdpl|\\chdpa|\\chtime"), u"3/1/2026|Sunday, March 1, 2026|Sun, Mar 1, 2026|2:05 PM");
}

// EQ results written out: ^{...} superscript, _{...} subscript, ^N{...} raised N half-points,
// base[reading:size] ruby.
std::u16string Marked(const std::vector<EqPiece>& pieces) {
    std::u16string out;
    for (const auto& p : pieces) {
        if (!p.ruby.empty()) {
            const std::string size = std::to_string(p.rubyHalfPoints);
            out += p.text + u"[" + p.ruby + u":" + std::u16string(size.begin(), size.end()) + u"]";
            continue;
        }
        if (p.position == EqPiece::Position::Baseline && p.raiseHalfPoints == 0) {
            out += p.text;
            continue;
        }
        out += p.position == EqPiece::Position::Sub ? u"_" : u"^";
        if (p.raiseHalfPoints != 0) {
            const std::string n = std::to_string(p.raiseHalfPoints);
            out += std::u16string(n.begin(), n.end());
        }
        out += u"{" + p.text + u"}";
    }
    return out;
}

TEST(RtfReaderFields, EqFieldsShowTheirWorkedOutResult) {
    const std::pair<std::u16string, std::u16string> cases[] = {
        {u"EQ \\f(1,2) + \\r(3,x)", u"1\u20442 + ^{3}\u221A(x)"},
        {u"eq \\b \\bc\\{ (a,\\f(b,c))", u"{a,b\u2044c}"},
        {u"EQ \\b\\lc\\[(x)", u"[x]"},
        {u"EQ \\i \\su(k=1,n,k\\,) ", u"\u2211_{k=1}^{n}k,"},
        {u"EQ \\a \\co2 \\hs3 (1,2,3,4)", u"1 2; 3 4"},
        {u"EQ \\s\\do5(1)\\s\\up 4(2)\\s(a,b)", u"^-10{1}^8{2}^{a}_{b}"},
        // ruby after Word's formatting switches; enclosed characters and overstrikes
        {u"EQ \\* jc2 \\* \"Font:MS Mincho\" \\* hps10 \\o\\ad(\\s\\up 9(\u304D\u3082\u3093),\u9B3C\u9580)",
         u"\u9B3C\u9580[\u304D\u3082\u3093:10]"},
        {u"EQ \\o\\ac(\u25CB,12)\\o(\u25A1,\u79D8)\\o(=,/)", u"\u246B\u79D8=/"},
        {u"EQ \\d \\fo10 \\li() x \\(y\\) (z)", u"x (y) (z)"},
        // unterminated and garbled code shows what it can
        {u"EQ \\f(1,\\b(", u"1\u2044()"},
        {u"EQ \\", u""},
    };
    for (const auto& [code, shown] : cases) EXPECT_EQ(Marked(EvaluateEq(code)), shown) << std::string(code.begin(), code.end());

    // nesting far past the depth the evaluator follows is skipped there, quickly
    std::u16string deep = u"EQ a";
    for (int k = 0; k < 100000; ++k) deep += u"\\b(";
    deep += u"x" + std::u16string(100000, u')') + u"b";
    EXPECT_EQ(Marked(EvaluateEq(deep)), u"a" + std::u16string(16, u'(') + std::u16string(16, u')') + u"b");

    // in a document: the result worked out where the file stores none, the stored one otherwise
    auto r = Read("{\\rtf1\\ansi\\ansicpg932{\\field{\\*\\fldinst EQ \\\\o\\\\ad(\\\\s\\\\up 10(\\'82\\'a9),"
                  "\\'8a\\'bf)}{\\fldrslt }}{\\field{\\*\\fldinst EQ \\\\f(1,2)}{\\fldrslt 3}}"
                  "{\\field{\\*\\fldinst EQ \\\\r(2,x)}}\\par}");
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(TextOf(Body(r)), u"\u6F2232\u221A(x)");
    ASSERT_EQ(r.document.rubies.size(), 1u);
    EXPECT_EQ(r.document.rubies[0].text, u"\u304B");
    EXPECT_EQ(Para(Body(r), 0).content.at(0).kind, Inline::Kind::Ruby);
    const auto& c = Para(Body(r), 0).content;
    const auto index = std::find_if(c.begin(), c.end(), [](const Inline& i) { return i.text == u"2"; });
    ASSERT_NE(index, c.end());
    EXPECT_EQ(index->format.verticalAlign, VerticalAlign::Superscript);
}

TEST(RtfReaderFields, FormFieldsShowTheirStateWhereNoResultIsStored) {
    auto r = Read("{\\rtf1 a{\\field{\\*\\fldinst FORMCHECKBOX {\\*\\formfield{\\fftype1\\ffres25\\ffsize1\\ffhps28\\ffdefres1}}}"
                  "{\\fldrslt }}b{\\field{\\*\\fldinst FORMCHECKBOX {\\*\\formfield{\\fftype1\\ffres0\\ffdefres1}}}}"
                  "c{\\field{\\*\\fldinst {FORMDROPDOWN }{\\*\\formfield{\\fftype2\\ffres1\\ffdefres0{\\*\\ffl x}{\\*\\ffl yy}}}}"
                  "{\\fldrslt }}d{\\field{\\*\\fldinst FORMDROPDOWN {\\*\\formfield{\\fftype2\\ffres25\\ffdefres0{\\*\\ffl z}}}}}"
                  "e{\\field{\\*\\fldinst FORMDROPDOWN {\\*\\formfield{\\fftype2\\ffres7{\\*\\ffl z}}}}}"
                  "f{\\field{\\*\\fldinst FORMTEXT {\\*\\formfield{\\fftype0}}}{\\fldrslt typed}}\\par}");
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(TextOf(Body(r)), u"a\u2612b\u2610cyydzeftyped");
    const auto& c = Para(Body(r), 0).content;
    const auto box = std::find_if(c.begin(), c.end(), [](const Inline& i) { return i.text == u"\u2612"; });
    ASSERT_NE(box, c.end());
    EXPECT_EQ(box->format.sizeHalfPoints, 28);
}

// The list labels of the paragraphs of `blocks`, in order.
std::vector<std::u16string> Labels(const Blocks& blocks) {
    std::vector<std::u16string> labels;
    for (const auto& b : blocks) labels.push_back(std::get<Paragraph>(b.value).format->listLabel);
    return labels;
}

TEST(RtfReaderLists, LabelsFromListTablesListTextAndPn) {
    const std::string lists =
        "{\\*\\listtable{\\list\\listtemplateid1{\\listlevel\\levelnfc0\\levelstartat1{\\leveltext\\'02\\'00.;}{\\levelnumbers\\'01;}}"
        "{\\listlevel\\levelnfc4\\levelstartat1{\\leveltext\\'03\\'00.\\'01;}}\\listid7}"
        "{\\list{\\listlevel\\levelnfc23{\\leveltext\\'01\\u-3913 ?;}\\f1}\\listid8}"
        "{\\list{\\listlevel\\levelnfc1\\levelstartat4{\\leveltext\\'02\\'00.;}}\\listid9}}"
        "{\\*\\listoverridetable{\\listoverride\\listid7\\ls1}{\\listoverride\\listid8\\ls2}{\\listoverride\\listid9\\ls3}}";
    auto r = Read(kHead.substr(0, kHead.size()) + lists +
                  "\\pard\\ls1 one\\par two\\par\\ilvl1 sub\\par\\pard\\ls2 dot\\par"
                  "\\pard\\ls3{\\listtext IV.\\tab}roman\\par\\pard\\ls3 five\\par"
                  "\\pard{\\pntext\\f0 A)\\tab}{\\*\\pn\\pnlvlbody\\pnucltr\\pnstart1{\\pntxta )}}old\\par"
                  "\\pard{\\*\\pn\\pnlvlbody\\pnucrm\\pnstart2}pn only\\par\\pard plain\\par}");
    ASSERT_TRUE(r.ok()) << r.message;
    const std::vector<std::u16string> labels = Labels(Body(r));
    EXPECT_EQ(labels, (std::vector<std::u16string>{u"1.", u"2.", u"2.a", u"\u2022", u"IV.", u"V.", u"A)", u"II.", u""}));
    EXPECT_EQ(Para(Body(r), 3).format->listLabelFormat.font, 1);
    EXPECT_EQ(TextOf(Body(r)), u"one|two|sub|dot|roman|five|old|pn only|plain");

    // a \listtext that sets nothing after its \plain leaves the label's format to the paragraph
    // mark and the level; one that sets a format keeps it
    r = Read(kHead + lists + "\\pard\\ls2{\\listtext\\pard\\plain \\'b7\\tab}\\fs18 dot\\par"
                             "\\pard\\ls2{\\listtext\\pard\\plain\\f0\\fs30 \\'b7\\tab}\\fs18 dot\\par}");
    ASSERT_TRUE(r.ok()) << r.message;
    EXPECT_EQ(Para(Body(r), 0).format->listLabelFormat.font, 1);
    EXPECT_EQ(Para(Body(r), 0).format->listLabelFormat.sizeHalfPoints, 18);
    EXPECT_EQ(Para(Body(r), 1).format->listLabelFormat.sizeHalfPoints, 30);

    // numbering carried by a paragraph style
    r = Read("{\\rtf1{\\stylesheet{\\s0 Normal;}{\\s5\\ls1\\li720 List Number;}}"
             "{\\*\\listtable{\\list{\\listlevel\\levelnfc0{\\leveltext\\'02\\'00);}}\\listid1}}"
             "{\\*\\listoverridetable{\\listoverride\\listid1\\ls1}}\\pard\\s5 a\\par\\pard\\s5 b\\par\\pard\\s0 c\\par}");
    EXPECT_EQ(Para(Body(r), 1).format->listLabel, u"2)");
    EXPECT_EQ(Para(Body(r), 1).format->leftIndent, 720);
    EXPECT_EQ(Para(Body(r), 2).format->listLabel, u"");

    // counting from 0
    r = Read("{\\rtf1{\\*\\listtable{\\list{\\listlevel\\levelstartat0{\\leveltext\\'02\\'00.;}}\\listid1}}"
             "{\\*\\listoverridetable{\\listoverride\\listid1\\ls1}}\\pard\\ls1 a\\par b\\par}");
    EXPECT_EQ(Para(Body(r), 0).format->listLabel, u"0.");
    EXPECT_EQ(Para(Body(r), 1).format->listLabel, u"1.");

    // \\ls0 is no list, unless the override table defines it; a paragraph's \\ls0 before its
    // style's list removes that list
    const std::string zero = "{\\rtf1{\\stylesheet{\\s5\\ls1 L;}}{\\*\\listtable{\\list{\\listlevel{\\leveltext\\'02\\'00.;}}\\listid1}}"
                             "{\\*\\listoverridetable{\\listoverride\\listid1\\ls1}";
    r = Read(zero + "}\\pard\\ls0 a\\par\\pard\\ls0\\s5 b\\par}");
    EXPECT_EQ(Para(Body(r), 0).format->listLabel, u"");
    EXPECT_EQ(Para(Body(r), 1).format->listLabel, u"");
    r = Read(zero + "{\\listoverride\\listid1\\ls0}}\\pard\\ls0 a\\par\\pard b\\par\\pard\\s5 c\\par}");
    EXPECT_EQ(Para(Body(r), 0).format->listLabel, u"1.");
    EXPECT_EQ(Para(Body(r), 1).format->listLabel, u"");
    EXPECT_EQ(Para(Body(r), 2).format->listLabel, u"2.");

    // a Word 6 continuation paragraph (\pnlvlcont) shows no number and does not break the count
    r = Read("{\\rtf1\\pard{\\*\\pn\\pnlvlbody\\pnucrm\\pnstart1}a\\par\\pard{\\*\\pn\\pnlvlcont\\pndec}more\\par"
             "\\pard{\\*\\pn\\pnlvlbody\\pnucrm\\pnstart1}b\\par}");
    EXPECT_EQ(Para(Body(r), 0).format->listLabel, u"I.");
    EXPECT_EQ(Para(Body(r), 1).format->listLabel, u"");
    EXPECT_EQ(Para(Body(r), 2).format->listLabel, u"II.");
    // the text the \pn gives around its number
    r = Read("{\\rtf1\\pard{\\*\\pn\\pnlvlbody\\pnlcltr\\pnstart3{\\pntxtb (}{\\pntxta )}}c\\par"
             "\\pard{\\*\\pn\\pnlvlbody{\\pntxtb \\'78}}x\\par}");
    EXPECT_EQ(Para(Body(r), 0).format->listLabel, u"(c)");
    EXPECT_EQ(Para(Body(r), 1).format->listLabel, u"x4");

    // what follows the label is the level's, even where \listtext wrote a tab
    r = Read("{\\rtf1{\\*\\listtable{\\list{\\listlevel\\levelfollow1{\\leveltext\\'02\\'00.;}}"
             "{\\listlevel\\levelfollow2{\\leveltext\\'01-;}}\\listid1}}{\\*\\listoverridetable{\\listoverride\\listid1\\ls1}}"
             "\\pard\\ls1{\\listtext 1.\\tab}a\\par\\ilvl1 b\\par\\pard{\\listtext x\\tab}c\\par}");
    EXPECT_EQ(Para(Body(r), 0).format->listLabelFollow, ParaFormat::LabelFollow::Space);
    EXPECT_EQ(Para(Body(r), 1).format->listLabelFollow, ParaFormat::LabelFollow::Nothing);
    EXPECT_EQ(Para(Body(r), 2).format->listLabelFollow, ParaFormat::LabelFollow::Tab);

    // how the label stands against the indent: the list level's, else the Word 6 numbering's
    r = Read("{\\rtf1{\\*\\listtable{\\list{\\listlevel\\leveljc2{\\leveltext\\'02\\'00.;}}"
             "{\\listlevel\\leveljcn1{\\leveltext\\'01-;}}\\listid1}}{\\*\\listoverridetable{\\listoverride\\listid1\\ls1}}"
             "\\pard\\ls1{\\*\\pn\\pnlvlbody\\pnqc}{\\listtext 1.\\tab}a\\par\\ilvl1 b\\par"
             "\\pard{\\*\\pn\\pnlvlbody\\pndec\\pnqr}c\\par\\pard d\\par}");
    EXPECT_EQ(Para(Body(r), 0).format->listLabelAlign, ParaFormat::LabelAlign::Right);
    EXPECT_EQ(Para(Body(r), 1).format->listLabelAlign, ParaFormat::LabelAlign::Center);
    EXPECT_EQ(Para(Body(r), 2).format->listLabelAlign, ParaFormat::LabelAlign::Right);
    EXPECT_EQ(Para(Body(r), 3).format->listLabelAlign, ParaFormat::LabelAlign::Left);
}

// Word writes list ids drawn over the whole 32-bit range, and \\lfolevel overrides that restart a
// level or redefine it; the label is counted from the list, \\listtext giving only its format.
TEST(RtfReaderLists, OverridesAndLargeIdsCountFromTheList) {
    auto r = Read("{\\rtf1{\\fonttbl{\\f0 A;}{\\f1 B;}}{\\*\\listtable"
                  "{\\list{\\listlevel\\levelnfc23{\\leveltext\\'01\\u8226 ?;}}\\listid1686666904}"
                  "{\\list{\\listlevel\\levelnfc0{\\leveltext\\'02\\'00.;}}{\\listlevel\\levelnfc4{\\leveltext\\'04\\'00.\\'01.;}}"
                  "\\listid1686666905}}{\\*\\listoverridetable{\\listoverride\\listid1686666904\\ls1}"
                  "{\\listoverride\\listid1686666905\\ls2}"
                  "{\\listoverride\\listid1686666905\\listoverridecount2{\\lfolevel\\listoverridestartat\\levelstartat7}"
                  "{\\lfolevel\\listoverrideformat{\\listlevel\\levelnfc1{\\leveltext\\'02\\'01);}}}\\ls3}"
                  "{\\listoverride\\listid-2\\listoverridecount1{\\lfolevel\\listoverrideformat"
                  "{\\listlevel\\levelnfc3\\levelstartat3{\\leveltext\\'02\\'00:;}}}\\ls4}}"
                  "\\pard\\ls2{\\listtext\\f1 *\\tab}a\\par\\pard\\ls1 b\\par\\pard\\ls2 c\\par\\ilvl1 d\\par"
                  "\\pard\\ls3 e\\par\\ilvl1 f\\par\\pard\\ls4 g\\par}");
    ASSERT_TRUE(r.ok()) << r.message;
    EXPECT_EQ(Labels(Body(r)), (std::vector<std::u16string>{u"1.", u"\u2022", u"2.", u"2.a.", u"7.", u"I)", u"C:"}));
    EXPECT_EQ(Para(Body(r), 0).format->listLabelFormat.font, 1);  // the \\listtext's
}

TEST(RtfReaderLists, FormatCodesAndPnWordsChooseTheNumbering) {
    auto r = Read("{\\rtf1{\\*\\listtable{\\list{\\listlevel\\levelnfc37\\levelstartat100{\\leveltext\\'02\\'00.;}}"
                  "{\\listlevel\\levelnfcn5{\\leveltext\\'03\\'00-\\'01;}}\\listid1}}"
                  "{\\*\\listoverridetable{\\listoverride\\listid1\\ls1}}\\pard\\ls1 a\\par b\\par\\ilvl1 c\\par"
                  "\\pard{\\*\\pn\\pnlvlbody\\pnordt\\pnstart21}d\\par\\pard plain\\par"
                  "\\pard{\\*\\pn\\pnlvlbody\\pndbnum\\pnstart10}e\\par\\pard{\\*\\pn\\pnlvlbody\\pngbnuml}f\\par}");
    ASSERT_TRUE(r.ok()) << r.message;
    const std::vector<std::u16string> labels = Labels(Body(r));
    EXPECT_EQ(labels, (std::vector<std::u16string>{u"一百.", u"一百零一.", u"一百零一-1st", u"Twenty-First.", u"",
                                                   u"一〇.", u"⑪."}));
}

TEST(RtfReaderLists, LegalLevelsAndLevelsThatDoNotRestart) {
    auto r = Read("{\\rtf1{\\*\\listtable{\\list{\\listlevel\\levelnfc1{\\leveltext\\'02\\'00.;}}"
                  "{\\listlevel\\levellegal1{\\leveltext\\'03\\'00.\\'01;}}"
                  "{\\listlevel\\levelnorestart1{\\leveltext\\'02\\'02);}}\\listid1}}"
                  "{\\*\\listoverridetable{\\listoverride\\listid1\\ls1}}\\pard\\ls1 a\\par\\ilvl1 b\\par"
                  "\\ilvl2 c\\par\\ilvl0 d\\par\\ilvl1 e\\par\\ilvl2 f\\par}");
    ASSERT_TRUE(r.ok()) << r.message;
    EXPECT_EQ(Labels(Body(r)), (std::vector<std::u16string>{u"I.", u"1.1", u"1)", u"II.", u"2.1", u"2)"}));
    // A list whose first item is below the top level shows the top level at its start, and the
    // top level's first item follows on from there.
    auto sub = Read("{\\rtf1{\\*\\listtable{\\list{\\listlevel\\levelnfc0{\\leveltext\\'02\\'00.;}}"
                    "{\\listlevel{\\leveltext\\'03\\'00.\\'01;}}\\listid1}}"
                    "{\\*\\listoverridetable{\\listoverride\\listid1\\ls1}}\\pard\\ls1\\ilvl1 a\\par\\ilvl1 b\\par"
                    "\\ilvl0 c\\par\\ilvl1 d\\par}");
    ASSERT_TRUE(sub.ok()) << sub.message;
    EXPECT_EQ(Labels(Body(sub)), (std::vector<std::u16string>{u"1.1", u"1.2", u"2.", u"2.1"}));
}

// ---------------------------------------------------------------- sections, headers, notes, breaks

TEST(RtfReaderSections, HeadersFootersColumnsAndSectionBreaks) {
    auto r = Read("{\\rtf1\\paperw11906\\paperh16838\\margl1000\\facingp\\margmirror\\gutter300\\gutterprl\\sectd\\titlpg\\cols2\\colsx500\\linebetcol"
                  "\\headery600\\pgnstarts5\\pgnrestart{\\header \\pard H {\\field{\\*\\fldinst PAGE}{\\fldrslt 1}}\\par}"
                  "{\\headerf \\pard First\\par}{\\footerl \\pard Left\\par}{\\footerr \\pard Right\\par}"
                  "\\marglsxn2000 one\\par\\sect\\sectd\\sbknone\\margtsxn900\\pgwsxn16838\\pghsxn11906 two\\par\\sect\\sbkodd"
                  "{\\header \\pard H3\\par}"
                  "three\\par}");
    ASSERT_TRUE(r.ok()) << r.message;
    const auto& d = r.document;
    EXPECT_EQ(d.paperWidth, 11906);
    EXPECT_EQ(d.paperHeight, 16838);
    EXPECT_EQ(d.marginLeft, 1000);
    EXPECT_TRUE(d.facingPages);
    EXPECT_TRUE(d.mirrorMargins);
    EXPECT_EQ(d.gutter, 300);
    EXPECT_TRUE(d.gutterAtTop);
    EXPECT_FALSE(d.gutterRight);
    ASSERT_EQ(d.sections.size(), 3u);
    const auto& s0 = d.sections[0];
    EXPECT_TRUE(s0.titlePage);
    EXPECT_EQ(s0.columns, 2);
    EXPECT_EQ(s0.columnSpace, 500);
    EXPECT_TRUE(s0.lineBetween);
    EXPECT_EQ(s0.headerDistance, 600);
    EXPECT_EQ(s0.pageNumberStart, 5);
    EXPECT_EQ(TextOf(s0.headers.both), u"H #");
    EXPECT_EQ(TextOf(s0.headers.first), u"First");
    EXPECT_EQ(TextOf(s0.footers.left), u"Left");
    EXPECT_EQ(TextOf(s0.footers.right), u"Right");
    EXPECT_EQ(TextOf(s0.body), u"one");
    EXPECT_EQ(s0.marginLeft, 2000);
    EXPECT_EQ(d.sections[1].breakBefore, Section::Break::None);
    EXPECT_EQ(d.sections[1].columns, 1);
    EXPECT_EQ(d.sections[1].marginLeft, -1);  // \sectd: the document's again
    EXPECT_EQ(d.sections[2].marginTop, 900);  // no \sectd: the section before's
    EXPECT_EQ(std::pair(s0.pageWidth, s0.pageHeight), std::pair(0, 0));  // the document's
    EXPECT_EQ(std::pair(d.sections[2].pageWidth, d.sections[2].pageHeight), std::pair(16838, 11906));
    EXPECT_EQ(TextOf(d.sections[1].headers.both), u"H #");  // kept from the section before
    EXPECT_EQ(d.sections[2].breakBefore, Section::Break::Odd);
    EXPECT_EQ(TextOf(d.sections[2].headers.both), u"H3");
    EXPECT_EQ(TextOf(d.sections[2].body), u"three");
    // a \sect at the very end adds no section
    EXPECT_EQ(Read("{\\rtf1 one\\par\\sect two\\par\\pard\\sect}").document.sections.size(), 2u);
    // a section break and section formatting inside a text box leave the body's section alone
    r = Read("{\\rtf1\\sectd\\sbknone\\cols2 one{\\shp{\\*\\shpinst{\\shptxt in\\sect\\sectd\\sbkpage\\cols3\\marglsxn9"
             "\\pgbrdrt\\brdrs box\\par}}}\\par}");
    ASSERT_EQ(r.document.sections.size(), 1u);
    EXPECT_EQ(r.document.sections[0].breakBefore, Section::Break::None);
    EXPECT_EQ(r.document.sections[0].columns, 2);
    EXPECT_EQ(r.document.sections[0].marginLeft, -1);
    EXPECT_FALSE(r.document.sections[0].pageBorders.top.Visible());
}

TEST(RtfReaderSections, ColumnsOfTheirOwnWidths) {
    auto r = Read("{\\rtf1\\sectd\\cols2\\colno1\\colw2400\\colsr720\\colno2\\colw5520 a\\sect b\\sect\\sectd c\\par}");
    ASSERT_TRUE(r.ok());
    const auto& s = r.document.sections;
    ASSERT_EQ(s.size(), 3u);
    const std::vector<SectionColumn> given{{2400, 720}, {5520, -1}};
    EXPECT_EQ(s[0].columnDefs, given);
    EXPECT_EQ(s[1].columnDefs, given);  // kept by the next section
    EXPECT_TRUE(s[2].columnDefs.empty());  // until \sectd
}

// Word's \chpgn page number in a footer, the page numbers' style, and LibreOffice's \titlepg.
TEST(RtfReaderSections, PageNumberWordsAndTitlePageSpelling) {
    auto r = Read("{\\rtf1\\sectd\\pgnlcrm\\titlepg{\\footerr \\pard p {\\i\\chpgn}\\par}one\\par"
                  "\\sect\\sectd\\pgnucltr two\\par\\sect\\sectd three\\par}");
    ASSERT_TRUE(r.ok()) << r.message;
    const auto& s = r.document.sections;
    ASSERT_EQ(s.size(), 3u);
    EXPECT_TRUE(s[0].titlePage);
    EXPECT_EQ(TextOf(s[0].footers.right), u"p #");
    EXPECT_EQ(s[0].pageNumbers, Numbering::LowerRoman);
    EXPECT_EQ(s[1].pageNumbers, Numbering::UpperLetter);
    EXPECT_EQ(s[2].pageNumbers, Numbering::Decimal);  // \sectd resets it

    // page borders belong to their section; a paragraph border after them is the paragraph's
    r = Read("{\\rtf1\\sectd\\pgbrdropt33\\pgbrdrt\\brdrs\\brdrw20\\brsp480\\pgbrdrr\\brdrdb a\\par"
             "\\pard\\brdrb\\brdrs b\\par\\sect\\sectd c\\par}");
    ASSERT_TRUE(r.ok()) << r.message;
    const auto& b = r.document.sections.at(0).pageBorders;
    EXPECT_EQ(b.top.style, BorderLine::Style::Single);
    EXPECT_EQ(b.top.widthTwips, 20);
    EXPECT_EQ(b.top.spaceTwips, 480);
    EXPECT_EQ(b.right.style, BorderLine::Style::Double);
    EXPECT_FALSE(b.bottom.Visible());
    EXPECT_TRUE(r.document.sections[0].pageBordersFromEdge);
    EXPECT_EQ(r.document.sections[0].pageBordersOn, Section::BorderPages::First);
    EXPECT_TRUE(Para(r.document.sections[0].body, 1).format->borders.bottom.Visible());
    EXPECT_FALSE(r.document.sections.at(1).pageBorders.top.Visible());
}

// Line numbering is the section's (kept by the next section until \sectd), \noline the
// paragraph's; the numbers take the Line Number style over the normal style.
TEST(RtfReaderSections, LineNumberingWordsAndStyle) {
    auto r = Read("{\\rtf1{\\stylesheet{\\s0\\fs20 Normal;}{\\*\\cs17\\i Line Number;}}\\linemod5\\linex283"
                  "\\linestarts3\\linecont a\\par\\pard\\noline b\\sect\\linerestart c\\sect\\sectd d\\par}");
    ASSERT_TRUE(r.ok()) << r.message;
    const auto& s = r.document.sections;
    EXPECT_EQ(s.at(0).lineNumbers, (LineNumbering{5, 283, 3, LineNumbering::Restart::Continue}));
    EXPECT_EQ(s.at(1).lineNumbers, (LineNumbering{5, 283, 3, LineNumbering::Restart::Section}));
    EXPECT_EQ(s.at(2).lineNumbers, LineNumbering{});
    EXPECT_TRUE(Para(s[0].body, 1).format->noLineNumbers && !Para(s[0].body, 0).format->noLineNumbers);
    EXPECT_EQ(r.document.lineNumberFormat.sizeHalfPoints, 20);
    EXPECT_TRUE(r.document.lineNumberFormat.italic);
}

TEST(RtfReaderSections, FootnotesAndEndnotes) {
    auto r = Read("{\\rtf1\\aftnnrlc a{\\super\\chftn}{\\footnote\\pard{\\super\\chftn} First note\\par}"
                  " b{\\super\\chftn}{\\footnote\\ftnalt\\pard\\chftn End\\par} c\\chftn{\\footnote\\pard Second}\\par"
                  " d{\\super *}{\\footnote\\pard custom}\\par e\\chftn{\\footnote\\pard Third}\\par"
                  " f\\chftn{\\footnote\\chftn\\pard\\plain}\\par}");
    ASSERT_TRUE(r.ok());
    const auto& notes = r.document.notes;
    ASSERT_EQ(notes.size(), 6u);
    EXPECT_EQ(notes[4].mark, u"3");
    EXPECT_EQ(notes[5].content.size(), 1u) << "a numbered note without text keeps a line for its number";
    EXPECT_FALSE(notes[0].endnote);
    EXPECT_EQ(notes[0].mark, u"1");
    EXPECT_EQ(TextOf(notes[0].content), u" First note");
    EXPECT_TRUE(notes[1].endnote);
    EXPECT_EQ(notes[1].mark, u"i");
    EXPECT_EQ(notes[2].mark, u"2");
    EXPECT_EQ(TextOf(notes[2].content), u"Second");
    // A note without a \chftn mark has the file's own mark: anchored where it stands so that its
    // text reaches the page foot, but neither numbered nor counted (a later note is "3").
    EXPECT_EQ(notes[3].mark, u"");
    EXPECT_FALSE(notes[3].numbered);
    EXPECT_EQ(TextOf(notes[3].content), u"custom");
    EXPECT_EQ(TextOf(Body(r)), u"a^ b^ c^|d*^|e^|f^");
    std::vector<int> refs;
    for (const auto& item : Para(Body(r), 0).content) {
        if (item.kind == Inline::Kind::NoteRef) refs.push_back(item.note);
    }
    EXPECT_EQ(refs, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(Para(Body(r), 1).content.back().note, 3);

    // Where the endnotes go (\\aenddoc, as Word writes it) leaves the footnotes on their pages;
    // \\enddoc collects them at the end, unless \\ftnbj puts them back.
    EXPECT_FALSE(Read("{\\rtf1\\ftnbj\\aenddoc\\aendnotes a\\par}").document.footnotesAtEnd);
    EXPECT_TRUE(Read("{\\rtf1\\enddoc a\\par}").document.footnotesAtEnd);
    EXPECT_FALSE(Read("{\\rtf1\\enddoc\\ftnbj a\\par}").document.footnotesAtEnd);

    // numbered as the document says, from where it says
    r = Read("{\\rtf1\\ftnnalc\\ftnstart3\\aftnnruc a\\chftn{\\footnote x}\\chftn{\\footnote y}"
             "\\chftn{\\footnote\\ftnalt z}\\par}");
    ASSERT_EQ(r.document.notes.size(), 3u);
    EXPECT_EQ(r.document.notes[0].mark, u"c");
    EXPECT_EQ(r.document.notes[1].mark, u"d");
    EXPECT_EQ(r.document.notes[2].mark, u"I");
}

TEST(RtfReaderSections, PageColumnAndLineBreaks) {
    auto r = Read("{\\rtf1 one\\page two\\line 2b\\column 2c\\par\\page\\par three\\par{\\page}\\pard four\\par}");
    ASSERT_TRUE(r.ok());
    const auto& body = Body(r);
    EXPECT_EQ(TextOf(body), u"one|two\n2b2c||three|four");
    EXPECT_TRUE(Para(body, 0).pageBreakAfter);
    EXPECT_FALSE(Para(body, 1).pageBreakAfter);
    EXPECT_TRUE(Para(body, 2).format->pageBreakBefore);  // the empty paragraph after a lone \page
    EXPECT_TRUE(Para(body, 2).breakMarkBefore);
    EXPECT_TRUE(Para(body, 4).format->pageBreakBefore);
    EXPECT_EQ(Para(body, 1).content.at(3).kind, Inline::Kind::ColumnBreak);

    // A \page with nothing before it, or right after another, leaves an empty page: an empty
    // paragraph that breaks after itself.
    r = Read("{\\rtf1\\pard\\page one\\par two\\page\\page three\\par}");
    ASSERT_TRUE(r.ok());
    ASSERT_EQ(Body(r).size(), 5u);
    EXPECT_TRUE(Para(Body(r), 0).content.empty());
    EXPECT_TRUE(Para(Body(r), 0).pageBreakAfter);
    EXPECT_EQ(TextOf(Para(Body(r), 3)), u"");
    EXPECT_TRUE(Para(Body(r), 2).pageBreakAfter);
    EXPECT_TRUE(Para(Body(r), 3).pageBreakAfter);
    // A \page at the very end puts the document's last, empty paragraph on a page of its own.
    EXPECT_EQ(TextOf(Body(Read("{\\rtf1 one\\page}"))), u"one|");
    EXPECT_EQ(TextOf(Body(Read("{\\rtf1 one\\par}"))), u"one");
}

// ---------------------------------------------------------------- equations

TEST(RtfReaderText, EquationsShowInALinearForm) {
    auto r = Read("{\\rtf1{\\mmath{\\*\\moMathPara{\\*\\moMath"
                  "{\\mnary{\\mnaryPr{\\mchr \\u8721 ?}{\\mctrlPr\\f1 hidden}}{\\msub{\\mr k=0}}{\\msup{\\mr n}}"
                  "{\\me{\\md{\\mdPr{\\mbegChr [}{\\mendChr ]}}{\\me{\\mf{\\mnum{\\mr a}}{\\mden{\\mr b}}}}{\\me{\\mr c}}}}}"
                  "{\\mrad{\\mdeg{\\mr 3}}{\\me{\\mr x}}}}}}\\par}");
    ASSERT_TRUE(r.ok());
    const Paragraph& p = Para(Body(r), 0);
    EXPECT_EQ(TextOf(p), u"\u2211k=0n[a\u2044b|c]3\u221A(x)");  // the properties' text is not shown
    std::u16string sup, sub;
    for (const Inline& in : p.content) {
        if (in.format.verticalAlign == VerticalAlign::Superscript) sup += in.text;
        if (in.format.verticalAlign == VerticalAlign::Subscript) sub += in.text;
    }
    EXPECT_EQ(sup, u"na3");
    EXPECT_EQ(sub, u"k=0b");
    // an accent follows its base; an upper limit is raised
    r = Read("{\\rtf1{\\mmath{\\macc{\\maccPr{\\mchr \\u771 ?}}{\\me{\\mr a}}}{\\macc{\\me{\\mr b}}}"
             "{\\mlimUpp{\\me{\\mr c}}{\\mlim{\\mr d}}}}\\par}");
    EXPECT_EQ(TextOf(Body(r)), u"a\u0303b\u0302cd");
    EXPECT_EQ(Para(Body(r), 0).content.back().format.verticalAlign, VerticalAlign::Superscript);

    // Word's own picture of an equation is shown instead of the linear form
    r = Read("{\\rtf1 a{\\mmath{\\*\\moMath{\\mr x}}{\\mmathPict{\\*\\shppict{\\pict\\pngblip 01}}"
             "{\\nonshppict{\\pict\\wmetafile8 02}}}}b{\\mmath{\\*\\moMath{\\mr y}}}\\par}");
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(TextOf(Body(r)), u"aby");
    EXPECT_EQ(Pictures(Body(r)).size(), 1u);
}
