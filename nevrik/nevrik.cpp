#include "nevrik/nevrik.h"

namespace nevrik {

int nevrik_main(int, char**) { return 0; }

}  // namespace nevrik
