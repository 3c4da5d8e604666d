#include "backends/Software.h"
#include "conversion/Raster.h"
#include "display/Palette.h"
#include "display/Surface.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace {

// A software back end that answers every request with fixed choices, to check how a surface
// takes a back end's answers.
struct AnsweringBackEnd : ISoftware {
    int32_t orientation = -1, kind = -1, advance = -1, width = 0;
    int calls = 0;
    ::SURFACE* createSurface(int32_t& w, int32_t& h, Format& f, int32_t& k, int32_t& o, int32_t& a,
                             int32_t& v) override {
        ++calls;
        if (orientation != -1) o = orientation;
        if (advance != -1) a = advance;
        ::SURFACE* made = ISoftware::createSurface(w, h, f, k, o, a, v);
        if (kind != -1) k = kind;
        if (width) w = width;
        return made;
    }
    int registered() const {
        int n = 0;
        surfaces.forEach([&](const Registration&) { ++n; });
        return n;
    }
};

const Format argb(ARGB8888);

// Row y, column x of a surface through its lock and pitch.
uint8_t* at(Surface& s, int x, int y) {
    auto* p = static_cast<uint8_t*>(s.lock(1));
    s.unlock();
    return p + int64_t(y) * s.pitch() + int64_t(x) * s.bytes();
}

void fill(Surface& s, uint32_t seed) {
    std::mt19937 random(seed);
    for (int y = 0; y < s.height(); ++y)
        for (int x = 0; x < s.width() * s.bytes(); ++x) at(s, 0, y)[x] = uint8_t(random());
}

} // namespace

TEST(Surface, EmptySurfaceIsHarmless) {
    Surface empty;
    EXPECT_FALSE(empty.ok());
    EXPECT_EQ(empty.lock(1), nullptr);
    EXPECT_EQ(empty.width(), 0);
    EXPECT_EQ(empty.backEnd(), nullptr);
    EXPECT_EQ(empty.palette(), nullptr);
    Surface other(8, 8, argb, 30, -1, -1, -1);
    EXPECT_FALSE(empty.copy(other, 0));
    EXPECT_FALSE(other.copy(empty, 0));
    EXPECT_FALSE(empty.update());
    EXPECT_FALSE(empty.convert(Format(RGB565)));
    EXPECT_FALSE(empty.setArea(ClipArea(Rect(), Rect())));
    EXPECT_FALSE(empty.restore() && empty.ok());
}

TEST(Surface, CreationTakesTheBackEndsChoices) {
    Surface s(320, 200, argb, 30, -1, -1, -1);
    ASSERT_TRUE(s.ok());
    EXPECT_EQ(s.orientation(), 20);
    EXPECT_EQ(s.advance(), 0);
    EXPECT_EQ(s.variant(), 10);
    EXPECT_EQ(s.kind(), 30);
    EXPECT_EQ(s.pitch(), 1280);
    EXPECT_EQ(s.pixels(), 64000);
    EXPECT_EQ(s.backEnd(), nullptr); // the software interface
    EXPECT_EQ(s.area()->source(), Rect(0, 0, 320, 200));

    Surface padded(320, 200, argb, 30, -1, 4, -1);
    EXPECT_EQ(padded.pitch(), 1284);

    AnsweringBackEnd upsideDown;
    upsideDown.orientation = 21;
    Surface flipped(&upsideDown, 320, 200, argb, 30, -1, -1, -1);
    ASSERT_TRUE(flipped.ok());
    EXPECT_EQ(flipped.pitch(), -1280);
    EXPECT_EQ(flipped.backEnd(), &upsideDown);
    // Row 0 is the last row in memory: row 199 sits 199 rows below it.
    EXPECT_EQ(at(flipped, 0, 0) - at(flipped, 0, 199), 199 * 1280);
}

