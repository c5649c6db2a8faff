// Cross-process window helpers for the viewer's UI tests (see ui_driver.h).
#include "ui_driver.h"

#include "unique_handle.h"

#include <cstdio>

namespace ui {

namespace {

constexpr UINT kMessageTimeoutMs = 5000;

struct EnumState {
    DWORD pid;
    bool visibleOnly;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectTopLevel(HWND window, LPARAM param) {
    auto* state = reinterpret_cast<EnumState*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == state->pid && (!state->visibleOnly || IsWindowVisible(window))) {
        state->found.push_back(window);
    }
    return TRUE;
}

BOOL CALLBACK CollectChild(HWND window, LPARAM param) {
    reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
    return TRUE;
}

}  // namespace

std::wstring ClassOf(HWND window) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

std::wstring TextOf(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs,
                             &length)) {
        return {};
    }
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                             SMTO_ABORTIFHUNG, kMessageTimeoutMs, &copied)) {
        return {};
    }
    text.resize(copied < text.size() ? copied : text.size() - 1);
    return text;
}

bool IsShown(HWND window) {
    return (GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE) != 0;
}

bool WaitUntil(const std::function<bool()>& probe, int timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeoutMs);
    for (;;) {
        if (probe()) return true;
        if (GetTickCount64() >= deadline) return false;
        Sleep(50);
    }
}

std::vector<HWND> TopLevelWindows(DWORD pid, bool visibleOnly) {
    EnumState state{pid, visibleOnly, {}};
    EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&state));
    return state.found;
}

std::vector<HWND> Descendants(HWND parent) {
    std::vector<HWND> found;
    EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&found));
    return found;
}

HWND Descendant(HWND parent, int id) {
    for (HWND child : Descendants(parent)) {
        if (GetDlgCtrlID(child) == id) return child;
    }
    return nullptr;
}

HWND DescendantOfClass(HWND parent, const wchar_t* className) {
    for (HWND child : Descendants(parent)) {
        if (_wcsicmp(ClassOf(child).c_str(), className) == 0) return child;
    }
    return nullptr;
}

std::vector<HWND> Dialogs(DWORD pid) {
    std::vector<HWND> dialogs;
    for (HWND window : TopLevelWindows(pid)) {
        if (ClassOf(window) == L"#32770") dialogs.push_back(window);
    }
    return dialogs;
}

HWND FindDialog(DWORD pid, const std::wstring& title, int controlId) {
    for (HWND dialog : Dialogs(pid)) {
        if (TextOf(dialog) != title) continue;
        if (controlId > 0 && !Descendant(dialog, controlId)) continue;
        if (controlId < 0 && Descendant(dialog, -controlId)) continue;
        return dialog;
    }
    return nullptr;
}

HWND WaitDialog(DWORD pid, const std::wstring& title, int controlId, int timeoutMs) {
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindDialog(pid, title, controlId)) != nullptr; }, timeoutMs);
    return found;
}

std::wstring StaticText(HWND dialog) {
    std::wstring text;
    for (HWND child : Descendants(dialog)) {
        if (_wcsicmp(ClassOf(child).c_str(), L"Static") != 0 || !IsShown(child)) continue;
        std::wstring part = TextOf(child);
        if (part.empty()) continue;
        if (!text.empty()) text += L"\n";
        text += part;
    }
    return text;
}

void PressDialogButton(HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void Click(HWND button) {
    PostMessageW(button, BM_CLICK, 0, 0);
}

void SetText(HWND control, const std::wstring& text) {
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                        SMTO_ABORTIFHUNG, kMessageTimeoutMs, &ignored);
}

bool IsChecked(HWND button) {
    DWORD_PTR state = 0;
    SendMessageTimeoutW(button, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &state);
    return state == BST_CHECKED;
}

void SendAltKey(HWND window, wchar_t key) {
    SetForegroundWindow(window);
    WaitUntil([&] { return GetForegroundWindow() == window; }, 2000);
    const WORD vk = static_cast<WORD>(LOBYTE(VkKeyScanW(key)));
    INPUT inputs[4] = {};
    for (INPUT& input : inputs) input.type = INPUT_KEYBOARD;
    inputs[0].ki.wVk = VK_MENU;
    inputs[1].ki.wVk = vk;
    inputs[2].ki.wVk = vk;
    inputs[2].ki.dwFlags = KEYEVENTF_KEYUP;
    inputs[3].ki.wVk = VK_MENU;
    inputs[3].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(4, inputs, sizeof(INPUT));
}

void SendKey(HWND window, WORD vk) {
    SetForegroundWindow(window);
    WaitUntil([&] { return GetForegroundWindow() == window; }, 2000);
    INPUT inputs[2] = {};
    for (INPUT& input : inputs) {
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = vk;
    }
    inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, inputs, sizeof(INPUT));
}

RECT RectIn(HWND parent, HWND child) {
    RECT rect{};
    GetWindowRect(child, &rect);
    MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

int TwipsToPixelsY(int twips) {
    const common::com::UniqueScreenDc screen(GetDC(nullptr));
    return MulDiv(twips, GetDeviceCaps(screen.Get(), LOGPIXELSY), 1440);
}

int TwipsToPixelsX(int twips) {
    const common::com::UniqueScreenDc screen(GetDC(nullptr));
    return MulDiv(twips, GetDeviceCaps(screen.Get(), LOGPIXELSX), 1440);
}

void Dump(HWND window, int depth) {
    RECT rect{};
    GetWindowRect(window, &rect);
    std::wstring text = TextOf(window);
    if (text.size() > 60) text = text.substr(0, 60) + L"...";
    std::printf("%*s%p class=\"%s\" id=%d (0x%X) text=\"%s\" style=%08lX rect=%ld,%ld-%ld,%ld\n",
                depth * 2, "", static_cast<void*>(window), Narrow(ClassOf(window)).c_str(),
                GetDlgCtrlID(window), GetDlgCtrlID(window), Narrow(text).c_str(),
                static_cast<unsigned long>(GetWindowLongW(window, GWL_STYLE)), rect.left, rect.top,
                rect.right, rect.bottom);
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        Dump(child, depth + 1);
    }
    std::fflush(stdout);
}

std::string Narrow(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                        nullptr, nullptr);
    return out;
}

std::wstring Widen(const std::string& text) {
    if (text.empty()) return {};
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
    return out;
}

}  // namespace ui
