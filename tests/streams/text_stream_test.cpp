// Text streams over files: encodings and byte-order marks, end-of-line
// modes, counters, peek and push-back, invalid input.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "core/atoms.h"
#include "core/predefined_atoms.h"
#include "core/termrefs.h"
#include "lvio/process_directories.h"
#include "lvio/result_codes.h"
#include "streams/stream.h"
#include "support/stream_fixture.h"

namespace {

class TextStreamTest : public StreamTest {
 protected:
  // The term encoding(Name, Signature, EndOfLine), as a term-reference index.
  uintptr_t encoding(const char* name, const char* signature, const char* eol) {
    lv_term* cells = w->H;
    w->H += 4;
    cells[0] = lv_make_functor(lv_atom_from_text("encoding", LV_ATOM_FIND_OR_CREATE), 3);
    cells[1] = lv_atom_from_text(name, LV_ATOM_FIND_OR_CREATE);
    cells[2] = lv_atom_from_text(signature, LV_ATOM_FIND_OR_CREATE);
    cells[3] = lv_atom_from_text(eol, LV_ATOM_FIND_OR_CREATE);
    lv_term_ref r = LV_new_term_ref();
    lv_term_ref_cell(w, r) = lv_make_struct(cells);
    return static_cast<uintptr_t>(r);
  }

  int64_t open(const std::string& name, uint32_t options, const char* enc, const char* signature, const char* eol,
               lv_stream** s) {
    return LV_fopen(dir.path(name).c_str(), encoding(enc, signature, eol), options | LV_FOPEN_ENCODING_REF, s);
  }

