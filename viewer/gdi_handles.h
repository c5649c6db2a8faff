// Owned GDI and enhanced-metafile handles: one move-only template, one alias per kind of
// handle, so that every object the view and the renderer create is released exactly once.
// Device contexts made with CreateDC/CreateCompatibleDC are `OwnedDc` (com_util.h); COM
// interfaces are `ComPtr`.
//
// SelectedObject selects an object into a context and puts the previous one back when it
// goes out of scope (an object must not be deleted while it is selected).
#pragma once

#include <windows.h>

#include <utility>

namespace viewer {

template <class H, BOOL(WINAPI* Close)(H)>
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(H h) : h_(h) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : h_(std::exchange(other.h_, nullptr)) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) Reset(std::exchange(other.h_, nullptr));
        return *this;
    }
    ~UniqueHandle() { Reset(); }

    H Get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }
    void Reset(H h = nullptr) {
        if (h_) Close(h_);
        h_ = h;
    }
    [[nodiscard]] H Detach() { return std::exchange(h_, nullptr); }

private:
    H h_ = nullptr;
};

inline BOOL WINAPI DeleteGdiObject(HGDIOBJ object) { return DeleteObject(object); }
inline BOOL WINAPI DeleteFontObject(HFONT object) { return DeleteObject(object); }
inline BOOL WINAPI DeleteBitmapObject(HBITMAP object) { return DeleteObject(object); }
inline BOOL WINAPI DeleteBrushObject(HBRUSH object) { return DeleteObject(object); }
inline BOOL WINAPI DeletePenObject(HPEN object) { return DeleteObject(object); }
inline BOOL WINAPI DeleteRegionObject(HRGN object) { return DeleteObject(object); }

using UniqueFont = UniqueHandle<HFONT, DeleteFontObject>;
using UniqueBitmap = UniqueHandle<HBITMAP, DeleteBitmapObject>;
using UniqueBrush = UniqueHandle<HBRUSH, DeleteBrushObject>;
using UniquePen = UniqueHandle<HPEN, DeletePenObject>;
using UniqueRegion = UniqueHandle<HRGN, DeleteRegionObject>;
using UniqueEnhMetaFile = UniqueHandle<HENHMETAFILE, DeleteEnhMetaFile>;

class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), old_(object ? SelectObject(dc, object) : nullptr) {}
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;
    ~SelectedObject() {
        if (old_) SelectObject(dc_, old_);
    }

private:
    HDC dc_;
    HGDIOBJ old_;
};

// Saves the context's state (mapping, clipping, colours) and restores it on leaving.
class SavedDc {
public:
    explicit SavedDc(HDC dc) : dc_(dc), id_(SaveDC(dc)) {}
    SavedDc(const SavedDc&) = delete;
    SavedDc& operator=(const SavedDc&) = delete;
    ~SavedDc() {
        if (id_) RestoreDC(dc_, id_);
    }

private:
    HDC dc_;
    int id_;
};

}  // namespace viewer
