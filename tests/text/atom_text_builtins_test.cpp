// The atom and number-text built-ins: conversions both ways, the statuses
// of $number_from_elems, character counts of multi-byte texts, the modes of
// $atom_concat, and $sub_atom in every mode against an enumeration of the
// definition.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/atoms.h"
#include "support/builtin_fixture.h"
#include "text/atom_text_builtins.h"
#include "text/char_class.h"
#include "text/number_parse.h"
#include "text/utf8.h"

namespace {

class AtomTextTest : public BuiltinTest {
 protected:
  void SetUp() override {
    BuiltinTest::SetUp();
    lv_char_classes_init();
  }

  lv_term atom(const std::string& text) { return lv_atom_from_text(text.c_str(), LV_ATOM_FIND_OR_CREATE); }

  // The result of the call with the arguments: "fail", or the text of the
  // arguments listed (by position) after it.
  std::string call(lv_builtin_function f, std::initializer_list<lv_term> args, std::initializer_list<int> shown) {
    std::vector<lv_term> a(args);
    if (run(f, args) == 0) return "fail";
    std::string s;
    for (int i : shown) s += (s.empty() ? "" : " ") + text(a[static_cast<size_t>(i)]);
    return s;
  }

  // A code list of the UTF-8 text.
  lv_term codes(const std::string& text) {
    std::vector<lv_term> items;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text.data());
    const unsigned char* end = p + text.size();
    while (p < end) items.push_back(lv_make_small(lv_utf8_next(p, end)));
    lv_term list = LV_ATOM_NIL;
    for (size_t i = items.size(); i-- > 0;) list = terms::cons(w, items[i], list);
    return list;
  }

  lv_term fresh() { return terms::var(w); }
};

TEST_F(AtomTextTest, AtomCodes) {
  EXPECT_EQ(call(prolog_atom_codes, {read("abc"), fresh()}, {1}), "[97,98,99]");
  EXPECT_EQ(call(prolog_atom_codes, {atom("\xCE\xBB" "a"), fresh()}, {1}), "[955,97]");
  EXPECT_EQ(call(prolog_atom_codes, {atom(std::string("\xC0\x80", 2)), fresh()}, {1}), "[0]");
  EXPECT_EQ(call(prolog_atom_codes, {atom(""), fresh()}, {1}), "[]");
  EXPECT_EQ(call(prolog_atom_codes, {read("abc"), read("[97, X, 99]")}, {1}), "[97,98,99]");
  EXPECT_EQ(call(prolog_atom_codes, {read("abc"), read("[97, 98]")}, {}), "fail");
  EXPECT_EQ(call(prolog_atom_codes, {fresh(), read("[104, 105]")}, {0}), "hi");
  EXPECT_EQ(call(prolog_atom_codes, {fresh(), codes("\xCE\xBB")}, {0}), "\xCE\xBB");
  EXPECT_EQ(call(prolog_atom_codes, {fresh(), read("[0]")}, {0}), std::string("\xC0\x80", 2));
  EXPECT_EQ(call(prolog_atom_codes, {fresh(), read("[]")}, {0}), "");
  EXPECT_EQ(call(prolog_atom_codes, {fresh(), read("[104 | T]")}, {}), "fail");
  EXPECT_EQ(call(prolog_atom_codes, {fresh(), read("[104, Unbound]")}, {}), "fail");
  EXPECT_EQ(call(prolog_atom_codes, {fresh(), read("[104, a]")}, {}), "fail");
  EXPECT_EQ(call(prolog_atom_codes, {fresh(), read("[-1]")}, {}), "fail");
  EXPECT_EQ(call(prolog_atom_codes, {fresh(), read("[2147483648]")}, {}), "fail");
  EXPECT_EQ(call(prolog_atom_codes, {fresh(), read("[104 | a]")}, {}), "fail");
  EXPECT_EQ(call(prolog_atom_codes, {read("1"), fresh()}, {}), "fail");
  EXPECT_EQ(call(prolog_atom_codes, {fresh(), fresh()}, {}), "fail");
  lv_term cycle = read("[104, 105]");
  lv_list_cells(lv_list_cells(cycle)[1])[1] = cycle;
  EXPECT_EQ(call(prolog_atom_codes, {fresh(), cycle}, {}), "fail");
}

