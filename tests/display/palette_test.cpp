#include "display/Palette.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

namespace {

// Taken before main, possibly before the library's own statics: surfaces do the same.
Palette* const defaultSeenAtStartUp = &defaultPalette();
const bool defaultOkAtStartUp = defaultPalette().ok();

uint32_t argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
    return a << 24 | r << 16 | g << 8 | b;
}

// Entry i of a table of 4-byte entries, assembled byte by byte (little-endian).
uint32_t word(const void* table, int i) {
    const uint8_t* e = static_cast<const uint8_t*>(table) + 4 * i;
    return e[0] | e[1] << 8 | e[2] << 16 | uint32_t(e[3]) << 24;
}

void fillRandom(Palette& p, unsigned seed) {
    std::mt19937 random(seed);
    uint32_t* c = p.lock();
    for (int i = 0; i < 256; ++i) c[i] = uint32_t(random());
    p.unlock();
}

// Counts every palette allocation and fails the chosen ones.
struct Allocations {
    static inline int count = 0;
    static inline int failAt = 0; // 1-based; 0 fails none
    static inline bool failAll = false;
    static inline std::vector<std::size_t> requests;
    static void* allocate(std::size_t bytes) {
        ++count;
        requests.push_back(bytes);
        return failAll || count == failAt ? nullptr : std::malloc(bytes);
    }
};

class PaletteTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Allocations::count = Allocations::failAt = 0;
        Allocations::failAll = false;
        Allocations::requests.clear();
        setPaletteAllocator(Allocations::allocate);
    }
    void TearDown() override { setPaletteAllocator(nullptr); }
};

TEST_F(PaletteTest, NewPaletteIsBlackAndItsArgbLookupIsTheColours) {
    Palette p;
    ASSERT_TRUE(p.ok());
    for (int i = 0; i < 256; ++i) ASSERT_EQ(p.data()[i], 0u) << i;
    EXPECT_EQ(p.lockCount(), 0);
    EXPECT_EQ(p.lookup(Format(ARGB8888), 4), p.data());

    fillRandom(p, 1);
    const void* built = p.lookup(Format(ARGB8888));
    ASSERT_NE(built, nullptr);
    EXPECT_NE(built, p.data()) << "automatic size builds a table";
    EXPECT_EQ(std::memcmp(built, p.data(), 1024), 0) << "packing ARGB8888 reproduces a colour";
}

// Five bytes: red, green, blue in the low three and an ignored 16-bit alpha above.
const Format fiveBytes(0, 8, 8, 8, 16, 8, 24, 16, RGB_MODEL, -1);

TEST_F(PaletteTest, EntrySizesAndRefusals) {
    const struct {
        Format format;
        int32_t entry;
        std::size_t tableBytes; // 0: refused before allocating anything
        const char* why;
    } cases[] = {
        {Format(ARGB8888), -1, 1024, "automatic"},
        {Format(RGB888), -1, 1024, "3-byte pixels in 4-byte entries"},
        {Format(RGB565), -1, 1024, "2-byte pixels in 4-byte entries"},
        {Format(RGB332), -1, 256, "1-byte pixels"},
        {Format(INDEX8), -1, 256, "1-byte pixels"},
        {Format(GREY8), -1, 256, "1-byte pixels"},
        {Format(FAKEMODE2B), -1, 1024, "fake modes have no pixel size"},
        {fiveBytes, -1, 1280, "pixels wider than 4 bytes"},
        {Format(RGB332), 3, 768, "explicit size"},
        {Format(RGB565), 1, 0, "entry smaller than the pixel"},
        {Format(RGB888), 2, 0, "entry smaller than the pixel"},
        {Format(FAKEMODE1A), 1, 0, "fake modes need 4-byte entries"},
        {Format(FAKEMODE2C), 8, 0, "fake modes need 4-byte entries"},
        {Format(INDEX8), 0, 0, "empty entries"},
        {Format(ARGB8888), -2, 0, "negative entry size"},
        {Format(GREY8), Palette::MAX_ENTRY_SIZE + 1, 0, "table beyond 32-bit offsets"},
        {Format(), -1, 0, "invalid format"},
        {Format(0xFF0000, 0xFF00, 0xFF, 0, 1326, -1), -1, 0, "a model pack cannot serve"},
    };
    for (const auto& c : cases) {
        Palette p;
        const int before = Allocations::count; // a table is allocated first
        const void* table = p.lookup(c.format, c.entry);
        EXPECT_EQ(table != nullptr, c.tableBytes != 0) << c.why;
        const std::size_t requested =
            Allocations::count > before ? Allocations::requests[before] : 0;
        EXPECT_EQ(requested, c.tableBytes) << c.why;
    }
    // The largest accepted entry asks for the whole table in one piece.
    Palette p;
    Allocations::failAll = true;
    EXPECT_EQ(p.lookup(Format(GREY8), Palette::MAX_ENTRY_SIZE), nullptr);
    EXPECT_EQ(Allocations::requests.back(), 256u * Palette::MAX_ENTRY_SIZE);
}

