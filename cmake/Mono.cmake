# The C# binding's programs (bindings/dotnet): compiled with Mono's mcs, run
# by the tests under mono against the Linux build and the simulator.
# QVCTX_MONO_FOUND is ON when both are there (scripts/setup.sh installs them).
set(QVCTX_MONO_FOUND OFF)
if(NOT QVCTX_WINDOWS)
  find_program(QVCTX_MCS mcs)
  find_program(QVCTX_MONO mono)
  if(QVCTX_MCS AND QVCTX_MONO)
    set(QVCTX_MONO_FOUND ON)
  endif()
endif()

# An AddressSanitizer build's library needs the sanitizer runtimes loaded
# before anything else: mono gets them preloaded, and leak checking ignores
# only Mono's own blocks. Mono does not run under ThreadSanitizer.
set(_qvctx_mono_env)
if(QVCTX_SANITIZE MATCHES "thread")
  set(QVCTX_MONO_FOUND OFF)
elseif(QVCTX_SANITIZE AND QVCTX_MONO_FOUND)
  set(_preload)
  foreach(_runtime address:libasan.so undefined:libubsan.so)
    string(REPLACE ":" ";" _runtime "${_runtime}")
    list(GET _runtime 0 _sanitizer)
    list(GET _runtime 1 _file)
    if(QVCTX_SANITIZE MATCHES "${_sanitizer}")
      execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${_file}
        OUTPUT_VARIABLE _path OUTPUT_STRIP_TRAILING_WHITESPACE)
      if(NOT IS_ABSOLUTE "${_path}")
        set(QVCTX_MONO_FOUND OFF)
      endif()
      list(APPEND _preload ${_path})
    endif()
  endforeach()
  list(JOIN _preload ":" _preload)
  set(_qvctx_mono_env "LD_PRELOAD=${_preload}"
    "ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:malloc_context_size=2"
    "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/dotnet/mono_leaks.supp")
endif()

# qvctx_add_mono_program(NAME SOURCE ...): build/<preset>/dotnet/NAME.exe
# from the sources and the binding.
function(qvctx_add_mono_program name)
  set(sources ${ARGN})
  list(TRANSFORM sources PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/)
  list(APPEND sources ${PROJECT_SOURCE_DIR}/bindings/dotnet/Qvctx.cs)
  set(exe ${CMAKE_BINARY_DIR}/dotnet/${name}.exe)
  add_custom_command(OUTPUT ${exe}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/dotnet
    COMMAND ${QVCTX_MCS} -nologo -warnaserror+ -out:${exe} ${sources}
    DEPENDS ${sources} VERBATIM)
  add_custom_target(${name} ALL DEPENDS ${exe})
  # Its tests load both from the build's bin folder.
  add_dependencies(${name} qvctx wfapi64)
endfunction()

# qvctx_add_mono_test(TEST NAME [ARG ...]): runs NAME.exe under mono with a
# drive of its own; Mono finds libqvctx.so and libwfapi64.so through
# LD_LIBRARY_PATH, as a deployed host would.
function(qvctx_add_mono_test test name)
  add_test(NAME ${test}
    COMMAND ${QVCTX_MONO} ${CMAKE_BINARY_DIR}/dotnet/${name}.exe ${ARGN})
  qvctx_set_test_machine(${test})
  set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT
    "LD_LIBRARY_PATH=${CMAKE_BINARY_DIR}/bin" ${_qvctx_mono_env})
endfunction()
