// Drives the real Navreth.exe window as a person would and checks what it shows.
//
//   navreth_ui_test.exe --viewer PATH --samples DIR --sync DIR [gtest options]
//   navreth_ui_test.exe --viewer PATH --samples DIR --sync DIR --demo SAMPLE
//   navreth_ui_test.exe --viewer PATH --samples DIR --fidelity FILE --out RESULT [--timeout S]
//
// The first form runs the scenarios, one GoogleTest case each (NavrethUi.*); CTest runs each
// on its own (tests/viewer/CMakeLists.txt). The second opens a sample for scripts/run.sh's
// screenshot. The third serves tools/fidelity: it opens one document, reads the view's text, prints
// every page and writes down what happened, without judging it (see Fidelity below).
//
// Each scenario starts its own Navreth process (in the samples folder, so the Open dialog
// starts there), clicks its buttons, answers its dialogs and reads its windows from outside:
// captions, static texts, the text view's text, selection, rectangle and the "Navreth.*"
// page-setting properties it publishes for tests. Expected page settings come from reading
// the sample files here, independently of the viewer.
//
// Some checks need the Linux side (screenshots, the PDFs that the print queue writes). For
// those the driver prints "REQUEST <n> <what>" on stdout and waits for the runner script to
// write <sync>/<n>.reply, whose first line is "ok" or "fail: <reason>".
#include <gtest/gtest.h>

#include <windows.h>
#include <commdlg.h>
#include <winspool.h>
#include <richedit.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <cwchar>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "orl_oracle.h"
#include "ui_driver.h"

namespace {

// ---- Contract of the viewer's window ------------------------------------------------------

constexpr wchar_t kCaption[] = L"Orlenne Document Viewer v 1.01";
constexpr wchar_t kMainClass[] = L"NavrethMain";
constexpr wchar_t kStripClass[] = L"NavrethStrip";
constexpr wchar_t kViewClass[] = L"NavrethTextView";
constexpr wchar_t kLabelText[] = L"Click \"Open\" to view an Orlenne document.";
constexpr int kIdOpen = 2, kIdPrint = 3, kIdFind = 4, kIdAbout = 5, kIdExit = 6, kIdLabel = 7;
constexpr int kIdView = 100;
constexpr int kStripTwips = 435;

struct ButtonSpec {
    int id;
    const wchar_t* caption;
    wchar_t accessKey;
};
constexpr ButtonSpec kButtons[] = {
    {kIdOpen, L"&Open", L'O'},   {kIdPrint, L"&Print", L'P'}, {kIdFind, L"&Find", L'F'},
    {kIdAbout, L"&About", L'A'}, {kIdExit, L"E&xit", L'X'},
};

constexpr wchar_t kOpenTitle[] = L"Open Orlenne Document";
constexpr wchar_t kOpenFailureTitle[] = L"Open Document";
constexpr wchar_t kFindTitle[] = L"Find";
constexpr wchar_t kPrintMessageTitle[] = L"Print Document";
constexpr wchar_t kAboutTitle[] = L"About";
constexpr wchar_t kFindNeedsDocument[] =
    L"A document must first be opened before you can perform a search.";
constexpr wchar_t kPrintNeedsDocument[] = L"A document must first be opened before you can print.";

// Common-dialog control IDs, as Wine's comdlg32 lays them out (they match Windows' dlgs.h).
constexpr int kIdFileTypeCombo = 0x470;  // cmb1
constexpr int kIdFileNameBox = 0x47C;    // cmb13 (in Wine: ComboBoxEx32 > ComboBox > Edit, all 0x47C)
constexpr int kIdEdt1 = 0x480;           // find-what edit; print "from" edit; old-style file name
constexpr int kIdEdt2 = 0x481;           // print "to" edit
constexpr int kIdCopies = 0x482;         // print copies edit (edt3)
constexpr int kIdPrinterCombo = 0x473;   // cmb4
constexpr int kIdPrintToFile = 0x410;    // chx1
constexpr int kIdRangeAll = 0x420;       // rad1
constexpr int kIdRangeSelection = 0x421; // rad2
constexpr int kIdRangePages = 0x422;     // rad3
constexpr int kIdMatchCase = 0x411;     // chx2 of the Find dialog
constexpr int kIdDirectionUp = 0x420;    // rad1 of the Find dialog
constexpr int kIdDirectionDown = 0x421;  // rad2 of the Find dialog
constexpr int kIdMessageIcon = 0x440;    // the icon of a message box (Wine's MSGBOX_IDICON)
constexpr int kWait = 10000;             // generous: Wine is slow to bring a dialog up

// ---- The samples ----------------------------------------------------------------------------

struct Sample {
    const wchar_t* file;
    int status;              // 0 for a good document, else the number in the failure message
    const wchar_t* phrase;   // text the view must contain when it opens
};

// Kept in step with samples/README.md.
// Good and broken documents alternate so that each open also starts from a different state.
const Sample kSamples[] = {
    {L"short.orl", 0, L"The harbour committee met on Tuesday."},
    {L"broken-signature.orl", -60, nullptr},
    {L"long.orl", 0, L"Orlenne Harbour Survey"},
    {L"broken-package-title.orl", -80, nullptr},
    {L"a5-landscape.orl", 0, L"Notice of Closure"},
    {L"broken-text-not-rtf.orl", -72, nullptr},
    {L"broken-version.orl", -60, nullptr},
    {L"broken-package-outside.orl", -60, nullptr},
    {L"broken-truncated.orl", -60, nullptr},
    {L"broken-package-type.orl", -80, nullptr},
    {L"broken-text-empty.orl", -72, nullptr},
};
constexpr wchar_t kLongSample[] = L"long.orl";
constexpr wchar_t kShortSample[] = L"short.orl";

// ---- Bookkeeping ----------------------------------------------------------------------------

std::wstring g_samples;  // folder of the sample documents (Windows path)
std::wstring g_viewer;   // Navreth.exe
std::wstring g_sync;     // folder where the runner answers requests
int g_requests = 0;

void Print(const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// A GoogleTest expectation that also tells the scenario whether to go on.
bool Check(bool ok, const std::string& what) {
    EXPECT_TRUE(ok) << what;
    return ok;
}

template <typename T, typename U>
bool CheckEqual(const T& actual, const U& expected, const std::string& what) {
    EXPECT_EQ(actual, T(expected)) << what;
    return actual == T(expected);
}

std::wstring SamplePath(const std::wstring& file) {
    return g_samples + L"\\" + file;
}

// Asks the runner script for something only the Linux side can do; true when it says "ok".
bool Request(const std::string& what, std::string* reply = nullptr) {
    const int id = ++g_requests;
    const std::wstring replyPath = g_sync + L"\\" + std::to_wstring(id) + L".reply";
    Print("REQUEST " + std::to_string(id) + " " + what);
    std::string line;
    const bool answered = ui::WaitUntil(
        [&] {
            std::ifstream file{std::filesystem::path(replyPath)};
            return file && std::getline(file, line) && !line.empty();
        },
        120000);
    if (reply) *reply = answered ? line : "no answer from the runner";
    return answered && line == "ok";
}

// ---- The viewer process -----------------------------------------------------------------------

// Sends WM_NULL and waits up to `ms` for the viewer's window thread to handle it: true once
// the thread is back in its message loop (a load or a print job has finished).
bool Responds(HWND window, int ms) {
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, static_cast<UINT>(ms), &ignored) != 0;
}

class Viewer {
public:
    Viewer() { Start(); }
    ~Viewer() { Kill(); }
    Viewer(const Viewer&) = delete;
    Viewer& operator=(const Viewer&) = delete;

