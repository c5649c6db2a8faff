// `txText`, the rich-text view over a RichEdit control: see text_view.h.
#include "text_view.h"

#include <commctrl.h>
#include <richedit.h>
#include <winspool.h>

#include <algorithm>
#include <cstddef>
#include <limits>

namespace viewer {

namespace {

constexpr wchar_t kRichEditLibrary[] = L"msftedit.dll";

// Streams the file behind the cookie (a file handle) into the control.
DWORD CALLBACK ReadFromFile(DWORD_PTR cookie, LPBYTE buffer, LONG wanted, LONG* got) {
    DWORD read = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(cookie), buffer, static_cast<DWORD>(wanted), &read,
                  nullptr)) {
        *got = 0;
        return 1;  // stops the load and reports the failure in dwError
    }
    *got = static_cast<LONG>(read);
    return 0;
}

class FileHandle {
public:
    explicit FileHandle(HANDLE h) : h_(h) {}
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle() {
        if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
    }
    HANDLE Get() const { return h_; }
    bool Valid() const { return h_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE h_;
};

// A read-only view does not take Tab: the window's keyboard handling moves the focus on to
// the buttons instead, as in the rest of the window.
LRESULT CALLBACK ViewKeys(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    LRESULT result = DefSubclassProc(hwnd, message, wParam, lParam);
    if (message == WM_GETDLGCODE && (GetWindowLongW(hwnd, GWL_STYLE) & ES_READONLY)) {
        const MSG* msg = reinterpret_cast<const MSG*>(lParam);
        if (msg && msg->message == WM_KEYDOWN && msg->wParam == VK_TAB) {
            result &= ~(DLGC_WANTTAB | DLGC_WANTALLKEYS | DLGC_WANTMESSAGE);
        }
    }
    return result;
}

LONG TextLength(HWND hwnd) {
    GETTEXTLENGTHEX length{GTL_NUMCHARS | GTL_PRECISE, 1200};
    return static_cast<LONG>(SendMessageW(hwnd, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&length), 0));
}

int TwipsToPx(double twips, int dpi) {
    const double px = twips * dpi / kTwipsPerInch;
    if (px <= 0) return 0;
    if (px >= std::numeric_limits<int>::max() / 2) return std::numeric_limits<int>::max() / 2;
    return static_cast<int>(px + 0.5);
}

RECT TwipsRect(std::int64_t left, std::int64_t top, std::int64_t right, std::int64_t bottom) {
    return RECT{static_cast<LONG>(left), static_cast<LONG>(top), static_cast<LONG>(right),
                static_cast<LONG>(bottom)};
}

}  // namespace

TextView::TextView(HWND parent, int id, int leftTwips, int topTwips, int widthTwips, int heightTwips)
    : parent_(parent) {
    if (!LoadLibraryW(kRichEditLibrary)) ThrowLastError(L"Cannot load the rich-text control (msftedit.dll)");
    HDC screen = GetDC(nullptr);
    dpiX_ = GetDeviceCaps(screen, LOGPIXELSX);
    dpiY_ = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    displayDc_.Reset(CreateCompatibleDC(nullptr));

    hwnd_ = CreateWindowExW(WS_EX_CLIENTEDGE, MSFTEDIT_CLASS, L"",
                            WS_CHILD | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_AUTOVSCROLL |
                                ES_NOHIDESEL | ES_SAVESEL,
                            TwipsToPixels(leftTwips, dpiX_), TwipsToPixels(topTwips, dpiY_),
                            TwipsToPixels(widthTwips, dpiX_), TwipsToPixels(heightTwips, dpiY_),
                            parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                            GetModuleHandleW(nullptr), nullptr);
    if (!hwnd_) ThrowLastError(L"Cannot create the rich-text view");
    SetWindowSubclass(hwnd_, ViewKeys, 1, 0);

    // Documents of any size: the default limit would cut a loaded text at 32767 characters.
    SendMessageW(hwnd_, EM_EXLIMITTEXT, 0, 0x7FFFFFFE);
    // The stored base font: Arial, for text that names no font of its own.
    CHARFORMAT2W format{};
    format.cbSize = sizeof format;
    format.dwMask = CFM_FACE | CFM_SIZE | CFM_CHARSET;
    format.yHeight = 10 * 20;
    format.bCharSet = DEFAULT_CHARSET;
    lstrcpynW(format.szFaceName, L"Arial", LF_FACESIZE);
    SendMessageW(hwnd_, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&format));
    SendMessageW(hwnd_, EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
    PageChanged();
}

