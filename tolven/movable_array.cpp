#include "tolven/movable_array.h"

#include <cstdint>
#include <cstdlib>

#include "platform/fault.h"

namespace tolven {

bool MovableArray::grow() {
    // A locked block must stay where it is. Only this thread could release
    // the lock, so waiting for it would only delay the same failure.
    if (lock_count > 0) return false;
    // Sizes are checked against the address space, never allowed to wrap.
    const std::size_t limit = PTRDIFF_MAX;
    if (growth > (limit - allocated_bytes) / record_size) return false;
    std::size_t new_size = allocated_bytes + record_size * growth;
    if (plat::fault::hit(plat::fault::Call::allocate)) return false;
    // realloc moves the records when the block cannot grow in place.
    void* block = std::realloc(handle, new_size);
    if (!block) return false;
    handle = block;
    allocated_bytes = new_size;
    capacity += growth;
    return true;
}

void MovableArray::shrink_to_fit() {
    if (capacity <= count) return;
    while (lock_count > 0) unlock();
    std::size_t new_size = count * record_size;
    if (new_size == 0) {
        release();
        return;
    }
    void* block = std::realloc(handle, new_size);
    if (!block) return;  // the larger block stays valid
    handle = block;
    allocated_bytes = new_size;
    capacity = count;
}

void MovableArray::release() {
    if (!handle) return;
    std::free(handle);
    count = 0;
    capacity = 0;
    locked_pointer = nullptr;
    handle = nullptr;
    allocated_bytes = 0;
    lock_count = 0;
}

}  // namespace tolven
