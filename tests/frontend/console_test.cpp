// The console program end to end: scripted sessions on pipes and on a
// pseudo-terminal, and the command line's errors.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "frontend/console_run.h"

namespace {

const std::string PROGRAM = LV_CONSOLE_PROGRAM;

std::string consulted_file() {
  static const std::string path = [] {
    // Of this process: the cases run in parallel.
    std::string p = std::string(::testing::TempDir()) + "lv_console_facts_" + std::to_string(getpid()) + ".pl";
    std::ofstream(p) << "colour(red).\ncolour(green).\n";
    return p;
  }();
  return path;
}

std::string without_carriage_returns(std::string s) {
  std::string t;
  for (char c : s)
    if (c != '\r') t += c;
  return t;
}

// Each fragment appears in the text, in this order.
void expect_in_order(const std::string& text, const std::vector<std::string>& fragments) {
  size_t at = 0;
  for (const auto& f : fragments) {
    size_t found = text.find(f, at);
    ASSERT_NE(found, std::string::npos) << "missing \"" << f << "\" after offset " << at << " in:\n" << text;
    at = found + f.size();
  }
}

struct session {
  const char* name;
  std::vector<std::string> args;
  std::vector<std::string> lines;  // typed, one per prompt
  int exit_code;
  std::string pipe_out;                // the whole standard output on a pipe
  std::vector<std::string> messages;   // on standard error, in order
  std::vector<std::string> terminal;   // what the terminal shows, in order
  std::string never_shown = "";        // on standard error or the terminal
};

std::vector<session> sessions() {
  return {
      {"several_answers", {"--nologo"}, {"between(1, 3, X).", ";", ";", "between(1, 3, X).", ""}, 0,
       "| ?- X = 1 ? X = 2 ? X = 3\nyes\n| ?- X = 1 ? yes\n| ?- \n", {},
       {"X = 1 ? ", ";", "X = 2 ? ", ";", "X = 3\nyes\n", "X = 1 ? ", "yes\n| ?- "}},
      {"no_bindings_and_failure", {"--nologo"}, {"true.", "fail.", "X = f(Y), Y = \"ab\"."}, 0,
       "| ?- yes\n| ?- no\n| ?- X = f([97,98]),\nY = [97,98]\nyes\n| ?- \n", {}, {"yes", "no", "X = f([97,98]),\nY = [97,98]\nyes"}},
      {"residual_goals_and_sharing", {"--nologo"}, {"freeze(X, true).", "dif(X, a), Z = f(X).", "X = Y.", "X = f(_Y)."},
       0, "| ?- freeze(X,true)\nyes\n| ?- Z = f(X),\ndif(X,a)\nyes\n| ?- Y = X\nyes\n| ?- X = f(_Y)\nyes\n| ?- \n", {},
       {"freeze(X,true)\nyes", "Z = f(X),\ndif(X,a)\nyes", "Y = X\nyes"}},
      // Answers read back: operator terms bracketed by priority, operator
      // atoms bracketed as operands only, cycles written in finite form.
      {"bracketed_answers", {"--nologo"},
       {"X = (a:-b).", "X = (a,b), Y = - 1, Z = -(1).", "X = [-], Y = (-), Z = f(;), W = (a=b).",
        "freeze(X, (a:-b))."},
       0,
       "| ?- X = (a:-b)\nyes\n| ?- X = (a,b),\nY = -1,\nZ = - (1)\nyes\n"
       "| ?- X = [-],\nY = (-),\nZ = f(;),\nW = (a=b)\nyes\n| ?- freeze(X,(a:-b))\nyes\n| ?- \n",
       {},
       {"X = (a:-b)\nyes", "X = (a,b),\nY = -1,\nZ = - (1)\nyes", "X = [-],\nY = (-),\nZ = f(;),\nW = (a=b)\nyes"}},
      {"cyclic_answers", {"--nologo"},
       {"X = f(X).", "X = [a|X], Y = X.", "X = f(X, Y), Y = g(X).", "X = f(_Y), _Y = g(_Y).", "X = f(X), write(X), nl."},
       0,
       "| ?- X = f(X)\nyes\n| ?- X = [a|X],\nY = X\nyes\n| ?- X = f(X,Y),\nY = g(X)\nyes\n"
       "| ?- X = f(_S1),\n_S1 = g(_S1)\nyes\n| ?- @(_S1,[_S1=f(_S1)])\nX = f(X)\nyes\n| ?- \n",
       {},
       {"X = f(X)\nyes", "X = [a|X],\nY = X\nyes", "X = f(X,Y),\nY = g(X)\nyes", "X = f(_S1),\n_S1 = g(_S1)\nyes",
        "@(_S1,[_S1=f(_S1)])\nX = f(X)\nyes"}},
      {"error", {"--nologo"}, {"atom_length(X, Y).", "X = 1."}, 0, "| ?- | ?- X = 1\nyes\n| ?- \n",
       {"! Instantiation error\n! in argument 1 of prolog:atom_length(", ")\n"},
       {"! Instantiation error", "X = 1\nyes"}},
      {"syntax_error", {"--nologo"}, {"X = .", "Y = 2."}, 0, "| ?- | ?- Y = 2\nyes\n| ?- \n", {"! Syntax error"},
       {"! Syntax error", "Y = 2\nyes"}},
      {"consulted_file", {"--nologo", "-l", consulted_file()}, {"colour(C).", ";"}, 0,
       "| ?- C = red ? C = green\nyes\n| ?- \n", {}, {"C = red ? ", "C = green\nyes"}},
      {"goal_halts", {"--nologo", "--goal", "halt(3)."}, {}, 3, "", {}, {}},
      {"goal_runs_before_queries", {"--nologo", "--goal", "write(hello), nl."}, {"halt."}, 0, "hello\n| ?- ", {},
       {"hello\n| ?- "}},
      {"failing_goal", {"--nologo", "--goal", "fail."}, {}, 0, "| ?- \n", {"* Goal (goal) failed: user:fail"},
       {"* Goal (goal) failed"}},
      {"goal_without_end", {"--nologo", "--goal", "halt(3)"}, {}, 0, "| ?- \n", {"! Syntax error"}, {"! Syntax error"}},
      {"halt_in_a_query", {"--nologo"}, {"halt(5)."}, 5, "| ?- ", {}, {}},
      {"abort_returns_to_the_top_level", {"--nologo"}, {"abort.", "X = 1."}, 0, "| ?- | ?- X = 1\nyes\n| ?- \n",
       {"% Execution aborted"}, {"% Execution aborted", "X = 1\nyes"}},
      {"no_informational_messages", {"--nologo", "--noinfo"}, {"abort.", "X = 1."}, 0, "| ?- | ?- X = 1\nyes\n| ?- \n",
       {}, {"X = 1\nyes"}, "Execution aborted"},
      {"fatal_fault_restarts", {"--nologo"}, {"prolog:'$version'(1).", "X = 2."}, 0,
       "| ?- | ?- X = 2\nyes\n| ?- \n", {"! Version mismatch in $version/1\n"},
       {"! Version mismatch in $version/1", "| ?- ", "X = 2\nyes"}},
      // The flag switched off stops counting at the next query.
      {"profiling_off_at_the_next_query", {"--nologo", "-l", consulted_file()},
       {"set_prolog_flag(profiling, on).", "colour(red).", "set_prolog_flag(profiling, off).", "profile_reset.",
        "colour(green).", "profile_data(D)."},
       0, "| ?- yes\n| ?- yes\n| ?- yes\n| ?- yes\n| ?- yes\n| ?- D = []\nyes\n| ?- \n", {}, {"D = []\nyes"}},
      {"memory_fault_restarts",
       {"--nologo"},
       {"structs:calloc(100000000000, 1000, A).", "prolog:'$memory_fault'.", "X = 2."},
       0,
       "| ?- | ?- | ?- X = 2\nyes\n| ?- \n",
       {"! Resource error: insufficient memory\n", "! Resource error: insufficient memory\n"},
       {"! Resource error: insufficient memory", "| ?- ", "! Resource error: insufficient memory", "| ?- ",
        "X = 2\nyes"}},
      {"arguments_in_the_argv_flag", {"--nologo", "--", "a b", "-l"}, {"current_prolog_flag(argv, X)."}, 0,
       "| ?- X = ['a b','-l']\nyes\n| ?- \n", {}, {"X = ['a b','-l']\nyes"}},
      {"statistics_report_even_without_informational_messages", {"--nologo", "--noinfo"}, {"statistics."}, 0,
       "| ?- yes\n| ?- \n",
       {"% Times: ", " sec. runtime, ", " sec. elapsed\n", "% Memory ", "in use", "free\n", "%   global stack ",
        " bytes\n", "% Garbage collections: ", "% Stack shifts: ", "% Atoms: ", " in use ("},
       {"% Times: ", "%   global stack ", "% Atoms: "}, "Unknown message"},
      {"banner", {}, {}, 0, "| ?- \n", {"Lorvika 4.9.0"}, {"Lorvika 4.9.0", "| ?- "}},
      {"end_of_file", {"--nologo"}, {}, 0, "| ?- \n", {}, {"| ?- "}},
  };
}

class Console : public ::testing::TestWithParam<session> {};

TEST_P(Console, OnPipes) {
  const session& s = GetParam();
  std::string input;
  for (const auto& l : s.lines) input += l + "\n";
  console::result r = console::run_on_pipes(PROGRAM, s.args, input);
  EXPECT_EQ(r.exit_code, s.exit_code) << r.err;
  EXPECT_EQ(r.out, s.pipe_out) << r.err;
  expect_in_order(r.err, s.messages);
  if (!s.never_shown.empty()) {
    EXPECT_EQ(r.err.find(s.never_shown), std::string::npos) << r.err;
  }
}

TEST_P(Console, OnATerminal) {
  const session& s = GetParam();
  console::result r = console::run_on_terminal(PROGRAM, s.args, s.lines, true);
  EXPECT_EQ(r.exit_code, s.exit_code) << r.out;
  expect_in_order(without_carriage_returns(r.out), s.terminal);
  if (!s.never_shown.empty()) {
    EXPECT_EQ(r.out.find(s.never_shown), std::string::npos) << r.out;
  }
}

INSTANTIATE_TEST_SUITE_P(Sessions, Console, ::testing::ValuesIn(sessions()),
                         [](const auto& info) { return std::string(info.param.name); });

// The command line's errors and the informational options: exit code and
// what is printed where.
struct command_line {
  const char* name;
  std::vector<std::string> args;
  int exit_code;
  std::string out_has;
  std::string err_has;
};

class CommandLine : public ::testing::TestWithParam<command_line> {};

TEST_P(CommandLine, ExitCodeAndMessage) {
  const command_line& c = GetParam();
  console::result r = console::run_on_pipes(PROGRAM, c.args, "");
  EXPECT_EQ(r.exit_code, c.exit_code) << r.err;
  EXPECT_NE(r.out.find(c.out_has), std::string::npos) << r.out;
  EXPECT_NE(r.err.find(c.err_has), std::string::npos) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Options, CommandLine,
    ::testing::Values(
        command_line{"help", {"--help"}, 0, "    -l <file>  Ensure that <file>", ""},
        command_line{"short_help", {"-help"}, 0, "Usage: ", ""},
        command_line{"version", {"--version"}, 0, "lorvika (Lorvika Prolog 4.9.0)\n", ""},
        command_line{"unknown_option", {"file.pl"}, 1, "", "Unknown option 'file.pl'."},
        command_line{"usage_after_unknown", {"-x"}, 1, "", "Unknown option '-x'.\nUsage: "},
        command_line{"usage_lines_together", {"-x"}, 1, "", "Options:\n\n    -f         Fast start."},
        command_line{"missing_value", {"-l"}, 1, "", "Missing argument to option '-l'."},
        command_line{"malformed_property", {"-Dname"}, 1, "", "Malformed option \"-Dname\""},
        command_line{"dump_and_restore_dump", {"-B", "-R"}, 1, "", "The -B and -R options cannot be used together."},
        command_line{"dump_path_without_slash", {"-Bstate.sav", "-r", "x.ql"}, 1, "",
                     "Malformed dump pathname `state.sav'"},
        command_line{"dump_path_without_extension", {"-B/tmp.d/state", "-r", "x.ql"}, 1, "",
                     "Malformed dump pathname `/tmp.d/state'"},
        command_line{"dump_without_boot_file", {"-B/tmp/state.sav"}, 1, "",
                     "QL pathname must be specified (with -r file.ql)"},
        command_line{"boot_file_missing", {"-B/tmp/state.sav", "-r", "/nonexistent/x.ql"}, 1, "",
                     "Couldn't load boot file `/nonexistent/x.ql': Failed to load bootfile (lvrt.ql or lvds.ql)\n"},
        command_line{"arguments_passed_on", {"--nologo", "--", "file.pl"}, 0, "| ?- ", ""},
        command_line{"help_names_the_argv_flag", {"--help"}, 0,
                     "    -- ...     Pass the rest of the arguments as current_prolog_flag(argv,X).\n", ""},
        command_line{"locale", {"--locale", "C"}, 1, "", "The --locale option is not supported on Linux (--locale C).\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// Ctrl-C while a goal runs brings up the menu: help, abort, exit.
struct interruption {
  const char* name;
  std::vector<std::string> choices;  // typed at the menu in turn
  int exit_code;
  std::vector<std::string> shown;
};

class CtrlC : public ::testing::TestWithParam<interruption> {};

TEST_P(CtrlC, MenuOnATerminal) {
  const interruption& c = GetParam();
  std::vector<console::step> steps = {{"| ?- ", "write(go), nl, repeat, fail.\n"}, {"go\r\n", "\x03"}};
  for (const auto& choice : c.choices) steps.push_back({"(h for help)? ", choice + "\n"});
  steps.push_back({"| ?- ", "X = 1.\n"});
  steps.push_back({"| ?- ", "\x04"});
  console::result r = console::run_terminal_script(PROGRAM, {"--nologo"}, steps);
  EXPECT_EQ(r.exit_code, c.exit_code) << r.out;
  expect_in_order(without_carriage_returns(r.out), c.shown);
}

INSTANTIATE_TEST_SUITE_P(
    Menu, CtrlC,
    ::testing::Values(interruption{"abort", {"a"}, 0, {"Prolog interruption (h for help)? ", "% Execution aborted\n| ?- ",
                                                       "X = 1\nyes"}},
                      interruption{"help_then_abort", {"h", "a"}, 0, {"    c  continue\n", "% Execution aborted"}},
                      interruption{"exit", {"e"}, 0, {"Prolog interruption"}}),
    [](const auto& info) { return std::string(info.param.name); });

// Ctrl-C while the engine waits for input, at the prompt or in get_char/1,
// brings up the menu at once; continue goes back to the wait, abort to the
// top level. On a terminal and on pipes.
struct waiting_interruption {
  const char* name;
  std::string query;   // typed at the first prompt ("" waits at the prompt)
  std::string choice;  // at the menu
  std::string then;    // typed after the menu
  std::vector<std::string> shown;
};

std::vector<console::step> waiting_steps(const waiting_interruption& c, const std::string& line_end) {
  std::vector<console::step> steps;
  if (c.query.empty()) {
    steps.push_back({"| ?- ", "", SIGINT});
  } else {
    steps.push_back({"| ?- ", c.query + "\n"});
    steps.push_back({"waiting" + line_end, "", SIGINT});
  }
  steps.push_back({"(h for help)? ", c.choice + "\n"});
  steps.push_back({"", c.then});
  return steps;
}

class CtrlCWhileWaiting : public ::testing::TestWithParam<waiting_interruption> {};

TEST_P(CtrlCWhileWaiting, OnATerminal) {
  const waiting_interruption& c = GetParam();
  std::vector<console::step> steps = waiting_steps(c, "\r\n");
  // The terminal shows line ends as CR LF.
  std::string last;
  for (char ch : c.shown.back()) last += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
  steps.push_back({last, ""});
  steps.push_back({"| ?- ", "\x04"});
  console::result r = console::run_terminal_script(PROGRAM, {"--nologo"}, steps);
  EXPECT_EQ(r.exit_code, 0) << r.out;
  expect_in_order(without_carriage_returns(r.out), c.shown);
}

TEST_P(CtrlCWhileWaiting, OnPipes) {
  const waiting_interruption& c = GetParam();
  console::result r = console::run_pipe_script(PROGRAM, {"--nologo"}, waiting_steps(c, "\n"));
  EXPECT_EQ(r.exit_code, 0) << r.err;
  expect_in_order(r.err, {"Prolog interruption (h for help)? "});
  expect_in_order(r.out + r.err, {c.shown.back()});
}

INSTANTIATE_TEST_SUITE_P(
    Waits, CtrlCWhileWaiting,
    ::testing::Values(
        waiting_interruption{"prompt_abort", "", "a", "X = 1.\n",
                             {"Prolog interruption (h for help)? ", "% Execution aborted", "X = 1\nyes"}},
        waiting_interruption{"prompt_continue", "", "c", "X = 1.\n", {"Prolog interruption (h for help)? ", "X = 1\nyes"}},
        waiting_interruption{"get_char_abort", "write(user_error, waiting), nl(user_error), get_char(C).", "a",
                             "X = 1.\n", {"Prolog interruption (h for help)? ", "% Execution aborted", "X = 1\nyes"}},
        waiting_interruption{"get_char_continue", "write(user_error, waiting), nl(user_error), get_char(C).", "c",
                             "z\n", {"Prolog interruption (h for help)? ", "C = z\nyes"}},
        // process_wait/2 waits on after the menu, and the child is reaped.
        waiting_interruption{"process_wait_continue",
                             "process_create('/bin/sleep', ['0.5'], [process(P)]), write(user_error, waiting), "
                             "nl(user_error), process_wait(P, S), process_release(P).",
                             "c", "", {"Prolog interruption (h for help)? ", "S = exit(0)"}}),
    [](const auto& info) { return std::string(info.param.name); });

// A segmentation fault signal while a goal runs: in signal mode 0 it is a
// fatal fault and the top level starts again; with reduced use of signals
// it ends the program.
struct fault_signal {
  const char* name;
  std::vector<std::string> args;
  bool restarts;
};

class FaultSignal : public ::testing::TestWithParam<fault_signal> {};

TEST_P(FaultSignal, RestartsOrEnds) {
  const fault_signal& c = GetParam();
  std::vector<std::string> args = c.args;
  args.insert(args.begin(), "--nologo");
  // A restart after a fault signal abandons what was under way when it came,
  // such as a write still in flight; a leak check at exit would report that
  // record whenever the signal lands during the write, so the sanitizer
  // build leaves leak checking off for this child.
  const char* old_asan = getenv("ASAN_OPTIONS");
  std::string saved_asan = old_asan ? old_asan : "";
  setenv("ASAN_OPTIONS", (saved_asan.empty() ? std::string("detect_leaks=0") : saved_asan + ":detect_leaks=0").c_str(), 1);
  console::result r = console::run_terminal_script(
      PROGRAM, args,
      {{"| ?- ", "write(go), nl, repeat, fail.\n"}, {"go\r\n", "", SIGSEGV}, {"| ?- ", "X = 1.\n"}, {"| ?- ", "\x04"}});
  if (old_asan) {
    setenv("ASAN_OPTIONS", saved_asan.c_str(), 1);
  } else {
    unsetenv("ASAN_OPTIONS");
  }
  if (c.restarts) {
    EXPECT_EQ(r.exit_code, 0) << r.out;
    // Output written just before the fault can show again after the message
    // (the restart does not yet know how much of it reached the terminal);
    // what is checked is the message, then a new prompt and the next query.
    expect_in_order(without_carriage_returns(r.out), {"go\n", "! segmentation violation\n", "| ?- ", "X = 1\nyes"});
  } else {
    // Killed by the signal (or ended by a sanitizer's report of it).
    EXPECT_NE(r.exit_code, 0) << r.out;
    EXPECT_EQ(r.out.find("X = 1"), std::string::npos) << r.out;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Modes, FaultSignal,
    ::testing::Values(fault_signal{"property_no", {"-DLV_REDUCE_USE_OF_OS_SIGNALS=no"}, true},
                      fault_signal{"interactive", {"-i"}, true},
                      fault_signal{"reduced", {"-Xrs", "-i"}, false},
                      fault_signal{"property_yes", {"-DLV_REDUCE_USE_OF_OS_SIGNALS=yes", "-i"}, false},
                      fault_signal{"no_after_yes_ignored",
                                   {"-DLV_REDUCE_USE_OF_OS_SIGNALS=yes", "-DLV_REDUCE_USE_OF_OS_SIGNALS=no", "-i"}, false}),
    [](const auto& info) { return std::string(info.param.name); });

// time_out/3 on the wall clock ends a goal blocked in a read (standard
// input is a pipe that stays open and silent).
TEST(TimeOut, WallClockEndsABlockedRead) {
  console::result r = console::run_pipe_script(PROGRAM, {"--nologo", "-DLV_TIMEOUT_RESOURCE=walltime"},
                                               {{"| ?- ", "time_out(get_char(_), 200, R).\n"}, {"R = time_out", ""}});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "| ?- R = time_out\nyes\n| ?- \n") << r.err;
}

// Running out of descriptors makes open/3 a resource error, not a
// permission error (the limit is the child's, inherited from here).
TEST(OpenErrors, TooManyOpenFilesIsAResourceError) {
  rlimit before{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &before), 0);
  rlimit low = before;
  low.rlim_cur = 64;
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
  console::result r = console::run_on_pipes(
      PROGRAM, {"--nologo"},
      "catch((between(1, 1000, _), open('/dev/null', read, S), assertz(opened(S)), fail ; true), error(E, _), true),"
      " forall(retract(opened(S)), close(S)).\n");
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &before), 0);
  EXPECT_EQ(r.out, "| ?- E = resource_error('file handle')\nyes\n| ?- \n") << r.err;
}

// The init file in the home directory is consulted unless -f is given.
TEST(InitFile, ConsultedUnlessFastStart) {
  std::string home = std::string(::testing::TempDir()) + "lv_console_home_" + std::to_string(getpid());
  ASSERT_EQ(system(("mkdir -p '" + home + "'").c_str()), 0);
  std::ofstream(home + "/.lorvikarc") << "init_fact(yes).\n";
  setenv("HOME", home.c_str(), 1);
  console::result r = console::run_on_pipes(PROGRAM, {"--nologo"}, "init_fact(X).\n");
  EXPECT_EQ(r.out, "| ?- X = yes\nyes\n| ?- \n") << r.err;
  r = console::run_on_pipes(PROGRAM, {"--nologo", "-f"}, "init_fact(X).\n");
  EXPECT_EQ(r.out, "| ?- | ?- \n") << r.err;
  EXPECT_NE(r.err.find("init_fact/1 does not exist"), std::string::npos) << r.err;
  std::remove((home + "/.lorvikarc").c_str());
  rmdir(home.c_str());
}

// The boot road: the boot file is loaded and booted, then the state is
// saved, or, with an empty dump path, the top level runs.
TEST(BootRoad, SavesTheStateQuietlyOrSaysSo) {
  std::string tag = std::to_string(getpid());
  std::string quiet = std::string(::testing::TempDir()) + "lv_console_quiet_" + tag + ".sav";
  std::string told = std::string(::testing::TempDir()) + "lv_console_told_" + tag + ".sav";
  std::remove(quiet.c_str());
  console::result r = console::run_on_pipes(PROGRAM, {"-q", "-B" + quiet, "-r", LV_BOOT_QL}, "");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out + r.err, "");
  EXPECT_TRUE(std::ifstream(quiet).good());
  r = console::run_on_pipes(PROGRAM, {"-R" + told, "-r", LV_BOOT_QL}, "");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.err.find("Created `" + told + "'.\n"), std::string::npos) << r.err;
  // The saved state restored by -r on the normal road.
  r = console::run_on_pipes(PROGRAM, {"--nologo", "-r", quiet}, "X = 1.\n");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "| ?- X = 1\nyes\n| ?- \n") << r.err;
  std::remove(quiet.c_str());
  std::remove(told.c_str());
}

TEST(BootRoad, EmptyDumpPathRunsTheTopLevel) {
  console::result r = console::run_on_pipes(PROGRAM, {"--nologo", "-B", "-r", LV_BOOT_QL}, "X = 1.\n");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "| ?- X = 1\nyes\n| ?- \n") << r.err;
}

}  // namespace
