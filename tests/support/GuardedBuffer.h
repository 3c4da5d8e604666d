#pragma once
#include <cstddef>
#include <cstdint>

// Read-write pages with an inaccessible page on each side, so that any access just before
// begin() or at end() faults at once.
class GuardedBuffer {
  public:
    explicit GuardedBuffer(size_t bytes);
    ~GuardedBuffer();
    GuardedBuffer(const GuardedBuffer&) = delete;
    GuardedBuffer& operator=(const GuardedBuffer&) = delete;

    bool ok() const { return usable != nullptr; }
    uint8_t* begin() const { return usable; }
    uint8_t* end() const { return usable + size; }

  private:
    void* mapping = nullptr;
    size_t mappingSize = 0;
    uint8_t* usable = nullptr;
    size_t size = 0;
};
