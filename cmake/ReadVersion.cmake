# Reads the version from include/qvctx/qvctx_version.h, the one place it is
# written, into QVCTX_HEADER_VERSION (MAJOR.MINOR.PATCH) before project()
# takes it. A QVCTX_VERSION_STRING that says otherwise stops the configuration,
# so the header a host compiles against never names two versions.
get_filename_component(_qvctx_version_header
  ${CMAKE_CURRENT_LIST_DIR}/../include/qvctx/qvctx_version.h ABSOLUTE)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_qvctx_version_header})
file(READ ${_qvctx_version_header} _qvctx_version_text)
set(_qvctx_parts)
foreach(_qvctx_part MAJOR MINOR PATCH)
  if(NOT _qvctx_version_text MATCHES "#define QVCTX_VERSION_${_qvctx_part} ([0-9]+)\n")
    message(FATAL_ERROR "${_qvctx_version_header} lacks QVCTX_VERSION_${_qvctx_part}")
  endif()
  list(APPEND _qvctx_parts ${CMAKE_MATCH_1})
endforeach()
list(JOIN _qvctx_parts "." QVCTX_HEADER_VERSION)
if(NOT _qvctx_version_text MATCHES "#define QVCTX_VERSION_STRING \"([^\"]*)\""
    OR NOT CMAKE_MATCH_1 STREQUAL QVCTX_HEADER_VERSION)
  message(FATAL_ERROR "${_qvctx_version_header}: QVCTX_VERSION_STRING is not "
    "\"${QVCTX_HEADER_VERSION}\", the version its numbers give")
endif()
unset(_qvctx_version_header)
unset(_qvctx_version_text)
unset(_qvctx_parts)
unset(_qvctx_part)
