// Late-bound calls with the arguments that script clients pass: every
// variable a reference to the caller's VARIANT (VT_VARIANT | VT_BYREF),
// constants by value. No member writes through its parameters, so after every
// call the caller's VARIANTs must hold what they held before: the same type,
// the same BSTR or SAFEARRAY pointer, the same content, no lock left on an
// array. A server that let ITypeInfo::Invoke write back into them freed the
// caller's string or array and left the variable dangling.
#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>

#include <string>
#include <vector>

#include "com_test_support.h"

namespace sorbel::com::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::wstring Text(BSTR b) { return b ? std::wstring(b, SysStringLen(b)) : std::wstring(); }

// A variable of the caller: a VARIANT it owns and clears.
class Variable {
public:
    explicit Variable(const std::wstring& text) {
        VariantInit(&v_);
        V_VT(&v_) = VT_BSTR;
        V_BSTR(&v_) = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    }
    explicit Variable(const Bytes& bytes) {
        VariantInit(&v_);
        V_VT(&v_) = VT_ARRAY | VT_UI1;
        V_ARRAY(&v_) = MakeBytes(bytes).Detach();
    }
    explicit Variable(SHORT number) {
        VariantInit(&v_);
        V_VT(&v_) = VT_I2;
        V_I2(&v_) = number;
    }
    Variable(const Variable&) = delete;
    Variable& operator=(const Variable&) = delete;
    ~Variable() { VariantClear(&v_); }

    // As a script passes a variable.
    VARIANT Ref() {
        VARIANT r;
        V_VT(&r) = VT_BYREF | VT_VARIANT;
        V_VARIANTREF(&r) = &v_;
        return r;
    }
    // As a C++ client passes a value it keeps owning.
    VARIANT View() const { return v_; }
    const VARIANT& Get() const { return v_; }

private:
    VARIANT v_;
};

// What a variable held, to compare after a call.
struct Snapshot {
    VARTYPE type = VT_EMPTY;
    const void* pointer = nullptr;
    std::wstring text;
    Bytes bytes;
    LONG number = 0;
};

Snapshot Take(const VARIANT& v) {
    Snapshot s;
    s.type = V_VT(&v);
    if (s.type == VT_BSTR) {
        s.pointer = V_BSTR(&v);
        s.text = Text(V_BSTR(&v));
    } else if (s.type == (VT_ARRAY | VT_UI1)) {
        s.pointer = V_ARRAY(&v);
        s.bytes = ReadBytes(V_ARRAY(&v));
    } else if (s.type == VT_I2) {
        s.number = V_I2(&v);
    }
    return s;
}

void ExpectSame(const Variable& variable, const Snapshot& before, const std::string& when) {
    const VARIANT& v = variable.Get();
    ASSERT_EQ(V_VT(&v), before.type) << when;
    if (before.type == VT_BSTR) {
        EXPECT_EQ(static_cast<const void*>(V_BSTR(&v)), before.pointer) << when;
        EXPECT_EQ(Text(V_BSTR(&v)), before.text) << when;
    } else if (before.type == (VT_ARRAY | VT_UI1)) {
        EXPECT_EQ(static_cast<const void*>(V_ARRAY(&v)), before.pointer) << when;
        EXPECT_EQ(ReadBytes(V_ARRAY(&v)), before.bytes) << when;
        EXPECT_EQ(V_ARRAY(&v)->cLocks, 0u) << when << ": the array was left locked";
    } else if (before.type == VT_I2) {
        EXPECT_EQ(V_I2(&v), before.number) << when;
    }
}

class LateBoundArguments : public testing::Test {
protected:
    ~LateBoundArguments() override { VariantClear(&result); }

    void SetUp() override {
        ASSERT_TRUE(pak);
        dispatch = pak.Query<IDispatch>(IID_IDispatch);
        ASSERT_TRUE(dispatch);
    }

