// The port library's slots, empty until the binding fills them.
#include "radio/platform_seam.h"

PortOutProc PortOut = nullptr;
PortInProc PortIn = nullptr;
