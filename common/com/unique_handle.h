// Owned Win32 and Automation resources: one move-only template, one alias per
// kind of resource, so that everything the servers and the viewer allocate is
// freed exactly once, on every path.
//
//   UniqueBstr            BSTR                 SysFreeString
//   UniqueSafeArray       SAFEARRAY*           SafeArrayDestroy
//   UniqueSafeArrayLock   a SafeArrayLock      SafeArrayUnlock   (LockSafeArray)
//   UniqueHkey            HKEY                 RegCloseKey
//   UniqueFont, UniqueBitmap, UniqueBrush, UniquePen, UniqueRegion
//                         GDI objects          DeleteObject
//   UniqueEnhMetaFile     HENHMETAFILE         DeleteEnhMetaFile
//   UniqueAccel           HACCEL               DestroyAcceleratorTable
//   UniqueDc              a created HDC        DeleteDC
//   UniqueScreenDc        GetDC(nullptr)       ReleaseDC
//   SelectedObject        SelectObject         the previous object selected again
//   SavedDc               SaveDC               RestoreDC
//
// Put() frees the current value before it hands out the address for an
// [out] parameter; InOut() hands out the address as it is, for an [in, out]
// parameter that the callee may replace; Detach() gives the value away.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <new>
#include <string>
#include <string_view>
#include <utility>

namespace common::com {

// Traits: `Handle`, a value type whose Handle{} means "none", and
// `static void Close(Handle) noexcept`.
template <class Traits>
class UniqueHandle {
public:
    using Handle = typename Traits::Handle;

    UniqueHandle() = default;
    explicit UniqueHandle(Handle h) : h_(h) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : h_(std::exchange(other.h_, Handle{})) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) Reset(std::exchange(other.h_, Handle{}));
        return *this;
    }
    ~UniqueHandle() { Reset(); }

    Handle Get() const { return h_; }
    explicit operator bool() const { return !(h_ == Handle{}); }
    Handle* Put() {
        Reset();
        return &h_;
    }
    Handle* InOut() { return &h_; }
    [[nodiscard]] Handle Detach() { return std::exchange(h_, Handle{}); }
    void Reset(Handle h = Handle{}) {
        const Handle old = std::exchange(h_, h);
        if (!(old == Handle{})) Traits::Close(old);
    }

private:
    Handle h_{};
};

struct BstrTraits {
    using Handle = BSTR;
    static void Close(BSTR b) noexcept { SysFreeString(b); }
};
struct SafeArrayTraits {
    using Handle = SAFEARRAY*;
    static void Close(SAFEARRAY* a) noexcept { SafeArrayDestroy(a); }
};
struct SafeArrayLockTraits {
    using Handle = SAFEARRAY*;
    static void Close(SAFEARRAY* a) noexcept { SafeArrayUnlock(a); }
};
struct HkeyTraits {
    using Handle = HKEY;
    static void Close(HKEY key) noexcept { RegCloseKey(key); }
};
template <class H>
struct GdiObjectTraits {
    using Handle = H;
    static void Close(H object) noexcept { DeleteObject(object); }
};
struct EnhMetaFileTraits {
    using Handle = HENHMETAFILE;
    static void Close(HENHMETAFILE metafile) noexcept { DeleteEnhMetaFile(metafile); }
};
struct AccelTraits {
    using Handle = HACCEL;
    static void Close(HACCEL table) noexcept { DestroyAcceleratorTable(table); }
};
struct DcTraits {
    using Handle = HDC;
    static void Close(HDC dc) noexcept { DeleteDC(dc); }
};
struct ScreenDcTraits {
    using Handle = HDC;
    static void Close(HDC dc) noexcept { ReleaseDC(nullptr, dc); }
};
// The context and the object that was selected in it before.
struct Selection {
    HDC dc = nullptr;
    HGDIOBJ previous = nullptr;
    bool operator==(const Selection&) const = default;
};
struct SelectionTraits {
    using Handle = Selection;
    static void Close(Selection s) noexcept { SelectObject(s.dc, s.previous); }
};
struct SavedState {
    HDC dc = nullptr;
    int id = 0;
    bool operator==(const SavedState&) const = default;
};
struct SavedDcTraits {
    using Handle = SavedState;
    static void Close(SavedState s) noexcept { RestoreDC(s.dc, s.id); }
};

