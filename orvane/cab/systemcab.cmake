# Build option: the interface layer over the system's cabinet.dll instead of our
# engine. The layer is compiled unchanged against our fci.h and linked to the
# library's FCI entry points, which proves that our records, callbacks and
# calling convention are the library's own. Our engine stays the default.
option(VELMORA_SYSTEM_CABINET
       "Windows: link the cabinet interface layer against the system's cabinet.dll" OFF)
if(VELMORA_SYSTEM_CABINET)
  if(NOT WIN32)
    message(FATAL_ERROR "VELMORA_SYSTEM_CABINET needs a Windows build: cabinet.dll is part of "
                        "Windows (configure with cmake/mingw-x86_64.cmake or mingw-i686.cmake).")
  endif()
  # The import library MinGW-w64 ships for cabinet.dll (a name of its own:
  # "cabinet" is our engine's target).
  find_library(VELMORA_CABINET_IMPORT_LIB NAMES libcabinet.a cabinet)
  if(NOT VELMORA_CABINET_IMPORT_LIB)
    message(FATAL_ERROR "The import library of cabinet.dll (libcabinet.a) was not found "
                        "among the MinGW-w64 libraries.")
  endif()
  message(STATUS "cabinet interface layer: system cabinet.dll (${VELMORA_CABINET_IMPORT_LIB})")
endif()
