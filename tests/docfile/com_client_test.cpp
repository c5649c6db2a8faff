// GoogleTest client of DocFile.dll, run under Wine in a prefix where the CTest fixture
// registered the server. It calls the classes the way the viewer does, through their
// function tables after creating them by CLSID, and checks the registry that regsvr32
// writes and removes.
//
//   docfile_com_test --dll=DLLPATH [--document=PATH] [gtest options]
// Registration.* runs regsvr32 itself and leaves the server registered, as it found it.
// ScriptSample.* writes PATH, the sample document that late_bound.vbs reads.
#include <initguid.h>

#include "docfile_idl.h"

#include "com_ptr.h"
#include "doc_file.h"
#include "unique_handle.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <cguid.h>
#include <oleauto.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using common::com::ComPtr;
using common::com::UniqueBstr;
using common::com::UniqueHkey;
using common::com::UniqueSafeArray;

std::wstring g_dllPath;   // DocFile.dll as registered
std::wstring g_document;  // where ScriptSample writes the script's document

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
    UniqueHkey handle;
    return ::RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, handle.Put()) == ERROR_SUCCESS;
}

// Registry values compare without regard to case, as Windows treats paths and GUIDs.
testing::AssertionResult RegStringIs(const std::wstring& key, const wchar_t* name, const std::wstring& expected) {
    const std::wstring actual = RegString(key, name);
    if (_wcsicmp(actual.c_str(), expected.c_str()) == 0) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "HKCR\\" << testing::PrintToString(key) << " ["
                                       << testing::PrintToString(std::wstring(name ? name : L"(default)"))
                                       << "] is " << testing::PrintToString(actual) << ", expected "
                                       << testing::PrintToString(expected);
}
#define CHECK_REG(key, name, expected) EXPECT_TRUE(RegStringIs((key), (name), (expected)))

struct ClassNames {
    const CLSID* clsid;
    const wchar_t* progId;
};
const ClassNames kClasses[] = {{&CLSID_ckxDocHeader, L"DocFile.ckxDocHeader"},
                               {&CLSID_ckxFileBlock, L"DocFile.ckxFileBlock"}};

std::wstring TypeLibKey() { return L"TypeLib\\" + GuidText(LIBID_DocFile); }

