// The ckxDataPak COM object: the Package get shortcut of IDispatch, and the 38
// members of _ckxDataPak as thin calls into the core. Every member body runs through ComCall; none writes through its
// by-reference parameters. Late-bound calls go through the shared Invoke
// adapter, which passes the members copies of the caller's arguments.
#include "data_pak_object.h"

#include <new>

#include "ansi_encoding.h"
#include "com_call.h"
#include "com_convert.h"

namespace sorbel::com {
namespace {

using common::com::ComCall;

constexpr common::com::ErrorSource kErrors{&IID__ckxDataPak, L"Sorbel.ckxDataPak", L"ckxDataPak"};

}  // namespace

DataPakObject::DataPakObject() : pak_(AnsiCodePage()) {}

HRESULT DataPakObject::Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                              EXCEPINFO* exception, UINT* argumentError) {
    if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    const HRESULT hr = EnsureTypeInfo();
    if (FAILED(hr)) return hr;
    // Package get hands out the whole package in a new array, which
    // ITypeInfo::Invoke would copy once more into the result. It takes no
    // arguments, so it is called directly; should it fail, the call takes the
    // general path below, which fails the same way and fills the exception
    // information (Package get changes nothing).
    constexpr DISPID kPackageId = 12;  // [id(12)] in sorbel.idl
    if (id == kPackageId && (flags & DISPATCH_PROPERTYGET) &&
        !(flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) && params && params->cArgs == 0 && result) {
        SAFEARRAY* package = nullptr;
        if (SUCCEEDED(get_Package(&package))) {
            V_VT(result) = VT_ARRAY | VT_UI1;
            V_ARRAY(result) = package;
            return S_OK;
        }
    }
    // Scripts pass variables as VARIANT references; the adapter hands the
    // members owned copies and leaves every argument of the caller as it was
    // (no member writes through its parameters, so nothing is written back).
    return DispatchObject::Invoke(id, iid, lcid, flags, params, result, exception, argumentError);
}

// --- Type identifier, header and counts (never touch the error number) ---

HRESULT DataPakObject::TypeID(LONG* pTypeID) {
    return ComCall(kErrors, L"TypeID", [&] {
        LONG* out = RequireOut(pTypeID);
        *out = pak_.TypeID();
    });
}

HRESULT DataPakObject::get_Title(BSTR* pValue) {
    return ComCall(kErrors, L"Title", [&] {
        BSTR* out = RequireOut(pValue);
        *out = MakeBstr(pak_.Title());
    });
}

HRESULT DataPakObject::put_Title(BSTR pTitle) {
    return ComCall(kErrors, L"Title", [&] { pak_.Title(TextArg(pTitle)); });
}

HRESULT DataPakObject::Count(LONG* pCount) {
    return ComCall(kErrors, L"Count", [&] {
        LONG* out = RequireOut(pCount);
        *out = pak_.Count();
    });
}

HRESULT DataPakObject::get_Category(BSTR* pValue) {
    return ComCall(kErrors, L"Category", [&] {
        BSTR* out = RequireOut(pValue);
        *out = MakeBstr(pak_.Category());
    });
}

HRESULT DataPakObject::put_Category(BSTR pCategory) {
    return ComCall(kErrors, L"Category", [&] { pak_.Category(TextArg(pCategory)); });
}

HRESULT DataPakObject::Length(BSTR* pKey, LONG* pLength) {
    return ComCall(kErrors, L"Length", [&] {
        LONG* out = RequireOut(pLength);
        *out = pak_.Length(TextArg(pKey));
    });
}

HRESULT DataPakObject::Zap() {
    return ComCall(kErrors, L"Zap", [&] { pak_.Zap(); });
}

HRESULT DataPakObject::Clear() {
    return ComCall(kErrors, L"Clear", [&] { pak_.Clear(); });
}

HRESULT DataPakObject::ErrorNumber(::ckxDataPak_ErrorNumber* pErrorNumber) {
    return ComCall(kErrors, L"ErrorNumber", [&] {
        ::ckxDataPak_ErrorNumber* out = RequireOut(pErrorNumber);
        *out = static_cast<::ckxDataPak_ErrorNumber>(pak_.ErrorNumber());
    });
}

