// Reading a term from a text from C, with a C stand-in for the Prolog
// reader's role, and input streams over texts.
#include <gtest/gtest.h>

#include <string>

#include "core/api_error.h"
#include "core/init_state.h"
#include "core/predefined_atoms.h"
#include "core/text_lists.h"
#include "core/unify.h"
#include "embed/text_input.h"
#include "lorvika.h"
#include "streams/stream.h"
#include "streams/stream_api.h"
#include "support/emulator_fixture.h"
#include "support/terms.h"
#include "text/utf8.h"

namespace {

// The reader stand-in: T = read(Text, Values), Text the stream's whole text.
int read_all(lv_worker* w) {
  auto* s = reinterpret_cast<lv_stream*>(static_cast<uintptr_t>(lv_small_value(lv_deref(w->X[0]))));
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
    // Leaving the reader's nesting asks for an event check.
    role("$event_handler", 0, no_events);
    lv_set_prolog_initialized(true);
    lv_set_api_error(0);
    read = reinterpret_cast<decltype(read)>(
        lv_api_slot(LV_get_dispatch_40900(nullptr)->c_interface, LV_SLOT_LV_read_from_string));
  }
  void TearDown() override {
    lv_set_prolog_initialized(false);
    EmulatorTest::TearDown();
  }
  int (*read)(lv_term_ref, const char*, const lv_term_ref*) = nullptr;
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

}  // namespace
