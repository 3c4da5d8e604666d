#pragma once
#include "backends/KeyQueue.h"
#include "backends/Software.h"
#include "display/List.h"
#include "display/MODE.h"
#include "display/Rect.h"
#include "format/Format.h"

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

class Surface;

// What a window's thread hands the application's thread: key presses and a request to close.
// Shared with that thread, so one left running after its display gave up on it still has it.
//
// A close request ends the process with its status. The application's thread does it at its
// next key check, after closing its display (claimClose), so no thread is inside a driver while
// the process ends. The window's thread does it once CLOSE_GRACE_MS have passed without that
// (closeDue): an application that never checks still ends. A window closed meanwhile takes its
// request with it (cancelClose): the program goes on without that display.
class WindowInput {
  public:
    static constexpr uint32_t CLOSE_GRACE_MS = 1000;

    WindowInput() = default;
    WindowInput(const WindowInput&) = delete;
    WindowInput& operator=(const WindowInput&) = delete;

    // False when the key queue could not be allocated.
    bool valid() const { return keys.valid(); }
    // Queues a key (a full queue drops it) and wakes a waiting reader.
    void pushKey(int32_t value);
    bool keyPending();
    bool takeKey(int32_t& value);
    void clearKeys();
    // Returns once a key is queued or a close asked for, or after limitMs.
    void waitForKey(uint32_t limitMs);

    // The window's thread: the window was asked to close. The grace period runs from the first
    // request.
    void askToClose(int status);
    // The application's thread: true, once, when a request is pending; the caller ends the
    // process with status.
    bool claimClose(int& status);
    // The window's thread: true, once, when a request has waited out its grace period.
    bool closeDue(int& status);
    // Milliseconds left of a pending request's grace period; 0 when none is pending.
    uint32_t closeGraceLeft();
    void cancelClose();

  private:
    enum class Close { NONE, ASKED, ENDING };
    std::mutex lock;
    std::condition_variable changed;
    KeyQueue keys;
    Close close = Close::NONE;
    int closeStatus = 0;
    uint32_t askedAt = 0;
};

// The windowed back end every platform's derives from: everything a display in a window is,
// kept once, with small hooks that only talk to the platform. It holds the display record
// (size, format, output and options), the title, the mode list, the key input with its close
// policy, the display's own surface and the staging surface a presentation converts into.
//
// A platform back end supplies: whether keys come from a window of its own, the title shown,
// the surfaces it can make natively, and the three steps of a presentation (PRIMARY).
class IWindowed : public IMemory {
  public:
    // The display's own surface. It has no pixels: copies into it are presentations, handed to
    // the owner's presentation steps.
    class PRIMARY : public PresentingSurface {
      public:
        explicit PRIMARY(IWindowed* display) : owner(display) {}
        int valid() override { return owner ? 1 : 0; }
        Surface* beginPresentation(Surface& source, const Rect& sourceArea,
                                   const Rect& destinationArea, int& result) override {
            return owner->beginPresentation(source, sourceArea, destinationArea, result);
        }
        int finishPresentation(Surface& shown, const Rect& shownArea,
                               const Rect& destinationArea) override {
            return owner->finishPresentation(shown, shownArea, destinationArea);
        }
        void cancelPresentation() override { owner->cancelPresentation(); }

      private:
        IWindowed* owner;
    };

    IWindowed();
    // Destroys the display and staging surfaces left.
    ~IWindowed() override;

    // Mode codes FUZZY8/16/32 and DIRECT open the display in its own format (openDisplay), as do
    // INDEXED and the display's depth where codesByDepth is set; any other code is taken as a
    // format id (openFormat).
    int open(int32_t width, int32_t height, int32_t mode, int32_t output, int32_t secondOption,
             int32_t thirdOption) override;
    // Only the display's own format.
    int openFormat(int32_t width, int32_t height, const Format& format, int32_t output,
                   int32_t secondOption, int32_t thirdOption) override;
    Surface* displaySurface() override { return display; }
    // A copy of the mode list.
    int getModes(List<MODE>& modes) override;
    // From a window of its own: waits until a key is queued and returns it (0 once no key can
    // come any more). Otherwise the console.
    int readKey() override;
    // From a window of its own: whether a key is queued; never blocks or takes a key.
    int keyPressed() override;
    // Stores a copy, then shows it; 1 only when a window shows it.
    int setTitle(const char* text) override;
    // buffer must hold the stored title and its NUL; "" before any setTitle.
    int getTitle(char* buffer) override;
    int width() override { return displayWidth; }
    int height() override { return displayHeight; }
    int bits() override { return displayFormat.bits; }
    int bytes() override { return displayFormat.bytes; }
    int output() override { return outputOption; }
    int secondOption() override { return secondOptionValue; }
    int thirdOption() override { return THIRD_OPTION; }
    Format format() override { return displayFormat; }
    int ok() override { return okFlag; }
    // While creatingPrimary is set: the display's own surface (makePrimary). Otherwise what
    // createNativeSurface makes, else a memory surface.
    ::SURFACE* createSurface(int32_t& width, int32_t& height, Format& format, int32_t& kind,
                             int32_t& orientation, int32_t& advance, int32_t& variant) override;