void CheckRegistered() {
    for (const auto& c : kClasses) {
        const std::wstring clsidKey = L"CLSID\\" + GuidText(*c.clsid);
        CHECK_REG(clsidKey + L"\\InprocServer32", nullptr, g_dllPath);
        CHECK_REG(clsidKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
        CHECK_REG(clsidKey + L"\\ProgID", nullptr, c.progId);
        CHECK_REG(clsidKey + L"\\TypeLib", nullptr, GuidText(LIBID_DocFile));
        CHECK_REG(std::wstring(c.progId) + L"\\CLSID", nullptr, GuidText(*c.clsid));
        CLSID fromProgId{};
        EXPECT_TRUE(SUCCEEDED(::CLSIDFromProgID(c.progId, &fromProgId)) && fromProgId == *c.clsid);
    }
    const wchar_t* sys = sizeof(void*) == 8 ? L"\\1.0\\0\\win64" : L"\\1.0\\0\\win32";
    CHECK_REG(TypeLibKey() + sys, nullptr, g_dllPath);
    EXPECT_TRUE(KeyExists(L"Interface\\" + GuidText(IID__ckxDocHeader)));
    EXPECT_TRUE(KeyExists(L"Interface\\" + GuidText(IID__ckxFileBlock)));
}

void CheckUnregistered() {
    for (const auto& c : kClasses) {
        EXPECT_TRUE(!KeyExists(L"CLSID\\" + GuidText(*c.clsid)));
        EXPECT_TRUE(!KeyExists(c.progId));
    }
    EXPECT_TRUE(!KeyExists(TypeLibKey()));
    EXPECT_TRUE(!KeyExists(L"Interface\\" + GuidText(IID__ckxDocHeader)));
    EXPECT_TRUE(!KeyExists(L"Interface\\" + GuidText(IID__ckxFileBlock)));
}

struct Header {
    long status = -1, offset = -1, length = -1;
};

Header Examine(_ckxDocHeader* header, const std::wstring& path) {
    const UniqueBstr spec(path);
    Header h;
    EXPECT_EQ(header->put_FileSpec(spec.Get()), S_OK);
    EXPECT_EQ(header->get_Status(&h.status), S_OK);
    EXPECT_EQ(header->get_PackageOffset(&h.offset), S_OK);
    EXPECT_EQ(header->get_PackageLength(&h.length), S_OK);
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
    UniqueBstr spec(path);
    UniqueSafeArray data(passArray ? ::SafeArrayCreateVector(VT_UI1, 0, 5) : nullptr);
    Block b;
    b.status = 12345;
    b.hr = reader->ReadBlock(spec.InOut(), &start, &length, data.InOut(), &b.status);
    if (data) {
        b.hasArray = true;
        VARTYPE vt = VT_EMPTY;
        ::SafeArrayGetVartype(data.Get(), &vt);
        LONG lower = -1, upper = -1;
        ::SafeArrayGetLBound(data.Get(), 1, &lower);
        ::SafeArrayGetUBound(data.Get(), 1, &upper);
        EXPECT_EQ(vt, VT_UI1);
        EXPECT_EQ(::SafeArrayGetDim(data.Get()), 1u);
        EXPECT_EQ(lower, 0);
        void* p = nullptr;
        if (SUCCEEDED(::SafeArrayAccessData(data.Get(), &p))) {
            const auto* first = static_cast<const std::uint8_t*>(p);
            b.bytes.assign(first, first + (upper - lower + 1));
            ::SafeArrayUnaccessData(data.Get());
        }
    }
    return b;
}

void CheckHeaderStatuses(_ckxDocHeader* header, const std::filesystem::path& dir) {
    // Before any FileSpec the status is that of a missing file.
    long status = -1;
    EXPECT_EQ(header->get_Status(&status), S_OK);
    EXPECT_EQ(status, docfile::kDocMissing);

    // The writer replaces an existing document (renaming over it on Windows).
    docfile::WriteDocument(dir / L"good.orl", {}, {});
    EXPECT_EQ(Examine(header, (dir / L"good.orl").wstring()).length, 0);
    WriteSample(dir / L"good.orl");
    EXPECT_TRUE(!std::filesystem::exists(dir / L"good.orl.tmp"));
    Header h = Examine(header, (dir / L"good.orl").wstring());
    EXPECT_EQ(h.status, 0);
    EXPECT_EQ(h.offset, 20);
    EXPECT_EQ(h.length, 23);

    const std::filesystem::path wide = dir / L"Dokument \u00e4\u00f6\u00fc \u65e5\u672c \u0416.orl";
    WriteSample(wide);
    h = Examine(header, wide.wstring());
    EXPECT_EQ(h.status, 0);
    EXPECT_EQ(h.length, 23);

    h = Examine(header, (dir / L"absent.orl").wstring());
    EXPECT_EQ(h.status, docfile::kDocMissing);
    EXPECT_EQ(h.offset, 0);
    h = Examine(header, L"");
    EXPECT_EQ(h.status, docfile::kDocMissing);
    // A NUL inside the string must not open the file named by the part before it.
    h = Examine(header, (dir / L"good.orl").wstring() + std::wstring(1, L'\0') + L"x");
    EXPECT_EQ(h.status, docfile::kDocMissing);
    h = Examine(header, dir.wstring());
    EXPECT_EQ(h.status, docfile::kDocUnreadable);
    // A device exists but is no document; Wine shows the host's devices under Z:\dev.
    if (std::filesystem::is_directory(L"Z:\\dev")) {
        EXPECT_EQ(Examine(header, L"Z:\\dev\\zero").status, docfile::kDocUnreadable);
    }

    WriteRaw(dir / L"plain.rtf", Bytes(kRtf, kRtf + std::strlen(kRtf)));
    EXPECT_EQ(Examine(header, (dir / L"plain.rtf").wstring()).status, docfile::kDocNotDocument);

    Bytes doc = docfile::MakeLeadingPart(23);
    doc.insert(doc.end(), kPackage.begin(), kPackage.end());
    Bytes v2 = doc;
    v2[11] = 2;
    WriteRaw(dir / L"v2.orl", v2);
    EXPECT_EQ(Examine(header, (dir / L"v2.orl").wstring()).status, docfile::kDocUnsupportedVersion);
    Bytes cut(doc.begin(), doc.end() - 1);
    WriteRaw(dir / L"cut.orl", cut);
    h = Examine(header, (dir / L"cut.orl").wstring());
    EXPECT_EQ(h.status, docfile::kDocPackageOutside);
    EXPECT_EQ(h.length, 23);

    // A null BSTR is the empty path, and a null out-pointer is refused.
    EXPECT_EQ(header->put_FileSpec(nullptr), S_OK);
    EXPECT_EQ(header->get_Status(&status), S_OK);
    EXPECT_EQ(status, docfile::kDocMissing);
    EXPECT_EQ(header->get_Status(nullptr), E_POINTER);
}

void CheckBlockReads(_ckxFileBlock* reader, const std::filesystem::path& dir) {
    const std::wstring good = (dir / L"good.orl").wstring();
    const long size = 20 + 23 + static_cast<long>(std::strlen(kRtf));

    Block b = Read(reader, good, 21, 23);
    EXPECT_EQ(b.hr, S_OK);
    EXPECT_EQ(b.status, 0);
    EXPECT_TRUE(b.bytes == kPackage);

    b = Read(reader, (dir / L"Dokument \u00e4\u00f6\u00fc \u65e5\u672c \u0416.orl").wstring(), 21, 23, true);
    EXPECT_EQ(b.status, 0);
    EXPECT_TRUE(b.bytes == kPackage);  // the array passed in was replaced

    b = Read(reader, good, 44, size - 43);  // the text, exactly to the end
    EXPECT_EQ(b.status, 0);
    EXPECT_TRUE(b.bytes == Bytes(kRtf, kRtf + std::strlen(kRtf)));

    // Failures and empty reads hand back no array at all, whatever was passed in.
    b = Read(reader, good, 44, size - 42, true);  // one byte past the end
    EXPECT_EQ(b.hr, S_OK);
    EXPECT_EQ(b.status, docfile::kBlockOutside);
    EXPECT_TRUE(!b.hasArray);
    b = Read(reader, good, 0, 1, true);
    EXPECT_EQ(b.status, docfile::kBlockOutside);
    EXPECT_TRUE(!b.hasArray);
    b = Read(reader, good, 2, 0x7FFFFFFF);
    EXPECT_EQ(b.status, docfile::kBlockOutside);
    b = Read(reader, good, size + 1, 0, true);
    EXPECT_EQ(b.status, 0);
    EXPECT_TRUE(!b.hasArray);
    b = Read(reader, (dir / L"absent.orl").wstring(), 1, 1);
    EXPECT_EQ(b.status, docfile::kBlockMissing);
    EXPECT_TRUE(!b.hasArray);

    // A missing pointer fails the call with error information, and writes nothing.
    UniqueBstr spec(good);
    long start = 1, length = 1;
    UniqueSafeArray data;
    EXPECT_EQ(reader->ReadBlock(spec.InOut(), &start, &length, data.InOut(), nullptr), E_POINTER);
    EXPECT_TRUE(!data);
    ComPtr<ISupportErrorInfo> support;
    EXPECT_EQ(reader->QueryInterface(IID_ISupportErrorInfo, support.PutVoid()), S_OK);
    if (support) {
        EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID__ckxFileBlock), S_OK);
    }
    ComPtr<IErrorInfo> info;
    EXPECT_EQ(::GetErrorInfo(0, info.Put()), S_OK);
    if (info) {
        UniqueBstr source, description;
        info->GetSource(source.Put());
        info->GetDescription(description.Put());
        EXPECT_TRUE(source && std::wstring(source.Get()) == L"DocFile.ckxFileBlock");
        EXPECT_TRUE(description && description.Length() > 0);
    }
}

