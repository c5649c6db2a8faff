// A C++ client of DocFile.dll, run under Wine by run_com_tests.sh. It calls
// the classes the way the viewer does, through their function tables after
// creating them by CLSID, and checks the registry that regsvr32 left behind.
//
//   com_client registered DLLPATH   the keys of a registered server are present and right
//   com_client unregistered         no key of the server is left
//   com_client calls                the members, their statuses, errors and unload counting
//   com_client write PATH           writes a sample document for the script client
//
// A plain program rather than a GoogleTest one: it must run in a bare prefix.
#include <initguid.h>

#include "docfile_idl.h"

#include "doc_file.h"

#include <windows.h>
#include <cguid.h>
#include <oleauto.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

int g_checks = 0;
int g_failures = 0;

void Check(bool ok, const char* what, int line) {
    ++g_checks;
    if (!ok) {
        ++g_failures;
        std::printf("FAIL line %d: %s\n", line, what);
    }
}
#define CHECK(cond) Check((cond), #cond, __LINE__)

template <class A, class B>
void CheckEqual(const A& actual, const B& expected, const char* what, int line) {
    ++g_checks;
    if (!(actual == expected)) {
        ++g_failures;
        std::printf("FAIL line %d: %s is %lld, expected %lld\n", line, what, static_cast<long long>(actual),
                    static_cast<long long>(expected));
    }
}
#define CHECK_EQ(actual, expected) CheckEqual((actual), (expected), #actual, __LINE__)

using Bytes = std::vector<std::uint8_t>;

// The 23-byte package of an object titled "T" holding one record k = 01 02.
const Bytes kPackage = {0x00, 0x00, 0x03, 0xE8, 0x00, 0x00, 0x00, 0x17, 0x00, 0x01, 0x00, 0x00,
                        0x00, 0x01, 0x54, 0x01, 0x00, 0x00, 0x00, 0x02, 0x6B, 0x01, 0x02};
const char kRtf[] = "{\\rtf1\\ansi Hello}";

void WriteSample(const std::filesystem::path& path) {
    docfile::WriteDocument(path, kPackage, Bytes(kRtf, kRtf + std::strlen(kRtf)));
}

