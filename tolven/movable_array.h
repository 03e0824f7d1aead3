// A growable array of fixed-size records in one block of memory that may
// move when it grows. Code that works on the records directly takes a lock
// (lock() gives the block's address) and gives it back with unlock(); while
// a lock is held the block cannot move, so it cannot grow.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tolven {

struct MovableArray {
    std::size_t count = 0;            // records stored
    std::size_t capacity = 0;         // records that fit in the block
    std::size_t record_size;          // bytes per record
    void* locked_pointer = nullptr;   // the block's address while locked
    void* handle = nullptr;           // the block; none until the first record
    std::size_t allocated_bytes = 0;  // size of the block
    std::size_t growth;               // records added per growth step
    int lock_count = 0;               // locks taken and not yet released

    MovableArray(std::size_t record_size, std::size_t growth) : record_size(record_size), growth(growth) {}
    ~MovableArray() { release(); }
    MovableArray(const MovableArray&) = delete;
    MovableArray& operator=(const MovableArray&) = delete;

    // Adds one record at the end; false when the block cannot grow (out of
    // memory, a size beyond what the address space holds, or a lock held).
    bool append(const void* record) {
        if (count == capacity && !grow()) return false;
        std::memcpy(static_cast<char*>(lock()) + count * record_size, record, record_size);
        ++count;
        unlock();
        return true;
    }
    // The block's address (none without a block); counted until unlock().
    void* lock() {
        if (!handle) return nullptr;
        ++lock_count;
        locked_pointer = handle;
        return handle;
    }
    void unlock() {
        if (!handle || lock_count == 0) return;
        if (--lock_count == 0) locked_pointer = nullptr;
    }
    // Gives back the room beyond the last record; releases every lock first.
    void shrink_to_fit();
    // Frees the block, whatever locks are held.
    void release();

private:
    bool grow();
};

}  // namespace tolven