// --- Keyed members, text data ---

HRESULT DataPakObject::Append(BSTR* pKey, BSTR* pData) {
    return ComCall(kErrors, L"Append", [&] { pak_.Append(TextArg(pKey), TextArg(pData)); });
}

HRESULT DataPakObject::Delete(BSTR* pKey) {
    return ComCall(kErrors, L"Delete", [&] { pak_.Delete(TextArg(pKey)); });
}

HRESULT DataPakObject::FindKey(BSTR* pKey, LONG* pIndex) {
    return ComCall(kErrors, L"FindKey", [&] {
        LONG* out = RequireOut(pIndex);
        *out = pak_.FindKey(TextArg(pKey));
    });
}

HRESULT DataPakObject::Insert(BSTR* pKey, BSTR* pData, BSTR* pKeyBefore) {
    return ComCall(kErrors, L"Insert", [&] { pak_.Insert(TextArg(pKey), TextArg(pData), TextArg(pKeyBefore)); });
}

HRESULT DataPakObject::Edit(BSTR* pKey, BSTR* pData) {
    return ComCall(kErrors, L"Edit", [&] { pak_.Edit(TextArg(pKey), TextArg(pData)); });
}

HRESULT DataPakObject::get_Data(BSTR* pKey, BSTR* pValue) {
    return ComCall(kErrors, L"Data", [&] {
        BSTR* out = RequireOut(pValue);
        *out = MakeBstr(pak_.Data(TextArg(pKey)));
    });
}

HRESULT DataPakObject::put_Data(BSTR* pKey, BSTR* pData) {
    return ComCall(kErrors, L"Data", [&] { pak_.Data(TextArg(pKey), TextArg(pData)); });
}

// --- Keyed members, byte data, and search by data ---

HRESULT DataPakObject::AppendB(BSTR* pKey, SAFEARRAY** pData) {
    return ComCall(kErrors, L"AppendB", [&] { pak_.AppendB(TextArg(pKey), ByteArg(pData)); });
}

HRESULT DataPakObject::EditB(BSTR* pKey, SAFEARRAY** pData) {
    return ComCall(kErrors, L"EditB", [&] { pak_.EditB(TextArg(pKey), ByteArg(pData)); });
}

HRESULT DataPakObject::InsertB(BSTR* pKey, SAFEARRAY** pData, BSTR* pKeyBefore) {
    return ComCall(kErrors, L"InsertB", [&] { pak_.InsertB(TextArg(pKey), ByteArg(pData), TextArg(pKeyBefore)); });
}

HRESULT DataPakObject::get_DataB(BSTR* pKey, SAFEARRAY** pValue) {
    return ComCall(kErrors, L"DataB", [&] {
        SAFEARRAY** out = RequireOut(pValue);
        *out = MakeByteArray(pak_.DataB(TextArg(pKey)));
    });
}

HRESULT DataPakObject::put_DataB(BSTR* pKey, SAFEARRAY** pData) {
    return ComCall(kErrors, L"DataB", [&] { pak_.DataB(TextArg(pKey), ByteArg(pData)); });
}

HRESULT DataPakObject::FindData(BSTR* pData, LONG* pIndex) {
    return ComCall(kErrors, L"FindData", [&] {
        LONG* out = RequireOut(pIndex);
        *out = pak_.FindData(TextArg(pData));
    });
}

HRESULT DataPakObject::FindDataB(SAFEARRAY** pData, LONG* pIndex) {
    return ComCall(kErrors, L"FindDataB", [&] {
        LONG* out = RequireOut(pIndex);
        const ByteArg data(pData);
        *out = pak_.FindDataB(data);
    });
}

// --- Positional members ---

HRESULT DataPakObject::get_RecordB(LONG* pIndex, SAFEARRAY** pValue) {
    return ComCall(kErrors, L"RecordB", [&] {
        SAFEARRAY** out = RequireOut(pValue);
        *out = MakeByteArray(pak_.RecordB(IndexArg(pIndex)));
    });
}

