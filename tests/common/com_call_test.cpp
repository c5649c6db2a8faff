// The fault boundary and the owned handles of common/com: the one exception-to-HRESULT
// mapping with the error information it publishes, and the ownership rules of UniqueHandle.
#include "com_call.h"
#include "com_ptr.h"
#include "unique_handle.h"

#include <gtest/gtest.h>
#include <objbase.h>

#include <new>
#include <stdexcept>
#include <string>

namespace common::com {
namespace {

const IID kSomeInterface = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0, 0, 0, 0, 0, 0x01}};
constexpr ErrorSource kSource{&kSomeInterface, L"Lib.Thing", L"Thing"};

class ComCallTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))); }
    void TearDown() override { CoUninitialize(); }

    // The error information left on the thread: source and description, empty when none.
    static std::pair<std::wstring, std::wstring> LeftInfo() {
        ComPtr<IErrorInfo> info;
        if (GetErrorInfo(0, info.Put()) != S_OK) return {};
        UniqueBstr source, description;
        GUID guid{};
        info->GetSource(source.Put());
        info->GetDescription(description.Put());
        info->GetGUID(&guid);
        EXPECT_TRUE(IsEqualGUID(guid, kSomeInterface));
        return {source.Text(), description.Text()};
    }
};

TEST_F(ComCallTest, EachKindOfExceptionHasItsStatusAndADescriptionNamingTheMember) {
    struct Case {
        HRESULT status;
        void (*raise)();
        const wchar_t* description;
    };
    const Case cases[] = {
        {E_POINTER, [] { throw ComError(E_POINTER, L"No place."); }, L"Thing.Get: No place."},
        {E_OUTOFMEMORY, [] { throw std::bad_alloc(); }, L"Thing.Get: Out of memory."},
        {E_OUTOFMEMORY, [] { throw std::length_error("vector"); },
         L"Thing.Get: Out of memory (the request exceeds the largest possible size)."},
        {DISP_E_OVERFLOW, [] { throw std::overflow_error("sum"); }, L"Thing.Get: Overflow: sum"},
        {E_FAIL, [] { throw std::runtime_error("odd"); }, L"Thing.Get: Unexpected failure: odd"},
        {E_UNEXPECTED, [] { throw 7; }, L"Thing.Get: Unexpected failure."},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ComCall(kSource, L"Get", c.raise), c.status) << c.description;
        const auto [source, description] = LeftInfo();
        EXPECT_EQ(source, L"Lib.Thing");
        EXPECT_EQ(description, c.description);
    }
}

TEST_F(ComCallTest, ASuccessClearsStaleInformationAndABodysOwnStatusPassesThrough) {
    EXPECT_EQ(ComCall(kSource, L"Get", [] { throw std::bad_alloc(); }), E_OUTOFMEMORY);
    EXPECT_EQ(ComCall(kSource, L"Get", [] { return S_FALSE; }), S_FALSE);
    EXPECT_EQ(LeftInfo().second, L"");
    EXPECT_EQ(ComCall(kSource, L"Get", [] { throw std::bad_alloc(); }), E_OUTOFMEMORY);
    EXPECT_EQ(ComCall(kSource, L"Get", [] {}), S_OK);
    EXPECT_EQ(LeftInfo().second, L"");

    long* none = nullptr;
    EXPECT_EQ(ComCall(kSource, L"Count", [&] { *RequireOut(none) = 1; }), E_POINTER);
}

int g_closed = 0;
struct CountingTraits {
    using Handle = int;
    static void Close(int) noexcept { ++g_closed; }
};

TEST(UniqueHandleTest, EveryValueIsClosedExactlyOnceUnlessDetached) {
    g_closed = 0;
    {
        UniqueHandle<CountingTraits> a(1);
        *a.Put() = 2;  // closes 1 first
        EXPECT_EQ(g_closed, 1);
        UniqueHandle<CountingTraits> b(std::move(a));
        EXPECT_FALSE(a);
        EXPECT_EQ(b.Get(), 2);
        UniqueHandle<CountingTraits> c(3);
        c = std::move(b);  // closes 3
        EXPECT_EQ(g_closed, 2);
        UniqueHandle<CountingTraits> d(4);
        EXPECT_EQ(d.Detach(), 4);
    }
    EXPECT_EQ(g_closed, 3);  // 2, through c; 4 was given away
}

TEST(UniqueHandleTest, BstrFromTextAndALockedArrayCannotBeDestroyed) {
    const UniqueBstr text(L"a\0b");
    EXPECT_EQ(text.Length(), 3u);
    EXPECT_EQ(text.Text(), std::wstring(L"a\0b", 3));

    UniqueSafeArray array(SafeArrayCreateVector(VT_UI1, 0, 4));
    ASSERT_TRUE(array);
    // Destroyed by hand on purpose: refused while the lock lives, accepted once it is gone.
    {
        const UniqueSafeArrayLock lock = LockSafeArray(array.Get());
        ASSERT_TRUE(lock);
        EXPECT_EQ(SafeArrayDestroy(array.Get()), DISP_E_ARRAYISLOCKED);
    }
    EXPECT_EQ(SafeArrayDestroy(array.Detach()), S_OK);
    EXPECT_FALSE(LockSafeArray(nullptr));
}

}  // namespace
}  // namespace common::com
