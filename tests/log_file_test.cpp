#include "diagnostics/log_file.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#if !defined(_WIN32)
#include <sys/resource.h>

#include <csignal>
#endif

#include "diagnostics/log_file_test_helper.h"
#include "module/configuration.h"
#include "module/module_data.h"
#include "support/test_support.h"

namespace qvctx {
namespace {

using qvctx_test::ReadLogLines;

const char* const kBanner[] = {
    "====== BEGIN:: qvRemote CITRIX module =========== ",
    "Configfile= C:\\temp\\logs\\config.ini",
    "logfileName= C:\\temp\\logs\\myCitrixLog.log",
    "logLevel= 3",
    "logAppend= 1",
    "iLogMax=2048",
    "hostIpAddress=",
    "uiPort=8888",
    "hostComputerName=unknown",
    "hostUserName=unknown",
};

using qvctx_test::Chomp;
using qvctx_test::MessageOf;

class LogFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // As the load does: writers take their settings from myModuleData.
    InstallLogSettings();
    DestroyLogFile();
    qvctx_test::CreateLogFolder();
    qvctx_test::RemoveLogFile();
    myModuleData.logAppend = 1;
  }
  void TearDown() override {
    DestroyLogFile();
    qvctx_test::CreateLogFolder();
  }
};

TEST_F(LogFileTest, FirstLineComesAfterTheTenBannerLines) {
  myModuleData.logLevel = 0;  // the writer forces 3 whatever was configured
  GetLogFile()->LogInfo("first %s %d", "line", 7);

  const std::vector<std::string> lines = ReadLogLines();
  ASSERT_EQ(lines.size(), 11u);
  for (std::size_t i = 0; i < 10; ++i) {
    EXPECT_EQ(MessageOf(lines[i]), kBanner[i]) << "banner line " << i;
  }
  EXPECT_EQ(MessageOf(lines[10]), "first line 7");
  EXPECT_EQ(myModuleData.logLevel.load(), 3);
  EXPECT_EQ(myModuleData.logEnabled, 1);
}

TEST_F(LogFileTest, LinesCarryPrefixTimeAndLineEnd) {
  GetLogFile()->LogInfo("an info line");
  GetLogFile()->LogError("an error line");
  const std::vector<std::string> lines = ReadLogLines();
  ASSERT_EQ(lines.size(), 12u);
  const std::string end =
      std::string(qvctx_test::LineEnd()).substr(0, 1) == "\r" ? "\r" : "";
  const std::regex info(
      "Info - ([0-9]{2}):([0-9]{2}):([0-9]{2}):([0-9]{3}) \tan info line" +
      end);
  const std::regex error(
      "ERROR - ([0-9]{2}):([0-9]{2}):([0-9]{2}):([0-9]{3}) \tan error line" +
      end);
  std::smatch m;
  ASSERT_TRUE(std::regex_match(lines[10], m, info)) << lines[10];
  EXPECT_LT(std::stoi(m[1]), 24);
  EXPECT_LT(std::stoi(m[2]), 60);
  EXPECT_LT(std::stoi(m[3]), 60);
  EXPECT_TRUE(std::regex_match(lines[11], error)) << lines[11];
}

port::TimeOfDay g_fixed_time{};
port::TimeOfDay FixedTime() { return g_fixed_time; }

TEST_F(LogFileTest, TimeFieldsAreZeroPaddedToTheirWidths) {
  const struct {
    port::TimeOfDay time;
    const char* shown;
  } cases[] = {
      {{0, 0, 0, 0}, "00:00:00:000"},      {{1, 2, 3, 7}, "01:02:03:007"},
      {{9, 9, 9, 99}, "09:09:09:099"},     {{10, 10, 10, 100}, "10:10:10:100"},
      {{23, 59, 59, 999}, "23:59:59:999"},
  };
  SetTimeOfDayForTesting(&FixedTime);
  for (const auto& c : cases) {
    g_fixed_time = c.time;
    GetLogFile()->LogInfo("%s", c.shown);
  }
  SetTimeOfDayForTesting(nullptr);
  const std::vector<std::string> lines = ReadLogLines();
  ASSERT_EQ(lines.size(), 10u + std::size(cases));
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(Chomp(lines[10 + i]),
              std::string("Info - ") + cases[i].shown + " \t" + cases[i].shown);
  }
}

