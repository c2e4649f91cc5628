# SPDX-License-Identifier: GPL-3.0-or-later
include(${CMAKE_CURRENT_LIST_DIR}/MorvaneWin32.cmake)

# The one version number, from project(), for the caption, --version and the packages.
configure_file(${CMAKE_CURRENT_LIST_DIR}/morvane_version.hpp.in
               ${PROJECT_BINARY_DIR}/generated/morvane_version.hpp @ONLY)

# Settings every target of the project shares: include root, warnings and sanitizers.
function(morvane_target_defaults target)
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}
                                              ${PROJECT_BINARY_DIR}/generated)
  if(WIN32)
    morvane_win32_defaults(${target})
  endif()
  if(MORVANE_WARNING_FLAGS)
    separate_arguments(_warnings UNIX_COMMAND "${MORVANE_WARNING_FLAGS}")
    target_compile_options(${target} PRIVATE ${_warnings})
  endif()
  if(MORVANE_SANITIZE)
    target_compile_options(${target} PRIVATE -fsanitize=${MORVANE_SANITIZE} -fno-omit-frame-pointer
                                             -fno-sanitize-recover=all)
    target_link_options(${target} PRIVATE -fsanitize=${MORVANE_SANITIZE})
  endif()
endfunction()
