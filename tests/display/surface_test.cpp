#include "backends/Dummy.h"
#include "backends/Software.h"
#include "conversion/Raster.h"
#include "display/Palette.h"
#include "display/Surface.h"
#include "front/PTC.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

// Surfaces: creation and its checks, pitch and orientation, clipping, palettes, re-creation,
// and a copy matrix over every pair of standard formats.

namespace {

// A surface created during static initialisation, before main; it must still be intact when
// the library's own statics go.
Surface earlySurface(16, 16, Format(RGB565), 30, -1, -1, -1);

// Forwards to a software surface and writes down every copy it is asked for.
class RecordingSurface : public ::SURFACE {
  public:
    struct Call {
        Rect source, target;
    };
    RecordingSurface(::SURFACE* wrapped, std::vector<Call>* log) : inner(wrapped), calls(log) {}
    ~RecordingSurface() override { delete inner; }
    void* lock(int wait) override { return inner->lock(wait); }
    void unlock() override { inner->unlock(); }
    int lockCount() override { return inner->lockCount(); }
    int lockable() override { return 1; }
    int restore() override { return 0; }
    int reservedA(Surface&, int) override { return 0; }
    int reservedB(Surface&, int, int) override { return 0; }
    int copy(Surface& s, Surface& d, int flags, const void* lookup) override {
        calls->push_back({s.rect(), d.rect()});
        return inner->copy(s, d, flags, lookup);
    }
    int copyArea(Surface& s, const Rect& sr, Surface& d, const Rect& dr, int flags,
                 const void* lookup) override {
        calls->push_back({sr, dr});
        return inner->copyArea(s, sr, d, dr, flags, lookup);
    }
    int transfer(Surface&, Surface&, int, const void*) override { return 0; }
    int transferArea(Surface&, const Rect&, Surface&, const Rect&, int, const void*) override {
        return 0;
    }
    int nativeType() override { return 0; }
    void* nativeData() override { return nullptr; }
    int valid() override { return inner->valid(); }

  private:
    ::SURFACE* inner;
    std::vector<Call>* calls;
};

// A software back end whose answers a test can bend, counting its calls.
class TestBackEnd : public ISoftware {
  public:
    int creates = 0;
    int32_t answerKind = 0;        // non-zero: written back as the kind
    int32_t answerOrientation = 0; // non-zero: asked of the software surface for -1
    int32_t widthChange = 0;
    bool record = false;
    std::vector<RecordingSurface::Call> calls;

    ::SURFACE* createSurface(int32_t& width, int32_t& height, Format& format, int32_t& kind,
                             int32_t& orientation, int32_t& advance, int32_t& variant) override {
        ++creates;
        if (answerOrientation && orientation == -1) orientation = answerOrientation;
        int32_t memoryKind = -1;
        ::SURFACE* made = ISoftware::createSurface(width, height, format, memoryKind, orientation,
                                                   advance, variant);
        if (!made) return nullptr;
        kind = answerKind ? answerKind : memoryKind;
        width += widthChange;
        return record ? new RecordingSurface(made, &calls) : made;
    }
};

const uint8_t* row(Surface& s, void* base, int y) {
    return static_cast<const uint8_t*>(base) + ptrdiff_t(y) * s.pitch();
}

void fillRandom(Surface& s, std::mt19937& random) {
    uint8_t* p = static_cast<uint8_t*>(s.lock(1));
    ASSERT_NE(p, nullptr);
    const int64_t rowBytes = int64_t(s.width()) * s.bytes();
    for (int y = 0; y < s.height(); ++y)
        for (int64_t i = 0; i < rowBytes; ++i) p[ptrdiff_t(y) * s.pitch() + i] = uint8_t(random());
    s.unlock();
}

// Pixel bytes of every row, top to bottom, without the advance.
std::vector<uint8_t> picture(Surface& s) {
    std::vector<uint8_t> out;
    void* p = s.lock(1);
    if (!p) return out;
    for (int y = 0; y < s.height(); ++y) {
        const uint8_t* r = row(s, p, y);
        out.insert(out.end(), r, r + int64_t(s.width()) * s.bytes());
    }
    s.unlock();
    return out;
}

void randomPalette(Palette& p, unsigned seed) {
    std::mt19937 random(seed);
    uint32_t* c = p.lock();
    for (int i = 0; i < 256; ++i) c[i] = uint32_t(random());
    p.unlock();
}

} // namespace

