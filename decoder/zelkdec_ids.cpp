// Class id of the decoder filter.
#include "decoder/zelkdec_ids.h"

// {BF4F1E7E-1AD1-4CA2-9C01-359CDD8F5DA5}
const CLSID CLSID_Zelkdec = {
    0xBF4F1E7E, 0x1AD1, 0x4CA2, {0x9C, 0x01, 0x35, 0x9C, 0xDD, 0x8F, 0x5D, 0xA5}};
