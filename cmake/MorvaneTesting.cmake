# GoogleTest from the system; every test executable registers its cases with CTest,
# labelled with the executable's name so that a preset can pick one subsystem's tests.
find_package(GTest REQUIRED)
include(GoogleTest)

function(morvane_gtest target)
  add_executable(${target} ${ARGN})
  morvane_target_defaults(${target})
  target_link_libraries(${target} PRIVATE GTest::gtest_main GTest::gmock)
  gtest_discover_tests(${target} DISCOVERY_TIMEOUT 30 PROPERTIES LABELS ${target})
endfunction()
