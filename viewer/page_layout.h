// Page layout of the view's text with plain GDI, for rich-text controls that do not lay out
// pages themselves (EM_FORMATRANGE is a stub in Wine's RichEdit). The text view uses it only
// when the control's own page layout makes no progress on a text that is not empty.
//
// The text and its formatting (font, size, bold, italic, underline, colour per run; alignment,
// spacing and indents per paragraph) are read once from the control into a `Document`; pages
// are then laid out on any device context: the same layout gives the page count and the
// printed pages. Ownership: a Document owns plain values only; LayOut creates and deletes its
// own fonts on the context it is given.
#pragma once

#include <windows.h>
#include <richedit.h>

#include <string>
#include <vector>

#include "viewer_logic.h"

namespace viewer {

struct TextRun {
    std::wstring text;
    std::wstring face = L"Arial";
    LONG heightTwips = 200;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    COLORREF color = RGB(0, 0, 0);
};

struct Paragraph {
    std::vector<TextRun> runs;  // the last run's format also gives an empty paragraph its height
    WORD alignment = PFA_LEFT;
    LONG spaceBefore = 0, spaceAfter = 0;            // twips
    LONG startIndent = 0, rightIndent = 0, offset = 0;  // twips; offset: later lines vs the first
    bool pageBreakBefore = false;  // a page break (form feed or paragraph format) comes first
};

using Document = std::vector<Paragraph>;

// Reads the text and formatting of a RichEdit control. The control's selection and scroll
// position are restored afterwards, and it is not redrawn meanwhile.
Document ReadDocument(HWND richEdit);

// A page's lines as drawn, in device units of the context they were laid out on.
struct Fragment {
    int x, baseline;
    std::size_t font;  // index into PageLayout::fonts
    std::wstring text;
    COLORREF color;
};
struct PageLayout {
    std::vector<std::vector<Fragment>> pages;
    std::vector<LOGFONTW> fonts;
};

// Lays the document out on pages of `page` (twips) on `dc`, whose device origin lies
// `offsetTwips` inside the paper (the printer's physical offset; 0 for measuring).
PageLayout LayOut(HDC dc, const Document& document, const PageSettings& page, POINT offsetTwips);

// Printer settings asking for paper of `page`'s size (twips) and orientation: a copy of
// `settings` (a DEVMODEW of `size` bytes with its driver data) with the paper size, width,
// length and orientation set. A standard paper within a few twips of the page is asked for by
// its number (DMPAPER_LETTER, DMPAPER_A5, ...), any other size as a custom width and length.
// Landscape pages (wider than high) ask for the portrait paper turned: the width and length
// are those of the paper standing, the orientation DMORIENT_LANDSCAPE. Empty when `settings`
// is too short or the page has no usable size.
std::vector<BYTE> PaperSettings(const BYTE* settings, std::size_t size, const PageSettings& page);

// Draws one laid-out page on `dc` (between StartPage and EndPage).
void DrawPage(HDC dc, const PageLayout& layout, std::size_t pageIndex);

}  // namespace viewer
