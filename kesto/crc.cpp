#include "kesto/crc.h"
