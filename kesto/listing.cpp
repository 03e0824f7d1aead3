#include "kesto/listing.h"
