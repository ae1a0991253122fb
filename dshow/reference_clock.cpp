#include "dshow/reference_clock.h"
