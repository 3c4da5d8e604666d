// Speed of every conversion routine at every instruction set the processor has, through the
// converter a surface copy would use, beside memcpy moving the same traffic: (source bytes +
// destination bytes) / 2 per frame. Frames of 320x200, 640x480 and 1920x1080 are reused (in
// cache as far as they fit); the "mem" row cycles 1920x1080 frames through pools of at least
// 64 MiB of sources and 64 MiB of destinations, so every frame comes from main memory. Frames
// start on a 64-byte boundary, as the library's memory surfaces do.
//
// Every contender of a row (memcpy, each instruction set, each peer) is timed once per round,
// in turn, and the rounds repeated; each figure is the median of its rounds, in thread CPU time,
// so waiting for a processor that other work holds does not count. Load that comes and goes
// (other work's use of the caches and of memory) then falls on every contender alike, and the
// ratios of one run hold where its single figures would not.
//
// Where the build found libyuv, pixman or SDL2, the same pairs are timed through them on the
// same frames in the same run, each at its own best instruction set ("-" where a library has no
// such conversion). Their results are not compared: a peer may round or fill alpha differently.
//
// It ends with every level's speed over the scalar routine's at 320x200 and 640x480, then a
// summary per instruction set: every routine's speed over the fastest peer's at 640x480 and from
// main memory, the worst named, and whether any routine is slower at a higher instruction set
// than at a lower one.
//
// bench_conversion [filter [instruction set]] [--csv file] [--stream-from bytes] [--rounds n]
//   runs the routines whose name contains filter, at every instruction set up to the processor's
//   best or only at the named one (none, SSE2, SSSE3, AVX2, AVX-512), and writes the figures
//   (Mpixel/s, one row per routine and size) to file as comma-separated values. With
//   --stream-from, areas whose destination holds at least that many bytes are written with
//   streaming stores instead of from the library's own size on. --rounds sets the rounds per
//   row (11; more for steadier figures on a busy machine).

#include "Timing.h"
#include "conversion/ProcessorFeatures.h"
#include "conversion/Raster.h"
#include "conversion/Routines.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <random>
#include <string>
#include <vector>

#if defined(PTC_BENCH_LIBYUV)
#include <libyuv.h>
#endif
#if defined(PTC_BENCH_PIXMAN)
#include <pixman.h>
#endif
#if defined(PTC_BENCH_SDL2)
#include <SDL.h>
#endif