TEST_F(AtomTextTest, AtomElems) {
  lv_term chars = read("b");
  lv_term code = read("character_code");
  EXPECT_EQ(call(prolog_atom_elems, {atom("a\xCE\xBB"), fresh(), chars}, {1}), "[a,\xCE\xBB]");
  EXPECT_EQ(call(prolog_atom_elems, {atom("a\xCE\xBB"), fresh(), code}, {1}), "[97,955]");
  EXPECT_EQ(call(prolog_atom_elems, {fresh(), read("[h, i]"), chars}, {0}), "hi");
  EXPECT_EQ(call(prolog_atom_elems, {fresh(), terms::list(w, {atom("\xCE\xBB")}), chars}, {0}), "\xCE\xBB");
  EXPECT_EQ(call(prolog_atom_elems, {fresh(), read("[h, ab]"), chars}, {}), "fail");
  EXPECT_EQ(call(prolog_atom_elems, {fresh(), read("[104]"), chars}, {}), "fail");
  EXPECT_EQ(call(prolog_atom_elems, {fresh(), read("[h]"), code}, {}), "fail");
  EXPECT_EQ(call(prolog_atom_elems, {read("f(x)"), fresh(), chars}, {}), "fail");
  EXPECT_EQ(call(prolog_atom_elems, {read("abc"), fresh(), read("1")}, {}), "fail");
}

TEST_F(AtomTextTest, NumberElems) {
  lv_term code = read("character_code");
  lv_term chars = read("c");
  EXPECT_EQ(call(prolog_number_elems, {fresh(), codes("12"), code}, {0}), "12");
  EXPECT_EQ(call(prolog_number_elems, {fresh(), codes(" - 12"), code}, {0}), "-12");
  EXPECT_EQ(call(prolog_number_elems, {fresh(), codes("0x1f"), code}, {0}), "31");
  EXPECT_EQ(call(prolog_number_elems, {fresh(), codes("1.5e3"), code}, {0}), "1500.0");
  EXPECT_EQ(call(prolog_number_elems, {fresh(), read("['4', '2']"), chars}, {0}), "42");
  EXPECT_EQ(call(prolog_number_elems, {fresh(), codes("123456789012345678901234567890"), code}, {0}), "big2");
  EXPECT_EQ(call(prolog_number_elems, {read("12"), codes("12"), code}, {}), "");
  EXPECT_EQ(call(prolog_number_elems, {read("13"), codes("12"), code}, {}), "fail");
  EXPECT_EQ(call(prolog_number_elems, {fresh(), codes("+5"), code}, {}), "fail");
  EXPECT_EQ(call(prolog_number_elems, {fresh(), codes("abc"), code}, {}), "fail");
  // A partial list: the number's text.
  EXPECT_EQ(call(prolog_number_elems, {read("-12"), fresh(), code}, {1}), "[45,49,50]");
  EXPECT_EQ(call(prolog_number_elems, {read("12"), read("[49 | T]"), code}, {1}), "[49,50]");
  EXPECT_EQ(call(prolog_number_elems, {read("12"), read("[X, 50]"), code}, {1}), "[49,50]");
  EXPECT_EQ(call(prolog_number_elems, {read("2.5"), fresh(), chars}, {1}), "[2,.,5]");
  int error = 0;
  lv_term big_float = lv_parse_number(w, "1.0e10", 10, 0, 0, 0, 0, &error);
  EXPECT_EQ(call(prolog_number_elems, {big_float, fresh(), chars}, {1}), "[1,.,0,E,+,1,0]");
  EXPECT_EQ(call(prolog_number_elems, {read("1152921504606846976"), fresh(), chars}, {1}),
            "[1,1,5,2,9,2,1,5,0,4,6,0,6,8,4,6,9,7,6]");
  EXPECT_EQ(call(prolog_number_elems, {read("a"), fresh(), code}, {}), "fail");
  EXPECT_EQ(call(prolog_number_elems, {fresh(), fresh(), code}, {}), "fail");
  EXPECT_EQ(call(prolog_number_elems, {read("12"), read("[a | T]"), code}, {}), "fail");
}

