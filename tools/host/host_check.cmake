# Runs qvctx-host as a process and checks what it prints and returns.
#   cmake -DHOST=<qvctx-host> [-DEMULATOR=<runner>] -DWINDOWS=<ON|OFF>
#         [-DPLATFORM_ONLY=<the platform-only simulator>]
#         [-DSIMULATOR=<the simulator> -DDUMP=<qvctx-dump>]
#         -DCHECK=json|no_client|options|reconnect|probe_refused|probe_send
#         -P host_check.cmake
# json:      a --json run; the object's counts agree, the latency fields are
#            there and ordered, the log file was written, stderr (not a
#            terminal here) holds no progress line; a second run with
#            another thread count sends the very same bytes.
# no_client: nobody answers; the host must say the answers are missing and
#            fail within its short timeout.
# reconnect: --reconnect 3 --json: three sessions, every answer intact in
#            each, the send after each drop failed.
# probe_refused: --probe against the platform-only simulator that finds no
#            client: exit 3 and the library's reason on stderr.
# probe_send: the operator's recipe: a call taken from a recording of a
#            run that worked (qvctx-dump --extract) and sent by the probe:
#            answered (exit 0, the answer shown); nobody answers (exit 5);
#            the channel refused (exit 3).
# options:   --help succeeds and lists the options; bad values are refused
#            with exit code 2 before anything is loaded; a library that
#            does not load fails the run.
cmake_minimum_required(VERSION 3.25)

# The output goes through files: under Wine a wineserver started by the run
# would hold a pipe open, and the run would wait for it to end.
set(_files "${CMAKE_CURRENT_BINARY_DIR}/host_check_${CHECK}")
function(run_host)
  execute_process(COMMAND ${EMULATOR} ${HOST} ${ARGN}
    OUTPUT_FILE "${_files}.out" ERROR_FILE "${_files}.err"
    RESULT_VARIABLE rc TIMEOUT 200)
  file(READ "${_files}.out" out)
  file(READ "${_files}.err" err)
  set(out "${out}" PARENT_SCOPE)
  set(err "${err}" PARENT_SCOPE)
  set(rc "${rc}" PARENT_SCOPE)
endfunction()

function(fail what)
  message(FATAL_ERROR "${what}\n--- exit: ${rc}\n--- stdout:\n${out}\n--- stderr:\n${err}")
endfunction()

function(json_get var)
  string(JSON value ERROR_VARIABLE problem GET "${out}" ${ARGN})
  if(problem)
    fail("JSON field ${ARGN}: ${problem}")
  endif()
  set(${var} "${value}" PARENT_SCOPE)
endfunction()

