// The standard streams over pipes and over a pseudo-terminal, the
// user-stream hooks, and the encoding they choose.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "core/atoms.h"
#include "core/error_codes.h"
#include "core/errors.h"
#include "core/predefined_atoms.h"
#include "lvio/allocator.h"
#include "lvio/environment.h"
#include "lvio/initialize.h"
#include "streams/std_streams.h"
#include "streams/stream_api.h"
#include "streams/stream_close.h"
#include "streams/stream_open.h"
#include "support/engine_fixture.h"
#include "support/temp_files.h"

namespace {

// Reads what has come on the descriptor within a generous bound, until
// the text holds `until`.
std::string read_until(int fd, const std::string& until) {
  std::string text;
  while (text.find(until) == std::string::npos) {
    pollfd p = {fd, POLLIN, 0};
    if (poll(&p, 1, 10000) <= 0) break;
    char buffer[256];
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  return text;
}

// The process's standard descriptors replaced for one test (before the I/O
// layer starts, which takes copies of them) and restored after it.
class StdStreamTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    lv_atoms_startup();
    for (int i = 0; i < 3; i++) saved_[i] = dup(i);
  }
  void TearDown() override {
    lv_stream_close_all_std();
    if (started_) {
      EXPECT_EQ(lvio_initialize(nullptr, nullptr, nullptr, 1), 0);
    }
    restore();
    for (int fd : saved_) close(fd);
    for (int fd : ours_) close(fd);
    unsetenv("LV_CTYPE");
    unsetenv("LV_CTYPE_STDIO");
    EngineTest::TearDown();
  }

  // Replaces descriptor i by fd.
  void replace(int i, int fd) { ASSERT_EQ(dup2(fd, i), i); }
  int keep(int fd) {
    ours_.push_back(fd);
    return fd;
  }
  void start() {
    ASSERT_EQ(lvio_initialize(nullptr, nullptr, nullptr, 0), 0);
    started_ = true;
    ASSERT_EQ(lv_init_std_streams(), 1);
    lv_reset_current_streams();
    // The layer has its copies: the test's own output goes where it went.
    restore();
  }
  void restore() {
    for (int i = 0; i < 3; i++)
      if (saved_[i] >= 0) dup2(saved_[i], i);
  }

  // Pipes on all three: their other ends.
  struct Ends {
    int input, output, error;
  };
  Ends pipes() {
    Ends e{};
    int p[2];
    for (int i = 0; i < 3; i++) {
      EXPECT_EQ(pipe2(p, O_CLOEXEC), 0);
      keep(p[0]);
      keep(p[1]);
      replace(i, i == 0 ? p[0] : p[1]);
      (i == 0 ? e.input : i == 1 ? e.output : e.error) = i == 0 ? p[1] : p[0];
    }
    return e;
  }

  int saved_[3] = {-1, -1, -1};
  std::vector<int> ours_;
  bool started_ = false;
};

