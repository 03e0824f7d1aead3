#include "tolven/tolven.h"

namespace tolven {

int tolven_main(int, char**) { return 0; }

}  // namespace tolven
