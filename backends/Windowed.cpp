#include "backends/Windowed.h"

#include "display/Surface.h"
#include "platform/Platform.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>

// ---- WindowInput

void WindowInput::pushKey(int32_t value) {
    {
        std::lock_guard hold(lock);
        keys.push(value);
    }
    changed.notify_all();
}

bool WindowInput::keyPending() {
    std::lock_guard hold(lock);
    return !keys.empty();
}

bool WindowInput::takeKey(int32_t& value) {
    std::lock_guard hold(lock);
    return keys.pop(value);
}

void WindowInput::clearKeys() {
    std::lock_guard hold(lock);
    keys.clear();
}

void WindowInput::waitForKey(uint32_t limitMs) {
    std::unique_lock hold(lock);
    changed.wait_for(hold, std::chrono::milliseconds(limitMs),
                     [this] { return !keys.empty() || close == Close::ASKED; });
}

void WindowInput::askToClose(int status) {
    {
        std::lock_guard hold(lock);
        if (close != Close::NONE) return;
        close = Close::ASKED;
        closeStatus = status;
        askedAt = platform::milliseconds();
    }
    changed.notify_all();
}

bool WindowInput::claimClose(int& status) {
    std::lock_guard hold(lock);
    if (close != Close::ASKED) return false;
    close = Close::ENDING;
    status = closeStatus;
    return true;
}

bool WindowInput::closeDue(int& status) {
    std::lock_guard hold(lock);
    if (close != Close::ASKED || platform::milliseconds() - askedAt < CLOSE_GRACE_MS) return false;
    close = Close::ENDING;
    status = closeStatus;
    return true;
}

uint32_t WindowInput::closeGraceLeft() {
    std::lock_guard hold(lock);
    if (close != Close::ASKED) return 0;
    const uint32_t waited = platform::milliseconds() - askedAt;
    return waited < CLOSE_GRACE_MS ? CLOSE_GRACE_MS - waited : 0;
}

void WindowInput::cancelClose() {
    std::lock_guard hold(lock);
    if (close == Close::ASKED) close = Close::NONE;
}

// ---- IWindowed

namespace {

// How often readKey looks for a close request while it waits for a key.
constexpr uint32_t KEY_WAIT_STEP_MS = 100;

} // namespace

IWindowed::IWindowed() : input(new (std::nothrow) WindowInput) {}

IWindowed::~IWindowed() {
    delete staging;
    delete display;
}

MODE IWindowed::modeRecord(int32_t width, int32_t height, const Format& format, int32_t output,
                           int32_t second) {
    MODE mode;
    name(mode.interfaceName);
    mode.width = width;
    mode.height = height;
    mode.format = format;
    mode.output = output;
    mode.secondOption = second;
    mode.thirdOption = THIRD_OPTION;
    return mode;
}

bool IWindowed::addMode(const MODE& mode) {
    MODE* record = new (std::nothrow) MODE(mode);
    if (!record) return false;
    if (!modes.append(record)) {
        delete record;
        return false;
    }
    return true;
}

int IWindowed::getModes(List<MODE>& out) {
    // Built aside, so an allocation failure leaves the caller's list as it was.
    List<MODE> copy;
    for (auto* node = modes.first(); !List<MODE>::atEnd(node); node = node->next) {
        MODE* record = new (std::nothrow) MODE(*node->element);
        if (!record) return 0;
        if (!copy.append(record)) {
            delete record;
            return 0;
        }
    }
    out.clear();
    copy.moveAllTo(out);
    return 1;
}

// ---- opening

int IWindowed::open(int32_t width, int32_t height, int32_t mode, int32_t output, int32_t second,
                    int32_t third) {
    switch (mode) {
    case FUZZY8:
    case FUZZY16:
    case FUZZY32:
    case DIRECT:
        return openDisplay(width, height, output, second, third);
    case INDEXED:
        if (codesByDepth) return openDisplay(width, height, output, second, third);
        break;
    default:
        break;
    }
    if (openFormat(width, height, Format(mode), output, second, third)) return 1;
    if (codesByDepth && mode == displayFormat.bits)
        return openDisplay(width, height, output, second, third);
    return 0;
}

int IWindowed::openFormat(int32_t width, int32_t height, const Format& format, int32_t output,
                          int32_t second, int32_t third) {
    if (!format.ok() || format != displayFormat) return 0;
    return openDisplay(width, height, output, second, third);
}

bool IWindowed::acceptOptions(int32_t offered, int32_t& output, int32_t& second, int32_t third) {
    if (output == -1) output = offered;
    if (output != offered) return false;
    if (second == -1) second = 0;
    return third == -1 || third == THIRD_OPTION;
}

