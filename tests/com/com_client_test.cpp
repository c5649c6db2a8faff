// Sorbel.dll seen by a C++ client that calls through the vtable of
// _ckxDataPak: each member family, the Automation conventions for strings and
// byte arrays, refusals through ErrorNumber, faults as failure statuses with
// error information, late binding by name, and module unloading.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "com_test_support.h"

namespace sorbel::com::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::wstring Text(BSTR b) { return b ? std::wstring(b, SysStringLen(b)) : std::wstring(); }

class PakTest : public testing::Test {
protected:
    LONG Error() {
        ::ckxDataPak_ErrorNumber e = ::ckxDataPak_errPackageCorrupt;
        EXPECT_EQ(pak->ErrorNumber(&e), S_OK);
        return e;
    }
    LONG Count() {
        LONG n = -99;
        EXPECT_EQ(pak->Count(&n), S_OK);
        return n;
    }
    void Append(const std::wstring& key, const std::wstring& data) {
        UniqueBstr k(key), d(data);
        ASSERT_EQ(pak->Append(k.InOut(), d.InOut()), S_OK);
    }
    std::wstring Data(const std::wstring& key) {
        UniqueBstr k(key);
        UniqueBstr out;
        EXPECT_EQ(pak->get_Data(k.InOut(), out.Put()), S_OK);
        return Text(out.Get());
    }
    Bytes DataB(const std::wstring& key) {
        UniqueBstr k(key);
        UniqueSafeArray out;
        EXPECT_EQ(pak->get_DataB(k.InOut(), out.Put()), S_OK);
        return ReadBytes(out.Get());
    }
    HRESULT AppendB(const std::wstring& key, SAFEARRAY* array) {
        UniqueBstr k(key);
        return pak->AppendB(k.InOut(), &array);
    }
    std::wstring RecordKey(LONG index) {
        UniqueBstr out;
        EXPECT_EQ(pak->get_RecordKey(&index, out.Put()), S_OK);
        return Text(out.Get());
    }
    LONG FindKey(const std::wstring& key) {
        UniqueBstr k(key);
        LONG index = -99;
        EXPECT_EQ(pak->FindKey(k.InOut(), &index), S_OK);
        return index;
    }
    // Leaves the error number at ckxDataPak_errRecordNotFound.
    void Refuse() {
        FindKey(L"no such key");
        ASSERT_EQ(Error(), ::ckxDataPak_errRecordNotFound);
    }

    ComPtr<_ckxDataPak> pak = NewPak();
};

TEST_F(PakTest, NewObjectHasNoRecordsAndTypeId1000) {
    ASSERT_TRUE(pak);
    LONG typeId = 0;
    EXPECT_EQ(pak->TypeID(&typeId), S_OK);
    EXPECT_EQ(typeId, 1000);
    EXPECT_EQ(Count(), 0);
    EXPECT_EQ(Error(), ::ckxDataPak_errNoError);
    UniqueBstr title;
    EXPECT_EQ(pak->get_Title(title.Put()), S_OK);
    EXPECT_EQ(Text(title.Get()), L"");
}