    bool Started() const { return main_ != nullptr; }
    DWORD Pid() const { return process_.dwProcessId; }
    HWND Main() const { return main_; }
    HWND View() const { return GetDlgItem(main_, kIdView); }
    HWND Strip() const { return FindWindowExW(main_, nullptr, kStripClass, nullptr); }
    HWND Button(int id) const { return ui::Descendant(main_, id); }

    void Click(int id) const { ui::Click(Button(id)); }
    bool Running() const { return WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT; }
    bool WaitExit(int ms) const { return WaitForSingleObject(process_.hProcess, ms) == WAIT_OBJECT_0; }
    DWORD ExitCode() const {
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(process_.hProcess, &code);
        return code;
    }

    bool ViewShown() const { return ui::IsShown(View()); }
    std::wstring ViewText() const { return ui::TextOf(View()); }
    long Prop(const wchar_t* name) const {
        return static_cast<long>(reinterpret_cast<intptr_t>(GetPropW(View(), name)));
    }
    bool HasProp(const wchar_t* name) const { return GetPropW(View(), name) != nullptr; }
    // The page settings and count are published as an open finishes, which may be just after
    // the view shows. The width is applied last: in a viewer that had no document before, a
    // published width means that all the settings and the count for them are there.
    bool WaitPageSettings() const {
        return ui::WaitUntil([&] { return Prop(L"Navreth.PageWidth") > 0 && Prop(L"Navreth.PageCount") > 0; },
                             kWait);
    }

    // The selection of the view (start, end) as EM_GETSEL packs it.
    std::pair<int, int> Selection() const {
        DWORD_PTR packed = 0;
        SendMessageTimeoutW(View(), EM_GETSEL, 0, 0, SMTO_ABORTIFHUNG, 5000, &packed);
        return {LOWORD(packed), HIWORD(packed)};
    }

    // The window with the keyboard focus in the viewer's user-interface thread.
    HWND Focus() const {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        GetGUIThreadInfo(GetWindowThreadProcessId(main_, nullptr), &info);
        return info.hwndFocus;
    }

    // Waits until the window thread is back in a message loop, its own or a modal one: what a
    // command it was handling would show is up by then. Two round trips, as a dialog box
    // shows itself when its loop first finds the queue empty, after the first at the latest.
    bool Settled(int ms = kWait) const { return Responds(main_, ms) && Responds(main_, ms); }

    // Waits until the process has no dialog or message box up.
    bool WaitNoDialog(int ms = kWait) const {
        return ui::WaitUntil([&] { return ui::Dialogs(Pid()).empty(); }, ms);
    }

    // Clicks Open, types `path` into the dialog and presses its Open button. Returns false
    // (after a failed check) when the dialog did not come up or did not close.
    bool ChooseInOpenDialog(const std::wstring& path) const {
        HWND dialog = ui::WaitDialog(Pid(), kOpenTitle, 0, kWait);
        if (!Check(dialog != nullptr, "the \"Open Orlenne Document\" dialog appears")) return false;
        HWND name = FileNameEdit(dialog);
        if (!Check(name != nullptr, "the open dialog has a file-name edit")) return false;
        ui::SetText(name, path);
        ui::PressDialogButton(dialog, IDOK);
        return Check(ui::WaitUntil([&] { return !IsWindow(dialog); }, kWait),
                     "the open dialog closes after OK");
    }

    // The whole Open command for a sample; afterwards the view is shown or a message is up.
    // The viewer loads on its window thread after the open dialog closes, so the open has ended
    // only once that thread answers again: a view still shown from the last document would
    // otherwise pass for the new one while the viewer is about to hide it.
    bool Open(const std::wstring& file) const {
        Click(kIdOpen);
        if (!ChooseInOpenDialog(SamplePath(file))) return false;
        return ui::WaitUntil(
            [&] {
                return Responds(main_, 1000) &&
                       (ViewShown() || ui::FindDialog(Pid(), kOpenFailureTitle) != nullptr);
            },
            kWait);
    }

    void Kill() {
        if (!process_.hProcess) return;
        if (Running()) {
            TerminateProcess(process_.hProcess, 1);
            WaitExit(5000);
        }
        CloseHandle(process_.hProcess);
        CloseHandle(process_.hThread);
        process_ = {};
    }

    static HWND FileNameEdit(HWND dialog) {
        for (HWND child : ui::Descendants(dialog)) {
            const int id = GetDlgCtrlID(child);
            if ((id == kIdFileNameBox || id == kIdEdt1) && ui::ClassOf(child) == L"Edit") return child;
        }
        return nullptr;
    }

private:
    void Start() {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        std::wstring command = L"\"" + g_viewer + L"\"";
        if (!CreateProcessW(g_viewer.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                            g_samples.c_str(), &startup, &process_)) {
            Check(false, "Navreth.exe starts (CreateProcess error " + std::to_string(GetLastError()) + ")");
            return;
        }
        WaitForInputIdle(process_.hProcess, kWait);
        ui::WaitUntil(
            [&] {
                for (HWND window : ui::TopLevelWindows(Pid())) {
                    if (ui::ClassOf(window) == kMainClass) main_ = window;
                }
                return main_ != nullptr || !Running();
            },
            20000);
        if (!main_) {
            Check(false, "the Navreth main window appears");
            for (HWND window : ui::TopLevelWindows(Pid(), false)) ui::Dump(window);
        }
    }

    PROCESS_INFORMATION process_{};
    HWND main_ = nullptr;
};

// A message box of the viewer: the dialog with `title` (and no find-what edit, which tells
// it from the Find dialog of the same title), its text, and whether it shows an icon.
struct MessageBoxSeen {
    HWND window = nullptr;
    std::wstring text;
    bool icon = false;
};

MessageBoxSeen WaitMessageBox(const Viewer& viewer, const std::wstring& title, int ms = kWait) {
    MessageBoxSeen seen;
    seen.window = ui::WaitDialog(viewer.Pid(), title, -kIdEdt1, ms);
    if (seen.window) {
        seen.text = ui::StaticText(seen.window);
        HWND icon = GetDlgItem(seen.window, kIdMessageIcon);
        seen.icon = icon && ui::IsShown(icon);
    }
    return seen;
}

bool CloseMessageBox(const Viewer& viewer, const MessageBoxSeen& box) {
    if (!box.window) return false;
    ui::PressDialogButton(box.window, IDOK);
    const bool gone = ui::WaitUntil([&] { return !IsWindow(box.window); }, kWait);
    return gone && viewer.WaitNoDialog();
}

// Checks that a message box with `title` and exactly `text` comes up, then closes it.
void ExpectMessage(const Viewer& viewer, const std::wstring& title, const std::wstring& text,
                   bool warning, const std::string& what) {
    MessageBoxSeen box = WaitMessageBox(viewer, title);
    if (!Check(box.window != nullptr, what + ": a message box titled \"" + ui::Narrow(title) + "\" appears")) {
        for (HWND window : ui::TopLevelWindows(viewer.Pid())) ui::Dump(window);
        return;
    }
    CheckEqual(box.text, text, what + ": message text");
    if (warning) Check(box.icon, what + ": the message shows the warning icon");
    Check(CloseMessageBox(viewer, box), what + ": OK closes the message");
}

// What a person sees of the window, for "nothing changed" checks.
struct WindowState {
    std::wstring caption;
    bool viewShown = false;
    std::wstring viewText;
    RECT windowRect{};
    RECT viewRect{};
    bool operator==(const WindowState& other) const {
        return caption == other.caption && viewShown == other.viewShown &&
               viewText == other.viewText && EqualRect(&windowRect, &other.windowRect) &&
               EqualRect(&viewRect, &other.viewRect);
    }
};

WindowState StateOf(const Viewer& viewer) {
    WindowState state;
    state.caption = ui::TextOf(viewer.Main());
    state.viewShown = viewer.ViewShown();
    state.viewText = viewer.ViewText();
    GetWindowRect(viewer.Main(), &state.windowRect);
    GetWindowRect(viewer.View(), &state.viewRect);
    return state;
}

std::vector<std::wstring> Lines(const std::wstring& text) {
    std::vector<std::wstring> lines(1);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') continue;
        if (text[i] == L'\n' || text[i] == L'\r') {
            lines.emplace_back();
        } else {
            lines.back() += text[i];
        }
    }
    return lines;
}

