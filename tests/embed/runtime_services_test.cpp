// The small services of the C interface, through the dispatch record.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "embed/argument_vector.h"
#include "embed/dispatch_fixture.h"
#include "lvio/initialize.h"
#include "support.h"

namespace {

using RuntimeServices = DispatchTest;

TEST_F(RuntimeServices, CHeapTexts) {
  auto calloc_ = API(LV_calloc);
  auto strdup_ = API(LV_strdup);
  auto free_ = API(LV_free);
  auto* zeros = static_cast<unsigned char*>(calloc_(10, 3));
  ASSERT_NE(zeros, nullptr);
  for (int i = 0; i < 30; i++) EXPECT_EQ(zeros[i], 0);
  free_(zeros);
  EXPECT_EQ(calloc_(SIZE_MAX / 2, 3), nullptr);
  char* copy = strdup_("abc");
  ASSERT_NE(copy, nullptr);
  EXPECT_STREQ(copy, "abc");
  free_(copy);
  EXPECT_EQ(strdup_(nullptr), nullptr);
}

TEST_F(RuntimeServices, Utf16TextsConvertBothWays) {
  const lv_api_table* support = LV_get_dispatch_40900(nullptr)->support;
  auto to_utf8 = LV_SUPPORT_API(support, lv_widechar_to_ienc);
  auto to_utf16 = LV_SUPPORT_API(support, lv_ienc_to_widechar);
  auto free_ = API(LV_free);
  const char16_t wide[] = {u'a', 0xE9, 0xD83D, 0xDE00, 0};
  char* text = to_utf8(wide);
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text, "a\xc3\xa9\xf0\x9f\x98\x80");
  char16_t* back = to_utf16(text);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(std::u16string(back), std::u16string(wide));
  free_(text);
  free_(back);
  const char16_t lone[] = {u'a', 0xD83D, u'b', 0};
  EXPECT_EQ(to_utf8(lone), nullptr);
  EXPECT_EQ(to_utf16("\xc3"), nullptr);
}

TEST_F(RuntimeServices, KeyedWordsAnswerOnlyTheKey) {
  auto set_magic = API(lv_set_corvid_magic);
  auto get_magic = API(lv_get_corvid_magic);
  auto set_mode = API(lv_set_corvid_threadservermode);
  auto get_mode = API(lv_get_corvid_threadservermode);
  int x;
  EXPECT_EQ(set_magic(&x, 1), 0);
  EXPECT_EQ(set_magic(&x, 40900), 1);
  EXPECT_EQ(get_magic(40900), &x);
  EXPECT_EQ(get_magic(40901), nullptr);
  int mode = 0;
  EXPECT_EQ(set_mode(3, 40900), 1);
  EXPECT_EQ(get_mode(&mode, 40900), 1);
  EXPECT_EQ(mode, 3);
  EXPECT_EQ(get_mode(&mode, 0), 0);
}

TEST_F(RuntimeServices, IdentityTexts) {
  EXPECT_EQ(std::string(API(LV_get_emulator_version)()).rfind("Lorvika 4.9.0", 0), 0u);
  EXPECT_STREQ(API(LV_get_emulator_dir)(), "lorvika-4.9.0");
}

TEST_F(RuntimeServices, CheckedTermReferenceSlots) {
  const lv_api_table* support = LV_get_dispatch_40900(nullptr)->support;
  auto checked = LV_SUPPORT_API(support, lv_get_globref_checked);
  ref t = new_ref();
  ASSERT_EQ(put_integer(t, 9), 1);
  auto* slot = reinterpret_cast<uint64_t*>(checked(t, w));
  ASSERT_NE(slot, nullptr);
  EXPECT_EQ(slot[1], 0u);
  EXPECT_EQ(checked(t + 1, w), nullptr);
  EXPECT_EQ(checked(-1, w), nullptr);
}

TEST_F(RuntimeServices, SettingsThroughTheIoLayer) {
  auto set = API(LV_setenv);
  auto get = API(LV_getenv);
  auto free_ = API(LV_free);
  ASSERT_EQ(lvio_initialize(nullptr, nullptr, nullptr, 0), 0);
  // Longer than the first 20-byte try.
  std::string value(100, 'v');
  EXPECT_EQ(set("LV_TEST_SETTING", value.c_str()), 0);
  char* back = get("LV_TEST_SETTING");
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(std::string(back), value);
  free_(back);
  EXPECT_EQ(get("LV_TEST_SETTING_NOT_THERE"), nullptr);
  EXPECT_EQ(set(nullptr, "x"), 1);
  (void)lvio_initialize(nullptr, nullptr, nullptr, 1);
}

TEST_F(RuntimeServices, SupportActions) {
  const lv_api_table* support = LV_get_dispatch_40900(nullptr)->support;
  auto action = LV_SUPPORT_API(support, lv_action);
  EXPECT_EQ(action(1), 1);
  lv_set_api_error(0);
  for (int bad : {0, 2, 8, -1}) {
    EXPECT_EQ(action(bad), 0);
    EXPECT_EQ(errno_(), 8);
  }
}

TEST_F(RuntimeServices, MalformedTextMakesNoCodeList) {
  ref t = new_ref(), nil = new_ref();
  ASSERT_EQ(put_atom(nil, atom("[]")), 1);
  lv_set_api_error(0);
  EXPECT_EQ(API(LV_put_list_codes)(t, nil, "a\xff"), 0);
  EXPECT_EQ(errno_(), 14);
  EXPECT_EQ(API(LV_put_list_codes)(t, nil, "\xc2\x80"), 1);
}

}  // namespace

namespace {

TEST_F(RuntimeServices, TheArgumentVectorIsReplacedOnlyWhenWhole) {
  auto set_argv = API(LV_set_argv);
  const char* args[] = {"prog", "-x", "\xc3\xa9"};
  ASSERT_EQ(set_argv(3, args, 0), 1);
  int n = 0;
  const char* const* v = lv_argv(&n);
  ASSERT_EQ(n, 3);
  EXPECT_STREQ(v[2], "\xc3\xa9");
  EXPECT_EQ(v[3], nullptr);
  // In the system's encoding a byte that is not UTF-8 reads as Latin-1.
  const char* os[] = {"\xe9"};
  ASSERT_EQ(set_argv(1, os, 1), 1);
  EXPECT_STREQ(lv_argv(&n)[0], "\xc3\xa9");
  const char* bad[] = {"a", "\xff"};
  lv_set_api_error(0);
  EXPECT_EQ(set_argv(2, bad, 0), 0);
  EXPECT_EQ(errno_(), 14);
  EXPECT_EQ(lv_argv(&n)[0], std::string("\xc3\xa9"));
  EXPECT_EQ(n, 1);
  lv_argv_clear();
  EXPECT_EQ(lv_argv(&n), nullptr);
  EXPECT_EQ(n, 0);
}

}  // namespace
