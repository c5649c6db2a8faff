// Table-driven self-registration: see registration.h.
#include "registration.h"

#include <objbase.h>
#include <olectl.h>
#include <oleauto.h>

#include <cwchar>
#include <string>

#include "com_call.h"
#include "com_ptr.h"
#include "module.h"
#include "unique_handle.h"

namespace common::com {
namespace {

std::wstring GuidText(REFGUID guid) {
    wchar_t text[40];
    StringFromGUID2(guid, text, 40);
    return text;
}

std::wstring ClassKey(const ClassRegistration& c) { return L"CLSID\\" + GuidText(*c.clsid); }

LSTATUS SetKey(const std::wstring& path, const wchar_t* name, const std::wstring& value) {
    UniqueHkey key;
    LSTATUS status =
        RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.Put(), nullptr);
    if (status != ERROR_SUCCESS) return status;
    return RegSetValueExW(key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

bool DeleteTree(const std::wstring& path) {
    const LSTATUS status = RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str());
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

HRESULT LoadOwnTypeLib(ITypeLib** library) {
    const std::wstring path = ModulePath();
    if (path.empty()) return HRESULT_FROM_WIN32(GetLastError());
    return LoadTypeLibEx(path.c_str(), REGKIND_NONE, library);
}

bool RegisterClassKeys(const ServerRegistration& server, const std::wstring& path) {
    const std::wstring libId = GuidText(*server.libId);
    for (const ClassRegistration& c : server.classes) {
        const std::wstring classKey = ClassKey(c);
        const bool ok = SetKey(classKey, nullptr, c.text) == ERROR_SUCCESS &&
                        SetKey(classKey + L"\\InprocServer32", nullptr, path) == ERROR_SUCCESS &&
                        SetKey(classKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment") == ERROR_SUCCESS &&
                        SetKey(classKey + L"\\ProgID", nullptr, c.progId) == ERROR_SUCCESS &&
                        SetKey(classKey + L"\\TypeLib", nullptr, libId) == ERROR_SUCCESS &&
                        (!c.version || SetKey(classKey + L"\\Version", nullptr, c.version) == ERROR_SUCCESS) &&
                        SetKey(c.progId, nullptr, c.text) == ERROR_SUCCESS &&
                        SetKey(std::wstring(c.progId) + L"\\CLSID", nullptr, GuidText(*c.clsid)) == ERROR_SUCCESS;
        if (!ok) return false;
    }
    return true;
}

HRESULT Unregister(const ServerRegistration& server) {
    bool ok = true;
    for (const ClassRegistration& c : server.classes) {
        ok = DeleteTree(ClassKey(c)) && ok;
        ok = DeleteTree(c.progId) && ok;
    }
    // The type library's own attributes say under which version, locale and
    // system kind RegisterTypeLib filed it.
    ComPtr<ITypeLib> library;
    if (FAILED(LoadOwnTypeLib(library.Put()))) return SELFREG_E_CLASS;
    TLIBATTR* attributes = nullptr;
    if (SUCCEEDED(library->GetLibAttr(&attributes))) {
        // Only a registered library is unregistered: an absent one is not a
        // failure of unregistering.
        wchar_t version[16];
        swprintf(version, 16, L"\\%x.%x", attributes->wMajorVerNum, attributes->wMinorVerNum);
        const std::wstring versionKey = L"TypeLib\\" + GuidText(attributes->guid) + version;
        UniqueHkey key;
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, versionKey.c_str(), 0, KEY_READ, key.Put()) == ERROR_SUCCESS) {
            ok = SUCCEEDED(UnRegisterTypeLib(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum,
                                             attributes->lcid, attributes->syskind)) &&
                 ok;
        }
        library->ReleaseTLibAttr(attributes);
    }
    return ok ? S_OK : SELFREG_E_CLASS;
}

HRESULT Register(const ServerRegistration& server) {
    ComPtr<ITypeLib> library;
    if (FAILED(LoadOwnTypeLib(library.Put()))) return SELFREG_E_TYPELIB;
    std::wstring path = ModulePath();
    std::wstring folder = path.substr(0, path.find_last_of(L'\\'));
    if (FAILED(RegisterTypeLib(library.Get(), path.data(), server.helpDirIsModuleFolder ? folder.data() : nullptr))) {
        return SELFREG_E_TYPELIB;
    }
    if (RegisterClassKeys(server, path)) return S_OK;
    Unregister(server);
    return SELFREG_E_CLASS;
}

}  // namespace

HRESULT RegisterServer(const ServerRegistration& server) noexcept {
    try {
        return Register(server);
    } catch (...) {
        return CurrentFault().status;
    }
}

HRESULT UnregisterServer(const ServerRegistration& server) noexcept {
    try {
        return Unregister(server);
    } catch (...) {
        return CurrentFault().status;
    }
}

}  // namespace common::com
