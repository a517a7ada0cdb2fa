// The file-name normaliser and the runtime current directory.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "core/memory.h"
#include "core/settings.h"
#include "lvio/environment.h"
#include "lvio/result_codes.h"
#include "streams/file_names.h"
#include "support/stream_fixture.h"

namespace {

class FileNameTest : public StreamTest {
 protected:
  void SetUp() override {
    const char* h = std::getenv("HOME");
    if (h != nullptr) saved_home = h;
    had_home = h != nullptr;
    setenv("HOME", "/home/tester", 1);
    setenv("LVTEST_DIR", "/data/set", 1);
    setenv("LVTEST_EMPTY", "", 1);
    unsetenv("LVTEST_UNSET");
    StreamTest::SetUp();  // the I/O layer takes its snapshot of the environment
  }
  void TearDown() override {
    if (had_home)
      setenv("HOME", saved_home.c_str(), 1);
    else
      unsetenv("HOME");
    lv_clear_current_dir();
    lv_set_current_dir_options(0);
    StreamTest::TearDown();
  }
  // The normalised text, or "FAIL".
  static std::string norm(const char* name, const char* base, uint32_t flags) {
    char* out = lv_normalize_file_name(name, base, flags);
    if (out == nullptr) return "FAIL";
    std::string s = out;
    LV_free(out);
    return s;
  }
  std::string saved_home;
  bool had_home = false;
};

TEST_F(FileNameTest, NormalisesByTheTable) {
  struct Case {
    const char* name;
    const char* base;
    uint32_t flags;
    const char* expected;
  } cases[] = {
      {"/a/./b//c/", nullptr, 0, "/a/b/c"},
      {"/a/./b//c/", nullptr, LV_NAME_DIRECTORY, "/a/b/c/"},
      {"///a////b", nullptr, 0, "/a/b"},
      {"/a/b/../c", nullptr, 0, "/a/c"},
      {"/a/..", nullptr, 0, "FAIL"},  // only the root remains
      {"/a/..", nullptr, LV_NAME_ROOT_OK, "/"},
      {"/..", nullptr, LV_NAME_ROOT_OK, "FAIL"},
      {"/a/../..", nullptr, LV_NAME_DIRECTORY, "FAIL"},
      {"/", nullptr, 0, "FAIL"},
      {"/", nullptr, LV_NAME_DIRECTORY, "/"},
      {"/", nullptr, LV_NAME_ROOT_DOT, "/."},
      {"/", nullptr, LV_NAME_ROOT_OK, "/"},
      {"x/y.pl", "/w/v", 0, "/w/v/x/y.pl"},
      {"x/y.pl", "/w/v/", 0, "/w/v/x/y.pl"},
      {"../y", "/w/v/", 0, "/w/y"},
      {"./y/.", "/w", LV_NAME_DIRECTORY, "/w/y/"},
      {"x", "/w", LV_NAME_ABSOLUTE, "FAIL"},
      {"/x", "/w", LV_NAME_ABSOLUTE, "/x"},
      {"x", "relative/base", 0, "FAIL"},
      {"Foo.PL", "/W", 0, "/W/Foo.PL"},  // case is kept
      {"a\\b", "/w", 0, "/w/a\\b"},       // "\" is an ordinary character
      {"~/x", nullptr, 0, "/home/tester/x"},
      {"~", nullptr, LV_NAME_DIRECTORY, "/home/tester/"},
      {"~root/x", nullptr, 0, "/root/x"},
      {"~no-such-user-lv/x", nullptr, 0, "FAIL"},
      {"~/x", "/w", LV_NAME_NO_HOME, "/w/~/x"},
      {"$LVTEST_DIR/x", nullptr, 0, "/data/set/x"},
      {"$LVTEST_DIR", nullptr, 0, "/data/set"},
      {"$LVTEST_DIR/../y", nullptr, 0, "/data/y"},
      {"$LVTEST_UNSET/x", nullptr, 0, "FAIL"},
      {"$LVTEST_EMPTY/x", nullptr, 0, "FAIL"},
      {"$/x", nullptr, 0, "FAIL"},
      {"$LVTEST_UNSET/x", "/w", LV_NAME_NO_VARIABLE, "/w/$LVTEST_UNSET/x"},
      {"a\xff" "b", "/w", 0, "FAIL"},       // not UTF-8
      {"/\xc3\xa9t\xc3\xa9", nullptr, 0, "/\xc3\xa9t\xc3\xa9"},
      {"/\xc3", nullptr, 0, "FAIL"},         // truncated sequence
      {"", "/w", 0, "/w"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(norm(c.name, c.base, c.flags), c.expected) << c.name << " flags " << c.flags;
  EXPECT_EQ(norm(nullptr, nullptr, 0), "FAIL");
}

TEST_F(FileNameTest, RelativeNamesFollowTheRuntimeDirectory) {
  dir.file("f", "");
  ASSERT_EQ(mkdir(dir.path("sub").c_str(), 0700), 0);
  lv_set_current_dir_options(1);  // leave the process's working directory alone
  ASSERT_EQ(LV_set_current_dir(dir.path("sub/.").c_str()), 0);
  EXPECT_EQ(std::string(lv_current_dir()), dir.path("sub/"));
  EXPECT_EQ(norm("x.pl", nullptr, 0), dir.path("sub/x.pl"));
  EXPECT_EQ(norm("x.pl", "", 0), dir.path("sub/x.pl"));
  char* copy = LV_get_current_dir();
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(std::string(copy), dir.path("sub/"));
  LV_free(copy);

  EXPECT_EQ(LV_set_current_dir(dir.path("f").c_str()), LVIO_E_FILE_NOT_DIRECTORY);
  EXPECT_EQ(LV_set_current_dir(dir.path("missing").c_str()), LVIO_E_FILE_NOT_DIRECTORY);
  EXPECT_EQ(LV_set_current_dir("/.."), LVIO_E_INVALID_NAME);
  EXPECT_EQ(LV_set_current_dir("/a\xfe"), LVIO_E_ENCODING_INVALID);
  EXPECT_EQ(std::string(lv_current_dir()), dir.path("sub/"));  // unchanged by failures

  // Bit 1 keeps the runtime directory.
  lv_set_current_dir_options(3);
  EXPECT_EQ(LV_set_current_dir(dir.path("").c_str()), 0);
  EXPECT_EQ(std::string(lv_current_dir()), dir.path("sub/"));

  char* expanded = nullptr;
  ASSERT_EQ(LV_expand_file_name("../f", dir.path("sub").c_str(), 0, &expanded), 0);
  EXPECT_EQ(std::string(expanded), dir.path("f"));
  LV_free(expanded);
  EXPECT_EQ(LV_expand_file_name("x", "/..", 0, &expanded), LVIO_E_ERROR);
  EXPECT_EQ(expanded, nullptr);
}

TEST_F(FileNameTest, ChangesTheProcessDirectoryUnlessTold) {
  char before[4096];
  ASSERT_NE(getcwd(before, sizeof before), nullptr);
  ASSERT_EQ(LV_set_current_dir(dir.path("").c_str()), 0);
  char now[4096];
  ASSERT_NE(getcwd(now, sizeof now), nullptr);
  EXPECT_EQ(std::string(now) + "/", dir.path(""));
  ASSERT_EQ(chdir(before), 0);
  // LV_ALLOW_CHDIR=no overrides the options word.
  ASSERT_EQ(lvio_setting_set("LV_ALLOW_CHDIR", "no"), 0);
  ASSERT_EQ(LV_set_current_dir(dir.path("").c_str()), 0);
  ASSERT_EQ(lvio_setting_set("LV_ALLOW_CHDIR", ""), 0);
  ASSERT_NE(getcwd(now, sizeof now), nullptr);
  EXPECT_EQ(std::string(now), before);
}

}  // namespace

namespace {

TEST_F(FileNameTest, StartUpDirectoryFromItsSettingOrTheProcess) {
  lv_set_current_dir_options(1);
  ASSERT_EQ(lvio_setting_set("LV_STARTUP_DIR", dir.path("").c_str()), 0);
  ASSERT_EQ(lv_init_startup_dir(), 1);
  EXPECT_EQ(std::string(lv_current_dir()), dir.path(""));
  char* temp = lv_get_property_text_default("LV_TEMP_DIR", nullptr, nullptr);
  ASSERT_NE(temp, nullptr);
  EXPECT_EQ(temp[0], '/');
  LV_free(temp);
  // A start-up directory that does not exist fails.
  ASSERT_EQ(lvio_setting_set("LV_STARTUP_DIR", dir.path("missing").c_str()), 0);
  EXPECT_EQ(lv_init_startup_dir(), 0);
  // Without the setting the process's working directory is taken and stored.
  ASSERT_EQ(lvio_setting_set("LV_STARTUP_DIR", ""), 0);
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  EXPECT_EQ(lv_init_startup_dir(), 1);  // an empty setting counts as none
  EXPECT_EQ(std::string(lv_current_dir()), std::string(cwd) + "/");
  char* stored = lv_get_property_text_default("LV_STARTUP_DIR", nullptr, nullptr);
  ASSERT_NE(stored, nullptr);
  EXPECT_EQ(std::string(stored), std::string(cwd) + "/");
  LV_free(stored);
}

}  // namespace
