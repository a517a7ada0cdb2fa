// Trace lines, assertion reports, the debug break and bit scans.
#include "lvio/trace.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cinttypes>
#include <climits>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "lvio/bits.h"
#include "support/env.h"

namespace {

std::string prefix(const char* file, int line, const char* function) {
  char text[256];
  snprintf(text, sizeof text, "\n%s:%d %s%s0x%" PRIx64 "@%" PRIu64 " LVIO ", file, line,
           function != nullptr ? function : "", function != nullptr ? "() " : "", static_cast<uint64_t>(gettid()),
           static_cast<uint64_t>(getpid()));
  return text;
}

// Each test runs in a process of its own: the trace file is chosen once per
// process, on the first line written.

TEST(Trace, LineFormatsOnStandardError) {
  ScopedEnv env({{"LVIO_TRACE_FILE", nullptr}, {"LVIO_TRACE_FD", nullptr}});
  int x;
  testing::internal::CaptureStderr();
  lvio_trace_print("open_file", "async.cpp", 12, "opened", 42, "ok");
  lvio_trace_print_ptr(nullptr, "async.cpp", 13, "record", &x, nullptr);
  lvio_trace_print2("seek", "async.cpp", 14, "moved", -1, 9, "");
  std::string out = testing::internal::GetCapturedStderr();
  char pointer[32];
  snprintf(pointer, sizeof pointer, "(%p)", static_cast<void*>(&x));
  EXPECT_EQ(out, "LVIO_TRACE_FILE == NULL\n" + prefix("async.cpp", 12, "open_file") + "opened (42) ok\n" +
                     prefix("async.cpp", 13, nullptr) + "record " + pointer + " \n" + prefix("async.cpp", 14, "seek") +
                     "moved (-1) (9) \n");
}

TEST(Trace, LevelFiltersLines) {
  ScopedEnv env({{"LVIO_TRACE_LEVEL", "3"}, {"LVIO_TRACE_FILE", nullptr}, {"LVIO_TRACE_FD", nullptr}});
  ASSERT_EQ(lvio_diagnostics_module(0), 0);
  EXPECT_FALSE(lvio_trace_enabled(2));
  EXPECT_TRUE(lvio_trace_enabled(3));
  testing::internal::CaptureStderr();
  lvio_trace_line("f", "x.cpp", 1, "hidden", 0, nullptr, 2);
  lvio_trace_line_ptr("f", "x.cpp", 2, "hidden", nullptr, nullptr, 1);
  lvio_trace_line2("f", "x.cpp", 3, "hidden", 0, 0, nullptr, 2);
  lvio_trace_line("f", "x.cpp", 4, "shown", 7, nullptr, 3);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "LVIO_TRACE_FILE == NULL\n" + prefix("x.cpp", 4, "f") + "shown (7) \n");
  lvio_diagnostics_module(1);
}

TEST(Trace, LevelsAreCutToTheIntRange) {
  struct {
    const char* text;
    int level;
  } cases[] = {{"7", 7}, {"-5", 0}, {"99999999999", INT_MAX}, {"none", 0}, {nullptr, 2}};
  for (const auto& c : cases) {
    ScopedEnv env({{"LVIO_TRACE_LEVEL", c.text}});
    ASSERT_EQ(lvio_diagnostics_module(0), 0);
    EXPECT_TRUE(lvio_trace_enabled(c.level)) << c.text;
    EXPECT_FALSE(lvio_trace_enabled(c.level - 1)) << c.text;
  }
}

TEST(Trace, FileDescriptorOneMeansStandardOutput) {
  ScopedEnv env({{"LVIO_TRACE_FILE", nullptr}, {"LVIO_TRACE_FD", "1"}});
  ASSERT_EQ(lvio_diagnostics_module(0), 0);
  testing::internal::CaptureStderr();
  testing::internal::CaptureStdout();
  lvio_trace_print("f", "x.cpp", 5, "to stdout", 1, nullptr);
  // Lines of other threads always go to standard error.
  std::string other_prefix;
  std::thread other([&] {
    other_prefix = prefix("x.cpp", 6, "g");
    lvio_trace_print("g", "x.cpp", 6, "to stderr", 2, nullptr);
    EXPECT_FALSE(lvio_on_main_thread());
  });
  other.join();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), prefix("x.cpp", 5, "f") + "to stdout (1) \n");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "LVIO_TRACE_FILE == NULL\n" + other_prefix + "to stderr (2) \n");
  EXPECT_EQ(lvio_trace_stream_for(nullptr, 0), stdout);
  EXPECT_EQ(lvio_trace_stream_for(nullptr, 2), stderr);
  lvio_diagnostics_module(1);
}

