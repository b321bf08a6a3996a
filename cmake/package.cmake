# The program folder as it is handed out, and its archive (cpack): the two
# programs, the joiner that zeq copies into its packs with a sample of its
# settings, the vcab tool and the README.
#
#   cmake --install BUILD --prefix DIR     lays the folder out in DIR
#   cpack (in BUILD)                       velmora-VERSION-win64.zip, -win32.zip
#                                          or -linux-x86_64.tar.gz
#
# On Windows everything lies in one folder. On Linux the programs lie in bin/;
# glue32.exe and glue.txt lie beside zeq there too, since zeq reads both from
# its own folder.
if(PROJECT_VERSION)
  set(velmora_version ${PROJECT_VERSION})
else()
  set(velmora_version 1.0.0)
endif()
if(WIN32)
  set(velmora_bin .)
else()
  set(velmora_bin bin)
endif()

set(velmora_programs zeq glue32 orvane vcab)
foreach(program ${velmora_programs})
  if(TARGET ${program} AND program STREQUAL glue32)
    # The joiner goes out byte for byte as built (it is built small and
    # stripped already), so the packaging's strip does not touch it.
    install(PROGRAMS $<TARGET_FILE:glue32> DESTINATION ${velmora_bin})
  elseif(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${velmora_bin})
  else()
    message(STATUS "package: ${program} is not built in this tree and is left out of the package")
  endif()
endforeach()

# A sample of the joiner's settings (lines end in CR LF): the joiner file is
# named after the source with .exe, its title, pieces kept after the join, no
# default output folder, a closing message.
set(velmora_glue_txt ${CMAKE_BINARY_DIR}/package/glue.txt)
file(WRITE ${velmora_glue_txt}
     "\\.exe\r\nVelmora joiner\r\n0\r\n\r\nThe file is whole again.\r\n")
install(FILES ${velmora_glue_txt} DESTINATION ${velmora_bin})
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)

if(WIN32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(velmora_system win64)
  else()
    set(velmora_system win32)
  endif()
  set(CPACK_GENERATOR ZIP)
else()
  set(velmora_system linux-${CMAKE_SYSTEM_PROCESSOR})
  set(CPACK_GENERATOR TGZ)
endif()
set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VENDOR Velmora)
set(CPACK_PACKAGE_VERSION ${velmora_version})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Velmora Zeq (split engine) and Velmora Cab (cabinet builder)")
set(CPACK_PACKAGE_FILE_NAME velmora-${velmora_version}-${velmora_system})
# The programs go out without their debugging symbols.
set(CPACK_STRIP_FILES ON)
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
include(CPack)
