// The development system's start-up: the copy of the front end's block and
// the built-ins that hand its values out (most of them once), and the
// start-up goals, which run in order and leave tracing off when asked.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "embed/builtin_registry.h"
#include "embed/c_predicates.h"
#include "embed/devsys.h"
#include "embed/startup_support.h"
#include "lvio/result_codes.h"

using namespace startup_test;

namespace {

class Devsys : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_BOOT_FILE();
    ASSERT_TRUE(start_and_boot());
  }
  void TearDown() override { LV_deinitialize(); }

  // Runs prolog:Name(X) and gives X's text, or "fail".
  std::string ask(const char* name) {
    lv_term_ref x = var_ref();
    int r = query("prolog", name, {x});
    return r == 1 ? term_text(x) : r == 0 ? "fail" : "exception";
  }
};

TEST_F(Devsys, TheBlockIsCheckedAndCopied) {
  lv_frontend_params p{};
  p.size = 79;
  EXPECT_EQ(lv_init_ds(&p), LVIO_E_PARAMETER_ERROR);

  std::string a = "a.pl", b = "dir/b.pl", restore = "state.sav", goal = "foo(X, bar).";
  char* files[] = {a.data(), b.data()};
  p.size = 80;
  p.file_count = 2;
  p.files = files;
  p.restore_file = restore.data();
  p.goal = goal.data();
  p.nologo = 1;
  ASSERT_EQ(lv_init_ds(&p), 0);
  // The caller's block may go at once.
  a = "x";
  restore = "y";
  goal = "z";
  EXPECT_EQ(ask("$flag_file"), ".(a.pl, .(dir/b.pl, []))");
  EXPECT_EQ(ask("$flag_file"), "fail");
  EXPECT_EQ(ask("$restore_file"), "state.sav");
  EXPECT_EQ(ask("$restore_file"), "fail");
  EXPECT_EQ(ask("$patch_file"), "fail");
  EXPECT_EQ(ask("$flag_goal"), "foo(_, bar)");
  EXPECT_EQ(ask("$flag_goal"), "fail");
  EXPECT_EQ(ask("$flag_ketch"), "fail");
  EXPECT_EQ(query("prolog", "$command_option", {atom_ref("nologo")}), 1);
  EXPECT_EQ(query("prolog", "$command_option", {atom_ref("noinfo")}), 0);
  EXPECT_EQ(query("prolog", "$command_option", {atom_ref("other")}), 0);
}

TEST_F(Devsys, AGoalWithASyntaxErrorRaisesTheReadersException) {
  lv_frontend_params p{};
  p.size = 80;
  std::string goal = "foo(";
  p.goal = goal.data();
  ASSERT_EQ(lv_init_ds(&p), 0);
  EXPECT_EQ(ask("$flag_goal"), "exception");
  EXPECT_EQ(ask("$flag_goal"), "fail");
}

TEST_F(Devsys, RegisteringTwiceLeavesOneRecordPerPredicate) {
  ASSERT_EQ(lv_init_ds(nullptr), 0);
  size_t count;
  lv_builtin_registry(&count);
  ASSERT_EQ(lv_init_ds(nullptr), 0);
  size_t again;
  lv_builtin_registry(&again);
  EXPECT_EQ(again, count);
  lv_term_ref i = var_ref();
  EXPECT_EQ(query("prolog", "$pred_table_search", {atom_ref("$flag_goal"), int_ref(1), atom_ref("prolog"), i}), 1);
}

// $init_file: the first of ~/.lorvikarc and ~/lorvika.ini that exists, once.
TEST(DevsysInitFile, TheFirstFileThatExistsOnce) {
  REQUIRE_BOOT_FILE();
  char dir[] = "/tmp/lv-home-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  std::ofstream(std::string(dir) + "/lorvika.ini") << "% ini\n";
  std::ofstream(std::string(dir) + "/.lorvikarc") << "% rc\n";
  const char* old_home = std::getenv("HOME");
  std::string saved = old_home != nullptr ? old_home : "";
  setenv("HOME", dir, 1);
  ASSERT_TRUE(start_and_boot());
  ASSERT_EQ(lv_init_ds(nullptr), 0);
  lv_term_ref x = var_ref();
  EXPECT_EQ(query("prolog", "$init_file", {x}), 1);
  EXPECT_EQ(term_text(x), std::string(dir) + "/.lorvikarc");
  lv_term_ref y = var_ref();
  EXPECT_EQ(query("prolog", "$init_file", {y}), 0);
  LV_deinitialize();
  setenv("HOME", saved.c_str(), 1);
  std::remove((std::string(dir) + "/lorvika.ini").c_str());
  std::remove((std::string(dir) + "/.lorvikarc").c_str());
  rmdir(dir);
}

// The goals' predicates, replaced by recorders.
std::vector<std::string> steps;
int reboot2(lv_worker*) { steps.push_back("reboot2"); return 1; }
int reset_debugger(lv_worker*) { steps.push_back("reset_debugger"); return 1; }
int debugger_invocation(lv_worker*) { steps.push_back("debugger_invocation"); return 1; }
int adjust_debugger(lv_worker*) { steps.push_back("adjust_debugger"); return 1; }
int ketch_attach(lv_worker*) { steps.push_back("ketch_attach"); return 1; }
int trace(lv_worker*) { steps.push_back("trace"); return 1; }
int fails(lv_worker*) { steps.push_back("fails"); return 0; }

TEST_F(Devsys, TheStartUpGoalsRunInOrderAndTracingIsLeftOffWhenAsked) {
  lv_define_c_function_predicate("reboot2", 1, nullptr, 1, reboot2);
  lv_define_c_function_predicate("reset_debugger", 1, nullptr, 1, reset_debugger);
  lv_define_c_function_predicate("debugger_invocation", 0, nullptr, 1, debugger_invocation);
  lv_define_c_function_predicate("adjust_debugger", 0, nullptr, 1, adjust_debugger);
  lv_define_c_function_predicate("ketch_attach", 0, nullptr, 1, ketch_attach);
  lv_define_c_function_predicate("trace", 0, nullptr, 1, trace);
  using V = std::vector<std::string>;
  const V debugger = {"reboot2", "reset_debugger", "debugger_invocation", "adjust_debugger"};
  struct {
    int flags;
    V expected;
  } cases[] = {
      {0, {"reboot2", "reset_debugger", "debugger_invocation", "adjust_debugger", "trace"}},
      {LV_DEVSYS_NO_TRACE, debugger},
      {LV_DEVSYS_SKIP_GOALS, {}},
      {LV_DEVSYS_ATTACH | LV_DEVSYS_NO_TRACE,
       {"reboot2", "reset_debugger", "debugger_invocation", "adjust_debugger", "ketch_attach"}},
      {LV_DEVSYS_SKIP_GOALS | LV_DEVSYS_ATTACH, {"ketch_attach"}},
  };
  for (auto& c : cases) {
    steps.clear();
    EXPECT_EQ(lv_dev_init(nullptr, c.flags), 0) << c.flags;
    EXPECT_EQ(steps, c.expected) << c.flags;
  }
  lv_term_ref v = var_ref();
  ASSERT_EQ(query("prolog", "current_prolog_flag", {atom_ref("source_info"), v}), 1);
  EXPECT_EQ(term_text(v), "on");

  // A goal that fails stops the start-up.
  lv_define_c_function_predicate("reset_debugger", 1, nullptr, 1, fails);
  steps.clear();
  EXPECT_EQ(lv_dev_init(nullptr, 0), LVIO_E_ERROR);
  EXPECT_EQ(steps, (V{"reboot2", "fails"}));
}

}  // namespace
