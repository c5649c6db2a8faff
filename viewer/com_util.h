// COM and Win32 helpers of the viewer: owning wrappers (COM pointers, BSTR, SAFEARRAY,
// device contexts), and the one error type into which every failure of a COM call or a
// Win32 call is turned, carrying the HRESULT and a description. The command dispatcher
// catches it and names the error to the user.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <stdexcept>
#include <string>
#include <utility>

namespace viewer {

// A failed COM or Win32 call: its HRESULT and a description for the user.
class ComError : public std::runtime_error {
public:
    ComError(HRESULT hr, std::wstring description);
    HRESULT code() const { return hr_; }
    const std::wstring& description() const { return description_; }

private:
    HRESULT hr_;
    std::wstring description_;
};

// Throws ComError when hr is a failure. The description is the object's error information
// when it set some, otherwise the system's text for hr; `what` (the call that failed) leads it.
void ThrowIfFailed(HRESULT hr, const wchar_t* what);

// Throws ComError for the calling thread's last Win32 error.
[[noreturn]] void ThrowLastError(const wchar_t* what);

// The exception being handled as a number and a description: ComError as it is,
// std::bad_alloc as E_OUTOFMEMORY, std::overflow_error as DISP_E_OVERFLOW, anything else as
// E_UNEXPECTED. Call only inside a catch block.
ComError CurrentError();

// "Error 0x80040154: Class not registered" for the user.
std::wstring DescribeError(const ComError& error);

// An owned COM interface pointer. Copying AddRefs; Put() releases before handing out the address.
template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(const ComPtr& other) : p_(other.p_) {
        if (p_) p_->AddRef();
    }
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(p_, other.p_);
        return *this;
    }
    ~ComPtr() { Reset(); }

    T* operator->() const { return p_; }
    T* Get() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    T** Put() {
        Reset();
        return &p_;
    }
    void Reset() {
        if (p_) std::exchange(p_, nullptr)->Release();
    }

private:
    T* p_ = nullptr;
};

// Creates an object of class `clsid` through COM (in-process server) and asks it for T.
// Throws ComError naming `className` when that fails (for instance, class not registered).
template <class T>
ComPtr<T> CreateByClassId(const CLSID& clsid, const wchar_t* className) {
    ComPtr<T> object;
    const HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, __uuidof(T),
                                        reinterpret_cast<void**>(object.Put()));
    if (FAILED(hr)) {
        ThrowIfFailed(hr, (std::wstring(L"Cannot create ") + className).c_str());
    }
    return object;
}

// An owned Automation string.
class Bstr {
public:
    Bstr() = default;
    explicit Bstr(const std::wstring& text);
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    ~Bstr() { SysFreeString(b_); }

    BSTR Get() const { return b_; }
    // For an [out] parameter: frees the string first.
    BSTR* Put() {
        SysFreeString(std::exchange(b_, nullptr));
        return &b_;
    }
    // For an [in, out] parameter: the callee reads it and may replace it.
    BSTR* InOut() { return &b_; }
    std::wstring Text() const { return b_ ? std::wstring(b_, SysStringLen(b_)) : std::wstring(); }

private:
    BSTR b_ = nullptr;
};

// An owned Automation array (a byte array, as the readers hand them out).
class SafeArray {
public:
    SafeArray() = default;
    SafeArray(const SafeArray&) = delete;
    SafeArray& operator=(const SafeArray&) = delete;
    ~SafeArray() {
        if (a_) SafeArrayDestroy(a_);
    }
    // For an [out] parameter: destroys the array first.
    SAFEARRAY** Put() {
        if (a_) SafeArrayDestroy(std::exchange(a_, nullptr));
        return &a_;
    }
    // For an [in, out] parameter: the callee reads it and may replace it.
    SAFEARRAY** InOut() { return &a_; }

private:
    SAFEARRAY* a_ = nullptr;
};

// An owned device context made with CreateDC/CreateCompatibleDC (released with DeleteDC).
class OwnedDc {
public:
    OwnedDc() = default;
    explicit OwnedDc(HDC dc) : dc_(dc) {}
    OwnedDc(OwnedDc&& other) noexcept : dc_(std::exchange(other.dc_, nullptr)) {}
    OwnedDc& operator=(OwnedDc&& other) noexcept {
        if (this != &other) Reset(std::exchange(other.dc_, nullptr));
        return *this;
    }
    ~OwnedDc() { Reset(); }
    HDC Get() const { return dc_; }
    void Reset(HDC dc = nullptr) {
        if (dc_) DeleteDC(dc_);
        dc_ = dc;
    }

private:
    HDC dc_ = nullptr;
};

}  // namespace viewer
