// Self-registration of DocFile.dll (regsvr32): for each class the CLSID key
// with its in-process server path (apartment threaded), ProgID, type library
// and version, the ProgID key pointing back to the CLSID, and the type library
// registered from the copy embedded in the DLL.
//
// Registering again overwrites the same values; unregistering deletes exactly
// the keys written here and the type library's registration, and does not
// complain about what is already gone.
#include "docfile_idl.h"

#include "com_support.h"

#include <olectl.h>

#include <cwchar>
#include <string>

namespace docfile::com {
namespace {

struct ClassEntry {
    const CLSID* clsid;
    const wchar_t* progId;
    const wchar_t* description;
};

const ClassEntry kClasses[] = {
    {&CLSID_ckxDocHeader, L"DocFile.ckxDocHeader", L"DocFile ckxDocHeader: locates the package of a document"},
    {&CLSID_ckxFileBlock, L"DocFile.ckxFileBlock", L"DocFile ckxFileBlock: reads a block of a file"},
};

std::wstring GuidText(const GUID& guid) {
    wchar_t text[40] = {};
    ::StringFromGUID2(guid, text, 40);
    return text;
}

// Creates the key (and its parents) and sets one string value; name null for the default value.
LSTATUS SetString(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    HKEY handle = nullptr;
    LSTATUS rc = ::RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                   KEY_SET_VALUE, nullptr, &handle, nullptr);
    if (rc != ERROR_SUCCESS) return rc;
    rc = ::RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(handle);
    return rc;
}

LSTATUS DeleteTree(const std::wstring& key) {
    const LSTATUS rc = ::RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
    return rc == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : rc;
}

HRESULT FromStatus(LSTATUS rc) { return rc == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(rc); }

HRESULT RegisterClasses(const std::wstring& modulePath) {
    const std::wstring libId = GuidText(LIBID_DocFile);
    for (const auto& c : kClasses) {
        const std::wstring clsidKey = L"CLSID\\" + GuidText(*c.clsid);
        const std::wstring clsid = GuidText(*c.clsid);
        LSTATUS rc = SetString(clsidKey, nullptr, c.description);
        if (rc == ERROR_SUCCESS) rc = SetString(clsidKey + L"\\InprocServer32", nullptr, modulePath);
        if (rc == ERROR_SUCCESS) rc = SetString(clsidKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
        if (rc == ERROR_SUCCESS) rc = SetString(clsidKey + L"\\ProgID", nullptr, c.progId);
        if (rc == ERROR_SUCCESS) rc = SetString(clsidKey + L"\\TypeLib", nullptr, libId);
        if (rc == ERROR_SUCCESS) rc = SetString(clsidKey + L"\\Version", nullptr, L"1.0");
        if (rc == ERROR_SUCCESS) rc = SetString(c.progId, nullptr, c.description);
        if (rc == ERROR_SUCCESS) rc = SetString(std::wstring(c.progId) + L"\\CLSID", nullptr, clsid);
        if (rc != ERROR_SUCCESS) return FromStatus(rc);
    }
    return S_OK;
}

HRESULT UnregisterClasses() {
    HRESULT result = S_OK;
    for (const auto& c : kClasses) {
        const HRESULT a = FromStatus(DeleteTree(L"CLSID\\" + GuidText(*c.clsid)));
        const HRESULT b = FromStatus(DeleteTree(c.progId));
        if (FAILED(a)) result = a;
        if (FAILED(b)) result = b;
    }
    return result;
}

bool TypeLibRegistered(const TLIBATTR& attr) {
    // Versions are written in hexadecimal under the TypeLib key.
    wchar_t version[16] = {};
    ::swprintf(version, 16, L"%x.%x", attr.wMajorVerNum, attr.wMinorVerNum);
    const std::wstring key = L"TypeLib\\" + GuidText(attr.guid) + L"\\" + version;
    HKEY handle = nullptr;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
    ::RegCloseKey(handle);
    return true;
}

HRESULT LoadOwnTypeLib(const std::wstring& modulePath, ITypeLib** lib) {
    return ::LoadTypeLibEx(modulePath.c_str(), REGKIND_NONE, lib);
}

}  // namespace
}  // namespace docfile::com

STDAPI DllRegisterServer() {
    using namespace docfile::com;
    try {
        std::wstring path = ModulePath();
        ITypeLib* lib = nullptr;
        HRESULT hr = LoadOwnTypeLib(path, &lib);
        if (FAILED(hr)) return hr;
        std::wstring dir = path.substr(0, path.find_last_of(L'\\'));
        hr = ::RegisterTypeLib(lib, path.data(), dir.data());
        lib->Release();
        if (FAILED(hr)) return hr;
        hr = RegisterClasses(path);
        if (FAILED(hr)) UnregisterClasses();
        return hr;
    } catch (...) {
        return SELFREG_E_CLASS;
    }
}

STDAPI DllUnregisterServer() {
    using namespace docfile::com;
    try {
        HRESULT result = UnregisterClasses();
        ITypeLib* lib = nullptr;
        if (SUCCEEDED(LoadOwnTypeLib(ModulePath(), &lib))) {
            TLIBATTR* attr = nullptr;
            if (SUCCEEDED(lib->GetLibAttr(&attr))) {
                // A type library that is not registered is already as we want it.
                if (TypeLibRegistered(*attr)) {
                    const HRESULT hr = ::UnRegisterTypeLib(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum,
                                                           attr->lcid, attr->syskind);
                    if (FAILED(hr) && SUCCEEDED(result)) result = hr;
                }
                lib->ReleaseTLibAttr(attr);
            }
            lib->Release();
        }
        return result;
    } catch (...) {
        return SELFREG_E_CLASS;
    }
}
