# The cabinet-writer component tvFwCAB and its file selection, over the
# interface layer.
add_library(vfwcab STATIC vFwCAB.cpp vFileSel.cpp)
target_include_directories(vfwcab PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(vfwcab PUBLIC cabintf platform)
