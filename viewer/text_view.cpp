// `txText`, the document view: see text_view.h.
#include "text_view.h"

#include <richedit.h>
#include <windowsx.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cwctype>
#include <limits>
#include <utility>

#include "paper_settings.h"

namespace viewer {

namespace {

constexpr UINT_PTR kLayoutTimer = 1;
constexpr UINT kLayoutTimerMs = 15;
constexpr DWORD kFirstLayoutBudgetMs = 100;  // laid out at once when the view is shown
constexpr DWORD kTimerLayoutBudgetMs = 40;   // then this much per timer tick
constexpr int kGapPx = 16;                   // around and between pages on screen
constexpr int kShadowPx = 4;
constexpr double kMinZoom = 0.5;            // pages shrink to fit a narrow window, down to this
constexpr int kLinePx = 40;                  // one arrow key or a third of a wheel notch
constexpr COLORREF kBackground = RGB(0x9A, 0x9A, 0x9A);
constexpr COLORREF kShadow = RGB(0x60, 0x60, 0x60);
constexpr COLORREF kBorder = RGB(0x40, 0x40, 0x40);
const wchar_t* const kProperties[] = {L"Navreth.PageWidth", L"Navreth.PageHeight", L"Navreth.MarginL",
                                      L"Navreth.MarginR", L"Navreth.MarginT", L"Navreth.MarginB",
                                      L"Navreth.PageCount"};

int TwipsToPx(double twips, int dpi) {
    const double px = twips * dpi / kTwipsPerInch;
    if (px <= 0) return 0;
    if (px >= std::numeric_limits<int>::max() / 2) return std::numeric_limits<int>::max() / 2;
    return static_cast<int>(px + 0.5);
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

// Shows the wait cursor while a long step runs.
class WaitCursor {
public:
    WaitCursor() : old_(SetCursor(LoadCursorW(nullptr, IDC_WAIT))) {}
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
    ~WaitCursor() { SetCursor(old_); }

private:
    HCURSOR old_;
};

bool IsWordCharacter(wchar_t c) { return std::iswalnum(c) || c == L'_'; }

void RegisterViewClass() {
    static bool registered = false;
    if (registered) return;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcW;  // each view puts its own procedure in place once created
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_IBEAM);
    wc.lpszClassName = kTextViewClass;
    if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        ThrowLastError(L"Cannot register the document view");
    }
    registered = true;
}

}  // namespace

// ---- Creation and the window's settings ------------------------------------------------------

TextView::TextView(HWND parent, int id, int leftTwips, int topTwips, int widthTwips, int heightTwips)
    : parent_(parent) {
    RegisterViewClass();
    {
        const UniqueScreenDc screen(GetDC(nullptr));
        dpiX_ = GetDeviceCaps(screen.Get(), LOGPIXELSX);
        dpiY_ = GetDeviceCaps(screen.Get(), LOGPIXELSY);
    }
    hwnd_ = CreateWindowExW(WS_EX_CLIENTEDGE, kTextViewClass, L"",
                            WS_CHILD | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | WS_CLIPSIBLINGS,
                            TwipsToPixels(leftTwips, dpiX_), TwipsToPixels(topTwips, dpiY_),
                            TwipsToPixels(widthTwips, dpiX_), TwipsToPixels(heightTwips, dpiY_), parent,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    if (!hwnd_) ThrowLastError(L"Cannot create the document view");
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TextView::WindowProc));
    PageChanged();
}

