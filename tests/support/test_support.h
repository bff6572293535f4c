// What the tests need of the machine they run on: where the library's log
// file is, its lines, and loading the library by path; and the one package
// builder.
#ifndef QVCTX_TESTS_SUPPORT_TEST_SUPPORT_H_
#define QVCTX_TESTS_SUPPORT_TEST_SUPPORT_H_

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "protocol/wire_format.h"
#include "qvctx_port/shared_library.h"

namespace qvctx_test {

// The one time limit of every wait in the tests: long enough never to end a
// wait on a loaded machine; a wait whose condition holds ends at once.
inline constexpr std::uint32_t kWaitMs = 60000;
inline constexpr std::chrono::milliseconds kWait{kWaitMs};

// The lines of a text ServerSessionLog returned: split at " &", the final
// blank (which stands where the last " &" would) dropped; none for "No logs".
// False in *ends_in_blank when the text does not end so.
inline std::vector<std::string> SplitSessionLog(std::string text,
                                                bool* ends_in_blank) {
  *ends_in_blank = true;
  if (text == "No logs") return {};
  *ends_in_blank = !text.empty() && text.back() == ' ';
  if (*ends_in_blank) text.pop_back();
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t at; (at = text.find(" &", start)) != std::string::npos;
       start = at + 2) {
    lines.push_back(text.substr(start, at - start));
  }
  lines.push_back(text.substr(start));
  return lines;
}

// A package as it travels: `fnc_typ`, the magic, `message_id`, datasize and
// ulLength2 its length, usReserved `reserved`, the time stamps
// `first_stamp` to `first_stamp` + 3, then `payload`.
inline std::vector<std::uint8_t> BuildPackage(
    std::uint16_t fnc_typ, std::uint32_t message_id,
    const std::vector<std::uint8_t>& payload, std::uint32_t first_stamp = 0,
    std::uint16_t reserved = 0) {
  std::vector<std::uint8_t> package(qvctx::kPackageHeadSize);
  const auto length =
      static_cast<std::uint32_t>(package.size() + payload.size());
  qvctx::StoreLe16(&package[qvctx::kFncTypOffset], fnc_typ);
  qvctx::StoreLe16(&package[qvctx::kMagicOffset], qvctx::kPackageMagic);
  qvctx::StoreLe32(&package[qvctx::kMessageIdOffset], message_id);
  qvctx::StoreLe32(&package[qvctx::kDatasizeOffset], length);
  qvctx::StoreLe32(&package[qvctx::kLength2Offset], length);
  qvctx::StoreLe16(&package[qvctx::kReservedOffset], reserved);
  for (std::uint32_t i = 0; i < qvctx::kTimeStampCount; ++i) {
    qvctx::StoreLe32(&package[qvctx::kTimeStampsOffset + 4 * i],
                     first_stamp + i);
  }
  package.insert(package.end(), payload.begin(), payload.end());
  return package;
}

// The log file "C:\temp\logs\myCitrixLog.log" as this process can open it.
std::string LogFilePath();
// A path on the library's drive C ("temp\\logs\\config.ini" etc.).
std::string DriveCPath(const std::string& windows_relative);

// The raw bytes of the log file; empty when missing.
std::string ReadLogBytes();
// The log file split at "\n", with a trailing "\r" kept, so tests can check
// the line ends; the empty piece after the final line end is dropped.
std::vector<std::string> ReadLogLines();
bool LogFileExists();
void RemoveLogFile();
// Removes and re-creates the log folder "C:\temp\logs" (and its contents).
void RemoveLogFolder();
void CreateLogFolder();

// A line without the CR of a Windows line end.
std::string Chomp(std::string line);
// The message of a log line: what follows the prefix's blank and tab, line
// end dropped; "<no prefix>" for a line without one.
std::string MessageOf(const std::string& line);
// The messages of the log file's "ERROR - " lines, in order.
std::vector<std::string> ErrorMessages();

// The line end the library writes: CR LF on Windows, LF elsewhere.
const char* LineEnd();

// The library's file name in the test programs' folder.
std::string LibraryPath(const std::string& base_name);
// A program's file name in the test programs' folder.
std::string ProgramPath(const std::string& base_name);

// A loaded shared library; unloaded by the destructor.
class LoadedLibrary : public qvctx_port::SharedLibrary {
 public:
  explicit LoadedLibrary(const std::string& path)
      : qvctx_port::SharedLibrary(path) {}

  bool ok() const { return is_open(); }
  template <typename Fn>
  Fn Function(const char* name) const {
    return Lookup<Fn>(name);
  }
  // Unloads now; later Symbol calls fail.
  void Unload() { Close(); }
};

// Sets or clears an environment variable of this process.
void SetEnv(const char* name, const char* value);

// The threads this process runs now.
int ThreadCount();
// What the threads this process ever started still hold, counted in
// threads: each thread whose handle is still open (Windows), or whose stack
// is still mapped because nobody let it go (POSIX).
int HeldThreadResources();
// True while this process has the log file open.
bool LogFileIsOpen();

}  // namespace qvctx_test

#endif  // QVCTX_TESTS_SUPPORT_TEST_SUPPORT_H_
