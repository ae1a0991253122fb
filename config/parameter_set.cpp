#include "config/parameter_set.h"
