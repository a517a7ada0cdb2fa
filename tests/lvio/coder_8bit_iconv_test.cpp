// The 8-bit tables against an independent conversion: glibc's iconv.
#include <errno.h>
#include <gtest/gtest.h>
#include <iconv.h>

#include "coder_test_support.h"

namespace {

class EightBitTables : public testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(lvio_coder_module(0), 0); }
  void TearDown() override { EXPECT_EQ(lvio_coder_module(1), 0); }
};

// Converts one unit with iconv; false when iconv has no conversion for it.
bool iconv_one(const char* to, const char* from, const void* in, size_t in_size, void* out, size_t out_size) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    ADD_FAILURE() << "iconv has no " << from << " to " << to;
    return false;
  }
  char* ip = static_cast<char*>(const_cast<void*>(in));
  char* op = static_cast<char*>(out);
  size_t il = in_size;
  size_t ol = out_size;
  size_t rc = iconv(cd, &ip, &il, &op, &ol);
  iconv_close(cd);
  return rc != static_cast<size_t>(-1) && il == 0 && ol == 0;
}

struct table_case {
  const char* coder;
  const char* iconv_name;
  int bytes_without_character;
  int bytes_not_themselves;  // bytes with a character other than their own value
};

const table_case tables[] = {
    {"ANSI_X3.4-1968", "ANSI_X3.4-1968", 128, 0},
    {"ISO-8859-1", "ISO-8859-1", 0, 0},
    {"ISO-8859-2", "ISO-8859-2", 0, 57},
    {"ISO-8859-15", "ISO-8859-15", 0, 8},
    {"windows-1252", "CP1252", 5, 27},
};

TEST_F(EightBitTables, EveryByteDecodesAsIconvSays) {
  for (const auto& t : tables) {
    lvio_t_coder* decoder = make_coder(t.coder, LVIO_CODER_CREATE_DECODER);
    int without = 0;
    int moved = 0;
    for (int b = 0; b < 256; b++) {
      char byte = static_cast<char>(b);
      uint32_t expected;
      bool mapped = iconv_one("UTF-32LE", t.iconv_name, &byte, 1, &expected, 4);
      step_result r = convert_step(decoder, std::string(1, byte), 0, 0);
      if (mapped) {
        EXPECT_EQ(r.rc, 0) << t.coder << " byte " << b;
        EXPECT_EQ(as_codes(r.output), std::vector<uint32_t>{expected}) << t.coder << " byte " << b;
        moved += expected != static_cast<uint32_t>(b) ? 1 : 0;
      } else {
        EXPECT_EQ(r.rc, LVIO_E_ENCODING_INVALID) << t.coder << " byte " << b;
        without++;
      }
    }
    EXPECT_EQ(without, t.bytes_without_character) << t.coder;
    EXPECT_EQ(moved, t.bytes_not_themselves) << t.coder;
    lvio_coder_release(decoder);
  }
}

TEST_F(EightBitTables, EveryCodePointEncodesAsIconvSays) {
  for (const auto& t : tables) {
    lvio_t_coder* encoder = make_coder(t.coder, 0);
    for (uint32_t cp = 0; cp < 0x2200; cp++) {
      if (cp >= 0xD800 && cp <= 0xDFFF) continue;
      char expected;
      bool mapped = iconv_one(t.iconv_name, "UTF-32LE", &cp, 4, &expected, 1);
      step_result r = convert_step(encoder, as_bytes({cp}), 0, 0);
      if (mapped) {
        EXPECT_EQ(r.output, std::string(1, expected)) << t.coder << " U+" << std::hex << cp;
      } else {
        EXPECT_EQ(r.rc, LVIO_E_ENCODING_UNMAPPABLE) << t.coder << " U+" << std::hex << cp;
      }
    }
    lvio_coder_release(encoder);
  }
}

}  // namespace
