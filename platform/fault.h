// Fault injection: a test makes a chosen call of this layer fail with a
// chosen error, in the manner of an overridable system-call table. Calls of
// each kind are counted from the moment a fault is armed; the nth one fails.
//
// Programs also read the environment variable SUITE_FAULTS at start, a comma
// list of kind:n:error, where error is a number or one of io, nospace,
// access, notfound, or "short" (a write or read that transfers only half of
// what was asked and reports that as its result). Example:
//     SUITE_FAULTS=write:2:nospace,read:1:io
//
// One item is a test hook rather than a failure: "swap:n:path" makes the
// nth directory that a walk enters give way, just before it is opened, to a
// symbolic link to path (the directory itself is renamed to its name and
// "~"), as a program racing the walk could do.
#pragma once
#include <cstddef>
#include <string>

namespace plat::fault {

enum class Call {
    open,
    read,
    write,
    seek,
    close,
    set_times,
    set_attributes,
    rename,
    remove,
    make_directory,
    allocate,
    version,
    sync,
    swap,
    count_
};

constexpr int SHORT_TRANSFER = -1;  // as error: a short read or write

void arm(Call call, unsigned nth, int error);
void clear();
// Parses a SUITE_FAULTS value; false when it is malformed.
bool arm_from_text(const char* text);

// True when a fault of any kind is armed. Work that a program would spread
// over threads is then done on one, so that "the nth call" means the same
// as in a run without threads.
bool any_armed();

// True when this call must fail; last_error() then tells why (a "short"
// fault on a call that transfers nothing reports an I/O error).
bool hit(Call call);

// For the backends, as a directory is entered: true when the armed swap is
// due now; target then holds where the link is to lead.
bool swap_due(std::string& target);

// For reads and writes: false when this call must fail; a short transfer
// halves size instead.
bool transfer(Call call, std::size_t& size);

}  // namespace plat::fault
