// Decoding and encoding steps of the built-in coders: tables of cases for
// each coder, line ends, byte-order marks, invalid and unmappable input
// with and without replacement, steps that end inside a character, and
// round trips.
#include <gtest/gtest.h>

#include "coder_test_support.h"

namespace {

using namespace std::literals;

constexpr uint32_t END = LVIO_CONVERT_END_OF_INPUT;
constexpr uint32_t REPLACE = LVIO_CONVERT_REPLACE;
constexpr uint32_t REPLACE_ALL = LVIO_CONVERT_REPLACE | LVIO_CONVERT_REPLACE_MALFORMED;
constexpr uint32_t STRICT = LVIO_CONVERT_STRICT;
constexpr uint32_t DECODER = LVIO_CODER_CREATE_DECODER;
constexpr uint32_t CRLF = LVIO_CODER_CREATE_CRLF;
constexpr uint32_t AUTO = LVIO_CODER_CREATE_AUTO_EOL;
constexpr uint32_t BOM = LVIO_CODER_CREATE_BOM;
constexpr uint32_t FFFD = 0xFFFD;

class Coders : public testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(lvio_coder_module(0), 0); }
  void TearDown() override { EXPECT_EQ(lvio_coder_module(1), 0); }
};

struct decode_case {
  const char* coder;
  uint32_t create;
  std::string_view input;
  uint32_t flags;
  lvio_code rc;
  std::vector<uint32_t> codes;
  uint64_t position;  // after the step
};

