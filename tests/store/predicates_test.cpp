// Modules, predicate records, lookup, entry selection and imports.
#include <gtest/gtest.h>

#include "core/atom_gc.h"
#include "core/predefined_atoms.h"
#include "jit/native_stub.h"
#include "store/clause_list.h"
#include "support/store_fixture.h"
#include "support/terms.h"

namespace {

using namespace assembler;

TEST_F(StoreTest, ModulesAreMadeOnDemand) {
  lv_module* prolog = lv_prolog_module();
  EXPECT_EQ(prolog->name, LV_ATOM_PROLOG);
  EXPECT_EQ(prolog->flags & LV_MODULE_SYSTEM, LV_MODULE_SYSTEM);
  EXPECT_EQ(lv_typein_module(), prolog);
  EXPECT_EQ(find_module(atom("user"), 0), nullptr);
  lv_module* user = find_module(atom("user"), 1);
  ASSERT_NE(user, nullptr);
  EXPECT_EQ(find_module(atom("user"), 0), user);
  EXPECT_EQ(user->flags, 0u);
  EXPECT_EQ(user->pred_chain, LV_CHAIN_END);
  EXPECT_EQ(user->module_info, LV_ATOM_NIL);
  EXPECT_EQ(lv_keytab_capacity(user->pred_table), 4u);
  EXPECT_EQ(find_module(lv_make_small(3), 1) != nullptr, true);
  EXPECT_EQ(find_module(lv_make_integer_box(w, -(1ll << 61)), 1), nullptr);
}

TEST_F(StoreTest, NewRecordsAreUndefined) {
  lv_pred* p = pred("user", "foo", 3);
  EXPECT_EQ(p->kind, LV_KIND_ENTER_UNDEFINED);
  EXPECT_EQ(p->arity, 3);
  EXPECT_EQ(p->frame_size, 16u + 24);
  EXPECT_EQ(p->continue_insn, lv_opcode(LV_OP_KONTINUE));
  EXPECT_EQ(p->flags, 0x2000u);
  EXPECT_EQ(p->home_module, p->owner_module);
  EXPECT_EQ(p->source_file, LV_ATOM_NIL);
  EXPECT_EQ(p->native_stub[15], 0x0B);
  EXPECT_EQ(p->native_stub[14], 0x0F);
  // The first 16 bytes are a continuation stub: KONTINUE steps back to the record.
  EXPECT_EQ(lv_insn_next(&p->continue_insn, nullptr), reinterpret_cast<const uint32_t*>(p));
  EXPECT_EQ(lv_lookup_predicate(p->owner_module, atom("foo"), 3, LV_LOOKUP_FIND), p);
  EXPECT_EQ(lv_lookup_predicate(p->owner_module, atom("foo"), 2, LV_LOOKUP_FIND), nullptr);
}

TEST_F(StoreTest, CallNIsMadeInPrologOnFirstUse) {
  lv_module* user = find_module(atom("user"), 1);
  lv_pred* call3 = lv_lookup_predicate(user, atom("call"), 3, LV_LOOKUP_FIND);
  ASSERT_NE(call3, nullptr);
  EXPECT_EQ(call3->owner_module, lv_prolog_module());
  EXPECT_EQ(call3->kind, LV_KIND_ENTER_COMPACTCODE);
  ASSERT_NE(call3->meta_spec, nullptr);
  EXPECT_EQ(call3->meta_spec[0], lv_make_small(2));
  EXPECT_EQ(call3->meta_spec[1], atom("?"));
  EXPECT_EQ(call3->meta_spec[2], atom("?"));
  EXPECT_NE(call3->flags & LV_PRED_META, 0u);
  EXPECT_EQ(lv_prolog_module()->pred_chain, call3);
  auto* list = static_cast<lv_clause_list*>(call3->definition);
  const uint32_t* code = lv_code_block_code(list->head);
  EXPECT_EQ(code[0], lv_opcode(LV_OP_EXECUTE_CALL));
  EXPECT_EQ(code[1], 3u);
  EXPECT_EQ(code[2], lv_opcode(LV_OP_END_OF_CLAUSEQ));
  EXPECT_EQ(lv_code_read64(&code[4]), reinterpret_cast<uint64_t>(call3));
  EXPECT_EQ(lv_code_block_size(list->head), 72u);
  // Found again, from any module.
  EXPECT_EQ(lv_lookup_predicate(find_module(atom("other"), 1), atom("call"), 3, LV_LOOKUP_CREATE), call3);
}

TEST_F(StoreTest, PrologRecordsAreVisibleOnlyWhenChained) {
  lv_module* user = find_module(atom("user"), 1);
  lv_pred* hidden = lv_lookup_predicate(lv_prolog_module(), atom("hidden"), 1, LV_LOOKUP_CREATE);
  EXPECT_EQ(lv_lookup_predicate(user, atom("hidden"), 1, LV_LOOKUP_FIND), nullptr);
  hidden->next_in_module = lv_prolog_module()->pred_chain;
  lv_prolog_module()->pred_chain = hidden;
  EXPECT_EQ(lv_lookup_predicate(user, atom("hidden"), 1, LV_LOOKUP_FIND), hidden);
  // Defining it in user makes a copy there.
  lv_pred* copy = lv_lookup_predicate(user, atom("hidden"), 1, LV_LOOKUP_DEFINE);
  EXPECT_NE(copy, hidden);
  EXPECT_EQ(copy->owner_module, user);
  EXPECT_EQ(lv_lookup_predicate(user, atom("hidden"), 1, LV_LOOKUP_FIND), copy);
}

TEST_F(StoreTest, GoalsAndSpecs) {
  lv_module* user = find_module(atom("user"), 1);
  lv_pred* p = lv_lookup_predicate(user, atom("g"), 2, LV_LOOKUP_CREATE);
  lv_term goal = terms::fn(w, atom("g"), {lv_make_small(1), lv_make_small(2)});
  lv_term* argument = nullptr;
  EXPECT_EQ(find_definition(user, goal, &argument, LV_LOOKUP_FIND), p);
  EXPECT_EQ(argument, lv_struct_cells(goal) + 1);
  EXPECT_EQ(find_def_in_module(goal, atom("user")), nullptr);  // undefined
  lv_new_clause_list(p, LV_DEF_COMPACTCODE);
  EXPECT_EQ(find_def_in_module(goal, atom("user")), p);
  EXPECT_EQ(w->arg_vector, lv_struct_cells(goal) + 1);
  lv_term spec = terms::fn(w, LV_ATOM_COLON, {atom("m2"), terms::fn(w, atom("/"), {atom("h"), lv_make_small(1)})});
  lv_pred* h = parse_definition(spec, user);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(h->owner_module, find_module(atom("m2"), 0));
  EXPECT_EQ(parse_definition(atom("h"), user), nullptr);
}

TEST_F(StoreTest, EntrySelection) {
  lv_pred* p = pred("user", "e", 0);
  lv_new_clause_list(p, LV_DEF_COMPACTCODE);
  struct {
    uint32_t flags;
    bool jit_switch;
    uint32_t kind;
  } cases[] = {
      {0, false, LV_KIND_ENTER_COMPACTCODE},
      {LV_PRED_SPY | LV_PRED_BLOCK, false, LV_KIND_BREAKPOINT},
      {LV_PRED_BLOCK | LV_PRED_JITTED, false, LV_KIND_BLOCKPOINT},
      {LV_PRED_JIT_CANDIDATE, true, LV_KIND_JITTABLE},
      {LV_PRED_JIT_CANDIDATE, false, LV_KIND_ENTER_COMPACTCODE},
      {LV_PRED_JITTED, false, LV_KIND_JITTED},
  };
  for (const auto& c : cases) {
    p->flags = (p->flags & ~0xFFFu) | c.flags;
    lv_jit_switch = c.jit_switch;
    p->jit_counter = 9;
    lv_select_entry(p, false);
    EXPECT_EQ(p->kind, c.kind) << c.flags;
    EXPECT_EQ(p->jit_counter, 0u);
  }
  lv_jit_switch = false;
  p->flags &= ~0xFFFu;
  // Debugging: modes 1 and 3 debug user code, not unchained system code.
  w->debug_mode = 1;
  lv_set_definition_type(p, LV_DEF_COMPACTCODE);
  EXPECT_EQ(p->kind, LV_KIND_BREAKPOINT);
  lv_pred* system = lv_lookup_predicate(lv_prolog_module(), atom("sys"), 0, LV_LOOKUP_CREATE);
  lv_new_clause_list(system, LV_DEF_COMPACTCODE);
  EXPECT_EQ(system->kind, LV_KIND_ENTER_COMPACTCODE);
  w->debug_mode = 4;
  lv_set_definition_type(p, LV_DEF_COMPACTCODE);
  EXPECT_EQ(p->kind, LV_KIND_ENTER_COMPACTCODE);
}

TEST_F(StoreTest, ImportChainsFollowTheDefinition) {
  lv_module* lib = find_module(atom("lib"), 1);
  lv_module* a = find_module(atom("a"), 1);
  lv_module* b = find_module(atom("b"), 1);
  lv_pred* source = lv_lookup_predicate(lib, atom("util"), 1, LV_LOOKUP_CREATE);
  lv_new_clause_list(source, LV_DEF_COMPACTCODE);
  lv_pred* in_a = lv_lookup_predicate(a, atom("util"), 1, LV_LOOKUP_CREATE);
  lv_pred* in_b = lv_lookup_predicate(b, atom("util"), 1, LV_LOOKUP_CREATE);
  lv_pred_chain_dependent(source, lib, in_a);
  lv_pred_chain_dependent(source, lib, in_b);
  EXPECT_EQ(source->importers, in_b);
  EXPECT_EQ(in_b->importers, in_a);
  for (lv_pred* i : {in_a, in_b}) {
    EXPECT_EQ(i->home_module, lib);
    EXPECT_EQ(i->import_module, lib);
    EXPECT_EQ(i->definition, source->definition);
    EXPECT_EQ(i->kind, LV_KIND_ENTER_COMPACTCODE);
  }
  // A change of the definition reaches every importer.
  source->flags |= LV_PRED_DYNAMIC;
  lv_new_clause_list(source, LV_DEF_DYNAMIC);
  for (lv_pred* i : {in_a, in_b}) {
    EXPECT_EQ(i->definition, source->definition);
    EXPECT_EQ(i->kind, LV_KIND_ENTER_INTERPRETED);
    EXPECT_NE(i->flags & LV_PRED_DYNAMIC, 0u);
  }
  // Clearing an importer unlinks it and makes it undefined on its own.
  lv_clear_definition(in_b);
  EXPECT_EQ(source->importers, in_a);
  EXPECT_EQ(in_b->home_module, b);
  EXPECT_EQ(in_b->kind, LV_KIND_ENTER_UNDEFINED);
  EXPECT_EQ(in_b->definition, nullptr);
  EXPECT_EQ(in_a->definition, source->definition);
}

TEST_F(StoreTest, CopyModulePredicatesKeepsChainOrder) {
  lv_module* prolog = lv_prolog_module();
  lv_pred* c1 = lv_lookup_predicate(nullptr, atom("call"), 1, LV_LOOKUP_FIND);
  lv_pred* c2 = lv_lookup_predicate(nullptr, atom("call"), 2, LV_LOOKUP_FIND);
  ASSERT_EQ(prolog->pred_chain, c2);
  lv_copy_module_predicates();
  lv_pred* first = prolog->pred_chain;
  ASSERT_NE(first, c2);
  EXPECT_EQ(first->arity, 2);
  EXPECT_EQ(first->next_in_module->arity, 1);
  EXPECT_EQ(first->next_in_module->next_in_module, LV_CHAIN_END);
  EXPECT_EQ(lv_lookup_predicate(prolog, atom("call"), 1, LV_LOOKUP_FIND), first->next_in_module);
  EXPECT_EQ(incore_gethash(prolog->prolog_copy_table, lv_pred_functor(c1))->value, reinterpret_cast<uint64_t>(c1));
}

TEST_F(StoreTest, AtomCollectionFreesUnreferencedUndefinedRecords) {
  lv_module* user = find_module(atom("user"), 1);
  lv_pred* loose = lv_lookup_predicate(user, atom("loose_pred"), 1, LV_LOOKUP_CREATE);
  lv_pred* called = lv_lookup_predicate(user, atom("called_pred"), 1, LV_LOOKUP_CREATE);
  lv_pred* caller = lv_lookup_predicate(user, atom("caller_pred"), 0, LV_LOOKUP_CREATE);
  lv_new_clause_list(caller, LV_DEF_COMPACTCODE);
  Assembler a;
  a.op(LV_OP_EXECUTE, {P(called)});
  lv_append_clause(caller, clause(a), LV_KEY_NONE, 0);
  (void)loose;
  lv_term loose_key = lv_pred_functor(loose);
  lv_garbage_collect_atoms(w);
  EXPECT_EQ(lv_atom_from_text("loose_pred", LV_ATOM_FIND), 0u);
  lv_hash_entry* e = incore_gethash(user->pred_table, loose_key);
  EXPECT_TRUE(e->key != loose_key || e->value == 0);
  EXPECT_EQ(lv_lookup_predicate(user, atom("called_pred"), 1, LV_LOOKUP_FIND), called);
  EXPECT_EQ(called->flags & LV_PRED_REFERENCED, 0u);  // the sweep clears the mark
  EXPECT_NE(lv_atom_from_text("caller_pred", LV_ATOM_FIND), 0u);
}

}  // namespace