if(CHECK STREQUAL "json")
  run_host(--json --calls 40 --size 34-5000 --threads 3 --events 4
           --bulk 200000 --timeout 60)
  if(NOT rc EQUAL 0)
    fail("the --json run failed")
  endif()
  json_get(ok ok)
  json_get(calls calls)
  json_get(sent calls_sent)
  json_get(answered answered)
  json_get(intact intact)
  if(NOT ok STREQUAL "ON" AND NOT ok STREQUAL "true")
    fail("ok is ${ok}")
  endif()
  if(NOT calls EQUAL 40 OR NOT sent EQUAL calls OR NOT answered EQUAL calls
     OR NOT intact EQUAL calls)
    fail("calls ${calls}, sent ${sent}, answered ${answered}, intact ${intact}")
  endif()
  json_get(size_min size_min)
  json_get(size_max size_max)
  if(NOT size_min EQUAL 34 OR NOT size_max EQUAL 5000)
    fail("sizes ${size_min}-${size_max}")
  endif()
  json_get(bulk_answered bulk_answered)
  json_get(bulk_intact bulk_intact)
  if(NOT bulk_intact STREQUAL "ON" AND NOT bulk_intact STREQUAL "true")
    fail("the bulk transfer was not answered intact")
  endif()
  json_get(queued events_queued)
  json_get(received events_received)
  if(NOT queued EQUAL 4 OR NOT received EQUAL 4)
    fail("events queued ${queued}, received ${received}")
  endif()
  json_get(bytes_sent bytes_sent)
  json_get(bytes_received bytes_received)
  # Every call and the bulk transfer come back as long as they went, plus
  # the events.
  if(bytes_sent LESS 200000 OR bytes_received LESS bytes_sent)
    fail("bytes sent ${bytes_sent}, received ${bytes_received}")
  endif()
  json_get(p50 latency_us p50)
  json_get(p99 latency_us p99)
  json_get(max latency_us max)
  if(NOT p50 GREATER 0 OR p50 GREATER p99 OR p99 GREATER max)
    fail("latencies out of order: p50 ${p50}, p99 ${p99}, max ${max}")
  endif()
  string(JSON problem_count ERROR_VARIABLE problem LENGTH "${out}" problems)
  if(NOT problem_count EQUAL 0)
    fail("problems listed")
  endif()
  json_get(start_log start_log)
  if(NOT start_log MATCHES "ServerStartSession")
    fail("the session log lacks the start")
  endif()
  json_get(written log_file_written)
  if(NOT written STREQUAL "ON" AND NOT written STREQUAL "true")
    fail("the log file named is not there")
  endif()
  if(NOT WINDOWS)
    json_get(log_file log_file)
    file(READ "${log_file}" log_text)
    if(NOT log_text MATCHES "ServerStartSession")
      fail("${log_file} holds no start")
    endif()
  endif()
  if(err MATCHES "\r" OR err MATCHES "answered")
    fail("a progress line went to a redirected stderr")
  endif()
  # The sizes come from a fixed seed and belong to the calls, not to the
  # threads: a run with one thread sends exactly as many bytes.
  set(first_bytes_sent "${bytes_sent}")
  run_host(--json --calls 40 --size 34-5000 --threads 1 --events 0
           --bulk 200000 --timeout 60)
  json_get(bytes_sent bytes_sent)
  if(NOT rc EQUAL 0 OR NOT bytes_sent EQUAL first_bytes_sent)
    fail("a second run sent ${bytes_sent} bytes, the first ${first_bytes_sent}")
  endif()
elseif(CHECK STREQUAL "no_client")
  run_host(--client none --timeout 1 --calls 6 --size 100-200 --bulk 1000)
  if(rc EQUAL 0)
    fail("the host succeeded although nothing answered")
  endif()
  if(NOT out MATCHES
     "answers missing: 6 of 6 calls and the bulk transfer got no answer within 1 s")
    fail("no line says the answers are missing")
  endif()
  if(out MATCHES "every answer arrived intact")
    fail("claims success")
  endif()
elseif(CHECK STREQUAL "reconnect")
  run_host(--json --reconnect 3 --calls 12 --size 34-3000 --events 2
           --bulk 50000 --timeout 60)
  json_get(ok ok)
  string(JSON count ERROR_VARIABLE problem LENGTH "${out}" sessions)
  if(NOT rc EQUAL 0 OR NOT ok STREQUAL "ON" OR NOT count EQUAL 3)
    fail("three sessions should all pass")
  endif()
  foreach(index 0 1 2)
    json_get(number sessions ${index} session)
    json_get(intact sessions ${index} intact)
    json_get(bulk sessions ${index} bulk_intact)
    json_get(events sessions ${index} events_received)
    json_get(dropped sessions ${index} send_after_drop)
    # The built-in client's count is the session's own: 12 calls and the
    # bulk transfer, in every session.
    json_get(client sessions ${index} client)
    if(NOT client MATCHES "answered 13 packages, 0 unframed")
      fail("session ${index}: ${client}")
    endif()
    math(EXPR expected_number "${index} + 1")
    if(index EQUAL 0)
      set(expected_drop 0)
    else()
      set(expected_drop 1)
    endif()
    if(NOT number EQUAL expected_number OR NOT intact EQUAL 12
       OR NOT bulk STREQUAL "ON"
       OR NOT events EQUAL 2 OR NOT dropped EQUAL expected_drop)
      fail("session ${number}: ${intact} intact, bulk ${bulk}, ${events} events, send after the drop ${dropped}")
    endif()
  endforeach()
elseif(CHECK STREQUAL "probe_refused")
  # Nobody listens on port 1: the channel open fails.
  set(ENV{QVCTX_SIM_CONNECT} "127.0.0.1:1")
  run_host(--probe 1 --simulator "${PLATFORM_ONLY}")
  if(NOT rc EQUAL 3 OR NOT err MATCHES
     "could not start: ServerStartSession returned 1: Error - ServerStartSession:: WFVirtualChannelOpen Failed - error 1225")
    fail("a refused start must exit 3 and say why")
  endif()
