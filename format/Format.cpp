#include "format/Format.h"

#include <cstring>
#include <initializer_list>

namespace {

struct ChannelPos {
    int8_t shift, width;
};

struct StandardFormat {
    int32_t id;
    const char* name;
    int32_t type, model, bits, bytes;
    ChannelPos red, green, blue, alpha;
};

// The one table of standard formats, in id order.
constexpr StandardFormat standardFormats[] = {
    {ARGB8888, "ARGB8888", DIRECT, RGB_MODEL, 32, 4, {16, 8}, {8, 8}, {0, 8}, {24, 8}},
    {ABGR8888, "ABGR8888", DIRECT, RGB_MODEL, 32, 4, {0, 8}, {8, 8}, {16, 8}, {24, 8}},
    {BGRA8888, "BGRA8888", DIRECT, RGB_MODEL, 32, 4, {8, 8}, {16, 8}, {24, 8}, {0, 8}},
    {RGBA8888, "RGBA8888", DIRECT, RGB_MODEL, 32, 4, {24, 8}, {16, 8}, {8, 8}, {0, 8}},
    {RGB888, "RGB888", DIRECT, RGB_MODEL, 24, 3, {16, 8}, {8, 8}, {0, 8}, {0, 0}},
    {BGR888, "BGR888", DIRECT, RGB_MODEL, 24, 3, {0, 8}, {8, 8}, {16, 8}, {0, 0}},
    {RGB565, "RGB565", DIRECT, RGB_MODEL, 16, 2, {11, 5}, {5, 6}, {0, 5}, {0, 0}},
    {BGR565, "BGR565", DIRECT, RGB_MODEL, 16, 2, {0, 5}, {5, 6}, {11, 5}, {0, 0}},
    {ARGB1555, "ARGB1555", DIRECT, RGB_MODEL, 16, 2, {10, 5}, {5, 5}, {0, 5}, {15, 1}},
    {ABGR1555, "ABGR1555", DIRECT, RGB_MODEL, 16, 2, {0, 5}, {5, 5}, {10, 5}, {15, 1}},
    {INDEX8, "INDEX8", INDEXED, 0, 8, 1, {}, {}, {}, {}},
    {FAKEMODE1A, "FAKEMODE1A", FAKEMODE, RGB_MODEL, 18, 0, {}, {}, {}, {}},
    {FAKEMODE1B, "FAKEMODE1B", FAKEMODE, RGB_MODEL, 18, 0, {}, {}, {}, {}},
    {FAKEMODE1C, "FAKEMODE1C", FAKEMODE, RGB_MODEL, 18, 0, {}, {}, {}, {}},
    {FAKEMODE2A, "FAKEMODE2A", FAKEMODE, RGB_MODEL, 14, 0, {}, {}, {}, {}},
    {FAKEMODE2B, "FAKEMODE2B", FAKEMODE, RGB_MODEL, 14, 0, {}, {}, {}, {}},
    {FAKEMODE2C, "FAKEMODE2C", FAKEMODE, RGB_MODEL, 14, 0, {}, {}, {}, {}},
    {FAKEMODE3A, "FAKEMODE3A", FAKEMODE, RGB_MODEL, 12, 0, {}, {}, {}, {}},
    {FAKEMODE3B, "FAKEMODE3B", FAKEMODE, RGB_MODEL, 12, 0, {}, {}, {}, {}},
    {FAKEMODE3C, "FAKEMODE3C", FAKEMODE, RGB_MODEL, 12, 0, {}, {}, {}, {}},
    {GREY8, "GREY8", INDEXED, GREY_MODEL, 8, 1, {}, {}, {}, {}},
    {RGB332, "RGB332", DIRECT, RGB_MODEL, 8, 1, {5, 3}, {2, 3}, {0, 2}, {0, 0}},
};
static_assert(sizeof(standardFormats) / sizeof(standardFormats[0]) ==
                  LAST_STANDARD_ID - FIRST_FORMAT_ID + 1,
              "one table row per standard id");

constexpr bool tableInIdOrder() {
    for (int i = 0; i < LAST_STANDARD_ID - FIRST_FORMAT_ID + 1; ++i)
        if (standardFormats[i].id != FIRST_FORMAT_ID + i) return false;
    return true;
}
static_assert(tableInIdOrder(), "table rows are in id order");

struct NamedId {
    const char* name;
    int32_t id;
};

// Accepted names besides the table's own: the 555 aliases, GRAY8 and the group names.
// FAKEMODE3 stands for the C variant, the others for the A variant.
constexpr NamedId formatAliases[] = {
    {"RGB555", ARGB1555},      {"BGR555", ABGR1555},      {"GRAY8", GREY8},
    {"FAKEMODE1", FAKEMODE1A}, {"FAKEMODE2", FAKEMODE2A}, {"FAKEMODE3", FAKEMODE3C},
};

// Direct layouts recognised by the positions constructor, in the order they are tried.
constexpr int32_t layoutSearchOrder[] = {ARGB8888, ABGR8888, RGBA8888, BGRA8888, RGB888, BGR888,
                                         RGB565,   BGR565,   ARGB1555, ABGR1555, RGB332};

const StandardFormat* standard(int32_t id) {
    if (id < FIRST_FORMAT_ID || id > LAST_STANDARD_ID) return nullptr;
    return &standardFormats[id - FIRST_FORMAT_ID];
}

bool sameLayout(ChannelPos p, int32_t shift, int32_t width) {
    return p.shift == shift && p.width == width;
}

// Bit position of the lowest set bit and the length of the run of set bits from there.
void analyseMask(uint32_t mask, int32_t& shift, int32_t& width) {
    shift = 0;
    width = 0;
    if (mask == 0) return;
    while (!(mask & 1u)) {
        mask >>= 1;
        ++shift;
    }
    while (mask & 1u) {
        mask >>= 1;
        ++width;
    }
}

uint32_t packChannel(uint8_t v, const Channel& c) {
    uint32_t p = c.adjust >= 0 ? uint32_t(v) << c.adjust : uint32_t(v) >> -c.adjust;
    return p & uint32_t(c.mask);
}

uint8_t unpackChannel(uint32_t pixel, const Channel& c) {
    // An ignored channel (no mask: any width outside 1..8, negative ones included) reads 0.
    if (c.mask == 0) return 0;
    uint32_t v = pixel & uint32_t(c.mask);
    v = c.adjust >= 0 ? v >> c.adjust : v << -c.adjust;
    // Narrow channels widen by v * (2^w - 1) / 255, which is not full range (31 -> 240).
    if (c.width < 8) v = ((v * ((1u << c.width) - 1u)) / 255u) << (8 - c.width);
    return uint8_t(v);
}

} // namespace

