// Quick-load files at boot and from Prolog: opening and closing, running
// directives, boot loading, and the built-ins $qread, $push_qlinfo,
// $pop_qlinfo and $ql_complete.
//
// Every file the compiler writes ends with the directive '$ql_complete':
// boot loading reports a file whose last term was not that directive, so
// that a truncated boot file is never taken for a whole one.
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "core/atoms.h"
#include "core/builtins.h"
#include "core/errors.h"
#include "core/fault.h"
#include "core/memory.h"
#include "core/predefined_atoms.h"
#include "core/unify.h"
#include "store/call_choicepoint.h"
#include "store/predicates.h"
#include "store/qload.h"
#include "streams/diagnostics.h"
#include "streams/stream_api.h"

namespace {

constexpr uint64_t QREAD_WANTS = LV_CAP_QUIET | LV_CAP_INPUT | LV_CAP_BINARY;

// Name/Arity of a goal, for messages.
void describe(lv_term goal, char* buffer, size_t size) {
  goal = lv_deref(goal);
  if (lv_is_atom(goal)) {
    std::snprintf(buffer, size, "'%s'/0", lv_atom_text(goal));
  } else if (lv_is_struct(goal) && !lv_is_box_header(lv_struct_cells(goal)[0])) {
    lv_term f = lv_struct_cells(goal)[0];
    std::snprintf(buffer, size, "'%s'/%u", lv_atom_text(lv_functor_atom(f)), lv_functor_arity(f));
  } else {
    std::snprintf(buffer, size, "a term that is no goal");
  }
}

// The C routine of a goal's predicate in prolog (null when it has none),
// with the goal's arguments in the argument registers.
lv_builtin_function c_routine(lv_worker* w, lv_term goal) {
  lv_term* args = nullptr;
  lv_pred* p = find_definition(lv_prolog_module(), goal, &args, LV_LOOKUP_FIND);
  if (p == nullptr || lv_definition_type(p) != LV_DEF_C || p->definition == nullptr) return nullptr;
  for (int32_t i = 0; i < p->arity; i++) w->X[i] = args[i];
  return reinterpret_cast<lv_builtin_function>(p->definition);
}

enum directive_outcome { RAN, FAILED, RAISED, FAULTED, NOT_RUN };

// Runs a boot directive. An error it raises either pushes the error
// handler's choicepoint (taken off again here) or, while the handlers do
// not exist yet, ends in a fault, caught by an abort record of our own.
directive_outcome run_directive(lv_worker* w, lv_term goal) {
  lv_builtin_function f = c_routine(w, goal);
  if (f == nullptr) return NOT_RUN;
  lv_term* b = w->B;
  lv_jump_record record;
  record.type = 0;
  record.self = &record;
  lv_jump_record* previous = lv_get_abort_env();
  lv_set_abort_env(&record);
  volatile int result = 0;
  if (setjmp(record.buffer) != 0) {
    lv_set_abort_env(previous);
    return FAULTED;
  }
  result = f(w);
  lv_set_abort_env(previous);
  if (w->B < b) {
    while (w->B < b) lv_pop_call_choicepoint(w);
    return RAISED;
  }
  return result != 0 ? RAN : FAILED;
}

}  // namespace

lv_stream* lv_qload_open(const char* path) {
  // A "url:" name (either case) is an embedded resource: the file-name
  // layer opens it.
  uint32_t name = path != nullptr && strncasecmp(path, "url:", 4) == 0 ? LV_FOPEN_NAME_LAYER : 0;
  lv_stream* s = nullptr;
  return LV_fopen(path, 0, LV_FOPEN_READ | LV_FOPEN_BINARY | name, &s) < 0 ? nullptr : s;
}

int lv_qload_close(lv_stream* stream) {
  if (LV_fclose(stream, 0) >= 0) return 0;
  LV_fclose(stream, 1);
  return -1;
}

int lv_qload_call_directive(lv_worker* w, lv_term goal) {
  lv_builtin_function f = c_routine(w, goal);
  return f == nullptr ? 0 : f(w);
}

