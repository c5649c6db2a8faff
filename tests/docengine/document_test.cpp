// List labels in each numbering style: the English suffixes and words, the place units, zeros
// and written ones of East Asian counting, where a symbol set ends (it starts over, or the
// number is written in decimal), and numbers of 0 or less.
#include "document.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string_view>

using namespace docengine;

namespace {

struct Case {
    Numbering numbering;
    int n;
    std::u16string_view label;
};

void ExpectLabels(std::initializer_list<Case> cases) {
    for (const auto& c : cases)
        EXPECT_EQ(FormatNumber(c.n, c.numbering), c.label) << "style " << int(c.numbering) << ", n " << c.n;
}

}  // namespace

TEST(FormatNumber, EnglishOrdinalsAndWords) {
    using enum Numbering;
    ExpectLabels({
        {Ordinal, 1, u"1st"}, {Ordinal, 2, u"2nd"}, {Ordinal, 3, u"3rd"}, {Ordinal, 11, u"11th"},
        {Ordinal, 12, u"12th"}, {Ordinal, 13, u"13th"}, {Ordinal, 21, u"21st"}, {Ordinal, 102, u"102nd"},
        {Ordinal, 111, u"111th"},
        {CardinalText, 13, u"Thirteen"}, {CardinalText, 21, u"Twenty-One"},
        {CardinalText, 101, u"One Hundred One"}, {CardinalText, 12040, u"Twelve Thousand Forty"},
        {CardinalText, 1000000, u"1000000"},
        {OrdinalText, 1, u"First"}, {OrdinalText, 12, u"Twelfth"}, {OrdinalText, 20, u"Twentieth"},
        {OrdinalText, 21, u"Twenty-First"}, {OrdinalText, 100, u"One Hundredth"},
        {Hex, 31, u"1F"}, {Chicago, 4, u"§"}, {Chicago, 5, u"**"}, {Chicago, 10, u"†††"},
    });
}

TEST(FormatNumber, EastAsianCountingPlacesZerosAndOnes) {
    using enum Numbering;
    ExpectLabels({
        {ChineseCounting, 10, u"十"}, {ChineseCounting, 11, u"十一"}, {ChineseCounting, 20, u"二十"},
        {ChineseCounting, 101, u"一百零一"}, {ChineseCounting, 110, u"一百一十"},
        {ChineseCounting, 1010, u"一千零一十"}, {ChineseCounting, 10001, u"一万零一"},
        {ChineseCounting, 100000, u"十万"}, {TaiwaneseCounting, 10000, u"一萬"},
        {IdeographLegalTraditional, 10, u"壹拾"}, {IdeographLegalTraditional, 11, u"壹拾壹"},
        {IdeographLegalTraditional, 20, u"貳拾"}, {IdeographLegalTraditional, 101, u"壹佰零壹"},
        {ChineseLegalSimplified, 10, u"壹拾"}, {ChineseLegalSimplified, 1010, u"壹仟零壹拾"},
        {JapaneseCounting, 10, u"十"}, {JapaneseCounting, 111, u"百十一"}, {JapaneseCounting, 1001, u"千一"},
        {JapaneseCounting, 10000, u"10000"}, {JapaneseDigitalTenThousand, 11000, u"一万千"},
        {JapaneseLegal, 10, u"壱拾"}, {JapaneseLegal, 20, u"弐拾"}, {JapaneseLegal, 10000, u"壱萬"},
        {KoreanCounting, 10, u"십"}, {KoreanCounting, 21, u"이십일"}, {KoreanCounting, 100, u"백"},
        {KoreanLegal, 11, u"열하나"}, {KoreanLegal, 20, u"스물"}, {KoreanLegal, 99, u"아흔아홉"},
        {KoreanLegal, 100, u"100"},
        {IdeographDigital, 10, u"一〇"}, {IdeographDigital, 0, u"〇"}, {KoreanDigital, 10, u"일영"},
        {FullWidthDecimal, 105, u"１０５"}, {DecimalZero, 7, u"07"}, {DecimalZero, 10, u"10"},
    });
}

TEST(FormatNumber, SymbolSetsStartOverOrEndInDecimal) {
    using enum Numbering;
    ExpectLabels({
        {DecimalEnclosedCircle, 20, u"⑳"}, {DecimalEnclosedCircle, 21, u"21"},
        {DecimalEnclosedFullStop, 20, u"⒛"}, {DecimalEnclosedParen, 1, u"⑴"},
        {IdeographEnclosedCircle, 10, u"㊉"}, {IdeographEnclosedCircle, 11, u"11"},
        {IdeographTraditional, 10, u"癸"}, {IdeographTraditional, 11, u"11"},
        {IdeographZodiac, 12, u"亥"}, {IdeographZodiac, 13, u"13"},
        {IdeographZodiacTraditional, 11, u"甲戌"}, {IdeographZodiacTraditional, 60, u"癸亥"},
        {IdeographZodiacTraditional, 61, u"61"},
        {AiueoHalfWidth, 46, u"ﾝ"}, {AiueoHalfWidth, 47, u"ｱ"}, {AiueoFullWidth, 2, u"イ"},
        {IrohaHalfWidth, 25, u"ｲ"}, {IrohaHalfWidth, 48, u"ｲ"}, {IrohaFullWidth, 47, u"ス"},
        {Ganada, 15, u"가"}, {Chosung, 14, u"ㅎ"},
        {Hebrew1, 15, u"טו"}, {Hebrew1, 16, u"טז"}, {Hebrew1, 21, u"כא"}, {Hebrew1, 500, u"תק"},
        {Hebrew1, 1000, u"1000"}, {Hebrew2, 23, u"א"}, {ArabicAlpha, 3, u"ت"}, {ArabicAbjad, 3, u"ج"},
        {ArabicAbjad, 29, u"أ"},
    });
    // Counting from 0 or below writes decimal rather than indexing a set.
    for (int style = int(Ordinal); style <= int(ArabicAbjad); ++style) {
        EXPECT_EQ(FormatNumber(-5, Numbering(style)), u"-5") << "style " << style;
        const auto zero = FormatNumber(0, Numbering(style));
        EXPECT_TRUE(zero == u"0" || zero == u"00" || zero == u"〇" || zero == u"０" || zero == u"영") << "style " << style;
    }
}
