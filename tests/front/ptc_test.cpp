#include "backends/Dummy.h"
#include "front/Factory.h"
#include "front/PTC.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include "support/PrivateXServer.h"
#endif

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// A back end that records what was asked of it and accepts what the test says.
struct Log {
    std::vector<std::string> events;
    int alive = 0;
};
Log* log;

struct FakeBackEnd : IDummy {
    int index;
    bool isOk;
    const char* backEndName;
    int32_t acceptCode; // the one mode code (or format id) open accepts; 0 = none
    int32_t openedWidth = 0;

    FakeBackEnd(int i, bool okay, const char* n, int32_t code)
        : index(i), isOk(okay), backEndName(n), acceptCode(code) {
        ++log->alive;
    }
    ~FakeBackEnd() override {
        --log->alive;
        log->events.push_back("delete " + std::to_string(index));
    }
    int ok() override { return isOk; }
    void name(char* buffer) override { std::strcpy(buffer, backEndName); }
    int open(int32_t w, int32_t, int32_t code, int32_t, int32_t, int32_t) override {
        log->events.push_back("open " + std::to_string(index) + " " + std::to_string(code));
        if (code != acceptCode) return 0;
        openedWidth = w;
        return 1;
    }
    int openFormat(int32_t w, int32_t, const Format& f, int32_t, int32_t, int32_t) override {
        log->events.push_back("format " + std::to_string(index) + " " + std::to_string(f.id));
        if (f.id != acceptCode) return 0;
        openedWidth = w;
        return 1;
    }
    int width() override { return openedWidth; }
    int getModes(List<MODE>& modes) override {
        modes.clear();
        MODE* m = new MODE;
        m->width = 100 + index;
        modes.append(m);
        return 1;
    }
};

// Candidates 0 and 1 are ok and named like the real window back ends; 0 accepts only
// mode code 1000, 1 only the RGB565 format (or code 1226); 2 and 3 are never ok.
Interface* fakeFactory(int index, WindowHandle&) {
    switch (index) {
    case 0:
        return new FakeBackEnd(0, true, "DirectX", ARGB8888);
    case 1:
        return new FakeBackEnd(1, true, "GDI", RGB565);
    case 2:
    case 3:
        return new FakeBackEnd(index, false, "", 0);
    default:
        return nullptr;
    }
}

struct PTCTest : ::testing::Test {
    Log events;
    PTC::Factory previous = nullptr;
    void SetUp() override {
        log = &events;
        previous = PTC::setFactory(fakeFactory);
    }
    void TearDown() override {
        PTC::setFactory(previous);
        EXPECT_EQ(events.alive, 0) << "every candidate is freed";
        log = nullptr;
    }
    std::string trail() const {
        std::string all;
        for (const std::string& e : events.events) all += e + "; ";
        return all;
    }
};

TEST(PTCClosed, ClosedDisplayIsTheStaticDummy) {
    PTC display;
    EXPECT_EQ(display.backEnd(), &staticDummy);
    EXPECT_EQ(display.backEnd()->ok(), 0);
    EXPECT_EQ(display.backEnd()->width(), 0);
    EXPECT_EQ(display.backEnd()->height(), 0);
    display.close();
    display.close();
    EXPECT_EQ(display.backEnd(), &staticDummy);
}

#ifdef _WIN32
// DirectDraw full screen and GDI windows are candidates 0 and 1, and Windows always has a display.
constexpr bool windowsBackEnds = true;
constexpr const char* backEndNames[2] = {"DirectX", "GDI"};
struct DisplayServer {
    bool ok() const { return true; }
};
struct NoDisplayServer {
    NoDisplayServer() {} // not trivial: a variable of it is in use
};
#else
// The X11 back end in both, full screen and window, which needs an X server: a private one, or
// none at all.
constexpr bool windowsBackEnds = false;
constexpr const char* backEndNames[2] = {"X11", "X11"};
using DisplayServer = PrivateXServer;
class NoDisplayServer {
  public:
    NoDisplayServer() {
        if (const char* name = std::getenv("DISPLAY")) saved = name;
        unsetenv("DISPLAY");
    }
    ~NoDisplayServer() {
        if (!saved.empty()) setenv("DISPLAY", saved.c_str(), 1);
    }

  private:
    std::string saved;
};
#endif

// What the real search opens here: full screen first, then a window.
TEST(PTCClosed, RealFactoryOpensThePlatformsBackEnds) {
    DisplayServer server;
    ASSERT_TRUE(server.ok());
    PTC display;
    const int32_t outputs[] = {FULLSCREEN_OUTPUT, WINDOW_OUTPUT};
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(display.init(320, 200, FUZZY32, outputs[i], -1, -1), 1);
        char name[8] = {};
        display.backEnd()->name(name);
        EXPECT_STREQ(name, backEndNames[i]);
        EXPECT_EQ(display.backEnd()->output(), outputs[i]);
        display.close();
    }
    List<MODE> modes;
    EXPECT_EQ(display.getModes(modes), 1) << "closed display: 1 even without modes";
}