TEST(SurfaceEmpty, EveryOperationIsHarmlessAndFails) {
    Surface s, other(4, 4, Format(ARGB8888), 30, -1, -1, -1);
    EXPECT_FALSE(s.ok());
    EXPECT_EQ(s.lock(1), nullptr);
    s.unlock();
    EXPECT_EQ(s.lockCount(), 0);
    EXPECT_EQ(s.width(), 0);
    EXPECT_EQ(s.pitch(), 0);
    EXPECT_EQ(s.backEnd(), nullptr);
    EXPECT_EQ(s.area(), nullptr);
    EXPECT_EQ(s.palette(), nullptr);
    EXPECT_FALSE(s.copy(other, 0));
    EXPECT_FALSE(other.copy(s, 0));
    EXPECT_FALSE(s.copy(other, 1, 1, 0));
    EXPECT_FALSE(other.copy(s, 0, 0, 0));
    EXPECT_FALSE(s.update());
    EXPECT_FALSE(s.update(Rect(0, 0, 1, 1)));
    EXPECT_FALSE(s.convert(Format(RGB565)));
    EXPECT_FALSE(s.convert(Format()));
    EXPECT_FALSE(s.migrateToMemory());
    EXPECT_FALSE(s.setOrientation(21));
    EXPECT_FALSE(s.reconfigure(30, 21, 0, 10));
    EXPECT_FALSE(s.restore());
    EXPECT_FALSE(s.setArea(ClipArea(Rect(), Rect())));
    Palette p;
    EXPECT_FALSE(s.attachPalette(&p));
    EXPECT_EQ(s.nativeType(), 0);
    EXPECT_EQ(s.nativeData(), nullptr);
    s.close();
    s.detach();
}

TEST(SurfaceEmpty, ClosedDisplayGivesNoSurface) {
    PTC closed;
    Surface a(closed, 320, 200, Format(ARGB8888), 30, -1, -1, -1);
    Surface b(closed, 30);
    Surface c(&staticDummy, 320, 200, Format(ARGB8888), 30, -1, -1, -1);
    EXPECT_FALSE(a.ok());
    EXPECT_FALSE(b.ok());
    EXPECT_FALSE(c.create(&staticDummy, 8, 8, Format(RGB565), 30, -1, -1, -1))
        << "a dummy surface is no surface, so creation fails";
    EXPECT_FALSE(c.ok());
    Surface d(8, 8, Format(RGB565), 30, -1, -1, -1);
    EXPECT_FALSE(d.update(closed));
    EXPECT_FALSE(d.migrate(closed));
    EXPECT_TRUE(d.ok());
}

TEST(SurfaceCreate, SoftwareDefaults) {
    Surface s(320, 200, Format(ARGB8888), 30, -1, -1, -1);
    ASSERT_TRUE(s.ok());
    EXPECT_EQ(s.kind(), 30);
    EXPECT_EQ(s.orientation(), 20);
    EXPECT_EQ(s.advance(), 0);
    EXPECT_EQ(s.variant(), 10);
    EXPECT_EQ(s.pitch(), 1280);
    EXPECT_EQ(s.pixels(), 64000);
    EXPECT_EQ(s.bits(), 32);
    EXPECT_EQ(s.bytes(), 4);
    EXPECT_EQ(s.rect(), Rect(0, 0, 320, 200));
    EXPECT_EQ(s.backEnd(), nullptr) << "the software interface is not reported";
    ASSERT_NE(s.area(), nullptr);
    EXPECT_EQ(s.area()->source(), Rect(0, 0, 320, 200));
    EXPECT_EQ(s.area()->destination(), Rect(0, 0, 320, 200));
    EXPECT_EQ(s.palette(), nullptr);
    Surface padded(320, 200, Format(ARGB8888), 30, -1, 4, -1);
    EXPECT_EQ(padded.pitch(), 1284);
    EXPECT_TRUE(earlySurface.ok()) << "made before main";
}

