// The saved-state built-ins and the restore of start-up.
#include "store/saved_state.h"

#include <cstdio>
#include <cstring>

#include "core/atoms.h"
#include "core/errors.h"
#include "core/fd_hooks.h"
#include "core/init_state.h"
#include "core/memory.h"
#include "core/predefined_atoms.h"
#include "core/termrefs.h"
#include "lvio/file_operations.h"
#include "store/state_io.h"
#include "store/state_reader.h"
#include "store/state_reset.h"
#include "store/state_services.h"
#include "store/state_writer.h"
#include "streams/diagnostics.h"
#include "streams/stream.h"

namespace {

// The pending-error code of a refused state (saved-state faults that no
// lvio code names): system_error with the message.
constexpr int32_t SAVED_STATE_ERROR = LV_ERROR_SAVED_STATE;

constexpr lv_term ATOM_SAVE = lv_predefined_atom(251);
constexpr lv_term ATOM_RESTORE = lv_predefined_atom(252);

// ---- The arguments of a built-in, kept across the queries it runs ---------

struct arguments {
  lv_worker* w;
  lv_term_ref first;
  unsigned count;
  lv_term get(unsigned i) const { return lv_deref(lv_term_ref_cell(w, first + static_cast<lv_term_ref>(i))); }
};

arguments keep_arguments(lv_worker* w, unsigned n) {
  arguments a = {w, LV_new_term_refs(static_cast<int32_t>(n)), n};
  for (unsigned i = 0; i < n; i++) lv_term_ref_cell(w, a.first + static_cast<lv_term_ref>(i)) = w->X[i];
  return a;
}

// Raises the pending error against argument of the goal the built-in was
// given, or of the built-in's own goal when it was given none; at boot
// (Prolog not initialised) the built-in just fails.
int raise(arguments& a, unsigned goal_index, lv_term name, int64_t argument) {
  lv_worker* w = a.w;
  lv_term goal = a.get(goal_index);
  if (!lv_prolog_initialized()) {
    LV_reset_term_refs(a.first);
    return 0;
  }
  if (lv_is_struct(goal) || (lv_is_atom(goal) && goal != LV_ATOM_NIL)) {
    LV_reset_term_refs(a.first);
    return lv_raise_error_goal(w, goal, argument);
  }
  for (unsigned i = 0; i < a.count; i++) w->X[i] = a.get(i);
  LV_reset_term_refs(a.first);
  return lv_raise_builtin_error(w, LV_ATOM_PROLOG, name, a.count, argument);
}

// The pending error of a failed operation: a refusal of this Part's own
// (LVIO_E_MISC_ERROR_1, or the writer's LVIO_E_PARAMETER_ERROR) as the
// saved-state error with its message, anything else as the I/O error of
// its code for the file.
void set_error(int64_t code, const char* message, lv_term file, bool output) {
  if (code == LVIO_E_MISC_ERROR_1 || (output && code == LVIO_E_PARAMETER_ERROR)) {
    lv_set_pending_error(SAVED_STATE_ERROR, message, output ? file : lv_make_small(0));
    return;
  }
  lv_raise_lvio_error(code, output, file);
}

bool file_argument(lv_term t, lv_term culprit_holder[1]) {
  culprit_holder[0] = t;
  if (lv_is_ref(t)) {
    lv_set_pending_error(LV_ERROR_INSTANTIATION, "", t);
    return false;
  }
  if (!lv_is_atom(t)) {
    lv_set_pending_error(LV_ERROR_NOT_AN_ATOM, "", t);
    return false;
  }
  return true;
}

// ---- Writing ---------------------------------------------------------------------

struct names {
  char** items;
  size_t count;
  size_t capacity;
  bool failed;
};

void add_name(const char* name, void* arg) {
  auto* n = static_cast<names*>(arg);
  if (n->failed) return;
  if (n->count == n->capacity) {
    size_t grown = n->capacity == 0 ? 8 : 2 * n->capacity;
    auto** items = static_cast<char**>(LV_realloc(n->items, grown * sizeof(char*)));
    if (items == nullptr) {
      n->failed = true;
      return;
    }
    n->items = items;
    n->capacity = grown;
  }
  size_t length = std::strlen(name);
  char* copy = static_cast<char*>(LV_malloc(length + 1));
  if (copy == nullptr) {
    n->failed = true;
    return;
  }
  std::memcpy(copy, name, length + 1);
  n->items[n->count++] = copy;
}

void free_names(names& n) {
  for (size_t i = 0; i < n.count; i++) LV_free(n.items[i]);
  LV_free(n.items);
}

// Writes a state: 0, or a negative code with the reason in message; a
// failed write leaves no file behind.
int64_t save(lv_worker* w, const char* file, uint32_t kind, const arguments* lists, char* message, size_t size) {
  names resources = {nullptr, 0, 0, false};
  if (!lv_state_loaded_resources(add_name, &resources) || resources.failed) {
    free_names(resources);
    std::snprintf(message, size, "the loaded foreign resources cannot be listed");
    return LVIO_E_INTERNAL_ERROR;
  }
  lv_saved_state_io* io = lv_state_io_new(w);
  if (io == nullptr) {
    free_names(resources);
    std::snprintf(message, size, "out of memory");
    return LVIO_E_OUT_OF_MEMORY;
  }
  io->selected = lv_state_selected_files(w);
  int64_t rc = lv_save_open(io, file, kind, resources.items, resources.count);
  free_names(resources);
  if (rc == 0) {
    lv_term none = LV_ATOM_NIL;
    rc = lists != nullptr ? lv_save_state(io, kind, lists->get(0), lists->get(1), lists->get(2))
                          : lv_save_state(io, kind, none, none, none);
  }
  if (rc == 0) rc = lv_save_close(io);
  if (rc < 0) {
    std::snprintf(message, size, "%s", io->message[0] != '\0' ? io->message : "the state cannot be written");
    bool opened = io->stream != nullptr;
    char* path = io->path;
    io->path = nullptr;
    lv_term_ref selected = io->selected;
    lv_state_io_free(io, true);
    if (opened && path != nullptr) (void)lvio_file_delete(path, 0);
    LV_free(path);
    if (selected >= 0) LV_reset_term_refs(selected);
    return rc;
  }
  lv_term_ref selected = io->selected;
  lv_state_io_free(io, false);
  if (selected >= 0) LV_reset_term_refs(selected);
  return 0;
}

// ---- Reading ---------------------------------------------------------------------

// Where a restore failed.
enum failure_place { IN_HEAD, IN_BODY };

// Restores a state of the kind asked for (LV_STATE_ALL_BUT_PROLOG: a whole
// program; LV_STATE_SELECTED: an increment). The body is read twice: once
// to check it is whole, once to apply it.
int64_t restore(lv_worker* w, const char* file, uint32_t kind, char* message, size_t size, failure_place* place) {
  bool full = kind != LV_STATE_SELECTED;
  *place = IN_HEAD;
  lv_saved_state_io* io = lv_state_io_new(w);
  if (io == nullptr) {
    std::snprintf(message, size, "out of memory");
    return LVIO_E_OUT_OF_MEMORY;
  }
  int64_t rc = lv_restore_open(io, file, kind);
  if (rc == 0) {
    *place = IN_BODY;
    rc = lv_restore_check_body(io);
  }
  std::snprintf(message, size, "%s", io->message);
  lv_state_io_free(io, true);
  if (rc < 0) return rc;

  io = lv_state_io_new(w);
  if (io == nullptr) {
    std::snprintf(message, size, "out of memory");
    return LVIO_E_OUT_OF_MEMORY;
  }
  io->selected = lv_state_selected_files(w);
  rc = lv_restore_open(io, file, kind);
  if (rc < 0) {
    *place = IN_HEAD;
  } else {
    lv_fd_event_hook hook = nullptr;
    if (full) {
      hook = lv_swap_fd_event_hook(nullptr);
      lv_state_reset_program(lv_archmask_kind(io->file_mask));
    }
    rc = lv_restore_records(io, full);
    if (full) lv_swap_fd_event_hook(hook);
  }
  std::snprintf(message, size, "%s", io->message);
  lv_term_ref selected = io->selected;
  lv_state_io_free(io, rc < 0);
  if (selected >= 0) LV_reset_term_refs(selected);
  return rc;
}

int restore_builtin(lv_worker* w, uint32_t kind, unsigned arity, lv_term name, int64_t argument) {
  arguments a = keep_arguments(w, arity);
  lv_term file = a.get(0);
  lv_term culprit[1];
  if (!file_argument(file, culprit)) return raise(a, 1, name, 1);
  char message[512];
  failure_place place = IN_HEAD;
  int64_t rc = restore(w, lv_atom_text(file), kind, message, sizeof message, &place);
  if (rc == 0) {
    LV_reset_term_refs(a.first);
    return 1;
  }
  if (place == IN_HEAD) {
    set_error(rc, message, file, false);
    return raise(a, 1, name, argument);
  }
  lv_ttyprintf("! restore: %s\n", message);
  lv_ttyflush();
  LV_reset_term_refs(a.first);
  return 0;
}

int64_t argument_number(lv_term t) { return lv_is_small(t) ? lv_small_value(t) : 0; }

}  // namespace