int lv_qload_boot_stream(lv_worker* w, lv_stream* stream, lv_qload_boot_report* report) {
  lv_qload_boot_report rep{};
  const char* name = lv_stream_name(stream);
  lv_set_typein_module(lv_prolog_module());
  lv_qload_push_registers();
  w->H = lv_choice_view(w->B)->saved_h();
  for (;;) {
    lv_term goal = 0;
    int r = lv_qload_items(w, stream, LV_ATOM_NIL, &goal, 0);
    if (r == 0) break;
    if (r < 0) {
      lv_ttyprintf("! Boot file %s: %s\n", name, lv_qload_error());
      rep.read_error = true;
      break;
    }
    rep.terms++;
    char what[600];
    describe(goal, what, sizeof what);
    switch (run_directive(w, goal)) {
      case RAN:
        rep.directives_run++;
        break;
      case FAILED:
        rep.failed++;
        lv_ttyprintf("! Boot file %s: directive %s failed\n", name, what);
        break;
      case RAISED:
      case FAULTED:
        rep.failed++;
        lv_ttyprintf("! Boot file %s: directive %s raised an error: %s\n", name, what, lv_pending_error_message());
        break;
      case NOT_RUN:
        rep.not_run++;
        lv_ttyprintf("! Boot file %s: %s is not a predicate of prolog defined in C: it cannot run at boot\n", name, what);
        break;
    }
    // The term is discarded.
    w->H = lv_choice_view(w->B)->saved_h();
  }
  rep.complete = lv_qload_file_complete();
  if (!rep.complete && !rep.read_error)
    lv_ttyprintf("! Boot file %s ends without '$ql_complete': it is not complete\n", name);
  lv_qload_pop_registers();
  lv_choice_view(w->B)->h = reinterpret_cast<lv_term>(w->H);
  lv_make_choice_current(w, w->B);
  if (report != nullptr) *report = rep;
  return rep.read_error || !rep.complete || rep.failed != 0 || rep.not_run != 0 ? -1 : 0;
}

char* lv_qload_patch_name(const char* path) {
  size_t length = path != nullptr ? std::strlen(path) : 0;
  if (length < 3 || std::strcmp(path + length - 3, ".ql") != 0) return nullptr;
  // The base name with "p" added before ".ql".
  char* patch = static_cast<char*>(lv_mem_alloc(length + 2, lv_mem_flags(LV_CAT_MISC)));
  std::memcpy(patch, path, length - 3);
  std::memcpy(patch + length - 3, "p.ql", 5);
  return patch;
}

int lv_qload_boot(lv_worker* w, const char* path) {
  lv_stream* s = lv_qload_open(path);
  if (s == nullptr) {
    lv_ttyprintf("! Boot file %s cannot be opened\n", path);
    return -1;
  }
  int result = lv_qload_boot_stream(w, s, nullptr);
  if (lv_qload_close(s) < 0) result = -1;
  // A file whose name does not end in ".ql" has no patch file.
  if (char* patch = lv_qload_patch_name(path)) {
    lv_stream* p = lv_qload_open(patch);
    if (p != nullptr) {
      if (lv_qload_boot_stream(w, p, nullptr) < 0) result = -1;
      if (lv_qload_close(p) < 0) result = -1;
    }
    lv_mem_free(patch, std::strlen(patch) + 1, lv_mem_flags(LV_CAT_MISC));
  }
  lv_copy_module_predicates();
  lv_set_typein_module(find_module(LV_ATOM_USER, 1));
  return result;
}

int prolog_qread(lv_worker* w) {
  lv_stream* s = lv_get_stream_arg(w->X[0], QREAD_WANTS, 0);
  if (s == nullptr) return 0;
  lv_term term = 0;
  int r = lv_qload_items(w, s, lv_deref(w->X[1]), &term, 3);
  if (r < 0) {
    lv_set_pending_error(LV_ERROR_SYSTEM, lv_qload_error(), lv_deref(w->X[0]));
    return lv_raise_builtin_error(w, LV_ATOM_PROLOG, lv_atom_from_text("$qread", LV_ATOM_FIND_OR_CREATE), 3, 1);
  }
  return cunify(w, w->X[2], r == 0 ? lv_make_small(-1) : term);
}
