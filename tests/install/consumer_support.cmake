# What install_test and release_test share (included by both, cmake -P):
# running a step, running a Windows program under the build's Wine prefix,
# and building the MSVC-ABI consumer (tests/msvc_consumer) against a tree.
# The caller sets SOURCE_DIR, BUILD_DIR, BUILD_TYPE, MAKE_PROGRAM, WINE_RUN
# and LLVM_DLLTOOL, and TEST_NAME for its messages.

# run(<what> COMMAND ...): runs the command, stops the test when it fails;
# its standard output lands in RUN_OUTPUT.
function(run what)
  cmake_parse_arguments(ARG "" "" "COMMAND" ${ARGN})
  execute_process(COMMAND ${ARG_COMMAND}
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${TEST_NAME}: ${what} failed (${rc}):\n${out}\n${err}")
  endif()
  set(RUN_OUTPUT "${out}" PARENT_SCOPE)
endfunction()

# run_wine(<what> EXE ARGS...): runs a Windows program under the build's Wine
# prefix; its standard output lands in RUN_OUTPUT.
function(run_wine what)
  run("${what}" COMMAND ${CMAKE_COMMAND} -E env
    QVCTX_WINE_BUILD_DIR=${BUILD_DIR} QVCTX_WINEPREFIX=${BUILD_DIR}/wineprefix
    ${WINE_RUN} ${ARGN})
  set(RUN_OUTPUT "${RUN_OUTPUT}" PARENT_SCOPE)
endfunction()

# build_msvc_consumer(PREFIX DIR): builds tests/msvc_consumer, a C host for
# the MSVC ABI, with clang-cl and lld-link through the CMake package found in
# PREFIX, which must hand it qvctx.lib; the few Win32 functions it declares
# come from an import library of their own. The program is DIR/out/msvc_consumer.exe.
function(build_msvc_consumer prefix dir)
  set(source ${SOURCE_DIR}/tests/msvc_consumer)
  file(MAKE_DIRECTORY ${dir})
  run("llvm-dlltool win32.def" COMMAND ${LLVM_DLLTOOL} -m i386:x86-64
    -d ${source}/win32.def -l ${dir}/win32.lib)
  set(args -S ${source} -B ${dir}/out -G Ninja
    -DCMAKE_BUILD_TYPE=${BUILD_TYPE} -DCMAKE_PREFIX_PATH=${prefix}
    -DCMAKE_TOOLCHAIN_FILE=${source}/clang-cl.cmake
    -DWIN32_IMPORT_LIBRARY=${dir}/win32.lib)
  if(MAKE_PROGRAM)
    list(APPEND args -DCMAKE_MAKE_PROGRAM=${MAKE_PROGRAM})
  endif()
  run("configuring the MSVC-ABI consumer" COMMAND ${CMAKE_COMMAND} ${args})
  run("building the MSVC-ABI consumer" COMMAND ${CMAKE_COMMAND} --build ${dir}/out -v)
  if(NOT RUN_OUTPUT MATCHES "lld-link[^\n]*/lib/qvctx\\.lib" OR RUN_OUTPUT MATCHES "\\.dll\\.a")
    message(FATAL_ERROR "${TEST_NAME}: the MSVC-ABI consumer was not linked with qvctx.lib alone:\n${RUN_OUTPUT}")
  endif()
endfunction()