TEST_F(PaletteTest, DirectFormatsMatchPack) {
    Palette p;
    fillRandom(p, 2);
    std::vector<Format> formats;
    for (int id = FIRST_FORMAT_ID; id <= LAST_STANDARD_ID; ++id)
        if (Format(id).type == DIRECT) formats.push_back(Format(id));
    ASSERT_EQ(formats.size(), 11u);
    formats.push_back(fiveBytes);
    for (const Format& f : formats) {
        for (int32_t entry : {-1, 8}) {
            const int32_t size = entry != -1 ? entry : f.bytes == 1 ? 1 : f.bytes > 4 ? f.bytes : 4;
            const auto* table = static_cast<const uint8_t*>(p.lookup(f, entry));
            ASSERT_NE(table, nullptr) << f.id;
            for (int i = 0; i < 256; ++i) {
                const uint32_t c = p.data()[i];
                uint8_t expected[8] = {};
                f.pack(uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c), uint8_t(c >> 24), expected,
                       RGB_MODEL);
                ASSERT_EQ(std::memcmp(table + i * size, expected, size), 0)
                    << "format " << f.id << " entry size " << size << " index " << i;
            }
        }
    }
    uint32_t colours[256] = {argb(0x55, 255, 0, 0)};
    p.load(colours);
    EXPECT_EQ(word(p.lookup(Format(RGB565)), 0), 0x0000F800u);
}

TEST_F(PaletteTest, FakeModeEntriesForEveryId) {
    Palette p;
    uint32_t* c = p.lock();
    // Every red and green value, blue and alpha scattered; then white, black and mixes.
    for (int i = 0; i < 256; ++i) c[i] = argb(i * 37 & 255, i, 255 - i, i * 7 & 255);
    c[0] = argb(0, 255, 255, 255);
    c[1] = argb(0xFF, 0, 0, 0);
    c[2] = argb(0, 0x12, 0x34, 0x56);
    p.unlock();
    for (int id = FAKEMODE1A; id <= FAKEMODE3C; ++id) {
        const uint32_t* table = static_cast<const uint32_t*>(p.lookup(Format(id)));
        ASSERT_NE(table, nullptr) << id;
        const bool split = id >= FAKEMODE2A && id <= FAKEMODE2C;
        EXPECT_EQ(word(table, 0), split ? 0x00789F07u : 0x003F7FBFu) << id << " white";
        EXPECT_EQ(word(table, 1), split ? 0x00008000u : 0x00004080u) << id << " black";
        EXPECT_EQ(word(table, 2), split ? 0x00088602u : 0x00044D95u) << id << " mixed";
        for (int i = 0; i < 256; ++i) {
            const uint32_t r = c[i] >> 16 & 255, g = c[i] >> 8 & 255, b = c[i] & 255;
            // Byte 2 indexes by red, byte 1 by green, byte 0 by blue.
            const uint32_t expected = split ? (r >> 4) * 8 << 16 | (128 + g / 8) << 8 | b / 32
                                            : r / 4 << 16 | (64 + g / 4) << 8 | (128 + b / 4);
            const uint32_t e = word(table, i);
            ASSERT_EQ(e, expected) << id << " index " << i;
            ASSERT_FALSE(split && (e >> 16 & e & 255)) << "red and blue indices share a bit";
        }
    }
}