// Late binding through IDispatch, as script clients and VB do.
void CheckDispatch(_ckxDocHeader* header, _ckxFileBlock* reader, const std::filesystem::path& dir) {
    Examine(header, (dir / L"good.orl").wstring());
    LPOLESTR name = const_cast<LPOLESTR>(L"PackageLength");
    DISPID id = 0;
    EXPECT_EQ(header->GetIDsOfNames(IID_NULL, &name, 1, 0, &id), S_OK);
    EXPECT_EQ(id, 4);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    VARIANT result;
    ::VariantInit(&result);
    EXPECT_EQ(header->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr), S_OK);
    EXPECT_EQ(V_VT(&result), VT_I4);
    EXPECT_EQ(V_I4(&result), 23);

    name = const_cast<LPOLESTR>(L"readblock");  // names are not case sensitive
    EXPECT_EQ(reader->GetIDsOfNames(IID_NULL, &name, 1, 0, &id), S_OK);
    EXPECT_EQ(id, 1);
    name = const_cast<LPOLESTR>(L"NoSuchMember");
    EXPECT_EQ(reader->GetIDsOfNames(IID_NULL, &name, 1, 0, &id), DISP_E_UNKNOWNNAME);
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
    EXPECT_EQ(call(path, start, 23, data, status), S_OK);
    // The in-parameters' variables are read, not rewritten: same string, same type.
    EXPECT_TRUE(V_VT(&path) == VT_BSTR && V_BSTR(&path) == pathBefore);
    EXPECT_TRUE(V_VT(&start) == VT_I2 && V_I2(&start) == 21);
    EXPECT_EQ(V_VT(&status), VT_I4);
    EXPECT_EQ(V_I4(&status), 0);
    EXPECT_EQ(V_VT(&data), VT_ARRAY | VT_UI1);
    if (V_VT(&data) == (VT_ARRAY | VT_UI1) && V_ARRAY(&data)) {
        void* p = nullptr;
        ::SafeArrayAccessData(V_ARRAY(&data), &p);
        EXPECT_TRUE(V_ARRAY(&data)->rgsabound[0].cElements == 23 && std::memcmp(p, kPackage.data(), 23) == 0);
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
        EXPECT_EQ(reader->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &dp, nullptr, nullptr, nullptr), S_OK);
        EXPECT_EQ(V_I4(&status), 0);
        EXPECT_TRUE(V_VT(&args[1]) == (VT_ARRAY | VT_UI1) && V_ARRAY(&args[1]) == mine);
        EXPECT_TRUE(mine->rgsabound[0].cElements == 2 && mine->cLocks == 0);
        // Destroyed by hand on purpose: that it succeeds shows the server left no lock on it.
        EXPECT_EQ(::SafeArrayDestroy(mine), S_OK);
    }
    // A failed read replaces the previous bytes with no array.
    V_I2(&start) = 0;
    EXPECT_EQ(call(path, start, 1, data, status), S_OK);
    EXPECT_EQ(V_I4(&status), docfile::kBlockOutside);
    EXPECT_TRUE(V_VT(&data) == (VT_ARRAY | VT_UI1) && V_ARRAY(&data) == nullptr);
    // A start that is not a number: a type mismatch, and the variables keep their values.
    ::VariantClear(&start);
    V_VT(&start) = VT_BSTR;
    V_BSTR(&start) = ::SysAllocString(L"first");
    V_I4(&status) = 77;
    EXPECT_EQ(call(path, start, 1, data, status), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(V_I4(&status), 77);
    EXPECT_EQ(V_VT(&start), VT_BSTR);
    ::VariantClear(&path);
    ::VariantClear(&start);
    ::VariantClear(&data);
    ::VariantClear(&status);

    UINT count = 0;
    EXPECT_EQ(reader->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
}

void CheckUnloadCounting() {
    HMODULE module = ::GetModuleHandleW(L"DocFile.dll");
    EXPECT_TRUE(module != nullptr);
    if (!module) return;
    auto canUnload = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
        reinterpret_cast<void*>(::GetProcAddress(module, "DllCanUnloadNow")));
    EXPECT_TRUE(canUnload != nullptr);
    if (!canUnload) return;
    EXPECT_EQ(canUnload(), S_OK);  // every object of the earlier checks is released

    {
        ComPtr<_ckxFileBlock> reader;
        EXPECT_EQ(::CoCreateInstance(CLSID_ckxFileBlock, nullptr, CLSCTX_INPROC_SERVER, IID__ckxFileBlock,
                                    reader.PutVoid()),
                 S_OK);
        EXPECT_EQ(canUnload(), S_FALSE);
    }
    EXPECT_EQ(canUnload(), S_OK);

    ComPtr<IClassFactory> factory;
    EXPECT_EQ(::CoGetClassObject(CLSID_ckxDocHeader, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                factory.PutVoid()),
             S_OK);
    if (!factory) return;
    EXPECT_EQ(canUnload(), S_FALSE);
    ComPtr<IUnknown> aggregated;
    EXPECT_EQ(factory->CreateInstance(factory.Get(), IID_IUnknown, aggregated.PutVoid()), CLASS_E_NOAGGREGATION);
    ComPtr<IUnknown> wrong;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID__ckxFileBlock, wrong.PutVoid()), E_NOINTERFACE);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory.Reset();
    EXPECT_EQ(canUnload(), S_FALSE);  // the lock alone keeps the server
    ComPtr<IClassFactory> again;
    EXPECT_EQ(::CoGetClassObject(CLSID_ckxDocHeader, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                again.PutVoid()),
             S_OK);
    if (again) {
        again->LockServer(FALSE);
        again.Reset();
    }
    EXPECT_EQ(canUnload(), S_OK);
}

