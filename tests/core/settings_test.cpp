// Settings readers: size settings, yes/no switches and setting texts, read
// from the override table before the process environment.
#include <gtest/gtest.h>

#include <cstring>

#include "core/memory.h"
#include "core/settings.h"
#include "lvio/settings.h"
#include "support/env.h"

namespace {

TEST(Settings, SizeTexts) {
  struct {
    const char* text;
    uint64_t value;
  } cases[] = {
      {"12", 12},
      {" \t12k", 12288},
      {"1G", uint64_t{1} << 30},
      {"3 m", 3 << 20},
      {"7x", 7},
      {"5Kxyz", 5120},
      {"abc", 0},
      {"", 0},
      {"18446744073709551615", UINT64_MAX},
      {"18446744073709551616", 4000},  // overflow in the digits: the default
      {"17179869184G", 4000},          // overflow by the suffix: the default
  };
  for (const auto& c : cases) EXPECT_EQ(lv_parse_size_setting(c.text, 4000, 0), c.value) << '"' << c.text << '"';
  EXPECT_EQ(lv_parse_size_setting("99", 4000, 100), 100u);
  EXPECT_EQ(lv_parse_size_setting("abc", 4000, 100), 100u);
  EXPECT_EQ(lv_parse_size_setting("18446744073709551616", 10, 100), 100u);
}


TEST(Settings, SizeSettingFromTheEnvironment) {
  ScopedEnv env({{"LV_TEST_SIZE", " 64K"}, {"LV_TEST_ABSENT", nullptr}});
  EXPECT_EQ(lv_getenv_int_suffixed("LV_TEST_SIZE", 1, 0), 65536u);
  EXPECT_EQ(lv_getenv_int_suffixed("LV_TEST_ABSENT", 32768, 0), 32768u);
  EXPECT_EQ(lv_getenv_int_suffixed("LV_TEST_ABSENT", 10, 20), 20u);
}

TEST(Settings, YesNoSwitches) {
  struct {
    const char* text;
    int32_t value;
  } cases[] = {{"yes", 1}, {"Yes", 1}, {"YES", 1}, {"yEs", 1}, {"no", 0}, {"NO", 0}, {"nO", 0},
               {"yess", -1}, {"ye", -1}, {"y", -1}, {"true", -1}, {"", -1}, {" yes", -1}};
  for (const auto& c : cases) {
    ScopedEnv env({{"LV_TEST_SWITCH", c.text}});
    EXPECT_EQ(lv_getenv_yes_no("LV_TEST_SWITCH", -1), c.value) << '"' << c.text << '"';
  }
  ScopedEnv env({{"LV_TEST_SWITCH", nullptr}});
  EXPECT_EQ(lv_getenv_yes_no("LV_TEST_SWITCH", 7), 7);
}

TEST(Settings, OverridesComeBeforeTheEnvironment) {
  ScopedEnv env({{"LV_TEST_A", "env"}, {"LV_TEST_B", "env-b"}});
  const lvio_override_item items[] = {
      {LVIO_OVERRIDE_EMPTY, nullptr, nullptr},
      {LVIO_OVERRIDE_SETTING, "LV_TEST_A", "first"},
      {LVIO_OVERRIDE_SETTING, "LV_TEST_A", "second"},
  };
  const lvio_override_table table = {1, 3, items};
  ASSERT_EQ(lvio_install_overrides(&table, 0), 0);
  char buffer[32];
  size_t size = sizeof buffer;
  ASSERT_EQ(lvio_setting_get("LV_TEST_A", buffer, &size, 0), 0);
  EXPECT_STREQ(buffer, "first");
  EXPECT_EQ(size, 6u);
  size = sizeof buffer;
  ASSERT_EQ(lvio_setting_get("LV_TEST_A", buffer, &size, LVIO_SETTING_SKIP_OVERRIDES), 0);
  EXPECT_STREQ(buffer, "env");
  size = sizeof buffer;
  ASSERT_EQ(lvio_setting_get("LV_TEST_B", buffer, &size, 0), 0);
  EXPECT_STREQ(buffer, "env-b");
  size = sizeof buffer;
  EXPECT_EQ(lvio_setting_get("LV_TEST_B", buffer, &size, LVIO_SETTING_SKIP_PROCESS_ENV), LVIO_E_NOT_FOUND);
  size = 3;
  EXPECT_EQ(lvio_setting_get("LV_TEST_A", buffer, &size, 0), LVIO_E_OUT_OF_MEMORY);
  EXPECT_EQ(size, 6u);
  (void)lvio_install_overrides(nullptr, 0);
  size = sizeof buffer;
  ASSERT_EQ(lvio_setting_get("LV_TEST_A", buffer, &size, 0), 0);
  EXPECT_STREQ(buffer, "env");
}

TEST(Settings, MalformedOverrideTablesAreRefused) {
  const lvio_override_item bad_kind[] = {{3, "A", "B"}};
  const lvio_override_item no_value[] = {{LVIO_OVERRIDE_SETTING, "A", nullptr}};
  const lvio_override_table wrong_version = {2, 0, nullptr};
  const lvio_override_table no_items = {1, 1, nullptr};
  const lvio_override_table kind = {1, 1, bad_kind};
  const lvio_override_table value = {1, 1, no_value};
  EXPECT_EQ(lvio_install_overrides(&wrong_version, 0), LVIO_E_VERSION_ERROR);
  EXPECT_EQ(lvio_install_overrides(&no_items, 0), LVIO_E_PARAMETER_ERROR);
  EXPECT_EQ(lvio_install_overrides(&kind, 0), LVIO_E_PARAMETER_ERROR);
  EXPECT_EQ(lvio_install_overrides(&value, 0), LVIO_E_PARAMETER_ERROR);
}

TEST(Settings, PropertyText) {
  ScopedEnv env({{"LV_TEST_TEXT", "a value longer than twenty bytes"}, {"LV_TEST_ABSENT", nullptr}});
  char buffer[64];
  size_t size = sizeof buffer;
  EXPECT_EQ(lv_get_property_text_default("LV_TEST_TEXT", buffer, &size), buffer);
  EXPECT_STREQ(buffer, "a value longer than twenty bytes");
  EXPECT_EQ(size, 33u);
  size = 10;
  EXPECT_EQ(lv_get_property_text_default("LV_TEST_TEXT", buffer, &size), nullptr);
  size = sizeof buffer;
  EXPECT_EQ(lv_get_property_text_default("LV_TEST_ABSENT", buffer, &size), nullptr);

  lv_mem_default_hooks();
  ASSERT_EQ(lv_mem_init(0), 0);
  char* copy = lv_get_property_text_default("LV_TEST_TEXT", nullptr, nullptr);
  ASSERT_NE(copy, nullptr);
  EXPECT_STREQ(copy, "a value longer than twenty bytes");
  LV_free(copy);
  EXPECT_EQ(lv_get_property_text_default("LV_TEST_ABSENT", nullptr, nullptr), nullptr);
  EXPECT_EQ(lv_mem_used_bytes(), 0u);
  lv_mem_deinit();
}

}  // namespace