elseif(CHECK STREQUAL "probe_send")
  set(record "${_files}")
  set(call "${_files}.call")
  if(WINDOWS)
    string(REPLACE "/" "\\" record "Z:${record}")
    string(REPLACE "/" "\\" call "Z:${call}")
  endif()
  file(REMOVE "${_files}.server.bin" "${_files}.client.bin" "${_files}.call")
  set(ENV{QVCTX_SIM_RECORD} "${record}")
  run_host(--calls 3 --size 100-200 --bulk 0 --events 0)
  unset(ENV{QVCTX_SIM_RECORD})
  execute_process(COMMAND ${EMULATOR} ${DUMP} --extract 0 --out "${call}" "${record}"
    OUTPUT_FILE "${_files}.out" ERROR_FILE "${_files}.err" RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    fail("qvctx-dump --extract 0 from the recording of a run that worked")
  endif()
  run_host(--probe --send "${call}" --simulator "${SIMULATOR}")
  string(REGEX MATCH "sent +[^\n]*: messageID (0x[0-9A-F]+), ([0-9]+) bytes" _ "${out}")
  set(sent "${CMAKE_MATCH_1} ${CMAKE_MATCH_2}")
  string(REGEX MATCH "answer +result messageID (0x[0-9A-F]+), ([0-9]+) bytes" _ "${out}")
  if(NOT rc EQUAL 0 OR NOT sent STREQUAL "${CMAKE_MATCH_1} ${CMAKE_MATCH_2}")
    fail("the call's answer (${sent}) must be shown, exit 0")
  endif()
  run_host(--probe 1 --send "${call}" --simulator "${SIMULATOR}" --client none)
  if(NOT rc EQUAL 5 OR NOT err MATCHES "no answer within 1 s")
    fail("nobody answers: exit 5")
  endif()
  set(ENV{QVCTX_SIM_CONNECT} "127.0.0.1:1")
  run_host(--probe --send "${call}" --simulator "${PLATFORM_ONLY}")
  if(NOT rc EQUAL 3 OR NOT err MATCHES "WFVirtualChannelOpen Failed - error 1225")
    fail("the channel refused: exit 3")
  endif()
elseif(CHECK STREQUAL "options")
  run_host(--help)
  if(NOT rc EQUAL 0 OR NOT out MATCHES "--bulk BYTES" OR NOT out MATCHES "--json")
    fail("--help")
  endif()
  # Each a command line of its own (a list in one argument).
  foreach(bad "--size;33" "--size;40-35" "--size;10485726" "--bulk;10485760"
      "--bulk;20" "--threads;0" "--client;remote" "--nonsense;1" "--calls"
      "--timeout;0" "--reconnect;0" "--probe;1;--reconnect;2" "--calls;010"
      "--calls; 5" "--calls;5 " "--calls;5x" "--events;-1" "--threads;0x"
      "--bulk;0x1000000000000000A" "--probe" "--send;${HOST}"
      "--probe;--send;${HOST}")
    run_host(${bad})
    if(NOT rc EQUAL 2 OR NOT err MATCHES "qvctx-host: ")
      fail("${bad} was not refused")
    endif()
  endforeach()
  run_host(--calls 7x)
  if(NOT err MATCHES "qvctx-host: --calls: '7x' is not a number")
    fail("a refused number must be named with its option")
  endif()
  # Decimal or 0x hex: the options are read in full before --help answers.
  foreach(good "--calls;0x10" "--threads;0X2" "--reconnect;1000")
    run_host(${good} --help)
    if(NOT rc EQUAL 0)
      fail("${good} was refused")
    endif()
  endforeach()
  # A library that is not there: the host says so and fails.
  run_host(--library "${HOST}.missing-library" --calls 1)
  if(NOT rc EQUAL 3 OR NOT err MATCHES "cannot load the library")
    fail("a missing library was not reported")
  endif()
else()
  message(FATAL_ERROR "CHECK=${CHECK}: expected json, no_client, options, reconnect, probe_refused or probe_send")
endif()
