// Reading a term from a text from C, with a C stand-in for the Prolog
// reader's role, and input streams over texts.
#include <gtest/gtest.h>

#include <string>

#include "core/api_error.h"
#include "core/init_state.h"
#include "core/predefined_atoms.h"
#include "core/text_lists.h"
#include "core/unify.h"
#include "embed/embed_builtins.h"
#include "embed/text_input.h"
#include "lorvika.h"
#include "lvio/initialize.h"
#include "streams/std_streams.h"
#include "streams/stream.h"
#include "streams/stream_api.h"
#include "support/emulator_fixture.h"
#include "support/terms.h"
#include "text/utf8.h"

namespace {

using terms::small;

// The reader stand-in: T = read(Text, Values), Text the stream's whole text.
int read_all(lv_worker* w) {
  lv_stream* s = lv_stream_of_handle(lv_small_value(lv_deref(w->X[0])));
  std::string text;
  for (int64_t c; (c = lv_get_code(s)) >= 0;) {
    char bytes[8];
    text.append(bytes, static_cast<size_t>(LV_code_wci(bytes, static_cast<int32_t>(c))));
  }
  lv_term atom = lv_atom_from_text(text.c_str(), LV_ATOM_FIND_OR_CREATE);
  lv_term* h = w->H;
  h[0] = lv_make_functor(lv_atom_from_text("read", LV_ATOM_FIND_OR_CREATE), 2);
  h[1] = atom;
  h[2] = w->X[1];
  w->H = h + 3;
  return cunify(w, w->X[2], lv_make_struct(h));
}

int no_events(lv_worker*) { return 1; }

class TextInput : public EmulatorTest {
 protected:
  void SetUp() override {
    EmulatorTest::SetUp();
    // Streams over texts decode through the I/O layer's coders.
    ASSERT_EQ(lvio_initialize(nullptr, nullptr, nullptr, 0), 0);
    // Leaving the reader's nesting asks for an event check.
    role("$event_handler", 0, no_events);
    lv_set_prolog_initialized(true);
    lv_set_api_error(0);
    read = LV_API(LV_get_dispatch_40900(nullptr)->c_interface, LV_read_from_string);
  }
  void TearDown() override {
    lv_set_prolog_initialized(false);
    // The stream ring lives in this test's memory.
    lv_stream_close_all_std();
    EXPECT_EQ(lvio_initialize(nullptr, nullptr, nullptr, 1), 0);
    EmulatorTest::TearDown();
  }
  LV_read_from_string_fn* read = nullptr;
};

TEST_F(TextInput, TheReaderRoleGetsTheTextAndTheValues) {
  role("read_from_string_helper", 3, read_all);
  lv_term_ref t = LV_new_term_ref();
  lv_term_ref v = LV_new_term_ref();
  lv_term_ref_cell(w, v) = lv_make_small(5);
  int32_t top = w->termref_top;
  lv_term_ref values[] = {v, v, 0};
  ASSERT_EQ(read(t, "f(X, \xc3\xa9).", values), 1);
  EXPECT_EQ(w->termref_top, top);
  lv_term x = lv_deref(lv_term_ref_cell(w, t));
  ASSERT_TRUE(lv_is_struct(x));
  EXPECT_STREQ(lv_atom_text(lv_deref(lv_struct_cells(x)[1])), "f(X, \xc3\xa9).");
  EXPECT_EQ(lv_proper_list_length(lv_struct_cells(x)[2]), 2);
  EXPECT_EQ(read(t, "", nullptr), 1);
}

TEST_F(TextInput, WithoutAReaderOrAWellFormedTextNothingIsRead) {
  lv_term_ref t = LV_new_term_ref();
  EXPECT_EQ(read(t, "a.", nullptr), 0);
  EXPECT_EQ(lv_get_api_error(), 4);
  role("read_from_string_helper", 3, read_all);
  EXPECT_EQ(read(t, "\xff.", nullptr), 0);
  lv_set_api_error(0);
  EXPECT_EQ(read(t, nullptr, nullptr), 0);
  EXPECT_EQ(lv_get_api_error(), LV_ERR_NULL_TEXT);
  EXPECT_EQ(read(t + 1, "a.", nullptr), 0);
  EXPECT_EQ(lv_get_api_error(), LV_ERR_INVALID_TERM_REF);
}

TEST_F(TextInput, AStreamOverATextGivesItsCodePoints) {
  lv_stream* s = nullptr;
  ASSERT_EQ(LV_stream_from_string("a\xe2\x82\xac", &s), 1);
  EXPECT_EQ(lv_get_code(s), 'a');
  EXPECT_EQ(lv_get_code(s), 0x20ac);
  EXPECT_LT(lv_get_code(s), 0);
  LV_fclose(s, LV_CLOSE_FORCE);
  EXPECT_EQ(LV_stream_from_string("\xc3", &s), 0);
  EXPECT_EQ(LV_stream_from_string(nullptr, &s), 0);
}

// The streams on the ring, the hidden ones left out.
int open_streams() {
  int n = 0;
  lv_stream* s = nullptr;
  do {
    LV_next_stream(s, &s);
    if (s != nullptr) n++;
  } while (s != nullptr);
  return n;
}

TEST_F(TextInput, AStreamOverACodeListGivesItsElements) {
  constexpr int64_t CODES = 1 << 3, CHARS = 2 << 3, INPUT = 1 << 5;
  lv_term a = atom("a"), euro = lv_code_atom(0x20ac);
  struct Case {
    lv_term list;
    int64_t options;
    std::u32string read;  // what the stream gives; empty with ok false: the call fails
    bool ok;
  };
  const Case cases[] = {
      {terms::list(w, {small('a'), small(0x20ac)}), CODES | INPUT, U"a\u20ac", true},
      {terms::list(w, {a, euro}), CHARS | INPUT, U"a\u20ac", true},
      {terms::list(w, {small('x'), a}), CODES | CHARS | INPUT, U"xa", true},
      {LV_ATOM_NIL, CODES | INPUT, U"", true},
      {terms::list(w, {a}), CODES | INPUT, U"", false},
      {terms::list(w, {small('a')}), CHARS | INPUT, U"", false},
      {terms::list(w, {small(-1)}), CODES | INPUT, U"", false},
      {terms::cons(w, small('a'), terms::var(w)), CODES | INPUT, U"", false},
      {atom("ab"), CODES | INPUT, U"", false},
      {terms::list(w, {small('a')}), CODES, U"", false},  // neither side
  };
  int before = open_streams();
  for (const Case& c : cases) {
    w->X[0] = c.list;
    w->X[1] = terms::var(w);
    w->X[2] = small(c.options);
    lv_term out = w->X[1];
    ASSERT_EQ(prolog_stream_from_codes(w), c.ok ? 1 : 0) << terms::show(c.list);
    if (!c.ok) continue;
    lv_stream* s = lv_stream_of_handle(lv_small_value(lv_deref(out)));
    std::u32string got;
    for (int64_t code; (code = lv_get_code(s)) >= 0;) got += static_cast<char32_t>(code);
    EXPECT_EQ(got, c.read) << terms::show(c.list);
    LV_fclose(s, LV_CLOSE_FORCE);
  }
  // A stream whose address cannot be unified is closed again.
  w->X[0] = terms::list(w, {small('a')});
  w->X[1] = small(0);
  w->X[2] = small(CODES | INPUT);
  EXPECT_EQ(prolog_stream_from_codes(w), 0);
  EXPECT_EQ(open_streams(), before);
}

}  // namespace