TEST_F(LogFileTest, LongestMessagesThatFitAreWrittenWhole) {
  const std::string info(kInfoBufferSize - 21 - 1, 'i');
  const std::string error(kErrorBufferSize - 22 - 1, 'e');
  GetLogFile()->LogInfo("%s", info.c_str());
  GetLogFile()->LogError("%s", error.c_str());
  const std::vector<std::string> lines = ReadLogLines();
  ASSERT_EQ(lines.size(), 12u);
  EXPECT_EQ(MessageOf(lines[10]), info);
  EXPECT_EQ(MessageOf(lines[11]), error);
}

TEST_F(LogFileTest, OverlongMessagesAreCutAtTheEndOfTheLineBuffer) {
  const std::string info_one_over(kInfoBufferSize - 21, 'i');
  const std::string error_one_over(kErrorBufferSize - 22, 'e');
  const std::string huge(100000, 'h');
  GetLogFile()->LogInfo("%s", info_one_over.c_str());
  GetLogFile()->LogError("%s", error_one_over.c_str());
  GetLogFile()->LogInfo("%s", huge.c_str());
  GetLogFile()->LogError("%s", huge.c_str());
  GetLogFile()->LogInfo("after");
  const std::vector<std::string> lines = ReadLogLines();
  ASSERT_EQ(lines.size(), 15u);
  EXPECT_EQ(Chomp(lines[10]).size(), kInfoBufferSize - 1);
  EXPECT_EQ(Chomp(lines[11]).size(), kErrorBufferSize - 1);
  EXPECT_EQ(Chomp(lines[12]).size(), kInfoBufferSize - 1);
  EXPECT_EQ(Chomp(lines[13]).size(), kErrorBufferSize - 1);
  EXPECT_EQ(MessageOf(lines[10]), info_one_over.substr(1));
  EXPECT_EQ(MessageOf(lines[14]), "after");
}

TEST_F(LogFileTest, MessageEndingInLineFeedIsFollowedByAnEmptyLine) {
  GetLogFile()->LogInfo("ServerDataProccesorThread :: Thread %d exiting\n", 42);
  GetLogFile()->LogInfo("next");
  const std::vector<std::string> lines = ReadLogLines();
  ASSERT_EQ(lines.size(), 13u);
  EXPECT_EQ(MessageOf(lines[10]),
            "ServerDataProccesorThread :: Thread 42 exiting");
  EXPECT_EQ(Chomp(lines[11]), "");
  EXPECT_EQ(MessageOf(lines[12]), "next");
  // Byte for byte: the message's own line feed ends its line as the line
  // end does (CR LF on Windows).
  const std::string end = qvctx_test::LineEnd();
  EXPECT_NE(qvctx_test::ReadLogBytes().find("exiting" + end + end + "Info - "),
            std::string::npos);
}

TEST_F(LogFileTest, ClosingLineEndsEachWriterAndAppendKeepsBoth) {
  GetLogFile()->LogInfo("one");
  DestroyLogFile();
  GetLogFile()->LogInfo("two");
  DestroyLogFile();
  DestroyLogFile();  // none exists: nothing happens

  const std::vector<std::string> lines = ReadLogLines();
  ASSERT_EQ(lines.size(), 24u);
  EXPECT_EQ(MessageOf(lines[10]), "one");
  EXPECT_EQ(MessageOf(lines[11]), kLogClosingLine);
  EXPECT_EQ(MessageOf(lines[12]), kBanner[0]);
  EXPECT_EQ(MessageOf(lines[22]), "two");
  EXPECT_EQ(MessageOf(lines[23]), kLogClosingLine);
}

TEST_F(LogFileTest, TruncatingWriterKeepsOnlyItsOwnOutput) {
  GetLogFile()->LogInfo("old");
  DestroyLogFile();
  myModuleData.logAppend = 0;
  GetLogFile()->LogInfo("new");
  const std::vector<std::string> lines = ReadLogLines();
  ASSERT_EQ(lines.size(), 11u);
  EXPECT_EQ(MessageOf(lines[4]), "logAppend= 0");
  EXPECT_EQ(MessageOf(lines[10]), "new");
}