TEST(Surface, AnswersThatDoNotMatchTheRequestAreRefused) {
    AnsweringBackEnd backEnd;
    backEnd.kind = 31;
    Surface any(&backEnd, 16, 16, argb, 33, -1, -1, -1);
    EXPECT_TRUE(any.ok());
    EXPECT_EQ(any.kind(), 31);
    Surface memory(&backEnd, 16, 16, argb, 30, -1, -1, -1);
    EXPECT_FALSE(memory.ok()); // asked for 30, answered 31

    backEnd.kind = -1;
    backEnd.orientation = 21;
    Surface topDown(&backEnd, 16, 16, argb, 30, 20, -1, -1);
    EXPECT_FALSE(topDown.ok());
    backEnd.orientation = -1;
    backEnd.width = 17;
    Surface resized(&backEnd, 16, 16, argb, 30, -1, -1, -1);
    EXPECT_FALSE(resized.ok());
    EXPECT_EQ(backEnd.registered(), 1); // only the one that was accepted

    // A failed re-creation leaves the surface as it was.
    backEnd.width = 0;
    Surface kept(&backEnd, 16, 16, argb, 30, -1, -1, -1);
    ASSERT_TRUE(kept.ok());
    void* pixels = kept.lock(1);
    kept.unlock();
    backEnd.width = 3;
    EXPECT_FALSE(kept.create(&backEnd, 16, 16, argb, 30, -1, -1, -1));
    EXPECT_EQ(kept.lock(1), pixels);
    kept.unlock();
    EXPECT_EQ(backEnd.registered(), 2);
}

TEST(Surface, InvalidRequestsNeverReachTheBackEnd) {
    AnsweringBackEnd backEnd;
    Surface s;
    EXPECT_FALSE(s.create(&backEnd, 0, 10, argb, 30, -1, -1, -1));
    EXPECT_FALSE(s.create(&backEnd, 10, -1, argb, 30, -1, -1, -1));
    EXPECT_FALSE(s.create(&backEnd, 10, 10, Format(), 30, -1, -1, -1));
    EXPECT_FALSE(s.create(&backEnd, 10, 10, argb, 30, -1, -2, -1));
    EXPECT_FALSE(s.create(nullptr, 10, 10, argb, 30, -1, -1, -1));
    EXPECT_EQ(backEnd.calls, 0);
}

TEST(Surface, SizesBeyondInt32AreRefused) {
    Surface s;
    EXPECT_FALSE(s.create(65535, 65535, argb, 30, -1, -1, -1));
    EXPECT_FALSE(s.create(INT32_MAX, 1, argb, 30, -1, -1, -1));
    EXPECT_FALSE(s.create(1, 2, argb, 30, -1, INT32_MAX - 2, -1));
    EXPECT_FALSE(s.ok());
}

TEST(Surface, ClippedCopies) {
    Surface source(320, 200, argb, 30, -1, -1, -1);
    Surface target(640, 400, argb, 30, -1, -1, -1);
    fill(source, 1);
    ASSERT_TRUE(source.copy(target, 600, 380, 0));
    for (int y = 0; y < 20; ++y)
        EXPECT_EQ(std::memcmp(at(target, 600, 380 + y), at(source, 0, y), 40 * 4), 0);
    EXPECT_EQ(at(target, 599, 380)[0], 0);

    // Touching the edge leaves a 0-wide copy, which succeeds and writes nothing.
    Surface blank(640, 400, argb, 30, -1, -1, -1);
    EXPECT_TRUE(source.copy(blank, 640, 0, 0));
    EXPECT_TRUE(source.copy(blank, 641, 0, 0));
    EXPECT_TRUE(source.copy(blank, -400, -300, 0));
    for (int y = 0; y < 400; ++y)
        for (int x = 0; x < 640 * 4; ++x) ASSERT_EQ(at(blank, 0, y)[x], 0);

    // A reversed source rectangle is normalised.
    Surface small(10, 10, argb, 30, -1, -1, -1);
    ASSERT_TRUE(source.copy(small, Rect(10, 10, 0, 0), Rect(0, 0, 10, 10), 0));
    for (int y = 0; y < 10; ++y) EXPECT_EQ(std::memcmp(at(small, 0, y), at(source, 0, y), 40), 0);

    // Negative positions cut the top-left off.
    Surface shifted(320, 200, argb, 30, -1, -1, -1);
    ASSERT_TRUE(source.copy(shifted, -5, -7, 0));
    EXPECT_EQ(std::memcmp(at(shifted, 0, 0), at(source, 5, 7), 315 * 4), 0);
    EXPECT_EQ(std::memcmp(at(shifted, 0, 192), at(source, 5, 199), 315 * 4), 0);
}

