// app/core/UniqueHandle.h
#pragma once
#include <windows.h>
#include <wininet.h>
#include <objbase.h>
#include <utility>

// Owns one handle of the system and closes it exactly once: when it goes out of scope, on reset()
// or when another handle is moved in. Move-only, like std::unique_ptr, but for handles whose "none"
// is not always nullptr: CreateFileW and FindFirstFileW answer INVALID_HANDLE_VALUE. `Close` is a
// function object that closes a valid handle; `None` names the value that is no handle and decides
// what counts as one. Every kind of handle the program keeps is one line at the end of this file.

// Null is no handle (registry keys, modules, GDI objects, memory, most kernel objects).
template <class T>
struct NullIsNone {
    static T None() noexcept { return T{}; }
    static bool Valid(T h) noexcept { return h != T{}; }
};

// INVALID_HANDLE_VALUE is no handle; nullptr counts as none too, so a zeroed handle is never closed.
struct InvalidHandleIsNone {
    static HANDLE None() noexcept { return INVALID_HANDLE_VALUE; }
    static bool Valid(HANDLE h) noexcept { return h != INVALID_HANDLE_VALUE && h != nullptr; }
};

template <class T, class Close, class None = NullIsNone<T>>
class UniqueHandle {
public:
    using pointer = T;

    UniqueHandle() noexcept = default;
    explicit UniqueHandle(T h) noexcept : h_(h) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& o) noexcept : h_(o.release()) {}
    UniqueHandle& operator=(UniqueHandle&& o) noexcept {
        if (this != &o) reset(o.release());
        return *this;
    }
    ~UniqueHandle() { reset(); }

    T get() const noexcept { return h_; }
    explicit operator bool() const noexcept { return None::Valid(h_); }

    // Gives the handle up without closing it; the owner is empty afterwards.
    [[nodiscard]] T release() noexcept { return std::exchange(h_, None::None()); }
    // Closes the handle held (if any) and takes `h`. The old one is taken out first, so a close
    // that ends up here again finds nothing to close twice.
    void reset(T h = None::None()) noexcept {
        const T old = std::exchange(h_, h);
        if (None::Valid(old) && old != h) Close()(old);
    }
    // For functions that hand a new handle out through a pointer: closes the old one first.
    T* put() noexcept {
        reset();
        return &h_;
    }

private:
    T h_ = None::None();
};

// The closing functions, one per kind of handle.
namespace close_with {
struct CloseHandleFn { void operator()(HANDLE h) const noexcept { ::CloseHandle(h); } };
struct FindCloseFn { void operator()(HANDLE h) const noexcept { ::FindClose(h); } };
struct RegCloseKeyFn { void operator()(HKEY h) const noexcept { ::RegCloseKey(h); } };
struct InternetCloseHandleFn { void operator()(HINTERNET h) const noexcept { ::InternetCloseHandle(h); } };
struct FreeLibraryFn { void operator()(HMODULE h) const noexcept { ::FreeLibrary(h); } };
struct DeleteObjectFn { void operator()(HGDIOBJ h) const noexcept { ::DeleteObject(h); } };
struct DeleteDCFn { void operator()(HDC h) const noexcept { ::DeleteDC(h); } };
struct DestroyIconFn { void operator()(HICON h) const noexcept { ::DestroyIcon(h); } };
struct LocalFreeFn { void operator()(void* p) const noexcept { ::LocalFree(p); } };
struct CoTaskMemFreeFn { void operator()(void* p) const noexcept { ::CoTaskMemFree(p); } };
}  // namespace close_with

using UniqueKernelHandle = UniqueHandle<HANDLE, close_with::CloseHandleFn>;  // process, thread, token
using UniqueHFile = UniqueHandle<HANDLE, close_with::CloseHandleFn, InvalidHandleIsNone>;
using UniqueHFind = UniqueHandle<HANDLE, close_with::FindCloseFn, InvalidHandleIsNone>;
using UniqueHKey = UniqueHandle<HKEY, close_with::RegCloseKeyFn>;
using UniqueHInternet = UniqueHandle<HINTERNET, close_with::InternetCloseHandleFn>;
using UniqueHModule = UniqueHandle<HMODULE, close_with::FreeLibraryFn>;
template <class G>  // HFONT, HBITMAP, HRGN, HBRUSH, ...
using UniqueGdiObject = UniqueHandle<G, close_with::DeleteObjectFn>;
using UniqueHDC = UniqueHandle<HDC, close_with::DeleteDCFn>;  // a memory DC of our own, not GetDC's
using UniqueHIcon = UniqueHandle<HICON, close_with::DestroyIconFn>;
template <class P = void*>
using UniqueLocalMem = UniqueHandle<P, close_with::LocalFreeFn>;
template <class P = void*>
using UniqueCoTaskMem = UniqueHandle<P, close_with::CoTaskMemFreeFn>;
