// ITypeInfo::Invoke behind owned copies of the caller's arguments (see
// invoke_adapter.h for why). The adapter owns one temporary per converted
// argument and frees them all on every path; the caller's VARIANTs are written only for
// the parameters listed as written, and only after a successful call.
#include "invoke_adapter.h"

#include <new>
#include <vector>

namespace common::com {
namespace {

// The types whose values the adapter converts and passes by typed reference.
bool IsAdaptedScalar(VARTYPE vt) {
    switch (vt) {
        case VT_I1: case VT_I2: case VT_I4: case VT_INT:
        case VT_UI1: case VT_UI2: case VT_UI4: case VT_UINT:
        case VT_R4: case VT_R8: case VT_CY: case VT_DATE:
        case VT_BSTR: case VT_BOOL:
            return true;
        default:
            return false;
    }
}

// How one parameter is declared.
struct ParameterType {
    VARTYPE value = VT_EMPTY;  // the type of the value (VT_ARRAY | element for a SAFEARRAY)
    bool byReference = false;  // declared as a pointer to that value
    bool isVariant = false;    // VARIANT or VARIANT*: passed through untouched
};

ParameterType TypeOf(const TYPEDESC& declared) {
    ParameterType type;
    const TYPEDESC* desc = &declared;
    if (desc->vt == VT_PTR && desc->lptdesc) {
        type.byReference = true;
        desc = desc->lptdesc;
    }
    if (desc->vt == VT_VARIANT) {
        type.isVariant = true;
    } else if (IsAdaptedScalar(desc->vt)) {
        type.value = desc->vt;
    } else if (desc->vt == VT_SAFEARRAY && desc->lptdesc &&
               (IsAdaptedScalar(desc->lptdesc->vt) || desc->lptdesc->vt == VT_VARIANT)) {
        type.value = static_cast<VARTYPE>(VT_ARRAY | desc->lptdesc->vt);
    }
    return type;
}

// The address of the value of type vt inside v, for a VT_BYREF argument.
void* ValueAddress(VARIANT& v, VARTYPE vt) {
    if (vt & VT_ARRAY) return &V_ARRAY(&v);
    switch (vt) {
        case VT_I1: return &V_I1(&v);
        case VT_I2: return &V_I2(&v);
        case VT_I4: return &V_I4(&v);
        case VT_INT: return &V_INT(&v);
        case VT_UI1: return &V_UI1(&v);
        case VT_UI2: return &V_UI2(&v);
        case VT_UI4: return &V_UI4(&v);
        case VT_UINT: return &V_UINT(&v);
        case VT_R4: return &V_R4(&v);
        case VT_R8: return &V_R8(&v);
        case VT_CY: return &V_CY(&v);
        case VT_DATE: return &V_DATE(&v);
        case VT_BSTR: return &V_BSTR(&v);
        default: return &V_BOOL(&v);
    }
}

// The function description of one member, released with this scope.
class FuncDescScope {
public:
    FuncDescScope(ITypeInfo* info, FUNCDESC* desc) : info_(info), desc_(desc) {}
    FuncDescScope(const FuncDescScope&) = delete;
    FuncDescScope& operator=(const FuncDescScope&) = delete;
    ~FuncDescScope() {
        if (desc_) info_->ReleaseFuncDesc(desc_);
    }
    const FUNCDESC* Get() const { return desc_; }

private:
    ITypeInfo* info_;
    FUNCDESC* desc_;
};

// Where the last lookups of this thread found their member: a script calls
// the same few members over and over, and each step of the scan below costs a
// FUNCDESC allocated and freed. A remembered place is checked before it is
// used, so an entry left by another type description costs only the scan.
struct FunctionPlace {
    ITypeInfo* info = nullptr;
    DISPID id = 0;
    WORD flags = 0;
    UINT index = 0;
};
constexpr unsigned kPlaces = 64;
thread_local FunctionPlace places[kPlaces];

// The first member `id` that can be invoked with `flags`, as ITypeInfo::Invoke
// chooses it (a get and a let share their id), or null.
FUNCDESC* FindFunction(ITypeInfo* info, DISPID id, WORD flags) {
    FunctionPlace& place = places[(static_cast<unsigned>(id) * 4u + flags) % kPlaces];
    if (place.info == info && place.id == id && place.flags == flags) {
        FUNCDESC* desc = nullptr;
        if (SUCCEEDED(info->GetFuncDesc(place.index, &desc))) {
            if (desc->memid == id && (desc->invkind & flags) != 0) return desc;
            info->ReleaseFuncDesc(desc);
        }
    }
    TYPEATTR* attr = nullptr;
    if (FAILED(info->GetTypeAttr(&attr))) return nullptr;
    const WORD count = attr->cFuncs;
    info->ReleaseTypeAttr(attr);
    for (UINT i = 0; i < count; ++i) {
        FUNCDESC* desc = nullptr;
        if (FAILED(info->GetFuncDesc(i, &desc))) continue;
        if (desc->memid == id && (desc->invkind & flags) != 0) {
            place = FunctionPlace{info, id, flags, i};
            return desc;
        }
        info->ReleaseFuncDesc(desc);
    }
    return nullptr;
}

// One argument on its way to the member.
struct Argument {
    VARIANT temporary;            // owned by the adapter; cleared at the end
    VARIANT* writeBack = nullptr;  // the caller's variable that receives the new value
};

// The temporaries of one call, cleared on every path.
class Arguments {
public:
    explicit Arguments(UINT count) : items_(count) {
        for (Argument& a : items_) ::VariantInit(&a.temporary);
    }
    Arguments(const Arguments&) = delete;
    Arguments& operator=(const Arguments&) = delete;
    ~Arguments() {
        for (Argument& a : items_) ::VariantClear(&a.temporary);
    }
    Argument& operator[](UINT i) { return items_[i]; }
    auto begin() { return items_.begin(); }
    auto end() { return items_.end(); }

private:
    std::vector<Argument> items_;
};

bool IsWritten(std::span<const WrittenParameter> written, MEMBERID member, UINT parameter) {
    for (const WrittenParameter& w : written) {
        if (w.member == member && w.parameter == parameter) return true;
    }
    return false;
}

HRESULT Invoke(ITypeInfo* info, IUnknown* object, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
               EXCEPINFO* excepInfo, UINT* argErr, std::span<const WrittenParameter> written) {
    if (!params || params->cArgs == 0) return info->Invoke(object, id, flags, params, result, excepInfo, argErr);
    if (!params->rgvarg || (params->cNamedArgs != 0 && !params->rgdispidNamedArgs) ||
        params->cNamedArgs > params->cArgs) {
        return E_INVALIDARG;
    }
    FuncDescScope func(info, FindFunction(info, id, flags));
    if (!func.Get()) return DISP_E_MEMBERNOTFOUND;
    const FUNCDESC& desc = *func.Get();

    // The parameters that arguments fill: all but the return value and the locale.
    std::vector<UINT> formal;
    for (SHORT p = 0; p < desc.cParams; ++p) {
        const USHORT paramFlags = desc.lprgelemdescParam[p].paramdesc.wParamFlags;
        if (!(paramFlags & (PARAMFLAG_FRETVAL | PARAMFLAG_FLCID))) formal.push_back(static_cast<UINT>(p));
    }
    const UINT n = params->cArgs;
    const UINT named = params->cNamedArgs;
    if (n > formal.size()) return DISP_E_BADPARAMCOUNT;

    Arguments arguments(n);
    std::vector<VARIANT> passed(params->rgvarg, params->rgvarg + n);
    for (UINT i = 0; i < n; ++i) {
        // Named arguments come first; positional ones follow, last first.
        UINT parameter;
        if (i < named) {
            const DISPID name = params->rgdispidNamedArgs[i];
            if (name == DISPID_PROPERTYPUT) {
                parameter = formal.back();
            } else if (name >= 0 && name < desc.cParams) {
                parameter = static_cast<UINT>(name);
            } else {
                if (argErr) *argErr = i;
                return DISP_E_PARAMNOTFOUND;
            }
        } else {
            parameter = formal[n - 1 - i];
        }
        const ParameterType type = TypeOf(desc.lprgelemdescParam[parameter].tdesc);
        if (type.isVariant) continue;
        if (type.value == VT_EMPTY) {
            if (argErr) *argErr = i;
            return DISP_E_TYPEMISMATCH;
        }
        const VARIANT& source = params->rgvarg[i];
        const VARTYPE typedReference = static_cast<VARTYPE>(VT_BYREF | type.value);
        const bool writes = IsWritten(written, id, parameter);
        if (type.byReference && V_VT(&source) == typedReference) continue;

        // A value that already has the parameter's type, for a parameter the
        // member only reads, is passed as a typed reference to the caller's
        // own value: ITypeInfo::Invoke hands such a reference to the member as
        // it is, the member reads it during the call, and nothing is copied
        // (a 64 MiB package would otherwise be copied on every late-bound let).
        if (!writes) {
            VARIANT* held = V_VT(&source) == (VT_BYREF | VT_VARIANT) ? V_VARIANTREF(&source) : &params->rgvarg[i];
            if (held && V_VT(held) == type.value) {
                V_VT(&passed[i]) = typedReference;
                V_BYREF(&passed[i]) = ValueAddress(*held, type.value);
                continue;
            }
        }

        const bool variableRef = V_VT(&source) == (VT_BYREF | VT_VARIANT);
        if (variableRef && !V_VARIANTREF(&source)) {
            if (argErr) *argErr = i;
            return DISP_E_TYPEMISMATCH;
        }
        if (writes && V_ISBYREF(&source) && !variableRef) {
            // A typed reference of another type cannot take the new value.
            if (argErr) *argErr = i;
            return DISP_E_TYPEMISMATCH;
        }
        Argument& argument = arguments[i];
        const VARIANT* value = variableRef ? V_VARIANTREF(&source) : &source;
        // VariantChangeType reads its source and makes a deep copy (BSTR,
        // SAFEARRAY) even when the type already matches.
        HRESULT hr = ::VariantChangeType(&argument.temporary, const_cast<VARIANT*>(value), 0, type.value);
        if (FAILED(hr)) {
            if (!writes) {
                if (argErr) *argErr = i;
                return hr;
            }
            // A written parameter only receives: a variable that holds a
            // value of another type starts as an empty value of the type.
            ::VariantClear(&argument.temporary);
            V_VT(&argument.temporary) = type.value;
            V_CY(&argument.temporary).int64 = 0;  // zeroes every member of the value union
        }
        if (writes && variableRef) argument.writeBack = V_VARIANTREF(&source);
        V_VT(&passed[i]) = typedReference;
        V_BYREF(&passed[i]) = ValueAddress(argument.temporary, type.value);
    }

    DISPPARAMS adapted = *params;
    adapted.rgvarg = passed.data();
    HRESULT hr = info->Invoke(object, id, flags, &adapted, result, excepInfo, argErr);
    if (FAILED(hr)) return hr;
    for (Argument& argument : arguments) {
        if (!argument.writeBack) continue;
        const HRESULT cleared = ::VariantClear(argument.writeBack);
        if (FAILED(cleared)) {
            // The old value stays (a locked array); the new one is freed with the temporaries.
            hr = cleared;
            continue;
        }
        *argument.writeBack = argument.temporary;
        ::VariantInit(&argument.temporary);
    }
    return hr;
}

}  // namespace

HRESULT InvokeWithArgumentCopies(ITypeInfo* typeInfo, IUnknown* object, DISPID id, WORD flags,
                                 DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr,
                                 std::span<const WrittenParameter> written) noexcept {
    if (!typeInfo) return E_UNEXPECTED;
    try {
        return Invoke(typeInfo, object, id, flags, params, result, excepInfo, argErr, written);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

}  // namespace common::com