TEST(Surface, ClipAreaRules) {
    Rect r(-5, -5, 50, 50);
    EXPECT_TRUE(ClipArea::clip(r, Rect(0, 0, 10, 10)));
    EXPECT_EQ(r, Rect(0, 0, 10, 10));
    Rect touching(10, 0, 20, 5);
    EXPECT_TRUE(ClipArea::clip(touching, Rect(0, 0, 10, 10)));
    EXPECT_EQ(touching.width(), 0);
    Rect apart(11, 0, 20, 5);
    EXPECT_FALSE(ClipArea::clip(apart, Rect(0, 0, 10, 10)));

    ClipArea area(Rect(5, 5, 0, 0), Rect(0, 0, 3, 3));
    EXPECT_EQ(area.source(), Rect(0, 0, 5, 5));

    // A smaller destination rectangle limits what a copy may write.
    Surface source(8, 8, argb, 30, -1, -1, -1), target(8, 8, argb, 30, -1, -1, -1);
    fill(source, 2);
    ClipArea limit(Rect(0, 0, 8, 8), Rect(2, 2, 4, 4));
    ASSERT_TRUE(target.setArea(limit));
    ASSERT_TRUE(source.copy(target, 0, 0, 0));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const bool inside = x >= 2 && x < 4 && y >= 2 && y < 4;
            uint32_t got, expected = 0;
            std::memcpy(&got, at(target, x, y), 4);
            if (inside) std::memcpy(&expected, at(source, x, y), 4);
            EXPECT_EQ(got, expected) << x << "," << y;
        }
}

TEST(Surface, Palettes) {
    Surface grey(4, 4, Format(GREY8), 30, -1, -1, -1);
    ASSERT_TRUE(grey.ok());
    ASSERT_NE(grey.palette(), nullptr);
    EXPECT_EQ(grey.palette()->data()[255], 0x00FFFFFFu);
    EXPECT_EQ(grey.palette()->data()[1], 0x00010101u);

    Surface direct(4, 4, argb, 30, -1, -1, -1);
    Palette colours;
    EXPECT_FALSE(direct.setPalette(colours));
    EXPECT_EQ(direct.palette(), nullptr);

    Surface indexed(4, 4, Format(INDEX8), 30, -1, -1, -1);
    EXPECT_EQ(indexed.palette(), nullptr);
    ASSERT_TRUE(indexed.setPalette(colours));
    ASSERT_NE(indexed.palette(), nullptr);
    EXPECT_NE(indexed.palette(), &colours); // a private copy

    auto* shared = new Palette;
    ASSERT_TRUE(indexed.attachPalette(shared));
    ASSERT_TRUE(indexed.attachPalette(shared)); // already attached: no second reference
    Surface second(4, 4, Format(INDEX8), 30, -1, -1, -1);
    ASSERT_TRUE(second.attachPalette(shared));
    EXPECT_EQ(shared->addReference(), 3);
    shared->release();
    indexed.close();
    EXPECT_EQ(second.palette(), shared); // still alive for the other holder
}

TEST(Surface, IndexedPictureConvertsThroughItsPalette) {
    Surface indexed(16, 16, Format(INDEX8), 30, -1, -1, -1);
    Palette colours;
    uint32_t* c = colours.lock();
    for (int i = 0; i < 256; ++i) c[i] = 0x01000000u * uint32_t(i) + uint32_t(i * 7919) % 0xFFFFFF;
    colours.unlock();
    ASSERT_TRUE(indexed.setPalette(colours));
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) *at(indexed, x, y) = uint8_t(y * 16 + x);
    ASSERT_TRUE(indexed.convert(argb));
    EXPECT_EQ(indexed.format(), argb);
    EXPECT_EQ(indexed.pitch(), 64);
    EXPECT_EQ(indexed.palette(), nullptr);
    for (int i = 0; i < 256; ++i) {
        uint32_t v;
        std::memcpy(&v, at(indexed, i % 16, i / 16), 4);
        ASSERT_EQ(v, colours.data()[i]) << i;
    }
    EXPECT_TRUE(indexed.convert(argb)); // the same format: nothing to do
}