TEST(SurfaceCreate, BottomUpAnswerGivesNegativePitch) {
    TestBackEnd backEnd;
    backEnd.answerOrientation = 21;
    Surface s(&backEnd, 320, 200, Format(ARGB8888), 30, -1, -1, -1);
    ASSERT_TRUE(s.ok());
    EXPECT_EQ(s.orientation(), 21);
    EXPECT_EQ(s.pitch(), -1280);
    EXPECT_EQ(s.backEnd(), &backEnd);
    uint8_t* p = static_cast<uint8_t*>(s.lock(1));
    uint8_t* lowest = p + 199 * s.pitch();
    EXPECT_LT(lowest, p) << "row 0 is the last row in memory";
    // Every row through (lock, pitch) stays inside the buffer (the sanitizers watch).
    for (int y = 0; y < 200; ++y) std::memset(p + ptrdiff_t(y) * s.pitch(), y, 1280);
    EXPECT_EQ(lowest[0], 199);
    s.unlock();
}

TEST(SurfaceCreate, AnswersAreCheckedAgainstTheRequest) {
    TestBackEnd backEnd;
    backEnd.answerKind = 31;
    Surface s;
    EXPECT_TRUE(s.create(&backEnd, 8, 8, Format(RGB565), 33, -1, -1, -1)) << "33 takes 31";
    EXPECT_EQ(s.kind(), 31);
    EXPECT_TRUE(s.create(&backEnd, 8, 8, Format(RGB565), -1, -1, -1, -1)) << "-1 takes anything";
    backEnd.answerKind = 30;
    EXPECT_TRUE(s.create(&backEnd, 8, 8, Format(RGB565), 33, -1, -1, -1)) << "33 takes 30";
    EXPECT_EQ(s.kind(), 30);
    backEnd.answerKind = 32;
    EXPECT_FALSE(s.create(&backEnd, 8, 8, Format(RGB565), 33, -1, -1, -1)) << "33 refuses 32";
    backEnd.answerKind = 31;
    EXPECT_FALSE(s.create(&backEnd, 8, 8, Format(RGB565), 30, -1, -1, -1)) << "30 refuses 31";
    backEnd.answerKind = 0;
    backEnd.answerOrientation = 21;
    EXPECT_TRUE(s.create(&backEnd, 8, 8, Format(RGB565), 30, 20, -1, -1)) << "20 asked, 20 given";
    void* kept = s.lock(1);
    s.unlock();
    backEnd.widthChange = 1;
    EXPECT_FALSE(s.create(&backEnd, 16, 4, Format(ARGB8888), 30, -1, -1, -1)) << "width changed";
    // Every failure left the last surface as it was.
    EXPECT_TRUE(s.ok());
    EXPECT_EQ(s.width(), 8);
    EXPECT_EQ(s.format(), Format(RGB565));
    EXPECT_EQ(s.orientation(), 20);
    EXPECT_EQ(s.lock(1), kept);
    s.unlock();
}

TEST(SurfaceCreate, BadArgumentsNeverReachTheBackEnd) {
    TestBackEnd backEnd;
    Surface s;
    EXPECT_FALSE(s.create(&backEnd, 0, 8, Format(RGB565), 30, -1, -1, -1));
    EXPECT_FALSE(s.create(&backEnd, 8, -1, Format(RGB565), 30, -1, -1, -1));
    EXPECT_FALSE(s.create(&backEnd, 8, 8, Format(), 30, -1, -1, -1));
    EXPECT_FALSE(s.create(&backEnd, 8, 8, Format(RGB565), 30, -1, -2, -1));
    EXPECT_FALSE(s.create(nullptr, 8, 8, Format(RGB565), 30, -1, -1, -1));
    EXPECT_EQ(backEnd.creates, 0);
    EXPECT_FALSE(s.createCompatible(&backEnd, 30)) << "a back end with no display: 0 x 0";
    EXPECT_FALSE(s.createCompatible(static_cast<Interface*>(nullptr), 30));
    EXPECT_FALSE(s.create(65536, 65536, Format(ARGB8888), 30, -1, -1, -1)) << "16 GiB";
    EXPECT_FALSE(s.create(1 << 20, 1 << 12, Format(INDEX8), 30, -1, -1, -1)) << "2^32 bytes";
}

TEST(SurfaceCreate, MovingBetweenBackEndsRenewsTheRegistration) {
    auto* first = new TestBackEnd;
    auto* second = new TestBackEnd;
    Surface s(first, 8, 8, Format(RGB565), 30, -1, -1, -1);
    ASSERT_TRUE(s.create(second, 4, 4, Format(ARGB8888), 30, -1, -1, -1));
    EXPECT_EQ(first->removeSurface(&s), 0) << "left the first";
    EXPECT_EQ(s.backEnd(), second);
    delete first;
    EXPECT_TRUE(s.ok());
    delete second;
    EXPECT_FALSE(s.ok());
    EXPECT_EQ(s.backEnd(), nullptr);
}

