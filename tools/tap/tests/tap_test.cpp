// The real tap, loaded by path with the simulator as its target: what the
// caller sees through it is what the simulator gives directly, and the
// recording holds every byte. The target and the recording prefix come from
// the environment each CTest entry sets (QVCTX_TAP_TARGET, QVCTX_TAP_RECORD),
// since the tap reads them once, at its first call.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "protocol/platform_operations.h"
#include "qvctx_port/process.h"
#include "sim_test_support.h"
#include "support/test_support.h"
#include "wfsim/recording/recording_format.h"

namespace {

using sim_test::LastError;
using sim_test::SetLastErrorTo;

// The seven operations, either the tap's or the simulator's own.
using Operations = qvctx::WfApiTable;

std::string Env(const char* name) {
  // NOLINTNEXTLINE(concurrency-mt-unsafe): no thread changes it
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

Operations Direct() {
  return {WFQuerySessionInformationA,
          WFVirtualChannelOpen,
          WFVirtualChannelQuery,
          WFVirtualChannelRead,
          WFVirtualChannelWrite,
          WFVirtualChannelClose,
          WFFreeMemory};
}

// The tap under test, loaded once and kept for the process, as a host
// keeps the platform's library.
const qvctx_test::LoadedLibrary& TapLibrary() {
  static const auto* const kTap =
      new qvctx_test::LoadedLibrary(Env("QVCTX_TAP_UNDER_TEST"));
  return *kTap;
}

class TapTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const qvctx_test::LoadedLibrary& tap = TapLibrary();
    ASSERT_TRUE(tap.ok()) << Env("QVCTX_TAP_UNDER_TEST");
    ASSERT_TRUE(qvctx::ResolveWfApi(
        [&](const char* name) { return tap.Symbol(name); }, &ops_));
    WfSimReset();
  }
  void TearDown() override { WfSimReset(); }

  Operations ops_{};
};

char g_name[] = "qvctx";
char g_other_name[] = "other";

// One call through a set of operations: its result (non-zero or not) and
// the last error afterwards.
struct Outcome {
  bool ok;
  std::uint32_t error;
};
using Call = std::function<bool(const Operations&)>;

Outcome CallThrough(const Call& call, const Operations& ops) {
  SetLastErrorTo(4242);
  const bool ok = call(ops);
  return {ok, LastError()};
}

// Every failure the platform reports reaches the caller with the same
// result and last-error code, and a success leaves the caller's code alone.
TEST_F(TapTest, ForwardsResultsAndLastError) {
  void* const bad = reinterpret_cast<void*>(0x5151);
  char bytes[8] = {};
  std::uint32_t count = 0;
  char* info = nullptr;
  const struct {
    const char* what;
    Call call;
  } cases[] = {
      {"session query, class 3",
       [&](const Operations& o) {
         return o.WFQuerySessionInformationA(nullptr, sim_test::kCurrentSession,
                                             3, &info, &count) != 0;
       }},
      {"session query, class 4",
       [&](const Operations& o) {
         const bool ok =
             o.WFQuerySessionInformationA(nullptr, sim_test::kCurrentSession, 4,
                                          &info, &count) != 0;
         const bool in_session = ok && count == 4 && info[0] == 1;
         o.WFFreeMemory(info);
         return in_session;
       }},
      {"open another name",
       [&](const Operations& o) {
         return o.WFVirtualChannelOpen(nullptr, sim_test::kCurrentSession,
                                       g_other_name) != nullptr;
       }},
      {"read an unknown handle",
       [&](const Operations& o) {
         return o.WFVirtualChannelRead(bad, 0, bytes, sizeof bytes, &count) !=
                0;
       }},
      {"write an unknown handle",
       [&](const Operations& o) {
         return o.WFVirtualChannelWrite(bad, bytes, sizeof bytes, &count) != 0;
       }},
      {"query an unknown handle",
       [&](const Operations& o) {
         void* data = nullptr;
         return o.WFVirtualChannelQuery(bad, 0, &data, &count) != 0;
       }},
      {"close an unknown handle",
       [&](const Operations& o) { return o.WFVirtualChannelClose(bad) != 0; }},
  };
  for (const auto& c : cases) {
    const Outcome direct = CallThrough(c.call, Direct());
    const Outcome tapped = CallThrough(c.call, ops_);
    EXPECT_EQ(tapped.ok, direct.ok) << c.what;
    EXPECT_EQ(tapped.error, direct.error) << c.what;
  }
}

