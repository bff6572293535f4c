// Loads the library by path, as a host does, and checks what it writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#if !defined(_WIN32)
#include "qvctx/wfapi64_sim.h"
#endif
#include "support/test_support.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;
#endif

namespace {

using Int32Fn = std::int32_t (*)();

// Starts one host process (load_test_writer) per list of arguments, lets
// them all begin at once by creating `go_file`, and returns their exit codes
// (-1: did not start, or did not end in time and was killed).
std::vector<int> RunHosts(
    const std::vector<std::vector<std::string>>& hosts_args,
    const std::string& go_file) {
  const std::string program = qvctx_test::ProgramPath("load_test_writer");
  std::vector<int> codes(hosts_args.size(), -1);
#if defined(_WIN32)
  std::vector<HANDLE> hosts;
  for (const std::vector<std::string>& args : hosts_args) {
    std::string command = "\"" + program + "\"";
    for (const std::string& arg : args) command += " \"" + arg + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    const bool started =
        CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0,
                       nullptr, nullptr, &startup, &process) != FALSE;
    if (started) CloseHandle(process.hThread);
    hosts.push_back(started ? process.hProcess : nullptr);
  }
  std::fclose(std::fopen(go_file.c_str(), "wb"));
  for (std::size_t i = 0; i < hosts.size(); ++i) {
    if (hosts[i] == nullptr) continue;
    DWORD code = 0;
    if (WaitForSingleObject(hosts[i], qvctx_test::kWaitMs) == WAIT_OBJECT_0 &&
        GetExitCodeProcess(hosts[i], &code)) {
      codes[i] = static_cast<int>(code);
    } else {
      TerminateProcess(hosts[i], 1);
    }
    CloseHandle(hosts[i]);
  }
#else
  std::vector<pid_t> hosts;
  for (std::vector<std::string> args : hosts_args) {
    std::string path = program;
    std::vector<char*> argv = {path.data()};
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv.data(),
                    environ) != 0)
      pid = -1;
    hosts.push_back(pid);
  }
  std::fclose(std::fopen(go_file.c_str(), "wb"));
  const auto deadline = std::chrono::steady_clock::now() + qvctx_test::kWait;
  for (std::size_t i = 0; i < hosts.size(); ++i) {
    if (hosts[i] < 0) continue;
    int status = 0;
    while (waitpid(hosts[i], &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        kill(hosts[i], SIGKILL);
        waitpid(hosts[i], &status, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (WIFEXITED(status)) codes[i] = WEXITSTATUS(status);
  }
#endif
  std::remove(go_file.c_str());
  return codes;
}

// One host per export: load the library, call the export `calls` times,
// unload.
std::vector<int> RunHostsAtOnce(const std::vector<std::string>& exports,
                                int calls, const std::string& go_file) {
  std::vector<std::vector<std::string>> args;
  for (const std::string& name : exports) {
    args.push_back({name, std::to_string(calls), go_file});
  }
  return RunHosts(args, go_file);
}

class LoadLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qvctx_test::CreateLogFolder();
    qvctx_test::RemoveLogFile();
  }
};

TEST_F(LoadLibraryTest, FirstCallWritesBannerThenItsLineWithPlatformLineEnds) {
  {
    qvctx_test::LoadedLibrary library(qvctx_test::LibraryPath("qvctx"));
    ASSERT_TRUE(library.ok());
    // Loading writes nothing.
    EXPECT_FALSE(qvctx_test::LogFileExists());
    auto session_info = library.Function<Int32Fn>("ServerSessionInfo");
    ASSERT_NE(session_info, nullptr);
    EXPECT_EQ(session_info(), 0);
  }
  const std::string bytes = qvctx_test::ReadLogBytes();
  const std::string end = qvctx_test::LineEnd();
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < bytes.size()) {
    const std::size_t stop = bytes.find(end, start);
    ASSERT_NE(stop, std::string::npos) << "line without its line end";
    lines.push_back(bytes.substr(start, stop - start));
    start = stop + end.size();
  }
  // Ten banner lines, the entry point's line and, from the unload, the
  // writer's closing line.
  ASSERT_EQ(lines.size(), 12u) << bytes;
  EXPECT_NE(lines[0].find("====== BEGIN:: qvRemote CITRIX module =========== "),
            std::string::npos);
  for (std::size_t i = 0; i < 11; ++i) {
    EXPECT_EQ(lines[i].rfind("Info - ", 0), 0u) << lines[i];
    EXPECT_EQ(lines[i].find('\r'), std::string::npos)
        << "stray CR in line " << i;
  }
  EXPECT_EQ(lines[10].substr(lines[10].find(" \t")),
            " \tServerSessionInfo:: Entering function");
  EXPECT_EQ(lines[11].substr(lines[11].find(" \t")),
            " \t===============Finish Loging================");
}

