#include "support/test_support.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#if defined(_WIN32)
#include <windows.h>
// After windows.h.
#include <tlhelp32.h>
#else
#include <pthread.h>
#include <unistd.h>

#include <filesystem>
#endif

#include "qvctx_port/paths.h"

namespace qvctx_test {

std::string DriveCPath(const std::string& windows_relative) {
  return qvctx_port::DriveCPath(windows_relative);
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
  return qvctx_port::JoinPath(qvctx_port::ExecutableFolder(),
                              qvctx_port::LibraryFileName(base_name));
}

std::string ProgramPath(const std::string& base_name) {
#if defined(_WIN32)
  return qvctx_port::JoinPath(qvctx_port::ExecutableFolder(),
                              base_name + ".exe");
#else
  return qvctx_port::JoinPath(qvctx_port::ExecutableFolder(), base_name);
#endif
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

#if defined(_WIN32)
int ThreadCount() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  THREADENTRY32 entry{};
  entry.dwSize = sizeof(entry);
  int count = 0;
  for (BOOL more = Thread32First(snapshot, &entry); more != FALSE;
       more = Thread32Next(snapshot, &entry)) {
    count += entry.th32OwnerProcessID == GetCurrentProcessId() ? 1 : 0;
  }
  CloseHandle(snapshot);
  return count;
}

int HeldThreadResources() {
  DWORD handles = 0;
  GetProcessHandleCount(GetCurrentProcess(), &handles);
  return static_cast<int>(handles);
}

bool LogFileIsOpen() {
  // Any handle of this process or another shares the file; none: it opens
  // without sharing.
  HANDLE file = CreateFileA(LogFilePath().c_str(), GENERIC_READ, 0, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return GetLastError() == ERROR_SHARING_VIOLATION;
  }
  CloseHandle(file);
  return false;
}
#else
int ThreadCount() {
  namespace fs = std::filesystem;
  int count = 0;
  for ([[maybe_unused]] const auto& task :
       fs::directory_iterator("/proc/self/task")) {
    ++count;
  }
  return count;
}

int HeldThreadResources() {
  // The address space in units of a thread's stack.
  std::ifstream status("/proc/self/status");
  std::string key;
  long kib = 0;
  while (status >> key) {
    if (key == "VmSize:") {
      status >> kib;
      break;
    }
  }
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  std::size_t stack = 0;
  pthread_attr_getstacksize(&attr, &stack);
  pthread_attr_destroy(&attr);
  return static_cast<int>(kib * 1024 / static_cast<long>(stack));
}

bool LogFileIsOpen() {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path log = fs::weakly_canonical(LogFilePath(), error);
  for (const auto& fd : fs::directory_iterator("/proc/self/fd")) {
    if (fs::read_symlink(fd.path(), error) == log) return true;
  }
  return false;
}
#endif

}  // namespace qvctx_test
