// Our fci.h, held to the facts the system's fci.h is held to in SystemFciAbi.cpp.
#include "../../cabinet/fci.h"

#include "FciAbi.h"
