// Module-wide state of the in-process server: its own module handle and path,
// and the counts that decide whether DllCanUnloadNow lets it go.
#pragma once

#include <windows.h>

#include <string>

namespace sorbel::com {

HMODULE ModuleHandle();
// Full path of Sorbel.dll as loaded. Throws std::bad_alloc.
std::wstring ModulePath();

// Live ckxDataPak objects, and LockServer locks on the class factory.
void ObjectCreated();
void ObjectDestroyed();
void ServerLocked();
void ServerUnlocked();
bool CanUnload();

}  // namespace sorbel::com
