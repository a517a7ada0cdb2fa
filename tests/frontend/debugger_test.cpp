// The debugger in the console program: a program consulted with -l is run
// under the debugger with scripted commands, and the port lines and
// answers are compared with the transcripts in debugger/.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "frontend/console_run.h"

namespace {

const std::string PROGRAM = LV_CONSOLE_PROGRAM;
const std::string FIXTURES = LV_DEBUGGER_FIXTURES;

std::string read_file(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Variables print as _ followed by a number that depends on the run. On a
// pipe the commands typed are not echoed: a newline after each question
// stands for the line the user typed.
std::string normalised(const std::string& text) {
  std::string s = std::regex_replace(text, std::regex("_[0-9]+"), "_");
  return std::regex_replace(s, std::regex(" \\? "), " ? \n");
}

class Debugger : public ::testing::TestWithParam<const char*> {};

TEST_P(Debugger, Transcript) {
  const std::string base = FIXTURES + "/" + GetParam();
  console::result r =
      console::run_on_pipes(PROGRAM, {"--nologo", "-l", FIXTURES + "/program.pl"}, read_file(base + ".in"));
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(std::regex_replace(r.out, std::regex("_[0-9]+"), "_"), read_file(base + ".out")) << r.err;
  EXPECT_EQ(normalised(r.err), read_file(base + ".err"));
}

// leash_none: every port of a traced run shown without a question (depths,
// redo after backtracking, an exception port); commands: creep, retry,
// fail, print and skip at leashed ports; spy_leap: a spypoint stops the
// program that leap let run; stray_box: a box left open (as by an abort the
// debugger did not see) is closed before the next query, which is traced.
INSTANTIATE_TEST_SUITE_P(Sessions, Debugger, ::testing::Values("leash_none", "commands", "spy_leap", "stray_box"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
