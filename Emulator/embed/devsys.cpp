// The development system's start-up and its C built-ins.
#include "embed/devsys.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "core/atoms.h"
#include "core/memory.h"
#include "core/numbers.h"
#include "core/predefined_atoms.h"
#include "core/stack_shift.h"
#include "core/termrefs.h"
#include "core/unify.h"
#include "embed/api_exceptions.h"
#include "embed/async_events.h"
#include "embed/builtin_registry.h"
#include "embed/foreign_resources.h"
#include "embed/queries.h"
#include "embed/system_builtins.h"
#include "embed/text_input.h"
#include "lvio/result_codes.h"
#include "store/code_walk.h"
#include "store/counter_builtins.h"
#include "store/source_table.h"
#include "store/source_table_builtins.h"
#include "store/debugger_boxes.h"
#include "store/debugger_frames.h"
#include "store/debugger_ports.h"
#include "store/debugger_slots.h"
#include "store/debugger_spypoints.h"
#include "store/debugger_state.h"
#include "streams/file_names.h"
#include "streams/paths.h"

namespace {

lv_frontend_params stored;  // the copy; its texts are LV_malloc blocks
bool devsys_ready;
bool init_file_answered;  // once per process

void free_stored() {
  if (stored.files != nullptr) {
    for (uint64_t i = 0; i < stored.file_count; i++) LV_free(stored.files[i]);
    LV_free(stored.files);
  }
  LV_free(stored.restore_file);
  LV_free(stored.goal);
  LV_free(stored.ide_attach);
  LV_free(stored.patch_file);
  stored = {};
  stored.size = sizeof(lv_frontend_params);
}

bool copy_text(const char* from, char** to) {
  *to = nullptr;
  if (from == nullptr) return true;
  size_t n = std::strlen(from) + 1;
  *to = static_cast<char*>(LV_malloc(n));
  if (*to == nullptr) return false;
  std::memcpy(*to, from, n);
  return true;
}

// The copy of the block: 0 or a negative code, nothing stored on failure.
int64_t copy_block(const lv_frontend_params* block) {
  lv_frontend_params defaults{};
  defaults.size = sizeof(lv_frontend_params);
  if (block == nullptr) block = &defaults;
  if (block->size != sizeof(lv_frontend_params)) return LVIO_E_PARAMETER_ERROR;
  free_stored();
  stored.no_init_file = block->no_init_file;
  stored.nologo = block->nologo;
  stored.noinfo = block->noinfo;
  bool ok = true;
  if (block->file_count != 0 && block->files != nullptr) {
    uint64_t bytes;
    if (__builtin_mul_overflow(block->file_count, sizeof(char*), &bytes)) {
      ok = false;
    } else {
      stored.files = static_cast<char**>(LV_malloc(bytes));
      if (stored.files == nullptr) {
        ok = false;
      } else {
        std::memset(stored.files, 0, bytes);
        stored.file_count = block->file_count;
        for (uint64_t i = 0; ok && i < block->file_count; i++) ok = copy_text(block->files[i], &stored.files[i]);
      }
    }
  }
  ok = ok && copy_text(block->restore_file, &stored.restore_file) && copy_text(block->patch_file, &stored.patch_file) &&
       copy_text(block->goal, &stored.goal) && copy_text(block->ide_attach, &stored.ide_attach);
  if (!ok) {
    free_stored();
    return LVIO_E_OUT_OF_MEMORY;
  }
  return 0;
}

int64_t define_builtins() {
  if (!lv_builtin_registry_merge(lv_devsys_builtins())) return LVIO_E_OUT_OF_MEMORY;
  devsys_ready = true;
  return 0;
}

// Takes a stored text out of the copy: the caller frees it.
char* take(char** slot) {
  char* text = *slot;
  *slot = nullptr;
  return text;
}

int unify_atom_text(lv_worker* w, lv_term target, const char* text) {
  lv_term atom = lv_atom_from_text(text, LV_ATOM_FIND_OR_CREATE);
  return atom != 0 && cunify(w, target, atom);
}

int take_atom(lv_worker* w, char** slot) {
  if (!devsys_ready) return 0;
  char* text = take(slot);
  if (text == nullptr) return 0;
  int ok = unify_atom_text(w, w->X[0], text);
  LV_free(text);
  return ok;
}

// The term read from a stored text, once; a syntax error raises the
// reader's exception.
int take_term(lv_worker* w, char** slot) {
  if (!devsys_ready) return 0;
  char* text = take(slot);
  if (text == nullptr) return 0;
  lv_term_ref arg = LV_new_term_ref();  // the argument outlives the query's use of the registers
  lv_term_ref_cell(w, arg) = w->X[0];
  lv_term_ref value = LV_new_term_ref();
  const lv_term_ref none[] = {0};
  int r = LV_read_from_string(value, text, none);
  LV_free(text);
  int ok = 0;
  if (r == 1) {
    ok = cunify(w, lv_term_ref_cell(w, arg), lv_term_ref_cell(w, value));
  } else if (r == -1) {
    lv_term_ref ball = LV_new_term_ref();
    if (LV_exception_term(ball) == 1) (void)LV_raise_exception(ball);
  }
  LV_reset_term_refs(arg);
  return ok;
}

int prolog_command_option(lv_worker* w) {
  if (!devsys_ready) return 0;
  lv_term name = lv_deref(w->X[0]);
  if (!lv_is_atom(name)) return 0;
  const char* text = lv_atom_text(name);
  if (std::strcmp(text, "nologo") == 0) return stored.nologo != 0;
  if (std::strcmp(text, "noinfo") == 0) return stored.noinfo != 0;
  return 0;
}

int prolog_init_file(lv_worker* w) {
  if (!devsys_ready || init_file_answered) return 0;
  init_file_answered = true;
  if (stored.no_init_file != 0) return 0;
  for (const char* name : {"~/.lorvikarc", "~/lorvika.ini"}) {
    char* path = lv_normalize_file_name(name, nullptr, 0);
    if (path == nullptr) continue;
    bool found = lv_file_access_ok(path) != 0 && lv_is_regular_file(path) != 0;
    int ok = found ? unify_atom_text(w, w->X[0], path) : 0;
    LV_free(path);
    if (found) return ok;
  }
  return 0;
}

int prolog_flag_file(lv_worker* w) {
  if (!devsys_ready || stored.files == nullptr || stored.file_count == 0) return 0;
  lv_heap_room(w, static_cast<int64_t>(2 * stored.file_count + LV_HEAP_RESERVE_CELLS), 1);
  lv_term list = LV_ATOM_NIL;
  for (uint64_t i = stored.file_count; i-- > 0;) {
    lv_term atom = lv_atom_from_text(stored.files[i] != nullptr ? stored.files[i] : "", LV_ATOM_FIND_OR_CREATE);
    if (atom == 0) return 0;
    lv_term* cell = w->H;
    w->H += 2;
    cell[0] = atom;
    cell[1] = list;
    list = lv_make_list(cell);
  }
  for (uint64_t i = 0; i < stored.file_count; i++) LV_free(stored.files[i]);
  LV_free(stored.files);
  stored.files = nullptr;
  stored.file_count = 0;
  return cunify(w, w->X[0], list);
}

int prolog_flag_goal(lv_worker* w) { return take_term(w, &stored.goal); }
int prolog_flag_ketch(lv_worker* w) { return take_term(w, &stored.ide_attach); }
int prolog_restore_file(lv_worker* w) { return take_atom(w, &stored.restore_file); }
int prolog_patch_file(lv_worker* w) { return take_atom(w, &stored.patch_file); }

// A code address: a small integer or a one-word boxed integer.
bool address_arg(lv_term t, const void** p) {
  t = lv_deref(t);
  int64_t v;
  if (lv_is_small(t)) {
    v = lv_small_value(t);
  } else if (lv_is_integer_box(t) && lv_box_value_words(*lv_struct_cells(t)) == 1) {
    v = static_cast<int64_t>(lv_struct_cells(t)[1]);
  } else {
    return false;
  }
  *p = reinterpret_cast<const void*>(static_cast<uintptr_t>(v));
  return true;
}

int prolog_search_table_comp(lv_worker* w) {
  const void* pc;
  lv_code_position pos;
  if (!address_arg(w->X[0], &pc) || lv_code_owner_info(pc, &pos) == 0 || pos.line <= 0) return 0;
  lv_heap_room(w, 3, 3);
  return cunify(w, w->X[1], pos.source_key) && cunify(w, w->X[2], lv_make_integer(w, pos.line));
}

// The nearest continuation, from the current one outwards through the
// environment frames, that lies in a compiled clause with a source line.
int prolog_ancestor_at(lv_worker* w) {
  lv_term out = lv_deref(w->X[0]);
  if (!lv_is_ref(out)) return 0;
  const uint32_t* cp = w->CP;
  lv_term* e = w->E;
  while (e != nullptr && e >= w->local_base && e < w->local_end) {
    lv_code_position pos;
    if (cp != nullptr && lv_code_owner_info(cp, &pos) != 0 && pos.line > 0) {
      lv_heap_room(w, 3, 1);
      return cunify(w, w->X[0], lv_make_integer(w, static_cast<int64_t>(reinterpret_cast<uintptr_t>(cp))));
    }
    const lv_env_frame* f = lv_frame_view(e);
    lv_term* previous = f->previous();
    cp = f->continuation();
    if (previous == e) break;
    e = previous;
  }
  return 0;
}

int prolog_dump_ds_pred_table(lv_worker*);

const lv_builtin records[] = {
    LV_BUILTIN("$reset_ctrlc_pending", prolog_reset_ctrlc_pending, 0),
    LV_BUILTIN("$debugger_global", prolog_debugger_global, 2),
    LV_BUILTIN("$sync_debugger", prolog_sync_debugger, 0),
    LV_BUILTIN("$get_aux", prolog_get_aux, 2),
    LV_BUILTIN("$put_aux", prolog_put_aux, 2),
    LV_BUILTIN("$leash_mode", prolog_leash_mode, 2),
    LV_BUILTIN("$breaklevel", prolog_breaklevel, 2),
    LV_BUILTIN("$prev_mutable", prolog_prev_mutable, 2),
    LV_BUILTIN("$get_slot", prolog_get_slot, 4),
    LV_BUILTIN("$blocked_goal", prolog_blocked_goal, 2),
    LV_BUILTIN("$choicepoint_arg", prolog_choicepoint_arg, 3),
    LV_BUILTIN("$invalid_choicepoint", prolog_invalid_choicepoint, 1),
    LV_BUILTIN("$exit_setup", prolog_exit_setup, 3),
    LV_BUILTIN("$exit_port_conclusion", prolog_exit_port_conclusion, 2),
    LV_BUILTIN("$box_setup", prolog_box_setup, 5),
    LV_BUILTIN("$port_setup", prolog_port_setup, 5),
    LV_BUILTIN("$port_debugger_setup", prolog_port_debugger_setup, 3),
    LV_BUILTIN("$call_port_conclusion", prolog_call_port_conclusion, 3),
    LV_BUILTIN("$port_interaction_setup", prolog_port_interaction_setup, 1),
    LV_BUILTIN("$spypoint", prolog_spypoint, 4),
    LV_BUILTIN("$search_table_comp", prolog_search_table_comp, 3),
    LV_BUILTIN("$ancestor_at", prolog_ancestor_at, 1),
    LV_BUILTIN("$new_table_interp", prolog_new_table_interp, 2),
    LV_BUILTIN("$search_table_interp", prolog_search_table_interp, 3),
    LV_BUILTIN("$instance_has_line", prolog_instance_has_line, 3),
    LV_BUILTIN("$comp_has_line", prolog_comp_has_line, 5),
    LV_BUILTIN("$command_option", prolog_command_option, 1),
    LV_BUILTIN("$init_file", prolog_init_file, 1),
    LV_BUILTIN("$flag_file", prolog_flag_file, 1),
    LV_BUILTIN("$flag_goal", prolog_flag_goal, 1),
    LV_BUILTIN("$flag_ketch", prolog_flag_ketch, 1),
    LV_BUILTIN("$restore_file", prolog_restore_file, 1),
    LV_BUILTIN("$patch_file", prolog_patch_file, 1),
    LV_BUILTIN("$LV_MAIN_PREFIX", prolog_lv_main_prefix, 1),
    LV_BUILTIN("$dump_ds_pred_table", prolog_dump_ds_pred_table, 0),
    LV_BUILTIN("$reset_counters", prolog_reset_counters, 0),
    LV_BUILTIN("$get_counters", prolog_get_counters, 1),
    LV_BUILTIN("$get_coverage", prolog_get_coverage, 1),
};
constexpr size_t RECORD_COUNT = sizeof records / sizeof records[0];

int prolog_dump_ds_pred_table(lv_worker*) {
  lv_dump_builtin_records(stdout, records, RECORD_COUNT);
  std::fflush(stdout);
  return 1;
}

// Reads a goal and runs it as prolog:call/1 (LV_query): the query's
// result, or 0 when the text does not read. Term references made are
// released.
int run_goal(const char* text) {
  lv_term_ref goal = LV_new_term_ref();
  const lv_term_ref none[] = {0};
  int r = LV_read_from_string(goal, text, none);
  if (r == 1) {
    lv_pred* call = LV_predicate("call", 1, "prolog");
    r = call != nullptr ? LV_query(call, goal) : 0;
  } else {
    r = 0;
  }
  LV_reset_term_refs(goal);
  return r;
}

int64_t goal_code(int r) {
  if (r == 1) return 0;
  if (r == 0 || r == -1) return LVIO_E_ERROR;
  return LVIO_E_IMPOSSIBLE_ERROR;
}

}  // namespace

