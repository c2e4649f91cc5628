# SPDX-License-Identifier: GPL-3.0-or-later
# What every Windows target of the project shares: the Unicode Win32 API of
# Windows 10 and a static runtime, so that morvane.exe is one file that needs
# only the DLLs Windows ships.
function(morvane_win32_defaults target)
  target_compile_definitions(${target} PUBLIC UNICODE _UNICODE STRICT NOMINMAX
                                              _WIN32_WINNT=0x0A00 WINVER=0x0A00)
  get_target_property(_type ${target} TYPE)
  if(_type STREQUAL "EXECUTABLE")
    target_link_options(${target} PRIVATE -static)
  endif()
endfunction()
