// GDI font metrics and face choice: see gdi_font_metrics.h.
#include "gdi_font_metrics.h"

#include <algorithm>
#include <cwctype>

namespace viewer {

namespace {

using docengine::Font;
using docengine::FontSpec;

std::wstring Wide(std::u16string_view s) { return std::wstring(s.begin(), s.end()); }

std::wstring Upper(std::wstring s) {
    for (wchar_t& c : s) c = static_cast<wchar_t>(std::towupper(c));
    return s;
}

// Only TrueType faces count as installed: Wine's PostScript printer driver fails on
// PostScript-flavoured OpenType faces (the URW Nimbus fonts), and a face the printer cannot
// draw would make the screen and the paper differ.
int CALLBACK CollectFace(const LOGFONTW* font, const TEXTMETRICW*, DWORD type, LPARAM set) {
    if (type & TRUETYPE_FONTTYPE) reinterpret_cast<std::set<std::wstring>*>(set)->insert(Upper(font->lfFaceName));
    return 1;
}

enum class FaceKind { Serif, Sans, WideSans, Fixed };

// Widespread faces by their kind, whatever family the file tags them with: writers tag faces
// they do not know as roman (a Calibri document would otherwise be set in a serif face).
// Matched as the start of the face's name ("CALIBRI LIGHT", "ARIAL NARROW"), first match wins.
struct KnownFace {
    const wchar_t* prefix;
    FaceKind kind;
};
constexpr KnownFace kKnownFaces[] = {
    {L"LUCIDA SANS TYPEWRITER", FaceKind::Fixed}, {L"COURIER", FaceKind::Fixed}, {L"CONSOLAS", FaceKind::Fixed},
    {L"LUCIDA CONSOLE", FaceKind::Fixed}, {L"MONACO", FaceKind::Fixed}, {L"MENLO", FaceKind::Fixed},
    {L"ANDALE MONO", FaceKind::Fixed}, {L"SOURCE CODE", FaceKind::Fixed}, {L"ROBOTO MONO", FaceKind::Fixed},
    {L"NOTO SANS MONO", FaceKind::Fixed}, {L"UBUNTU MONO", FaceKind::Fixed}, {L"FIRA MONO", FaceKind::Fixed},
    {L"FIRA CODE", FaceKind::Fixed}, {L"INCONSOLATA", FaceKind::Fixed},
    {L"MYRIAD", FaceKind::Sans}, {L"FRUTIGER", FaceKind::Sans}, {L"UNIVERS", FaceKind::Sans},
    {L"FUTURA", FaceKind::Sans}, {L"AVENIR", FaceKind::Sans}, {L"LATO", FaceKind::Sans},
    {L"SOURCE SANS", FaceKind::Sans}, {L"NOTO SANS", FaceKind::Sans}, {L"PT SANS", FaceKind::Sans},
    {L"UBUNTU", FaceKind::Sans}, {L"FIRA SANS", FaceKind::Sans}, {L"MS REFERENCE SANS", FaceKind::Sans},
    {L"CALIBRI", FaceKind::Sans}, {L"CANDARA", FaceKind::Sans}, {L"CORBEL", FaceKind::Sans},
    {L"SEGOE", FaceKind::Sans}, {L"VERDANA", FaceKind::WideSans}, {L"TAHOMA", FaceKind::Sans},
    {L"TREBUCHET", FaceKind::Sans}, {L"CENTURY GOTHIC", FaceKind::Sans}, {L"FRANKLIN GOTHIC", FaceKind::Sans},
    {L"GILL SANS", FaceKind::Sans}, {L"HELVETICA", FaceKind::Sans}, {L"ARIAL", FaceKind::Sans},
    {L"LUCIDA SANS", FaceKind::Sans}, {L"APTOS", FaceKind::Sans}, {L"OPEN SANS", FaceKind::Sans},
    {L"ROBOTO", FaceKind::Sans}, {L"MS SANS SERIF", FaceKind::Sans},
    {L"CAMBRIA", FaceKind::Serif}, {L"GEORGIA", FaceKind::Serif}, {L"GARAMOND", FaceKind::Serif},
    {L"BOOK ANTIQUA", FaceKind::Serif}, {L"PALATINO", FaceKind::Serif}, {L"CENTURY SCHOOLBOOK", FaceKind::Serif},
    {L"CONSTANTIA", FaceKind::Serif}, {L"BOOKMAN", FaceKind::Serif}, {L"TIMES", FaceKind::Serif},
    {L"MINION", FaceKind::Serif}, {L"BASKERVILLE", FaceKind::Serif}, {L"CALISTO", FaceKind::Serif},
    {L"CASLON", FaceKind::Serif}, {L"SABON", FaceKind::Serif}, {L"BODONI", FaceKind::Serif},
    {L"ROCKWELL", FaceKind::Serif}, {L"LINUX LIBERTINE", FaceKind::Serif}, {L"LINUX BIOLINUM", FaceKind::Sans},
};

// Faces drawn to the letter widths of a common Windows face, which lines then break like: the
// named face's stand-in wherever the face itself is not installed (Cambria is Word's default
// heading face since 2007). Carlito, Calibri's twin, is left out: its file names no glyphs, and
// Wine's PostScript driver then prints text that a PDF made from it cannot give back as text.
struct MetricTwin {
    const wchar_t* face;  // upper case, the whole name
    const wchar_t* twin;
};
constexpr MetricTwin kMetricTwins[] = {{L"CAMBRIA", L"Caladea"}};

// Installed faces that stand in for a family, in order of preference: the common Windows
// face, then the Liberation face of the same widths, then DejaVu. Verdana's letters are a
// good deal wider than Arial's; DejaVu Sans has nearly its widths, so its lines break alike.
const std::vector<std::wstring>& FamilyFaces(const FontSpec& font) {
    static const std::vector<std::wstring> serif{L"Times New Roman", L"Liberation Serif", L"DejaVu Serif"};
    static const std::vector<std::wstring> sans{L"Arial", L"Liberation Sans", L"DejaVu Sans", L"Tahoma"};
    static const std::vector<std::wstring> wideSans{L"DejaVu Sans", L"Arial", L"Liberation Sans", L"Tahoma"};
    static const std::vector<std::wstring> fixed{L"Courier New", L"Liberation Mono", L"DejaVu Sans Mono"};
    static const std::vector<std::wstring> symbol{L"Symbol", L"Wingdings", L"OpenSymbol", L"DejaVu Sans"};
    if (font.charset == SYMBOL_CHARSET) return symbol;
    const std::wstring name = Upper(Wide(font.face));
    for (const KnownFace& known : kKnownFaces) {
        if (name.rfind(known.prefix, 0) != 0) continue;
        switch (known.kind) {
        case FaceKind::Fixed: return fixed;
        case FaceKind::Sans: return sans;
        case FaceKind::WideSans: return wideSans;
        case FaceKind::Serif: return serif;
        }
    }
    if (font.pitch == 1 || font.family == Font::Family::Modern) return fixed;
    if (font.family == Font::Family::Roman) return serif;
    // A face named like a serif or fixed-pitch face but not installed keeps its kind.
    if (name.find(L"COURIER") != std::wstring::npos || name.find(L"MONO") != std::wstring::npos ||
        name.find(L"CONSOLAS") != std::wstring::npos) {
        return fixed;
    }
    if (name.find(L"TIMES") != std::wstring::npos || name.find(L"SERIF") != std::wstring::npos ||
        name.find(L"GEORGIA") != std::wstring::npos || name.find(L"CAMBRIA") != std::wstring::npos ||
        name.find(L"GARAMOND") != std::wstring::npos || name.find(L"ROMAN") != std::wstring::npos) {
        if (name.find(L"SANS") == std::wstring::npos) return serif;
    }
    return sans;
}

std::wstring SpecKey(const FontSpec& font) {
    return Wide(font.face) + L'|' + Wide(font.altFace) + L'|' + std::to_wstring(static_cast<int>(font.family)) +
           L'|' + std::to_wstring(font.pitch) + L'|' + std::to_wstring(font.charset) + L'|' +
           std::to_wstring(font.sizeTwips) + (font.bold ? L"b" : L"") + (font.italic ? L"i" : L"") + L'|' +
           std::to_wstring(font.scalePercent);
}

// The character starting at text[0] and how many UTF-16 units it takes.
std::pair<char32_t, std::size_t> FirstCharacter(std::u16string_view text) {
    const char16_t c = text[0];
    if (c >= 0xD800 && c < 0xDC00 && text.size() > 1 && text[1] >= 0xDC00 && text[1] < 0xE000) {
        return {0x10000 + ((char32_t{c} - 0xD800) << 10) + (char32_t{text[1]} - 0xDC00), 2};
    }
    return {c, 1};
}

// Characters drawn as nothing or as a space: they need no glyph.
bool NeedsNoGlyph(char32_t c) { return c < 0x20 || c == 0xA0 || c == 0xAD || (c >= 0x200B && c <= 0x200F); }

constexpr int kMaxMeasuredTwips = 32000;  // sizes above this are measured at this and scaled

}  // namespace

struct GdiFontMetrics::Measured {
    UniqueFont font;
    int scaleNumerator = 1, scaleDenominator = 1;  // measured size to the asked size
    docengine::VerticalMetrics vertical;
    std::unordered_map<char32_t, int> widths;
    std::unordered_map<char32_t, bool> glyphs;
};

GdiFontMetrics::GdiFontMetrics() : dc_(CreateCompatibleDC(nullptr)) {
    if (!dc_.Get()) ThrowLastError(L"Cannot create the context that measures text");
    SetMapMode(dc_.Get(), MM_TEXT);
    LOGFONTW all{};
    all.lfCharSet = DEFAULT_CHARSET;
    EnumFontFamiliesExW(dc_.Get(), &all, CollectFace, reinterpret_cast<LPARAM>(&installed_), 0);
    for (const wchar_t* face : {L"Arial Unicode MS", L"DejaVu Sans", L"Liberation Sans", L"Noto Sans",
                                L"Noto Sans CJK JP", L"Droid Sans Fallback", L"WenQuanYi Micro Hei",
                                L"Microsoft YaHei", L"MS Gothic", L"SimSun", L"Segoe UI Symbol", L"Symbol",
                                L"Tahoma", L"Wine Tahoma", L"Arial"}) {
        if (Installed(face)) fallbacks_.emplace_back(face);
    }
}

GdiFontMetrics::~GdiFontMetrics() = default;

bool GdiFontMetrics::Installed(const std::wstring& face) const {
    return !face.empty() && installed_.count(Upper(face)) > 0;
}

const std::wstring& GdiFontMetrics::Face(const FontSpec& font) {
    const std::wstring key = Wide(font.face) + L'|' + Wide(font.altFace) + L'|' +
                             std::to_wstring(static_cast<int>(font.family)) + L'|' + std::to_wstring(font.pitch) +
                             L'|' + std::to_wstring(font.charset);
    auto found = faceOfSpec_.find(key);
    if (found != faceOfSpec_.end()) return found->second;
    std::wstring face;
    if (Installed(Wide(font.face))) {
        face = Wide(font.face);
    } else if (Installed(Wide(font.altFace))) {
        face = Wide(font.altFace);
    } else {
        const std::wstring name = Upper(Wide(font.face));
        for (const MetricTwin& twin : kMetricTwins) {
            if (name == twin.face && Installed(twin.twin)) face = twin.twin;
        }
    }
    if (face.empty()) {
        for (const std::wstring& candidate : FamilyFaces(font)) {
            if (Installed(candidate)) {
                face = candidate;
                break;
            }
        }
        if (face.empty()) face = fallbacks_.empty() ? std::wstring(L"Arial") : fallbacks_.front();
    }
    return faceOfSpec_.emplace(key, face).first->second;
}

LOGFONTW GdiFontMetrics::LogFont(const FontSpec& font, const std::wstring& face, int height) {
    LOGFONTW lf{};
    lf.lfHeight = -std::max(height, 1);
    lf.lfWeight = font.bold ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = font.italic;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfOutPrecision = OUT_TT_PRECIS;
    lf.lfQuality = ANTIALIASED_QUALITY;
    lf.lfPitchAndFamily = DEFAULT_PITCH;
    lstrcpynW(lf.lfFaceName, face.c_str(), LF_FACESIZE);
    return lf;
}

UniqueFont GdiFontMetrics::CreateScaled(HDC dc, LOGFONTW lf, int scalePercent) {
    UniqueFont font(CreateFontIndirectW(&lf));
    if (scalePercent == 100 || !font) return font;
    TEXTMETRICW tm{};
    {
        SelectedObject selected(dc, font.Get());
        if (!GetTextMetricsW(dc, &tm) || tm.tmAveCharWidth <= 0) return font;
    }
    lf.lfWidth = std::max(1, MulDiv(tm.tmAveCharWidth, scalePercent, 100));
    UniqueFont scaled(CreateFontIndirectW(&lf));
    return scaled ? std::move(scaled) : std::move(font);
}

GdiFontMetrics::Measured& GdiFontMetrics::GetFace(const FontSpec& font, const std::wstring& face) {
    auto key = std::make_pair(SpecKey(font), face);
    auto found = fonts_.find(key);
    if (found != fonts_.end()) return *found->second;
    auto measured = std::make_unique<Measured>();
    const int size = std::max(font.sizeTwips, 1);
    const int measuredSize = std::min(size, kMaxMeasuredTwips);
    measured->scaleNumerator = size;
    measured->scaleDenominator = measuredSize;
    const LOGFONTW lf = LogFont(font, face, measuredSize);
    measured->font = CreateScaled(dc_.Get(), lf, font.scalePercent);
    if (measured->font) {
        SelectedObject selected(dc_.Get(), measured->font.Get());
        TEXTMETRICW tm{};
        if (GetTextMetricsW(dc_.Get(), &tm)) {
            measured->vertical.ascent = static_cast<int>(std::int64_t{tm.tmAscent} * size / measuredSize);
            measured->vertical.descent = static_cast<int>(std::int64_t{tm.tmDescent} * size / measuredSize);
            measured->vertical.lineGap = static_cast<int>(std::int64_t{tm.tmExternalLeading} * size / measuredSize);
        }
    }
    if (measured->vertical.ascent <= 0) {  // no font at all: keep lines a sensible height
        measured->vertical.ascent = size * 9 / 10;
        measured->vertical.descent = size * 2 / 10;
    }
    return *fonts_.emplace(std::move(key), std::move(measured)).first->second;
}

// Layout asks about the same font many times in a row: the last answer is kept at hand.
GdiFontMetrics::Measured& GdiFontMetrics::Get(const FontSpec& font) {
    if (last_ && font == lastSpec_) return *last_;
    Measured& measured = GetFace(font, Face(font));
    lastSpec_ = font;
    last_ = &measured;
    return measured;
}

docengine::VerticalMetrics GdiFontMetrics::Metrics(const FontSpec& font) { return Get(font).vertical; }

bool GdiFontMetrics::HasGlyph(Measured& measured, std::u16string_view character) {
    const auto [c, units] = FirstCharacter(character);
    if (NeedsNoGlyph(c)) return true;
    if (units > 1) return true;  // GDI maps supplementary characters itself
    auto found = measured.glyphs.find(c);
    if (found != measured.glyphs.end()) return found->second;
    bool has = false;
    if (measured.font) {
        SelectedObject selected(dc_.Get(), measured.font.Get());
        const wchar_t w = static_cast<wchar_t>(c);
        WORD index = 0xFFFF;
        has = GetGlyphIndicesW(dc_.Get(), &w, 1, &index, GGI_MARK_NONEXISTING_GLYPHS) != GDI_ERROR &&
              index != 0xFFFF;
    }
    measured.glyphs.emplace(c, has);
    return has;
}

const std::wstring& GdiFontMetrics::GlyphFace(const FontSpec& font, std::u16string_view text) {
    const std::wstring& primary = Face(font);
    if (text.empty() || HasGlyph(Get(font), text)) return primary;
    for (const std::wstring& face : fallbacks_) {
        if (face != primary && HasGlyph(GetFace(font, face), text)) return face;
    }
    return primary;
}

void GdiFontMetrics::Advances(const FontSpec& font, std::u16string_view text, std::vector<int>& advances) {
    Measured& primary = Get(font);
    std::size_t i = 0;
    while (i < text.size()) {
        const auto [c, units] = FirstCharacter(text.substr(i));
        Measured& measured =
            HasGlyph(primary, text.substr(i)) ? primary : GetFace(font, GlyphFace(font, text.substr(i)));
        int width = 0;
        auto found = measured.widths.find(c);
        if (found != measured.widths.end()) {
            width = found->second;
        } else {
            if (c >= 0x20 && measured.font) {
                SelectedObject selected(dc_.Get(), measured.font.Get());
                SIZE extent{};
                const wchar_t* start = reinterpret_cast<const wchar_t*>(text.data() + i);
                if (GetTextExtentPoint32W(dc_.Get(), start, static_cast<int>(units), &extent)) {
                    width = static_cast<int>(std::int64_t{extent.cx} * measured.scaleNumerator /
                                             measured.scaleDenominator);
                }
            }
            measured.widths.emplace(c, width);
        }
        advances.push_back(width);
        if (units == 2) advances.push_back(0);
        i += units;
    }
}

}  // namespace viewer
