// What a C++ client pays for Package get and let of 64 MiB through Sorbel's
// COM interface: early bound (the _ckxDataPak table of functions) and late
// bound (IDispatch::Invoke by name), beside a plain copy of the same bytes
// into a new array. Needs Sorbel.ckxDataPak registered (bench/script_bench.sh
// does it and runs this program).
// Usage: sorbel_com_bench [ROUNDS]   prints the fastest round of each, in ms,
// and the ratios; exits 1 when a call fails.
#include <windows.h>
#include <oleauto.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "com_ptr.h"
#include "unique_handle.h"
#include "sorbel_idl.h"

namespace {

using common::com::ComPtr;
using common::com::UniqueBstr;
using common::com::UniqueSafeArray;

constexpr ULONG kRecordBytes = 16u << 20;
constexpr int kRecords = 4;

void Check(HRESULT hr, const char* what) {
    if (FAILED(hr)) {
        std::printf("%s failed: 0x%08lX\n", what, static_cast<unsigned long>(hr));
        std::exit(1);
    }
}

SAFEARRAY* NewBytes(ULONG size, std::uint8_t seed) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, size);
    if (!array) Check(E_OUTOFMEMORY, "SafeArrayCreateVector");
    auto* data = static_cast<std::uint8_t*>(array->pvData);
    for (ULONG i = 0; i < size; ++i) data[i] = static_cast<std::uint8_t>(i * 31 + seed);
    return array;
}

// Milliseconds of the fastest of `rounds` calls of `work`.
double Fastest(int rounds, const std::function<void()>& work) {
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    double best = 1e300;
    for (int r = 0; r < rounds; ++r) {
        QueryPerformanceCounter(&start);
        work();
        QueryPerformanceCounter(&end);
        best = std::min(best, 1e3 * static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart);
    }
    return best;
}

DISPID IdOf(IDispatch* dispatch, const wchar_t* name) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    Check(dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), "GetIDsOfNames");
    return id;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    Check(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), "CoInitializeEx");
    {
        ComPtr<_ckxDataPak> pak;
        Check(CoCreateInstance(CLSID_ckxDataPak, nullptr, CLSCTX_INPROC_SERVER, IID__ckxDataPak, pak.PutVoid()),
              "CoCreateInstance");
        for (int r = 0; r < kRecords; ++r) {
            UniqueSafeArray chunk(NewBytes(kRecordBytes, static_cast<std::uint8_t>(r)));
            UniqueBstr key(r == 0 ? L"chunk0" : r == 1 ? L"chunk1" : r == 2 ? L"chunk2" : L"chunk3");
            SAFEARRAY* array = chunk.Get();
            Check(pak->AppendB(key.InOut(), &array), "AppendB");
        }
        UniqueSafeArray package;
        Check(pak->get_Package(package.Put()), "get_Package");
        const ULONG size = package.Get()->rgsabound[0].cElements;
        const DISPID packageId = IdOf(pak.Get(), L"Package");

        // Baseline: a new array of the package's size and a copy into it.
        const double copy = Fastest(rounds, [&] {
            const UniqueSafeArray fresh(SafeArrayCreateVector(VT_UI1, 0, size));
            if (!fresh) Check(E_OUTOFMEMORY, "SafeArrayCreateVector");
            std::memcpy(fresh.Get()->pvData, package.Get()->pvData, size);
        });
        const double getEarly = Fastest(rounds, [&] {
            UniqueSafeArray out;
            Check(pak->get_Package(out.Put()), "get_Package");
        });
        const double getLate = Fastest(rounds, [&] {
            DISPPARAMS none{};
            VARIANT result;
            VariantInit(&result);
            Check(pak->Invoke(packageId, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &result, nullptr,
                              nullptr),
                  "Invoke Package get");
            VariantClear(&result);
        });
        const double letEarly = Fastest(rounds, [&] {
            SAFEARRAY* array = package.Get();
            Check(pak->put_Package(&array), "put_Package");
        });
        // Late bound, the array passed by value, as a C++ client holds it.
        const double letLate = Fastest(rounds, [&] {
            VARIANT value;
            V_VT(&value) = VT_ARRAY | VT_UI1;
            V_ARRAY(&value) = package.Get();
            DISPID named = DISPID_PROPERTYPUT;
            DISPPARAMS params{&value, &named, 1, 1};
            Check(pak->Invoke(packageId, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params, nullptr,
                              nullptr, nullptr),
                  "Invoke Package let");
        });
        // Late bound, the array in a variable passed by reference, as a script does.
        const double letScript = Fastest(rounds, [&] {
            VARIANT variable;
            V_VT(&variable) = VT_ARRAY | VT_UI1;
            V_ARRAY(&variable) = package.Get();
            VARIANT reference;
            V_VT(&reference) = VT_BYREF | VT_VARIANT;
            V_VARIANTREF(&reference) = &variable;
            DISPID named = DISPID_PROPERTYPUT;
            DISPPARAMS params{&reference, &named, 1, 1};
            Check(pak->Invoke(packageId, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params, nullptr,
                              nullptr, nullptr),
                  "Invoke Package let (variable)");
        });
        ckxDataPak_ErrorNumber error{};
        Check(pak->ErrorNumber(&error), "ErrorNumber");
        LONG count = 0;
        Check(pak->Count(&count), "Count");
        if (error != 0 || count != kRecords) {
            std::printf("the package did not load back (error %d, %ld records)\n", static_cast<int>(error), count);
            return 1;
        }

        std::printf("Package of %lu bytes, fastest of %d rounds (ms)\n", static_cast<unsigned long>(size), rounds);
        std::printf("  new array + copy           %8.2f\n", copy);
        std::printf("  get, vtable                %8.2f  %5.2fx copy\n", getEarly, getEarly / copy);
        std::printf("  get, IDispatch::Invoke     %8.2f  %5.2fx copy  %5.2fx vtable\n", getLate, getLate / copy,
                    getLate / getEarly);
        std::printf("  let, vtable                %8.2f  %5.2fx copy\n", letEarly, letEarly / copy);
        std::printf("  let, Invoke (by value)     %8.2f  %5.2fx copy  %5.2fx vtable\n", letLate, letLate / copy,
                    letLate / letEarly);
        std::printf("  let, Invoke (variable ref) %8.2f  %5.2fx copy  %5.2fx vtable\n", letScript, letScript / copy,
                    letScript / letEarly);
    }
    CoUninitialize();
    return 0;
}
