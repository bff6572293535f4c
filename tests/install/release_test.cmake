# Driver of release_test (cmake -P), run after scripts/release.sh: checks
# dist/SHA256SUMS, unpacks the archive into an empty folder and builds against
# the unpacked tree alone, as a Windows developer who downloaded it would: the
# MSVC-ABI consumer through the CMake package and qvctx.lib, and the archive's
# own C example through qvctx.pc with MinGW; each runs under Wine against the
# simulator's built-in client.
#
# In: SOURCE_DIR BUILD_DIR WORK_DIR BUILD_TYPE MAKE_PROGRAM VERSION WINE_RUN
#     LLVM_DLLTOOL C_COMPILER PKG_CONFIG SHA256SUM
cmake_minimum_required(VERSION 3.25)
set(TEST_NAME release_test)
include(${CMAKE_CURRENT_LIST_DIR}/consumer_support.cmake)

set(name qvctx-${VERSION}-win64)
set(dist ${SOURCE_DIR}/dist)
if(NOT EXISTS ${dist}/${name}.zip)
  message(FATAL_ERROR "release_test: no ${dist}/${name}.zip: run scripts/release.sh first")
endif()

# ---- The checksum file verifies the archive ---------------------------------
run("sha256sum -c SHA256SUMS" COMMAND ${CMAKE_COMMAND} -E chdir ${dist} ${SHA256SUM} -c SHA256SUMS)
if(NOT RUN_OUTPUT MATCHES "(^|\n)${name}\\.zip: OK\n")
  message(FATAL_ERROR "release_test: SHA256SUMS does not list ${name}.zip:\n${RUN_OUTPUT}")
endif()

# ---- Unpacked into an empty folder: one folder named for the release --------
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR}/unpacked)
run("unpacking ${name}.zip" COMMAND ${CMAKE_COMMAND} -E chdir ${WORK_DIR}/unpacked
  ${CMAKE_COMMAND} -E tar xf ${dist}/${name}.zip)
file(GLOB top RELATIVE ${WORK_DIR}/unpacked ${WORK_DIR}/unpacked/*)
if(NOT top STREQUAL name)
  message(FATAL_ERROR "release_test: the archive holds '${top}', not the one folder ${name}")
endif()
set(root ${WORK_DIR}/unpacked/${name})

# What the archive holds; the headers, documents, examples and C# binding as
# the repository has them.
set(shipped include/qvctx/qvctx.h include/qvctx/qvctx_version.h README.md CHANGELOG.md)
file(GLOB_RECURSE folders RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/docs/*
  ${SOURCE_DIR}/examples/* ${SOURCE_DIR}/bindings/dotnet/*)
foreach(file bin/qvctx.dll bin/qvctx.dll.debug lib/libqvctx.dll.a lib/qvctx.lib
    bin/wfapi64.dll include/qvctx/wfapi64_sim.h lib/cmake/qvctx/qvctxConfig.cmake
    lib/pkgconfig/qvctx.pc bin/qvctx-host.exe bin/qvctx-dump.exe bin/tap/wfapi64.dll
    ${shipped} ${folders})
  if(NOT EXISTS ${root}/${file})
    message(FATAL_ERROR "release_test: the archive lacks ${file}")
  endif()
endforeach()
foreach(file IN LISTS shipped folders)
  file(SHA256 ${SOURCE_DIR}/${file} want)
  file(SHA256 ${root}/${file} have)
  if(NOT want STREQUAL have)
    message(FATAL_ERROR "release_test: the archive's ${file} differs from the repository's")
  endif()
endforeach()

# run_beside_dlls(<what> EXE EXPECTED): runs EXE under Wine with the
# archive's qvctx.dll and simulator beside it; its output must match EXPECTED.
function(run_beside_dlls what exe expected)
  get_filename_component(dir ${exe} DIRECTORY)
  file(COPY ${root}/bin/qvctx.dll ${root}/bin/wfapi64.dll DESTINATION ${dir})
  run_wine("${what}" ${exe})
  if(NOT RUN_OUTPUT MATCHES "${expected}")
    message(FATAL_ERROR "release_test: ${what} printed no success line:\n${RUN_OUTPUT}")
  endif()
  message(STATUS "release_test: ${what}: ${RUN_OUTPUT}")
endfunction()

# ---- The MSVC-ABI consumer through the unpacked CMake package ---------------
build_msvc_consumer(${root} ${WORK_DIR}/msvc-build)
run_beside_dlls("MSVC-ABI consumer" ${WORK_DIR}/msvc-build/out/msvc_consumer.exe
  "consumer: answer intact")

# ---- The archive's C example through its qvctx.pc, with MinGW ---------------
run("pkg-config qvctx" COMMAND ${CMAKE_COMMAND} -E env
  PKG_CONFIG_LIBDIR=${root}/lib/pkgconfig PKG_CONFIG_PATH=
  ${PKG_CONFIG} --cflags --libs qvctx)
separate_arguments(pc_flags UNIX_COMMAND "${RUN_OUTPUT}")
file(MAKE_DIRECTORY ${WORK_DIR}/example)
run("building examples/minimal_host.c" COMMAND ${C_COMPILER} -std=c11
  ${root}/examples/minimal_host.c ${pc_flags} -o ${WORK_DIR}/example/minimal_host.exe)
run_beside_dlls("the C example" ${WORK_DIR}/example/minimal_host.exe
  "answer: hello from a minimal host")

message(STATUS "release_test: passed")
