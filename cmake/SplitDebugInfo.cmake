# Installed binaries are stripped; their debug information goes into a file
# of its own beside them (NAME.debug), linked by a .gnu_debuglink section, so
# a debugger or a crash-dump reader finds it again. The build tree keeps its
# unstripped binaries for the tests.
if(NOT CMAKE_OBJCOPY)
  message(FATAL_ERROR "objcopy not found: needed to split the debug information at install")
endif()

# qvctx_install_split_debug(TARGET DESTINATION): after TARGET is installed
# into DESTINATION, moves its debug information into a .debug file there.
function(qvctx_install_split_debug target destination)
  install(CODE "
    set(_binary \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${destination}/$<TARGET_FILE_NAME:${target}>\")
    message(STATUS \"Splitting debug information: \${_binary}.debug\")
    execute_process(
      COMMAND \"${CMAKE_OBJCOPY}\" --only-keep-debug \"\${_binary}\" \"\${_binary}.debug\"
      COMMAND_ERROR_IS_FATAL ANY)
    execute_process(
      COMMAND \"${CMAKE_OBJCOPY}\" --strip-unneeded
              \"--add-gnu-debuglink=\${_binary}.debug\" \"\${_binary}\"
      COMMAND_ERROR_IS_FATAL ANY)
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${_binary}.debug\")
  ")
endfunction()