using UniqueSafeArray = UniqueHandle<SafeArrayTraits>;
using UniqueSafeArrayLock = UniqueHandle<SafeArrayLockTraits>;
using UniqueHkey = UniqueHandle<HkeyTraits>;
using UniqueFont = UniqueHandle<GdiObjectTraits<HFONT>>;
using UniqueBitmap = UniqueHandle<GdiObjectTraits<HBITMAP>>;
using UniqueBrush = UniqueHandle<GdiObjectTraits<HBRUSH>>;
using UniquePen = UniqueHandle<GdiObjectTraits<HPEN>>;
using UniqueRegion = UniqueHandle<GdiObjectTraits<HRGN>>;
using UniqueEnhMetaFile = UniqueHandle<EnhMetaFileTraits>;
using UniqueAccel = UniqueHandle<AccelTraits>;
using UniqueDc = UniqueHandle<DcTraits>;
using UniqueScreenDc = UniqueHandle<ScreenDcTraits>;

// A BSTR, made from text or adopted.
class UniqueBstr : public UniqueHandle<BstrTraits> {
public:
    using UniqueHandle::UniqueHandle;
    // A copy of `text`. Throws std::bad_alloc.
    explicit UniqueBstr(std::wstring_view text)
        : UniqueHandle(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {
        if (!Get()) throw std::bad_alloc();
    }
    // A string literal is text to copy, never a BSTR to adopt.
    template <size_t N>
    explicit UniqueBstr(const wchar_t (&text)[N]) : UniqueBstr(std::wstring_view(text, N - 1)) {}
    UINT Length() const { return SysStringLen(Get()); }
    std::wstring Text() const { return Get() ? std::wstring(Get(), Length()) : std::wstring(); }
};

// The array's data locked (pvData stable) while the result lives; empty when
// the array is null or cannot be locked.
inline UniqueSafeArrayLock LockSafeArray(SAFEARRAY* array) {
    if (!array || FAILED(SafeArrayLock(array))) return {};
    return UniqueSafeArrayLock(array);
}

// For an [in, out] SAFEARRAY parameter: destroys the caller's array and moves `fresh` into
// its place. A locked array cannot be destroyed: the failure status is returned and both
// arrays stay as they were.
inline HRESULT ReplaceSafeArray(SAFEARRAY** slot, UniqueSafeArray& fresh) {
    if (*slot) {
        const HRESULT hr = SafeArrayDestroy(*slot);
        if (FAILED(hr)) return hr;
    }
    *slot = fresh.Detach();
    return S_OK;
}

// `object` selected into `dc` for this scope; nothing when `object` is null.
class SelectedObject : public UniqueHandle<SelectionTraits> {
public:
    SelectedObject(HDC dc, HGDIOBJ object) : UniqueHandle(Select(dc, object)) {}

private:
    static Selection Select(HDC dc, HGDIOBJ object) {
        HGDIOBJ previous = object ? SelectObject(dc, object) : nullptr;
        return previous ? Selection{dc, previous} : Selection{};
    }
};

// The context's state (mapping, clipping, colours) restored on leaving.
class SavedDc : public UniqueHandle<SavedDcTraits> {
public:
    explicit SavedDc(HDC dc) : UniqueHandle(Save(dc)) {}

private:
    static SavedState Save(HDC dc) {
        const int id = SaveDC(dc);
        return id ? SavedState{dc, id} : SavedState{};
    }
};

}  // namespace common::com
