// The two byte streams of the channel: what the client queues reaches the
// server's reads in order and in bounded pieces; what the server writes is
// recorded in order with each write's size; the waits; many threads at once.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "sim_test_support.h"

namespace {

using sim_test::kWaitMs;
using sim_test::ReadOnce;
using sim_test::TakeAllWritten;
using sim_test::WriteOnce;

std::vector<std::uint8_t> Pattern(std::size_t size, std::uint32_t seed) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<std::uint8_t>((i * 131 + seed) % 251);
  }
  return bytes;
}

class SimStreamTest : public sim_test::SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    channel_ = OpenChannel();
    ASSERT_NE(channel_, nullptr);
  }

  void* channel_ = nullptr;
};

TEST_F(SimStreamTest, ReadsDeliverQueuedBytesInOrderUpToTheReadSize) {
  const std::vector<std::uint8_t> sent = Pattern(5000, 1);
  ASSERT_EQ(
      WfSimClientSend(sent.data(), static_cast<std::uint32_t>(sent.size())), 0);
  EXPECT_EQ(WfSimPendingReadBytes(), 5000u);
  std::vector<std::uint8_t> received;
  std::vector<std::size_t> pieces;
  for (;;) {
    const std::vector<std::uint8_t> piece = ReadOnce(channel_, 2044);
    if (piece.empty()) break;
    pieces.push_back(piece.size());
    received.insert(received.end(), piece.begin(), piece.end());
  }
  EXPECT_EQ(pieces, (std::vector<std::size_t>{2044, 2044, 912}));
  EXPECT_EQ(received, sent);
  EXPECT_EQ(WfSimPendingReadBytes(), 0u);
}

// Sends and reads in turn, so bytes wait in the queue while more arrive,
// runs of bytes cross from one of its 64 KiB blocks to the next, and a
// drained queue starts over.
TEST_F(SimStreamTest, InterleavedSendsAndReadsKeepTheStreamInOrder) {
  struct Step {
    std::uint32_t send;  // bytes queued, then
    std::uint32_t read;  // bytes read, in reads of up to `piece`
    std::uint32_t piece = 2044;
  };
  const std::vector<std::vector<Step>> cases = {
      {{3000, 2044}, {1500, 0}, {0, 2456}},       // waited, then drained
      {{100, 50}, {5000, 3000}, {70000, 72050}},  // a block filled, waiting
      {{4000, 4000}, {4000, 1000}, {1, 3001}},    // drained, then reused
      // Reads larger than a block, across two block ends at once.
      {{65535, 65534, 70000}, {140000, 140001, 100000}},
      {{65536, 1, 1}, {65536, 131071, 65536}},  // sends ending on a block end
  };
  std::uint32_t seed = 0;
  for (const std::vector<Step>& steps : cases) {
    std::vector<std::uint8_t> sent;
    std::vector<std::uint8_t> received;
    for (const Step& step : steps) {
      const std::vector<std::uint8_t> bytes = Pattern(step.send, ++seed);
      ASSERT_EQ(WfSimClientSend(bytes.data(), step.send), 0);
      sent.insert(sent.end(), bytes.begin(), bytes.end());
      for (std::uint32_t left = step.read; left != 0;) {
        const std::vector<std::uint8_t> piece =
            ReadOnce(channel_, std::min(left, step.piece));
        ASSERT_FALSE(piece.empty());
        received.insert(received.end(), piece.begin(), piece.end());
        left -= static_cast<std::uint32_t>(piece.size());
      }
    }
    EXPECT_EQ(received, sent);
    EXPECT_EQ(WfSimPendingReadBytes(), 0u);
  }
}

TEST_F(SimStreamTest, ReadOfAnEmptyQueueSucceedsWithZeroBytes) {
  char buffer[16];
  std::uint32_t count = 99;
  EXPECT_NE(WFVirtualChannelRead(channel_, 0, buffer, 16, &count), 0);
  EXPECT_EQ(count, 0u);
}

TEST_F(SimStreamTest, PieceSizeForcesAPackageAcrossManyReads) {
  const std::vector<std::uint8_t> package =
      sim_test::FarFunction(9, "0123456789");
  WfSimClientSend(package.data(), static_cast<std::uint32_t>(package.size()));
  WfSimSetReadPieceSize(7);
  std::vector<std::uint8_t> received;
  std::size_t reads = 0;
  for (std::vector<std::uint8_t> piece;
       !(piece = ReadOnce(channel_, 2044)).empty();) {
    EXPECT_LE(piece.size(), 7u);
    received.insert(received.end(), piece.begin(), piece.end());
    ++reads;
  }
  EXPECT_EQ(reads, 7u);  // 44 bytes
  EXPECT_EQ(received, package);

  // The smaller of the read size and the piece size wins.
  WfSimClientSend("abcdefgh", 8);
  EXPECT_EQ(ReadOnce(channel_, 3).size(), 3u);
  WfSimSetReadPieceSize(0);
  EXPECT_EQ(ReadOnce(channel_, 2044).size(), 5u);
}

