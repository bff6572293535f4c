// The configuration read at each load's first call, seen the way a host sees
// it: each case loads the library by path (so its load handling really runs),
// lets one call create the log writer, unloads it and reads the settings from
// the banner.
// On Windows the real profile functions read the files, in the Wine prefix's
// "C:\temp\logs" and its user's application-data folder; on Linux the
// library's own reader, under $QVCTX_DRIVE_C and $XDG_CONFIG_HOME.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "profile_cases.h"
#include "support/test_support.h"

#if defined(_WIN32)
#include <shlobj.h>
#include <windows.h>
#else
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#endif

namespace {

using Int32Fn = std::int32_t (*)();

constexpr char kBannerBegin[] =
    "====== BEGIN:: qvRemote CITRIX module =========== ";
constexpr char kClosingLine[] = "===============Finish Loging================";
constexpr std::size_t kBannerLines = 10;

#if defined(_WIN32)
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

void MakeFolder(const std::string& path) {
#if defined(_WIN32)
  CreateDirectoryA(path.c_str(), nullptr);
#else
  mkdir(path.c_str(), 0755);
#endif
}

void RemoveFolder(const std::string& path) {
#if defined(_WIN32)
  RemoveDirectoryA(path.c_str());
#else
  rmdir(path.c_str());
#endif
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  ASSERT_TRUE(out.good()) << path;
}

// The names the operating system gives this process, as the library must
// record them.
std::string OsComputerName() {
#if defined(_WIN32)
  char name[MAX_PATH] = {};
  DWORD size = MAX_PATH;
  return GetComputerNameA(name, &size) ? name : "<none>";
#else
  char name[256] = {};
  return gethostname(name, sizeof(name) - 1) == 0 ? name : "<none>";
#endif
}

std::string OsUserName() {
#if defined(_WIN32)
  char name[MAX_PATH] = {};
  DWORD size = MAX_PATH;
  return GetUserNameA(name, &size) ? name : "<none>";
#else
  const passwd* entry = getpwuid(geteuid());  // NOLINT(concurrency-mt-unsafe)
  return entry != nullptr ? entry->pw_name : "<none>";
#endif
}

// The messages of the log file, without prefix, time and line end.
std::vector<std::string> LogMessages() {
  std::vector<std::string> messages;
  for (std::string line : qvctx_test::ReadLogLines()) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t start = line.find(" \t");
    messages.push_back(start == std::string::npos ? line
                                                  : line.substr(start + 2));
  }
  return messages;
}

class ConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qvctx_test::CreateLogFolder();
    qvctx_test::RemoveLogFile();
    first_ = qvctx_test::DriveCPath("temp\\logs\\config.ini");
    std::remove(first_.c_str());
#if defined(_WIN32)
    char folder[MAX_PATH] = {};
    ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, folder, CSIDL_APPDATA, FALSE));
    app_data_ = folder;
#else
    const char* drive =
        std::getenv("QVCTX_DRIVE_C");  // NOLINT(concurrency-mt-unsafe)
    ASSERT_NE(drive, nullptr);
    app_data_ = std::string(drive) + "/appdata";
    MakeFolder(app_data_);
    qvctx_test::SetEnv("XDG_CONFIG_HOME", app_data_.c_str());
#endif
    MakeFolder(app_data_ + kSeparator + "Quorvel");
    MakeFolder(SecondFolder());
    second_ = SecondFolder() + kSeparator + "config.ini";
    std::remove(second_.c_str());
  }

  void TearDown() override {
    std::remove(first_.c_str());
    std::remove(second_.c_str());
    RemoveFolder(SecondFolder());
    RemoveFolder(app_data_ + kSeparator + "Quorvel");
    qvctx_test::RemoveLogFile();
  }

  std::string SecondFolder() const {
    return app_data_ + kSeparator + "Quorvel" + kSeparator + "QVCTXExtension";
  }

  // Loads the library, lets one call create the log writer, unloads the
  // library, and returns the log's messages.
  static std::vector<std::string> RunOneWriter(
      const char* call = "ServerSessionInfo") {
    {
      qvctx_test::LoadedLibrary library(qvctx_test::LibraryPath("qvctx"));
      EXPECT_TRUE(library.ok());
      const auto entry = library.Function<Int32Fn>(call);
      EXPECT_NE(entry, nullptr) << call;
      if (entry != nullptr) {
        EXPECT_EQ(entry(), 0) << call;
      }
    }
    return LogMessages();
  }

  // The banner's settings lines: ip, port, log length limit, in that order.
  static std::vector<std::string> Settings(
      const std::vector<std::string>& log) {
    if (log.size() < kBannerLines || log[0] != kBannerBegin)
      return {"<no banner>"};
    return {log[6], log[7], log[5], log[4]};
  }
  static std::vector<std::string> Expected(const std::string& ip, int port,
                                           int log_len_max, int log_append) {
    return {"hostIpAddress=" + ip, "uiPort=" + std::to_string(port),
            "iLogMax=" + std::to_string(log_len_max),
            "logAppend= " + std::to_string(log_append)};
  }

  std::string first_;     // "C:\temp\logs\config.ini" as this process opens it
  std::string app_data_;  // the user's application-data folder
  std::string second_;    // the configuration file in that folder
};

