// COM and Win32 helpers of the viewer. The owning wrappers (COM pointers, BSTR, SAFEARRAY,
// device contexts, GDI objects, accelerators) and the error type come from common/com; here
// every failure of a COM call or a Win32 call is turned into that one error type, carrying the
// HRESULT and a description, and the commands and window procedures name it to the user.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>

#include "com_call.h"
#include "com_ptr.h"
#include "unique_handle.h"

namespace viewer {

using common::com::ComError;
using common::com::ComPtr;
using common::com::SavedDc;
using common::com::SelectedObject;
using common::com::UniqueAccel;
using common::com::UniqueBitmap;
using common::com::UniqueBrush;
using common::com::UniqueBstr;
using common::com::UniqueDc;
using common::com::UniqueEnhMetaFile;
using common::com::UniqueFont;
using common::com::UniquePen;
using common::com::UniqueRegion;
using common::com::UniqueSafeArray;
using common::com::UniqueScreenDc;

// Throws ComError when hr is a failure. The description is the object's error information
// when it set some, otherwise the system's text for hr; `what` (the call that failed) leads it.
void ThrowIfFailed(HRESULT hr, const wchar_t* what);

// Throws ComError for the calling thread's last Win32 error.
[[noreturn]] void ThrowLastError(const wchar_t* what);

// The exception being handled as a number and a description (common::com::CurrentFault).
// Call only inside a catch block.
ComError CurrentError();

// "Error 0x80040154: Class not registered" for the user.
std::wstring DescribeError(const ComError& error);

// The unexpected-error path: a message box that names the exception being handled, owned by
// `owner` while it is a window. Allocates nothing, so it also reports running out of memory.
// Call only inside a catch block.
void ReportUnexpectedError(HWND owner) noexcept;

// Creates an object of class `clsid` through COM (in-process server) and asks it for T.
// Throws ComError naming `className` when that fails (for instance, class not registered).
template <class T>
ComPtr<T> CreateByClassId(const CLSID& clsid, const wchar_t* className) {
    ComPtr<T> object;
    const HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, __uuidof(T), object.PutVoid());
    if (FAILED(hr)) {
        ThrowIfFailed(hr, (std::wstring(L"Cannot create ") + className).c_str());
    }
    return object;
}

}  // namespace viewer
