#include "backends/Software.h"
#include "display/Palette.h"
#include "display/Surface.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

// The software back end on its own: memory surfaces, the registration list and the two
// converting copies.

namespace {

// Taken before main, possibly before the library's own statics, as a static surface would.
ISoftware* const softwareAtStartUp = &softwareInterface();

struct Request {
    int32_t width, height;
    Format format;
    int32_t kind, orientation, advance, variant;
};

std::unique_ptr<SURFACE> make(Request& r) {
    return std::unique_ptr<SURFACE>(softwareInterface().createSurface(
        r.width, r.height, r.format, r.kind, r.orientation, r.advance, r.variant));
}

} // namespace

TEST(SoftwareInterface, ExistsFromStartUpAndReportsNoDisplay) {
    EXPECT_EQ(softwareAtStartUp, &softwareInterface());
    ISoftware& s = softwareInterface();
    EXPECT_EQ(s.ok(), 1);
    char name[8] = "xxxxxxx";
    s.name(name);
    EXPECT_EQ(name[0], '\0');
    EXPECT_EQ(name[1], 'x') << "only the terminating NUL is written";
    int32_t a = 5, b = 6;
    EXPECT_EQ(s.reservedB(a, b), 0);
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 0);
    List<MODE> modes;
    modes.append(new MODE());
    EXPECT_EQ(s.getModes(modes), 0);
    EXPECT_TRUE(modes.empty());
    EXPECT_EQ(s.format(), Format());
    EXPECT_EQ(s.format().id, 0);
    EXPECT_EQ(s.displaySurface(), nullptr);
    EXPECT_EQ(s.open(320, 200, 1127, -1, -1, -1), 0);
    EXPECT_EQ(s.width() + s.height() + s.bits() + s.bytes(), 0);
}

TEST(SoftwareCreateSurface, DefaultsAreWrittenBack) {
    Request r{320, 200, Format(ARGB8888), -1, -1, -1, -1};
    auto s = make(r);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->valid(), 1);
    EXPECT_EQ(r.kind, 30);
    EXPECT_EQ(r.orientation, 20);
    EXPECT_EQ(r.advance, 0);
    EXPECT_EQ(r.variant, 10);
    const uint8_t* p = static_cast<const uint8_t*>(s->lock(1));
    ASSERT_NE(p, nullptr);
    std::vector<uint8_t> zeros(256000, 0);
    EXPECT_EQ(std::memcmp(p, zeros.data(), zeros.size()), 0) << "zero-filled, 256000 bytes";
    s->unlock();
}

TEST(SoftwareCreateSurface, BottomUpWithAdvanceStartsAtTheLastRow) {
    Request r{4, 3, Format(RGB565), 33, 21, 2, 10};
    auto s = make(r);
    ASSERT_TRUE(s);
    EXPECT_EQ(r.kind, 30) << "any kind becomes memory";
    EXPECT_EQ(r.orientation, 21);
    EXPECT_EQ(r.advance, 2);
    uint8_t* p = static_cast<uint8_t*>(s->lock(1));
    ASSERT_NE(p, nullptr);
    // Rows of 10 bytes: row 0 is the last of the 30-byte buffer, so the buffer runs from
    // p - 20 to p + 10 (the sanitizers fault on any byte outside).
    for (int i = -20; i < 10; ++i) EXPECT_EQ(p[i], 0);
    for (int i = -20; i < 10; ++i) p[i] = uint8_t(i);
    s->unlock();
}

TEST(SoftwareCreateSurface, RefusesBadRequestsAndWritesNothingBack) {
    struct Case {
        const char* reason;
        Request request;
    } cases[] = {
        {"orientation 22", {8, 8, Format(RGB565), -1, 22, -1, -1}},
        {"variant 11", {8, 8, Format(RGB565), -1, -1, -1, 11}},
        {"advance -2", {8, 8, Format(RGB565), -1, -1, -2, -1}},
        {"width 0", {0, 8, Format(RGB565), -1, -1, -1, -1}},
        {"height -1", {8, -1, Format(RGB565), -1, -1, -1, -1}},
        {"kind 31: a memory back end has no primary", {8, 8, Format(RGB565), 31, -1, -1, -1}},
        {"kind 32", {8, 8, Format(RGB565), 32, -1, -1, -1}},
        {"invalid format", {8, 8, Format(), -1, -1, -1, -1}},
        {"fake mode without advance: no bytes", {8, 8, Format(FAKEMODE2B), -1, -1, 0, -1}},
        {"row of 2^31 bytes", {536870912, 1, Format(ARGB8888), -1, -1, -1, -1}},
        {"row over 32 bits through the advance", {1, 1, Format(INDEX8), -1, -1, INT32_MAX, -1}},
        {"size 46341^2 just past 2^31 - 1", {46341, 46341, Format(INDEX8), -1, -1, -1, -1}},
        {"size 2^34", {65536, 65536, Format(ARGB8888), -1, -1, -1, -1}},
        {"2^32 - 2 fake-mode pixels in 2 bytes", {INT32_MAX, 2, Format(FAKEMODE1A), -1, -1, 1, -1}},
    };
    for (Case& c : cases) {
        Request r = c.request;
        EXPECT_FALSE(make(r)) << c.reason;
        EXPECT_EQ(r.kind, c.request.kind) << c.reason;
        EXPECT_EQ(r.orientation, c.request.orientation) << c.reason;
        EXPECT_EQ(r.advance, c.request.advance) << c.reason;
        EXPECT_EQ(r.variant, c.request.variant) << c.reason;
    }
    // The largest pixel count that fits, in a one-byte buffer.
    Request r{INT32_MAX, 1, Format(FAKEMODE1A), -1, -1, 1, -1};
    EXPECT_TRUE(make(r)) << "2^31 - 1 fake-mode pixels and a 1-byte advance";
}

