// IUnknown, IDispatch and ISupportErrorInfo for an object whose one dual
// interface is Itf (identified by *ItfId).
//
// IDispatch is served from the type library embedded in the module (resource
// 1 TYPELIB), so late-bound clients call members by name and land in the same
// vtable members. Their arguments reach the members as copies (see
// invoke_adapter.h); only the parameters a class lists in WrittenParameters
// are written back into the caller's variables. Each object counts in the
// module's object count from construction to destruction.
#pragma once

#include <windows.h>
#include <cguid.h>
#include <oleauto.h>

#include <span>

#include "com_ptr.h"
#include "invoke_adapter.h"
#include "module.h"

namespace common::com {

template <class Itf, const IID* ItfId>
class DispatchObject : public Itf, public ISupportErrorInfo {
public:
    DispatchObject() { ObjectCreated(); }
    DispatchObject(const DispatchObject&) = delete;
    DispatchObject& operator=(const DispatchObject&) = delete;
    virtual ~DispatchObject() { ObjectDestroyed(); }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == *ItfId) {
            *out = static_cast<Itf*>(this);
        } else if (iid == IID_ISupportErrorInfo) {
            *out = static_cast<ISupportErrorInfo*>(this);
        } else {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    // IDispatch
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
        if (!info) return E_POINTER;
        *info = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        const HRESULT hr = EnsureTypeInfo();
        if (FAILED(hr)) return hr;
        typeInfo_.CopyTo(info);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        const HRESULT hr = EnsureTypeInfo();
        if (FAILED(hr)) return hr;
        return typeInfo_->GetIDsOfNames(names, count, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* exception, UINT* argumentError) override {
        if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        const HRESULT hr = EnsureTypeInfo();
        if (FAILED(hr)) return hr;
        return InvokeWithArgumentCopies(typeInfo_.Get(), static_cast<Itf*>(this), id, flags, params, result,
                                        exception, argumentError, WrittenParameters());
    }

    // ISupportErrorInfo
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override {
        return iid == *ItfId ? S_OK : S_FALSE;
    }

protected:
    // The parameters that the members write through; none unless a class says so.
    virtual std::span<const WrittenParameter> WrittenParameters() const noexcept { return {}; }

    // Loads the interface's type information from this module on first use.
    HRESULT EnsureTypeInfo() noexcept {
        if (typeInfo_) return S_OK;
        try {
            const std::wstring path = ModulePath();
            ComPtr<ITypeLib> library;
            const HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.Put());
            if (FAILED(hr)) return hr;
            return library->GetTypeInfoOfGuid(*ItfId, typeInfo_.Put());
        } catch (...) {
            return CurrentFault().status;
        }
    }

private:
    LONG references_ = 1;
    ComPtr<ITypeInfo> typeInfo_;
};

}  // namespace common::com