TEST_F(PaletteTest, GreyLevelsAndPrimaries) {
    Palette p;
    uint32_t* c = p.lock();
    for (uint32_t m = 0; m < 256; ++m) c[m] = argb(255 - m, m, m, m);
    p.unlock();
    const auto* grey = static_cast<const uint8_t*>(p.lookup(Format(GREY8)));
    ASSERT_NE(grey, nullptr);
    EXPECT_EQ(grey[0], 0);
    for (int m = 1; m < 256; ++m) ASSERT_EQ(grey[m], m - 1) << "grey level " << m;

    const struct {
        uint32_t colour;
        int grey;
    } cases[] = {{argb(0, 255, 0, 0), 84},      {argb(0, 0, 255, 0), 84},
                 {argb(0xFF, 0, 0, 255), 84},   {argb(0, 255, 255, 0), 169},
                 {argb(0, 128, 128, 128), 127}, {argb(0xFF, 255, 255, 255), 254}};
    for (const auto& k : cases) {
        uint32_t colours[256] = {k.colour};
        p.load(colours);
        EXPECT_EQ(static_cast<const uint8_t*>(p.lookup(Format(GREY8)))[0], k.grey) << k.colour;
        EXPECT_EQ(word(p.lookup(Format(GREY8), 4), 0), uint32_t(k.grey)) << "wider entry";
    }
    // A hand-made twin of GREY8 shares its cache slot, so it must be built the same way.
    Format twin = Format(GREY8);
    twin.id = 0;
    p.lock();
    p.unlock();
    const void* table = p.lookup(twin);
    EXPECT_EQ(static_cast<const uint8_t*>(table)[0], 254);
    EXPECT_EQ(p.lookup(Format(GREY8)), table);
}

TEST_F(PaletteTest, Index8EntriesAreZero) {
    Palette p;
    fillRandom(p, 3);
    for (int32_t entry : {-1, 4}) {
        const auto* table = static_cast<const uint8_t*>(p.lookup(Format(INDEX8), entry));
        ASSERT_NE(table, nullptr);
        const int size = entry == -1 ? 1 : 4;
        for (int i = 0; i < 256 * size; ++i) ASSERT_EQ(table[i], 0) << i;
    }
}

TEST_F(PaletteTest, CacheHoldsTablesUntilTheColoursChange) {
    Palette p;
    const void* rgb565 = p.lookup(Format(RGB565));
    const int built = Allocations::count;
    EXPECT_EQ(p.lookup(Format(RGB565)), rgb565);
    EXPECT_EQ(p.lookup(Format(RGB565), 4), rgb565) << "automatic and explicit 4 are one table";
    EXPECT_EQ(Allocations::count, built) << "a cached table allocates nothing";
    EXPECT_EQ(p.lookup(Format(FAKEMODE1A)), p.lookup(Format(FAKEMODE1C))) << "equal formats";
    EXPECT_NE(p.lookup(Format(BGR565)), rgb565);
    EXPECT_NE(p.lookup(Format(RGB565), 8), rgb565);

    // Locking drops the black table; a table built while locked must not survive the writes.
    uint32_t* c = p.lock();
    EXPECT_EQ(p.lockCount(), 1);
    c[0] = argb(0, 255, 0, 0);
    EXPECT_EQ(word(p.lookup(Format(RGB565)), 0), 0xF800u);
    c[0] = argb(0, 0, 255, 0);
    p.unlock();
    EXPECT_EQ(word(p.lookup(Format(RGB565)), 0), 0x07E0u);
    p.unlock();
    EXPECT_EQ(p.lockCount(), 0) << "unlock never goes below 0";
}

