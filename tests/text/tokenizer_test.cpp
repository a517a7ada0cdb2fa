// The tokenizer over a stream of codes, called as the reader calls it: the
// next character and the status of one call are the character and the
// state of the next (the prefix state after a radix prefix).
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/atoms.h"
#include "core/errors.h"
#include "core/flag_builtins.h"
#include "core/numbers.h"
#include "core/predefined_atoms.h"
#include "core/startup_records.h"
#include "core/termrefs.h"
#include "lvio/result_codes.h"
#include "machine/bignum.h"
#include "store/try_record.h"
#include "streams/std_streams.h"
#include "streams/stream.h"
#include "support/stream_fixture.h"
#include "text/char_class.h"
#include "text/char_conversion.h"
#include "text/float_text.h"
#include "text/tokenizer.h"
#include "text/tokenizer_builtins.h"
#include "text/utf8.h"

namespace {

// A device of 32-bit codes; after fail_at codes (when set) a read fails.
struct Codes {
  std::vector<uint32_t> codes;
  size_t next = 0;
  size_t fail_at = SIZE_MAX;
};
const char codes_tag = 0;

int64_t codes_read(void* user, void* destination, uint64_t* size, uint32_t) {
  auto* c = static_cast<Codes*>(user);
  if (c->next >= c->fail_at) return LVIO_E_READ_ERROR;
  size_t n = std::min<size_t>({*size / 4, c->codes.size() - c->next, c->fail_at - c->next, 7});
  if (n == 0) {
    *size = 0;
    return LVIO_E_END_OF_FILE;
  }
  std::memcpy(destination, c->codes.data() + c->next, n * 4);
  c->next += n;
  *size = n * 4;
  return 0;
}

int64_t codes_close(void** user, uint32_t, int) {
  *user = nullptr;
  return 0;
}

std::vector<uint32_t> decode(const std::string& utf8) {
  std::vector<uint32_t> out;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(utf8.data());
  const unsigned char* end = p + utf8.size();
  while (p < end) out.push_back(static_cast<uint32_t>(lv_utf8_next(p, end)));
  return out;
}

std::string atom_text(lv_term a) { return lv_atom_text(a); }

// Terms as text: atoms plain, lists in brackets, the variable token as
// var(Name).
std::string show(lv_term t) {
  t = lv_deref(t);
  if (lv_is_small(t)) return std::to_string(lv_small_value(t));
  if (lv_is_atom(t)) return atom_text(t);
  if (lv_is_float_box(t)) {
    char text[40];
    lv_float_text(lv_float_value(t), text, sizeof text);
    return text;
  }
  if (lv_is_integer_box(t)) {
    char* text = lv_bignum_to_text(lv_struct_cells(t), 10, 0);
    std::string s = text;
    LV_free(text);
    return s;
  }
  if (lv_is_list(t)) {
    std::string s = "[";
    for (; lv_is_list(t); t = lv_deref(lv_list_cells(t)[1])) {
      if (s.size() > 1) s += ",";
      s += show(lv_list_cells(t)[0]);
    }
    return s + "]";
  }
  if (lv_is_ref(t)) return "_";
  lv_term* cells = lv_struct_cells(t);
  std::string name = atom_text(lv_functor_atom(cells[0]));
  if (name == "var") {
    std::string s;
    for (lv_term l = lv_deref(cells[2]); lv_is_list(l); l = lv_deref(lv_list_cells(l)[1])) {
      char buffer[8];
      int n = LV_code_wci(buffer, static_cast<int32_t>(lv_small_value(lv_deref(lv_list_cells(l)[0]))));
      s.append(buffer, static_cast<size_t>(n));
    }
    return "var(" + s + ")";
  }
  std::string s = name + "(";
  for (unsigned i = 1; i <= lv_functor_arity(cells[0]); i++) s += (i > 1 ? "," : "") + show(cells[i]);
  return s + ")";
}

// A token as "Token Status"; a bare atom token (punctuation, the end and
// end of file) is quoted.
std::string show_token(const lv_token& t) {
  std::string s = lv_is_atom(t.token) ? "'" + atom_text(t.token) + "'" : show(t.token);
  return s + " " + std::to_string(t.status);
}

class TokenizerTest : public StreamTest {
 protected:
  void SetUp() override {
    StreamTest::SetUp();
    lv_char_classes_init();
    lv_char_conversion_clear();
    saved_flags = lv_flags;
    lv_flags.prompt = 0;
    for (int i = 0; i < 6; i++) w->X[i] = lv_make_small(0);
  }
  void TearDown() override {
    if (lv_flags.prompt != 0) lv_atom_ref_dec(lv_flags.prompt);
    lv_flags = saved_flags;
    lv_char_conversion_clear();
    StreamTest::TearDown();
  }

