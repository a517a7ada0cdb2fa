// The engine context: set-up, stack blocks, term references, the pending
// error, raising errors and fatal faults.
#include <gtest/gtest.h>

#include <string>

#include "core/api_error.h"
#include "core/errors.h"
#include "core/fault.h"
#include "core/fd_hooks.h"
#include "core/memory_builtins.h"
#include "core/numbers.h"
#include "core/os_error_text.h"
#include "core/predefined_atoms.h"
#include "core/startup_records.h"
#include "core/termrefs.h"
#include "embed/engine_reset.h"
#include "embed/nesting.h"
#include "machine/instructions.h"
#include "store/call_choicepoint.h"
#include "support/engine_fixture.h"
#include "support/env.h"
#include "support/terms.h"

namespace {

using namespace terms;

TEST_F(EngineTest, ContextStartsWithItsBottomFrames) {
  EXPECT_EQ(w->E, w->local_base);
  EXPECT_EQ(w->E[0], 0u);
  EXPECT_EQ(w->E[1], 0u);
  EXPECT_EQ(w->local_top, w->local_base + 2);
  // Only the reserved term references' terms are on the heap.
  EXPECT_EQ(w->H, w->area_start + LV_TERMREF_RESERVED_HEAP_WORDS);
  EXPECT_EQ(w->trail_base[0], 0u);
  EXPECT_EQ(w->TR, w->trail_base + 1);
  EXPECT_EQ(w->B, w->choice_base - 10);
  EXPECT_EQ(w->B[LV_CP_TR], lv_make_ref(w->TR) | 3);
  EXPECT_EQ(lv_choice_prev(w->B), w->choice_base);
  for (int i = 6; i < 10; i++) EXPECT_EQ(w->B[i], LV_ATOM_NIL);
  for (int i = 0; i < 4; i++) EXPECT_EQ(w->X[i], LV_ATOM_NIL);
  EXPECT_EQ(w->HB, w->H);
  EXPECT_EQ(w->saved_local_top, w->local_top);
  EXPECT_EQ(w->pair_index, -6);
  EXPECT_EQ(w->debug_mode, 4);
  EXPECT_EQ(w->debug_words[0], 127u);
  EXPECT_EQ(w->debug_words[31], LV_ATOM_OFF);
  EXPECT_EQ(w->termref_capacity, 256);
  EXPECT_EQ(w->termref_top, 15);
  EXPECT_EQ(w->foreign_call, &w->fcall);
  EXPECT_EQ(w->fcall.status, 1);
  EXPECT_EQ(w->fcall.x0, w->X);
  EXPECT_EQ(w->heap_hard_limit, w->local_base - 1152);
  EXPECT_EQ(lv_soft_limit(w), w->heap_hard_limit);
  EXPECT_EQ(w->local_limit, w->local_end - 528);
  EXPECT_EQ(get_current_worker(), w);
}

// A choicepoint pushed from C reads back through its view; making an older
// one current takes B, HB and the protected local top from its words.
TEST_F(EngineTest, ChoiceViewReadsTheSavedWordsAndMakesAChoicepointCurrent) {
  static lv_try_record record = {nullptr, nullptr, nullptr, 48 + 8 * 2, lv_opcode(LV_OP_TRY)};
  lv_term* bottom = w->B;
  w->X[0] = atom(300);
  w->X[1] = small(7);
  lv_term* h = w->H;
  lv_term* local_top = w->local_top;
  lv_term* tr = w->TR;
  lv_push_call_choicepoint(w, &record);
  const lv_choicepoint* c = lv_choice_view(w->B);
  EXPECT_EQ(c->saved_h(), h);
  EXPECT_EQ(c->saved_local_top(), local_top);
  EXPECT_EQ(c->saved_tr(), tr);
  EXPECT_EQ(c->saved_e(), w->E);
  EXPECT_EQ(c->saved_cp(), w->CP);
  EXPECT_EQ(c->alternative(), &record);
  EXPECT_FALSE(c->guards_cleanups());
  EXPECT_EQ(c->size(), 64);
  EXPECT_EQ(c->args[0], atom(300));
  EXPECT_EQ(c->args[1], small(7));
  EXPECT_EQ(lv_choice_prev(w->B), bottom);
  EXPECT_EQ(w->HB, h);
  EXPECT_EQ(w->saved_local_top, local_top);

  w->H += 4;
  w->local_top += 4;
  lv_make_choice_current(w, w->B);
  EXPECT_EQ(w->HB, h);
  EXPECT_EQ(w->saved_local_top, local_top);
  lv_make_choice_current(w, bottom);
  EXPECT_EQ(w->B, bottom);
  EXPECT_EQ(w->HB, lv_choice_view(bottom)->saved_h());
  EXPECT_EQ(w->saved_local_top, lv_choice_view(bottom)->saved_local_top());
  w->H = h;
  w->local_top = local_top;
}

TEST_F(EngineTest, StackBlocksHoldTheirParts) {
  // The first block: heap, local stack, then a mark map of 2 bits per cell.
  EXPECT_LT(w->area_start, w->local_base);
  EXPECT_LT(w->local_base, w->local_end);
  EXPECT_GE(w->local_base - w->area_start, 32768 / 8);
  EXPECT_GE(w->local_end - w->local_base, 32768 / 8);
  EXPECT_GE(w->area_end - w->local_end, (w->local_end - w->area_start) / 32);
  // The second block: trail and choice stack, then a map of 1 bit per word.
  int64_t words = w->tc_end - w->tc_start;
  int64_t map = w->tc_end - w->choice_base;
  EXPECT_EQ(map % 2, 0);
  EXPECT_GE(map, (words + 64) / 65);
  EXPECT_LE(map, (words + 64) / 65 + 1);
  uint64_t used = 0, free_bytes = 0;
  lv_choice_usage(w, &used, &free_bytes);
  EXPECT_EQ(used, static_cast<uint64_t>(w->choice_base - w->B) * 8);  // the bottom choicepoint counts
  EXPECT_GT(used, 0u);
  // A newest temporary relocation frame (as a collection leaves one) is not
  // counted.
  uint64_t before = used;
  lv_term* saved_b = w->B;
  lv_term* frame = w->B - 6;
  frame[LV_CP_ALT] = reinterpret_cast<lv_term>(lv_try_alternative(&lv_startup.relocation_alternative));
  w->B = frame;
  lv_choice_usage(w, &used, &free_bytes);
  EXPECT_EQ(used, before);
  w->B = saved_b;
  lv_trail_usage(w, &used, &free_bytes);
  EXPECT_EQ(used, 8u);
  EXPECT_GT(free_bytes, 0u);
}

TEST_F(EngineTest, WorkerBoundsShareTheSpareSpace) {
  lv_term* area = w->area_start;
  int64_t block = w->area_end - area;
  ASSERT_EQ(lv_set_worker_bounds(w, 1000, 3000, 0), 1);
  int64_t heap = w->local_base - area;
  int64_t local = w->local_end - w->local_base;
  // The spare cells go three quarters to the local stack.
  EXPECT_NEAR(static_cast<double>(local) / static_cast<double>(heap + local), 0.75, 0.01);
  EXPECT_LE(w->area_end - w->local_end, block);
  EXPECT_EQ(lv_soft_limit(w), nullptr);  // an event check follows
  EXPECT_EQ(lv_set_worker_bounds(w, static_cast<uint64_t>(block), 0, 0), 0);
}

TEST(GcFlags, DigitsOfTheSetting) {
  struct {
    const char* setting;
    int a, b, c;
  } cases[] = {{nullptr, 1, 4, 2}, {"142", 1, 4, 2}, {"999", 1, 4, 2}, {"210", 2, 1, 2}, {"231", 2, 3, 1}};
  for (const auto& c : cases) {
    ScopedEnv env({{"LV_GC_FLAGS", c.setting}});
    lv_mem_default_hooks();
    ASSERT_EQ(lv_mem_init(0), 0);
    lv_worker* w = lv_create_worker();
    EXPECT_EQ(w->gc_flag_a, c.a) << (c.setting ? c.setting : "absent");
    EXPECT_EQ(w->gc_flag_b, c.b);
    EXPECT_EQ(w->gc_flag_c, c.c);
    lv_destroy_worker(w);
    lv_mem_deinit();
  }
}

TEST_F(EngineTest, StackSizeSettingsAreHonoured) {
  lv_destroy_worker(w);
  ScopedEnv env({{"GLOBALSTKSIZE", "4M"}, {"LOCALSTKSIZE", "1M"}});
  w = lv_create_worker();
  EXPECT_GE(w->local_base - w->area_start, (4 << 20) / 8);
  EXPECT_GE(w->local_end - w->local_base, (1 << 20) / 8);
}

TEST_F(EngineTest, DestroyReleasesEverything) {
  lv_destroy_worker(w);
  EXPECT_TRUE(lv_worker_destroyed());
  EXPECT_EQ(get_current_worker(), nullptr);
  EXPECT_EQ(lv_mem_category_bytes(LV_CAT_STACK), 0u);
  EXPECT_EQ(lv_mem_category_bytes(LV_CAT_FLI_STACK), 0u);
  EXPECT_EQ(lv_mem_category_bytes(LV_CAT_NUMSTACK), 0u);
  EXPECT_EQ(lv_mem_category_bytes(LV_CAT_BDD_HASH), 0u);
}

TEST_F(EngineTest, TermReferencesGrowByDoubling) {
  lv_term_ref first = LV_new_term_ref();
  EXPECT_EQ(first, 15);
  EXPECT_EQ(lv_term_ref_cell(w, first), LV_ATOM_NIL);
  lv_term_ref many = LV_new_term_refs(600);
  EXPECT_EQ(many, 16);
  EXPECT_EQ(w->termref_capacity, 1024);
  EXPECT_EQ(w->termref_top, 616);
  EXPECT_EQ(lv_term_ref_cell(w, many + 599), LV_ATOM_NIL);
  EXPECT_EQ(w->fcall.termrefs, w->termrefs);
  LV_reset_term_refs(20);
  EXPECT_EQ(w->termref_top, 20);
  lv_set_api_error(0);
  LV_reset_term_refs(21);
  EXPECT_EQ(lv_get_api_error(), LV_ERR_BAD_VALUE);
  EXPECT_EQ(w->termref_top, 20);
  EXPECT_TRUE(lv_term_ref_valid(19));
  EXPECT_FALSE(lv_term_ref_valid(20));
}

TEST_F(EngineTest, GlobalReferencesFormACircularList) {
  lv_termref_slot* a = LV_alloc_globrefs(2);
  lv_termref_slot* b = LV_alloc_globrefs(3);
  EXPECT_EQ(a[1].term, LV_ATOM_NIL);
  lv_globref_block* list = lv_globref_list();
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->next->next, list);
  EXPECT_EQ(list->count + list->next->count, 5u);
  LV_free_globrefs(a);
  list = lv_globref_list();
  EXPECT_EQ(list->next, list);
  EXPECT_EQ(lv_globref_slots(list), b);
  LV_free_globrefs(b);
  EXPECT_EQ(lv_globref_list(), nullptr);
}

