// Module state and the class factory: see module.h.
#include "module.h"

namespace common::com {
namespace {

HMODULE g_module = nullptr;
LONG g_objects = 0;
LONG g_locks = 0;

}  // namespace

void SetModule(HMODULE module) { g_module = module; }
HMODULE ModuleHandle() { return g_module; }

std::wstring ModulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(g_module, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

void ObjectCreated() { InterlockedIncrement(&g_objects); }
void ObjectDestroyed() { InterlockedDecrement(&g_objects); }
void ServerLocked() { InterlockedIncrement(&g_locks); }
void ServerUnlocked() { InterlockedDecrement(&g_locks); }
HRESULT CanUnloadNow() { return g_objects == 0 && g_locks == 0 ? S_OK : S_FALSE; }

HRESULT ClassFactory::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IClassFactory) {
        *out = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

// The factory itself lives as long as the module; the count only decides
// whether references hold the module.
ULONG ClassFactory::AddRef() {
    if (keepsModule_) ObjectCreated();
    return static_cast<ULONG>(InterlockedIncrement(&references_)) + 1;
}

ULONG ClassFactory::Release() {
    if (keepsModule_) ObjectDestroyed();
    return static_cast<ULONG>(InterlockedDecrement(&references_)) + 1;
}

HRESULT ClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return create_(iid, out);
}

HRESULT ClassFactory::LockServer(BOOL lock) {
    if (lock) {
        ServerLocked();
    } else {
        ServerUnlocked();
    }
    return S_OK;
}

}  // namespace common::com
