#pragma once
#include "backends/KeyQueue.h"
#include "backends/Software.h"
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
class IWeb : public ISoftware {
  public:
    // The output a back end offers (the factory's two candidates).
    enum class Role { FULL_SCREEN, WINDOW };

    // The display's own surface. It has no pixels: copies into it are presentations.
    class PRIMARY : public PresentingSurface {
      public:
        explicit PRIMARY(IWeb* display) : owner(display) {}
        int valid() override { return owner ? 1 : 0; }

      protected:
        Surface* display() override { return owner ? owner->primary : nullptr; }
        int present(Surface& source, const Rect& sourceRect, const Rect& destinationRect) override {
            return owner->present(source, sourceRect, destinationRect);
        }

      private:
        IWeb* owner;
    };

    // ok() is 0 outside a page with a canvas, and when given a window.
    IWeb(Role role, WindowHandle window);
    ~IWeb() override;

    int getModes(List<MODE>& modes) override;
    // Mode codes FUZZY8/16/32 and DIRECT, or ABGR8888's id.
    int open(int32_t width, int32_t height, int32_t mode, int32_t output, int32_t secondOption,
             int32_t thirdOption) override;
    // Only ABGR8888.
    int openFormat(int32_t width, int32_t height, const Format& format, int32_t output,
                   int32_t secondOption, int32_t thirdOption) override;
    Surface* displaySurface() override { return primary; }
    // Open: gives the browser its turns until a key is queued, returns 1. Otherwise the console.
    int readKey() override;
    // Open: whether a key is queued; never waits or takes a key.
    int keyPressed() override;
    int setTitle(const char* title) override;
    int getTitle(char* buffer) override;
    void name(char* buffer) override;
    int width() override { return displayWidth; }
    int height() override { return displayHeight; }
    int bits() override { return canvasFormat.bits; }
    int bytes() override { return canvasFormat.bytes; }
    int output() override { return outputOption; }
    int secondOption() override { return secondValue; }
    int thirdOption() override { return THIRD_OPTION; }
    Format format() override { return canvasFormat; }
    int ok() override { return okFlag; }
    ::SURFACE* createSurface(int32_t& width, int32_t& height, Format& format, int32_t& kind,
                             int32_t& orientation, int32_t& advance, int32_t& variant) override;

    // Hides the canvas and drops the display surface.
    void close();

    // Converts the source area into the canvas's format, puts it into the canvas and gives the
    // browser its turn. Non-zero on success.
    int present(Surface& source, const Rect& sourceArea, const Rect& destinationArea);

  private:
    int openDisplay(int32_t width, int32_t height, int32_t output, int32_t second, int32_t third);
    bool isOpen() const { return primary != nullptr; }
    // Moves the keys the page has seen into the queue.
    void takePageKeys();

    Role role;
    Format canvasFormat{ABGR8888};
    int32_t displayWidth = 0, displayHeight = 0;
    int32_t outputOption = 0, secondValue = 0;
    char* title = nullptr;
    Surface* primary = nullptr; // owned
    Surface* staging = nullptr; // owned: the display in the canvas's format
    bool makingPrimary = false;
    int32_t okFlag = 0;
    KeyQueue keys;
};
