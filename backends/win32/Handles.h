#pragma once
#include <windows.h>

#include <cstdlib>
#include <memory>
#include <utility>

// Owners for the platform's handles, so that every failure branch is a plain return and no
// clean-up is written twice. Each takes exactly one reference and gives it back once.

// One handle whose release takes the handle alone. Release is a small function object, since
// the address of an imported system function is no compile-time constant.
template <class Handle, class Release> class UniqueHandle {
  public:
    UniqueHandle() = default;
    explicit UniqueHandle(Handle handle) : value(handle) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : value(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    Handle get() const { return value; }
    explicit operator bool() const { return value != Handle(); }
    // Gives the handle up without releasing it.
    Handle release() { return std::exchange(value, Handle()); }
    void reset(Handle handle = Handle()) {
        if (value) Release()(value);
        value = handle;
    }

  private:
    Handle value = Handle();
};

struct CloseKernelHandle {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
struct DeleteGdiObject {
    void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
struct DeleteMemoryDc {
    void operator()(HDC dc) const { DeleteDC(dc); }
};
struct FreeModule {
    void operator()(HMODULE module) const { FreeLibrary(module); }
};
struct FreeBlock {
    void operator()(void* block) const { std::free(block); }
};

// Events and threads.
using KernelHandle = UniqueHandle<HANDLE, CloseKernelHandle>;
// Bitmaps, DIB sections and logical palettes.
template <class Object> using GdiObject = UniqueHandle<Object, DeleteGdiObject>;
// CreateCompatibleDC.
using MemoryDc = UniqueHandle<HDC, DeleteMemoryDc>;
// LoadLibraryA.
using LibraryHandle = UniqueHandle<HMODULE, FreeModule>;
// std::malloc or std::calloc, for the system's variable-length records (BITMAPINFO, LOGPALETTE).
template <class T> using HeapBlock = std::unique_ptr<T, FreeBlock>;

// A device context from GetDC or GetWindowDC, given back with ReleaseDC for its window (null for
// the screen). The context comes first, so the object's address is also the context's.
class WindowDc {
  public:
    WindowDc() = default;
    WindowDc(HWND owner, HDC dc) : value(dc), window(owner) {}
    ~WindowDc() { reset(); }
    WindowDc(WindowDc&& other) noexcept
        : value(std::exchange(other.value, nullptr)), window(std::exchange(other.window, nullptr)) {
    }
    WindowDc& operator=(WindowDc&& other) noexcept {
        if (this != &other) {
            reset();
            value = std::exchange(other.value, nullptr);
            window = std::exchange(other.window, nullptr);
        }
        return *this;
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;

    static WindowDc of(HWND window) { return WindowDc(window, GetDC(window)); }
    static WindowDc wholeWindow(HWND window) { return WindowDc(window, GetWindowDC(window)); }

    HDC get() const { return value; }
    explicit operator bool() const { return value != nullptr; }
    void reset() {
        if (value) ReleaseDC(window, value);
        value = nullptr;
        window = nullptr;
    }
    // Lets go of the context without giving it back, for a thread that may still draw with it.
    void abandon() {
        value = nullptr;
        window = nullptr;
    }

  private:
    HDC value = nullptr;
    HWND window = nullptr;
};

// An object selected into a device context until the end of the scope, then the previous one
// selected back.
class Selection {
  public:
    Selection(HDC dc, HGDIOBJ object) : target(dc), previous(SelectObject(dc, object)) {}
    ~Selection() {
        if (*this) SelectObject(target, previous);
    }
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;
    explicit operator bool() const { return previous && previous != HGDI_ERROR; }

  private:
    HDC target;
    HGDIOBJ previous;
};

// A logical palette selected into a device context (as the foreground palette unless background
// is set) until the end of the scope, then the previous one selected back as a background
// palette.
class PaletteSelection {
  public:
    PaletteSelection(HDC dc, HPALETTE palette, bool background = false)
        : target(dc), previous(SelectPalette(dc, palette, background ? TRUE : FALSE)) {}
    ~PaletteSelection() {
        if (previous) SelectPalette(target, previous, TRUE);
    }
    PaletteSelection(const PaletteSelection&) = delete;
    PaletteSelection& operator=(const PaletteSelection&) = delete;
    explicit operator bool() const { return previous != nullptr; }

  private:
    HDC target;
    HPALETTE previous;
};

// One COM reference. Copies take a reference of their own, so work handed to another thread can
// carry the objects it calls.
template <class T> class ComPtr {
  public:
    ComPtr() = default;
    ~ComPtr() { reset(); }
    ComPtr(const ComPtr& other) : object(other.object) {
        if (object) object->AddRef();
    }
    ComPtr(ComPtr&& other) noexcept : object(std::exchange(other.object, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(object, other.object);
        return *this;
    }
    // Takes over a reference the caller holds.
    static ComPtr adopt(T* held) {
        ComPtr pointer;
        pointer.object = held;
        return pointer;
    }

    // For calls that hand out a new reference.
    T** out() {
        reset();
        return &object;
    }
    T* get() const { return object; }
    T* operator->() const { return object; }
    explicit operator bool() const { return object != nullptr; }
    void reset() {
        if (object) object->Release();
        object = nullptr;
    }
    // Gives the reference up without releasing it.
    T* detach() { return std::exchange(object, nullptr); }
    // Asks the object for another of its interfaces; an empty pointer when it has none.
    template <class Other> ComPtr<Other> query(const GUID& id) const {
        ComPtr<Other> other;
        void* found = nullptr;
        if (object && object->QueryInterface(id, &found) == S_OK)
            other = ComPtr<Other>::adopt(static_cast<Other*>(found));
        return other;
    }

  private:
    T* object = nullptr;
};
