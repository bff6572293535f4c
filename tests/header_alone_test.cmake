# header_alone_test (cmake -P): the public header compiles, as C and as C++,
# from a bare copy of the repository's include/ folder, which is all a
# developer who copies the header has: nothing the build generates.
#
# In: SOURCE_DIR WORK_DIR C_COMPILER CXX_COMPILER
file(REMOVE_RECURSE ${WORK_DIR})
file(COPY ${SOURCE_DIR}/include DESTINATION ${WORK_DIR})
file(WRITE ${WORK_DIR}/use.c "#include \"qvctx/qvctx.h\"\n"
  "static const char kVersion[] = QVCTX_VERSION_STRING;\n"
  "const char* Version(void) { return kVersion; }\n")
foreach(compiler_and_language "${C_COMPILER}|c" "${CXX_COMPILER}|c++")
  string(REPLACE "|" ";" compiler_and_language "${compiler_and_language}")
  list(GET compiler_and_language 0 compiler)
  list(GET compiler_and_language 1 language)
  execute_process(COMMAND ${compiler} -fsyntax-only -x ${language}
      -I${WORK_DIR}/include ${WORK_DIR}/use.c
    RESULT_VARIABLE rc ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "header_alone_test: qvctx.h as ${language} from include/ alone:\n${err}")
  endif()
endforeach()
message(STATUS "header_alone_test: passed")
