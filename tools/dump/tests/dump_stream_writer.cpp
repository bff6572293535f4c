// Writes the test recordings for the qvctx-dump tool test: PREFIX.client.bin,
// PREFIX.server.bin and, for --direction, the client's stream once more as
// PREFIX.other.dat; and a timed recording, timed.server.bin and
// timed.client.bin, with fixed times: calls 257 and 514 answered out of
// order, call 771 never answered, an answer to no call (2457) and a last
// chunk cut off.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "test_streams.h"
#include "wfsim/recording/recording_format.h"
#include "wfsim/stream/package_format.h"

namespace {

bool Write(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written =
      std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

// One timed chunk: time, count, bytes.
void AddChunk(std::vector<std::uint8_t>* file, std::uint64_t micros,
              const std::vector<std::uint8_t>& bytes) {
  std::uint8_t header[wfsim::kChunkHeaderSize];
  qvctx::StoreLe32(header, static_cast<std::uint32_t>(micros));
  qvctx::StoreLe32(header + 4, static_cast<std::uint32_t>(micros >> 32));
  qvctx::StoreLe32(header + 8, static_cast<std::uint32_t>(bytes.size()));
  file->insert(file->end(), header, header + sizeof header);
  file->insert(file->end(), bytes.begin(), bytes.end());
}

std::vector<std::uint8_t> TimedFile(std::uint32_t direction) {
  std::vector<std::uint8_t> file(wfsim::kRecordingHeaderSize);
  std::copy(wfsim::kRecordingMagic,
            wfsim::kRecordingMagic + wfsim::kRecordingMagicSize, file.begin());
  qvctx::StoreLe32(&file[8], wfsim::kRecordingVersion);
  qvctx::StoreLe32(&file[12], direction);
  return file;
}

std::vector<std::uint8_t> Package(std::uint16_t fnc_typ, std::uint32_t id) {
  const std::uint8_t stamps[16] = {};
  const std::uint8_t payload[3] = {0x61, 0x62, 0x63};
  return wfsim::BuildPackage(fnc_typ, id, stamps, payload, sizeof payload);
}

bool WriteTimed(const std::string& prefix) {
  constexpr std::uint64_t kStart = 1700000000000000;
  std::vector<std::uint8_t> server = TimedFile(wfsim::kRecordedFromServer);
  std::vector<std::uint8_t> call_b = Package(qvctx::kFarFunctionType, 514);
  AddChunk(&server, kStart, Package(qvctx::kFarFunctionType, 257));
  // Call 514 in two writes, completed by the second.
  AddChunk(&server, kStart + 50, {call_b.begin(), call_b.begin() + 20});
  AddChunk(&server, kStart + 100, {call_b.begin() + 20, call_b.end()});
  AddChunk(&server, kStart + 200, Package(qvctx::kFarFunctionType, 771));
  std::vector<std::uint8_t> client = TimedFile(wfsim::kRecordedFromClient);
  AddChunk(&client, kStart + 350, Package(qvctx::kResultType, 514));
  AddChunk(&client, kStart + 400, Package(qvctx::kEventType, 9));
  AddChunk(&client, kStart + 600, Package(qvctx::kResultType, 257));
  AddChunk(&client, kStart + 700, Package(qvctx::kResultType, 2457));
  AddChunk(&client, kStart + 800, Package(qvctx::kResultType, 771));
  client.resize(client.size() - 5);  // the disk filled up
  return Write(prefix + ".server.bin", server) &&
         Write(prefix + ".client.bin", client);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: dump_stream_writer PREFIX\n");
    return 2;
  }
  const std::string prefix = argv[1];
  const std::vector<std::uint8_t> client = qvdump_test::ClientStream();
  if (!Write(prefix + ".client.bin", client) ||
      !Write(prefix + ".server.bin", qvdump_test::ServerStream()) ||
      !Write(prefix + ".other.dat", client) || !WriteTimed("timed")) {
    std::fprintf(stderr, "dump_stream_writer: cannot write %s.*\n",
                 prefix.c_str());
    return 1;
  }
  return 0;
}
