// The native writer: quoting decisions for a table of atoms, numbers,
// variables and compound names through $write and $display_nonvar, their
// errors, the format built-ins, $term_heap_offset and the debug printer,
// all written to a stream that collects the codes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/atoms.h"
#include "core/error_codes.h"
#include "core/flag_builtins.h"
#include "core/predefined_atoms.h"
#include "lvio/initialize.h"
#include "lvio/result_codes.h"
#include "streams/std_streams.h"
#include "streams/stream_api.h"
#include "support/builtin_fixture.h"
#include "support/raised_error.h"
#include "text/atomic_writer.h"
#include "text/char_class.h"
#include "text/debug_print.h"
#include "text/number_parse.h"
#include "text/utf8.h"
#include "text/writer_builtins.h"

namespace {

// A device of 32-bit codes that keeps what it is given, or refuses it.
struct Sink {
  std::u32string codes;
  bool fail = false;
};
const char sink_tag = 0;

int64_t sink_write(void* user, const void* source, uint64_t* size, uint32_t) {
  auto* sink = static_cast<Sink*>(user);
  if (sink->fail) return LVIO_E_WRITE_ERROR;
  sink->codes.append(static_cast<const char32_t*>(source), *size / 4);
  return 0;
}

int64_t sink_close(void** user, uint32_t, int) {
  *user = nullptr;
  return 0;
}

std::string utf8(const std::u32string& codes) {
  std::string s;
  for (char32_t c : codes) {
    char buffer[8];
    int n = LV_code_wci(buffer, static_cast<int32_t>(c));
    // Code 0 is written as one NUL byte here, for readability of the table.
    if (c == 0) s += '\0';
    else s.append(buffer, static_cast<size_t>(n));
  }
  return s;
}

class WriterTest : public BuiltinTest {
 protected:
  void SetUp() override {
    BuiltinTest::SetUp();
    ASSERT_EQ(lvio_initialize(nullptr, nullptr, nullptr, 0), 0);
    lv_char_classes_init();
    lv_atoms_reclassify();
    saved_flags_ = lv_flags;
    out = open(&sink);
    ASSERT_NE(out, nullptr);
  }
  void TearDown() override {
    lv_set_unicode_letter_switch(0);
    lv_flags = saved_flags_;
    for (lv_stream* s : opened_) LV_fclose(s, 0);
    lv_stream_close_all_std();
    EXPECT_EQ(lvio_initialize(nullptr, nullptr, nullptr, 1), 0);
    BuiltinTest::TearDown();
  }

  lv_stream* open(Sink* s) {
    lv_stream* stream = nullptr;
    EXPECT_EQ(LV_create_stream(s, &sink_tag, nullptr, sink_write, nullptr, nullptr, sink_close, nullptr, nullptr,
                               nullptr, LV_CREATE_CODES, &stream),
              0);
    if (stream != nullptr) opened_.push_back(stream);
    return stream;
  }

  // What the sink holds after a flush; the sink is emptied.
  std::string taken() {
    EXPECT_EQ(LV_flush_output(out, 0), 0);
    std::string s = utf8(sink.codes);
    sink.codes.clear();
    return s;
  }

  lv_term atom(const std::string& text) { return lv_atom_from_text(text.c_str(), LV_ATOM_FIND_OR_CREATE); }

  // A write-options term: quoting switch, charset and float format.
  lv_term options(bool quoted, const char* charset = nullptr, int letter = 0, int64_t precision = 0) {
    lv_term args[9];
    for (lv_term& a : args) a = terms::var(w);
    args[0] = quoted ? LV_ATOM_TRUE : atom("false");
    if (charset != nullptr) args[7] = atom(charset);
    if (letter != 0) args[8] = terms::fn(w, atom("-"), {terms::small(letter), terms::small(precision)});
    return terms::fn(w, atom("write_options"), {args[0], args[1], args[2], args[3], args[4], args[5], args[6],
                                                args[7], args[8]});
  }

  // Term written by $write with the options; "raised" or "fail" otherwise.
  std::string written(lv_term term, lv_term opts) {
    w->X[0] = lv_stream_term(out);
    w->X[1] = term;
    w->X[2] = opts;
    int result = prolog_write(w);
    if (result != 1) return "fail";
    return taken();
  }
  std::string quoted(const std::string& text, const char* charset = nullptr) {
    return written(atom(text), options(true, charset));
  }