// The view's character position of `index` in its WM_GETTEXT text: the view counts a
// paragraph break as one character, WM_GETTEXT may hand it out as "\r\n".
int ViewPosition(const std::wstring& text, size_t index) {
    int position = 0;
    for (size_t i = 0; i < index; ++i) {
        if (text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') continue;
        ++position;
    }
    return position;
}

// Checks the six page settings the viewer applied against the sample's own page keys.
void ExpectPageSettings(const Viewer& viewer, const std::wstring& file) {
    auto records = oracle::ReadDocumentProperties(SamplePath(file));
    if (!Check(records.has_value(), ui::Narrow(file) + ": the sample's package can be read here")) return;
    for (const oracle::PageKey& key : oracle::kPageKeys) {
        auto found = records->find(key.key);
        const std::string stored = found == records->end() ? std::string() : found->second;
        const auto expected = oracle::PageValue(stored);
        if (!expected) continue;  // a value that does not convert keeps the earlier setting
        CheckEqual(viewer.Prop(key.prop), static_cast<long>(*expected),
                   ui::Narrow(file) + ": " + ui::Narrow(key.prop) + " from " + key.key + "=\"" + stored + "\"");
    }
    Check(viewer.Prop(L"Navreth.PageCount") >= 1, ui::Narrow(file) + ": Navreth.PageCount is at least 1");
}

// ---- Scenarios --------------------------------------------------------------------------------

void StartUpState() {
    Viewer viewer;
    if (!viewer.Started()) return;
    CheckEqual(ui::TextOf(viewer.Main()), std::wstring(kCaption), "caption");
    HWND strip = viewer.Strip();
    Check(strip != nullptr, "the button strip (NavrethStrip) is a child of the window");
    for (const ButtonSpec& spec : kButtons) {
        HWND button = strip ? GetDlgItem(strip, spec.id) : nullptr;
        if (!Check(button != nullptr, "button ID " + std::to_string(spec.id) + " is on the strip")) continue;
        CheckEqual(ui::ClassOf(button), std::wstring(L"Button"), "button " + std::to_string(spec.id) + " class");
        CheckEqual(ui::TextOf(button), std::wstring(spec.caption), "button " + std::to_string(spec.id) + " caption");
        Check(ui::IsShown(button) && IsWindowEnabled(button),
              "button " + ui::Narrow(spec.caption) + " is shown and enabled");
    }
    HWND label = strip ? GetDlgItem(strip, kIdLabel) : nullptr;
    if (Check(label != nullptr, "the label (ID 7) is on the strip")) {
        CheckEqual(ui::TextOf(label), std::wstring(kLabelText), "label text");
    }
    HWND view = viewer.View();
    if (Check(view != nullptr, "the text view (ID 100) is a child of the window")) {
        // Window class names compare without regard to case.
        Check(_wcsicmp(ui::ClassOf(view).c_str(), kViewClass) == 0,
              "text view class is NavrethTextView (" + ui::Narrow(ui::ClassOf(view)) + ")");
        Check(!viewer.ViewShown(), "the text view is hidden at start-up");
    }
    Check(viewer.WaitNoDialog(0), "no dialog or message at start-up");
}

void AboutBox() {
    Viewer viewer;
    if (!viewer.Started()) return;
    const WindowState before = StateOf(viewer);
    viewer.Click(kIdAbout);
    MessageBoxSeen box = WaitMessageBox(viewer, kAboutTitle);
    if (!Check(box.window != nullptr, "About opens a box titled \"About\"")) return;
    const std::vector<std::wstring> lines = Lines(box.text);
    CheckEqual(static_cast<int>(lines.size()), 10, "the About text has ten lines");
    CheckEqual(lines[0], std::wstring(L"The Orlenne Document Viewer"), "About line 1");
    if (lines.size() > 1) CheckEqual(lines[1], std::wstring(L"Version 1.01"), "About line 2");
    if (lines.size() > 2) Check(lines[2].empty(), "About line 3 is empty");
    Check(CloseMessageBox(viewer, box), "OK closes the About box");
    Check(StateOf(viewer) == before, "closing About leaves the window as it was");
    Check(viewer.Running(), "the viewer keeps running after About");

    // The same text with a document on display, and the document stays.
    if (!viewer.Open(kShortSample)) return;
    const WindowState withDocument = StateOf(viewer);
    viewer.Click(kIdAbout);
    MessageBoxSeen again = WaitMessageBox(viewer, kAboutTitle);
    CheckEqual(again.text, box.text, "About shows the same text with a document open");
    Check(CloseMessageBox(viewer, again), "OK closes the About box again");
    Check(StateOf(viewer) == withDocument, "the document stays on display after About");
}

void CommandsWithoutDocument() {
    Viewer viewer;
    if (!viewer.Started()) return;
    viewer.Click(kIdFind);
    ExpectMessage(viewer, kFindTitle, kFindNeedsDocument, true, "Find before any document");
    viewer.Click(kIdPrint);
    ExpectMessage(viewer, kPrintMessageTitle, kPrintNeedsDocument, true, "Print before any document");
    Check(!viewer.ViewShown(), "the view stays hidden");
}

void OpenDialogCancel() {
    Viewer viewer;
    if (!viewer.Started()) return;
    const WindowState before = StateOf(viewer);
    viewer.Click(kIdOpen);
    HWND dialog = ui::WaitDialog(viewer.Pid(), kOpenTitle, 0, kWait);
    if (!Check(dialog != nullptr, "Open shows \"Open Orlenne Document\"")) return;
    HWND types = ui::Descendant(dialog, kIdFileTypeCombo);
    if (Check(types != nullptr, "the open dialog has a file-type list")) {
        CheckEqual(ui::TextOf(types), std::wstring(L"Orlenne Document (*.orl)"),
                   "the first file type is the document type");
        DWORD_PTR count = 0;
        SendMessageTimeoutW(types, CB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 5000, &count);
        CheckEqual(static_cast<int>(count), 2, "the dialog offers two file types");
    }
    ui::PressDialogButton(dialog, IDCANCEL);
    Check(ui::WaitUntil([&] { return !IsWindow(dialog); }, kWait), "Cancel closes the open dialog");
    Check(viewer.Settled(), "the window thread is back in a message loop after Cancel");
    Check(viewer.WaitNoDialog(0), "no message after Cancel");
    Check(StateOf(viewer) == before, "Cancel without a document changes nothing");

    if (!viewer.Open(kShortSample) || !Check(viewer.ViewShown(), "short sample opens")) return;
    const WindowState withDocument = StateOf(viewer);
    viewer.Click(kIdOpen);
    dialog = ui::WaitDialog(viewer.Pid(), kOpenTitle, 0, kWait);
    if (!Check(dialog != nullptr, "Open shows its dialog with a document on display")) return;
    ui::PressDialogButton(dialog, IDCANCEL);
    Check(ui::WaitUntil([&] { return !IsWindow(dialog); }, kWait), "Cancel closes the open dialog");
    Check(viewer.Settled(), "the window thread is back in a message loop after Cancel");
    Check(viewer.WaitNoDialog(0), "no message after Cancel with a document");
    Check(StateOf(viewer) == withDocument, "Cancel leaves the document on display");
    viewer.Click(kIdPrint);  // a document is on display: Print shows the print dialog, no message
    HWND print = ui::WaitDialog(viewer.Pid(), L"Print", kIdPrinterCombo, kWait);
    if (Check(print != nullptr, "Print still works after the cancelled open")) {
        ui::PressDialogButton(print, IDCANCEL);
        viewer.WaitNoDialog();
    }
}

// Opens every sample in one process, in order, so each open also follows a different state.
void OpenSamples() {
    Viewer viewer;
    if (!viewer.Started()) return;
    bool screenshotDone = false;
    for (const Sample& sample : kSamples) {
        const std::string name = ui::Narrow(sample.file);
        Print("  -- " + name + " (" + std::to_string(GetTickCount64() / 1000 % 100000) + " s)");
        for (int attempt = 1; attempt <= 2; ++attempt) {  // the same file twice gives the same result
            const std::string what = name + (attempt == 2 ? " (again)" : "");
            long settingsBefore[6];
            for (int i = 0; i < 6; ++i) settingsBefore[i] = viewer.Prop(oracle::kPageKeys[i].prop);
            if (!viewer.Open(sample.file)) {
                Check(false, what + ": the open ends in a document or a message");
                viewer.WaitNoDialog(0);
                return;
            }
            if (sample.status == 0) {
                Check(viewer.WaitNoDialog(1000), what + ": no message");
                Check(viewer.ViewShown(), what + ": the view is shown");
                const std::wstring text = viewer.ViewText();
                Check(text.find(sample.phrase) != std::wstring::npos,
                      what + ": the view shows \"" + ui::Narrow(sample.phrase) + "\"");
                CheckEqual(viewer.Selection(), std::pair<int, int>(0, 0), what + ": the caret is at the start");
                CheckEqual(viewer.Focus(), viewer.View(), what + ": the view has the keyboard focus");
                DWORD_PTR firstLine = 99;
                SendMessageTimeoutW(viewer.View(), EM_GETFIRSTVISIBLELINE, 0, 0, SMTO_ABORTIFHUNG, 5000, &firstLine);
                CheckEqual(static_cast<int>(firstLine), 0, what + ": the view shows the start of the document");
                ExpectPageSettings(viewer, sample.file);
            } else {
                const std::wstring expected =
                    L"Invalid or corrupt document. (" + std::to_wstring(sample.status) + L")";
                MessageBoxSeen box = WaitMessageBox(viewer, kOpenFailureTitle);
                if (!Check(box.window != nullptr, what + ": the failure message appears")) return;
                CheckEqual(box.text, expected, what + ": failure message");
                Check(box.icon, what + ": the failure message shows the warning icon");
                if (!screenshotDone) {
                    std::string reply;
                    const bool answered = Request("screenshot viewer-open-failure", &reply);
                    Check(answered, "screenshot of a failure: " + reply);
                    screenshotDone = true;
                }
                Check(CloseMessageBox(viewer, box), what + ": OK closes the failure message");
                Check(!viewer.ViewShown(), what + ": the view is hidden after the failure");
                bool unchanged = true;
                for (int i = 0; i < 6; ++i) unchanged &= viewer.Prop(oracle::kPageKeys[i].prop) == settingsBefore[i];
                Check(unchanged, what + ": no page setting is applied");
                viewer.Click(kIdFind);
                ExpectMessage(viewer, kFindTitle, kFindNeedsDocument, true, what + ": Find after the failure");
            }
        }
    }
}

// Where the view's search (no "match case", downwards) finds `word` in `text` from `from` on.
size_t FindFrom(const std::wstring& text, const std::wstring& word, size_t from) {
    std::wstring lower = text, lowerWord = word;
    CharLowerBuffW(lower.data(), static_cast<DWORD>(lower.size()));
    CharLowerBuffW(lowerWord.data(), static_cast<DWORD>(lowerWord.size()));
    return lower.find(lowerWord, from);
}

void SetCheck(HWND button, bool checked) {
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(button, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0, SMTO_ABORTIFHUNG,
                        5000, &ignored);
}

// Types `word` into the Find dialog, presses Find Next and waits for the selection to move
// (or for `ms` to pass); returns the selection then.
std::pair<int, int> FindNext(const Viewer& viewer, HWND find, const std::wstring& word, int ms = 5000) {
    const std::pair<int, int> before = viewer.Selection();
    if (ui::TextOf(GetDlgItem(find, kIdEdt1)) != word) ui::SetText(GetDlgItem(find, kIdEdt1), word);
    ui::PressDialogButton(find, IDOK);
    ui::WaitUntil([&] { return viewer.Selection() != before; }, ms);
    return viewer.Selection();
}

void FindInDocument() {
    Viewer viewer;
    if (!viewer.Started()) return;

    // A document of plain paragraphs: each hit is selected at the word's own position.
    if (!viewer.Open(kShortSample) || !Check(viewer.ViewShown(), "short sample opens")) return;
    std::wstring text = viewer.ViewText();
    viewer.Click(kIdFind);
    HWND find = ui::WaitDialog(viewer.Pid(), kFindTitle, kIdEdt1, kWait);
    if (!Check(find != nullptr, "Find with a document shows the Find dialog")) return;
    Check(ui::FindDialog(viewer.Pid(), kFindTitle, -kIdEdt1) == nullptr, "Find shows no message of its own");
    const std::wstring gauge = L"gauge";
    const size_t first = FindFrom(text, gauge, 0);
    const size_t second = first == std::wstring::npos ? first : FindFrom(text, gauge, first + 1);
    if (Check(second != std::wstring::npos, "the short sample has \"gauge\" twice")) {
        const int at1 = ViewPosition(text, first), at2 = ViewPosition(text, second);
        CheckEqual(FindNext(viewer, find, gauge), std::pair<int, int>(at1, at1 + 5), "Find selects the first \"gauge\"");
        CheckEqual(FindNext(viewer, find, gauge), std::pair<int, int>(at2, at2 + 5), "Find Next selects the second");
    }
    const std::wstring missing = L"QUAGGAMISSINGWORD";
    const std::pair<int, int> before = viewer.Selection();
    ui::SetText(GetDlgItem(find, kIdEdt1), missing);
    ui::PressDialogButton(find, IDOK);
    MessageBoxSeen box = WaitMessageBox(viewer, kFindTitle);
    if (Check(box.window != nullptr, "a word that is not there gives a message")) {
        CheckEqual(box.text, L"Cannot find \"" + missing + L"\".", "not-found message");
        CheckEqual(GetWindow(box.window, GW_OWNER), find, "the not-found message belongs to the Find dialog");
        ui::PressDialogButton(box.window, IDOK);
        Check(ui::WaitUntil([&] { return !IsWindow(box.window); }, kWait), "OK closes the not-found message");
    }
    CheckEqual(viewer.Selection(), before, "a failed search leaves the selection");

    // Upwards from the second hit finds the first; "Match case" tells GAUGE from gauge.
    if (second != std::wstring::npos) {
        const int at1 = ViewPosition(text, first);
        SetCheck(GetDlgItem(find, kIdDirectionDown), false);
        SetCheck(GetDlgItem(find, kIdDirectionUp), true);
        CheckEqual(FindNext(viewer, find, gauge), std::pair<int, int>(at1, at1 + 5), "Find upwards selects the first \"gauge\"");
        SetCheck(GetDlgItem(find, kIdDirectionUp), false);
        SetCheck(GetDlgItem(find, kIdDirectionDown), true);
        SetCheck(GetDlgItem(find, kIdMatchCase), true);
        ui::SetText(GetDlgItem(find, kIdEdt1), L"GAUGE");
        ui::PressDialogButton(find, IDOK);
        MessageBoxSeen caseBox = WaitMessageBox(viewer, kFindTitle);
        if (Check(caseBox.window != nullptr, "with \"Match case\", GAUGE is not found")) {
            CheckEqual(caseBox.text, std::wstring(L"Cannot find \"GAUGE\"."), "not-found message for GAUGE");
            ui::PressDialogButton(caseBox.window, IDOK);
            ui::WaitUntil([&] { return !IsWindow(caseBox.window); }, kWait);
        }
        SetCheck(GetDlgItem(find, kIdMatchCase), false);
    }
    ui::PressDialogButton(find, IDCANCEL);
    Check(ui::WaitUntil([&] { return !IsWindow(find); }, kWait), "Cancel closes the Find dialog");
    Check(viewer.ViewShown() && viewer.ViewText() == text, "the document is unchanged by Find");

    // The long document has a table, which the view counts in positions that its plain text
    // (WM_GETTEXT) does not show; past it, hits keep the distances they have in the text.
    if (!viewer.Open(kLongSample) || !Check(viewer.ViewShown(), "long sample opens")) return;
    {
        std::string reply;
        const bool answered = Request("screenshot viewer-document", &reply);
        Check(answered, "screenshot of a document: " + reply);
    }
    text = viewer.ViewText();
    viewer.Click(kIdFind);
    find = ui::WaitDialog(viewer.Pid(), kFindTitle, kIdEdt1, kWait);
    if (!Check(find != nullptr, "Find shows its dialog for the long sample")) return;
    const std::wstring mark = L"PAGETHREEMARK", harbour = L"harbour";
    const size_t markAt = FindFrom(text, mark, 0);
    const size_t next1 = markAt == std::wstring::npos ? markAt : FindFrom(text, harbour, markAt + 1);
    const size_t next2 = next1 == std::wstring::npos ? next1 : FindFrom(text, harbour, next1 + 1);
    if (Check(next2 != std::wstring::npos, "the long sample has PAGETHREEMARK and two \"harbour\" after it")) {
        const std::pair<int, int> hit = FindNext(viewer, find, mark);
        CheckEqual(hit.second - hit.first, static_cast<int>(mark.size()), "Find selects PAGETHREEMARK's length");
        const int base = hit.first - ViewPosition(text, markAt);
        Check(base >= 0, "PAGETHREEMARK is found at or after its place in the plain text");
        const int at1 = ViewPosition(text, next1) + base, at2 = ViewPosition(text, next2) + base;
        CheckEqual(FindNext(viewer, find, harbour), std::pair<int, int>(at1, at1 + 7), "Find goes on from the last hit");
        CheckEqual(FindNext(viewer, find, harbour), std::pair<int, int>(at2, at2 + 7), "and on to the next one");
    }
    ui::PressDialogButton(find, IDCANCEL);
    Check(ui::WaitUntil([&] { return !IsWindow(find); }, kWait), "Cancel closes the Find dialog");
}

// With the Find dialog open, opening another document hides the view and closes the
// dialog; Find then opens a new dialog that searches the new document.
void FindAfterAnotherOpen() {
    Viewer viewer;
    if (!viewer.Started()) return;
    if (!viewer.Open(kShortSample) || !Check(viewer.ViewShown(), "short sample opens")) return;
    viewer.Click(kIdFind);
    HWND find = ui::WaitDialog(viewer.Pid(), kFindTitle, kIdEdt1, kWait);
    if (!Check(find != nullptr, "Find shows its dialog")) return;
    if (!viewer.Open(kLongSample)) return;
    Check(ui::WaitUntil([&] { return !IsWindow(find); }, kWait), "opening another document closes the Find dialog");
    Check(ui::WaitUntil([&] { return viewer.ViewShown(); }, kWait), "the long sample is shown");
    viewer.Click(kIdFind);
    HWND again = ui::WaitDialog(viewer.Pid(), kFindTitle, kIdEdt1, kWait);
    if (!Check(again != nullptr, "Find opens its dialog again after another document was opened")) return;
    const std::wstring mark = L"PAGETHREEMARK";
    const std::pair<int, int> hit = FindNext(viewer, again, mark);
    CheckEqual(hit.second - hit.first, static_cast<int>(mark.size()), "the new dialog finds PAGETHREEMARK");
    ui::PressDialogButton(again, IDCANCEL);
    Check(ui::WaitUntil([&] { return !IsWindow(again); }, kWait), "Cancel closes the new Find dialog");
}

// Shows the print dialog and checks how the viewer prepared it; nullptr when it did not come up.
HWND OpenPrintDialog(const Viewer& viewer, long pages, const std::string& what) {
    viewer.Click(kIdPrint);
    HWND dialog = ui::WaitDialog(viewer.Pid(), L"Print", kIdPrinterCombo, kWait);
    if (!Check(dialog != nullptr, what + ": Print with a document shows the print dialog")) {
        for (HWND window : ui::TopLevelWindows(viewer.Pid())) ui::Dump(window);
        return nullptr;
    }
    CheckEqual(ui::TextOf(GetDlgItem(dialog, kIdCopies)), std::wstring(L"1"), what + ": one copy");
    CheckEqual(ui::TextOf(GetDlgItem(dialog, kIdEdt1)), std::wstring(L"1"), what + ": the range starts at page 1");
    CheckEqual(ui::TextOf(GetDlgItem(dialog, kIdEdt2)), std::to_wstring(pages), what + ": the range ends at the last page");
    // The dialog itself offers no page range for a one-page document (lowest = highest page).
    if (pages > 1) {
        Check(ui::IsChecked(GetDlgItem(dialog, kIdRangePages)), what + ": the page-range choice is selected");
        Check(!ui::IsChecked(GetDlgItem(dialog, kIdRangeAll)), what + ": \"All\" is not selected");
    }
    Check(!IsWindowEnabled(GetDlgItem(dialog, kIdRangeSelection)), what + ": the selection choice is disabled");
    HWND toFile = GetDlgItem(dialog, kIdPrintToFile);
    Check(!toFile || !ui::IsShown(toFile), what + ": there is no print-to-file box");
    CheckEqual(ui::TextOf(GetDlgItem(dialog, kIdPrinterCombo)), std::wstring(L"PDF"), what + ": the PDF queue is chosen");
    return dialog;
}

void PrintRange() {
    Viewer viewer;
    if (!viewer.Started()) return;
    if (!viewer.Open(kLongSample) || !Check(viewer.ViewShown(), "long sample opens")) return;
    viewer.WaitPageSettings();
    const long pages = viewer.Prop(L"Navreth.PageCount");
    Check(pages >= 4, "the long sample has at least four pages (Navreth.PageCount " + std::to_string(pages) + ")");
    std::string reply;

    // Cancel first: it prints nothing and shows nothing.
    Check(Request("pdf-mark"), "the runner notes the PDFs already there");
    HWND dialog = OpenPrintDialog(viewer, pages, "first Print");
    if (!dialog) return;
    ui::PressDialogButton(dialog, IDCANCEL);
    Check(ui::WaitUntil([&] { return !IsWindow(dialog); }, kWait), "Cancel closes the print dialog");
    Check(viewer.Settled(), "the window thread is back in a message loop after Cancel");
    Check(viewer.WaitNoDialog(0), "Cancel shows no message");
    const bool nothingPrinted = Request("pdf-none long", &reply);
    Check(nothingPrinted, "Cancel prints nothing: " + reply);

    // Then pages 2 to 3 in three copies, which the runner finds in the PDF the queue writes:
    // two pages, as the viewer asks for one copy whatever count the dialog was given.
    Check(Request("pdf-mark"), "the runner notes the PDFs again");
    dialog = OpenPrintDialog(viewer, pages, "second Print");
    if (!dialog) return;
    ui::SetText(GetDlgItem(dialog, kIdEdt1), L"2");
    ui::SetText(GetDlgItem(dialog, kIdEdt2), L"3");
    ui::SetText(GetDlgItem(dialog, kIdCopies), L"3");
    ui::PressDialogButton(dialog, IDOK);
    if (!Check(ui::WaitUntil([&] { return !IsWindow(dialog); }, kWait), "OK closes the print dialog")) {
        for (HWND window : ui::TopLevelWindows(viewer.Pid())) ui::Dump(window);
        return;
    }
    Check(viewer.WaitNoDialog(20000), "printing shows no message");
    const bool printed = Request("pdf-pages-2-3 long", &reply);
    Check(printed, "pages 2 to 3 reach the PDF queue: " + reply);
    Check(viewer.ViewShown(), "the document stays on display after printing");

    // The next Print starts with one copy again.
    dialog = OpenPrintDialog(viewer, pages, "Print after printing three copies");
    if (!dialog) return;
    ui::PressDialogButton(dialog, IDCANCEL);
    Check(ui::WaitUntil([&] { return !IsWindow(dialog); }, kWait), "Cancel closes the print dialog");
}

// Sets the copy count of a printer's default settings (what its preferences hold) and returns
// the count they had; -1 when they could not be read or changed.
int SetPrinterDefaultCopies(const wchar_t* printer, short copies) {
    PRINTER_DEFAULTSW access{nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE handle = nullptr;
    if (!OpenPrinterW(const_cast<wchar_t*>(printer), &handle, &access)) return -1;
    int before = -1;
    DWORD needed = 0;
    GetPrinterW(handle, 2, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed);
    auto* info = reinterpret_cast<PRINTER_INFO_2W*>(buffer.data());
    if (needed && GetPrinterW(handle, 2, buffer.data(), needed, &needed) && info->pDevMode) {
        before = info->pDevMode->dmCopies;
        info->pDevMode->dmCopies = copies;
        info->pDevMode->dmFields |= DM_COPIES;
        info->pSecurityDescriptor = nullptr;  // left as it is
        if (!SetPrinterW(handle, 2, buffer.data(), 0)) before = -1;
    }
    ClosePrinter(handle);
    return before;
}

// Every print dialog starts with one copy, also when the printer settings the viewer keeps
// from the last print say three (here the printer's own default).
void PrintStartsWithOneCopy() {
    const int before = SetPrinterDefaultCopies(L"PDF", 3);
    if (!Check(before >= 0, "the PDF printer's default copy count can be set")) return;
    {
        Viewer viewer;
        if (viewer.Started() && viewer.Open(kShortSample) && Check(viewer.ViewShown(), "short sample opens")) {
            const long pages = viewer.Prop(L"Navreth.PageCount");
            Check(Request("pdf-mark"), "the runner notes the PDFs already there");
            HWND dialog = OpenPrintDialog(viewer, pages, "first Print");
            if (dialog) {
                ui::PressDialogButton(dialog, IDOK);
                Check(ui::WaitUntil([&] { return !IsWindow(dialog); }, kWait), "OK closes the print dialog");
                Check(viewer.WaitNoDialog(20000), "printing shows no message");
                std::string reply;
                const bool printed = Request("pdf-any short", &reply);
                Check(printed, "the short sample reaches the PDF queue: " + reply);
                dialog = OpenPrintDialog(viewer, pages, "Print again");
                if (dialog) {
                    ui::PressDialogButton(dialog, IDCANCEL);
                    Check(ui::WaitUntil([&] { return !IsWindow(dialog); }, kWait), "Cancel closes the print dialog");
                }
            }
        }
    }
    SetPrinterDefaultCopies(L"PDF", static_cast<short>(before));
}

// A landscape A5 document prints on A5 paper turned (595 x 420 pt), not on the queue's A4.
void PrintLandscapePaper() {
    Viewer viewer;
    if (!viewer.Started()) return;
    if (!viewer.Open(L"a5-landscape.orl") || !Check(viewer.ViewShown(), "A5 landscape sample opens")) return;
    viewer.WaitPageSettings();
    CheckEqual(viewer.Prop(L"Navreth.PageWidth"), 11906L, "A5 landscape page width");
    CheckEqual(viewer.Prop(L"Navreth.PageHeight"), 8391L, "A5 landscape page height");
    const long pages = viewer.Prop(L"Navreth.PageCount");
    Check(Request("pdf-mark"), "the runner notes the PDFs already there");
    HWND dialog = OpenPrintDialog(viewer, pages, "A5 Print");
    if (!dialog) return;
    ui::SetText(GetDlgItem(dialog, kIdEdt1), L"1");
    ui::SetText(GetDlgItem(dialog, kIdEdt2), L"1");
    ui::PressDialogButton(dialog, IDOK);
    if (!Check(ui::WaitUntil([&] { return !IsWindow(dialog); }, kWait), "OK closes the print dialog")) return;
    Check(viewer.WaitNoDialog(20000), "printing shows no message");
    std::string reply;
    const bool printed = Request("pdf-one-page 595x420 a5-landscape", &reply);
    Check(printed, "page 1 reaches the PDF queue on A5 landscape paper: " + reply);
}

// Whether the view fills the client area below the strip (what ExpectLayout checks in detail).
bool LaidOut(const Viewer& viewer) {
    RECT client{};
    GetClientRect(viewer.Main(), &client);
    const RECT view = ui::RectIn(viewer.Main(), viewer.View());
    return view.left == 0 && std::abs(view.top - ui::TwipsToPixelsY(kStripTwips)) <= 1 &&
           view.right == client.right && view.bottom == client.bottom;
}

// The view fills the area below the strip whatever the window's size.
void ExpectLayout(const Viewer& viewer, const std::string& what) {
    RECT client{};
    GetClientRect(viewer.Main(), &client);
    const RECT view = ui::RectIn(viewer.Main(), viewer.View());
    const int top = ui::TwipsToPixelsY(kStripTwips);
    CheckEqual(static_cast<int>(view.left), 0, what + ": view left");
    Check(std::abs(view.top - top) <= 1,
          what + ": view top at 435 twips (" + std::to_string(view.top) + " px, expected " + std::to_string(top) + ")");
    CheckEqual(static_cast<int>(view.right), static_cast<int>(client.right), what + ": view right = client width");
    CheckEqual(static_cast<int>(view.bottom), static_cast<int>(client.bottom), what + ": view bottom = client bottom");
}

void Resizing() {
    Viewer viewer;
    if (!viewer.Started()) return;
    ExpectLayout(viewer, "at start-up (view hidden)");
    if (!viewer.Open(kShortSample) || !Check(viewer.ViewShown(), "short sample opens")) return;
    ExpectLayout(viewer, "as first shown");
    const SIZE sizes[] = {{900, 700}, {500, 300}, {1100, 450}, {700, 800}};
    for (const SIZE& size : sizes) {
        SetWindowPos(viewer.Main(), nullptr, 0, 0, size.cx, size.cy, SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
        ui::WaitUntil([&] {
            RECT rect{};
            GetWindowRect(viewer.Main(), &rect);
            return rect.right - rect.left == size.cx && rect.bottom - rect.top == size.cy;
        }, 3000);
        ui::WaitUntil([&] { return LaidOut(viewer); }, 3000);  // the view follows the new size
        ExpectLayout(viewer, "resized to " + std::to_string(size.cx) + "x" + std::to_string(size.cy));
    }
}

void AccessKeys() {
    Viewer viewer;
    if (!viewer.Started()) return;
    ui::SendAltKey(viewer.Main(), L'A');
    MessageBoxSeen box = WaitMessageBox(viewer, kAboutTitle);
    Check(box.window != nullptr, "Alt+A opens About");
    CloseMessageBox(viewer, box);
    ui::SendAltKey(viewer.Main(), L'F');
    ExpectMessage(viewer, kFindTitle, kFindNeedsDocument, true, "Alt+F");
    ui::SendAltKey(viewer.Main(), L'P');
    ExpectMessage(viewer, kPrintMessageTitle, kPrintNeedsDocument, true, "Alt+P");
    ui::SendAltKey(viewer.Main(), L'O');
    HWND dialog = ui::WaitDialog(viewer.Pid(), kOpenTitle, 0, kWait);
    if (Check(dialog != nullptr, "Alt+O shows the open dialog")) {
        ui::PressDialogButton(dialog, IDCANCEL);
        viewer.WaitNoDialog();
    }
    // With a document on display the keys still reach the window, although the view has the focus.
    if (viewer.Open(kShortSample) && Check(viewer.ViewShown(), "short sample opens")) {
        ui::SendAltKey(viewer.Main(), L'F');
        HWND find = ui::WaitDialog(viewer.Pid(), kFindTitle, kIdEdt1, kWait);
        if (Check(find != nullptr, "Alt+F with a document shows the Find dialog")) {
            ui::PressDialogButton(find, IDCANCEL);
            viewer.WaitNoDialog();
        }
    }
    ui::SendAltKey(viewer.Main(), L'X');
    Check(viewer.WaitExit(kWait), "Alt+X ends the program");
}

// A letter typed without Alt is not an access key: with the focus on a button, the letters
// of all five buttons do nothing, and Alt+O still opens the Open dialog afterwards.
void LettersWithoutAlt() {
    Viewer viewer;
    if (!viewer.Started()) return;
    const auto onButton = [&] {
        HWND focus = viewer.Focus();
        return focus && GetParent(focus) == viewer.Strip() && ui::ClassOf(focus) == L"Button";
    };
    for (int tab = 0; tab < 8 && !onButton(); ++tab) {
        ui::SendKey(viewer.Main(), VK_TAB);
        ui::WaitUntil(onButton, 500);
    }
    if (!Check(onButton(), "Tab puts the focus on a button")) return;
    HWND button = viewer.Focus();
    ui::SendKey(viewer.Main(), 'X');
    if (!Check(!viewer.WaitExit(1500), "a plain \"x\" does not end the program")) return;
    for (const ButtonSpec& b : kButtons) ui::SendKey(viewer.Main(), static_cast<WORD>(b.accessKey));
    // Nothing is to happen: watch for 1.5 s for a dialog, the program's end or the focus moving.
    ui::WaitUntil([&] { return !ui::Dialogs(viewer.Pid()).empty() || !viewer.Running() || viewer.Focus() != button; },
                  1500);
    if (!Check(viewer.WaitNoDialog(0), "plain o, p, f, a, x open no dialog and show no message")) return;
    CheckEqual(viewer.Focus(), button, "the focus stays on the button");
    ui::SendAltKey(viewer.Main(), L'O');
    HWND dialog = ui::WaitDialog(viewer.Pid(), kOpenTitle, 0, kWait);
    if (Check(dialog != nullptr, "Alt+O then shows the open dialog")) {
        ui::PressDialogButton(dialog, IDCANCEL);
        viewer.WaitNoDialog();
    }
}

void ExitAndClose() {
    {
        Viewer viewer;
        if (!viewer.Started()) return;
        viewer.Click(kIdExit);
        Check(viewer.WaitExit(kWait), "Exit ends the program");
    }
    {
        Viewer viewer;
        if (!viewer.Started()) return;
        PostMessageW(viewer.Main(), WM_SYSCOMMAND, SC_CLOSE, 0);
        Check(viewer.WaitExit(kWait), "the title-bar close ends the program");
    }
    {
        Viewer viewer;
        if (!viewer.Started()) return;
        if (viewer.Open(kShortSample) && Check(viewer.ViewShown(), "short sample opens")) {
            viewer.Click(kIdExit);
            Check(viewer.WaitExit(kWait), "Exit ends the program with a document open");
        }
    }
    {
        Viewer viewer;
        if (!viewer.Started()) return;
        if (viewer.Open(kShortSample) && Check(viewer.ViewShown(), "short sample opens")) {
            PostMessageW(viewer.Main(), WM_SYSCOMMAND, SC_CLOSE, 0);
            Check(viewer.WaitExit(kWait), "the title-bar close ends the program with a document open");
        }
    }
}

// ---- Fidelity run ------------------------------------------------------------------------------
// For tools/fidelity: opens one document as a person would, reads the view's text, prints all
// pages through the print dialog and writes what happened to a result file (UTF-8 lines
// "key=value") and the view's text beside it (<out>.view.txt). Nothing here judges the result:
// the tool compares it with the reference.

// The whole text of a window through WM_GETTEXTLENGTH / WM_GETTEXT, waiting up to `ms` for each.
std::wstring LongTextOf(HWND window, int ms) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, static_cast<UINT>(ms), &length)) return {};
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_NORMAL,
                             static_cast<UINT>(ms), &copied)) {
        return {};
    }
    text.resize(copied < text.size() ? copied : text.size() - 1);
    return text;
}