TextView::~TextView() {
    if (findDialog_) DestroyWindow(findDialog_);
}

bool TextView::Visible() const { return (GetWindowLongW(hwnd_, GWL_STYLE) & WS_VISIBLE) != 0; }

void TextView::Visible(bool visible) {
    if (!visible && findDialog_) DestroyWindow(findDialog_);
    ShowWindow(hwnd_, visible ? SW_SHOW : SW_HIDE);
}

void TextView::Height(float twips) {
    RECT r;
    GetWindowRect(hwnd_, &r);
    SetWindowPos(hwnd_, nullptr, 0, 0, r.right - r.left, TwipsToPx(twips, dpiY_),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TextView::Width(float twips) {
    RECT r;
    GetWindowRect(hwnd_, &r);
    SetWindowPos(hwnd_, nullptr, 0, 0, TwipsToPx(twips, dpiX_), r.bottom - r.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TextView::SetFocus() { ::SetFocus(hwnd_); }

void TextView::ViewMode(std::int16_t mode) {
    viewMode_ = mode;
    ApplyWrap();
}

void TextView::EditMode(std::int16_t mode) { SendMessageW(hwnd_, EM_SETREADONLY, mode == 2, 0); }

void TextView::SelStart(std::int16_t position) {
    selStart_ = std::max<std::int32_t>(position, 0);
    CHARRANGE range{selStart_, selStart_};
    SendMessageW(hwnd_, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
    SendMessageW(hwnd_, EM_SCROLLCARET, 0, 0);
    if (selStart_ == 0) SendMessageW(hwnd_, WM_VSCROLL, SB_TOP, 0);
}

void TextView::SelLength(std::int16_t length) {
    CHARRANGE range{selStart_, selStart_ + std::max<std::int32_t>(length, 0)};
    SendMessageW(hwnd_, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
    SendMessageW(hwnd_, EM_SCROLLCARET, 0, 0);
}

void TextView::PageWidth(std::int32_t twips) { page_.width = twips; PageChanged(); }
void TextView::PageHeight(std::int32_t twips) { page_.height = twips; PageChanged(); }
void TextView::PageMarginL(std::int32_t twips) { page_.marginL = twips; PageChanged(); }
void TextView::PageMarginR(std::int32_t twips) { page_.marginR = twips; PageChanged(); }
void TextView::PageMarginT(std::int32_t twips) { page_.marginT = twips; PageChanged(); }
void TextView::PageMarginB(std::int32_t twips) { page_.marginB = twips; PageChanged(); }

void TextView::ApplyWrap() {
    const std::int32_t width = viewMode_ == 2 ? WrapWidth(page_) : 0;
    if (width > 0) {
        SendMessageW(hwnd_, EM_SETTARGETDEVICE, reinterpret_cast<WPARAM>(displayDc_.Get()), width);
    } else {
        SendMessageW(hwnd_, EM_SETTARGETDEVICE, 0, 0);  // wrap at the window's width
    }
}

void TextView::PageChanged() {
    ApplyWrap();
    PublishProperty(L"Navreth.PageWidth", page_.width);
    PublishProperty(L"Navreth.PageHeight", page_.height);
    PublishProperty(L"Navreth.MarginL", page_.marginL);
    PublishProperty(L"Navreth.MarginR", page_.marginR);
    PublishProperty(L"Navreth.MarginT", page_.marginT);
    PublishProperty(L"Navreth.MarginB", page_.marginB);
    PageCount();
}

void TextView::PublishProperty(const wchar_t* name, std::int64_t value) {
    SetPropW(hwnd_, name, reinterpret_cast<HANDLE>(static_cast<INT_PTR>(value)));
}

void TextView::RemoveProperties() {
    for (const wchar_t* name : {L"Navreth.PageWidth", L"Navreth.PageHeight", L"Navreth.MarginL",
                                L"Navreth.MarginR", L"Navreth.MarginT", L"Navreth.MarginB",
                                L"Navreth.PageCount"}) {
        RemovePropW(hwnd_, name);
    }
}

std::int32_t TextView::LoadText(const std::wstring& path, std::int32_t position) {
    if (position < 1) return 0;
    FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return 0;
    LARGE_INTEGER size{}, start{};
    start.QuadPart = std::int64_t{position} - 1;
    if (!GetFileSizeEx(file.Get(), &size) || start.QuadPart >= size.QuadPart) return 0;

    // Only rich text is loaded: the control would otherwise take any bytes as plain text.
    char head[5] = {};
    DWORD got = 0;
    if (!SetFilePointerEx(file.Get(), start, nullptr, FILE_BEGIN) ||
        !ReadFile(file.Get(), head, sizeof head, &got, nullptr) || got != sizeof head ||
        std::string_view(head, sizeof head) != "{\\rtf" ||
        !SetFilePointerEx(file.Get(), start, nullptr, FILE_BEGIN)) {
        return 0;
    }

    EDITSTREAM stream{};
    stream.dwCookie = reinterpret_cast<DWORD_PTR>(file.Get());
    stream.pfnCallback = ReadFromFile;
    const LRESULT read = SendMessageW(hwnd_, EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&stream));
    document_.reset();
    SendMessageW(hwnd_, EM_EMPTYUNDOBUFFER, 0, 0);
    const LONG length = TextLength(hwnd_);
    PageCount();
    if (stream.dwError != 0 || read <= 0 || length <= 0) return 0;
    return static_cast<std::int32_t>(std::min<LRESULT>(read, std::numeric_limits<std::int32_t>::max()));
}

void TextView::Search(std::int16_t mode) {
    if (mode != 1) throw ComError(E_INVALIDARG, L"The view's search takes the argument 1");
    if (findDialog_) {
        SetActiveWindow(findDialog_);
        return;
    }
    find_ = FINDREPLACEW{};
    find_.lStructSize = sizeof find_;
    find_.hwndOwner = parent_;
    find_.Flags = FR_DOWN;
    find_.lpstrFindWhat = findWhat_;
    find_.wFindWhatLen = static_cast<WORD>(std::size(findWhat_));
    findDialog_ = FindTextW(&find_);
    if (!findDialog_) ThrowLastError(L"Cannot open the Find dialog");
}

void TextView::OnFindMessage(const FINDREPLACEW& request) {
    if (request.Flags & FR_DIALOGTERM) {
        findDialog_ = nullptr;
        return;
    }
    if (request.Flags & FR_FINDNEXT) FindNext(request);
}

void TextView::FindNext(const FINDREPLACEW& request) {
    CHARRANGE selection{};
    SendMessageW(hwnd_, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selection));
    const bool down = (request.Flags & FR_DOWN) != 0;
    const WPARAM flags = request.Flags & (FR_DOWN | FR_MATCHCASE | FR_WHOLEWORD);
    FINDTEXTEXW find{};
    find.lpstrText = request.lpstrFindWhat;
    // Down: from the end of the selection to the end of the text. Up: the nearest hit that
    // ends before the selection starts; controls that report a hit overlapping the start (as
    // Wine's does) are asked again from before that hit.
    find.chrg = down ? CHARRANGE{selection.cpMax, -1} : CHARRANGE{selection.cpMin, 0};
    LRESULT at = SendMessageW(hwnd_, EM_FINDTEXTEXW, flags, reinterpret_cast<LPARAM>(&find));
    while (!down && at >= 0 && find.chrgText.cpMax > selection.cpMin) {
        if (find.chrgText.cpMin <= 0) {
            at = -1;
            break;
        }
        find.chrg = CHARRANGE{find.chrgText.cpMin - 1, 0};
        at = SendMessageW(hwnd_, EM_FINDTEXTEXW, flags, reinterpret_cast<LPARAM>(&find));
    }
    if (at < 0) {
        MessageBoxW(findDialog_ ? findDialog_ : parent_, NotFoundMessage(request.lpstrFindWhat).c_str(),
                    kFindTitle, MB_OK | MB_ICONINFORMATION);
        return;
    }
    SendMessageW(hwnd_, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&find.chrgText));
    SendMessageW(hwnd_, EM_SCROLLCARET, 0, 0);
}

HDC TextView::ReferenceDc() {
    if (!referenceTried_) {
        referenceTried_ = true;
        DWORD size = 0;
        GetDefaultPrinterW(nullptr, &size);
        if (size > 0) {
            std::wstring name(size, L'\0');
            if (GetDefaultPrinterW(name.data(), &size)) {
                name.resize(wcslen(name.c_str()));
                referenceDc_.Reset(CreateDCW(L"WINSPOOL", name.c_str(), nullptr, nullptr));
            }
        }
        // No printer: lay pages out on a screen-compatible context, 1440 twips to the inch.
        if (!referenceDc_.Get()) referenceDc_.Reset(CreateCompatibleDC(nullptr));
    }
    return referenceDc_.Get();
}

bool TextView::ControlLaysOutPages(HDC dc) {
    if (controlLayout_ == Support::Unknown && TextLength(hwnd_) > 0) {
        FORMATRANGE probe{};
        probe.hdc = probe.hdcTarget = dc;
        probe.rcPage = RECT{0, 0, 12240, 15840};
        probe.rc = RECT{1440, 1440, 10800, 14400};
        probe.chrg = CHARRANGE{0, -1};
        const LRESULT next = SendMessageW(hwnd_, EM_FORMATRANGE, FALSE, reinterpret_cast<LPARAM>(&probe));
        SendMessageW(hwnd_, EM_FORMATRANGE, FALSE, 0);
        controlLayout_ = next > 0 ? Support::Yes : Support::No;
    }
    return controlLayout_ != Support::No;
}

const Document& TextView::CurrentDocument() {
    if (!document_ || SendMessageW(hwnd_, EM_GETMODIFY, 0, 0)) {
        document_ = ReadDocument(hwnd_);
        SendMessageW(hwnd_, EM_SETMODIFY, FALSE, 0);
    }
    return *document_;
}

std::int32_t TextView::Paginate(HDC dc, const PageSettings& page, int renderFirst, int renderLast,
                                POINT offsetTwips) {
    const LONG length = TextLength(hwnd_);
    if (length <= 0) return 0;
    if (!ControlLaysOutPages(dc)) {
        // The control cannot lay out pages: lay them out with GDI from its text and formats.
        const PageLayout layout = LayOut(dc, CurrentDocument(), page, offsetTwips);
        for (int n = std::max(renderFirst, 1); n <= renderLast && n <= static_cast<int>(layout.pages.size()); ++n) {
            if (StartPage(dc) <= 0) ThrowLastError(L"Cannot start a printed page");
            DrawPage(dc, layout, static_cast<std::size_t>(n - 1));
            if (EndPage(dc) <= 0) ThrowLastError(L"Cannot finish a printed page");
        }
        return static_cast<std::int32_t>(layout.pages.size());
    }

    FORMATRANGE range{};
    range.hdc = dc;
    range.hdcTarget = dc;
    range.rcPage = TwipsRect(-offsetTwips.x, -offsetTwips.y, std::int64_t{page.width} - offsetTwips.x,
                             std::int64_t{page.height} - offsetTwips.y);
    range.rc = TwipsRect(std::int64_t{page.marginL} - offsetTwips.x,
                         std::int64_t{page.marginT} - offsetTwips.y,
                         std::int64_t{page.width} - page.marginR - offsetTwips.x,
                         std::int64_t{page.height} - page.marginB - offsetTwips.y);
    const RECT area = range.rc;
    range.chrg = CHARRANGE{0, -1};
    std::int32_t pages = 0;
    while (range.chrg.cpMin < length && pages < std::numeric_limits<std::int32_t>::max()) {
        ++pages;
        const bool render = pages >= renderFirst && pages <= renderLast;
        if (render && StartPage(dc) <= 0) {
            SendMessageW(hwnd_, EM_FORMATRANGE, FALSE, 0);
            ThrowLastError(L"Cannot start a printed page");
        }
        range.rc = area;  // the control writes back the area it used
        const LONG next = static_cast<LONG>(
            SendMessageW(hwnd_, EM_FORMATRANGE, render, reinterpret_cast<LPARAM>(&range)));
        if (render && EndPage(dc) <= 0) {
            SendMessageW(hwnd_, EM_FORMATRANGE, FALSE, 0);
            ThrowLastError(L"Cannot finish a printed page");
        }
        // A page that takes no text (an object larger than the page) would repeat forever.
        if (next <= range.chrg.cpMin) break;
        range.chrg.cpMin = next;
        if (pages >= renderLast && renderLast > 0) break;
    }
    SendMessageW(hwnd_, EM_FORMATRANGE, FALSE, 0);  // frees the control's layout cache
    return pages;
}

std::int32_t TextView::PageCount() {
    pageCount_ = Paginate(ReferenceDc(), EffectivePage(page_), 0, 0, POINT{0, 0});
    PublishProperty(L"Navreth.PageCount", pageCount_);
    return pageCount_;
}

void TextView::PrintDevice(HDC dc, const DEVMODEW* settings) {
    printDevice_ = dc;
    printSettings_.clear();
    if (settings && settings->dmSize >= offsetof(DEVMODEW, dmPrintQuality)) {
        const BYTE* bytes = reinterpret_cast<const BYTE*>(settings);
        printSettings_.assign(bytes, bytes + settings->dmSize + settings->dmDriverExtra);
    }
}

void TextView::Print(const std::wstring& path, std::int16_t first, std::int16_t last,
                     std::int16_t copies) {
    HDC dc = printDevice_;
    if (!dc) throw ComError(E_HANDLE, L"No printer has been chosen");
    const PageRange range = ClipPageRange(first, last, PageCount());
    if (range.empty()) return;

    // Ask the printer for paper of the page's size and orientation. A driver that refuses
    // (ResetDC returns null) leaves the context as it was: the pages go on the printer's paper.
    const std::vector<BYTE> paper =
        PaperSettings(printSettings_.data(), printSettings_.size(), EffectivePage(page_));
    if (!paper.empty()) ResetDCW(dc, reinterpret_cast<const DEVMODEW*>(paper.data()));

    // Device coordinates start at the printable area, which lies inside the paper by the
    // printer's physical offsets: shift the page so that its margins are measured from the paper.
    const int dpiX = GetDeviceCaps(dc, LOGPIXELSX), dpiY = GetDeviceCaps(dc, LOGPIXELSY);
    const POINT offset{
        dpiX > 0 ? static_cast<LONG>(PixelsToTwips(GetDeviceCaps(dc, PHYSICALOFFSETX), dpiX)) : 0,
        dpiY > 0 ? static_cast<LONG>(PixelsToTwips(GetDeviceCaps(dc, PHYSICALOFFSETY), dpiY)) : 0};

    const std::wstring name = FileNameOf(path);
    DOCINFOW job{};
    job.cbSize = sizeof job;
    job.lpszDocName = name.c_str();
    if (StartDocW(dc, &job) <= 0) ThrowLastError(L"Cannot start the print job");
    try {
        for (int copy = 0; copy < std::max<int>(copies, 1); ++copy) {
            Paginate(dc, EffectivePage(page_), range.first, range.last, offset);
        }
    } catch (...) {
        AbortDoc(dc);
        throw;
    }
    if (EndDoc(dc) <= 0) ThrowLastError(L"Cannot finish the print job");
}

}  // namespace viewer
