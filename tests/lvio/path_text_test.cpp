// Path texts, comparisons that ignore case, and the locale's character set.
#include "lvio/path_text.h"

#include <gtest/gtest.h>

#include <string>

#include "lvio/allocator.h"
#include "lvio/locale_text.h"
#include "support/env.h"

namespace {

TEST(PathText, SlashIsTheOnlyRoot) {
  struct {
    const char* path;
    lvio_code length;
  } cases[] = {
      {"/", 1},
      {"/x/y", 1},
      {"//server/share/dir", 1},
      {"dir/x", LVIO_E_FILE_NOT_ABSOLUTE},
      {"C:/x", LVIO_E_FILE_NOT_ABSOLUTE},
      {"", LVIO_E_FILE_NOT_ABSOLUTE},
  };
  for (const auto& c : cases) EXPECT_EQ(lvio_path_root_length(c.path), c.length) << c.path;
}

TEST(PathText, NamesKeepTheirCase) {
  char* normal = nullptr;
  ASSERT_EQ(lvio_path_normalize("/Home/RUN.BAT/\xc3\x84", &normal), 0);
  EXPECT_STREQ(normal, "/Home/RUN.BAT/\xc3\x84");
  lvio_free(normal);
  char text[] = "a\\b\\c";
  EXPECT_EQ(lvio_char_replace(text, '\\', '/'), 2);
  EXPECT_STREQ(text, "a/b/c");
}

TEST(PathText, Utf8Validity) {
  struct {
    std::string bytes;
    bool valid;
  } cases[] = {
      {"plain", true},
      {"\xc3\xa9", true},
      {"\xf0\x9f\x98\x80", true},
      {"\xf4\x8f\xbf\xbf", true},
      {"\xc0\xaf", false},          // an overlong "/"
      {"\xe0\x80\xaf", false},      // overlong
      {"\xed\xa0\x80", false},      // a surrogate
      {"\xf4\x90\x80\x80", false},  // beyond U+10FFFF
      {"\xc3", false},              // cut short
      {"\x80", false},
      {"\xff", false},
  };
  for (const auto& c : cases) EXPECT_EQ(lvio_utf8_valid(c.bytes.data(), c.bytes.size()), c.valid) << c.bytes;
}

TEST(LocaleText, ComparisonsIgnoringCase) {
  struct {
    const char *a, *b;
    lvio_code locale, ascii;
  } cases[] = {
      {"abc", "ABC", LVIO_COMPARE_EQUAL, LVIO_COMPARE_EQUAL},
      {"abc", "abd", LVIO_COMPARE_LESS, LVIO_COMPARE_LESS},
      {"abcd", "ABC", LVIO_COMPARE_GREATER, LVIO_COMPARE_GREATER},
      {"\xc3\xa9t\xc3\xa9", "\xc3\x89T\xc3\x89", LVIO_COMPARE_EQUAL, LVIO_COMPARE_GREATER},  // été, ÉTÉ
      {"\xce\xb1", "\xce\x92", LVIO_COMPARE_LESS, LVIO_COMPARE_GREATER},                  // α, Β
      {"\xff", "\xff", LVIO_COMPARE_EQUAL, LVIO_COMPARE_EQUAL},                           // not UTF-8
  };
  for (const auto& c : cases) {
    EXPECT_EQ(lvio_locale_compare(c.a, c.b), c.locale) << c.a << " " << c.b;
    EXPECT_EQ(lvio_ascii_compare(c.a, c.b), c.ascii) << c.a << " " << c.b;
  }
  EXPECT_EQ(lvio_ascii_compare("", nullptr), LVIO_COMPARE_EQUAL);
  EXPECT_EQ(lvio_ascii_compare("x", nullptr), LVIO_E_PARAMETER_ERROR);
}

TEST(LocaleText, CharacterSetOfTheEnvironmentsLocale) {
  struct {
    const char* locale;
    lvio_code rc;
    const char* name;
  } cases[] = {
      {"C", 0, "ANSI_X3.4-1968"},
      {"C.UTF-8", 0, "UTF-8"},
      {"xx_XX.no-such-charset", LVIO_E_OS_ERROR, nullptr},
  };
  for (const auto& c : cases) {
    ScopedEnv env({{"LC_ALL", c.locale}});
    char* name = nullptr;
    EXPECT_EQ(lvio_ansi_charset_name(&name), c.rc) << c.locale;
    if (c.name != nullptr && name != nullptr) {
      EXPECT_STREQ(name, c.name);
    }
    lvio_free(name);
  }
}

}  // namespace
