// Settings: typed readers, parsing and the order of the sources.
#include "lvio/settings.h"

#include <gtest/gtest.h>

#include "lvio/allocator.h"
#include "lvio/environment.h"
#include "support/env.h"

namespace {

TEST(SettingReaders, IntegerTexts) {
  constexpr int64_t MAX = INT64_MAX;
  constexpr int64_t MIN = INT64_MIN;
  struct {
    const char* text;
    lvio_code rc;
    int64_t value;
  } cases[] = {
      {"12", 0, 12},
      {"12 k", 0, 12288},
      {" \t12K", 0, 12288},
      {"3M", 0, 3 << 20},
      {"2 g", 0, int64_t{2} << 30},
      {"-3", 0, -3},
      {"- \t12", 0, -12},
      {"-2k", 0, -2048},
      {"5x", 0, 5},
      {"5 kx", 0, 5120},
      {"", 0, 0},
      {"no", 0, 0},
      {"-", 0, 0},
      {"9223372036854775807", 0, MAX},
      {"9223372036854775808", LVIO_E_MISC_ERROR_1, 0},
      {"9223372036854775809", LVIO_E_MISC_ERROR_1, 0},
      {"-9223372036854775808", 0, MIN},
      {"-9223372036854775809", LVIO_E_MISC_ERROR_1, 0},
      {"99999999999999999999", LVIO_E_MISC_ERROR_1, 0},
      {"9007199254740991K", 0, MAX - 1023},
      {"9007199254740992K", LVIO_E_MISC_ERROR_1, 0},
      {"-9007199254740991k", 0, -(MAX - 1023)},
      {"8796093022207M", 0, ((int64_t{1} << 43) - 1) << 20},
      {"8796093022208M", LVIO_E_MISC_ERROR_1, 0},
      {"8589934591G", 0, ((int64_t{1} << 33) - 1) << 30},
      {"99999999999G", LVIO_E_MISC_ERROR_1, 0},
  };
  for (const auto& c : cases) {
    int64_t value = -99;
    EXPECT_EQ(lvio_parse_integer(c.text, &value), c.rc) << '"' << c.text << '"';
    EXPECT_EQ(value, c.rc == 0 ? c.value : -99) << '"' << c.text << '"';
  }
}

TEST(SettingReaders, IntegerSettingFallsBackToTheDefault) {
  ScopedEnv env({{"LV_TEST_INT", "64K"}, {"LV_TEST_BIG", "9223372036854775808"}, {"LV_TEST_ABSENT", nullptr}});
  EXPECT_EQ(lvio_setting_integer("LV_TEST_INT", 7), 65536);
  EXPECT_EQ(lvio_setting_integer("LV_TEST_BIG", 7), 7);
  EXPECT_EQ(lvio_setting_integer("LV_TEST_ABSENT", 7), 7);
}

TEST(SettingReaders, BooleanTexts) {
  struct {
    const char* text;
    int value;  // -1: no match
  } cases[] = {{"yes", 1},   {"Yes", 1},   {"YES", 1}, {"no", 0},  {"No", 0},    {"true", 1}, {"TRUE", 1}, {"tRUE", 1},
               {"false", 0}, {"FaLsE", 0}, {"1", -1},  {"on", -1}, {"yess", -1}, {"", -1},    {" yes", -1}};
  for (const auto& c : cases) {
    int value = -1;
    EXPECT_EQ(lvio_parse_boolean(c.text, &value), c.value < 0 ? LVIO_E_INVALID_NAME : 0) << '"' << c.text << '"';
    EXPECT_EQ(value, c.value) << '"' << c.text << '"';
    ScopedEnv env({{"LV_TEST_BOOL", c.text}});
    EXPECT_EQ(lvio_setting_boolean("LV_TEST_BOOL", 7), c.value < 0 ? 7 : c.value) << '"' << c.text << '"';
  }
  ScopedEnv env({{"LV_TEST_BOOL", "no"}});
  EXPECT_EQ(lvio_setting_boolean_flags("LV_TEST_BOOL", 7, LVIO_SETTING_SKIP_PROCESS_ENV), 7);
}

TEST(SettingReaders, TooSmallBufferReportsTheNeededSize) {
  ScopedEnv env({{"LV_TEST_TEXT", "123456789"}});
  char buffer[4] = "abc";
  size_t size = sizeof buffer;
  EXPECT_EQ(lvio_setting_get("LV_TEST_TEXT", buffer, &size, 0), LVIO_E_OUT_OF_MEMORY);
  EXPECT_EQ(size, 10u);
  EXPECT_STREQ(buffer, "abc");
  size = 0;
  EXPECT_EQ(lvio_setting_get("LV_TEST_TEXT", nullptr, &size, 0), LVIO_E_OUT_OF_MEMORY);
  EXPECT_EQ(size, 10u);
}

TEST(SettingReaders, StringsOfAnyLength) {
  ScopedEnv env({{"LV_TEST_SHORT", "short"}, {"LV_TEST_LONG", "a value that needs a second try"}});
  for (const char* name : {"LV_TEST_SHORT", "LV_TEST_LONG"}) {
    char* text = lvio_setting_get_string(name);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, getenv(name));
    lvio_free(text);
  }
  EXPECT_EQ(lvio_setting_get_string("LV_TEST_NOT_SET_ANYWHERE"), nullptr);
}