TEST_F(SimStreamTest, BytesOfSeparateSendsRunTogetherInOneRead) {
  const std::vector<std::uint8_t> first = sim_test::FarFunction(1, "a");
  const std::vector<std::uint8_t> second = sim_test::FarFunction(2, "bb");
  WfSimClientSend(first.data(), static_cast<std::uint32_t>(first.size()));
  WfSimClientSend(second.data(), static_cast<std::uint32_t>(second.size()));
  const std::vector<std::uint8_t> piece = ReadOnce(channel_, 2044);
  std::vector<std::uint8_t> both = first;
  both.insert(both.end(), second.begin(), second.end());
  EXPECT_EQ(piece, both);
}

TEST_F(SimStreamTest, ClientSendRefusesNullDataWithALength) {
  EXPECT_EQ(WfSimClientSend(nullptr, 4), 1);
  EXPECT_EQ(WfSimClientSend(nullptr, 0), 0);
  EXPECT_EQ(WfSimPendingReadBytes(), 0u);
}

TEST_F(SimStreamTest, WritesAreRecordedInOrderWithEachSize) {
  const std::vector<std::uint8_t> a = Pattern(10, 1);
  const std::vector<std::uint8_t> b = Pattern(2010, 2);
  const std::vector<std::uint8_t> c = Pattern(1, 3);
  EXPECT_EQ(WriteOnce(channel_, a), 10);
  EXPECT_EQ(WriteOnce(channel_, b), 2010);
  EXPECT_EQ(WriteOnce(channel_, c), 1);
  std::uint32_t taken = 5;
  EXPECT_NE(WFVirtualChannelWrite(channel_, nullptr, 0, &taken), 0);
  EXPECT_EQ(taken, 0u);

  ASSERT_EQ(WfSimWriteRecordCount(), 4u);
  const std::uint32_t sizes[] = {10, 2010, 1, 0};
  for (std::uint32_t i = 0; i < 4; ++i) {
    WfSimWriteRecord record{};
    ASSERT_EQ(WfSimGetWriteRecord(i, &record), 0);
    EXPECT_EQ(record.requested, sizes[i]);
    EXPECT_EQ(record.taken, sizes[i]);
    EXPECT_EQ(record.succeeded, 1);
    EXPECT_EQ(record.error, 0u);
  }
  WfSimWriteRecord record{};
  EXPECT_EQ(WfSimGetWriteRecord(4, &record), 1);
  EXPECT_EQ(WfSimGetWriteRecord(0, nullptr), 1);

  EXPECT_EQ(WfSimWrittenTotal(), 2021u);
  std::vector<std::uint8_t> expected = a;
  expected.insert(expected.end(), b.begin(), b.end());
  expected.insert(expected.end(), c.begin(), c.end());
  // Taken in two parts; the total stays, what is available goes.
  std::vector<std::uint8_t> head(1000);
  EXPECT_EQ(WfSimTakeWritten(head.data(), 1000), 1000u);
  EXPECT_EQ(WfSimWrittenAvailable(), 1021u);
  std::vector<std::uint8_t> all = head;
  const std::vector<std::uint8_t> rest = TakeAllWritten();
  all.insert(all.end(), rest.begin(), rest.end());
  EXPECT_EQ(all, expected);
  EXPECT_EQ(WfSimWrittenAvailable(), 0u);
  EXPECT_EQ(WfSimWrittenTotal(), 2021u);
}

TEST_F(SimStreamTest, WaitsTimeOutWhenNothingHappens) {
  WfSimClientSend("x", 1);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(WfSimWaitUntilRead(30), 1);
  EXPECT_EQ(WfSimWaitForWritten(1, 30), 1);
  EXPECT_EQ(WfSimWaitForCalls(WFSIM_READ, 1, 30), 1);
  EXPECT_EQ(WfSimWaitForCalls(-1, 0, 30), 1);
  EXPECT_GE(std::chrono::steady_clock::now() - start,
            std::chrono::milliseconds(80));
  // Conditions that already hold end the wait at once.
  EXPECT_EQ(WfSimWaitForWritten(0, kWaitMs), 0);
  EXPECT_EQ(WfSimWaitForCalls(WFSIM_OPEN, 1, kWaitMs), 0);
}

