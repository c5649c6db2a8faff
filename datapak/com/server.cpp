// The in-process server's entry points: DllMain, DllGetClassObject,
// DllCanUnloadNow, DllRegisterServer and DllUnregisterServer, over the shared
// module state, class factory and registration of common/com.
//
// References to the class factory do not keep the module loaded, LockServer
// does: the module may unload when no ckxDataPak object is alive and no lock
// is held.
#include <windows.h>
#include <objbase.h>

#include "data_pak_object.h"
#include "module.h"
#include "registration.h"
#include "sorbel_idl.h"

namespace {

using namespace common::com;

ClassFactory g_factory(&CreateObject<sorbel::com::DataPakObject>, FactoryReferences::DoNotKeepModule);

// The type library's help folder is left as RegisterTypeLib chooses it.
constexpr ClassRegistration kClasses[] = {
#include "classes.inc"
};
constexpr ServerRegistration kServer{&LIBID_Sorbel, kClasses, false};

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        SetModule(instance);
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (clsid != CLSID_ckxDataPak) return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(iid, out);
}

STDAPI DllCanUnloadNow() { return CanUnloadNow(); }

STDAPI DllRegisterServer() { return RegisterServer(kServer); }

STDAPI DllUnregisterServer() { return UnregisterServer(kServer); }
