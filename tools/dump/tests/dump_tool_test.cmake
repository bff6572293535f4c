# Runs the real qvctx-dump (through EMULATOR, Wine on the Windows build) on the
# recordings dump_stream_writer makes, and checks its output line by line
# against testdata/*.expected, which describe those recordings package by
# package. Also checks the argument handling and the exit status.
# Arguments: EMULATOR (may be empty), WRITER, DUMP, WORK_DIR, EXPECTED_DIR.
cmake_minimum_required(VERSION 3.25)

set(failures "")

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
execute_process(COMMAND ${EMULATOR} "${WRITER}" rec
  WORKING_DIRECTORY "${WORK_DIR}" RESULT_VARIABLE rc
  ERROR_FILE "${WORK_DIR}/writer.txt")
if(NOT rc EQUAL 0)
  file(READ "${WORK_DIR}/writer.txt" err)
  message(FATAL_ERROR "dump_stream_writer failed (${rc}): ${err}")
endif()

# Runs the tool with the given arguments in WORK_DIR; sets out, err, rc.
# The output goes through files, not pipes: a wineserver started by the
# emulator would hold a pipe open until it exits, seconds later.
macro(run_dump)
  execute_process(COMMAND ${EMULATOR} "${DUMP}" ${ARGN}
    WORKING_DIRECTORY "${WORK_DIR}"
    OUTPUT_FILE "${WORK_DIR}/stdout.txt" ERROR_FILE "${WORK_DIR}/stderr.txt"
    RESULT_VARIABLE rc)
  file(READ "${WORK_DIR}/stdout.txt" out)
  file(READ "${WORK_DIR}/stderr.txt" err)
  string(REPLACE "\r" "" out "${out}")
  string(REPLACE "\r" "" err "${err}")
endmacro()

macro(fail text)
  list(APPEND failures "${text}")
  message(STATUS "FAIL: ${text}")
endmacro()

# Compares two texts line by line and reports each line that differs.
function(expect_lines what actual expected)
  string(REPLACE "\n" ";" actual_lines "${actual}")
  string(REPLACE "\n" ";" expected_lines "${expected}")
  list(LENGTH actual_lines actual_count)
  list(LENGTH expected_lines expected_count)
  set(found "")
  if(NOT actual_count EQUAL expected_count)
    list(APPEND found "${what}: ${actual_count} lines, expected ${expected_count}")
  endif()
  math(EXPR last "${expected_count} - 1")
  if(actual_count LESS expected_count)
    math(EXPR last "${actual_count} - 1")
  endif()
  if(last GREATER_EQUAL 0)
    foreach(i RANGE ${last})
      list(GET actual_lines ${i} got)
      list(GET expected_lines ${i} want)
      if(NOT got STREQUAL want)
        math(EXPR line "${i} + 1")
        list(APPEND found "${what} line ${line}:\n  got  '${got}'\n  want '${want}'")
      endif()
    endforeach()
  endif()
  set(failures ${failures} ${found} PARENT_SCOPE)
  foreach(text IN LISTS found)
    message(STATUS "FAIL: ${text}")
  endforeach()
endfunction()

file(READ "${EXPECTED_DIR}/client.expected" client_expected)
file(READ "${EXPECTED_DIR}/server.expected" server_expected)

# Each recording by its name: the direction from the suffix.
run_dump(rec.client.bin)
if(NOT rc EQUAL 0)
  fail("rec.client.bin: exit ${rc}, expected 0 (${err})")
endif()
expect_lines("rec.client.bin" "${out}" "${client_expected}")

run_dump(rec.server.bin)
if(NOT rc EQUAL 0)
  fail("rec.server.bin: exit ${rc}, expected 0 (${err})")
endif()
expect_lines("rec.server.bin" "${out}" "${server_expected}")

# The prefix alone: both recordings, the server's first.
run_dump(rec)
if(NOT rc EQUAL 0)
  fail("prefix: exit ${rc}, expected 0 (${err})")
endif()
expect_lines("prefix rec" "${out}" "${server_expected}${client_expected}")

# The same bytes under another name, read as the client's by --direction.
run_dump(--direction client rec.other.dat)
string(REPLACE "== rec.client.bin (client>server)"
       "== rec.other.dat (client>server)" other_expected "${client_expected}")
if(NOT rc EQUAL 0)
  fail("--direction client: exit ${rc}, expected 0 (${err})")
endif()
expect_lines("--direction client rec.other.dat" "${out}" "${other_expected}")

# Read as the server's, the same bytes are judged by the client's rules: the
# event with messageID 0 is a package there, unusual from a server.
run_dump(--direction=server rec.other.dat)
if(NOT rc EQUAL 0)
  fail("--direction=server: exit ${rc}, expected 0 (${err})")
endif()
if(NOT out MATCHES "\n243 +server>client 1 event +0 +0 +36 +0 +50 51 +unusual: FNCTyp 1 from the server")
  fail("--direction=server: no unusual event at 243 in:\n${out}")
endif()
if(NOT out MATCHES "\n93 +server>client [- ]+47 41 52 42 41 47 45 21 21 21 +10 bytes skipped: unframed")
  fail("--direction=server: no unframed run at 93 in:\n${out}")
endif()

# A timed recording: both directions in one list in time order, every call
# paired with its answer by messageID, the problems listed.
run_dump(timed)
string(REGEX MATCHALL "\n\\+0\\.[0-9]+ +[0-9]+ +(server>client|client>server) [0-9] [a-z]+ +[0-9]+"
       rows "${out}")
string(REGEX REPLACE "\n\\+0\\.([0-9]+) +([0-9]+) +([a-z]+)>[a-z]+ [0-9] [a-z]+ +([0-9]+)"
       "\\1 \\3 \\4" rows "${rows}")
