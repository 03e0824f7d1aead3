#include "error.h"

#include "backend.h"

namespace plat {
namespace {

// Per thread, as errno: a failure on one thread never shows as another's.
thread_local int error_code = 0;

}  // namespace

int last_error() { return error_code; }

namespace backend {

void set_last_error(int code) { error_code = code; }

bool fail(int code) {
    error_code = code;
    return false;
}

}  // namespace backend
}  // namespace plat