TEST_F(LoadLibraryTest, FourHostsWritingAtOnceLoseNoLine) {
  const std::vector<std::string> exports = {
      "ServerSessionInfo", "ServerQueryInformation", "ServerSetInformation",
      "ServerSessionReset"};
  constexpr int kCalls = 2000;
  const std::string go = qvctx_test::DriveCPath("temp\\logs\\hosts.go");
  std::remove(go.c_str());
  EXPECT_EQ(RunHostsAtOnce(exports, kCalls, go),
            std::vector<int>(exports.size(), 0));

  // Every line whole, with its line end: counted by message.
  const std::string cr = qvctx_test::LineEnd()[0] == '\r' ? "\r" : "";
  const std::regex whole(
      "(Info|ERROR) - [0-9]{2}:[0-9]{2}:[0-9]{2}:[0-9]{3} \t[^\r]*" + cr);
  const std::vector<std::string> lines = qvctx_test::ReadLogLines();
  std::map<std::string, int> count;
  for (const std::string& line : lines) {
    ++count[std::regex_match(line, whole) ? qvctx_test::MessageOf(line)
                                          : "<broken>"];
  }
  EXPECT_EQ(lines.size(), exports.size() * (10 + kCalls + 1));
  EXPECT_EQ(count["<broken>"], 0);
  const int hosts = static_cast<int>(exports.size());
  EXPECT_EQ(count["====== BEGIN:: qvRemote CITRIX module =========== "], hosts);
  EXPECT_EQ(count["===============Finish Loging================"], hosts);
  for (const std::string& name : exports) {
    EXPECT_EQ(count[name + ":: Entering function"], kCalls) << name;
  }
}

