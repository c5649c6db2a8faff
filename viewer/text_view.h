// `txText`, the document view: a window of its own class that reads a rich-text document
// (engine_seam.h), lays it out on pages of the document's size and margins, and draws those
// pages (page_render.h) on the screen and on the printer, so that what is shown, the page
// count and what is printed agree. It offers the operations the window asks of its text view:
// visibility, height and width, focus, the position pair, two display settings, the page size
// and margins (in twips), loading rich text from a position in a file, the search conducted
// with the user through the standard Find dialog, the page count, the print device and
// printing a page range.
//
// On screen the pages stand centred on a grey background, one under the other with a gap,
// at their actual size (smaller, down to half, when the window is narrower than a page); scroll bars, the keyboard (arrows, Page Up/Down, Home/End, with Ctrl
// to the document's ends) and the mouse wheel scroll; dragging over text selects it, Ctrl+A
// selects everything and Ctrl+C copies the selection as text. Tab leaves the view. The window
// answers WM_GETTEXT/WM_GETTEXTLENGTH with the document's text and EM_GETSEL with the
// selection, so that screen readers and automation can read it.
//
// Positions (the position pair, EM_GETSEL, Find) count characters of the document's text
// with each paragraph break ("\r\n" in the text handed out) as one character.
//
// Layout is deferred: loading only reads the document, and page settings only record the
// page; the pages are laid out when the view is shown or painted, or a page count, a search
// or a print asks for them. The first pages are laid out at once; the rest follow a few at a
// time on a timer, so the window keeps repainting. Page count, search and print finish the
// layout first.
//
// Ownership: the view owns its window (a child of the window given at creation, which also
// receives the Find dialog's messages and must hand them to OnFindMessage), the modeless Find
// dialog, the document, its layout and the fonts and pictures it draws with. It does not own
// the print device.
//
// For the window's test driver the view carries read-only window properties (twips):
// Navreth.PageWidth, .PageHeight, .MarginL, .MarginR, .MarginT, .MarginB and .PageCount (0
// until the layout is complete).
#pragma once

#include <windows.h>
#include <commdlg.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "com_util.h"
#include "docengine/document.h"
#include "docengine/layout.h"
#include "engine_seam.h"
#include "gdi_font_metrics.h"
#include "page_render.h"
#include "viewer_logic.h"

namespace viewer {

inline constexpr wchar_t kTextViewClass[] = L"NavrethTextView";

class TextView {
public:
    // Creates the (hidden) view as child `id` of `parent` at the given place in twips.
    TextView(HWND parent, int id, int leftTwips, int topTwips, int widthTwips, int heightTwips);
    TextView(const TextView&) = delete;
    TextView& operator=(const TextView&) = delete;
    ~TextView();

    HWND Handle() const { return hwnd_; }
    // The modeless Find dialog while it is open (for the message loop), else null.
    HWND FindDialog() const { return findDialog_; }

    // Shown or hidden: the window's only record of whether a document is on display.
    // Hiding the view also closes its Find dialog.
    bool Visible() const;
    void Visible(bool visible);
    void Height(float twips);
    void Width(float twips);
    void SetFocus();

    // Display setting A: the page view (2) is the view's only display; other values are kept.
    void ViewMode(std::int16_t mode);
    // Display setting B: 2 is read-only. The view never edits its document; other values are kept.
    void EditMode(std::int16_t mode);

    // The position pair: SelStart puts the caret at a character position (0 = the start) and
    // scrolls it into view; SelLength then selects that many characters from it.
    void SelStart(std::int16_t position);
    void SelLength(std::int16_t length);

    // Page size and margins in twips: the page the document is laid out on (a page without a
    // usable text area gets US Letter with one-inch margins, EffectivePage).
    void PageWidth(std::int32_t twips);
    void PageHeight(std::int32_t twips);
    void PageMarginL(std::int32_t twips);
    void PageMarginR(std::int32_t twips);
    void PageMarginT(std::int32_t twips);
    void PageMarginB(std::int32_t twips);
    const PageSettings& Page() const { return page_; }

    // Loads rich text (RTF) from `path`, starting at the 1-based byte position `position` and
    // running to the end of the file. Returns the number of bytes read, 0 when nothing was
    // loaded (no such file, position outside the file, not RTF, a document the reader refuses,
    // or one without any content); the view then shows nothing.
    std::int32_t LoadText(const std::wstring& path, std::int32_t position);

