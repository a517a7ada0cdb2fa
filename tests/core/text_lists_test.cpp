// Conversions between texts and lists, and list lengths.
#include <gtest/gtest.h>

#include <string>

#include "core/atoms.h"
#include "core/predefined_atoms.h"
#include "core/stack_shift.h"
#include "core/text_lists.h"
#include "support/engine_fixture.h"
#include "support/terms.h"

namespace {

using namespace terms;

class TextListTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    lv_atoms_startup();
  }
  lv_term codes(std::initializer_list<int64_t> values, lv_term tail = LV_ATOM_NIL) {
    lv_term result = tail;
    for (auto it = std::rbegin(values); it != std::rend(values); ++it) result = cons(w, small(*it), result);
    return result;
  }
  std::string to_text(lv_term list, int mode, int* result) {
    char* text = nullptr;
    *result = lv_term_to_text(list, mode, &text);
    if (*result != 1) return "";
    std::string s(text);
    lv_text_free(text);
    return s;
  }
};

TEST_F(TextListTest, ListLengths) {
  lv_term t = var(w);
  lv_term cyclic = list(w, {atom(302), atom(302)}, t);
  set(t, cyclic);
  struct {
    lv_term list;
    int64_t length;
  } cases[] = {
      {LV_ATOM_NIL, 0},
      {list(w, {small(1), small(2), small(3)}), 3},
      {list(w, {atom(302), atom(303)}, var(w)), LV_LIST_NOT_A_LIST},
      {list(w, {atom(302)}, atom(303)), LV_LIST_NOT_A_LIST},
      {atom(302), LV_LIST_NOT_A_LIST},
      {cyclic, LV_LIST_CYCLIC},
  };
  for (const auto& c : cases) EXPECT_EQ(lv_proper_list_length(c.list), c.length) << show(c.list);
  lv_term tail = 0;
  lv_term partial_tail = var(w);
  EXPECT_EQ(lv_list_length_tail(list(w, {small(1), small(2)}, partial_tail), &tail), 2);
  EXPECT_EQ(tail, partial_tail);
  // A list whose tail is the list itself.
  lv_term s = var(w);
  lv_term self = cons(w, small(1), s);
  set(s, self);
  EXPECT_EQ(lv_proper_list_length(self), LV_LIST_CYCLIC);
}

TEST_F(TextListTest, CodeListsToText) {
  int r = 0;
  std::string text = to_text(codes({'a', 0, 2047, 2048}), LV_TEXT_CODES, &r);
  ASSERT_EQ(r, 1);
  EXPECT_EQ(text.size(), 1u + 2 + 2 + 3);
  EXPECT_EQ(text.substr(1, 2), "\xC0\x80");
  EXPECT_EQ(to_text(LV_ATOM_NIL, LV_TEXT_CODES, &r), "");
  EXPECT_EQ(r, 1);
  to_text(codes({'a'}, var(w)), LV_TEXT_CODES, &r);
  EXPECT_EQ(r, 0);
  to_text(codes({'a', -1}), LV_TEXT_CODES, &r);
  EXPECT_EQ(r, -1);
  to_text(atom(300), LV_TEXT_CODES, &r);
  EXPECT_EQ(r, -1);
  // Char lists.
  lv_term chars = list(w, {lv_one_char_atom('h'), lv_one_char_atom(0xE9), lv_code_atom(0x3B1)});
  EXPECT_EQ(to_text(chars, LV_TEXT_CHARS, &r), "h\xC3\xA9\xCE\xB1");
  to_text(list(w, {lv_atom_from_text("ab", LV_ATOM_FIND_OR_CREATE)}), LV_TEXT_CHARS, &r);
  EXPECT_EQ(r, -1);
}

TEST_F(TextListTest, LongAndCyclicListsToText) {
  // Growth past the first 64 bytes; and a cyclic list is refused.
  lv_term list = LV_ATOM_NIL;
  for (int i = 0; i < 1000; i++) list = cons(w, small('x'), list);
  int r = 0;
  EXPECT_EQ(to_text(list, LV_TEXT_CODES, &r), std::string(1000, 'x'));
  lv_term t = var(w);
  lv_term cyclic = codes({'a', 'b'}, t);
  set(t, cyclic);
  to_text(cyclic, LV_TEXT_CODES, &r);
  EXPECT_EQ(r, -1);
}