TEST_F(PakTest, KeyedTextMembersAndRefusals) {
    Append(L"k1", L"one");
    Append(L"k2", L"two");
    Append(L"k3", L"three");
    {
        UniqueBstr k(L"k9"), d(L"nine"), before(L"k2");
        ASSERT_EQ(pak->Insert(k.InOut(), d.InOut(), before.InOut()), S_OK);
    }
    EXPECT_EQ(Error(), 0);
    EXPECT_EQ(RecordKey(1), L"k9");
    EXPECT_EQ(RecordKey(2), L"k2");
    EXPECT_EQ(FindKey(L"k3"), 3);
    EXPECT_EQ(Data(L"k9"), L"nine");
    {
        UniqueBstr k(L"k2"), d(L"TWO");
        ASSERT_EQ(pak->Edit(k.InOut(), d.InOut()), S_OK);
        LONG length = 0;
        ASSERT_EQ(pak->Length(k.InOut(), &length), S_OK);
        EXPECT_EQ(length, 3);
    }
    EXPECT_EQ(Data(L"k2"), L"TWO");
    {
        UniqueBstr k(L"new"), d(L"added");
        ASSERT_EQ(pak->put_Data(k.InOut(), d.InOut()), S_OK);
    }
    EXPECT_EQ(Count(), 5);
    EXPECT_EQ(RecordKey(4), L"new");
    {
        UniqueBstr k(L"k1");
        ASSERT_EQ(pak->Delete(k.InOut()), S_OK);
    }
    EXPECT_EQ(RecordKey(0), L"k9");

    // Keys compare exactly: case matters.
    EXPECT_EQ(FindKey(L"K3"), -1);
    EXPECT_EQ(Error(), ::ckxDataPak_errRecordNotFound);
    // Members that never write the error number leave the refusal visible.
    LONG typeId = 0, length = 0;
    UniqueBstr k3(L"k3");
    pak->TypeID(&typeId);
    pak->Length(k3.InOut(), &length);
    Count();
    EXPECT_EQ(Error(), ::ckxDataPak_errRecordNotFound);
    EXPECT_EQ(FindKey(L"k3"), 2);
    EXPECT_EQ(Error(), ::ckxDataPak_errNoError);

    UniqueBstr longKey(std::wstring(256, L'x')), data(L"v");
    ASSERT_EQ(pak->Append(longKey.InOut(), data.InOut()), S_OK) << "a refusal is not a failure status";
    EXPECT_EQ(Error(), ::ckxDataPak_errKeyTooLong);
    EXPECT_EQ(Count(), 4);
    UniqueBstr key255(std::wstring(255, L'x'));
    ASSERT_EQ(pak->Append(key255.InOut(), data.InOut()), S_OK);
    EXPECT_EQ(Error(), ::ckxDataPak_errNoError);
    EXPECT_EQ(Count(), 5);
}

TEST_F(PakTest, ByReferenceArgumentsAreNeitherWrittenNorKept) {
    UniqueBstr key(L"key"), data(L"data");
    const BSTR keyBefore = key.Get(), dataBefore = data.Get();
    ASSERT_EQ(pak->Append(key.InOut(), data.InOut()), S_OK);
    EXPECT_EQ(key.Get(), keyBefore);
    EXPECT_EQ(data.Get(), dataBefore);
    // Changing the caller's string afterwards does not reach the record.
    data.Get()[0] = L'D';
    EXPECT_EQ(Data(L"key"), L"data");
    // Every result is a fresh copy.
    UniqueBstr k(L"key");
    UniqueBstr first, second;
    ASSERT_EQ(pak->get_Data(k.InOut(), first.Put()), S_OK);
    ASSERT_EQ(pak->get_Data(k.InOut(), second.Put()), S_OK);
    EXPECT_NE(first.Get(), second.Get());
}

TEST_F(PakTest, TitleAndCategoryAreCutTo255AndNullIsEmpty) {
    UniqueBstr longTitle(std::wstring(300, L't'));
    ASSERT_EQ(pak->put_Title(longTitle.Get()), S_OK);
    ASSERT_EQ(pak->put_Category(nullptr), S_OK);
    UniqueBstr title, category;
    ASSERT_EQ(pak->get_Title(title.Put()), S_OK);
    ASSERT_EQ(pak->get_Category(category.Put()), S_OK);
    EXPECT_EQ(Text(title.Get()), std::wstring(255, L't'));
    EXPECT_EQ(Text(category.Get()), L"");

    Append(L"k", L"v");
    ASSERT_EQ(pak->Zap(), S_OK);
    EXPECT_EQ(Count(), 0);
    ASSERT_EQ(pak->get_Title(title.Put()), S_OK);
    EXPECT_EQ(title.Length(), 255u);
    ASSERT_EQ(pak->Clear(), S_OK);
    ASSERT_EQ(pak->get_Title(title.Put()), S_OK);
    EXPECT_EQ(title.Length(), 0u);
}

TEST_F(PakTest, NullStringArgumentsAreEmptyStrings) {
    BSTR nullKey = nullptr;
    UniqueBstr data(L"v");
    ASSERT_EQ(pak->Append(&nullKey, data.InOut()), S_OK);
    ASSERT_EQ(pak->Append(nullptr, nullptr), S_OK);
    EXPECT_EQ(Count(), 2);
    EXPECT_EQ(RecordKey(0), L"");
    EXPECT_EQ(Data(L""), L"v");
}

