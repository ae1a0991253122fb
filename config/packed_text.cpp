#include "config/packed_text.h"
