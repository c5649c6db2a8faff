// The model's few computed values.
#include "document.h"

#include <algorithm>
#include <cstdint>

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

}  // namespace

int Picture::DisplayWidth() const {
    const std::int64_t base = goalWidth > 0 ? goalWidth : NaturalTwips(*this, width);
    return Scaled(std::max<std::int64_t>(0, base - cropLeft - cropRight), scaleX);
}

int Picture::DisplayHeight() const {
    const std::int64_t base = goalHeight > 0 ? goalHeight : NaturalTwips(*this, height);
    return Scaled(std::max<std::int64_t>(0, base - cropTop - cropBottom), scaleY);
}

}  // namespace docengine
