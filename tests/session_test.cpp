// ServerStartSession and ServerCloseSession through the exports, with the
// simulator as the platform.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "qvctx/qvctx.h"
#include "qvctx/wfapi64_sim.h"
#include "support/session_fixture.h"
#include "support/test_support.h"

namespace {

const char* const kStartLines[] = {
    "Info - ServerStartSession:: Entering function",
    "Info - ServerStartSession:: Sessioninfo is correct.",
    nullptr,  // the handle line
    "Info - ServerStartSession:: WFVirtualChannelQuery alles ok! ",
    "Info - ServerStartSession:: create tmp read data buffer",
    "Info - ServerStartSession:: Sizeof PACKAGEHEAD = 34",
    "Info - ServerStartSession:: Initialize the FIFO",
    "Info - ServerStartSession:: Initialize the ServerDataProccesorThread.",
    "Info - ServerStartSession:: Exit function => result = 0",
};

const char* const kCloseLines[] = {
    "Info - ServerCloseSession:: Close all thread handles upon completion.!",
    "Info - ServerCloseSession::WFFreeMemory1 done!",
    "Info - ServerCloseSession::WFFreeMemory2 done!",
    "Info - ServerCloseSession:: Free the gloabal memory "
    "<myModuleData.GlobalReadDataTmpPtr!",
};

const char kCloseFirstLine[] =
    "Info - ServerCloseSession:: Close all thread handles upon completion.!";

// The lines of a fetched session-log text: split at " &", the final blank
// (which stands where the last " &" would) dropped.
std::vector<std::string> FetchLines() {
  const std::string text = ServerSessionLog();
  ServerSessionFreeLog();
  bool ends_in_blank = false;
  std::vector<std::string> lines =
      qvctx_test::SplitSessionLog(text, &ends_in_blank);
  EXPECT_TRUE(ends_in_blank) << text;
  return lines;
}

using qvctx_test::Chomp;

// The messages of the log file's lines, prefix and time dropped, with the
// prefix's level ("Info" / "ERROR") in front: "ERROR|message".
std::vector<std::string> LogMessages() {
  std::vector<std::string> messages;
  for (const std::string& line : qvctx_test::ReadLogLines()) {
    const std::size_t tab = line.find(" \t");
    if (tab == std::string::npos) continue;
    messages.push_back(line.substr(0, line.find(' ')) + "|" +
                       Chomp(line.substr(tab + 2)));
  }
  return messages;
}

bool Logged(const std::string& level_and_message) {
  const std::vector<std::string> messages = LogMessages();
  return std::find(messages.begin(), messages.end(), level_and_message) !=
         messages.end();
}

using SessionTest = qvctx_test::SessionFixture;

TEST_F(SessionTest, CompleteStartAddsNineLinesAndCloseFour) {
  ASSERT_EQ(ServerStartSession(), 0);
  EXPECT_EQ(ServerGetLastError(), 0);
  EXPECT_EQ(WfSimOpenHandleCount(), 1u);
  EXPECT_EQ(WfSimHeldBufferCount(), 2u);
  ASSERT_EQ(ServerCloseSession(), 0);
  EXPECT_EQ(ServerGetLastError(), 0);

  const std::vector<std::string> lines = FetchLines();
  ASSERT_EQ(lines.size(), 13u);
  for (std::size_t i = 0; i < 9; ++i) {
    if (kStartLines[i] == nullptr) {
      EXPECT_EQ(
          lines[i].rfind(
              "Info - ServerStartSession:: WFVirtualChannelOpen, handle is ",
              0),
          0u)
          << lines[i];
    } else {
      EXPECT_EQ(lines[i], kStartLines[i]);
    }
  }
  for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(lines[9 + i], kCloseLines[i]);
}

TEST_F(SessionTest, FetchedTextMatchesByteForByte) {
  WfSimSetNextHandle(4242);
  ASSERT_EQ(ServerStartSession(), 0);
  const std::string text = ServerSessionLog();
  EXPECT_EQ(
      text,
      "Info - ServerStartSession:: Entering function &"
      "Info - ServerStartSession:: Sessioninfo is correct. &"
      "Info - ServerStartSession:: WFVirtualChannelOpen, handle is 4242 &"
      "Info - ServerStartSession:: WFVirtualChannelQuery alles ok!  &"
      "Info - ServerStartSession:: create tmp read data buffer &"
      "Info - ServerStartSession:: Sizeof PACKAGEHEAD = 34 &"
      "Info - ServerStartSession:: Initialize the FIFO &"
      "Info - ServerStartSession:: Initialize the ServerDataProccesorThread. &"
      "Info - ServerStartSession:: Exit function => result = 0 ");
  ServerSessionFreeLog();
}

TEST_F(SessionTest, HandleLineShowsTheLowThirtyTwoBitsSigned) {
  WfSimSetNextHandle(0x1FFFFFFF0ull);  // low 32 bits: -16 as a signed number
  ASSERT_EQ(ServerStartSession(), 0);
  const std::vector<std::string> lines = FetchLines();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[2],
            "Info - ServerStartSession:: WFVirtualChannelOpen, handle is -16");
  EXPECT_TRUE(
      Logged("Info|ServerStartSession:: WFVirtualChannelOpen, handle is -16."));
}

