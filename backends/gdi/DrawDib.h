#pragma once
#include "backends/win32/Handles.h"

#include <windows.h>

// Video for Windows' DrawDib, bound at run time so that the program starts where
// "msvfw32.dll" or its exports are missing; then draw always fails and callers use StretchBlt.
class DrawDib {
  public:
    using Handle = HANDLE; // HDRAWDIB
    using OpenFunction = Handle(WINAPI*)();
    using DrawFunction = BOOL(WINAPI*)(Handle, HDC, int, int, int, int, BITMAPINFOHEADER*, void*,
                                       int, int, int, int, UINT);
    using CloseFunction = BOOL(WINAPI*)(Handle);
    static constexpr UINT DRAW_HALFTONE = 0x1000; // DDF_HALFTONE

    // Binds library by name; an empty name binds nothing.
    explicit DrawDib(const char* library = "msvfw32.dll");
    ~DrawDib();
    DrawDib(const DrawDib&) = delete;
    DrawDib& operator=(const DrawDib&) = delete;

    // DrawDibDraw when it is bound and DrawDibOpen gave a handle; else false.
    bool draw(HDC dc, int x, int y, int w, int h, BITMAPINFOHEADER* header, void* bits, int sx,
              int sy, int sw, int sh, UINT flags);
    bool canDraw() const { return drawAddress && loaded; }

    // The module goes last, after DrawDibClose.
    LibraryHandle module;
    OpenFunction openAddress = nullptr;
    DrawFunction drawAddress = nullptr;
    CloseFunction closeAddress = nullptr;
    Handle handle = nullptr;
    int loaded = 0; // 1 only when DrawDibOpen gave a handle
};