    // A mode record of this back end.
    MODE modeRecord(int32_t width, int32_t height, const Format& format, int32_t output,
                    int32_t secondOption);

  protected:
    // ---- hooks
    // Opens a display of that size in the display's own format; 0 when refused or failed.
    virtual int openDisplay(int32_t, int32_t, int32_t, int32_t, int32_t) { return 0; }
    // Whether keys come from a window of its own now.
    virtual bool readsWindowKeys() = 0;
    // Waits a little for a key; false when none can come any more.
    virtual bool awaitKey();
    // Moves keys the platform holds into the input.
    virtual void takeWindowKeys() {}
    // Shows the stored title; 1 when a window shows it.
    virtual int showTitle(const char* text) = 0;
    // Whether the calling thread is the window's own (it never ends the process for a close).
    virtual bool onWindowThread() { return false; }
    // What must close before the application's thread ends the process for a close request.
    virtual void closeOnRequest() {}
    // A surface of the platform's own for the request, or null for a memory surface.
    virtual ::SURFACE* createNativeSurface(int32_t&, int32_t&, Format&, int32_t&, int32_t&,
                                           int32_t&, int32_t&) {
        return nullptr;
    }
    // The display's own surface; PRIMARY by default.
    virtual ::SURFACE* makePrimary(int32_t width, int32_t height, const Format& format,
                                   int32_t& kind, int32_t& orientation, int32_t& advance,
                                   int32_t& variant);
    // Whether a staging surface made for the display can be converted into and shown.
    virtual bool stagingUsable(Surface&) { return true; }
    // Puts made in place of field and destroys what was there; false, with made destroyed
    // instead, when that cannot be done safely now.
    virtual bool replaceSurface(Surface*& field, Surface* made);
    // The presentation steps (PresentingSurface): the surface to convert into (staging by
    // default), showing, and giving up after a failed conversion.
    virtual Surface* beginPresentation(Surface& source, const Rect& sourceArea,
                                       const Rect& destinationArea, int& result);
    virtual int finishPresentation(Surface& shown, const Rect& shownArea,
                                   const Rect& destinationArea) = 0;
    virtual void cancelPresentation() {}

    // ---- shared behaviour
    // The output options every display takes: output -1 becomes offered and no other is
    // accepted, a second option of -1 becomes 0, the third must be -1 or THIRD_OPTION.
    static bool acceptOptions(int32_t offered, int32_t& output, int32_t& second, int32_t third);
    // The part of the display a presentation of sourceArea at destinationArea covers; false when
    // none.
    bool visibleArea(const Rect& sourceArea, const Rect& destinationArea, Rect& area) const;
    // At a key check on the application's thread: a pending close request closes the display
    // (closeOnRequest) and ends the process.
    void endIfCloseRequested();
    // The display's own surface and the staging surface, at the display's size and format.
    // Each replaces its predecessor; false when it cannot be made or put in place.
    bool createDisplaySurface();
    bool createStagingSurface(int32_t orientation);
    // False when either could not be taken out (replaceSurface).
    bool destroyDisplaySurfaces();
    // Appends a copy; false when it cannot be allocated.
    bool addMode(const MODE& mode);
    void clearModes() { modes.clear(); }
    List<MODE>& modeList() { return modes; }
    // The stored title, "" before any.
    const char* titleText() const { return title ? title.get() : ""; }
    bool hasTitle() const { return title != nullptr; }

    int32_t displayWidth = 0;  // reported by width(); set by the back ends when they open
    int32_t displayHeight = 0; // likewise
    Format displayFormat;      // the open display's pixel format
    int32_t outputOption = 0;  // FULLSCREEN_OUTPUT or WINDOW_OUTPUT as opened
    int32_t secondOptionValue = 0;
    int32_t okFlag = 0;                    // construction succeeded
    int32_t creatingPrimary = 0;           // createSurface makes the display's own surface only now
    int32_t primaryOrientation = TOP_DOWN; // what the display's own surface takes for -1
    bool codesByDepth = false;             // open() also takes INDEXED and the display's depth
    Surface* display = nullptr;            // owned: the surface that stands for the display
    Surface* staging = nullptr;            // owned: the display in its own format
    std::shared_ptr<WindowInput> input;    // never null
    List<MODE> modes;                      // display modes offered

  private:
    std::unique_ptr<char[]> title; // last title set, or null
};