TEST(Trace, NamedTraceFile) {
  std::string path = testing::TempDir() + "lvio_trace_" + std::to_string(getpid());
  ScopedEnv env({{"LVIO_TRACE_FILE", path.c_str()}});
  testing::internal::CaptureStderr();
  lvio_trace_print("f", "x.cpp", 7, "in the file", 3, "m");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "LVIO_TRACE_FILE == \"" + path + "\"\n");
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), prefix("x.cpp", 7, "f") + "in the file (3) m\n");
  // Like every descriptor of the layer, the trace file's is not inherited
  // by child processes.
  FILE* trace = lvio_trace_stream_for(nullptr, 0);
  ASSERT_NE(trace, stderr);
  EXPECT_EQ(fcntl(fileno(trace), F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
  unlink(path.c_str());
}

TEST(Trace, UnopenableTraceFileFallsBackToStandardError) {
  ScopedEnv env({{"LVIO_TRACE_FILE", "/nonexistent-dir/trace"}, {"LVIO_TRACE_FD", nullptr}});
  testing::internal::CaptureStderr();
  lvio_trace_print(nullptr, "x.cpp", 8, "fallback", 0, nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "LVIO_TRACE_FILE == \"/nonexistent-dir/trace\"\n" + prefix("x.cpp", 8, nullptr) + "fallback (0) \n");
}

TEST(Assertion, Levels) {
  struct {
    const char* setting;
    bool reported;
  } cases[] = {{"disable", false}, {"disabled", false}, {"report", true},
               {"debug", true},    {"Abort", true},     {nullptr, true}};
  ScopedEnv quiet({{"LVIO_TRACE_FILE", nullptr}, {"LVIO_TRACE_FD", nullptr}});
  lvio_trace_stream_for(nullptr, 0);  // choose the trace file now, quietly
  for (const auto& c : cases) {
    ScopedEnv env({{"LVIO_ASSERTION_LEVEL", c.setting}});
    ASSERT_EQ(lvio_diagnostics_module(0), 0);
    testing::internal::CaptureStderr();
    LVIO_ASSERT(1 + 1 == 3);
    std::string out = testing::internal::GetCapturedStderr();
    EXPECT_EQ(out.find("ASSERTION ERROR! (0) \n") != std::string::npos, c.reported) << out;
  }
}

TEST(Assertion, AbortLevelAborts) {
  ScopedEnv env({{"LVIO_ASSERTION_LEVEL", "abort"}, {"LVIO_TRACE_FILE", nullptr}, {"LVIO_TRACE_FD", nullptr}});
  ASSERT_EQ(lvio_diagnostics_module(0), 0);
  EXPECT_DEATH(lvio_assert_failure("check", "x.cpp", 9), "x.cpp:9 check\\(\\) .* LVIO ASSERTION ERROR! \\(0\\)");
}

TEST(DebugBreak, AnnouncesItselfAndWaitsForRelease) {
  ScopedEnv env({{"LVIO_TRACE_FILE", nullptr}, {"LVIO_TRACE_FD", nullptr}});
  lvio_debug_break_release.store(1);  // as a debugger would
  testing::internal::CaptureStderr();
  EXPECT_EQ(lvio_debug_break("x.cpp", 10), 0);
  std::string hashes(48, '#');
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "LVIO_TRACE_FILE == NULL\n\n\n" + hashes + "\n" + hashes +
                "\n##\n##\n## x.cpp:10 Debug Break\n##\n##\n## Waiting for debugger attach...\n"
                "##\n## Waiting in tight loop (expect 100% CPU)\n##\n" +
                hashes + "\n" + hashes + "\n");
}

TEST(MainThread, DiagnosticsStartRecordsTheCallingThread) {
  bool first_asker = false;
  std::thread early([&] { first_asker = lvio_on_main_thread(); });
  early.join();
  EXPECT_TRUE(first_asker);
  EXPECT_FALSE(lvio_on_main_thread());
  ASSERT_EQ(lvio_diagnostics_module(0), 0);
  EXPECT_TRUE(lvio_on_main_thread());
  lvio_diagnostics_module(1);
}

TEST(Bits, Scans) {
  struct {
    uint64_t word;
    int high32, lead32, high64, lead64;
  } cases[] = {
      {0, -1, 32, -1, 64},
      {1, 0, 31, 0, 63},
      {0x80000000u, 31, 0, 31, 32},
      {0x00F00000u, 23, 8, 23, 40},
      {uint64_t{1} << 63, -1, 32, 63, 0},
  };
  for (const auto& c : cases) {
    auto low = static_cast<uint32_t>(c.word);
    EXPECT_EQ(lvio_highest_bit32(low), c.high32) << c.word;
    EXPECT_EQ(lvio_leading_zeros32(low), c.lead32) << c.word;
    EXPECT_EQ(lvio_highest_bit64(c.word), c.high64) << c.word;
    EXPECT_EQ(lvio_leading_zeros64(c.word), c.lead64) << c.word;
  }
}

}  // namespace