TEST(SurfaceCopy, ClippedAtTheDestinationEdges) {
    TestBackEnd backEnd;
    backEnd.record = true;
    Surface source(320, 200, Format(ARGB8888), 30, -1, -1, -1);
    Surface screen(&backEnd, 640, 400, Format(ARGB8888), 30, -1, -1, -1);
    ASSERT_TRUE(source.ok() && screen.ok());
    struct Case {
        const char* reason;
        int32_t x, y;
        bool asked;
        Rect source, target;
    } cases[] = {
        {"partly outside", 600, 380, true, Rect(0, 0, 40, 20), Rect(600, 380, 640, 400)},
        {"touching the right edge: a 0 x 200 copy", 640, 0, true, Rect(0, 0, 0, 200),
         Rect(640, 0, 640, 200)},
        {"past the right edge: nothing asked", 641, 0, false, Rect(), Rect()},
        {"above and left", -300, -190, true, Rect(300, 190, 320, 200), Rect(0, 0, 20, 10)},
        {"far out: no overflow", INT32_MAX, INT32_MAX, false, Rect(), Rect()},
        {"far out the other way", INT32_MIN, INT32_MIN, false, Rect(), Rect()},
    };
    for (const Case& c : cases) {
        backEnd.calls.clear();
        EXPECT_TRUE(source.copy(screen, c.x, c.y, 0)) << c.reason;
        ASSERT_EQ(backEnd.calls.size(), c.asked ? 1u : 0u) << c.reason;
        if (!c.asked) continue;
        EXPECT_EQ(backEnd.calls[0].source, c.source) << c.reason;
        EXPECT_EQ(backEnd.calls[0].target, c.target) << c.reason;
    }
    backEnd.calls.clear();
    EXPECT_TRUE(source.copy(screen, Rect(10, 10, 0, 0), Rect(0, 0, 10, 10), 0));
    ASSERT_EQ(backEnd.calls.size(), 1u);
    EXPECT_EQ(backEnd.calls[0].source, Rect(0, 0, 10, 10)) << "a reversed rectangle";
    EXPECT_EQ(backEnd.calls[0].target, Rect(0, 0, 10, 10));
    backEnd.calls.clear();
    EXPECT_TRUE(source.copy(screen, Rect(0, 0, 100, 100), Rect(5, 5, 25, 15), 0));
    ASSERT_EQ(backEnd.calls.size(), 1u);
    EXPECT_EQ(backEnd.calls[0].source, Rect(0, 0, 20, 10)) << "no scaling: the smaller size";
    EXPECT_EQ(backEnd.calls[0].target, Rect(5, 5, 25, 15));
}

TEST(SurfaceCopy, ClipAreasRestrictBothSides) {
    TestBackEnd backEnd;
    backEnd.record = true;
    Surface source(100, 100, Format(RGB565), 30, -1, -1, -1);
    Surface target(&backEnd, 100, 100, Format(RGB565), 30, -1, -1, -1);
    ASSERT_TRUE(source.setArea(ClipArea(Rect(60, 60, 10, 10), Rect(0, 0, 1, 1))));
    EXPECT_EQ(source.area()->source(), Rect(10, 10, 60, 60)) << "stored normalised";
    EXPECT_EQ(source.area()->references, 1);
    ASSERT_TRUE(target.setArea(ClipArea(Rect(0, 0, 1, 1), Rect(20, 30, 40, 50))));
    EXPECT_TRUE(source.copy(target, Rect(0, 0, 100, 100), Rect(0, 0, 100, 100), 0));
    ASSERT_EQ(backEnd.calls.size(), 1u);
    EXPECT_EQ(backEnd.calls[0].source, Rect(20, 30, 40, 50));
    EXPECT_EQ(backEnd.calls[0].target, Rect(20, 30, 40, 50));
    backEnd.calls.clear();
    EXPECT_TRUE(source.copy(target, Rect(0, 0, 5, 5), Rect(0, 0, 5, 5), 0)) << "outside";
    EXPECT_TRUE(backEnd.calls.empty());
    // An area larger than the surface cannot make a copy leave the pixels.
    ASSERT_TRUE(source.setArea(ClipArea(Rect(-50, -50, 500, 500), Rect(-50, -50, 500, 500))));
    EXPECT_FALSE(source.copy(target, Rect(-10, 0, 10, 10), Rect(20, 30, 40, 50), 0));
}

