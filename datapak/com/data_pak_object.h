// The COM object of class ckxDataPak: the dual interface _ckxDataPak over one
// sorbel::ckxDataPak core object.
//
// The object is an adapter. Each member converts its arguments (com_convert),
// calls the core member of the same name and converts the result; refusals
// stay in the core's error number and the call returns S_OK. Faults become
// failure statuses with error information (com_call). IDispatch is served by
// the type library embedded in the module, so a late-bound call by name lands
// in the same vtable member with the same argument handling.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include "ckx_data_pak.h"
#include "com_ptr.h"
#include "sorbel_idl.h"

namespace sorbel::com {

class DataPakObject final : public _ckxDataPak, public ISupportErrorInfo {
public:
    // Creates an object with one reference and stores its _ckxDataPak
    // pointer in *out, or returns a failure status.
    static HRESULT Create(REFIID iid, void** out) noexcept;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IDispatch
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override;

    // ISupportErrorInfo
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override;

    // _ckxDataPak, in interface order.
    HRESULT STDMETHODCALLTYPE TypeID(LONG* pTypeID) override;
    HRESULT STDMETHODCALLTYPE get_Title(BSTR* pValue) override;
    HRESULT STDMETHODCALLTYPE put_Title(BSTR pTitle) override;
    HRESULT STDMETHODCALLTYPE Count(LONG* pCount) override;
    HRESULT STDMETHODCALLTYPE Append(BSTR* pKey, BSTR* pData) override;
    HRESULT STDMETHODCALLTYPE Delete(BSTR* pKey) override;
    HRESULT STDMETHODCALLTYPE FindKey(BSTR* pKey, LONG* pIndex) override;
    HRESULT STDMETHODCALLTYPE Insert(BSTR* pKey, BSTR* pData, BSTR* pKeyBefore) override;
    HRESULT STDMETHODCALLTYPE Zap() override;
    HRESULT STDMETHODCALLTYPE get_Category(BSTR* pValue) override;
    HRESULT STDMETHODCALLTYPE put_Category(BSTR pCategory) override;
    HRESULT STDMETHODCALLTYPE Length(BSTR* pKey, LONG* pLength) override;
    HRESULT STDMETHODCALLTYPE Edit(BSTR* pKey, BSTR* pData) override;
    HRESULT STDMETHODCALLTYPE put_Package(SAFEARRAY** pPackage) override;
    HRESULT STDMETHODCALLTYPE get_Package(SAFEARRAY** pValue) override;
    HRESULT STDMETHODCALLTYPE Size(LONG* pSize) override;
    HRESULT STDMETHODCALLTYPE Clear() override;
    HRESULT STDMETHODCALLTYPE get_RecordB(LONG* pIndex, SAFEARRAY** pValue) override;
    HRESULT STDMETHODCALLTYPE put_RecordB(LONG* pIndex, SAFEARRAY** pData) override;
    HRESULT STDMETHODCALLTYPE get_Record(LONG* pIndex, BSTR* pValue) override;
    HRESULT STDMETHODCALLTYPE put_Record(LONG* pIndex, BSTR* pData) override;
    HRESULT STDMETHODCALLTYPE ErrorNumber(::ckxDataPak_ErrorNumber* pErrorNumber) override;
    HRESULT STDMETHODCALLTYPE get_Data(BSTR* pKey, BSTR* pValue) override;
    HRESULT STDMETHODCALLTYPE put_Data(BSTR* pKey, BSTR* pData) override;
    HRESULT STDMETHODCALLTYPE AppendB(BSTR* pKey, SAFEARRAY** pData) override;
    HRESULT STDMETHODCALLTYPE EditB(BSTR* pKey, SAFEARRAY** pData) override;
    HRESULT STDMETHODCALLTYPE InsertB(BSTR* pKey, SAFEARRAY** pData, BSTR* pKeyBefore) override;
    HRESULT STDMETHODCALLTYPE get_DataB(BSTR* pKey, SAFEARRAY** pValue) override;
    HRESULT STDMETHODCALLTYPE put_DataB(BSTR* pKey, SAFEARRAY** pData) override;
    HRESULT STDMETHODCALLTYPE FindData(BSTR* pData, LONG* pIndex) override;
    HRESULT STDMETHODCALLTYPE FindDataB(SAFEARRAY** pData, LONG* pIndex) override;
    HRESULT STDMETHODCALLTYPE get_RecordKey(LONG* pIndex, BSTR* pValue) override;
    HRESULT STDMETHODCALLTYPE put_RecordKey(LONG* pIndex, BSTR* pKey) override;
    HRESULT STDMETHODCALLTYPE RecordDelete(LONG* pIndex) override;
    HRESULT STDMETHODCALLTYPE RecordEdit(BSTR* pKey, BSTR* pData, LONG* pIndex) override;
    HRESULT STDMETHODCALLTYPE RecordEditB(BSTR* pKey, SAFEARRAY** pData, LONG* pIndex) override;
    HRESULT STDMETHODCALLTYPE RecordInsert(BSTR* pKey, BSTR* pData, LONG* pIndex) override;
    HRESULT STDMETHODCALLTYPE RecordInsertB(BSTR* pKey, SAFEARRAY** pData, LONG* pIndex) override;

private:
    DataPakObject();
    ~DataPakObject();
    DataPakObject(const DataPakObject&) = delete;
    DataPakObject& operator=(const DataPakObject&) = delete;

    // Loads the interface's type information from this module on first use.
    HRESULT EnsureTypeInfo();

    LONG references_ = 1;
    sorbel::ckxDataPak pak_;
    ComPtr<ITypeInfo> typeInfo_;
};

}  // namespace sorbel::com