int64_t lv_restore_saved_state(lv_worker* w, const char* file, char* message, size_t size) {
  failure_place place = IN_HEAD;
  return restore(w, file, LV_STATE_ALL_BUT_PROLOG, message, size, &place);
}

int prolog_save(lv_worker* w) {
  arguments a = keep_arguments(w, 3);
  lv_term file = a.get(0);
  lv_term culprit[1];
  if (!file_argument(file, culprit)) return raise(a, 2, ATOM_SAVE, 1);
  uint32_t kind = a.get(1) == lv_make_small(0) ? LV_STATE_ALL_BUT_PROLOG : LV_STATE_ALL;
  char message[512];
  int64_t rc = save(w, lv_atom_text(file), kind, nullptr, message, sizeof message);
  if (rc == 0) {
    LV_reset_term_refs(a.first);
    return 1;
  }
  set_error(rc, message, file, true);
  return raise(a, 2, ATOM_SAVE, 1);
}

int prolog_save_increment(lv_worker* w) {
  arguments a = keep_arguments(w, 5);
  lv_term file = a.get(3);
  lv_term culprit[1];
  lv_term save_increment = lv_atom_from_text("$save_increment", LV_ATOM_FIND_OR_CREATE);
  if (!file_argument(file, culprit)) return raise(a, 4, save_increment, 2);
  char message[512];
  int64_t rc = save(w, lv_atom_text(file), LV_STATE_SELECTED, &a, message, sizeof message);
  if (rc == 0) {
    LV_reset_term_refs(a.first);
    return 1;
  }
  set_error(rc, message, file, true);
  return raise(a, 4, save_increment, 2);
}

int prolog_restore(lv_worker* w) { return restore_builtin(w, LV_STATE_ALL_BUT_PROLOG, 2, ATOM_RESTORE, 1); }

int prolog_restore_increment(lv_worker* w) {
  int64_t argument = argument_number(lv_deref(w->X[2]));
  lv_term name = lv_atom_from_text("$restore_increment", LV_ATOM_FIND_OR_CREATE);
  return restore_builtin(w, LV_STATE_SELECTED, 3, name, argument);
}
