// Font resolution and the measurement cache (see text_measure.h).
#include "text_measure.h"

#include <algorithm>

namespace docengine::detail {
namespace {

bool IsHigh(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLow(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

int FontSizeTwips(const CharFormat& format) {
    return std::clamp(format.sizeHalfPoints, kMinFontTwips / 10, kMaxFontTwips / 10) * 10;
}

TextMeasure::TextMeasure(const Document& document, FontMetrics& metrics, std::vector<FontSpec>& fonts)
    : document_(document), metrics_(metrics), fonts_(fonts) {
    caches_.resize(fonts_.size());
}

int TextMeasure::Font(const CharFormat& format, int sizeTwips) {
    sizeTwips = std::clamp(sizeTwips, kMinFontTwips, kMaxFontTwips);
    int index = format.font;
    if (index < 0 || static_cast<std::size_t>(index) >= document_.fonts.size()) index = document_.defaultFont;
    if (index < 0 || static_cast<std::size_t>(index) >= document_.fonts.size()) index = -1;
    const int scale = std::clamp(format.scalePercent, 1, 1000);
    const std::uint64_t key = (static_cast<std::uint64_t>(static_cast<std::uint32_t>(index + 1)) << 32) |
                              (static_cast<std::uint64_t>(scale) << 18) |
                              (static_cast<std::uint64_t>(sizeTwips) << 2) | (format.bold ? 2u : 0u) |
                              (format.italic ? 1u : 0u);
    if (auto it = byFormat_.find(key); it != byFormat_.end()) return it->second;

    // Text in no font of the document's (a file without a font table): Times New Roman, as word
    // processors show such text.
    static const docengine::Font kNoFont{u"Times New Roman", {}, docengine::Font::Family::Roman};
    const docengine::Font& font = index >= 0 ? document_.fonts[index] : kNoFont;
    FontSpec resolved;
    resolved.face = font.name.empty() ? kNoFont.name : font.name;
    resolved.altFace = font.altName;
    resolved.family = font.family;
    resolved.pitch = font.pitch;
    resolved.charset = font.charset;
    resolved.sizeTwips = sizeTwips;
    resolved.bold = format.bold;
    resolved.italic = format.italic;
    resolved.scalePercent = scale;
    // Formats that differ only in what the font list does not hold share one entry.
    std::vector<int>& sameFace = byFace_[resolved.face];
    auto same = std::find_if(sameFace.begin(), sameFace.end(), [&](int f) { return fonts_[f] == resolved; });
    int result = same != sameFace.end() ? *same : static_cast<int>(fonts_.size());
    if (same == sameFace.end()) {
        sameFace.push_back(result);
        fonts_.push_back(std::move(resolved));
        caches_.emplace_back();
    }
    byFormat_.emplace(key, result);
    return result;
}

const VerticalMetrics& TextMeasure::Vertical(int font) {
    Cache& cache = caches_[font];
    if (!cache.haveVertical) {
        const int size = fonts_[font].sizeTwips;
        VerticalMetrics m = metrics_.Metrics(fonts_[font]);
        // A broken font must not make lines of absurd height.
        m.ascent = std::clamp(m.ascent, 0, 4 * size);
        m.descent = std::clamp(m.descent, 0, 4 * size);
        m.lineGap = std::clamp(m.lineGap, 0, size);
        if (m.ascent + m.descent == 0) {
            m.ascent = size * 4 / 5;
            m.descent = size - m.ascent;
        }
        cache.vertical = m;
        cache.haveVertical = true;
    }
    return cache.vertical;
}

int& TextMeasure::Slot(Cache& cache, char16_t unit) {
    if (cache.blocks.empty()) cache.blocks.resize(256);
    auto& block = cache.blocks[unit >> 8];
    if (!block) {
        block = std::make_unique<int[]>(256);
        std::fill_n(block.get(), 256, kUnknown);
    }
    return block[unit & 0xFF];
}

int TextMeasure::Clamp(int advance, int font) const {
    return std::clamp(advance, 0, 4 * fonts_[font].sizeTwips);
}

void TextMeasure::Advances(int font, std::u16string_view text, int* out) {
    Cache& cache = caches_[font];
    // First pass: what is cached; the missing BMP units are collected once each.
    missing_.clear();
    constexpr int kQueued = -2;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (IsHigh(c) && i + 1 < text.size() && IsLow(text[i + 1])) {
            const char32_t cp = 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            auto it = cache.astral.find(cp);
            if (it == cache.astral.end()) {
                measured_.clear();
                metrics_.Advances(fonts_[font], text.substr(i, 2), measured_);
                it = cache.astral.emplace(cp, Clamp(measured_.empty() ? 0 : measured_[0], font)).first;
            }
            out[i] = it->second;
            out[i + 1] = 0;
            ++i;
            continue;
        }
        int& slot = Slot(cache, c);
        if (slot == kUnknown) {
            slot = kQueued;
            missing_.push_back(c);
        }
    }
    if (!missing_.empty()) {
        measured_.clear();
        metrics_.Advances(fonts_[font], missing_, measured_);
        for (std::size_t k = 0; k < missing_.size(); ++k)
            Slot(cache, missing_[k]) = Clamp(k < measured_.size() ? measured_[k] : 0, font);
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (IsHigh(c) && i + 1 < text.size() && IsLow(text[i + 1])) {
            ++i;
            continue;
        }
        out[i] = Slot(cache, c);
    }
}

int TextMeasure::Width(int font, std::u16string_view text) {
    std::vector<int> advances(text.size());
    Advances(font, text, advances.data());
    int width = 0;
    for (int a : advances) width += a;
    return width;
}

}  // namespace docengine::detail
