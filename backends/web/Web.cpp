#include "backends/web/Web.h"

#include "display/Surface.h"

#include <emscripten.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace {

constexpr char BACK_END_NAME[] = "Web";
// Browsers refuse canvases much larger than this.
constexpr int32_t largestSide = 16384;

// The page's side: the canvas, its layout, its keys and the browser's turns. The state lives on
// Module, so that every back end made in the process shares one key listener.

EM_JS(int, web_has_canvas, (),
      { return typeof document == "object" && document.getElementById("canvas") ? 1 : 0; });

EM_JS(int, web_page_width, (), { return window.innerWidth | 0; });
EM_JS(int, web_page_height, (), { return window.innerHeight | 0; });

// Keys go to the queue only while a display is open; pressed before, they belong to the page.
EM_JS(void, web_listen, (), {
    if (Module.ptcWeb) return;
    const web = Module.ptcWeb = {keys : 0, open : false, fullScreen : false, width : 0, height : 0};
    window.addEventListener(
        "keydown", function(event) {
            if (!web.open) return;
            web.keys++;
            event.preventDefault();
        });
    web.layout = function() {
        const canvas = document.getElementById("canvas");
        if (!web.open) {
            canvas.style.display = "none";
            return;
        }
        canvas.style.display = "block";
        canvas.style.imageRendering = "pixelated";
        if (web.fullScreen) {
            const scale = Math.max(1, Math.floor(Math.min(window.innerWidth / web.width,
                                                          window.innerHeight / web.height)));
            canvas.style.position = "fixed";
            canvas.style.width = web.width * scale + "px";
            canvas.style.height = web.height * scale + "px";
            canvas.style.left = Math.floor((window.innerWidth - web.width * scale) / 2) + "px";
            canvas.style.top = Math.floor((window.innerHeight - web.height * scale) / 2) + "px";
            document.body.style.background = "black";
        } else {
            canvas.style.position = "static";
            canvas.style.width = web.width + "px";
            canvas.style.height = web.height + "px";
        }
    };
    window.addEventListener("resize", web.layout);
    // Full screen is the browser's to give, and only for a person's gesture.
    document.getElementById("canvas").addEventListener(
        "click", function() {
            const canvas = document.getElementById("canvas");
            if (web.open && web.fullScreen && canvas.requestFullscreen &&
                !document.fullscreenElement)
                canvas.requestFullscreen().catch(function(){});
        });
});

EM_JS(void, web_show, (int width, int height, int fullScreen), {
    const web = Module.ptcWeb;
    const canvas = document.getElementById("canvas");
    canvas.width = width;
    canvas.height = height;
    web.context = canvas.getContext("2d", {alpha : false});
    web.open = true;
    web.fullScreen = fullScreen != 0;
    web.width = width;
    web.height = height;
    web.keys = 0;
    web.layout();
});

EM_JS(void, web_hide, (), {
    const web = Module.ptcWeb;
    web.open = false;
    web.context = null;
    web.keys = 0;
    web.layout();
});

// One put of the changed area of an image of the canvas's size whose rows follow each other.
EM_JS(int, web_put, (const uint8_t* pixels, int width, int height, int x, int y, int w, int h), {
    const web = Module.ptcWeb;
    if (!web.context) return 0;
    const bytes = new Uint8ClampedArray(HEAPU8.buffer, pixels, width * height * 4);
    web.context.putImageData(new ImageData(bytes, width, height), 0, 0, x, y, w, h);
    return 1;
});

EM_JS(int, web_take_keys, (), {
    const web = Module.ptcWeb;
    const count = web.keys;
    web.keys = 0;
    return count;
});

EM_JS(void, web_set_title, (const char* text), { document.title = UTF8ToString(text); });

// The browser's turn: until its next animation frame, or a tenth of a second where none comes
// (a hidden page). The time spent waiting is kept, so that a page can tell its work from it.
EM_ASYNC_JS(void, web_next_frame, (), {
    const start = performance.now();
    await new Promise(function(resolve) {
        let done = false;
        const go = function() {
            if (!done) {
                done = true;
                resolve();
            }
        };
        requestAnimationFrame(go);
        setTimeout(go, 100);
    });
    Module.ptcWaitedMs = (Module.ptcWaitedMs || 0) + performance.now() - start;
    Module.ptcPresented = (Module.ptcPresented || 0) + 1;
});

} // namespace