// Every pair of standard formats that has a converter, between surfaces of both orientations
// and with padded rows: each destination pixel is the converter's result for its source pixel.
TEST(Surface, CopyMatrix) {
    RASTER raster;
    Palette colours;
    uint32_t* c = colours.lock();
    std::mt19937 random(7);
    for (int i = 0; i < 256; ++i) c[i] = random();
    colours.unlock();
    int pairs = 0;
    for (int from = 1000; from <= 1021; ++from) {
        for (int to = 1000; to <= 1021; ++to) {
            const Format sf(from), df(to);
            if (!sf.ok() || !df.ok() || df.type == FAKEMODE || sf.type == FAKEMODE) continue;
            std::unique_ptr<RASTER::CONVERTER> converter(raster.converter(sf, df));
            uint8_t probe[4] = {}, out[4];
            Palette* table = sf.type == INDEXED ? &colours : nullptr;
            const void* lookup = table ? table->lookup(df) : nullptr;
            if (!converter || !converter->convert(probe, out, 1, lookup)) continue;
            ++pairs;
            for (int shape = 0; shape < 4; ++shape) {
                SCOPED_TRACE(::testing::Message() << from << "->" << to << " shape " << shape);
                const int so = shape & 1 ? 21 : 20, dOrient = shape & 2 ? 21 : 20;
                Surface source(13, 5, sf, 30, so, shape == 1 ? 3 : -1, -1);
                Surface target(13, 5, df, 30, dOrient, shape == 2 ? 5 : -1, -1);
                ASSERT_TRUE(source.ok());
                ASSERT_TRUE(target.ok());
                if (table) {
                    ASSERT_TRUE(source.setPalette(colours));
                }
                fill(source, uint32_t(from * 31 + to));
                ASSERT_TRUE(source.copy(target, 0));
                for (int y = 0; y < 5; ++y)
                    for (int x = 0; x < 13; ++x) {
                        uint8_t expected[4] = {};
                        ASSERT_TRUE(converter->convert(
                            at(source, x, y), expected, 1,
                            source.palette() ? source.palette()->lookup(df) : nullptr));
                        ASSERT_EQ(std::memcmp(at(target, x, y), expected, df.bytes), 0)
                            << x << "," << y;
                    }
            }
        }
    }
    EXPECT_GT(pairs, 100);
}

TEST(Surface, RecreationKeepsThePicture) {
    Surface s(7, 3, argb, 30, -1, -1, -1);
    fill(s, 3);
    std::vector<uint8_t> before;
    for (int y = 0; y < 3; ++y) before.insert(before.end(), at(s, 0, y), at(s, 0, y) + 28);
    const auto same = [&](Surface& t) {
        for (int y = 0; y < 3; ++y)
            if (std::memcmp(at(t, 0, y), before.data() + y * 28, 28) != 0) return false;
        return true;
    };
    ASSERT_TRUE(s.setOrientation(21));
    EXPECT_EQ(s.pitch(), -28);
    EXPECT_TRUE(same(s));
    ASSERT_TRUE(s.reconfigure(30, 20, 4, 10));
    EXPECT_EQ(s.pitch(), 32);
    EXPECT_TRUE(same(s));

    AnsweringBackEnd other;
    ASSERT_TRUE(s.migrate(&other));
    EXPECT_EQ(s.backEnd(), &other);
    EXPECT_EQ(other.registered(), 1);
    EXPECT_TRUE(same(s));
    ASSERT_TRUE(s.migrateToMemory());
    EXPECT_EQ(other.registered(), 0);
    EXPECT_EQ(s.backEnd(), nullptr);
    EXPECT_TRUE(same(s));
    EXPECT_FALSE(s.migrate(static_cast<Interface*>(nullptr)));
    EXPECT_FALSE(s.restore()); // nothing lost
}

