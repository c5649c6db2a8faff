// The COM plumbing of DocFile.dll, shared by its two classes: the module's
// object and lock counts (for DllCanUnloadNow), the one place where a C++
// exception becomes a failure HRESULT with error information, a base class
// that implements IUnknown, IDispatch (from the embedded type library) and
// ISupportErrorInfo, and small owners for BSTR and SAFEARRAY.
//
// No C++ exception ever leaves a COM method: every body runs inside ComCall.
#pragma once

#include <windows.h>
#include <cguid.h>
#include <oleauto.h>

#include <atomic>
#include <new>
#include <span>
#include <stdexcept>
#include <string>

#include "invoke_adapter.h"

namespace docfile::com {

// Live objects of this module (class objects included) and LockServer locks.
extern std::atomic<long> g_objectCount;
extern std::atomic<long> g_lockCount;
extern HMODULE g_module;

// The full path of DocFile.dll itself.
std::wstring ModulePath();

// A failure that the COM layer reports with its own HRESULT and message.
class ComError : public std::runtime_error {
public:
    ComError(HRESULT hr, const char* message) : std::runtime_error(message), hr_(hr) {}
    HRESULT hr() const noexcept { return hr_; }

private:
    HRESULT hr_;
};

// Sets the thread's error information (source, interface, description) and returns hr.
HRESULT ReportError(HRESULT hr, REFIID iid, const wchar_t* source, const std::string& utf8Message) noexcept;

// Runs a method body; maps what it throws to an HRESULT with error information:
// bad_alloc -> E_OUTOFMEMORY, overflow and length errors -> DISP_E_OVERFLOW,
// ComError -> its own HRESULT, any other exception -> E_FAIL or E_UNEXPECTED.
template <class Body>
HRESULT ComCall(REFIID iid, const wchar_t* source, Body&& body) noexcept {
    try {
        return body();
    } catch (const ComError& e) {
        return ReportError(e.hr(), iid, source, e.what());
    } catch (const std::bad_alloc&) {
        return ReportError(E_OUTOFMEMORY, iid, source, "Out of memory.");
    } catch (const std::overflow_error& e) {
        return ReportError(DISP_E_OVERFLOW, iid, source, e.what());
    } catch (const std::length_error& e) {
        return ReportError(DISP_E_OVERFLOW, iid, source, e.what());
    } catch (const std::exception& e) {
        return ReportError(E_FAIL, iid, source, e.what());
    } catch (...) {
        return ReportError(E_UNEXPECTED, iid, source, "Unexpected failure.");
    }
}

// Owns a SAFEARRAY until Detach.
class SafeArrayOwner {
public:
    explicit SafeArrayOwner(SAFEARRAY* array = nullptr) noexcept : array_(array) {}
    SafeArrayOwner(const SafeArrayOwner&) = delete;
    SafeArrayOwner& operator=(const SafeArrayOwner&) = delete;
    ~SafeArrayOwner() {
        if (array_) ::SafeArrayDestroy(array_);
    }
    SAFEARRAY* get() const noexcept { return array_; }
    [[nodiscard]] SAFEARRAY* Detach() noexcept {
        SAFEARRAY* a = array_;
        array_ = nullptr;
        return a;
    }

private:
    SAFEARRAY* array_;
};

// IUnknown, IDispatch and ISupportErrorInfo for an object whose one dual
// interface is Itf (identified by *ItfId). IDispatch comes from the type
// library embedded in this module, so late-bound clients call members by name;
// their arguments reach the members as copies (invoke_adapter.h), and only the
// parameters named by WrittenParameters are written back into their variables.
template <class Itf, const IID* ItfId>
class DispatchObject : public Itf, public ISupportErrorInfo {
public:
    DispatchObject() noexcept { ++g_objectCount; }
    DispatchObject(const DispatchObject&) = delete;
    DispatchObject& operator=(const DispatchObject&) = delete;
    virtual ~DispatchObject() {
        if (typeInfo_) typeInfo_->Release();
        --g_objectCount;
    }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == *ItfId) {
            *ppv = static_cast<Itf*>(this);
        } else if (riid == IID_ISupportErrorInfo) {
            *ppv = static_cast<ISupportErrorInfo*>(this);
        } else {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++refs_); }
    STDMETHODIMP_(ULONG) Release() override {
        const long n = --refs_;
        if (n == 0) delete this;
        return static_cast<ULONG>(n);
    }

    // IDispatch
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override {
        if (!pctinfo) return E_POINTER;
        *pctinfo = 1;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT iTInfo, LCID, ITypeInfo** ppTInfo) override {
        if (!ppTInfo) return E_POINTER;
        *ppTInfo = nullptr;
        if (iTInfo != 0) return DISP_E_BADINDEX;
        const HRESULT hr = LoadTypeInfo();
        if (FAILED(hr)) return hr;
        typeInfo_->AddRef();
        *ppTInfo = typeInfo_;
        return S_OK;
    }
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        const HRESULT hr = LoadTypeInfo();
        if (FAILED(hr)) return hr;
        return ::DispGetIDsOfNames(typeInfo_, names, count, ids);
    }
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* excepInfo, UINT* argErr) override {
        if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        const HRESULT hr = LoadTypeInfo();
        if (FAILED(hr)) return hr;
        return common::com::InvokeWithArgumentCopies(typeInfo_, static_cast<Itf*>(this), id, flags, params,
                                                     result, excepInfo, argErr, WrittenParameters());
    }

    // ISupportErrorInfo
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override {
        return riid == *ItfId ? S_OK : S_FALSE;
    }

protected:
    // The parameters that the members write through; none unless a class says so.
    virtual std::span<const common::com::WrittenParameter> WrittenParameters() const noexcept { return {}; }

private:
    HRESULT LoadTypeInfo() noexcept {
        if (typeInfo_) return S_OK;
        ITypeLib* lib = nullptr;
        HRESULT hr;
        try {
            hr = ::LoadTypeLibEx(ModulePath().c_str(), REGKIND_NONE, &lib);
        } catch (...) {
            return E_OUTOFMEMORY;
        }
        if (FAILED(hr)) return hr;
        hr = lib->GetTypeInfoOfGuid(*ItfId, &typeInfo_);
        lib->Release();
        return hr;
    }

    std::atomic<long> refs_{1};
    ITypeInfo* typeInfo_ = nullptr;
};

}  // namespace docfile::com