TEST_F(EngineTest, NestingEdgesRequestEventChecks) {
  EXPECT_EQ(lv_nest_enter(), 1);
  EXPECT_NE(lv_soft_limit(w), nullptr);
  EXPECT_EQ(lv_nest_leave(), 0);
  EXPECT_EQ(lv_soft_limit(w), nullptr);
  lv_set_soft_limit(w, w->heap_hard_limit);
  EXPECT_EQ(lv_nest_leave(), -1);
  EXPECT_EQ(lv_nest_enter(), 0);
  EXPECT_EQ(lv_soft_limit(w), nullptr);
}

TEST_F(EngineTest, FdHooks) {
  static int64_t seen[3];
  EXPECT_EQ(lv_call_fd_hook(5, 0), 0);
  static int data;
  LV_install_fd_hooks(
      &data,
      [](void* d, lv_worker* worker, int64_t event, int64_t argument) -> int64_t {
        seen[0] = d == &data && worker == get_current_worker();
        seen[1] = event;
        seen[2] = argument;
        return 7;
      },
      nullptr, 1);
  EXPECT_EQ(lv_call_fd_hook(1, -64), 7);
  EXPECT_EQ(seen[0], 1);
  EXPECT_EQ(seen[1], 1);
  EXPECT_EQ(seen[2], -64);
  lv_call_fd_free_hook(nullptr);  // none installed: nothing happens
  LV_install_fd_hooks(nullptr, nullptr, nullptr, 0);
  EXPECT_EQ(lv_call_fd_hook(1, 0), 0);
}