HRESULT DataPakObject::put_RecordB(LONG* pIndex, SAFEARRAY** pData) {
    return ComCall(kErrors, L"RecordB", [&] { pak_.RecordB(IndexArg(pIndex), ByteArg(pData)); });
}

HRESULT DataPakObject::get_Record(LONG* pIndex, BSTR* pValue) {
    return ComCall(kErrors, L"Record", [&] {
        BSTR* out = RequireOut(pValue);
        *out = MakeBstr(pak_.Record(IndexArg(pIndex)));
    });
}

HRESULT DataPakObject::put_Record(LONG* pIndex, BSTR* pData) {
    return ComCall(kErrors, L"Record", [&] { pak_.Record(IndexArg(pIndex), TextArg(pData)); });
}

HRESULT DataPakObject::get_RecordKey(LONG* pIndex, BSTR* pValue) {
    return ComCall(kErrors, L"RecordKey", [&] {
        BSTR* out = RequireOut(pValue);
        *out = MakeBstr(pak_.RecordKey(IndexArg(pIndex)));
    });
}

HRESULT DataPakObject::put_RecordKey(LONG* pIndex, BSTR* pKey) {
    return ComCall(kErrors, L"RecordKey", [&] { pak_.RecordKey(IndexArg(pIndex), TextArg(pKey)); });
}

HRESULT DataPakObject::RecordDelete(LONG* pIndex) {
    return ComCall(kErrors, L"RecordDelete", [&] { pak_.RecordDelete(IndexArg(pIndex)); });
}

HRESULT DataPakObject::RecordEdit(BSTR* pKey, BSTR* pData, LONG* pIndex) {
    return ComCall(kErrors, L"RecordEdit", [&] { pak_.RecordEdit(TextArg(pKey), TextArg(pData), IndexArg(pIndex)); });
}

HRESULT DataPakObject::RecordEditB(BSTR* pKey, SAFEARRAY** pData, LONG* pIndex) {
    return ComCall(kErrors, L"RecordEditB", [&] { pak_.RecordEditB(TextArg(pKey), ByteArg(pData), IndexArg(pIndex)); });
}

HRESULT DataPakObject::RecordInsert(BSTR* pKey, BSTR* pData, LONG* pIndex) {
    return ComCall(kErrors, L"RecordInsert", [&] { pak_.RecordInsert(TextArg(pKey), TextArg(pData), IndexArg(pIndex)); });
}

HRESULT DataPakObject::RecordInsertB(BSTR* pKey, SAFEARRAY** pData, LONG* pIndex) {
    return ComCall(kErrors, L"RecordInsertB",
                   [&] { pak_.RecordInsertB(TextArg(pKey), ByteArg(pData), IndexArg(pIndex)); });
}

// --- Package ---

HRESULT DataPakObject::put_Package(SAFEARRAY** pPackage) {
    return ComCall(kErrors, L"Package", [&] { pak_.Package(ByteArg(pPackage)); });
}

HRESULT DataPakObject::get_Package(SAFEARRAY** pValue) {
    return ComCall(kErrors, L"Package", [&] {
        SAFEARRAY** out = RequireOut(pValue);
        // Written straight into the new array: no intermediate copy.
        const std::int32_t size = pak_.Size();
        common::com::UniqueSafeArray array(SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(size)));
        if (!array.Get()) throw std::bad_alloc();
        {
            const auto lock = common::com::LockSafeArray(array.Get());
            if (!lock) throw std::bad_alloc();
            pak_.PackageInto({static_cast<std::uint8_t*>(array.Get()->pvData), static_cast<std::size_t>(size)});
        }
        *out = array.Detach();
    });
}

HRESULT DataPakObject::Size(LONG* pSize) {
    return ComCall(kErrors, L"Size", [&] {
        LONG* out = RequireOut(pSize);
        *out = pak_.Size();
    });
}

}  // namespace sorbel::com
