// Writes the test recordings for the qvctx-dump tool test: PREFIX.client.bin,
// PREFIX.server.bin and, for --direction, the client's stream once more as
// PREFIX.other.dat.
#include <cstdio>
#include <string>
#include <vector>

#include "test_streams.h"

namespace {

bool Write(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written =
      std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
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
      !Write(prefix + ".other.dat", client)) {
    std::fprintf(stderr, "dump_stream_writer: cannot write %s.*\n",
                 prefix.c_str());
    return 1;
  }
  return 0;
}
