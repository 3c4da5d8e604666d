#pragma once
#include "display/Surface.h"
#include "screensaver/Rays.h"
#include "screensaver/Screensaver.h"

#include <cstdint>
#include <functional>
#include <memory>

// The two pictures, looked up in the Windows directory, then in the System directory, then in
// the folder an installed package keeps them in, where the platform has one.
constexpr const char* pictureNames[2] = {"kelmor1.tga", "kelmor2.tga"};

// The installed package's picture folder, answered as GetWindowsDirectoryA answers; 0 where the
// platform has none (Windows: the INF puts the pictures into the Windows directory). Natively
// the share/kelmor folder beside the program's libexec/xscreensaver one.
uint32_t packagePictureDirectory(char* buffer, uint32_t size);

// Size of the buffer a picture's path is built in, the terminating NUL included.
constexpr uint32_t picturePathSize = 260;

// Where the frames get their clock, their directories and their way to report a failure. The
// defaults are the platform's and PTC::error; tests put in their own.
struct FrameServices {
    using DirectoryQuery = std::function<uint32_t(char* buffer, uint32_t size)>;
    std::function<uint32_t()> milliseconds;
    DirectoryQuery windowsDirectory;
    DirectoryQuery systemDirectory;
    DirectoryQuery packageDirectory; // 0: there is none, and a miss there is only a miss
    std::function<void(PTC& display, const char* message)> report;

    FrameServices();
};

// Builds directory, separator and fileName in path. QUERY_FAILED when the query returned 0;
// TOO_LONG when the directory, or the name after it, does not fit the buffer, which is then not
// a usable path.
enum class PathResult { READY, QUERY_FAILED, TOO_LONG };
PathResult picturePath(const FrameServices::DirectoryQuery& query, const char* fileName,
                       char (&path)[picturePathSize]);

// The picture's circling: the radius of its path moves by one every 25 ms tick between 4 and
// 451, and each turn at the top switches the picture.
struct Orbit {
    float radius = 10.0f;
    float step = -1.0f;
    uint8_t pictureChoice = 0; // 0 the first picture, 1 the second
    uint32_t lastTick = 0;     // clock value up to which the ticks have been applied
};

// Applies every tick whose clock value is a multiple of 25 from orbit.lastTick up to but not
// including now, and leaves lastTick at now. Reads the clock as a wrapping 32-bit count, so the
// animation runs on across the wrap after 49.7 days.
void advanceOrbit(Orbit& orbit, uint32_t now);

// Top-left corner of a width x height picture on the elliptic path round the middle of the
// 320x200 area; clockX and clockY are the clock values read for each coordinate.
struct PicturePosition {
    int32_t x, y;
};
PicturePosition picturePosition(float radius, uint32_t clockX, uint32_t clockY, int32_t width,
                                int32_t height);

// The screensaver's frames: one of the two pictures circling the middle of a 320x200 area with
// the light rays on top, doubled when the display is 640 wide.
class PictureFrames : public Frames {
  public:
    PictureFrames() = default;
    explicit PictureFrames(FrameServices injected) : services(std::move(injected)) {}
    // Releases whatever a failure or a missing tear-down left.
    ~PictureFrames() override;

    PictureFrames(const PictureFrames&) = delete;
    PictureFrames& operator=(const PictureFrames&) = delete;

    bool setup(PTC& display, int32_t width, int32_t height, bool upscale) override;
    bool frame(PTC& display, bool upscale, uint8_t rowOffset) override;
    void teardown() override;

    // For inspection: null when not set up.
    Surface* screenSurface() const { return screen.get(); }
    Surface* canvasSurface() const { return canvas; }
    Surface* picture(int index) const { return pictures[index].get(); }
    const Orbit& orbit() const { return orbitState; }
    const RayTables& rayTables() const { return tables; }
    // Puts the animation in a chosen state, so a frame can be drawn at a known place.
    void setOrbit(const Orbit& orbit) { orbitState = orbit; }

  private:
    bool fail(PTC& display, const char* message);
    bool loadPicture(PTC& display, int index);
    void dropPictures();
    void drawPicture(Surface& picture);

    FrameServices services;
    std::unique_ptr<Surface> screen;
    std::unique_ptr<Surface> ownCanvas; // the second surface of a doubled display
    Surface* canvas = nullptr;          // screen, or ownCanvas when doubling
    std::unique_ptr<Surface> pictures[2];
    RayTables tables;
    Orbit orbitState;
};
