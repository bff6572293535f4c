# The MSVC ABI on Linux: clang-cl compiles, lld-link links, for x64 Windows.
# There is no Windows SDK or C runtime here, so CMake's check links no
# program and no default libraries are named.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
find_program(CMAKE_C_COMPILER NAMES clang-cl clang-cl-14 REQUIRED)
find_program(CMAKE_LINKER NAMES lld-link lld-link-14 REQUIRED)
find_program(CMAKE_AR NAMES llvm-lib llvm-lib-14 REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES llvm-rc llvm-rc-14)
find_program(CMAKE_MT NAMES llvm-mt llvm-mt-14)
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
set(CMAKE_C_STANDARD_LIBRARIES "" CACHE STRING "" FORCE)
set(CMAKE_EXE_LINKER_FLAGS_INIT "/MANIFEST:NO")
