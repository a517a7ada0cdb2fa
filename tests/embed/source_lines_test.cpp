// Source lines of consulted clauses: with the flag source_info on, compiled
// code records its head and call lines, dynamic clauses get a table of
// positions, and coverage after a profiled run maps to the file's lines.
#include <gtest/gtest.h>

#include <string>

#include "embed/devsys.h"
#include "embed/startup_support.h"
#include "embed/text_input.h"
#include "support/temp_files.h"

using namespace startup_test;

namespace {

const char* const PROGRAM =
    ":- dynamic d/1.\n"  // 1
    "p(X) :-\n"          // 2
    "    q(X),\n"        // 3
    "    r(X).\n"        // 4
    "q(1).\n"            // 5
    "r(_).\n"            // 6
    "d(X) :-\n"          // 7
    "    q(X),\n"        // 8
    "    r(X).\n"        // 9
    "s(1) :- q(1).\n"    // 10
    "s(2) :-\n"          // 11
    "    r(2).\n";       // 12

class SourceLines : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_BOOT_FILE();
    ASSERT_TRUE(start_and_boot());
    ASSERT_EQ(lv_init_ds(nullptr), 0);
    files.file("small.pl", PROGRAM);
    file = files.path("small.pl");
    ASSERT_EQ(run("set_prolog_flag(source_info, on), consult('" + file + "')"), 1);
  }
  void TearDown() override { LV_deinitialize(); }

  // Runs a goal given as text in module user: 1, 0 or -1.
  int run(const std::string& goal) {
    lv_term_ref g = LV_new_term_ref();
    const lv_term_ref none[] = {0};
    std::string text = "user:(" + goal + ").";
    if (LV_read_from_string(g, text.c_str(), none) != 1) return -2;
    return query("prolog", "call", {g});
  }
  std::string quoted() const { return "'" + file + "'"; }

  TempFiles files;
  std::string file;
};

TEST_F(SourceLines, CompiledCodeRecordsItsHeadAndCallLines) {
  for (int line : {2, 3, 4}) EXPECT_EQ(run("prolog:'$comp_has_line'(user, p, 1, " + quoted() + ", " + std::to_string(line) + ")"), 1) << line;
  EXPECT_EQ(run("prolog:'$comp_has_line'(user, p, 1, " + quoted() + ", 5)"), 0);
  EXPECT_EQ(run("prolog:'$comp_has_line'(user, q, 1, " + quoted() + ", 5)"), 1);
  EXPECT_EQ(run("prolog:'$comp_has_line'(user, p, 1, other, 2)"), 0);
  EXPECT_EQ(run("prolog:'$comp_has_line'(user, p, 256, " + quoted() + ", 2)"), 0);
}

TEST_F(SourceLines, DynamicClausesFindTheLinesOfTheirGoals) {
  const std::string ref = "clause(d(_), _, R), ";
  EXPECT_EQ(run(ref + "prolog:'$instance_has_line'(R, " + quoted() + ", 8)"), 1);
  EXPECT_EQ(run(ref + "prolog:'$instance_has_line'(R, " + quoted() + ", 9)"), 1);
  for (const char* line : {"7", "0", "-1", "10"})
    EXPECT_EQ(run(ref + "prolog:'$instance_has_line'(R, " + quoted() + ", " + line + ")"), 0) << line;
  EXPECT_EQ(run(ref + "prolog:'$search_table_interp'([1, 2|R], F, 8), F == " + quoted()), 1);
  EXPECT_EQ(run(ref + "prolog:'$search_table_interp'([2, 2|R], _, 9)"), 1);
  EXPECT_EQ(run(ref + "prolog:'$search_table_interp'([1|R], _, 7)"), 1);
}

TEST_F(SourceLines, CoverageOfAProfiledRunMapsToTheFilesLines) {
  const std::string f = quoted();
  EXPECT_EQ(run("set_prolog_flag(profiling, on), profile_reset, p(1), coverage_data(D),"
                "prolog:'$member'(line(" + f + ", 2, 1), D), prolog:'$member'(line(" + f + ", 3, 1), D),"
                "prolog:'$member'(line(" + f + ", 5, Q), D), Q >= 1,"
                "prolog:'$member'(line(" + f + ", 8, _), D), prolog:'$member'(line(" + f + ", 9, _), D),"
                "\\+ prolog:'$member'(line(" + f + ", 1, _), D)"),
            1);
}

// A static predicate's lines count the entries of their own clause: a
// clause never entered shows 0 even when the predicate ran.
TEST_F(SourceLines, CoverageCountsEachStaticClausesEntries) {
  const std::string f = quoted();
  EXPECT_EQ(run("set_prolog_flag(profiling, on), profile_reset, s(1), s(1), coverage_data(D),"
                "prolog:'$member'(line(" + f + ", 10, 2), D),"
                "prolog:'$member'(line(" + f + ", 11, 0), D), prolog:'$member'(line(" + f + ", 12, 0), D)"),
            1);
}

}  // namespace
