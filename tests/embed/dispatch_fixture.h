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

class DispatchTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    lv_atoms_startup();
    table = LV_get_dispatch_40900(nullptr)->c_interface;
  }

  template <typename F>
  F* api(int slot) {
    void* f = lv_api_slot(table, slot);
    EXPECT_NE(f, nullptr) << "slot " << slot;
    return reinterpret_cast<F*>(f);
  }

  // The interface error: through its slot once that is in the table.
  int errno_() {
    if (void* f = lv_api_slot(table, LV_SLOT_LV_get_errno)) return reinterpret_cast<int (*)()>(f)();
    return lv_get_api_error();
  }
  void clear_error() { lv_set_api_error(0); }

  ref new_ref() { return api<ref()>(LV_SLOT_LV_new_term_ref)(); }
  lv_term atom(const char* text) { return api<lv_term(const char*)>(LV_SLOT_LV_atom_from_string)(text); }
  int put_integer(ref t, int64_t v) { return api<int(ref, int64_t)>(LV_SLOT_LV_put_integer)(t, v); }
  int get_integer(ref t, int64_t* v) { return api<int(ref, int64_t*)>(LV_SLOT_LV_get_integer)(t, v); }
  int put_float(ref t, double v) { return api<int(ref, double)>(LV_SLOT_LV_put_float)(t, v); }
  int get_float(ref t, double* v) { return api<int(ref, double*)>(LV_SLOT_LV_get_float)(t, v); }
  int type(ref t) { return api<int(ref)>(LV_SLOT_LV_term_type)(t); }
  int put_variable(ref t) { return api<int(ref)>(LV_SLOT_LV_put_variable)(t); }
  int put_atom(ref t, lv_term a) { return api<int(ref, lv_term)>(LV_SLOT_LV_put_atom)(t, a); }
  int put_functor(ref t, lv_term name, int arity) {
    return api<int(ref, lv_term, int)>(LV_SLOT_LV_put_functor)(t, name, arity);
  }
  int get_functor(ref t, lv_term* name, int* arity) {
    return api<int(ref, lv_term*, int*)>(LV_SLOT_LV_get_functor)(t, name, arity);
  }
  int get_arg(int i, ref t, ref a) { return api<int(int, ref, ref)>(LV_SLOT_LV_get_arg)(i, t, a); }
  int unify(ref a, ref b) { return api<int(ref, ref)>(LV_SLOT_LV_unify)(a, b); }
  int compare(ref a, ref b) { return api<int(ref, ref)>(LV_SLOT_LV_compare)(a, b); }
  int is(int slot, ref t) { return api<int(ref)>(slot)(t); }
  std::string number_codes(ref t) {
    const char* text = nullptr;
    EXPECT_EQ(api<int(ref, const char**)>(LV_SLOT_LV_get_number_codes)(t, &text), 1);
    return text != nullptr ? text : "";
  }
  int put_number_codes(ref t, const char* text) {
    return api<int(ref, const char*)>(LV_SLOT_LV_put_number_codes)(t, text);
  }
  std::string string_of(ref t) {
    const char* text = nullptr;
    EXPECT_EQ(api<int(ref, const char**)>(LV_SLOT_LV_get_string)(t, &text), 1);
    return text != nullptr ? text : "";
  }

  const lv_api_table* table = nullptr;
};