// With no display to open (natively: no X server), the first two candidates are not ok yet still
// go on to the placeholders.
TEST(PTCClosed, FactoryOrderReachesVesaAndVga) {
    NoDisplayServer none;
    WindowHandle window = nullptr;
    for (int i = 0; i < 4; ++i) {
        Interface* b = interfaceFactory(i, window);
        ASSERT_NE(b, nullptr) << "index " << i << " must not end a search";
        EXPECT_EQ(b->ok(), windowsBackEnds && i < 2 ? 1 : 0) << "index " << i;
        char name[8] = {};
        b->name(name);
        ASSERT_NE(interfaceName(i), nullptr) << "index " << i;
        EXPECT_STREQ(name, interfaceName(i)) << "the name table must tell the truth";
        delete b;
    }
    EXPECT_EQ(interfaceFactory(4, window), nullptr);
    EXPECT_EQ(interfaceName(4), nullptr);
    Interface* vesa = interfaceFactory(2, window);
    Interface* vga = interfaceFactory(3, window);
    EXPECT_NE(dynamic_cast<IVESA*>(vesa), nullptr);
    EXPECT_NE(dynamic_cast<IVGA*>(vga), nullptr);
    delete vesa;
    delete vga;
}

TEST_F(PTCTest, SearchKeepsTheFirstThatOpens) {
    PTC display;
    EXPECT_EQ(display.init(640, 480, RGB565, WINDOW_OUTPUT, -1, -1), 1);
    EXPECT_EQ(display.backEnd()->width(), 640);
    EXPECT_EQ(trail(), "open 0 1006; delete 0; open 1 1006; ");
    display.close();
    EXPECT_EQ(display.backEnd(), &staticDummy);
}

TEST_F(PTCTest, FailedSearchLeavesTheDisplayClosed) {
    PTC display(320, 200, ARGB8888, FULLSCREEN_OUTPUT, -1, -1);
    ASSERT_NE(display.backEnd(), &staticDummy);
    EXPECT_EQ(display.init(320, 200, 4242, FULLSCREEN_OUTPUT, -1, -1), 0);
    EXPECT_EQ(display.backEnd(), &staticDummy) << "init closes first";
}

TEST_F(PTCTest, NameSearchIgnoresCaseAndRejectsOthers) {
    PTC display("gdi");
    ASSERT_NE(display.backEnd(), &staticDummy);
    char name[8];
    display.backEnd()->name(name);
    EXPECT_STREQ(name, "GDI");
    EXPECT_EQ(trail(), "delete 0; ") << "nothing is opened by the name form";
    EXPECT_EQ(display.init("directx", 320, 200, ARGB8888, FULLSCREEN_OUTPUT, -1, -1), 1);
    EXPECT_EQ(display.init("Nobody"), 0);
    EXPECT_EQ(display.backEnd(), &staticDummy);
    EXPECT_EQ(display.init(""), 0) << "the unnamed placeholders are never ok";
}

// Index 1's name is unknown to the table: only constructing it tells.
const char* fakeNames(int index) {
    constexpr const char* names[] = {"DirectX", nullptr, "", ""};
    return index < 4 ? names[index] : nullptr;
}

TEST_F(PTCTest, NameSearchConstructsNoCandidateKnownByAnotherName) {
    PTC::setFactory(fakeFactory, fakeNames);
    const struct {
        const char* name;
        int result;
        const char* trail;
    } cases[] = {
        {"gdi", 1, ""},                        // 0 is passed by; 1 is made and stays
        {"DIRECTX", 1, "delete 1; "},          // the open 1 is closed first; 0 is made and stays
        {"Nobody", 0, "delete 0; delete 1; "}, // the open 0 closed; only 1 is made, and freed
        {"", 0, "delete 1; delete 2; delete 3; "}, // 1 and the unnamed two are made
    };
    PTC display;
    for (const auto& c : cases) {
        events.events.clear();
        EXPECT_EQ(display.init(c.name), c.result) << c.name;
        EXPECT_EQ(trail(), c.trail) << c.name;
    }
}

TEST_F(PTCTest, WindowFormKeepsTheFirstOkBackEnd) {
    WindowHandle window = nullptr;
    PTC display(window);
    char name[8];
    display.backEnd()->name(name);
    EXPECT_STREQ(name, "DirectX");
}

