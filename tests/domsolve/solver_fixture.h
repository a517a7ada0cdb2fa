// Test support: the solver's kernel linked into a test program, over a real
// engine (the emulator, the program store, the error-term handler's
// stand-in), reached only through the dispatch record as the plug-in
// reaches it. The environment is built and the solver state initialised as
// the runtime's loader would, with module domsolve an attribute module.
#pragma once

#include <string>

#include "core/attributes.h"
#include "embed/query_programs.h"
#include "embed/term_interface.h"
#include "kernel/queues.h"
#include "kernel/runtime.h"
#include "kernel/solver_state.h"
#include "lorvika.h"
#include "store/predicates.h"
#include "support/term_text.h"

class SolverTest : public QueryProgramTest {
 protected:
  void SetUp() override {
    QueryProgramTest::SetUp();
    r = new terms::reader(w);
    ASSERT_NE(lv_attr_module_register(find_module(LV_atom_from_string("domsolve"), 1)), 0);
    const lv_dispatch* d = LV_get_dispatch_40900(nullptr);
    env = {d->c_interface, d->support, 0, w};
    begin_call();
    domsolve_init(&env, 0);
    state = fd_state(&env);
  }
  void TearDown() override {
    if (env.state != 0) domsolve_deinit(&env, 0);
    delete r;
    QueryProgramTest::TearDown();
  }

  // A C call in progress, as the foreign-call instructions set it up: its
  // status is cleared when it fails or raises.
  void begin_call() { w->fcall.status = 1; }
  bool call_failed() const { return w->fcall.status == 0; }

  lv_term read(const std::string& text) { return r->read(text); }
  std::string text(lv_term t) { return r->write(t); }
  // A term reference holding the term.
  lv_term_ref ref(lv_term t) {
    lv_term_ref k = LV_new_term_ref();
    w->termrefs[k].term = t;
    return k;
  }
  lv_term_ref ref(const std::string& t) { return ref(read(t)); }
  std::string text_of(lv_term_ref k) { return text(w->termrefs[k].term); }
  // The items of a queue from head to tail, as text.
  std::string queue_text(int q) {
    const fd_queue& queue = state->queues->queues[q];
    std::string out;
    for (fd_termref_slot* s = queue.head; s != queue.tail;) {
      out += text(s->term) + " ";
      if (++s == queue.end) s = queue.start;
    }
    return out;
  }

  lv_foreign_env env{};
  fd_solver_state* state = nullptr;
  terms::reader* r = nullptr;
};
