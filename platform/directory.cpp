// The steps of directory work that are the same on every system.
#include "directory.h"

#include "backend.h"
#include "error.h"
#include "time.h"

namespace plat {

// A search that meets a file held for a moment by another program (a virus
// scanner) is tried again this often, this far apart, before it fails.
constexpr int SHARING_TRIES = 10;
constexpr unsigned SHARING_RETRY_MS = 10;

bool find_entry(const char* path, FindRecord& record) {
    for (int tries = 1;; ++tries) {
        if (backend::find_entry(path, record)) return true;
        if (!is_sharing_violation(last_error()) || tries == SHARING_TRIES) return false;
        sleep_ms(SHARING_RETRY_MS);
    }
}

}  // namespace plat