TEST_F(PakTest, BytesAndTextMeetOneCharacterPerByte) {
    auto bytes = MakeBytes({65, 0, 66});
    UniqueBstr key(L"b");
    SAFEARRAY* array = bytes.Get();
    ASSERT_EQ(pak->put_DataB(key.InOut(), &array), S_OK);
    EXPECT_EQ(array, bytes.Get()) << "the caller's array pointer is not written";
    EXPECT_EQ(Data(L"b"), std::wstring(L"A\0B", 3));

    UniqueBstr t(L"t"), ab(L"AB");
    ASSERT_EQ(pak->put_Data(t.InOut(), ab.InOut()), S_OK);
    EXPECT_EQ(DataB(L"t"), (Bytes{65, 66}));
}

TEST_F(PakTest, NullAndEmptyArraysAreZeroBytesAndEmptyResultsAreNull) {
    ASSERT_EQ(AppendB(L"null", nullptr), S_OK);  // a NULL SAFEARRAY
    UniqueBstr k(L"nullptr");
    ASSERT_EQ(pak->AppendB(k.InOut(), nullptr), S_OK);  // no pointer at all
    auto empty = MakeBytes({});
    ASSERT_EQ(AppendB(L"empty", empty.Get()), S_OK);
    UniqueBstr e(L"text"), nothing(L"");
    ASSERT_EQ(pak->Append(e.InOut(), nothing.InOut()), S_OK);
    EXPECT_EQ(Count(), 4);
    EXPECT_EQ(Error(), 0);
    for (LONG i = 0; i < 4; ++i) {
        SAFEARRAY* out = reinterpret_cast<SAFEARRAY*>(1);  // must be overwritten with NULL
        ASSERT_EQ(pak->get_RecordB(&i, &out), S_OK);
        EXPECT_EQ(out, nullptr) << "record " << i;
    }
    // A refused getter also hands back NULL.
    LONG beyond = 10;
    UniqueSafeArray out;
    ASSERT_EQ(pak->get_RecordB(&beyond, out.Put()), S_OK);
    EXPECT_EQ(out.Get(), nullptr);
    EXPECT_EQ(Error(), ::ckxDataPak_errRecordNotFound);

    LONG index = -1;
    SAFEARRAY* none = nullptr;
    ASSERT_EQ(pak->FindDataB(&none, &index), S_OK);
    EXPECT_EQ(index, 0);
    ASSERT_EQ(pak->FindDataB(nullptr, &index), S_OK);
    EXPECT_EQ(index, 0);
}

TEST_F(PakTest, ByteArraysAreCopiedBothWays) {
    auto bytes = MakeBytes({1, 2, 3});
    ASSERT_EQ(AppendB(L"k", bytes.Get()), S_OK);
    // Changing the caller's array after the call does not change the record.
    static_cast<std::uint8_t*>(bytes.Get()->pvData)[0] = 99;
    EXPECT_EQ(DataB(L"k"), (Bytes{1, 2, 3}));
    // A returned array is the caller's own: changing it changes nothing stored.
    UniqueBstr k(L"k");
    UniqueSafeArray first, second;
    ASSERT_EQ(pak->get_DataB(k.InOut(), first.Put()), S_OK);
    static_cast<std::uint8_t*>(first.Get()->pvData)[1] = 77;
    ASSERT_EQ(pak->get_DataB(k.InOut(), second.Put()), S_OK);
    EXPECT_NE(first.Get(), second.Get());
    EXPECT_EQ(ReadBytes(second.Get()), (Bytes{1, 2, 3}));
}

TEST_F(PakTest, ArrayWithLowerBoundFiveIsReadFromItsLowerBound) {
    auto bytes = MakeBytes({7, 8, 9}, 5);
    ASSERT_EQ(AppendB(L"k", bytes.Get()), S_OK);
    EXPECT_EQ(DataB(L"k"), (Bytes{7, 8, 9})) << "handed back indexed from 0";

    // A package with lower bound 5 loads like the same bytes from 0.
    UniqueSafeArray package;
    ASSERT_EQ(pak->get_Package(package.Put()), S_OK);
    auto shifted = MakeBytes(ReadBytes(package.Get()), 5);
    auto other = NewPak();
    SAFEARRAY* array = shifted.Get();
    ASSERT_EQ(other->put_Package(&array), S_OK);
    ::ckxDataPak_ErrorNumber error = ::ckxDataPak_errPackageCorrupt;
    other->ErrorNumber(&error);
    EXPECT_EQ(error, ::ckxDataPak_errNoError);
    LONG zero = 0;
    UniqueSafeArray data;
    ASSERT_EQ(other->get_RecordB(&zero, data.Put()), S_OK);
    EXPECT_EQ(ReadBytes(data.Get()), (Bytes{7, 8, 9}));
}