TEST(Surface, DestroyingTheBackEndEmptiesItsSurfaces) {
    auto backEnd = std::make_unique<AnsweringBackEnd>();
    Surface a(backEnd.get(), 4, 4, argb, 30, -1, -1, -1);
    Surface b(backEnd.get(), 4, 4, Format(INDEX8), 30, -1, -1, -1);
    ASSERT_TRUE(b.setPalette(Palette()));
    ASSERT_EQ(backEnd->registered(), 2);
    backEnd.reset();
    EXPECT_FALSE(a.ok());
    EXPECT_FALSE(b.ok());
    EXPECT_EQ(a.backEnd(), nullptr);
    EXPECT_EQ(b.palette(), nullptr);
    // They can be made again elsewhere.
    EXPECT_TRUE(a.create(4, 4, Format(RGB565), 30, -1, -1, -1));
}

TEST(SoftwareBackEnd, CreateSurfaceChecksAndWritesBack) {
    ISoftware software;
    int32_t w = 4, h = 3, k = 33, o = 21, a = 2, v = 10;
    Format f(RGB565);
    std::unique_ptr<::SURFACE> s(software.createSurface(w, h, f, k, o, a, v));
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(k, 30);
    auto* first = static_cast<uint8_t*>(s->lock(1));
    s->lock(1);
    EXPECT_EQ(s->lockCount(), 2);
    s->unlock();
    s->unlock();
    s->unlock();
    EXPECT_EQ(s->lockCount(), 0);
    // Rows of 10 bytes; row 0 is the last of three.
    for (int i = 0; i < 10; ++i) EXPECT_EQ(first[i], 0);

    const struct {
        int32_t w, h, k, o, a, v;
        int32_t id;
    } refused[] = {{4, 3, 30, 22, -1, -1, ARGB8888}, {4, 3, 30, -1, -1, 11, ARGB8888},
                   {4, 3, 30, -1, -2, -1, ARGB8888}, {0, 3, 30, -1, -1, -1, ARGB8888},
                   {4, 3, 32, -1, -1, -1, ARGB8888}, {4, 3, 30, -1, 0, -1, FAKEMODE1A}};
    for (const auto& r : refused) {
        int32_t rw = r.w, rh = r.h, rk = r.k, ro = r.o, ra = r.a, rv = r.v;
        Format rf(r.id);
        EXPECT_EQ(software.createSurface(rw, rh, rf, rk, ro, ra, rv), nullptr);
        EXPECT_EQ(rk, r.k); // nothing written back
    }

    EXPECT_EQ(software.addSurface(nullptr), 0);
    Surface* fake = reinterpret_cast<Surface*>(&software);
    EXPECT_EQ(software.removeSurface(fake), 0);
    EXPECT_EQ(software.addSurface(fake), 1);
    EXPECT_EQ(software.addSurface(fake), 1);
    EXPECT_EQ(software.removeSurface(fake), 1);
    EXPECT_EQ(software.removeSurface(fake), 1);
    EXPECT_EQ(software.removeSurface(fake), 0);
}

TEST(SoftwareBackEnd, CopiesRefuseFlagsAndSelfCopies) {
    Surface a(8, 8, argb, 30, -1, -1, -1), b(8, 8, argb, 30, -1, -1, -1);
    EXPECT_FALSE(a.copy(b, 1));
    EXPECT_EQ(a.lockCount(), 0);
    EXPECT_FALSE(a.copy(a, 0));
    EXPECT_EQ(a.lockCount(), 0);

    // A rectangle of ARGB8888 into RGB565 at the origin: 10 x 5 pixels, nothing else.
    Surface wide(40, 20, argb, 30, -1, -1, -1), narrow(20, 10, Format(RGB565), 30, -1, -1, -1);
    fill(wide, 5);
    ASSERT_TRUE(wide.copy(narrow, Rect(10, 10, 20, 15), Rect(0, 0, 10, 5), 0));
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x) {
            uint16_t expected = 0;
            if (x < 10 && y < 5) {
                uint32_t p;
                std::memcpy(&p, at(wide, 10 + x, 10 + y), 4);
                expected = uint16_t(((p >> 8) & 0xF800) | ((p >> 5) & 0x7E0) | ((p >> 3) & 0x1F));
            }
            uint16_t got;
            std::memcpy(&got, at(narrow, x, y), 2);
            ASSERT_EQ(got, expected) << x << "," << y;
        }
    EXPECT_EQ(wide.lockCount(), 0);
    EXPECT_EQ(narrow.lockCount(), 0);
}
