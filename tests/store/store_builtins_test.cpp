// Built-ins that change definitions, and deferred reclamation of code.
#include <gtest/gtest.h>

#include "core/memory.h"
#include "core/numbers.h"
#include "core/predefined_atoms.h"
#include "store/reclaim.h"
#include "store/store_builtins.h"
#include "support/store_fixture.h"
#include "support/terms.h"

namespace {

using namespace assembler;
using terms::fn;

class BuiltinTest : public StoreTest {
 protected:
  lv_term spec(const char* name, int arity) { return fn(w, atom("/"), {atom(name), lv_make_small(arity)}); }
  lv_term in(const char* module, lv_term t) { return fn(w, LV_ATOM_COLON, {atom(module), t}); }
  lv_term ref(lv_code_block* b) { return lv_make_small(static_cast<int64_t>(reinterpret_cast<uintptr_t>(b) / 8)); }
  lv_code_block* block_from_ref(lv_term r) {
    return reinterpret_cast<lv_code_block*>(static_cast<uintptr_t>(lv_small_value(lv_deref(r))) * 8);
  }
  // A bytecode object made from items.
  lv_code_block* make(int size, std::initializer_list<lv_term> items) {
    w->X[0] = lv_make_small(size);
    w->X[1] = terms::list(w, items);
    w->X[2] = atom("file.pl");
    w->X[3] = LV_ATOM_NIL;
    w->X[4] = terms::var(w);
    lv_term result = w->X[4];
    if (prolog_make_bytecode_object(w) != 1) return nullptr;
    return block_from_ref(result);
  }
  lv_term item(const char* name, lv_term arg) { return fn(w, atom(name), {arg}); }
};

TEST_F(BuiltinTest, MakeBytecodeObjectWritesItems) {
  lv_term key = atom("k");
  lv_code_block* b = make(40, {item("o", lv_make_small(LV_OP_GET_CONSTANT_X0Q)), lv_make_small(0),
                              item("tagged", key), item("o", lv_make_small(LV_OP_PUT_X_VARIABLE)),
                              item("x", lv_make_small(2)), item("y", lv_make_small(1)),
                              item("o", lv_make_small(LV_OP_PROCEED)), item("lineno", lv_make_small(12)),
                              atom("void"), item("variable", lv_make_small(3)), atom("else")});
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(lv_find_code_block(b), b);
  EXPECT_EQ(lv_code_block_size(b), 48u + 80);
  EXPECT_EQ(b->source_key, atom("file.pl"));
  EXPECT_EQ(b->alt_entry, lv_fail_code);
  const uint32_t* c = lv_code_block_code(b);
  EXPECT_EQ(c[0], lv_opcode(LV_OP_GET_CONSTANT_X0Q));
  EXPECT_EQ(lv_code_read64(&c[2]), key);
  EXPECT_EQ(c[4], lv_opcode(LV_OP_PUT_X_VARIABLE));
  EXPECT_EQ(c[5], 320u + 16);
  EXPECT_EQ(c[6], 16u + 8);
  EXPECT_EQ(c[7], lv_opcode(LV_OP_PROCEED));
  EXPECT_EQ(c[8], 3u);
  EXPECT_EQ(c[9], 8u * 3 + 17);
  EXPECT_EQ(lv_code_read64(&c[10]), reinterpret_cast<uint64_t>(lv_else_fail_code));
  ASSERT_NE(b->side_table, nullptr);
  EXPECT_EQ(b->side_table[0], 16u);
  EXPECT_EQ(b->side_table[1], lv_make_small(12));
  EXPECT_EQ(lv_first_arg_key(b), key);
}

// A callee not defined yet is created undefined, so code calling a
// predicate defined later is made all the same.
TEST_F(BuiltinTest, MakeBytecodeObjectCreatesAnUndefinedCallee) {
  lv_code_block* b = make(4, {item("emul_entry", in("user", spec("later", 3)))});
  ASSERT_NE(b, nullptr);
  lv_pred* p = lv_lookup_predicate(find_module(atom("user"), 0), atom("later"), 3, LV_LOOKUP_FIND);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->kind, static_cast<uint32_t>(LV_KIND_ENTER_UNDEFINED));
  EXPECT_EQ(lv_code_read64(lv_code_block_code(b)), reinterpret_cast<uint64_t>(p));
}

