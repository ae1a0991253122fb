#include "config/config_sources.h"
