// Diagnostic output: lv_ttyprintf before the standard streams exist, and
// the errprintf channel with and without its hook.
#include <gtest/gtest.h>

#include <string>

#include "streams/diagnostics.h"
#include "support/memory_fixture.h"

namespace {

using Diagnostics = MemoryTest;

TEST_F(Diagnostics, TtyPrintfWritesToDescriptor2BeforeTheStandardStreams) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(lv_ttyprintf("%%%% GC: %d cells\n", 42), 0);
  EXPECT_EQ(lv_ttyflush(), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "%% GC: 42 cells\n");
}

TEST_F(Diagnostics, TtyPrintfKeepsTextLongerThanTheFormattingBuffer) {
  for (size_t length : {2047u, 2048u, 3000u}) {
    std::string text(length, 'x');
    testing::internal::CaptureStderr();
    EXPECT_EQ(lv_ttyprintf("%s", text.c_str()), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), text);
  }
}

TEST_F(Diagnostics, ErrprintfChoosesItsStream) {
  testing::internal::CaptureStderr();
  testing::internal::CaptureStdout();
  errprintf(0, "to %s", "stderr");
  errprintf(LV_ERRPRINTF_STDOUT, "to %s", "stdout");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "to stdout");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "\nto stderr");
}

TEST_F(Diagnostics, AnErrprintfHookTakesEveryMessage) {
  static std::string seen;
  auto hook = +[](void* data, uint32_t flags, const char* format, va_list args) -> int {
    char text[64];
    vsnprintf(text, sizeof text, format, args);
    seen = std::string(static_cast<const char*>(data)) + std::to_string(flags) + ":" + text;
    return 7;
  };
  static const char tag[] = "tag";
  EXPECT_EQ(LV_set_errprintf_hook(hook, const_cast<char*>(tag)), nullptr);
  testing::internal::CaptureStderr();
  EXPECT_EQ(errprintf(3, "n=%d", 5), 7);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(seen, "tag3:n=5");
  EXPECT_EQ(LV_set_errprintf_hook(nullptr, nullptr), hook);
}

}  // namespace
