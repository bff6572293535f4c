# qvctx-host with and without the tap underneath (the simulator as the tap's
# target, recording on): the same summary both times, and qvctx-dump finds in
# the recording every byte the host sent and received, every call with its
# answer and a latency.
# Arguments: EMULATOR (may be empty), WINDOWS, HOST, LIBRARY, TAP, SIMULATOR,
# DUMP, WORK_DIR, OPTIONS (the host's; 12 calls and a bulk transfer).
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}/host" "${WORK_DIR}/target")
set(options ${OPTIONS})

function(fail what)
  message(FATAL_ERROR "${what}\n--- exit: ${rc}\n--- stdout:\n${out}\n--- stderr:\n${err}")
endfunction()

# Runs a program; sets out, err and rc. Output through files: under Wine a
# wineserver would hold a pipe open.
function(run)
  execute_process(COMMAND ${ARGN}
    OUTPUT_FILE "${WORK_DIR}/out.txt" ERROR_FILE "${WORK_DIR}/err.txt"
    RESULT_VARIABLE rc TIMEOUT 200)
  file(READ "${WORK_DIR}/out.txt" out)
  file(READ "${WORK_DIR}/err.txt" err)
  string(REPLACE "\r" "" out "${out}")
  set(out "${out}" PARENT_SCOPE)
  set(err "${err}" PARENT_SCOPE)
  set(rc "${rc}" PARENT_SCOPE)
endfunction()

# What must be the same with the tap: the report without the paths, the
# latency histogram, and every time or rate the run measured, in whatever
# unit and notation it came ("355 us", "2.49 ms", "1e+03 ms", "0.004 s",
# "27.6 MB/s"), since how fast the machine is has nothing to do with the tap.
function(summary_of text var)
  string(REPLACE "\n" ";" lines "${text}")
  set(kept "")
  foreach(line IN LISTS lines)
    if(line MATCHES "^(  library|  simulator|log file)" OR line MATCHES "\\.\\. ")
      continue()
    endif()
    string(REGEX REPLACE "[0-9][0-9.e+-]* (us|ms|s|MB/s)([^A-Za-z]|$)" "<measured>\\2"
           line "${line}")
    list(APPEND kept "${line}")
  endforeach()
  set(${var} "${kept}" PARENT_SCOPE)
endfunction()

run(${EMULATOR} ${HOST} ${options})
if(NOT rc EQUAL 0)
  fail("the host without the tap failed")
endif()
summary_of("${out}" without)

# The host's folder: the host, qvctx and the tap as the platform's library.
get_filename_component(host_name "${HOST}" NAME)
get_filename_component(tap_name "${TAP}" NAME)
file(COPY "${HOST}" "${TAP}" DESTINATION "${WORK_DIR}/host")
# Under the name the host loads (the built shared object carries its version).
if(WINDOWS)
  set(library_name qvctx.dll)
else()
  set(library_name libqvctx.so)
endif()
file(COPY_FILE "${LIBRARY}" "${WORK_DIR}/host/${library_name}")
get_filename_component(sim_name "${SIMULATOR}" NAME)
if(WINDOWS)
  set(sim_name wfsim-target.dll)
endif()
file(COPY_FILE "${SIMULATOR}" "${WORK_DIR}/target/${sim_name}")
set(target "${WORK_DIR}/target/${sim_name}")
set(record "${WORK_DIR}/rec")
if(WINDOWS)
  # Full Windows paths (Wine's drive Z: is the root), as on a server.
  string(REPLACE "/" "\\" target "Z:${target}")
  string(REPLACE "/" "\\" record "Z:${record}")
endif()
set(ENV{QVCTX_TAP_TARGET} "${target}")
set(ENV{QVCTX_TAP_RECORD} "${record}")
if(NOT WINDOWS)
  set(ENV{LD_LIBRARY_PATH} "${WORK_DIR}/host")
endif()
run(${EMULATOR} "${WORK_DIR}/host/${host_name}" --simulator "${target}"
    ${options})
if(NOT rc EQUAL 0)
  fail("the host with the tap failed")
endif()
summary_of("${out}" with)
if(NOT with STREQUAL without)
  fail("the summaries differ:\nwithout: ${without}\nwith:    ${with}")
endif()
if(NOT EXISTS "${WORK_DIR}/rec.server.bin")
  fail("the tap recorded nothing: qvctx did not load it")
endif()
string(REGEX MATCH "bytes +([0-9]+) sent, ([0-9]+) received" _ "${out}")
set(sent ${CMAKE_MATCH_1})
set(received ${CMAKE_MATCH_2})

unset(ENV{QVCTX_TAP_TARGET})
unset(ENV{QVCTX_TAP_RECORD})
run(${DUMP} --json --strict "${WORK_DIR}/rec")
if(NOT rc EQUAL 0)
  fail("qvctx-dump --strict found a problem in the recording")
endif()
string(REGEX MATCHALL "\"fnc_typ\":0,[^\n]*\"answered\":true,[^\n]*\"latency_us\":[0-9]+}"
       answered "${out}")
list(LENGTH answered answered_count)
if(NOT answered_count EQUAL 13)  # 12 calls and the bulk transfer
  fail("${answered_count} calls answered with a latency, expected 13")
endif()
if(NOT out MATCHES "\"server_bytes\":${sent},[^\n]*\"client_bytes\":${received},")
  fail("the recording does not hold the ${sent} bytes sent and ${received} received")
endif()
message(STATUS "same summary through the tap; recording complete")
