// Exception to HRESULT mapping and error information. Descriptions are built
// in fixed buffers: the exception being reported may be an out-of-memory one,
// so nothing here allocates on the C++ heap.
#include "com_call.h"

#include <cwchar>
#include <new>
#include <stdexcept>

#include "com_ptr.h"

namespace common::com {
namespace {

// Copies a narrow exception message (ASCII from the core) into `out`.
void Widen(const char* text, wchar_t* out, size_t capacity) {
    size_t i = 0;
    for (; text && text[i] != '\0' && i + 1 < capacity; ++i) {
        out[i] = static_cast<unsigned char>(text[i]);
    }
    out[i] = L'\0';
}

void PublishErrorInfo(const ErrorSource& source, const wchar_t* member, const wchar_t* text) noexcept {
    wchar_t description[512];
    std::swprintf(description, sizeof description / sizeof description[0], L"%ls.%ls: %ls", source.className,
                  member, text);
    ComPtr<ICreateErrorInfo> create;
    if (FAILED(CreateErrorInfo(create.Put()))) return;
    create->SetGUID(*source.iid);
    create->SetSource(const_cast<wchar_t*>(source.progId));
    create->SetDescription(description);
    auto info = create.Query<IErrorInfo>(IID_IErrorInfo);
    if (info) SetErrorInfo(0, info.Get());
}

}  // namespace

Fault CurrentFault() noexcept {
    Fault fault;
    constexpr size_t n = sizeof fault.text / sizeof fault.text[0];
    wchar_t detail[300];
    try {
        throw;
    } catch (const ComError& e) {
        fault.status = e.Status();
        std::swprintf(fault.text, n, L"%ls", e.Description().c_str());
    } catch (const std::bad_alloc&) {
        fault.status = E_OUTOFMEMORY;
        std::swprintf(fault.text, n, L"Out of memory.");
    } catch (const std::length_error&) {
        fault.status = E_OUTOFMEMORY;
        std::swprintf(fault.text, n, L"Out of memory (the request exceeds the largest possible size).");
    } catch (const std::overflow_error& e) {
        fault.status = DISP_E_OVERFLOW;
        Widen(e.what(), detail, 300);
        std::swprintf(fault.text, n, L"Overflow: %ls", detail);
    } catch (const std::exception& e) {
        fault.status = E_FAIL;
        Widen(e.what(), detail, 300);
        std::swprintf(fault.text, n, L"Unexpected failure: %ls", detail);
    } catch (...) {
    }
    return fault;
}

HRESULT ReportCurrentException(const ErrorSource& source, const wchar_t* member) noexcept {
    const Fault fault = CurrentFault();
    PublishErrorInfo(source, member, fault.text);
    return fault.status;
}

}  // namespace common::com
