// The type library embedded in Sorbel.dll, read back with LoadTypeLibEx on
// the DLL path: the interface's 38 members in vtable order with their kinds,
// names, parameter names, types and by-reference flags, the coclass, the
// error-number enumeration, and the version resource beside it.
// (ITypeInfo::GetNames can only name the parameters of the first function
// with a member id, so the let half of a property whose get comes first is
// checked by kind, types and flags, not by parameter name.)
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "com_test_support.h"

namespace sorbel::com::test {
namespace {

enum class Type { None, StringRef, StringValue, BytesRef, LongRef, ErrorEnum };

struct Param {
    const wchar_t* name;
    Type type;
};

struct Member {
    const wchar_t* name;
    INVOKEKIND kind;
    std::vector<Param> params;
    Type result;
};

constexpr INVOKEKIND kMethod = INVOKE_FUNC;
constexpr INVOKEKIND kGet = INVOKE_PROPERTYGET;
constexpr INVOKEKIND kLet = INVOKE_PROPERTYPUT;
constexpr Type S = Type::StringRef, B = Type::BytesRef, L = Type::LongRef;

const std::vector<Member>& ExpectedMembers() {
    static const std::vector<Member> members = {
        {L"TypeID", kMethod, {}, L},
        {L"Title", kGet, {}, S},
        {L"Title", kLet, {{L"pTitle", Type::StringValue}}, Type::None},
        {L"Count", kMethod, {}, L},
        {L"Append", kMethod, {{L"pKey", S}, {L"pData", S}}, Type::None},
        {L"Delete", kMethod, {{L"pKey", S}}, Type::None},
        {L"FindKey", kMethod, {{L"pKey", S}}, L},
        {L"Insert", kMethod, {{L"pKey", S}, {L"pData", S}, {L"pKeyBefore", S}}, Type::None},
        {L"Zap", kMethod, {}, Type::None},
        {L"Category", kGet, {}, S},
        {L"Category", kLet, {{L"pCategory", Type::StringValue}}, Type::None},
        {L"Length", kMethod, {{L"pKey", S}}, L},
        {L"Edit", kMethod, {{L"pKey", S}, {L"pData", S}}, Type::None},
        {L"Package", kLet, {{L"pPackage", B}}, Type::None},
        {L"Package", kGet, {}, B},
        {L"Size", kMethod, {}, L},
        {L"Clear", kMethod, {}, Type::None},
        {L"RecordB", kGet, {{L"pIndex", L}}, B},
        {L"RecordB", kLet, {{L"pIndex", L}, {L"pData", B}}, Type::None},
        {L"Record", kGet, {{L"pIndex", L}}, S},
        {L"Record", kLet, {{L"pIndex", L}, {L"pData", S}}, Type::None},
        {L"ErrorNumber", kMethod, {}, Type::ErrorEnum},
        {L"Data", kGet, {{L"pKey", S}}, S},
        {L"Data", kLet, {{L"pKey", S}, {L"pData", S}}, Type::None},
        {L"AppendB", kMethod, {{L"pKey", S}, {L"pData", B}}, Type::None},
        {L"EditB", kMethod, {{L"pKey", S}, {L"pData", B}}, Type::None},
        {L"InsertB", kMethod, {{L"pKey", S}, {L"pData", B}, {L"pKeyBefore", S}}, Type::None},
        {L"DataB", kGet, {{L"pKey", S}}, B},
        {L"DataB", kLet, {{L"pKey", S}, {L"pData", B}}, Type::None},
        {L"FindData", kMethod, {{L"pData", S}}, L},
        {L"FindDataB", kMethod, {{L"pData", B}}, L},
        {L"RecordKey", kGet, {{L"pIndex", L}}, S},
        {L"RecordKey", kLet, {{L"pIndex", L}, {L"pKey", S}}, Type::None},
        {L"RecordDelete", kMethod, {{L"pIndex", L}}, Type::None},
        {L"RecordEdit", kMethod, {{L"pKey", S}, {L"pData", S}, {L"pIndex", L}}, Type::None},
        {L"RecordEditB", kMethod, {{L"pKey", S}, {L"pData", B}, {L"pIndex", L}}, Type::None},
        {L"RecordInsert", kMethod, {{L"pKey", S}, {L"pData", S}, {L"pIndex", L}}, Type::None},
        {L"RecordInsertB", kMethod, {{L"pKey", S}, {L"pData", B}, {L"pIndex", L}}, Type::None},
    };
    return members;
}

std::wstring Text(BSTR b) { return b ? std::wstring(b, SysStringLen(b)) : std::wstring(); }

// The type a parameter description stands for, following one VT_PTR.
Type TypeOf(ITypeInfo* info, const TYPEDESC& desc, bool byRef) {
    if (!byRef) return desc.vt == VT_BSTR ? Type::StringValue : Type::None;
    if (desc.vt != VT_PTR) return Type::None;
    const TYPEDESC& target = *desc.lptdesc;
    switch (target.vt) {
    case VT_BSTR:
        return Type::StringRef;
    case VT_I4:
        return Type::LongRef;
    case VT_SAFEARRAY:
        return target.lptdesc->vt == VT_UI1 ? Type::BytesRef : Type::None;
    case VT_USERDEFINED: {
        ComPtr<ITypeInfo> enumInfo;
        if (FAILED(info->GetRefTypeInfo(target.hreftype, enumInfo.Put()))) return Type::None;
        UniqueBstr name;
        enumInfo->GetDocumentation(MEMBERID_NIL, name.Put(), nullptr, nullptr, nullptr);
        return Text(name.Get()) == L"ckxDataPak_ErrorNumber" ? Type::ErrorEnum : Type::None;
    }
    default:
        return Type::None;
    }
}

class TypeLibraryTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(LoadTypeLibEx(DllPath().c_str(), REGKIND_NONE, library.Put()), S_OK);
    }
    ComPtr<ITypeInfo> InfoOf(REFGUID guid) {
        ComPtr<ITypeInfo> info;
        EXPECT_EQ(library->GetTypeInfoOfGuid(guid, info.Put()), S_OK);
        return info;
    }
    ComPtr<ITypeLib> library;
};

