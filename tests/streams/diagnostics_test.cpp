// Diagnostic output and fatal faults.
#include <gtest/gtest.h>

#include <csetjmp>
#include <string>

#include "core/fault.h"
#include "streams/diagnostics.h"
#include "support/memory_fixture.h"

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

TEST(Fault, WithoutAnAbortRecordTheProcessEnds) {
  EXPECT_EXIT(LV_raise_fault("stack smashed"), testing::ExitedWithCode(255), "^\n! stack smashed\n$");
}

TEST(Fault, JumpsToTheAbortRecordOnce) {
  int status = run_to_abort([] { LV_raise_fault("first"); });
  EXPECT_EQ(status, 3);
  // The record was unregistered before the jump.
  EXPECT_EQ(lv_get_abort_env(), nullptr);
}

}  // namespace
