#include "common/xml_document.h"