TEST_F(PTCTest, CommandLineNumberThenFormatNameThenKeyword) {
    struct Case {
        std::vector<const char*> args;
        int result;
        const char* trail;
        const char* why;
    } cases[] = {
        {{"prog", "640", "480", "1000"}, 1, "open 0 1000; ", "a number is a mode code"},
        {{"prog", "320", "200", "RGB565"},
         1,
         "open 0 0; delete 0; open 1 0; delete 1; delete 2; delete 3; format 0 1006; delete 0; "
         "format 1 1006; ",
         "number 0 fails, then the format name"},
        {{"prog", "640", "480", "INDEXED"},
         0,
         "open 0 0; delete 0; open 1 0; delete 1; delete 2; delete 3; open 0 1226; delete 0; "
         "open 1 1226; delete 1; delete 2; delete 3; ",
         "not a format name: the keyword's code"},
        {{"prog", "640", "480"}, 0, "", "three arguments are too few"},
    };
    for (const Case& c : cases) {
        events.events.clear();
        PTC display;
        int got = display.init(int(c.args.size()), const_cast<char**>(c.args.data()),
                               FULLSCREEN_OUTPUT, -1, -1);
        EXPECT_EQ(got, c.result) << c.why;
        EXPECT_EQ(trail(), c.trail) << c.why;
        display.close();
    }
}

TEST_F(PTCTest, CommandLineKeywordsAndSynonyms) {
    struct Case {
        const char* keyword;
        int32_t code;
    } cases[] = {{"direct", 1225},  {"Fakemode", 1227}, {"FUZZY8", 1125},    {"fuzzy16", 1126},
                 {"FUZZY32", 1127}, {"virtual8", 1125}, {"VIRTUAL16", 1126}, {"virtual32", 1127}};
    for (const Case& c : cases) {
        events.events.clear();
        const char* argv[] = {"prog", c.keyword};
        PTC display;
        display.init(320, 200, 2, const_cast<char**>(argv), WINDOW_OUTPUT, -1, -1);
        const std::string expected = "open 0 " + std::to_string(c.code) + ";";
        EXPECT_NE(trail().find(expected), std::string::npos) << c.keyword << ": " << trail();
    }
}

TEST_F(PTCTest, GetModesOnAClosedDisplayAppendsEveryBackEnd) {
    List<MODE> modes;
    modes.append(new MODE);
    PTC display;
    EXPECT_EQ(display.getModes(modes), 1);
    std::vector<int> widths;
    modes.forEach([&](const MODE& m) { widths.push_back(m.width); });
    EXPECT_EQ(widths, (std::vector<int>{0, 100, 101, 102, 103})) << "kept, then in order";
}

TEST_F(PTCTest, GetModesOnAnOpenDisplayAsksItsBackEnd) {
    PTC display(320, 200, ARGB8888, FULLSCREEN_OUTPUT, -1, -1);
    List<MODE> modes;
    modes.append(new MODE);
    EXPECT_EQ(display.getModes(modes), 1);
    EXPECT_EQ(modes.count(), 1);
    EXPECT_EQ(modes.first()->element->width, 100);
}

TEST(Dummy, FixedHarmlessResults) {
    IDummy dummy;
    List<MODE> modes;
    modes.append(new MODE);
    EXPECT_EQ(dummy.getModes(modes), 0);
    EXPECT_TRUE(modes.empty());
    int32_t a = 7, b = 9;
    EXPECT_EQ(dummy.reservedB(a, b), 0);
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 0);
    EXPECT_EQ(dummy.addSurface(nullptr), 1);
    EXPECT_EQ(dummy.removeSurface(nullptr), 1);
    char title[4] = "abc";
    EXPECT_EQ(dummy.getTitle(title), 0);
    EXPECT_STREQ(title, "abc");
    const ReservedRecord r = dummy.reservedRecord();
    EXPECT_EQ(r.a | r.b | r.c, 0);
    EXPECT_FALSE(dummy.format().ok());
    for (IDummy* d : {static_cast<IDummy*>(new IVGA), static_cast<IDummy*>(new IVESA), &dummy}) {
        char name[8] = "xxxxxxx";
        d->name(name);
        EXPECT_EQ(name[0], '\0');
        EXPECT_EQ(name[1], 'x') << "only the terminating NUL";
        if (d != &dummy) delete d;
    }
    int32_t w = 1, h = 1, kind = 30, orientation = -1, advance = -1, variant = -1;
    Format f(ARGB8888);
    ::SURFACE* s = dummy.createSurface(w, h, f, kind, orientation, advance, variant);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->valid(), 0);
    EXPECT_EQ(s->lock(1), nullptr);
    EXPECT_EQ(s->lockable(), 0);
    delete s;
}

TEST(List, AppendMoveAndClear) {
    List<MODE> a, b;
    for (int i = 0; i < 3; ++i) {
        MODE* m = new MODE;
        m->width = i;
        a.append(m);
    }
    MODE* last = new MODE;
    last->width = 9;
    b.append(last);
    a.moveAllTo(b);
    EXPECT_TRUE(a.empty());
    std::vector<int> widths;
    b.forEach([&](const MODE& m) { widths.push_back(m.width); });
    EXPECT_EQ(widths, (std::vector<int>{9, 0, 1, 2}));
    EXPECT_TRUE(b.removeFirst([](const MODE& m) { return m.width == 1; }));
    EXPECT_EQ(b.count(), 3);
    b.clear();
    EXPECT_TRUE(b.empty());
    EXPECT_TRUE(List<MODE>::atEnd(b.first())) << "an empty list's sentinel points to itself";
}

} // namespace
