#include "front/PTC.h"

#include "backends/Dummy.h"
#include "front/Factory.h"

#include <climits>
#include <cstdint>
#include <cstdlib>

namespace {

PTC::Factory currentFactory = interfaceFactory;
PTC::Names currentNames = interfaceName;

struct Keyword {
    const char* word;
    int32_t code;
};

// Mode keywords of the command line, compared in this order.
constexpr Keyword modeKeywords[] = {
    {"DIRECT", DIRECT},   {"INDEXED", INDEXED},   {"FAKEMODE", FAKEMODE},
    {"FUZZY8", FUZZY8},   {"FUZZY16", FUZZY16},   {"FUZZY32", FUZZY32},
    {"VIRTUAL8", FUZZY8}, {"VIRTUAL16", FUZZY16}, {"VIRTUAL32", FUZZY32},
};

// The standard library's decimal conversion, held to the int32 range.
int32_t decimal(const char* text) {
    long value = std::strtol(text, nullptr, 10);
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return int32_t(value);
}

// Whether candidate index is known, without constructing it, to have a name other than wanted.
bool namedOtherwise(int index, const char* wanted) {
    const char* known = wanted && currentNames ? currentNames(index) : nullptr;
    return known && !equalsIgnoringCase(known, wanted);
}

} // namespace

// What a search asks of each candidate that is ok (and, with a name, named so).
struct PTC::Request {
    enum Kind { KEEP, OPEN_MODE, OPEN, OPEN_FORMAT } kind = KEEP;
    const char* name = nullptr;
    const MODE* mode = nullptr;
    const Format* format = nullptr;
    int32_t width = 0, height = 0, modeCode = 0, output = 0, secondOption = 0, thirdOption = 0;

    int run(Interface& b) const {
        switch (kind) {
        case KEEP:
            return 1;
        case OPEN_MODE:
            return b.openMode(*mode);
        case OPEN:
            return b.open(width, height, modeCode, output, secondOption, thirdOption);
        case OPEN_FORMAT:
            return b.openFormat(width, height, *format, output, secondOption, thirdOption);
        }
        return 0;
    }

    static Request keep(const char* name) {
        Request r;
        r.name = name;
        return r;
    }
    static Request openMode(const char* name, const MODE& mode) {
        Request r;
        r.kind = OPEN_MODE;
        r.name = name;
        r.mode = &mode;
        return r;
    }
    static Request open(const char* name, int32_t width, int32_t height, int32_t code,
                        int32_t output, int32_t second, int32_t third) {
        Request r{OPEN, name, nullptr, nullptr, width, height, code, output, second, third};
        return r;
    }
    static Request openFormat(const char* name, int32_t width, int32_t height, const Format& format,
                              int32_t output, int32_t second, int32_t third) {
        Request r{OPEN_FORMAT, name, nullptr, &format, width, height, 0, output, second, third};
        return r;
    }
};

bool PTC::isOpen() const {
    return iface != &staticDummy && iface->ok();
}

int PTC::setTitle(const char* title) {
    return iface->setTitle(title);
}

int32_t PTC::width() const {
    return iface->width();
}

int32_t PTC::height() const {
    return iface->height();
}

int PTC::keyPressed() const {
    return iface->keyPressed();
}

PTC::Factory PTC::setFactory(Factory factory, Names names) {
    Factory previous = currentFactory;
    currentFactory = factory ? factory : interfaceFactory;
    currentNames = names || currentFactory != interfaceFactory ? names : interfaceName;
    return previous;
}

int PTC::search(const Request& request, WindowHandle& window) {
    close();
    for (int index = 0;; ++index) {
        if (namedOtherwise(index, request.name)) continue;
        Interface* candidate = currentFactory(index, window);
        if (!candidate) break;
        iface = candidate;
        bool stays = false;
        if (candidate->ok()) {
            bool named = true;
            if (request.name) {
                char name[8] = {};
                candidate->name(name);
                name[7] = '\0';
                named = equalsIgnoringCase(name, request.name);
            }
            stays = named && request.run(*candidate) != 0;
        }
        if (stays) return 1;
        iface = &staticDummy;
        delete candidate;
    }
    iface = &staticDummy;
    return 0;
}

