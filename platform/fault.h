// Fault injection: a test makes a chosen call of this layer fail with a
// chosen error, in the manner of an overridable system-call table. Calls of
// each kind are counted from the moment a fault is armed; the nth one fails.
//
// Programs also read the environment variable SUITE_FAULTS at start, a comma
// list of kind:n:error, where error is a number or one of io, nospace,
// access, notfound, or "short" (a write or read that transfers only half of
// what was asked and reports that as its result). Example:
//     SUITE_FAULTS=write:2:nospace,read:1:io
#pragma once
#include <cstddef>

namespace plat::fault {

enum class Call {
    open, read, write, seek, close, set_times, set_attributes, rename, remove,
    make_directory, allocate, version, sync,
    count_
};

constexpr int SHORT_TRANSFER = -1;  // as error: a short read or write

void arm(Call call, unsigned nth, int error);
void clear();
// Parses a SUITE_FAULTS value; false when it is malformed.
bool arm_from_text(const char* text);

// For the backends: true when this call must fail; error then holds the OS
// error code to report, or SHORT_TRANSFER.
bool hit(Call call, int& error);

// For reads and writes: false when this call must fail; a short transfer
// halves size instead.
bool transfer(Call call, std::size_t& size);

}  // namespace plat::fault
