# SPDX-License-Identifier: GPL-3.0-or-later
# Checks a built package the way a user meets it.
#   cmake -DDEB=... -P check_package.cmake     the .deb: lintian, its files, apt install and run
#   cmake -DZIP=... -DEXE=... -P check_package.cmake    the Windows zip: its files, the tested exe
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${ARGN} failed (${status}):\n${out}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

function(expect_listed listing)
  foreach(file IN LISTS ARGN)
    string(FIND "${listing}" "${file}" at)
    if(at EQUAL -1)
      message(FATAL_ERROR "the package has no ${file}:\n${listing}")
    endif()
  endforeach()
endfunction()

if(ZIP)
  run(${CMAKE_COMMAND} -E tar tf ${ZIP})
  message(STATUS "${ZIP}:\n${out}")
  expect_listed("${out}" morvane.exe README.txt LICENSE.txt NOTICE-mingw-w64-x86-64-dev.txt
                NOTICE-gcc-mingw-w64-base.txt)
  # The zip's program is the one the Windows tests ran under Wine.
  set(unpacked ${CMAKE_CURRENT_BINARY_DIR}/zip-contents)
  file(REMOVE_RECURSE ${unpacked})
  file(MAKE_DIRECTORY ${unpacked})
  execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${ZIP} WORKING_DIRECTORY ${unpacked})
  run(${CMAKE_COMMAND} -E compare_files ${unpacked}/morvane.exe ${EXE})
  return()
endif()

# lintian's errors fail the check; its warnings are shown.
run(lintian --fail-on error --suppress-tags initial-upload-closes-no-bugs ${DEB})
message(STATUS "lintian: ${out}")
run(dpkg-deb -c ${DEB})
expect_listed("${out}" ./usr/bin/morvane ./usr/share/applications/org.morvane.Morvane.desktop
              ./usr/share/icons/hicolor/scalable/apps/morvane.svg
              ./usr/share/icons/hicolor/48x48/apps/morvane.png
              ./usr/share/metainfo/org.morvane.Morvane.metainfo.xml
              ./usr/share/man/man1/morvane.1.gz ./usr/share/doc/morvane/copyright
              ./usr/share/doc/morvane/changelog.Debian.gz)

# Installed as a user installs it, run from the shell, and removed again.
execute_process(COMMAND id -u OUTPUT_VARIABLE uid OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT uid STREQUAL "0")
  message(STATUS "not root: the package is not installed here")
  return()
endif()
set(ENV{DEBIAN_FRONTEND} noninteractive)
run(apt install -y -q ${DEB})
run(/usr/bin/morvane --version)
if(NOT out MATCHES "^Morvane V")
  message(FATAL_ERROR "morvane --version said: ${out}")
endif()
run(/usr/bin/morvane --list)
expect_listed("${out}" "NET rigctl")
run(desktop-file-validate /usr/share/applications/org.morvane.Morvane.desktop)
run(appstreamcli validate --no-net /usr/share/metainfo/org.morvane.Morvane.metainfo.xml)
foreach(icon scalable/apps/morvane.svg 256x256/apps/morvane.png)
  if(NOT EXISTS /usr/share/icons/hicolor/${icon})
    message(FATAL_ERROR "no icon at /usr/share/icons/hicolor/${icon}")
  endif()
endforeach()
run(apt-get remove -y -q morvane)
