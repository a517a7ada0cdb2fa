// The atom table, writing classes, atom garbage collection and the atom
// built-ins.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/atom_builtins.h"
#include "core/atom_gc.h"
#include "core/atoms.h"
#include "core/errors.h"
#include "core/init_state.h"
#include "core/predefined_atoms.h"
#include "core/unify.h"
#include "store/call_choicepoint.h"
#include "support/engine_fixture.h"
#include "support/terms.h"
#include "text/char_class.h"

namespace {

using namespace terms;

class AtomTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    lv_atoms_startup();
  }
  void TearDown() override {
    lv_set_prolog_initialized(false);
    EngineTest::TearDown();
  }
  lv_term make(const std::string& text) { return lv_atom_from_text(text.c_str(), LV_ATOM_FIND_OR_CREATE); }
  std::string text(lv_term atom) { return lv_atom_text(atom); }
};

TEST_F(AtomTest, PredefinedAtomsHaveFixedWords) {
  EXPECT_EQ(make("[]"), 7u);
  EXPECT_EQ(make("."), 15u);
  EXPECT_EQ(make(":"), 71u);
  EXPECT_EQ(make("$mutable"), 239u);
  EXPECT_EQ(make("off"), LV_ATOM_OFF);
  EXPECT_EQ(make("prolog"), LV_ATOM_PROLOG);
  EXPECT_EQ(make("$uninit"), LV_ATOM_UNINIT);
  EXPECT_EQ(make("win32nt"), LV_ATOM_WIN32NT);
  EXPECT_EQ(text(lv_predefined_atom(44)), "");
  EXPECT_EQ(text(lv_predefined_atom(93)), " (");
  EXPECT_EQ(text(lv_predefined_atom(174)), "     ");
  EXPECT_EQ(text(lv_predefined_atom(183)), "the atom table is full");
  EXPECT_EQ(text(lv_predefined_atom(533)), "timer");
  // Registered: never reclaimed.
  EXPECT_EQ(lv_atom_record(LV_ATOM_PROLOG)->refcount, 1);
}

TEST_F(AtomTest, Modes) {
  lv_term a = lv_atom_from_text("novel", LV_ATOM_CREATE);
  ASSERT_NE(a, 0u);
  EXPECT_EQ(lv_atom_from_text("novel", LV_ATOM_FIND), a);
  EXPECT_EQ(lv_atom_from_text("novel", LV_ATOM_FIND_OR_CREATE), a);
  EXPECT_EQ(lv_atom_from_text("novel", LV_ATOM_CREATE), 0u);
  EXPECT_EQ(lv_atom_from_text("absent", LV_ATOM_FIND), 0u);
  EXPECT_EQ(lv_atom_from_text("bad\xFF", LV_ATOM_FIND_OR_CREATE), 0u);
  EXPECT_EQ(lv_atom_from_text(nullptr, LV_ATOM_FIND_OR_CREATE), 0u);
  EXPECT_EQ(text(a), "novel");
  EXPECT_EQ(lv_atom_length(a), 5u);
  EXPECT_GE(lv_atom_index(a), LV_PREDEFINED_ATOM_COUNT);
}

TEST_F(AtomTest, OneCharacterAtoms) {
  // Code point 0 is the text C0 80; many one-character atoms are predefined.
  lv_term nul = lv_one_char_atom(0);
  EXPECT_EQ(text(nul), "\xC0\x80");
  EXPECT_EQ(lv_one_char_atom('.'), LV_ATOM_DOT);
  EXPECT_EQ(lv_one_char_atom('a'), make("a"));
  EXPECT_EQ(text(lv_one_char_atom(0xE9)), "\xC3\xA9");
  for (uint32_t c = 0; c < 256; c++) {
    ASSERT_NE(lv_one_char_atom(c), 0u) << c;
    EXPECT_EQ(lv_atom_record(lv_one_char_atom(c))->refcount, lv_atom_index(lv_one_char_atom(c)) < 534 ? 2 : 1) << c;
  }
  // After start-up the table answers without a lookup (and mode 2 gives 0).
  lv_set_prolog_initialized(true);
  EXPECT_EQ(lv_atom_from_text("a", LV_ATOM_FIND), lv_one_char_atom('a'));
  EXPECT_EQ(lv_atom_from_text("a", LV_ATOM_CREATE), 0u);
}

