# cmake -DBUILD_DIR=... -DPREFIX=... -DJOINER=built-glue32 -P check_install.cmake
# Installs the build tree into a fresh PREFIX and checks what lands there.
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()

file(GLOB_RECURSE got RELATIVE ${PREFIX} ${PREFIX}/*)
list(SORT got)
set(expected README.md bin/glue.txt bin/glue32.exe bin/orvane bin/vcab bin/zeq)
if(NOT got STREQUAL expected)
  message(FATAL_ERROR "installed: ${got}\nexpected: ${expected}")
endif()

# zeq reads glue.txt from its own folder: the joiner file's name pattern
# first, every line ended with CR LF.
file(READ ${PREFIX}/bin/glue.txt glue HEX)
if(NOT glue MATCHES "^5c2e6578650d0a" OR NOT glue MATCHES "0d0a$")
  message(FATAL_ERROR "bin/glue.txt is not a joiner settings file: ${glue}")
endif()
foreach(program zeq orvane vcab glue32.exe)
  execute_process(COMMAND test -x ${PREFIX}/bin/${program} RESULT_VARIABLE not_executable)
  if(not_executable)
    message(FATAL_ERROR "bin/${program} is not executable")
  endif()
endforeach()
# zeq copies the joiner into its packs as it finds it: it goes out as built.
file(SHA256 ${PREFIX}/bin/glue32.exe installed_joiner)
file(SHA256 ${JOINER} built_joiner)
if(NOT installed_joiner STREQUAL built_joiner)
  message(FATAL_ERROR "bin/glue32.exe differs from the joiner built (${JOINER})")
endif()
file(REMOVE_RECURSE ${PREFIX})
message(STATUS "the program folder is complete")