TEST_F(SimStreamTest, WaitUntilReadEndsWhenAReaderHasDrainedTheQueue) {
  const std::vector<std::uint8_t> sent = Pattern(100000, 7);
  WfSimClientSend(sent.data(), static_cast<std::uint32_t>(sent.size()));
  std::vector<std::uint8_t> received;
  std::thread reader([&] {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
    while (received.size() < sent.size() &&
           std::chrono::steady_clock::now() < deadline) {
      const std::vector<std::uint8_t> piece = ReadOnce(channel_, 2044);
      received.insert(received.end(), piece.begin(), piece.end());
    }
  });
  EXPECT_EQ(WfSimWaitUntilRead(kWaitMs), 0);
  reader.join();
  EXPECT_EQ(received, sent);
}

TEST_F(SimStreamTest, ReadWithATimeOutWaitsForTheFirstByte) {
  std::vector<std::uint8_t> piece;
  std::thread reader([&] {
    char buffer[64];
    std::uint32_t count = 0;
    if (WFVirtualChannelRead(channel_, kWaitMs, buffer, 64, &count) != 0) {
      piece.assign(buffer, buffer + count);
    }
  });
  // The reader is inside its read before anything is queued.
  ASSERT_EQ(WfSimWaitForCalls(WFSIM_READ, 1, kWaitMs), 0);
  WfSimClientSend("late", 4);
  reader.join();
  EXPECT_EQ(piece, (std::vector<std::uint8_t>{'l', 'a', 't', 'e'}));
}

TEST_F(SimStreamTest, ReadWithATimeOutFailsWhenItsHandleIsClosedMeanwhile) {
  std::int32_t result = -1;
  std::uint32_t error = 0;
  std::thread reader([&] {
    char buffer[64];
    std::uint32_t count = 0;
    result = WFVirtualChannelRead(channel_, kWaitMs, buffer, 64, &count);
    error = sim_test::LastError();
  });
  ASSERT_EQ(WfSimWaitForCalls(WFSIM_READ, 1, kWaitMs), 0);
  EXPECT_NE(WFVirtualChannelClose(channel_), 0);
  reader.join();
  EXPECT_EQ(result, 0);
  EXPECT_EQ(error, WFSIM_ERROR_INVALID_HANDLE);
}

// A reader, a client and two writers at once: every byte arrives once and in
// order on both streams. Bounded in count and time.
TEST_F(SimStreamTest, ReaderClientAndWritersRunAtOnce) {
  constexpr std::size_t kClientBytes = 200000;
  constexpr int kWrites = 500;
  const std::vector<std::uint8_t> sent = Pattern(kClientBytes, 3);
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
  std::vector<std::uint8_t> received;
  // Small reads and sends, and large ones that copy outside the simulator's
  // lock while the other side goes on.
  std::thread reader([&] {
    for (std::uint32_t size = 2044; received.size() < kClientBytes &&
                                    std::chrono::steady_clock::now() < deadline;
         size = size == 2044 ? 100000 : 2044) {
      const std::vector<std::uint8_t> piece = ReadOnce(channel_, size);
      received.insert(received.end(), piece.begin(), piece.end());
    }
  });
  std::thread client([&] {
    for (std::size_t at = 0, size = 1000; at < kClientBytes; at += size) {
      size =
          std::min<std::size_t>(size == 1000 ? 70000 : 1000, kClientBytes - at);
      WfSimClientSend(sent.data() + at, static_cast<std::uint32_t>(size));
    }
  });
  std::atomic<int> failed_writes{0};
  auto writer = [&](std::uint8_t mark) {
    for (int i = 0; i < kWrites; ++i) {
      if (WriteOnce(channel_, std::vector<std::uint8_t>(20, mark)) != 20)
        ++failed_writes;
    }
  };
  std::thread writer_a(writer, std::uint8_t{'A'});
  std::thread writer_b(writer, std::uint8_t{'B'});
  client.join();
  writer_a.join();
  writer_b.join();
  reader.join();
  EXPECT_EQ(received, sent);
  EXPECT_EQ(failed_writes.load(), 0);
  EXPECT_EQ(WfSimWaitForWritten(std::uint64_t{2} * kWrites * 20, kWaitMs), 0);
  // Each write's 20 bytes stay together: writes are not torn.
  const std::vector<std::uint8_t> written = TakeAllWritten();
  ASSERT_EQ(written.size(), std::uint64_t{2} * kWrites * 20);
  for (std::size_t at = 0; at < written.size(); at += 20) {
    for (std::size_t i = 1; i < 20; ++i)
      ASSERT_EQ(written[at + i], written[at]);
  }
  EXPECT_EQ(WfSimWriteRecordCount(), 2u * kWrites);
}

}  // namespace
