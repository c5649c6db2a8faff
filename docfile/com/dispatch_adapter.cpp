// The IDispatch::Invoke of DocFile's classes: ITypeInfo::Invoke, with
// variable references of script clients adapted to typed by-reference
// parameters (see com_support.h).
#include "com_support.h"

#include <vector>

namespace docfile::com {
namespace {

// The type that a by-reference parameter points to, as a VARTYPE (VT_ARRAY |
// element type for a SAFEARRAY), or VT_EMPTY when the parameter is not a typed
// by-reference one that needs adapting.
VARTYPE ReferencedType(const TYPEDESC& desc) {
    if (desc.vt != VT_PTR || !desc.lptdesc) return VT_EMPTY;
    const TYPEDESC& target = *desc.lptdesc;
    switch (target.vt) {
        case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_BSTR: case VT_BOOL: case VT_UI1:
            return target.vt;
        case VT_SAFEARRAY:
            if (target.lptdesc && target.lptdesc->vt == VT_UI1) return VT_ARRAY | VT_UI1;
            return VT_EMPTY;
        default:
            return VT_EMPTY;
    }
}

// The address of the value inside a VARIANT of type vt, for a VT_BYREF argument.
void* ValueAddress(VARIANT& v, VARTYPE vt) {
    switch (vt) {
        case VT_I2: return &V_I2(&v);
        case VT_I4: return &V_I4(&v);
        case VT_R4: return &V_R4(&v);
        case VT_R8: return &V_R8(&v);
        case VT_BSTR: return &V_BSTR(&v);
        case VT_BOOL: return &V_BOOL(&v);
        case VT_UI1: return &V_UI1(&v);
        default: return &V_ARRAY(&v);
    }
}

struct Adapted {
    VARIANT* callerRef = nullptr;  // the script's variable
    VARIANT value;                 // its value converted to the parameter's type
};

class FuncDescHolder {
public:
    FuncDescHolder(ITypeInfo* info, FUNCDESC* desc) : info_(info), desc_(desc) {}
    FuncDescHolder(const FuncDescHolder&) = delete;
    FuncDescHolder& operator=(const FuncDescHolder&) = delete;
    ~FuncDescHolder() {
        if (desc_) info_->ReleaseFuncDesc(desc_);
    }
    FUNCDESC* get() const { return desc_; }

private:
    ITypeInfo* info_;
    FUNCDESC* desc_;
};

// The description of the member `id` callable with `flags`, or null.
FUNCDESC* FindFunction(ITypeInfo* info, DISPID id, WORD flags) {
    TYPEATTR* attr = nullptr;
    if (FAILED(info->GetTypeAttr(&attr))) return nullptr;
    const WORD count = attr->cFuncs;
    info->ReleaseTypeAttr(attr);
    for (UINT i = 0; i < count; ++i) {
        FUNCDESC* desc = nullptr;
        if (FAILED(info->GetFuncDesc(i, &desc))) continue;
        if (desc->memid == id && (desc->invkind & flags) != 0) return desc;
        info->ReleaseFuncDesc(desc);
    }
    return nullptr;
}

HRESULT Adapt(ITypeInfo* info, IUnknown* object, DISPID id, WORD flags, DISPPARAMS* params,
              VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) {
    const auto plain = [&] { return info->Invoke(object, id, flags, params, result, excepInfo, argErr); };
    if (!params || params->cArgs == 0 || params->cNamedArgs != 0 || !(flags & DISPATCH_METHOD)) return plain();
    FuncDescHolder func(info, FindFunction(info, id, DISPATCH_METHOD));
    if (!func.get() || params->cArgs > static_cast<UINT>(func.get()->cParams)) return plain();

    const UINT n = params->cArgs;
    std::vector<VARIANT> args(params->rgvarg, params->rgvarg + n);
    std::vector<Adapted> adapted(n);
    for (auto& a : adapted) ::VariantInit(&a.value);
    bool any = false;
    HRESULT hr = S_OK;
    for (UINT i = 0; i < n && SUCCEEDED(hr); ++i) {
        // Arguments come last first: rgvarg[n - 1] is the first parameter.
        const UINT param = n - 1 - i;
        VARIANT& arg = args[i];
        const VARTYPE target = ReferencedType(func.get()->lprgelemdescParam[param].tdesc);
        if (target == VT_EMPTY || V_VT(&arg) != (VT_BYREF | VT_VARIANT) || !V_VARIANTREF(&arg)) continue;
        VARIANT* ref = V_VARIANTREF(&arg);
        Adapted& a = adapted[i];
        if (target == (VT_ARRAY | VT_UI1)) {
            // The byte-array parameters only receive: a variable that holds
            // anything else starts as no array and is replaced by the result.
            if (V_VT(ref) == target) {
                hr = ::VariantCopy(&a.value, ref);
            } else {
                V_VT(&a.value) = target;
                V_ARRAY(&a.value) = nullptr;
            }
        } else {
            hr = ::VariantChangeType(&a.value, ref, 0, target);
        }
        if (FAILED(hr)) {
            if (argErr) *argErr = i;
            break;
        }
        a.callerRef = ref;
        V_VT(&arg) = static_cast<VARTYPE>(VT_BYREF | target);
        V_BYREF(&arg) = ValueAddress(a.value, target);
        any = true;
    }
    if (SUCCEEDED(hr) && any) {
        DISPPARAMS changed = *params;
        changed.rgvarg = args.data();
        hr = info->Invoke(object, id, flags, &changed, result, excepInfo, argErr);
        if (SUCCEEDED(hr)) {
            // Hand the values back to the caller's variables; ownership moves with them.
            for (auto& a : adapted) {
                if (!a.callerRef) continue;
                ::VariantClear(a.callerRef);
                *a.callerRef = a.value;
                ::VariantInit(&a.value);
            }
        }
    } else if (SUCCEEDED(hr)) {
        hr = plain();
    }
    for (auto& a : adapted) ::VariantClear(&a.value);
    return hr;
}

}  // namespace

HRESULT InvokeAdaptingVariantRefs(ITypeInfo* typeInfo, IUnknown* object, DISPID id, WORD flags,
                                  DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo,
                                  UINT* argErr) noexcept {
    try {
        return Adapt(typeInfo, object, id, flags, params, result, excepInfo, argErr);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

}  // namespace docfile::com
