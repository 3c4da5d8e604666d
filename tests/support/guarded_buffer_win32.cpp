#include "support/GuardedBuffer.h"

#include <windows.h>

GuardedBuffer::GuardedBuffer(size_t bytes) {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    const size_t page = info.dwPageSize;
    const size_t pages = (bytes + page - 1) / page;
    mappingSize = (pages + 2) * page;
    void* p = VirtualAlloc(nullptr, mappingSize, MEM_RESERVE | MEM_COMMIT, PAGE_NOACCESS);
    if (!p) return;
    mapping = p;
    uint8_t* first = static_cast<uint8_t*>(p) + page;
    DWORD previous;
    if (pages && !VirtualProtect(first, pages * page, PAGE_READWRITE, &previous)) return;
    usable = first;
    size = pages * page;
}

GuardedBuffer::~GuardedBuffer() {
    if (mapping) VirtualFree(mapping, 0, MEM_RELEASE);
}
