# The one version of qvctx is written in include/qvctx/qvctx_version.h, which
# cmake/ReadVersion.cmake reads into project(qvctx VERSION ...). From there
# come the version resources of the DLLs, the shared object's SOVERSION, the
# CMake package's version file and the pkg-config files; the header is
# installed as it is.

# Before 1.0 a minor release may change the interface (the CMake package says
# SameMinorVersion), so the run-time name carries major.minor until then.
if(PROJECT_VERSION_MAJOR EQUAL 0)
  set(QVCTX_SOVERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR})
else()
  set(QVCTX_SOVERSION ${PROJECT_VERSION_MAJOR})
endif()

if(QVCTX_WINDOWS)
  enable_language(RC)
endif()

# Who publishes the binaries: named in every version resource beside the
# product name, where the file's properties and application-control policies
# read it. A neutral name: the project is no company.
set(QVCTX_COMPANY_NAME "qvctx project")

# qvctx_version_identity(TARGET FILE_NAME DESCRIPTION [SOVERSION]): the
# library's identity for whoever looks at the file. Windows: a VERSIONINFO
# resource (file and product version, description, company and product name,
# original file name). Elsewhere, with SOVERSION: the shared object's VERSION
# and SOVERSION; a library that is loaded by a fixed plain name gets none.
function(qvctx_version_identity target file_name description)
  cmake_parse_arguments(ARG "SOVERSION" "" "" ${ARGN})
  if(QVCTX_WINDOWS)
    set(QVCTX_RC_FILE_NAME ${file_name})
    set(QVCTX_RC_INTERNAL_NAME ${target})
    set(QVCTX_RC_DESCRIPTION "${description}")
    set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version_info.rc)
    configure_file(${PROJECT_SOURCE_DIR}/cmake/version_info.rc.in ${rc} @ONLY)
    target_sources(${target} PRIVATE ${rc})
  elseif(ARG_SOVERSION)
    set_target_properties(${target} PROPERTIES
      VERSION ${PROJECT_VERSION} SOVERSION ${QVCTX_SOVERSION})
  endif()
endfunction()