TEST_F(AtomTest, SecondSlotPageAndBucketGrowth) {
  lv_atom_stats before = lv_atoms_stats();
  EXPECT_EQ(before.total_slots, 8192u);
  uint64_t needed = 8193 - before.live;
  for (uint64_t i = 0; i < needed; i++) make("atom_" + std::to_string(i));
  lv_atom_stats after = lv_atoms_stats();
  EXPECT_EQ(after.live, 8193u);
  EXPECT_EQ(after.total_slots, 16384u);
  EXPECT_EQ(after.records, after.live);
  // Linear hashing keeps about five records per bucket.
  uint64_t buckets = after.bucket_base + after.bucket_split;
  EXPECT_LE(after.records, 5 * buckets);
  EXPECT_GT(after.records, 5 * (buckets - 1) - 5);
  // Every atom is found again.
  for (uint64_t i = 0; i < needed; i += 97) EXPECT_NE(lv_atom_from_text(("atom_" + std::to_string(i)).c_str(), LV_ATOM_FIND), 0u);
}

TEST(AtomTable, SixthRecordSplitsTheOnlyBucket) {
  lv_mem_default_hooks();
  ASSERT_EQ(lv_mem_init(0), 0);
  lv_char_classes_init();
  lv_atoms_init();
  const char* names[] = {"a1", "b2", "c3", "d4", "e5"};
  for (const char* n : names) lv_atom_from_text(n, LV_ATOM_FIND_OR_CREATE);
  EXPECT_EQ(lv_atoms_stats().bucket_base, 1u);
  lv_atom_from_text("f6", LV_ATOM_FIND_OR_CREATE);
  EXPECT_EQ(lv_atoms_stats().bucket_base, 2u);
  EXPECT_EQ(lv_atoms_stats().bucket_split, 0u);
  for (const char* n : names) EXPECT_NE(lv_atom_from_text(n, LV_ATOM_FIND), 0u);
  lv_mem_deinit();
}

TEST_F(AtomTest, ReferenceCountsStickAt255) {
  lv_term a = make("sticky");
  for (int i = 0; i < 300; i++) EXPECT_EQ(LV_register_atom(a), 1);
  EXPECT_EQ(lv_atom_record(a)->refcount, 255);
  for (int i = 0; i < 300; i++) LV_unregister_atom(a);
  EXPECT_EQ(lv_atom_record(a)->refcount, 255);
  lv_garbage_collect_atoms(w);
  EXPECT_TRUE(lv_atom_live(a));
  EXPECT_EQ(LV_register_atom(small(3)), 0);
  EXPECT_EQ(LV_unregister_atom(lv_atom_from_index(100000)), 0);
}

TEST_F(AtomTest, AHoldingWordCountsTheAtomItHolds) {
  lv_term a = make("held_first"), b = make("held_next");
  uint8_t a0 = lv_atom_record(a)->refcount, b0 = lv_atom_record(b)->refcount;
  lv_term word = 0;
  lv_atom_hold(&word, a);
  EXPECT_EQ(word, a);
  EXPECT_EQ(lv_atom_record(a)->refcount, a0 + 1);
  lv_atom_hold(&word, a);  // holding the same atom again changes no count
  EXPECT_EQ(lv_atom_record(a)->refcount, a0 + 1);
  lv_atom_hold(&word, b);
  EXPECT_EQ(lv_atom_record(a)->refcount, a0);
  EXPECT_EQ(lv_atom_record(b)->refcount, b0 + 1);
  lv_atom_hold(&word, 0);
  EXPECT_EQ(word, 0u);
  EXPECT_EQ(lv_atom_record(b)->refcount, b0);
}

TEST_F(AtomTest, CollectionKeepsHeldAtomsAndReusesFreedIndices) {
  lv_term held = make("held_by_heap");
  lv_term bound = make("held_by_binding");
  lv_term loose = make("held_by_nothing");
  lv_term in_register = make("held_in_x5");
  lv_term functor = make("held_as_functor");
  lv_term v = var(w);
  set(v, bound);
  fn(w, functor, {held});
  w->X[5] = in_register;
  lv_atom_gc_stats before = lv_atom_gc_statistics();
  lv_garbage_collect_atoms(w);
  EXPECT_TRUE(lv_atom_live(held));
  EXPECT_TRUE(lv_atom_live(bound));
  EXPECT_TRUE(lv_atom_live(in_register));
  EXPECT_TRUE(lv_atom_live(functor));
  EXPECT_FALSE(lv_atom_live(loose));
  EXPECT_EQ(lv_atom_from_text("held_by_nothing", LV_ATOM_FIND), 0u);
  lv_atom_gc_stats after = lv_atom_gc_statistics();
  EXPECT_EQ(after.collections, before.collections + 1);
  EXPECT_GE(after.atoms_freed, before.atoms_freed + 1);
  // The freed index is the next one handed out.
  EXPECT_EQ(make("newcomer"), loose);
  EXPECT_EQ(lv_atom_record(held)->flags & LV_ATOM_MARK, 0u);
}

