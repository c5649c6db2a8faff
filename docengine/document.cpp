// The model's few computed values: numbers written in each numbering style, a picture's size.
#include "document.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace docengine {
namespace {

// Twips of the picture's own extent along one axis: pixels at 96 dpi for bitmaps, HIMETRIC
// (0.01 mm) for metafiles.
std::int64_t NaturalTwips(const Picture& picture, int extent) {
    if (extent <= 0) return 0;
    if (picture.kind == Picture::Kind::Emf || picture.kind == Picture::Kind::Wmf) {
        return std::int64_t{extent} * 1440 / 2540;
    }
    return std::int64_t{extent} * 15;
}

// One axis: cropped (negative crops add a margin, as word processors allow; a crop that leaves
// nothing is ignored), then scaled (a scale of 0 or less is 100%), then clamped.
int CropAndScale(std::int64_t twips, int cropA, int cropB, int scalePercent) {
    const std::int64_t cropped = twips - cropA - cropB;
    if (cropped > 0) twips = cropped;
    const std::int64_t scale = scalePercent > 0 ? std::min(scalePercent, 10000) : 100;
    return static_cast<int>(std::clamp<std::int64_t>(twips * scale / 100, 0, Picture::kMaxPictureTwips));
}

std::u16string Decimal(int n) {
    const std::string digits = std::to_string(n);
    return std::u16string(digits.begin(), digits.end());
}

std::u16string Roman(int n, bool upper) {
    if (n <= 0 || n >= 4000) return std::u16string(1, u'0' + (n % 10 + 10) % 10);
    static const std::pair<int, const char*> parts[] = {
        {1000, "m"}, {900, "cm"}, {500, "d"}, {400, "cd"}, {100, "c"}, {90, "xc"}, {50, "l"},
        {40, "xl"}, {10, "x"}, {9, "ix"}, {5, "v"}, {4, "iv"}, {1, "i"}};
    std::u16string out;
    for (const auto& [value, text] : parts) {
        while (n >= value) {
            for (const char* p = text; *p; ++p) out.push_back(char16_t(upper ? *p - 32 : *p));
            n -= value;
        }
    }
    return out;
}

// One symbol, doubled, tripled ... each time the count goes round the set: a..z, aa..zz (as
// word processors count letters); at most 8 times.
std::u16string Repeated(int n, std::u16string_view symbols) {
    if (n <= 0) n = 1;
    const auto size = static_cast<int>(symbols.size());
    const int repeat = std::min((n - 1) / size + 1, 8);
    return std::u16string(static_cast<std::size_t>(repeat), symbols[static_cast<std::size_t>((n - 1) % size)]);
}

// One symbol, starting over after the last.
std::u16string Cycled(int n, std::u16string_view symbols) {
    if (n <= 0) return Decimal(n);
    return std::u16string(1, symbols[static_cast<std::size_t>(n - 1) % symbols.size()]);
}

// The nth symbol of a closed set, then decimal.
std::u16string FromClosedSet(int n, std::u16string_view symbols) {
    if (n <= 0 || static_cast<std::size_t>(n) > symbols.size()) return Decimal(n);
    return std::u16string(1, symbols[static_cast<std::size_t>(n - 1)]);
}

// Each decimal digit as its symbol (digits[0] for 0): 10 -> 一〇.
std::u16string DigitByDigit(int n, std::u16string_view digits) {
    std::u16string out = Decimal(n);
    if (n < 0) return out;
    for (auto& c : out) c = digits[static_cast<std::size_t>(c - u'0')];
    return out;
}

std::u16string Hex(int n) {
    if (n <= 0) return Decimal(n);
    std::u16string out;
    for (; n > 0; n /= 16) out.insert(out.begin(), u"0123456789ABCDEF"[n % 16]);
    return out;
}

std::u16string Ordinal(int n) {
    std::u16string out = Decimal(n);
    if (n <= 0) return out;
    const int units = n % 10, tens = n % 100;
    const char16_t* suffix = tens >= 11 && tens <= 13 ? u"th"
                             : units == 1             ? u"st"
                             : units == 2             ? u"nd"
                             : units == 3             ? u"rd"
                                                      : u"th";
    return out + suffix;
}

// 1..999,999 in English words, each word capitalized, hundreds without "and":
// 21 -> "Twenty-One", 101 -> "One Hundred One".
std::string CardinalWords(int n) {
    static constexpr std::string_view kOnes[] = {
        "", "One", "Two", "Three", "Four", "Five", "Six", "Seven", "Eight", "Nine", "Ten", "Eleven",
        "Twelve", "Thirteen", "Fourteen", "Fifteen", "Sixteen", "Seventeen", "Eighteen", "Nineteen"};
    static constexpr std::string_view kTens[] = {
        "", "", "Twenty", "Thirty", "Forty", "Fifty", "Sixty", "Seventy", "Eighty", "Ninety"};
    std::string out;
    const auto below1000 = [&out](int v) {
        if (v == 0) return;
        if (!out.empty()) out += ' ';
        if (v >= 100) {
            out.append(kOnes[v / 100]).append(" Hundred");
            v %= 100;
            if (v > 0) out += ' ';
        }
        if (v >= 20) {
            out += kTens[v / 10];
            if (v % 10 > 0) out.append("-").append(kOnes[v % 10]);
        } else {
            out += kOnes[v];
        }
    };
    if (n >= 1000) {
        below1000(n / 1000);
        out += " Thousand";
    }
    below1000(n % 1000);
    return out;
}

// The cardinal words with the last one made ordinal: Twenty-One -> Twenty-First.
std::string OrdinalWords(std::string words) {
    static constexpr std::pair<std::string_view, std::string_view> kIrregular[] = {
        {"One", "First"}, {"Two", "Second"}, {"Three", "Third"}, {"Five", "Fifth"},
        {"Eight", "Eighth"}, {"Nine", "Ninth"}, {"Twelve", "Twelfth"}};
    const std::size_t last = words.find_last_of(" -") + 1;  // 0 when there is one word
    for (const auto& [cardinal, ordinal] : kIrregular) {
        if (std::string_view(words).substr(last) == cardinal) return words.replace(last, std::string::npos, ordinal);
    }
    if (words.back() == 'y') {
        words.pop_back();
        return words + "ieth";
    }
    return words + "th";
}

std::u16string EnglishText(int n, bool ordinal) {
    if (n <= 0 || n > 999999) return Decimal(n);
    const std::string words = ordinal ? OrdinalWords(CardinalWords(n)) : CardinalWords(n);
    return std::u16string(words.begin(), words.end());
}

// Numbers as East Asian languages count: digits with the place units between them (二十一).
struct Counting {
    enum class One : std::uint8_t {
        Written,              // 壱拾 for 10
        NotBeforeLeadingTen,  // 十 for 10 and 十一 for 11, but 一百一十 for 110
        NotBeforeUnits,       // 十 百 千 for 10, 100, 1000
    };
    std::u16string_view digits;  // 1..9
    std::u16string_view units;   // ten, hundred, thousand
    char16_t myriad;             // ten thousand; 0: the system stops at 9,999
    char16_t zero;               // written once for skipped places (一百零一); 0: they are left out (百一)
    One one;
};

constexpr Counting kJapaneseCounting{u"一二三四五六七八九", u"十百千", 0, 0, Counting::One::NotBeforeUnits};
constexpr Counting kJapaneseLegal{u"壱弐参四伍六七八九", u"拾百阡", u'萬', 0, Counting::One::Written};
constexpr Counting kJapaneseTenThousand{u"一二三四五六七八九", u"十百千", u'万', 0, Counting::One::NotBeforeUnits};
constexpr Counting kTaiwanese{u"一二三四五六七八九", u"十百千", u'萬', u'零', Counting::One::NotBeforeLeadingTen};
constexpr Counting kLegalTraditional{u"壹貳參肆伍陸柒捌玖", u"拾佰仟", u'萬', u'零', Counting::One::Written};
constexpr Counting kChinese{u"一二三四五六七八九", u"十百千", u'万', u'零', Counting::One::NotBeforeLeadingTen};
constexpr Counting kLegalSimplified{u"壹贰叁肆伍陆柒捌玖", u"拾佰仟", u'万', u'零', Counting::One::Written};
constexpr Counting kKorean{u"일이삼사오육칠팔구", u"십백천", u'만', 0, Counting::One::NotBeforeUnits};

// Appends 1..9999; `leading`: nothing is written before it.
void CountGroup(int group, const Counting& system, bool leading, std::u16string& out) {
    bool started = false, skipped = false;
    for (int place = 3, scale = 1000; place >= 0; --place, scale /= 10) {
        const int digit = group / scale % 10;
        if (digit == 0) {
            skipped = started;
            continue;
        }
        if (skipped && system.zero != 0) out += system.zero;
        skipped = false;
        const bool bareUnit = digit == 1 && place > 0 &&
                              (system.one == Counting::One::NotBeforeUnits ||
                               (system.one == Counting::One::NotBeforeLeadingTen && place == 1 && leading && !started));
        if (!bareUnit) out += system.digits[static_cast<std::size_t>(digit - 1)];
        if (place > 0) out += system.units[static_cast<std::size_t>(place - 1)];
        started = true;
    }
}

std::u16string Counted(int n, const Counting& system) {
    if (n <= 0 || n >= (system.myriad != 0 ? 100000000 : 10000)) return Decimal(n);
    std::u16string out;
    const int high = n / 10000, low = n % 10000;
    if (high > 0) {
        CountGroup(high, system, true, out);
        out += system.myriad;
        if (system.zero != 0 && low > 0 && low < 1000) out += system.zero;  // 一万零一
    }
    if (low > 0) CountGroup(low, system, high == 0, out);
    return out;
}

// Korean native numbers, 1..99: 열하나 for 11, 스물 for 20.
std::u16string KoreanNative(int n) {
    static constexpr std::u16string_view kOnes[] = {
        u"", u"하나", u"둘", u"셋", u"넷", u"다섯", u"여섯", u"일곱", u"여덟", u"아홉"};
    static constexpr std::u16string_view kTens[] = {
        u"", u"열", u"스물", u"서른", u"마흔", u"쉰", u"예순", u"일흔", u"여든", u"아흔"};
    if (n <= 0 || n > 99) return Decimal(n);
    return std::u16string(kTens[n / 10]) + std::u16string(kOnes[n % 10]);
}

// Hebrew letters as numerals, 1..999: hundreds, tens, units (קכג for 123), 15 and 16 as ט+ו and
// ט+ז rather than י+ה and י+ו, and hundreds past 400 built on ת (תק for 500).
std::u16string HebrewNumeral(int n) {
    static constexpr std::u16string_view kUnits = u"אבגדהוזחט", kTens = u"יכלמנסעפצ", kHundreds = u"קרשת";
    if (n <= 0 || n > 999) return Decimal(n);
    std::u16string out;
    int hundreds = n / 100;
    for (; hundreds > 4; hundreds -= 4) out += kHundreds[3];
    if (hundreds > 0) out += kHundreds[static_cast<std::size_t>(hundreds - 1)];
    const int rest = n % 100;
    if (rest == 15 || rest == 16) return out + kUnits[8] + kUnits[static_cast<std::size_t>(rest - 10)];
    if (rest >= 10) out += kTens[static_cast<std::size_t>(rest / 10 - 1)];
    if (rest % 10 > 0) out += kUnits[static_cast<std::size_t>(rest % 10 - 1)];
    return out;
}

constexpr std::u16string_view kIdeographDigits = u"〇一二三四五六七八九";
constexpr std::u16string_view kHeavenlyStems = u"甲乙丙丁戊己庚辛壬癸";
constexpr std::u16string_view kEarthlyBranches = u"子丑寅卯辰巳午未申酉戌亥";

}  // namespace