TEST_F(StdStreamTest, OnPipes) {
  setenv("LV_CTYPE", "en_GB.UTF-8", 1);
  Ends e = pipes();
  start();
  lv_stream* in = LV_get_stdin();
  lv_stream* out = LV_get_stdout();
  lv_stream* err = LV_get_stderr();
  ASSERT_NE(in, nullptr);
  ASSERT_NE(out, nullptr);
  ASSERT_NE(err, nullptr);
  EXPECT_EQ(LV_get_curin(), in);
  EXPECT_EQ(LV_get_curout(), out);
  for (lv_stream* s : {in, out, err}) {
    EXPECT_NE(s->capabilities & LV_CAP_STANDARD, 0u);
    EXPECT_EQ(s->capabilities & LV_CAP_INTERACTIVE, 0u);
  }
  EXPECT_NE(err->capabilities & LV_CAP_LINE_FLUSH, 0u);
  EXPECT_EQ(out->capabilities & LV_CAP_LINE_FLUSH, 0u);
  // Their aliases as stream arguments.
  EXPECT_EQ(lv_get_stream_arg(LV_ATOM_USER, LV_CAP_INPUT, 0), in);
  EXPECT_EQ(lv_get_stream_arg(LV_ATOM_USER, LV_CAP_OUTPUT, 0), out);
  EXPECT_EQ(lv_get_stream_arg(lv_atom_from_text("user_error", LV_ATOM_FIND), LV_CAP_OUTPUT, 0), err);
  EXPECT_EQ(lv_get_stream_arg(lv_atom_from_text("user_input", LV_ATOM_FIND), LV_CAP_OUTPUT, 0), nullptr);
  EXPECT_EQ(lv_pending_error_code(), LV_ERROR_OUTPUT_STREAM_NEEDED);
  EXPECT_EQ(lv_get_stream_arg(LV_ATOM_USER, LV_CAP_INPUT, LV_CAP_STANDARD), nullptr);
  EXPECT_EQ(lv_pending_error_code(), LV_ERROR_NOT_A_STREAM);
  EXPECT_EQ(lv_get_stream_arg(lv_stream_term(out), LV_CAP_OUTPUT, LV_CAP_STANDARD), nullptr);
  EXPECT_EQ(lv_pending_error_code(), LV_ERROR_OUTPUT_STREAM_NEEDED);
  // Output: UTF-8 from LV_CTYPE, newlines as they are.
  EXPECT_EQ(LV_printf("caf\xC3\xA9 %d\n", 1), 0);
  EXPECT_EQ(LV_flush_output(out, 0), 0);
  EXPECT_EQ(read_until(e.output, "\n"), "caf\xC3\xA9 1\n");
  EXPECT_EQ(lv_ttyprintf("%s", "diag\n"), 0);
  EXPECT_EQ(lv_ttyflush(), 0);
  EXPECT_EQ(read_until(e.error, "\n"), "diag\n");
  // Input: line ends as they come.
  ASSERT_EQ(write(e.input, "a\r\nb\xC3\xA9", 6), 6);
  close(e.input);
  std::u32string codes;
  for (int64_t c; (c = lv_get_code(in)) >= 0;) codes += static_cast<char32_t>(c);
  EXPECT_EQ(codes, U"a\nb\u00e9");
  // A standard stream stays open unless replaced.
  EXPECT_EQ(LV_fclose(out, 0), 0);
  EXPECT_EQ(lv_stream_known(out), out);
  EXPECT_EQ(LV_get_stdout(), out);
  // Closing the current output makes user_output current.
  TempFiles dir;
  lv_stream* file = nullptr;
  ASSERT_EQ(LV_fopen(dir.path("f").c_str(), 0, LV_FOPEN_WRITE | LV_FOPEN_BINARY, &file), 0);
  lv_streams.current_output = file;
  EXPECT_EQ(LV_fclose(file, 0), 2);
  EXPECT_EQ(LV_get_curout(), out);
  // Output nobody reads any more is an error, not lost silently.
  close(e.output);
  EXPECT_EQ(LV_printf("gone\n"), 0);
  EXPECT_LT(LV_flush_output(out, 0), 0);
}

TEST_F(StdStreamTest, OnAPseudoTerminal) {
  int master = -1, slave = -1;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  keep(master);
  keep(slave);
  termios raw;
  ASSERT_EQ(tcgetattr(slave, &raw), 0);
  cfmakeraw(&raw);
  ASSERT_EQ(tcsetattr(slave, TCSANOW, &raw), 0);
  for (int i = 0; i < 3; i++) replace(i, slave);
  // A terminal's encoding is the locale's code set.
  const char* locale = getenv("LC_ALL");
  std::string saved_locale = locale != nullptr ? locale : "";
  setenv("LC_ALL", "C.UTF-8", 1);
  start();
  if (locale != nullptr)
    setenv("LC_ALL", saved_locale.c_str(), 1);
  else
    unsetenv("LC_ALL");
  lv_stream* in = LV_get_stdin();
  lv_stream* out = LV_get_stdout();
  for (lv_stream* s : {in, out, LV_get_stderr()}) EXPECT_NE(s->capabilities & LV_CAP_INTERACTIVE, 0u);
  EXPECT_NE(out->capabilities & LV_CAP_LINE_FLUSH, 0u);
  EXPECT_EQ(LV_put_encoded_string(out, "\xC3\xA9\n", 0), 0);
  EXPECT_EQ(LV_flush_output(out, 0), 0);
  EXPECT_EQ(read_until(master, "\n"), "\xC3\xA9\n");
  // An interactive read with nothing typed prompts on user_error once, and
  // runs the idle hooks while it waits; this one types the answer.
  static int hook_master = -1;
  static int calls = 0;
  hook_master = master;
  auto type = +[](void*) {
    if (calls++ == 0 && write(hook_master, "x\n", 2) != 2) return 1;
    return 0;
  };
  ASSERT_EQ(LV_install_idle_hook(type, nullptr, 0), 0);
  EXPECT_EQ(lv_get_code(in), 'x');
  EXPECT_GE(calls, 1);
  EXPECT_EQ(lv_get_code(in), '\n');
  EXPECT_EQ(read_until(master, "|: "), "|: ");
  // The terminal now stands after the newline typed and echoed by nobody:
  // the counters of every interactive stream are the terminal's.
  int64_t items = 0, lines = 0, position = -1;
  ASSERT_EQ(LV_get_stream_counts(in, &items, &lines, &position, 0), 0);
  EXPECT_EQ(position, 0);
}

