// IDispatch::Invoke for a server whose members are described by a type
// library, without ever handing the caller's own argument VARIANTs to
// ITypeInfo::Invoke.
//
// Why: script clients pass every variable as a reference to a VARIANT
// (VT_VARIANT | VT_BYREF). ITypeInfo::Invoke does not turn such a reference
// into the typed reference (BSTR*, long*, SAFEARRAY**) a member expects, and
// for an [in, out] parameter whose argument is not a typed reference, Wine's
// Invoke converts the argument into a temporary and afterwards writes that
// temporary back over the argument, clearing the old value first. Whatever
// VARIANT it is given therefore loses the BSTR or SAFEARRAY it held: given a
// shallow copy of a script variable, the variable is left pointing at freed
// memory; given a caller's by-value argument, the caller's value is freed
// under it.
//
// What this adapter does instead: every argument is converted into a
// temporary owned by the adapter, of the type the parameter names, and passed
// as a typed reference to that temporary (VT_BYREF | type), which
// ITypeInfo::Invoke hands to the member as it is. An argument whose value
// already has the parameter's type (a BSTR for a string, a VT_UI1 array for a
// byte array, by value or in a variable) is not copied when the member only
// reads it: the typed reference then points at the caller's own value. The
// caller's VARIANTs are only read. After the call the temporaries are freed,
// except for the parameters that the server lists as written: their new value
// moves into the caller's variable (the old value cleared exactly once, the
// new one then owned by the variable). Two cases pass through untouched: an
// argument that is already a reference of exactly the parameter's type (a C++ client's
// by-reference argument: the member reads, or for a written parameter writes,
// the caller's value as COM's by-reference rules say), and a parameter typed
// VARIANT.
//
// Parameter types adapted: the integer, floating, currency, date, BSTR and
// boolean types, and SAFEARRAYs of them, by value or by reference. A member
// with a parameter of another type fails with DISP_E_TYPEMISMATCH.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <span>

namespace common::com {

// A parameter (0-based position in the member's declaration) that a member
// writes through; its new value goes back into the caller's variable.
struct WrittenParameter {
    MEMBERID member;
    UINT parameter;
};

// ITypeInfo::Invoke of `typeInfo` on `object`, with the arguments copied as
// described above. `written` lists the parameters whose values are written
// back into VT_VARIANT | VT_BYREF arguments; none by default.
HRESULT InvokeWithArgumentCopies(ITypeInfo* typeInfo, IUnknown* object, DISPID id, WORD flags,
                                 DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr,
                                 std::span<const WrittenParameter> written = {}) noexcept;

}  // namespace common::com