TEST_F(PakTest, ArraysOfTheWrongShapeOrTypeAreRefusedWithAFailureStatus) {
    Append(L"k", L"v");
    Refuse();

    SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 0}};
    UniqueSafeArray twoDimensions(SafeArrayCreate(VT_UI1, 2, bounds));
    SAFEARRAYBOUND one{2, 0};
    UniqueSafeArray strings(SafeArrayCreate(VT_BSTR, 1, &one));
    UniqueSafeArray longs(SafeArrayCreate(VT_I4, 1, &one));
    for (SAFEARRAY* wrong : {twoDimensions.Get(), strings.Get(), longs.Get()}) {
        ASSERT_NE(wrong, nullptr);
        EXPECT_EQ(AppendB(L"k2", wrong), DISP_E_TYPEMISMATCH);
        ComPtr<IErrorInfo> info;
        ASSERT_EQ(GetErrorInfo(0, info.Put()), S_OK);
        UniqueBstr description;
        info->GetDescription(description.Put());
        EXPECT_NE(Text(description.Get()).find(L"AppendB"), std::wstring::npos) << Text(description.Get());
        SAFEARRAY* array = wrong;
        EXPECT_EQ(pak->put_Package(&array), DISP_E_TYPEMISMATCH);
        LONG index = 0;
        EXPECT_EQ(pak->FindDataB(&array, &index), DISP_E_TYPEMISMATCH);
    }
    EXPECT_EQ(Count(), 1);
    EXPECT_EQ(Error(), ::ckxDataPak_errRecordNotFound) << "a failed call leaves the error number";
}

TEST_F(PakTest, PackageRoundTripAndRefusedPackages) {
    UniqueBstr title(L"T");
    ASSERT_EQ(pak->put_Title(title.Get()), S_OK);
    auto data = MakeBytes({1, 2});
    ASSERT_EQ(AppendB(L"k", data.Get()), S_OK);
    LONG size = 0;
    ASSERT_EQ(pak->Size(&size), S_OK);
    EXPECT_EQ(size, 23);
    UniqueSafeArray package;
    ASSERT_EQ(pak->get_Package(package.Put()), S_OK);
    const Bytes expected{0x00, 0x00, 0x03, 0xE8, 0x00, 0x00, 0x00, 0x17, 0x00, 0x01, 0x00, 0x00,
                         0x00, 0x01, 0x54, 0x01, 0x00, 0x00, 0x00, 0x02, 0x6B, 0x01, 0x02};
    EXPECT_EQ(ReadBytes(package.Get()), expected);

    auto other = NewPak();
    SAFEARRAY* array = package.Get();
    ASSERT_EQ(other->put_Package(&array), S_OK);
    ::ckxDataPak_ErrorNumber error = ::ckxDataPak_errPackageCorrupt;
    other->ErrorNumber(&error);
    EXPECT_EQ(error, ::ckxDataPak_errNoError);
    UniqueBstr otherTitle;
    other->get_Title(otherTitle.Put());
    EXPECT_EQ(Text(otherTitle.Get()), L"T");

    // Refusals: the error number tells why, the object keeps its content.
    auto tooSmall = MakeBytes(Bytes(expected.begin(), expected.begin() + 13));
    array = tooSmall.Get();
    ASSERT_EQ(other->put_Package(&array), S_OK);
    other->ErrorNumber(&error);
    EXPECT_EQ(error, ::ckxDataPak_errPackageTooSmall);
    ASSERT_EQ(other->put_Package(nullptr), S_OK);
    other->ErrorNumber(&error);
    EXPECT_EQ(error, ::ckxDataPak_errPackageTooSmall);
    Bytes wrongType = expected;
    wrongType[3] = 0xE9;
    auto wrong = MakeBytes(wrongType);
    array = wrong.Get();
    ASSERT_EQ(other->put_Package(&array), S_OK);
    other->ErrorNumber(&error);
    EXPECT_EQ(error, ::ckxDataPak_errPackageTypeInvalid);
    LONG count = 0;
    other->Count(&count);
    EXPECT_EQ(count, 1);
    other->get_Title(otherTitle.Put());
    EXPECT_EQ(Text(otherTitle.Get()), L"T");
}

