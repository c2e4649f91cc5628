# SPDX-License-Identifier: GPL-3.0-or-later
# morvane.exe can open no network connection and listen on no port: it imports
# no Windows networking library. Its only outside link is DDE, through USER32.
#   cmake -DPROGRAM=morvane.exe -DOBJDUMP=x86_64-w64-mingw32-objdump -P check_imports.cmake
execute_process(COMMAND ${OBJDUMP} -p ${PROGRAM} OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "cannot read the imports of ${PROGRAM}")
endif()
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
string(TOUPPER "${imports}" imports)
message(STATUS "${PROGRAM} imports: ${imports}")
if(NOT imports MATCHES "USER32")
  message(FATAL_ERROR "no USER32 import found: the list was not read right")
endif()
foreach(network WS2_32 WSOCK32 MSWSOCK WININET WINHTTP IPHLPAPI DNSAPI URLMON RPCRT4)
  if(imports MATCHES "${network}")
    message(FATAL_ERROR "${PROGRAM} imports ${network}, a networking library")
  endif()
endforeach()
