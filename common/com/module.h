// Module-wide state of an in-process server, and its one class factory.
//
// DllMain records the module handle (SetModule). Every live object counts in
// the module (ObjectCreated / ObjectDestroyed, which DispatchObject does), as
// do LockServer locks; DllCanUnloadNow answers CanUnloadNow().
//
// ClassFactory is a static object, one per class. Whether references to it
// keep the module loaded is the server's choice, fixed by what its clients
// were given: with FactoryReferences::KeepModule each reference counts like
// an object; with DoNotKeepModule only LockServer does.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <string>

#include "com_call.h"

namespace common::com {

void SetModule(HMODULE module);
HMODULE ModuleHandle();
// Full path of the module as loaded, or empty when it cannot be learnt.
// Throws std::bad_alloc.
std::wstring ModulePath();

void ObjectCreated();
void ObjectDestroyed();
void ServerLocked();
void ServerUnlocked();
// S_OK when no object is alive and no lock is held, S_FALSE otherwise.
HRESULT CanUnloadNow();

using CreateFunction = HRESULT (*)(REFIID iid, void** out);

// A new Object (default-constructed, one reference) asked for `iid`.
template <class Object>
HRESULT CreateObject(REFIID iid, void** out) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    Object* object = nullptr;
    try {
        object = new Object();
    } catch (...) {
        return CurrentFault().status;
    }
    const HRESULT hr = object->QueryInterface(iid, out);
    object->Release();
    return hr;
}

enum class FactoryReferences { DoNotKeepModule, KeepModule };

class ClassFactory final : public IClassFactory {
public:
    constexpr ClassFactory(CreateFunction create, FactoryReferences references)
        : create_(create), keepsModule_(references == FactoryReferences::KeepModule) {}
    ClassFactory(const ClassFactory&) = delete;
    ClassFactory& operator=(const ClassFactory&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

private:
    CreateFunction create_;
    bool keepsModule_;
    LONG references_ = 0;
};

}  // namespace common::com