TEST_F(PakTest, PositionalMembers) {
    Append(L"a", L"1");
    Append(L"b", L"2");
    Append(L"c", L"3");
    UniqueBstr five(L"five");
    LONG index = 5;
    ASSERT_EQ(pak->put_Record(&index, five.InOut()), S_OK);
    EXPECT_EQ(index, 5);
    EXPECT_EQ(Count(), 6);
    EXPECT_EQ(RecordKey(4), L"");
    EXPECT_EQ(Error(), ::ckxDataPak_errNoError);

    index = 6;
    UniqueBstr record;
    ASSERT_EQ(pak->get_Record(&index, record.Put()), S_OK);
    EXPECT_EQ(Error(), ::ckxDataPak_errRecordNotFound);
    // Successful positional setters leave the error number alone.
    UniqueBstr key(L"B"), data(L"two");
    index = 1;
    ASSERT_EQ(pak->RecordEdit(key.InOut(), data.InOut(), &index), S_OK);
    EXPECT_EQ(Error(), ::ckxDataPak_errRecordNotFound);
    EXPECT_EQ(RecordKey(1), L"B");
    auto bytes = MakeBytes({72, 105});
    SAFEARRAY* array = bytes.Get();
    UniqueBstr first(L"first");
    index = 0;
    ASSERT_EQ(pak->RecordInsertB(first.InOut(), &array, &index), S_OK);
    ASSERT_EQ(pak->get_Record(&index, record.Put()), S_OK);
    EXPECT_EQ(Text(record.Get()), L"Hi");
    EXPECT_EQ(Error(), ::ckxDataPak_errNoError);
    EXPECT_EQ(Count(), 7);

    index = 1;
    ASSERT_EQ(pak->put_RecordKey(&index, first.InOut()), S_OK);
    EXPECT_EQ(FindKey(L"first"), 0);
    index = 0;
    ASSERT_EQ(pak->RecordDelete(&index), S_OK);
    EXPECT_EQ(RecordKey(0), L"first");
    index = -1;
    ASSERT_EQ(pak->RecordDelete(&index), S_OK);
    EXPECT_EQ(Error(), ::ckxDataPak_errRecordNotFound);
    EXPECT_EQ(Count(), 6);

    index = 2000000000;
    ASSERT_EQ(pak->put_RecordB(&index, &array), S_OK);
    EXPECT_EQ(Error(), ::ckxDataPak_errRecordNotFound);
    EXPECT_EQ(pak->get_Record(nullptr, record.Put()), E_POINTER);
}

TEST_F(PakTest, SearchByData) {
    Append(L"a", L"abc");
    auto bytes = MakeBytes({0x61, 0x62, 0x63});
    ASSERT_EQ(AppendB(L"b", bytes.Get()), S_OK);
    UniqueBstr upper(L"ABC"), lower(L"abc");
    LONG index = 0;
    ASSERT_EQ(pak->FindData(upper.InOut(), &index), S_OK);
    EXPECT_EQ(index, -1);
    EXPECT_EQ(Error(), ::ckxDataPak_errRecordNotFound);
    ASSERT_EQ(pak->FindData(lower.InOut(), &index), S_OK);
    EXPECT_EQ(index, 0);
    SAFEARRAY* array = bytes.Get();
    ASSERT_EQ(pak->FindDataB(&array, &index), S_OK);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(Error(), ::ckxDataPak_errNoError);
}

TEST_F(PakTest, TextUsesTheAnsiCodePage) {
    // U+4E00 exists in no single-byte code page and has no look-alike.
    UniqueBstr k(L"k"), cjk(L"a\x4E00" L"b");
    ASSERT_EQ(pak->put_Data(k.InOut(), cjk.InOut()), S_OK);
    EXPECT_EQ(DataB(L"k"), (Bytes{0x61, 0x3F, 0x62}));
    if (GetACP() == 1252) {
        UniqueBstr euro(L"\x20AC");
        ASSERT_EQ(pak->put_Data(k.InOut(), euro.InOut()), S_OK);
        EXPECT_EQ(DataB(L"k"), (Bytes{0x80}));
        auto high = MakeBytes({0x80, 0xE9});
        SAFEARRAY* array = high.Get();
        ASSERT_EQ(pak->put_DataB(k.InOut(), &array), S_OK);
        EXPECT_EQ(Data(L"k"), L"\x20AC\x00E9");
    }
}

