// Diagnostic output and fatal faults.
#include <gtest/gtest.h>

#include <string>

#include "streams/diagnostics.h"

namespace {

TEST(Diagnostics, TtyPrintfWritesToUserError) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(lv_ttyprintf("%%%% GC: %d cells\n", 42), 0);
  EXPECT_EQ(lv_ttyflush(), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "%% GC: 42 cells\n");
}

TEST(Diagnostics, TtyPrintfCutsAtTheFormattingBuffer) {
  std::string text(3000, 'x');
  testing::internal::CaptureStderr();
  lv_ttyprintf("%s", text.c_str());
  EXPECT_EQ(testing::internal::GetCapturedStderr().size(), 2047u);
}

TEST(Diagnostics, ErrprintfChoosesItsStream) {
  testing::internal::CaptureStderr();
  testing::internal::CaptureStdout();
  errprintf(0, "to %s", "stderr");
  errprintf(16, "to %s", "stdout");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "to stdout");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "\nto stderr");
}

}  // namespace
