#include "zobrin/drive.h"
