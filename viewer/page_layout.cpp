// GDI page layout of the view's text: see page_layout.h.
#include "page_layout.h"

#include <richedit.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <map>
#include <tuple>

namespace viewer {

namespace {

CHARFORMAT2W FormatOf(HWND hwnd, LONG from, LONG to) {
    CHARRANGE range{from, to};
    SendMessageW(hwnd, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
    CHARFORMAT2W format{};
    format.cbSize = sizeof format;
    SendMessageW(hwnd, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    return format;
}

constexpr DWORD kRunMask = CFM_FACE | CFM_SIZE | CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE |
                           CFM_STRIKEOUT | CFM_COLOR;

TextRun RunFrom(const CHARFORMAT2W& f) {
    TextRun run;
    if (f.szFaceName[0]) run.face = f.szFaceName;
    if (f.yHeight > 0) run.heightTwips = f.yHeight;
    run.bold = (f.dwEffects & CFE_BOLD) != 0;
    run.italic = (f.dwEffects & CFE_ITALIC) != 0;
    run.underline = (f.dwEffects & CFE_UNDERLINE) != 0;
    run.strike = (f.dwEffects & CFE_STRIKEOUT) != 0;
    run.color = (f.dwEffects & CFE_AUTOCOLOR) ? RGB(0, 0, 0) : f.crTextColor;
    return run;
}

bool SameFormat(const TextRun& a, const TextRun& b) {
    return std::tie(a.face, a.heightTwips, a.bold, a.italic, a.underline, a.strike, a.color) ==
           std::tie(b.face, b.heightTwips, b.bold, b.italic, b.underline, b.strike, b.color);
}

void Append(Paragraph& paragraph, const TextRun& format, std::wstring_view text) {
    if (!paragraph.runs.empty() && SameFormat(paragraph.runs.back(), format)) {
        paragraph.runs.back().text += text;
        return;
    }
    TextRun run = format;
    run.text = text;
    paragraph.runs.push_back(std::move(run));
}

}  // namespace

Document ReadDocument(HWND hwnd) {
    GETTEXTLENGTHEX lengthQuery{GTL_NUMCHARS | GTL_PRECISE, 1200};
    const LONG length = static_cast<LONG>(
        SendMessageW(hwnd, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&lengthQuery), 0));
    std::wstring text(static_cast<std::size_t>(std::max<LONG>(length, 0)) + 1, L'\0');
    TEXTRANGEW range{{0, length}, text.data()};
    text.resize(static_cast<std::size_t>(
        SendMessageW(hwnd, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range))));

    CHARRANGE saved{};
    SendMessageW(hwnd, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&saved));
    POINT scroll{};
    SendMessageW(hwnd, EM_GETSCROLLPOS, 0, reinterpret_cast<LPARAM>(&scroll));
    SendMessageW(hwnd, WM_SETREDRAW, FALSE, 0);

