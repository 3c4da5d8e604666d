#pragma once
#include <cstdint>
#include <cstdio>

// A buffered standard-library file. Every operation on a closed file returns 0 and does
// nothing.
class File {
  public:
    // open flags
    static constexpr int READ = 1;
    static constexpr int WRITE = 2;
    static constexpr int APPEND = 4;
    static constexpr int TEXT = 8;
    static constexpr int BINARY = 16;

    File() = default;
    ~File() { close(); }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    bool open(const char* name, int flags);
    void close();
    int64_t read(void* destination, int64_t bytes);
    int64_t write(const void* source, int64_t bytes);
    // origin as fseek: 0 from the start, 1 from here, 2 from the end
    bool seek(int64_t offset, int origin);
    int64_t tell();
    int64_t size();
    bool eof();
    bool isOpen() const { return stream != nullptr; }

  private:
    std::FILE* stream = nullptr;
};