TEST_F(Coders, Decode) {
  const decode_case cases[] = {
      {"UTF-8", DECODER, "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"sv, 0, 0, {'A', 0xE9, 0x20AC, 0x1F600}, 10},
      // A bad lead byte is replaced alone: the valid bytes after it stay.
      {"UTF-8", DECODER, "\xE2\x41\x42"sv, REPLACE_ALL, 0, {FFFD, 'A', 'B'}, 3},
      {"UTF-8", DECODER, "\xE2\x41\x42"sv, 0, LVIO_E_ENCODING_INVALID, {}, 0},
      {"UTF-8", DECODER, "\xE2\x41\x42"sv, REPLACE, LVIO_E_ENCODING_INVALID, {}, 0},
      {"UTF-8", DECODER, "\xE2\x41\x42"sv, REPLACE_ALL | STRICT, LVIO_E_ENCODING_INVALID, {}, 0},
      {"UTF-8", DECODER, "A\xE2\x42"sv, 0, 0, {'A'}, 1},  // the error shows on the next step
      {"UTF-8", DECODER, "\xE2\x82"sv, 0, LVIO_E_NOT_ENOUGH_DATA, {}, 0},
      {"UTF-8", DECODER, "\xE2\x82"sv, END | REPLACE_ALL, 0, {FFFD}, 2},
      {"UTF-8", DECODER, "\xE2\x82"sv, END, LVIO_E_ENCODING_INVALID, {}, 0},
      {"UTF-8", DECODER, ""sv, END, LVIO_E_END_OF_FILE, {}, 0},
      {"UTF-8", DECODER, "\xED\xA0\x80"sv, REPLACE_ALL, 0, {FFFD, FFFD, FFFD}, 3},  // an encoded surrogate
      {"UTF-8", DECODER, "\xC0\x80"sv, REPLACE_ALL, 0, {FFFD, FFFD}, 2},
      {"UTF-8", DECODER, "\xE0\x80\x80"sv, REPLACE_ALL, 0, {FFFD, FFFD, FFFD}, 3},  // overlong
      {"UTF-8", DECODER, "\xFF\x41"sv, REPLACE_ALL, 0, {FFFD, 'A'}, 2},
      // Above U+10FFFF: one U+FFFD for the whole sequence, always.
      {"UTF-8", DECODER, "\xF4\x90\x80\x80\x41"sv, 0, 0, {FFFD, 'A'}, 5},
      {"UTF-8", DECODER, "\xF8\x88\x80\x80\x80"sv, 0, 0, {FFFD}, 5},
      {"UTF-8", DECODER, "\xF5\x41"sv, REPLACE_ALL, 0, {FFFD, 'A'}, 2},
      {"UTF-8", DECODER | BOM, "\xEF\xBB\xBF\x41"sv, 0, 0, {'A'}, 4},
      {"UTF-8", DECODER, "\xEF\xBB\xBF\x41"sv, 0, 0, {0xFEFF, 'A'}, 4},
      {"UTF-8", DECODER | BOM, "A\xEF\xBB\xBF"sv, 0, 0, {'A', 0xFEFF}, 4},
      {"UTF-16BE", DECODER, "\0A\xD8\x3D\xDE\x00"sv, 0, 0, {'A', 0x1F600}, 6},
      {"UTF-16LE", DECODER, "A\0\x3D\xD8\x00\xDE"sv, 0, 0, {'A', 0x1F600}, 6},
      {"UTF-16LE", DECODER | BOM, "\xFF\xFE\x41\0"sv, 0, 0, {'A'}, 4},
      {"UTF-16BE", DECODER, "\xDC\x00"sv, REPLACE_ALL, 0, {FFFD}, 2},
      {"UTF-16BE", DECODER, "\xDC\x00"sv, REPLACE, LVIO_E_ENCODING_INVALID, {}, 0},
      {"UTF-16BE", DECODER, "\xD8\x00\0A"sv, REPLACE_ALL, 0, {FFFD, 'A'}, 4},
      {"UTF-16BE", DECODER, "\0A\xD8\x3D"sv, 0, 0, {'A'}, 2},  // the high surrogate waits
      {"UTF-16BE", DECODER, "\xD8\x3D"sv, END | REPLACE_ALL, 0, {FFFD}, 2},
      {"UTF-16BE", DECODER, "\0A\0"sv, END, 0, {'A'}, 2},
      {"UTF-16BE", DECODER, "\0"sv, END, LVIO_E_ENCODING_INVALID, {}, 0},
      {"UTF-32BE", DECODER, "\0\x01\xF6\0\0\0\0A"sv, 0, 0, {0x1F600, 'A'}, 8},
      {"UTF-32LE", DECODER | BOM, "\xFF\xFE\0\0\0\xF6\x01\0"sv, 0, 0, {0x1F600}, 8},
      {"UTF-32BE", DECODER, "\x80\0\0\0"sv, REPLACE_ALL, 0, {FFFD}, 4},
      {"UTF-32BE", DECODER, "\x80\0\0\0"sv, REPLACE, LVIO_E_ENCODING_INVALID, {}, 0},
      {"UTF-32BE", DECODER, "\0\x11\0\0"sv, REPLACE, 0, {FFFD}, 4},
      {"UTF-32BE", DECODER, "\0\x11\0\0"sv, 0, LVIO_E_ENCODING_UNMAPPABLE, {}, 0},
      {"UTF-32BE", DECODER, "\0\0\xD8\0"sv, REPLACE | STRICT, LVIO_E_ENCODING_UNMAPPABLE, {}, 0},
      {"UTF-32BE", DECODER, "\0\0\0"sv, 0, LVIO_E_NOT_ENOUGH_DATA, {}, 0},
      {"windows-1252", DECODER, "\x80\x9F\x61"sv, 0, 0, {0x20AC, 0x178, 'a'}, 3},
      {"windows-1252", DECODER, "\x81"sv, 0, LVIO_E_ENCODING_INVALID, {}, 0},
      {"windows-1252", DECODER, "\x81"sv, REPLACE, 0, {FFFD}, 1},
      {"ANSI_X3.4-1968", DECODER, "a\x80"sv, 0, 0, {'a'}, 1},
      {"ISO-8859-1", DECODER, "a\xE9\xFF"sv, 0, 0, {'a', 0xE9, 0xFF}, 3},
      {"ISO-8859-15", DECODER, "\xA4\xBE"sv, 0, 0, {0x20AC, 0x178}, 2},
      {"ISO-8859-2", DECODER, "\xA1\xFF"sv, 0, 0, {0x104, 0x2D9}, 2},
  };
  for (const auto& c : cases) {
    lvio_t_coder* coder = make_coder(c.coder, c.create);
    ASSERT_NE(coder, nullptr) << c.coder;
    step_result r = convert_step(coder, c.input, 0, c.flags);
    std::string where = std::string(c.coder) + " case of " + std::to_string(c.input.size()) + " bytes, flags " +
                        std::to_string(c.flags);
    EXPECT_EQ(r.rc, c.rc) << where;
    EXPECT_EQ(as_codes(r.output), c.codes) << where;
    EXPECT_EQ(r.position, c.position) << where;
    lvio_coder_release(coder);
  }
}