std::u16string FormatNumber(int n, Numbering numbering) {
    switch (numbering) {
        case Numbering::UpperRoman: return Roman(n, true);
        case Numbering::LowerRoman: return Roman(n, false);
        case Numbering::UpperLetter: return Repeated(n, u"ABCDEFGHIJKLMNOPQRSTUVWXYZ");
        case Numbering::LowerLetter: return Repeated(n, u"abcdefghijklmnopqrstuvwxyz");
        case Numbering::Bullet: return u"\u2022";
        case Numbering::None: return u"";
        case Numbering::Ordinal: return Ordinal(n);
        case Numbering::CardinalText: return EnglishText(n, false);
        case Numbering::OrdinalText: return EnglishText(n, true);
        case Numbering::Hex: return Hex(n);
        case Numbering::Chicago: return n <= 0 ? Decimal(n) : Repeated(n, u"*\u2020\u2021\u00A7");
        case Numbering::DecimalZero: return n >= 0 && n < 10 ? u"0" + Decimal(n) : Decimal(n);
        case Numbering::FullWidthDecimal: return DigitByDigit(n, u"０１２３４５６７８９");
        case Numbering::DecimalEnclosedCircle: return FromClosedSet(n, u"①②③④⑤⑥⑦⑧⑨⑩⑪⑫⑬⑭⑮⑯⑰⑱⑲⑳");
        case Numbering::DecimalEnclosedFullStop: return FromClosedSet(n, u"⒈⒉⒊⒋⒌⒍⒎⒏⒐⒑⒒⒓⒔⒕⒖⒗⒘⒙⒚⒛");
        case Numbering::DecimalEnclosedParen: return FromClosedSet(n, u"⑴⑵⑶⑷⑸⑹⑺⑻⑼⑽⑾⑿⒀⒁⒂⒃⒄⒅⒆⒇");
        case Numbering::IdeographEnclosedCircle: return FromClosedSet(n, u"㊀㊁㊂㊃㊄㊅㊆㊇㊈㊉");
        case Numbering::IdeographDigital: return DigitByDigit(n, kIdeographDigits);
        case Numbering::KoreanDigital: return DigitByDigit(n, u"영일이삼사오육칠팔구");
        case Numbering::JapaneseCounting: return Counted(n, kJapaneseCounting);
        case Numbering::JapaneseLegal: return Counted(n, kJapaneseLegal);
        case Numbering::JapaneseDigitalTenThousand: return Counted(n, kJapaneseTenThousand);
        case Numbering::TaiwaneseCounting: return Counted(n, kTaiwanese);
        case Numbering::IdeographLegalTraditional: return Counted(n, kLegalTraditional);
        case Numbering::ChineseCounting: return Counted(n, kChinese);
        case Numbering::ChineseLegalSimplified: return Counted(n, kLegalSimplified);
        case Numbering::KoreanCounting: return Counted(n, kKorean);
        case Numbering::KoreanLegal: return KoreanNative(n);
        case Numbering::AiueoHalfWidth:
            return Cycled(n, u"ｱｲｳｴｵｶｷｸｹｺｻｼｽｾｿﾀﾁﾂﾃﾄﾅﾆﾇﾈﾉﾊﾋﾌﾍﾎﾏﾐﾑﾒﾓﾔﾕﾖﾗﾘﾙﾚﾛﾜｦﾝ");
        case Numbering::AiueoFullWidth:
            return Cycled(n, u"アイウエオカキクケコサシスセソタチツテトナニヌネノハヒフヘホマミムメモヤユヨラリルレロワヲン");
        case Numbering::IrohaHalfWidth:  // half-width kana have no ヰ and ヱ: ｲ and ｴ stand in
            return Cycled(n, u"ｲﾛﾊﾆﾎﾍﾄﾁﾘﾇﾙｦﾜｶﾖﾀﾚｿﾂﾈﾅﾗﾑｳｲﾉｵｸﾔﾏｹﾌｺｴﾃｱｻｷﾕﾒﾐｼｴﾋﾓｾｽ");
        case Numbering::IrohaFullWidth:
            return Cycled(n, u"イロハニホヘトチリヌルヲワカヨタレソツネナラムウヰノオクヤマケフコエテアサキユメミシヱヒモセス");
        case Numbering::Ganada: return Cycled(n, u"가나다라마바사아자차카타파하");
        case Numbering::Chosung: return Cycled(n, u"ㄱㄴㄷㄹㅁㅂㅅㅇㅈㅊㅋㅌㅍㅎ");
        case Numbering::IdeographTraditional: return FromClosedSet(n, kHeavenlyStems);
        case Numbering::IdeographZodiac: return FromClosedSet(n, kEarthlyBranches);
        case Numbering::IdeographZodiacTraditional:
            if (n <= 0 || n > 60) return Decimal(n);
            return {kHeavenlyStems[static_cast<std::size_t>(n - 1) % 10], kEarthlyBranches[static_cast<std::size_t>(n - 1) % 12]};
        case Numbering::Hebrew1: return HebrewNumeral(n);
        case Numbering::Hebrew2: return Cycled(n, u"אבגדהוזחטיכלמנסעפצקרשת");
        case Numbering::ArabicAlpha: return Cycled(n, u"أبتثجحخدذرزسشصضطظعغفقكلمنهوي");
        case Numbering::ArabicAbjad: return Cycled(n, u"أبجدهوزحطيكلمنسعفصقرشتثخذضظغ");
        case Numbering::Decimal:
        default: return Decimal(n);
    }
}

Picture::Size Picture::DisplaySize() const {
    const std::int64_t ownW = NaturalTwips(*this, width), ownH = NaturalTwips(*this, height);
    std::int64_t w = goalWidth > 0 ? goalWidth : ownW;
    std::int64_t h = goalHeight > 0 ? goalHeight : ownH;
    if (goalWidth > 0 && goalHeight <= 0 && ownW > 0) h = ownH * goalWidth / ownW;
    if (goalHeight > 0 && goalWidth <= 0 && ownH > 0) w = ownW * goalHeight / ownH;
    return Size{CropAndScale(w, cropLeft, cropRight, scaleX), CropAndScale(h, cropTop, cropBottom, scaleY)};
}

}  // namespace docengine
