#include "dshow/media_sample.h"
