// A start whose read buffer cannot be allocated: the one failure of the start
// that no platform call causes, reached through the core's allocation seam.
#include <gtest/gtest.h>

#include <string>

#include "diagnostics/log_file.h"
#include "diagnostics/session_log.h"
#include "module/module_data.h"
#include "module/session.h"
#include "module/session_test_helper.h"
#include "qvctx/wfapi64_sim.h"
#include "support/test_support.h"

namespace qvctx {
namespace {

char* NoMemory(std::size_t) { return nullptr; }

TEST(SessionReadBufferTest, FailedAllocationEndsTheStartAfterTheSizeLine) {
  WfSimReset();
  qvctx_test::CreateLogFolder();
  SetReadBufferAllocatorForTesting(&NoMemory);
  EXPECT_EQ(StartSession(), 1);
  SetReadBufferAllocatorForTesting(nullptr);
  EXPECT_EQ(myModuleData.exitcode.load(), 0);
  EXPECT_EQ(myModuleData.GlobalReadDataTmpPtr, nullptr);
  EXPECT_EQ(WfSimOpenHandleCount(), 1u);
  EXPECT_EQ(WfSimHeldBufferCount(), 2u);

  const std::string text = FetchSessionLog();
  FreeSessionLog();
  const std::string size_line =
      "Info - ServerStartSession:: Sizeof PACKAGEHEAD = 34 ";
  ASSERT_GE(text.size(), size_line.size());
  EXPECT_EQ(text.substr(text.size() - size_line.size()), size_line);
  bool logged = false;
  for (const std::string& line : qvctx_test::ReadLogLines()) {
    logged |= line.rfind("ERROR - ", 0) == 0 &&
              line.find(" \tServerStartSession:: Error allocating memory") !=
                  std::string::npos;
  }
  EXPECT_TRUE(logged);

  EXPECT_EQ(CloseSession(), 0);
  EXPECT_EQ(WfSimOpenHandleCount(), 0u);
  EXPECT_EQ(WfSimHeldBufferCount(), 0u);
  const std::string close_text = FetchSessionLog();
  FreeSessionLog();
  EXPECT_EQ(
      close_text,
      "Info - ServerCloseSession:: Close all thread handles upon completion.! &"
      "Info - ServerCloseSession::WFFreeMemory1 done! &"
      "Info - ServerCloseSession::WFFreeMemory2 done! ");
}

}  // namespace
}  // namespace qvctx
