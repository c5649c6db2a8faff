// Conversions between Automation values and the core's types.
//
// Arguments are read, never written or kept: the core copies whatever it
// stores, so a view into the caller's BSTR or SAFEARRAY is enough for the
// duration of one call. Results are fresh allocations that the caller owns.
//
// Strings: a NULL BSTR (or a NULL pointer to one) is the empty string.
// Byte arrays: a NULL pointer, a NULL SAFEARRAY and an array with no elements
// are 0 bytes. Only a one-dimensional array of 1-byte VT_UI1 elements is
// accepted; anything else is refused with DISP_E_TYPEMISMATCH before a byte is
// read. An array whose lower bound is not 0 is read whole, from its lower
// bound to its upper bound. An empty result is a NULL SAFEARRAY.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <string_view>

#include "ckx_data_pak.h"
#include "com_call.h"
#include "unique_handle.h"

namespace sorbel::com {

using common::com::ComError;
using common::com::RequireOut;

std::u16string_view TextArg(BSTR text) noexcept;
std::u16string_view TextArg(const BSTR* text) noexcept;

// Throws ComError(E_POINTER) for a NULL pointer.
std::int32_t IndexArg(const LONG* index);

// A byte-array argument, locked for as long as this object lives.
class ByteArg {
public:
    // Throws ComError(DISP_E_TYPEMISMATCH) for an array of the wrong shape
    // or element type, ComError(E_INVALIDARG) for a damaged descriptor.
    explicit ByteArg(SAFEARRAY* const* array);
    ByteSpan Span() const { return span_; }
    operator ByteSpan() const { return span_; }

private:
    common::com::UniqueSafeArrayLock lock_;
    ByteSpan span_;
};

// Fresh copies for the caller. Throw std::bad_alloc when the allocation fails.
BSTR MakeBstr(std::u16string_view text);
SAFEARRAY* MakeByteArray(ByteSpan bytes);  // NULL for no bytes

}  // namespace sorbel::com
