// `frmMain`, the viewer's window and its commands: see main_window.h.
#include "main_window.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <array>
#include <utility>

#include "resource.h"
#include "viewer_logic.h"

namespace viewer {

namespace {

constexpr wchar_t kMainClass[] = L"NavrethMain";
constexpr wchar_t kStripClass[] = L"NavrethStrip";

// Stored layout, twips.
constexpr int kFormWidth = 9465;
constexpr int kFormHeight = 5625;
constexpr int kStripHeight = 435;

struct ButtonLayout {
    int id;
    const wchar_t* caption;
    int left;
};
// Buttons start 990 twips apart and are 1005 wide: neighbours overlap by 15 twips.
constexpr std::array<ButtonLayout, 5> kButtons{{
    {kIdOpen, L"&Open", 60},
    {kIdPrint, L"&Print", 1050},
    {kIdFind, L"&Find", 2040},
    {kIdAbout, L"&About", 3030},
    {kIdExit, L"E&xit", 4020},
}};
constexpr int kButtonTop = 60, kButtonWidth = 1005, kButtonHeight = 315;
constexpr int kNoteLeft = 5130, kNoteTop = 120, kNoteWidth = 3975, kNoteHeight = 255;

// Alt plus the access key of each button acts like a click, wherever the focus is.
constexpr std::array<ACCEL, 5> kAccelerators{{
    {FALT | FVIRTKEY, 'O', kIdOpen},
    {FALT | FVIRTKEY, 'P', kIdPrint},
    {FALT | FVIRTKEY, 'F', kIdFind},
    {FALT | FVIRTKEY, 'A', kIdAbout},
    {FALT | FVIRTKEY, 'X', kIdExit},
}};

// The page keys of a document, in the order they are applied, with the view setting each sets.
struct PageKey {
    const wchar_t* key;
    void (TextView::*apply)(std::int32_t);
};
constexpr std::array<PageKey, 6> kPageKeys{{
    {L"DocProperty_PageMarginL", &TextView::PageMarginL},
    {L"DocProperty_PageMarginR", &TextView::PageMarginR},
    {L"DocProperty_PageMarginT", &TextView::PageMarginT},
    {L"DocProperty_PageMarginB", &TextView::PageMarginB},
    {L"DocProperty_PageHeight", &TextView::PageHeight},
    {L"DocProperty_PageWidth", &TextView::PageWidth},
}};

HWND CreateChild(const wchar_t* className, const wchar_t* text, DWORD style, HWND parent, int id,
                 RECT px, HINSTANCE instance) {
    HWND child = CreateWindowExW(0, className, text, WS_CHILD | WS_VISIBLE | style, px.left, px.top,
                                 px.right - px.left, px.bottom - px.top, parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    if (!child) ThrowLastError(L"Cannot create a control of the window");
    return child;
}

}  // namespace

frmMain::frmMain(HINSTANCE instance) : instance_(instance) {
    {
        const UniqueScreenDc screen(GetDC(nullptr));
        dpiX_ = GetDeviceCaps(screen.Get(), LOGPIXELSX);
        dpiY_ = GetDeviceCaps(screen.Get(), LOGPIXELSY);
    }

    HICON bigIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_NAVRETH), IMAGE_ICON,
                                                  GetSystemMetrics(SM_CXICON),
                                                  GetSystemMetrics(SM_CYICON), 0));
    HICON smallIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_NAVRETH), IMAGE_ICON,
                                                    GetSystemMetrics(SM_CXSMICON),
                                                    GetSystemMetrics(SM_CYSMICON), 0));
    WNDCLASSEXW main{};
    main.cbSize = sizeof main;
    main.lpfnWndProc = WindowProc;
    main.hInstance = instance;
    main.hIcon = bigIcon;
    main.hIconSm = smallIcon;
    main.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    main.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
    main.lpszClassName = kMainClass;
    WNDCLASSEXW strip{};
    strip.cbSize = sizeof strip;
    strip.lpfnWndProc = StripProc;
    strip.hInstance = instance;
    strip.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    strip.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    strip.lpszClassName = kStripClass;
    if (!RegisterClassExW(&main) || !RegisterClassExW(&strip)) ThrowLastError(L"Cannot register the window");

    // The inner area is the stored 9465 x 5625 twips.
    const DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    RECT outer{0, 0, TwipsToPixels(kFormWidth, dpiX_), TwipsToPixels(kFormHeight, dpiY_)};
    AdjustWindowRectEx(&outer, style, FALSE, WS_EX_CONTROLPARENT);
    hwnd_ = CreateWindowExW(WS_EX_CONTROLPARENT, kMainClass, kWindowCaption, style, CW_USEDEFAULT,
                            CW_USEDEFAULT, outer.right - outer.left, outer.bottom - outer.top,
                            nullptr, nullptr, instance, this);
    if (!hwnd_) ThrowLastError(L"Cannot create the window");
    findMessage_ = RegisterWindowMessageW(FINDMSGSTRINGW);
    accelerators_.Reset(CreateAcceleratorTableW(const_cast<ACCEL*>(kAccelerators.data()),
                                                static_cast<int>(kAccelerators.size())));
    cdl.Owner(hwnd_);
    try {
        CreateControls();
        Form_Load();
    } catch (...) {
        // Start-up failed: the window goes without running its unload (which would post the
        // quit message and end the caller's error message at once) and without reaching this
        // half-made object again. The accelerators and the font go with the members.
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(std::exchange(hwnd_, nullptr));
        throw;
    }
}