TEST(SoftwareSurface, LocksNestAndCountNeverGoesNegative) {
    Request r{2, 2, Format(RGB565), -1, -1, -1, -1};
    auto s = make(r);
    ASSERT_TRUE(s);
    void* first = s->lock(1);
    EXPECT_EQ(s->lock(0), first) << "the argument is not read";
    EXPECT_EQ(s->lockCount(), 2);
    s->unlock();
    s->unlock();
    s->unlock();
    EXPECT_EQ(s->lockCount(), 0);
    EXPECT_EQ(s->lockable(), 1);
    EXPECT_EQ(s->restore(), 0);
    ISoftware::SURFACE empty;
    EXPECT_EQ(empty.valid(), 0) << "no buffer: the base of a derived surface";
}

TEST(SoftwareRegistration, ListedOnceForEveryAdd) {
    ISoftware software;
    Surface a, b;
    EXPECT_EQ(software.addSurface(nullptr), 0);
    EXPECT_EQ(software.removeSurface(&a), 0) << "never added";
    EXPECT_EQ(software.addSurface(&a), 1);
    EXPECT_EQ(software.addSurface(&b), 1);
    EXPECT_EQ(software.addSurface(&a), 1);
    EXPECT_EQ(software.removeSurface(&a), 1);
    EXPECT_EQ(software.removeSurface(&a), 1);
    EXPECT_EQ(software.removeSurface(&a), 0);
    EXPECT_EQ(software.removeSurface(&b), 1);
}

namespace {

uint16_t rgb565(uint32_t argb) {
    return uint16_t(((argb >> 19) & 31) << 11 | ((argb >> 10) & 63) << 5 | ((argb >> 3) & 31));
}

uint32_t pixel32(const Surface& s, void* base, int x, int y) {
    const uint8_t* p = static_cast<const uint8_t*>(base) + ptrdiff_t(y) * s.pitch() + 4 * x;
    return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24;
}

uint16_t pixel16(const Surface& s, void* base, int x, int y) {
    const uint8_t* p = static_cast<const uint8_t*>(base) + ptrdiff_t(y) * s.pitch() + 2 * x;
    return uint16_t(p[0] | p[1] << 8);
}

void fill32(Surface& s) {
    uint8_t* p = static_cast<uint8_t*>(s.lock(1));
    for (int y = 0; y < s.height(); ++y)
        for (int x = 0; x < s.width(); ++x) {
            const uint32_t v = uint32_t(x * 0x0B1D3 + y * 0x7A5E9 + 0x12345678) * 2654435761u;
            std::memcpy(p + ptrdiff_t(y) * s.pitch() + 4 * x, &v, 4);
        }
    s.unlock();
}

} // namespace

TEST(SoftwareCopy, FlagsAndSameMemoryAreRefusedWithoutLeavingLocks) {
    Surface a(8, 4, Format(ARGB8888), 30, -1, -1, -1), b(8, 4, Format(ARGB8888), 30, -1, -1, -1);
    ASSERT_TRUE(a.ok() && b.ok());
    fill32(a);
    ISoftware::SURFACE any; // the copies read only the surfaces they are given
    const Rect whole = a.rect();
    EXPECT_EQ(any.copy(a, b, 1, nullptr), 0);
    EXPECT_EQ(any.copyArea(a, whole, b, whole, 1, nullptr), 0);
    EXPECT_EQ(any.copy(a, a, 0, nullptr), 0) << "onto itself";
    EXPECT_EQ(any.copyArea(a, Rect(0, 0, 2, 2), a, Rect(4, 0, 6, 2), 0, nullptr), 0);
    EXPECT_EQ(a.lockCount(), 0);
    EXPECT_EQ(b.lockCount(), 0);
    void* pb = b.lock(1);
    EXPECT_EQ(pixel32(b, pb, 3, 3), 0u) << "nothing was written";
    b.unlock();
    EXPECT_EQ(any.copy(a, b, 0, nullptr), 1);
    EXPECT_EQ(a.lockCount() + b.lockCount(), 0);
}

