// Owning wrappers for the COM and Automation resources the server and its
// clients hand around: interface pointers, BSTRs and SAFEARRAYs.
//
// Each wrapper owns exactly one reference or allocation and frees it when it
// goes out of scope. Put() frees the current value before handing out the
// address for an out-parameter; Detach() gives the value away.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <utility>

namespace sorbel::com {

// A COM interface pointer. Copying adds a reference, moving does not.
template <class T>
class ComPtr {
public:
    ComPtr() = default;
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

    template <class U>
    ComPtr<U> Query(REFIID iid) const {
        ComPtr<U> result;
        if (p_) p_->QueryInterface(iid, result.PutVoid());
        return result;
    }

private:
    T* p_ = nullptr;
};

// A BSTR owned by this scope.
class UniqueBstr {
public:
    UniqueBstr() = default;
    explicit UniqueBstr(BSTR b) : b_(b) {}
    explicit UniqueBstr(const wchar_t* text) : b_(SysAllocString(text)) {}
    UniqueBstr(UniqueBstr&& other) noexcept : b_(std::exchange(other.b_, nullptr)) {}
    UniqueBstr& operator=(UniqueBstr&& other) noexcept {
        if (this != &other) Reset(std::exchange(other.b_, nullptr));
        return *this;
    }
    UniqueBstr(const UniqueBstr&) = delete;
    UniqueBstr& operator=(const UniqueBstr&) = delete;
    ~UniqueBstr() { Reset(); }

    BSTR Get() const { return b_; }
    UINT Length() const { return SysStringLen(b_); }
    BSTR* Put() {
        Reset();
        return &b_;
    }
    [[nodiscard]] BSTR Detach() { return std::exchange(b_, nullptr); }
    void Reset(BSTR b = nullptr) {
        if (BSTR old = std::exchange(b_, b)) SysFreeString(old);
    }

private:
    BSTR b_ = nullptr;
};

// A SAFEARRAY owned by this scope.
class UniqueSafeArray {
public:
    UniqueSafeArray() = default;
    explicit UniqueSafeArray(SAFEARRAY* a) : a_(a) {}
    UniqueSafeArray(UniqueSafeArray&& other) noexcept : a_(std::exchange(other.a_, nullptr)) {}
    UniqueSafeArray& operator=(UniqueSafeArray&& other) noexcept {
        if (this != &other) Reset(std::exchange(other.a_, nullptr));
        return *this;
    }
    UniqueSafeArray(const UniqueSafeArray&) = delete;
    UniqueSafeArray& operator=(const UniqueSafeArray&) = delete;
    ~UniqueSafeArray() { Reset(); }

    SAFEARRAY* Get() const { return a_; }
    SAFEARRAY** Put() {
        Reset();
        return &a_;
    }
    [[nodiscard]] SAFEARRAY* Detach() { return std::exchange(a_, nullptr); }
    void Reset(SAFEARRAY* a = nullptr) {
        if (SAFEARRAY* old = std::exchange(a_, a)) SafeArrayDestroy(old);
    }

private:
    SAFEARRAY* a_ = nullptr;
};

// Keeps a SAFEARRAY's data locked (its pvData stable) for this scope.
class SafeArrayLockScope {
public:
    explicit SafeArrayLockScope(SAFEARRAY* a) : a_(a) {
        if (a_ && FAILED(SafeArrayLock(a_))) a_ = nullptr;
    }
    SafeArrayLockScope(const SafeArrayLockScope&) = delete;
    SafeArrayLockScope& operator=(const SafeArrayLockScope&) = delete;
    ~SafeArrayLockScope() {
        if (a_) SafeArrayUnlock(a_);
    }
    bool Locked() const { return a_ != nullptr; }

private:
    SAFEARRAY* a_;
};

}  // namespace sorbel::com
