# QVCTX_LLVM_DLLTOOL: llvm-dlltool under its plain name, a versioned name,
# or in a versioned LLVM folder, whichever LLVM the machine has.
set(_qvctx_dlltool_names llvm-dlltool)
foreach(_version RANGE 21 11 -1)
  list(APPEND _qvctx_dlltool_names llvm-dlltool-${_version})
endforeach()
file(GLOB _qvctx_llvm_bins LIST_DIRECTORIES true /usr/lib/llvm-*/bin)
list(SORT _qvctx_llvm_bins COMPARE NATURAL ORDER DESCENDING)
find_program(QVCTX_LLVM_DLLTOOL NAMES ${_qvctx_dlltool_names}
  HINTS ${_qvctx_llvm_bins} REQUIRED)

