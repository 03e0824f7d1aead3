#include "kesto/change.h"

namespace kesto {

int change_attributes_entry() { return 1; }
int change_date_entry() { return 1; }

}  // namespace kesto
