// The profile-file reading of the platform layer: the real Windows functions
// in the Windows build, the library's own reader in the Linux build. Both
// builds run every case, so the reader is held to what Windows does.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "platform/platform.h"
#include "profile_cases.h"
#include "support/test_support.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

constexpr char kFile[] = "C:\\temp\\profile_test\\case.ini";

class ProfileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MakeFolder("temp");
    MakeFolder("temp\\profile_test");
  }
  void TearDown() override {
    std::remove(qvctx_test::DriveCPath("temp\\profile_test\\case.ini").c_str());
    RemoveFolder("temp\\profile_test\\case.ini");
    RemoveFolder("temp\\profile_test");
  }

  static void MakeFolder(const std::string& relative) {
    const std::string path = qvctx_test::DriveCPath(relative);
#if defined(_WIN32)
    CreateDirectoryA(path.c_str(), nullptr);
#else
    mkdir(path.c_str(), 0755);
#endif
  }
  static void RemoveFolder(const std::string& relative) {
    const std::string path = qvctx_test::DriveCPath(relative);
#if defined(_WIN32)
    RemoveDirectoryA(path.c_str());
#else
    rmdir(path.c_str());
#endif
  }
  static void Write(const std::string& bytes) {
    std::ofstream out(qvctx_test::DriveCPath("temp\\profile_test\\case.ini"),
                      std::ios::binary | std::ios::trunc);
    out << bytes;
    ASSERT_TRUE(out.good());
  }
  static std::string Text(const char* section, const char* key,
                          const char* default_value, std::uint32_t size = 256) {
    char buffer[512];
    std::memset(buffer, 'Z', sizeof(buffer));
    const std::uint32_t length = qvctx::port::ReadProfileString(
        section, key, default_value, buffer, size, kFile);
    EXPECT_EQ(length, std::strlen(buffer)) << "result and text disagree";
    return buffer;
  }
};

TEST_F(ProfileTest, NumbersReadAlikeOnBothBuilds) {
  for (const qvctx_test::NumberCase& number : qvctx_test::kNumberCases) {
    Write(std::string("[s]\r\nk=") + number.value + "\r\n");
    EXPECT_EQ(qvctx::port::ReadProfileInt("s", "k", 777, kFile),
              number.expected)
        << "value [" << number.value << "]";
  }
}

TEST_F(ProfileTest, MissingFileSectionKeyOrValueGivesTheDefault) {
  EXPECT_EQ(qvctx::port::ReadProfileInt("s", "k", 5, kFile), 5U);
  EXPECT_EQ(Text("s", "k", "d"), "d");
  Write("[s]\r\nk=1\r\nnovalue\r\nempty=\r\n[t]\r\n");
  EXPECT_EQ(qvctx::port::ReadProfileInt("x", "k", 5, kFile), 5U);
  EXPECT_EQ(qvctx::port::ReadProfileInt("t", "k", 5, kFile), 5U);
  EXPECT_EQ(qvctx::port::ReadProfileInt("s", "other", -5, kFile),
            static_cast<std::uint32_t>(-5));
  EXPECT_EQ(qvctx::port::ReadProfileInt("s", "novalue", 5, kFile), 5U);
  EXPECT_EQ(qvctx::port::ReadProfileInt("s", "empty", 5, kFile), 5U);
  EXPECT_EQ(Text("x", "k", "d"), "d");
  EXPECT_EQ(Text("s", "novalue", "d"), "d");
  // An empty value is a value: the text comes back empty.
  EXPECT_EQ(Text("s", "empty", "d"), "");
}

TEST_F(ProfileTest, AFolderInPlaceOfTheFileGivesTheDefault) {
  ProfileTest::MakeFolder("temp\\profile_test\\case.ini");
  EXPECT_EQ(qvctx::port::ReadProfileInt("s", "k", 43, kFile), 43U);
  EXPECT_EQ(Text("s", "k", "d"), "d");
}

TEST_F(ProfileTest, NamesAskedForAreTrimmedAndCaseBlind) {
  Write("[Server]\r\nPort=80\r\n");
  EXPECT_EQ(qvctx::port::ReadProfileInt(" SERVER ", "\tport ", 1, kFile), 80U);
  EXPECT_EQ(Text("server", "PORT", "d"), "80");
}

TEST_F(ProfileTest, TextIsCutToTheBufferLessOne) {
  Write("[s]\r\nk=abc\r\nlong=" + std::string(300, 'x') + "\r\n");
  EXPECT_EQ(Text("s", "k", "d", 1), "");
  EXPECT_EQ(Text("s", "k", "d", 2), "a");
  EXPECT_EQ(Text("s", "k", "d", 3), "ab");
  EXPECT_EQ(Text("s", "k", "d", 4), "abc");
  EXPECT_EQ(Text("s", "long", "d"), std::string(255, 'x'));
  EXPECT_EQ(Text("s", "missing", "default", 4), "def");
}

TEST_F(ProfileTest, QuotedTextKeepsItsClosingQuoteOnlyWhenItFitted) {
  Write("[s]\r\nk='ab'\r\nthree=\"\"\"\r\nfour=\"a\"\"\r\n");
  EXPECT_EQ(Text("s", "k", "d", 1), "");
  EXPECT_EQ(Text("s", "k", "d", 2), "a");
  EXPECT_EQ(Text("s", "k", "d", 3), "a");
  EXPECT_EQ(Text("s", "k", "d", 4), "ab");
  EXPECT_EQ(Text("s", "three", "d"), "\"");
  EXPECT_EQ(Text("s", "four", "d"), "a\"");
}

TEST_F(ProfileTest, TheDefaultLosesTrailingSpacesAndItsQuotes) {
  Write("[s]\r\n");
  EXPECT_EQ(Text("s", "k", "  spaced  "), "  spaced");
  // Only spaces, and never the first character.
  EXPECT_EQ(Text("s", "k", "tab\t"), "tab\t");
  EXPECT_EQ(Text("s", "k", "a \t "), "a \t");
  EXPECT_EQ(Text("s", "k", "  "), " ");
  EXPECT_EQ(Text("s", "k", "\"q\"  "), "q");
  EXPECT_EQ(Text("s", "k", "\"quoted\""), "quoted");
  EXPECT_EQ(Text("s", "k", "\"dq\"", 2), "d");
  EXPECT_EQ(Text("s", "k", "\"dq\"", 3), "d");
  EXPECT_EQ(Text("s", "k", ""), "");
}

TEST_F(ProfileTest, ASizeOfZeroWritesNothing) {
  Write("[s]\r\nk=abc\r\n");
  char buffer[4] = {'Z', 'Z', 'Z', 'Z'};
  EXPECT_EQ(qvctx::port::ReadProfileString("s", "k", "d", buffer, 0, kFile),
            0U);
  EXPECT_EQ(buffer[0], 'Z');
}

TEST_F(ProfileTest, AnEmptyFileOrAHeaderAloneGivesTheDefault) {
  Write("");
  EXPECT_EQ(qvctx::port::ReadProfileInt("s", "k", 7, kFile), 7U);
  Write("[s]");
  EXPECT_EQ(qvctx::port::ReadProfileInt("s", "k", 7, kFile), 7U);
  Write("[s]\r\nk");
  EXPECT_EQ(Text("s", "k", "d"), "d");
}

}  // namespace