TEST_F(AtomTextTest, NumberFromElemsStatuses) {
  lv_term code = read("character_code");
  struct Row {
    lv_term list;
    std::string result;  // Number and Status
  } rows[] = {
      {codes("12"), "12 1"},
      {codes("1.0e999999"), "_ -1"},
      {codes("1e5"), "_ -2"},  // an exponent needs a fraction
      {codes("abc"), "_ -2"},
      {codes(""), "_ -2"},
      {codes("12 "), "_ -2"},
      {read("[49 | T]"), "_ -3"},
      {read("[49, a]"), "_ -3"},
      {read("[49 | a]"), "_ -3"},
      {codes("99999999999999999999999"), "big2 1"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(text(row.list));
    EXPECT_EQ(call(prolog_number_from_elems, {row.list, fresh(), fresh(), code}, {1, 2}), row.result);
  }
  EXPECT_EQ(call(prolog_number_from_elems, {codes("12"), read("13"), fresh(), code}, {}), "fail");
  EXPECT_EQ(call(prolog_number_from_elems, {read("['1', '2']"), fresh(), fresh(), read("chars")}, {1, 2}), "12 1");
  EXPECT_EQ(call(prolog_number_from_elems, {codes("12"), fresh(), fresh(), read("3")}, {}), "fail");
}

TEST_F(AtomTextTest, AtomLength) {
  struct Row {
    std::string atom;
    lv_term length;
    std::string result;
  } rows[] = {
      {"abc", fresh(), "3"},
      {"\xC3\xA9t\xC3\xA9", fresh(), "3"},
      {"a\xF0\x9F\x98\x80" "b", fresh(), "3"},
      {std::string("\xC0\x80", 2), fresh(), "1"},
      {"", fresh(), "0"},
      {"abc", read("3"), "3"},
      {"abc", read("7"), "3"},  // the Prolog side compares
      {"abc", read("9223372036854775807"), "3"},
      {"abc", read("-1"), "fail"},
      {"abc", read("a"), "fail"},
      {"abc", read("2.0"), "fail"},
      {"abc", read("-9223372036854775808"), "fail"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.atom + " " + text(row.length));
    EXPECT_EQ(call(prolog_atom_length, {atom(row.atom), row.length, fresh()}, {2}), row.result);
  }
  int error = 0;
  lv_term beyond = lv_parse_number(w, "18446744073709551616", 10, 0, 0, 0, 0, &error);  // 2^64
  EXPECT_EQ(call(prolog_atom_length, {read("abc"), beyond, fresh()}, {}), "fail");
  lv_term largest = lv_parse_number(w, "18446744073709551615", 10, 0, 0, 0, 0, &error);
  EXPECT_EQ(call(prolog_atom_length, {read("abc"), largest, fresh()}, {2}), "3");
  EXPECT_EQ(call(prolog_atom_length, {read("f(x)"), fresh(), fresh()}, {}), "fail");
  EXPECT_EQ(call(prolog_atom_length, {fresh(), fresh(), fresh()}, {}), "fail");
}

TEST_F(AtomTextTest, AtomConcat) {
  EXPECT_EQ(call(prolog_atom_concat, {read("ab"), read("cd"), fresh()}, {2}), "abcd");
  EXPECT_EQ(call(prolog_atom_concat, {read("ab"), read("cd"), read("abcd")}, {}), "");
  EXPECT_EQ(call(prolog_atom_concat, {read("ab"), read("cd"), read("abce")}, {}), "fail");
  EXPECT_EQ(call(prolog_atom_concat, {read("ab"), read("cd"), read("abcde")}, {}), "fail");
  EXPECT_EQ(call(prolog_atom_concat, {read("ab"), read("cd"), read("1")}, {}), "fail");
  EXPECT_EQ(call(prolog_atom_concat, {fresh(), read("cd"), read("abcd")}, {0}), "ab");
  EXPECT_EQ(call(prolog_atom_concat, {fresh(), read("cd"), read("abce")}, {}), "fail");
  EXPECT_EQ(call(prolog_atom_concat, {fresh(), read("abcd"), read("cd")}, {}), "fail");
  EXPECT_EQ(call(prolog_atom_concat, {fresh(), read("abcd"), read("abcd")}, {0}), "");
  EXPECT_EQ(call(prolog_atom_concat, {read("ab"), fresh(), read("abcd")}, {1}), "cd");
  EXPECT_EQ(call(prolog_atom_concat, {read("ab"), fresh(), read("axcd")}, {}), "fail");
  EXPECT_EQ(call(prolog_atom_concat, {atom("\xCE\xBB"), fresh(), atom("\xCE\xBB\xCE\xB1")}, {1}), "\xCE\xB1");
  EXPECT_EQ(call(prolog_atom_concat, {atom(""), atom(""), fresh()}, {2}), "");
  // The enumerating modes are the Prolog side's.
  EXPECT_EQ(call(prolog_atom_concat, {fresh(), fresh(), read("abcd")}, {}), "fail");
  EXPECT_EQ(call(prolog_atom_concat, {fresh(), read("cd"), fresh()}, {}), "fail");
  EXPECT_EQ(call(prolog_atom_concat, {read("1"), read("cd"), fresh()}, {}), "fail");
}

TEST_F(AtomTextTest, CharCode) {
  EXPECT_EQ(call(prolog_char_code, {fresh(), read("955"), fresh(), fresh()}, {2, 3}), "\xCE\xBB 955");
  EXPECT_EQ(call(prolog_char_code, {fresh(), read("97"), fresh(), fresh()}, {2, 3}), "a 97");
  EXPECT_EQ(call(prolog_char_code, {fresh(), read("0"), fresh(), fresh()}, {2, 3}), std::string("\xC0\x80 0", 4));
  EXPECT_EQ(call(prolog_char_code, {fresh(), read("2147483647"), fresh(), fresh()}, {3}), "2147483647");
  EXPECT_EQ(call(prolog_char_code, {read("a"), fresh(), fresh(), fresh()}, {2, 3}), "a 97");
  EXPECT_EQ(call(prolog_char_code, {atom("\xF0\x9F\x98\x80"), fresh(), fresh(), fresh()}, {3}), "128512");
  EXPECT_EQ(call(prolog_char_code, {read("a"), read("98"), fresh(), fresh()}, {2, 3}), "a 97");
  EXPECT_EQ(call(prolog_char_code, {read("ab"), fresh(), fresh(), fresh()}, {}), "fail");
  EXPECT_EQ(call(prolog_char_code, {atom(""), fresh(), fresh(), fresh()}, {}), "fail");
  EXPECT_EQ(call(prolog_char_code, {read("1"), fresh(), fresh(), fresh()}, {}), "fail");
  EXPECT_EQ(call(prolog_char_code, {fresh(), fresh(), fresh(), fresh()}, {}), "fail");
  EXPECT_EQ(call(prolog_char_code, {fresh(), read("-1"), fresh(), fresh()}, {}), "fail");
  EXPECT_EQ(call(prolog_char_code, {fresh(), read("2147483648"), fresh(), fresh()}, {}), "fail");
  EXPECT_EQ(call(prolog_char_code, {fresh(), read("a"), fresh(), fresh()}, {}), "fail");
  EXPECT_EQ(call(prolog_char_code, {read("a"), read("b"), fresh(), fresh()}, {}), "fail");
}

// Every mode of $sub_atom, with bound arguments ranging over values in and
// out of range, against the definition: Atom is X + Sub + Y with |X| =
// Before, |Sub| = Length and |Y| = After characters. The built-in answers
// the modes with at most one of Before, Length and After unknown once an
// atom Sub gives Length; it fails on the others, which the Prolog side
// enumerates.
TEST_F(AtomTextTest, SubAtomAgainstTheDefinition) {
  const std::string atoms[] = {"", "a", "abc", "a\xCE\xB2" "c", "\xC3\xA9t\xC3\xA9",
                               std::string("x\xC0\x80y", 4), "a\xF0\x9F\x98\x80" "bb"};
  for (const std::string& text : atoms) {
    SCOPED_TRACE(text);
    std::vector<std::string> chars;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text.data());
    const unsigned char* end = p + text.size();
    while (p < end) {
      const unsigned char* start = p;
      lv_utf8_next(p, end);
      chars.emplace_back(reinterpret_cast<const char*>(start), static_cast<size_t>(p - start));
    }
    int64_t n = static_cast<int64_t>(chars.size());
    auto piece = [&](int64_t b, int64_t l) {
      std::string s;
      for (int64_t i = b; i < b + l; i++) s += chars[static_cast<size_t>(i)];
      return s;
    };
    std::vector<std::string> subs = {"zz"};
    for (int64_t b = 0; b <= n; b++)
      for (int64_t l = 0; b + l <= n; l++) subs.push_back(piece(b, l));
    std::vector<int64_t> counts;
    for (int64_t v = -1; v <= n + 1; v++) counts.push_back(v);
    lv_term a = atom(text);
    for (int mask = 0; mask < 16; mask++) {
      bool bound[4] = {(mask & 1) != 0, (mask & 2) != 0, (mask & 4) != 0, (mask & 8) != 0};  // B, L, A, Sub
      std::vector<int64_t> bs = bound[0] ? counts : std::vector<int64_t>{0};
      std::vector<int64_t> ls = bound[1] ? counts : std::vector<int64_t>{0};
      std::vector<int64_t> as = bound[2] ? counts : std::vector<int64_t>{0};
      std::vector<std::string> ss = bound[3] ? subs : std::vector<std::string>{""};
      int unknown = !bound[0] + (!bound[1] && !bound[3]) + !bound[2];
      for (int64_t vb : bs)
        for (int64_t vl : ls)
          for (int64_t va : as)
            for (const std::string& vs : ss) {
              // The answers of the definition.
              std::vector<std::string> answers;
              for (int64_t b = 0; b <= n; b++)
                for (int64_t l = 0; b + l <= n; l++) {
                  int64_t after = n - b - l;
                  if ((bound[0] && vb != b) || (bound[1] && vl != l) || (bound[2] && va != after) ||
                      (bound[3] && vs != piece(b, l)))
                    continue;
                  answers.push_back(std::to_string(b) + " " + std::to_string(l) + " " + std::to_string(after) +
                                    " " + piece(b, l));
                }
              lv_term* h = w->H;
              lv_term args[4] = {bound[0] ? lv_make_small(vb) : fresh(), bound[1] ? lv_make_small(vl) : fresh(),
                                 bound[2] ? lv_make_small(va) : fresh(), bound[3] ? atom(vs) : fresh()};
              std::string got = call(prolog_sub_atom, {a, args[0], args[1], args[2], args[3]}, {1, 2, 3, 4});
              std::string expected = "fail";
              if (unknown <= 1) {
                ASSERT_LE(answers.size(), 1u);
                if (!answers.empty()) expected = answers[0];
              }
              ASSERT_EQ(got, expected) << "mask " << mask << " B " << vb << " L " << vl << " A " << va << " Sub "
                                       << vs;
              w->H = h;
            }
    }
  }
}

