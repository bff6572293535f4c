// The built-in client: far-function calls answered with result packages
// whatever the write boundaries, events and packages queued on request.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "sim_test_support.h"

namespace {

using qvctx::kPackageHeadSize;
using qvctx::LoadLe16;
using qvctx::LoadLe32;
using sim_test::FarFunction;
using sim_test::ReadOnce;
using sim_test::WriteOnce;

// One package read back from the channel, its header taken apart.
struct Package {
  std::uint16_t fnc_typ;
  std::uint16_t magic;
  std::uint32_t message_id;
  std::uint32_t datasize;
  std::uint32_t length2;
  std::uint16_t reserved;
  std::uint32_t stamps[4];
  std::string payload;
};

class SimBuiltInClientTest : public sim_test::SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    channel_ = OpenChannel();
    ASSERT_NE(channel_, nullptr);
  }

  // Everything queued for the server, split into packages by datasize.
  std::vector<Package> ReadPackages() {
    std::vector<std::uint8_t> bytes;
    for (std::vector<std::uint8_t> piece;
         !(piece = ReadOnce(channel_, 2044)).empty();) {
      bytes.insert(bytes.end(), piece.begin(), piece.end());
    }
    std::vector<Package> packages;
    std::size_t at = 0;
    while (bytes.size() - at >= kPackageHeadSize) {
      const std::uint8_t* h = bytes.data() + at;
      Package p{LoadLe16(h),
                LoadLe16(h + 2),
                LoadLe32(h + 4),
                LoadLe32(h + 8),
                LoadLe32(h + 12),
                LoadLe16(h + 16),
                {},
                {}};
      for (std::size_t i = 0; i < 4; ++i)
        p.stamps[i] = LoadLe32(h + 18 + 4 * i);
      if (p.datasize < kPackageHeadSize || p.datasize > bytes.size() - at)
        break;
      p.payload.assign(reinterpret_cast<const char*>(h) + kPackageHeadSize,
                       p.datasize - kPackageHeadSize);
      packages.push_back(p);
      at += p.datasize;
    }
    EXPECT_EQ(at, bytes.size()) << "bytes behind the last whole package";
    return packages;
  }

  // Writes `bytes` in chunks of at most `chunk`, as the bulk sender does.
  void WriteInChunks(const std::vector<std::uint8_t>& bytes,
                     std::size_t chunk) {
    for (std::size_t at = 0; at < bytes.size(); at += chunk) {
      const std::size_t end = std::min(bytes.size(), at + chunk);
      ASSERT_EQ(
          WriteOnce(channel_, std::vector<std::uint8_t>(bytes.begin() + at,
                                                        bytes.begin() + end)),
          static_cast<std::int64_t>(end - at));
    }
  }

  void* channel_ = nullptr;
};

void ExpectResultFor(const Package& answer, std::uint32_t message_id,
                     const std::string& payload) {
  EXPECT_EQ(answer.fnc_typ, 2);
  EXPECT_EQ(answer.magic, 10001);
  EXPECT_EQ(answer.message_id, message_id);
  EXPECT_EQ(answer.datasize, kPackageHeadSize + payload.size());
  EXPECT_EQ(answer.length2, answer.datasize);
  EXPECT_EQ(answer.reserved, 0);
  for (std::uint32_t i = 0; i < 4; ++i) EXPECT_EQ(answer.stamps[i], i + 1);
  EXPECT_EQ(answer.payload, payload);
}

TEST_F(SimBuiltInClientTest, AnswersAFarFunctionWithAResultPackage) {
  WfSimSetBuiltInClient(1);
  EXPECT_EQ(WriteOnce(channel_, FarFunction(0x1234, "hello")), 39);
  EXPECT_EQ(WfSimAnsweredCount(), 1u);
  const std::vector<Package> answers = ReadPackages();
  ASSERT_EQ(answers.size(), 1u);
  ExpectResultFor(answers[0], 0x1234, "hello");
  // The written bytes are recorded as well.
  EXPECT_EQ(sim_test::TakeAllWritten(), FarFunction(0x1234, "hello"));
}

