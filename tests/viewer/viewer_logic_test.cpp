// Tests of the viewer's pure logic: page-value conversion, twips and pixels, page layout,
// the print dialog's 16-bit page numbers and the statuses and texts of the open command.
#include "viewer_logic.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

namespace viewer {
namespace {

TEST(PageValueTest, WholeNumbersAndLeadingZeros) {
    EXPECT_EQ(TryPageValueFromText(L"1440"), 1440);
    EXPECT_EQ(TryPageValueFromText(L"01440"), 1440);
    EXPECT_EQ(TryPageValueFromText(L"0000000000000000000001440"), 1440);
    EXPECT_EQ(TryPageValueFromText(L"0"), 0);
}

TEST(PageValueTest, EmptyTextIsZeroBecauseOfTheLeadingZero) {
    EXPECT_EQ(TryPageValueFromText(L""), 0);
    EXPECT_EQ(TryPageValueFromText(L"."), 0);
    EXPECT_EQ(TryPageValueFromText(L".7"), 1);
}

TEST(PageValueTest, FractionRoundsToNearestWithTiesToEven) {
    EXPECT_EQ(TryPageValueFromText(L"1440.4"), 1440);
    EXPECT_EQ(TryPageValueFromText(L"1440.6"), 1441);
    EXPECT_EQ(TryPageValueFromText(L"1440.5"), 1440);
    EXPECT_EQ(TryPageValueFromText(L"1441.5"), 1442);
    EXPECT_EQ(TryPageValueFromText(L"1440.50"), 1440);
    EXPECT_EQ(TryPageValueFromText(L"1440.5000001"), 1441);
    EXPECT_EQ(TryPageValueFromText(L"1440.4999999"), 1440);
    EXPECT_EQ(TryPageValueFromText(L"0.5"), 0);
    EXPECT_EQ(TryPageValueFromText(L"1.5"), 2);
    EXPECT_EQ(TryPageValueFromText(L"1440."), 1440);
}

TEST(PageValueTest, ThirtyTwoBitBoundary) {
    EXPECT_EQ(TryPageValueFromText(L"2147483647"), 2147483647);
    EXPECT_EQ(TryPageValueFromText(L"2147483647.4"), 2147483647);
    EXPECT_EQ(TryPageValueFromText(L"2147483646.5"), 2147483646);
    EXPECT_FALSE(TryPageValueFromText(L"2147483647.5"));  // ties to even: 2147483648
    EXPECT_FALSE(TryPageValueFromText(L"2147483648"));
    EXPECT_FALSE(TryPageValueFromText(L"99999999999999999999999999999999"));
}

TEST(PageValueTest, TextThatIsNotANumberDoesNotConvert) {
    for (const wchar_t* bad : {L"abc", L"12a", L"-1", L"+1", L" 1440", L"1440 ", L"1.2.3",
                               L"1,440", L"1e3", L"0x10", L"\x0661\x0662"}) {
        EXPECT_FALSE(TryPageValueFromText(bad)) << std::wstring(bad).size();
    }
}

TEST(PageValueTest, UnusableValueFallsBackToZeroLikeAnAbsentKey) {
    EXPECT_EQ(PageValueOrZero(L"letters"), 0);
    EXPECT_EQ(PageValueOrZero(L"-720"), 0);
    EXPECT_EQ(PageValueOrZero(L"4294967296"), 0);
    EXPECT_EQ(PageValueOrZero(L"720"), 720);
}

TEST(TwipsTest, ConvertsAtCommonResolutions) {
    EXPECT_EQ(TwipsToPixels(1440, 96), 96);
    EXPECT_EQ(TwipsToPixels(9465, 96), 631);   // 631.0
    EXPECT_EQ(TwipsToPixels(5625, 96), 375);
    EXPECT_EQ(TwipsToPixels(435, 96), 29);     // 29.0
    EXPECT_EQ(TwipsToPixels(1005, 96), 67);
    EXPECT_EQ(TwipsToPixels(315, 96), 21);
    EXPECT_EQ(TwipsToPixels(435, 120), 36);    // 36.25
    EXPECT_EQ(TwipsToPixels(1050, 144), 105);
    EXPECT_EQ(TwipsToPixels(15, 96), 1);       // 1.0
    EXPECT_EQ(TwipsToPixels(7, 96), 0);        // 0.47
    EXPECT_EQ(TwipsToPixels(8, 96), 1);        // 0.53
    EXPECT_EQ(TwipsToPixels(-8, 96), -1);
}

TEST(TwipsTest, PixelsBackToTwips) {
    EXPECT_EQ(PixelsToTwips(96, 96), 1440);
    EXPECT_EQ(PixelsToTwips(631, 96), 9465);
    EXPECT_EQ(PixelsToTwips(1, 96), 15);
    EXPECT_EQ(PixelsToTwips(1, 72), 20);
    EXPECT_EQ(PixelsToTwips(600, 600), 1440);
    EXPECT_EQ(PixelsToTwips(std::int64_t{1} << 40, 96), (std::int64_t{1} << 40) * 15);
}

TEST(PageLayoutTest, WrapWidthIsThePageTextWidth) {
    EXPECT_EQ(WrapWidth({.width = 12240, .marginL = 1440, .marginR = 1800}), 9000);
    EXPECT_EQ(WrapWidth({.width = 12240}), 12240);
}

TEST(PageLayoutTest, WrapAtWindowForNonsense) {
    EXPECT_EQ(WrapWidth({}), 0);
    EXPECT_EQ(WrapWidth({.width = 1440, .marginL = 720, .marginR = 720}), 0);
    EXPECT_EQ(WrapWidth({.width = 1440, .marginL = 2000000000, .marginR = 2000000000}), 0);
    EXPECT_EQ(WrapWidth({.width = kMaxPageTwips + 1}), 0);
    EXPECT_EQ(WrapWidth({.width = kMaxPageTwips}), kMaxPageTwips);
}

TEST(PageLayoutTest, EffectivePageKeepsAUsablePage) {
    const PageSettings a5{.width = 8391, .height = 11906,
                          .marginL = 567, .marginR = 567, .marginT = 720, .marginB = 720};
    EXPECT_EQ(EffectivePage(a5), a5);
    const PageSettings noMargins{.width = 200, .height = 200};
    EXPECT_EQ(EffectivePage(noMargins), noMargins);
}

TEST(PageLayoutTest, EffectivePageReplacesAnUnusablePageWithLetter) {
    const PageSettings letter{.width = 12240, .height = 15840,
                              .marginL = 1440, .marginR = 1440, .marginT = 1440, .marginB = 1440};
    EXPECT_EQ(EffectivePage({}), letter);
    EXPECT_EQ(EffectivePage({.width = 12240, .height = 0}), letter);
    EXPECT_EQ(EffectivePage({.width = 12240, .height = 15840, .marginT = 8000, .marginB = 8000}),
              letter);
    EXPECT_EQ(EffectivePage({.width = 2147483647, .height = 15840}), letter);
    EXPECT_EQ(EffectivePage({.width = 12240, .height = 15840,
                             .marginL = 2147483647, .marginR = 2147483647}),
              letter);
}

TEST(PrintPagesTest, PageNumberFitsSixteenBits) {
    EXPECT_EQ(PageNumberTo16(1), 1);
    EXPECT_EQ(PageNumberTo16(0), 0);
    EXPECT_EQ(PageNumberTo16(32767), 32767);
    EXPECT_THROW(PageNumberTo16(32768), std::overflow_error);
    EXPECT_THROW(PageNumberTo16(std::int64_t{1} << 33), std::overflow_error);
}

TEST(PrintPagesTest, RangeIsClippedToTheDocument) {
    const PageRange r = ClipPageRange(2, 3, 5);
    EXPECT_EQ(r.first, 2);
    EXPECT_EQ(r.last, 3);
    const PageRange wide = ClipPageRange(0, 99, 5);
    EXPECT_EQ(wide.first, 1);
    EXPECT_EQ(wide.last, 5);
    EXPECT_TRUE(ClipPageRange(7, 9, 5).empty());
    EXPECT_TRUE(ClipPageRange(3, 2, 5).empty());
    EXPECT_TRUE(ClipPageRange(1, 1, 0).empty());
}

TEST(OpenStatusTest, EachStepReportsItsOwnStatus) {
    EXPECT_EQ(OpenFailureStatus(OpenStep::Header), -60);
    EXPECT_EQ(OpenFailureStatus(OpenStep::Block), -71);
    EXPECT_EQ(OpenFailureStatus(OpenStep::Package), -80);
    EXPECT_EQ(OpenFailureStatus(OpenStep::Text), -72);
}

TEST(OpenStatusTest, StatusFollowsWhatTheStepReported) {
    EXPECT_EQ(HeaderStatus(0), 0);
    EXPECT_EQ(HeaderStatus(1), -60);
    EXPECT_EQ(HeaderStatus(-5), -60);
    EXPECT_EQ(BlockStatus(0), 0);
    EXPECT_EQ(BlockStatus(3), -71);
    EXPECT_EQ(PackageStatus(0), 0);
    EXPECT_EQ(PackageStatus(-130), -80);
    EXPECT_EQ(TextStatus(1), 0);
    EXPECT_EQ(TextStatus(-1), 0);  // any non-zero count is a load
    EXPECT_EQ(TextStatus(0), -72);
}

TEST(OpenStatusTest, PositionSumsOverflowInsteadOfWrapping) {
    EXPECT_EQ(CheckedAdd32(20, 1), 21);
    EXPECT_EQ(CheckedAdd32(2147483646, 1), 2147483647);
    EXPECT_THROW(CheckedAdd32(2147483647, 1), std::overflow_error);
    EXPECT_THROW(CheckedAdd32(CheckedAdd32(2000000000, 147483647), 1), std::overflow_error);
    EXPECT_THROW(CheckedAdd32(std::numeric_limits<std::int32_t>::min(), -1), std::overflow_error);
}

TEST(TextsTest, OpenFailureMessageCarriesTheSignedStatus) {
    EXPECT_EQ(OpenFailureMessage(-60), L"Invalid or corrupt document. (-60)");
    EXPECT_EQ(OpenFailureMessage(-72), L"Invalid or corrupt document. (-72)");
}

TEST(TextsTest, NotFoundMessageQuotesTheWord) {
    EXPECT_EQ(NotFoundMessage(L"PAGETWOMARK"), L"Cannot find \"PAGETWOMARK\".");
}

TEST(TextsTest, AboutHasTenLinesWithoutATrailingBreak) {
    const std::wstring text = AboutText();
    std::vector<std::wstring> lines;
    std::size_t start = 0;
    for (std::size_t at; (at = text.find(L"\r\n", start)) != std::wstring::npos; start = at + 2) {
        lines.push_back(text.substr(start, at - start));
    }
    lines.push_back(text.substr(start));
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[0], L"The Orlenne Document Viewer");
    EXPECT_EQ(lines[1], L"Version 1.01");
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const bool blank = i == 2 || i == 5 || i == 8;
        EXPECT_EQ(lines[i].empty(), blank) << "line " << i + 1;
        EXPECT_EQ(lines[i].find_first_of(L"\r\n"), std::wstring::npos) << "line " << i + 1;
    }
}

TEST(TextsTest, FilterBecomesADoubleNulList) {
    const std::wstring list = FilterToDialogList(kOpenFilter);
    const std::wstring expected(L"Orlenne Document (*.orl)\0*.orl\0All Files (*.*)\0*.*\0\0", 52);
    EXPECT_EQ(list, expected);
}

TEST(TextsTest, FileNameOfPath) {
    EXPECT_EQ(FileNameOf(L"C:\\docs\\long.orl"), L"long.orl");
    EXPECT_EQ(FileNameOf(L"Z:/tmp/a b.orl"), L"a b.orl");
    EXPECT_EQ(FileNameOf(L"short.orl"), L"short.orl");
    EXPECT_EQ(FileNameOf(L"C:\\dir\\"), L"");
}

}  // namespace
}  // namespace viewer