TEST_F(ConfigTest, NoFileAnywhereGivesTheDefaults) {
  const std::vector<std::string> log = RunOneWriter();
  const std::vector<std::string> expected = {
      kBannerBegin,
      "Configfile= C:\\temp\\logs\\config.ini",
      "logfileName= C:\\temp\\logs\\myCitrixLog.log",
      "logLevel= 3",
      "logAppend= 1",
      "iLogMax=2048",
      "hostIpAddress=127.0.0.1",
      "uiPort=8888",
      "hostComputerName=" + OsComputerName(),
      "hostUserName=" + OsUserName(),
      "ServerSessionInfo:: Entering function",
      kClosingLine,
  };
  EXPECT_EQ(log, expected);
}

TEST_F(ConfigTest, TheFirstPlaceIsRead) {
  WriteFile(first_,
            "[server]\r\nport=1234\r\nip=10.1.2.3\r\n[common]\r\n"
            "logLenMax=4096\r\n");
  EXPECT_EQ(Settings(RunOneWriter()), Expected("10.1.2.3", 1234, 4096, 1));
}

TEST_F(ConfigTest, TheSecondPlaceIsReadWhenTheFirstIsMissing) {
  WriteFile(second_, "[server]\r\nport=2222\r\nip=second\r\n");
  EXPECT_EQ(Settings(RunOneWriter()), Expected("second", 2222, 2048, 1));
}

TEST_F(ConfigTest, WithBothPresentTheFirstWinsWhole) {
  // The first file has no "ip": the second file's "ip" is not used either.
  WriteFile(first_, "[server]\r\nport=1111\r\n");
  WriteFile(second_, "[server]\r\nport=2222\r\nip=second\r\n");
  EXPECT_EQ(Settings(RunOneWriter()), Expected("127.0.0.1", 1111, 2048, 1));
}

TEST_F(ConfigTest, TheBannerShowsTheNamesTheSystemGives) {
  WriteFile(first_, "[server]\r\nport=1\r\n");
  const std::vector<std::string> log = RunOneWriter();
  ASSERT_GE(log.size(), kBannerLines);
  EXPECT_EQ(log[8], "hostComputerName=" + OsComputerName());
  EXPECT_EQ(log[9], "hostUserName=" + OsUserName());
  EXPECT_NE(log[8], "hostComputerName=unknown");
  EXPECT_NE(log[9], "hostUserName=unknown");
}

TEST_F(ConfigTest, LogAppendZeroEmptiesTheLogForEachNewWriter) {
  WriteFile(qvctx_test::LogFilePath(),
            std::string("old line") + qvctx_test::LineEnd());
  WriteFile(first_, "[common]\r\nlogAppend=0\r\n");
  std::vector<std::string> log = RunOneWriter();
  ASSERT_EQ(log.size(), kBannerLines + 2);
  EXPECT_EQ(log[0], kBannerBegin);
  EXPECT_EQ(log[4], "logAppend= 0");
  // The next load's writer empties it again: one writer's output only.
  log = RunOneWriter("ServerQueryInformation");
  ASSERT_EQ(log.size(), kBannerLines + 2);
  EXPECT_EQ(log[0], kBannerBegin);
  EXPECT_EQ(log[10], "ServerQueryInformation:: Entering function");
  EXPECT_EQ(log[11], kClosingLine);
}

