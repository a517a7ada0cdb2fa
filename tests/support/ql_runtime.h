// Test support: an engine that boot-loads the Prolog level and loads
// quick-load files through the reader, runs their predicates and reads the
// results back through term references; and a canonical text of terms that
// the reference side of the differential test prints the same way
// (tests/prolog/answers.pl).
//
//   qlrt::Runtime rt;
//   rt.start();
//   rt.load("lvds.ql", &error);           // the boot file, into prolog
//   rt.boot();                            // prolog:boot/0
//   rt.load("prog.ql", &error, "user");   // a program, into user
//   rt.solve(rt.find("answer", 2, "user"), [&](lv_term_ref args) { ... });
//
// A goal that ends in an exception nobody catches ends its solve; the
// exception is printed on standard error and rt.faults() counts it.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/atoms.h"
#include "core/builtins.h"
#include "core/flag_builtins.h"
#include "core/init_state.h"
#include "core/memory.h"
#include "core/numbers.h"
#include "core/predefined_atoms.h"
#include "core/termrefs.h"
#include "core/version_text.h"
#include "core/worker.h"
#include "embed/async_events.h"
#include "embed/process_builtins.h"
#include "embed/prolog_contract.h"
#include "embed/system_builtins.h"
#include "embed/timeout_timer.h"
#include "lvio/initialize.h"
#include "machine/bignum.h"
#include "machine/emulator.h"
#include "machine/instructions.h"
#include "machine/recovery.h"
#include "store/call_choicepoint.h"
#include "store/counter_builtins.h"
#include "store/db_results.h"
#include "store/predicates.h"
#include "store/qload.h"
#include "store/static_code.h"
#include "store/store_builtins.h"
#include "store/store_init.h"
#include "store/try_record.h"
#include "streams/socket_builtins.h"
#include "streams/std_streams.h"
#include "text/tokenizer_builtins.h"

namespace qlrt {

inline long& fault_count() {
  static long n = 0;
  return n;
}

class Canon;

class Runtime {
 public:
  bool start() {
    fault_count() = 0;
    lv_mem_default_hooks();
    if (lv_mem_init(0) != 0) return false;
    if (lvio_initialize(nullptr, nullptr, nullptr, 0) != 0) return false;
    lv_init_static_code();
    w_ = lv_create_worker();
    if (w_ == nullptr) return false;
    lv_set_current_worker(w_);
    // The events that other threads queue (the time-out timer's expiry).
    if (lv_event_queue_init(w_) < 0 || lv_timeout_init() < 0) return false;
    lv_init_process_table();
    lv_atoms_startup();
    lv_flags_init();
    lv_reset_reader_flags();
    lv_enter_emulator(w_, LV_ENTER_SETTINGS, nullptr);  // LV_PROFILE, LV_PREDTRACE
    lv_store_init();
    lv_define_kind_predicates();
    if (lv_init_std_streams() == 0) return false;
    lv_reset_current_streams();
    for (lv_builtin_table t : {lv_core_builtins(), lv_store_builtins(), lv_db_builtins(), lv_reader_builtins(),
                               lv_os_builtins(), lv_tunnel_builtins(), lv_embed_builtins(), lv_argv_builtins(),
                               lv_stream_builtins(), lv_system_builtins(), lv_socket_builtins(),
                               lv_timer_builtins(), lv_process_builtins()})
      for (size_t i = 0; i < t.count; i++)
        if (((t.records[i].flags >> 17) & 7) == LV_BUILTIN_PROLOG)
          c_pred(t.records[i].name, t.records[i].flags & 0xff, t.records[i].function);
    c_pred("$ql_complete", 0, prolog_ql_complete);
    // The profiler's built-ins, which the development system enters.
    c_pred("$reset_counters", 0, prolog_reset_counters);
    c_pred("$get_counters", 1, prolog_get_counters);
    c_pred("$get_coverage", 1, prolog_get_coverage);
    lv_lookup_role_predicates();
    return true;
  }

