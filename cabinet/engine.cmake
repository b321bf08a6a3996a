# The cabinet engine: the FCI calls over our own cabinet writer, the registry of
# the codec folders and a ready set of file callbacks. Its public headers are in
# include/; the others are its own. cabinet_internal adds them for the tests.
get_property(_codec_targets GLOBAL PROPERTY CABINET_CODEC_TARGETS)
get_property(_codec_entries GLOBAL PROPERTY CABINET_CODEC_ENTRIES)
set(CABINET_CODEC_DECLARATIONS "")
set(CABINET_CODEC_LIST "")
foreach(_entry IN LISTS _codec_entries)
  string(APPEND CABINET_CODEC_DECLARATIONS "extern const CodecEntry ${_entry};\n")
  string(APPEND CABINET_CODEC_LIST "    &${_entry},\n")
endforeach()
configure_file(${CMAKE_CURRENT_LIST_DIR}/CodecTable.cpp.in
               ${CMAKE_CURRENT_BINARY_DIR}/CodecTable.cpp @ONLY)

add_library(cabinet STATIC
  ${CMAKE_CURRENT_LIST_DIR}/fci.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CabWriter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CabFormat.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CodecRegistry.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CabFileIo.cpp
  ${CMAKE_CURRENT_BINARY_DIR}/CodecTable.cpp)
target_include_directories(cabinet
  PUBLIC ${CMAKE_CURRENT_LIST_DIR}/include
  PRIVATE ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(cabinet PUBLIC platform PRIVATE cabinet_codec ${_codec_targets})
set_target_properties(cabinet PROPERTIES POSITION_INDEPENDENT_CODE ON)

add_library(cabinet_internal INTERFACE)
target_include_directories(cabinet_internal INTERFACE ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(cabinet_internal INTERFACE cabinet cabinet_codec ${_codec_targets})