void WriteRaw(const std::filesystem::path& path, const Bytes& bytes) {
    FILE* f = ::_wfopen(path.c_str(), L"wb");
    if (!f) return;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

std::wstring GuidText(const GUID& guid) {
    wchar_t text[40] = {};
    ::StringFromGUID2(guid, text, 40);
    return text;
}

// The default (name null) or named string value of a key under HKCR, or "<absent>".
std::wstring RegString(const std::wstring& key, const wchar_t* name = nullptr) {
    wchar_t value[1024] = {};
    DWORD size = sizeof value;
    if (::RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS) {
        return L"<absent>";
    }
    return value;
}

bool KeyExists(const std::wstring& key) {
    HKEY handle = nullptr;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
    ::RegCloseKey(handle);
    return true;
}

void CheckRegString(const std::wstring& key, const wchar_t* name, const std::wstring& expected, int line) {
    const std::wstring actual = RegString(key, name);
    ++g_checks;
    if (_wcsicmp(actual.c_str(), expected.c_str()) != 0) {
        ++g_failures;
        std::printf("FAIL line %d: HKCR\\%ls [%ls] is '%ls', expected '%ls'\n", line, key.c_str(),
                    name ? name : L"(default)", actual.c_str(), expected.c_str());
    }
}
#define CHECK_REG(key, name, expected) CheckRegString((key), (name), (expected), __LINE__)

struct ClassNames {
    const CLSID* clsid;
    const wchar_t* progId;
};
const ClassNames kClasses[] = {{&CLSID_ckxDocHeader, L"DocFile.ckxDocHeader"},
                               {&CLSID_ckxFileBlock, L"DocFile.ckxFileBlock"}};

std::wstring TypeLibKey() { return L"TypeLib\\" + GuidText(LIBID_DocFile); }

void CheckRegistered(const std::wstring& dllPath) {
    for (const auto& c : kClasses) {
        const std::wstring clsidKey = L"CLSID\\" + GuidText(*c.clsid);
        CHECK_REG(clsidKey + L"\\InprocServer32", nullptr, dllPath);
        CHECK_REG(clsidKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
        CHECK_REG(clsidKey + L"\\ProgID", nullptr, c.progId);
        CHECK_REG(clsidKey + L"\\TypeLib", nullptr, GuidText(LIBID_DocFile));
        CHECK_REG(std::wstring(c.progId) + L"\\CLSID", nullptr, GuidText(*c.clsid));
        CLSID fromProgId{};
        CHECK(SUCCEEDED(::CLSIDFromProgID(c.progId, &fromProgId)) && fromProgId == *c.clsid);
    }
    const wchar_t* sys = sizeof(void*) == 8 ? L"\\1.0\\0\\win64" : L"\\1.0\\0\\win32";
    CHECK_REG(TypeLibKey() + sys, nullptr, dllPath);
    CHECK(KeyExists(L"Interface\\" + GuidText(IID__ckxDocHeader)));
    CHECK(KeyExists(L"Interface\\" + GuidText(IID__ckxFileBlock)));
}

void CheckUnregistered() {
    for (const auto& c : kClasses) {
        CHECK(!KeyExists(L"CLSID\\" + GuidText(*c.clsid)));
        CHECK(!KeyExists(c.progId));
    }
    CHECK(!KeyExists(TypeLibKey()));
    CHECK(!KeyExists(L"Interface\\" + GuidText(IID__ckxDocHeader)));
    CHECK(!KeyExists(L"Interface\\" + GuidText(IID__ckxFileBlock)));
}

// Owners for the values the tests hold, so a failed check leaks nothing.
struct Bstr {
    BSTR b;
    explicit Bstr(const std::wstring& s) : b(::SysAllocStringLen(s.data(), static_cast<UINT>(s.size()))) {}
    ~Bstr() { ::SysFreeString(b); }
};

template <class T>
struct Ptr {
    T* p = nullptr;
    ~Ptr() {
        if (p) p->Release();
    }
    T* operator->() const { return p; }
    void** out() { return reinterpret_cast<void**>(&p); }
};

struct Header {
    long status = -1, offset = -1, length = -1;
};

Header Examine(_ckxDocHeader* header, const std::wstring& path) {
    Bstr spec(path);
    Header h;
    CHECK_EQ(header->put_FileSpec(spec.b), S_OK);
    CHECK_EQ(header->get_Status(&h.status), S_OK);
    CHECK_EQ(header->get_PackageOffset(&h.offset), S_OK);
    CHECK_EQ(header->get_PackageLength(&h.length), S_OK);
    return h;
}

struct Block {
    HRESULT hr = E_FAIL;
    long status = -1;
    Bytes bytes;
    bool hasArray = false;
};

// One ReadBlock call; `previous` bytes are passed in pData to be replaced.
Block Read(_ckxFileBlock* reader, const std::wstring& path, long start, long length, bool passArray = false) {
    Bstr spec(path);
    SAFEARRAY* data = nullptr;
    if (passArray) data = ::SafeArrayCreateVector(VT_UI1, 0, 5);
    Block b;
    b.status = 12345;
    b.hr = reader->ReadBlock(&spec.b, &start, &length, &data, &b.status);
    if (data) {
        b.hasArray = true;
        VARTYPE vt = VT_EMPTY;
        ::SafeArrayGetVartype(data, &vt);
        LONG lower = -1, upper = -1;
        ::SafeArrayGetLBound(data, 1, &lower);
        ::SafeArrayGetUBound(data, 1, &upper);
        CHECK_EQ(vt, VT_UI1);
        CHECK_EQ(::SafeArrayGetDim(data), 1u);
        CHECK_EQ(lower, 0);
        void* p = nullptr;
        if (SUCCEEDED(::SafeArrayAccessData(data, &p))) {
            const auto* first = static_cast<const std::uint8_t*>(p);
            b.bytes.assign(first, first + (upper - lower + 1));
            ::SafeArrayUnaccessData(data);
        }
        ::SafeArrayDestroy(data);
    }
    return b;
}

void CheckHeaderStatuses(_ckxDocHeader* header, const std::filesystem::path& dir) {
    // Before any FileSpec the status is that of a missing file.
    long status = -1;
    CHECK_EQ(header->get_Status(&status), S_OK);
    CHECK_EQ(status, docfile::kDocMissing);

    // The writer replaces an existing document (renaming over it on Windows).
    docfile::WriteDocument(dir / L"good.orl", {}, {});
    CHECK_EQ(Examine(header, (dir / L"good.orl").wstring()).length, 0);
    WriteSample(dir / L"good.orl");
    CHECK(!std::filesystem::exists(dir / L"good.orl.tmp"));
    Header h = Examine(header, (dir / L"good.orl").wstring());
    CHECK_EQ(h.status, 0);
    CHECK_EQ(h.offset, 20);
    CHECK_EQ(h.length, 23);

    const std::filesystem::path wide = dir / L"Dokument \u00e4\u00f6\u00fc \u65e5\u672c \u0416.orl";
    WriteSample(wide);
    h = Examine(header, wide.wstring());
    CHECK_EQ(h.status, 0);
    CHECK_EQ(h.length, 23);

    h = Examine(header, (dir / L"absent.orl").wstring());
    CHECK_EQ(h.status, docfile::kDocMissing);
    CHECK_EQ(h.offset, 0);
    h = Examine(header, L"");
    CHECK_EQ(h.status, docfile::kDocMissing);
    // A NUL inside the string must not open the file named by the part before it.
    h = Examine(header, (dir / L"good.orl").wstring() + std::wstring(1, L'\0') + L"x");
    CHECK_EQ(h.status, docfile::kDocMissing);
    h = Examine(header, dir.wstring());
    CHECK_EQ(h.status, docfile::kDocUnreadable);
    // A device exists but is no document; Wine shows the host's devices under Z:\dev.
    if (std::filesystem::is_directory(L"Z:\\dev")) {
        CHECK_EQ(Examine(header, L"Z:\\dev\\zero").status, docfile::kDocUnreadable);
    }

    WriteRaw(dir / L"plain.rtf", Bytes(kRtf, kRtf + std::strlen(kRtf)));
    CHECK_EQ(Examine(header, (dir / L"plain.rtf").wstring()).status, docfile::kDocNotDocument);

    Bytes doc = docfile::MakeLeadingPart(23);
    doc.insert(doc.end(), kPackage.begin(), kPackage.end());
    Bytes v2 = doc;
    v2[11] = 2;
    WriteRaw(dir / L"v2.orl", v2);
    CHECK_EQ(Examine(header, (dir / L"v2.orl").wstring()).status, docfile::kDocUnsupportedVersion);
    Bytes cut(doc.begin(), doc.end() - 1);
    WriteRaw(dir / L"cut.orl", cut);
    h = Examine(header, (dir / L"cut.orl").wstring());
    CHECK_EQ(h.status, docfile::kDocPackageOutside);
    CHECK_EQ(h.length, 23);

    // A null BSTR is the empty path, and a null out-pointer is refused.
    CHECK_EQ(header->put_FileSpec(nullptr), S_OK);
    CHECK_EQ(header->get_Status(&status), S_OK);
    CHECK_EQ(status, docfile::kDocMissing);
    CHECK_EQ(header->get_Status(nullptr), E_POINTER);
}

void CheckBlockReads(_ckxFileBlock* reader, const std::filesystem::path& dir) {
    const std::wstring good = (dir / L"good.orl").wstring();
    const long size = 20 + 23 + static_cast<long>(std::strlen(kRtf));

    Block b = Read(reader, good, 21, 23);
    CHECK_EQ(b.hr, S_OK);
    CHECK_EQ(b.status, 0);
    CHECK(b.bytes == kPackage);

    b = Read(reader, (dir / L"Dokument \u00e4\u00f6\u00fc \u65e5\u672c \u0416.orl").wstring(), 21, 23, true);
    CHECK_EQ(b.status, 0);
    CHECK(b.bytes == kPackage);  // the array passed in was replaced

    b = Read(reader, good, 44, size - 43);  // the text, exactly to the end
    CHECK_EQ(b.status, 0);
    CHECK(b.bytes == Bytes(kRtf, kRtf + std::strlen(kRtf)));

    // Failures and empty reads hand back no array at all, whatever was passed in.
    b = Read(reader, good, 44, size - 42, true);  // one byte past the end
    CHECK_EQ(b.hr, S_OK);
    CHECK_EQ(b.status, docfile::kBlockOutside);
    CHECK(!b.hasArray);
    b = Read(reader, good, 0, 1, true);
    CHECK_EQ(b.status, docfile::kBlockOutside);
    CHECK(!b.hasArray);
    b = Read(reader, good, 2, 0x7FFFFFFF);
    CHECK_EQ(b.status, docfile::kBlockOutside);
    b = Read(reader, good, size + 1, 0, true);
    CHECK_EQ(b.status, 0);
    CHECK(!b.hasArray);
    b = Read(reader, (dir / L"absent.orl").wstring(), 1, 1);
    CHECK_EQ(b.status, docfile::kBlockMissing);
    CHECK(!b.hasArray);

    // A missing pointer fails the call with error information, and writes nothing.
    Bstr spec(good);
    long start = 1, length = 1;
    SAFEARRAY* data = nullptr;
    CHECK_EQ(reader->ReadBlock(&spec.b, &start, &length, &data, nullptr), E_POINTER);
    CHECK(data == nullptr);
    Ptr<ISupportErrorInfo> support;
    CHECK_EQ(reader->QueryInterface(IID_ISupportErrorInfo, support.out()), S_OK);
    if (support.p) CHECK_EQ(support->InterfaceSupportsErrorInfo(IID__ckxFileBlock), S_OK);
    Ptr<IErrorInfo> info;
    CHECK_EQ(::GetErrorInfo(0, &info.p), S_OK);
    if (info.p) {
        BSTR source = nullptr, description = nullptr;
        info->GetSource(&source);
        info->GetDescription(&description);
        CHECK(source && std::wstring(source) == L"DocFile.ckxFileBlock");
        CHECK(description && ::SysStringLen(description) > 0);
        ::SysFreeString(source);
        ::SysFreeString(description);
    }
}

// Late binding through IDispatch, as script clients and VB do.
void CheckDispatch(_ckxDocHeader* header, _ckxFileBlock* reader, const std::filesystem::path& dir) {
    Examine(header, (dir / L"good.orl").wstring());
    LPOLESTR name = const_cast<LPOLESTR>(L"PackageLength");
    DISPID id = 0;
    CHECK_EQ(header->GetIDsOfNames(IID_NULL, &name, 1, 0, &id), S_OK);
    CHECK_EQ(id, 4);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    VARIANT result;
    ::VariantInit(&result);
    CHECK_EQ(header->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr), S_OK);
    CHECK_EQ(V_VT(&result), VT_I4);
    CHECK_EQ(V_I4(&result), 23);

    name = const_cast<LPOLESTR>(L"readblock");  // names are not case sensitive
    CHECK_EQ(reader->GetIDsOfNames(IID_NULL, &name, 1, 0, &id), S_OK);
    CHECK_EQ(id, 1);
    name = const_cast<LPOLESTR>(L"NoSuchMember");
    CHECK_EQ(reader->GetIDsOfNames(IID_NULL, &name, 1, 0, &id), DISP_E_UNKNOWNNAME);
    // ReadBlock as a script calls it: every variable a reference to a VARIANT.
    // The typed by-reference parameters take them, and the outs come back.
    const auto call = [&](VARIANT& path, VARIANT& start, long length, VARIANT& data, VARIANT& status) {
        VARIANT lengthValue;
        V_VT(&lengthValue) = VT_I4;
        V_I4(&lengthValue) = length;
        VARIANT args[5];
        const auto ref = [](VARIANT& arg, VARIANT& target) {
            V_VT(&arg) = VT_BYREF | VT_VARIANT;
            V_VARIANTREF(&arg) = &target;
        };
        ref(args[4], path);
        ref(args[3], start);
        args[2] = lengthValue;  // a constant: passed by value
        ref(args[1], data);
        ref(args[0], status);
        DISPPARAMS dp{args, nullptr, 5, 0};
        UINT argErr = 99;
        return reader->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &dp, nullptr, nullptr, &argErr);
    };
    VARIANT path, start, data, status;
    V_VT(&path) = VT_BSTR;
    V_BSTR(&path) = ::SysAllocString((dir / L"good.orl").wstring().c_str());
    V_VT(&start) = VT_I2;  // a script's small integer
    V_I2(&start) = 21;
    ::VariantInit(&data);
    ::VariantInit(&status);
    const BSTR pathBefore = V_BSTR(&path);
    CHECK_EQ(call(path, start, 23, data, status), S_OK);
    // The in-parameters' variables are read, not rewritten: same string, same type.
    CHECK(V_VT(&path) == VT_BSTR && V_BSTR(&path) == pathBefore);
    CHECK(V_VT(&start) == VT_I2 && V_I2(&start) == 21);
    CHECK_EQ(V_VT(&status), VT_I4);
    CHECK_EQ(V_I4(&status), 0);
    CHECK_EQ(V_VT(&data), VT_ARRAY | VT_UI1);
    if (V_VT(&data) == (VT_ARRAY | VT_UI1) && V_ARRAY(&data)) {
        void* p = nullptr;
        ::SafeArrayAccessData(V_ARRAY(&data), &p);
        CHECK(V_ARRAY(&data)->rgsabound[0].cElements == 23 && std::memcmp(p, kPackage.data(), 23) == 0);
        ::SafeArrayUnaccessData(V_ARRAY(&data));
    }
    // An array passed by value stays the caller's: not freed, not replaced.
    {
        SAFEARRAY* mine = ::SafeArrayCreateVector(VT_UI1, 0, 2);
        VARIANT args[5];
        V_VT(&args[4]) = VT_BYREF | VT_VARIANT;
        V_VARIANTREF(&args[4]) = &path;
        V_VT(&args[3]) = VT_I4;
        V_I4(&args[3]) = 21;
        V_VT(&args[2]) = VT_I4;
        V_I4(&args[2]) = 3;
        V_VT(&args[1]) = VT_ARRAY | VT_UI1;
        V_ARRAY(&args[1]) = mine;
        V_VT(&args[0]) = VT_BYREF | VT_VARIANT;
        V_VARIANTREF(&args[0]) = &status;
        V_I4(&status) = 77;
        DISPPARAMS dp{args, nullptr, 5, 0};
        CHECK_EQ(reader->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &dp, nullptr, nullptr, nullptr), S_OK);
        CHECK_EQ(V_I4(&status), 0);
        CHECK(V_VT(&args[1]) == (VT_ARRAY | VT_UI1) && V_ARRAY(&args[1]) == mine);
        CHECK(mine->rgsabound[0].cElements == 2 && mine->cLocks == 0);
        CHECK_EQ(::SafeArrayDestroy(mine), S_OK);
    }
    // A failed read replaces the previous bytes with no array.
    V_I2(&start) = 0;
    CHECK_EQ(call(path, start, 1, data, status), S_OK);
    CHECK_EQ(V_I4(&status), docfile::kBlockOutside);
    CHECK(V_VT(&data) == (VT_ARRAY | VT_UI1) && V_ARRAY(&data) == nullptr);
    // A start that is not a number: a type mismatch, and the variables keep their values.
    ::VariantClear(&start);
    V_VT(&start) = VT_BSTR;
    V_BSTR(&start) = ::SysAllocString(L"first");
    V_I4(&status) = 77;
    CHECK_EQ(call(path, start, 1, data, status), DISP_E_TYPEMISMATCH);
    CHECK_EQ(V_I4(&status), 77);
    CHECK_EQ(V_VT(&start), VT_BSTR);
    ::VariantClear(&path);
    ::VariantClear(&start);
    ::VariantClear(&data);
    ::VariantClear(&status);

    UINT count = 0;
    CHECK_EQ(reader->GetTypeInfoCount(&count), S_OK);
    CHECK_EQ(count, 1u);
}