TEST(PendingError, MessagesAreCutAtACharacterBoundary) {
  lv_set_pending_error(5, nullptr, LV_ATOM_NIL);
  EXPECT_STREQ(lv_pending_error_message(), "INTERNAL ERROR");
  std::string ascii(3000, 'x');
  lv_set_pending_error(5, ascii.c_str(), LV_ATOM_NIL);
  EXPECT_EQ(std::string(lv_pending_error_message()).size(), 2047u);
  // Byte 2047 is the second byte of a two-byte character.
  std::string text(2046, 'x');
  while (text.size() < 3000) text += "\xC3\xA9";
  lv_set_pending_error(5, text.c_str(), LV_ATOM_NIL);
  EXPECT_EQ(std::string(lv_pending_error_message()).size(), 2046u);
  std::string exact(2047, 'y');
  lv_set_pending_error(7, exact.c_str(), lv_make_small(3));
  EXPECT_EQ(std::string(lv_pending_error_message()), exact);
  EXPECT_EQ(lv_pending_error_code(), 7);
  EXPECT_EQ(lv_pending_error_culprit(), lv_make_small(3));
}

TEST_F(EngineTest, ModuleGoalsHoldNoLocalReferences) {
  lv_term* local = w->local_top++;
  *local = lv_make_ref(local);
  lv_term heap_var = var(w);
  w->X[0] = lv_make_ref(local);
  w->X[1] = heap_var;
  w->X[2] = atom(300);
  lv_term goal = lv_make_module_goal(w, LV_ATOM_USER, atom(301), 3);
  EXPECT_EQ(show(goal), "a8(a53,a301(_,_,a300))");
  const lv_term* args = lv_struct_cells(lv_struct_cells(goal)[2]);
  EXPECT_LT(lv_ref_cell(args[1]), w->H);  // a heap variable now
  EXPECT_TRUE(lv_is_unbound_cell(lv_ref_cell(args[1])));
  EXPECT_EQ(lv_deref(*local), args[1]);
  EXPECT_EQ(args[2], heap_var);
  EXPECT_EQ(show(lv_make_module_goal(w, LV_ATOM_PROLOG, atom(302), 0)), "a8(a52,a302)");
}

class RaiseTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    handler = {nullptr, nullptr, nullptr, 48 + 4 * 8, 0};
    term_handler = {nullptr, nullptr, nullptr, 48 + 2 * 8, 0};
    lv_startup.error_handler = &handler;
    lv_startup.error_term_handler = &term_handler;
    lv_atom_eval = atom(400);
  }
  void TearDown() override {
    lv_startup.error_handler = nullptr;
    lv_startup.error_term_handler = nullptr;
    EngineTest::TearDown();
  }
  lv_try_record handler, term_handler;
};

TEST_F(RaiseTest, BuiltinErrorsCallTheHandlerThroughAChoicepoint) {
  lv_term* b = w->B;
  w->X[0] = atom(300);
  lv_set_pending_error(262, "", atom(302));
  EXPECT_EQ(lv_raise_builtin_error(w, LV_ATOM_USER, atom(301), 1, 1), 0);
  // The choicepoint saves the four handler arguments.
  ASSERT_EQ(w->B, b - 10);
  EXPECT_EQ(w->B[LV_CP_ALT], reinterpret_cast<lv_term>(&handler.insn));
  EXPECT_EQ(show(w->B[LV_CP_ARGS + 0]), "a8(a53,a301(a300))");
  EXPECT_EQ(w->B[LV_CP_ARGS + 1], lv_make_small(1));
  EXPECT_EQ(w->B[LV_CP_ARGS + 2], atom(302));
  EXPECT_EQ(w->B[LV_CP_ARGS + 3], LV_ATOM_NIL);
  EXPECT_EQ(lv_pending_error_culprit(), LV_ATOM_UNINIT);
  EXPECT_EQ(w->HB, w->H);
  EXPECT_EQ(lv_choice_prev(w->B), b);
}

TEST_F(RaiseTest, ErrorTermsCallTheirHandler) {
  lv_term* b = w->B;
  lv_term error = fn(w, atom(310), {atom(311)});
  EXPECT_EQ(lv_raise_error_term(w, error), 0);
  ASSERT_EQ(w->B, b - 8);
  EXPECT_EQ(w->B[LV_CP_ARGS], error);
  EXPECT_EQ(w->B[LV_CP_ARGS + 1], LV_ATOM_NIL);
}

TEST_F(RaiseTest, ArithmeticErrorsWrapTheGoalInEval) {
  w->X[0] = small(1);
  w->X[1] = small(0);
  lv_set_pending_error(-775, "", small(0));
  lv_arith_error(w, atom(320), 2);
  EXPECT_EQ(show(w->B[LV_CP_ARGS]), "a8(a52,a400(a8(a52,a320(1,0))))");
  EXPECT_EQ(w->B[LV_CP_ARGS + 1], small(1));
  EXPECT_EQ(w->B[LV_CP_ARGS + 2], small(0));
}