// The window (and its controls, which use the font) goes first; the font and the
// accelerators go with the members after it.
frmMain::~frmMain() {
    if (hwnd_) DestroyWindow(hwnd_);
}

void frmMain::CreateControls() {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        font_.Reset(CreateFontIndirectW(&metrics.lfMessageFont));
    }
    const auto px = [&](int left, int top, int width, int height) {
        return RECT{TwipsToPixels(left, dpiX_), TwipsToPixels(top, dpiY_),
                    TwipsToPixels(left + width, dpiX_), TwipsToPixels(top + height, dpiY_)};
    };
    const auto setFont = [&](HWND control) {
        if (font_) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_.Get()), FALSE);
    };

    // Created in tab order: the view first (tab index 0), then the strip and its controls.
    txText = std::make_unique<TextView>(hwnd_, kIdText, 0, kStripHeight, kFormWidth,
                                        kFormHeight - kStripHeight);
    Picture1 = CreateWindowExW(WS_EX_CONTROLPARENT, kStripClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS,
                               0, 0, TwipsToPixels(kFormWidth, dpiX_), TwipsToPixels(kStripHeight, dpiY_),
                               hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdPicture1)),
                               instance_, nullptr);
    if (!Picture1) ThrowLastError(L"Cannot create the button strip");
    HWND* buttons[] = {&cmdOpen, &cmdPrint, &cmdFind, &cmdAbout, &cmdExit};
    for (std::size_t i = 0; i < kButtons.size(); ++i) {
        const ButtonLayout& b = kButtons[i];
        *buttons[i] = CreateChild(L"Button", b.caption, WS_TABSTOP | BS_PUSHBUTTON, Picture1, b.id,
                                  px(b.left, kButtonTop, kButtonWidth, kButtonHeight), instance_);
        setFont(*buttons[i]);
    }
    lblTitleNote = CreateChild(L"Static", kTitleNote, SS_LEFT | SS_NOPREFIX, Picture1, kIdTitleNote,
                               px(kNoteLeft, kNoteTop, kNoteWidth, kNoteHeight), instance_);
    setFont(lblTitleNote);
}

// Start-up: the view hidden and set up, the three objects created and kept, no document.
void frmMain::Form_Load() {
    txText->Visible(false);
    txText->ViewMode(2);
    txText->EditMode(2);
    objFileBlock = CreateByClassId<_ckxFileBlock>(__uuidof(ckxFileBlock), L"ckxFileBlock (DocFile.dll)");
    objDocHeader = CreateByClassId<_ckxDocHeader>(__uuidof(ckxDocHeader), L"ckxDocHeader (DocFile.dll)");
    objDataPak = CreateByClassId<_ckxDataPak>(__uuidof(ckxDataPak), L"ckxDataPak (Sorbel.dll)");
    strDocFileSpec.clear();
}

