// $argv and $set_argv.
#include <gtest/gtest.h>

#include "embed/argument_vector.h"
#include "embed/argv_builtins.h"
#include "support/builtin_fixture.h"

namespace {

class ArgvBuiltinTest : public BuiltinTest {
 protected:
  // The vector lives in this test's memory.
  void TearDown() override {
    lv_argv_clear();
    BuiltinTest::TearDown();
  }
};

TEST_F(ArgvBuiltinTest, TheVectorIsSetAndReadBackInOrder) {
  ASSERT_EQ(run(prolog_argv, {"L"}), 1);
  EXPECT_EQ(text("L"), "[]");  // none set yet
  const char* args[] = {"prog", "-x", "\xc3\xa9"};
  ASSERT_EQ(LV_set_argv(3, args, 0), 1);
  ASSERT_EQ(run(prolog_argv, {"M"}), 1);
  EXPECT_EQ(text("M"), "[prog,-x,\xc3\xa9]");

  // $set_argv takes a list of atoms.
  ASSERT_EQ(run(prolog_set_argv, {"[a,bc,'d e']"}), 1);
  int n = 0;
  const char* const* v = lv_argv(&n);
  ASSERT_EQ(n, 3);
  EXPECT_STREQ(v[0], "a");
  EXPECT_STREQ(v[1], "bc");
  EXPECT_STREQ(v[2], "d e");
  ASSERT_EQ(run(prolog_set_argv, {"[]"}), 1);
  EXPECT_EQ(lv_argv(&n) != nullptr ? n : 0, 0);
  // Not a list, a partial list, an element that is no text: the vector stays.
  const char* one[] = {"kept"};
  ASSERT_EQ(LV_set_argv(1, one, 0), 1);
  for (const char* bad : {"foo", "[a|_]", "[a,f(x)]", "[_]", "[a,[98]]", "[1]"})
    EXPECT_EQ(run(prolog_set_argv, {bad}), 0) << bad;
  EXPECT_STREQ(lv_argv(&n)[0], "kept");
}

}  // namespace