  Sink sink;
  lv_stream* out = nullptr;

 private:
  lv_flag_words saved_flags_;
  std::vector<lv_stream*> opened_;
};

// The quoted form of every kind of atom, under the prolog and the portable
// quoted charsets (given in the options and as the global word).
TEST_F(WriterTest, QuotingDecisions) {
  struct Row {
    std::string text;
    std::string prolog;
    std::string portable;
  } rows[] = {
      {"", "''", "''"},
      {"[]", "[]", "[]"},
      {"{}", "{}", "{}"},
      {"!", "!", "!"},
      {";", ";", ";"},
      {",", "','", "','"},
      {"|", "'|'", "'|'"},
      {"[", "'['", "'['"},
      {"a", "a", "a"},
      {"aB_9", "aB_9", "aB_9"},
      {"A", "'A'", "'A'"},
      {"_x", "'_x'", "'_x'"},
      {"9a", "'9a'", "'9a'"},
      {"hello world", "'hello world'", "'hello world'"},
      {"don't", "'don\\'t'", "'don\\'t'"},
      {"+", "+", "+"},
      {"->", "->", "->"},
      {"\\=", "\\=", "\\="},
      {".", "'.'", "'.'"},
      {"/*", "'/*'", "'/*'"},
      {"+a", "'+a'", "'+a'"},
      {"a\\b", "'a\\\\b'", "'a\\\\b'"},
      {"a\tb", "'a\\tb'", "'a\\tb'"},
      {"\n", "'\\n'", "'\\n'"},
      {std::string("\a\b\v\f\r"), "'\\a\\b\\v\\f\\r'", "'\\a\\b\\v\\f\\r'"},
      {"\x7f", "'\\x7F\\'", "'\\x7F\\'"},
      {"\x01", "'\\x1\\'", "'\\x1\\'"},
      {std::string("\xC0\x80", 2), "'\\x0\\'", "'\\x0\\'"},  // code 0
      {"\xC2\x85", "'\\x85\\'", "'\\x85\\'"},
      {"a\xC2\xA0" "b", "'a\\xA0\\b'", "'a\\xA0\\b'"},        // no-break space: layout
      {"\xC3\xA9t\xC3\xA9", "\xC3\xA9t\xC3\xA9", "'\\xE9\\t\\xE9\\'"},  // été: lower-case letters
      {"\xC3\x89t\xC3\xA9", "'\xC3\x89t\xC3\xA9'", "'\\xC9\\t\\xE9\\'"},  // Été
      {"\xC2\xA7", "\xC2\xA7", "'\\xA7\\'"},                  // §: a symbol character
      {"\xCE\xBB", "'\xCE\xBB'", "'\\x3BB\\'"},                // lambda: class other, in set A
      {"\xE2\x80\xA8", "'\\x2028\\'", "'\\x2028\\'"},          // line separator: layout
      {"\xEE\x80\x80", "'\\xE000\\'", "'\\xE000\\'"},          // private use: not in set A
      {"\xCD\xB8", "'\\x378\\'", "'\\x378\\'"},                // unassigned
      {"\xF4\x90\x80\x80", "'\\x110000\\'", "'\\x110000\\'"},  // beyond Unicode
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(quoted(row.text, "prolog"), row.prolog);
    EXPECT_EQ(quoted(row.text, "portable"), row.portable);
    lv_flags.quoted_charset = atom("portable");
    EXPECT_EQ(quoted(row.text), row.portable);
    lv_flags.quoted_charset = LV_ATOM_PROLOG;
    EXPECT_EQ(quoted(row.text), row.prolog);
    // Unquoted, the text goes out as it stands.
    EXPECT_EQ(written(atom(row.text), options(false)), row.text.size() == 2 && row.text[0] == '\xC0'
                                                           ? std::string(1, '\0')
                                                           : row.text);
  }
}

// With the Unicode letter switch on, letters above 255 are letters: an atom
// of them needs no quotes.
TEST_F(WriterTest, UnicodeLetterSwitch) {
  lv_term lambda = atom("\xCE\xBB\xCE\xB1");
  EXPECT_EQ(written(lambda, options(true)), "'\xCE\xBB\xCE\xB1'");
  lv_set_unicode_letter_switch(1);
  EXPECT_EQ(written(lambda, options(true)), "\xCE\xBB\xCE\xB1");
  EXPECT_EQ(written(lambda, options(true, "portable")), "'\\x3BB\\\\x3B1\\'");
}

TEST_F(WriterTest, NumbersVariablesAndCompoundNames) {
  EXPECT_EQ(written(read("42"), options(true)), "42");
  EXPECT_EQ(written(read("-7"), options(false)), "-7");
  EXPECT_EQ(written(read("1152921504606846976"), options(false)), "1152921504606846976");
  EXPECT_EQ(written(read("-9223372036854775808"), options(false)), "-9223372036854775808");
  EXPECT_EQ(written(read("1.0"), options(false)), "1.0");
  int error = 0;
  lv_term big_float = lv_parse_number(w, "1.0e10", 10, 0, 0, 0, 0, &error);
  EXPECT_EQ(written(big_float, options(false)), "1.0E+10");
  EXPECT_EQ(written(big_float, options(false, nullptr, 'e', 2)), "1.00e+10");
  EXPECT_EQ(written(big_float, options(false, nullptr, 'f', 100000)), "1.0E+10");
  EXPECT_EQ(written(big_float, LV_ATOM_NIL), "1.0E+10");
  EXPECT_EQ(written(read("f(a, b)"), options(true)), "f");
  EXPECT_EQ(written(read("'hello world'(x)"), options(true)), "'hello world'");
  EXPECT_EQ(written(read("'hello world'(x)"), options(false)), "hello world");
  EXPECT_EQ(written(read("[a]"), options(true)), ".");
  lv_term v = read("V");
  std::string name = "_" + std::to_string(2 * (lv_ref_cell(lv_deref(v)) - w->area_start));
  EXPECT_EQ(written(v, options(true)), name);

  w->X[0] = lv_stream_term(out);
  w->X[1] = read("'A'");
  EXPECT_EQ(prolog_display_nonvar(w), 1);
  EXPECT_EQ(taken(), "A");
}

// The stream keeps its output when interrupted only while the writer runs.
TEST_F(WriterTest, KeepOnInterruptIsSetOnlyWhileWriting) {
  EXPECT_EQ(out->flags & LV_STREAM_KEEP_ON_INTERRUPT, 0u);
  EXPECT_EQ(lv_write_atomic(out, read("abc"), nullptr), 0);
  EXPECT_EQ(out->flags & LV_STREAM_KEEP_ON_INTERRUPT, 0u);
  out->flags |= LV_STREAM_KEEP_ON_INTERRUPT;
  EXPECT_EQ(lv_write_atomic(out, read("abc"), nullptr), 0);
  EXPECT_NE(out->flags & LV_STREAM_KEEP_ON_INTERRUPT, 0u);
  out->flags &= ~LV_STREAM_KEEP_ON_INTERRUPT;
  EXPECT_EQ(taken(), "abcabc");
}

// A bad stream and a write error are raised in the context '$writeq'/2
// ('$write'/2 for $display_nonvar), argument 1.
TEST_F(WriterTest, StreamErrorsAreRaised) {
  lv_term long_atom = atom(std::string(5000, 'x'));
  struct Call {
    lv_builtin_function f;
    const char* context;
  } calls[] = {{prolog_write, "prolog:$writeq/2"}, {prolog_display_nonvar, "prolog:$write/2"}};
  Sink input;
  lv_stream* in = nullptr;
  ASSERT_EQ(LV_create_stream(&input, &sink_tag, [](void*, void*, uint64_t* size, uint32_t) -> int64_t {
                               *size = 0;
                               return LVIO_E_END_OF_FILE;
                             },
                             nullptr, nullptr, nullptr, sink_close, nullptr, nullptr, nullptr, LV_CREATE_CODES, &in),
            0);
  for (const Call& c : calls) {
    SCOPED_TRACE(c.context);
    struct Case {
      lv_term stream;
      int32_t code;
    } cases[] = {{atom("foo"), LV_ERROR_NOT_A_STREAM}, {lv_stream_term(in), LV_ERROR_OUTPUT_STREAM_NEEDED}};
    for (const Case& k : cases) {
      RaisedError e(w);
      EXPECT_EQ(run(c.f, {k.stream, read("a"), options(true)}), 0);
      ASSERT_TRUE(e.raised());
      EXPECT_EQ(e.code(), k.code);
      EXPECT_EQ(e.context(), c.context);
      EXPECT_EQ(e.argument(), 1);
      EXPECT_EQ(e.culprit(), k.stream);
    }
    sink.fail = true;
    RaisedError e(w);
    EXPECT_EQ(run(c.f, {lv_stream_term(out), long_atom, options(true)}), 0);
    ASSERT_TRUE(e.raised());
    EXPECT_EQ(e.code(), LV_ERROR_SYSTEM);
    EXPECT_STREQ(lv_pending_error_message(), "LVIO_E_WRITE_ERROR");
    EXPECT_EQ(e.context(), c.context);
    EXPECT_EQ(e.culprit(), lv_stream_term(out));
    EXPECT_EQ(out->flags & LV_STREAM_KEEP_ON_INTERRUPT, 0u);
    sink.fail = false;
    LV_flush_output(out, 0);
    sink.codes.clear();
  }
  LV_fclose(in, 0);
}

TEST_F(WriterTest, TermHeapOffset) {
  lv_term v = read("V");
  int64_t offset = 2 * (lv_ref_cell(lv_deref(v)) - w->area_start);
  lv_term out_offset = terms::var(w);
  EXPECT_EQ(run(prolog_term_heap_offset, {v, out_offset}), 1);
  EXPECT_EQ(lv_deref(out_offset), lv_make_small(offset));
  EXPECT_EQ(run(prolog_term_heap_offset, {v, lv_make_small(offset)}), 1);
  EXPECT_EQ(run(prolog_term_heap_offset, {v, lv_make_small(offset + 2)}), 0);
  EXPECT_EQ(run(prolog_term_heap_offset, {v, read("[a]")}), 0);
  lv_term s = read("f(x)");
  EXPECT_EQ(run(prolog_term_heap_offset, {s, terms::var(w)}), 1);
  EXPECT_EQ(lv_small_value(lv_deref(w->X[1])), 2 * (lv_struct_cells(s) - w->area_start));
}

class FormatTest : public WriterTest {
 protected:
  // The text of a format built-in with the arguments, "fail" when it fails.
  std::string format(lv_builtin_function f, int64_t letter, lv_term number, lv_term n, lv_term stream = 0) {
    int result = run(f, {lv_make_small(letter), number, n, stream != 0 ? stream : lv_stream_term(out)});
    if (result != 1) return "fail";
    return taken();
  }
};

TEST_F(FormatTest, PrintInteger) {
  lv_builtin_function f = prolog_format_print_integer_or_fail;
  EXPECT_EQ(format(f, 'd', read("5"), read("2")), "0.05");
  EXPECT_EQ(format(f, 'D', read("1234567"), read("0")), "1,234,567");
  EXPECT_EQ(format(f, 'D', read("1234567"), read("2")), "12,345.67");
  EXPECT_EQ(format(f, 'r', read("8"), read("1")), "10");
  EXPECT_EQ(format(f, 'R', read("255"), read("16")), "FF");
  EXPECT_EQ(format(f, 'd', read("2.5"), read("2")), "2.5");
  EXPECT_EQ(format(f, 'd', read("5"), read("-1")), "5");
  EXPECT_EQ(format(f, 'd', read("5"), read("99999")).size(), 100001u);
  // Failures: N no small integer or above 99999, another letter, a term
  // that is no number, a stream that is no output stream.
  EXPECT_EQ(format(f, 'd', read("5"), read("100000")), "fail");
  EXPECT_EQ(format(f, 'd', read("5"), read("a")), "fail");
  EXPECT_EQ(format(f, 'd', read("5"), read("1152921504606846976")), "fail");
  EXPECT_EQ(format(f, 'e', read("5"), read("2")), "fail");
  EXPECT_EQ(format(f, 'd', read("a"), read("2")), "fail");
  EXPECT_EQ(format(f, 'd', read("5"), read("2"), atom("nostream")), "fail");
  EXPECT_EQ(sink.codes, U"");
}

TEST_F(FormatTest, PrintFloat) {
  lv_builtin_function f = prolog_format_print_float;
  EXPECT_EQ(format(f, 'f', read("2"), read("3")), "2.000");
  EXPECT_EQ(format(f, 'e', read("1.5"), read("2")), "1.50e+00");
  EXPECT_EQ(format(f, 'g', read("1152921504606846976"), read("3")), "1.15e+18");
  EXPECT_EQ(format(f, 'H', read("1.0"), read("3")), "1.0");
  EXPECT_EQ(format(f, 'f', read("1.5"), read("-99999")), "2.0");
  EXPECT_EQ(format(f, 'f', read("1.5"), read("100000")), "fail");
  EXPECT_EQ(format(f, 'f', read("1.5"), read("-100000")), "fail");
  EXPECT_EQ(format(f, 'f', read("1.5"), read("x")), "fail");
  EXPECT_EQ(format(f, 'f', read("x"), read("2")), "fail");
  EXPECT_EQ(format(f, 'f', read("1.5"), read("2"), atom("nostream")), "fail");
  EXPECT_EQ(sink.codes, U"");
}

// A write error of either format built-in is raised on its stream argument,
// instead of being reported as success.
TEST_F(FormatTest, WriteErrorsAreRaised) {
  struct Call {
    lv_builtin_function f;
    int64_t letter;
    const char* context;
  } calls[] = {{prolog_format_print_integer_or_fail, 'd', "prolog:$format_print_integer_or_fail/4"},
               {prolog_format_print_float, 'f', "prolog:$format_print_float/4"}};
  for (const Call& c : calls) {
    SCOPED_TRACE(c.context);
    sink.fail = true;
    RaisedError e(w);
    EXPECT_EQ(run(c.f, {lv_make_small(c.letter), read("1"), read("5000"), lv_stream_term(out)}), 0);
    ASSERT_TRUE(e.raised());
    EXPECT_EQ(e.code(), LV_ERROR_SYSTEM);
    EXPECT_EQ(e.context(), c.context);
    EXPECT_EQ(e.argument(), 4);
    EXPECT_EQ(e.culprit(), lv_stream_term(out));
    sink.fail = false;
    LV_flush_output(out, 0);
    sink.codes.clear();
  }
}

class DebugPrintTest : public WriterTest {
 protected:
  void SetUp() override {
    WriterTest::SetUp();
    saved_error_ = lv_streams.user[LV_STD_ERROR];
    lv_streams.user[LV_STD_ERROR] = out;
  }
  void TearDown() override {
    lv_streams.user[LV_STD_ERROR] = saved_error_;
    WriterTest::TearDown();
  }
  std::string printed(lv_term t, int depth) {
    lv_print_term_debug(t, depth);
    return taken();
  }

