// What the OS-neutral parts of this layer need from the backend for the
// current OS. Not for use outside platform/.
#pragma once
#include <cstdarg>

namespace plat::backend {

// The OS error code for a symbolic name (io, nospace, access, notfound), or
// 0 when the name is unknown.
int error_code_for(const char* name);

// Records the error a failing call reports through last_error().
void set_last_error(int code);

// Removes the file given to remove_at_termination() (file.h), if any. Safe
// in a signal handler.
void remove_file_at_termination();

}  // namespace plat::backend
