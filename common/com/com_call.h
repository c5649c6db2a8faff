// The one place where a C++ exception becomes a COM failure status.
//
// Every member of a COM object runs its body through ComCall. The body
// converts arguments, calls the core and converts results; a refusal of the
// core is not an exception. Whatever escapes the body becomes an HRESULT plus
// error information (SetErrorInfo, readable through IErrorInfo and, for
// late-bound callers, EXCEPINFO), so no exception ever crosses the COM
// boundary. The mapping (CurrentFault):
//   ComError               its own status and description
//   std::bad_alloc         E_OUTOFMEMORY
//   std::length_error      E_OUTOFMEMORY (a container would exceed its size limit)
//   std::overflow_error    DISP_E_OVERFLOW
//   other std::exception   E_FAIL
//   anything else          E_UNEXPECTED
// ComCall clears the thread's error information before the body runs, so a
// caller never reads the description of an earlier failure after a success.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <exception>
#include <string>
#include <type_traits>

namespace common::com {

// A failure with its own status and a description for the user: raised by
// the COM layers for arguments they refuse (a null out-pointer, an array of
// the wrong shape) and by clients for failed calls.
class ComError : public std::exception {
public:
    ComError(HRESULT status, std::wstring description)
        : status_(status), description_(std::move(description)) {}
    HRESULT Status() const noexcept { return status_; }
    const std::wstring& Description() const noexcept { return description_; }
    const char* what() const noexcept override { return "COM error"; }

private:
    HRESULT status_;
    std::wstring description_;
};

// The exception being handled as a status and a description. Built in a
// fixed buffer: the exception may be an out-of-memory one.
struct Fault {
    HRESULT status = E_UNEXPECTED;
    wchar_t text[400] = L"Unexpected failure.";
};
// Call only inside a catch block.
Fault CurrentFault() noexcept;

// Whose members report errors: the interface, the ProgID that names the
// source, and the class name that leads each description ("Class.Member: ").
struct ErrorSource {
    const IID* iid;
    const wchar_t* progId;
    const wchar_t* className;
};

// Maps the exception being handled to a status and publishes error
// information naming `member`. Call only inside a catch block.
HRESULT ReportCurrentException(const ErrorSource& source, const wchar_t* member) noexcept;

// Runs `body`; returns what it returns (an HRESULT) or S_OK for a body that
// returns nothing, or the status of the exception it threw.
template <class Body>
HRESULT ComCall(const ErrorSource& source, const wchar_t* member, Body&& body) noexcept {
    try {
        SetErrorInfo(0, nullptr);
        if constexpr (std::is_void_v<decltype(body())>) {
            body();
            return S_OK;
        } else {
            return body();
        }
    } catch (...) {
        return ReportCurrentException(source, member);
    }
}

// Checks a return-value pointer and clears what it points to.
// Throws ComError(E_POINTER) for a NULL pointer.
template <class T>
T* RequireOut(T* out) {
    if (!out) throw ComError(E_POINTER, L"The return-value pointer is NULL.");
    *out = T{};
    return out;
}

}  // namespace common::com
