// `cdl`: the window's common-dialog component, a small class over the Windows file-open and
// print dialogs (GetOpenFileNameW, PrintDlgW) with the operations the window uses: filter,
// title, the cancelled flag, the chosen file name; copies, page range and bounds, flags and the
// chosen printer's device context.
//
// Ownership: the dialog keeps the printer choice (DEVMODE/DEVNAMES) between calls and owns the
// printer device context that ShowPrinter returns until the next ShowPrinter or its own end;
// whoever is handed hDC() must not delete it nor use it after that.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "com_util.h"

namespace viewer {

class CommonDialog {
public:
    CommonDialog() = default;
    CommonDialog(const CommonDialog&) = delete;
    CommonDialog& operator=(const CommonDialog&) = delete;
    ~CommonDialog();

    // The window that owns the dialogs (they are modal to it).
    void Owner(HWND owner) { owner_ = owner; }

    // "description|pattern|description|pattern".
    void Filter(std::wstring filter) { filter_ = std::move(filter); }
    void DialogTitle(std::wstring title) { title_ = std::move(title); }
    // When true, a dialog the user cancels sets Cancelled(); when false, cancelling is silent.
    void CancelError(bool on) { cancelError_ = on; }
    // Whether the last ShowOpen/ShowPrinter was cancelled (only with CancelError on).
    bool Cancelled() const { return cancelled_; }

    // The file-open dialog, starting at FileName (which it keeps); on OK FileName is the path
    // chosen. Throws ComError when the dialog itself fails.
    void ShowOpen();
    const std::wstring& FileName() const { return fileName_; }
    void FileName(std::wstring name) { fileName_ = std::move(name); }

    // Print dialog settings (the dialog's own 16-bit page numbers). The dialog starts with
    // Copies() copies, also when the printer settings it keeps from the last print say more.
    void Copies(std::int16_t copies) { copies_ = copies; }
    std::int16_t Copies() const { return copies_; }
    void FromPage(std::int16_t page) { fromPage_ = page; }
    std::int16_t FromPage() const { return fromPage_; }
    void ToPage(std::int16_t page) { toPage_ = page; }
    std::int16_t ToPage() const { return toPage_; }
    void Min(std::int16_t page) { min_ = page; }
    void Max(std::int16_t page) { max_ = page; }
    void Flags(DWORD flags) { flags_ = flags; }
    DWORD Flags() const { return flags_; }

    // The print dialog. On OK the page range, copies and flags are read back and, with
    // PD_RETURNDC, hDC() is the chosen printer's context. Throws ComError when it fails.
    void ShowPrinter();
    HDC hDC() const { return printerDc_.Get(); }
    // The settings hDC() was made with (the chosen printer's DEVMODE, its driver data included),
    // for whoever prints on it to adjust; null before the first accepted print dialog.
    const DEVMODEW* DevMode() const {
        return printerSettings_.empty() ? nullptr : reinterpret_cast<const DEVMODEW*>(printerSettings_.data());
    }

private:
    HWND owner_ = nullptr;
    std::wstring filter_;
    std::wstring title_;
    bool cancelError_ = false;
    bool cancelled_ = false;
    std::wstring fileName_;

    std::int16_t copies_ = 1;
    std::int16_t fromPage_ = 0;
    std::int16_t toPage_ = 0;
    std::int16_t min_ = 0;
    std::int16_t max_ = 0;
    DWORD flags_ = 0;
    HGLOBAL devMode_ = nullptr;
    HGLOBAL devNames_ = nullptr;
    UniqueDc printerDc_;
    std::vector<BYTE> printerSettings_;  // a copy of devMode_ as it was when hDC() was made
};

}  // namespace viewer
