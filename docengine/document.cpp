// The model's few computed values.
#include "document.h"

#include <algorithm>
#include <cstdint>
#include <string>
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

int Scaled(std::int64_t twips, int scalePercent) {
    if (scalePercent <= 0) scalePercent = 100;
    const std::int64_t value = twips * scalePercent / 100;
    return static_cast<int>(std::clamp<std::int64_t>(value, 0, 1 << 24));
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

}  // namespace

std::u16string FormatNumber(int n, Numbering numbering) {
    switch (numbering) {
        case Numbering::UpperRoman: return Roman(n, true);
        case Numbering::LowerRoman: return Roman(n, false);
        case Numbering::UpperLetter:
        case Numbering::LowerLetter: {
            // a..z, then aa..zz, as word processors count
            if (n <= 0) n = 1;
            const char16_t base = numbering == Numbering::UpperLetter ? u'A' : u'a';
            const int repeat = std::min((n - 1) / 26 + 1, 8);
            return std::u16string(static_cast<std::size_t>(repeat), char16_t(base + (n - 1) % 26));
        }
        case Numbering::Bullet: return u"\u2022";
        case Numbering::None: return u"";
        case Numbering::Decimal:
        default: {
            std::string digits = std::to_string(n);
            return std::u16string(digits.begin(), digits.end());
        }
    }
}

int Picture::DisplayWidth() const {
    const std::int64_t base = goalWidth > 0 ? goalWidth : NaturalTwips(*this, width);
    return Scaled(std::max<std::int64_t>(0, base - cropLeft - cropRight), scaleX);
}

int Picture::DisplayHeight() const {
    const std::int64_t base = goalHeight > 0 ? goalHeight : NaturalTwips(*this, height);
    return Scaled(std::max<std::int64_t>(0, base - cropTop - cropBottom), scaleY);
}

}  // namespace docengine