TEST_F(BuiltinTest, MakeBytecodeObjectRefusesBadItems) {
  EXPECT_EQ(make(4, {item("bogus", lv_make_small(1))}), nullptr);
  // More than the block holds.
  EXPECT_EQ(make(2, {lv_make_small(1), lv_make_small(2)}), nullptr);
  // Compound terms are not kept in code.
  EXPECT_EQ(make(8, {item("tagged", fn(w, atom("f"), {atom("x")}))}), nullptr);
  // A predicate spec that is no Name/Arity.
  EXPECT_EQ(make(8, {item("emul_entry", atom("nowhere"))}), nullptr);
  // A block larger than the code block's size field holds; the largest
  // that it holds is made.
  EXPECT_EQ(make((1 << 22), {lv_make_small(1)}), nullptr);
  EXPECT_EQ(make((1 << 22) - 24, {lv_make_small(1)}), nullptr);
  lv_code_block* largest = make((1 << 22) - 28, {lv_make_small(1)});
  ASSERT_NE(largest, nullptr);
  EXPECT_EQ(lv_code_block_size(largest), (uint64_t{1} << 23) - 8);
  lv_code_block_unregister(largest);
  lv_code_block_free(largest);
  // Reference and try targets outside the block, or not on a word.
  const auto try_item = [&](int64_t offset, int64_t kind) {
    return fn(w, atom("try"), {lv_make_small(offset), lv_make_small(2), lv_make_small(kind)});
  };
  EXPECT_EQ(make(16, {item("ref", lv_make_small(16))}), nullptr);
  EXPECT_EQ(make(16, {item("ref", lv_make_small(-2))}), nullptr);
  EXPECT_EQ(make(16, {item("ref", lv_make_small(1))}), nullptr);
  EXPECT_EQ(make(64, {try_item(64, 1)}), nullptr);
  EXPECT_EQ(make(64, {try_item(-4, 1)}), nullptr);
  EXPECT_EQ(make(64, {try_item(int64_t{1} << 40, 1)}), nullptr);
  EXPECT_EQ(make(64, {try_item(3, 1)}), nullptr);
  // An instruction number that names no instruction.
  EXPECT_EQ(make(8, {item("o", lv_make_small(LV_INSN_COUNT))}), nullptr);
  EXPECT_EQ(make(8, {item("o", lv_make_small(-1))}), nullptr);
  EXPECT_EQ(lv_code_block_count(), 0u);
  EXPECT_EQ(lv_mem_category_bytes(LV_CAT_COMPILED_CODE) > 0, true);  // only stubs and static records
}

TEST_F(BuiltinTest, LargeItemsTakeTheSpaceReservedForThem) {
  lv_term* h = w->H;
  h[0] = LV_BOX_INT2;
  h[1] = 5;
  h[2] = uint64_t{1} << 63;
  h[3] = LV_BOX_INT2;
  w->H = h + 4;
  lv_term big = lv_make_struct(h);
  lv_term half = lv_make_float_box(w, 0.5);
  lv_code_block* b = make(56, {item("o", lv_make_small(LV_OP_GET_LARGE)), item("x", lv_make_small(1)), item("large", big),
                              item("o", lv_make_small(LV_OP_PUT_LARGE)), item("x", lv_make_small(2)), item("large", half),
                              item("o", lv_make_small(LV_OP_FIRST_LARGEQ)), lv_make_small(0),
                              item("large", lv_make_small(-9)), item("o", lv_make_small(LV_OP_PROCEED))});
  ASSERT_NE(b, nullptr);
  const uint32_t* c = lv_code_block_code(b);
  // GET_LARGE x(1) with a box of two value words: 8 words.
  EXPECT_EQ(c[0], lv_opcode(LV_OP_GET_LARGE));
  EXPECT_EQ(lv_code_read64(&c[2]), LV_BOX_INT2);
  EXPECT_EQ(lv_code_read64(&c[6]), uint64_t{1} << 63);
  // PUT_LARGE x(2) with a float: the box and NOP 1.
  EXPECT_EQ(c[8], lv_opcode(LV_OP_PUT_LARGE));
  EXPECT_EQ(lv_code_read64(&c[10]), LV_BOX_FLOAT);
  EXPECT_EQ(c[14], lv_opcode(LV_OP_NOP));
  EXPECT_EQ(c[15], 1u);
  // A small integer: the constant form with the raw value, then NOP 1.
  EXPECT_EQ(c[16], lv_opcode(LV_OP_FIRST_CONSTANTQ));
  EXPECT_EQ(static_cast<int64_t>(lv_code_read64(&c[18])), -9);
  EXPECT_EQ(c[20], lv_opcode(LV_OP_NOP));
  EXPECT_EQ(c[21], 1u);
  EXPECT_EQ(c[22], lv_opcode(LV_OP_PROCEED));
}

TEST_F(BuiltinTest, InternalEntryHeaderItems) {
  lv_code_block* b = make(64, {fn(w, atom("try"), {lv_make_small(32), lv_make_small(2), lv_make_small(1)}),
                              item("o", lv_make_small(LV_OP_PROCEED))});
  ASSERT_NE(b, nullptr);
  const uint32_t* c = lv_code_block_code(b);
  EXPECT_EQ(c[0], LV_INTERNAL_HEADER_WORD);
  EXPECT_EQ(c[1], 2u);
  EXPECT_EQ(lv_code_read64(&c[4]), reinterpret_cast<uint64_t>(c + 16));
}

