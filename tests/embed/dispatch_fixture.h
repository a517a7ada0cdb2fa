// Test support: an engine with its atoms, reached only through the dispatch
// record's C-interface table as an embedding program reaches it. The engine
// is made by the fixture, since start-up is not reached through the table
// here.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "core/api_error.h"
#include "core/atoms.h"
#include "lorvika.h"
#include "support/engine_fixture.h"

using ref = lv_term_ref;

// A C-interface slot's function, with its type, in a test of the fixture.
#define API(name) LV_API(table, name)

class DispatchTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    lv_atoms_startup();
    table = LV_get_dispatch_40900(nullptr)->c_interface;
  }

  // The interface error: through its slot once that is in the table.
  int errno_() { return API(LV_get_errno)(); }
  void clear_error() { lv_set_api_error(0); }

  ref new_ref() { return API(LV_new_term_ref)(); }
  lv_term atom(const char* text) { return API(LV_atom_from_string)(text); }
  int put_integer(ref t, int64_t v) { return API(LV_put_integer)(t, v); }
  int get_integer(ref t, int64_t* v) { return API(LV_get_integer)(t, v); }
  int put_float(ref t, double v) { return API(LV_put_float)(t, v); }
  int get_float(ref t, double* v) { return API(LV_get_float)(t, v); }
  int type(ref t) { return API(LV_term_type)(t); }
  int put_variable(ref t) { return API(LV_put_variable)(t); }
  int put_atom(ref t, lv_term a) { return API(LV_put_atom)(t, a); }
  int put_functor(ref t, lv_term name, int arity) {
    return API(LV_put_functor)(t, name, arity);
  }
  int get_functor(ref t, lv_term* name, int* arity) {
    return API(LV_get_functor)(t, name, arity);
  }
  int get_arg(int i, ref t, ref a) { return API(LV_get_arg)(i, t, a); }
  int unify(ref a, ref b) { return API(LV_unify)(a, b); }
  int compare(ref a, ref b) { return API(LV_compare)(a, b); }
  // One of the LV_is_* slots, which share one type.
  int is(int slot, ref t) { return reinterpret_cast<LV_is_variable_fn*>(lv_api_slot_function(table, slot))(t); }
  std::string number_codes(ref t) {
    const char* text = nullptr;
    EXPECT_EQ(API(LV_get_number_codes)(t, &text), 1);
    return text != nullptr ? text : "";
  }
  int put_number_codes(ref t, const char* text) {
    return API(LV_put_number_codes)(t, text);
  }
  std::string string_of(ref t) {
    const char* text = nullptr;
    EXPECT_EQ(API(LV_get_string)(t, &text), 1);
    return text != nullptr ? text : "";
  }

  const lv_api_table* table = nullptr;
};

