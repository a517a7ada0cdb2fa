// $mgu_variables: the bindings a unification would make, handed back
// without being made; and $free on registered and made-up handles.
#include "core/mgu_builtins.h"

#include <gtest/gtest.h>

#include "core/free_handles.h"
#include "support/builtin_fixture.h"

namespace {

class MguTest : public BuiltinTest {};

TEST_F(MguTest, BindingsAreListedAndUndone) {
  struct Row {
    const char* x;
    const char* y;
    const char* bindings;  // null: fails
  } rows[] = {
      {"f(X, b)", "f(a, Y)", "[=(X,a),=(Y,b)]"},
      {"f(X, Y)", "f(Y, g(Z))", "[=(Y,g(Z)),=(X,g(Z))]"},
      {"f(X, X)", "f(a, b)", nullptr},
      {"X", "X", "[]"},
      {"g(a)", "g(a)", "[]"},
      {"[A | T]", "[1, 2]", "[=(A,1),=(T,[2])]"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.x) + " = " + row.y);
    terms::reader rr(w);
    lv_term x = rr.read(row.x), y = rr.read(row.y), b = terms::var(w);
    lv_term* trail = w->TR;
    lv_term* choice = w->B;
    ASSERT_EQ(run(prolog_mgu_variables, {x, y, b}), row.bindings != nullptr);
    EXPECT_EQ(w->TR, trail);
    EXPECT_EQ(w->B, choice);
    EXPECT_EQ(w->wakeup_count, 0);
    if (row.bindings == nullptr) continue;
    EXPECT_EQ(rr.write(b), row.bindings);
    for (const char* name : {"X", "Y", "A", "T"}) EXPECT_EQ(rr.write(rr.var(name)), name);  // still unbound
  }
}

TEST_F(MguTest, OlderTrailEntriesAreNotBindingsOfTheUnification) {
  lv_term x = terms::var(w), y = terms::var(w), z = terms::var(w);
  push_choicepoint();
  // A binding made since the choicepoint, before the call.
  *lv_ref_cell(z) = read("done");
  *w->TR++ = z;
  lv_term b = terms::var(w);
  ASSERT_TRUE(run(prolog_mgu_variables, {x, y, b}));
  EXPECT_EQ(lv_list_cells(lv_deref(b))[1], LV_ATOM_NIL);  // one pair only
  EXPECT_EQ(lv_deref(z), read("done"));
}

TEST_F(MguTest, AWakeUpPendingBeforeTheCallStaysPending) {
  w->wakeup_count = 1;  // an attributed variable bound before the call
  lv_term b = terms::var(w);
  ASSERT_TRUE(run(prolog_mgu_variables, {read("f(X)"), read("f(a)"), b}));
  EXPECT_EQ(w->wakeup_count, 1);
  EXPECT_FALSE(run(prolog_mgu_variables, {read("a"), read("b"), terms::var(w)}));
  EXPECT_EQ(w->wakeup_count, 1);
  w->wakeup_count = 0;
}

TEST_F(MguTest, ALocalVariableIsStoodInForByAHeapVariable) {
  lv_term* local = w->local_top++;
  *local = lv_make_ref(local);
  lv_term b = terms::var(w);
  ASSERT_TRUE(run(prolog_mgu_variables, {*local, read("f(a)"), b}));
  lv_term pair = lv_list_cells(lv_deref(b))[0];
  lv_term v = lv_deref(lv_struct_cells(lv_deref(pair))[1]);
  ASSERT_TRUE(lv_is_ref(v));
  EXPECT_LT(lv_ref_cell(v), w->H);
  EXPECT_EQ(lv_deref(*local), v);
  EXPECT_EQ(text(lv_struct_cells(lv_deref(pair))[2]), "f(a)");
}

struct Counted {
  lv_free_record header;
  int released;
};

TEST_F(MguTest, FreeReleasesRegisteredRecordsOnce) {
  Counted c = {{[](lv_free_record* r) { reinterpret_cast<Counted*>(r)->released++; }}, 0};
  lv_term handle = lv_free_handle(&c.header);
  EXPECT_TRUE(run(prolog_free, {handle}));
  EXPECT_EQ(c.released, 1);
  EXPECT_FALSE(run(prolog_free, {handle}));  // released already
  EXPECT_FALSE(run(prolog_free, {lv_make_small(12345)}));
  EXPECT_FALSE(run(prolog_free, {"foo"}));
  EXPECT_EQ(c.released, 1);
}

}  // namespace