TEST_F(SessionTest, FailedSessionQueryReportsTheCodeInBothLogs) {
  // Above 2^31: signed in the file line, unsigned in the session-log line.
  WfSimFailCalls(WFSIM_QUERY_SESSION, 0, 1, 3000000000u);
  EXPECT_EQ(ServerStartSession(), 1);
  EXPECT_EQ(WfSimFaultsFired(WFSIM_QUERY_SESSION), 1u);
  EXPECT_EQ(ServerGetLastError(), 0);
  EXPECT_EQ(WfSimOpenHandleCount(), 0u);
  const std::vector<std::string> lines = FetchLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1],
            "Error - ServerStartSession:: WFQuerySessionInformation() failed - "
            "3000000000");
  EXPECT_TRUE(
      Logged("ERROR|ServerStartSession:: WFQuerySessionInformation() failed - "
             "-1294967296"));
  EXPECT_EQ(ServerCloseSession(), 0);
  EXPECT_EQ(FetchLines(), std::vector<std::string>{kCloseFirstLine});
}

TEST_F(SessionTest, OutsideAnIcaSessionKeepsOnlyTheSessionInfo) {
  WfSimSetIcaSession(0);
  EXPECT_EQ(ServerStartSession(), 1);
  EXPECT_EQ(ServerGetLastError(), 0);
  EXPECT_EQ(WfSimHeldBufferCount(), 1u);
  EXPECT_EQ(WfSimOpenHandleCount(), 0u);
  EXPECT_EQ(
      FetchLines(),
      (std::vector<std::string>{
          "Info - ServerStartSession:: Entering function",
          "Error - ServerStartSession:: This program must be run from within "
          "an ICA session."}));
  EXPECT_EQ(ServerCloseSession(), 0);
  EXPECT_EQ(
      FetchLines(),
      (std::vector<std::string>{
          kCloseFirstLine, "Info - ServerCloseSession::WFFreeMemory2 done!"}));
}

TEST_F(SessionTest, FailedChannelOpenKeepsTheSessionInfo) {
  WfSimFailCalls(WFSIM_OPEN, 0, 1, 31);
  EXPECT_EQ(ServerStartSession(), 1);
  EXPECT_EQ(WfSimFaultsFired(WFSIM_OPEN), 1u);
  EXPECT_EQ(WfSimHeldBufferCount(), 1u);
  const std::vector<std::string> lines = FetchLines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(
      lines[2],
      "Error - ServerStartSession:: WFVirtualChannelOpen Failed - error 31");
  EXPECT_TRUE(Logged(
      "ERROR|ServerStartSession:: WFVirtualChannelOpen Failed - error 31."));
  EXPECT_EQ(ServerCloseSession(), 0);
  EXPECT_EQ(
      FetchLines(),
      (std::vector<std::string>{
          kCloseFirstLine, "Info - ServerCloseSession::WFFreeMemory2 done!"}));
}

