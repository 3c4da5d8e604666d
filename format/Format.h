#pragma once
#include "format/Codes.h"

#include <cstdint>

// Standard format ids; 1022..1025 are reserved (valid, compare by id, never built).
enum FormatId : int32_t {
    ARGB8888 = 1000,
    ABGR8888,
    BGRA8888,
    RGBA8888,
    RGB888,
    BGR888,
    RGB565,
    BGR565,
    ARGB1555,
    ABGR1555,
    INDEX8,
    FAKEMODE1A,
    FAKEMODE1B,
    FAKEMODE1C,
    FAKEMODE2A,
    FAKEMODE2B,
    FAKEMODE2C,
    FAKEMODE3A,
    FAKEMODE3B,
    FAKEMODE3C,
    GREY8,
    RGB332,
    FIRST_FORMAT_ID = ARGB8888,
    LAST_STANDARD_ID = RGB332,
    LAST_RESERVED_ID = 1025,
};

struct Channel {
    int32_t shift;
    int32_t width;
    int32_t mask;   // derived from shift and width
    int32_t adjust; // left shift from an 8-bit component; negative = right shift
};

// Pixel format value type: 21 signed 32-bit fields, freely copied.
class Format {
  public:
    int32_t id;
    int32_t type;
    int32_t model;
    int32_t bits;
    int32_t bytes;
    Channel red;
    Channel green;
    Channel blue;
    Channel alpha;

    Format() { clear(); }
    explicit Format(int32_t formatId);
    explicit Format(const char* name);
    Format(int32_t redMask, int32_t greenMask, int32_t blueMask, int32_t alphaMask, int32_t model,
           int32_t bits);
    Format(int32_t redShift, int32_t redWidth, int32_t greenShift, int32_t greenWidth,
           int32_t blueShift, int32_t blueWidth, int32_t alphaShift, int32_t alphaWidth,
           int32_t model, int32_t bits);

    // Re-initialisers; false leaves the format empty.
    bool init(int32_t formatId);
    bool init(const char* name);

    bool ok() const;
    bool operator==(const Format& other) const;
    bool operator!=(const Format& other) const { return !(*this == other); }

    bool pack(uint8_t r, uint8_t g, uint8_t b, uint8_t a, uint8_t* dst, int32_t model) const;
    bool unpack(const uint8_t* src, uint8_t* r, uint8_t* g, uint8_t* b, uint8_t* a,
                int32_t model) const;

    // Name of a standard format ("RGB565"), or null for custom and empty formats.
    const char* name() const;

  private:
    void clear();
    void initPositions(int32_t redShift, int32_t redWidth, int32_t greenShift, int32_t greenWidth,
                       int32_t blueShift, int32_t blueWidth, int32_t alphaShift, int32_t alphaWidth,
                       int32_t model);
    void derive();
};

static_assert(sizeof(Format) == 21 * sizeof(int32_t), "Format is 21 int32 fields");

// ASCII-only case-insensitive equality, shared by format names, keywords and back-end names.
bool equalsIgnoringCase(const char* a, const char* b);
