# The split engine's core: job state, worker, compare pass, report, joiner. No Qt.
add_library(zeqcore STATIC uCore.cpp uJoiner.cpp uUtils.cpp)
target_include_directories(zeqcore PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(zeqcore PUBLIC kit platform ucrc32 Threads::Threads)
