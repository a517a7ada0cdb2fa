// The windowed program end to end on a pseudo-terminal: keys are typed as
// a terminal sends them, and what the terminal shows is rebuilt from the
// program's output (cursor moves, wrapped rows, the title) and compared.
// HOME is a directory of the test's own, holding the settings and history
// files. The program must leave the terminal's modes as it found them.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "frontend/console_run.h"
#include "lvcon/lvcon_screen.h"

namespace {

const std::string PROGRAM = LV_LVWIN_PROGRAM;
constexpr int WAIT_MS = 120000;  // a bound for output that should come, never a timing assumption

// The terminal as a user sees it: rows of cells, the cursor, the title.
class screen {
 public:
  explicit screen(int width) : width_(width) {}

  void feed(const std::string& bytes) {
    for (unsigned char b : bytes) byte(b);
  }

  // The rows, trailing blanks and empty last rows left out.
  std::string text() const {
    std::vector<std::string> lines;
    for (const auto& row : rows_) {
      std::string line;
      for (char32_t c : row) lvcon_put_utf8(line, c == 0 ? U' ' : c);
      while (!line.empty() && line.back() == ' ') line.pop_back();
      lines.push_back(line);
    }
    while (!lines.empty() && lines.back().empty()) lines.pop_back();
    std::string all;
    for (const auto& l : lines) all += l + "\n";
    return all;
  }

  const std::string& title() const { return title_; }

 private:
  void byte(unsigned char b) {
    if (state_ == OSC) {
      if (b == 7) {
        if (osc_.rfind("0;", 0) == 0) title_ = osc_.substr(2);
        state_ = TEXT;
        osc_.clear();
      } else {
        osc_ += static_cast<char>(b);
      }
      return;
    }
    if (state_ == ESCAPE) {
      state_ = b == '[' ? CSI : b == ']' ? OSC : TEXT;
      parameter_ = 0;
      return;
    }
    if (state_ == CSI) {
      if (b >= '0' && b <= '9') {
        parameter_ = parameter_ * 10 + (b - '0');
      } else if (b >= 0x40 && b <= 0x7E) {
        int n = parameter_ == 0 ? 1 : parameter_;
        if (b == 'A') row_ = row_ >= n ? row_ - n : 0;
        if (b == 'C') column_ += n;
        wrap_ = false;
        state_ = TEXT;
      }
      return;
    }
    if (missing_ > 0) {
      code_ = (code_ << 6) | (b & 0x3F);
      if (--missing_ == 0) put(code_);
      return;
    }
    switch (b) {
      case 27: state_ = ESCAPE; return;
      case '\r': column_ = 0; wrap_ = false; return;
      case '\n': row_++; wrap_ = false; return;
      case '\b': if (column_ > 0 && !wrap_) column_--; wrap_ = false; return;
      case '\t': column_ = (column_ / 8 + 1) * 8; return;
      case 7: return;
      default: break;
    }
    if (b >= 0xF0) {
      missing_ = 3;
      code_ = b & 0x07;
    } else if (b >= 0xE0) {
      missing_ = 2;
      code_ = b & 0x0F;
    } else if (b >= 0xC0) {
      missing_ = 1;
      code_ = b & 0x1F;
    } else {
      put(b);
    }
  }

  // A character in the cursor's cell; a full row wraps before the next one.
  void put(char32_t c) {
    if (wrap_) {
      row_++;
      column_ = 0;
      wrap_ = false;
    }
    if (rows_.size() <= static_cast<size_t>(row_)) rows_.resize(row_ + 1);
    auto& r = rows_[row_];
    if (r.size() <= static_cast<size_t>(column_)) r.resize(column_ + 1, 0);
    r[column_] = c;
    if (width_ > 0 && column_ == width_ - 1)
      wrap_ = true;
    else
      column_++;
  }

