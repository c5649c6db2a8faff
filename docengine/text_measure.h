// Fonts and text measurement for the page layout. Resolves a run's character format to one of
// the layout's fonts (Layout::fonts, each face, size and style once) and caches what the
// FontMetrics reports: the vertical metrics of each font and the advance of each character, so
// that the platform is asked about every (font, character) pair once, however long the
// document. Owned by one layout run; not thread-safe.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "layout.h"

namespace docengine::detail {

inline constexpr int kMinFontTwips = 20;     // 1 pt
inline constexpr int kMaxFontTwips = 32760;  // 1638 pt, the largest size word processors allow

// The em height of a format's font in twips, clamped to the sizes above.
int FontSizeTwips(const CharFormat& format);

class TextMeasure {
public:
    // `fonts` is the layout's font list; fonts are appended to it as runs need them.
    TextMeasure(const Document& document, FontMetrics& metrics, std::vector<FontSpec>& fonts);

    // The layout font for `format` at `sizeTwips` (which super/subscript make smaller).
    int Font(const CharFormat& format, int sizeTwips);
    const FontSpec& Spec(int font) const { return fonts_[font]; }
    const VerticalMetrics& Vertical(int font);
    // Writes the advance of each unit of `text` to out[0 .. text.size()); the second unit of a
    // surrogate pair gets 0.
    void Advances(int font, std::u16string_view text, int* out);
    int Width(int font, std::u16string_view text);

private:
    static constexpr int kUnknown = -1;
    struct Cache {
        bool haveVertical = false;
        VerticalMetrics vertical;
        std::vector<std::unique_ptr<int[]>> blocks;  // 256 blocks of 256 BMP advances, on demand
        std::unordered_map<char32_t, int> astral;    // advances of characters beyond the BMP
    };
    int& Slot(Cache& cache, char16_t unit);
    int Clamp(int advance, int font) const;

    const Document& document_;
    FontMetrics& metrics_;
    std::vector<FontSpec>& fonts_;
    std::vector<Cache> caches_;  // one per font
    std::unordered_map<std::uint64_t, int> byFormat_;
    std::unordered_map<std::u16string, std::vector<int>> byFace_;  // fonts of each face
    std::u16string missing_;
    std::vector<int> measured_;
};

}  // namespace docengine::detail
