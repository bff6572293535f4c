# Driver of install_test (cmake -P). Installs BUILD_DIR into WORK_DIR/prefix,
# checks the tree, builds tests/consumer against it the ways a host developer
# would and runs each build against the simulator's built-in client.
#
# In: SOURCE_DIR BUILD_DIR WORK_DIR GENERATOR MAKE_PROGRAM BUILD_TYPE
#     CXX_COMPILER WINDOWS VERSION (the project's); Windows: TOOLCHAIN_FILE
#     WINE_RUN LLVM_NM LLVM_DLLTOOL OBJDUMP OSSLSIGNCODE OPENSSL COMPANY_NAME
#     VERSION_INFO; Linux: PKG_CONFIG READELF.
cmake_minimum_required(VERSION 3.25)

set(prefix ${WORK_DIR}/prefix)
set(consumer_source ${SOURCE_DIR}/tests/consumer)

set(TEST_NAME install_test)
include(${CMAKE_CURRENT_LIST_DIR}/consumer_support.cmake)

function(expect_files)
  foreach(file ${ARGN})
    if(NOT EXISTS ${prefix}/${file})
      message(FATAL_ERROR "install_test: the install tree lacks ${file}")
    endif()
  endforeach()
endfunction()

# Runs a consumer program (Windows: under Wine, the DLLs of prefix/bin copied
# beside it) and insists on its success line.
function(run_consumer what exe)
  if(WINDOWS)
    get_filename_component(dir ${exe} DIRECTORY)
    file(GLOB dlls ${prefix}/bin/*.dll)
    file(COPY ${dlls} DESTINATION ${dir})
    run_wine("${what}" ${exe})
  else()
    set(drive ${WORK_DIR}/drive)
    file(MAKE_DIRECTORY ${drive}/temp/logs)
    run("${what}" COMMAND ${CMAKE_COMMAND} -E env QVCTX_DRIVE_C=${drive} ${exe})
  endif()
  if(NOT RUN_OUTPUT MATCHES "consumer: answer intact")
    message(FATAL_ERROR "install_test: ${what} printed no success line:\n${RUN_OUTPUT}")
  endif()
  message(STATUS "install_test: ${what}: ${RUN_OUTPUT}")
endfunction()

# The names of a module-definition file's EXPORTS section.
function(def_exports def_file out_var)
  file(STRINGS ${def_file} lines)
  set(names)
  set(in_exports OFF)
  foreach(line IN LISTS lines)
    string(STRIP "${line}" line)
    if(line STREQUAL "EXPORTS")
      set(in_exports ON)
    elseif(in_exports AND line MATCHES "^([A-Za-z_][A-Za-z0-9_]*)")
      list(APPEND names ${CMAKE_MATCH_1})
    endif()
  endforeach()
  set(${out_var} ${names} PARENT_SCOPE)
endfunction()

# An MSVC-style import library names exactly the exports of its .def file.
function(check_msvc_import_library lib def_file dll_stem)
  def_exports(${def_file} names)
  list(LENGTH names expected)
  if(expected EQUAL 0)
    message(FATAL_ERROR "install_test: no exports read from ${def_file}")
  endif()
  run("llvm-nm ${lib}" COMMAND ${LLVM_NM} ${prefix}/lib/${lib})
  set(symbols "${RUN_OUTPUT}")
  foreach(name IN LISTS names)
    if(NOT symbols MATCHES "[ \t]__imp_${name}\n")
      message(FATAL_ERROR "install_test: ${lib} lacks the import of ${name}")
    endif()
  endforeach()
  string(REGEX MATCHALL "__imp_[A-Za-z0-9_]+" imports "${symbols}")
  list(LENGTH imports found)
  if(NOT found EQUAL expected)
    message(FATAL_ERROR "install_test: ${lib} names ${found} imports, ${def_file} ${expected}")
  endif()
  if(NOT symbols MATCHES "__IMPORT_DESCRIPTOR_${dll_stem}[\r\n]")
    message(FATAL_ERROR "install_test: ${lib} does not import from ${dll_stem}.dll")
  endif()
endfunction()

# ---- Install into a fresh folder ------------------------------------------
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
run("cmake --install" COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

# ---- The tree ------------------------------------------------------------
expect_files(include/qvctx/qvctx.h include/qvctx/qvctx_version.h include/qvctx/wfapi64_sim.h
  lib/cmake/qvctx/qvctxConfig.cmake lib/cmake/qvctx/qvctxConfigVersion.cmake
  lib/cmake/qvctx/qvctxTargets.cmake)
foreach(header include/qvctx/qvctx.h include/qvctx/qvctx_version.h
    sim/include/qvctx/wfapi64_sim.h)
  get_filename_component(name ${header} NAME)
  file(SHA256 ${SOURCE_DIR}/${header} want)
  file(SHA256 ${prefix}/include/qvctx/${name} have)
  if(NOT want STREQUAL have)
    message(FATAL_ERROR "install_test: installed ${name} differs from ${header}")
  endif()
endforeach()
file(READ ${prefix}/lib/cmake/qvctx/qvctxTargets.cmake targets_text)
foreach(internal qvctx_module qvctx_transport qvctx_channel qvctx_diagnostics
    qvctx_platform qvctx_protocol qvctx_base qvctx_warnings wfsim_
    ${SOURCE_DIR})
  string(FIND "${targets_text}" "${internal}" at)
  if(NOT at EQUAL -1)
    message(FATAL_ERROR "install_test: the exported targets mention ${internal}")
  endif()
endforeach()

if(WINDOWS)
  set(exe_suffix .exe)
  expect_files(bin/qvctx.dll bin/wfapi64.dll lib/libqvctx.dll.a lib/libwfapi64.dll.a
    lib/qvctx.lib lib/wfapi64.lib)
else()
  set(exe_suffix "")
  expect_files(lib/libqvctx.so lib/libwfapi64.so
    lib/pkgconfig/qvctx.pc lib/pkgconfig/qvctx-simulator.pc)
endif()

# Every tool this build made is installed.
set(tools)
foreach(tool qvctx-host qvctx-client qvctx-dump)
  if(EXISTS ${BUILD_DIR}/bin/${tool}${exe_suffix})
    expect_files(bin/${tool}${exe_suffix})
    list(APPEND tools ${tool}${exe_suffix})
  endif()
endforeach()

if(WINDOWS)
  # Only system DLLs are needed: no MinGW runtime (libgcc, libstdc++,
  # libwinpthread) beside the installed binaries. What every session on a
  # server loads, the library and the tap, needs no more than these.
  set(system_dlls kernel32.dll advapi32.dll msvcrt.dll shell32.dll shlwapi.dll)
  set(session_binaries ${prefix}/bin/qvctx.dll ${prefix}/bin/tap/wfapi64.dll)
  file(GLOB binaries ${prefix}/bin/*.dll ${prefix}/bin/*.exe)
  list(APPEND binaries ${prefix}/bin/tap/wfapi64.dll)
  foreach(binary IN LISTS binaries)
    run("objdump ${binary}" COMMAND ${OBJDUMP} -p ${binary})
    string(REGEX MATCHALL "DLL Name: [^\r\n]+" imports "${RUN_OUTPUT}")
    foreach(import IN LISTS imports)
      string(REGEX REPLACE "^DLL Name: " "" dll "${import}")
      string(TOLOWER "${dll}" dll)
      if(dll MATCHES "^lib" OR binary IN_LIST session_binaries
          AND NOT dll IN_LIST system_dlls)
        message(FATAL_ERROR "install_test: ${binary} needs a DLL beyond the system's: ${import}")
      endif()
    endforeach()
  endforeach()
  check_msvc_import_library(qvctx.lib ${SOURCE_DIR}/src/qvctx.def qvctx)
  check_msvc_import_library(wfapi64.lib ${SOURCE_DIR}/sim/core/wfapi64.def wfapi64)
else()
  # The library finds the platform's library beside itself; the tools find
  # both in ../lib.
  run("readelf libqvctx.so" COMMAND ${READELF} -d ${prefix}/lib/libqvctx.so)
  if(NOT RUN_OUTPUT MATCHES "R(UN)?PATH\\)[^\n]*\\[\\$ORIGIN\\]")
    message(FATAL_ERROR "install_test: libqvctx.so has no run path $ORIGIN:\n${RUN_OUTPUT}")
  endif()
  foreach(tool IN LISTS tools)
    run("readelf ${tool}" COMMAND ${READELF} -d ${prefix}/bin/${tool})
    if(NOT RUN_OUTPUT MATCHES "R(UN)?PATH\\)[^\n]*\\[\\$ORIGIN/\\.\\./lib\\]")
      message(FATAL_ERROR "install_test: ${tool} has no run path $ORIGIN/../lib")
    endif()
  endforeach()
endif()

# ---- One version everywhere -------------------------------------------------
# expect_version(<where> <value>): <value> is the project's version.
function(expect_version where value)
  if(NOT "${value}" STREQUAL "${VERSION}")
    message(FATAL_ERROR "install_test: ${where} says '${value}', the project ${VERSION}")
  endif()
endfunction()
file(READ ${prefix}/include/qvctx/qvctx_version.h version_header)
set(header_parts)
foreach(part MAJOR MINOR PATCH)
  string(REGEX MATCH "#define QVCTX_VERSION_${part} ([0-9]+)" _ "${version_header}")
  list(APPEND header_parts "${CMAKE_MATCH_1}")
endforeach()
list(JOIN header_parts "." header_version)
expect_version("the header's QVCTX_VERSION_MAJOR/_MINOR/_PATCH" "${header_version}")
string(REGEX MATCH "#define QVCTX_VERSION_STRING \"([^\"]*)\"" _ "${version_header}")
expect_version("the header's QVCTX_VERSION_STRING" "${CMAKE_MATCH_1}")
set(PACKAGE_FIND_VERSION ${VERSION})
include(${prefix}/lib/cmake/qvctx/qvctxConfigVersion.cmake)
expect_version("the CMake package" "${PACKAGE_VERSION}")
string(REGEX MATCH "^([0-9]+)\\.([0-9]+)" _ "${VERSION}")
if(CMAKE_MATCH_1 EQUAL 0)
  set(soversion ${CMAKE_MATCH_1}.${CMAKE_MATCH_2})
else()
  set(soversion ${CMAKE_MATCH_1})
endif()

if(WINDOWS)
  # The version resources, read by Windows itself: the same company and
  # product on each; only the simulator's says it is not for production.
  foreach(dll bin/qvctx.dll bin/wfapi64.dll bin/tap/wfapi64.dll)
    run_wine("version_info ${dll}" ${VERSION_INFO} Z:${prefix}/${dll})
    set(resource "${RUN_OUTPUT}")
    foreach(key FileVersion ProductVersion)
      string(REGEX MATCH "${key}=([^\r\n]*)" _ "${resource}")
      expect_version("${dll}'s ${key}" "${CMAKE_MATCH_1}")
    endforeach()
    string(REGEX MATCH "Fixed=([0-9]+\\.[0-9]+\\.[0-9]+)\\.0[\r\n]" _ "${resource}")
    expect_version("${dll}'s fixed file version" "${CMAKE_MATCH_1}")
    get_filename_component(file_name ${dll} NAME)
    foreach(expected "CompanyName=${COMPANY_NAME}\r?\n" "ProductName=qvctx\r?\n"
        "OriginalFilename=${file_name}\r?\n" "FileDescription=[^\r\n]+")
      if(NOT resource MATCHES "${expected}")
        message(FATAL_ERROR "install_test: ${dll}'s resource lacks ${expected}:\n${resource}")
      endif()
    endforeach()
    string(FIND "${resource}" "not for production" warned)
    if(dll STREQUAL "bin/wfapi64.dll" AND warned EQUAL -1
        OR NOT dll STREQUAL "bin/wfapi64.dll" AND NOT warned EQUAL -1)
      message(FATAL_ERROR "install_test: ${dll}'s description:\n${resource}")
    endif()
  endforeach()
else()
  foreach(pc qvctx qvctx-simulator)
    run("pkg-config --modversion ${pc}" COMMAND ${CMAKE_COMMAND} -E env
      PKG_CONFIG_PATH=${prefix}/lib/pkgconfig ${PKG_CONFIG} --modversion ${pc})
    string(STRIP "${RUN_OUTPUT}" pc_version)
    expect_version("${pc}.pc" "${pc_version}")
  endforeach()
  # A host links libqvctx.so and runs with the name of the ABI it was built
  # against.
  run("readelf -d libqvctx.so" COMMAND ${READELF} -d ${prefix}/lib/libqvctx.so)
  if(NOT RUN_OUTPUT MATCHES "SONAME\\)[^\n]*\\[libqvctx\\.so\\.${soversion}\\]")
    message(FATAL_ERROR "install_test: libqvctx.so's SONAME is not libqvctx.so.${soversion}:\n${RUN_OUTPUT}")
  endif()
endif()

# ---- Stripped, with the debug information beside ---------------------------
if(WINDOWS)
  set(stripped_binaries bin/qvctx.dll bin/wfapi64.dll bin/tap/wfapi64.dll)
  set(section_dump ${OBJDUMP} -h)
else()
  set(stripped_binaries lib/libqvctx.so.${VERSION} lib/libwfapi64.so
    lib/tap/libwfapi64.so)
  set(section_dump ${READELF} -S -W)
endif()
foreach(tool IN LISTS tools)
  list(APPEND stripped_binaries bin/${tool})
endforeach()
foreach(binary IN LISTS stripped_binaries)
  expect_files(${binary} ${binary}.debug)
  run("sections of ${binary}" COMMAND ${section_dump} ${prefix}/${binary})
  if(RUN_OUTPUT MATCHES "\\.debug_info" OR NOT RUN_OUTPUT MATCHES "\\.gnu_debuglink")
    message(FATAL_ERROR "install_test: ${binary} is not stripped with a debug link:\n${RUN_OUTPUT}")
  endif()
  run("sections of ${binary}.debug" COMMAND ${section_dump} ${prefix}/${binary}.debug)
  if(NOT RUN_OUTPUT MATCHES "\\.debug_info")
    message(FATAL_ERROR "install_test: ${binary}.debug holds no debug information")
  endif()
endforeach()

# ---- Signed --------------------------------------------------------------
# scripts/sign.sh signs the library and the tap in place with a throwaway
# code-signing certificate made here (self-signed, so it is its own root; no
# time stamp, no network); each signature verifies against that certificate,
# every program below runs the signed library and the last one the signed tap.
if(WINDOWS)
  set(signing ${WORK_DIR}/signing)
  file(MAKE_DIRECTORY ${signing})
  file(WRITE ${signing}/password.txt "throwaway ${VERSION}")
  run("openssl req" COMMAND ${OPENSSL} req -x509 -newkey rsa:2048 -nodes -days 2
    -subj "/CN=${COMPANY_NAME} test signing" -keyout ${signing}/key.pem
    -out ${signing}/certificate.pem -addext "extendedKeyUsage=codeSigning"
    -addext "keyUsage=critical,digitalSignature" -addext "basicConstraints=critical,CA:FALSE")
  run("openssl pkcs12" COMMAND ${OPENSSL} pkcs12 -export -inkey ${signing}/key.pem
    -in ${signing}/certificate.pem -out ${signing}/signing.pfx
    -passout file:${signing}/password.txt)
  set(signed ${prefix}/bin/qvctx.dll ${prefix}/bin/tap/wfapi64.dll)
  run("scripts/sign.sh" COMMAND ${SOURCE_DIR}/scripts/sign.sh --pfx ${signing}/signing.pfx
    --password-file ${signing}/password.txt ${signed})
  foreach(binary IN LISTS signed)
    run("osslsigncode verify ${binary}" COMMAND ${OSSLSIGNCODE} verify
      -CAfile ${signing}/certificate.pem -in ${binary})
    if(NOT RUN_OUTPUT MATCHES "Message digest algorithm +: SHA256"
        OR NOT RUN_OUTPUT MATCHES "Signature verification: ok")
      message(FATAL_ERROR "install_test: ${binary}'s signature:\n${RUN_OUTPUT}")
    endif()
  endforeach()
endif()

# ---- The consumer through the CMake package --------------------------------
set(configure_args -S ${consumer_source} -B ${WORK_DIR}/cmake-build -G ${GENERATOR}
  -DCMAKE_BUILD_TYPE=${BUILD_TYPE} -DCMAKE_PREFIX_PATH=${prefix})
if(MAKE_PROGRAM)
  list(APPEND configure_args -DCMAKE_MAKE_PROGRAM=${MAKE_PROGRAM})
endif()
if(WINDOWS)
  # Found through CMAKE_PREFIX_PATH, as the README tells a MinGW host.
  list(APPEND configure_args -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN_FILE})
else()
  list(APPEND configure_args -DCMAKE_CXX_COMPILER=${CXX_COMPILER})
endif()
run("configuring the consumer" COMMAND ${CMAKE_COMMAND} ${configure_args})
run("building the consumer" COMMAND ${CMAKE_COMMAND} --build ${WORK_DIR}/cmake-build)
run_consumer("consumer (CMake package)" ${WORK_DIR}/cmake-build/consumer${exe_suffix})

# ---- The consumer built by a plain compiler command -----------------------
set(plain_dir ${WORK_DIR}/plain-build)
file(MAKE_DIRECTORY ${plain_dir})
if(WINDOWS)
  # Against the MSVC-style import libraries, which MinGW's linker reads too.
  run("building the consumer with qvctx.lib" COMMAND ${CXX_COMPILER} -std=c++17
    -I${prefix}/include ${consumer_source}/consumer.cpp
    ${prefix}/lib/qvctx.lib ${prefix}/lib/wfapi64.lib
    -static -static-libgcc -static-libstdc++ -o ${plain_dir}/consumer.exe)
  run_consumer("consumer (qvctx.lib)" ${plain_dir}/consumer.exe)

  # A C host for the MSVC ABI: clang-cl and lld-link through the CMake package.
  set(msvc_dir ${WORK_DIR}/msvc-build)
  build_msvc_consumer(${prefix} ${msvc_dir})
  run_consumer("MSVC-ABI consumer (clang-cl, lld-link, qvctx.lib)" ${msvc_dir}/out/msvc_consumer.exe)
else()
  set(pc_env ${CMAKE_COMMAND} -E env PKG_CONFIG_PATH=${prefix}/lib/pkgconfig)
  run("pkg-config" COMMAND ${pc_env} ${PKG_CONFIG} --cflags --libs qvctx qvctx-simulator)
  separate_arguments(pc_flags UNIX_COMMAND "${RUN_OUTPUT}")
  run("pkg-config libdir" COMMAND ${pc_env} ${PKG_CONFIG} --variable=libdir qvctx)
  string(STRIP "${RUN_OUTPUT}" pc_libdir)
  run("building the consumer with pkg-config" COMMAND ${CXX_COMPILER} -std=c++17
    ${consumer_source}/consumer.cpp ${pc_flags} -pthread -Wl,-rpath,${pc_libdir}
    -o ${plain_dir}/consumer)
  run_consumer("consumer (pkg-config)" ${plain_dir}/consumer)
endif()

# ---- The installed sample host, from the installed layout -----------------
# It finds the libraries beside itself (Windows) or in ../lib (Linux).
set(host_args --calls 6 --size 34-5000 --events 1 --bulk 3000)
if(WINDOWS)
  run("the installed qvctx-host" COMMAND ${CMAKE_COMMAND} -E env
    QVCTX_WINE_BUILD_DIR=${BUILD_DIR} QVCTX_WINEPREFIX=${BUILD_DIR}/wineprefix
    ${WINE_RUN} ${prefix}/bin/qvctx-host.exe ${host_args})
else()
  run("the installed qvctx-host" COMMAND ${CMAKE_COMMAND} -E env
    QVCTX_DRIVE_C=${WORK_DIR}/drive ${prefix}/bin/qvctx-host ${host_args})
endif()
if(NOT RUN_OUTPUT MATCHES "every answer arrived intact")
  message(FATAL_ERROR "install_test: the installed qvctx-host:\n${RUN_OUTPUT}")
endif()

if(WINDOWS)
  # Once more with the signed tap beside the host, as on a server, and the
  # simulator under a name of its own as the tap's target; a recording shows
  # that the tap was in the path (under this process's own name).
  set(tapped ${WORK_DIR}/tapped)
  file(REMOVE_RECURSE ${tapped})
  file(MAKE_DIRECTORY ${tapped})
  file(COPY ${prefix}/bin/qvctx-host.exe ${prefix}/bin/qvctx.dll
    ${prefix}/bin/tap/wfapi64.dll DESTINATION ${tapped})
  file(COPY_FILE ${prefix}/bin/wfapi64.dll ${WORK_DIR}/wfsim-target.dll)
  string(REPLACE "/" "\\" target "Z:${WORK_DIR}/wfsim-target.dll")
  string(REPLACE "/" "\\" record "Z:${tapped}/rec")
  run("the installed qvctx-host through the signed tap" COMMAND ${CMAKE_COMMAND} -E env
    QVCTX_WINE_BUILD_DIR=${BUILD_DIR} QVCTX_WINEPREFIX=${BUILD_DIR}/wineprefix
    QVCTX_TAP_TARGET=${target} QVCTX_TAP_RECORD=${record}
    ${WINE_RUN} ${tapped}/qvctx-host.exe --simulator ${target} ${host_args})
  file(GLOB recordings ${tapped}/rec.p*.server.bin)
  if(NOT RUN_OUTPUT MATCHES "every answer arrived intact" OR NOT recordings)
    message(FATAL_ERROR "install_test: the installed qvctx-host through the signed tap:\n${RUN_OUTPUT}")
  endif()
endif()

message(STATUS "install_test: passed")
