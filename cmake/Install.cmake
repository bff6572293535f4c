# The install tree a host developer builds against:
#   include/qvctx/   qvctx.h, its qvctx_version.h and the
#                    simulator's wfapi64_sim.h
#   bin/             qvctx.dll, wfapi64.dll and the tools (Windows: every DLL)
#   bin/tap/, lib/tap/  qvctx-tap as wfapi64.dll (Windows) or libwfapi64.so
#   NAME.debug       beside every installed library and tool: its debug
#                    information, split off the stripped binary
#   lib/             libqvctx.so.X.Y.Z with its run-time name (libqvctx.so.0.Y
#                    before 1.0, libqvctx.so.X after) and its link name
#                    libqvctx.so, and libwfapi64.so (Linux); the MinGW import
#                    libraries lib*.dll.a and the MSVC-style qvctx.lib and
#                    wfapi64.lib (Windows)
#   lib/cmake/qvctx/ the CMake package: qvctx::qvctx and qvctx::simulator
#   lib/pkgconfig/   qvctx.pc and qvctx-simulator.pc
# Fixed folder names rather than GNUInstallDirs: the library finds the
# simulator beside itself and the tools find both in ../lib, whatever the
# distribution's multiarch folder would be.
include(CMakePackageConfigHelpers)

set(QVCTX_INSTALL_BINDIR bin)
set(QVCTX_INSTALL_LIBDIR lib)
set(QVCTX_INSTALL_INCLUDEDIR include)
set(QVCTX_INSTALL_CMAKEDIR ${QVCTX_INSTALL_LIBDIR}/cmake/qvctx)

# Consumers know the simulator as qvctx::simulator, not by its file name.
set_target_properties(wfapi64 PROPERTIES EXPORT_NAME simulator)

# Everything the install copies, and nothing else (no test programs):
# scripts/release.sh builds this target before it installs.
add_custom_target(qvctx_installed_parts)
add_dependencies(qvctx_installed_parts qvctx wfapi64)

install(TARGETS qvctx wfapi64
  EXPORT qvctxTargets
  RUNTIME DESTINATION ${QVCTX_INSTALL_BINDIR}
  LIBRARY DESTINATION ${QVCTX_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${QVCTX_INSTALL_LIBDIR})
include(${CMAKE_CURRENT_LIST_DIR}/SplitDebugInfo.cmake)
if(QVCTX_WINDOWS)
  set(_qvctx_library_dir ${QVCTX_INSTALL_BINDIR})
else()
  set(_qvctx_library_dir ${QVCTX_INSTALL_LIBDIR})
endif()
qvctx_install_split_debug(qvctx ${_qvctx_library_dir})
qvctx_install_split_debug(wfapi64 ${_qvctx_library_dir})
install(FILES
  ${PROJECT_SOURCE_DIR}/include/qvctx/qvctx.h
  ${PROJECT_SOURCE_DIR}/include/qvctx/qvctx_version.h
  ${PROJECT_SOURCE_DIR}/sim/include/qvctx/wfapi64_sim.h
  DESTINATION ${QVCTX_INSTALL_INCLUDEDIR}/qvctx)

# The tools that exist in this checkout; on Linux they find libqvctx.so and
# libwfapi64.so in the lib folder beside their bin folder.
foreach(_qvctx_tool qvctx-host qvctx-client qvctx-dump)
  if(TARGET ${_qvctx_tool})
    if(NOT QVCTX_WINDOWS)
      set_target_properties(${_qvctx_tool} PROPERTIES INSTALL_RPATH "$ORIGIN/../lib")
    endif()
    add_dependencies(qvctx_installed_parts ${_qvctx_tool})
    install(TARGETS ${_qvctx_tool} RUNTIME DESTINATION ${QVCTX_INSTALL_BINDIR})
    qvctx_install_split_debug(${_qvctx_tool} ${QVCTX_INSTALL_BINDIR})
  endif()
endforeach()

# The tap carries the platform library's file name, so it lies in a folder of
# its own (bin/tap on Windows, lib/tap elsewhere) and is put beside a host
# only on purpose.
if(TARGET qvctx-tap)
  if(QVCTX_WINDOWS)
    set(_qvctx_tap_dir ${QVCTX_INSTALL_BINDIR}/tap)
  else()
    set(_qvctx_tap_dir ${QVCTX_INSTALL_LIBDIR}/tap)
  endif()
  add_dependencies(qvctx_installed_parts qvctx-tap)
  install(TARGETS qvctx-tap
    RUNTIME DESTINATION ${_qvctx_tap_dir}
    LIBRARY DESTINATION ${_qvctx_tap_dir}
    ARCHIVE DESTINATION ${QVCTX_INSTALL_LIBDIR}/tap)
  qvctx_install_split_debug(qvctx-tap ${_qvctx_tap_dir})
endif()

if(QVCTX_WINDOWS)
  include(${CMAKE_CURRENT_LIST_DIR}/MsvcImportLibrary.cmake)
  qvctx_msvc_import_library(qvctx ${PROJECT_SOURCE_DIR}/src/qvctx.def qvctx.dll)
  qvctx_msvc_import_library(wfapi64 ${PROJECT_SOURCE_DIR}/sim/core/wfapi64.def wfapi64.dll)
endif()

# The CMake package.
install(EXPORT qvctxTargets
  NAMESPACE qvctx::
  FILE qvctxTargets.cmake
  DESTINATION ${QVCTX_INSTALL_CMAKEDIR})
configure_package_config_file(
  ${CMAKE_CURRENT_LIST_DIR}/qvctxConfig.cmake.in
  ${CMAKE_BINARY_DIR}/package/qvctxConfig.cmake
  INSTALL_DESTINATION ${QVCTX_INSTALL_CMAKEDIR}
  NO_SET_AND_CHECK_MACRO)
# Before 1.0 a minor release may change the interface.
write_basic_package_version_file(
  ${CMAKE_BINARY_DIR}/package/qvctxConfigVersion.cmake
  VERSION ${PROJECT_VERSION}
  COMPATIBILITY SameMinorVersion)
install(FILES
  ${CMAKE_BINARY_DIR}/package/qvctxConfig.cmake
  ${CMAKE_BINARY_DIR}/package/qvctxConfigVersion.cmake
  DESTINATION ${QVCTX_INSTALL_CMAKEDIR})

# pkg-config files for hosts built without CMake. Their prefix is worked out
# from where the file lies, so the tree may be moved or installed with
# `cmake --install --prefix`.
function(qvctx_install_pkg_config name description library)
  set(QVCTX_PC_NAME ${name})
  set(QVCTX_PC_DESCRIPTION "${description}")
  set(QVCTX_PC_LIBRARY ${library})
  configure_file(${PROJECT_SOURCE_DIR}/cmake/qvctx.pc.in
    ${CMAKE_BINARY_DIR}/package/${name}.pc @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/package/${name}.pc
    DESTINATION ${QVCTX_INSTALL_LIBDIR}/pkgconfig)
endfunction()
# On Windows -lqvctx names libqvctx.dll.a, for MinGW hosts; an MSVC host
# takes the CMake package or lib/qvctx.lib.
qvctx_install_pkg_config(qvctx "Server end of the qvctx virtual channel" qvctx)
qvctx_install_pkg_config(qvctx-simulator
  "wfapi64 simulator: the platform's virtual-channel library and the client end, for tests"
  wfapi64)
