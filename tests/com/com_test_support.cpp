// Shared helpers and the test program's entry point: COM is initialised on
// the test thread as a single-threaded apartment, as the server expects.
#include "com_test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

namespace sorbel::com::test {
namespace {
std::wstring g_dllPath;
}

const std::wstring& DllPath() { return g_dllPath; }
void SetDllPath(std::wstring path) { g_dllPath = std::move(path); }

ComPtr<_ckxDataPak> NewPak() {
    ComPtr<_ckxDataPak> pak;
    const HRESULT hr = CoCreateInstance(CLSID_ckxDataPak, nullptr, CLSCTX_INPROC_SERVER, IID__ckxDataPak,
                                        pak.PutVoid());
    EXPECT_EQ(hr, S_OK);
    return pak;
}

UniqueSafeArray MakeBytes(const std::vector<std::uint8_t>& bytes, LONG lowerBound) {
    SAFEARRAYBOUND bound{static_cast<ULONG>(bytes.size()), lowerBound};
    UniqueSafeArray array(SafeArrayCreate(VT_UI1, 1, &bound));
    if (array.Get() && !bytes.empty()) {
        void* data = nullptr;
        SafeArrayAccessData(array.Get(), &data);
        std::memcpy(data, bytes.data(), bytes.size());
        SafeArrayUnaccessData(array.Get());
    }
    return array;
}

std::vector<std::uint8_t> ReadBytes(SAFEARRAY* array) {
    if (!array) return {};
    EXPECT_EQ(SafeArrayGetDim(array), 1u);
    VARTYPE type = VT_EMPTY;
    EXPECT_EQ(SafeArrayGetVartype(array, &type), S_OK);
    EXPECT_EQ(type, VT_UI1);
    LONG lower = -1, upper = -2;
    SafeArrayGetLBound(array, 1, &lower);
    SafeArrayGetUBound(array, 1, &upper);
    EXPECT_EQ(lower, 0) << "arrays handed out are indexed from 0";
    std::vector<std::uint8_t> bytes(static_cast<size_t>(upper - lower + 1));
    void* data = nullptr;
    if (SUCCEEDED(SafeArrayAccessData(array, &data))) {
        std::memcpy(bytes.data(), data, bytes.size());
        SafeArrayUnaccessData(array);
    }
    return bytes;
}

}  // namespace sorbel::com::test

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--dll=", 0) == 0) {
            const std::string path = arg.substr(6);
            sorbel::com::test::SetDllPath(std::wstring(path.begin(), path.end()));
        }
    }
    if (sorbel::com::test::DllPath().empty()) {
        std::fprintf(stderr, "usage: %s --dll=PATH-TO-Sorbel.dll [gtest options]\n", argv[0]);
        return 2;
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 3;
    const int result = RUN_ALL_TESTS();
    CoUninitialize();
    return result;
}