TEST_F(ConfigTest, LogAppendByDefaultKeepsEveryWriter) {
  WriteFile(qvctx_test::LogFilePath(),
            std::string("old line") + qvctx_test::LineEnd());
  RunOneWriter();
  const std::vector<std::string> log = RunOneWriter();
  ASSERT_EQ(log.size(), 1 + 2 * (kBannerLines + 2));
  EXPECT_EQ(log[0], "old line");
  EXPECT_EQ(log[1], kBannerBegin);
  EXPECT_EQ(log[1 + kBannerLines + 2], kBannerBegin);
}

TEST_F(ConfigTest, LogEnabledLogLevelAndLogFileChangeNothing) {
  WriteFile(first_,
            "[common]\r\nlogEnabled=0\r\nlogLevel=0\r\n"
            "logFile=C:\\temp\\logs\\other.log\r\n");
  const std::vector<std::string> log = RunOneWriter("ServerSessionReset");
  ASSERT_EQ(log.size(), kBannerLines + 2);
  EXPECT_EQ(log[2], "logfileName= C:\\temp\\logs\\myCitrixLog.log");
  EXPECT_EQ(log[3], "logLevel= 3");
  // Both kinds of line are written.
  const std::vector<std::string> lines = qvctx_test::ReadLogLines();
  EXPECT_EQ(lines[0].rfind("Info - ", 0), 0U);
  EXPECT_EQ(lines[10].rfind("ERROR - ", 0), 0U) << lines[10];
  EXPECT_EQ(log[10], "ServerSessionReset:: Entering function");
  std::FILE* other =
      std::fopen(qvctx_test::DriveCPath("temp\\logs\\other.log").c_str(), "rb");
  EXPECT_EQ(other, nullptr);
  if (other != nullptr) std::fclose(other);
}

TEST_F(ConfigTest, TheFileIsReadAtTheFirstCallAndOncePerLoad) {
  qvctx_test::LoadedLibrary library(qvctx_test::LibraryPath("qvctx"));
  ASSERT_TRUE(library.ok());
  const auto info = library.Function<Int32Fn>("ServerSessionInfo");
  const auto close = library.Function<Int32Fn>("ServerCloseSession");
  ASSERT_NE(info, nullptr);
  ASSERT_NE(close, nullptr);
  // Written after the load, before its first call: read.
  WriteFile(first_, "[server]\r\nport=4321\r\n");
  EXPECT_EQ(info(), 0);
  // Written after the first call: not read by the next writer of this load.
  WriteFile(first_, "[server]\r\nport=1\r\n");
  close();
  EXPECT_EQ(info(), 0);
  std::vector<std::string> ports;
  for (const std::string& message : LogMessages()) {
    if (message.rfind("uiPort=", 0) == 0) ports.push_back(message);
  }
  EXPECT_EQ(ports, std::vector<std::string>(2, "uiPort=4321"));
}

TEST_F(ConfigTest, LoadAndUnloadWithoutAWriterWriteNothing) {
  WriteFile(first_, "[server]\r\nport=1\r\n[common]\r\nlogAppend=0\r\n");
  {
    qvctx_test::LoadedLibrary library(qvctx_test::LibraryPath("qvctx"));
    ASSERT_TRUE(library.ok());
    EXPECT_FALSE(qvctx_test::LogFileExists());
  }
  EXPECT_FALSE(qvctx_test::LogFileExists());
}

TEST_F(ConfigTest, UnloadWithAWriterWritesTheClosingLineLast) {
  qvctx_test::LoadedLibrary library(qvctx_test::LibraryPath("qvctx"));
  ASSERT_TRUE(library.ok());
  const auto info = library.Function<Int32Fn>("ServerSessionInfo");
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info(), 0);
  std::vector<std::string> log = LogMessages();
  ASSERT_EQ(log.size(), kBannerLines + 1);
  EXPECT_NE(log.back(), kClosingLine);
  library.Unload();
  log = LogMessages();
  ASSERT_EQ(log.size(), kBannerLines + 2);
  EXPECT_EQ(log.back(), kClosingLine);
}