  void stop() {
    // The stream layer keeps its ring and standard streams in the engine's
    // memory: a stream left open must not reach the next runtime.
    lv_stream_close_all_std();
    (void)lv_timeout_deinit(w_);
    lv_stop_process_table();
    lv_event_queue_stop();
    lv_restore_version_atom(0);
    lv_set_prolog_initialized(false);
    if (w_ != nullptr && !lv_worker_destroyed()) lv_destroy_worker(w_);
    w_ = nullptr;
    (void)lvio_initialize(nullptr, nullptr, nullptr, 1);
    lv_mem_deinit();
  }

  lv_worker* worker() const { return w_; }
  // The canonical text of the last exception that ended a solve; quiet
  // leaves it unprinted.
  const std::string& last_exception() const { return last_exception_; }
  void set_quiet(bool quiet) { quiet_ = quiet; }
  long faults() const { return fault_count(); }

  // Loads a quick-load file: into module prolog as at boot (the role
  // predicates it defines take their roles), or into another module, its
  // directives run as the boot loader runs them.
  bool load(const char* path, std::string* error, const char* module = "prolog") {
    lv_stream* s = lv_qload_open(path);
    if (s == nullptr) {
      *error = std::string("cannot open ") + path;
      return false;
    }
    bool ok = std::string(module) == "prolog" ? boot_load(s) : module_load(s, module);
    lv_qload_close(s);
    if (!ok) {
      *error = std::string("loading ") + path + " failed" + (read_error_ ? std::string(": ") + lv_qload_error() : "");
      return false;
    }
    lv_lookup_role_predicates();
    return true;
  }

  // Runs prolog:boot/0, which sets up what the boot file's directives
  // cannot, then makes user the type-in module, as start-up does.
  bool boot() {
    lv_pred* p = find("boot", 0);
    bool ok = p != nullptr && solve(p, [](lv_term_ref) {}, 1) == 1;
    lv_set_typein_module(find_module(atom("user"), 1));
    return ok;
  }

  // Loads in memory the clauses of an item file (the compiler's items
  // form): every predicate of the file is defined first, then each clause
  // is made by $make_bytecode_object from its item list and added by
  // $compiled_clause.
  bool load_items(const char* path, std::string* error) {
    lv_stream* s = lv_qload_open(path);
    if (s == nullptr) {
      *error = std::string("cannot open ") + path;
      return false;
    }
    lv_set_typein_module(find_module(atom("prolog"), 1));
    lv_qload_push_registers();
    std::vector<lv_term_ref> clauses;
    lv_term out = 0;
    int rc;
    while ((rc = lv_qload_items(w_, s, LV_ATOM_NIL, &out, 0)) == 1) {
      lv_term_ref r = LV_new_term_ref();
      lv_term_ref_cell(w_, r) = out;
      clauses.push_back(r);
    }
    lv_qload_pop_registers();
    lv_qload_close(s);
    if (rc < 0) {
      *error = std::string("reading ") + path + ": " + lv_qload_error();
      return false;
    }
    std::vector<lv_pred*> defined;
    for (lv_term_ref r : clauses) {
      lv_term spec = arg_of(lv_term_ref_cell(w_, r), 0);
      lv_pred* p = parse_definition(spec, lv_typein_module());
      bool known = false;
      for (lv_pred* q : defined) known = known || q == p;
      if (known) continue;
      defined.push_back(p);
      w_->X[0] = spec;
      w_->X[1] = atom("compactcode");
      if (prolog_define_predicate(w_) == 0) return fail(error, "$define_predicate failed");
    }
    for (lv_term_ref r : clauses) {
      lv_term c = lv_term_ref_cell(w_, r);
      lv_term* ref = w_->H++;
      *ref = lv_make_ref(ref);
      w_->X[0] = arg_of(c, 1);
      w_->X[1] = arg_of(c, 2);
      w_->X[2] = LV_ATOM_NIL;
      w_->X[3] = LV_ATOM_NIL;
      w_->X[4] = *ref;
      if (prolog_make_bytecode_object(w_) == 0) return fail(error, "$make_bytecode_object failed");
      c = lv_term_ref_cell(w_, r);
      w_->X[0] = arg_of(c, 0);
      w_->X[1] = lv_deref(*ref);
      w_->X[2] = LV_ATOM_NIL;
      w_->X[3] = arg_of(c, 3);
      if (prolog_compiled_clause(w_) == 0) return fail(error, "$compiled_clause failed");
    }
    if (!clauses.empty()) LV_reset_term_refs(clauses.front());
    return true;
  }