  enum { TEXT, ESCAPE, CSI, OSC } state_ = TEXT;
  int width_;
  int row_ = 0, column_ = 0;
  bool wrap_ = false;
  std::vector<std::u32string> rows_;
  std::string osc_;
  int parameter_ = 0;
  char32_t code_ = 0;
  int missing_ = 0;
  std::string title_;
};

struct step {
  std::string wait_for;  // shown after what the step before waited for
  std::string keys;      // then typed
  int signal = 0;        // or sent
};

struct terminal_run {
  std::string output;
  int exit_code = -1;
  termios before{}, during{}, after{};
  bool complete = false;  // every step saw what it waited for
};

// Appends what the program writes next: 1, or 0 at the end of the output
// (every end of the terminal closed), -1 when the bound passes first.
int read_more(int master, std::string& output) {
  for (;;) {
    pollfd p = {master, POLLIN, 0};
    int n = poll(&p, 1, WAIT_MS);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return -1;
    char buffer[4096];
    ssize_t got = read(master, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return 0;
    output.append(buffer, static_cast<size_t>(got));
    return 1;
  }
}

// Reads until the output holds the text after from; false at its end or
// when the bound passes.
bool read_until(int master, std::string& output, const std::string& text, size_t& from) {
  for (;;) {
    size_t found = output.find(text, from);
    if (found != std::string::npos) {
      from = found + text.size();
      return true;
    }
    if (read_more(master, output) <= 0) return false;
  }
}

terminal_run run(std::vector<std::string> args, const std::vector<step>& steps, int columns = 0) {
  terminal_run r;
  int master = -1, slave = -1;
  winsize size = {};
  size.ws_col = static_cast<unsigned short>(columns);
  size.ws_row = columns > 0 ? 24 : 0;
  if (openpty(&master, &slave, nullptr, nullptr, &size) != 0) return r;
  tcgetattr(slave, &r.before);
  auto argv = console::argv_of(PROGRAM, args);
  pid_t pid = fork();
  if (pid == 0) {
    setsid();
    ioctl(slave, TIOCSCTTY, 0);
    for (int fd = 0; fd < 3; fd++) dup2(slave, fd);
    close(master);
    if (slave > 2) close(slave);
    execv(PROGRAM.c_str(), argv.data());
    _exit(127);
  }
  close(slave);
  size_t from = 0;
  r.complete = true;
  for (size_t i = 0; i < steps.size() && r.complete; i++) {
    const step& s = steps[i];
    r.complete = read_until(master, r.output, s.wait_for, from);
    if (!r.complete) break;
    if (i == 0) tcgetattr(master, &r.during);
    if (s.signal != 0)
      kill(pid, s.signal);
    else if (write(master, s.keys.data(), s.keys.size()) != static_cast<ssize_t>(s.keys.size()))
      r.complete = false;
  }
  int more = 1;
  while (r.complete && more > 0) more = read_more(master, r.output);
  if (more < 0 || !r.complete) {
    r.complete = false;
    kill(pid, SIGKILL);
  }
  r.exit_code = console::wait_exit(pid);
  tcgetattr(master, &r.after);
  close(master);
  return r;
}

bool same_modes(const termios& a, const termios& b) {
  return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag && a.c_lflag == b.c_lflag &&
         a.c_cc[VMIN] == b.c_cc[VMIN] && a.c_cc[VTIME] == b.c_cc[VTIME];
}

// HOME for the program: a directory of this test's own.
class Lvwin : public ::testing::Test {
 protected:
  void SetUp() override {
    home_ = std::filesystem::path(::testing::TempDir()) / ("lvwin_home_" + std::to_string(getpid()));
    std::filesystem::remove_all(home_);
    std::filesystem::create_directories(home_);
    setenv("HOME", home_.c_str(), 1);
  }
  void TearDown() override { std::filesystem::remove_all(home_); }

  void write_file(const char* name, const std::string& text) { std::ofstream(home_ / name) << text; }
  std::optional<std::string> read_file(const char* name) {
    std::ifstream in(home_ / name);
    if (!in) return std::nullopt;
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  std::filesystem::path home_;
};

// Typing at the prompts: what the terminal shows at the end and what the
// history file holds.
struct session {
  const char* name;
  std::optional<std::string> settings;
  std::optional<std::string> history;  // before the run
  std::vector<step> steps;
  std::string screen;                          // the whole screen at the end
  std::optional<std::string> history_after;   // null: no file
  int columns = 0;
};

const std::string A505(505, 'a');

std::vector<session> sessions() {
  return {
      {"editing_keys", {}, {},
       // Home, delete, end, backspace, with control keys and then with
       // the keys' escape sequences (the repeated line is stored once);
       // clear the line; back, kill the tail, nothing to delete at the end;
       // left, right, backspace, forward; Tab inserts a space, Ctrl-Q a tab
       // as it is.
       {{"| ?- ", "Y = bar.\x1b[H\x04X\x05\x08z.\r"},
        {"| ?- ", "Y = bar.\x1b[1~\x1b[3~X\x1b[4~\x7fz.\r"},
        {"| ?- ", "junk\x15X = 12\x02\x02\x0b" "3.\x04\r"},
        {"| ?- ", "X\t= 12\x1b[D\x1b[D\x1b[C\x7f\x06 .\r"},
        {"| ?- ", "Y\x11\t= 2.\r"},
        {"| ?- ", "\x1a"}},
       "| ?- X = barz.\nX = barz\nyes\n| ?- X = barz.\nX = barz\nyes\n| ?- X = 3.\nX = 3\nyes\n| ?- X = 2 .\nX = 2\nyes\n| ?- Y  = 2.\nY = 2\nyes\n"
       "| ?-\n",
       "X = barz.\nX = 3.\nX = 2 .\nY\t= 2.\n"},
      {"several_answers", {}, {},
       {{"| ?- ", "between(1, 3, X).\r"}, {" ? ", ";\r"}, {" ? ", ";\r"}, {"| ?- ", "\x1a"}},
       "| ?- between(1, 3, X).\nX = 1 ? ;\nX = 2 ? ;\nX = 3\nyes\n| ?-\n", "between(1, 3, X).\n"},
      {"recall_search_and_list", {}, "X = first.\nY = second.\n",
       {{"| ?- ", "\x1b[A\x1b[A\r"}, {"| ?- ", "Y\x12\r"}, {"| ?- ", "\x16"}, {">    Y = second.\r\n>    X = first.\r\n>    Y = second.", "\x1a"}},
       "| ?- X = first.\nX = first\nyes\n| ?- Y = second.\nY = second\nyes\n| ?-\n>    X = first.\n>    Y = second.\n"
       ">    X = first.\n>    Y = second.\n",
       "X = first.\nY = second.\nX = first.\nY = second.\n"},
      {"step_forward_and_search_forward", {}, "a = a.\nb = b.\nc = c.\n",
       {{"| ?- ", "\x1b[A\x1b[A\x1b[A\x1b[B\r"}, {"| ?- ", "c\x13\r"}, {"| ?- ", "\x1a"}},
       "| ?- b = b.\nyes\n| ?- c = c.\nyes\n| ?-\n", "a = a.\nb = b.\nc = c.\nb = b.\nc = c.\n"},
      {"search_without_a_pattern_steps_back", "lines 2\n", "a = a.\nb = b.\n",
       {{"| ?- ", "\x12\r"}, {"| ?- ", "\x1a"}}, "| ?- b = b.\nyes\n| ?-\n", "b = b.\nb = b.\n"},
      {"short_and_repeated_lines_stored_once", {}, {},
       {{"| ?- ", "true.\r"}, {"| ?- ", "true.\r"}, {"| ?- ", "!.\r"}, {"| ?- ", "\x1a"}},
       "| ?- true.\nyes\n| ?- true.\nyes\n| ?- !.\nyes\n| ?-\n", "true.\n"},
      {"lines_setting_keeps_the_newest", "lines 2\n", {},
       {{"| ?- ", "true.\r"}, {"| ?- ", "fail.\r"}, {"| ?- ", "X = 1.\r"}, {"| ?- ", "\x1a"}},
       "| ?- true.\nyes\n| ?- fail.\nno\n| ?- X = 1.\nX = 1\nyes\n| ?-\n", "fail.\nX = 1.\n"},
      {"save_off_neither_reads_nor_writes", "save 0\n", "X = old.\n",
       {{"| ?- ", "\x1b[AX = 2.\r"}, {"| ?- ", "\x1a"}}, "| ?- X = 2.\nX = 2\nyes\n| ?-\n", "X = old.\n"},
      {"one_slot_keeps_nothing", "lines\t0\n", "X = old.\n",
       {{"| ?- ", "X = 2.\r"}, {"| ?- ", "\x10X = 3.\r"}, {"| ?- ", "\x1a"}},
       "| ?- X = 2.\nX = 2\nyes\n| ?- X = 3.\nX = 3\nyes\n| ?-\n",
       "X = old.\n"},
      {"full_line_takes_no_more", {}, {},
       {{"| ?- ", "X = '" + A505 + "'.\x01z\r"}, {"|: ", ".\r"}, {"| ?- ", "\x1a"}},
       "| ?- X = '" + A505 + "'\n|: .\nX = " + A505 + "\nyes\n| ?-\n", "X = '" + A505 + "'\n"},
      {"characters_above_the_bmp_kept_whole", {}, {},
       {{"| ?- ", "X = 'a\xF0\x9D\x84\x9E'.\x1b[D\x1b[D\x1b[D\x7f\r"},
        {"| ?- ", "atom_length('\xF0\x9D\x84\x9E\xF0\x9F\x98\x80', L).\r"},
        {"| ?- ", "\x1a"}},
       "| ?- X = '\xF0\x9D\x84\x9E'.\nX = '\xF0\x9D\x84\x9E'\nyes\n| ?- atom_length('\xF0\x9D\x84\x9E\xF0\x9F\x98\x80', L).\n"
       "L = 2\nyes\n| ?-\n",
       "X = '\xF0\x9D\x84\x9E'.\natom_length('\xF0\x9D\x84\x9E\xF0\x9F\x98\x80', L).\n"},
      {"a_letter_that_was_a_key_prefix", {}, {},
       {{"| ?- ", "X = 'voil\xC3\xA0'.\r"}, {"| ?- ", "\x1a"}}, "| ?- X = 'voil\xC3\xA0'.\nX = voil\xC3\xA0\nyes\n| ?-\n",
       "X = 'voil\xC3\xA0'.\n"},
      {"wrapped_line_edited_from_its_start", {}, {},
       {{"| ?- ", "X = abcdefghijklmnopqrstuvwxyz.\x01\x04Y\r"}, {"| ?- ", "\x1a"}},
       "| ?- Y = abcdefghijk\nlmnopqrstuvwxyz.\nY = abcdefghijklmnop\nqrstuvwxyz\nyes\n| ?-\n",
       "Y = abcdefghijklmnopqrstuvwxyz.\n", 20},
  };
}

class Sessions : public Lvwin, public ::testing::WithParamInterface<session> {};

TEST_P(Sessions, ScreenAndHistory) {
  const session& s = GetParam();
  if (s.settings) write_file("lvcmd4.ini", *s.settings);
  if (s.history) write_file("lvcmd4.hst", *s.history);
  terminal_run r = run({"--nologo"}, s.steps, s.columns);
  screen shown(s.columns);
  shown.feed(r.output);
  ASSERT_TRUE(r.complete) << r.output;
  EXPECT_EQ(r.exit_code, 0) << r.output;
  EXPECT_EQ(shown.text(), s.screen) << r.output;
  EXPECT_EQ(read_file("lvcmd4.hst"), s.history_after);
  EXPECT_TRUE(same_modes(r.before, r.after));
}

INSTANTIATE_TEST_SUITE_P(Typed, Sessions, ::testing::ValuesIn(sessions()),
                         [](const auto& info) { return std::string(info.param.name); });

// The settings file decides how many history lines are kept: a history
// file of 150 lines loads the oldest N - 1 and is written back as loaded.
struct kept {
  const char* name;
  std::optional<std::string> settings;
  int lines;
};

class HistoryKept : public Lvwin, public ::testing::WithParamInterface<kept> {};

TEST_P(HistoryKept, LinesSetting) {
  const kept& k = GetParam();
  if (k.settings) write_file("lvcmd4.ini", *k.settings);
  std::string all, first;
  for (int i = 1; i <= 150; i++) {
    std::string line = "x(" + std::to_string(i) + ").\n";
    all += line;
    if (i <= k.lines) first += line;
  }
  write_file("lvcmd4.hst", all);
  terminal_run r = run({"--nologo"}, {{"| ?- ", "\x1a"}});
  ASSERT_TRUE(r.complete) << r.output;
  EXPECT_EQ(read_file("lvcmd4.hst"), first);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, HistoryKept,
    ::testing::Values(kept{"no_settings_file", {}, 25}, kept{"lines_30", "lines 30\n", 30},
                      kept{"among_other_lines", "save 1\r\nlines\t \t7 more\r\n", 7},
                      kept{"first_line_decides", "lines 3\nlines 9\n", 3},
                      kept{"above_the_largest_ring", "lines 500\n", 100},
                      kept{"beyond_32_bits", "lines 99999999999999999999\n", 100},
                      kept{"not_a_number", "lines x\n", 25}, kept{"equals_sign", "lines=3\n", 25},
                      kept{"no_value", "lines\n", 25}, kept{"name_not_at_line_start", " lines 3\n", 25},
                      kept{"digits_right_after_the_name", "lines4\n", 4}),
    [](const auto& info) { return std::string(info.param.name); });

// Every way the program ends leaves the terminal as it was; while it runs
// the terminal reads keys one by one, unechoed.
struct ending {
  const char* name;
  std::vector<std::string> args;
  std::vector<step> steps;
  int exit_code;
  std::vector<std::string> shown;  // on the screen, in order
};

class Endings : public Lvwin, public ::testing::WithParamInterface<ending> {};

TEST_P(Endings, TerminalRestored) {
  const ending& e = GetParam();
  terminal_run r = run(e.args, e.steps);
  ASSERT_TRUE(r.complete) << r.output;
  EXPECT_EQ(r.exit_code, e.exit_code) << r.output;
  EXPECT_EQ(r.during.c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_TRUE(same_modes(r.before, r.after));
  screen shown(0);
  shown.feed(r.output);
  std::string text = shown.text();
  size_t at = 0;
  for (const auto& f : e.shown) {
    size_t found = text.find(f, at);
    ASSERT_NE(found, std::string::npos) << "missing \"" << f << "\" in:\n" << text;
    at = found + f.size();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Roads, Endings,
    ::testing::Values(
        ending{"end_of_file", {"--nologo"}, {{"| ?- ", "\x1a"}}, 0, {"| ?-"}},
        ending{"halt", {"--nologo"}, {{"| ?- ", "halt.\r"}}, 0, {"| ?- halt."}},
        ending{"halt_with_a_code", {"--nologo"}, {{"| ?- ", "halt(3).\r"}}, 3, {"| ?- halt(3)."}},
        ending{"abort", {"--nologo"}, {{"| ?- ", "abort.\r"}, {"| ?- ", "\x1a"}}, 0, {"% Execution aborted\n| ?-"}},
        ending{"fatal_fault", {"--nologo"}, {{"| ?- ", "prolog:'$version'(1).\r"}, {"| ?- ", "\x1a"}}, 0,
               {"! Version mismatch in $version/1", "| ?-"}},
        ending{"interrupt_then_abort", {"--nologo"},
               {{"| ?- ", "write(go), nl, repeat, fail.\r"}, {"go\r\n", "\x03"}, {"(h for help)? ", "a\r"},
                {"| ?- ", "X = 1.\r"}, {"| ?- ", "\x1a"}},
               0, {"Prolog interruption (h for help)? a\n", "% Execution aborted\n| ?- X = 1.\nX = 1\nyes"}},
        ending{"interrupt_continue_then_exit", {"--nologo"},
               {{"| ?- ", "write(go), nl, repeat, fail.\r"}, {"go\r\n", "\x03"}, {"(h for help)? ", "c\r"},
                {"c\r\n", "\x03"}, {"(h for help)? ", "e\r"}},
               0, {"(h for help)? c\n", "(h for help)? e\n"}},
        ending{"break_key_aborts", {"--nologo"},
               {{"| ?- ", "write(go), nl, repeat, fail.\r"}, {"go\r\n", "\x1c"}, {"| ?- ", "\x1a"}}, 0,
               {"% Execution aborted\n| ?-"}},
        ending{"terminated", {"--nologo"}, {{"| ?- ", "", SIGTERM}}, 128 + SIGTERM, {"| ?-"}},
        ending{"hung_up", {"--nologo"}, {{"| ?- ", "", SIGHUP}}, 128 + SIGHUP, {"| ?-"}},
        ending{"fault_signal", {"--nologo"}, {{"| ?- ", "", SIGSEGV}}, 128 + SIGSEGV, {"| ?-"}}),
    [](const auto& info) { return std::string(info.param.name); });

// The window title follows the runtime's title text both ways.
TEST_F(Lvwin, WindowTitle) {
  terminal_run r = run({"--nologo"}, {{"| ?- ", "prolog:'$window_title'(T, 'A title \xF0\x9D\x84\x9E').\r"},
                                      {"| ?- ", "prolog:'$window_title'(T, T).\r"},
                                      {"| ?- ", "\x1a"}});
  ASSERT_TRUE(r.complete) << r.output;
  screen shown(0);
  shown.feed(r.output);
  EXPECT_EQ(shown.title(), "A title \xF0\x9D\x84\x9E");
  std::string text = shown.text();
  EXPECT_NE(text.find("T = 'Lorvika 4.9.0"), std::string::npos) << text;
  EXPECT_NE(text.find("T = 'A title \xF0\x9D\x84\x9E'\nyes"), std::string::npos) << text;
}

// Without a terminal the window echoes what it reads, and the end of the
// input ends the program.
TEST_F(Lvwin, OnPipes) {
  console::result r = console::run_on_pipes(PROGRAM, {"--nologo"}, "X = 'a\xF0\x9D\x84\x9E'.\nY = 2.\n");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "| ?- X = 'a\xF0\x9D\x84\x9E'.\nX = 'a\xF0\x9D\x84\x9E'\nyes\n| ?- Y = 2.\nY = 2\nyes\n| ?- \n");
  EXPECT_EQ(read_file("lvcmd4.hst"), "X = 'a\xF0\x9D\x84\x9E'.\nY = 2.\n");
}

}  // namespace
