# Sanitizers apply to the whole Linux build, so the library, the simulator and the tests agree.
if(QVCTX_SANITIZE)
  if(QVCTX_WINDOWS)
    message(FATAL_ERROR "Sanitizers are for the Linux build only")
  endif()
  set(_qvctx_san "-fsanitize=${QVCTX_SANITIZE}" -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_compile_options(${_qvctx_san} -g)
  add_link_options(${_qvctx_san})
endif()
