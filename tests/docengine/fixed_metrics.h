// Font metrics for layout tests: every UTF-16 unit is half its font size wide (times its
// scale), ascent 0.8 em, descent 0.2 em. At the default 12 pt a character is 120 twips and a
// line 240.
#pragma once

#include "layout.h"

namespace docengine {

class FixedMetrics : public FontMetrics {
public:
    VerticalMetrics Metrics(const FontSpec& f) override { return {f.sizeTwips * 4 / 5, f.sizeTwips / 5}; }
    void Advances(const FontSpec& f, std::u16string_view text, std::vector<int>& out) override {
        ++calls;
        for (std::size_t i = 0; i < text.size(); ++i) out.push_back(f.sizeTwips / 2 * f.scalePercent / 100);
    }
    int calls = 0;  // how often text was measured
};

}  // namespace docengine
