// $ref_term/2: the terms of term references by number or by name.
#include <gtest/gtest.h>

#include "core/predefined_atoms.h"
#include "embed/dispatch_fixture.h"
#include "embed/embed_builtins.h"

namespace {

using RefTerm = DispatchTest;

TEST_F(RefTerm, ReadsByNameOrNumberAndFailsOtherwise) {
  ref t = new_ref();
  ASSERT_EQ(put_integer(t, 42), 1);
  struct {
    lv_term key;
    int ok;
    lv_term expected;
  } cases[] = {
      {atom("cleanup"), 1, w->termrefs[6].term},
      {atom("domsolve_propagator"), 1, w->termrefs[5].term},
      {atom("reserved3"), 1, w->termrefs[13].term},
      {lv_make_small(t), 1, lv_make_small(42)},
      {lv_make_small(t + 1), 0, 0},
      {lv_make_small(-1), 0, 0},
      {atom("reserved4"), 0, 0},
      {LV_ATOM_NIL, 0, 0},
  };
  for (auto& c : cases) {
    lv_term* v = w->H++;
    *v = lv_make_ref(v);
    w->X[0] = c.key;
    w->X[1] = *v;
    EXPECT_EQ(prolog_ref_term(w), c.ok);
    if (c.ok) {
      EXPECT_EQ(lv_deref(*v), lv_deref(c.expected));
    }
  }
}

}  // namespace
