# MSVC-compatible import libraries (name.lib) for the Windows DLLs, so a host
# built with Visual Studio links qvctx.dll without MinGW's lib*.dll.a. Made
# from the same module-definition file the DLL is linked with, so both list
# exactly the same exports.
include(${CMAKE_CURRENT_LIST_DIR}/LlvmDlltool.cmake)

# qvctx_msvc_import_library(TARGET DEF_FILE DLL_NAME): builds
# <archive folder>/TARGET.lib with the DLL and installs it into lib/.
function(qvctx_msvc_import_library target def_file dll_name)
  set(_out ${CMAKE_ARCHIVE_OUTPUT_DIRECTORY}/${target}.lib)
  add_custom_command(OUTPUT ${_out}
    COMMAND ${QVCTX_LLVM_DLLTOOL} -m i386:x86-64 -d ${def_file} -D ${dll_name} -l ${_out}
    DEPENDS ${def_file}
    COMMENT "MSVC import library ${target}.lib"
    VERBATIM)
  add_custom_target(${target}_msvc_import_library ALL DEPENDS ${_out})
  add_dependencies(${target} ${target}_msvc_import_library)
  install(FILES ${_out} DESTINATION ${QVCTX_INSTALL_LIBDIR})
endfunction()