lv_builtin_table lv_devsys_builtins() { return {records, RECORD_COUNT}; }

int64_t lv_init_ds(const lv_frontend_params* block) {
  int64_t rc = copy_block(block);
  if (rc < 0) return rc;
  lv_reset_source_table();
  return define_builtins();
}

int64_t lv_dev_init(const lv_frontend_params* block, int flags) {
  int64_t rc = lv_init_ds(block);
  if (rc < 0) return rc;
  if ((flags & LV_DEVSYS_SKIP_GOALS) == 0) {
    rc = goal_code(run_goal(
        "prolog:('$informational_flag'(Info, off),reboot2([nologo]),'$informational_flag'(_, Info))."));
    if (rc < 0) return rc;
    rc = goal_code(run_goal("prolog:(reset_debugger(_))."));
    if (rc < 0) return rc;
    // The debugger's query stays open for the whole run: later queries nest
    // above it.
    lv_term_ref goal = LV_new_term_ref();
    const lv_term_ref none[] = {0};
    if (LV_read_from_string(goal, "prolog:(debugger_invocation, adjust_debugger).", none) != 1) return LVIO_E_ERROR;
    lv_pred* call = LV_predicate("call", 1, "prolog");
    lv_query_id q = call != nullptr ? LV_open_query(call, goal) : 0;
    if (q == 0) return LVIO_E_ERROR;
    if (LV_next_solution(q) != 1) {
      LV_close_query(q);
      return LVIO_E_ERROR;
    }
  }
  if ((flags & LV_DEVSYS_ATTACH) != 0) {
    rc = goal_code(run_goal(
        "prolog:(repeat, prolog_catch(ketch_attach,error(system_error,system_error('LVIO_E_NET_CONNREFUSED')),"
        "(sleep(1),fail)), !)."));
    if (rc < 0) return rc;
  }
  if ((flags & (LV_DEVSYS_SKIP_GOALS | LV_DEVSYS_NO_TRACE)) != 0) return 0;
  int r = run_goal("set_prolog_flag(source_info, on).");
  if (r != 1 && r != 0 && r != -1) return LVIO_E_IMPOSSIBLE_ERROR;
  return goal_code(run_goal("trace."));
}

void lv_devsys_reset() {
  free_stored();
  lv_debugger_reset();
  lv_free_source_builder();
  devsys_ready = false;
}