  lv_stream* open(Codes* codes) {
    lv_stream* s = nullptr;
    EXPECT_EQ(LV_create_stream(codes, &codes_tag, codes_read, nullptr, nullptr, nullptr, codes_close, nullptr,
                               nullptr, nullptr, LV_CREATE_CODES, &s),
              0);
    return s;
  }

  // Every token of the text up to end of file (or at most limit tokens),
  // as the reader would ask for them.
  std::vector<lv_token> tokens(const std::string& text, size_t limit = 100) {
    rendered.clear();
    Codes codes;
    codes.codes = decode(text);
    lv_stream* s = open(&codes);
    std::vector<lv_token> out;
    if (s == nullptr) return out;
    int32_t c = static_cast<int32_t>(lv_get_code(s));
    int32_t state = 0;
    while (out.size() < limit) {
      lv_token t;
      lv_read_token(w, s, c, state, 0, 6, &t);
      EXPECT_EQ(t.error, 0);
      out.push_back(t);
      rendered.push_back(show_token(t));
      if (t.token == LV_ATOM_NIL && t.next < 0) break;
      c = t.next;
      state = t.status == LV_TOKEN_RADIX_PREFIX ? LV_TOKEN_STATE_PREFIX : t.status;
    }
    EXPECT_EQ(LV_fclose(s, 0), 2);
    return out;
  }

  // The tokens as text, each shown as soon as it was read.
  std::vector<std::string> shown(const std::string& text) {
    tokens(text);
    return rendered;
  }

