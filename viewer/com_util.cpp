// COM and Win32 helpers of the viewer: see com_util.h.
#include "com_util.h"

#include <cstdio>
#include <new>
#include <string>

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
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) != S_OK || !info) return {};
    BSTR description = nullptr;
    std::wstring text;
    if (SUCCEEDED(info->GetDescription(&description)) && description) {
        text.assign(description, SysStringLen(description));
    }
    SysFreeString(description);
    info->Release();
    return text;
}

std::wstring Widen(const char* text) {
    std::wstring wide;
    for (const char* p = text; *p; ++p) wide.push_back(static_cast<unsigned char>(*p));
    return wide;
}

}  // namespace

ComError::ComError(HRESULT hr, std::wstring description)
    : std::runtime_error("COM error"), hr_(hr), description_(std::move(description)) {}

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
    try {
        throw;
    } catch (const ComError& e) {
        return e;
    } catch (const std::bad_alloc&) {
        return ComError(E_OUTOFMEMORY, L"Out of memory");
    } catch (const std::overflow_error& e) {
        return ComError(DISP_E_OVERFLOW, L"Overflow: " + Widen(e.what()));
    } catch (const std::exception& e) {
        return ComError(E_UNEXPECTED, Widen(e.what()));
    } catch (...) {
        return ComError(E_UNEXPECTED, L"Unexpected error");
    }
}

std::wstring DescribeError(const ComError& error) {
    wchar_t number[16];
    std::swprintf(number, 16, L"0x%08lX", static_cast<unsigned long>(error.code()));
    return L"Error " + std::wstring(number) + L": " + error.description();
}

Bstr::Bstr(const std::wstring& text) : b_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {
    if (!b_) throw std::bad_alloc();
}

}  // namespace viewer
