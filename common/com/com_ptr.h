// The one COM interface pointer of the servers, the viewer and their clients.
//
// A ComPtr owns exactly one reference. Copying adds a reference, moving does
// not. Put() releases the current interface before it hands out the address
// for an out-parameter; Detach() gives the reference away.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <utility>

namespace common::com {

template <class T>
class ComPtr {
public:
    ComPtr() = default;
    // Takes a new reference to `p` (or adopts the caller's when addRef is false).
    explicit ComPtr(T* p, bool addRef = true) : p_(p) {
        if (p_ && addRef) p_->AddRef();
    }
    ComPtr(const ComPtr& other) : ComPtr(other.p_) {}
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(p_, other.p_);
        return *this;
    }
    ~ComPtr() { Reset(); }

    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    T** Put() {
        Reset();
        return &p_;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }
    [[nodiscard]] T* Detach() { return std::exchange(p_, nullptr); }
    void Reset() {
        if (T* p = std::exchange(p_, nullptr)) p->Release();
    }
    // Hands a new reference to an out-parameter (null stays null).
    void CopyTo(T** out) const {
        *out = p_;
        if (p_) p_->AddRef();
    }

    // The object's interface `iid`, or an empty pointer when it has none.
    template <class U>
    ComPtr<U> Query(REFIID iid) const {
        ComPtr<U> result;
        if (p_) p_->QueryInterface(iid, result.PutVoid());
        return result;
    }

private:
    T* p_ = nullptr;
};

}  // namespace common::com