TEST_F(PaletteTest, LoadSaveCompareAndCopy) {
    Palette a, b;
    uint32_t colours[256], out[256] = {};
    for (int i = 0; i < 256; ++i) colours[i] = argb(i, 255 - i, i ^ 0x5A, i * 3 & 255);
    EXPECT_FALSE(a.load(nullptr));
    EXPECT_FALSE(a.save(nullptr));
    ASSERT_NE(a.lookup(Format(ABGR8888)), nullptr);
    ASSERT_TRUE(a.load(colours));
    EXPECT_EQ(a.lockCount(), 0);
    EXPECT_EQ(word(a.lookup(Format(ABGR8888)), 255), 0xFFFDA500u) << "load drops the cache";
    ASSERT_TRUE(a.save(out));
    EXPECT_EQ(std::memcmp(out, colours, sizeof out), 0);
    EXPECT_TRUE(a.load(a.data())) << "loading its own colours";
    EXPECT_FALSE(a == b);

    b.lookup(Format(RGB888));
    b = a;
    EXPECT_TRUE(a == b);
    EXPECT_EQ(word(b.lookup(Format(RGB888)), 1), 0x00FE5B03u) << "assignment drops the cache";
    for (int i : {0, 255}) { // the first and the last byte both count
        colours[i] ^= i ? 0x01000000 : 1;
        b.load(colours);
        EXPECT_FALSE(a == b) << i;
        colours[i] ^= i ? 0x01000000 : 1;
    }
    b.load(colours);
    b = b;
    EXPECT_TRUE(a == b) << "self-assignment";
    Palette copy(a);
    EXPECT_TRUE(copy == a);
    EXPECT_NE(copy.lookup(Format(RGB888)), a.lookup(Format(RGB888))) << "caches are not shared";

    EXPECT_EQ(a.release(), 0) << "never below 0";
    EXPECT_EQ(a.addReference(), 1);
    EXPECT_EQ(a.addReference(), 2);
    EXPECT_EQ(a.release(), 1);
    EXPECT_EQ(a.release(), 0);
}

TEST_F(PaletteTest, PaletteWithoutColoursRefusesEverything) {
    Palette good;
    fillRandom(good, 4);
    Allocations::failAll = true;
    Palette failed;
    Palette failedCopy(good);
    Allocations::failAll = false;
    uint32_t buffer[256] = {};
    for (Palette* p : {&failed, &failedCopy}) {
        EXPECT_FALSE(p->ok());
        EXPECT_EQ(p->data(), nullptr);
        EXPECT_EQ(p->lock(), nullptr);
        EXPECT_EQ(p->lockCount(), 0);
        p->unlock();
        EXPECT_FALSE(p->load(buffer));
        EXPECT_FALSE(p->save(buffer));
        EXPECT_FALSE(*p == *p);
        EXPECT_FALSE(*p == good);
        EXPECT_FALSE(good == *p);
        EXPECT_EQ(p->lookup(Format(ARGB8888), 4), nullptr);
        EXPECT_EQ(p->lookup(Format(RGB565)), nullptr);
        *p = good;
        EXPECT_FALSE(p->ok());
    }
    const Palette before(good);
    good = failed;
    EXPECT_TRUE(good == before);
}

TEST_F(PaletteTest, FailedTableOrRecordLeavesNoRecord) {
    Palette p;
    for (int failing : {1, 2}) { // the table, then the record
        Allocations::count = 0;
        Allocations::failAt = failing;
        EXPECT_EQ(p.lookup(Format(BGR888)), nullptr) << failing;
        Allocations::failAt = 0;
        EXPECT_NE(p.lookup(Format(BGR888)), nullptr) << "nothing half-built was cached";
        p.lock();
        p.unlock();
    }
}

TEST_F(PaletteTest, ManyLookupsBuiltAndDiscarded) {
    // Run under LeakSanitizer: every table, record and node must be freed.
    for (int round = 0; round < 50; ++round) {
        Palette p;
        fillRandom(p, round);
        for (int id = FIRST_FORMAT_ID; id <= LAST_STANDARD_ID; ++id) {
            p.lookup(Format(id));
            p.lookup(Format(id), 4);
        }
        if (round % 2) p.lock();
        Palette copy(p);
        copy.lookup(Format(GREY8));
        copy = p;
    }
}

TEST(DefaultPalette, ReadyBeforeMainAndAlwaysTheSame) {
    EXPECT_TRUE(defaultOkAtStartUp);
    EXPECT_EQ(&defaultPalette(), defaultSeenAtStartUp);
    uint32_t colours[256];
    ASSERT_TRUE(defaultPalette().save(colours));
    for (uint32_t c : colours) ASSERT_EQ(c, 0u);
}

} // namespace