// A fault is a failure status with error information; the object and its
// error number stay as they were.
TEST_F(PakTest, OutOfMemoryIsAFailureStatusWithADescription) {
    Append(L"k", L"v");
    Refuse();
    ComPtr<ISupportErrorInfo> support = pak.Query<ISupportErrorInfo>(IID_ISupportErrorInfo);
    ASSERT_TRUE(support);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID__ckxDataPak), S_OK);

    LONG index = 1999999999;
    auto bytes = MakeBytes({1});
    SAFEARRAY* array = bytes.Get();
    EXPECT_EQ(pak->put_RecordB(&index, &array), E_OUTOFMEMORY);
    ComPtr<IErrorInfo> info;
    ASSERT_EQ(GetErrorInfo(0, info.Put()), S_OK);
    UniqueBstr description, source;
    info->GetDescription(description.Put());
    info->GetSource(source.Put());
    EXPECT_NE(Text(description.Get()).find(L"RecordB"), std::wstring::npos) << Text(description.Get());
    EXPECT_NE(Text(description.Get()).find(L"memory"), std::wstring::npos) << Text(description.Get());
    EXPECT_EQ(Text(source.Get()), L"Sorbel.ckxDataPak");
    EXPECT_EQ(Error(), ::ckxDataPak_errRecordNotFound);
    EXPECT_EQ(Count(), 1);

    // A success afterwards leaves no stale error information behind.
    LONG typeId = 0;
    ASSERT_EQ(pak->TypeID(&typeId), S_OK);
    EXPECT_EQ(GetErrorInfo(0, info.Put()), S_FALSE);

    EXPECT_EQ(pak->TypeID(nullptr), E_POINTER);
    EXPECT_EQ(pak->get_Package(nullptr), E_POINTER);
}

// The same members by name through IDispatch, as script clients call them.
TEST_F(PakTest, LateBoundCallsReachTheSameMembers) {
    ComPtr<IDispatch> dispatch = pak.Query<IDispatch>(IID_IDispatch);
    ASSERT_TRUE(dispatch);
    auto id = [&](const wchar_t* name) {
        DISPID dispid = DISPID_UNKNOWN;
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &dispid), S_OK) << name;
        return dispid;
    };
    // Data("k") = "v": property put with the key and the named value.
    VARIANT args[2];
    VariantInit(&args[0]);
    VariantInit(&args[1]);
    args[0].vt = VT_BSTR;  // the value comes first (arguments are in reverse)
    args[0].bstrVal = SysAllocString(L"v");
    args[1].vt = VT_BSTR;
    args[1].bstrVal = SysAllocString(L"k");
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS params{args, &put, 2, 1};
    ASSERT_EQ(dispatch->Invoke(id(L"Data"), IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params,
                               nullptr, nullptr, nullptr),
              S_OK);
    EXPECT_EQ(Data(L"k"), L"v");

    // x = Data("k")
    VARIANT result;
    VariantInit(&result);
    DISPPARAMS getParams{&args[1], nullptr, 1, 0};
    ASSERT_EQ(dispatch->Invoke(id(L"Data"), IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &getParams,
                               &result, nullptr, nullptr),
              S_OK);
    EXPECT_EQ(result.vt, VT_BSTR);
    EXPECT_EQ(Text(result.bstrVal), L"v");
    VariantClear(&result);

    // RecordB(1999999999) = bytes: the fault arrives as DISP_E_EXCEPTION.
    auto bytes = MakeBytes({1});
    VARIANT faultArgs[2];
    faultArgs[0].vt = VT_ARRAY | VT_UI1;
    faultArgs[0].parray = bytes.Get();
    faultArgs[1].vt = VT_I4;
    faultArgs[1].lVal = 1999999999;
    DISPPARAMS faultParams{faultArgs, &put, 2, 1};
    EXCEPINFO exception{};
    EXPECT_EQ(dispatch->Invoke(id(L"RecordB"), IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT,
                               &faultParams, nullptr, &exception, nullptr),
              DISP_E_EXCEPTION);
    const UniqueBstr description(exception.bstrDescription), source(exception.bstrSource),
        helpFile(exception.bstrHelpFile);
    EXPECT_EQ(exception.scode, E_OUTOFMEMORY);
    EXPECT_NE(description.Text().find(L"RecordB"), std::wstring::npos);
    VariantClear(&args[0]);
    VariantClear(&args[1]);
    EXPECT_EQ(Count(), 1);
}

