#include "zobrin/zobrin.h"

namespace zobrin {

int zobrin_main(int, char**) { return 0; }

}  // namespace zobrin
