// The plug-in's view of the runtime against the runtime's own declarations:
// the engine context's word offsets, the calling shapes of the table slots
// it calls, the predefined atoms it uses by index, and the fixed layouts it
// reads (choicepoint sizes, stored blocks).
#include <gtest/gtest.h>

#include <cstddef>
#include <type_traits>

#include "core/atoms.h"
#include "core/attributes.h"
#include "core/fd_hooks.h"
#include "core/gc.h"
#include "core/hashtab.h"
#include "core/memory.h"
#include "core/numbers.h"
#include "core/numstack.h"
#include "core/predefined_atoms.h"
#include "core/stack_shift.h"
#include "core/stored_block.h"
#include "core/termrefs.h"
#include "core/unify.h"
#include "core/worker.h"
#include "embed/api_exceptions.h"
#include "embed/queries.h"
#include "embed/term_interface.h"
#include "kernel/engine.h"
#include "kernel/runtime.h"
#include "kernel/terms.h"
#include "store/call_choicepoint.h"
#include "store/dbref_table.h"
#include "store/predicates.h"
#include "domsolve/solver_fixture.h"

namespace {

#define SAME_OFFSET(field) static_assert(offsetof(fd_engine, field) == offsetof(lv_worker, field), #field)
SAME_OFFSET(foreign_call);
SAME_OFFSET(pair_index);
SAME_OFFSET(wakeup_count);
SAME_OFFSET(termref_capacity);
SAME_OFFSET(termref_top);
SAME_OFFSET(termrefs);
SAME_OFFSET(area_start);
SAME_OFFSET(area_end);
SAME_OFFSET(heap_hard_limit);
SAME_OFFSET(heap_soft_limit);
SAME_OFFSET(local_base);
SAME_OFFSET(local_end);
SAME_OFFSET(local_limit);
SAME_OFFSET(choice_base);
SAME_OFFSET(tc_start);
SAME_OFFSET(trail_base);
SAME_OFFSET(tc_end);
SAME_OFFSET(numstack_top);
SAME_OFFSET(numstack_chunk);
SAME_OFFSET(saved_local_top);
SAME_OFFSET(HB);
SAME_OFFSET(B);
SAME_OFFSET(local_top);
SAME_OFFSET(H);
SAME_OFFSET(TR);
SAME_OFFSET(E);
SAME_OFFSET(CP);
SAME_OFFSET(X);
#undef SAME_OFFSET
static_assert(sizeof(fd_termref_slot) == sizeof(lv_termref_slot));
static_assert(offsetof(fd_foreign_call, status) == offsetof(lv_foreign_call, status));
static_assert(int{FD_CP_ALT} == int{LV_CP_ALT} && int{FD_CP_H} == int{LV_CP_H} && int{FD_CP_TR} == int{LV_CP_TR});
static_assert(FD_HEAP_RESERVE_CELLS == LV_HEAP_RESERVE_CELLS && FD_TRAIL_GAP_BYTES == LV_TRAIL_GAP_BYTES &&
              FD_TRAIL_REQUEST_CELLS == LV_TRAIL_REQUEST_CELLS);
static_assert(sizeof(fd_hash_entry) == sizeof(lv_hash_entry) && offsetof(fd_hash_entry, value) == 8);

// The calling shape the plug-in uses for each slot (its type in the C
// interface's headers) is the runtime's.
#define SAME_SHAPE(name) static_assert(std::is_same_v<decltype(name), ::name##_fn>, #name)
SAME_SHAPE(find_module);
SAME_SHAPE(call_overflow);
SAME_SHAPE(numstack_overflow);
SAME_SHAPE(lv_make_integer);
SAME_SHAPE(cunify);
SAME_SHAPE(incore_gethash);
SAME_SHAPE(lv_choice_overflow);
SAME_SHAPE(lv_checkalloc);
SAME_SHAPE(lv_checkdealloc);
SAME_SHAPE(lv_checkrealloc);
SAME_SHAPE(dyn_puthash);
SAME_SHAPE(new_switch_on_key);
SAME_SHAPE(dispose_switch_on_key);
SAME_SHAPE(get_attributes);
SAME_SHAPE(put_attributes);
SAME_SHAPE(delete_attributes);
SAME_SHAPE(lv_decode_dbref);
SAME_SHAPE(markTerm);
SAME_SHAPE(intoRelocationChain);
SAME_SHAPE(LV_atom_from_string);
SAME_SHAPE(LV_register_atom);
SAME_SHAPE(LV_predicate);
SAME_SHAPE(LV_query);
SAME_SHAPE(LV_new_term_ref);
SAME_SHAPE(LV_reset_term_refs);
SAME_SHAPE(LV_put_atom);
SAME_SHAPE(LV_put_integer);
SAME_SHAPE(LV_put_variable);
SAME_SHAPE(LV_unify);
SAME_SHAPE(LV_fail);
SAME_SHAPE(LV_exception_term);
SAME_SHAPE(LV_raise_exception);
#undef SAME_SHAPE
static_assert(std::is_same_v<decltype(&LV_unregister_atom), ::LV_register_atom_fn*>);
static_assert(std::is_same_v<decltype(&LV_put_string), ::LV_put_string_fn*>);
// The hooks: the runtime passes the data it was given (the env) first.
static_assert(std::is_same_v<lv_fd_free_hook, void (*)(void*, uint64_t*)>);
static_assert(std::is_same_v<decltype(&LV_install_fd_hooks),
                             int (*)(void*, lv_fd_event_hook, lv_fd_free_hook, int)>);
static_assert(std::is_same_v<lv_fd_event_hook, fd_event_hook_fn>);

// Fixed term words.
static_assert(FD_NIL == LV_ATOM_NIL && FD_FUNCTOR_MUTABLE_2 == LV_FUNCTOR_MUTABLE_2 &&
              FD_FUNCTOR_ARRAY1D_2 == LV_FUNCTOR_ARRAY1D_2 && FD_ATOM_FREE == LV_ATOM_FREE &&
              FD_ATOM_ON == LV_ATOM_ON && FD_ATOM_OFF == LV_ATOM_OFF && FD_ATOM_FAIL == LV_ATOM_FAIL);
static_assert(FD_SMALL_MIN == LV_SMALL_MIN && FD_SMALL_MAX == LV_SMALL_MAX);
static_assert(FD_INF == 79 && FD_SUP == 87);

class RuntimeView : public SolverTest {};

TEST_F(RuntimeView, PredefinedAtomsAreTheRuntimes) {
  const struct {
    lv_term word;
    const char* text;
  } atoms[] = {
      {FD_NIL, "[]"},        {FD_ATOM_EQUAL, "="},         {FD_ATOM_MINUS, "-"},
      {FD_INF, "inf"},       {FD_SUP, "sup"},              {FD_ATOM_EXIT, "exit"},
      {FD_ATOM_FAIL, "fail"}, {FD_ATOM_ERROR, "error"},    {FD_ATOM_ON, "on"},
      {FD_ATOM_OFF, "off"},  {FD_ATOM_V, "v"},             {FD_ATOM_INDEXICAL, "$indexical"},
      {FD_ATOM_GLOBAL, "$global"}, {FD_ATOM_WATCHER, "watcher"}, {FD_ATOM_DAEMON, "daemon"},
      {FD_ATOM_DISEQUATION, "disequation"}, {FD_ATOM_IMPLICATION, "implication"},
      {FD_ATOM_PROPAGATOR, "propagator"}, {FD_ATOM_DOM, "dom"}, {FD_ATOM_ARRAY1D, "$array1d"},
      {FD_ATOM_MUTABLE, "$mutable"}, {FD_ATOM_FREE, "$free"}, {FD_ATOM_BRACES, "{}"},
  };
  for (const auto& a : atoms) EXPECT_EQ(a.word, LV_atom_from_string(a.text)) << a.text;
}

TEST_F(RuntimeView, ChoicepointSizeAndStoredBlockSize) {
  static lv_try_record record{nullptr, nullptr, nullptr, 48 + 8 * 3, 0};
  lv_push_call_choicepoint(w, &record);
  EXPECT_EQ(fd_choice_size(w->B), lv_choice_view(w->B)->size());
  lv_choice_view(w->B)->alt |= 1;  // the mark does not change the size
  EXPECT_EQ(fd_choice_size(w->B), lv_choice_view(w->B)->size());
  lv_choice_view(w->B)->alt &= ~lv_term{1};
  static_assert(offsetof(lv_stored_block, size) == 120 && sizeof(lv_stored_block) == 16 * 8);
}

}  // namespace
