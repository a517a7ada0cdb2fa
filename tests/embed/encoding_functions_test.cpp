// The text and encoding functions of the C interface.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "embed/encoding_functions.h"
#include "lvio/result_codes.h"
#include "support/memory_fixture.h"

namespace {

class EncodingFunctions : public MemoryTest {
 protected:
  void SetUp() override {
    MemoryTest::SetUp();
    ASSERT_EQ(lvio_coder_module(0), 0);
  }
  void TearDown() override {
    lv_encoding_shutdown();
    EXPECT_EQ(lvio_coder_module(1), 0);
    MemoryTest::TearDown();
  }
};

TEST_F(EncodingFunctions, FromOs) {
  const char* utf8 = "abc\xC3\xA9";
  EXPECT_EQ(LV_from_os(utf8, 0), utf8);
  EXPECT_EQ(LV_to_os(utf8, 3), utf8);
  const char latin1[] = "\xE9";
  char* converted = LV_from_os(latin1, 0);
  EXPECT_STREQ(converted, "\xC3\xA9");
  char* again = LV_from_os("x\xFF", 0);  // replaces the previous result
  EXPECT_STREQ(again, "x\xC3\xBF");
}

TEST_F(EncodingFunctions, CodesToMultiBytes) {
  struct {
    const char* encoding;
    std::vector<int> codes;
    int result;
    std::string bytes;
  } cases[] = {
      {"UTF-8", {0x61, 0xE9, 0x20AC, 0x1F600}, 0, "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},
      {"ISO-8859-1", {0x61, 0xE9}, 0, "a\xE9"},
      {"UTF-16BE", {0x41, 0x1F600}, 0, std::string("\0A\xD8\x3D\xDE\x00", 6)},
      {"UTF-8", {}, 0, ""},
      // A code the encoding cannot map ends the conversion with an error,
      // wherever it stands.
      {"ISO-8859-1", {0x61, 0x4E00, 0x62}, static_cast<int>(LVIO_E_ENCODING_UNMAPPABLE), ""},
      {"ISO-8859-1", {0x4E00}, static_cast<int>(LVIO_E_ENCODING_UNMAPPABLE), ""},
      {"no-such-encoding", {0x61}, static_cast<int>(LVIO_E_CHARSET_NOT_FOUND), ""},
  };
  for (const auto& c : cases) {
    char* bytes = nullptr;
    size_t count = 99;
    EXPECT_EQ(LV_codes_to_multi_bytes(c.encoding, c.codes.data(), c.codes.size(), &bytes, &count), c.result)
        << c.encoding;
    if (c.result == 0) {
      ASSERT_EQ(count, c.bytes.size()) << c.encoding;
      EXPECT_EQ(std::memcmp(bytes, c.bytes.data(), count), 0) << c.encoding;
      LV_free(bytes);
    } else {
      EXPECT_EQ(bytes, nullptr);
      EXPECT_EQ(count, 99u);
    }
  }
  // Many codes: more than one step of the counting area.
  std::vector<int> many(1000, 0xE9);
  char* bytes = nullptr;
  size_t count = 0;
  ASSERT_EQ(LV_codes_to_multi_bytes("UTF-8", many.data(), many.size(), &bytes, &count), 0);
  EXPECT_EQ(count, 2000u);
  LV_free(bytes);
}

TEST_F(EncodingFunctions, GetEncoding) {
  lvio_coder_class* cls = nullptr;
  EXPECT_EQ(LV_get_encoding("latin1", &cls, 0), 0);
  ASSERT_NE(cls, nullptr);
  EXPECT_EQ(LV_encoding_release(cls), 0);
  cls = nullptr;
  EXPECT_EQ(LV_get_encoding("no-such-encoding", &cls, 0), LVIO_E_CHARSET_NOT_FOUND);
  EXPECT_EQ(LV_get_encoding("", &cls, 0), LVIO_E_PARAMETER_ERROR);
  EXPECT_EQ(LV_get_encoding("UTF-8", &cls, 3), LVIO_E_PARAMETER_ERROR);
  EXPECT_EQ(cls, nullptr);
}

// Names from settings: the text after the last "."; an unset setting, or
// one naming a path, finds none.
TEST_F(EncodingFunctions, GetEncodingFromSettings) {
  ASSERT_EQ(::setenv("LV_TEST_ENCODING", "en_GB.ISO-8859-1", 1), 0);
  ASSERT_EQ(::setenv("LV_CTYPE", "UTF-8", 1), 0);
  ASSERT_EQ(::setenv("LV_TEST_PATH_ENCODING", "/usr/share/i18n", 1), 0);
  ::unsetenv("LV_TEST_NO_ENCODING");
  struct {
    const char* name;
    unsigned flags;
    int result;
    const char* class_name;
  } cases[] = {
      {"LV_TEST_ENCODING", LV_ENCODING_FROM_SETTINGS, 0, "ISO-8859-1"},
      {nullptr, LV_ENCODING_FROM_SETTINGS | LV_ENCODING_CTYPE, 0, "UTF-8"},
      {nullptr, LV_ENCODING_FROM_SETTINGS | LV_ENCODING_CTYPE_STDIO, 0, "UTF-8"},
      {"LV_TEST_NO_ENCODING", LV_ENCODING_FROM_SETTINGS, static_cast<int>(LVIO_E_NOT_FOUND), nullptr},
      {"LV_TEST_PATH_ENCODING", LV_ENCODING_FROM_SETTINGS, static_cast<int>(LVIO_E_NOT_FOUND), nullptr},
      {"LV_CTYPE", LV_ENCODING_FROM_SETTINGS | LV_ENCODING_CTYPE_STDIO, static_cast<int>(LVIO_E_PARAMETER_ERROR),
       nullptr},
  };
  for (const auto& c : cases) {
    lvio_coder_class* cls = nullptr;
    EXPECT_EQ(LV_get_encoding(c.name, &cls, c.flags), c.result) << (c.name ? c.name : "(null)") << " " << c.flags;
    if (c.result != 0) {
      EXPECT_EQ(cls, nullptr);
      continue;
    }
    ASSERT_NE(cls, nullptr);
    lvio_coder_class* expected = nullptr;
    ASSERT_EQ(lvio_coder_class_open(&expected, c.class_name, nullptr, 0), 0);
    EXPECT_EQ(cls, expected) << c.class_name;
    lvio_coder_class_unref(expected);
    EXPECT_EQ(LV_encoding_release(cls), 0);
  }
}

// Decoding in steps with the coder kept by the caller.
TEST_F(EncodingFunctions, EncodeSteps) {
  lvio_coder_class* utf8 = nullptr;
  ASSERT_EQ(LV_get_encoding("UTF-8", &utf8, 0), 0);
  lvio_t_coder* state = nullptr;
  int codes[8] = {};
  size_t consumed = 0, produced = 0;
  // The first byte of a two-byte character: nothing yet.
  const char* text = "a\xC3";
  int rc = LV_encode_to_codes(utf8, text, 2, &state, codes, sizeof codes, &consumed, &produced, LV_ENCODE_BEGIN);
  EXPECT_EQ(rc, 0);
  EXPECT_NE(state, nullptr);
  EXPECT_EQ(consumed, 1u);
  EXPECT_EQ(produced, 4u);
  EXPECT_EQ(codes[0], 'a');
  // The rest, at the end of the input: output produced, so the coder stays.
  rc = LV_encode_to_codes(utf8, "\xC3\xA9", 2, &state, codes, sizeof codes, &consumed, &produced, LV_ENCODE_END);
  EXPECT_EQ(rc, 0);
  EXPECT_NE(state, nullptr);
  EXPECT_EQ(produced, 4u);
  EXPECT_EQ(codes[0], 0xE9);
  // Nothing left: complete.
  rc = LV_encode_to_codes(utf8, "", 0, &state, codes, sizeof codes, &consumed, &produced, LV_ENCODE_END);
  EXPECT_EQ(rc, 2);
  EXPECT_EQ(state, nullptr);
  // Encoding one code, then finishing explicitly.
  int euro = 0x20AC;
  char bytes[8];
  rc = LV_encode_from_codes(utf8, &euro, 4, &state, bytes, sizeof bytes, &consumed, &produced, LV_ENCODE_BEGIN);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(produced, 3u);
  EXPECT_EQ(LV_encode_from_codes(utf8, nullptr, 0, &state, nullptr, 0, nullptr, nullptr, LV_ENCODE_FINISH), 2);
  EXPECT_EQ(state, nullptr);
  EXPECT_EQ(LV_encode_from_codes(utf8, nullptr, 0, &state, nullptr, 0, nullptr, nullptr, LV_ENCODE_FINISH), 0);
  // An error of a fresh coder releases it.
  lvio_coder_class* latin1 = nullptr;
  ASSERT_EQ(LV_get_encoding("ISO-8859-1", &latin1, 0), 0);
  int han = 0x4E00;
  rc = LV_encode_from_codes(latin1, &han, 4, &state, bytes, sizeof bytes, &consumed, &produced, LV_ENCODE_BEGIN);
  EXPECT_EQ(rc, LVIO_E_ENCODING_UNMAPPABLE);
  EXPECT_EQ(state, nullptr);
  // A coder made by LV_encoding_open.
  lvio_t_coder* coder = nullptr;
  ASSERT_EQ(LV_encoding_open(latin1, &coder, nullptr, 2), 0);
  ASSERT_NE(coder, nullptr);
  EXPECT_NE(coder->flags & LVIO_CODER_DECODING, 0u);
  lvio_coder_release(coder);
  LV_encoding_release(latin1);
  LV_encoding_release(utf8);
}

}  // namespace