TEST_F(SessionTest, FailedClientQueryLeavesTheChannelOpenForTheClose) {
  WfSimFailCalls(WFSIM_QUERY, 0, 1, 1450);
  EXPECT_EQ(ServerStartSession(), 1);
  EXPECT_EQ(WfSimFaultsFired(WFSIM_QUERY), 1u);
  EXPECT_EQ(ServerGetLastError(), 0);
  EXPECT_EQ(WfSimOpenHandleCount(), 1u);
  EXPECT_EQ(WfSimHeldBufferCount(), 1u);
  const std::vector<std::string> lines = FetchLines();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(
      lines[3],
      "Error - ServerStartSession:: WFVirtualChannelQuery Failed - error 1450");
  EXPECT_EQ(ServerCloseSession(), 0);
  EXPECT_EQ(WfSimOpenHandleCount(), 0u);
  EXPECT_EQ(
      FetchLines(),
      (std::vector<std::string>{
          kCloseFirstLine, "Info - ServerCloseSession::WFFreeMemory2 done!"}));
}

TEST_F(SessionTest, FailedThreadStartReturnsOneAndTheCloseToo) {
  ASSERT_EQ(ServerStartSession(), 0);
  FetchLines();
  // The first reader still holds the thread handle: the second start cannot
  // start one, and its exitcode of 1 makes the running reader stop.
  EXPECT_EQ(ServerStartSession(), 1);
  EXPECT_EQ(ServerGetLastError(), 1);
  const std::vector<std::string> lines = FetchLines();
  ASSERT_EQ(lines.size(), 9u);
  EXPECT_EQ(lines.back(),
            "Info - ServerStartSession:: Exit function => result = 1");
  EXPECT_TRUE(
      Logged("ERROR|CPackageThread:: THREAD HANDLE IS ALREADY CREATED!"));
  EXPECT_EQ(WfSimOpenHandleCount(), 2u);
  EXPECT_EQ(WfSimHeldBufferCount(), 4u);
  // The close releases both starts' channels and buffers.
  EXPECT_EQ(ServerCloseSession(), 1);
  EXPECT_EQ(ServerGetLastError(), 1);
}

TEST_F(SessionTest, FailedChannelCloseKeepsTheHandleAndTheNextCloseRetries) {
  ASSERT_EQ(ServerStartSession(), 0);
  FetchLines();
  WfSimFailCalls(WFSIM_CLOSE, 0, 1, 170);
  EXPECT_EQ(ServerCloseSession(), 0);
  EXPECT_EQ(WfSimFaultsFired(WFSIM_CLOSE), 1u);
  EXPECT_EQ(WfSimOpenHandleCount(), 1u);
  std::vector<std::string> lines = FetchLines();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[3],
            "Info - ServerCloseSession::WFVirtualChannelClose - ecode = 170");
  EXPECT_TRUE(
      Logged("Info|ServerCloseSession::WFVirtualChannelClose - ecode =170"));

  EXPECT_EQ(ServerCloseSession(), 0);
  EXPECT_EQ(WfSimOpenHandleCount(), 0u);
  EXPECT_EQ(WfSimCallCount(WFSIM_CLOSE), 2u);
  EXPECT_EQ(FetchLines(), std::vector<std::string>{kCloseFirstLine});
}

TEST_F(SessionTest, TwoClosesInARow) {
  ASSERT_EQ(ServerStartSession(), 0);
  EXPECT_EQ(ServerCloseSession(), 0);
  FetchLines();
  EXPECT_EQ(ServerCloseSession(), 0);
  EXPECT_EQ(FetchLines(), std::vector<std::string>{kCloseFirstLine});
  EXPECT_EQ(WfSimCallCount(WFSIM_CLOSE), 1u);
}

TEST_F(SessionTest, EachStartCloseCycleHasOneBannerAndOneClosingLine) {
  for (int cycle = 0; cycle < 3; ++cycle) {
    ASSERT_EQ(ServerStartSession(), 0);
    ASSERT_EQ(ServerCloseSession(), 0);
  }
  const std::vector<std::string> messages = LogMessages();
  const auto count = [&](const std::string& m) {
    return std::count(messages.begin(), messages.end(), m);
  };
  EXPECT_EQ(count("Info|====== BEGIN:: qvRemote CITRIX module =========== "),
            3);
  EXPECT_EQ(count("Info|===============Finish Loging================"), 3);
  EXPECT_EQ(messages.back(),
            "Info|===============Finish Loging================");
}

}  // namespace
