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

// One axis: cropped (negative crops add a margin, as word processors allow; a crop that leaves
// nothing is ignored), then scaled (a scale of 0 or less is 100%), then clamped.
int CropAndScale(std::int64_t twips, int cropA, int cropB, int scalePercent) {
    const std::int64_t cropped = twips - cropA - cropB;
    if (cropped > 0) twips = cropped;
    const std::int64_t scale = scalePercent > 0 ? std::min(scalePercent, 10000) : 100;
    return static_cast<int>(std::clamp<std::int64_t>(twips * scale / 100, 0, Picture::kMaxPictureTwips));
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

Picture::Size Picture::DisplaySize() const {
    const std::int64_t ownW = NaturalTwips(*this, width), ownH = NaturalTwips(*this, height);
    std::int64_t w = goalWidth > 0 ? goalWidth : ownW;
    std::int64_t h = goalHeight > 0 ? goalHeight : ownH;
    if (goalWidth > 0 && goalHeight <= 0 && ownW > 0) h = ownH * goalWidth / ownW;
    if (goalHeight > 0 && goalWidth <= 0 && ownH > 0) w = ownW * goalHeight / ownH;
    return Size{CropAndScale(w, cropLeft, cropRight, scaleX), CropAndScale(h, cropTop, cropBottom, scaleY)};
}

}  // namespace docengine
