// Helpers shared by the Sorbel COM tests: the DLL path given on the command
// line, object creation, and building and reading byte arrays.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <cstdint>
#include <string>
#include <vector>

#include "com_ptr.h"
#include "unique_handle.h"
#include "sorbel_idl.h"

namespace sorbel::com::test {

using common::com::ComPtr;
using common::com::UniqueBstr;
using common::com::UniqueSafeArray;

// The DLL under test, as passed with --dll=PATH (Windows form).
const std::wstring& DllPath();
void SetDllPath(std::wstring path);

// A new ckxDataPak through CoCreateInstance, or an empty pointer.
ComPtr<_ckxDataPak> NewPak();

// A one-dimensional VT_UI1 array with the given lower bound.
UniqueSafeArray MakeBytes(const std::vector<std::uint8_t>& bytes, LONG lowerBound = 0);

// The elements of a one-dimensional VT_UI1 array; empty for NULL.
std::vector<std::uint8_t> ReadBytes(SAFEARRAY* array);

}  // namespace sorbel::com::test