TEST_F(AtomTest, CollectionSkipsBoxBodiesAndReadsTheAttributedMarkerAsAWord) {
  lv_term in_attvar = make("bound_in_attributed_variable");
  // A box whose value word looks like the word of an atom that is otherwise
  // unreferenced must not keep it alive.
  lv_term lookalike = make("looks_like_a_box_value");
  lv_term* h = w->H;
  h[0] = lv_box_header(1, false);
  h[1] = lookalike;
  h[2] = h[0];
  w->H = h + 3;
  lv_term av = attvar(w);
  set(av, in_attvar);
  lv_garbage_collect_atoms(w);
  EXPECT_TRUE(lv_atom_live(in_attvar));
  EXPECT_FALSE(lv_atom_live(lookalike));
}

TEST_F(AtomTest, TrailedOldValuesOfMutablesAreRoots) {
  lv_term old_value = make("old_mutable_value");
  lv_term m = mutable_term(w, old_value);
  static lv_try_record record = {nullptr, nullptr, nullptr, 48, 0};
  lv_push_call_choicepoint(w, &record);
  lv_update_mutable(w, small(1), m);
  lv_garbage_collect_atoms(w);
  EXPECT_TRUE(lv_atom_live(old_value));
}

TEST_F(AtomTest, AutomaticCollectionAtTheThreshold) {
  lv_set_prolog_initialized(true);
  lv_atom_gc_set_margin(50);
  uint64_t threshold = lv_atom_gc_threshold();
  uint64_t live = lv_atoms_stats().live;
  ASSERT_GT(threshold, live);
  lv_term keep = make("kept_in_x0");
  w->X[0] = keep;
  for (uint64_t i = 0; live + i + 1 < threshold + 5; i++) make("temporary_" + std::to_string(i));
  EXPECT_GE(lv_atom_gc_statistics().collections, 1u);
  EXPECT_TRUE(lv_atom_live(keep));
  EXPECT_LT(lv_atoms_stats().live, threshold);
}

TEST_F(AtomTest, MarginNeverRaisesTheThresholdBeyondTheLimit) {
  w->X[0] = var(w);
  w->X[1] = lv_make_small(int64_t{1} << 40);
  EXPECT_EQ(prolog_agc_margin(w), 1);
  EXPECT_EQ(lv_small_value(lv_deref(w->X[0])), 10000);
  EXPECT_EQ(lv_atom_gc_threshold(), LV_ATOM_LIMIT);
  EXPECT_EQ(lv_atom_gc_margin(), int64_t{1} << 40);
  w->X[0] = var(w);
  w->X[1] = make("not_an_integer");
  EXPECT_EQ(prolog_agc_margin(w), 0);
}

TEST_F(AtomTest, WritingClasses) {
  struct {
    const char* text;
    uint32_t wc;
  } cases[] = {
      {"", LV_WC_SYMBOL | LV_WC_QUOTE | LV_WC_ASCII},
      {"abc", LV_WC_ASCII},
      {"aBc_1", LV_WC_ASCII},
      {"Abc", LV_WC_QUOTE | LV_WC_ASCII},
      {"_x", LV_WC_QUOTE | LV_WC_ASCII},
      {"1a", LV_WC_QUOTE | LV_WC_ASCII},
      {"+", LV_WC_SYMBOL | LV_WC_ASCII},
      {"=..", LV_WC_SYMBOL | LV_WC_ASCII},
      {".", LV_WC_SYMBOL | LV_WC_QUOTE | LV_WC_ASCII},
      {"/*", LV_WC_SYMBOL | LV_WC_QUOTE | LV_WC_ASCII},
      {"a+", LV_WC_QUOTE | LV_WC_ASCII},
      {"a b", LV_WC_QUOTE | LV_WC_ASCII},
      {"it's", LV_WC_QUOTE | LV_WC_ESCAPES | LV_WC_ASCII},
      {"a\nb", LV_WC_QUOTE | LV_WC_ESCAPES | LV_WC_ASCII},
      {"\\", LV_WC_SYMBOL | LV_WC_ASCII},
      {"!", LV_WC_SOLO | LV_WC_ASCII},
      {";", LV_WC_SOLO | LV_WC_ASCII},
      {"[]", LV_WC_SOLO | LV_WC_ASCII},
      {"{}", LV_WC_SOLO | LV_WC_ASCII},
      {",", LV_WC_QUOTE | LV_WC_ASCII},
      {"|", LV_WC_QUOTE | LV_WC_ASCII},
      {"caf\xC3\xA9", 0},
      {"\xCE\xB1", LV_WC_QUOTE | LV_WC_ESCAPES},
  };
  for (const auto& c : cases) EXPECT_EQ(lv_writing_class(c.text, std::strlen(c.text)), c.wc) << '"' << c.text << '"';
}