TEST_F(BuiltinTest, DefineCompileAndAbolish) {
  w->X[0] = in("user", spec("p", 1));
  w->X[1] = atom("compactcode");
  ASSERT_EQ(prolog_define_predicate(w), 1);
  lv_pred* p = lv_lookup_predicate(find_module(atom("user"), 0), atom("p"), 1, LV_LOOKUP_FIND);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->kind, LV_KIND_ENTER_COMPACTCODE);
  lv_code_block* c1 = make(16, {item("o", lv_make_small(LV_OP_GET_CONSTANT_X0Q)), lv_make_small(0),
                               item("tagged", atom("a")), item("o", lv_make_small(LV_OP_PROCEED))});
  lv_set_typein_module(find_module(atom("user"), 0));
  w->X[0] = spec("p", 1);
  w->X[1] = ref(c1);
  w->X[2] = LV_ATOM_NIL;
  w->X[3] = fn(w, atom("info"), {lv_make_small(LV_KEY_ALL | 0x2), atom("a")});
  ASSERT_EQ(prolog_compiled_clause(w), 1);
  EXPECT_EQ(p->kind, LV_KIND_ENTER_COMPACTCODE_INDEXED);
  auto* list = static_cast<lv_clause_list*>(p->definition);
  EXPECT_EQ(lv_code_block_key_bits(list->head), LV_KEY_ALL | LV_KEY_KEYED);
  // A block in a clause list cannot be erased on its own.
  w->X[0] = ref(c1);
  EXPECT_EQ(prolog_erase_clause(w), 0);
  // Abolish: the record becomes undefined; its code waits for reclamation.
  w->X[0] = spec("p", 1);
  w->X[1] = atom("user");
  EXPECT_EQ(prolog_abolish(w), 1);
  EXPECT_EQ(p->kind, LV_KIND_ENTER_UNDEFINED);
  EXPECT_EQ(p->definition, nullptr);
  EXPECT_EQ(lv_reclaim_statistics().zombies, 1u);
  lv_reclaim_erased_code(w, 0);
  EXPECT_EQ(lv_reclaim_statistics().zombies, 0u);
  EXPECT_EQ(lv_find_code_block(c1), nullptr);
}

TEST_F(BuiltinTest, ReclamationKeepsCodeAChoicepointStillUses) {
  lv_code_block* b = make(8, {item("o", lv_make_small(LV_OP_PROCEED)), item("o", lv_make_small(LV_OP_PROCEED))});
  w->X[0] = ref(b);
  ASSERT_EQ(prolog_erase_clause(w), 1);
  // A fake choicepoint whose saved continuation lies in the block.
  lv_term* saved_b = w->B;
  lv_term* cp = w->B - 6;
  cp[LV_CP_ALT] = reinterpret_cast<lv_term>(&lv_static.fail_alternative.insn);
  cp[LV_CP_LOCAL_TOP] = lv_make_ref(w->local_top);
  cp[LV_CP_H] = lv_make_ref(w->H);
  cp[LV_CP_TR] = lv_make_ref(w->TR);
  cp[LV_CP_E] = lv_make_ref(w->E);
  cp[LV_CP_CP] = reinterpret_cast<lv_term>(lv_code_block_code(b) + 1);
  w->B = cp;
  lv_reclaim_erased_code(w, 0);
  EXPECT_EQ(lv_find_code_block(b), b);
  EXPECT_EQ(lv_reclaim_statistics().zombies, 1u);
  // The emulator's own continuation keeps it too.
  w->B = saved_b;
  w->CP = lv_code_block_code(b);
  lv_reclaim_erased_code(w, 0);
  EXPECT_EQ(lv_find_code_block(b), b);
  w->CP = nullptr;
  lv_reclaim_erased_code(w, 0);
  EXPECT_EQ(lv_find_code_block(b), nullptr);
  EXPECT_EQ(lv_reclaim_statistics().zombies, 0u);
  EXPECT_EQ(lv_reclaim_statistics().zombie_items, 0u);
}

TEST_F(BuiltinTest, SetPropertyAndUndefineAll) {
  lv_pred* p = pred("m", "q", 0);
  lv_new_clause_list(p, LV_DEF_COMPACTCODE);
  lv_set_typein_module(find_module(atom("m"), 0));
  w->X[0] = spec("q", 0);
  w->X[1] = atom("dynamic");
  ASSERT_EQ(prolog_set_property(w), 1);
  EXPECT_EQ(p->kind, LV_KIND_ENTER_INTERPRETED);
  EXPECT_NE(p->flags & LV_PRED_DYNAMIC, 0u);
  w->X[1] = fn(w, atom("file"), {atom("q.pl")});
  ASSERT_EQ(prolog_set_property(w), 1);
  EXPECT_EQ(p->source_file, atom("q.pl"));
  w->X[1] = fn(w, atom("file"), {fn(w, atom("not"), {atom("atomic")})});
  EXPECT_EQ(prolog_set_property(w), 0);
  w->X[0] = spec("absent", 0);
  EXPECT_EQ(prolog_set_property(w), 0);
  w->X[0] = atom("m");
  ASSERT_EQ(prolog_undefine_all(w), 1);
  EXPECT_EQ(p->kind, LV_KIND_ENTER_UNDEFINED);
  w->X[0] = atom("no_such_module");
  EXPECT_EQ(prolog_undefine_all(w), 0);
  EXPECT_EQ(prolog_print_hashtable_statistics(w), 1);
}

}  // namespace