  lv_flag_words saved_flags;
  std::vector<std::string> rendered;
};

using list = std::vector<std::string>;

TEST_F(TokenizerTest, Tokens) {
  struct Case {
    const char* text;
    list expected;
  } cases[] = {
      // Names, argument lists, symbol atoms, the end.
      {"foo(X).", {"atom(foo) 1", "'(' 0", "var(X) 0", "')' 1", "'.' 0", "'[]' -1"}},
      {"foo (X)", {"atom(foo) 1", "' (' 0", "var(X) 0", "')' 1", "'[]' -1"}},
      {"a+b", {"atom(a) 1", "atom(+) 1", "atom(b) 1", "'[]' -1"}},
      {"a=..b", {"atom(a) 1", "atom(=..) 1", "atom(b) 1", "'[]' -1"}},
      {"a.\nb. ", {"atom(a) 1", "'.' 0", "atom(b) 1", "'.' 0", "'[]' -1"}},
      {"x.y", {"atom(x) 1", "atom(.) 1", "atom(y) 1", "'[]' -1"}},
      {"a.%c", {"atom(a) 1", "'.' 0", "'[]' -2"}},
      {"! ; , | [ ] { }",
       {"atom(!) 1", "atom(;) 1", "',' 0", "'|' 0", "'[' 0", "']' 1", "'{' 0", "'}' 1", "'[]' -1"}},
      {"[](", {"'[' 0", "']' 1", "'(' 0", "'[]' -1"}},
      {"aB_1 Xy _ _z", {"atom(aB_1) 1", "var(Xy) 0", "var(_) 0", "var(_z) 0", "'[]' -1"}},
      // Non-ASCII letters; a code point above 255 is no letter while the
      // Unicode letter switch is off.
      {"caf\xc3\xa9 \xc3\x84rger", {"atom(caf\xc3\xa9) 1", "var(\xc3\x84rger) 0", "'[]' -1"}},
      {"\xce\xbb", {"955 -25", "'[]' -1"}},
      // Comments and layout.
      {"a % c\nb", {"atom(a) 1", "atom(b) 1", "'[]' -1"}},
      {"a /* c * / */ b", {"atom(a) 1", "atom(b) 1", "'[]' -1"}},
      {"a /*/ b", {"atom(a) 1", "'[]' -17"}},
      {"% comment", {"'[]' -2"}},
      {"", {"'[]' -1"}},
      {"a\r\n\tb", {"atom(a) 1", "atom(b) 1", "'[]' -1"}},
      // Numbers.
      {"12 3.25 2.5e-3 1.5E+2", {"number(12) 0", "number(3.25) 0", "number(0.0025) 0", "number(150.0) 0", "'[]' -1"}},
      {"123456789012345678901234567890", {"number(123456789012345678901234567890) 0", "'[]' -1"}},
      {"1.e5", {"number(1) 0", "atom(.) 1", "atom(e5) 1", "'[]' -1"}},
      {"1e5", {"number(1) 0", "atom(e5) 1", "'[]' -1"}},
      {"1.5e+x", {"number(1.5) -64", "atom(+) 1", "atom(x) 1", "'[]' -1"}},
      {"1.5E-x", {"number(1.5) -32", "atom(-) 1", "atom(x) 1", "'[]' -1"}},
      {"1.5ex", {"number(1.5) 0", "atom(ex) 1", "'[]' -1"}},
      {"1.0e999", {"number(1.0e999) -22", "'[]' -1"}},
      {"1.", {"number(1) 0", "'.' 0", "'[]' -1"}},
      // The prefixes and their second call.
      {"0'a", {"number(0) -128", "number(97) 1", "'[]' -1"}},
      {"0''' ", {"number(0) -128", "number(39) 1", "'[]' -1"}},
      {"0''a", {"number(0) -128", "atom() 1", "atom(a) 1", "'[]' -1"}},
      {"0' ", {"number(0) -128", "number(32) 1", "'[]' -1"}},
      {"0'\\n", {"number(0) -128", "number(10) 1", "'[]' -1"}},
      {"0'\\x41\\", {"number(0) -128", "number(65) 1", "'[]' -1"}},
      {"0'\\q", {"number(0) -128", "number(0) -11", "'[]' -1"}},
      {"0'\t", {"number(0) -128", "number(9) -14", "'[]' -1"}},
      {"0'", {"number(0) -128", "number(0) -15", "'[]' -1"}},
      {"0'\xc3\xa9", {"number(0) -128", "number(233) 1", "'[]' -1"}},
      {"0'\xcd\xb8", {"number(0) -128", "number(888) -24", "'[]' -1"}},
      {"0x1F 0b101 0o17",
       {"number(0) -128", "number(31) 0", "number(0) -128", "number(5) 0", "number(0) -128", "number(15) 0",
        "'[]' -1"}},
      {"0xffffffffffffffffffff", {"number(0) -128", "number(1208925819614629174706175) 0", "'[]' -1"}},
      {"0xg", {"number(0) -128", "atom(xg) 1", "'[]' -1"}},
      {"0b2", {"number(0) -128", "atom(b2) 1", "'[]' -1"}},
      {"0o(", {"number(0) -128", "atom(o) 1", "'(' 0", "'[]' -1"}},
      {"007", {"number(7) 0", "'[]' -1"}},
      // Quoted items and escapes.
      {"'hello world'", {"atom(hello world) 1", "'[]' -1"}},
      {"'don''t'", {"atom(don't) 1", "'[]' -1"}},
      {"''", {"atom() 1", "'[]' -1"}},
      {"`back`", {"atom(back) -26", "'[]' -1"}},
      {"\"ab\"", {"string([97,98]) 0", "'[]' -1"}},
      {"\"\"", {"string([]) 0", "'[]' -1"}},
      {"'a\\x41\\b'", {"atom(aAb) 1", "'[]' -1"}},
      {"'\\101\\\\n\\e\\d\\a\\'\\\"\\`'", {"atom(A\n\x1b\x7f\x07'\"`) 1", "'[]' -1"}},
      {"'a\\\nb'", {"atom(ab) 1", "'[]' -1"}},
      {"'\\x\\'", {"atom(\\x\\) -12", "'[]' -1"}},
      {"'\\x41g'", {"atom(\\x41g) -12", "'[]' -1"}},
      {"'\\q'", {"atom(\\q) -11", "'[]' -1"}},
      {"'a\\x80000000\\b'", {"atom(a\\x80000000\\b) -13", "'[]' -1"}},
      {"'a\tb'", {"atom(a\tb) -14", "'[]' -1"}},
      {"'\xce\xbb'", {"atom(\xce\xbb) 1", "'[]' -1"}},
      {"'\xcd\xb8'", {"atom(\xcd\xb8) -24", "'[]' -1"}},
      {"'abc", {"atom(abc) -15", "'[]' -1"}},
      {"'\\x4", {"atom(\\x4) -15", "'[]' -1"}},
      {"\"ab", {"string([97,98]) -15", "'[]' -1"}},
      {"'\\q\tz", {"atom(\\q\tz) -15", "'[]' -1"}},
      {"'\\0\\'", {"atom(\xc0\x80) 1", "'[]' -1"}},
  };
  for (const Case& c : cases) EXPECT_EQ(shown(c.text), c.expected) << c.text;
}

TEST_F(TokenizerTest, NextCharacter) {
  struct Case {
    const char* text;
    std::vector<int32_t> next;
  } cases[] = {
      {"foo(", {'(', -1, -1}},     {"1.e5", {'.', 'e', -1, -1}}, {"1.5e+x", {'+', 'x', -1, -1}},
      {"0'a", {'\'', -1, -1}},     {"0x1F;", {'x', ';', -1, -1}}, {"a. b", {'.', ' ', -1, -1}},
      {"'a'b", {'b', -1, -1}},     {"0'\\x41g", {'\'', 'g', -1, -1}},
  };
  for (const Case& c : cases) {
    std::vector<int32_t> next;
    for (const lv_token& t : tokens(c.text)) next.push_back(t.next);
    EXPECT_EQ(next, c.next) << c.text;
  }
}

TEST_F(TokenizerTest, LineNumbers) {
  std::vector<int64_t> lines;
  for (const lv_token& t : tokens("a\nb /* x\ny */ c\n\n  'd\ne'\n% z\n"))
    if (t.token != LV_ATOM_NIL) lines.push_back(t.line);
  EXPECT_EQ(lines, (std::vector<int64_t>{1, 2, 3, 5}));
}

TEST_F(TokenizerTest, VariableHash) {
  std::vector<lv_token> t = tokens("Abcdefghij");
  ASSERT_EQ(t.size(), 2u);
  uint32_t h = 0;
  for (const char* p = "Abcdefghij"; *p != '\0'; p++) {
    h = (h << 4) + static_cast<uint32_t>(*p);
    uint32_t g = h & 0xf0000000u;
    if (g != 0) h ^= g ^ (g >> 28);
  }
  lv_term* cells = lv_struct_cells(t[0].token);
  EXPECT_EQ(lv_small_value(cells[1]), static_cast<int64_t>(h));
  EXPECT_TRUE(lv_is_unbound_cell(&cells[3]));
}

TEST_F(TokenizerTest, DoubleQuotesAndLongItems) {
  lv_flags.double_quotes = lv_atom_from_text("atom", LV_ATOM_FIND_OR_CREATE);
  EXPECT_EQ(shown("\"ab\""), (list{"atom(ab) 0", "'[]' -1"}));
  lv_flags.double_quotes = lv_atom_from_text("chars", LV_ATOM_FIND_OR_CREATE);
  EXPECT_EQ(shown("\"ab\""), (list{"string([a,b]) 0", "'[]' -1"}));
  // Items longer than the frame's buffer.
  std::string name(5000, 'q');
  EXPECT_EQ(shown("'" + name + "'"), (list{"atom(" + name + ") 1", "'[]' -1"}));
  lv_flags.double_quotes = lv_atom_from_text("codes", LV_ATOM_FIND_OR_CREATE);
  std::string items = "114";
  for (int i = 1; i < 3000; i++) items += ",114";
  EXPECT_EQ(shown("\"" + std::string(3000, 'r') + "\""), (list{"string([" + items + "]) 0", "'[]' -1"}));
  // A refused number longer than 100 characters is cut.
  std::string big = "1." + std::string(400, '9') + "e999";
  EXPECT_EQ(shown(big), (list{"number(1." + std::string(95, '9') + "...) -22", "'[]' -1"}));
}

// With the heap all but full every token makes room for itself, keeping
// the argument registers.
TEST_F(TokenizerTest, TokensMakeHeapRoom) {
  for (const char* text : {"1.5", "123456789012345678901234567890", "0x123456789abcdef0123", "\"abcdefghij\"",
                           "Xyzzy", "'quoted'"}) {
    w->X[0] = lv_make_small(77);
    while (w->heap_hard_limit - w->H > 3) *w->H++ = lv_make_small(0);
    std::vector<std::string> s = shown(text);
    ASSERT_GE(s.size(), 2u) << text;
    EXPECT_NE(s[s.size() - 2].find('('), std::string::npos) << text;
    EXPECT_EQ(w->X[0], lv_make_small(77));
  }
  EXPECT_EQ(shown("1.5 123456789012345678901234567890 0x1f \"ab\" Xy"),
            (list{"number(1.5) 0", "number(123456789012345678901234567890) 0", "number(0) -128", "number(31) 0",
                  "string([97,98]) 0", "var(Xy) 0", "'[]' -1"}));
}

TEST_F(TokenizerTest, UnicodeLetterSwitch) {
  lv_set_unicode_letter_switch(1);
  EXPECT_EQ(shown("\xce\xbbx \xce\x9b"), (list{"atom(\xce\xbbx) 1", "atom(\xce\x9b) 1", "'[]' -1"}));
  lv_set_unicode_letter_switch(0);
  EXPECT_EQ(shown("\xce\xbbx"), (list{"955 -25", "atom(x) 1", "'[]' -1"}));
}

TEST_F(TokenizerTest, CharConversion) {
  lv_flags.char_conversion = LV_ATOM_ON;
  ASSERT_EQ(lv_char_conversion_set('a', 'b'), 1);
  ASSERT_EQ(lv_char_conversion_set('&', '\''), 1);
  // Inside quotes nothing is converted, unless the quote itself was.
  EXPECT_EQ(shown("a 'a' &a&"), (list{"atom(b) 1", "atom(a) 1", "atom(b) 1", "'[]' -1"}));
  // Next is the character as read.
  std::vector<lv_token> t = tokens("x a");
  EXPECT_EQ(t[0].next, ' ');
  lv_flags.char_conversion = LV_ATOM_OFF;
  EXPECT_EQ(shown("a"), (list{"atom(a) 1", "'[]' -1"}));
}

TEST_F(TokenizerTest, PromptIsStoredAtTheFirstToken) {
  Codes codes;
  codes.codes = decode("  a");
  lv_stream* s = open(&codes);
  ASSERT_NE(s, nullptr);
  lv_term prompt = lv_atom_from_text("|    ", LV_ATOM_FIND_OR_CREATE);
  lv_token t;
  lv_read_token(w, s, static_cast<int32_t>(lv_get_code(s)), 0, prompt, 6, &t);
  EXPECT_EQ(show_token(t), "atom(a) 1");
  EXPECT_EQ(lv_flags.prompt, prompt);
  EXPECT_EQ(LV_fclose(s, 0), 2);
}

TEST_F(TokenizerTest, ReadErrorIsReported) {
  Codes codes;
  codes.codes = decode("'abcdefghijklmnop'");
  codes.fail_at = 9;
  lv_stream* s = open(&codes);
  ASSERT_NE(s, nullptr);
  lv_token t;
  lv_read_token(w, s, static_cast<int32_t>(lv_get_code(s)), 0, 0, 6, &t);
  EXPECT_EQ(t.error, LVIO_E_READ_ERROR);
  EXPECT_EQ(LV_fclose(s, 0), 2);
}

TEST_F(TokenizerTest, BuiltinBindsItsOutputs) {
  Codes codes;
  codes.codes = decode("foo(");
  lv_stream* s = open(&codes);
  ASSERT_NE(s, nullptr);
  lv_stream* saved = lv_streams.current_input;
  lv_streams.current_input = s;
  lv_term* vars = w->H;
  w->H += 4;
  for (int i = 0; i < 4; i++) vars[i] = lv_make_ref(&vars[i]);
  w->X[0] = lv_make_small(lv_get_code(s));
  w->X[1] = lv_atom_from_text("|: ", LV_ATOM_FIND_OR_CREATE);
  for (int i = 0; i < 4; i++) w->X[2 + i] = lv_make_ref(&vars[i]);
  // The variables are older than the newest choicepoint: their bindings
  // are trailed, so that backtracking undoes them.
  lv_term* saved_hb = w->HB;
  w->HB = w->H;
  lv_term* tr = w->TR;
  ASSERT_EQ(prolog_read_token(w), 1);
  EXPECT_EQ(w->TR - tr, 4);
  w->HB = saved_hb;
  EXPECT_EQ(show(vars[0]), "atom(foo)");
  EXPECT_EQ(show(vars[1]), "40");
  EXPECT_EQ(show(vars[2]), "1");
  EXPECT_EQ(show(vars[3]), "1");
  // Bound outputs are compared.
  w->X[0] = lv_make_small('(');
  w->X[1] = lv_make_small(1);
  w->X[2] = lv_atom_from_text("(", LV_ATOM_FIND_OR_CREATE);
  w->X[3] = lv_make_small(-1);
  w->X[4] = lv_make_small(1);
  w->X[5] = lv_make_small(1);
  EXPECT_EQ(prolog_read_token(w), 0);
  lv_streams.current_input = saved;
  EXPECT_EQ(LV_fclose(s, 0), 2);
}

// A terminal: each read without waiting finds nothing typed, so the
// stream prompts; a read that waits gets the next line.
struct Terminal {
  std::vector<std::u32string> lines;
  size_t next = 0;
  std::u32string shown;  // what was written to the error stream
};

int64_t terminal_read(void* user, void* destination, uint64_t* size, uint32_t options) {
  auto* t = static_cast<Terminal*>(user);
  if ((options & LVIO_DEVICE_NO_WAIT) != 0) return LVIO_E_WOULD_BLOCK;
  if (t->next == t->lines.size()) {
    *size = 0;
    return LVIO_E_END_OF_FILE;
  }
  const std::u32string& line = t->lines[t->next++];
  std::memcpy(destination, line.data(), line.size() * 4);
  *size = line.size() * 4;
  return 0;
}

int64_t terminal_write(void* user, const void* source, uint64_t* size, uint32_t) {
  static_cast<Terminal*>(user)->shown.append(static_cast<const char32_t*>(source), *size / 4);
  return 0;
}

// The prompt of the reader's first call is shown on every line that the
// term goes on to, until the next first call.
TEST_F(TokenizerTest, PromptsOnTerminalInput) {
  Terminal terminal;
  terminal.lines = {U"foo(\n", U"X).\n"};
  lv_stream* in = nullptr;
  lv_stream* err = nullptr;
  ASSERT_EQ(LV_create_stream(&terminal, &codes_tag, terminal_read, nullptr, nullptr, nullptr, codes_close, nullptr,
                             nullptr, nullptr, LV_CREATE_CODES | LV_CREATE_INTERACTIVE, &in),
            0);
  ASSERT_EQ(LV_create_stream(&terminal, &codes_tag, nullptr, terminal_write, nullptr, nullptr, codes_close, nullptr,
                             nullptr, nullptr, LV_CREATE_CODES, &err),
            0);
  lv_stream* saved = lv_streams.user[LV_STD_ERROR];
  lv_streams.user[LV_STD_ERROR] = err;
  int32_t c = static_cast<int32_t>(lv_get_code(in));
  EXPECT_EQ(terminal.shown, U"|: ");
  lv_term prompt = lv_atom_from_text("|    ", LV_ATOM_FIND_OR_CREATE);
  std::vector<std::string> got;
  int32_t state = 0;
  for (int i = 0; i < 5; i++) {
    lv_token t;
    lv_read_token(w, in, c, state, i == 0 ? prompt : 0, 6, &t);
    got.push_back(show_token(t));
    c = t.next;
    state = t.status;
  }
  EXPECT_EQ(got, (list{"atom(foo) 1", "'(' 0", "var(X) 0", "')' 1", "'.' 0"}));
  EXPECT_EQ(terminal.shown, U"|: |    ");
  lv_streams.user[LV_STD_ERROR] = saved;
  EXPECT_EQ(LV_fclose(in, 0), 2);
  EXPECT_EQ(LV_fclose(err, 0), 2);
}

// A read error of the stream is raised: the error handler's choicepoint is
// pushed with the goal and the stream as culprit.
TEST_F(TokenizerTest, BuiltinRaisesReadErrors) {
  lv_try_record handler = {nullptr, nullptr, nullptr, 48 + 4 * 8, 0};
  const lv_try_record* saved_handler = lv_startup.error_handler;
  lv_startup.error_handler = &handler;
  Codes codes;
  codes.codes = decode("abc");
  codes.fail_at = 1;
  lv_stream* s = open(&codes);
  ASSERT_NE(s, nullptr);
  lv_stream* saved = lv_streams.current_input;
  lv_streams.current_input = s;
  w->X[0] = lv_make_small(lv_get_code(s));
  w->X[1] = lv_make_small(0);
  lv_term* vars = w->H;
  w->H += 4;
  for (int i = 0; i < 4; i++) w->X[2 + i] = vars[i] = lv_make_ref(&vars[i]);
  lv_term* b = w->B;
  EXPECT_EQ(prolog_read_token(w), 0);
  ASSERT_NE(w->B, b);
  EXPECT_EQ(w->B[LV_CP_ALT], reinterpret_cast<lv_term>(&handler.insn));
  lv_term goal = lv_deref(w->B[LV_CP_ARGS]);
  ASSERT_TRUE(lv_is_struct(goal));
  EXPECT_EQ(show(lv_struct_cells(goal)[2]).substr(0, 12), "$read_token(");
  EXPECT_EQ(lv_deref(w->B[LV_CP_ARGS + 2]), lv_stream_term(s));
  for (int i = 0; i < 4; i++) EXPECT_TRUE(lv_is_unbound_cell(&vars[i]));
  lv_streams.current_input = saved;
  lv_startup.error_handler = saved_handler;
  EXPECT_EQ(LV_fclose(s, 0), 2);
}

TEST_F(TokenizerTest, AddCharConversion) {
  auto add = [&](int64_t in, int64_t out) {
    w->X[0] = lv_make_small(in);
    w->X[1] = lv_make_small(out);
    return prolog_add_char_conversion(w);
  };
  EXPECT_EQ(add('a', 'b'), 1);
  EXPECT_EQ(lv_char_conversion('a'), 'b');
  EXPECT_EQ(add('a', 'a'), 1);
  EXPECT_EQ(lv_char_conversion('a'), 'a');
  EXPECT_EQ(add(-1, 'a'), 0);
  EXPECT_EQ(add('a', 0x80000000), 0);
  for (int i = 0; i < LV_CHAR_CONVERSION_PAIRS; i++) ASSERT_EQ(add(1000 + i, 5), 1);
  EXPECT_EQ(add(97, 5), 0);
  lv_flags.char_conversion = LV_ATOM_OFF;
  lv_reset_reader_flags();
  EXPECT_EQ(lv_flags.char_conversion, LV_ATOM_ON);
  EXPECT_EQ(lv_char_conversion_count(), 0);
}

// Random codes (mostly bytes, some above 255 and beyond the code points)
// through the tokenizer: every call ends, and the text is used up.
TEST_F(TokenizerTest, RandomInput) {
  const char alphabet[] = "aZ_09'\"`\\/*%.()[]{},|!; \n\texbo+-=";
  for (uint32_t seed = 1; seed <= 1000; seed++) {
    std::mt19937 rng(seed);
    Codes codes;
    size_t n = rng() % 200;
    for (size_t i = 0; i < n; i++) {
      uint32_t r = rng() % 16;
      uint32_t c = r < 9 ? static_cast<uint32_t>(alphabet[rng() % (sizeof alphabet - 1)])
                   : r < 14 ? rng() % 256
                   : r < 15 ? rng() % 0x110000
                            : rng();
      codes.codes.push_back(c);
    }
    lv_flags.char_conversion = seed % 3 == 0 ? LV_ATOM_ON : LV_ATOM_OFF;
    lv_char_conversion_clear();
    if (seed % 3 == 0) {
      lv_char_conversion_set('a', '\'');
      lv_char_conversion_set('Z', '"');
    }
    lv_stream* s = open(&codes);
    ASSERT_NE(s, nullptr);
    int32_t c = static_cast<int32_t>(lv_get_code(s));
    int32_t state = static_cast<int32_t>(rng() % 3);
    size_t calls = 0;
    lv_term* h0 = w->H;
    for (;; calls++) {
      ASSERT_LT(calls, n + 2) << seed;
      lv_token t;
      lv_read_token(w, s, c, state, 0, 6, &t);
      ASSERT_EQ(t.error, 0);
      if (t.token == LV_ATOM_NIL && t.next < 0) break;
      c = t.next;
      state = t.status == LV_TOKEN_RADIX_PREFIX ? LV_TOKEN_STATE_PREFIX : t.status;
      w->H = h0;  // the tokens are not kept
    }
    EXPECT_EQ(LV_fclose(s, 0), 2);
  }
}

// Files of random bytes read in an encoding, tokenized as the reader
// would: every call ends, within one call per byte. A run ends at the end
// of the file or at a read error (an invalid sequence). One byte in
// random_one_in is any byte value, the others are characters the tokenizer
// looks at.
struct FileRuns {
  size_t tokens = 0;
  size_t ended = 0;  // runs that reached the end of the file
};

FileRuns random_file_runs(lv_worker* w, TempFiles& dir, const char* encoding_name, uint32_t seeds,
                          uint32_t random_one_in) {
  lv_term* cells = w->H;
  w->H += 4;
  cells[0] = lv_make_functor(lv_atom_from_text("encoding", LV_ATOM_FIND_OR_CREATE), 3);
  cells[1] = lv_atom_from_text(encoding_name, LV_ATOM_FIND_OR_CREATE);
  cells[2] = lv_atom_from_text("false", LV_ATOM_FIND_OR_CREATE);
  cells[3] = lv_atom_from_text("lf", LV_ATOM_FIND_OR_CREATE);
  lv_term_ref encoding = LV_new_term_ref();
  lv_term_ref_cell(w, encoding) = lv_make_struct(cells);
  const char alphabet[] = "aZ_09'\"`\\/*%.()[]{},|!; \n\r\texbo+-=";
  FileRuns runs;
  for (uint32_t seed = 1; seed <= seeds; seed++) {
    std::mt19937 rng(seed);
    std::string bytes;
    size_t n = rng() % 300;
    for (size_t i = 0; i < n; i++)
      bytes += rng() % random_one_in == 0 ? static_cast<char>(rng() % 256) : alphabet[rng() % (sizeof alphabet - 1)];
    dir.file("random", bytes);
    lv_stream* s = nullptr;
    EXPECT_EQ(LV_fopen(dir.path("random").c_str(), static_cast<uintptr_t>(encoding),
                       LV_FOPEN_READ | LV_FOPEN_TEXT | LV_FOPEN_ENCODING_REF, &s),
              0);
    if (s == nullptr) return runs;
    int64_t first = lv_get_code(s);
    int32_t c = first < 0 ? -1 : static_cast<int32_t>(first);
    int32_t state = 0;
    lv_term* h0 = w->H;
    for (size_t calls = 0; first >= LV_STREAM_END; calls++) {
      if (calls > n + 1) {
        ADD_FAILURE() << "seed " << seed << ": more calls than bytes";
        break;
      }
      lv_token t;
      lv_read_token(w, s, c, state, 0, 6, &t);
      if (t.error != 0) break;
      if (t.token == LV_ATOM_NIL && t.next < 0) {
        runs.ended++;
        break;
      }
      runs.tokens++;
      c = t.next;
      state = t.status == LV_TOKEN_RADIX_PREFIX ? LV_TOKEN_STATE_PREFIX : t.status;
      w->H = h0;
    }
    EXPECT_EQ(LV_fclose(s, 0), 2);
  }
  return runs;
}

// UTF-8: the runs get past their first invalid byte often enough to matter.
TEST_F(TokenizerTest, RandomBytesFromAUtf8File) {
  FileRuns runs = random_file_runs(w, dir, "UTF-8", 100, 40);
  EXPECT_GT(runs.tokens, 600u);
}

// ISO-8859-1: every byte is a character, so every run reads to the end.
TEST_F(TokenizerTest, RandomBytesFromALatin1File) {
  FileRuns runs = random_file_runs(w, dir, "ISO-8859-1", 300, 2);
  EXPECT_EQ(runs.ended, 300u);
  EXPECT_GT(runs.tokens, 3000u);
}

}  // namespace