// Run by com.client.dbcs with a double-byte system code page (Shift-JIS):
// a character that needs two bytes cannot become one record byte, which is
// an overflow fault; decoding still gives one character per byte.
class DoubleByteCodePage : public PakTest {};

TEST_F(DoubleByteCodePage, ACharacterOfTwoBytesIsAnOverflowFault) {
    CPINFO codePage{};
    ASSERT_TRUE(GetCPInfo(CP_ACP, &codePage));
    ASSERT_EQ(codePage.MaxCharSize, 2u) << "needs a double-byte system code page, not " << GetACP();
    Append(L"k", L"abc");
    Refuse();

    UniqueBstr k(L"k"), kanji(L"a\x65E5" L"b");
    EXPECT_EQ(pak->Edit(k.InOut(), kanji.InOut()), DISP_E_OVERFLOW);
    ComPtr<IErrorInfo> info;
    ASSERT_EQ(GetErrorInfo(0, info.Put()), S_OK);
    UniqueBstr description;
    info->GetDescription(description.Put());
    EXPECT_NE(Text(description.Get()).find(L"Edit"), std::wstring::npos) << Text(description.Get());
    EXPECT_NE(Text(description.Get()).find(L"Overflow"), std::wstring::npos) << Text(description.Get());
    EXPECT_EQ(Error(), ::ckxDataPak_errRecordNotFound);
    EXPECT_EQ(Data(L"k"), L"abc");

    // The package writes the title with the same rule.
    ASSERT_EQ(pak->put_Title(kanji.Get()), S_OK);
    SAFEARRAY* package = reinterpret_cast<SAFEARRAY*>(1);
    EXPECT_EQ(pak->get_Package(&package), DISP_E_OVERFLOW);
    EXPECT_EQ(package, nullptr);

    // 0x93 0xFA is one Shift-JIS character; as record bytes it is two.
    auto bytes = MakeBytes({0x93, 0xFA});
    SAFEARRAY* array = bytes.Get();
    ASSERT_EQ(pak->put_DataB(k.InOut(), &array), S_OK);
    EXPECT_EQ(Data(L"k").size(), 2u);
    EXPECT_EQ(Error(), ::ckxDataPak_errNoError);
}

// The module may unload only when no object and no lock is outstanding.
TEST(Module, DllCanUnloadNowCountsObjectsAndLocks) {
    HMODULE module = LoadLibraryW(DllPath().c_str());
    ASSERT_NE(module, nullptr);
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    using CanUnloadNow = HRESULT(STDAPICALLTYPE*)();
    auto getClassObject = reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    auto canUnloadNow = reinterpret_cast<CanUnloadNow>(reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
    ASSERT_NE(getClassObject, nullptr);
    ASSERT_NE(canUnloadNow, nullptr);

    ComPtr<IClassFactory> factory;
    EXPECT_EQ(getClassObject(IID__ckxDataPak, IID_IClassFactory, factory.PutVoid()), CLASS_E_CLASSNOTAVAILABLE);
    ASSERT_EQ(getClassObject(CLSID_ckxDataPak, IID_IClassFactory, factory.PutVoid()), S_OK);
    EXPECT_EQ(canUnloadNow(), S_OK) << "no object from earlier tests may be left alive";

    ComPtr<_ckxDataPak> object;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID__ckxDataPak, object.PutVoid()), S_OK);
    ComPtr<IUnknown> outer(object.Get());
    ComPtr<IUnknown> aggregate;
    EXPECT_EQ(factory->CreateInstance(outer.Get(), IID_IUnknown, aggregate.PutVoid()), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    ComPtr<IDispatch> dispatch = object.Query<IDispatch>(IID_IDispatch);
    ComPtr<ITypeInfo> typeInfo;
    ASSERT_EQ(dispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, typeInfo.Put()), S_OK);
    object.Reset();
    outer.Reset();
    EXPECT_EQ(canUnloadNow(), S_FALSE) << "the IDispatch reference keeps the object";
    dispatch.Reset();
    EXPECT_EQ(canUnloadNow(), S_OK);

    ASSERT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    ASSERT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(canUnloadNow(), S_OK);
    factory.Reset();
    typeInfo.Reset();
    FreeLibrary(module);
}

}  // namespace
}  // namespace sorbel::com::test
