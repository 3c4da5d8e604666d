#include "display/File.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace {

// Builds the fopen mode for a set of flags; false when the flags ask for both text and binary,
// which some C runtimes treat as an invalid parameter and end the process over.
bool modeFor(int flags, char (&mode)[5]) {
    const bool read = flags & File::READ;
    const bool write = flags & File::WRITE;
    const bool append = flags & File::APPEND;
    const bool text = flags & File::TEXT;
    const bool binary = flags & File::BINARY;
    if (text && binary) return false;
    const char* base = nullptr;
    if (read && !write)
        base = "r";
    else if (write && !read)
        base = append ? "a" : "w";
    else
        base = append ? "a+" : "r+";
    int n = 0;
    while (*base) mode[n++] = *base++;
    if (binary) mode[n++] = 'b';
    if (text) mode[n++] = 't';
    mode[n] = '\0';
    return true;
}

// fread and fwrite take size_t, which is 32 bits on i686: larger requests are refused rather
// than silently cut.
bool fitsSizeT(int64_t bytes) {
    return bytes > 0 && uint64_t(bytes) <= uint64_t(PTRDIFF_MAX);
}

} // namespace

bool File::open(const char* name, int flags) {
    close();
    char mode[5];
    if (!name || !modeFor(flags, mode)) return false;
    stream = std::fopen(name, mode);
    return stream != nullptr;
}

void File::close() {
    if (!stream) return;
    std::fclose(stream);
    stream = nullptr;
}

int64_t File::read(void* destination, int64_t bytes) {
    if (!stream || !destination || !fitsSizeT(bytes)) return 0;
    return int64_t(std::fread(destination, 1, size_t(bytes), stream));
}

int64_t File::write(const void* source, int64_t bytes) {
    if (!stream || !source || !fitsSizeT(bytes)) return 0;
    return int64_t(std::fwrite(source, 1, size_t(bytes), stream));
}

// The 64-bit variants: plain fseek and ftell take a long, which is 32 bits on Windows.
bool File::seek(int64_t offset, int origin) {
    if (!stream) return false;
    return fseeko64(stream, offset, origin) == 0;
}

int64_t File::tell() {
    if (!stream) return 0;
    int64_t position = ftello64(stream);
    return position < 0 ? 0 : position;
}

int64_t File::size() {
    if (!stream) return 0;
    int64_t here = ftello64(stream);
    if (here < 0 || fseeko64(stream, 0, SEEK_END) != 0) return 0;
    int64_t end = ftello64(stream);
    fseeko64(stream, here, SEEK_SET);
    return end < 0 ? 0 : end;
}

bool File::eof() {
    return stream && std::feof(stream);
}