set(want "000000 server 257;000100 server 514;000200 server 771;000350 client 514;000400 client 9;000600 client 257;000700 client 2457")
if(NOT rc EQUAL 0 OR NOT rows STREQUAL want)
  fail("timed: exit ${rc}, rows '${rows}', want '${want}':\n${out}")
endif()
foreach(text "257 .*answered after 0.600 ms" "514 .*answered after 0.250 ms"
        "771 .*NEVER ANSWERED" "2457 .*ANSWERS NO CALL"
        "never answered: messageID 771 at offset 74"
        "truncated: timed.client.bin: the last chunk is cut off after 44 bytes")
  if(NOT out MATCHES "${text}")
    fail("timed: no '${text}' in:\n${out}")
  endif()
endforeach()
run_dump(--json --type 2 --id 257 --id=0x99 timed)
string(REGEX MATCHALL "\n{[^\n]*" objects "\n${out}")
list(LENGTH objects count)
if(NOT rc EQUAL 0 OR NOT count EQUAL 2 OR NOT out MATCHES
   "\"fnc_typ\":2,\"message_id\":257,.*\"call_offset\":0,\"latency_us\":600}\n{\"summary\":{\"timed\":true,.*\"never_answered\":\\[{\"message_id\":771,\"offset\":74}\\],.*\"problems\":3}}")
  fail("--json filtered: exit ${rc}, ${count} objects:\n${out}")
endif()
run_dump(--strict timed)
if(NOT rc EQUAL 1)
  fail("--strict on a recording with problems: exit ${rc}")
endif()
run_dump(--strict --type 0 rec.client.bin)
if(NOT rc EQUAL 1)
  fail("--strict on an untimed recording with flags: exit ${rc}")
endif()
# Numbers are decimal or 0x hex, whole, in range; anything else is refused
# with the option named.
foreach(id 0x101 0X101)
  run_dump(--json --id ${id} timed)
  if(NOT rc EQUAL 0 OR NOT out MATCHES "\"message_id\":257," OR out MATCHES "\"message_id\":514,")
    fail("--id ${id}: exit ${rc}:\n${out}")
  endif()
endforeach()
foreach(bad "--type;4;out of range \\(0 to 3\\)" "--id;010x;not a number"
        "--id;010;not a number" "--id; 257;not a number" "--id;257 ;not a number"
        "--id;0x;not a number" "--id;-1;not a number" "--id;1e3;not a number"
        "--id;4294967296;out of range")
  list(GET bad 0 option)
  list(GET bad 1 value)
  list(GET bad 2 why)
  run_dump(${option} "${value}" timed)
  if(NOT rc EQUAL 2 OR NOT err MATCHES "^qvctx-dump: ${option}: '?${value}'? is ${why}")
    fail("${option} '${value}': exit ${rc}, stderr '${err}'")
  endif()
endforeach()

# --extract writes the package at an offset byte for byte, from an untimed
# or a timed recording (whose chunks it is spread over); where no whole
# package begins, nothing.
foreach(case "rec.server.bin;145;000011270d000000;36" "timed;74;0000112703030000;")
  list(GET case 0 recording)
  list(GET case 1 offset)
  list(GET case 2 head)
  list(GET case 3 size)
  file(REMOVE "${WORK_DIR}/one.bin")
  run_dump(--extract ${offset} --out one.bin ${recording})
  file(READ "${WORK_DIR}/one.bin" bytes HEX)
  string(LENGTH "${bytes}" length)
  math(EXPR length "${length} / 2")
  string(SUBSTRING "${bytes}" 16 8 datasize)  # little-endian, below 256
  string(SUBSTRING "${datasize}" 0 2 datasize)
  math(EXPR datasize "0x${datasize}")
  if(NOT rc EQUAL 0 OR NOT bytes MATCHES "^${head}" OR NOT length EQUAL datasize
     OR (size AND NOT length EQUAL size))
    fail("--extract ${offset} ${recording}: exit ${rc}, ${length} bytes ${bytes} (${err})")
  endif()
endforeach()
foreach(offset 5 111)
  run_dump(--extract ${offset} --out none.bin rec)
  if(NOT rc EQUAL 1 OR EXISTS "${WORK_DIR}/none.bin"
     OR NOT err MATCHES "no whole package begins at offset ${offset}")
    fail("--extract ${offset}: exit ${rc}, stderr '${err}'")
  endif()
endforeach()

# Wrong usage and unreadable files.
run_dump(rec.other.dat)
if(NOT rc EQUAL 2 OR NOT err MATCHES "cannot tell the direction of rec.other.dat")
  fail("no direction: exit ${rc}, stderr '${err}'")
endif()
run_dump(--direction sideways rec.other.dat)
if(NOT rc EQUAL 2 OR NOT err MATCHES "--direction takes server or client")
  fail("bad direction: exit ${rc}, stderr '${err}'")
endif()
run_dump(missing.client.bin)
if(NOT rc EQUAL 1 OR NOT err MATCHES "cannot open missing.client.bin")
  fail("missing file: exit ${rc}, stderr '${err}'")
endif()
run_dump()
if(NOT rc EQUAL 2 OR NOT err MATCHES "usage: qvctx-dump")
  fail("no arguments: exit ${rc}, stderr '${err}'")
endif()
run_dump(--help)
if(NOT rc EQUAL 0 OR NOT out MATCHES "usage: qvctx-dump .*PREFIX.client.bin")
  fail("--help: exit ${rc}, stdout '${out}'")
endif()

list(LENGTH failures count)
if(count GREATER 0)
  message(FATAL_ERROR "${count} checks failed")
endif()
message(STATUS "qvctx-dump output matches, line by line")
