#include "kesto/options.h"