  std::string contents(const std::string& name) {
    std::ifstream in(dir.path(name), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }

  void write_text(const std::string& name, const char* enc, const char* signature, const char* eol,
                  const std::u32string& text, uint32_t extra = 0) {
    lv_stream* s = nullptr;
    ASSERT_EQ(open(name, LV_FOPEN_WRITE | LV_FOPEN_TEXT | extra, enc, signature, eol, &s), 0) << enc;
    ASSERT_EQ(LV_put_codes(s, reinterpret_cast<const uint32_t*>(text.data()), static_cast<int64_t>(text.size()), 0), 0);
    ASSERT_EQ(LV_fclose(s, 0), 2);
  }

  std::u32string read_text(const std::string& name, const char* enc, const char* signature, const char* eol) {
    lv_stream* s = nullptr;
    EXPECT_EQ(open(name, LV_FOPEN_READ | LV_FOPEN_TEXT, enc, signature, eol, &s), 0) << enc;
    if (s == nullptr) return U"";
    std::u32string text = drain_codes(s);
    EXPECT_EQ(LV_fclose(s, 0), 2);
    return text;
  }
};

struct EncodingCase {
  const char* name;
  std::u32string text;  // what the encoding can carry
  std::string body;     // its bytes, without a mark
  std::string mark;     // the byte-order mark
};

const EncodingCase encodings[] = {
    {"UTF-8", U"a\u00e9\u20ac\U0001F600\n", "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\n", "\xEF\xBB\xBF"},
    {"UTF-16BE", U"a\u00e9\U0001F600\n", std::string("\0a\0\xE9\xD8\x3D\xDE\x00\0\n", 10), "\xFE\xFF"},
    {"UTF-16LE", U"a\u00e9\U0001F600\n", std::string("a\0\xE9\0\x3D\xD8\x00\xDE\n\0", 10), "\xFF\xFE"},
    {"UTF-32BE", U"a\U0001F600\n", std::string("\0\0\0a\0\x01\xF6\x00\0\0\0\n", 12), std::string("\0\0\xFE\xFF", 4)},
    {"UTF-32LE", U"a\U0001F600\n", std::string("a\0\0\0\x00\xF6\x01\0\n\0\0\0", 12), std::string("\xFF\xFE\0\0", 4)},
    {"ISO-8859-1", U"a\u00e9\n", "a\xE9\n", ""},
    {"ISO-8859-2", U"a\u0160\n", "a\xA9\n", ""},
    {"ISO-8859-15", U"a\u20ac\n", "a\xA4\n", ""},
    {"windows-1252", U"a\u20ac\n", "a\x80\n", ""},
    {"ANSI_X3.4-1968", U"ab\n", "ab\n", ""},
};

TEST_F(TextStreamTest, EachEncodingWritesAndReadsWithAndWithoutAMark) {
  for (const EncodingCase& c : encodings) {
    SCOPED_TRACE(c.name);
    // No mark.
    write_text("plain", c.name, "false", "lf", c.text);
    EXPECT_EQ(contents("plain"), c.body);
    EXPECT_EQ(read_text("plain", c.name, "false", "lf"), c.text);
    // A mark asked for: written for the Unicode encodings, then found and
    // dropped on input (by its signature, whatever name was given).
    write_text("marked", c.name, "true", "lf", c.text);
    EXPECT_EQ(contents("marked"), c.mark + c.body);
    EXPECT_EQ(read_text("marked", c.name, "default", "lf"), c.text);
    // The default signature marks a new file except in UTF-8, and not an
    // appended one.
    write_text("default", c.name, "default", "lf", c.text);
    std::string mark = std::string(c.name) == "UTF-8" ? "" : c.mark;
    EXPECT_EQ(contents("default"), mark + c.body);
    write_text("default", c.name, "default", "lf", c.text, LV_FOPEN_APPEND);
    EXPECT_EQ(contents("default"), mark + c.body + c.body);
  }
}

TEST_F(TextStreamTest, AMarkDecidesTheEncodingOfInput) {
  dir.file("marked", "\xFF\xFE" + std::string("h\0i\0", 4));
  lv_stream* s = nullptr;
  ASSERT_EQ(open("marked", LV_FOPEN_READ | LV_FOPEN_TEXT, "default", "default", "default", &s), 0);
  EXPECT_NE(s->flags & LV_STREAM_BOM_FOUND, 0u);
  EXPECT_EQ(drain_codes(s), U"hi");
  // Without detection the mark is read as text.
  ASSERT_EQ(open("marked", LV_FOPEN_READ | LV_FOPEN_TEXT, "default", "false", "default", &s), 0);
  EXPECT_EQ(s->flags & LV_STREAM_BOM_FOUND, 0u);
  EXPECT_EQ(drain_codes(s), std::u32string(U"\u00ff\u00feh") + char32_t(0) + U"i" + char32_t(0));
}

TEST_F(TextStreamTest, EndOfLineModes) {
  struct {
    const char* eol;
    std::string written;
  } out[] = {{"lf", "a\nb\n"}, {"crlf", "a\r\nb\r\n"}, {"os", "a\nb\n"}, {"default", "a\nb\n"}, {"auto", "a\nb\n"}};
  for (const auto& c : out) {
    SCOPED_TRACE(c.eol);
    // An 8-bit encoder in "auto" mode writes newlines too.
    write_text("out", "ISO-8859-1", "false", c.eol, U"a\nb\n");
    EXPECT_EQ(contents("out"), c.written);
  }
  dir.file("in", "a\r\nb\nc\rd\r\n");
  EXPECT_EQ(read_text("in", "UTF-8", "false", "crlf"), U"a\nb\nc\rd\n");
  EXPECT_EQ(read_text("in", "UTF-8", "false", "lf"), U"a\r\nb\nc\rd\r\n");
  // "auto" (the input default) takes CR LF, LF and a lone CR as line ends.
  EXPECT_EQ(read_text("in", "UTF-8", "false", "default"), U"a\nb\nc\nd\n");
  lv_stream* s = nullptr;
  EXPECT_EQ(open("in", LV_FOPEN_READ | LV_FOPEN_TEXT, "UTF-8", "false", "cr", &s), LVIO_E_INTERNAL_ERROR);
}

TEST_F(TextStreamTest, CountersFollowLinesAcrossCrLfAndMultiByteCharacters) {
  dir.file("in", "ab\r\nc\xC3\xA9\xE2\x82\xAC\r\nd");
  lv_stream* s = nullptr;
  ASSERT_EQ(open("in", LV_FOPEN_READ | LV_FOPEN_TEXT, "UTF-8", "false", "default", &s), 0);
  int64_t items, lines, position;
  const struct {
    char32_t code;
    int64_t items, lines, position;
  } steps[] = {{'a', 1, 0, 1}, {'b', 2, 0, 2}, {'\n', 3, 1, 0}, {'c', 4, 1, 1},
               {U'\u00e9', 5, 1, 2}, {U'\u20ac', 6, 1, 3}, {'\n', 7, 2, 0}, {'d', 8, 2, 1}};
  for (const auto& step : steps) {
    EXPECT_EQ(lv_get_code(s), static_cast<int64_t>(step.code));
    ASSERT_EQ(LV_get_stream_counts(s, &items, &lines, &position, 0), 0);
    EXPECT_EQ(items, step.items);
    EXPECT_EQ(lines, step.lines);
    EXPECT_EQ(position, step.position);
  }
  EXPECT_EQ(lv_get_code(s), LV_STREAM_END);
  ASSERT_EQ(LV_get_stream_counts(s, &items, &lines, &position, 1), 0);
  EXPECT_EQ(items, 9);
  EXPECT_EQ(LV_get_stream_counts(s, &items, &lines, &position, 2), LVIO_E_NOT_WRITE);
  EXPECT_EQ(LV_fclose(s, 0), 2);
}

TEST_F(TextStreamTest, PeekAndPushBack) {
  dir.file("in", "ab\ncd");
  lv_stream* s = nullptr;
  ASSERT_EQ(open("in", LV_FOPEN_READ | LV_FOPEN_TEXT, "UTF-8", "false", "lf", &s), 0);
  EXPECT_EQ(lv_peek_code(s), 'a');
  EXPECT_EQ(lv_get_code_helper(s, LV_GET_PEEK), 'a');
  // Nothing read yet: nothing to give back.
  EXPECT_EQ(LV_unget_code(s, 'a'), LVIO_E_PARAMETER_ERROR);
  for (char c : std::string("ab\ncd")) EXPECT_EQ(lv_get_code(s), c);
  int64_t items, lines, position;
  ASSERT_EQ(LV_get_stream_counts(s, &items, &lines, &position, 0), 0);
  EXPECT_EQ(items, 5);
  EXPECT_EQ(lines, 1);
  EXPECT_EQ(position, 2);
  EXPECT_EQ(LV_unget_code(s, 'c'), LVIO_E_PARAMETER_ERROR);
  EXPECT_EQ(LV_unget_code(s, 'd'), 0);
  ASSERT_EQ(LV_get_stream_counts(s, &items, &lines, &position, 0), 0);
  EXPECT_EQ(items, 4);
  EXPECT_EQ(position, 1);
  EXPECT_EQ(LV_unget_code(s, 'c'), LVIO_E_PARAMETER_ERROR);
  EXPECT_EQ(lv_get_code(s), 'd');
  // The end of stream can be given back too, once met.
  EXPECT_EQ(LV_unget_code(s, LV_STREAM_END), LVIO_E_PARAMETER_ERROR);
  EXPECT_EQ(lv_get_code(s), LV_STREAM_END);
  EXPECT_EQ(LV_unget_code(s, LV_STREAM_END), 0);
  EXPECT_EQ(lv_peek_code(s), LV_STREAM_END);
  EXPECT_EQ(lv_get_code(s), LV_STREAM_END);
  EXPECT_EQ(s->flags & LV_STREAM_PAST_END, 0u);
  EXPECT_EQ(lv_get_code(s), LV_STREAM_END);
  EXPECT_NE(s->flags & LV_STREAM_PAST_END, 0u);
  // A byte operation on a text stream.
  EXPECT_EQ(lv_get_byte_helper(s, 0), LVIO_E_GRANULARITY_ERROR);
  EXPECT_EQ(LV_fclose(s, 0), 2);
}

TEST_F(TextStreamTest, PushBackWorksAcrossARefill) {
  std::string text(5000, 'x');
  text[1999] = 'y';
  dir.file("in", text);
  lv_stream* s = nullptr;
  ASSERT_EQ(open("in", LV_FOPEN_READ | LV_FOPEN_TEXT, "UTF-8", "false", "lf", &s), 0);
  for (size_t i = 0; i < text.size(); i++) {
    int64_t c = lv_get_code(s);
    ASSERT_EQ(c, text[i]);
    // Just before each refill the last code is still there to give back.
    if (s->code_read_cursor == s->code_read_limit) {
      ASSERT_EQ(LV_unget_code(s, c), 0) << i;
      ASSERT_EQ(lv_get_code(s), c);
    }
  }
  EXPECT_EQ(LV_fclose(s, 0), 2);
}

TEST_F(TextStreamTest, InvalidBytesInEachDecoderAreReportedAfterTheGoodOnes) {
  const struct {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"UTF-8", "ok\xFF"},
      {"UTF-8", "ok\xC3"},  // cut off at the end
      {"UTF-16LE", std::string("o\0k\0\x00\xDC", 6)},
      {"UTF-16BE", std::string("\0o\0k\xDC\x00", 6)},
      {"UTF-16LE", std::string("o\0k\0\x01", 5)},
      {"UTF-32LE", std::string("o\0\0\0k\0\0\0\0\0\x11\0", 12)},
      {"UTF-32BE", std::string("\0\0\0o\0\0\0k\0\0\xD8\0", 12)},
      {"ANSI_X3.4-1968", "ok\x80"},
      {"windows-1252", "ok\x81"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    dir.file("bad", c.bytes);
    lv_stream* s = nullptr;
    ASSERT_EQ(open("bad", LV_FOPEN_READ | LV_FOPEN_TEXT, c.name, "false", "lf", &s), 0);
    EXPECT_EQ(lv_get_code(s), 'o');
    EXPECT_EQ(lv_get_code(s), 'k');
    int64_t bad = lv_get_code(s);
    EXPECT_LT(bad, 0);
    EXPECT_NE(bad, LV_STREAM_END);
    EXPECT_EQ(LV_fclose(s, 0), 2);
  }
}

TEST_F(TextStreamTest, OpenRefusals) {
  dir.file("f", "abc");
  lv_stream* s = nullptr;
  const struct {
    uint32_t options;
    const char *encoding, *signature, *eol;
    int64_t rc;
  } cases[] = {
      {LV_FOPEN_READ | LV_FOPEN_WRITE | LV_FOPEN_TEXT, "UTF-8", "false", "lf", LVIO_E_PARAMETER_ERROR},
      {LV_FOPEN_READ | LV_FOPEN_TEXT | LV_FOPEN_REPOSITION, "ISO-8859-1", "false", "crlf", LVIO_E_SEEK_ERROR},
      {LV_FOPEN_READ | LV_FOPEN_TEXT | LV_FOPEN_REPOSITION, "ISO-8859-1", "true", "lf", LVIO_E_NOT_SUPPORTED},
      {LV_FOPEN_WRITE | LV_FOPEN_TEXT | LV_FOPEN_REPOSITION, "ISO-8859-1", "true", "lf", LVIO_E_NOT_SUPPORTED},
      {LV_FOPEN_APPEND | LV_FOPEN_TEXT | LV_FOPEN_REPOSITION, "ISO-8859-1", "false", "lf", LVIO_E_SEEK_ERROR},
      {LV_FOPEN_READ | LV_FOPEN_TEXT | LV_FOPEN_REPOSITION, "UTF-8", "false", "lf", LVIO_E_SEEK_ERROR},
      {LV_FOPEN_READ | LV_FOPEN_TEXT, "no-such-code", "false", "lf", LVIO_E_CHARSET_NOT_FOUND},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.encoding);
    EXPECT_EQ(open("f", c.options, c.encoding, c.signature, c.eol, &s), c.rc);
  }
  // Nothing was left behind.
  EXPECT_EQ(LV_next_stream(nullptr, &s), 0);
  EXPECT_EQ(s, nullptr);
  // "default" is ISO-8859-1; [] means all three defaults.
  dir.file("latin", "\xE9");
  lv_term_ref nil = LV_new_term_ref();
  lv_term_ref_cell(w, nil) = LV_ATOM_NIL;
  ASSERT_EQ(LV_fopen(dir.path("latin").c_str(), nil, LV_FOPEN_READ | LV_FOPEN_TEXT | LV_FOPEN_ENCODING_REF, &s), 0);
  EXPECT_EQ(lv_get_code(s), 0xE9);
  EXPECT_EQ(LV_fclose(s, 0), 2);
}

TEST_F(TextStreamTest, RelativeNamesAreMadeAbsolute) {
  dir.file("rel", "x");
  ASSERT_EQ(lvio_set_current_directory(dir.path("").c_str(), 1), 0);
  lv_stream* s = nullptr;
  for (const char* name : {"rel", "./sub/../rel", ".//rel", "../" }) {
    if (std::string(name) == "../") break;
    ASSERT_EQ(LV_fopen(name, 0, LV_FOPEN_READ | LV_FOPEN_BINARY, &s), 0) << name;
    EXPECT_STREQ(lv_stream_name(s), dir.path("rel").c_str());
    EXPECT_EQ(LV_fclose(s, 0), 2);
  }
  // Taken as given, the name is not resolved.
  ASSERT_EQ(LV_fopen("/..//tmp/../tmp", 0, LV_FOPEN_READ | LV_FOPEN_BINARY | LV_FOPEN_NAME_AS_GIVEN, &s),
            LVIO_E_FILE_IS_DIRECTORY);
}

}  // namespace
