#pragma once
#include <cstdint>

// A fixed ring of key values. One slot always stays free, so it holds at most capacity - 1
// values and full and empty are told apart by the positions alone. Not synchronised: the
// owner guards it with its own lock.
class KeyQueue {
  public:
    static constexpr uint32_t capacity = 1024;

    // Allocates the slots once; valid() is false when that failed (every push is then dropped).
    KeyQueue();
    ~KeyQueue();
    KeyQueue(const KeyQueue&) = delete;
    KeyQueue& operator=(const KeyQueue&) = delete;

    bool valid() const { return slots != nullptr; }
    bool empty() const { return readPosition == writePosition; }
    uint32_t count() const { return (writePosition + capacity - readPosition) % capacity; }
    // False, leaving the queue as it was, when it is full.
    bool push(int32_t value);
    // False when it is empty.
    bool pop(int32_t& value);
    void clear() { readPosition = writePosition; }

  private:
    int32_t* slots;
    uint32_t readPosition = 0;
    uint32_t writePosition = 0;
};
