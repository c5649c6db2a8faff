// DocFile.dll: the classes ckxDocHeader and ckxFileBlock, and the exports
// DllGetClassObject, DllCanUnloadNow, DllRegisterServer and DllUnregisterServer.
//
// The classes are adapters over the portable reader in doc_file.h: they turn
// BSTR paths into filesystem paths and bytes into SAFEARRAYs, and report the
// reader's statuses unchanged. Objects live in a single-threaded apartment;
// only the module counts are shared. References to a class factory keep the
// module loaded, as objects do.
#include <initguid.h>

#include "docfile_idl.h"

#include <cstring>
#include <filesystem>
#include <vector>

#include "com_call.h"
#include "dispatch_object.h"
#include "doc_file.h"
#include "module.h"
#include "registration.h"
#include "unique_handle.h"

namespace docfile::com {
namespace {

using namespace common::com;

// A BSTR as a path. A null BSTR is the empty string; the length comes from the
// BSTR, so a NUL inside it stays in the path (and the reader finds no such file).
std::filesystem::path PathFromBstr(BSTR text) {
    return std::filesystem::path(std::wstring(text ? text : L"", ::SysStringLen(text)));
}

// A byte array indexed from 0, or no array at all for no bytes.
SAFEARRAY* MakeByteArray(const std::vector<std::uint8_t>& bytes) {
    if (bytes.empty()) return nullptr;
    UniqueSafeArray array(::SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size())));
    if (!array) throw std::bad_alloc();
    void* data = nullptr;
    const HRESULT hr = ::SafeArrayAccessData(array.Get(), &data);
    if (FAILED(hr)) throw ComError(hr, L"Cannot fill the byte array.");
    std::memcpy(data, bytes.data(), bytes.size());
    ::SafeArrayUnaccessData(array.Get());
    return array.Detach();
}

constexpr ErrorSource kDocHeaderErrors{&IID__ckxDocHeader, L"DocFile.ckxDocHeader", L"ckxDocHeader"};
constexpr ErrorSource kFileBlockErrors{&IID__ckxFileBlock, L"DocFile.ckxFileBlock", L"ckxFileBlock"};

class DocHeader final : public DispatchObject<_ckxDocHeader, &IID__ckxDocHeader> {
public:
    STDMETHODIMP put_FileSpec(BSTR pFileSpec) override {
        return ComCall(kDocHeaderErrors, L"FileSpec",
                       [&] { header_ = docfile::ReadDocHeader(PathFromBstr(pFileSpec)); });
    }
    STDMETHODIMP get_Status(long* pStatus) override { return Get(L"Status", pStatus, header_.status); }
    STDMETHODIMP get_PackageOffset(long* pPackageOffset) override {
        return Get(L"PackageOffset", pPackageOffset, header_.packageOffset);
    }
    STDMETHODIMP get_PackageLength(long* pPackageLength) override {
        return Get(L"PackageLength", pPackageLength, header_.packageLength);
    }

private:
    static HRESULT Get(const wchar_t* member, long* out, std::int32_t value) {
        return ComCall(kDocHeaderErrors, member, [&] { *RequireOut(out) = value; });
    }

    // Before any FileSpec the status is that of a missing file.
    docfile::DocHeader header_;
};

class FileBlock final : public DispatchObject<_ckxFileBlock, &IID__ckxFileBlock> {
public:
    STDMETHODIMP ReadBlock(BSTR* pFileSpec, long* pStart, long* pLength, SAFEARRAY** pData,
                           long* pStatus) override {
        return ComCall(kFileBlockErrors, L"ReadBlock", [&] {
            if (!pFileSpec || !pStart || !pLength || !pData || !pStatus) {
                throw ComError(E_POINTER, L"ReadBlock needs all five arguments.");
            }
            std::vector<std::uint8_t> bytes;
            const std::int32_t status = docfile::ReadBlock(PathFromBstr(*pFileSpec), *pStart, *pLength, bytes);
            UniqueSafeArray fresh(MakeByteArray(bytes));
            // The array passed in is ours to replace.
            const HRESULT hr = ReplaceSafeArray(pData, fresh);
            if (FAILED(hr)) throw ComError(hr, L"The array passed in pData is locked and cannot be replaced.");
            *pStatus = status;
        });
    }

protected:
    // ReadBlock (dispatch id 1) writes its bytes (pData) and its status (pStatus).
    std::span<const WrittenParameter> WrittenParameters() const noexcept override {
        static constexpr WrittenParameter kReadBlockOutputs[] = {{1, 3}, {1, 4}};
        return kReadBlockOutputs;
    }
};

ClassFactory g_docHeaderFactory(&CreateObject<DocHeader>, FactoryReferences::KeepModule);
ClassFactory g_fileBlockFactory(&CreateObject<FileBlock>, FactoryReferences::KeepModule);

// The type library's help folder is the module's folder.
constexpr ClassRegistration kClasses[] = {
#include "classes.inc"
};
constexpr ServerRegistration kServer{&LIBID_DocFile, kClasses, true};

}  // namespace
}  // namespace docfile::com

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        common::com::SetModule(instance);
        ::DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (rclsid == CLSID_ckxDocHeader) return docfile::com::g_docHeaderFactory.QueryInterface(riid, ppv);
    if (rclsid == CLSID_ckxFileBlock) return docfile::com::g_fileBlockFactory.QueryInterface(riid, ppv);
    return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllCanUnloadNow() { return common::com::CanUnloadNow(); }

STDAPI DllRegisterServer() { return common::com::RegisterServer(docfile::com::kServer); }

STDAPI DllUnregisterServer() { return common::com::UnregisterServer(docfile::com::kServer); }
