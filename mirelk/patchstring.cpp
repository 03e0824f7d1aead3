#include "mirelk/patchstring.h"
