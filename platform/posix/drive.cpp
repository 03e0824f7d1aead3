#include "platform/drive.h"