    Document document;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find_first_of(L"\r\n\f", start);
        if (end == std::wstring::npos) end = text.size();
        Paragraph paragraph;
        PARAFORMAT2 para{};
        para.cbSize = sizeof para;
        CHARRANGE at{static_cast<LONG>(start), static_cast<LONG>(start)};
        SendMessageW(hwnd, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&at));
        SendMessageW(hwnd, EM_GETPARAFORMAT, 0, reinterpret_cast<LPARAM>(&para));
        paragraph.alignment = para.wAlignment ? para.wAlignment : PFA_LEFT;
        paragraph.spaceBefore = para.dySpaceBefore;
        paragraph.spaceAfter = para.dySpaceAfter;
        paragraph.startIndent = para.dxStartIndent;
        paragraph.rightIndent = para.dxRightIndent;
        paragraph.offset = para.dxOffset;
        paragraph.pageBreakBefore = (para.wEffects & PFE_PAGEBREAKBEFORE) != 0;

        // Runs: a word at a time when its format is uniform, else a character at a time.
        std::size_t i = start;
        while (i < end) {
            std::size_t wordEnd = text.find(L' ', i);
            wordEnd = wordEnd == std::wstring::npos || wordEnd >= end ? end : wordEnd + 1;
            const CHARFORMAT2W word = FormatOf(hwnd, static_cast<LONG>(i), static_cast<LONG>(wordEnd));
            if ((word.dwMask & kRunMask) == kRunMask) {
                Append(paragraph, RunFrom(word), std::wstring_view(text).substr(i, wordEnd - i));
            } else {
                for (std::size_t c = i; c < wordEnd; ++c) {
                    Append(paragraph, RunFrom(FormatOf(hwnd, static_cast<LONG>(c), static_cast<LONG>(c + 1))),
                           std::wstring_view(text).substr(c, 1));
                }
            }
            i = wordEnd;
        }
        if (paragraph.runs.empty()) {  // an empty paragraph takes the height of its mark
            paragraph.runs.push_back(
                RunFrom(FormatOf(hwnd, static_cast<LONG>(end), static_cast<LONG>(end + 1))));
        }
        document.push_back(std::move(paragraph));
        if (end >= text.size()) break;
        start = end + 1;
        if (text[end] == L'\f') {
            Paragraph pageBreak;
            pageBreak.pageBreakBefore = true;
            document.push_back(std::move(pageBreak));
        }
    }

    SendMessageW(hwnd, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&saved));
    SendMessageW(hwnd, EM_SETSCROLLPOS, 0, reinterpret_cast<LPARAM>(&scroll));
    SendMessageW(hwnd, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(hwnd, nullptr, TRUE);
    return document;
}

namespace {

// Fonts made for one context, keyed by their LOGFONT, deleted with the cache.
class FontCache {
public:
    explicit FontCache(HDC dc) : dc_(dc), original_(GetCurrentObject(dc, OBJ_FONT)) {}
    FontCache(const FontCache&) = delete;
    FontCache& operator=(const FontCache&) = delete;
    ~FontCache() {
        SelectObject(dc_, original_);
        for (auto& entry : fonts_) DeleteObject(entry.second.font);
    }

    struct Entry {
        std::size_t index;
        HFONT font;
        TEXTMETRICW metrics;
    };

    const Entry& Select(const TextRun& run, std::vector<LOGFONTW>& logFonts) {
        LOGFONTW lf{};
        lf.lfHeight = -MulDiv(run.heightTwips, GetDeviceCaps(dc_, LOGPIXELSY), kTwipsPerInch);
        lf.lfWeight = run.bold ? FW_BOLD : FW_NORMAL;
        lf.lfItalic = run.italic;
        lf.lfUnderline = run.underline;
        lf.lfStrikeOut = run.strike;
        lf.lfCharSet = DEFAULT_CHARSET;
        lf.lfQuality = DEFAULT_QUALITY;
        lstrcpynW(lf.lfFaceName, run.face.c_str(), LF_FACESIZE);
        const auto key = std::make_tuple(run.face, lf.lfHeight, lf.lfWeight, run.italic, run.underline,
                                         run.strike);
        auto it = fonts_.find(key);
        if (it == fonts_.end()) {
            Entry entry{logFonts.size(), CreateFontIndirectW(&lf), {}};
            logFonts.push_back(lf);
            SelectObject(dc_, entry.font);
            GetTextMetricsW(dc_, &entry.metrics);
            it = fonts_.emplace(key, entry).first;
        }
        SelectObject(dc_, it->second.font);
        return it->second;
    }

private:
    using Key = std::tuple<std::wstring, LONG, LONG, bool, bool, bool>;
    HDC dc_;
    HGDIOBJ original_;
    std::map<Key, Entry> fonts_;
};

// A piece of a line: text of one run, measured.
struct Piece {
    std::wstring text;
    std::size_t font;
    COLORREF color;
    int width;
    int ascent, descent;
    bool space;
};

}  // namespace

