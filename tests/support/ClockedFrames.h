#pragma once
// The screensaver's frames on a clock the test sets, with the orbit put at a known radius after
// set-up, pictures from a folder of the test's, and quiet failures; counts the frames drawn. And
// the pictures the preview tests draw: solid blue squares, which the rays (at most 127 added to
// blue) never make as blue.
#include "front/PTC.h"
#include "screensaver/PictureFrames.h"
#include "screensaver/Screensaver.h"

#include "support/TgaFiles.h"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>

constexpr int bluePictureSize = 64;

inline bool writeBluePictures(const std::filesystem::path& directory) {
    tga::File blue = tga::picture(32, bluePictureSize, bluePictureSize, 0x08);
    for (size_t i = 0; i < blue.pixels.size(); i += 4) {
        const uint8_t pixel[4] = {0xFF, 0, 0, 0xFF}; // blue, green, red, alpha
        std::memcpy(&blue.pixels[i], pixel, 4);
    }
    for (const char* name : pictureNames)
        if (!tga::writeFile(directory / name, blue.bytes())) return false;
    return true;
}

struct ClockedFrames : Frames {
    std::atomic<uint32_t> clock{100000};
    std::atomic<int> drawn{0};
    Orbit start;
    PictureFrames inner;

    explicit ClockedFrames(const std::string& directory)
        : inner([this, directory] {
              FrameServices s;
              s.milliseconds = [this] { return clock.load(); };
              s.windowsDirectory = [directory](char* buffer, uint32_t size) {
                  if (directory.size() >= size) return uint32_t(directory.size() + 1);
                  std::memcpy(buffer, directory.c_str(), directory.size() + 1);
                  return uint32_t(directory.size());
              };
              s.systemDirectory = s.windowsDirectory;
              s.report = [](PTC& display, const char*) { display.close(); };
              return s;
          }()) {
        start.radius = 10.0f;
        start.lastTick = clock;
    }
    bool setup(PTC& display, int32_t width, int32_t height, bool upscale) override {
        if (!inner.setup(display, width, height, upscale)) return false;
        inner.setOrbit(start);
        return true;
    }
    bool frame(PTC& display, bool upscale, uint8_t rowOffset) override {
        const bool done = inner.frame(display, upscale, rowOffset);
        ++drawn;
        return done;
    }
    void teardown() override { inner.teardown(); }
};