TextView::~TextView() {
    if (findDialog_) DestroyWindow(findDialog_);
    if (hwnd_ && IsWindow(hwnd_)) {
        KillTimer(hwnd_, kLayoutTimer);
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
}

bool TextView::Visible() const { return (GetWindowLongW(hwnd_, GWL_STYLE) & WS_VISIBLE) != 0; }

void TextView::Visible(bool visible) {
    if (!visible && findDialog_) {
        // DestroyWindow sends the owner no FR_DIALOGTERM: forget the dialog here, or the next
        // Find would try to bring a window that no longer exists forward.
        DestroyWindow(std::exchange(findDialog_, nullptr));
    }
    if (visible) EnsureLayout();
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
void TextView::ViewMode(std::int16_t mode) { viewMode_ = mode; }
void TextView::EditMode(std::int16_t mode) { editMode_ = mode; }

void TextView::PageWidth(std::int32_t twips) { page_.width = twips; PageChanged(); }
void TextView::PageHeight(std::int32_t twips) { page_.height = twips; PageChanged(); }
void TextView::PageMarginL(std::int32_t twips) { page_.marginL = twips; PageChanged(); }
void TextView::PageMarginR(std::int32_t twips) { page_.marginR = twips; PageChanged(); }
void TextView::PageMarginT(std::int32_t twips) { page_.marginT = twips; PageChanged(); }
void TextView::PageMarginB(std::int32_t twips) { page_.marginB = twips; PageChanged(); }

// Records the page; the document is laid out again only when it is next needed, so that six
// settings in a row cost one layout.
void TextView::PageChanged() {
    PublishProperty(L"Navreth.PageWidth", page_.width);
    PublishProperty(L"Navreth.PageHeight", page_.height);
    PublishProperty(L"Navreth.MarginL", page_.marginL);
    PublishProperty(L"Navreth.MarginR", page_.marginR);
    PublishProperty(L"Navreth.MarginT", page_.marginT);
    PublishProperty(L"Navreth.MarginB", page_.marginB);
    if (pagination_) {
        layoutStale_ = true;
        PublishProperty(L"Navreth.PageCount", 0);
        if (IsWindowVisible(hwnd_)) InvalidateRect(hwnd_, nullptr, FALSE);
    }
}

void TextView::PublishProperty(const wchar_t* name, std::int64_t value) {
    SetPropW(hwnd_, name, reinterpret_cast<HANDLE>(static_cast<INT_PTR>(value)));
}

void TextView::PublishPageCount() {
    const docengine::Layout* layout = CurrentLayout();
    const bool complete = shownLayout_ || (pagination_ && pagination_->Finished() && !layoutStale_);
    PublishProperty(L"Navreth.PageCount", complete && layout ? static_cast<std::int64_t>(layout->pages.size()) : 0);
}

void TextView::RemoveProperties() {
    for (const wchar_t* name : kProperties) RemovePropW(hwnd_, name);
}

GdiFontMetrics& TextView::Metrics() {
    if (!metrics_) metrics_ = std::make_unique<GdiFontMetrics>();
    return *metrics_;
}

// ---- Loading and laying out ----------------------------------------------------------------------

std::int32_t TextView::LoadText(const std::wstring& path, std::int32_t position) {
    // Whatever happens, the earlier document is gone.
    KillTimer(hwnd_, kLayoutTimer);
    timerRunning_ = false;
    pagination_.reset();
    shownLayout_.reset();
    document_.reset();
    pictures_.Clear();
    breaks_.clear();
    breaksIndexed_ = 0;
    selStart_ = selEnd_ = anchor_ = 0;
    scrollX_ = scrollY_ = 0;
    layoutStale_ = false;
    PublishPageCount();
    ComputeGeometry();
    InvalidateRect(hwnd_, nullptr, FALSE);

    if (position < 1) return 0;
    FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return 0;
    LARGE_INTEGER size{}, start{};
    start.QuadPart = std::int64_t{position} - 1;
    if (!GetFileSizeEx(file.Get(), &size) || start.QuadPart >= size.QuadPart) return 0;
    const std::int64_t length = size.QuadPart - start.QuadPart;
    if (length > std::numeric_limits<std::int32_t>::max()) return 0;
    std::string bytes;
    try {
        bytes.resize(static_cast<std::size_t>(length));
    } catch (const std::bad_alloc&) {
        return 0;
    }
    DWORD got = 0;
    if (!SetFilePointerEx(file.Get(), start, nullptr, FILE_BEGIN) ||
        !ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) ||
        got != bytes.size()) {
        return 0;
    }
    if (bytes.compare(0, 5, "{\\rtf") != 0) return 0;

    std::optional<docengine::Document> document = engine::ReadRtf(bytes);
    // A document with nothing in it (an empty paragraph, only a header, only shapes) is still a
    // document: it opens as blank pages, as a word processor opens it, and is not reported as
    // corrupt.
    if (!document) return 0;
    document_ = std::make_shared<const docengine::Document>(std::move(*document));
    layoutStale_ = true;  // laid out when first needed, at the page settings then in force
    return static_cast<std::int32_t>(bytes.size());
}

void TextView::ShowLayout(docengine::Layout layout) {
    KillTimer(hwnd_, kLayoutTimer);
    timerRunning_ = false;
    pagination_.reset();
    document_.reset();
    pictures_.Clear();
    shownLayout_ = std::make_unique<docengine::Layout>(std::move(layout));
    layoutStale_ = false;
    breaks_.clear();
    breaksIndexed_ = 0;
    selStart_ = selEnd_ = anchor_ = 0;
    scrollX_ = scrollY_ = 0;
    LayoutGrew();
}

const docengine::Layout* TextView::CurrentLayout() const {
    if (shownLayout_) return shownLayout_.get();
    return pagination_ ? &pagination_->Result() : nullptr;
}

// Starts the layout over when the page changed since it was made; lays out the first pages.
void TextView::EnsureLayout() {
    if (!document_ || !layoutStale_) return;
    layoutStale_ = false;
    const PageSettings page = EffectivePage(page_);
    const docengine::PageSetup setup{page.width, page.height, page.marginL, page.marginR, page.marginT, page.marginB};
    pagination_.reset();
    breaks_.clear();
    breaksIndexed_ = 0;
    pagination_ = std::make_unique<engine::Pagination>(document_, setup, Metrics());
    laidOutSetup_ = setup;
    LayOutSome(kFirstLayoutBudgetMs);
}

// Lays out pages for about `budgetMs`; the timer carries on with the rest.
void TextView::LayOutSome(DWORD budgetMs) {
    if (!pagination_) return;
    const ULONGLONG until = GetTickCount64() + budgetMs;
    bool finished = pagination_->Finished();
    while (!finished) {
        finished = pagination_->Step(1);
        if (GetTickCount64() >= until) break;
    }
    if (finished) {
        if (timerRunning_) KillTimer(hwnd_, kLayoutTimer);
        timerRunning_ = false;
        ReindexBreaks();
    } else if (!timerRunning_) {
        timerRunning_ = SetTimer(hwnd_, kLayoutTimer, kLayoutTimerMs, nullptr) != 0;
    }
    LayoutGrew();
}

void TextView::FinishLayout() {
    EnsureLayout();
    if (!pagination_ || pagination_->Finished()) return;
    WaitCursor wait;
    while (!pagination_->Step(64)) {
    }
    if (timerRunning_) KillTimer(hwnd_, kLayoutTimer);
    timerRunning_ = false;
    ReindexBreaks();
    LayoutGrew();
}

void TextView::LayoutGrew() {
    IndexBreaks();
    PublishPageCount();
    ComputeGeometry();
    UpdateScrollBars();
    InvalidateRect(hwnd_, nullptr, FALSE);
}

// ---- Positions ---------------------------------------------------------------------------------

void TextView::IndexBreaks() {
    const docengine::Layout* layout = CurrentLayout();
    if (!layout) return;
    const std::u16string& text = layout->plainText;
    std::size_t i = breaksIndexed_ > 0 ? breaksIndexed_ - 1 : 0;
    if (!breaks_.empty() && i <= breaks_.back() + 1) i = breaks_.back() + 2;
    for (; i + 1 < text.size(); ++i) {
        if (text[i] == u'\r' && text[i + 1] == u'\n') breaks_.push_back(i++);
    }
    breaksIndexed_ = text.size();
}

// Once the layout is complete its text is indexed afresh, so that positions stay right even
// where the text of earlier pages was completed after they were laid out.
void TextView::ReindexBreaks() {
    breaks_.clear();
    breaksIndexed_ = 0;
}

// A position counts each "\r\n" as one character: the k-th break stands at position
// breaks_[k] - k.
std::size_t TextView::IndexOf(std::int64_t position) const {
    if (position <= 0) return 0;
    std::size_t low = 0, high = breaks_.size();
    while (low < high) {  // the number of breaks before `position`
        const std::size_t mid = (low + high) / 2;
        if (static_cast<std::int64_t>(breaks_[mid] - mid) < position) low = mid + 1;
        else high = mid;
    }
    const docengine::Layout* layout = CurrentLayout();
    const std::size_t length = layout ? layout->plainText.size() : 0;
    return std::min<std::size_t>(static_cast<std::size_t>(position) + low, length);
}

std::int64_t TextView::PositionOf(std::size_t index) const {
    // Breaks whose "\r\n" lies wholly before `index`.
    const auto end = std::lower_bound(breaks_.begin(), breaks_.end(), index,
                                      [](std::size_t at, std::size_t i) { return at + 1 < i; });
    return static_cast<std::int64_t>(index) - (end - breaks_.begin());
}

std::pair<std::int32_t, std::int32_t> TextView::Selection() const {
    const std::size_t a = std::min(selStart_, selEnd_), b = std::max(selStart_, selEnd_);
    const auto clamp = [](std::int64_t v) {
        return static_cast<std::int32_t>(std::min<std::int64_t>(v, std::numeric_limits<std::int32_t>::max()));
    };
    return {clamp(PositionOf(a)), clamp(PositionOf(b))};
}

void TextView::SelStart(std::int16_t position) {
    if (position > 0) FinishLayout();
    const std::size_t index = IndexOf(std::max<std::int16_t>(position, 0));
    Select(index, index, true);
}

void TextView::SelLength(std::int16_t length) {
    const std::size_t start = std::min(selStart_, selEnd_);
    if (length > 0) FinishLayout();
    const std::size_t end = IndexOf(PositionOf(start) + std::max<std::int16_t>(length, 0));
    Select(start, end, true);
}

void TextView::Select(std::size_t start, std::size_t end, bool scroll) {
    selStart_ = start;
    selEnd_ = end;
    if (scroll) ScrollToIndex(std::min(start, end));
    InvalidateRect(hwnd_, nullptr, FALSE);
}

// ---- Screen geometry and painting ----------------------------------------------------------------

double TextView::ScaleX() const { return zoom_ * dpiX_ / kTwipsPerInch; }
double TextView::ScaleY() const { return zoom_ * dpiY_ / kTwipsPerInch; }
int TextView::PxX(std::int64_t twips) const { return static_cast<int>(std::lround(static_cast<double>(twips) * ScaleX())); }
int TextView::PxY(std::int64_t twips) const { return static_cast<int>(std::lround(static_cast<double>(twips) * ScaleY())); }

void TextView::ComputeGeometry() {
    pageRects_.clear();
    const docengine::Layout* layout = CurrentLayout();
    RECT client{};
    GetClientRect(hwnd_, &client);
    // Actual size, or smaller (down to kMinZoom) when the widest page would not fit the window.
    int widest = 0;
    if (layout) {
        for (const docengine::Page& page : layout->pages) widest = std::max(widest, page.width);
    }
    const double actual = static_cast<double>(widest) * dpiX_ / kTwipsPerInch;
    const int room = static_cast<int>(client.right) - 2 * kGapPx - kShadowPx;
    zoom_ = actual > room && actual > 0 ? std::max(room / actual, kMinZoom) : 1.0;
    contentWidth_ = PxX(widest) + 2 * kGapPx + kShadowPx;
    const int area = std::max<int>(contentWidth_, client.right);
    int y = kGapPx;
    if (layout) {
        for (const docengine::Page& page : layout->pages) {
            const int w = PxX(page.width), h = PxY(page.height);
            const int x = (area - w) / 2;
            pageRects_.push_back(RECT{x, y, x + w, y + h});
            y += h + kGapPx;
        }
    }
    contentHeight_ = y;
}

void TextView::UpdateScrollBars() {
    RECT client{};
    GetClientRect(hwnd_, &client);
    scrollX_ = std::clamp(scrollX_, 0, std::max(0, contentWidth_ - static_cast<int>(client.right)));
    scrollY_ = std::clamp(scrollY_, 0, std::max(0, contentHeight_ - static_cast<int>(client.bottom)));
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    si.nMin = 0;
    si.nMax = std::max(contentHeight_ - 1, 0);
    si.nPage = static_cast<UINT>(std::max<LONG>(client.bottom, 0));
    si.nPos = scrollY_;
    SetScrollInfo(hwnd_, SB_VERT, &si, TRUE);
    si.nMax = std::max(contentWidth_ - 1, 0);
    si.nPage = static_cast<UINT>(std::max<LONG>(client.right, 0));
    si.nPos = scrollX_;
    SetScrollInfo(hwnd_, SB_HORZ, &si, TRUE);
}

void TextView::ScrollTo(int x, int y) {
    const int oldX = scrollX_, oldY = scrollY_;
    scrollX_ = x;
    scrollY_ = y;
    UpdateScrollBars();
    if (scrollX_ != oldX || scrollY_ != oldY) InvalidateRect(hwnd_, nullptr, FALSE);
}

void TextView::OnScroll(int bar, WORD request) {
    RECT client{};
    GetClientRect(hwnd_, &client);
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_ALL;
    GetScrollInfo(hwnd_, bar, &si);
    const int pageSize = bar == SB_VERT ? client.bottom : client.right;
    int pos = bar == SB_VERT ? scrollY_ : scrollX_;
    switch (request) {
        case SB_LINEUP: pos -= kLinePx; break;
        case SB_LINEDOWN: pos += kLinePx; break;
        case SB_PAGEUP: pos -= std::max(pageSize - kLinePx, kLinePx); break;
        case SB_PAGEDOWN: pos += std::max(pageSize - kLinePx, kLinePx); break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION: pos = si.nTrackPos; break;
        case SB_TOP: pos = 0; break;
        case SB_BOTTOM: pos = std::numeric_limits<int>::max() / 2; break;
        default: return;
    }
    if (bar == SB_VERT) ScrollTo(scrollX_, pos);
    else ScrollTo(pos, scrollY_);
}

// Scrolls so that the line holding plain-text index `index` is in view.
void TextView::ScrollToIndex(std::size_t index) {
    const docengine::Layout* layout = CurrentLayout();
    if (!layout || pageRects_.empty()) {
        ScrollTo(scrollX_, 0);
        return;
    }
    if (index == 0) {
        ScrollTo(scrollX_, 0);
        return;
    }
    for (std::size_t p = 0; p < layout->pages.size() && p < pageRects_.size(); ++p) {
        for (const docengine::TextItem& item : layout->pages[p].texts) {
            if (index < item.textOffset || index > item.textOffset + item.text.size()) continue;
            RECT client{};
            GetClientRect(hwnd_, &client);
            const int y = pageRects_[p].top + PxY(item.baseline);
            const int x = pageRects_[p].left + PxX(item.x);
            int newY = scrollY_, newX = scrollX_;
            if (y - kLinePx < scrollY_ || y + kLinePx > scrollY_ + client.bottom) newY = y - client.bottom / 3;
            if (x < scrollX_ || x > scrollX_ + client.right) newX = x - client.right / 3;
            ScrollTo(newX, newY);
            return;
        }
    }
}

void TextView::Paint(HDC target, const RECT& client) {
    const int width = std::max<LONG>(client.right, 1), height = std::max<LONG>(client.bottom, 1);
    UniqueDc memory(CreateCompatibleDC(target));
    UniqueBitmap bitmap(CreateCompatibleBitmap(target, width, height));
    HDC dc = memory.Get() && bitmap ? memory.Get() : target;
    SelectedObject selected(memory.Get(), bitmap.Get());
    {
        UniqueBrush background(CreateSolidBrush(kBackground));
        RECT all{0, 0, width, height};
        FillRect(dc, &all, background.Get());
    }
    const docengine::Layout* layout = CurrentLayout();
    if (layout) {
        UniqueBrush white(CreateSolidBrush(RGB(255, 255, 255)));
        UniqueBrush shadow(CreateSolidBrush(kShadow));
        UniqueBrush border(CreateSolidBrush(kBorder));
        const TextSpan selection{std::min(selStart_, selEnd_), std::max(selStart_, selEnd_)};
        for (std::size_t p = 0; p < pageRects_.size() && p < layout->pages.size(); ++p) {
            RECT r = pageRects_[p];
            OffsetRect(&r, -scrollX_, -scrollY_);
            if (r.bottom + kShadowPx < 0 || r.top > height) continue;
            RECT s = r;
            OffsetRect(&s, kShadowPx, kShadowPx);
            FillRect(dc, &s, shadow.Get());
            RECT b{r.left - 1, r.top - 1, r.right + 1, r.bottom + 1};
            FrameRect(dc, &b, border.Get());
            FillRect(dc, &r, white.Get());
            const PageTransform transform{ScaleX(), ScaleY(), static_cast<int>(r.left), static_cast<int>(r.top)};
            RenderPage(dc, *layout, p, transform, Metrics(), pictures_, selection);
        }
    }
    if (dc != target) BitBlt(target, 0, 0, width, height, dc, 0, 0, SRCCOPY);
}

// ---- Mouse selection and copying -----------------------------------------------------------------

// The plain-text index nearest to the point, on the line under it.
bool TextView::HitTest(POINT client, std::size_t& index) {
    const docengine::Layout* layout = CurrentLayout();
    if (!layout) return false;
    const int x = client.x + scrollX_, y = client.y + scrollY_;
    for (std::size_t p = 0; p < pageRects_.size() && p < layout->pages.size(); ++p) {
        const RECT& r = pageRects_[p];
        if (y < r.top - kGapPx / 2 || y >= r.bottom + kGapPx / 2) continue;
        const double tx = (x - r.left) / ScaleX(), ty = (y - r.top) / ScaleY();
        const docengine::TextItem* best = nullptr;
        double bestDistance = 0;
        for (const docengine::TextItem& item : layout->pages[p].texts) {
            if (item.textOffset == docengine::kNoTextOffset) continue;  // leaders, readings
            if (item.quarterTurns != 0) continue;  // turned text in a table cell: its lines run across ours
            const docengine::VerticalMetrics v = Metrics().Metrics(layout->fonts[item.font]);
            const double dy = ty < item.baseline - v.ascent ? item.baseline - v.ascent - ty
                              : ty > item.baseline + v.descent ? ty - item.baseline - v.descent : 0;
            const double dx = tx < item.x ? item.x - tx : tx > item.x + item.width ? tx - item.x - item.width : 0;
            const double distance = dy * 1000 + dx;  // the line first, then along it
            if (!best || distance < bestDistance) {
                best = &item;
                bestDistance = distance;
            }
        }
        if (!best) return false;
        std::vector<int> advances;
        Metrics().Advances(layout->fonts[best->font], best->text, advances);
        docengine::ApplyCharSpacing(*best, advances);
        // a right-to-left run's characters stand from its right end
        const bool fromRight = best->rightToLeft;
        double at = fromRight ? best->x + best->width : best->x;
        std::size_t k = 0;
        for (; k < advances.size(); ++k) {
            if (fromRight ? tx > at - advances[k] / 2.0 : tx < at + advances[k] / 2.0) break;
            at += fromRight ? -advances[k] : advances[k];
        }
        index = best->textOffset + k;
        return true;
    }
    return false;
}

void TextView::Copy() {
    const docengine::Layout* layout = CurrentLayout();
    const std::size_t a = std::min(selStart_, selEnd_), b = std::max(selStart_, selEnd_);
    if (!layout || a >= b || b > layout->plainText.size()) return;
    const std::u16string text = layout->plainText.substr(a, b - a);
    if (!OpenClipboard(hwnd_)) return;
    EmptyClipboard();
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
    if (memory) {
        if (void* p = GlobalLock(memory)) {
            std::memcpy(p, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
            GlobalUnlock(memory);
            if (!SetClipboardData(CF_UNICODETEXT, memory)) GlobalFree(memory);  // the clipboard owns it on success
        } else {
            GlobalFree(memory);
        }
    }
    CloseClipboard();
}

// ---- Keyboard --------------------------------------------------------------------------------

bool TextView::OnKey(WPARAM key) {
    const bool control = GetKeyState(VK_CONTROL) < 0;
    RECT client{};
    GetClientRect(hwnd_, &client);
    switch (key) {
        case VK_UP: OnScroll(SB_VERT, SB_LINEUP); return true;
        case VK_DOWN: OnScroll(SB_VERT, SB_LINEDOWN); return true;
        case VK_LEFT: OnScroll(SB_HORZ, SB_LINEUP); return true;
        case VK_RIGHT: OnScroll(SB_HORZ, SB_LINEDOWN); return true;
        case VK_PRIOR: OnScroll(SB_VERT, SB_PAGEUP); return true;
        case VK_NEXT: OnScroll(SB_VERT, SB_PAGEDOWN); return true;
        case VK_HOME:
        case VK_END: {
            if (key == VK_END && control) FinishLayout();
            if (control) {
                ScrollTo(0, key == VK_HOME ? 0 : std::numeric_limits<int>::max() / 2);
                return true;
            }
            // The top or the foot of the page in view.
            for (const RECT& r : pageRects_) {
                if (r.bottom + kGapPx > scrollY_ + client.bottom / 2 || &r == &pageRects_.back()) {
                    ScrollTo(scrollX_, key == VK_HOME ? r.top - kGapPx : r.bottom + kGapPx - client.bottom);
                    return true;
                }
            }
            return true;
        }
        case 'A':
            if (!control) return false;
            FinishLayout();
            if (const docengine::Layout* layout = CurrentLayout()) Select(0, layout->plainText.size(), false);
            return true;
        case 'C':
        case VK_INSERT:
            if (!control) return false;
            Copy();
            return true;
        default: return false;
    }
}

// ---- The window procedure ------------------------------------------------------------------------

LRESULT CALLBACK TextView::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* view = reinterpret_cast<TextView*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!view) return DefWindowProcW(hwnd, message, wParam, lParam);
    try {
        return view->OnMessage(message, wParam, lParam);
    } catch (...) {
        // Nothing escapes into the system's code: a failure costs that message and is reported
        // as an unexpected error of a command is. A failed paint is not reported: the message
        // box would uncover the view, whose next paint would fail and report again.
        if (message != WM_PAINT) ReportUnexpectedError(GetAncestor(hwnd, GA_ROOT));
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

LRESULT TextView::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT: {
            EnsureLayout();
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd_, &ps);
            RECT client{};
            GetClientRect(hwnd_, &client);
            Paint(dc, client);
            EndPaint(hwnd_, &ps);
            return 0;
        }
        case WM_ERASEBKGND: return 1;
        case WM_SIZE:
            ComputeGeometry();
            UpdateScrollBars();
            InvalidateRect(hwnd_, nullptr, FALSE);
            return 0;
        case WM_TIMER:
            if (wParam == kLayoutTimer) LayOutSome(kTimerLayoutBudgetMs);
            return 0;
        case WM_VSCROLL: OnScroll(SB_VERT, LOWORD(wParam)); return 0;
        case WM_HSCROLL: OnScroll(SB_HORZ, LOWORD(wParam)); return 0;
        case WM_MOUSEWHEEL: {
            const int notches = GET_WHEEL_DELTA_WPARAM(wParam);
            ScrollTo(scrollX_, scrollY_ - notches * 3 * kLinePx / WHEEL_DELTA);
            return 0;
        }
        case WM_GETDLGCODE:
            // Arrows and characters stay here; Tab moves on to the buttons.
            return DLGC_WANTARROWS | DLGC_WANTCHARS;
        case WM_KEYDOWN:
            if (OnKey(wParam)) return 0;
            break;
        case WM_SETFOCUS:
        case WM_KILLFOCUS: InvalidateRect(hwnd_, nullptr, FALSE); return 0;
        case WM_LBUTTONDOWN: {
            ::SetFocus(hwnd_);
            std::size_t index = 0;
            if (HitTest(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}, index)) {
                if (wParam & MK_SHIFT) {
                    Select(anchor_, index, false);
                } else {
                    anchor_ = index;
                    Select(index, index, false);
                }
                dragging_ = true;
                SetCapture(hwnd_);
            }
            return 0;
        }
        case WM_MOUSEMOVE:
            if (dragging_) {
                std::size_t index = 0;
                if (HitTest(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}, index)) Select(anchor_, index, false);
            }
            return 0;
        case WM_LBUTTONUP:
        case WM_CAPTURECHANGED:
            if (dragging_) {
                dragging_ = false;
                if (message == WM_LBUTTONUP) ReleaseCapture();
            }
            return 0;
        case WM_COPY: Copy(); return 0;
        case WM_GETTEXTLENGTH: {
            FinishLayout();
            const docengine::Layout* layout = CurrentLayout();
            return layout ? static_cast<LRESULT>(layout->plainText.size()) : 0;
        }
        case WM_GETTEXT: {
            FinishLayout();
            const docengine::Layout* layout = CurrentLayout();
            auto* buffer = reinterpret_cast<wchar_t*>(lParam);
            if (!buffer || wParam == 0) return 0;
            const std::size_t n = layout ? std::min<std::size_t>(layout->plainText.size(), wParam - 1) : 0;
            if (n > 0) std::memcpy(buffer, layout->plainText.data(), n * sizeof(wchar_t));
            buffer[n] = L'\0';
            return static_cast<LRESULT>(n);
        }
        case WM_SETTEXT: return FALSE;  // the text is the document's
        case EM_GETSEL: {
            const auto [start, end] = Selection();
            if (wParam) *reinterpret_cast<DWORD*>(wParam) = static_cast<DWORD>(start);
            if (lParam) *reinterpret_cast<DWORD*>(lParam) = static_cast<DWORD>(end);
            return MAKELRESULT(std::min(start, 0xFFFF), std::min(end, 0xFFFF));
        }
        case EM_GETFIRSTVISIBLELINE: {
            // Lines wholly above the top of the window.
            const docengine::Layout* layout = CurrentLayout();
            if (!layout || scrollY_ == 0) return 0;
            LRESULT lines = 0;
            for (std::size_t p = 0; p < pageRects_.size() && p < layout->pages.size(); ++p) {
                int last = std::numeric_limits<int>::min();
                for (const docengine::TextItem& item : layout->pages[p].texts) {
                    if (item.baseline == last) continue;
                    last = item.baseline;
                    if (pageRects_[p].top + PxY(item.baseline) < scrollY_) ++lines;
                }
            }
            return lines;
        }
        case WM_NCDESTROY:
            SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
            break;
        default: break;
    }
    return DefWindowProcW(hwnd_, message, wParam, lParam);
}