PageLayout LayOut(HDC dc, const Document& document, const PageSettings& page, POINT offsetTwips) {
    PageLayout layout;
    const int dpiX = std::max(GetDeviceCaps(dc, LOGPIXELSX), 1);
    const int dpiY = std::max(GetDeviceCaps(dc, LOGPIXELSY), 1);
    const auto dx = [&](std::int64_t twips) { return TwipsToPixels(twips, dpiX); };
    const auto dy = [&](std::int64_t twips) { return TwipsToPixels(twips, dpiY); };
    const int left = dx(std::int64_t{page.marginL} - offsetTwips.x);
    const int right = dx(std::int64_t{page.width} - page.marginR - offsetTwips.x);
    const int top = dy(std::int64_t{page.marginT} - offsetTwips.y);
    const int bottom = dy(std::int64_t{page.height} - page.marginB - offsetTwips.y);

    FontCache fonts(dc);
    layout.pages.emplace_back();
    int y = top;

    for (const Paragraph& paragraph : document) {
        // Measure the paragraph as pieces: words and the spaces between them.
        std::vector<Piece> pieces;
        int markAscent = 0, markDescent = 0;
        for (const TextRun& run : paragraph.runs) {
            const FontCache::Entry& font = fonts.Select(run, layout.fonts);
            markAscent = font.metrics.tmAscent;
            markDescent = font.metrics.tmDescent;
            std::size_t i = 0;
            while (i < run.text.size()) {
                const bool space = run.text[i] == L' ' || run.text[i] == L'\t' || run.text[i] == L'\v';
                std::size_t j = i;
                while (j < run.text.size() &&
                       (run.text[j] == L' ' || run.text[j] == L'\t' || run.text[j] == L'\v') == space) {
                    ++j;
                }
                std::wstring text = run.text.substr(i, j - i);
                std::replace(text.begin(), text.end(), L'\t', L' ');
                std::replace(text.begin(), text.end(), L'\v', L' ');
                SIZE size{};
                GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
                pieces.push_back(Piece{std::move(text), font.index, run.color, size.cx,
                                       font.metrics.tmAscent, font.metrics.tmDescent, space});
                i = j;
            }
        }

        if (paragraph.pageBreakBefore && !layout.pages.back().empty()) {
            layout.pages.emplace_back();
            y = top;
        }
        if (paragraph.runs.empty()) continue;  // a bare page break
        y += dy(paragraph.spaceBefore);
        std::size_t next = 0;
        bool firstLine = true;
        do {
            const int indent = dx(paragraph.startIndent + (firstLine ? 0 : paragraph.offset));
            const int lineLeft = left + std::max(indent, 0);
            const int lineWidth = std::max(right - dx(paragraph.rightIndent) - lineLeft, 1);
            // Take pieces while they fit; a word wider than the line goes on a line of its own.
            std::size_t end = next;
            int width = 0;
            while (end < pieces.size()) {
                const Piece& p = pieces[end];
                if (!p.space && width + p.width > lineWidth && end > next) break;
                width += p.width;
                ++end;
            }
            std::size_t last = end;  // spaces at the end of a line take no room
            while (last > next && pieces[last - 1].space) width -= pieces[--last].width;
            int ascent = pieces.empty() ? markAscent : 0, descent = pieces.empty() ? markDescent : 0;
            for (std::size_t k = next; k < last; ++k) {
                ascent = std::max(ascent, pieces[k].ascent);
                descent = std::max(descent, pieces[k].descent);
            }
            if (ascent + descent == 0) ascent = markAscent, descent = markDescent;
            if (y + ascent + descent > bottom && !layout.pages.back().empty()) {
                layout.pages.emplace_back();
                y = top;
            }
            int x = lineLeft;
            if (paragraph.alignment == PFA_CENTER) x += (lineWidth - width) / 2;
            if (paragraph.alignment == PFA_RIGHT) x += lineWidth - width;
            for (std::size_t k = next; k < last; ++k) {
                if (!pieces[k].space) {
                    layout.pages.back().push_back(
                        Fragment{x, y + ascent, pieces[k].font, pieces[k].text, pieces[k].color});
                }
                x += pieces[k].width;
            }
            y += ascent + descent;
            next = end;
            firstLine = false;
        } while (next < pieces.size());
        y += dy(paragraph.spaceAfter);
    }
    if (layout.pages.size() > 1 && layout.pages.back().empty()) layout.pages.pop_back();
    return layout;
}

