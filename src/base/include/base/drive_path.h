// Where a Windows path of the library ("C:\temp\logs\myCitrixLog.log") lies
// on a POSIX system: the one rule, for the library's POSIX stand-ins and for
// the tools and tests that open the same files.
#ifndef QVCTX_SRC_BASE_DRIVE_PATH_H_
#define QVCTX_SRC_BASE_DRIVE_PATH_H_

#include <cctype>
#include <cstdlib>
#include <string>

namespace qvctx {

// A path that begins with a drive letter lives under a folder standing for
// that drive: $QVCTX_DRIVE_<LETTER> when set and not empty, "/" otherwise,
// without its trailing slashes; backslashes become slashes. The variable is
// read on every call.
inline std::string PosixPathOf(const std::string& windows_path) {
  std::string path = windows_path;
  if (path.size() >= 2 && path[1] == ':' &&
      std::isalpha(static_cast<unsigned char>(path[0]))) {
    const char letter =
        static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
    const std::string variable = std::string("QVCTX_DRIVE_") + letter;
    const char* root =
        std::getenv(variable.c_str());  // NOLINT(concurrency-mt-unsafe)
    std::string base = (root != nullptr && *root != '\0') ? root : "/";
    std::string rest = path.substr(2);
    while (!base.empty() && base.back() == '/') base.pop_back();
    if (rest.empty() || (rest[0] != '\\' && rest[0] != '/')) {
      rest.insert(0, "/");
    }
    path = base + rest;
  }
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

}  // namespace qvctx

#endif  // QVCTX_SRC_BASE_DRIVE_PATH_H_
