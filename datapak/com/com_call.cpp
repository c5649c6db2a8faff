// Exception to HRESULT mapping and error information for the COM object.
// Builds the description in a fixed buffer: the exception being reported may
// be an out-of-memory one, so nothing here allocates on the C++ heap.
#include "com_call.h"

#include <oleauto.h>

#include <cwchar>
#include <new>
#include <stdexcept>

#include "com_ptr.h"
#include "sorbel_idl.h"

namespace sorbel::com {
namespace {

constexpr wchar_t kSource[] = L"Sorbel.ckxDataPak";

// Copies a narrow exception message (ASCII from the core) into `out`.
void Widen(const char* text, wchar_t* out, size_t capacity) {
    size_t i = 0;
    for (; text && text[i] != '\0' && i + 1 < capacity; ++i) {
        out[i] = static_cast<unsigned char>(text[i]);
    }
    out[i] = L'\0';
}

void PublishErrorInfo(const wchar_t* member, const wchar_t* text) noexcept {
    wchar_t description[512];
    std::swprintf(description, sizeof description / sizeof description[0], L"ckxDataPak.%ls: %ls", member, text);
    ComPtr<ICreateErrorInfo> create;
    if (FAILED(CreateErrorInfo(create.Put()))) return;
    create->SetGUID(IID__ckxDataPak);
    create->SetSource(const_cast<wchar_t*>(kSource));
    create->SetDescription(description);
    auto info = create.Query<IErrorInfo>(IID_IErrorInfo);
    if (info) SetErrorInfo(0, info.Get());
}

}  // namespace

HRESULT ReportCurrentException(const wchar_t* member) noexcept {
    HRESULT status = E_UNEXPECTED;
    wchar_t text[400] = L"Unexpected failure.";
    wchar_t detail[300];
    try {
        throw;
    } catch (const ComError& e) {
        status = e.Status();
        std::swprintf(text, 400, L"%ls", e.Description());
    } catch (const std::bad_alloc&) {
        status = E_OUTOFMEMORY;
        std::swprintf(text, 400, L"Out of memory.");
    } catch (const std::length_error&) {
        status = E_OUTOFMEMORY;
        std::swprintf(text, 400, L"Out of memory (the request exceeds the largest possible size).");
    } catch (const std::overflow_error& e) {
        status = DISP_E_OVERFLOW;
        Widen(e.what(), detail, 300);
        std::swprintf(text, 400, L"Overflow: %ls", detail);
    } catch (const std::exception& e) {
        status = E_FAIL;
        Widen(e.what(), detail, 300);
        std::swprintf(text, 400, L"Unexpected failure: %ls", detail);
    } catch (...) {
    }
    PublishErrorInfo(member, text);
    return status;
}

}  // namespace sorbel::com
