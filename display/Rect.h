#pragma once
#include <cstdint>
#include <utility>

// Rectangle with exclusive right and bottom edges: width = x2 - x1, height = y2 - y1.
struct Rect {
    int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;

    Rect() = default;
    Rect(int32_t left, int32_t top, int32_t right, int32_t bottom)
        : x1(left), y1(top), x2(right), y2(bottom) {}

    void normalise() {
        if (x1 > x2) std::swap(x1, x2);
        if (y1 > y2) std::swap(y1, y2);
    }
    int32_t width() const { return x2 - x1; }
    int32_t height() const { return y2 - y1; }
    bool operator==(const Rect& o) const {
        return x1 == o.x1 && y1 == o.y1 && x2 == o.x2 && y2 == o.y2;
    }
};