  lv_pred* find(const char* name, unsigned arity, const char* module = "prolog") {
    return lv_lookup_predicate(find_module(atom(module), 1), atom(name), arity, LV_LOOKUP_FIND);
  }

  // Calls pred with fresh variables, held in term references, and calls
  // on_solution with them for every solution in order, up to limit
  // solutions (0: all). Returns the number of solutions. The call runs
  // under a query frame: an exception that nobody catches ends it.
  template <typename F>
  // Atomic words in given are the first arguments instead.
  long solve(lv_pred* pred, F on_solution, long limit = 0, std::vector<lv_term> given = {}) {
    unsigned arity = static_cast<unsigned>(pred->arity);
    lv_term_ref args = LV_new_term_refs(arity);
    for (unsigned i = 0; i < arity; i++) {
      if (i < given.size()) {
        lv_term_ref_cell(w_, args + i) = given[i];
        continue;
      }
      lv_term* cell = w_->H++;
      *cell = lv_make_ref(cell);
      lv_term_ref_cell(w_, args + i) = *cell;
    }
    // Positions from the high end of the choice stack, which may move.
    ptrdiff_t older = w_->choice_base - w_->B;
    lv_push_call_choicepoint(w_, &lv_static.exit_stub->record);
    ptrdiff_t frame = w_->choice_base - w_->B;
    w_->CP = lv_exit_code;
    for (unsigned i = 0; i < arity; i++) w_->X[i] = lv_term_ref_cell(w_, args + i);
    long n = 0;
    int rc = lv_enter_emulator_protected(w_, LV_ENTER_CALL, pred);
    while (rc == 1) {
      n++;
      on_solution(args);
      if (limit != 0 && n >= limit) break;
      rc = lv_enter_emulator_protected(w_, LV_ENTER_FAIL, nullptr);
    }
    if (rc < 0) uncaught();
    // The query frame and what its goal left above it go.
    if (w_->choice_base - w_->B >= frame) lv_make_choice_current(w_, w_->choice_base - older);
    LV_reset_term_refs(args);
    return n;
  }

  // The module unqualified goals of call/N run in.
  void set_typein(const char* module) { lv_set_typein_module(find_module(atom(module), 1)); }

  lv_term arg(lv_term_ref r) const { return lv_deref(lv_term_ref_cell(w_, r)); }

  lv_term atom(const char* text) { return lv_atom_from_text(text, LV_ATOM_FIND_OR_CREATE); }

 private:
  static lv_term arg_of(lv_term t, unsigned i) { return lv_deref(lv_struct_cells(lv_deref(t))[1 + i]); }

  static bool fail(std::string* error, const char* what) {
    *error = what;
    return false;
  }

  void c_pred(const char* name, unsigned arity, lv_builtin_function f) {
    lv_pred* p = lv_lookup_predicate(find_module(atom("prolog"), 1), atom(name), arity, LV_LOOKUP_CREATE);
    p->definition = reinterpret_cast<void*>(f);
    lv_set_definition_type(p, LV_DEF_C);
  }

  bool boot_load(lv_stream* s) {
    lv_qload_boot_report report{};
    int rc = lv_qload_boot_stream(w_, s, &report);
    read_error_ = report.read_error;
    return rc == 0 && report.complete && report.failed == 0 && report.not_run == 0;
  }

