#include "dshow/property_page.h"
