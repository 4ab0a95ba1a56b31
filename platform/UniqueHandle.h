#pragma once
// One owning type for every kind of handle: the traits say what "none" is and how to close.
#include <windows.h>
#include <commctrl.h>
#include <utility>

namespace platform {

template <class Traits>
class UniqueAny {
public:
    using Type = typename Traits::Type;

    UniqueAny() noexcept = default;
    explicit UniqueAny(Type value) noexcept : value_(value) {}
    UniqueAny(UniqueAny&& other) noexcept : value_(other.release()) {}
    UniqueAny& operator=(UniqueAny&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    UniqueAny(const UniqueAny&) = delete;
    UniqueAny& operator=(const UniqueAny&) = delete;
    ~UniqueAny() { reset(); }

    Type get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return value_ != Traits::Invalid(); }

    // Keeps the last error, so that a failure read after a handle is let go is the failure that happened.
    void reset(Type value = Traits::Invalid()) noexcept
    {
        Type old = std::exchange(value_, value);
        if (old == Traits::Invalid())
            return;
        const DWORD error = ::GetLastError();
        Traits::Close(old);
        ::SetLastError(error);
    }
    Type release() noexcept { return std::exchange(value_, Traits::Invalid()); }

    // For out-parameters: closes what is held, then hands out the slot.
    Type* put() noexcept
    {
        reset();
        return &value_;
    }

private:
    Type value_ = Traits::Invalid();
};

template <class T, auto CloseFn>
struct NullTraits {
    using Type = T;
    static constexpr Type Invalid() noexcept { return nullptr; }
    static void Close(Type value) noexcept { CloseFn(value); }
};

struct FileHandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type value) noexcept { ::CloseHandle(value); }
};

struct FindHandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type value) noexcept { ::FindClose(value); }
};

inline void CloseKey(HKEY key) noexcept { ::RegCloseKey(key); }
inline void ReleaseModuleHandle(HMODULE module) noexcept { ::FreeLibrary(module); }
inline void CloseKernelHandle(HANDLE handle) noexcept { ::CloseHandle(handle); }
inline void DestroyIconHandle(HICON icon) noexcept { ::DestroyIcon(icon); }
inline void DestroyImageList(HIMAGELIST list) noexcept { ::ImageList_Destroy(list); }
inline void DeleteGdiObject(HGDIOBJ object) noexcept { ::DeleteObject(object); }
inline void DestroyMenuHandle(HMENU menu) noexcept { ::DestroyMenu(menu); }
inline void DeleteMemoryDC(HDC dc) noexcept { ::DeleteDC(dc); }
inline void UnmapView(const void* view) noexcept { ::UnmapViewOfFile(view); }
inline void FreeLocal(HLOCAL memory) noexcept { ::LocalFree(memory); }

using UniqueKey = UniqueAny<NullTraits<HKEY, CloseKey>>;
using UniqueModule = UniqueAny<NullTraits<HMODULE, ReleaseModuleHandle>>;
using UniqueHandle = UniqueAny<NullTraits<HANDLE, CloseKernelHandle>>;
using UniqueFile = UniqueAny<FileHandleTraits>;
using UniqueFind = UniqueAny<FindHandleTraits>;
using UniqueLocal = UniqueAny<NullTraits<HLOCAL, FreeLocal>>;
using UniqueIcon = UniqueAny<NullTraits<HICON, DestroyIconHandle>>;
using UniqueImageList = UniqueAny<NullTraits<HIMAGELIST, DestroyImageList>>;
using UniqueFont = UniqueAny<NullTraits<HFONT, DeleteGdiObject>>;
using UniquePen = UniqueAny<NullTraits<HPEN, DeleteGdiObject>>;
using UniqueBitmap = UniqueAny<NullTraits<HBITMAP, DeleteGdiObject>>;
using UniqueMenu = UniqueAny<NullTraits<HMENU, DestroyMenuHandle>>;
using UniqueMemoryDC = UniqueAny<NullTraits<HDC, DeleteMemoryDC>>;
using UniqueView = UniqueAny<NullTraits<const void*, UnmapView>>;

} // namespace platform
