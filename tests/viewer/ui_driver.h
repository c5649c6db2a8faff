// Drives another process's windows as a person would: finds its top-level windows and
// dialogs, clicks buttons, types into edits and reads what is on screen. Everything here
// works across processes (window messages that the system marshals, window properties,
// window rectangles), so the program under test needs no help beyond its ordinary windows.
// Waits poll with a deadline: the program under test answers on its own thread and Wine
// adds latency, so a test never assumes a window is there the moment after a click.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace ui {

std::wstring ClassOf(HWND window);
std::wstring TextOf(HWND window);  // WM_GETTEXT, marshalled across processes
bool IsShown(HWND window);         // the WS_VISIBLE style of the window itself

// Polls `probe` every 50 ms until it returns true or `timeoutMs` has passed.
bool WaitUntil(const std::function<bool()>& probe, int timeoutMs);

// Top-level windows of process `pid` (visible ones only when `visibleOnly`).
std::vector<HWND> TopLevelWindows(DWORD pid, bool visibleOnly = true);
// All descendants of `parent`, depth first.
std::vector<HWND> Descendants(HWND parent);
// The first descendant of `parent` with control ID `id`, or nullptr.
HWND Descendant(HWND parent, int id);
// The first descendant of `parent` whose class is `className`, or nullptr.
HWND DescendantOfClass(HWND parent, const wchar_t* className);

// A visible dialog (class "#32770") of process `pid` with caption `title` that has (or,
// when `controlId` is negative, lacks) a descendant with ID |controlId|; 0 means any.
HWND FindDialog(DWORD pid, const std::wstring& title, int controlId = 0);
HWND WaitDialog(DWORD pid, const std::wstring& title, int controlId, int timeoutMs);
// Every visible dialog of the process (for "no message appeared" checks).
std::vector<HWND> Dialogs(DWORD pid);

// The texts of a message box's static controls, joined with line breaks, in window order.
std::wstring StaticText(HWND dialog);

// Presses a dialog's button: the same WM_COMMAND a click sends, posted so that the call
// returns even when the press opens a modal box.
void PressDialogButton(HWND dialog, int id);
// Clicks a push button of any window (BM_CLICK, posted).
void Click(HWND button);
void SetText(HWND control, const std::wstring& text);
bool IsChecked(HWND button);

// Types Alt+<key> into the foreground window with SendInput, after bringing `window` forward.
void SendAltKey(HWND window, wchar_t key);
// Types one key (a virtual-key code, no modifier) into the foreground window likewise.
void SendKey(HWND window, WORD vk);

// Window rectangle of `child` in the client coordinates of `parent`.
RECT RectIn(HWND parent, HWND child);

// Twips to screen pixels on this display (rounded to nearest), vertical or horizontal.
int TwipsToPixelsY(int twips);
int TwipsToPixelsX(int twips);

// Debug aid: prints the window tree of `window` (class, ID, caption, style) to stdout.
void Dump(HWND window, int depth = 0);

std::string Narrow(const std::wstring& text);  // UTF-8, for printing
std::wstring Widen(const std::string& text);   // from UTF-8

}  // namespace ui