// How the viewer process ended or why it stopped answering, for the result file.
std::string ProcessFate(const Viewer& viewer) {
    if (!viewer.Running()) {
        char code[32];
        std::snprintf(code, sizeof code, "crash (exit 0x%08lX)", static_cast<unsigned long>(viewer.ExitCode()));
        return code;
    }
    return Responds(viewer.Main(), 5000) ? "timeout" : "hang";
}

int Fidelity(const std::wstring& document, const std::wstring& outPath, int timeoutMs) {
    std::vector<std::pair<std::string, std::string>> result;
    auto put = [&](const std::string& key, const std::string& value) { result.emplace_back(key, value); };
    std::wstring viewText;
    auto finish = [&]() {
        std::ofstream out{std::filesystem::path(outPath), std::ios::binary};
        for (const auto& [key, value] : result) {
            std::string clean = value;
            for (char& c : clean) if (c == '\n' || c == '\r') c = ' ';
            out << key << "=" << clean << "\n";
        }
        std::ofstream text{std::filesystem::path(outPath + L".view.txt"), std::ios::binary};
        text << ui::Narrow(viewText);
        return 0;
    };

    Viewer viewer;
    if (!viewer.Started()) {
        put("opened", "no");
        put("message", "the viewer did not start");
        return finish();
    }
    // Open through the dialog; then the view shows, the failure message comes up, or the
    // process dies or stops answering.
    const ULONGLONG openStart = GetTickCount64();
    viewer.Click(kIdOpen);
    if (!viewer.ChooseInOpenDialog(SamplePath(document))) {
        put("opened", "no");
        put("message", "the open dialog did not work");
        return finish();
    }
    // Any dialog now is the viewer's answer: the open-failure message or another message box.
    HWND message = nullptr;
    const bool settled = ui::WaitUntil(
        [&] {
            if (!viewer.Running()) return true;
            if (viewer.ViewShown()) return true;
            const std::vector<HWND> dialogs = ui::Dialogs(viewer.Pid());
            if (!dialogs.empty()) message = dialogs.front();
            return message != nullptr;
        },
        timeoutMs);
    if (!viewer.Running() || !settled) {
        put("opened", ProcessFate(viewer));
        return finish();
    }
    if (message) {
        put("opened", "no");
        const std::wstring title = ui::TextOf(message);
        put("message", ui::Narrow((title == kOpenFailureTitle ? L"" : title + L": ") + ui::StaticText(message)));
        return finish();
    }
    // The view is shown before the open command has ended: wait for the window thread.
    const int left = timeoutMs - static_cast<int>(GetTickCount64() - openStart);
    if (!Responds(viewer.Main(), left > 1000 ? left : 1000)) {
        put("opened", ProcessFate(viewer));
        return finish();
    }
    put("opened", "yes");
    put("open_ms", std::to_string(GetTickCount64() - openStart));
    viewText = LongTextOf(viewer.View(), timeoutMs);
    put("view_chars", std::to_string(viewText.size()));

    // Print every page: the dialog comes up with the range 1 to the view's page count.
    const ULONGLONG printStart = GetTickCount64();
    viewer.Click(kIdPrint);
    HWND dialog = ui::WaitDialog(viewer.Pid(), L"Print", kIdPrinterCombo, timeoutMs);
    if (!dialog) {
        put("printed", viewer.Running() ? "no (no print dialog)" : ProcessFate(viewer));
        return finish();
    }
    put("view_pages", ui::Narrow(ui::TextOf(GetDlgItem(dialog, kIdEdt2))));
    put("printer", ui::Narrow(ui::TextOf(GetDlgItem(dialog, kIdPrinterCombo))));
    ui::PressDialogButton(dialog, IDOK);
    if (!ui::WaitUntil([&] { return !IsWindow(dialog) || !viewer.Running(); }, kWait) || !viewer.Running()) {
        put("printed", viewer.Running() ? "no (the print dialog stayed)" : ProcessFate(viewer));
        return finish();
    }
    const int printLeft = timeoutMs - static_cast<int>(GetTickCount64() - printStart);
    if (!Responds(viewer.Main(), printLeft > 1000 ? printLeft : 1000)) {
        put("printed", ProcessFate(viewer));
        return finish();
    }
    std::vector<HWND> dialogs = ui::Dialogs(viewer.Pid());
    if (!dialogs.empty()) {
        put("print_message", ui::Narrow(ui::TextOf(dialogs.front()) + L": " + ui::StaticText(dialogs.front())));
    }
    put("printed", "yes");
    put("print_ms", std::to_string(GetTickCount64() - printStart));
    viewer.Click(kIdExit);
    if (!viewer.WaitExit(kWait)) viewer.Kill();
    return finish();
}