TEST_F(LogFileTest, RenamingTheOpenFileKeepsItsWriterAndTheNextStartsAfresh) {
  const std::string renamed = qvctx_test::DriveCPath("temp\\logs\\old.log");
  std::remove(renamed.c_str());
  GetLogFile()->LogInfo("before");
  ASSERT_EQ(std::rename(qvctx_test::LogFilePath().c_str(), renamed.c_str()), 0);
  GetLogFile()->LogInfo("after");
  EXPECT_FALSE(qvctx_test::LogFileExists());
  DestroyLogFile();
  GetLogFile()->LogInfo("next writer");

  std::ifstream old_file(renamed, std::ios::binary);
  std::vector<std::string> old_lines;
  for (std::string line; std::getline(old_file, line);) {
    old_lines.push_back(MessageOf(line));
  }
  old_file.close();
  ASSERT_EQ(old_lines.size(), 13u);
  EXPECT_EQ(old_lines[11], "after");
  EXPECT_EQ(old_lines[12], kLogClosingLine);
  const std::vector<std::string> lines = ReadLogLines();
  ASSERT_EQ(lines.size(), 11u);
  EXPECT_EQ(MessageOf(lines[0]), kBanner[0]);
  std::remove(renamed.c_str());
  // Deleting works while a writer holds the file, too.
  EXPECT_EQ(std::remove(qvctx_test::LogFilePath().c_str()), 0);
}

TEST_F(LogFileTest, MissingFolderWritesNothingAndNeverRetries) {
  qvctx_test::RemoveLogFolder();
  GetLogFile()->LogInfo("lost");
  GetLogFile()->LogError("lost too");
  EXPECT_FALSE(qvctx_test::LogFileExists());
  // The folder comes back, but the writer does not open the file again.
  qvctx_test::CreateLogFolder();
  GetLogFile()->LogInfo("still lost");
  EXPECT_FALSE(qvctx_test::LogFileExists());
  DestroyLogFile();  // a writer whose file never opened writes no closing line
  EXPECT_FALSE(qvctx_test::LogFileExists());
}

TEST_F(LogFileTest, RacingThreadsShareOneWriterAndOneBanner) {
  constexpr int kThreads = 8;
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  std::vector<CLogFile*> seen(kThreads, nullptr);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      while (!go.load()) std::this_thread::yield();
      std::shared_ptr<CLogFile> writer = GetLogFile();
      seen[t] = writer.get();
      writer->LogInfo("thread %d", t);
    });
  }
  go = true;
  for (std::thread& thread : threads) thread.join();

  for (int t = 1; t < kThreads; ++t) EXPECT_EQ(seen[t], seen[0]);
  const std::vector<std::string> lines = ReadLogLines();
  ASSERT_EQ(lines.size(), 10u + kThreads);
  for (std::size_t i = 0; i < 10; ++i)
    EXPECT_EQ(MessageOf(lines[i]), kBanner[i]);
}

#if !defined(_WIN32)
// A write that the file-size limit cuts short fails the writer: no later line
// is glued to the cut one, not even the closing line.
TEST_F(LogFileTest, WriteCutShortDropsEveryLaterLine) {
  std::shared_ptr<CLogFile> log = GetLogFile();
  const std::size_t size = qvctx_test::ReadLogBytes().size();
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit limit{};
  getrlimit(RLIMIT_FSIZE, &limit);
  const rlimit before = limit;
  limit.rlim_cur = size + 10;
  setrlimit(RLIMIT_FSIZE, &limit);
  log->LogInfo("cut short by the limit");
  setrlimit(RLIMIT_FSIZE, &before);
  log->LogInfo("after the cut");
  DestroyLogFile();
  EXPECT_EQ(qvctx_test::ReadLogBytes().size(), size + 10);
}
#endif

TEST_F(LogFileTest, WriterHeldByALoggingThreadOutlivesItsDestruction) {
  std::shared_ptr<CLogFile> held = GetLogFile();
  DestroyLogFile();
  held->LogInfo("dropped: the writer is closed");  // no crash, no line
  held.reset();
  const std::vector<std::string> lines = ReadLogLines();
  ASSERT_EQ(lines.size(), 11u);
  EXPECT_EQ(MessageOf(lines.back()), kLogClosingLine);
}

}  // namespace
}  // namespace qvctx
