// Registering, unregistering and registering Sorbel.dll again with
// regsvr32 /s, as an installer would. After registering, the class is
// creatable by CLSID and by ProgID; after unregistering, neither works and
// every key that registering wrote is gone.
//
// Creation is probed in a child process (this program run with --probe), so
// that nothing cached by COM in this process can hide a registry change.
//   registration_test --dll=PATH [gtest options]
//   registration_test --probe      exit 0: created both ways, 1: not
//                                  registered, 2: anything else
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <cstdio>
#include <string>

#include "com_ptr.h"
#include "sorbel_idl.h"
#include "unique_handle.h"

namespace {

using common::com::ComPtr;
using common::com::UniqueHkey;

std::wstring g_dllPath;

std::wstring GuidText(REFGUID guid) {
    wchar_t text[40];
    StringFromGUID2(guid, text, 40);
    return text;
}

// Runs a command line and returns its exit code (-1 when it cannot start).
DWORD Run(std::wstring commandLine) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        return static_cast<DWORD>(-1);
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = static_cast<DWORD>(-1);
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

DWORD Regsvr32(const wchar_t* options) {
    return Run(std::wstring(L"regsvr32.exe ") + options + L" \"" + g_dllPath + L"\"");
}

DWORD Probe() {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    return Run(std::wstring(L"\"") + self + L"\" --probe");
}

// The default value (name nullptr) or a named value of a key under
// HKEY_CLASSES_ROOT; "<absent>" when the key or value does not exist.
std::wstring ClassesValue(const std::wstring& key, const wchar_t* name = nullptr) {
    wchar_t buffer[1024];
    DWORD size = sizeof buffer;
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), name, RRF_RT_REG_SZ, nullptr, buffer, &size) !=
        ERROR_SUCCESS) {
        return L"<absent>";
    }
    return buffer;
}

bool ClassesKeyExists(const std::wstring& key) {
    UniqueHkey handle;
    return RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, handle.Put()) == ERROR_SUCCESS;
}

const std::wstring kClassKey = L"CLSID\\" + GuidText(CLSID_ckxDataPak);
const std::wstring kTypeLibKey = L"TypeLib\\" + GuidText(LIBID_Sorbel);
const std::wstring kInterfaceKey = L"Interface\\" + GuidText(IID__ckxDataPak);

void ExpectRegistered() {
    EXPECT_EQ(CompareStringOrdinal(ClassesValue(kClassKey + L"\\InprocServer32").c_str(), -1, g_dllPath.c_str(), -1,
                                   TRUE),
              CSTR_EQUAL)
        << "InprocServer32 is the module's full path";
    EXPECT_EQ(ClassesValue(kClassKey + L"\\InprocServer32", L"ThreadingModel"), L"Apartment");
    EXPECT_EQ(ClassesValue(kClassKey + L"\\ProgID"), L"Sorbel.ckxDataPak");
    EXPECT_EQ(ClassesValue(L"Sorbel.ckxDataPak\\CLSID"), GuidText(CLSID_ckxDataPak));
    EXPECT_TRUE(ClassesKeyExists(kTypeLibKey + L"\\1.0"));
    EXPECT_EQ(ClassesValue(kInterfaceKey + L"\\TypeLib"), GuidText(LIBID_Sorbel));
    EXPECT_EQ(Probe(), 0u) << "creatable by CLSID and by ProgID";
}

void ExpectUnregistered() {
    EXPECT_FALSE(ClassesKeyExists(kClassKey));
    EXPECT_FALSE(ClassesKeyExists(L"Sorbel.ckxDataPak"));
    EXPECT_FALSE(ClassesKeyExists(kTypeLibKey + L"\\1.0"));
    EXPECT_FALSE(ClassesKeyExists(kInterfaceKey));
    EXPECT_EQ(Probe(), 1u) << "neither CLSID nor ProgID creates the class";
}

TEST(Registration, RegisterUnregisterRegisterAgain) {
    ASSERT_EQ(Regsvr32(L"/s"), 0u);
    ExpectRegistered();
    ASSERT_EQ(Regsvr32(L"/u /s"), 0u);
    ExpectUnregistered();
    EXPECT_EQ(Regsvr32(L"/u /s"), 0u) << "unregistering what is absent succeeds";
    ASSERT_EQ(Regsvr32(L"/s"), 0u);
    ASSERT_EQ(Regsvr32(L"/s"), 0u) << "registering twice is harmless";
    ExpectRegistered();
}

int ProbeCreation() {
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
    int result = 2;
    CLSID fromProgId{};
    const HRESULT progId = CLSIDFromProgID(L"Sorbel.ckxDataPak", &fromProgId);
    ComPtr<_ckxDataPak> byClsid;
    const HRESULT created = CoCreateInstance(CLSID_ckxDataPak, nullptr, CLSCTX_INPROC_SERVER, IID__ckxDataPak,
                                             byClsid.PutVoid());
    if (SUCCEEDED(progId) && SUCCEEDED(created)) {
        ComPtr<IDispatch> byProgId;
        LONG typeId = 0;
        if (IsEqualCLSID(fromProgId, CLSID_ckxDataPak) &&
            SUCCEEDED(CoCreateInstance(fromProgId, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                       byProgId.PutVoid())) &&
            SUCCEEDED(byClsid->TypeID(&typeId)) && typeId == 1000) {
            result = 0;
        }
    } else if (FAILED(progId) && created == REGDB_E_CLASSNOTREG) {
        result = 1;
    }
    std::printf("probe: CLSIDFromProgID 0x%08lx, CoCreateInstance 0x%08lx -> %d\n",
                static_cast<unsigned long>(progId), static_cast<unsigned long>(created), result);
    byClsid.Reset();
    CoUninitialize();
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "--probe") return ProbeCreation();
    testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--dll=", 0) == 0) g_dllPath.assign(arg.begin() + 6, arg.end());
    }
    if (g_dllPath.empty()) {
        std::fprintf(stderr, "usage: %s --dll=PATH-TO-Sorbel.dll | --probe\n", argv[0]);
        return 2;
    }
    return RUN_ALL_TESTS();
}
