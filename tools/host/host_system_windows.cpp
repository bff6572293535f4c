#include <io.h>
#include <windows.h>

#include <cstdio>

#include "host_system.h"

namespace qvctx_host {

std::string ExecutableFolder() {
  char path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return std::string();
  const std::string exe(path, length);
  const std::size_t separator = exe.find_last_of("\\/");
  return separator == std::string::npos ? std::string()
                                        : exe.substr(0, separator);
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  return folder.empty() ? name : folder + "\\" + name;
}

std::string LibraryFileName(const std::string& base_name) {
  return base_name + ".dll";
}

bool StderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

std::string LogFilePath() { return "C:\\temp\\logs\\myCitrixLog.log"; }

}  // namespace qvctx_host
