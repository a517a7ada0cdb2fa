// The UTF-8 helpers.
#include "lvio/utf8.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

#include "lvio/allocator.h"

namespace {

using namespace std::literals;

const uint8_t* bytes_of(std::string_view s) { return reinterpret_cast<const uint8_t*>(s.data()); }

TEST(LvioUtf8, Validate) {
  struct {
    std::string_view text;
    uint32_t flags;
    lvio_code rc;
  } cases[] = {
      {""sv, 0, 0},
      {"plain \xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"sv, 0, 0},
      {"\xE2\x82"sv, 0, LVIO_E_ENCODING_INVALID},  // truncated
      {"\xC0\x80"sv, 0, LVIO_E_ENCODING_INVALID},
      {"\xC0\x80"sv, LVIO_UTF8_ACCEPT_C080, 0},
      {"\xC0\x81"sv, LVIO_UTF8_ACCEPT_C080, LVIO_E_ENCODING_INVALID},
      {"\xC1\xBF"sv, LVIO_UTF8_ACCEPT_C080, LVIO_E_ENCODING_INVALID},
      {"\xED\xA0\x80"sv, 0, LVIO_E_ENCODING_INVALID},  // an encoded surrogate
      {"\xED\xA0\x80"sv, LVIO_UTF8_EXTENDED, 0},
      {"\xF4\x8F\xBF\xBF"sv, 0, 0},
      {"\xF4\x90\x80\x80"sv, 0, LVIO_E_ENCODING_UNMAPPABLE},
      {"\xF5\x80\x80\x80"sv, 0, LVIO_E_ENCODING_UNMAPPABLE},
      {"\xF4\x90\x80\x80"sv, LVIO_UTF8_EXTENDED, 0},
      {"\xF8\x88\x80\x80\x80"sv, LVIO_UTF8_EXTENDED, 0},
      {"\xFC\x84\x80\x80\x80\x80"sv, LVIO_UTF8_EXTENDED, 0},
      {"\xF8\x80\x80\x80\x80"sv, LVIO_UTF8_EXTENDED, LVIO_E_ENCODING_INVALID},  // overlong
      {"\xFE"sv, LVIO_UTF8_EXTENDED, LVIO_E_ENCODING_INVALID},
      {"\xFF"sv, LVIO_UTF8_EXTENDED, LVIO_E_ENCODING_INVALID},
      {"\x80"sv, 0, LVIO_E_ENCODING_INVALID},
  };
  for (const auto& c : cases)
    EXPECT_EQ(lvio_utf8_validate(bytes_of(c.text), c.text.size(), c.flags), c.rc) << c.text.size() << " " << c.flags;
}

TEST(LvioUtf8, SequenceCheck) {
  EXPECT_EQ(lvio_utf8_sequence_check(bytes_of("\xE2\x82\xAC"sv), 3, 0), 0);
  EXPECT_EQ(lvio_utf8_sequence_check(bytes_of("\xE2\x82\xAC"sv), 2, 0), LVIO_E_ENCODING_INVALID);
  EXPECT_EQ(lvio_utf8_sequence_check(bytes_of("\xE2\x82"sv), 3, 0), LVIO_E_ENCODING_INVALID);
  EXPECT_EQ(lvio_utf8_sequence_check(bytes_of("\xF7\xBF\xBF\xBF"sv), 4, 0), LVIO_E_ENCODING_UNMAPPABLE);
  EXPECT_EQ(lvio_utf8_sequence_check(bytes_of("\xF7\xBF\xBF\xBF"sv), 4, LVIO_UTF8_EXTENDED), 0);
}

TEST(LvioUtf8, NextChar) {
  std::string_view text = "a\xC3\xA9\xF0\x9F\x98\x80"sv;
  uint32_t codes[3];
  uint64_t count = 3;
  EXPECT_EQ(lvio_utf8_next_char(bytes_of(text), text.size(), codes, &count, 0), 0);
  EXPECT_EQ(std::vector<uint32_t>(codes, codes + count), (std::vector<uint32_t>{'a', 0xE9, 0x1F600}));
  count = 2;
  EXPECT_EQ(lvio_utf8_next_char(bytes_of(text), text.size(), codes, &count, 0), LVIO_E_OUT_OF_MEMORY);
  EXPECT_EQ(count, 2u);
  count = 3;
  EXPECT_EQ(lvio_utf8_next_char(bytes_of(text), text.size() - 1, codes, &count, 0), LVIO_E_NOT_ENOUGH_DATA);
  EXPECT_EQ(count, 2u);
  count = 3;
  EXPECT_EQ(lvio_utf8_next_char(bytes_of("\xC0\x80"sv), 2, codes, &count, LVIO_UTF8_ACCEPT_C080), 0);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(codes[0], 0u);
}

TEST(LvioUtf8, Latin1ToUtf8) {
  char* text;
  uint64_t length;
  ASSERT_EQ(lvio_latin1_to_utf8(bytes_of("caf\xE9 \xFF"sv), 6, &text, &length), 0);
  EXPECT_EQ(std::string_view(text, length), "caf\xC3\xA9 \xC3\xBF"sv);
  EXPECT_EQ(text[length], '\0');
  lvio_free(text);
}

TEST(LvioUtf8, NamesToUtf8) {
  struct {
    std::string_view name;
    uint32_t flags;
    lvio_code rc;
    std::string_view text;  // for a result that is not an error
    bool same;              // the name itself, not a copy
  } cases[] = {
      {"caf\xC3\xA9"sv, 0, 0, "caf\xC3\xA9"sv, false},
      {"caf\xC3\xA9"sv, LVIO_NAME_AS_IS, 0, "caf\xC3\xA9"sv, true},
      {"caf\xC3\xA9"sv, LVIO_NAME_LATIN1, 0, "caf\xC3\xA9"sv, false},
      {""sv, 0, 0, ""sv, false},
      {"caf\xE9"sv, 0, LVIO_E_ENCODING_INVALID, ""sv, false},
      {"caf\xE9"sv, LVIO_NAME_AS_IS, LVIO_E_ENCODING_INVALID, ""sv, false},
      {"caf\xE9"sv, LVIO_NAME_LATIN1, 1, "caf\xC3\xA9"sv, false},
      {"caf\xE9"sv, LVIO_NAME_LATIN1 | LVIO_NAME_AS_IS, 1, "caf\xC3\xA9"sv, false},
      {"\xC3"sv, LVIO_NAME_LATIN1, 1, "\xC3\x83"sv, false},  // cut off: not UTF-8
      {"\xED\xA0\x80"sv, LVIO_NAME_LATIN1, 1, "\xC3\xAD\xC2\xA0\xC2\x80"sv, false},  // a surrogate
      {"abc"sv, LVIO_NAME_WIDE, LVIO_E_NOT_SUPPORTED, ""sv, false},
  };
  for (const auto& c : cases) {
    char* text = nullptr;
    uint64_t length = 99;
    ASSERT_EQ(lvio_name_to_utf8(c.name.data(), c.name.size(), &text, &length, c.flags), c.rc)
        << c.name << " " << c.flags;
    if (c.rc < 0) continue;
    EXPECT_EQ(std::string_view(text, length), c.text) << c.name << " " << c.flags;
    EXPECT_EQ(text == c.name.data(), c.same) << c.name << " " << c.flags;
    if (!c.same) {
      EXPECT_EQ(text[length], '\0');
      lvio_free(text);
    }
  }
  char* text = nullptr;
  EXPECT_EQ(lvio_name_to_utf8("abc", 3, &text, nullptr, 0), 0);  // the length is not asked for
  EXPECT_STREQ(text, "abc");
  lvio_free(text);
}

}  // namespace