// A client send is copied in blocks outside the lock; answers made
// meanwhile queue behind it, never inside it.
TEST_F(SimBuiltInClientTest, AnswersNeverLandInsideAClientSend) {
  WfSimSetBuiltInClient(1);
  const std::vector<std::uint8_t> block(std::size_t{4} << 20, 0xEE);
  std::atomic<bool> sent{false};
  std::thread writer([&] {
    // Message ids below 200: no byte of an answer is 0xEE.
    for (std::uint32_t i = 0; i < 5000 && !sent.load(); ++i) {
      WriteOnce(channel_, FarFunction(1 + i % 199, "x"));
    }
  });
  WfSimClientSend(block.data(), static_cast<std::uint32_t>(block.size()));
  sent = true;
  writer.join();
  std::vector<std::uint8_t> stream;
  for (std::vector<std::uint8_t> piece;
       !(piece = ReadOnce(channel_, 2044)).empty();) {
    stream.insert(stream.end(), piece.begin(), piece.end());
  }
  const auto first = std::find(stream.begin(), stream.end(), 0xEE);
  ASSERT_GE(static_cast<std::size_t>(stream.end() - first), block.size());
  EXPECT_TRUE(std::all_of(first,
                          first + static_cast<std::ptrdiff_t>(block.size()),
                          [](std::uint8_t b) { return b == 0xEE; }));
  EXPECT_EQ(std::count(stream.begin(), stream.end(), 0xEE),
            static_cast<std::ptrdiff_t>(block.size()));
}

TEST_F(SimBuiltInClientTest, AnswersWithoutKeepingWrittenBytesWhenAsked) {
  WfSimSetBuiltInClient(1);
  WfSimSetKeepWritten(0);
  EXPECT_EQ(WriteOnce(channel_, FarFunction(0x55, "long run")), 42);
  EXPECT_EQ(WfSimWrittenTotal(), 42u);
  EXPECT_EQ(WfSimWrittenAvailable(), 0u);
  const std::vector<Package> answers = ReadPackages();
  ASSERT_EQ(answers.size(), 1u);
  ExpectResultFor(answers[0], 0x55, "long run");

  WfSimReset();  // keeping is the default again
  channel_ = OpenChannel();
  EXPECT_EQ(WriteOnce(channel_, FarFunction(0x56, "x")), 35);
  EXPECT_EQ(WfSimWrittenAvailable(), 35u);
}

TEST_F(SimBuiltInClientTest, ReassemblesAPackageWrittenInChunksOf2010) {
  WfSimSetBuiltInClient(1);
  std::string payload(5000, '\0');
  for (std::size_t i = 0; i < payload.size(); ++i) {
    payload[i] = static_cast<char>('a' + i % 26);
  }
  const std::vector<std::uint8_t> package = FarFunction(77, payload);
  WriteInChunks(
      std::vector<std::uint8_t>(package.begin(), package.begin() + 4020), 2010);
  EXPECT_EQ(WfSimPendingReadBytes(), 0u);  // nothing until the package is whole
  WriteInChunks(
      std::vector<std::uint8_t>(package.begin() + 4020, package.end()), 2010);
  const std::vector<Package> answers = ReadPackages();
  ASSERT_EQ(answers.size(), 1u);
  ExpectResultFor(answers[0], 77, payload);
}

TEST_F(SimBuiltInClientTest, AnswersEveryPackageOfAStreamCutAnywhere) {
  WfSimSetBuiltInClient(1);
  std::vector<std::uint8_t> stream;
  for (std::uint32_t id = 1; id <= 20; ++id) {
    const std::vector<std::uint8_t> p =
        FarFunction(id, std::string(std::size_t{id} * 37, 'x'));
    stream.insert(stream.end(), p.begin(), p.end());
  }
  // Odd chunk sizes put write boundaries inside headers and payloads alike.
  WriteInChunks(stream, 13);
  const std::vector<Package> answers = ReadPackages();
  ASSERT_EQ(answers.size(), 20u);
  for (std::uint32_t id = 1; id <= 20; ++id) {
    ExpectResultFor(answers[id - 1], id,
                    std::string(std::size_t{id} * 37, 'x'));
  }
  EXPECT_EQ(WfSimAnsweredCount(), 20u);
  EXPECT_EQ(WfSimUnframedBytes(), 0u);
}

TEST_F(SimBuiltInClientTest, SeveralPackagesInOneWriteAreEachAnswered) {
  WfSimSetBuiltInClient(1);
  std::vector<std::uint8_t> stream;
  for (std::uint32_t id = 1; id <= 3; ++id) {
    const std::vector<std::uint8_t> p = FarFunction(id, "p");
    stream.insert(stream.end(), p.begin(), p.end());
  }
  EXPECT_EQ(WriteOnce(channel_, stream),
            static_cast<std::int64_t>(stream.size()));
  EXPECT_EQ(ReadPackages().size(), 3u);
}