 private:
  lv_stream* saved_error_ = nullptr;
};

TEST_F(DebugPrintTest, TermsToUserError) {
  auto name = [&](const char* v) { return "_" + std::to_string(2 * (lv_ref_cell(lv_deref(var(v))) - w->area_start)); };
  EXPECT_EQ(printed(read("f(a, 'B c', [1, 2.5 | T], [x], [], V)"), 0),
            "f(a,'B c',[1,2.5|" + name("T") + "],[x],[]," + name("V") + ")");
  EXPECT_EQ(printed(read("f(a, b)"), -1), "f");
  EXPECT_EQ(printed(read("'B c'"), -1), "B c");
  EXPECT_EQ(printed(read("g(x)"), 9), "g(...)");
  EXPECT_EQ(printed(read("g(x)"), 10), "...");
  // Nesting: "..." from depth 10 on.
  EXPECT_EQ(printed(read("s(s(s(s(s(s(s(s(s(s(s(s(z))))))))))))"), 0), "s(s(s(s(s(s(s(s(s(s(...))))))))))");
  EXPECT_EQ(printed(read("[[[[[[[[[[[[a]]]]]]]]]]]]"), 0), "[[[[[[[[[[...]]]]]]]]]]");
  // Long lists are written whole; cyclic lists end after the cycle is seen.
  std::string long_list = "[";
  for (int i = 0; i < 40; i++) long_list += (i > 0 ? "," : "") + std::to_string(i);
  EXPECT_EQ(printed(read((long_list + "]").c_str()), 0), long_list + "]");
  lv_term cycle = read("[a, b, c]");
  lv_list_cells(lv_list_cells(lv_list_cells(cycle)[1])[1])[1] = cycle;
  std::string c = printed(cycle, 0);
  EXPECT_EQ(c.substr(0, 6), "[a,b,c");
  EXPECT_EQ(c.substr(c.size() - 5), "|...]");
  EXPECT_LT(c.size(), 40u);
  lv_print_term_debug_nl(read("x"));
  EXPECT_EQ(utf8(sink.codes), "x\n");  // written out by the flush of user_error
}

}  // namespace
