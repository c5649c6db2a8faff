// `txText`, the rich-text view: one class over a Windows RichEdit control (msftedit.dll,
// "RICHEDIT50W") offering the operations the window asks of its text view: visibility, height
// and width, focus, the position pair, two display settings, the page size and margins (in
// twips, applied to display and printing), loading rich text from a position in a file, the
// search conducted with the user through the standard Find dialog, the page count, the print
// device and printing a page range.
//
// Ownership: the view owns its control window (a child of the window given at creation, which
// also receives the Find dialog's messages and must hand them to OnFindMessage), the modeless
// Find dialog and the device context it lays text out with. It does not own the print device.
//
// For the window's test driver the control carries read-only window properties (twips):
// Navreth.PageWidth, .PageHeight, .MarginL, .MarginR, .MarginT, .MarginB and .PageCount.
#pragma once

#include <windows.h>
#include <commdlg.h>

#include <cstdint>
#include <string>
#include <vector>

#include <optional>

#include "com_util.h"
#include "page_layout.h"
#include "viewer_logic.h"

namespace viewer {

class TextView {
public:
    // Creates the (hidden) control as child `id` of `parent` at the given place in twips.
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

    // Display setting A: 2 lays lines out at the page's text width (page view), anything else
    // wraps them at the window's width.
    void ViewMode(std::int16_t mode);
    // Display setting B: 2 makes the view read-only (text can be selected and searched, not
    // changed), anything else lets it be edited.
    void EditMode(std::int16_t mode);

    // The position pair: SelStart puts the caret at a character position (0 = the start) and
    // scrolls it into view; SelLength then selects that many characters from it.
    void SelStart(std::int16_t position);
    void SelLength(std::int16_t length);

    // Page size and margins in twips. The text width (page width less both side margins) is
    // the display's line width in page view; 0 or a nonsensical page wraps at the window.
    void PageWidth(std::int32_t twips);
    void PageHeight(std::int32_t twips);
    void PageMarginL(std::int32_t twips);
    void PageMarginR(std::int32_t twips);
    void PageMarginT(std::int32_t twips);
    void PageMarginB(std::int32_t twips);
    const PageSettings& Page() const { return page_; }

    // Loads rich text (RTF) from `path`, starting at the 1-based byte position `position`,
    // streaming it straight from the file. Returns the number of characters loaded, 0 when
    // nothing was loaded (no such file, position outside the file, not RTF, or no text).
    std::int32_t LoadText(const std::wstring& path, std::int32_t position);

    // Search(1) opens the standard Find dialog (or brings it forward): the user types the text,
    // chooses match case, whole word and the direction, and each Find Next selects and scrolls
    // to the next hit, or says that the text cannot be found. Other values are refused.
    void Search(std::int16_t mode);
    // The Find dialog's registered message (FINDMSGSTRING) as the parent received it.
    void OnFindMessage(const FINDREPLACEW& request);

    // Pages of the loaded text laid out at the page size and margins (on the default printer
    // when there is one, otherwise at 1440 twips per inch on a screen-compatible context).
    // The control lays the pages out (EM_FORMATRANGE) where it can; where it cannot, as in
    // Wine, the text and its formats are laid out with GDI (page_layout.h).
    std::int32_t PageCount();

    // The printer context the next Print draws on (not owned), and the printer settings it was
    // made with (copied; null when unknown). With the settings, Print first asks the printer for
    // paper of the page size and orientation (ResetDC); a printer that refuses keeps its paper.
    void PrintDevice(HDC dc, const DEVMODEW* settings = nullptr);
    // Prints pages first..last (clipped to the document) `copies` times on the print device,
    // as one job named after the file name of `path`. Throws ComError when printing fails.
    void Print(const std::wstring& path, std::int16_t first, std::int16_t last, std::int16_t copies);

    // Removes the test-driver properties; call before the control is destroyed.
    void RemoveProperties();

private:
    void ApplyWrap();
    void PageChanged();
    void PublishProperty(const wchar_t* name, std::int64_t value);
    HDC ReferenceDc();
    void FindNext(const FINDREPLACEW& request);
    bool ControlLaysOutPages(HDC dc);
    const Document& CurrentDocument();
    std::int32_t Paginate(HDC dc, const PageSettings& page, int renderFirst, int renderLast,
                          POINT offsetTwips);

    HWND hwnd_ = nullptr;
    HWND parent_ = nullptr;
    int dpiX_ = 96;
    int dpiY_ = 96;
    std::int16_t viewMode_ = 0;
    PageSettings page_;
    std::int32_t pageCount_ = 0;
    std::int32_t selStart_ = 0;
    HDC printDevice_ = nullptr;
    std::vector<BYTE> printSettings_;  // DEVMODEW with its driver data; empty when unknown
    OwnedDc displayDc_;    // screen-compatible: the display's line measure in page view
    OwnedDc referenceDc_;  // default printer or screen-compatible: pagination
    bool referenceTried_ = false;
    // Whether the control lays out pages itself (EM_FORMATRANGE); when it does not, pages are
    // laid out with GDI from the document read out of the control.
    enum class Support { Unknown, Yes, No } controlLayout_ = Support::Unknown;
    std::optional<Document> document_;

    HWND findDialog_ = nullptr;
    FINDREPLACEW find_{};
    wchar_t findWhat_[256] = {};
};

}  // namespace viewer