bool equalsIgnoringCase(const char* a, const char* b) {
    auto lower = [](unsigned char ch) { return ch >= 'A' && ch <= 'Z' ? ch + ('a' - 'A') : ch; };
    for (;; ++a, ++b) {
        if (lower(static_cast<unsigned char>(*a)) != lower(static_cast<unsigned char>(*b)))
            return false;
        if (*a == '\0') return true;
    }
}

void Format::clear() {
    std::memset(static_cast<void*>(this), 0, sizeof(*this));
}

void Format::derive() {
    for (Channel* c : {&red, &green, &blue, &alpha}) {
        // A channel that would not fit in a 32-bit pixel is ignored like a too-wide one. Summed
        // in 64 bits: shifts come from callers and may be anywhere in the int32 range.
        if (c->width >= 1 && c->width <= 8 && c->shift >= 0 && int64_t(c->shift) + c->width <= 32) {
            c->mask = int32_t(((1u << c->width) - 1u) << c->shift);
            c->adjust = c->shift + c->width - 8;
        } else {
            c->mask = 0;
            c->adjust = 0;
        }
    }
}

Format::Format(int32_t formatId) {
    init(formatId);
}

Format::Format(const char* name) {
    init(name);
}

bool Format::init(int32_t formatId) {
    clear();
    const StandardFormat* s = standard(formatId);
    if (!s) return false;
    id = s->id;
    type = s->type;
    model = s->model;
    bits = s->bits;
    bytes = s->bytes;
    red = {s->red.shift, s->red.width, 0, 0};
    green = {s->green.shift, s->green.width, 0, 0};
    blue = {s->blue.shift, s->blue.width, 0, 0};
    alpha = {s->alpha.shift, s->alpha.width, 0, 0};
    derive();
    return true;
}

bool Format::init(const char* name) {
    clear();
    if (!name) return false;
    for (const StandardFormat& s : standardFormats)
        if (equalsIgnoringCase(name, s.name)) return init(s.id);
    for (const NamedId& alias : formatAliases)
        if (equalsIgnoringCase(name, alias.name)) return init(alias.id);
    return false;
}

