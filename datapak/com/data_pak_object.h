// The COM object of class ckxDataPak: the dual interface _ckxDataPak over one
// sorbel::ckxDataPak core object.
//
// The object is an adapter. Each member converts its arguments (com_convert),
// calls the core member of the same name and converts the result; refusals
// stay in the core's error number and the call returns S_OK. Faults become
// failure statuses with error information (ComCall). IDispatch is served by
// the type library embedded in the module (DispatchObject), so a late-bound
// call by name lands in the same vtable member with the same argument handling.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include "ckx_data_pak.h"
#include "dispatch_object.h"
#include "sorbel_idl.h"

namespace sorbel::com {

class DataPakObject final : public common::com::DispatchObject<_ckxDataPak, &IID__ckxDataPak> {
public:
    DataPakObject();

    // IDispatch: Package get directly, everything else through the type library.
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override;

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
    sorbel::ckxDataPak pak_;
};

}  // namespace sorbel::com
