# The interface layer over the cabinet engine.
add_library(cabintf STATIC ${CMAKE_CURRENT_LIST_DIR}/vCabIntf.cpp)
target_include_directories(cabintf PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(cabintf PUBLIC cabinet platform)