// With "logProcessTag" on, each host's lines are found by its tag alone:
// "pid N " picks out exactly one host's banner, calls and closing line.
TEST_F(LoadLibraryTest, ProcessTagSplitsThreeHostsLinesByProcess) {
  const std::vector<std::string> exports = {
      "ServerSessionInfo", "ServerQueryInformation", "ServerSetInformation"};
  constexpr int kCalls = 200;
  const std::string config = qvctx_test::DriveCPath("temp\\logs\\config.ini");
  std::FILE* file = std::fopen(config.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  std::fputs("[common]\nlogProcessTag=1\n", file);
  std::fclose(file);
  const std::string go = qvctx_test::DriveCPath("temp\\logs\\hosts.go");
  std::remove(go.c_str());
  EXPECT_EQ(RunHostsAtOnce(exports, kCalls, go),
            std::vector<int>(exports.size(), 0));
  std::remove(config.c_str());

  const std::vector<std::string> lines = qvctx_test::ReadLogLines();
  const std::regex tagged(
      "(Info|ERROR) - [0-9:]{12} \t\\[pid ([0-9]+) sid [0-9]+\\] [^\r]*\r?");
  std::map<std::string, std::vector<std::string>> by_pid;  // as grep finds
  std::smatch match;
  for (const std::string& line : lines) {
    ASSERT_TRUE(std::regex_match(line, match, tagged)) << line;
    by_pid.emplace(match[2].str(), std::vector<std::string>{});
  }
  ASSERT_EQ(by_pid.size(), exports.size());
  std::set<std::string> callers;
  for (auto& [pid, found] : by_pid) {
    for (const std::string& line : lines) {
      if (line.find("pid " + pid + " ") != std::string::npos) {
        found.push_back(qvctx_test::MessageOf(line));
      }
    }
    // Banner, the calls of one export, the closing line.
    ASSERT_EQ(found.size(), 10u + kCalls + 1) << pid;
    EXPECT_EQ(std::count(found.begin(), found.end(), found[10]), kCalls);
    callers.insert(found[10]);
  }
  EXPECT_EQ(callers.size(), exports.size());
}

// A host whose main returns while its session runs ends all the same, with
// its own exit code: the reader idle, in a callback that never returns,
// waiting in its read, or working through a backlog, logging each package,
// while another host thread sends. Ten hosts of each at once.
TEST_F(LoadLibraryTest, HostsEndingWithTheirSessionRunningEnd) {
  const std::string config = qvctx_test::DriveCPath("temp\\logs\\config.ini");
  const std::string go = qvctx_test::DriveCPath("temp\\logs\\hosts.go");
  // These hosts end with threads of the library still running and neither
  // library unloaded, on purpose: a leak check at their exit has nothing to
  // tell, and LeakSanitizer's stopping of those threads can itself crash.
  const char* const sanitizer = std::getenv("ASAN_OPTIONS");
  const std::string sanitizer_options = sanitizer != nullptr ? sanitizer : "";
  qvctx_test::SetEnv("ASAN_OPTIONS",
                     (sanitizer_options + ":detect_leaks=0").c_str());
  for (const char* way : {"idle", "callback", "read", "backlog"}) {
    SCOPED_TRACE(way);
    std::ofstream(config) << "[common]\nreadWaitMs="
                          << (std::string(way) == "read" ? 200 : 0) << "\n";
    const std::vector<std::vector<std::string>> hosts(10, {"end-with", way});
    EXPECT_EQ(RunHosts(hosts, go), std::vector<int>(hosts.size(), 7));
  }
  qvctx_test::SetEnv("ASAN_OPTIONS", sanitizer_options.c_str());
  std::remove(config.c_str());
}

#if defined(_WIN32)
// Another process holds the log's append lock, and holds it until this
// process's line is in the file: the line gets there all the same, and a
// writer that empties the file (logAppend=0) leaves no zero bytes.
TEST_F(LoadLibraryTest, AFrozenHolderOfTheLogLockStopsNoOtherHost) {
  const std::string config = qvctx_test::DriveCPath("temp\\logs\\config.ini");
  const std::string held = qvctx_test::DriveCPath("temp\\logs\\held.go");
  const std::string line = "ServerSessionInfo:: Entering function";
  for (const char* append : {"1", "0"}) {
    SCOPED_TRACE(append);
    std::ofstream(config) << "[common]\nlogAppend=" << append << "\n";
    std::remove(held.c_str());
    EXPECT_EQ(
        RunHosts({{"ServerSessionInfo", "1", held}, {"hold-lock", held, line}},
                 qvctx_test::DriveCPath("temp\\logs\\unused.go")),
        (std::vector<int>{0, 0}));
    const std::string bytes = qvctx_test::ReadLogBytes();
    EXPECT_NE(bytes.find(line), std::string::npos);
    EXPECT_EQ(bytes.find('\0'), std::string::npos);
  }
  std::remove(held.c_str());
  std::remove(config.c_str());
}
#endif

TEST_F(LoadLibraryTest, UnloadWithoutAWriterWritesNothing) {
  {
    qvctx_test::LoadedLibrary library(qvctx_test::LibraryPath("qvctx"));
    ASSERT_TRUE(library.ok());
  }
  EXPECT_FALSE(qvctx_test::LogFileExists());
}

#if !defined(_WIN32)
// A library moved with its platform library into a folder of their own binds
// the one beside it, even when the process already holds another of that
// name (this program's own simulator), which a search by name alone would
// find before any run path.
TEST_F(LoadLibraryTest, BindsThePlatformLibraryBesideItself) {
  namespace fs = std::filesystem;
  const fs::path folder = qvctx_test::DriveCPath("beside");
  fs::remove_all(folder);
  fs::create_directories(folder);
  for (const char* name : {"qvctx", "wfapi64"}) {
    fs::copy_file(qvctx_test::LibraryPath(name),
                  folder / fs::path(qvctx_test::LibraryPath(name)).filename());
  }
  WfSimReset();
  {
    qvctx_test::LoadedLibrary library((folder / "libqvctx.so").string());
    ASSERT_TRUE(library.ok());
    qvctx_test::LoadedLibrary beside((folder / "libwfapi64.so").string());
    ASSERT_TRUE(beside.ok());
    const auto opens_beside = [&] {
      return beside.Function<decltype(&WfSimCallCount)>("WfSimCallCount")(
          WFSIM_OPEN);
    };
    EXPECT_EQ(library.Function<Int32Fn>("ServerStartSession")(), 0);
    EXPECT_EQ(opens_beside(), 1u);
    EXPECT_EQ(WfSimCallCount(WFSIM_OPEN), 0u);
    EXPECT_EQ(library.Function<Int32Fn>("ServerCloseSession")(), 0);
  }
  fs::remove_all(folder);
}
#endif

}  // namespace
