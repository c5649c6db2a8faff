// `cdl`, the common-dialog component: see common_dialog.h.
#include "common_dialog.h"

#include <commdlg.h>

#include <algorithm>
#include <cstddef>
#include <vector>

#include "viewer_logic.h"

namespace viewer {

namespace {

[[noreturn]] void ThrowDialogError(const wchar_t* dialog, DWORD code) {
    wchar_t text[96];
    swprintf(text, 96, L"%ls failed (common dialog error 0x%04lX)", dialog,
             static_cast<unsigned long>(code));
    throw ComError(E_FAIL, text);
}

}  // namespace

CommonDialog::~CommonDialog() {
    if (devMode_) GlobalFree(devMode_);
    if (devNames_) GlobalFree(devNames_);
}

void CommonDialog::ShowOpen() {
    cancelled_ = false;
    const std::wstring filterList = FilterToDialogList(filter_);
    // Room for any path the dialog may return; it starts at the name chosen last time.
    std::vector<wchar_t> file(32768, L'\0');
    fileName_.copy(file.data(), std::min(fileName_.size(), file.size() - 1));

    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner_;
    ofn.lpstrFilter = filter_.empty() ? nullptr : filterList.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrTitle = title_.empty() ? nullptr : title_.c_str();
    // The viewer never writes documents, so the read-only box has nothing to offer.
    ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;

    if (GetOpenFileNameW(&ofn)) {
        fileName_ = file.data();
        return;
    }
    if (const DWORD code = CommDlgExtendedError()) ThrowDialogError(L"The file-open dialog", code);
    cancelled_ = cancelError_;
}

void CommonDialog::ShowPrinter() {
    cancelled_ = false;
    // Handed the printer settings of the last print, the dialog starts from their copy count,
    // not from nCopies: the count chosen last time (or set as the printer's default) would
    // carry over. The settings are given the dialog's own count first.
    if (devMode_) {
        if (auto* mode = static_cast<DEVMODEW*>(GlobalLock(devMode_))) {
            if (GlobalSize(devMode_) >= offsetof(DEVMODEW, dmCopies) + sizeof mode->dmCopies) {
                mode->dmCopies = copies_;
                mode->dmFields |= DM_COPIES;
            }
            GlobalUnlock(devMode_);
        }
    }
    PRINTDLGW pd{};
    pd.lStructSize = sizeof pd;
    pd.hwndOwner = owner_;
    pd.hDevMode = devMode_;
    pd.hDevNames = devNames_;
    pd.Flags = flags_;
    pd.nCopies = static_cast<WORD>(copies_);
    pd.nFromPage = static_cast<WORD>(fromPage_);
    pd.nToPage = static_cast<WORD>(toPage_);
    pd.nMinPage = static_cast<WORD>(min_);
    pd.nMaxPage = static_cast<WORD>(max_);

    const BOOL ok = PrintDlgW(&pd);
    // The dialog may have replaced the printer choice even when cancelled: keep what it left.
    devMode_ = pd.hDevMode;
    devNames_ = pd.hDevNames;
    if (!ok) {
        if (const DWORD code = CommDlgExtendedError()) ThrowDialogError(L"The print dialog", code);
        cancelled_ = cancelError_;
        return;
    }
    printerDc_.Reset(pd.hDC);
    printerSettings_.clear();
    if (devMode_) {
        if (const auto* mode = static_cast<const DEVMODEW*>(GlobalLock(devMode_))) {
            // Kept only when whole: a short block would be read past its end by the driver.
            const std::size_t size = std::size_t{mode->dmSize} + mode->dmDriverExtra;
            if (size <= GlobalSize(devMode_)) {
                const auto* bytes = reinterpret_cast<const BYTE*>(mode);
                printerSettings_.assign(bytes, bytes + size);
            }
            GlobalUnlock(devMode_);
        }
    }
    flags_ = pd.Flags;
    copies_ = static_cast<std::int16_t>(pd.nCopies);
    fromPage_ = static_cast<std::int16_t>(pd.nFromPage);
    toPage_ = static_cast<std::int16_t>(pd.nToPage);
}

}  // namespace viewer