namespace {

struct Pair {
    const char* name;
    int32_t source, destination;
};

const Pair pairs[] = {
    {"copy (ARGB8888)", ARGB8888, ARGB8888},
    {"argb8888_abgr8888", ARGB8888, ABGR8888},
    {"argb8888_bgra8888", ARGB8888, BGRA8888},
    {"argb8888_rgba8888", ARGB8888, RGBA8888},
    {"argb8888_rgb888", ARGB8888, RGB888},
    {"argb8888_bgr888", ARGB8888, BGR888},
    {"argb8888_rgb565", ARGB8888, RGB565},
    {"argb8888_bgr565", ARGB8888, BGR565},
    {"argb8888_argb1555", ARGB8888, ARGB1555},
    {"argb8888_abgr1555", ARGB8888, ABGR1555},
    {"argb8888_grey8", ARGB8888, GREY8},
    {"argb8888_rgb332", ARGB8888, RGB332},
    {"rgb565_argb8888", RGB565, ARGB8888},
    {"rgb565_abgr8888", RGB565, ABGR8888},
    {"rgb565_bgra8888", RGB565, BGRA8888},
    {"rgb565_rgba8888", RGB565, RGBA8888},
    {"rgb565_rgb888", RGB565, RGB888},
    {"rgb565_bgr888", RGB565, BGR888},
    {"rgb565_bgr565", RGB565, BGR565},
    {"rgb565_argb1555", RGB565, ARGB1555},
    {"rgb565_abgr1555", RGB565, ABGR1555},
    {"rgb565_grey8", RGB565, GREY8},
    {"rgb565_rgb332", RGB565, RGB332},
    {"index8_32", INDEX8, ARGB8888},
    {"index8_24", INDEX8, RGB888},
    {"index8_16", INDEX8, RGB565},
    {"index8_8", INDEX8, RGB332},
    {"generic abgr8888_rgb565", ABGR8888, RGB565},
};

struct Size {
    int width, height;
    bool fromMemory;
};

const Size sizes[] = {
    {320, 200, false}, {640, 480, false}, {1920, 1080, false}, {1920, 1080, true}};

// Each side of a main-memory pool holds at least this much: several times any cache.
constexpr size_t POOL_BYTES = size_t(64) << 20;

// Frames of one size, reused or cycled, each on a 64-byte boundary; every byte written once, so
// no page is left to fault.
struct Pool {
    struct Free {
        void operator()(uint8_t* p) const { ::operator delete[](p, std::align_val_t(64)); }
    };
    std::vector<std::unique_ptr<uint8_t[], Free>> frames;
    Pool(size_t frameBytes, size_t count) {
        std::vector<uint8_t> pattern(frameBytes);
        std::mt19937 random(7);
        for (auto& b : pattern) b = uint8_t(random());
        for (size_t i = 0; i < count; ++i) {
            frames.emplace_back(new (std::align_val_t(64)) uint8_t[frameBytes]);
            std::memcpy(frames.back().get(), pattern.data(), frameBytes);
        }
    }
    uint8_t* operator[](size_t i) { return frames[i].get(); }
};

// Rounds per row unless --rounds says otherwise. Many short rounds: a burst of other work spoils
// only the few it falls in, and the median passes them over.
int rounds = 11;

// One timed round of a contender: seconds per frame over at least 5 ms and one pass over the
// pools.
double roundSeconds(const std::function<void(size_t)>& work, size_t framesPerRound) {
    size_t frames = 0;
    const double start = bench::threadSeconds();
    double elapsed;
    do {
        for (size_t i = 0; i < framesPerRound; ++i) work(i);
        frames += framesPerRound;
        elapsed = bench::threadSeconds() - start;
    } while (elapsed < 0.005);
    return elapsed / double(frames);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Times every work of a row in interleaved rounds, each round in an order of its own, so that no
// contender always follows the same one (a predecessor leaves the caches full of its own lines,
// clean or still to be written back); the median seconds per frame of each.
std::vector<double> medianSeconds(const std::vector<std::function<void(size_t)>>& works,
                                  size_t framesPerRound) {
    const size_t n = works.size();
    std::vector<std::vector<double>> samples(n);
    std::vector<size_t> order(n);
    for (size_t k = 0; k < n; ++k) order[k] = k;
    std::mt19937 shuffler(11);
    for (const auto& work : works) work(0); // first touches outside the timing
    for (int round = 0; round < rounds; ++round) {
        std::shuffle(order.begin(), order.end(), shuffler);
        for (size_t c : order) samples[c].push_back(roundSeconds(works[c], framesPerRound));
    }
    std::vector<double> result;
    for (const auto& s : samples) result.push_back(median(s));
    return result;
}

// What a peer needs to convert frame i of the pools.
struct Frames {
    Pool& sources;
    Pool& destinations;
    int width, height, sourcePitch, destinationPitch;
    const uint32_t* palette; // 256 colours 0xAARRGGBB for indexed sources
};

// One peer's conversion of one pair, set up for the pools; run(i) converts frame i.
class PeerRun {
  public:
    virtual ~PeerRun() = default;
    virtual bool run(size_t i) = 0;
};

struct Peer {
    const char* name;
    std::unique_ptr<PeerRun> (*make)(const Pair& pair, Frames& frames);
};

#if defined(PTC_BENCH_LIBYUV)
using YuvRoutine = int (*)(const uint8_t*, int, uint8_t*, int, int, int);

// libyuv's "ARGB" is our ARGB8888 (bytes B, G, R, A), its "RGB24" our RGB888, "RAW" our BGR888.
YuvRoutine yuvRoutine(const Pair& pair) {
    struct Entry {
        int32_t source, destination;
        YuvRoutine routine;
    };
    static const Entry entries[] = {
        {ARGB8888, ARGB8888, libyuv::ARGBCopy},   {ARGB8888, ABGR8888, libyuv::ARGBToABGR},
        {ARGB8888, BGRA8888, libyuv::ARGBToBGRA}, {ARGB8888, RGBA8888, libyuv::ARGBToRGBA},
        {ARGB8888, RGB888, libyuv::ARGBToRGB24},  {ARGB8888, BGR888, libyuv::ARGBToRAW},
        {ARGB8888, RGB565, libyuv::ARGBToRGB565}, {ARGB8888, ARGB1555, libyuv::ARGBToARGB1555},
        {ARGB8888, GREY8, libyuv::ARGBToJ400}, // other weights: the nearest it has
        {RGB565, ARGB8888, libyuv::RGB565ToARGB},
    };
    for (const Entry& e : entries)
        if (e.source == pair.source && e.destination == pair.destination) return e.routine;
    return nullptr;
}

class YuvRun : public PeerRun {
  public:
    YuvRun(YuvRoutine routine, Frames& frames) : routine_(routine), frames_(frames) {}
    bool run(size_t i) override {
        return routine_(frames_.sources[i], frames_.sourcePitch, frames_.destinations[i],
                        frames_.destinationPitch, frames_.width, frames_.height) == 0;
    }

  private:
    YuvRoutine routine_;
    Frames& frames_;
};

std::unique_ptr<PeerRun> makeYuv(const Pair& pair, Frames& frames) {
    const YuvRoutine routine = yuvRoutine(pair);
    if (!routine) return nullptr;
    return std::make_unique<YuvRun>(routine, frames);
}
#endif

#if defined(PTC_BENCH_PIXMAN)
pixman_format_code_t pixmanFormat(int32_t id) {
    switch (id) {
    case ARGB8888:
        return PIXMAN_a8r8g8b8;
    case ABGR8888:
        return PIXMAN_a8b8g8r8;
    case BGRA8888:
        return PIXMAN_b8g8r8a8;
    case RGBA8888:
        return PIXMAN_r8g8b8a8;
    case RGB888:
        return PIXMAN_r8g8b8;
    case BGR888:
        return PIXMAN_b8g8r8;
    case RGB565:
        return PIXMAN_r5g6b5;
    case BGR565:
        return PIXMAN_b5g6r5;
    case ARGB1555:
        return PIXMAN_a1r5g5b5;
    case ABGR1555:
        return PIXMAN_a1b5g5r5;
    case RGB332:
        return PIXMAN_r3g3b2;
    case INDEX8:
        return PIXMAN_c8;
    default:
        return pixman_format_code_t(0);
    }
}

// Images made once per frame of the pools, as a compositor keeps its surfaces.
class PixmanRun : public PeerRun {
  public:
    PixmanRun(pixman_format_code_t source, pixman_format_code_t destination, Frames& frames)
        : frames_(frames), indexed_(std::make_unique<pixman_indexed_t>()) {
        indexed_->color = 1;
        for (int c = 0; c < 256; ++c) indexed_->rgba[c] = frames.palette[c];
        for (size_t i = 0; i < frames.sources.frames.size(); ++i) {
            pixman_image_t* s = pixman_image_create_bits(
                source, frames.width, frames.height, reinterpret_cast<uint32_t*>(frames.sources[i]),
                frames.sourcePitch);
            if (s && source == PIXMAN_c8) pixman_image_set_indexed(s, indexed_.get());
            sources_.push_back(s);
            destinations_.push_back(pixman_image_create_bits(
                destination, frames.width, frames.height,
                reinterpret_cast<uint32_t*>(frames.destinations[i]), frames.destinationPitch));
        }
    }
    ~PixmanRun() override {
        for (pixman_image_t* image : sources_)
            if (image) pixman_image_unref(image);
        for (pixman_image_t* image : destinations_)
            if (image) pixman_image_unref(image);
    }
    bool run(size_t i) override {
        if (!sources_[i] || !destinations_[i]) return false;
        pixman_image_composite32(PIXMAN_OP_SRC, sources_[i], nullptr, destinations_[i], 0, 0, 0, 0,
                                 0, 0, frames_.width, frames_.height);
        return true;
    }

  private:
    Frames& frames_;
    std::unique_ptr<pixman_indexed_t> indexed_;
    std::vector<pixman_image_t*> sources_, destinations_;
};

std::unique_ptr<PeerRun> makePixman(const Pair& pair, Frames& frames) {
    const pixman_format_code_t source = pixmanFormat(pair.source);
    const pixman_format_code_t destination = pixmanFormat(pair.destination);
    if (!source || !destination || destination == PIXMAN_c8) return nullptr;
    return std::make_unique<PixmanRun>(source, destination, frames);
}
#endif

#if defined(PTC_BENCH_SDL2)
// SDL's RGB24 is our BGR888 (bytes R, G, B) and its BGR24 our RGB888.
uint32_t sdlFormat(int32_t id) {
    switch (id) {
    case ARGB8888:
        return SDL_PIXELFORMAT_ARGB8888;
    case ABGR8888:
        return SDL_PIXELFORMAT_ABGR8888;
    case BGRA8888:
        return SDL_PIXELFORMAT_BGRA8888;
    case RGBA8888:
        return SDL_PIXELFORMAT_RGBA8888;
    case RGB888:
        return SDL_PIXELFORMAT_BGR24;
    case BGR888:
        return SDL_PIXELFORMAT_RGB24;
    case RGB565:
        return SDL_PIXELFORMAT_RGB565;
    case BGR565:
        return SDL_PIXELFORMAT_BGR565;
    case ARGB1555:
        return SDL_PIXELFORMAT_ARGB1555;
    case ABGR1555:
        return SDL_PIXELFORMAT_ABGR1555;
    case RGB332:
        return SDL_PIXELFORMAT_RGB332;
    case INDEX8:
        return SDL_PIXELFORMAT_INDEX8;
    default:
        return SDL_PIXELFORMAT_UNKNOWN;
    }
}

class SdlConvertRun : public PeerRun {
  public:
    SdlConvertRun(uint32_t source, uint32_t destination, Frames& frames)
        : source_(source), destination_(destination), frames_(frames) {}
    bool run(size_t i) override {
        return SDL_ConvertPixels(frames_.width, frames_.height, source_, frames_.sources[i],
                                 frames_.sourcePitch, destination_, frames_.destinations[i],
                                 frames_.destinationPitch) == 0;
    }

  private:
    uint32_t source_, destination_;
    Frames& frames_;
};

// SDL converts indices only in a blit between surfaces; the surfaces are made once per frame.
class SdlBlitRun : public PeerRun {
  public:
    SdlBlitRun(uint32_t destination, Frames& frames) {
        palette_ = SDL_AllocPalette(256);
        SDL_Color colours[256];
        for (int c = 0; c < 256; ++c) {
            const uint32_t argb = frames.palette[c];
            colours[c] = {uint8_t(argb >> 16), uint8_t(argb >> 8), uint8_t(argb), 255};
        }
        if (palette_) SDL_SetPaletteColors(palette_, colours, 0, 256);
        for (size_t i = 0; i < frames.sources.frames.size(); ++i) {
            SDL_Surface* s =
                SDL_CreateRGBSurfaceWithFormatFrom(frames.sources[i], frames.width, frames.height,
                                                   8, frames.sourcePitch, SDL_PIXELFORMAT_INDEX8);
            if (s && palette_) SDL_SetSurfacePalette(s, palette_);
            sources_.push_back(s);
            destinations_.push_back(SDL_CreateRGBSurfaceWithFormatFrom(
                frames.destinations[i], frames.width, frames.height,
                int(SDL_BITSPERPIXEL(destination)), frames.destinationPitch, destination));
        }
    }
    ~SdlBlitRun() override {
        for (SDL_Surface* surface : sources_) SDL_FreeSurface(surface);
        for (SDL_Surface* surface : destinations_) SDL_FreeSurface(surface);
        if (palette_) SDL_FreePalette(palette_);
    }
    bool run(size_t i) override {
        if (!sources_[i] || !destinations_[i]) return false;
        return SDL_BlitSurface(sources_[i], nullptr, destinations_[i], nullptr) == 0;
    }

  private:
    SDL_Palette* palette_ = nullptr;
    std::vector<SDL_Surface*> sources_, destinations_;
};

std::unique_ptr<PeerRun> makeSdl(const Pair& pair, Frames& frames) {
    const uint32_t source = sdlFormat(pair.source), destination = sdlFormat(pair.destination);
    if (source == SDL_PIXELFORMAT_UNKNOWN || destination == SDL_PIXELFORMAT_UNKNOWN ||
        destination == SDL_PIXELFORMAT_INDEX8)
        return nullptr;
    if (source == SDL_PIXELFORMAT_INDEX8) return std::make_unique<SdlBlitRun>(destination, frames);
    return std::make_unique<SdlConvertRun>(source, destination, frames);
}
#endif

const Peer peers[] = {
#if defined(PTC_BENCH_LIBYUV)
    {"libyuv", makeYuv},
#endif
#if defined(PTC_BENCH_PIXMAN)
    {"pixman", makePixman},
#endif
#if defined(PTC_BENCH_SDL2)
    {"SDL2", makeSdl},
#endif
    {nullptr, nullptr},
};
constexpr size_t PEER_COUNT = sizeof peers / sizeof peers[0] - 1;

// Names compared without regard to case.
bool sameName(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b)
        if (std::tolower(static_cast<unsigned char>(*a)) !=
            std::tolower(static_cast<unsigned char>(*b)))
            return false;
    return *a == *b;
}

using conversion::SIMD_LEVELS;
using conversion::SimdLevel;

// The figures of one routine at one size, Mpixel/s; 0 where not timed.
struct Row {
    const Pair* pair;
    const Size* size;
    double memcpy = 0;
    double level[SIMD_LEVELS] = {};
    bool taken[SIMD_LEVELS] = {}; // the level runs the variant of the level below
    double peer[PEER_COUNT + 1] = {};
};

std::string sizeLabel(const Size& size) {
    return std::to_string(size.width) + "x" + std::to_string(size.height) +
           (size.fromMemory ? " mem" : "");
}

double fastestPeer(const Row& row, size_t* which) {
    double best = 0;
    for (size_t p = 0; p < PEER_COUNT; ++p)
        if (row.peer[p] > best) best = row.peer[p], *which = p;
    return best;
}

// A higher level counts as slower when it falls this far below a lower one: the spread of
// repeated runs on a machine that other work shares.
constexpr double SLOWER_BY = 0.05;

void printSummary(const std::vector<Row>& rows, SimdLevel lowest, SimdLevel highest) {
    std::printf(
        "\nspeed over the fastest peer's (1.00 = as fast), at 640x480 / from main memory\n");
    std::printf("%-24s", "routine");
    for (int l = lowest; l <= highest; ++l)
        std::printf(" %13s", conversion::simdLevelName(SimdLevel(l)));
    std::printf("\n");
    struct Worst {
        double ratio = 1e30;
        const Row* row = nullptr;
        size_t peer = 0;
    } worst[SIMD_LEVELS];
    for (const Row& row : rows) {
        if (row.size->width != 640) continue;
        const Row* memory = &row;
        for (const Row& r : rows)
            if (r.pair == row.pair && r.size->fromMemory) memory = &r;
        std::printf("%-24s", row.pair->name);
        for (int l = lowest; l <= highest; ++l) {
            char cell[2][8];
            for (int k = 0; k < 2; ++k) {
                const Row& r = k ? *memory : row;
                size_t which = 0;
                const double peer = fastestPeer(r, &which);
                if (peer <= 0 || r.level[l] <= 0) {
                    std::snprintf(cell[k], sizeof cell[k], "-");
                    continue;
                }
                const double ratio = r.level[l] / peer;
                std::snprintf(cell[k], sizeof cell[k], "%.2f", ratio);
                if (ratio < worst[l].ratio) worst[l] = {ratio, &r, which};
            }
            std::printf(" %6s/%-6s", cell[0], cell[1]);
        }
        std::printf("\n");
    }
    for (int l = lowest; l <= highest; ++l) {
        const Worst& w = worst[l];
        if (!w.row) continue;
        std::printf("worst at %-8s %.2f: %s %s, against %s\n",
                    conversion::simdLevelName(SimdLevel(l)), w.ratio, w.row->pair->name,
                    sizeLabel(*w.row->size).c_str(), peers[w.peer].name);
    }
    // Every size, every level with a variant of its own against every lower one (a level that
    // takes the variant below would only repeat that level's lines).
    int slower = 0;
    for (const Row& row : rows)
        for (int high = lowest + 1; high <= highest; ++high)
            for (int low = lowest; low < high && !row.taken[high]; ++low)
                if (row.level[high] > 0 && row.level[high] < row.level[low] * (1 - SLOWER_BY)) {
                    if (slower++ == 0) std::printf("slower at a higher instruction set:");
                    std::printf(" %s %s %s %.0f < %s %.0f;", row.pair->name,
                                sizeLabel(*row.size).c_str(),
                                conversion::simdLevelName(SimdLevel(high)), row.level[high],
                                conversion::simdLevelName(SimdLevel(low)), row.level[low]);
                }
    if (slower)
        std::printf("\n");
    else
        std::printf("no routine is slower at a higher instruction set than at a lower one (by more "
                    "than %.0f%%)\n",
                    SLOWER_BY * 100);
}

// Every level's speed over the scalar routine's at the two frame sizes a page shows: what each
// instruction set gains where no peer is timed (in the browser).
void printLevelGains(const std::vector<Row>& rows, SimdLevel highest) {
    std::printf("\nspeed over the scalar routine's (1.00 = as fast), at 320x200 / 640x480\n");
    std::printf("%-24s", "routine");
    for (int l = conversion::SIMD_NONE + 1; l <= highest; ++l)
        std::printf(" %13s", conversion::simdLevelName(SimdLevel(l)));
    std::printf("\n");
    for (const Row& row : rows) {
        if (row.size->width != 320) continue;
        const Row* larger = nullptr;
        for (const Row& r : rows)
            if (r.pair == row.pair && r.size->width == 640) larger = &r;
        if (!larger || row.level[0] <= 0 || larger->level[0] <= 0) continue;
        std::printf("%-24s", row.pair->name);
        for (int l = conversion::SIMD_NONE + 1; l <= highest; ++l)
            std::printf("   %5.2f/%-5.2f", row.level[l] / row.level[0],
                        larger->level[l] / larger->level[0]);
        std::printf("\n");
    }
}

bool writeCsv(const char* path, const std::vector<Row>& rows, SimdLevel lowest, SimdLevel highest) {
    FILE* file = std::fopen(path, "w");
    if (!file) return false;
    std::fprintf(file, "routine,size,memcpy");
    for (int l = lowest; l <= highest; ++l)
        std::fprintf(file, ",%s", conversion::simdLevelName(SimdLevel(l)));
    for (size_t p = 0; p < PEER_COUNT; ++p) std::fprintf(file, ",%s", peers[p].name);
    std::fprintf(file, "\n");
    for (const Row& row : rows) {
        std::fprintf(file, "%s,%s,%.0f", row.pair->name, sizeLabel(*row.size).c_str(), row.memcpy);
        for (int l = lowest; l <= highest; ++l) std::fprintf(file, ",%.0f", row.level[l]);
        for (size_t p = 0; p < PEER_COUNT; ++p) {
            if (row.peer[p] > 0)
                std::fprintf(file, ",%.0f", row.peer[p]);
            else
                std::fprintf(file, ",");
        }
        std::fprintf(file, "\n");
    }
    return std::fclose(file) == 0;
}

} // namespace

