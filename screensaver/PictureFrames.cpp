#include "screensaver/PictureFrames.h"

#include "front/PTC.h"
#include "platform/Platform.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace {

constexpr double pi = 3.141592653589793;
// One turn of the elliptic path in 8750 / pi milliseconds * pi: 17.5 seconds.
constexpr double orbitAngleRate = 0.00011428571428571428;
// Flattens the circle to the 320x200 area's aspect.
constexpr double orbitAspect = 0.625;

constexpr int32_t orbitCentreX = rayAreaWidth / 2;
constexpr int32_t orbitCentreY = rayAreaHeight / 2;

constexpr float lowestRadius = 5.0f;    // below it the radius turns upwards (at 4)
constexpr float highestRadius = 450.0f; // above it the radius turns down (at 451)

Surface* newSurface(PTC& display, int32_t width, int32_t height) {
    return new (std::nothrow)
        Surface(display, width, height, Format(ARGB8888), KIND_MEMORY, -1, -1, -1);
}

// Runs draw with the surface's pixels locked and unlocks it before returning, so before a
// failure is reported (which closes the display); false when the lock failed.
template <class Draw> bool withPixels(Surface& surface, Draw draw) {
    struct Unlock {
        void operator()(Surface* locked) const { locked->unlock(); }
    };
    void* pixels = surface.lock(1);
    if (!pixels) return false;
    const std::unique_ptr<Surface, Unlock> locked(&surface);
    draw(pixels);
    return true;
}

} // namespace

FrameServices::FrameServices()
    : milliseconds(platform::milliseconds), windowsDirectory(platform::windowsDirectory),
      systemDirectory(platform::systemDirectory), packageDirectory(packagePictureDirectory),
      report([](PTC& display, const char* message) { display.error(message); }) {}

PathResult picturePath(const FrameServices::DirectoryQuery& query, const char* fileName,
                       char (&path)[picturePathSize]) {
    path[0] = '\0';
    const uint32_t answer = query(path, picturePathSize);
    if (answer == 0) return PathResult::QUERY_FAILED;
    // An answer of the buffer size or more is the size the directory would need.
    if (answer >= picturePathSize) return PathResult::TOO_LONG;
    const size_t directoryLength = strnlen(path, picturePathSize);
    const size_t nameLength = std::strlen(fileName);
    if (directoryLength + 1 + nameLength + 1 > picturePathSize) return PathResult::TOO_LONG;
    path[directoryLength] = platform::directorySeparator;
    std::memcpy(path + directoryLength + 1, fileName, nameLength + 1);
    return PathResult::READY;
}

void advanceOrbit(Orbit& orbit, uint32_t now) {
    // The difference, not a plain comparison, so that a clock wrap does not stop the animation.
    while (int32_t(now - orbit.lastTick) > 0) {
        if (orbit.lastTick % 25 == 0) {
            orbit.radius += orbit.step;
            if (orbit.radius < lowestRadius) orbit.step = -orbit.step;
            if (orbit.radius > highestRadius) {
                orbit.step = -orbit.step;
                orbit.pictureChoice = uint8_t(1 - orbit.pictureChoice);
            }
        }
        ++orbit.lastTick;
    }
}

PicturePosition picturePosition(float radius, uint32_t clockX, uint32_t clockY, int32_t width,
                                int32_t height) {
    const double angleX = clockX * pi * orbitAngleRate;
    const double angleY = clockY * pi * orbitAngleRate;
    // The conversions to int truncate toward zero, which the path is defined with.
    const int32_t x = orbitCentreX + int32_t(radius * std::cos(angleX)) - width / 2;
    const int32_t y = orbitCentreY + int32_t(radius * orbitAspect * std::sin(angleY)) - height / 2;
    return {x, y};
}

PictureFrames::~PictureFrames() {
    teardown();
}

bool PictureFrames::fail(PTC& display, const char* message) {
    services.report(display, message);
    dropPictures();
    return false;
}

void PictureFrames::dropPictures() {
    pictures[1].reset();
    pictures[0].reset();
}

