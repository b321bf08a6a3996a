# The cabinet engine: the FCI calls over our own cabinet writer and block codecs.
add_library(cabinet STATIC
  ${CMAKE_CURRENT_LIST_DIR}/fci.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CabWriter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CabFormat.cpp
  ${CMAKE_CURRENT_LIST_DIR}/BlockCodecs.cpp)
target_include_directories(cabinet PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(cabinet PUBLIC lzx ZLIB::ZLIB)
set_target_properties(cabinet PROPERTIES POSITION_INDEPENDENT_CODE ON)
