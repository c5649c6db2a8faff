// DllRegisterServer and DllUnregisterServer.
//
// Registering writes, under HKEY_CLASSES_ROOT:
//   TypeLib\{LIBID} and Interface\{IID of _ckxDataPak}  (RegisterTypeLib)
//   CLSID\{CLSID}                       "ckxDataPak"
//   CLSID\{CLSID}\InprocServer32        full path of this module, ThreadingModel=Apartment
//   CLSID\{CLSID}\ProgID                "Sorbel.ckxDataPak"
//   CLSID\{CLSID}\TypeLib               "{LIBID}"
//   Sorbel.ckxDataPak                   "ckxDataPak"
//   Sorbel.ckxDataPak\CLSID             "{CLSID}"
// Unregistering removes exactly these (UnRegisterTypeLib and the two key
// trees). Both are idempotent: registering again overwrites the same values,
// unregistering what is absent succeeds.
#include <windows.h>
#include <objbase.h>
#include <olectl.h>
#include <oleauto.h>

#include <cwchar>
#include <new>
#include <string>

#include "com_ptr.h"
#include "server.h"
#include "sorbel_idl.h"

namespace {

using sorbel::com::ComPtr;

constexpr wchar_t kProgId[] = L"Sorbel.ckxDataPak";
constexpr wchar_t kClassName[] = L"ckxDataPak";

std::wstring GuidText(REFGUID guid) {
    wchar_t text[40];
    StringFromGUID2(guid, text, 40);
    return text;
}

std::wstring ClassKey() { return L"CLSID\\" + GuidText(CLSID_ckxDataPak); }

LSTATUS SetKey(const std::wstring& path, const wchar_t* name, const std::wstring& value) {
    HKEY key = nullptr;
    LSTATUS status =
        RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) return status;
    status = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return status;
}

HRESULT LoadOwnTypeLib(ITypeLib** library) {
    const std::wstring path = sorbel::com::ModulePath();
    if (path.empty()) return HRESULT_FROM_WIN32(GetLastError());
    return LoadTypeLibEx(path.c_str(), REGKIND_NONE, library);
}

HRESULT RegisterClassKeys() {
    const std::wstring path = sorbel::com::ModulePath();
    if (path.empty()) return SELFREG_E_CLASS;
    const std::wstring classKey = ClassKey();
    const std::wstring clsid = GuidText(CLSID_ckxDataPak);
    const bool ok = SetKey(classKey, nullptr, kClassName) == ERROR_SUCCESS &&
                    SetKey(classKey + L"\\InprocServer32", nullptr, path) == ERROR_SUCCESS &&
                    SetKey(classKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment") == ERROR_SUCCESS &&
                    SetKey(classKey + L"\\ProgID", nullptr, kProgId) == ERROR_SUCCESS &&
                    SetKey(classKey + L"\\TypeLib", nullptr, GuidText(LIBID_Sorbel)) == ERROR_SUCCESS &&
                    SetKey(kProgId, nullptr, kClassName) == ERROR_SUCCESS &&
                    SetKey(std::wstring(kProgId) + L"\\CLSID", nullptr, clsid) == ERROR_SUCCESS;
    return ok ? S_OK : SELFREG_E_CLASS;
}

bool DeleteTree(const std::wstring& path) {
    const LSTATUS status = RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str());
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

HRESULT Unregister() {
    bool ok = DeleteTree(ClassKey());
    ok = DeleteTree(kProgId) && ok;
    // The type library's own attributes say under which version, locale and
    // system kind RegisterTypeLib filed it.
    ComPtr<ITypeLib> library;
    if (SUCCEEDED(LoadOwnTypeLib(library.Put()))) {
        TLIBATTR* attributes = nullptr;
        if (SUCCEEDED(library->GetLibAttr(&attributes))) {
            // Only a registered library is unregistered: an absent one is
            // not a failure of unregistering.
            wchar_t version[16];
            swprintf(version, 16, L"\\%x.%x", attributes->wMajorVerNum, attributes->wMinorVerNum);
            const std::wstring versionKey = L"TypeLib\\" + GuidText(attributes->guid) + version;
            HKEY key = nullptr;
            if (RegOpenKeyExW(HKEY_CLASSES_ROOT, versionKey.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
                RegCloseKey(key);
                ok = SUCCEEDED(UnRegisterTypeLib(attributes->guid, attributes->wMajorVerNum,
                                                 attributes->wMinorVerNum, attributes->lcid, attributes->syskind)) &&
                     ok;
            }
            library->ReleaseTLibAttr(attributes);
        }
    } else {
        ok = false;
    }
    return ok ? S_OK : SELFREG_E_CLASS;
}

HRESULT Register() {
    ComPtr<ITypeLib> library;
    HRESULT hr = LoadOwnTypeLib(library.Put());
    if (FAILED(hr)) return SELFREG_E_TYPELIB;
    const std::wstring path = sorbel::com::ModulePath();
    hr = RegisterTypeLib(library.Get(), const_cast<wchar_t*>(path.c_str()), nullptr);
    if (FAILED(hr)) return SELFREG_E_TYPELIB;
    hr = RegisterClassKeys();
    if (FAILED(hr)) Unregister();
    return hr;
}

}  // namespace

STDAPI DllRegisterServer() {
    try {
        return Register();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

STDAPI DllUnregisterServer() {
    try {
        return Unregister();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}