TEST_F(Coders, DecodeLineEnds) {
  const decode_case cases[] = {
      {"UTF-8", DECODER | CRLF, "a\r\nb\rc\n"sv, 0, 0, {'a', '\n', 'b', '\r', 'c', '\n'}, 7},
      {"UTF-8", DECODER | CRLF, "a\r"sv, 0, 0, {'a'}, 1},  // the CR waits for what follows
      {"UTF-8", DECODER | CRLF, "a\r"sv, END, 0, {'a', '\r'}, 2},
      {"UTF-8", DECODER | AUTO, "a\rb\r\nc\nd"sv, 0, 0, {'a', '\n', 'b', '\n', 'c', '\n', 'd'}, 8},
      {"UTF-8", DECODER | AUTO, "\r\n\n"sv, 0, 0, {'\n', '\n'}, 3},
      {"UTF-8", DECODER, "a\r\nb"sv, 0, 0, {'a', '\r', '\n', 'b'}, 4},
      {"ISO-8859-1", DECODER | CRLF, "\xE9\r\n"sv, 0, 0, {0xE9, '\n'}, 3},
      {"ISO-8859-1", DECODER | AUTO, "\r\r\n"sv, 0, 0, {'\n', '\n'}, 3},
      {"UTF-16LE", DECODER | CRLF, "\r\0\n\0"sv, 0, 0, {'\n'}, 4},
      {"UTF-16LE", DECODER | CRLF, "\r\0\n"sv, 0, LVIO_E_NOT_ENOUGH_DATA, {}, 0},
      {"UTF-32BE", DECODER | AUTO, "\0\0\0\r\0\0\0\n"sv, 0, 0, {'\n'}, 8},
  };
  for (const auto& c : cases) {
    lvio_t_coder* coder = make_coder(c.coder, c.create);
    step_result r = convert_step(coder, c.input, 0, c.flags);
    EXPECT_EQ(r.rc, c.rc) << c.coder << " " << c.input.size();
    EXPECT_EQ(as_codes(r.output), c.codes) << c.coder << " " << c.input.size();
    EXPECT_EQ(r.position, c.position) << c.coder << " " << c.input.size();
    lvio_coder_release(coder);
  }
}

TEST_F(Coders, LineEndsAcrossSteps) {
  // "crlf": a CR at the end of one step's input joins the LF of the next.
  lvio_t_coder* crlf = make_coder("UTF-8", DECODER | CRLF);
  step_result first = convert_step(crlf, "a\r"sv, 0, 0);
  EXPECT_EQ(as_codes(first.output), (std::vector<uint32_t>{'a'}));
  step_result second = convert_step(crlf, "a\r\nb"sv, first.position, 0);
  EXPECT_EQ(as_codes(second.output), (std::vector<uint32_t>{'\n', 'b'}));
  lvio_coder_release(crlf);
  // "auto": the LF after a CR is dropped also when it comes in the next step.
  lvio_t_coder* automatic = make_coder("UTF-8", DECODER | AUTO);
  EXPECT_EQ(as_codes(convert_step(automatic, "a\r"sv, 0, 0).output), (std::vector<uint32_t>{'a', '\n'}));
  EXPECT_EQ(as_codes(convert_step(automatic, "\nb"sv, 0, 0).output), (std::vector<uint32_t>{'b'}));
  lvio_coder_release(automatic);
}

struct encode_case {
  const char* coder;
  uint32_t create;
  std::vector<uint32_t> codes;
  uint32_t flags;
  lvio_code rc;
  std::string_view bytes;
  uint64_t position;  // in bytes of code items
};