TEST(SurfacePalette, GreyRampAndIndexedOnly) {
    Surface grey(4, 4, Format(GREY8), 30, -1, -1, -1);
    ASSERT_NE(grey.palette(), nullptr);
    EXPECT_EQ(grey.palette()->data()[255], 0x00FFFFFFu);
    EXPECT_EQ(grey.palette()->data()[1], 0x00010101u);
    Surface direct(4, 4, Format(ARGB8888), 30, -1, -1, -1);
    Palette colours;
    EXPECT_FALSE(direct.setPalette(colours));
    EXPECT_FALSE(direct.attachPalette(&colours));
    EXPECT_EQ(direct.palette(), nullptr);

    Surface indexed(4, 4, Format(INDEX8), 30, -1, -1, -1);
    EXPECT_EQ(indexed.palette(), nullptr) << "the default palette is not reported";
    randomPalette(colours, 7);
    ASSERT_TRUE(indexed.setPalette(colours));
    ASSERT_NE(indexed.palette(), nullptr);
    EXPECT_NE(indexed.palette(), &colours) << "a private copy";
    EXPECT_TRUE(*indexed.palette() == colours);
    EXPECT_FALSE(indexed.attachPalette(nullptr));

    auto* shared = new Palette(colours);
    ASSERT_TRUE(indexed.attachPalette(shared));
    ASSERT_TRUE(grey.attachPalette(shared));
    EXPECT_TRUE(grey.attachPalette(shared)) << "already attached";
    EXPECT_EQ(shared->release(), 1) << "two references";
    shared->addReference();
    grey.close(); // drops one; the indexed surface still holds the other
    EXPECT_EQ(indexed.palette(), shared);
    // The last holder frees it (LeakSanitizer would report it otherwise).
}

TEST(SurfaceLocks, CountedByTheBackEnd) {
    Surface s(4, 4, Format(RGB565), 30, -1, -1, -1);
    s.lock(1);
    s.lock(1);
    EXPECT_EQ(s.lockCount(), 2);
    s.unlock();
    s.unlock();
    s.unlock();
    EXPECT_EQ(s.lockCount(), 0);
}

TEST(SurfaceRecreate, ConvertToTheSameFormatTouchesNothing) {
    Surface s(8, 8, Format(RGB565), 30, -1, 2, -1);
    void* pixels = s.lock(1);
    s.unlock();
    EXPECT_TRUE(s.convert(Format(RGB565)));
    EXPECT_EQ(s.lock(1), pixels);
    s.unlock();
    EXPECT_FALSE(s.convert(Format(FAKEMODE1A))) << "no bytes: no surface";
    EXPECT_FALSE(s.convert(Format(INDEX8))) << "no converter from a direct format";
    EXPECT_EQ(s.format(), Format(RGB565));
    EXPECT_EQ(s.lock(1), pixels) << "failures leave the surface as it was";
    s.unlock();
}

TEST(SurfaceRecreate, IndexedToArgbThroughItsPalette) {
    Surface s(37, 11, Format(INDEX8), 30, 21, -1, -1);
    Palette colours;
    randomPalette(colours, 3);
    ASSERT_TRUE(s.setPalette(colours));
    std::mt19937 random(5);
    fillRandom(s, random);
    const std::vector<uint8_t> indices = picture(s);
    ASSERT_TRUE(s.convert(Format(ARGB8888)));
    EXPECT_EQ(s.format(), Format(ARGB8888));
    EXPECT_EQ(s.orientation(), 21);
    EXPECT_EQ(s.pitch(), -37 * 4);
    EXPECT_EQ(s.palette(), nullptr) << "a direct surface keeps no palette";
    const std::vector<uint8_t> argb = picture(s);
    ASSERT_EQ(argb.size(), indices.size() * 4);
    for (size_t i = 0; i < indices.size(); ++i) {
        uint32_t v;
        std::memcpy(&v, &argb[4 * i], 4);
        ASSERT_EQ(v, colours.data()[indices[i]]) << "pixel " << i;
    }
}