TEST_F(AtomTextTest, SubAtomCases) {
  EXPECT_EQ(call(prolog_sub_atom, {read("abcde"), read("1"), read("3"), fresh(), fresh()}, {3, 4}), "1 bcd");
  EXPECT_EQ(call(prolog_sub_atom, {atom("a\xCE\xB2\xCE\xB3" "d"), read("1"), read("2"), fresh(), fresh()}, {3, 4}),
            "1 \xCE\xB2\xCE\xB3");
  // A computed value below zero has no answer (the sum would still match).
  EXPECT_EQ(call(prolog_sub_atom, {read("abcd"), fresh(), read("3"), read("3"), fresh()}, {}), "fail");
  EXPECT_EQ(call(prolog_sub_atom, {read("abcd"), read("3"), fresh(), read("3"), fresh()}, {}), "fail");
  EXPECT_EQ(call(prolog_sub_atom, {read("abcd"), read("3"), read("3"), fresh(), fresh()}, {}), "fail");
  // Two unknowns are the Prolog side's to enumerate.
  EXPECT_EQ(call(prolog_sub_atom, {read("abcd"), fresh(), fresh(), read("0"), fresh()}, {}), "fail");
  EXPECT_EQ(call(prolog_sub_atom, {read("abcd"), fresh(), read("2"), fresh(), fresh()}, {}), "fail");
  EXPECT_EQ(call(prolog_sub_atom, {read("abcd"), fresh(), fresh(), fresh(), read("bc")}, {}), "fail");
  // Argument types.
  EXPECT_EQ(call(prolog_sub_atom, {read("1"), read("0"), read("0"), fresh(), fresh()}, {}), "fail");
  EXPECT_EQ(call(prolog_sub_atom, {read("ab"), read("a"), read("0"), fresh(), fresh()}, {}), "fail");
  EXPECT_EQ(call(prolog_sub_atom, {read("ab"), read("0"), read("0"), fresh(), read("1")}, {}), "fail");
}

}  // namespace
