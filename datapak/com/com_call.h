// The one place where a C++ exception becomes a COM failure status.
//
// Every member of the COM object runs its body through ComCall. The body
// converts arguments, calls the core and converts results; a refusal of the
// core is not an exception (it sets the object's error number and returns).
// Whatever escapes the body is turned into an HRESULT plus error information
// (SetErrorInfo, readable through IErrorInfo and, for late-bound callers,
// EXCEPINFO), so no exception ever crosses the COM boundary:
//   ComError               its own status and description
//   std::bad_alloc         E_OUTOFMEMORY
//   std::length_error      E_OUTOFMEMORY (a container would exceed its size limit)
//   std::overflow_error    DISP_E_OVERFLOW
//   other std::exception   E_FAIL
//   anything else          E_UNEXPECTED
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <exception>
#include <string>

namespace sorbel::com {

// A failure detected by the COM layer itself (a null out-pointer, an array
// of the wrong shape or element type).
class ComError : public std::exception {
public:
    ComError(HRESULT status, const wchar_t* description) : status_(status), description_(description) {}
    HRESULT Status() const { return status_; }
    const wchar_t* Description() const { return description_; }
    const char* what() const noexcept override { return "COM argument error"; }

private:
    HRESULT status_;
    const wchar_t* description_;  // a string literal
};

// Maps the exception being handled to a status and publishes error
// information naming `member`. Call only from inside a catch block.
HRESULT ReportCurrentException(const wchar_t* member) noexcept;

// Runs `body` and returns S_OK, or the status of the exception it threw.
// Clears stale error information first so that a caller never reads the
// description of an earlier failure after a success.
template <class Body>
HRESULT ComCall(const wchar_t* member, Body&& body) noexcept {
    try {
        SetErrorInfo(0, nullptr);
        body();
        return S_OK;
    } catch (...) {
        return ReportCurrentException(member);
    }
}

}  // namespace sorbel::com