TEST_F(Coders, Encode) {
  const encode_case cases[] = {
      {"UTF-8", 0, {'A', 0xE9, 0x20AC, 0x10FFFF}, 0, 0, "A\xC3\xA9\xE2\x82\xAC\xF4\x8F\xBF\xBF"sv, 16},
      {"UTF-8", 0, {0xD800}, REPLACE, 0, "\xEF\xBF\xBD"sv, 4},
      {"UTF-8", 0, {0x110000}, REPLACE, 0, "\xEF\xBF\xBD"sv, 4},
      {"UTF-8", 0, {0xD800}, 0, LVIO_E_ENCODING_UNMAPPABLE, ""sv, 0},
      {"UTF-8", 0, {0xD800}, REPLACE | STRICT, LVIO_E_ENCODING_UNMAPPABLE, ""sv, 0},
      {"UTF-8", 0, {'a', 0xDFFF}, 0, 0, "a"sv, 4},  // the error shows on the next step
      {"UTF-8", BOM, {'A'}, 0, 0, "\xEF\xBB\xBF\x41"sv, 4},
      {"UTF-8", BOM | LVIO_CODER_CREATE_NO_UTF8_BOM, {'A'}, 0, 0, "A"sv, 4},
      {"UTF-16BE", 0, {'A', 0x1F600}, 0, 0, "\0A\xD8\x3D\xDE\x00"sv, 8},
      {"UTF-16LE", BOM, {'A'}, 0, 0, "\xFF\xFE\x41\0"sv, 4},
      {"UTF-16LE", 0, {0xDC00}, REPLACE, 0, "\xFD\xFF"sv, 4},
      {"UTF-16BE", 0, {0x110000}, 0, LVIO_E_ENCODING_UNMAPPABLE, ""sv, 0},
      {"UTF-32LE", BOM, {0x1F600}, 0, 0, "\xFF\xFE\0\0\0\xF6\x01\0"sv, 4},
      {"UTF-32BE", 0, {0xD800}, REPLACE, 0, "\0\0\xFF\xFD"sv, 4},
      {"ANSI_X3.4-1968", 0, {'a', 0xE9}, 0, 0, "a"sv, 4},
      {"ANSI_X3.4-1968", 0, {0xE9}, 0, LVIO_E_ENCODING_UNMAPPABLE, ""sv, 0},
      {"ANSI_X3.4-1968", 0, {0xE9}, REPLACE, 0, "\x1A"sv, 4},
      {"ANSI_X3.4-1968", 0, {0xE9}, REPLACE | STRICT, 0, "\x1A"sv, 4},
      {"ISO-8859-15", 0, {0x20AC, 0xE9}, 0, 0, "\xA4\xE9"sv, 8},
      {"ISO-8859-15", 0, {0xA4}, 0, LVIO_E_ENCODING_UNMAPPABLE, ""sv, 0},  // byte A4 is the euro sign
      {"windows-1252", 0, {0x20AC, 0x2122}, 0, 0, "\x80\x99"sv, 8},
      {"ISO-8859-1", 0, {0x100}, 0, LVIO_E_ENCODING_UNMAPPABLE, ""sv, 0},
      // Line ends.
      {"UTF-8", CRLF, {'a', '\n', 'b'}, 0, 0, "a\r\nb"sv, 12},
      {"ISO-8859-1", CRLF, {'\n'}, 0, 0, "\r\n"sv, 4},
      {"UTF-16LE", CRLF, {'\n'}, 0, 0, "\r\0\n\0"sv, 4},
      {"UTF-8", AUTO, {'a', '\n'}, 0, 0, "a\n"sv, 8},
      {"ISO-8859-1", AUTO, {'a', '\n'}, 0, 0, "a"sv, 4},
      {"ISO-8859-1", AUTO, {'\n'}, 0, LVIO_E_NOT_IMPLEMENTED, ""sv, 0},
  };
  for (const auto& c : cases) {
    lvio_t_coder* coder = make_coder(c.coder, c.create);
    ASSERT_NE(coder, nullptr) << c.coder;
    step_result r = convert_step(coder, as_bytes(c.codes), 0, c.flags);
    std::string where = std::string(c.coder) + " case of " + std::to_string(c.codes.size()) + " codes, flags " +
                        std::to_string(c.flags);
    EXPECT_EQ(r.rc, c.rc) << where;
    EXPECT_EQ(r.output, c.bytes) << where;
    EXPECT_EQ(r.position, c.position) << where;
    lvio_coder_release(coder);
  }
}

TEST_F(Coders, EncoderStopsAtAnUnmappableCodeInsteadOfLooping) {
  lvio_t_coder* coder = make_coder("ANSI_X3.4-1968", 0);
  std::string input = as_bytes({'a', 'b', 0x20AC, 'c'});
  step_result first = convert_step(coder, input, 0, 0);
  EXPECT_EQ(first.rc, 0);
  EXPECT_EQ(first.output, "ab");
  EXPECT_EQ(first.position, 8u);
  // Every further step stops at once, with the position unmoved.
  for (int i = 0; i < 3; i++) {
    step_result again = convert_step(coder, input, first.position, 0);
    EXPECT_EQ(again.rc, LVIO_E_ENCODING_UNMAPPABLE);
    EXPECT_EQ(again.position, first.position);
  }
  EXPECT_EQ(convert_step(coder, input, first.position, REPLACE).output, "\x1A\x63");
  lvio_coder_release(coder);
}

