// The internal text encoding.
#include <gtest/gtest.h>

#include <string>

#include "text/utf8.h"

namespace {

TEST(Utf8, EncodingLengths) {
  struct {
    int32_t code;
    int length;
    const char* bytes;
  } cases[] = {
      {0, 2, "\xC0\x80"},          {1, 1, "\x01"},
      {127, 1, "\x7F"},            {128, 2, "\xC2\x80"},
      {2047, 2, "\xDF\xBF"},       {2048, 3, "\xE0\xA0\x80"},
      {65535, 3, "\xEF\xBF\xBF"},  {65536, 4, "\xF0\x90\x80\x80"},
      {(1 << 21) - 1, 4, "\xF7\xBF\xBF\xBF"},
      {1 << 21, 5, "\xF8\x88\x80\x80\x80"},
      {(1 << 26) - 1, 5, "\xFB\xBF\xBF\xBF\xBF"},
      {1 << 26, 6, "\xFC\x84\x80\x80\x80\x80"},
      {0x7FFFFFFF, 6, "\xFD\xBF\xBF\xBF\xBF\xBF"},
  };
  for (const auto& c : cases) {
    char buffer[8] = {};
    EXPECT_EQ(LV_code_wci(nullptr, c.code), c.length) << c.code;
    ASSERT_EQ(LV_code_wci(buffer, c.code), c.length) << c.code;
    EXPECT_EQ(std::string(buffer, static_cast<size_t>(c.length)), std::string(c.bytes, static_cast<size_t>(c.length))) << c.code;
    int32_t back = -5;
    EXPECT_EQ(LV_wci_code(&back, buffer), c.length);
    EXPECT_EQ(back, c.code);
  }
  EXPECT_EQ(LV_code_wci(nullptr, -1), -1);
}

TEST(Utf8, DecodingErrors) {
  int32_t code = 42;
  EXPECT_EQ(LV_wci_code(&code, ""), 0);
  EXPECT_EQ(LV_wci_code(&code, nullptr), 0);
  EXPECT_EQ(LV_wci_code(&code, "\x80"), -1);
  EXPECT_EQ(LV_wci_code(&code, "\xFE"), -1);
  EXPECT_EQ(LV_wci_code(&code, "\xE0\xA0x"), -2);
  EXPECT_EQ(LV_wci_len("\xC3"), -1);
  EXPECT_EQ(code, 42);
}

TEST(Utf8, Validation) {
  struct {
    const char* text;
    int valid;
  } cases[] = {{"", 1},
               {"plain ascii", 1},
               {"caf\xC3\xA9", 1},
               {"\xC0\x80", 1},
               {"\xFD\xBF\xBF\xBF\xBF\xBF", 1},
               {"\xC3", 0},
               {"\x80", 0},
               {"a\xFEz", 0},
               {"\xFF", 0},
               {"\xE2\x82", 0}};
  for (const auto& c : cases) EXPECT_EQ(lv_text_is_utf8(c.text), c.valid) << c.text;
  EXPECT_EQ(lv_text_is_utf8(nullptr), 0);
}

TEST(Utf8, SequenceTable) {
  EXPECT_EQ(lv_utf8_seq_length[0x41], 0);
  EXPECT_EQ(lv_utf8_seq_length[0x80], LV_UTF8_INVALID);
  EXPECT_EQ(lv_utf8_seq_length[0xC0], 1);
  EXPECT_EQ(lv_utf8_seq_length[0xEF], 2);
  EXPECT_EQ(lv_utf8_seq_length[0xF7], 3);
  EXPECT_EQ(lv_utf8_seq_length[0xFB], 4);
  EXPECT_EQ(lv_utf8_seq_length[0xFD], 5);
  EXPECT_EQ(lv_utf8_seq_length[0xFE], LV_UTF8_INVALID);
}

TEST(Utf8, NextReadsMalformedBytesAs128) {
  const unsigned char text[] = {'a', 0xC3, 0xA9, 0x80, 0xE2, 0x82};
  const unsigned char* p = text;
  const unsigned char* end = text + sizeof text;
  EXPECT_EQ(lv_utf8_next(p, end), 'a');
  EXPECT_EQ(lv_utf8_next(p, end), 0xE9);
  EXPECT_EQ(lv_utf8_next(p, end), 128);
  EXPECT_EQ(lv_utf8_next(p, end), 128);  // truncated at the end
  EXPECT_EQ(p, text + 5);
}

}  // namespace
