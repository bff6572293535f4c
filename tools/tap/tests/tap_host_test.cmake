# qvctx-host with and without the tap underneath (the simulator as the tap's
# target, recording on): the same summary both times, and qvctx-dump finds in
# the recording every byte the host sent and received, every call with its
# answer and a latency. That recording is left as PREFIX "replay" for the
# replay tests. Then three hosts at once through the tap with one prefix:
# three recordings, each one whole.
# Arguments: EMULATOR (may be empty), WINDOWS, HOST, LIBRARY, TAP, SIMULATOR,
# DUMP, WORK_DIR, OPTIONS (the host's; 12 calls and a bulk transfer).
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}/host" "${WORK_DIR}/target" "${WORK_DIR}/many")
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
set(many "${WORK_DIR}/many/rec")
if(WINDOWS)
  # Full Windows paths (Wine's drive Z: is the root), as on a server.
  string(REPLACE "/" "\\" target "Z:${target}")
  string(REPLACE "/" "\\" record "Z:${record}")
  string(REPLACE "/" "\\" many "Z:${many}")
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
# The recording is the process's own: PREFIX.p<pid>[.s<session>].
file(GLOB recorded "${WORK_DIR}/rec.p*.server.bin")
list(LENGTH recorded count)
if(NOT count EQUAL 1)
  fail("${count} recordings, expected the host's one: ${recorded}")
endif()
string(REGEX REPLACE "server\\.bin$" "" recorded "${recorded}")
foreach(side server client)
  file(COPY_FILE "${recorded}${side}.bin" "${WORK_DIR}/replay.${side}.bin")
endforeach()
string(REGEX MATCH "bytes +([0-9]+) sent, ([0-9]+) received" _ "${out}")
set(sent ${CMAKE_MATCH_1})
set(received ${CMAKE_MATCH_2})

unset(ENV{QVCTX_TAP_TARGET})
unset(ENV{QVCTX_TAP_RECORD})
run(${DUMP} --json --strict "${WORK_DIR}/replay")
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

# Three hosts at once, as the sessions of a server: one recording each, none
# cut into by another. qvctx-dump takes the folder (each recording listed
# with its process, every call answered) and a pattern.
set(ENV{QVCTX_TAP_TARGET} "${target}")
set(ENV{QVCTX_TAP_RECORD} "${many}")
set(host_run ${EMULATOR} "${WORK_DIR}/host/${host_name}" --simulator "${target}"
    ${options})
# (Started by a shell, each with files of its own: a pipeline would end
# one when the next one exits.)
execute_process(COMMAND sh -c [[
  for n in 1 2 3; do "$@" >"$0/host$n.txt" 2>&1 & eval "pid$n=\$!"; done
  for n in 1 2 3; do eval "wait \$pid$n"; printf '%s;' $?; done >"$0/exits.txt"]]
  "${WORK_DIR}" ${host_run} TIMEOUT 300)
file(READ "${WORK_DIR}/exits.txt" rc)
if(NOT rc STREQUAL "0;0;0;")
  file(READ "${WORK_DIR}/host1.txt" out)
  fail("three hosts through the tap: exits ${rc}")
endif()
unset(ENV{QVCTX_TAP_TARGET})
unset(ENV{QVCTX_TAP_RECORD})
file(GLOB servers "${WORK_DIR}/many/rec.p*.server.bin")
file(GLOB clients "${WORK_DIR}/many/rec.p*.client.bin")
list(LENGTH servers server_count)
list(LENGTH clients client_count)
if(NOT server_count EQUAL 3 OR NOT client_count EQUAL 3)
  fail("three hosts left ${server_count} server and ${client_count} client files")
endif()
run(${DUMP} --json --strict "${WORK_DIR}/many")
string(REGEX MATCHALL "{\"recording\":{[^\n]*\"process_id\":[0-9]+"
       headed "${out}")
string(REGEX MATCHALL "\"fnc_typ\":0,[^\n]*\"answered\":true"
       answered "${out}")
list(LENGTH headed headed_count)
list(LENGTH answered answered_count)
if(NOT rc EQUAL 0 OR NOT headed_count EQUAL 3 OR NOT answered_count EQUAL 39)
  fail("the folder: ${headed_count} recordings, ${answered_count} calls answered")
endif()
if(WINDOWS)
  set(label "process [0-9]+, session [0-9]+\n")
else()
  set(label "process [0-9]+\n")
endif()
run(${DUMP} --strict "${WORK_DIR}/many/rec.p*")
string(REGEX MATCHALL "=== recording [^\n]*: ${label}" headed "${out}")
list(LENGTH headed headed_count)
if(NOT rc EQUAL 0 OR NOT headed_count EQUAL 3)
  fail("the pattern: ${headed_count} recordings headed ${label}")
endif()
message(STATUS "same summary through the tap; recording complete; a recording per host")
