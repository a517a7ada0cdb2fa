// Trace lines, assertion reports and the debug break of the I/O layer.
#include "lvio/trace.h"

#include <unistd.h>

#include <cinttypes>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "lvio/settings.h"

std::atomic<int> lvio_debug_break_release{0};

namespace {

constexpr int DEFAULT_TRACE_LEVEL = 2;
constexpr int DEFAULT_ASSERTION_LEVEL = 2;
constexpr int ASSERTION_ABORT = 3;
// Raised to this while the trace file is chosen, so that the settings
// lookups made on the way write no trace lines.
constexpr int TRACE_LEVEL_CHOOSING = 100000;

std::atomic<int> trace_level{DEFAULT_TRACE_LEVEL};
std::atomic<int> assertion_level{DEFAULT_ASSERTION_LEVEL};
std::atomic<pid_t> main_thread{0};
// Chosen once, by the main thread only, and never closed.
FILE* trace_file;

const char* const HASHES = "################################################\n";

FILE* choose_trace_file() {
  if (!lvio_on_main_thread()) return stderr;
  if (trace_file != nullptr) return trace_file;
  int level = trace_level.exchange(TRACE_LEVEL_CHOOSING);
  char path[321];
  size_t size = sizeof path;
  bool named = lvio_setting_get("LVIO_TRACE_FILE", path, &size, 0) >= 0;
  fprintf(stderr, "LVIO_TRACE_FILE == %s%s%s\n", named ? "\"" : "", named ? path : "NULL", named ? "\"" : "");
  // "e": close-on-exec, so that child processes do not inherit it.
  FILE* file = named ? fopen(path, "w+e") : nullptr;
  if (file == nullptr) {
    char fd[30];
    size = sizeof fd;
    bool to_stdout = lvio_setting_get("LVIO_TRACE_FD", fd, &size, 0) >= 0 && strtol(fd, nullptr, 0) == 1;
    file = to_stdout ? stdout : stderr;
  }
  trace_file = file;
  trace_level.store(level);
  return file;
}

// One line, written with a single call and flushed.
void write_line(const char* function, const char* file, int line, const char* text, const char* values,
                const char* message) {
  FILE* out = choose_trace_file();
  fprintf(out, "\n%s:%d %s%s0x%" PRIx64 "@%" PRIu64 " LVIO %s %s %s\n", file != nullptr ? file : "", line,
          function != nullptr ? function : "", function != nullptr ? "() " : "", static_cast<uint64_t>(gettid()),
          static_cast<uint64_t>(getpid()), text != nullptr ? text : "", values, message != nullptr ? message : "");
  fflush(out);
}

void write_value(const char* function, const char* file, int line, const char* text, int64_t value,
                 const char* message) {
  char values[32];
  snprintf(values, sizeof values, "(%" PRId64 ")", value);
  write_line(function, file, line, text, values, message);
}

void write_pointer(const char* function, const char* file, int line, const char* text, const void* value,
                   const char* message) {
  char values[32];
  snprintf(values, sizeof values, "(%p)", value);
  write_line(function, file, line, text, values, message);
}

void write_values(const char* function, const char* file, int line, const char* text, int64_t value1, int64_t value2,
                  const char* message) {
  char values[64];
  snprintf(values, sizeof values, "(%" PRId64 ") (%" PRId64 ")", value1, value2);
  write_line(function, file, line, text, values, message);
}

int read_assertion_level() {
  static const struct {
    const char* name;
    int level;
  } levels[] = {{"disable", 0}, {"disabled", 0}, {"report", 1}, {"debug", 2}, {"abort", 3}};
  char text[47];
  size_t size = sizeof text;
  if (lvio_setting_get("LVIO_ASSERTION_LEVEL", text, &size, 0) < 0) return DEFAULT_ASSERTION_LEVEL;
  for (const auto& l : levels)
    if (strcmp(text, l.name) == 0) return l.level;
  return DEFAULT_ASSERTION_LEVEL;
}

}  // namespace

bool lvio_trace_enabled(int level) { return level >= trace_level.load(std::memory_order_relaxed); }

lvio_code lvio_trace_line(const char* function, const char* file, int line, const char* text, int64_t value,
                          const char* message, int level) {
  if (lvio_trace_enabled(level)) write_value(function, file, line, text, value, message);
  return 0;
}

lvio_code lvio_trace_line_ptr(const char* function, const char* file, int line, const char* text, const void* value,
                              const char* message, int level) {
  if (lvio_trace_enabled(level)) write_pointer(function, file, line, text, value, message);
  return 0;
}

lvio_code lvio_trace_line2(const char* function, const char* file, int line, const char* text, int64_t value1,
                           int64_t value2, const char* message, int level) {
  if (lvio_trace_enabled(level)) write_values(function, file, line, text, value1, value2, message);
  return 0;
}

lvio_code lvio_trace_print(const char* function, const char* file, int line, const char* text, int64_t value,
                           const char* message) {
  write_value(function, file, line, text, value, message);
  return 0;
}

lvio_code lvio_trace_print_ptr(const char* function, const char* file, int line, const char* text, const void* value,
                               const char* message) {
  write_pointer(function, file, line, text, value, message);
  return 0;
}

lvio_code lvio_trace_print2(const char* function, const char* file, int line, const char* text, int64_t value1,
                            int64_t value2, const char* message) {
  write_values(function, file, line, text, value1, value2, message);
  return 0;
}

lvio_code lvio_assert_failure(const char* function, const char* file, int line) {
  int level = assertion_level.load(std::memory_order_relaxed);
  if (level == 0) return 0;
  write_value(function, file, line, "ASSERTION ERROR!", 0, "");
  if (level == ASSERTION_ABORT) abort();
  return 0;
}

lvio_code lvio_debug_break(const char* file, int line) {
  FILE* out = choose_trace_file();
  fprintf(out, "\n\n%s%s##\n##\n## %s:%d Debug Break\n", HASHES, HASHES, file != nullptr ? file : "", line);
  fflush(out);
  fputs("##\n##\n## Waiting for debugger attach...\n", out);
  fflush(out);
  fprintf(out, "##\n## Waiting in tight loop (expect 100%% CPU)\n##\n%s%s", HASHES, HASHES);
  fflush(out);
  while (lvio_debug_break_release.load(std::memory_order_relaxed) == 0) __builtin_ia32_pause();
  return 0;
}

FILE* lvio_trace_stream_for(const void*, uint32_t flags) {
  if ((flags & 1) != 0) return stdout;
  if ((flags & 2) != 0) return stderr;
  return choose_trace_file();
}

bool lvio_on_main_thread() {
  pid_t self = gettid();
  pid_t recorded = 0;
  if (main_thread.compare_exchange_strong(recorded, self)) return true;
  return recorded == self;
}

lvio_code lvio_diagnostics_module(uint32_t flags) {
  if ((flags & 1) != 0) {
    main_thread.store(0);
    return 0;
  }
  int64_t level = lvio_setting_integer("LVIO_TRACE_LEVEL", DEFAULT_TRACE_LEVEL);
  trace_level.store(level < 0 ? 0 : level > INT_MAX ? INT_MAX : static_cast<int>(level));
  main_thread.store(gettid());
  assertion_level.store(read_assertion_level());
  return 0;
}
