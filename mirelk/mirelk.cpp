#include "mirelk/mirelk.h"

namespace mirelk {

int mirelk_main(int, char**) { return 0; }

}  // namespace mirelk
