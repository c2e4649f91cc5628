# Settings every target of the project shares: include root, warnings and sanitizers.
function(morvane_target_defaults target)
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
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