// ---- construction

IWeb::IWeb(Role offered, WindowHandle window) : role(offered) {
    displayFormat = canvasFormat;
    if (window || !web_has_canvas() || !input || !input->valid()) return;
    web_listen();
    okFlag = 1;
}

IWeb::~IWeb() {
    close();
}

// ---- opening and closing

int IWeb::getModes(List<MODE>& out) {
    // The page's size now: it changes with the browser's window.
    clearModes();
    if (ok() &&
        !addMode(modeRecord(web_page_width(), web_page_height(), canvasFormat,
                            role == Role::FULL_SCREEN ? FULLSCREEN_OUTPUT : WINDOW_OUTPUT, 0)))
        return 0;
    return IWindowed::getModes(out);
}

int IWeb::openDisplay(int32_t width, int32_t height, int32_t output, int32_t second,
                      int32_t third) {
    // Options first: a refused open leaves an open display as it was.
    if (!ok()) return 0;
    const int32_t offered = role == Role::WINDOW ? WINDOW_OUTPUT : FULLSCREEN_OUTPUT;
    if (!acceptOptions(offered, output, second, third)) return 0;
    if (width <= 0 || height <= 0 || width > largestSide || height > largestSide) return 0;
    close();
    displayWidth = width;
    displayHeight = height;
    if (!createDisplaySurface() || !createStagingSurface(TOP_DOWN)) {
        close();
        return 0;
    }
    outputOption = output;
    secondOptionValue = second;
    web_show(width, height, output == FULLSCREEN_OUTPUT ? 1 : 0);
    if (hasTitle()) web_set_title(titleText());
    input->clearKeys();
    return 1;
}

bool IWeb::stagingUsable(Surface& surface) {
    return surface.pitch() == surface.width() * surface.bytes();
}

void IWeb::close() {
    const bool wasOpen = isOpen();
    destroyDisplaySurfaces();
    displayWidth = displayHeight = 0;
    outputOption = secondOptionValue = 0;
    if (wasOpen) web_hide();
}

// ---- presentation

Surface* IWeb::beginPresentation(Surface&, const Rect& sourceArea, const Rect& destinationArea,
                                 int& result) {
    result = 0;
    if (!staging) return nullptr;
    if (!visibleArea(sourceArea, destinationArea, presentedArea)) {
        result = 1; // nothing to show is no failure
        return nullptr;
    }
    return staging;
}

int IWeb::finishPresentation(Surface&, const Rect&, const Rect&) {
    const Rect& area = presentedArea;
    auto* pixels = static_cast<uint8_t*>(staging->lock(1));
    if (!pixels) return 0;
    // The canvas takes alpha literally; the display's pixels are opaque whatever the source
    // left in that byte.
    const int32_t pitch = staging->pitch();
    for (int32_t y = area.y1; y < area.y2; ++y) {
        uint8_t* row = pixels + ptrdiff_t(y) * pitch;
        for (int32_t x = area.x1; x < area.x2; ++x) row[4 * x + 3] = 0xFF;
    }
    const int put =
        web_put(pixels, displayWidth, displayHeight, area.x1, area.y1, area.width(), area.height());
    staging->unlock();
    if (!put) return 0;
    web_next_frame();
    takeWindowKeys();
    return 1;
}

// ---- keys, title, name

void IWeb::takeWindowKeys() {
    for (int count = web_take_keys(); count > 0; --count)
        input->pushKey(1); // a full queue drops the key
}

bool IWeb::awaitKey() {
    web_next_frame();
    return true;
}

int IWeb::showTitle(const char* text) {
    if (!isOpen()) return 0;
    web_set_title(text);
    return 1;
}

void IWeb::name(char* buffer) {
    std::memcpy(buffer, BACK_END_NAME, sizeof(BACK_END_NAME));
}
