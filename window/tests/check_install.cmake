# Installs the build into a scratch prefix and checks that the program and its
# desktop entry land where a desktop looks for them.
# cmake -DBUILD_DIR=... -DPREFIX=... -P check_install.cmake
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE installed OUTPUT_QUIET)
if(NOT installed EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${installed}")
endif()
if(NOT EXISTS ${PREFIX}/bin/morvane OR IS_DIRECTORY ${PREFIX}/bin/morvane)
  message(FATAL_ERROR "no program at ${PREFIX}/bin/morvane")
endif()
file(STRINGS ${PREFIX}/share/applications/morvane.desktop launch REGEX "^Exec=")
if(NOT launch STREQUAL "Exec=morvane")
  message(FATAL_ERROR "the desktop entry does not start morvane: '${launch}'")
endif()
