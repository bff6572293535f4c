#include "support/test_support.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace qvctx_test {

namespace {

std::string ExecutableFolder() {
#if defined(_WIN32)
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string s(path);
  return s.substr(0, s.find_last_of("\\/"));
#else
  char path[4096] = {};
  const ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
  std::string s(path, n > 0 ? static_cast<size_t>(n) : 0);
  return s.substr(0, s.find_last_of('/'));
#endif
}

}  // namespace

std::string DriveCPath(const std::string& windows_relative) {
#if defined(_WIN32)
  return "C:\\" + windows_relative;
#else
  const char* root = std::getenv("QVCTX_DRIVE_C");
  std::string path =
      std::string(root != nullptr ? root : "") + "/" + windows_relative;
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
#endif
}

std::string LogFilePath() { return DriveCPath("temp\\logs\\myCitrixLog.log"); }

std::string ReadLogBytes() {
  std::ifstream in(LogFilePath(), std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::vector<std::string> ReadLogLines() {
  const std::string bytes = ReadLogBytes();
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < bytes.size()) {
    const std::size_t end = bytes.find('\n', start);
    if (end == std::string::npos) {
      lines.push_back(bytes.substr(start));
      break;
    }
    lines.push_back(bytes.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

bool LogFileExists() {
  std::FILE* f = std::fopen(LogFilePath().c_str(), "rb");
  if (f == nullptr) return false;
  std::fclose(f);
  return true;
}

void RemoveLogFile() { std::remove(LogFilePath().c_str()); }

void RemoveLogFolder() {
  RemoveLogFile();
  std::remove(DriveCPath("temp\\logs\\config.ini").c_str());
#if defined(_WIN32)
  RemoveDirectoryA(DriveCPath("temp\\logs").c_str());
#else
  rmdir(DriveCPath("temp\\logs").c_str());
#endif
}

void CreateLogFolder() {
#if defined(_WIN32)
  CreateDirectoryA(DriveCPath("temp").c_str(), nullptr);
  CreateDirectoryA(DriveCPath("temp\\logs").c_str(), nullptr);
#else
  const std::string command = "mkdir -p '" + DriveCPath("temp\\logs") + "'";
  if (std::system(command.c_str()) != 0) std::abort();
#endif
}

std::string Chomp(std::string line) {
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

std::string MessageOf(const std::string& line) {
  const std::size_t tab = line.find(" \t");
  return tab == std::string::npos ? "<no prefix>" : Chomp(line.substr(tab + 2));
}

std::vector<std::string> ErrorMessages() {
  std::vector<std::string> messages;
  for (const std::string& line : ReadLogLines()) {
    if (line.rfind("ERROR - ", 0) == 0) messages.push_back(MessageOf(line));
  }
  return messages;
}

const char* LineEnd() {
#if defined(_WIN32)
  return "\r\n";
#else
  return "\n";
#endif
}

std::string LibraryPath(const std::string& base_name) {
#if defined(_WIN32)
  return ExecutableFolder() + "\\" + base_name + ".dll";
#else
  return ExecutableFolder() + "/lib" + base_name + ".so";
#endif
}

std::string ProgramPath(const std::string& base_name) {
#if defined(_WIN32)
  return ExecutableFolder() + "\\" + base_name + ".exe";
#else
  return ExecutableFolder() + "/" + base_name;
#endif
}

LoadedLibrary::LoadedLibrary(const std::string& path) {
#if defined(_WIN32)
  handle_ = LoadLibraryA(path.c_str());
#else
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
}

LoadedLibrary::~LoadedLibrary() { Unload(); }

void* LoadedLibrary::Symbol(const char* name) const {
  if (handle_ == nullptr) return nullptr;
#if defined(_WIN32)
  return reinterpret_cast<void*>(
      GetProcAddress(static_cast<HMODULE>(handle_), name));
#else
  return dlsym(handle_, name);
#endif
}

void LoadedLibrary::Unload() {
  if (handle_ == nullptr) return;
#if defined(_WIN32)
  FreeLibrary(static_cast<HMODULE>(handle_));
#else
  dlclose(handle_);
#endif
  handle_ = nullptr;
}

void SetEnv(const char* name, const char* value) {
#if defined(_WIN32)
  SetEnvironmentVariableA(name, value);
  _putenv_s(name, value != nullptr ? value : "");
#else
  if (value != nullptr) {
    setenv(name, value, 1);
  } else {
    unsetenv(name);
  }
#endif
}

}  // namespace qvctx_test
