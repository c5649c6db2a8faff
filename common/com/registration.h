// Self-registration (DllRegisterServer / DllUnregisterServer) of an in-process
// server from a table of its classes.
//
// Registering writes, under HKEY_CLASSES_ROOT, the type library embedded in
// the module (RegisterTypeLib: TypeLib\{LIBID} and Interface\{IID} of each
// Automation interface) and for each class:
//   CLSID\{CLSID}                   text
//   CLSID\{CLSID}\InprocServer32    full path of the module, ThreadingModel=Apartment
//   CLSID\{CLSID}\ProgID            progId
//   CLSID\{CLSID}\TypeLib           {LIBID}
//   CLSID\{CLSID}\Version           version (only when the table gives one)
//   progId                          text
//   progId\CLSID                    {CLSID}
// Unregistering removes exactly these. Both are idempotent: registering again
// overwrites the same values; unregistering what is absent succeeds.
// Failure statuses: SELFREG_E_TYPELIB when the type library cannot be loaded
// or registered, SELFREG_E_CLASS when a class key cannot be written (what was
// written is then removed again) or removed.
#pragma once

#include <windows.h>

#include <span>

namespace common::com {

// A server's table is a file of COM_CLASS(coclass, L"ProgID", L"text", L"version" or nullptr)
// lines, one per class, that the installer generator reads too:
//   constexpr ClassRegistration kClasses[] = {
//   #include "classes.inc"
//   };
#define COM_CLASS(coclass, progId, text, version) {&CLSID_##coclass, progId, text, version},
struct ClassRegistration {
    const CLSID* clsid;
    const wchar_t* progId;
    const wchar_t* text;     // the class's name or description
    const wchar_t* version;  // the value of CLSID\{CLSID}\Version, or null for no such key
};

struct ServerRegistration {
    const GUID* libId;
    std::span<const ClassRegistration> classes;
    // Whether RegisterTypeLib records the module's folder as the help folder.
    bool helpDirIsModuleFolder;
};

HRESULT RegisterServer(const ServerRegistration& server) noexcept;
HRESULT UnregisterServer(const ServerRegistration& server) noexcept;

}  // namespace common::com