void frmMain::Show(int showCommand) {
    ShowWindow(hwnd_, showCommand);
    UpdateWindow(hwnd_);
}

int frmMain::ScaleWidthTwips() const {
    RECT client;
    GetClientRect(hwnd_, &client);
    return static_cast<int>(PixelsToTwips(client.right, dpiX_));
}

int frmMain::ScaleHeightTwips() const {
    RECT client;
    GetClientRect(hwnd_, &client);
    return static_cast<int>(PixelsToTwips(client.bottom, dpiY_));
}

// Resize: the strip follows the window's width; the view fills the whole area below the strip.
void frmMain::Form_Resize() {
    try {
        RECT client;
        GetClientRect(hwnd_, &client);
        SetWindowPos(Picture1, nullptr, 0, 0, client.right, TwipsToPixels(kStripHeight, dpiY_),
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        txText->Width(static_cast<float>(ScaleWidthTwips()));
        const int viewTop = TwipsToPixels(kStripHeight, dpiY_);
        txText->Height(static_cast<float>(PixelsToTwips(std::max<LONG>(client.bottom - viewTop, 0), dpiY_)));
    } catch (...) {
        // Layout is best effort: a failure here leaves the controls where they were.
    }
}

// Unload: the objects are released with the window; the program ends.
void frmMain::Form_Unload() {
    txText->Visible(false);
    txText->RemoveProperties();
    objDataPak.Reset();
    objDocHeader.Reset();
    objFileBlock.Reset();
    PostQuitMessage(0);
}

// ---- Open ------------------------------------------------------------------------------------

void frmMain::handFileOpen() {
    try {
        cdl.Filter(kOpenFilter);
        cdl.DialogTitle(kOpenDialogTitle);
        cdl.CancelError(true);
        cdl.ShowOpen();
    } catch (...) {
        return;  // the dialog failed: nothing has changed
    }
    if (cdl.Cancelled()) return;

    txText->Visible(false);
    strDocFileSpec.clear();
    txText->SelStart(0);
    txText->SelLength(0);

    std::int32_t status = 0;
    FileOpen(cdl.FileName(), status);
    if (status != 0) {
        MessageBoxW(hwnd_, OpenFailureMessage(status).c_str(), kOpenTitle, MB_OK | MB_ICONWARNING);
        return;
    }
    txText->Visible(true);
    txText->SetFocus();
    for (std::int16_t at : {0, 1, 0}) {
        txText->SelStart(at);
        txText->SelLength(at);
    }
    strDocFileSpec = cdl.FileName();
}

// Loads the document: header, package bytes, package, text, page settings. Every step that
// fails, by its reported status or by an error it raises, sets that step's status and ends.
void frmMain::FileOpen(const std::wstring& pFileSpec, std::int32_t& pStatus) {
    OpenStep step = OpenStep::Header;
    try {
        UniqueBstr fileSpec(pFileSpec);
        ThrowIfFailed(objDocHeader->put_FileSpec(fileSpec.Get()), L"ckxDocHeader.FileSpec");
        long headerStatus = 0;
        ThrowIfFailed(objDocHeader->get_Status(&headerStatus), L"ckxDocHeader.Status");
        pStatus = HeaderStatus(headerStatus);
        if (pStatus != 0) return;
        long P = 0, L = 0;
        ThrowIfFailed(objDocHeader->get_PackageOffset(&P), L"ckxDocHeader.PackageOffset");
        ThrowIfFailed(objDocHeader->get_PackageLength(&L), L"ckxDocHeader.PackageLength");

        step = OpenStep::Block;
        long start = CheckedAdd32(P, 1);
        long length = L;
        long blockStatus = 0;
        UniqueSafeArray bytes;
        ThrowIfFailed(objFileBlock->ReadBlock(fileSpec.InOut(), &start, &length, bytes.Put(), &blockStatus),
                      L"ckxFileBlock.ReadBlock");
        pStatus = BlockStatus(blockStatus);
        if (pStatus != 0) return;

        step = OpenStep::Package;
        ThrowIfFailed(objDataPak->put_Package(bytes.InOut()), L"ckxDataPak.Package");
        ckxDataPak_ErrorNumber errorNumber = ckxDataPak_errNoError;
        ThrowIfFailed(objDataPak->ErrorNumber(&errorNumber), L"ckxDataPak.ErrorNumber");
        pStatus = PackageStatus(errorNumber);
        if (pStatus != 0) return;

        step = OpenStep::Text;
        ThrowIfFailed(objDocHeader->get_PackageOffset(&P), L"ckxDocHeader.PackageOffset");
        ThrowIfFailed(objDocHeader->get_PackageLength(&L), L"ckxDocHeader.PackageLength");
        const std::int32_t textStart = CheckedAdd32(CheckedAdd32(P, L), 1);
        pStatus = TextStatus(txText->LoadText(pFileSpec, textStart));
        if (pStatus != 0) return;

        PageSettings_Load();
        pStatus = 0;
    } catch (...) {
        // A raised error is a failure of the step that raised it, never a loaded document.
        pStatus = OpenFailureStatus(step);
    }
}

// Applies the six page keys of the package to the view. A key that is absent, or whose value
// does not convert (letters, a minus sign, beyond 32 bits), sets 0: the layout then comes from
// this document alone and never from whichever document was open before. A failed read of
// one key costs only that key.
void frmMain::PageSettings_Load() {
    for (const PageKey& page : kPageKeys) {
        try {
            UniqueBstr key(page.key);
            UniqueBstr value;
            ThrowIfFailed(objDataPak->get_Data(key.InOut(), value.Put()), L"ckxDataPak.Data");
            (txText.get()->*page.apply)(PageValueOrZero(value.Text()));
        } catch (...) {
            (txText.get()->*page.apply)(0);
        }
    }
}

// ---- Find, Print, About ---------------------------------------------------------------------

void frmMain::handFind() {
    if (txText->Visible()) {
        txText->Search(1);
        return;
    }
    MessageBoxW(hwnd_, kFindNoDocument, kFindTitle, MB_OK | MB_ICONWARNING);
}

void frmMain::handFilePrint() {
    if (!txText->Visible()) {
        MessageBoxW(hwnd_, kPrintNoDocument, kPrintTitle, MB_OK | MB_ICONWARNING);
        return;
    }
    // Each step that fails is abandoned and the next one runs: a page count beyond the
    // dialog's 16-bit numbers leaves the last and highest pages as they were.
    const auto absorb = [](auto&& step) {
        try {
            step();
        } catch (...) {
        }
    };
    absorb([&] { cdl.Copies(1); });
    absorb([&] { cdl.FromPage(1); });
    absorb([&] { cdl.ToPage(PageNumberTo16(txText->PageCount())); });
    absorb([&] { cdl.Min(1); });
    absorb([&] { cdl.Max(PageNumberTo16(txText->PageCount())); });
    cdl.Flags(PD_PAGENUMS | PD_NOSELECTION | PD_RETURNDC | PD_HIDEPRINTTOFILE);
    cdl.CancelError(true);
    try {
        cdl.ShowPrinter();
    } catch (...) {
        return;  // the dialog failed: nothing is printed, nothing is said
    }
    if (cdl.Cancelled()) return;
    absorb([&] { txText->PrintDevice(cdl.hDC(), cdl.DevMode()); });
    // One copy: a larger count chosen in the dialog reaches the printer through its own settings.
    absorb([&] { txText->Print(strDocFileSpec, cdl.FromPage(), cdl.ToPage(), 1); });
}

void frmMain::handAbout() {
    const std::wstring text = AboutText();
    MSGBOXPARAMSW box{};
    box.cbSize = sizeof box;
    box.hwndOwner = hwnd_;
    box.hInstance = instance_;
    box.lpszText = text.c_str();
    box.lpszCaption = kAboutTitle;
    box.dwStyle = MB_OK | MB_USERICON;
    box.lpszIcon = MAKEINTRESOURCEW(IDI_NAVRETH);
    MessageBoxIndirectW(&box);
}

// ---- Messages ---------------------------------------------------------------------------------

// A click on a button or its access key; other WM_COMMANDs (Enter and Escape turned into
// IDOK and IDCANCEL by the keyboard handling) are not commands.
bool frmMain::OnCommand(WPARAM wParam, LPARAM lParam) {
    const int id = LOWORD(wParam);
    const bool fromAccelerator = HIWORD(wParam) == 1 && lParam == 0;
    const HWND source = reinterpret_cast<HWND>(lParam);
    const bool fromButton = HIWORD(wParam) == BN_CLICKED && source && GetParent(source) == Picture1;
    if (!fromAccelerator && !fromButton) return false;
    // Modal dialogs run their own message loops: a command that arrives meanwhile (a message
    // posted to the window) waits for nobody and is dropped, as a click would be.
    if (busy_) return true;
    struct Busy {
        bool& flag;
        explicit Busy(bool& f) : flag(f) { flag = true; }
        ~Busy() { flag = false; }
    } busy(busy_);
    try {
        switch (id) {
            case kIdOpen: handFileOpen(); break;
            case kIdPrint: handFilePrint(); break;
            case kIdFind: handFind(); break;
            case kIdAbout: handAbout(); break;
            case kIdExit: DestroyWindow(hwnd_); break;
            default: return false;
        }
    } catch (...) {
        // An unexpected error ends the command, not the program.
        ReportUnexpectedError(hwnd_);
    }
    return true;
}

LRESULT frmMain::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == findMessage_ && findMessage_ != 0) {
        if (txText) txText->OnFindMessage(*reinterpret_cast<const FINDREPLACEW*>(lParam));
        return 0;
    }
    switch (message) {
        case WM_SIZE:
            if (wParam != SIZE_MINIMIZED && txText) Form_Resize();
            return 0;
        case WM_COMMAND:
            if (OnCommand(wParam, lParam)) return 0;
            break;
        case WM_CLOSE:
            // A command's modal dialog is up (a close can still arrive as a posted message):
            // the window stays until the command has ended.
            if (busy_) return 0;
            break;
        case WM_DESTROY:
            Form_Unload();
            return 0;
        default:
            break;
    }
    return DefWindowProcW(hwnd_, message, wParam, lParam);
}