// Bytes both ways through the tap arrive as sent and are recorded exactly
// (when the prefix can be written), with the caller's last error untouched,
// into this process's own recording: the name an earlier process of the
// same id left a file under is passed over, and that file left alone.
TEST_F(TapTest, RecordsBothDirections) {
  const std::string prefix = Env("QVCTX_TAP_RECORD");
  wfsim::RecordingProcess self;
  self.process_id = qvctx_port::ProcessId();
  self.has_session = qvctx_port::SessionId(&self.session_id);
  const std::string left = wfsim::ProcessRecordingPrefix(prefix, self, 1) +
                           wfsim::kRecordingServerSuffix;
  const std::string own = wfsim::ProcessRecordingPrefix(prefix, self, 2);
  std::remove((own + wfsim::kRecordingServerSuffix).c_str());
  std::remove((own + wfsim::kRecordingClientSuffix).c_str());
  if (std::FILE* const file = std::fopen(left.c_str(), "wb")) {
    std::fputs("left behind", file);
    std::fclose(file);
  }
  const std::uint64_t start = wfsim::RecordingClock();
  void* const channel =
      ops_.WFVirtualChannelOpen(nullptr, sim_test::kCurrentSession, g_name);
  ASSERT_NE(channel, nullptr);
  WfSimSetReadPieceSize(7);
  std::vector<std::uint8_t> sent(300), received;
  for (std::size_t i = 0; i < sent.size(); ++i) {
    sent[i] = static_cast<std::uint8_t>(i * 7);
  }
  const std::vector<std::uint8_t> answer(sent.rbegin(), sent.rend());
  ASSERT_EQ(WfSimClientSend(answer.data(), 100), 0);
  std::uint32_t count = 0;
  for (std::size_t at = 0; at < sent.size(); at += 120) {
    SetLastErrorTo(4242);
    const std::uint32_t piece = static_cast<std::uint32_t>(
        std::min<std::size_t>(120, sent.size() - at));
    ASSERT_NE(ops_.WFVirtualChannelWrite(
                  channel, reinterpret_cast<char*>(&sent[at]), piece, &count),
              0);
    EXPECT_EQ(count, piece);
    EXPECT_EQ(LastError(), 4242u);
  }
  ASSERT_EQ(WfSimClientSend(answer.data() + 100, 200), 0);
  char buffer[64];
  while (received.size() < answer.size()) {
    SetLastErrorTo(4242);
    ASSERT_NE(
        ops_.WFVirtualChannelRead(channel, 0, buffer, sizeof buffer, &count),
        0);
    EXPECT_EQ(LastError(), 4242u);
    EXPECT_LE(count, 7u);
    received.insert(received.end(), buffer, buffer + count);
  }
  EXPECT_EQ(received, answer);
  std::vector<std::uint8_t> written(sent.size());
  EXPECT_EQ(WfSimTakeWritten(written.data(), 1000), sent.size());
  EXPECT_EQ(written, sent);
  EXPECT_NE(ops_.WFVirtualChannelClose(channel), 0);

  const std::string server = own + wfsim::kRecordingServerSuffix;
  if (Env("QVCTX_TAP_EXPECT_RECORDING") != "1") {
    EXPECT_FALSE(qvctx_test::LoadedLibrary(server).ok());
    return;
  }
  const std::uint64_t end = wfsim::RecordingClock();
  EXPECT_EQ(sim_test::RecordedBytes(server, start, end), sent);
  EXPECT_EQ(
      sim_test::RecordedBytes(own + wfsim::kRecordingClientSuffix, start, end),
      answer);
  std::FILE* const file = std::fopen(left.c_str(), "rb");
  ASSERT_NE(file, nullptr);
  char kept[32] = {};
  EXPECT_EQ(std::fread(kept, 1, sizeof kept, file), 11u);
  std::fclose(file);
}

// A target that cannot be used: every operation fails as a missing platform
// library does, and the reason lands beside the recording.
TEST_F(TapTest, UnusableTargetFailsEveryOperation) {
  char bytes[4] = {};
  std::uint32_t count = 0;
  void* data = nullptr;
  const Call calls[] = {
      [&](const Operations& o) {
        return o.WFQuerySessionInformationA(nullptr, sim_test::kCurrentSession,
                                            4, reinterpret_cast<char**>(&data),
                                            &count) != 0;
      },
      [&](const Operations& o) {
        return o.WFVirtualChannelOpen(nullptr, sim_test::kCurrentSession,
                                      g_name) != nullptr;
      },
      [&](const Operations& o) {
        return o.WFVirtualChannelQuery(&count, 0, &data, &count);
      },
      [&](const Operations& o) {
        return o.WFVirtualChannelRead(&count, 0, bytes, 4, &count) != 0;
      },
      [&](const Operations& o) {
        return o.WFVirtualChannelWrite(&count, bytes, 4, &count);
      },
      [&](const Operations& o) { return o.WFVirtualChannelClose(&count) != 0; },
      [&](const Operations& o) {
        o.WFFreeMemory(nullptr);
        return false;
      },
  };
  for (const Call& call : calls) {
    const Outcome outcome = CallThrough(call, ops_);
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.error, 126u);
  }
  for (std::int32_t operation = WFSIM_QUERY_SESSION;
       operation <= WFSIM_FREE_MEMORY; ++operation) {
    EXPECT_EQ(WfSimCallCount(operation), 0u) << "nothing reaches the target";
  }
  std::FILE* reason =
      std::fopen((Env("QVCTX_TAP_RECORD") + ".tap-error.txt").c_str(), "r");
  ASSERT_NE(reason, nullptr);
  char line[512] = {};
  ASSERT_NE(std::fgets(line, sizeof line, reason), nullptr);
  std::fclose(reason);
  EXPECT_NE(std::string(line).find(Env("QVCTX_TAP_TARGET")), std::string::npos)
      << line;
}

}  // namespace