TEST(SettingReaders, NamesAreCaseSensitive) {
  ScopedEnv env({{"LV_Test_Case", "mixed"}, {"LV_TEST_CASE", nullptr}});
  const lvio_override_item items[] = {{LVIO_OVERRIDE_SETTING, "LV_OVERRIDE_CASE", "x"}};
  const lvio_override_table table = {1, 1, items};
  ASSERT_EQ(lvio_install_overrides(&table, 0), 0);
  char buffer[16];
  size_t size = sizeof buffer;
  EXPECT_EQ(lvio_setting_get("LV_TEST_CASE", buffer, &size, 0), LVIO_E_NOT_FOUND);
  EXPECT_EQ(lvio_setting_get("lv_override_case", buffer, &size, 0), LVIO_E_NOT_FOUND);
  ASSERT_EQ(lvio_setting_get("LV_Test_Case", buffer, &size, 0), 0);
  EXPECT_STREQ(buffer, "mixed");
  (void)lvio_install_overrides(nullptr, 1);
}

TEST(SettingReaders, PrivateEnvironmentComesBetweenOverridesAndProcess) {
  ScopedEnv env({{"LV_TEST_A", "process"}, {"LV_TEST_B", "process"}});
  // Before the environment module starts there is no private environment.
  EXPECT_EQ(lvio_setting_set("LV_TEST_A", "private"), LVIO_E_NOT_FOUND);
  ASSERT_EQ(lvio_environment_module(0), 0);
  ASSERT_EQ(lvio_setting_set("LV_TEST_A", "private"), 0);
  const lvio_override_item items[] = {{LVIO_OVERRIDE_SETTING, "LV_TEST_A", "override"}};
  const lvio_override_table table = {1, 1, items};
  ASSERT_EQ(lvio_install_overrides(&table, 0), 0);
  struct {
    const char* name;
    uint32_t flags;
    const char* value;
  } cases[] = {
      {"LV_TEST_A", 0, "override"},
      {"LV_TEST_A", LVIO_SETTING_SKIP_PROCESS_ENV, "override"},
      {"LV_TEST_A", LVIO_SETTING_SKIP_OVERRIDES, "process"},
      {"LV_TEST_B", 0, "process"},
      {"LV_TEST_B", LVIO_SETTING_SKIP_PROCESS_ENV, nullptr},
  };
  auto check = [&](const char* name, uint32_t flags, const char* value) {
    char buffer[16];
    size_t size = sizeof buffer;
    lvio_code rc = lvio_setting_get(name, buffer, &size, flags);
    if (value == nullptr) {
      EXPECT_EQ(rc, LVIO_E_NOT_FOUND) << name << ' ' << flags;
    } else {
      ASSERT_EQ(rc, 0) << name << ' ' << flags;
      EXPECT_STREQ(buffer, value) << name << ' ' << flags;
    }
  };
  for (const auto& c : cases) check(c.name, c.flags, c.value);
  (void)lvio_install_overrides(nullptr, 1);
  check("LV_TEST_A", 0, "private");
  check("LV_TEST_A", LVIO_SETTING_SKIP_PROCESS_ENV, "private");
  (void)lvio_environment_module(1);
  EXPECT_EQ(lvio_setting_set("LV_TEST_A", "again"), LVIO_E_NOT_FOUND);
}

}  // namespace
