// BSTR and SAFEARRAY arguments to core types and core results back.
#include "com_convert.h"

#include <cstring>
#include <new>

namespace sorbel::com {

std::u16string_view TextArg(BSTR text) noexcept {
    if (!text) return {};
    return {reinterpret_cast<const char16_t*>(text), SysStringLen(text)};
}

std::u16string_view TextArg(const BSTR* text) noexcept {
    return text ? TextArg(*text) : std::u16string_view{};
}

std::int32_t IndexArg(const LONG* index) {
    if (!index) throw ComError(E_POINTER, L"The position pointer is NULL.");
    return static_cast<std::int32_t>(*index);
}

ByteArg::ByteArg(SAFEARRAY* const* array) {
    if (!array || !*array) return;
    SAFEARRAY* a = *array;
    if (a->cDims != 1) {
        throw ComError(DISP_E_TYPEMISMATCH, L"A byte array must have exactly one dimension.");
    }
    constexpr USHORT kNotBytes = FADF_BSTR | FADF_UNKNOWN | FADF_DISPATCH | FADF_VARIANT | FADF_RECORD;
    // An array that records its element type must say VT_UI1; one that does
    // not (built by hand with SafeArrayAllocDescriptor) must at least not be
    // flagged as holding strings, interfaces, variants or records.
    VARTYPE type = VT_EMPTY;
    const bool typed = SUCCEEDED(SafeArrayGetVartype(a, &type));
    if (typed ? type != VT_UI1 : (a->fFeatures & kNotBytes) != 0) {
        throw ComError(DISP_E_TYPEMISMATCH, L"A byte array must hold elements of type Byte (VT_UI1).");
    }
    if (a->cbElements != 1) {
        throw ComError(DISP_E_TYPEMISMATCH, L"A byte array must hold 1-byte elements.");
    }
    const ULONG count = a->rgsabound[0].cElements;
    if (count == 0) return;
    if (!a->pvData) throw ComError(E_INVALIDARG, L"The byte array has elements but no data.");
    lock_ = common::com::LockSafeArray(a);
    if (!lock_) throw ComError(E_INVALIDARG, L"The byte array cannot be locked.");
    // pvData addresses the element at the lower bound, whatever its value.
    span_ = ByteSpan(static_cast<const std::uint8_t*>(a->pvData), count);
}

BSTR MakeBstr(std::u16string_view text) {
    BSTR b = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()), static_cast<UINT>(text.size()));
    if (!b) throw std::bad_alloc();
    return b;
}

SAFEARRAY* MakeByteArray(ByteSpan bytes) {
    if (bytes.empty()) return nullptr;
    common::com::UniqueSafeArray array(SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size())));
    if (!array.Get()) throw std::bad_alloc();
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(array.Get(), &data))) throw std::bad_alloc();
    std::memcpy(data, bytes.data(), bytes.size());
    SafeArrayUnaccessData(array.Get());
    return array.Detach();
}

}  // namespace sorbel::com
