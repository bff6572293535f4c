# Warnings are errors in every target of ours; third-party code (GoogleTest) is built without them.
add_library(qvctx_warnings INTERFACE)
target_compile_options(qvctx_warnings INTERFACE
  -Wall -Wextra -Werror -Wshadow -Wformat=2 -Wno-format-nonliteral -Wundef)
if(QVCTX_WINDOWS)
  # The C99-conforming printf family (snprintf always NUL-terminates, %zu and friends work).
  target_compile_definitions(qvctx_warnings INTERFACE __USE_MINGW_ANSI_STDIO=1)
endif()
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  # The lock rules written as annotations (base/thread_annotations.h) are
  # checked wherever Clang compiles: the fuzz build here, and the lint step.
  target_compile_options(qvctx_warnings INTERFACE
    $<$<COMPILE_LANGUAGE:CXX>:-Wthread-safety>)
endif()
