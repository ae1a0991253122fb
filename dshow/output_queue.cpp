#include "dshow/output_queue.h"
