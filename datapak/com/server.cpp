// The in-process server's entry points: DllMain, the class factory of
// ckxDataPak, DllGetClassObject and DllCanUnloadNow.
//
// The class factory is a static object: references to it do not keep the
// module loaded, LockServer does. The module may unload when no ckxDataPak
// object is alive and no lock is held.
#include "server.h"

#include <windows.h>
#include <objbase.h>

#include <new>

#include "data_pak_object.h"
#include "sorbel_idl.h"

namespace sorbel::com {
namespace {

HMODULE g_module = nullptr;
LONG g_objects = 0;
LONG g_locks = 0;

class ClassFactory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *out = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        return DataPakObject::Create(iid, out);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock) {
            ServerLocked();
        } else {
            ServerUnlocked();
        }
        return S_OK;
    }
};

ClassFactory g_factory;

}  // namespace

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
bool CanUnload() { return g_objects == 0 && g_locks == 0; }

}  // namespace sorbel::com

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        sorbel::com::g_module = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (clsid != CLSID_ckxDataPak) return CLASS_E_CLASSNOTAVAILABLE;
    return sorbel::com::g_factory.QueryInterface(iid, out);
}

STDAPI DllCanUnloadNow() { return sorbel::com::CanUnload() ? S_OK : S_FALSE; }
