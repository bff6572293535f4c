// The platform services behind the choice of the configuration file and the
// names in the banner: path joining, the application-data folder, the
// computer and user names.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "support/test_support.h"

namespace {

std::string Append(const std::string& path, const char* more) {
  char buffer[qvctx::port::kMaxPathSize] = {};
  std::strncpy(buffer, path.c_str(), sizeof(buffer) - 1);
  if (!qvctx::port::AppendToPath(buffer, more)) return "<failed>";
  return buffer;
}

TEST(ConfigPlatformTest, AppendingPutsExactlyOneBackslashBetween) {
  const char* more = "\\Quorvel\\QVCTXExtension\\config.ini";
  EXPECT_EQ(Append("C:\\a", more),
            "C:\\a\\Quorvel\\QVCTXExtension\\config.ini");
  EXPECT_EQ(Append("C:\\a\\", "\\b"), "C:\\a\\b");
  EXPECT_EQ(Append("C:\\a\\", "b"), "C:\\a\\b");
  EXPECT_EQ(Append("C:\\a", "b"), "C:\\a\\b");
  EXPECT_EQ(Append("C:", "\\b"), "C:\\b");
  EXPECT_EQ(Append("", "\\b"), "b");
}

TEST(ConfigPlatformTest, AppendingFailsWhenThePathWouldNotFit) {
  // 259 characters fit with the NUL; 260 do not.
  const std::string base = "C:\\" + std::string(259 - 3 - 5, 'x');
  EXPECT_EQ(Append(base, "\\abcd"), base + "\\abcd");
  EXPECT_EQ(Append(base + "x", "\\abcd"), "<failed>");
}

TEST(ConfigPlatformTest, NamesComeWholeOrNotAtAll) {
  char name[qvctx::port::kMaxPathSize] = {};
  ASSERT_TRUE(qvctx::port::ComputerName(name, sizeof(name)));
  EXPECT_GT(std::strlen(name), 0U);
  char tiny[1] = {};
  EXPECT_FALSE(qvctx::port::ComputerName(tiny, sizeof(tiny)));

  ASSERT_TRUE(qvctx::port::UserName(name, sizeof(name)));
  EXPECT_GT(std::strlen(name), 0U);
  EXPECT_FALSE(qvctx::port::UserName(tiny, sizeof(tiny)));
}

#if !defined(_WIN32)

// Sets $XDG_CONFIG_HOME and $HOME for one test and puts them back after it.
class AppDataFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Save("XDG_CONFIG_HOME", xdg_, had_xdg_);
    Save("HOME", home_, had_home_);
  }
  void TearDown() override {
    qvctx_test::SetEnv("XDG_CONFIG_HOME", had_xdg_ ? xdg_.c_str() : nullptr);
    qvctx_test::SetEnv("HOME", had_home_ ? home_.c_str() : nullptr);
  }
  static std::string Folder() {
    char buffer[qvctx::port::kMaxPathSize] = {};
    if (!qvctx::port::AppDataFolder(buffer)) return "<none>";
    return buffer;
  }

 private:
  static void Save(const char* name, std::string& value, bool& had) {
    const char* current = std::getenv(name);  // NOLINT(concurrency-mt-unsafe)
    had = current != nullptr;
    value = had ? current : "";
  }
  std::string xdg_, home_;
  bool had_xdg_ = false, had_home_ = false;
};

TEST_F(AppDataFolderTest, ConfigHomeFirstThenHome) {
  qvctx_test::SetEnv("XDG_CONFIG_HOME", "/x/config");
  qvctx_test::SetEnv("HOME", "/h");
  EXPECT_EQ(Folder(), "/x/config");
  qvctx_test::SetEnv("XDG_CONFIG_HOME", nullptr);
  EXPECT_EQ(Folder(), "/h/.config");
  // Empty or relative values do not name a folder.
  qvctx_test::SetEnv("XDG_CONFIG_HOME", "");
  EXPECT_EQ(Folder(), "/h/.config");
  qvctx_test::SetEnv("XDG_CONFIG_HOME", "relative");
  EXPECT_EQ(Folder(), "/h/.config");
  qvctx_test::SetEnv("HOME", "relative");
  EXPECT_EQ(Folder(), "<none>");
  qvctx_test::SetEnv("HOME", nullptr);
  EXPECT_EQ(Folder(), "<none>");
}

TEST_F(AppDataFolderTest, AFolderTooLongForAPathIsNone) {
  const std::string long_folder = "/" + std::string(300, 'x');
  qvctx_test::SetEnv("XDG_CONFIG_HOME", long_folder.c_str());
  qvctx_test::SetEnv("HOME", long_folder.c_str());
  EXPECT_EQ(Folder(), "<none>");
}

TEST(ConfigPlatformTest, AFolderWithAPosixPathStaysValidAfterAppending) {
  EXPECT_EQ(Append("/x/config/", "\\Quorvel\\config.ini"),
            "/x/config\\Quorvel\\config.ini");
  EXPECT_EQ(qvctx::port::NativePath("/x/config\\Quorvel\\config.ini"),
            "/x/config/Quorvel/config.ini");
  EXPECT_EQ(Append("/", "\\b"), "/b");
  EXPECT_EQ(Append("/x//", "\\\\b"), "/x\\b");
}

#endif

}  // namespace
