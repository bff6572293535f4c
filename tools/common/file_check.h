// A file check the tools share: plain C stdio, so it reads the same on every
// build.
#ifndef QVCTX_TOOLS_COMMON_FILE_CHECK_H_
#define QVCTX_TOOLS_COMMON_FILE_CHECK_H_

#include <cstdio>
#include <string>

namespace qvctx_tools {

// True when `path` names a file this process can open for reading.
inline bool FileIsReadable(const std::string& path) {
  std::FILE* const file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  std::fclose(file);
  return true;
}

}  // namespace qvctx_tools

#endif  // QVCTX_TOOLS_COMMON_FILE_CHECK_H_
