// POSIX side of the platform layer (being written).
#include "platform/platform.h"
