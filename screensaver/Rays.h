#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

// The light-ray effect over a 320x200 area of 32-bit pixels (bytes blue, green, red, alpha).
// Every drawing routine takes a pointer to the top row and a signed pitch in bytes: row y starts
// at pixels + y * pitch, 4-byte aligned.

constexpr int32_t rayAreaWidth = 320;
constexpr int32_t rayAreaHeight = 200;

// The polar table: row i + 150 for i in -150..149, column x + 240 for x in -240..239.
constexpr int32_t rayTableRows = 300;
constexpr int32_t rayTableColumns = 480;
constexpr size_t rayTableEntries = size_t(rayTableRows) * rayTableColumns;

// The light map: 256 angle rows of 256 distance columns (254 the centre, 255 always 0).
constexpr int32_t lightMapRows = 256;
constexpr int32_t lightMapColumns = 256;
constexpr size_t lightMapBytes = size_t(lightMapRows) * lightMapColumns;

// The doubled image: 640x400, of which columns 638 and 639 are never written.
constexpr int32_t doubledWidth = 2 * rayAreaWidth;
constexpr int32_t doubledHeight = 2 * rayAreaHeight;

// The effect's two heap tables. Empty until buildRayTable succeeds; the drawing routines do
// nothing on empty tables. Declaration order frees the light map before the ray table.
struct RayTables {
    struct FreeBlock {
        void operator()(void* block) const { std::free(block); }
    };
    std::unique_ptr<int32_t[], FreeBlock> rayTable; // rayTableEntries entries, row-major
    std::unique_ptr<uint8_t[], FreeBlock> lightMap; // lightMapBytes bytes, row-major

    bool ok() const { return rayTable && lightMap; }
};

// Allocates and fills the ray table and a cleared light map, then swaps them into tables.
// false when either allocation fails; tables are then left as they were. allocate (std::malloc
// when null) must return blocks that std::free releases.
bool buildRayTable(RayTables& tables, void* (*allocate)(size_t) = nullptr);

// Zeroes the first 320 pixels of each of the first height rows.
void clearCanvas(void* pixels, int32_t pitch, int32_t height);

// The tick count of the effect: 40 ticks per second of the millisecond clock.
inline uint32_t rayTick(uint32_t milliseconds) {
    return milliseconds / 25;
}

// Top-left corner of the 320x200 window of the ray table read at a tick; it wanders with time
// and always lies inside the table (rows 4..96, columns 4..156).
struct RayWindow {
    int32_t rowStart;
    int32_t colStart;
};
RayWindow rayWindow(uint32_t tick);

// Adds the rays to the 320x200 area at the top left of the canvas: green and red by the light
// map value, blue by half of it, each saturating at 255; the alpha byte is kept.
// The first form reads the clock and returns the tick it used, for regenerateLightMap.
uint32_t addRays(const RayTables& tables, void* pixels, int32_t pitch);
void addRays(const RayTables& tables, void* pixels, int32_t pitch, uint32_t tick);
// Reads the window at the given corner, moved inside the table if it is not.
void addRays(const RayTables& tables, void* pixels, int32_t pitch, RayWindow window);

// Rewrites the light map from the tick of this frame's rays, for the next frame.
void regenerateLightMap(RayTables& tables, uint32_t tick);

// Doubles the 320x200 top-left area of the canvas into the screen from row rowOffset on, with a
// smoothing filter. Both use the same pitch. Source row 200 is read as the lower neighbour of
// row 199, so the canvas needs at least 201 rows.
void doubleCanvas(void* screen, const void* canvas, int32_t pitch, int32_t rowOffset);