void CheckUnloadCounting() {
    HMODULE module = ::GetModuleHandleW(L"DocFile.dll");
    CHECK(module != nullptr);
    if (!module) return;
    auto canUnload = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
        reinterpret_cast<void*>(::GetProcAddress(module, "DllCanUnloadNow")));
    CHECK(canUnload != nullptr);
    if (!canUnload) return;
    CHECK_EQ(canUnload(), S_OK);  // every object of the earlier checks is released

    {
        Ptr<_ckxFileBlock> reader;
        CHECK_EQ(::CoCreateInstance(CLSID_ckxFileBlock, nullptr, CLSCTX_INPROC_SERVER, IID__ckxFileBlock,
                                    reader.out()),
                 S_OK);
        CHECK_EQ(canUnload(), S_FALSE);
    }
    CHECK_EQ(canUnload(), S_OK);

    Ptr<IClassFactory> factory;
    CHECK_EQ(::CoGetClassObject(CLSID_ckxDocHeader, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                factory.out()),
             S_OK);
    if (!factory.p) return;
    CHECK_EQ(canUnload(), S_FALSE);
    Ptr<IUnknown> aggregated;
    CHECK_EQ(factory->CreateInstance(reinterpret_cast<IUnknown*>(factory.p), IID_IUnknown, aggregated.out()),
             CLASS_E_NOAGGREGATION);
    Ptr<IUnknown> wrong;
    CHECK_EQ(factory->CreateInstance(nullptr, IID__ckxFileBlock, wrong.out()), E_NOINTERFACE);
    CHECK_EQ(factory->LockServer(TRUE), S_OK);
    factory.p->Release();
    factory.p = nullptr;
    CHECK_EQ(canUnload(), S_FALSE);  // the lock alone keeps the server
    Ptr<IClassFactory> again;
    CHECK_EQ(::CoGetClassObject(CLSID_ckxDocHeader, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                again.out()),
             S_OK);
    if (again.p) {
        again->LockServer(FALSE);
        again.p->Release();
        again.p = nullptr;
    }
    CHECK_EQ(canUnload(), S_OK);
}