PTC::PTC() : BackEndHolder(&staticDummy) {}
PTC::PTC(const MODE& mode) : PTC() {
    init(mode);
}
PTC::PTC(int32_t w, int32_t h, int32_t mode, int32_t o, int32_t s, int32_t t) : PTC() {
    init(w, h, mode, o, s, t);
}
PTC::PTC(int32_t w, int32_t h, const Format& f, int32_t o, int32_t s, int32_t t) : PTC() {
    init(w, h, f, o, s, t);
}
PTC::PTC(WindowHandle& window) : PTC() {
    init(window);
}
PTC::PTC(WindowHandle& window, const MODE& mode) : PTC() {
    init(window, mode);
}
PTC::PTC(WindowHandle& window, int32_t w, int32_t h, int32_t mode, int32_t o, int32_t s, int32_t t)
    : PTC() {
    init(window, w, h, mode, o, s, t);
}
PTC::PTC(WindowHandle& window, int32_t w, int32_t h, const Format& f, int32_t o, int32_t s,
         int32_t t)
    : PTC() {
    init(window, w, h, f, o, s, t);
}
PTC::PTC(const char* name) : PTC() {
    init(name);
}
PTC::PTC(const char* name, int32_t w, int32_t h, int32_t mode, int32_t o, int32_t s, int32_t t)
    : PTC() {
    init(name, w, h, mode, o, s, t);
}
PTC::PTC(const char* name, int32_t w, int32_t h, const Format& f, int32_t o, int32_t s, int32_t t)
    : PTC() {
    init(name, w, h, f, o, s, t);
}
PTC::PTC(const char* name, WindowHandle& window) : PTC() {
    init(name, window);
}
PTC::PTC(const char* name, WindowHandle& window, int32_t w, int32_t h, int32_t mode, int32_t o,
         int32_t s, int32_t t)
    : PTC() {
    init(name, window, w, h, mode, o, s, t);
}
PTC::PTC(const char* name, WindowHandle& window, int32_t w, int32_t h, const Format& f, int32_t o,
         int32_t s, int32_t t)
    : PTC() {
    init(name, window, w, h, f, o, s, t);
}
PTC::PTC(int argc, char** argv, int32_t o, int32_t s, int32_t t) : PTC() {
    init(argc, argv, o, s, t);
}
PTC::PTC(int32_t w, int32_t h, int argc, char** argv, int32_t o, int32_t s, int32_t t) : PTC() {
    init(w, h, argc, argv, o, s, t);
}

PTC::~PTC() {
    close();
}

int PTC::init(const MODE& mode) {
    WindowHandle window = nullptr;
    return search(Request::openMode(nullptr, mode), window);
}
int PTC::init(int32_t w, int32_t h, int32_t mode, int32_t o, int32_t s, int32_t t) {
    WindowHandle window = nullptr;
    return search(Request::open(nullptr, w, h, mode, o, s, t), window);
}
int PTC::init(int32_t w, int32_t h, const Format& f, int32_t o, int32_t s, int32_t t) {
    WindowHandle window = nullptr;
    return search(Request::openFormat(nullptr, w, h, f, o, s, t), window);
}
int PTC::init(WindowHandle& window) {
    return search(Request::keep(nullptr), window);
}
int PTC::init(WindowHandle& window, const MODE& mode) {
    return search(Request::openMode(nullptr, mode), window);
}
int PTC::init(WindowHandle& window, int32_t w, int32_t h, int32_t mode, int32_t o, int32_t s,
              int32_t t) {
    return search(Request::open(nullptr, w, h, mode, o, s, t), window);
}
int PTC::init(WindowHandle& window, int32_t w, int32_t h, const Format& f, int32_t o, int32_t s,
              int32_t t) {
    return search(Request::openFormat(nullptr, w, h, f, o, s, t), window);
}
int PTC::init(const char* name) {
    WindowHandle window = nullptr;
    return search(Request::keep(name), window);
}
int PTC::init(const char* name, int32_t w, int32_t h, int32_t mode, int32_t o, int32_t s,
              int32_t t) {
    WindowHandle window = nullptr;
    return search(Request::open(name, w, h, mode, o, s, t), window);
}
int PTC::init(const char* name, int32_t w, int32_t h, const Format& f, int32_t o, int32_t s,
              int32_t t) {
    WindowHandle window = nullptr;
    return search(Request::openFormat(name, w, h, f, o, s, t), window);
}
int PTC::init(const char* name, WindowHandle& window) {
    return search(Request::keep(name), window);
}
int PTC::init(const char* name, WindowHandle& window, int32_t w, int32_t h, int32_t mode, int32_t o,
              int32_t s, int32_t t) {
    return search(Request::open(name, w, h, mode, o, s, t), window);
}
int PTC::init(const char* name, WindowHandle& window, int32_t w, int32_t h, const Format& f,
              int32_t o, int32_t s, int32_t t) {
    return search(Request::openFormat(name, w, h, f, o, s, t), window);
}

int PTC::init(int32_t w, int32_t h, int argc, char** argv, int32_t o, int32_t s, int32_t t) {
    close();
    if (argc <= 1 || !argv || !argv[1]) return 0;
    const char* argument = argv[1];
    // A number names a mode code or a format id.
    if (init(w, h, decimal(argument), o, s, t)) return 1;
    Format named(argument);
    if (named.ok() && init(w, h, named, o, s, t)) return 1;
    for (const Keyword& keyword : modeKeywords)
        if (equalsIgnoringCase(argument, keyword.word)) return init(w, h, keyword.code, o, s, t);
    return 0;
}

int PTC::init(int argc, char** argv, int32_t o, int32_t s, int32_t t) {
    close();
    if (argc <= 3 || !argv || !argv[1] || !argv[2]) return 0;
    return init(decimal(argv[1]), decimal(argv[2]), 2, argv + 2, o, s, t);
}

void PTC::close() {
    if (iface && iface != &staticDummy) delete iface;
    iface = &staticDummy;
}

void PTC::error(const char* message) {
    close();
    platform::errorBox(message, "ptc error");
}

int PTC::getModes(List<MODE>& modes) {
    if (iface != &staticDummy) return iface->getModes(modes);
    for (int index = 0;; ++index) {
        WindowHandle window = nullptr;
        Interface* candidate = currentFactory(index, window);
        if (!candidate) break;
        List<MODE> found;
        candidate->getModes(found);
        found.moveAllTo(modes);
        delete candidate;
    }
    return 1;
}
