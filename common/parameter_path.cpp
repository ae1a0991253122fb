#include "common/parameter_path.h"