int main(int argc, char** argv) {
    const char* filter = "";
    const char* levelName = nullptr;
    const char* csv = nullptr;
    for (int a = 1, positional = 0; a < argc; ++a) {
        if (std::strcmp(argv[a], "--csv") == 0 && a + 1 < argc)
            csv = argv[++a];
        else if (std::strcmp(argv[a], "--stream-from") == 0 && a + 1 < argc)
            conversion::setStreamingFrom(std::strtoll(argv[++a], nullptr, 10));
        else if (std::strcmp(argv[a], "--rounds") == 0 && a + 1 < argc)
            rounds = std::max(1, std::atoi(argv[++a]));
        else if (positional++ == 0)
            filter = argv[a];
        else
            levelName = argv[a];
    }
    SimdLevel lowest = conversion::SIMD_NONE, highest = conversion::bestSimdLevel();
    if (levelName) {
        int level = 0;
        while (level < SIMD_LEVELS &&
               !sameName(levelName, conversion::simdLevelName(SimdLevel(level))))
            ++level;
        if (level == SIMD_LEVELS) {
            std::fprintf(stderr, "unknown instruction set %s\n", levelName);
            return 2;
        }
        lowest = highest = conversion::setSimdLevel(SimdLevel(level));
    }

    RASTER raster;
    uint32_t lookup[256], palette[256];
    std::mt19937 random(3);
    for (uint32_t& w : lookup) w = random() & 0xFFFF; // valid for every destination size
    for (uint32_t& c : palette) c = random() | 0xFF000000u;

    std::printf("instruction sets up to %s; Mpixel/s, the median of %d interleaved rounds; \"=\": "
                "the variant of the set to its left\n",
                conversion::simdLevelName(conversion::bestSimdLevel()), rounds);
    std::printf("%-24s %14s %8s", "routine", "size", "memcpy");
    for (int l = lowest; l <= highest; ++l)
        std::printf(" %8s", conversion::simdLevelName(SimdLevel(l)));
    for (size_t p = 0; p < PEER_COUNT; ++p) std::printf(" %8s", peers[p].name);
    std::printf("\n");

    std::vector<Row> rows;
    for (const Pair& pair : pairs) {
        if (!std::strstr(pair.name, filter)) continue;
        const Format source(pair.source), destination(pair.destination);
        std::unique_ptr<RASTER::CONVERTER> converters[SIMD_LEVELS];
        for (int l = lowest; l <= highest; ++l) {
            conversion::setSimdLevel(SimdLevel(l));
            converters[l].reset(raster.converter(source, destination));
            if (!converters[l]) return 1;
        }
        for (const Size& size : sizes) {
            Row row;
            row.pair = &pair;
            row.size = &size;
            const size_t pixels = size_t(size.width) * size.height;
            const size_t sourceBytes = pixels * source.bytes;
            const size_t destinationBytes = pixels * destination.bytes;
            const size_t copyBytes = (sourceBytes + destinationBytes) / 2;
            const size_t smaller = std::min(sourceBytes, destinationBytes);
            const size_t count =
                size.fromMemory ? std::max<size_t>(4, (POOL_BYTES + smaller - 1) / smaller) : 1;
            Pool sources(sourceBytes, count), destinations(destinationBytes, count);
            Pool copySources(copyBytes, count), copyDestinations(copyBytes, count);
            const auto mpixels = [&](double seconds) { return double(pixels) / seconds * 1e-6; };

            // The contenders of the row, and where each one's figure goes.
            std::vector<std::function<void(size_t)>> works;
            std::vector<double*> figures;
            works.push_back(
                [&](size_t i) { std::memcpy(copyDestinations[i], copySources[i], copyBytes); });
            figures.push_back(&row.memcpy);

            AREA area{};
            area.width = size.width;
            area.height = size.height;
            area.sourcePitch = size.width * source.bytes;
            area.destinationPitch = size.width * destination.bytes;
            area.lookup = lookup;
            bool failed = false;
            for (int l = lowest; l <= highest; ++l) {
                const RASTER::CONVERTER& converter = *converters[l];
                if (l > lowest && converter.line == converters[l - 1]->line) continue;
                works.push_back([&area, &sources, &destinations, &failed, &converter](size_t i) {
                    area.source = sources[i];
                    area.destination = destinations[i];
                    failed |= !converter.convertArea(area);
                });
                figures.push_back(&row.level[l]);
            }

            Frames frames{sources,          destinations,          size.width, size.height,
                          area.sourcePitch, area.destinationPitch, palette};
            std::unique_ptr<PeerRun> runs[PEER_COUNT + 1];
            bool ok[PEER_COUNT + 1] = {};
            for (size_t p = 0; p < PEER_COUNT; ++p) {
                runs[p] = peers[p].make(pair, frames);
                if (!runs[p]) continue;
                ok[p] = true;
                works.push_back([&, p](size_t i) { ok[p] &= runs[p]->run(i); });
                figures.push_back(&row.peer[p]);
            }

            const std::vector<double> seconds = medianSeconds(works, count);
            if (failed) {
                std::printf("%s: conversion failed\n", pair.name);
                return 1;
            }
            for (size_t k = 0; k < works.size(); ++k) *figures[k] = mpixels(seconds[k]);
            for (size_t p = 0; p < PEER_COUNT; ++p)
                if (!ok[p]) row.peer[p] = 0;

            std::printf("%-24s %14s %8.0f", pair.name, sizeLabel(size).c_str(), row.memcpy);
            for (int l = lowest; l <= highest; ++l) {
                if (l > lowest && converters[l]->line == converters[l - 1]->line) {
                    row.level[l] = row.level[l - 1];
                    row.taken[l] = true;
                    std::printf(" %8s", "=");
                } else {
                    std::printf(" %8.0f", row.level[l]);
                }
            }
            for (size_t p = 0; p < PEER_COUNT; ++p) {
                if (row.peer[p] > 0)
                    std::printf(" %8.0f", row.peer[p]);
                else
                    std::printf(" %8s", "-");
            }
            std::printf("\n");
            std::fflush(stdout);
            rows.push_back(row);
        }
    }
    if (lowest == conversion::SIMD_NONE && highest > lowest) printLevelGains(rows, highest);
    if (PEER_COUNT > 0) printSummary(rows, lowest, highest);
    if (csv && !writeCsv(csv, rows, lowest, highest)) {
        std::fprintf(stderr, "could not write %s\n", csv);
        return 1;
    }
    return 0;
}
