// Lists made from arrays of term references, long ones included.
#include "streams/term_refs_list.h"

#include <gtest/gtest.h>

#include <vector>

#include "core/atoms.h"
#include "core/predefined_atoms.h"
#include "core/term.h"
#include "support/engine_fixture.h"

namespace {

class TermRefsListTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    lv_atoms_startup();
  }
};

TEST_F(TermRefsListTest, ValuesInOrderAndLongArrays) {
  for (int64_t n : {0, 1, 3, 5000}) {
    std::vector<lv_term_ref> refs;
    for (int64_t i = 0; i < n; i++) {
      lv_term_ref r = LV_new_term_ref();
      lv_term_ref_cell(w, r) = lv_make_small(i);
      refs.push_back(r);
    }
    refs.push_back(0);
    lv_term_ref target = LV_new_term_ref();
    ASSERT_EQ(lv_term_refs_to_list(target, refs.data()), 1);
    lv_term t = lv_deref(lv_term_ref_cell(w, target));
    for (int64_t i = 0; i < n; i++) {
      ASSERT_TRUE(lv_is_list(t));
      EXPECT_EQ(lv_deref(lv_list_cells(t)[0]), lv_make_small(i));
      t = lv_deref(lv_list_cells(t)[1]);
    }
    EXPECT_EQ(t, LV_ATOM_NIL);
  }
}

TEST_F(TermRefsListTest, InvalidReferencesAreRefused) {
  lv_term_ref target = LV_new_term_ref();
  const lv_term_ref bad[] = {target + 1000, 0};
  EXPECT_EQ(lv_term_refs_to_list(target, bad), 0);
  EXPECT_EQ(lv_term_refs_to_list(target + 1000, bad + 1), 0);
}

}  // namespace
