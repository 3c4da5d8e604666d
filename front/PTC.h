#pragma once
#include "backends/Interface.h"
#include "display/BackEndHolder.h"
#include "display/List.h"
#include "display/MODE.h"
#include "format/Format.h"
#include "platform/Platform.h"

#include <cstdint>

// The display front object: owns the back end it found, or points at staticDummy when closed.
class PTC : public BackEndHolder {
  public:
    PTC();
    explicit PTC(const MODE& mode);
    PTC(int32_t width, int32_t height, int32_t mode, int32_t output, int32_t secondOption,
        int32_t thirdOption);
    PTC(int32_t width, int32_t height, const Format& format, int32_t output, int32_t secondOption,
        int32_t thirdOption);
    explicit PTC(WindowHandle& window);
    PTC(WindowHandle& window, const MODE& mode);
    PTC(WindowHandle& window, int32_t width, int32_t height, int32_t mode, int32_t output,
        int32_t secondOption, int32_t thirdOption);
    PTC(WindowHandle& window, int32_t width, int32_t height, const Format& format, int32_t output,
        int32_t secondOption, int32_t thirdOption);
    explicit PTC(const char* name);
    PTC(const char* name, int32_t width, int32_t height, int32_t mode, int32_t output,
        int32_t secondOption, int32_t thirdOption);
    PTC(const char* name, int32_t width, int32_t height, const Format& format, int32_t output,
        int32_t secondOption, int32_t thirdOption);
    PTC(const char* name, WindowHandle& window);
    PTC(const char* name, WindowHandle& window, int32_t width, int32_t height, int32_t mode,
        int32_t output, int32_t secondOption, int32_t thirdOption);
    PTC(const char* name, WindowHandle& window, int32_t width, int32_t height, const Format& format,
        int32_t output, int32_t secondOption, int32_t thirdOption);
    PTC(int argc, char** argv, int32_t output, int32_t secondOption, int32_t thirdOption);
    PTC(int32_t width, int32_t height, int argc, char** argv, int32_t output, int32_t secondOption,
        int32_t thirdOption);
    ~PTC();

    PTC(const PTC&) = delete;
    PTC& operator=(const PTC&) = delete;

    int init(const MODE& mode);
    int init(int32_t width, int32_t height, int32_t mode, int32_t output, int32_t secondOption,
             int32_t thirdOption);
    int init(int32_t width, int32_t height, const Format& format, int32_t output,
             int32_t secondOption, int32_t thirdOption);
    int init(WindowHandle& window);
    int init(WindowHandle& window, const MODE& mode);
    int init(WindowHandle& window, int32_t width, int32_t height, int32_t mode, int32_t output,
             int32_t secondOption, int32_t thirdOption);
    int init(WindowHandle& window, int32_t width, int32_t height, const Format& format,
             int32_t output, int32_t secondOption, int32_t thirdOption);
    int init(const char* name);
    int init(const char* name, int32_t width, int32_t height, int32_t mode, int32_t output,
             int32_t secondOption, int32_t thirdOption);
    int init(const char* name, int32_t width, int32_t height, const Format& format, int32_t output,
             int32_t secondOption, int32_t thirdOption);
    int init(const char* name, WindowHandle& window);
    int init(const char* name, WindowHandle& window, int32_t width, int32_t height, int32_t mode,
             int32_t output, int32_t secondOption, int32_t thirdOption);
    int init(const char* name, WindowHandle& window, int32_t width, int32_t height,
             const Format& format, int32_t output, int32_t secondOption, int32_t thirdOption);
    int init(int argc, char** argv, int32_t output, int32_t secondOption, int32_t thirdOption);
    int init(int32_t width, int32_t height, int argc, char** argv, int32_t output,
             int32_t secondOption, int32_t thirdOption);

    void close();
    // Closes the display first, so a full-screen display is given up before the box shows.
    void error(const char* message);
    int getModes(List<MODE>& modes);

    // What a program needs of the open display without knowing its back end. isOpen() is true
    // when a real back end is open and still ok (an init's result alone does not say so).
    bool isOpen() const;
    int setTitle(const char* title);
    int32_t width() const;
    int32_t height() const;
    // Whether a key is waiting, without taking it.
    int keyPressed() const;

    // Replaces the factory the searches use and returns the previous one; for tests. names tells
    // each candidate's name without constructing it (null: unknown), so that a search by name
    // constructs only candidates of that name; the platform's factory comes with its own table.
    using Factory = Interface* (*)(int index, WindowHandle& window);
    using Names = const char* (*)(int index);
    static Factory setFactory(Factory factory, Names names = nullptr);

  private:
    struct Request;
    int search(const Request& request, WindowHandle& window);
};
