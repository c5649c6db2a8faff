// COM and Win32 helpers of the viewer: see com_util.h.
#include "com_util.h"

#include <cstdio>
#include <string>

#include "viewer_logic.h"

namespace viewer {

namespace {

// Texts for the failures the viewer meets most, where the system has none (as under Wine).
const wchar_t* KnownMessage(HRESULT hr) {
    switch (hr) {
        case REGDB_E_CLASSNOTREG: return L"Class not registered";
        case CLASS_E_CLASSNOTAVAILABLE: return L"Class not available from its server";
        case E_NOINTERFACE: return L"No such interface supported";
        case E_OUTOFMEMORY: return L"Out of memory";
        case E_INVALIDARG: return L"Invalid argument";
        case DISP_E_OVERFLOW: return L"Overflow";
        case E_FAIL: return L"Unspecified error";
        default: return nullptr;
    }
}

std::wstring SystemMessage(HRESULT hr) {
    if (const wchar_t* known = KnownMessage(hr)) return known;
    wchar_t* buffer = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, static_cast<DWORD>(hr), 0,
                                   reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = n ? std::wstring(buffer, n) : std::wstring();
    LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ' ||
                             text.back() == L'.')) {
        text.pop_back();
    }
    return text.empty() ? L"Unknown error" : text;
}

// The error information the failing object left on this thread, if any.
std::wstring ErrorInfoDescription() {
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.Put()) != S_OK || !info) return {};
    UniqueBstr description;
    if (FAILED(info->GetDescription(description.Put()))) return {};
    return description.Text();
}

}  // namespace

void ThrowIfFailed(HRESULT hr, const wchar_t* what) {
    if (SUCCEEDED(hr)) return;
    std::wstring reason = ErrorInfoDescription();
    if (reason.empty()) reason = SystemMessage(hr);
    throw ComError(hr, std::wstring(what) + L": " + reason);
}

void ThrowLastError(const wchar_t* what) {
    const DWORD error = GetLastError();
    const HRESULT hr = error ? HRESULT_FROM_WIN32(error) : E_FAIL;
    throw ComError(hr, std::wstring(what) + L": " + SystemMessage(hr));
}

ComError CurrentError() {
    const common::com::Fault fault = common::com::CurrentFault();
    return ComError(fault.status, fault.text);
}

std::wstring DescribeError(const ComError& error) {
    wchar_t number[16];
    std::swprintf(number, 16, L"0x%08lX", static_cast<unsigned long>(error.Status()));
    return L"Error " + std::wstring(number) + L": " + error.Description();
}

void ReportUnexpectedError(HWND owner) noexcept {
    const common::com::Fault fault = common::com::CurrentFault();
    wchar_t text[sizeof fault.text / sizeof fault.text[0] + 32];
    std::swprintf(text, sizeof text / sizeof text[0], L"Error 0x%08lX: %ls", static_cast<unsigned long>(fault.status),
                  fault.text);
    MessageBoxW(owner && IsWindow(owner) ? owner : nullptr, text, kErrorTitle, MB_OK | MB_ICONERROR);
}

}  // namespace viewer
