// A host process of the load tests: loads the library by path, waits until
// the go file exists, calls one informational export `count` times, unloads.
//   load_test_writer EXPORT COUNT GO_FILE
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "support/test_support.h"

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  qvctx_test::LoadedLibrary library(qvctx_test::LibraryPath("qvctx"));
  const auto entry = library.Function<std::int32_t (*)()>(argv[1]);
  if (entry == nullptr) return 3;
  const auto deadline = std::chrono::steady_clock::now() + qvctx_test::kWait;
  for (;;) {
    if (std::FILE* go = std::fopen(argv[3], "rb")) {
      std::fclose(go);
      break;
    }
    if (std::chrono::steady_clock::now() > deadline) return 4;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  const long count = std::strtol(argv[2], nullptr, 10);
  for (long i = 0; i < count; ++i) {
    if (entry() != 0) return 5;
  }
  return 0;
}