    DISPID Id(const wchar_t* name) {
        DISPID id = DISPID_UNKNOWN;
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK) << name;
        return id;
    }

    // Calls `name` with the arguments in source order, as a script does: a
    // method call may also be a property get; a let names its last argument
    // DISPID_PROPERTYPUT. The result, if any, is left in `result`.
    HRESULT Call(const wchar_t* name, WORD flags, std::vector<VARIANT> arguments, UINT* argErr = nullptr) {
        VariantClear(&result);
        std::vector<VARIANT> reversed(arguments.rbegin(), arguments.rend());
        DISPID put = DISPID_PROPERTYPUT;
        const bool let = flags == DISPATCH_PROPERTYPUT;
        DISPPARAMS params{reversed.data(), let ? &put : nullptr, static_cast<UINT>(reversed.size()),
                          let ? 1u : 0u};
        return dispatch->Invoke(Id(name), IID_NULL, LOCALE_USER_DEFAULT, flags, &params, let ? nullptr : &result,
                                nullptr, argErr);
    }
    static constexpr WORD kMethod = DISPATCH_METHOD | DISPATCH_PROPERTYGET;
    static constexpr WORD kLet = DISPATCH_PROPERTYPUT;

    LONG Count() {
        LONG n = -1;
        EXPECT_EQ(pak->Count(&n), S_OK);
        return n;
    }
    LONG Error() {
        ::ckxDataPak_ErrorNumber e = ::ckxDataPak_errPackageCorrupt;
        EXPECT_EQ(pak->ErrorNumber(&e), S_OK);
        return e;
    }
    std::wstring ResultText() const { return V_VT(&result) == VT_BSTR ? Text(V_BSTR(&result)) : L"<not a string>"; }

    // A package of two records ("a" = "1", "b" = bytes 1 2 3), made by another object.
    static Bytes SamplePackage() {
        ComPtr<_ckxDataPak> source = NewPak();
        UniqueBstr a(L"a"), one(L"1"), b(L"b");
        BSTR aRef = a.Get(), oneRef = one.Get(), bRef = b.Get();
        EXPECT_EQ(source->Append(&aRef, &oneRef), S_OK);
        UniqueSafeArray bytes = MakeBytes({1, 2, 3});
        SAFEARRAY* bytesRef = bytes.Get();
        EXPECT_EQ(source->AppendB(&bRef, &bytesRef), S_OK);
        UniqueSafeArray package;
        EXPECT_EQ(source->get_Package(package.Put()), S_OK);
        return ReadBytes(package.Get());
    }

    ComPtr<_ckxDataPak> pak = NewPak();
    ComPtr<IDispatch> dispatch;
    VARIANT result{};
};

// The installer's sequence and every kind of let, repeated on the same
// variables: a freed BSTR or array would be reused by the heap and show up as
// changed content or a crash within a few rounds.
TEST_F(LateBoundArguments, VariablesPassedByReferenceKeepTheirValuesOverManyCalls) {
    Variable package(SamplePackage());
    Bytes shortBytes = SamplePackage();
    shortBytes.pop_back();
    Variable shortPackage(shortBytes);
    Variable key(std::wstring(L"key")), value(std::wstring(L"value")), title(std::wstring(L"Title"));
    Variable bytes(Bytes{7, 8, 9}), index(SHORT{0});
    const Variable* all[] = {&package, &shortPackage, &key, &value, &title, &bytes, &index};
    std::vector<Snapshot> before;
    for (const Variable* v : all) before.push_back(Take(v->Get()));
    const auto expectAllSame = [&](const std::string& when) {
        for (size_t i = 0; i < before.size(); ++i) ExpectSame(*all[i], before[i], when + ", variable " + std::to_string(i));
    };

    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        ASSERT_EQ(Call(L"Package", kLet, {shortPackage.Ref()}), S_OK);
        EXPECT_EQ(Error(), ::ckxDataPak_errPackageSizeInvalid);
        expectAllSame("short Package let");
        ASSERT_EQ(Call(L"Package", kLet, {package.Ref()}), S_OK);
        EXPECT_EQ(Error(), ::ckxDataPak_errNoError);
        EXPECT_EQ(Count(), 2);
        expectAllSame("Package let");

        ASSERT_EQ(Call(L"Title", kLet, {title.Ref()}), S_OK);
        ASSERT_EQ(Call(L"Title", kMethod, {}), S_OK);
        EXPECT_EQ(ResultText(), L"Title");
        ASSERT_EQ(Call(L"Append", kMethod, {key.Ref(), value.Ref()}), S_OK);
        ASSERT_EQ(Call(L"Data", kLet, {key.Ref(), value.Ref()}), S_OK);
        ASSERT_EQ(Call(L"Data", kMethod, {key.Ref()}), S_OK);
        EXPECT_EQ(ResultText(), L"value");
        expectAllSame("text members");

        ASSERT_EQ(Call(L"DataB", kLet, {key.Ref(), bytes.Ref()}), S_OK);
        ASSERT_EQ(Call(L"AppendB", kMethod, {key.Ref(), bytes.Ref()}), S_OK);
        ASSERT_EQ(Call(L"FindDataB", kMethod, {bytes.Ref()}), S_OK);
        EXPECT_EQ(V_VT(&result), VT_I4);
        EXPECT_EQ(V_I4(&result), 2);
        ASSERT_EQ(Call(L"RecordKey", kLet, {index.Ref(), key.Ref()}), S_OK);
        ASSERT_EQ(Call(L"RecordKey", kMethod, {index.Ref()}), S_OK);
        EXPECT_EQ(ResultText(), L"key");
        EXPECT_EQ(Count(), 4);
        EXPECT_EQ(Error(), ::ckxDataPak_errNoError);
        expectAllSame("byte and positional members");
    }
}

SIZE_T CommittedBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    EXPECT_TRUE(GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                                     sizeof counters));
    return counters.PagefileUsage;  // committed private memory (Wine reports no PrivateUsage)
}