TEST(SurfaceRecreate, OrientationAdvanceAndBackEndKeepThePixels) {
    std::mt19937 random(11);
    Surface s(13, 7, Format(RGB888), 30, -1, -1, -1);
    fillRandom(s, random);
    const std::vector<uint8_t> original = picture(s);
    // A clip area does not limit re-creation.
    ASSERT_TRUE(s.setArea(ClipArea(Rect(0, 0, 1, 1), Rect(0, 0, 1, 1))));

    EXPECT_TRUE(s.setOrientation(20)) << "already";
    ASSERT_TRUE(s.setOrientation(21));
    EXPECT_EQ(s.pitch(), -39);
    EXPECT_EQ(picture(s), original);

    ASSERT_TRUE(s.reconfigure(30, 20, 5, 10));
    EXPECT_EQ(s.pitch(), 44);
    EXPECT_EQ(s.advance(), 5);
    EXPECT_EQ(picture(s), original);
    EXPECT_FALSE(s.reconfigure(31, 20, 5, 10)) << "memory has no primary";
    EXPECT_FALSE(s.reconfigure(30, 20, 5, 11));
    EXPECT_EQ(s.pitch(), 44);

    auto* other = new TestBackEnd;
    ASSERT_TRUE(s.migrate(other));
    EXPECT_EQ(s.backEnd(), other);
    EXPECT_EQ(picture(s), original);
    EXPECT_TRUE(s.migrate(other)) << "already there";
    EXPECT_EQ(softwareInterface().removeSurface(&s), 0) << "unregistered from memory";
    EXPECT_EQ(other->removeSurface(&s), 1);
    EXPECT_EQ(other->removeSurface(&s), 0) << "registered once, the temporary is gone";
    other->addSurface(&s);
    ASSERT_TRUE(s.migrateToMemory());
    EXPECT_EQ(s.backEnd(), nullptr);
    delete other;
    EXPECT_TRUE(s.ok()) << "no longer the other back end's";
    EXPECT_EQ(picture(s), original);
    EXPECT_FALSE(s.migrate(static_cast<Interface*>(nullptr)));
}

TEST(SurfaceRecreate, RestoreRemakesAClosedSurface) {
    Surface s(6, 5, Format(ARGB1555), 30, 21, 2, -1);
    EXPECT_FALSE(s.restore()) << "nothing lost";
    s.close();
    EXPECT_FALSE(s.ok());
    ASSERT_TRUE(s.restore());
    EXPECT_TRUE(s.ok());
    EXPECT_EQ(s.pitch(), -14);
    ASSERT_NE(s.area(), nullptr);
}

// Every pair of standard formats with a converter, between surfaces of both orientations, with
// and without advances, whole and clipped; every destination byte is checked.
namespace {

struct Geometry {
    int32_t orientation, advance;
};
const Geometry geometries[] = {{20, 0}, {21, 0}, {20, 3}, {21, 5}};

// The converter the surfaces use, applied to one pixel: the routine's own result, which the
// conversion tests hold against its formula.
bool convertOne(const Format& from, const Format& to, const uint8_t* pixel, uint8_t* out,
                const void* lookup) {
    std::unique_ptr<RASTER::CONVERTER> c(softwareRaster().converter(from, to));
    return c && c->convert(pixel, out, 1, lookup);
}

std::string pairName(const Format& a, const Format& b, const Geometry& g, const Geometry& h) {
    return std::string(a.name()) + " (" + std::to_string(g.orientation) + "," +
           std::to_string(g.advance) + ") to " + b.name() + " (" + std::to_string(h.orientation) +
           "," + std::to_string(h.advance) + ")";
}

// Raw rows including the advance bytes.
std::vector<uint8_t> rawRows(Surface& s) {
    std::vector<uint8_t> out;
    void* p = s.lock(1);
    for (int y = 0; y < s.height(); ++y) {
        const uint8_t* r = row(s, p, y);
        out.insert(out.end(), r, r + int64_t(s.width()) * s.bytes() + s.advance());
    }
    s.unlock();
    return out;
}

void fillRawRows(Surface& s, std::mt19937& random) {
    uint8_t* p = static_cast<uint8_t*>(s.lock(1));
    const int64_t rowBytes = int64_t(s.width()) * s.bytes() + s.advance();
    for (int y = 0; y < s.height(); ++y)
        for (int64_t i = 0; i < rowBytes; ++i) p[ptrdiff_t(y) * s.pitch() + i] = uint8_t(random());
    s.unlock();
}

} // namespace