// Opens a sample through the dialog as a person would, asks for a screenshot, then exits.
int Demo(const std::wstring& sample) {
    Viewer viewer;
    if (!viewer.Started()) return 1;
    if (!viewer.Open(sample) || !Check(viewer.ViewShown(), ui::Narrow(sample) + " opens")) return 1;
    // The open has finished and the window thread has drawn what it had to draw.
    if (!Check(viewer.Settled(), "the viewer is idle after the open")) return 1;
    RedrawWindow(viewer.Main(), nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    viewer.Settled();
    std::string reply;
    const bool answered = Check(Request("screenshot navreth-demo", &reply), "screenshot: " + reply);
    viewer.Click(kIdExit);
    const bool ended = Check(viewer.WaitExit(kWait), "Exit ends the program");
    return answered && ended ? 0 : 1;
}

// One GoogleTest case per scenario, so that CTest can run and name each on its own.
TEST(NavrethUi, StartUpState) { StartUpState(); }
TEST(NavrethUi, About) { AboutBox(); }
TEST(NavrethUi, CommandsWithoutDocument) { CommandsWithoutDocument(); }
TEST(NavrethUi, OpenDialogCancel) { OpenDialogCancel(); }
TEST(NavrethUi, OpenSamples) { OpenSamples(); }
TEST(NavrethUi, Find) { FindInDocument(); }
TEST(NavrethUi, FindAfterAnotherOpen) { FindAfterAnotherOpen(); }
TEST(NavrethUi, Print) { PrintRange(); }
TEST(NavrethUi, PrintOnTheDocumentsPaper) { PrintLandscapePaper(); }
TEST(NavrethUi, PrintStartsWithOneCopy) { PrintStartsWithOneCopy(); }
TEST(NavrethUi, Resizing) { Resizing(); }
TEST(NavrethUi, AccessKeys) { AccessKeys(); }
TEST(NavrethUi, LettersWithoutAlt) { LettersWithoutAlt(); }
TEST(NavrethUi, ExitAndClose) { ExitAndClose(); }

}  // namespace