LRESULT CALLBACK frmMain::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<frmMain*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<frmMain*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    // Nothing unwinds through DispatchMessage: a failure (running out of memory while the
    // view answers the Find dialog, for instance) ends that message and is reported as an
    // unexpected error of a command is.
    try {
        return self->OnMessage(message, wParam, lParam);
    } catch (...) {
        ReportUnexpectedError(hwnd);
        return 0;
    }
}

// The strip hands its buttons' clicks to the window and paints its label on its own colour.
LRESULT CALLBACK frmMain::StripProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            return SendMessageW(GetParent(hwnd), WM_COMMAND, wParam, lParam);
        case WM_CTLCOLORSTATIC:
            SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_BTNFACE));
            SetTextColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_BTNTEXT));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

// Keyboard handling in order: the access keys (for the window and everything in it), then
// the Find dialog's own keys, then Tab, the arrows, Enter and Escape among the window's
// controls. Typed characters never take the dialog route in the window: there a plain
// letter would press the button whose access key it is whenever the focused control does
// not ask for characters (a button, or the view), and a plain "x" would end the program.
// Only Alt plus the letter acts, through the accelerators.
bool frmMain::TranslateKeys(MSG& msg) {
    if (hwnd_ && (msg.hwnd == hwnd_ || IsChild(hwnd_, msg.hwnd)) &&
        TranslateAcceleratorW(hwnd_, accelerators_.Get(), &msg)) {
        return true;
    }
    if (txText && txText->FindDialog() && IsDialogMessageW(txText->FindDialog(), &msg)) return true;
    if (msg.message == WM_CHAR) return false;
    return hwnd_ && IsDialogMessageW(hwnd_, &msg);
}

int frmMain::Run() {
    MSG msg;
    BOOL got;
    while ((got = GetMessageW(&msg, nullptr, 0, 0)) != 0) {
        if (got == -1) return 1;
        if (TranslateKeys(msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

}  // namespace viewer
