#include "kesto/verify.h"

namespace kesto {

int verify_entry() { return 1; }
int compare_files(bool, const char*) { return -1; }

}  // namespace kesto
