// Font metrics for the page layout, measured with GDI, and the choice of installed faces
// that the renderer draws with.
//
// Text is measured on a private memory context with fonts whose em height is the size in
// twips (one logical unit = one twip): at that size hinting is negligible, so the widths do
// not depend on the screen's or the printer's resolution and every device draws the same
// lines. Widths are cached per font and character.
//
// Face choice, for a FontSpec: the document's face if it is installed, else its \falt face,
// else an installed face of the same kind (serif, sans, fixed pitch). A character the chosen
// face has no glyph for is measured and drawn with the first installed fallback face that
// has one, so that no character vanishes.
//
// Ownership: owns its memory context and every font it creates. Not thread-safe.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "com_util.h"
#include "docengine/layout.h"

namespace viewer {

class GdiFontMetrics final : public docengine::FontMetrics {
public:
    GdiFontMetrics();
    GdiFontMetrics(const GdiFontMetrics&) = delete;
    GdiFontMetrics& operator=(const GdiFontMetrics&) = delete;
    ~GdiFontMetrics() override;

    docengine::VerticalMetrics Metrics(const docengine::FontSpec& font) override;
    void Advances(const docengine::FontSpec& font, std::u16string_view text, std::vector<int>& advances) override;

    // The installed face `font` is drawn with.
    const std::wstring& Face(const docengine::FontSpec& font);
    // The installed face that draws the character starting at text[0] (a surrogate pair
    // counts as one character): Face(font) when it has the glyph, else a fallback face that
    // has it, else Face(font).
    const std::wstring& GlyphFace(const docengine::FontSpec& font, std::u16string_view text);

    // A logical font for `font` in `face`, `height` device units high (the em height).
    static LOGFONTW LogFont(const docengine::FontSpec& font, const std::wstring& face, int height);
    // The font `lf` describes, its letters `scalePercent` of their normal width (GDI narrows
    // or widens a font by its average character width, asked of the plain font on `dc`).
    static UniqueFont CreateScaled(HDC dc, LOGFONTW lf, int scalePercent);

    bool Installed(const std::wstring& face) const;

private:
    struct Measured;
    Measured& Get(const docengine::FontSpec& font);
    Measured& GetFace(const docengine::FontSpec& font, const std::wstring& face);
    bool HasGlyph(Measured& measured, std::u16string_view character);

    UniqueDc dc_;
    std::set<std::wstring> installed_;  // upper-cased face names
    std::vector<std::wstring> fallbacks_;  // installed faces with wide coverage, in order of preference
    std::map<std::pair<std::wstring, std::wstring>, std::unique_ptr<Measured>> fonts_;  // (spec key, face)
    std::map<std::wstring, std::wstring> faceOfSpec_;
    docengine::FontSpec lastSpec_;
    Measured* last_ = nullptr;
};

}  // namespace viewer