  // The boot loader's loop with another type-in module: every term is a
  // directive of a predicate of prolog written in C.
  bool module_load(lv_stream* s, const char* module) {
    lv_module* saved = lv_typein_module();
    lv_set_typein_module(find_module(atom(module), 1));
    lv_qload_push_registers();
    bool ok = true;
    lv_term* heap = w_->H;
    for (;;) {
      lv_term goal = 0;
      int r = lv_qload_items(w_, s, LV_ATOM_NIL, &goal, 0);
      if (r == 0) break;
      if (r < 0) {
        read_error_ = true;
        ok = false;
        break;
      }
      lv_term* b = w_->B;
      if (lv_qload_call_directive(w_, goal) == 0 || w_->B != b) {
        std::fprintf(stderr, "a directive failed or raised an error\n");
        while (w_->B < b) lv_pop_call_choicepoint(w_);
        ok = false;
      }
      w_->H = heap;
    }
    ok = ok && lv_qload_file_complete();
    lv_qload_pop_registers();
    lv_set_typein_module(saved);
    return ok;
  }

  void uncaught();

  bool read_error_ = false;
  bool quiet_ = false;
  std::string last_exception_;
  lv_worker* w_ = nullptr;
};

// Canonical text: atoms quoted ('\\', '\'' and control characters escaped),
// integers in decimal, floats as M*2^E exactly with M odd (0.0 for zero),
// variables _G0, _G1, ... by first appearance, compound terms in functional
// notation (lists as '.'(H,T)).
class Canon {
 public:
  std::string text(lv_term t) {
    std::string out;
    put(lv_deref(t), out);
    return out;
  }

 private:
  void put_atom(lv_term a, std::string& out) {
    out += '\'';
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(lv_atom_text(a)); *p != 0; p++) {
      if (*p == '\\' || *p == '\'') {
        out += '\\';
        out += static_cast<char>(*p);
      } else if (*p < 32 || *p == 127) {
        char b[8];
        std::snprintf(b, sizeof b, "\\x%x\\", *p);
        out += b;
      } else {
        out += static_cast<char>(*p);
      }
    }
    out += '\'';
  }

  static void put_float(double d, std::string& out) {
    if (d == 0.0) {
      out += "0.0";
      return;
    }
    int e = 0;
    double m = std::frexp(std::fabs(d), &e);
    int64_t M = static_cast<int64_t>(std::ldexp(m, 53));
    int64_t E = e - 53;
    while ((M & 1) == 0) {
      M >>= 1;
      E++;
    }
    out += (d < 0 ? "-" : "") + std::to_string(M) + "*2^" + std::to_string(E);
  }

  // Recurses on all arguments but the last, which the loop takes, so that
  // long lists do not nest calls.
  void put(lv_term t, std::string& out) {
    size_t closes = 0;
    for (;;) {
      t = lv_deref(t);
      if (lv_is_ref(t)) {
        size_t i = 0;
        while (i < vars_.size() && vars_[i] != t) i++;
        if (i == vars_.size()) vars_.push_back(t);
        out += "_G" + std::to_string(i);
        break;
      }
      if (lv_is_atom(t)) {
        put_atom(t, out);
        break;
      }
      if (lv_is_small(t)) {
        out += std::to_string(lv_small_value(t));
        break;
      }
      if (lv_is_float_box(t)) {
        put_float(lv_float_value(t), out);
        break;
      }
      if (lv_is_integer_box(t)) {
        char* text = lv_bignum_to_text(lv_struct_cells(t), 10, 0);
        out += text;
        LV_free(text);
        break;
      }
      const lv_term* args;
      unsigned arity;
      if (lv_is_list(t)) {
        out += "'.'(";
        args = lv_list_cells(t);
        arity = 2;
      } else {
        lv_term f = lv_struct_cells(t)[0];
        put_atom(lv_functor_atom(f), out);
        out += '(';
        args = lv_struct_cells(t) + 1;
        arity = lv_functor_arity(f);
      }
      for (unsigned i = 0; i + 1 < arity; i++) {
        put(args[i], out);
        out += ',';
      }
      closes++;
      t = args[arity - 1];
    }
    out.append(closes, ')');
  }

  std::vector<lv_term> vars_;
};

// The exception a query ended with, on standard error.
inline void Runtime::uncaught() {
  fault_count()++;
  lv_term e = lv_decode_pending_db_node(w_);
  std::string text = e != 0 ? Canon().text(e) : std::string("?");
  last_exception_ = text;
  if (!quiet_) std::fprintf(stderr, "uncaught exception: %s\n", text.c_str());
}

}  // namespace qlrt
