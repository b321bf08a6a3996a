# The interface layer over the cabinet engine, or over the system's cabinet.dll
# when VELMORA_SYSTEM_CABINET is on (systemcab.cmake).
include(${CMAKE_CURRENT_LIST_DIR}/systemcab.cmake)
add_library(cabintf STATIC ${CMAKE_CURRENT_LIST_DIR}/vCabIntf.cpp)
target_include_directories(cabintf PUBLIC ${CMAKE_CURRENT_LIST_DIR})
if(VELMORA_SYSTEM_CABINET)
  # Our fci.h declares the calls; the library behind them is cabinet.dll.
  target_include_directories(cabintf PRIVATE ${PROJECT_SOURCE_DIR}/cabinet/include)
  target_link_libraries(cabintf PUBLIC ${VELMORA_CABINET_IMPORT_LIB} platform)
else()
  target_link_libraries(cabintf PUBLIC cabinet platform)
endif()