TEST_F(AtomTest, LetterSwitchReclassifiesAtoms) {
  lv_term alpha = make("\xCE\xB1");
  EXPECT_NE(lv_atom_writing_class(alpha) & LV_WC_QUOTE, 0u);
  lv_set_letter_lookup([](int32_t c) { return c == 0x3B1 ? 1 : 0; });
  lv_set_unicode_letter_switch(1);
  EXPECT_EQ(lv_atom_writing_class(alpha) & LV_WC_QUOTE, 0u);
  lv_set_unicode_letter_switch(0);
  EXPECT_NE(lv_atom_writing_class(alpha) & LV_WC_QUOTE, 0u);
  lv_set_letter_lookup(nullptr);
}

TEST_F(AtomTest, AtomicMode) {
  struct {
    lv_term term;
    int64_t left, right;
  } cases[] = {
      {make("a b"), 2, 2},
      {make("+"), 4, 4},
      {make("[]"), 8, 8},
      {make("abc"), 0, 0},
      {small(-3), 4, 0},
      {small(3), 0, 0},
      {lv_make_float_box(w, -0.5), 4, 0},
      {lv_make_float_box(w, 1.0 / 0.0), 4, 0},
      {lv_make_float_box(w, 2.0), 0, 0},
      {lv_make_integer_box(w, -(int64_t{1} << 62)), 4, 0},
      {lv_make_integer_box(w, int64_t{1} << 62), 0, 0},
  };
  for (const auto& c : cases) {
    w->X[0] = c.term;
    w->X[1] = var(w);
    w->X[2] = var(w);
    ASSERT_EQ(prolog_atomic_mode(w), 1);
    EXPECT_EQ(lv_small_value(lv_deref(w->X[1])), c.left) << show(c.term);
    EXPECT_EQ(lv_small_value(lv_deref(w->X[2])), c.right) << show(c.term);
  }
}

TEST_F(AtomTest, ReplaceSuffix) {
  struct {
    const char* file;
    const char* old_suffix;
    const char* result;
  } cases[] = {{"dir.d/file.pl", ".pl", "dir.d/file.po"}, {"dir.d/file", "", "dir.d/file.po"}, {"a\\b.c\\d", "", "a\\b.c\\d.po"}};
  for (const auto& c : cases) {
    w->X[0] = make(c.file);
    w->X[1] = make(".po");
    w->X[2] = var(w);
    w->X[3] = var(w);
    ASSERT_EQ(prolog_replace_suffix(w), 1) << c.file;
    EXPECT_EQ(text(lv_deref(w->X[2])), c.old_suffix);
    EXPECT_EQ(text(lv_deref(w->X[3])), c.result);
  }
}

TEST_F(AtomTest, ErrorBuiltins) {
  lv_set_pending_error(262, "permission denied", LV_ATOM_NIL);
  w->X[0] = var(w);
  w->X[1] = var(w);
  ASSERT_EQ(prolog_cerror_data(w), 1);
  EXPECT_EQ(lv_deref(w->X[0]), small(262));
  EXPECT_EQ(text(lv_deref(w->X[1])), "permission denied");
  struct {
    lv_term code;
    const char* message;
  } cases[] = {{small(-10501), "LVIO_E_FILE_NOT_FOUND"},
               {small(-2), "(unknown LVIO error)"},
               {small(3), "Unknown C library error"},
               {make("x"), "LVIO_E_INTERNAL_ERROR"}};
  for (const auto& c : cases) {
    w->X[0] = c.code;
    w->X[1] = var(w);
    ASSERT_EQ(prolog_error_message(w), 1);
    EXPECT_EQ(text(lv_deref(w->X[1])), c.message);
  }
}

}  // namespace