bool IWindowed::visibleArea(const Rect& sourceArea, const Rect& destinationArea, Rect& area) const {
    area = Rect(std::max(0, destinationArea.x1), std::max(0, destinationArea.y1),
                std::min(displayWidth, destinationArea.x1 + sourceArea.width()),
                std::min(displayHeight, destinationArea.y1 + sourceArea.height()));
    return area.x2 > area.x1 && area.y2 > area.y1;
}

// ---- keys and the close request

bool IWindowed::awaitKey() {
    input->waitForKey(KEY_WAIT_STEP_MS);
    return true;
}

void IWindowed::endIfCloseRequested() {
    int status = 0;
    if (!input || onWindowThread() || !input->claimClose(status)) return;
    closeOnRequest();
    platform::endProcess(status);
}

int IWindowed::readKey() {
    if (!input || !readsWindowKeys()) return NullInterface::readKey();
    for (;;) {
        endIfCloseRequested();
        takeWindowKeys();
        int32_t value = 0;
        if (input->takeKey(value)) return value;
        if (!awaitKey()) return 0;
    }
}

int IWindowed::keyPressed() {
    if (!input || !readsWindowKeys()) return NullInterface::keyPressed();
    endIfCloseRequested();
    takeWindowKeys();
    return input->keyPending() ? 1 : 0;
}

// ---- title

int IWindowed::setTitle(const char* text) {
    if (!text) return 0;
    const size_t size = std::strlen(text) + 1;
    std::unique_ptr<char[]> copy(new (std::nothrow) char[size]);
    if (!copy) return 0;
    std::memcpy(copy.get(), text, size);
    title = std::move(copy);
    return showTitle(title.get());
}

int IWindowed::getTitle(char* buffer) {
    if (!buffer) return 0;
    const char* text = titleText();
    std::memcpy(buffer, text, std::strlen(text) + 1);
    return 1;
}

// ---- surfaces

::SURFACE* IWindowed::makePrimary(int32_t width, int32_t height, const Format& format,
                                  int32_t& kind, int32_t& orientation, int32_t& advance,
                                  int32_t& variant) {
    if (width <= 0 || height <= 0 || !format.ok()) return nullptr;
    if (kind != KIND_PRIMARY && kind != KIND_ANY && kind != -1) return nullptr;
    if (orientation != TOP_DOWN && orientation != BOTTOM_UP && orientation != -1) return nullptr;
    if (advance < -1 || (variant != VARIANT_DEFAULT && variant != -1)) return nullptr;
    PRIMARY* made = new (std::nothrow) PRIMARY(this);
    if (!made) return nullptr;
    kind = KIND_PRIMARY;
    if (orientation == -1) orientation = primaryOrientation;
    if (advance == -1) advance = 0;
    variant = VARIANT_DEFAULT;
    return made;
}

::SURFACE* IWindowed::createSurface(int32_t& width, int32_t& height, Format& format, int32_t& kind,
                                    int32_t& orientation, int32_t& advance, int32_t& variant) {
    if (creatingPrimary)
        return makePrimary(width, height, format, kind, orientation, advance, variant);
    if (::SURFACE* made =
            createNativeSurface(width, height, format, kind, orientation, advance, variant))
        return made;
    // What the platform cannot make lives in memory and is presented through the staging
    // surface.
    return IMemory::createSurface(width, height, format, kind, orientation, advance, variant);
}

bool IWindowed::replaceSurface(Surface*& field, Surface* made) {
    Surface* old = field;
    field = made;
    delete old;
    return true;
}

bool IWindowed::createDisplaySurface() {
    if (!replaceSurface(display, nullptr)) return false;
    // Made without a lock: making a screen's surface may wait for the window's thread.
    creatingPrimary = 1;
    Surface* made = new (std::nothrow)
        Surface(this, displayWidth, displayHeight, displayFormat, KIND_PRIMARY, -1, -1, -1);
    creatingPrimary = 0;
    if (!made || !made->ok()) {
        delete made;
        return false;
    }
    return replaceSurface(display, made);
}

bool IWindowed::createStagingSurface(int32_t orientation) {
    if (!replaceSurface(staging, nullptr)) return false;
    Surface* made = new (std::nothrow)
        Surface(this, displayWidth, displayHeight, displayFormat, KIND_MEMORY, orientation, -1, -1);
    if (!made || !made->ok() || !stagingUsable(*made)) {
        delete made;
        return false;
    }
    return replaceSurface(staging, made);
}

bool IWindowed::destroyDisplaySurfaces() {
    const bool stagingGone = replaceSurface(staging, nullptr);
    return replaceSurface(display, nullptr) && stagingGone;
}

Surface* IWindowed::beginPresentation(Surface&, const Rect&, const Rect&, int& result) {
    result = 0;
    return staging;
}