// ---- Find ----------------------------------------------------------------------------------------

void TextView::Search(std::int16_t mode) {
    if (mode != 1) throw ComError(E_INVALIDARG, L"The view's search takes the argument 1");
    if (findDialog_ && IsWindow(findDialog_)) {
        SetActiveWindow(findDialog_);
        return;
    }
    findDialog_ = nullptr;
    FinishLayout();
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
    FinishLayout();
    const docengine::Layout* layout = CurrentLayout();
    const std::wstring word = request.lpstrFindWhat ? request.lpstrFindWhat : L"";
    const bool down = (request.Flags & FR_DOWN) != 0;
    const bool matchCase = (request.Flags & FR_MATCHCASE) != 0;
    const bool wholeWord = (request.Flags & FR_WHOLEWORD) != 0;
    std::size_t found = std::u16string::npos;
    if (layout && !word.empty() && word.size() <= layout->plainText.size()) {
        const std::u16string& text = layout->plainText;
        const auto same = [&](char16_t a, wchar_t b) {
            return matchCase ? a == b : std::towlower(a) == std::towlower(b);
        };
        const auto matchesAt = [&](std::size_t at) {
            for (std::size_t k = 0; k < word.size(); ++k) {
                if (!same(text[at + k], word[k])) return false;
            }
            if (wholeWord) {
                if (at > 0 && IsWordCharacter(text[at - 1])) return false;
                if (at + word.size() < text.size() && IsWordCharacter(text[at + word.size()])) return false;
            }
            return true;
        };
        const std::size_t a = std::min(selStart_, selEnd_), b = std::max(selStart_, selEnd_);
        const std::size_t lastStart = text.size() - word.size();
        if (down) {
            for (std::size_t at = b; at <= lastStart; ++at) {
                if (matchesAt(at)) {
                    found = at;
                    break;
                }
            }
        } else if (a >= word.size()) {
            // The nearest hit that ends at or before the selection's start.
            for (std::size_t at = std::min(a - word.size(), lastStart) + 1; at-- > 0;) {
                if (matchesAt(at)) {
                    found = at;
                    break;
                }
            }
        }
    }
    if (found == std::u16string::npos) {
        MessageBoxW(findDialog_ ? findDialog_ : parent_, NotFoundMessage(word).c_str(), kFindTitle,
                    MB_OK | MB_ICONINFORMATION);
        return;
    }
    Select(found, found + word.size(), true);
}

