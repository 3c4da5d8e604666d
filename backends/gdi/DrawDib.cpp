#include "backends/gdi/DrawDib.h"

namespace {
// GetProcAddress gives a generic function pointer; the exports have the signatures named.
template <class F> F bind(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}
} // namespace

DrawDib::DrawDib(const char* library) {
    if (!library || !*library) return;
    module = LoadLibraryA(library);
    if (!module) return;
    openAddress = bind<OpenFunction>(module, "DrawDibOpen");
    drawAddress = bind<DrawFunction>(module, "DrawDibDraw");
    closeAddress = bind<CloseFunction>(module, "DrawDibClose");
    if (openAddress) handle = openAddress();
    loaded = handle ? 1 : 0;
}

DrawDib::~DrawDib() {
    if (closeAddress && handle) closeAddress(handle);
    if (module) FreeLibrary(module);
}

bool DrawDib::draw(HDC dc, int x, int y, int w, int h, BITMAPINFOHEADER* header, void* bits, int sx,
                   int sy, int sw, int sh, UINT flags) {
    if (!canDraw()) return false;
    return drawAddress(handle, dc, x, y, w, h, header, bits, sx, sy, sw, sh, flags) != FALSE;
}
