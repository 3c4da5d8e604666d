#pragma once
#include "backends/Windowed.h"
#include "display/List.h"
#include "display/MODE.h"
#include "display/Rect.h"
#include "format/Format.h"

#include <cstdint>

class Surface;

// The web back end: displays in the page's canvas (the element with id "canvas"), in the
// canvas's own pixel order, ABGR8888 (bytes red, green, blue, alpha). Copies into the display
// surface convert into a staging image of that format, which goes to the canvas with one put.
//
// Full screen, the canvas fills the page: the display keeps the size asked for and shows at the
// largest whole scale that fits, centred on black, its pixels kept sharp. As a window the canvas
// has the display's size.
//
// The page runs one thread: a program's blocking loop gives the browser its turn once per
// presentation, until the browser's next animation frame, and while it waits for a key. Keys
// pressed in the page meanwhile are queued. A page has no windows of other programs to draw
// into: given one, ok() is 0.
class IWeb : public IWindowed {
  public:
    // The output a back end offers (the factory's two candidates).
    enum class Role { FULL_SCREEN, WINDOW };

    // ok() is 0 outside a page with a canvas, and when given a window.
    IWeb(Role role, WindowHandle window);
    ~IWeb() override;

    int getModes(List<MODE>& modes) override;
    void name(char* buffer) override;

    // Hides the canvas and drops the display surface.
    void close();

  protected:
    // In ABGR8888 (the codes and format of IWindowed::open).
    int openDisplay(int32_t width, int32_t height, int32_t output, int32_t second,
                    int32_t third) override;
    // Open: keys come from the page, and waiting for one gives the browser its turns.
    bool readsWindowKeys() override { return isOpen(); }
    bool awaitKey() override;
    // Moves the keys the page has seen into the queue.
    void takeWindowKeys() override;
    int showTitle(const char* text) override;
    // The staging surface's rows are put as one block.
    bool stagingUsable(Surface& surface) override;
    // The conversion goes into the staging surface, which finish puts into the canvas before
    // giving the browser its turn.
    Surface* beginPresentation(Surface& source, const Rect& sourceArea, const Rect& destinationArea,
                               int& result) override;
    int finishPresentation(Surface& shown, const Rect& shownArea,
                           const Rect& destinationArea) override;

  private:
    bool isOpen() const { return display != nullptr; }

    Role role;
    const Format canvasFormat{ABGR8888};
    Rect presentedArea; // the part of the display the presentation shows
};