TEST_F(TextListTest, CodeListIntoABuffer) {
  char buffer[8];
  size_t written = 0;
  lv_term rest = lv_code_list_to_text(codes({'a', 'b', 0xE9, 'c'}), 3, &written, buffer);
  EXPECT_EQ(written, 2u);  // the two-byte character does not fit whole
  EXPECT_EQ(show(rest), "[233,99]");
  EXPECT_EQ(lv_code_list_to_text(codes({'a', -4}), 8, &written, buffer), 0u);
}

TEST_F(TextListTest, ListsToIntArrays) {
  int32_t* array = nullptr;
  EXPECT_EQ(lv_list_to_int_array(codes({1, 2, 3}), &array, LV_INTS_INTEGERS), 3);
  EXPECT_EQ(array[2], 3);
  lv_text_free(reinterpret_cast<char*>(array));
  EXPECT_EQ(lv_list_to_int_array(list(w, {small(1), atom(300)}), nullptr, LV_INTS_INTEGERS), -10004);
  EXPECT_EQ(lv_list_to_int_array(list(w, {small(1), lv_one_char_atom('x')}), nullptr, LV_INTS_INTEGERS | LV_INTS_CHARS), 2);
  EXPECT_EQ(lv_list_to_int_array(codes({int64_t{1} << 31}), nullptr, LV_INTS_INTEGERS), -10004);
  EXPECT_EQ(lv_list_to_int_array(codes({1}, var(w)), nullptr, LV_INTS_INTEGERS), LV_LIST_NOT_A_LIST);
}

TEST_F(TextListTest, TextsToLists) {
  const char text[] = "a\xC0\x80\xCE\xB1z";
  lv_term l = lv_text_to_code_list(w, sizeof text - 1, text, LV_ATOM_NIL, LV_TEXT_CODES, 0, 0);
  EXPECT_EQ(show(l), "[97,0,945,122]");
  lv_term chars = lv_text_to_code_list(w, sizeof text - 1, text, atom(300), LV_TEXT_CHARS, 0, 0);
  lv_term* cells = lv_list_cells(chars);
  EXPECT_EQ(cells[0], lv_one_char_atom('a'));
  EXPECT_EQ(lv_atom_code(lv_deref(lv_list_cells(lv_deref(lv_list_cells(lv_deref(cells[1]))[1]))[0])), 0x3B1);
  EXPECT_EQ(lv_text_to_code_list(w, 2, "a\xCE", LV_ATOM_NIL, LV_TEXT_CODES, 0, 0), 0u);  // truncated
  EXPECT_EQ(lv_text_to_code_list(w, 2, "\x80" "a", LV_ATOM_NIL, LV_TEXT_CODES, 0, 0), 0u);
  EXPECT_EQ(lv_text_to_code_list(w, 0, "", atom(301), LV_TEXT_CODES, 0, 0), atom(301));
  const int32_t wide[] = {'x', 0x1F600};
  EXPECT_EQ(show(lv_wide_text_to_code_list(w, 2, wide, LV_ATOM_NIL, LV_TEXT_CODES, 0, 0)), "[120,128512]");
  const int32_t negative[] = {'x', -1};
  EXPECT_EQ(lv_wide_text_to_code_list(w, 2, negative, LV_ATOM_NIL, LV_TEXT_CODES, 0, 0), 0u);
  const unsigned char bytes[] = {0, 255, 7};
  EXPECT_EQ(show(lv_bytes_to_list(w, 3, bytes, LV_ATOM_NIL, 0, 0)), "[0,255,7]");
}

TEST_F(TextListTest, UnboundLocalTailMovesToTheHeap) {
  lv_term* local = w->local_top++;
  *local = lv_make_ref(local);
  lv_term l = lv_text_to_code_list(w, 2, "ab", lv_make_ref(local), LV_TEXT_CODES, 0, 0);
  lv_term tail = lv_deref(lv_list_cells(lv_deref(lv_list_cells(l)[1]))[1]);
  ASSERT_TRUE(lv_is_ref(tail));
  EXPECT_LT(lv_ref_cell(tail), w->H);
  EXPECT_EQ(lv_deref(*local), tail);
}

// A heap tail survives the room being made for the list, even when the
// heap moves.
TEST_F(TextListTest, AHeapTailSurvivesAHeapMove) {
  lv_term tail = list(w, {small(42)});
  while (w->H < w->heap_hard_limit - 4) *w->H++ = small(0);
  lv_shift_set_always_move(1);
  lv_term* old_start = w->area_start;
  lv_term l = lv_text_to_code_list(w, 2, "ab", tail, LV_TEXT_CODES, 100, 0);
  lv_shift_set_always_move(-1);
  EXPECT_NE(w->area_start, old_start);
  EXPECT_EQ(show(l), "[97,98,42]");
}

}  // namespace
