# SPDX-License-Identifier: GPL-3.0-or-later
# GoogleTest, and how test executables register their cases with CTest.
#
# A native build uses the system's GoogleTest and asks each test executable for
# its cases, labelled with the executable's name so that a preset can pick one
# subsystem's tests. A cross build for Windows compiles GoogleTest from the sources
# Debian ships, runs every test under Wine, and reads the cases from the test
# sources instead, because the executables cannot run while the build does.
include(GoogleTest)

set(MORVANE_RUN_UNDER_WINE OFF)
if(CMAKE_CROSSCOMPILING AND WIN32)
  set(MORVANE_RUN_UNDER_WINE ON)
endif()

if(MORVANE_RUN_UNDER_WINE)
  set(MORVANE_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources to cross-build")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${MORVANE_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL
                   SYSTEM)
  include(${CMAKE_CURRENT_LIST_DIR}/MorvaneWine.cmake)
else()
  find_package(GTest REQUIRED)
endif()

function(morvane_gtest target)
  add_executable(${target} ${ARGN})
  morvane_target_defaults(${target})
  target_link_libraries(${target} PRIVATE GTest::gtest_main GTest::gmock)
  if(MORVANE_RUN_UNDER_WINE)
    gtest_add_tests(TARGET ${target} TEST_LIST _cases)
    morvane_run_under_wine(${_cases})
  else()
    gtest_discover_tests(${target} DISCOVERY_TIMEOUT 30 PROPERTIES LABELS ${target})
  endif()
endfunction()
