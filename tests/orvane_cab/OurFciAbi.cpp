// Our fci.h, held to the facts the system's fci.h is held to in SystemFciAbi.cpp.
// It comes after <windows.h> here: the two must agree on every name they share
// (BOOL, UINT, ULONG, USHORT, INT_PTR, TRUE, FALSE).
#include <windows.h>

#include "../../cabinet/include/fci.h"

#include "FciAbi.h"