TEST(SoftwareCopy, AreaConvertsOnlyTheRectangleRowByRow) {
    Surface a(32, 20, Format(ARGB8888), 30, -1, -1, -1);
    Surface b(16, 8, Format(RGB565), 30, 21, 6, -1); // bottom-up with padding
    ASSERT_TRUE(a.ok() && b.ok());
    fill32(a);
    ISoftware::SURFACE any;
    ASSERT_EQ(any.copyArea(a, Rect(10, 10, 20, 15), b, Rect(0, 0, 0, 0), 0, nullptr), 1);
    void* pa = a.lock(1);
    void* pb = b.lock(1);
    for (int y = 0; y < b.height(); ++y)
        for (int x = 0; x < b.width(); ++x) {
            const bool inside = x < 10 && y < 5;
            const uint16_t expected = inside ? rgb565(pixel32(a, pa, 10 + x, 10 + y)) : 0;
            EXPECT_EQ(pixel16(b, pb, x, y), expected) << x << "," << y;
        }
    a.unlock();
    b.unlock();
}

TEST(SoftwareCopy, NeverConvertsOutsideEitherPicture) {
    Surface a(8, 8, Format(ARGB8888), 30, -1, -1, -1), b(4, 4, Format(ARGB8888), 30, -1, -1, -1);
    ASSERT_TRUE(a.ok() && b.ok());
    ISoftware::SURFACE any;
    struct Case {
        const char* reason;
        Rect source, target;
    } cases[] = {
        {"wider than the destination", Rect(0, 0, 8, 2), Rect(0, 0, 0, 0)},
        {"ends past the destination", Rect(0, 0, 2, 2), Rect(3, 3, 0, 0)},
        {"left of the source", Rect(-1, 0, 1, 1), Rect(0, 0, 0, 0)},
        {"below the source", Rect(0, 7, 1, 9), Rect(0, 0, 0, 0)},
        {"reversed: negative size", Rect(2, 2, 0, 0), Rect(0, 0, 0, 0)},
        {"extreme corners", Rect(INT32_MIN, 0, INT32_MAX, 1), Rect(0, 0, 0, 0)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(any.copyArea(a, c.source, b, c.target, 0, nullptr), 0) << c.reason;
    EXPECT_EQ(any.copyArea(a, Rect(4, 4, 8, 8), b, Rect(0, 0, 0, 0), 0, nullptr), 1);
    EXPECT_EQ(any.copyArea(a, Rect(8, 0, 8, 4), b, Rect(4, 0, 0, 0), 0, nullptr), 1)
        << "an empty rectangle on the edges";
    // A whole copy between pictures of different shapes goes row by row and stays inside.
    EXPECT_EQ(any.copy(b, a, 0, nullptr), 1);
    EXPECT_EQ(any.copy(a, b, 0, nullptr), 0);
}

TEST(SoftwareCopy, IndexedSourceWithoutLookupFails) {
    Surface a(4, 4, Format(INDEX8), 30, -1, -1, -1), b(4, 4, Format(ARGB8888), 30, -1, -1, -1);
    ISoftware::SURFACE any;
    EXPECT_EQ(any.copy(a, b, 0, nullptr), 0);
    Palette colours;
    EXPECT_EQ(any.copy(a, b, 0, colours.lookup(Format(ARGB8888))), 1);
}

TEST(SoftwareDestruction, RegisteredSurfacesAreLeftEmptyOnThePlaceholder) {
    auto* software = new ISoftware;
    Surface a(software, 16, 16, Format(INDEX8), 30, -1, -1, -1);
    Surface b(software, 8, 8, Format(RGB565), 30, 21, 2, -1);
    Surface c; // registered by hand, twice, while it names no back end
    ASSERT_TRUE(a.ok() && b.ok());
    Palette colours;
    ASSERT_TRUE(a.setPalette(colours));
    ASSERT_EQ(software->addSurface(&c), 1);
    ASSERT_EQ(software->addSurface(&c), 1);
    ASSERT_EQ(software->addSurface(&b), 1) << "listed twice";
    ASSERT_NE(a.backEnd(), nullptr);
    delete software;
    for (Surface* s : {&a, &b, &c}) {
        EXPECT_FALSE(s->ok());
        EXPECT_EQ(s->lock(1), nullptr);
        EXPECT_EQ(s->backEnd(), nullptr) << "the placeholder";
        EXPECT_EQ(s->area(), nullptr);
        EXPECT_EQ(s->palette(), nullptr);
    }
    EXPECT_EQ(a.width(), 16) << "the parameters stay for a later restore";
    EXPECT_FALSE(a.restore()) << "the placeholder makes no pixels";
    Surface d(8, 8, Format(ARGB8888), 30, -1, -1, -1);
    EXPECT_FALSE(a.copy(d, 0));
    EXPECT_FALSE(d.copy(a, 0));
    // The surfaces' own destruction afterwards is harmless (the sanitizers watch it).
}