TEST_F(Coders, PartialCodeItems) {
  lvio_t_coder* coder = make_coder("UTF-8", 0);
  std::string input = as_bytes({'a'}) + "xyz";
  step_result r = convert_step(coder, input, 4, 0);
  EXPECT_EQ(r.rc, LVIO_E_NOT_ENOUGH_DATA);
  EXPECT_EQ(convert_step(coder, input, 4, END).rc, LVIO_E_ENCODING_INVALID);
  EXPECT_EQ(convert_step(coder, input, 8, 0).rc, LVIO_E_PARAMETER_ERROR);  // beyond the input
  lvio_coder_release(coder);
}

TEST_F(Coders, OutputThatCannotGrowEndsTheStep) {
  lvio_t_coder* coder = make_coder("UTF-8", DECODER);
  uint8_t room[8];
  lvio_buffer out = {room, 0, sizeof room, LVIO_BUFFER_BORROWED | LVIO_BUFFER_CALLER_RECORD | LVIO_BUFFER_FIXED};
  lvio_span in = {reinterpret_cast<const uint8_t*>("abc"), 3};
  uint64_t position = 0;
  EXPECT_EQ(lvio_coder_convert(coder, &in, &position, &out, 0), 0);
  EXPECT_EQ(position, 2u);
  EXPECT_EQ(out.used, 8u);
  EXPECT_EQ(lvio_coder_convert(coder, &in, &position, &out, 0), LVIO_E_OUT_OF_MEMORY);
  lvio_coder_release(coder);
  // The ISO-8859-1 widening copy obeys the same rule.
  coder = make_coder("ISO-8859-1", DECODER);
  out.used = 4;
  position = 0;
  EXPECT_EQ(lvio_coder_convert(coder, &in, &position, &out, 0), 0);
  EXPECT_EQ(position, 1u);
  lvio_coder_release(coder);
}

// Code points that every Unicode coder maps: a spread over all planes.
std::vector<uint32_t> unicode_sample() {
  std::vector<uint32_t> v;
  for (uint32_t cp = 0; cp <= 0x10FFFF; cp += cp < 0x800 ? 1 : 97)
    if (cp < 0xD800 || cp > 0xDFFF) v.push_back(cp);
  v.push_back(0xFFFF);
  v.push_back(0x10000);
  v.push_back(0x10FFFF);
  return v;
}

TEST_F(Coders, RoundTrips) {
  const std::vector<uint32_t> sample = unicode_sample();
  for (const char* name : {"UTF-8", "UTF-16BE", "UTF-16LE", "UTF-32BE", "UTF-32LE"}) {
    lvio_t_coder* encoder = make_coder(name, BOM);
    lvio_t_coder* decoder = make_coder(name, DECODER | BOM);
    step_result bytes = convert_step(encoder, as_bytes(sample), 0, 0);
    ASSERT_EQ(bytes.rc, 0) << name;
    step_result codes = convert_step(decoder, bytes.output, 0, END);
    ASSERT_EQ(codes.rc, 0) << name;
    EXPECT_EQ(codes.position, bytes.output.size()) << name;
    EXPECT_TRUE(as_codes(codes.output) == sample) << name;
    lvio_coder_release(encoder);
    lvio_coder_release(decoder);
  }
  for (const char* name : {"ANSI_X3.4-1968", "ISO-8859-1", "ISO-8859-2", "ISO-8859-15", "windows-1252"}) {
    lvio_t_coder* encoder = make_coder(name, 0);
    lvio_t_coder* decoder = make_coder(name, DECODER);
    std::string all;
    for (int b = 0; b < 256; b++) all += static_cast<char>(b);
    std::string codes = convert_step(decoder, all, 0, REPLACE).output;
    ASSERT_EQ(codes.size(), 256u * 4) << name;
    std::string back = convert_step(encoder, codes, 0, REPLACE).output;
    ASSERT_EQ(back.size(), 256u) << name;
    for (int b = 0; b < 256; b++) {
      bool has_character = as_codes(codes)[b] != 0xFFFD;
      EXPECT_EQ(back[b], has_character ? all[b] : '\x1A') << name << " byte " << b;
    }
    lvio_coder_release(encoder);
    lvio_coder_release(decoder);
  }
}

}  // namespace