// The copies made for a call are freed with it: a thousand lets of a 256 KB
// package from a variable leave the process's memory where it was (a copy
// kept per call would add 256 MB).
TEST_F(LateBoundArguments, CopiesAreFreedAfterEveryCall) {
    Variable small(Bytes{1, 2, 3});
    ComPtr<_ckxDataPak> source = NewPak();
    UniqueBstr key(L"big");
    BSTR keyRef = key.Get();
    UniqueSafeArray bytes = MakeBytes(Bytes(256 * 1024, 0x41));
    SAFEARRAY* bytesRef = bytes.Get();
    ASSERT_EQ(source->AppendB(&keyRef, &bytesRef), S_OK);
    UniqueSafeArray bigPackage;
    ASSERT_EQ(source->get_Package(bigPackage.Put()), S_OK);
    Variable large(ReadBytes(bigPackage.Get()));

    ASSERT_EQ(Call(L"Package", kLet, {large.Ref()}), S_OK);  // first use settles the heap
    const SIZE_T before = CommittedBytes();
    for (int i = 0; i < 1000; ++i) {
        ASSERT_EQ(Call(L"Package", kLet, {large.Ref()}), S_OK);
        ASSERT_EQ(Call(L"AppendB", kMethod, {Variable(std::wstring(L"k")).Ref(), small.Ref()}), S_OK);
    }
    EXPECT_EQ(Error(), ::ckxDataPak_errNoError);
    EXPECT_EQ(Count(), 2);
    const SIZE_T after = CommittedBytes();
    EXPECT_LT(after, before + 64 * 1024 * 1024) << "grew by " << (after - before) << " bytes";
}

// A C++ caller's by-value arguments are views of values it keeps owning:
// the call must not free or replace them (even for [in, out] parameters).
TEST_F(LateBoundArguments, ValuesPassedByValueStayTheCallers) {
    Variable package(SamplePackage()), key(std::wstring(L"k")), value(std::wstring(L"v")), bytes(Bytes{4, 5});
    const Snapshot packageBefore = Take(package.Get()), keyBefore = Take(key.Get()),
                   valueBefore = Take(value.Get()), bytesBefore = Take(bytes.Get());
    for (int round = 0; round < 10; ++round) {
        ASSERT_EQ(Call(L"Package", kLet, {package.View()}), S_OK);
        ASSERT_EQ(Call(L"Append", kMethod, {key.View(), value.View()}), S_OK);
        ASSERT_EQ(Call(L"Title", kLet, {value.View()}), S_OK);
        ASSERT_EQ(Call(L"InsertB", kMethod, {value.View(), bytes.View(), key.View()}), S_OK);
        ExpectSame(package, packageBefore, "package");
        ExpectSame(key, keyBefore, "key");
        ExpectSame(value, valueBefore, "value");
        ExpectSame(bytes, bytesBefore, "bytes");
    }
    EXPECT_EQ(Count(), 4);
    EXPECT_EQ(Call(L"RecordKey", kMethod, {Variable(SHORT{2}).View()}), S_OK);
    EXPECT_EQ(ResultText(), L"v");
}

// A typed reference of the parameter's own type is the member's to read. A
// string variable where bytes are expected is converted as Automation
// converts a string to a byte array (its UTF-16 bytes) and stays a string.
TEST_F(LateBoundArguments, TypedReferencesAndConvertedVariables) {
    UniqueBstr key(L"typed");
    BSTR keyValue = key.Get();
    VARIANT typed;
    V_VT(&typed) = VT_BYREF | VT_BSTR;
    V_BSTRREF(&typed) = &keyValue;
    Variable data(std::wstring(L"AB"));
    const Snapshot dataBefore = Take(data.Get());
    ASSERT_EQ(Call(L"AppendB", kMethod, {typed, data.Ref()}), S_OK);
    EXPECT_EQ(keyValue, key.Get());
    EXPECT_EQ(Text(keyValue), L"typed");
    ExpectSame(data, dataBefore, "string given for bytes");
    ASSERT_EQ(Call(L"Data", kMethod, {typed}), S_OK);
    EXPECT_EQ(ResultText(), std::wstring(L"A\0B\0", 4));
}

// Arguments that cannot be passed fail the call before any member runs, and
// the caller's variables are left as they were.
TEST_F(LateBoundArguments, ArgumentsThatCannotBePassedFailAndChangeNothing) {
    Variable notANumber(std::wstring(L"first")), key(std::wstring(L"k"));
    const Snapshot before = Take(notANumber.Get());
    UINT argErr = 99;
    EXPECT_EQ(Call(L"RecordKey", kLet, {notANumber.Ref(), key.Ref()}, &argErr), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 1u) << "the index is rgvarg[1], after the named value";
    ExpectSame(notANumber, before, "index that is not a number");
    EXPECT_EQ(Count(), 0);

    VARIANT nullReference;
    V_VT(&nullReference) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&nullReference) = nullptr;
    EXPECT_EQ(Call(L"Delete", kMethod, {nullReference}), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(Call(L"Delete", kMethod, {key.Ref(), key.Ref()}), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Call(L"Count", kLet, {key.Ref()}), DISP_E_MEMBERNOTFOUND) << "Count has no let";
    EXPECT_EQ(Count(), 0);
}

}  // namespace
}  // namespace sorbel::com::test
