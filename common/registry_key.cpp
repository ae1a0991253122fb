#include "common/registry_key.h"
