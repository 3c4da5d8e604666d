#include "backends/gdi/DrawDib.h"

namespace {
// GetProcAddress gives a generic function pointer; the exports have the signatures named.
template <class F> F bind(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}
} // namespace

DrawDib::DrawDib(const char* library) {
    if (!library || !*library) return;
    module.reset(LoadLibraryA(library));
    if (!module) return;
    openAddress = bind<OpenFunction>(module.get(), "DrawDibOpen");
    drawAddress = bind<DrawFunction>(module.get(), "DrawDibDraw");
    closeAddress = bind<CloseFunction>(module.get(), "DrawDibClose");
    if (openAddress) handle = openAddress();
    loaded = handle ? 1 : 0;
}

DrawDib::~DrawDib() {
    if (closeAddress && handle) closeAddress(handle);
}

bool DrawDib::draw(HDC dc, int x, int y, int w, int h, BITMAPINFOHEADER* header, void* bits, int sx,
                   int sy, int sw, int sh, UINT flags) {
    if (!canDraw()) return false;
    return drawAddress(handle, dc, x, y, w, h, header, bits, sx, sy, sw, sh, flags) != FALSE;
}
