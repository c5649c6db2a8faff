// DocFile.dll: the classes ckxDocHeader and ckxFileBlock, their class
// objects, and the exports DllGetClassObject and DllCanUnloadNow.
//
// The classes are adapters over the portable reader in doc_file.h: they turn
// BSTR paths into filesystem paths and bytes into SAFEARRAYs, and report the
// reader's statuses unchanged. Objects live in a single-threaded apartment;
// only the module counts are shared, and they are atomic.
#include <initguid.h>

#include "docfile_idl.h"

#include "com_support.h"
#include "doc_file.h"

#include <cstring>
#include <filesystem>
#include <vector>

namespace docfile::com {

std::atomic<long> g_objectCount{0};
std::atomic<long> g_lockCount{0};
HMODULE g_module = nullptr;

std::wstring ModulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(g_module, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) throw ComError(HRESULT_FROM_WIN32(::GetLastError()), "Cannot learn the module's path.");
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

namespace {

std::wstring Widen(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    if (n <= 0) return std::wstring(utf8.begin(), utf8.end());
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
    return wide;
}

}  // namespace

HRESULT ReportError(HRESULT hr, REFIID iid, const wchar_t* source, const std::string& utf8Message) noexcept {
    ICreateErrorInfo* create = nullptr;
    if (FAILED(::CreateErrorInfo(&create))) return hr;
    try {
        create->SetGUID(iid);
        create->SetSource(const_cast<LPOLESTR>(source));
        std::wstring text = Widen(utf8Message);
        create->SetDescription(text.data());
    } catch (...) {
        // The description is lost; the HRESULT still reaches the caller.
    }
    IErrorInfo* info = nullptr;
    if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
        ::SetErrorInfo(0, info);
        info->Release();
    }
    create->Release();
    return hr;
}

namespace {

// A BSTR as a path. A null BSTR is the empty string; the length comes from the
// BSTR, so a NUL inside it stays in the path (and the reader finds no such file).
std::filesystem::path PathFromBstr(BSTR text) {
    return std::filesystem::path(std::wstring(text ? text : L"", ::SysStringLen(text)));
}

// A byte array indexed from 0, or no array at all for no bytes.
SAFEARRAY* MakeByteArray(const std::vector<std::uint8_t>& bytes) {
    if (bytes.empty()) return nullptr;
    SafeArrayOwner array(::SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size())));
    if (!array.get()) throw std::bad_alloc();
    void* data = nullptr;
    const HRESULT hr = ::SafeArrayAccessData(array.get(), &data);
    if (FAILED(hr)) throw ComError(hr, "Cannot fill the byte array.");
    std::memcpy(data, bytes.data(), bytes.size());
    ::SafeArrayUnaccessData(array.get());
    return array.Detach();
}

constexpr const wchar_t* kDocHeaderSource = L"DocFile.ckxDocHeader";
constexpr const wchar_t* kFileBlockSource = L"DocFile.ckxFileBlock";

class DocHeader final : public DispatchObject<_ckxDocHeader, &IID__ckxDocHeader> {
public:
    STDMETHODIMP put_FileSpec(BSTR pFileSpec) override {
        return ComCall(IID__ckxDocHeader, kDocHeaderSource, [&] {
            header_ = docfile::ReadDocHeader(PathFromBstr(pFileSpec));
            return S_OK;
        });
    }
    STDMETHODIMP get_Status(long* pStatus) override { return Get(pStatus, header_.status); }
    STDMETHODIMP get_PackageOffset(long* pPackageOffset) override {
        return Get(pPackageOffset, header_.packageOffset);
    }
    STDMETHODIMP get_PackageLength(long* pPackageLength) override {
        return Get(pPackageLength, header_.packageLength);
    }

private:
    static HRESULT Get(long* out, std::int32_t value) {
        if (!out) return ReportError(E_POINTER, IID__ckxDocHeader, kDocHeaderSource, "No place for the result.");
        *out = value;
        return S_OK;
    }

    // Before any FileSpec the status is that of a missing file.
    docfile::DocHeader header_;
};

class FileBlock final : public DispatchObject<_ckxFileBlock, &IID__ckxFileBlock> {
public:
    STDMETHODIMP ReadBlock(BSTR* pFileSpec, long* pStart, long* pLength, SAFEARRAY** pData,
                           long* pStatus) override {
        return ComCall(IID__ckxFileBlock, kFileBlockSource, [&] {
            if (!pFileSpec || !pStart || !pLength || !pData || !pStatus) {
                throw ComError(E_POINTER, "ReadBlock needs all five arguments.");
            }
            std::vector<std::uint8_t> bytes;
            const std::int32_t status = docfile::ReadBlock(PathFromBstr(*pFileSpec), *pStart, *pLength, bytes);
            SafeArrayOwner fresh(MakeByteArray(bytes));
            // The array passed in is ours to replace.
            if (*pData) {
                const HRESULT hr = ::SafeArrayDestroy(*pData);
                if (FAILED(hr)) throw ComError(hr, "The array passed in pData is locked and cannot be replaced.");
            }
            *pData = fresh.Detach();
            *pStatus = status;
            return S_OK;
        });
    }

protected:
    // ReadBlock (dispatch id 1) writes its bytes (pData) and its status (pStatus).
    std::span<const common::com::WrittenParameter> WrittenParameters() const noexcept override {
        static constexpr common::com::WrittenParameter kReadBlockOutputs[] = {{1, 3}, {1, 4}};
        return kReadBlockOutputs;
    }
};

template <class Object>
class ClassFactory final : public IClassFactory {
public:
    ClassFactory() noexcept { ++g_objectCount; }
    ~ClassFactory() { --g_objectCount; }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *ppv = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++refs_); }
    STDMETHODIMP_(ULONG) Release() override {
        const long n = --refs_;
        if (n == 0) delete this;
        return static_cast<ULONG>(n);
    }

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        auto* object = new (std::nothrow) Object();
        if (!object) return E_OUTOFMEMORY;
        const HRESULT hr = object->QueryInterface(riid, ppv);
        object->Release();
        return hr;
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock) {
            ++g_lockCount;
        } else {
            --g_lockCount;
        }
        return S_OK;
    }

private:
    std::atomic<long> refs_{1};
};

template <class Object>
HRESULT CreateFactory(REFIID riid, void** ppv) {
    auto* factory = new (std::nothrow) ClassFactory<Object>();
    if (!factory) return E_OUTOFMEMORY;
    const HRESULT hr = factory->QueryInterface(riid, ppv);
    factory->Release();
    return hr;
}

}  // namespace
}  // namespace docfile::com

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        docfile::com::g_module = instance;
        ::DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (rclsid == CLSID_ckxDocHeader) return docfile::com::CreateFactory<docfile::com::DocHeader>(riid, ppv);
    if (rclsid == CLSID_ckxFileBlock) return docfile::com::CreateFactory<docfile::com::FileBlock>(riid, ppv);
    return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllCanUnloadNow() {
    return docfile::com::g_objectCount == 0 && docfile::com::g_lockCount == 0 ? S_OK : S_FALSE;
}
