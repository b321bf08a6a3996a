# The split engine's core: the job, the shared state, the worker with its compare
# pass, report and self-joining pack. No Qt.
add_library(zeqcore STATIC uCore.cpp uJob.cpp uJoiner.cpp uUtils.cpp)
target_include_directories(zeqcore PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(zeqcore PUBLIC kit platform ucrc32 Threads::Threads)
