// Test support: an error-handler stand-in for built-ins called directly.
// A built-in that raises pushes the handler's choicepoint with Module:Goal,
// the argument number and the culprit; this reads them back.
//
//   RaisedError e(w);
//   prolog_sort(w);
//   EXPECT_TRUE(e.raised());
//   EXPECT_EQ(e.code(), LV_ERROR_NOT_A_LIST);
//   EXPECT_EQ(e.context(), "prolog:sort/2");
#pragma once

#include <string>

#include "core/atoms.h"
#include "core/errors.h"
#include "core/startup_records.h"
#include "core/worker.h"
#include "store/call_choicepoint.h"
#include "store/try_record.h"

class RaisedError {
 public:
  explicit RaisedError(lv_worker* w) : w_(w), saved_(lv_startup.error_handler), b_(w->B) {
    lv_startup.error_handler = &handler_;
  }
  ~RaisedError() { lv_startup.error_handler = saved_; }
  RaisedError(const RaisedError&) = delete;
  RaisedError& operator=(const RaisedError&) = delete;

  // Whether the handler's choicepoint was pushed since the last rearm.
  bool raised() const { return w_->B != b_ && w_->B[LV_CP_ALT] == reinterpret_cast<lv_term>(&handler_.insn); }
  // Takes the handler's choicepoint away and watches for the next raise.
  void rearm() {
    if (raised()) lv_pop_call_choicepoint(w_);
    b_ = w_->B;
  }

  int32_t code() const { return lv_pending_error_code(); }
  // "Module:Name/Arity" of the goal context.
  std::string context() const {
    lv_term goal = lv_deref(w_->B[LV_CP_ARGS]);
    const lv_term* mg = lv_struct_cells(goal);
    lv_term g = lv_deref(mg[2]);
    lv_term name = lv_is_atom(g) ? g : lv_functor_atom(lv_struct_cells(g)[0]);
    unsigned arity = lv_is_atom(g) ? 0 : lv_functor_arity(lv_struct_cells(g)[0]);
    return std::string(lv_atom_text(lv_deref(mg[1]))) + ":" + lv_atom_text(name) + "/" + std::to_string(arity);
  }
  int64_t argument() const { return lv_small_value(lv_deref(w_->B[LV_CP_ARGS + 1])); }
  lv_term culprit() const { return lv_deref(w_->B[LV_CP_ARGS + 2]); }

 private:
  lv_worker* w_;
  const lv_try_record* saved_;
  lv_term* b_;
  lv_try_record handler_ = {nullptr, nullptr, nullptr, 48 + 4 * 8, 0};
};