TEST(SurfaceCopyMatrix, EveryPairBothOrientationsWithAdvances) {
    constexpr int W = 13, H = 7;
    constexpr int DX = -2, DY = 1; // the offset copy: two columns cut left, one row below
    // The rectangle copy: (1, 2, W, H) to (3, 1), cut at the right edge.
    enum { WHOLE, OFFSET, RECTANGLE };
    const char* const modeNames[] = {"", " offset", " rectangle"};
    std::mt19937 random(2024);
    Palette colours;
    randomPalette(colours, 99);
    int pairs = 0;
    for (int32_t from = FIRST_FORMAT_ID; from <= LAST_STANDARD_ID; ++from) {
        const Format source(from);
        if (source.bytes == 0) continue; // fake modes hold no pixels
        for (int32_t to = FIRST_FORMAT_ID; to <= LAST_STANDARD_ID; ++to) {
            const Format destination(to);
            if (destination.bytes == 0) continue;
            bool converts = false;
            for (const Geometry& g : geometries)
                for (const Geometry& h : geometries)
                    for (int mode = 0; mode < 3; ++mode) {
                        Surface a(W, H, source, 30, g.orientation, g.advance, -1);
                        Surface b(W, H, destination, 30, h.orientation, h.advance, -1);
                        ASSERT_TRUE(a.ok() && b.ok());
                        if (source.id == INDEX8) {
                            ASSERT_TRUE(a.setPalette(colours));
                        }
                        fillRawRows(a, random);
                        fillRawRows(b, random);
                        const std::vector<uint8_t> before = rawRows(b);
                        const void* lookup =
                            source.type == INDEXED ? a.palette()->lookup(destination) : nullptr;
                        uint8_t probe[8] = {}, out[8];
                        converts = convertOne(source, destination, probe, out, lookup);
                        const bool copied = mode == WHOLE    ? a.copy(b, 0)
                                            : mode == OFFSET ? a.copy(b, DX, DY, 0)
                                                             : a.copy(b, Rect(1, 2, W, H),
                                                                      Rect(3, 1, W + 2, H - 1), 0);
                        const std::string name =
                            pairName(source, destination, g, h) + modeNames[mode];
                        ASSERT_EQ(copied, converts) << name;
                        const std::vector<uint8_t> after = rawRows(b);
                        if (!converts) {
                            ASSERT_EQ(after, before) << name << ": a refusal writes nothing";
                            continue;
                        }
                        void* pa = a.lock(1);
                        const size_t rowBytes = size_t(W) * destination.bytes + h.advance;
                        for (int y = 0; y < H; ++y)
                            for (int x = 0; x < W; ++x) {
                                // Where the pixel came from, or outside the source when it was not
                                // copied.
                                int sx = x, sy = y;
                                if (mode == OFFSET) sx = x - DX, sy = y - DY;
                                if (mode == RECTANGLE) {
                                    sx = x - 2, sy = y + 1;
                                    if (x < 3 || y < 1 || y >= H - 1) sx = W;
                                }
                                const size_t at = y * rowBytes + size_t(x) * destination.bytes;
                                uint8_t expected[8];
                                std::memcpy(expected, &before[at], destination.bytes);
                                if (sx < W && sy >= 0)
                                    convertOne(source, destination,
                                               row(a, pa, sy) + sx * source.bytes, expected,
                                               lookup);
                                ASSERT_EQ(std::memcmp(&after[at], expected, destination.bytes), 0)
                                    << name << " at " << x << "," << y;
                            }
                        a.unlock();
                        for (int y = 0; y < H; ++y) // the advance bytes are never written
                            ASSERT_EQ(std::memcmp(&after[y * rowBytes + W * destination.bytes],
                                                  &before[y * rowBytes + W * destination.bytes],
                                                  h.advance),
                                      0)
                                << name << " advance of row " << y;
                    }
            pairs += converts;
        }
    }
    // 13 formats with pixels: the direct ones reach every direct format and GREY8, the indexed
    // ones reach everything.
    EXPECT_GE(pairs, 100);
}