void DrawPage(HDC dc, const PageLayout& layout, std::size_t pageIndex) {
    if (pageIndex >= layout.pages.size()) return;
    std::vector<HFONT> fonts;
    for (const LOGFONTW& lf : layout.fonts) fonts.push_back(CreateFontIndirectW(&lf));
    const HGDIOBJ original = GetCurrentObject(dc, OBJ_FONT);
    const UINT align = SetTextAlign(dc, TA_BASELINE | TA_LEFT);
    const int mode = SetBkMode(dc, TRANSPARENT);
    for (const Fragment& f : layout.pages[pageIndex]) {
        SelectObject(dc, fonts[f.font]);
        SetTextColor(dc, f.color);
        TextOutW(dc, f.x, f.baseline, f.text.c_str(), static_cast<int>(f.text.size()));
    }
    SetBkMode(dc, mode);
    SetTextAlign(dc, align);
    SelectObject(dc, original);
    for (HFONT font : fonts) DeleteObject(font);
}

}  // namespace viewer

namespace viewer {

std::vector<BYTE> PaperSettings(const BYTE* settings, std::size_t size, const PageSettings& page) {
    if (!settings || size < offsetof(DEVMODEW, dmPrintQuality)) return {};
    if (page.width <= 0 || page.height <= 0 || page.width > kMaxPageTwips || page.height > kMaxPageTwips) {
        return {};
    }
    // The paper standing: the short side across.
    const bool landscape = page.width > page.height;
    const std::int32_t across = landscape ? page.height : page.width;
    const std::int32_t down = landscape ? page.width : page.height;

    struct Paper {
        short number;
        std::int32_t across, down;  // twips
    };
    static constexpr Paper kPapers[] = {
        {DMPAPER_LETTER, 12240, 15840}, {DMPAPER_LEGAL, 12240, 20160},
        {DMPAPER_EXECUTIVE, 10440, 15120}, {DMPAPER_A3, 16838, 23811},
        {DMPAPER_A4, 11906, 16838}, {DMPAPER_A5, 8391, 11906},
        {DMPAPER_B5, 10319, 14571},  // JIS B5, 182 x 257 mm
    };
    constexpr std::int32_t kSlackTwips = 8;  // rounding of millimetre sizes to twips
    short number = DMPAPER_USER;
    for (const Paper& paper : kPapers) {
        if (std::abs(paper.across - across) <= kSlackTwips && std::abs(paper.down - down) <= kSlackTwips) {
            number = paper.number;
            break;
        }
    }

    std::vector<BYTE> result(settings, settings + size);
    DEVMODEW mode{};
    std::memcpy(&mode, result.data(), std::min(size, sizeof mode));
    // Tenths of a millimetre, rounded: 1440 twips to 254 tenths.
    const auto tenths = [](std::int32_t twips) { return static_cast<short>((twips * 254LL + 720) / 1440); };
    mode.dmPaperSize = number;
    mode.dmPaperWidth = tenths(across);
    mode.dmPaperLength = tenths(down);
    mode.dmOrientation = landscape ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
    mode.dmFields |= DM_PAPERSIZE | DM_PAPERWIDTH | DM_PAPERLENGTH | DM_ORIENTATION;
    // A standard paper's dimensions are the driver's; naming the size is enough.
    if (number != DMPAPER_USER) mode.dmFields &= ~static_cast<DWORD>(DM_PAPERWIDTH | DM_PAPERLENGTH);
    mode.dmFields &= ~static_cast<DWORD>(DM_FORMNAME);  // a form name would override the size
    std::memcpy(result.data(), &mode, std::min(size, sizeof mode));
    return result;
}

}  // namespace viewer
