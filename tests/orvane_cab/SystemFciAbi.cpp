// The system's declarations of cabinet.dll (MinGW-w64's fci.h), held to the
// same facts as ours in OurFciAbi.cpp. Compiled without our cabinet folder on
// the include path, so that <fci.h> is the system's.
#include <windows.h>

#include <fci.h>

#include "FciAbi.h"
