// The thirteen exports of the real library.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "qvctx/qvctx.h"
#include "support/test_support.h"

namespace {

using qvctx_test::MessageOf;

std::string PrefixOf(const std::string& line) {
  return line.substr(0, line.find(' '));
}

class ExportsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ServerCloseSession();  // ends any writer, so each test starts a new file
    ServerSessionLog();    // and empties the session log
    ServerSessionFreeLog();
    qvctx_test::CreateLogFolder();
    qvctx_test::RemoveLogFile();
  }
  void TearDown() override { ServerCloseSession(); }
};

TEST_F(ExportsTest, InformationalEntryPointsWriteOneLineEachAndReturnZero) {
  struct Case {
    int32_t (*call)();
    const char* prefix;
    const char* message;
  };
  const Case cases[] = {
      {ServerSessionInfo, "Info", "ServerSessionInfo:: Entering function"},
      {ServerQueryInformation, "Info",
       "ServerQueryInformation:: Entering function"},
      {ServerSetInformation, "Info",
       "ServerSetInformation:: Entering function"},
      {ServerSessionReset, "ERROR", "ServerSessionReset:: Entering function"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.call(), 0) << c.message;
  }
  const std::vector<std::string> lines = qvctx_test::ReadLogLines();
  ASSERT_EQ(lines.size(), 14u);
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(PrefixOf(lines[10 + i]), cases[i].prefix);
    EXPECT_EQ(MessageOf(lines[10 + i]), cases[i].message);
  }
}

TEST_F(ExportsTest, GetLastErrorIsOneBeforeAnyStartAndLogs) {
  EXPECT_EQ(ServerGetLastError(), 1);
  const std::vector<std::string> lines = qvctx_test::ReadLogLines();
  ASSERT_EQ(lines.size(), 11u);
  EXPECT_EQ(MessageOf(lines[10]), "ServerGetLastError:: Entering function");
  // A close keeps the value.
  EXPECT_EQ(ServerCloseSession(), 1);
  EXPECT_EQ(ServerGetLastError(), 1);
}

TEST_F(ExportsTest, EveryExportAnswersWithoutTheLogFolder) {
  qvctx_test::RemoveLogFolder();
  EXPECT_EQ(ServerSessionInfo(), 0);
  EXPECT_EQ(ServerQueryInformation(), 0);
  EXPECT_EQ(ServerSetInformation(), 0);
  EXPECT_EQ(ServerSessionReset(), 0);
  EXPECT_EQ(ServerGetLastError(), 1);
  EXPECT_EQ(ServerRegisterEventCallBackFunction(nullptr), 0);
  EXPECT_EQ(ServerRegisterResultCallBackFunction(nullptr), 0);
  EXPECT_STREQ(ServerSessionLog(), "No logs");
  ServerSessionFreeLog();
  EXPECT_EQ(ServerCloseSession(), 1);
  EXPECT_FALSE(qvctx_test::LogFileExists());
  qvctx_test::CreateLogFolder();
}

}  // namespace
