#include "backends/KeyQueue.h"

#include <new>

KeyQueue::KeyQueue() : slots(new (std::nothrow) int32_t[capacity]) {}

KeyQueue::~KeyQueue() {
    delete[] slots;
}

bool KeyQueue::push(int32_t value) {
    if (!slots) return false;
    const uint32_t next = (writePosition + 1) % capacity;
    if (next == readPosition) return false;
    slots[writePosition] = value;
    writePosition = next;
    return true;
}

bool KeyQueue::pop(int32_t& value) {
    if (empty()) return false;
    value = slots[readPosition];
    readPosition = (readPosition + 1) % capacity;
    return true;
}
