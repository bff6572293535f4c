// The simulator's bridge to a client process, with this test playing the
// client process: the bytes on the connection are exactly the channel's
// stream in both directions, the connection follows the channels' lives, and
// QVCTX_SIM_RECORD records both directions exactly.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "qvctx/wfapi64_sim.h"
#include "sim_test_support.h"
#include "support/test_support.h"
#include "wfsim/net/tcp_socket.h"

namespace {

using sim_test::kCurrentSession;
using sim_test::kWaitMs;

constexpr char kRecordPrefix[] = "sim_bridge_record";

std::vector<std::uint8_t> Bytes(std::size_t size, std::uint8_t seed) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<std::uint8_t>(seed + i * 13);
  }
  return bytes;
}

// Receives exactly `size` bytes from the server's side, or fewer when the
// connection ends first.
std::vector<std::uint8_t> ReceiveExactly(wfsim::TcpStream& stream,
                                         std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  std::size_t got = 0;
  while (got < size && stream.WaitReadable(kWaitMs) == 1) {
    const long long n = stream.Receive(bytes.data() + got, size - got);
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  bytes.resize(got);
  return bytes;
}

// Reads from the channel until `size` bytes came or a read brought nothing
// within the time-out.
std::vector<std::uint8_t> ReadChannel(void* channel, std::size_t size) {
  std::vector<std::uint8_t> bytes;
  while (bytes.size() < size) {
    char piece[4096];
    std::uint32_t count = 0;
    if (WFVirtualChannelRead(channel, kWaitMs, piece, sizeof(piece), &count) ==
            0 ||
        count == 0) {
      break;
    }
    bytes.insert(bytes.end(), piece, piece + count);
  }
  return bytes;
}

class SimBridgeTest : public sim_test::SimTest {
 protected:
  void SetUp() override {
    // Recording starts at the process's first open, so every test sets it.
    qvctx_test::SetEnv("QVCTX_SIM_RECORD", kRecordPrefix);
    std::string error;
    listener_ = wfsim::TcpListener::Listen("127.0.0.1:0", &error);
    ASSERT_NE(listener_, nullptr) << error;
    const std::string address =
        "127.0.0.1:" + std::to_string(listener_->port());
    qvctx_test::SetEnv("QVCTX_SIM_CONNECT", address.c_str());
    sim_test::SimTest::SetUp();
  }

  void TearDown() override {
    sim_test::SimTest::TearDown();
    qvctx_test::SetEnv("QVCTX_SIM_CONNECT", "");
  }

  std::unique_ptr<wfsim::TcpStream> AcceptServer() {
    std::string error;
    std::unique_ptr<wfsim::TcpStream> stream =
        listener_->Accept(kWaitMs, &error);
    EXPECT_NE(stream, nullptr) << error;
    return stream;
  }

  std::unique_ptr<wfsim::TcpListener> listener_;
};

// Declared first, so its open is the process's first and the record files
// hold exactly its bytes.
TEST_F(SimBridgeTest, BytesCrossUnchangedBothWaysAndAreRecorded) {
  void* const channel = OpenChannel();
  ASSERT_NE(channel, nullptr);
  std::unique_ptr<wfsim::TcpStream> server = AcceptServer();
  ASSERT_NE(server, nullptr);
  EXPECT_EQ(WfSimBridgeState(), WFSIM_BRIDGE_CONNECTED);

  // Bytes that are no package at all go out as they are, without framing.
  std::vector<std::uint8_t> written = Bytes(5000, 1);
  EXPECT_EQ(sim_test::WriteOnce(channel, written), 5000);
  std::vector<std::uint8_t> second = Bytes(7, 99);
  EXPECT_EQ(sim_test::WriteOnce(channel, second), 7);
  written.insert(written.end(), second.begin(), second.end());
  EXPECT_EQ(ReceiveExactly(*server, written.size()), written);
  EXPECT_EQ(WfSimWrittenTotal(), written.size());
  EXPECT_EQ(WfSimWrittenAvailable(), 0u) << "forwarded bytes are not kept";

  const std::vector<std::uint8_t> sent = Bytes(3000, 7);
  ASSERT_TRUE(server->SendAll(sent.data(), 1000));
  ASSERT_TRUE(server->SendAll(sent.data() + 1000, 2000));
  EXPECT_EQ(ReadChannel(channel, sent.size()), sent);

  EXPECT_EQ(WFVirtualChannelClose(channel), 1);
  EXPECT_EQ(sim_test::RecordedBytes(std::string(kRecordPrefix) + ".server.bin"),
            written);
  EXPECT_EQ(sim_test::RecordedBytes(std::string(kRecordPrefix) + ".client.bin"),
            sent);
}

TEST_F(SimBridgeTest, ClosingTheLastChannelEndsTheConnection) {
  void* const first = OpenChannel();
  void* const second = OpenChannel();
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  std::unique_ptr<wfsim::TcpStream> server = AcceptServer();
  ASSERT_NE(server, nullptr);
  std::string error;
  EXPECT_EQ(listener_->Accept(0, &error), nullptr)
      << "all channels share one connection";

  EXPECT_EQ(WFVirtualChannelClose(first), 1);
  EXPECT_EQ(WfSimBridgeState(), WFSIM_BRIDGE_CONNECTED);
  EXPECT_EQ(WFVirtualChannelClose(second), 1);
  EXPECT_EQ(WfSimBridgeState(), WFSIM_BRIDGE_NONE);
  std::uint8_t byte = 0;
  ASSERT_EQ(server->WaitReadable(kWaitMs), 1);
  EXPECT_EQ(server->Receive(&byte, 1), 0) << "the client sees the end";
}

TEST_F(SimBridgeTest, ClientLeavingFailsWritesAndTheNextOpenConnectsAfresh) {
  void* const channel = OpenChannel();
  ASSERT_NE(channel, nullptr);
  std::unique_ptr<wfsim::TcpStream> server = AcceptServer();
  ASSERT_NE(server, nullptr);
  const std::vector<std::uint8_t> unread = Bytes(100, 3);
  ASSERT_TRUE(server->SendAll(unread.data(), unread.size()));
  ASSERT_EQ(WfSimWaitForBridgeState(WFSIM_BRIDGE_CONNECTED, kWaitMs), 0);
  server.reset();
  ASSERT_EQ(WfSimWaitForBridgeState(WFSIM_BRIDGE_ENDED, kWaitMs), 0);

  sim_test::SetLastErrorTo(0);
  EXPECT_EQ(sim_test::WriteOnce(channel, Bytes(10, 0)), -1);
  EXPECT_EQ(sim_test::LastError(), WFSIM_ERROR_BROKEN_PIPE);
  EXPECT_EQ(ReadChannel(channel, unread.size()), unread)
      << "what arrived before the end is still read";
  sim_test::SetLastErrorTo(0);
  EXPECT_EQ(sim_test::ReadOnce(channel, 8).size(), 0u);
  EXPECT_EQ(sim_test::LastError(), WFSIM_ERROR_BROKEN_PIPE)
      << "then reads fail";
  EXPECT_EQ(WFVirtualChannelClose(channel), 1);

  void* const again = OpenChannel();
  ASSERT_NE(again, nullptr);
  server = AcceptServer();
  ASSERT_NE(server, nullptr);
  EXPECT_EQ(WfSimBridgeState(), WFSIM_BRIDGE_CONNECTED);
  EXPECT_EQ(sim_test::WriteOnce(again, Bytes(10, 5)), 10);
  EXPECT_EQ(ReceiveExactly(*server, 10), Bytes(10, 5));
  EXPECT_EQ(WFVirtualChannelClose(again), 1);
}

TEST_F(SimBridgeTest, UnreadBytesOfAnEndedConnectionAreDropped) {
  void* const channel = OpenChannel();
  ASSERT_NE(channel, nullptr);
  std::unique_ptr<wfsim::TcpStream> server = AcceptServer();
  ASSERT_NE(server, nullptr);
  const std::vector<std::uint8_t> stale = Bytes(50, 9);
  ASSERT_TRUE(server->SendAll(stale.data(), stale.size()));
  server.reset();
  ASSERT_EQ(WfSimWaitForBridgeState(WFSIM_BRIDGE_ENDED, kWaitMs), 0);
  EXPECT_EQ(WfSimPendingReadBytes(), stale.size());

  // A second channel opened while the first is still open reconnects too:
  // the new connection starts a new stream.
  void* const second = OpenChannel();
  ASSERT_NE(second, nullptr);
  server = AcceptServer();
  ASSERT_NE(server, nullptr);
  EXPECT_EQ(WfSimPendingReadBytes(), 0u);
  EXPECT_EQ(WFVirtualChannelClose(channel), 1);
  EXPECT_EQ(WFVirtualChannelClose(second), 1);
}

TEST_F(SimBridgeTest, DroppingTheClientEndsTheConnectionUntilItIsBack) {
  void* const channel = OpenChannel();
  ASSERT_NE(channel, nullptr);
  std::unique_ptr<wfsim::TcpStream> server = AcceptServer();
  ASSERT_NE(server, nullptr);
  WfSimSetClientConnected(0);
  std::uint8_t byte = 0;
  ASSERT_EQ(server->WaitReadable(kWaitMs), 1);
  EXPECT_EQ(server->Receive(&byte, 1), 0) << "the client sees the end";
  EXPECT_EQ(sim_test::WriteOnce(channel, Bytes(10, 0)), -1);
  EXPECT_EQ(OpenChannel(), nullptr);
  std::string error;
  EXPECT_EQ(listener_->Accept(0, &error), nullptr)
      << "no connection while away";

  WfSimSetClientConnected(1);
  void* const again = OpenChannel();
  ASSERT_NE(again, nullptr);
  server = AcceptServer();
  ASSERT_NE(server, nullptr);
  EXPECT_EQ(sim_test::WriteOnce(again, Bytes(10, 5)), 10);
  EXPECT_EQ(ReceiveExactly(*server, 10), Bytes(10, 5));
  EXPECT_EQ(sim_test::WriteOnce(channel, Bytes(10, 0)), -1)
      << "the old channel stays cut off";
  EXPECT_EQ(WFVirtualChannelClose(channel), 1);
  EXPECT_EQ(WFVirtualChannelClose(again), 1);
}

TEST_F(SimBridgeTest, NoClientListeningFailsTheOpen) {
  listener_.reset();  // nobody listens on its port any more
  sim_test::SetLastErrorTo(0);
  EXPECT_EQ(OpenChannel(), nullptr);
  EXPECT_EQ(sim_test::LastError(), WFSIM_ERROR_CONNECTION_REFUSED);
  EXPECT_EQ(WfSimOpenHandleCount(), 0u);
}

}  // namespace