// ---- Page count and printing ---------------------------------------------------------------------

std::int32_t TextView::PageCount() {
    FinishLayout();
    const docengine::Layout* layout = CurrentLayout();
    const std::size_t pages = layout ? layout->pages.size() : 0;
    PublishPageCount();
    return static_cast<std::int32_t>(std::min<std::size_t>(pages, std::numeric_limits<std::int32_t>::max()));
}

void TextView::PrintDevice(HDC dc, const DEVMODEW* settings, std::wstring outputFile) {
    printDevice_ = dc;
    printOutput_ = std::move(outputFile);
    printSettings_.clear();
    if (settings && settings->dmSize >= offsetof(DEVMODEW, dmPrintQuality)) {
        const BYTE* bytes = reinterpret_cast<const BYTE*>(settings);
        printSettings_.assign(bytes, bytes + settings->dmSize + settings->dmDriverExtra);
    }
}

void TextView::Print(const std::wstring& path, std::int16_t first, std::int16_t last, std::int16_t copies) {
    HDC dc = printDevice_;
    if (!dc) throw ComError(E_HANDLE, L"No printer has been chosen");
    const PageRange range = ClipPageRange(first, last, PageCount());
    if (range.empty()) return;
    const docengine::Layout& layout = *CurrentLayout();
    WaitCursor wait;

    // Ask the printer for paper of the page's size and orientation. A driver that refuses
    // (ResetDC returns null) leaves the context as it was: the pages go on the printer's paper.
    // A section on other paper (a landscape table in a portrait report) asks again between
    // pages, as the printing interface allows.
    const PageSettings settings = EffectivePage(page_);
    std::pair<std::int32_t, std::int32_t> asked{-1, -1};
    PageTransform transform{};
    const auto askPaper = [&](std::int32_t width, std::int32_t height) {
        if (asked == std::pair{width, height}) return;
        asked = {width, height};
        PageSettings page = settings;
        page.width = width;
        page.height = height;
        const std::vector<BYTE> paper = PaperSettings(printSettings_.data(), printSettings_.size(), page);
        if (!paper.empty()) ResetDCW(dc, reinterpret_cast<const DEVMODEW*>(paper.data()));
        // Device coordinates start at the printable area, which lies inside the paper by the
        // printer's physical offsets: the page is drawn shifted back by them.
        const int dpiX = std::max(GetDeviceCaps(dc, LOGPIXELSX), 1), dpiY = std::max(GetDeviceCaps(dc, LOGPIXELSY), 1);
        transform = PageTransform{static_cast<double>(dpiX) / kTwipsPerInch, static_cast<double>(dpiY) / kTwipsPerInch,
                                  -GetDeviceCaps(dc, PHYSICALOFFSETX), -GetDeviceCaps(dc, PHYSICALOFFSETY)};
    };
    askPaper(settings.width, settings.height);

    const std::wstring name = FileNameOf(path);
    DOCINFOW job{};
    job.cbSize = sizeof job;
    job.lpszDocName = name.c_str();
    job.lpszOutput = printOutput_.empty() ? nullptr : printOutput_.c_str();
    if (StartDocW(dc, &job) <= 0) ThrowLastError(L"Cannot start the print job");
    try {
        for (int copy = 0; copy < std::max<int>(copies, 1); ++copy) {
            for (int n = range.first; n <= range.last; ++n) {
                const docengine::Page& page = layout.pages[static_cast<std::size_t>(n - 1)];
                askPaper(page.width, page.height);
                if (StartPage(dc) <= 0) ThrowLastError(L"Cannot start a printed page");
                RenderPage(dc, layout, static_cast<std::size_t>(n - 1), transform, Metrics(), pictures_);
                if (EndPage(dc) <= 0) ThrowLastError(L"Cannot finish a printed page");
            }
        }
    } catch (...) {
        AbortDoc(dc);
        throw;
    }
    if (EndDoc(dc) <= 0) ThrowLastError(L"Cannot finish the print job");
}

}  // namespace viewer