int RunCalls() {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    const std::filesystem::path dir = std::filesystem::path(temp) / L"docfile-com-client";
    std::filesystem::create_directories(dir);
    {
        Ptr<_ckxDocHeader> header;
        Ptr<_ckxFileBlock> reader;
        CHECK_EQ(::CoCreateInstance(CLSID_ckxDocHeader, nullptr, CLSCTX_INPROC_SERVER, IID__ckxDocHeader,
                                    header.out()),
                 S_OK);
        CHECK_EQ(::CoCreateInstance(CLSID_ckxFileBlock, nullptr, CLSCTX_INPROC_SERVER, IID__ckxFileBlock,
                                    reader.out()),
                 S_OK);
        if (!header.p || !reader.p) return 1;
        CheckHeaderStatuses(header.p, dir);
        CheckBlockReads(reader.p, dir);
        CheckDispatch(header.p, reader.p, dir);
    }
    CheckUnloadCounting();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::printf("usage: com_client registered DLL | unregistered | calls | write PATH\n");
        return 2;
    }
    const std::wstring mode = argv[1];
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int rc = 0;
    try {
        if (mode == L"registered" && argc == 3) {
            CheckRegistered(argv[2]);
        } else if (mode == L"unregistered") {
            CheckUnregistered();
        } else if (mode == L"calls") {
            rc = RunCalls();
        } else if (mode == L"write" && argc == 3) {
            WriteSample(argv[2]);
            ::CoUninitialize();
            return 0;
        } else {
            std::printf("unknown mode\n");
            rc = 2;
        }
    } catch (const std::exception& e) {
        std::printf("FAIL: exception: %s\n", e.what());
        ++g_failures;
    }
    ::CoUninitialize();
    std::printf("com_client %ls: %d checks, %d failed\n", mode.c_str(), g_checks, g_failures);
    return rc != 0 ? rc : (g_failures == 0 ? 0 : 1);
}