TEST_F(TypeLibraryTest, LibraryIsSorbelVersion1Locale409) {
    TLIBATTR* attributes = nullptr;
    ASSERT_EQ(library->GetLibAttr(&attributes), S_OK);
    EXPECT_TRUE(IsEqualGUID(attributes->guid, LIBID_Sorbel));
    EXPECT_EQ(attributes->wMajorVerNum, 1);
    EXPECT_EQ(attributes->wMinorVerNum, 0);
    EXPECT_EQ(attributes->lcid, 0x409u);
    library->ReleaseTLibAttr(attributes);
    UniqueBstr name;
    ASSERT_EQ(library->GetDocumentation(-1, name.Put(), nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(Text(name.Get()), L"Sorbel");
}

TEST_F(TypeLibraryTest, ClassIsCreatableWithDefaultInterface) {
    auto coclass = InfoOf(CLSID_ckxDataPak);
    ASSERT_TRUE(coclass);
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(coclass->GetTypeAttr(&attributes), S_OK);
    EXPECT_EQ(attributes->typekind, TKIND_COCLASS);
    EXPECT_TRUE(attributes->wTypeFlags & TYPEFLAG_FCANCREATE);
    EXPECT_EQ(attributes->cImplTypes, 1);
    coclass->ReleaseTypeAttr(attributes);
    INT flags = 0;
    ASSERT_EQ(coclass->GetImplTypeFlags(0, &flags), S_OK);
    EXPECT_TRUE(flags & IMPLTYPEFLAG_FDEFAULT);
    EXPECT_FALSE(flags & IMPLTYPEFLAG_FSOURCE) << "no event interface";
    HREFTYPE ref = 0;
    ASSERT_EQ(coclass->GetRefTypeOfImplType(0, &ref), S_OK);
    ComPtr<ITypeInfo> interfaceInfo;
    ASSERT_EQ(coclass->GetRefTypeInfo(ref, interfaceInfo.Put()), S_OK);
    UniqueBstr name;
    interfaceInfo->GetDocumentation(MEMBERID_NIL, name.Put(), nullptr, nullptr, nullptr);
    EXPECT_EQ(Text(name.Get()), L"_ckxDataPak");
}

TEST_F(TypeLibraryTest, InterfaceListsThe38MembersInOrder) {
    auto dispatchInfo = InfoOf(IID__ckxDataPak);
    ASSERT_TRUE(dispatchInfo);
    // The dual interface's vtable half.
    HREFTYPE ref = 0;
    ASSERT_EQ(dispatchInfo->GetRefTypeOfImplType(-1, &ref), S_OK);
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(dispatchInfo->GetRefTypeInfo(ref, info.Put()), S_OK);
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
    EXPECT_EQ(attributes->typekind, TKIND_INTERFACE);
    const WORD required = TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION;
    EXPECT_EQ(attributes->wTypeFlags & required, required);
    const auto& expected = ExpectedMembers();
    ASSERT_EQ(static_cast<size_t>(attributes->cFuncs), expected.size());
    info->ReleaseTypeAttr(attributes);
    ComPtr<ITypeInfo2> info2 = info.Query<ITypeInfo2>(IID_ITypeInfo2);
    ASSERT_TRUE(info2);
    std::set<MEMBERID> seen;

    for (UINT i = 0; i < expected.size(); ++i) {
        const Member& member = expected[i];
        SCOPED_TRACE(testing::Message() << "member " << i + 1);
        FUNCDESC* func = nullptr;
        ASSERT_EQ(info->GetFuncDesc(i, &func), S_OK);
        // The seven IUnknown and IDispatch entries come first.
        EXPECT_EQ(func->oVft, static_cast<SHORT>((7 + i) * sizeof(void*)));
        EXPECT_EQ(func->invkind, member.kind);
        EXPECT_EQ(func->elemdescFunc.tdesc.vt, VT_HRESULT);
        UniqueBstr name;
        info->GetDocumentation(func->memid, name.Put(), nullptr, nullptr, nullptr);
        EXPECT_EQ(Text(name.Get()), member.name);
        UINT index = 99;
        ASSERT_EQ(info2->GetFuncIndexOfMemId(func->memid, func->invkind, &index), S_OK);
        EXPECT_EQ(index, i) << "one function per name and kind";

        // GetNames describes the first function with a member id: the get
        // half of most properties, the let half of Package. For a let it
        // leaves out the last parameter, the assigned value.
        if (seen.insert(func->memid).second) {
            BSTR names[8] = {};
            UINT count = 0;
            ASSERT_EQ(info->GetNames(func->memid, names, 8, &count), S_OK);
            const std::vector<UniqueBstr> owned(names, names + count);
            const size_t named = member.params.size() - (member.kind == kLet ? 1 : 0);
            ASSERT_GE(count, 1 + named);
            for (size_t p = 0; p < named; ++p) {
                EXPECT_EQ(Text(names[p + 1]), member.params[p].name) << "parameter " << p;
            }
        }

        const size_t withResult = member.params.size() + (member.result != Type::None ? 1 : 0);
        ASSERT_EQ(static_cast<size_t>(func->cParams), withResult);
        for (size_t p = 0; p < member.params.size(); ++p) {
            const ELEMDESC& param = func->lprgelemdescParam[p];
            const USHORT flags = param.paramdesc.wParamFlags;
            const bool byValue = member.params[p].type == Type::StringValue;
            if (byValue) {
                EXPECT_EQ(flags & (PARAMFLAG_FIN | PARAMFLAG_FOUT), PARAMFLAG_FIN) << "parameter " << p;
            } else {
                EXPECT_EQ(flags & (PARAMFLAG_FIN | PARAMFLAG_FOUT), PARAMFLAG_FIN | PARAMFLAG_FOUT)
                    << "parameter " << p;
            }
            EXPECT_EQ(TypeOf(info.Get(), param.tdesc, !byValue), member.params[p].type) << "parameter " << p;
        }
        if (member.result != Type::None) {
            const ELEMDESC& result = func->lprgelemdescParam[member.params.size()];
            EXPECT_EQ(result.paramdesc.wParamFlags & (PARAMFLAG_FOUT | PARAMFLAG_FRETVAL),
                      PARAMFLAG_FOUT | PARAMFLAG_FRETVAL);
            EXPECT_EQ(TypeOf(info.Get(), result.tdesc, true), member.result);
        }
        info->ReleaseFuncDesc(func);
    }
}

TEST_F(TypeLibraryTest, ErrorNumberEnumerationHasTheTenValues) {
    ComPtr<ITypeInfo> info;
    for (UINT i = 0; i < library->GetTypeInfoCount(); ++i) {
        TYPEKIND kind;
        if (SUCCEEDED(library->GetTypeInfoType(i, &kind)) && kind == TKIND_ENUM) {
            ASSERT_EQ(library->GetTypeInfo(i, info.Put()), S_OK);
        }
    }
    ASSERT_TRUE(info);
    UniqueBstr typeName;
    info->GetDocumentation(MEMBERID_NIL, typeName.Put(), nullptr, nullptr, nullptr);
    EXPECT_EQ(Text(typeName.Get()), L"ckxDataPak_ErrorNumber");
    const std::vector<std::pair<std::wstring, LONG>> expected = {
        {L"ckxDataPak_errNoError", 0},           {L"ckxDataPak_errDatabaseFull", -1},
        {L"ckxDataPak_errKeyTooLong", -2},       {L"ckxDataPak_errDataTooLong", -3},
        {L"ckxDataPak_errRecordNotFound", -4},   {L"ckxDataPak_errPackageTooSmall", -100},
        {L"ckxDataPak_errPackageTypeInvalid", -110}, {L"ckxDataPak_errPackageSizeInvalid", -120},
        {L"ckxDataPak_errPackageImcomplete", -130},  {L"ckxDataPak_errPackageCorrupt", -140},
    };
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
    ASSERT_EQ(static_cast<size_t>(attributes->cVars), expected.size());
    info->ReleaseTypeAttr(attributes);
    for (UINT i = 0; i < expected.size(); ++i) {
        VARDESC* var = nullptr;
        ASSERT_EQ(info->GetVarDesc(i, &var), S_OK);
        UniqueBstr name;
        info->GetDocumentation(var->memid, name.Put(), nullptr, nullptr, nullptr);
        EXPECT_EQ(Text(name.Get()), expected[i].first);
        ASSERT_EQ(var->varkind, VAR_CONST);
        VARIANT value;
        VariantInit(&value);
        ASSERT_EQ(VariantChangeType(&value, var->lpvarValue, 0, VT_I4), S_OK);
        EXPECT_EQ(value.lVal, expected[i].second) << Text(name.Get()).c_str();
        info->ReleaseVarDesc(var);
    }
}

std::wstring VersionString(const std::vector<BYTE>& block, const wchar_t* name) {
    wchar_t path[128];
    swprintf(path, 128, L"\\StringFileInfo\\040904B0\\%ls", name);
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), path, &value, &length)) return L"<missing>";
    return std::wstring(static_cast<const wchar_t*>(value));
}

TEST(VersionResource, MarksTheFileSelfRegisteringVersion1) {
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(DllPath().c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(DllPath().c_str(), 0, size, block.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(VersionString(block, L"FileVersion"), L"1.00");
    EXPECT_EQ(VersionString(block, L"ProductVersion"), L"1.00");
    const wchar_t* description = L"Data encapsulation object useful for binary storage and network transmission.";
    EXPECT_EQ(VersionString(block, L"FileDescription"), description);
    EXPECT_EQ(VersionString(block, L"Comments"), description);
    EXPECT_EQ(VersionString(block, L"OLESelfRegister"), L"");
}

}  // namespace
}  // namespace sorbel::com::test
