#include "support/GuardedBuffer.h"

#include <sys/mman.h>
#include <unistd.h>

GuardedBuffer::GuardedBuffer(size_t bytes) {
    const size_t page = size_t(sysconf(_SC_PAGESIZE));
    const size_t pages = (bytes + page - 1) / page;
    mappingSize = (pages + 2) * page;
    void* p = mmap(nullptr, mappingSize, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return;
    mapping = p;
    uint8_t* first = static_cast<uint8_t*>(p) + page;
    if (pages && mprotect(first, pages * page, PROT_READ | PROT_WRITE) != 0) return;
    usable = first;
    size = pages * page;
}

GuardedBuffer::~GuardedBuffer() {
    if (mapping) munmap(mapping, mappingSize);
}