bool PictureFrames::setup(PTC& display, int32_t width, int32_t height, bool upscale) {
    teardown();
    // The frame is drawn at 320x200 (and doubled to 640x400): a smaller display would be drawn
    // past its surfaces' ends.
    const bool fits = upscale ? width >= doubledWidth && height >= doubledHeight
                              : width >= rayAreaWidth && height >= rayAreaHeight;
    if (fits) screen.reset(newSurface(display, width, height));
    if (!screen || !screen->ok()) return fail(display, "could not create surface");

    if (!buildRayTable(tables)) return fail(display, "could not create surface");

    canvas = screen.get();
    if (upscale) {
        ownCanvas.reset(newSurface(display, width, height));
        // The doubling walks both surfaces with one pitch.
        if (!ownCanvas || !ownCanvas->ok() || ownCanvas->pitch() != screen->pitch())
            return fail(display, "could not create surface");
        canvas = ownCanvas.get();
    }

    if (!loadPicture(display, 0) || !loadPicture(display, 1)) return false;

    std::srand(services.milliseconds());
    orbitState.radius = float(std::rand() % 300 + 10);
    orbitState.step = -1.0f;
    orbitState.pictureChoice = uint8_t(std::rand() % 2);
    orbitState.lastTick = services.milliseconds();
    return true;
}

bool PictureFrames::loadPicture(PTC& display, int index) {
    const char* name = pictureNames[index];
    char path[picturePathSize];
    std::unique_ptr<Surface>& picture = pictures[index];

    PathResult found = picturePath(services.windowsDirectory, name, path);
    if (found == PathResult::QUERY_FAILED)
        return fail(display, "could not retrieve windows directory");
    // A directory too long for the name is a picture that could not be loaded from there.
    picture.reset(found == PathResult::READY ? new (std::nothrow)
                                                   Surface(display, path, KIND_MEMORY, -1, -1, -1)
                                             : new (std::nothrow) Surface());
    if (!picture)
        return fail(display, index == 0 ? "could not process or load kelmor1.tga"
                                        : "could not process or load kelmor2.tga");

    if (!picture->ok()) {
        found = picturePath(services.systemDirectory, name, path);
        if (found == PathResult::QUERY_FAILED)
            return fail(display, "could not retrieve system directory");
        if (found == PathResult::READY) picture->load(display, path, KIND_MEMORY, -1, -1, -1);
    }
    if (!picture->ok() && picturePath(services.packageDirectory, name, path) == PathResult::READY)
        picture->load(display, path, KIND_MEMORY, -1, -1, -1);

    if (!picture->convert(Format(ARGB8888)))
        return fail(display, index == 0 ? "could not process or load kelmor1.tga"
                                        : "could not process or load kelmor2.tga");
    return true;
}

void PictureFrames::drawPicture(Surface& picture) {
    const uint32_t clockX = services.milliseconds();
    const uint32_t clockY = services.milliseconds();
    const PicturePosition at =
        picturePosition(orbitState.radius, clockX, clockY, picture.width(), picture.height());
    // The copy clips to the canvas; a position wholly outside copies nothing.
    picture.copy(*canvas, at.x, at.y, 0);
}

bool PictureFrames::frame(PTC& display, bool upscale, uint8_t rowOffset) {
    if (!screen || !canvas) return false;

    const bool cleared = withPixels(
        *canvas, [&](void* pixels) { clearCanvas(pixels, canvas->pitch(), canvas->height()); });
    if (!cleared) return fail(display, "could not lock surface");

    advanceOrbit(orbitState, services.milliseconds());

    Surface* picture = pictures[orbitState.pictureChoice ? 1 : 0].get();
    if (picture) drawPicture(*picture);

    const bool rays = withPixels(*canvas, [&](void* pixels) {
        const uint32_t tick = rayTick(services.milliseconds());
        addRays(tables, pixels, canvas->pitch(), tick);
        regenerateLightMap(tables, tick);
    });
    if (!rays) return fail(display, "could not lock surface");

    if (upscale) {
        // The doubled rows must fit below the offset, and the doubling needs its own canvas.
        if (canvas == screen.get() || int32_t(rowOffset) + doubledHeight > screen->height())
            return fail(display, "could not lock surface");
        bool doubled = false;
        withPixels(*screen, [&](void* screenPixels) {
            doubled = withPixels(*canvas, [&](void* canvasPixels) {
                doubleCanvas(screenPixels, canvasPixels, canvas->pitch(), rowOffset);
            });
        });
        if (!doubled) return fail(display, "could not lock surface");
    }

    screen->update();
    return true;
}

void PictureFrames::teardown() {
    ownCanvas.reset();
    screen.reset();
    canvas = nullptr;
    tables.lightMap.reset();
    tables.rayTable.reset();
    dropPictures();
}
