#include "qvctx_port/paths.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>

#include "base/drive_path.h"
#endif

namespace qvctx_port {

#if defined(_WIN32)

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

std::string DriveCPath(const std::string& windows_relative) {
  return "C:\\" + windows_relative;
}

#else

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

std::string DriveCPath(const std::string& windows_relative) {
  return qvctx::PosixPathOf("C:\\" + windows_relative);
}

#endif

}  // namespace qvctx_port
