// Loads the library by path, as a host does, and checks what it writes.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include "qvctx/wfapi64_sim.h"
#endif
#include "support/test_support.h"

namespace {

using Int32Fn = std::int32_t (*)();

class LoadLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qvctx_test::CreateLogFolder();
    qvctx_test::RemoveLogFile();
  }
};

TEST_F(LoadLibraryTest, FirstCallWritesBannerThenItsLineWithPlatformLineEnds) {
  {
    qvctx_test::LoadedLibrary library(qvctx_test::LibraryPath("qvctx"));
    ASSERT_TRUE(library.ok());
    // Loading writes nothing.
    EXPECT_FALSE(qvctx_test::LogFileExists());
    auto session_info = library.Function<Int32Fn>("ServerSessionInfo");
    ASSERT_NE(session_info, nullptr);
    EXPECT_EQ(session_info(), 0);
  }
  const std::string bytes = qvctx_test::ReadLogBytes();
  const std::string end = qvctx_test::LineEnd();
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < bytes.size()) {
    const std::size_t stop = bytes.find(end, start);
    ASSERT_NE(stop, std::string::npos) << "line without its line end";
    lines.push_back(bytes.substr(start, stop - start));
    start = stop + end.size();
  }
  // Ten banner lines, the entry point's line and, from the unload, the
  // writer's closing line.
  ASSERT_EQ(lines.size(), 12u) << bytes;
  EXPECT_NE(lines[0].find("====== BEGIN:: qvRemote CITRIX module =========== "),
            std::string::npos);
  for (std::size_t i = 0; i < 11; ++i) {
    EXPECT_EQ(lines[i].rfind("Info - ", 0), 0u) << lines[i];
    EXPECT_EQ(lines[i].find('\r'), std::string::npos)
        << "stray CR in line " << i;
  }
  EXPECT_EQ(lines[10].substr(lines[10].find(" \t")),
            " \tServerSessionInfo:: Entering function");
  EXPECT_EQ(lines[11].substr(lines[11].find(" \t")),
            " \t===============Finish Loging================");
}

TEST_F(LoadLibraryTest, UnloadWithoutAWriterWritesNothing) {
  {
    qvctx_test::LoadedLibrary library(qvctx_test::LibraryPath("qvctx"));
    ASSERT_TRUE(library.ok());
  }
  EXPECT_FALSE(qvctx_test::LogFileExists());
}

#if !defined(_WIN32)
// A library moved with its platform library into a folder of their own binds
// the one beside it, even when the process already holds another of that
// name (this program's own simulator), which a search by name alone would
// find before any run path.
TEST_F(LoadLibraryTest, BindsThePlatformLibraryBesideItself) {
  namespace fs = std::filesystem;
  const fs::path folder = qvctx_test::DriveCPath("beside");
  fs::remove_all(folder);
  fs::create_directories(folder);
  for (const char* name : {"qvctx", "wfapi64"}) {
    fs::copy_file(qvctx_test::LibraryPath(name),
                  folder / fs::path(qvctx_test::LibraryPath(name)).filename());
  }
  WfSimReset();
  {
    qvctx_test::LoadedLibrary library((folder / "libqvctx.so").string());
    ASSERT_TRUE(library.ok());
    qvctx_test::LoadedLibrary beside((folder / "libwfapi64.so").string());
    ASSERT_TRUE(beside.ok());
    const auto opens_beside = [&] {
      return beside.Function<decltype(&WfSimCallCount)>("WfSimCallCount")(
          WFSIM_OPEN);
    };
    EXPECT_EQ(library.Function<Int32Fn>("ServerStartSession")(), 0);
    EXPECT_EQ(opens_beside(), 1u);
    EXPECT_EQ(WfSimCallCount(WFSIM_OPEN), 0u);
    EXPECT_EQ(library.Function<Int32Fn>("ServerCloseSession")(), 0);
  }
  fs::remove_all(folder);
}
#endif

}  // namespace