int wmain(int argc, wchar_t** argv) {
    testing::InitGoogleTest(&argc, argv);
    std::wstring demo, fidelity, out;
    int timeoutSeconds = 120;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::wstring option = argv[i], value = argv[i + 1];
        if (option == L"--viewer") g_viewer = value;
        else if (option == L"--samples") g_samples = value;
        else if (option == L"--sync") g_sync = value;
        else if (option == L"--demo") demo = value;
        else if (option == L"--fidelity") fidelity = value;
        else if (option == L"--out") out = value;
        else if (option == L"--timeout") timeoutSeconds = _wtoi(value.c_str());
    }
    if (!fidelity.empty() && !out.empty() && !g_viewer.empty() && !g_samples.empty()) {
        return Fidelity(fidelity, out, (timeoutSeconds > 0 ? timeoutSeconds : 120) * 1000);
    }
    if (g_viewer.empty() || g_samples.empty() || g_sync.empty()) {
        std::fputs("usage: navreth_ui_test --viewer PATH --samples DIR --sync DIR [--demo FILE] [gtest options]\n"
                   "       navreth_ui_test --viewer PATH --samples DIR --fidelity FILE --out RESULT [--timeout S]\n",
                   stderr);
        return 2;
    }
    if (!demo.empty()) return Demo(demo);
    return RUN_ALL_TESTS();
}