TEST_F(ConfigTest, SharedCasesGiveTheSameSettingsOnBothBuilds) {
  for (const qvctx_test::ConfigCase& config : qvctx_test::ConfigCases()) {
    SCOPED_TRACE(config.name);
    qvctx_test::RemoveLogFile();
    WriteFile(first_, config.file);
    EXPECT_EQ(Settings(RunOneWriter()),
              Expected(config.ip, config.port, config.log_len_max,
                       config.log_append));
  }
}

TEST_F(ConfigTest, ReadWaitMsSetsTheReadersWait) {
  for (const qvctx_test::ReadWaitCase& config : qvctx_test::kReadWaitCases) {
    SCOPED_TRACE(config.file);
    qvctx_test::RemoveLogFile();
    WriteFile(first_, config.file);
    {
      qvctx_test::LoadedLibrary library(qvctx_test::LibraryPath("qvctx"));
      ASSERT_TRUE(library.ok());
      ASSERT_EQ(library.Function<Int32Fn>("ServerStartSession")(), 0);
      // The close waits for the reader, which wrote its line first.
      library.Function<Int32Fn>("ServerCloseSession")();
    }
    std::vector<std::string> waits;
    for (const std::string& message : LogMessages()) {
      if (message.find("waits up to") != std::string::npos) {
        waits.push_back(message);
      }
    }
    std::vector<std::string> expected;
    if (config.wait_ms != 0) {
      expected.push_back("ServerDataProccesorThread:: waits up to " +
                         std::to_string(config.wait_ms) + " ms in each read");
    }
    EXPECT_EQ(waits, expected);
  }
}

// A start racing the first call's read, which the hook holds until the start
// returns (one that rightly waits for the read: half a second), runs on the
// configured values: its reader's wait and its writer's banner.
TEST_F(ConfigTest, AFirstCallRacingTheReadUsesTheConfiguredValues) {
  WriteFile(first_, "[server]\r\nport=4242\r\n[common]\r\nreadWaitMs=50\r\n");
  static std::promise<void> reading;
  static std::promise<void> start_returned;
  reading = std::promise<void>();
  start_returned = std::promise<void>();
  {
    qvctx_test::LoadedLibrary library(qvctx_test::LibraryPath("qvctx_testing"));
    ASSERT_TRUE(library.ok());
    library.Function<void (*)(void (*)())>(
        "QvctxTestingSetConfigurationReadHook")([] {
      reading.set_value();
      start_returned.get_future().wait_for(std::chrono::milliseconds(500));
    });
    std::thread first(library.Function<Int32Fn>("ServerSessionInfo"));
    reading.get_future().wait();
    EXPECT_EQ(library.Function<Int32Fn>("ServerStartSession")(), 0);
    start_returned.set_value();
    first.join();
    library.Function<Int32Fn>("ServerCloseSession")();
  }
  const std::vector<std::string> log = LogMessages();
  EXPECT_EQ(Settings(log), Expected("127.0.0.1", 4242, 2048, 1));
  EXPECT_NE(std::find(log.begin(), log.end(),
                      "ServerDataProccesorThread:: waits up to 50 ms in each "
                      "read"),
            log.end());
}

#if !defined(_WIN32)

TEST_F(ConfigTest, WithoutConfigHomeTheHomeConfigFolderIsTheSecondPlace) {
  const char* saved = std::getenv("HOME");  // NOLINT(concurrency-mt-unsafe)
  const std::string saved_home = saved != nullptr ? saved : "";
  const std::string home = app_data_ + "/home";
  const std::string folder = home + "/.config/Quorvel/QVCTXExtension";
  for (const std::string& path :
       {home, home + "/.config", home + "/.config/Quorvel", folder}) {
    MakeFolder(path);
  }
  WriteFile(folder + "/config.ini", "[server]\nport=3333\n");
  qvctx_test::SetEnv("XDG_CONFIG_HOME", nullptr);
  qvctx_test::SetEnv("HOME", home.c_str());
  const std::vector<std::string> log = RunOneWriter();
  qvctx_test::SetEnv("HOME", saved != nullptr ? saved_home.c_str() : nullptr);
  std::remove((folder + "/config.ini").c_str());
  for (const std::string& path :
       {folder, home + "/.config/Quorvel", home + "/.config", home}) {
    RemoveFolder(path);
  }
  EXPECT_EQ(Settings(log), Expected("127.0.0.1", 3333, 2048, 1));
}

#endif

}  // namespace