// Runs a command line and returns its exit code (-1 when it cannot start).
DWORD Run(std::wstring commandLine) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process)) {
        return static_cast<DWORD>(-1);
    }
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = static_cast<DWORD>(-1);
    ::GetExitCodeProcess(process.hProcess, &code);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return code;
}

DWORD Regsvr32(const wchar_t* options) {
    return Run(std::wstring(L"regsvr32.exe ") + options + L" \"" + g_dllPath + L"\"");
}

// The fixture registered the server; registering again changes nothing, unregistering
// removes every key (twice is harmless), and the test leaves it registered again.
TEST(Registration, RegisterAgainUnregisterRegister) {
    CheckRegistered();
    ASSERT_EQ(Regsvr32(L"/s"), 0u);
    CheckRegistered();
    ASSERT_EQ(Regsvr32(L"/u /s"), 0u);
    CheckUnregistered();
    EXPECT_EQ(Regsvr32(L"/u /s"), 0u) << "unregistering what is absent succeeds";
    ASSERT_EQ(Regsvr32(L"/s"), 0u);
    CheckRegistered();
}

class Calls : public testing::Test {
protected:
    static void SetUpTestSuite() {
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        dir_ = std::filesystem::path(temp) / L"docfile-com-client";
        std::filesystem::create_directories(dir_);
    }
    static void TearDownTestSuite() {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    void SetUp() override {
        ASSERT_EQ(::CoCreateInstance(CLSID_ckxDocHeader, nullptr, CLSCTX_INPROC_SERVER, IID__ckxDocHeader,
                                     header_.PutVoid()),
                  S_OK);
        ASSERT_EQ(::CoCreateInstance(CLSID_ckxFileBlock, nullptr, CLSCTX_INPROC_SERVER, IID__ckxFileBlock,
                                     reader_.PutVoid()),
                  S_OK);
    }
    static std::filesystem::path dir_;
    ComPtr<_ckxDocHeader> header_;
    ComPtr<_ckxFileBlock> reader_;
};
std::filesystem::path Calls::dir_;

// In this order: the block reads and the late-bound calls read the documents that the
// header checks write.
TEST_F(Calls, HeaderStatuses) { CheckHeaderStatuses(header_.Get(), dir_); }
TEST_F(Calls, BlockReads) { CheckBlockReads(reader_.Get(), dir_); }
TEST_F(Calls, Dispatch) { CheckDispatch(header_.Get(), reader_.Get(), dir_); }

// After the calls above, whose objects are all released by now.
TEST(Unloading, CountsObjectsAndLocks) { CheckUnloadCounting(); }

// Writes the sample document that the script client reads (--document=PATH).
TEST(ScriptSample, Written) {
    if (g_document.empty()) GTEST_SKIP() << "no --document given";
    WriteSample(g_document);
    ComPtr<_ckxDocHeader> header;
    ASSERT_EQ(::CoCreateInstance(CLSID_ckxDocHeader, nullptr, CLSCTX_INPROC_SERVER, IID__ckxDocHeader,
                                 header.PutVoid()),
              S_OK);
    const Header h = Examine(header.Get(), g_document);
    EXPECT_EQ(h.status, 0);
    EXPECT_EQ(h.length, 23);
}

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&](size_t skip) {
            std::wstring wide(static_cast<size_t>(::MultiByteToWideChar(CP_ACP, 0, arg.c_str() + skip, -1, nullptr, 0)),
                              L'\0');
            ::MultiByteToWideChar(CP_ACP, 0, arg.c_str() + skip, -1, wide.data(), static_cast<int>(wide.size()));
            wide.resize(wide.size() - 1);
            return wide;
        };
        if (arg.rfind("--dll=", 0) == 0) g_dllPath = value(6);
        if (arg.rfind("--document=", 0) == 0) g_document = value(11);
    }
    if (g_dllPath.empty()) {
        std::fprintf(stderr, "usage: %s --dll=PATH-TO-DocFile.dll [--document=PATH] [gtest options]\n", argv[0]);
        return 2;
    }
    if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 3;
    const int result = RUN_ALL_TESTS();
    ::CoUninitialize();
    return result;
}