TEST_F(RaiseTest, OperatingSystemErrors) {
  lv_raise_win32_error(w, 2, "open", "open");
  EXPECT_EQ(lv_pending_error_code(), 5);
  EXPECT_STREQ(lv_pending_error_message(), "open: 'open' failed: No such file or directory");
  EXPECT_EQ(w->fcall.status, 0);
  EXPECT_EQ(show(w->B[LV_CP_ARGS]), "a8(a52,a44)");
  lv_raise_win32_error(w, 0, "symbolic links", "not supported");
  EXPECT_STREQ(lv_pending_error_message(), "symbolic links not supported");
}

TEST(OsErrorText, ShortOrMissingTextsFallBackToTheNumber) {
  EXPECT_STREQ(lv_win32_error_text(13), "Permission denied");
  EXPECT_STREQ(lv_win32_error_text(0x7fff), "Unknown error 32767");
}

TEST_F(EngineTest, FaultWithAnAbortRecordBecomesThePendingError) {
  int status = run_to_abort([] { LV_raise_fault("broken"); });
  EXPECT_EQ(status, 3);
  EXPECT_EQ(lv_get_abort_env(), nullptr);
  EXPECT_EQ(lv_pending_error_code(), -1);
  EXPECT_STREQ(lv_pending_error_message(), "broken");
  EXPECT_EQ(lv_pending_error_culprit(), LV_ATOM_NIL);
  EXPECT_STREQ(lv_get_abort_err_ienc(), "broken");
}

TEST(Fault, WithoutAnEngineTheProcessEnds) {
  EXPECT_EXIT(LV_raise_fault("stack smashed"), testing::ExitedWithCode(255), "^\n! stack smashed\n$");
  // An abort record alone is not enough.
  lv_jump_record record;
  lv_set_abort_env(&record);
  EXPECT_EXIT(LV_raise_fault("no engine"), testing::ExitedWithCode(255), "! no engine");
  lv_set_abort_env(nullptr);
}

TEST_F(EngineTest, MemoryFaultInsideAProtectedRunUnwindsWithReinit) {
  int code = run_to_recovery([] { lv_memory_fault("ignored", LV_CAT_ATOM); });
  EXPECT_EQ(code, LV_UNWIND_REINIT);
  EXPECT_EQ(lv_mem_culprit(), LV_CAT_ATOM);
}

// The term-reference array's capacity is a signed 32-bit field: a request
// beyond it is an out-of-memory fault, not a capacity cut to a wrong value
// (0 made every later growth loop for ever).
TEST_F(EngineTest, TermReferencesBeyondTheCapacityFieldAreAMemoryFault) {
  int32_t capacity = w->termref_capacity;
  int code = run_to_recovery([] { lv_termrefs_grow(get_current_worker(), int64_t{INT32_MAX} + 1); });
  EXPECT_EQ(code, LV_UNWIND_REINIT);
  EXPECT_EQ(lv_mem_culprit(), LV_CAT_FLI_STACK);
  EXPECT_EQ(w->termref_capacity, capacity);
  lv_term_ref r = LV_new_term_refs(capacity);  // an ordinary doubling still works
  EXPECT_GE(w->termref_capacity, 2 * capacity);
  EXPECT_EQ(lv_term_ref_cell(w, r + capacity - 1), LV_ATOM_NIL);
}

TEST_F(EngineTest, MemoryBuiltins) {
  lv_term counts = lv_mem_bucket_counts(w);
  const lv_term* cells = lv_struct_cells(counts);
  EXPECT_EQ(cells[0], lv_make_functor(LV_ATOM_DOT, 28));
  EXPECT_EQ(lv_small_value(cells[1 + LV_CAT_STACK]), static_cast<int64_t>(lv_mem_category_bytes(LV_CAT_STACK)));
  EXPECT_EQ(lv_small_value(cells[1 + LV_CAT_FLI_STACK]), 256 * 16 + 16);  // with the block header
  w->X[0] = atom(300);
  EXPECT_EQ(prolog_trimcore(w), 0);
  w->X[0] = small(1);
  EXPECT_EQ(prolog_trimcore(w), 1);
  testing::internal::CaptureStderr();
  EXPECT_EQ(prolog_minfo(w), 1);
  std::string out = testing::internal::GetCapturedStderr();
  EXPECT_NE(out.find(" heap/stack: ["), std::string::npos);
  EXPECT_NE(out.find("Total space:"), std::string::npos);
}

}  // namespace