    // Shows `layout` as the document, in place of any loaded one (a layout made elsewhere; the
    // page settings then no longer re-lay it out).
    void ShowLayout(docengine::Layout layout);

    // Search(1) opens the standard Find dialog (or brings it forward): the user types the text,
    // chooses match case, whole word and the direction, and each Find Next selects and scrolls
    // to the next hit, or says that the text cannot be found. Other values are refused.
    void Search(std::int16_t mode);
    // The Find dialog's registered message (FINDMSGSTRING) as the parent received it.
    void OnFindMessage(const FINDREPLACEW& request);

    // The number of laid-out pages of the document (0 with none), laying it out to the end.
    std::int32_t PageCount();

    // The printer context the next Print draws on (not owned), and the printer settings it was
    // made with (copied; null when unknown). With the settings, Print first asks the printer for
    // paper of the page size and orientation (ResetDC); a printer that refuses keeps its paper.
    // With `outputFile`, the job is written to that file instead of the printer's port.
    void PrintDevice(HDC dc, const DEVMODEW* settings = nullptr, std::wstring outputFile = {});
    // Prints pages first..last (clipped to the document) `copies` times on the print device,
    // as one job named after the file name of `path`. Throws ComError when printing fails.
    void Print(const std::wstring& path, std::int16_t first, std::int16_t last, std::int16_t copies);

    // Removes the test-driver properties; call before the window is destroyed.
    void RemoveProperties();

    // The selection as positions (start, end).
    std::pair<std::int32_t, std::int32_t> Selection() const;

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);

    // Layout.
    const docengine::Layout* CurrentLayout() const;
    void EnsureLayout();
    void FinishLayout();
    void LayOutSome(DWORD budgetMs);
    void LayoutGrew();
    void PageChanged();
    void PublishProperty(const wchar_t* name, std::int64_t value);
    void PublishPageCount();
    GdiFontMetrics& Metrics();

    // Positions and text.
    void IndexBreaks();
    void ReindexBreaks();
    std::size_t IndexOf(std::int64_t position) const;
    std::int64_t PositionOf(std::size_t index) const;
    void Select(std::size_t start, std::size_t end, bool scroll);
    void ScrollToIndex(std::size_t index);
    bool HitTest(POINT client, std::size_t& index);
    void Copy();
    void FindNext(const FINDREPLACEW& request);

    // Screen geometry (pixels, in the scrolled document's space).
    double ScaleX() const;
    double ScaleY() const;
    int PxX(std::int64_t twips) const;
    int PxY(std::int64_t twips) const;
    void ComputeGeometry();
    void UpdateScrollBars();
    void ScrollTo(int x, int y);
    void OnScroll(int bar, WORD request);
    void Paint(HDC dc, const RECT& client);
    bool OnKey(WPARAM key);

    HWND hwnd_ = nullptr;
    HWND parent_ = nullptr;
    int dpiX_ = 96;
    int dpiY_ = 96;
    std::int16_t viewMode_ = 0;
    std::int16_t editMode_ = 0;
    PageSettings page_;

    std::shared_ptr<const docengine::Document> document_;
    docengine::PageSetup laidOutSetup_{};
    std::unique_ptr<engine::Pagination> pagination_;
    std::unique_ptr<docengine::Layout> shownLayout_;  // a layout handed in with ShowLayout
    bool layoutStale_ = false;   // page settings changed since the layout was made
    bool timerRunning_ = false;
    std::unique_ptr<GdiFontMetrics> metrics_;
    PictureCache pictures_;

    std::vector<std::size_t> breaks_;  // where "\r\n" stands in the plain text (index of '\r')
    std::size_t breaksIndexed_ = 0;    // how much of the plain text breaks_ covers
    std::size_t selStart_ = 0, selEnd_ = 0;  // plain-text indices; start may exceed end (dragging up)
    std::size_t anchor_ = 0;
    bool dragging_ = false;

    std::vector<RECT> pageRects_;  // each page on screen, unscrolled
    int contentWidth_ = 0, contentHeight_ = 0;
    int scrollX_ = 0, scrollY_ = 0;
    double zoom_ = 1.0;  // 1: the pages at their actual size

    HDC printDevice_ = nullptr;
    std::vector<BYTE> printSettings_;  // DEVMODEW with its driver data; empty when unknown
    std::wstring printOutput_;

    HWND findDialog_ = nullptr;
    FINDREPLACEW find_{};
    wchar_t findWhat_[256] = {};
};

}  // namespace viewer
