// Clauses typed at the console program ([user], consult(user)) and library
// predicates called at the prompt without use_module, on pipes and on a
// pseudo-terminal.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "frontend/console_run.h"

namespace {

const std::string PROGRAM = LV_CONSOLE_PROGRAM;

// Reads from the terminal until `text` has been shown after offset `from`;
// false when the program closed it first.
bool read_until(int master, std::string& shown, const std::string& text, size_t from) {
  while (shown.find(text, from) == std::string::npos) {
    char buffer[4096];
    ssize_t n = read(master, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    shown.append(buffer, static_cast<size_t>(n));
  }
  return true;
}

void type(int master, const std::string& line) {
  std::string l = line + "\n";
  ASSERT_EQ(write(master, l.data(), l.size()), static_cast<ssize_t>(l.size()));
}

TEST(ConsultUser, ClausesUpToEndOfFileTermOnPipes) {
  console::result r = console::run_on_pipes(
      PROGRAM, {"--nologo"},
      "[user].\nfoo(1).\nfoo(2) :- true.\n:- X = 1, X > 0.\nend_of_file.\nfoo(X).\n;\nconsult(user).\nbar.\n");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "| ?- yes\n| ?- X = 1 ? X = 2\nyes\n| ?- yes\n| ?- \n") << r.err;
}

TEST(ConsultUser, ConsultingUserAgainReplacesItsClauses) {
  console::result r = console::run_on_pipes(
      PROGRAM, {"--nologo"}, "[user].\nbaz(1).\nend_of_file.\n[user].\nbaz(2).\nend_of_file.\nfindall(X, baz(X), L).\n");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "| ?- yes\n| ?- yes\n| ?- L = [2]\nyes\n| ?- \n") << r.err;
}

TEST(ConsultUser, PromptsOnATerminal) {
  int master = -1;
  pid_t pid = console::start_on_terminal(PROGRAM, {"--nologo"}, master);
  ASSERT_GT(pid, 0);
  std::string shown;
  ASSERT_TRUE(read_until(master, shown, "| ?- ", 0));
  type(master, "[user].");
  size_t at = shown.size();
  ASSERT_TRUE(read_until(master, shown, "|: ", at));
  type(master, "colour(red).");
  at = shown.size();
  ASSERT_TRUE(read_until(master, shown, "|: ", at));
  ASSERT_EQ(write(master, "\x04", 1), 1);  // end of file ends the clauses, not the session
  at = shown.size();
  ASSERT_TRUE(read_until(master, shown, "| ?- ", at));
  type(master, "colour(C).");
  at = shown.size();
  ASSERT_TRUE(read_until(master, shown, "C = red", at)) << shown;
  type(master, "halt.");
  console::result r;
  console::finish_on_terminal(master, pid, r);
  EXPECT_EQ(r.exit_code, 0) << shown;
}

// Library predicates need no use_module at the prompt; an own definition
// typed in before wins.
TEST(Autoload, LibraryPredicatesAtThePrompt) {
  console::result r = console::run_on_pipes(
      PROGRAM, {"--nologo"},
      "member(X, [a]).\nappend([b], [c], X).\nmaplist(succ, [1, 2], L).\n"
      "[user].\nlast(_, mine).\nend_of_file.\nlast([1, 2], Y).\n");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "| ?- X = a\nyes\n| ?- X = [b,c]\nyes\n| ?- L = [2,3]\nyes\n| ?- yes\n| ?- Y = mine\nyes\n| ?- \n")
      << r.err;
}

}  // namespace
