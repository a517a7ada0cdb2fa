// Test support: calling built-ins written in C directly, with arguments read
// from text and results written back as text.
#pragma once

#include <initializer_list>
#include <string>

#include "core/builtins.h"
#include "store/call_choicepoint.h"
#include "support/store_fixture.h"
#include "support/term_text.h"
#include "support/terms.h"

class BuiltinTest : public StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    r = new terms::reader(w);
  }
  void TearDown() override {
    delete r;
    StoreTest::TearDown();
  }

  // Calls f with the terms in X0, X1, ...
  int run(lv_builtin_function f, std::initializer_list<lv_term> args) {
    unsigned i = 0;
    for (lv_term a : args) w->X[i++] = a;
    return f(w);
  }
  // The same with the arguments as text.
  int run(lv_builtin_function f, std::initializer_list<const char*> args) {
    unsigned i = 0;
    for (const char* a : args) w->X[i++] = r->read(a);
    return f(w);
  }

  lv_term read(const char* text) { return r->read(text); }
  lv_term var(const char* name) { return r->var(name); }
  std::string text(lv_term t) { return r->write(t); }
  std::string text(const char* name) { return r->write(r->var(name)); }

  // A choicepoint that makes every term built so far older than it.
  void push_choicepoint() { lv_push_call_choicepoint(w, &lv_static.fail_alternative); }

  terms::reader* r = nullptr;
};