Format::Format(int32_t redMask, int32_t greenMask, int32_t blueMask, int32_t alphaMask,
               int32_t formatModel, int32_t /*bits: does not change the result*/) {
    int32_t s[4], w[4];
    const int32_t masks[4] = {redMask, greenMask, blueMask, alphaMask};
    for (int i = 0; i < 4; ++i) analyseMask(uint32_t(masks[i]), s[i], w[i]);
    initPositions(s[0], w[0], s[1], w[1], s[2], w[2], s[3], w[3], formatModel);
}

Format::Format(int32_t redShift, int32_t redWidth, int32_t greenShift, int32_t greenWidth,
               int32_t blueShift, int32_t blueWidth, int32_t alphaShift, int32_t alphaWidth,
               int32_t formatModel, int32_t /*bits: does not change the result*/) {
    initPositions(redShift, redWidth, greenShift, greenWidth, blueShift, blueWidth, alphaShift,
                  alphaWidth, formatModel);
}

void Format::initPositions(int32_t redShift, int32_t redWidth, int32_t greenShift,
                           int32_t greenWidth, int32_t blueShift, int32_t blueWidth,
                           int32_t alphaShift, int32_t alphaWidth, int32_t formatModel) {
    clear();
    if (formatModel == RGB_MODEL) {
        for (int32_t layoutId : layoutSearchOrder) {
            const StandardFormat* s = standard(layoutId);
            if (sameLayout(s->red, redShift, redWidth) &&
                sameLayout(s->green, greenShift, greenWidth) &&
                sameLayout(s->blue, blueShift, blueWidth) &&
                sameLayout(s->alpha, alphaShift, alphaWidth)) {
                init(layoutId);
                return;
            }
        }
    }
    type = DIRECT;
    model = formatModel;
    red = {redShift, redWidth, 0, 0};
    green = {greenShift, greenWidth, 0, 0};
    blue = {blueShift, blueWidth, 0, 0};
    alpha = {alphaShift, alphaWidth, 0, 0};
    // Summed in 64 bits: widths come from callers and must not overflow.
    int64_t sum = int64_t(redWidth) + greenWidth + blueWidth + alphaWidth;
    bits = int32_t(sum);
    bytes = int32_t((sum + 7) / 8); // ceiling of bits x 0.125
    derive();
}

bool Format::ok() const {
    if (id >= FIRST_FORMAT_ID && id <= LAST_RESERVED_ID) return true;
    switch (type) {
    case DIRECT:
        return model >= 1325 && model <= 1332 &&
               int64_t(red.width) + green.width + blue.width + alpha.width > 0 && bits != 0 &&
               bytes != 0;
    case INDEXED:
        return bits != 0 && bytes != 0;
    case FAKEMODE:
        return bits != 0;
    default:
        return false;
    }
}

bool Format::operator==(const Format& other) const {
    if (id == other.id && id >= FIRST_FORMAT_ID && id <= LAST_RESERVED_ID) return true;
    // Everything but the id: a custom format equal field for field to a standard one is equal.
    return type == other.type && model == other.model && bits == other.bits &&
           bytes == other.bytes && std::memcmp(&red, &other.red, 16 * sizeof(int32_t)) == 0;
}

bool Format::pack(uint8_t r, uint8_t g, uint8_t b, uint8_t a, uint8_t* dst,
                  int32_t callerModel) const {
    if (callerModel != model) return false;
    uint32_t p =
        packChannel(r, red) + packChannel(g, green) + packChannel(b, blue) + packChannel(a, alpha);
    for (int32_t i = 0; i < bytes; ++i) dst[i] = i < 4 ? uint8_t(p >> (8 * i)) : 0;
    return true;
}

bool Format::unpack(const uint8_t* src, uint8_t* r, uint8_t* g, uint8_t* b, uint8_t* a,
                    int32_t callerModel) const {
    if (callerModel != model) return false;
    uint32_t p = 0;
    for (int32_t i = 0; i < bytes && i < 4; ++i) p |= uint32_t(src[i]) << (8 * i);
    *r = unpackChannel(p, red);
    *g = unpackChannel(p, green);
    *b = unpackChannel(p, blue);
    *a = unpackChannel(p, alpha);
    return true;
}

const char* Format::name() const {
    const StandardFormat* s = standard(id);
    return s ? s->name : nullptr;
}
