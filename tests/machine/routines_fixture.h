// Test support for the emulator's support routines: an engine with its
// program store, the role predicates the routines hand calls to (records
// without definitions), and helpers to read the call of the error handler
// that raising pushes.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "core/atoms.h"
#include "core/errors.h"
#include "core/startup_records.h"
#include "embed/prolog_contract.h"
#include "store/call_choicepoint.h"
#include "support/store_fixture.h"
#include "support/terms.h"

class RoutinesTest : public StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    const std::pair<const char*, unsigned> roles[] = {{"$error_handler", 4}, {"$error_term_handler", 2}, {"$meta_call", 3}, {"$call_error", 2}};
    for (const auto& [name, arity] : roles) pred("prolog", name, arity);
    lv_lookup_role_predicates();
    lv_atom_eval = atom("$eval");
  }

  // Whether the newest choicepoint calls the error handler; its saved
  // registers are then the handler's arguments.
  bool error_handler_called() const {
    return w->B[LV_CP_ALT] == reinterpret_cast<lv_term>(lv_try_alternative(lv_startup.error_handler));
  }
  lv_term handler_arg(unsigned i) const { return w->B[LV_CP_ARGS + i]; }

  // A term as text: atoms by their text, variables as _, boxes as
  // box(words...), Module:Goal infix; cut at depth 6 (cyclic terms).
  static std::string text(lv_term t, int depth = 0) {
    t = lv_deref(t);
    if (depth > 6) return "...";
    if (lv_is_ref(t)) return "_";
    if (lv_is_small(t)) return std::to_string(lv_small_value(t));
    if (lv_is_atom(t)) return lv_atom_text(t);
    if (lv_is_list(t)) return "[" + text(lv_list_cells(t)[0], depth + 1) + "|" + text(lv_list_cells(t)[1], depth + 1) + "]";
    const lv_term* cells = lv_struct_cells(t);
    std::string s;
    if (lv_is_box_header(cells[0])) {
      s = "box(";
      for (uint64_t i = 1; i <= lv_box_value_words(cells[0]); i++) s += (i > 1 ? "," : "") + std::to_string(static_cast<int64_t>(cells[i]));
      return s + ")";
    }
    if (cells[0] == LV_FUNCTOR_COLON_2) return text(cells[1], depth + 1) + ":" + text(cells[2], depth + 1);
    s = std::string(lv_atom_text(lv_functor_atom(cells[0]))) + "(";
    for (unsigned i = 1; i <= lv_functor_arity(cells[0]); i++) s += (i > 1 ? "," : "") + text(cells[i], depth + 1);
    return s + ")";
  }

  lv_term qualified(lv_term module, lv_term goal) { return terms::fn(w, LV_ATOM_COLON, {module, goal}); }
};
