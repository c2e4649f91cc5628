# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the cross-built Windows tests under Wine on a virtual X display.
#
# One Wine session (an Xvfb display, a throw-away Wine prefix and a persistent
# wineserver) is set up before the first test that needs it and torn down after
# the last; scripts/wine-run.sh starts each test executable inside it.
set(MORVANE_WINE_SESSION ${CMAKE_BINARY_DIR}/wine-session)
set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/scripts/wine-run.sh
                                  ${MORVANE_WINE_SESSION})

# An absent stand-in server idles through the session and keeps Wine's desktop up.
add_test(NAME wine_session_start
         COMMAND ${PROJECT_SOURCE_DIR}/scripts/wine-session.sh start ${MORVANE_WINE_SESSION}
                 $<TARGET_FILE:morvane_dde_server> --absent)
add_test(NAME wine_session_stop
         COMMAND ${PROJECT_SOURCE_DIR}/scripts/wine-session.sh stop ${MORVANE_WINE_SESSION})
set_tests_properties(wine_session_start PROPERTIES FIXTURES_SETUP WineSession TIMEOUT 120)
set_tests_properties(wine_session_stop PROPERTIES FIXTURES_CLEANUP WineSession TIMEOUT 60)

# Tests that run inside the Wine session. DDE service names are machine-wide,
# so tests that start the stand-in server never run side by side.
function(morvane_run_under_wine)
  if(ARGN)
    set_tests_properties(${ARGN} PROPERTIES FIXTURES_REQUIRED WineSession
                                            RESOURCE_LOCK WineDesktop)
  endif()
endfunction()
