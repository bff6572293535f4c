#include <unistd.h>

#include <cstdlib>

#include "host_system.h"

namespace qvctx_host {

std::string ExecutableFolder() {
  char path[4096] = {};
  const ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
  if (length <= 0) return std::string();
  const std::string exe(path, static_cast<std::size_t>(length));
  const std::size_t slash = exe.find_last_of('/');
  return slash == std::string::npos ? std::string() : exe.substr(0, slash);
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  return folder.empty() ? name : folder + "/" + name;
}

std::string LibraryFileName(const std::string& base_name) {
  return "lib" + base_name + ".so";
}

bool StderrIsTerminal() { return isatty(STDERR_FILENO) == 1; }

std::string LogFilePath() {
  // The library's rule for "C:...": the folder of $QVCTX_DRIVE_C when set
  // and not empty, "/" otherwise, without its trailing slashes.
  // NOLINTNEXTLINE(concurrency-mt-unsafe): no thread changes it meanwhile
  const char* root = std::getenv("QVCTX_DRIVE_C");
  std::string base = (root != nullptr && *root != '\0') ? root : "/";
  while (!base.empty() && base.back() == '/') base.pop_back();
  return base + "/temp/logs/myCitrixLog.log";
}

}  // namespace qvctx_host