TEST_F(StdStreamTest, ForcedInteractiveMakesPipesInteractive) {
  pipes();
  LV_force_interactive();
  EXPECT_TRUE(lv_forced_interactive());
  start();
  for (lv_stream* s : {LV_get_stdin(), LV_get_stdout(), LV_get_stderr()})
    EXPECT_NE(s->capabilities & LV_CAP_INTERACTIVE, 0u);
}

lv_stream* made[3];
std::vector<int> posted;

lv_stream* chainless_hook(void* data, int kind) {
  if (data != nullptr && kind == *static_cast<int*>(data)) return nullptr;
  return made[kind] = lv_stream_new_with_flags(kind == 0 ? 2 : 4);
}

void record_post(void*, int kind, lv_stream* s) {
  EXPECT_EQ(s, made[kind]);
  posted.push_back(kind);
}

TEST_F(StdStreamTest, AUserHookMakesTheStandardStreams) {
  pipes();
  start();
  int64_t old_out = LV_get_stdout()->id;
  EXPECT_EQ(LV_set_user_stream_hook(chainless_hook, nullptr), lv_default_user_stream_hook);
  EXPECT_EQ(LV_set_user_stream_post_hook(record_post, nullptr), nullptr);
  lv_make_user_streams();
  EXPECT_EQ(LV_get_stdin(), made[0]);
  EXPECT_EQ(LV_get_stdout(), made[1]);
  EXPECT_EQ(LV_get_stderr(), made[2]);
  EXPECT_NE(made[1]->capabilities & LV_CAP_STANDARD, 0u);
  EXPECT_EQ(lv_find_stream_by_id(nullptr, old_out), nullptr);
  EXPECT_EQ(posted, (std::vector<int>{0, 1, 2}));
  // A hook that fails for the error stream fails after replacing the others.
  int fail = 2;
  lv_stream* old_err = LV_get_stderr();
  EXPECT_EQ(lv_install_user_streams(chainless_hook, &fail, nullptr, nullptr), LVIO_E_ERROR);
  EXPECT_EQ(LV_get_stdin(), made[0]);
  EXPECT_EQ(LV_get_stdout(), made[1]);
  EXPECT_EQ(LV_get_stderr(), old_err);
  // Replacing closes a standard stream: its place goes to the null stream.
  lv_stream* in = LV_get_stdin();
  EXPECT_EQ(lv_stream_close(in, LV_CLOSE_REPLACE), 2);
  EXPECT_EQ(LV_get_stdin(), lv_streams.null_stream);
  LV_set_user_stream_hook(lv_default_user_stream_hook, nullptr);
  LV_set_user_stream_post_hook(nullptr, nullptr);
}

TEST_F(StdStreamTest, EncodingsFromTheSettings) {
  const struct {
    const char* value;
    int64_t rc;
    const char* name;
  } cases[] = {{"en_US.ISO-8859-15", 0, "ISO-8859-15"},
               {"de_DE.utf8.UTF-8", 0, "UTF-8"},
               {"UTF-16LE", 0, "UTF-16LE"},
               {"/usr/share/x.UTF-8", LVIO_E_NOT_FOUND, nullptr}};
  ASSERT_EQ(lvio_initialize(nullptr, nullptr, nullptr, 0), 0);
  started_ = true;
  static const char* const settings[] = {"LV_CTYPE_STDIO", "LV_CTYPE", nullptr};
  for (const auto& c : cases) {
    ASSERT_EQ(lvio_setting_set("LV_CTYPE", c.value), 0);
    char* name = nullptr;
    EXPECT_EQ(lv_encoding_from_env(&name, settings), c.rc) << c.value;
    if (c.name != nullptr && name != nullptr) {
      EXPECT_STREQ(name, c.name);
    }
    lvio_free(name);
  }
  // The first setting that is set decides; an empty one does not count.
  ASSERT_EQ(lvio_setting_set("LV_CTYPE_STDIO", ""), 0);
  ASSERT_EQ(lvio_setting_set("LV_CTYPE", "x.windows-1252"), 0);
  char* name = nullptr;
  EXPECT_EQ(lv_encoding_from_env(&name, settings), 0);
  EXPECT_STREQ(name, "windows-1252");
  lvio_free(name);
  ASSERT_EQ(lvio_setting_set("LV_CTYPE", ""), 0);
  EXPECT_EQ(lv_encoding_from_env(&name, settings), LVIO_E_NOT_FOUND);
}

TEST_F(StdStreamTest, ASlashInTheSettingFallsBackToLatin1) {
  setenv("LV_CTYPE", "/etc/locale.UTF-8", 1);
  Ends e = pipes();
  start();
  EXPECT_EQ(LV_put_encoded_string(LV_get_stdout(), "\xC3\xA9\n", 0), 0);
  EXPECT_EQ(LV_flush_output(LV_get_stdout(), 0), 0);
  EXPECT_EQ(read_until(e.output, "\n"), "\xE9\n");
}

}  // namespace