TEST_F(SimBuiltInClientTest, OnlyFarFunctionsWithAMessageIdAreAnswered) {
  WfSimSetBuiltInClient(1);
  for (const std::uint16_t type : {1, 2, 3}) {
    std::vector<std::uint8_t> p = FarFunction(5, "typed");
    p[0] = static_cast<std::uint8_t>(type);
    WriteOnce(channel_, p);
  }
  WriteOnce(channel_, FarFunction(0, "no id"));
  EXPECT_EQ(WfSimAnsweredCount(), 0u);
  EXPECT_EQ(WfSimPendingReadBytes(), 0u);
  // The stream stayed in step: the next call is answered.
  WriteOnce(channel_, FarFunction(6, "after"));
  const std::vector<Package> answers = ReadPackages();
  ASSERT_EQ(answers.size(), 1u);
  ExpectResultFor(answers[0], 6, "after");
  EXPECT_EQ(WfSimUnframedBytes(), 0u);
}

TEST_F(SimBuiltInClientTest, SkipsBytesThatBeginNoPackageAndFallsIntoStep) {
  WfSimSetBuiltInClient(1);
  std::vector<std::uint8_t> stream = {0xFF, 0x00, 0x11, 0x27, 0x42};
  const std::vector<std::uint8_t> p = FarFunction(8, "resync");
  stream.insert(stream.end(), p.begin(), p.end());
  WriteInChunks(stream, 2010);
  EXPECT_EQ(WfSimUnframedBytes(), 5u);
  const std::vector<Package> answers = ReadPackages();
  ASSERT_EQ(answers.size(), 1u);
  ExpectResultFor(answers[0], 8, "resync");
  // 40 bytes with no magic: skipped down to the 33 that wait for more.
  WriteOnce(channel_, std::vector<std::uint8_t>(40, 0x5A));
  EXPECT_EQ(WfSimUnframedBytes(), 12u);
  // Bytes that are all the magic's low byte, then a header: each is skipped.
  std::vector<std::uint8_t> run(3000, 0x11);
  const std::vector<std::uint8_t> q = FarFunction(9, "far");
  run.insert(run.end(), q.begin(), q.end());
  WriteOnce(channel_, run);
  EXPECT_EQ(WfSimUnframedBytes(), 12u + 33u + 3000u);
  ASSERT_EQ(ReadPackages().size(), 1u);
}

TEST_F(SimBuiltInClientTest,
       IsOffByDefaultAndTurningItOffDropsAPartialPackage) {
  WriteOnce(channel_, FarFunction(1, "ignored"));
  EXPECT_EQ(WfSimPendingReadBytes(), 0u);

  WfSimSetBuiltInClient(1);
  const std::vector<std::uint8_t> half_done = FarFunction(2, "half");
  WriteOnce(channel_, std::vector<std::uint8_t>(half_done.begin(),
                                                half_done.begin() + 20));
  WfSimSetBuiltInClient(0);
  WfSimSetBuiltInClient(1);
  WriteOnce(channel_, FarFunction(3, "whole"));
  const std::vector<Package> answers = ReadPackages();
  ASSERT_EQ(answers.size(), 1u);
  ExpectResultFor(answers[0], 3, "whole");
}

TEST_F(SimBuiltInClientTest, EventsAndPackagesAreQueuedOnRequest) {
  ASSERT_EQ(WfSimClientSendEvent(0x0102, "abc", 3), 0);
  ASSERT_EQ(WfSimClientSendPackage(3, 9, nullptr, 0), 0);
  EXPECT_EQ(WfSimClientSendEvent(1, nullptr, 5), 1);
  EXPECT_EQ(WfSimClientSendPackage(2, 1, "x", 0xFFFFFFF0u), 1);
  const std::vector<Package> packages = ReadPackages();
  ASSERT_EQ(packages.size(), 2u);
  EXPECT_EQ(packages[0].fnc_typ, 1);
  EXPECT_EQ(packages[0].magic, 10001);
  EXPECT_EQ(packages[0].message_id, 0x0102u);
  EXPECT_EQ(packages[0].datasize, 37u);
  EXPECT_EQ(packages[0].length2, 37u);
  EXPECT_EQ(packages[0].payload, "abc");
  EXPECT_EQ(packages[1].fnc_typ, 3);
  EXPECT_EQ(packages[1].datasize, 34u);
  EXPECT_EQ(packages[1].stamps[0], 0u);
}

}  // namespace
