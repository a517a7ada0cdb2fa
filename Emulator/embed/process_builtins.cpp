// Process built-ins over the I/O layer's processes (see process_builtins.h).
#include "embed/process_builtins.h"

#include <cstring>

#include "core/atoms.h"
#include "core/memory.h"
#include "core/numbers.h"
#include "core/predefined_atoms.h"
#include "core/stack_shift.h"
#include "core/termrefs.h"
#include "core/unify.h"
#include "core/worker.h"
#include "embed/term_interface.h"
#include "lvio/handles.h"
#include "lvio/process.h"
#include "lvio/result_codes.h"
#include "streams/stream_api.h"

namespace {

lv_external_object_type* process_type;

// The data of a process object: its handle, on the list of the objects not
// yet finalised, so that shutdown releases what Prolog never released.
struct process_record {
  lvio_process* process;
  lv_external_object* object;
  process_record* next;
};
process_record* records_live;

void unlist(process_record* r) {
  for (process_record** p = &records_live; *p != nullptr; p = &(*p)->next)
    if (*p == r) {
      *p = r->next;
      return;
    }
}

constexpr int64_t STILL_RUNNING = 4096;
constexpr int64_t OPTION_REFUSED = 1 << 15;
constexpr int64_t OPTION_OBJECT = 1 << 12;
constexpr unsigned CREATE_ARITY = 13;

// Options bits and the creation flags they stand for. Bits 3 and 7 are
// unused; bit 14 asked for a creation flag that means nothing on this
// platform, and bit 12's own flag only says that a handle is wanted.
struct option_flag {
  int64_t option;
  uint32_t flag;
};
constexpr option_flag OPTION_FLAGS[] = {
    {1 << 0, LVIO_PROCESS_STDIN_INHERIT},   {1 << 1, LVIO_PROCESS_STDIN_NULL},
    {1 << 2, LVIO_PROCESS_STDIN_PIPE},      {1 << 4, LVIO_PROCESS_STDOUT_INHERIT},
    {1 << 5, LVIO_PROCESS_STDOUT_NULL},     {1 << 6, LVIO_PROCESS_STDOUT_PIPE},
    {1 << 8, LVIO_PROCESS_STDERR_INHERIT},  {1 << 9, LVIO_PROCESS_STDERR_NULL},
    {1 << 10, LVIO_PROCESS_STDERR_PIPE},    {1 << 11, LVIO_PROCESS_COMMAND_LINE},
    {1 << 13, LVIO_PROCESS_NEW_GROUP},      {1 << 16, LVIO_PROCESS_NEW_SESSION},
};

void finalize_process(void* object, void*) {
  auto* r = static_cast<process_record*>(object);
  if (r == nullptr) return;
  unlist(r);
  (void)lvio_process_release(r->process, 1);
  LV_free(r);
}

int put_process(lv_term_ref t, lv_external_object* handle) {
  return LV_external_object_default_putter_helper(t, handle, lv_atom_from_text("$process", LV_ATOM_FIND_OR_CREATE));
}

// Drops an object whose handle is already released: off its term, and its
// record freed without releasing the handle again.
void forget_object(lv_external_object* object) {
  auto* r = static_cast<process_record*>(object->object);
  unlist(r);
  LV_free(r);
  object->object = nullptr;
  (void)LV_unlink_external_object(object, 1);
}

// The elements of a proper list, or -1 (partial, improper or cyclic).
int64_t proper_length(lv_term list) {
  int64_t n = 0;
  lv_term slow = lv_deref(list);
  for (lv_term l = slow; l != LV_ATOM_NIL; n++) {
    if (!lv_is_list(l)) return -1;
    l = lv_deref(lv_list_cells(l)[1]);
    if ((n & 1) != 0) {
      slow = lv_deref(lv_list_cells(slow)[1]);
      if (slow == l && l != LV_ATOM_NIL) return -1;
    }
  }
  return n;
}

// One part of an argument from an atom or F(Atom).
lvio_code make_part(lv_term t, lvio_arg_part* part) {
  t = lv_deref(t);
  if (lv_is_atom(t)) {
    *part = {"string", 18, lv_atom_text(t)};
    return 0;
  }
  if (lv_is_struct(t) && lv_functor_arity(lv_struct_cells(t)[0]) == 1) {
    lv_term a = lv_deref(lv_struct_cells(t)[1]);
    if (lv_is_atom(a)) {
      *part = {lv_atom_text(lv_functor_atom(lv_struct_cells(t)[0])), 18, lv_atom_text(a)};
      return 0;
    }
  }
  return LVIO_E_PARAMETER_ERROR;
}

// The argument descriptors of a list (see process_builtins.h) in one
// LV_malloc block: a null-terminated array of descriptors, then the parts;
// null for an empty list.
lvio_code build_descriptors(lv_term list, lvio_arg_descriptor** out) {
  *out = nullptr;
  int64_t n = proper_length(list);
  if (n < 0) return LVIO_E_PARAMETER_ERROR;
  if (n == 0) return 0;
  int64_t parts = 0;
  for (lv_term l = lv_deref(list); l != LV_ATOM_NIL; l = lv_deref(lv_list_cells(l)[1])) {
    lv_term e = lv_deref(lv_list_cells(l)[0]);
    int64_t k = lv_is_list(e) ? proper_length(e) : 1;
    if (k < 0) return LVIO_E_PARAMETER_ERROR;
    parts += k + 1;
  }
  size_t bytes = static_cast<size_t>(n + 1) * sizeof(lvio_arg_descriptor) + static_cast<size_t>(parts) * sizeof(lvio_arg_part);
  auto* array = static_cast<lvio_arg_descriptor*>(LV_malloc(bytes));
  if (array == nullptr) return LVIO_E_OUT_OF_MEMORY;
  auto* part = reinterpret_cast<lvio_arg_part*>(array + n + 1);
  int64_t i = 0;
  lvio_code rc = 0;
  for (lv_term l = lv_deref(list); rc >= 0 && l != LV_ATOM_NIL; l = lv_deref(lv_list_cells(l)[1])) {
    lv_term e = lv_deref(lv_list_cells(l)[0]);
    array[i++] = part;
    if (lv_is_list(e)) {
      for (lv_term m = e; rc >= 0 && m != LV_ATOM_NIL; m = lv_deref(lv_list_cells(m)[1])) rc = make_part(lv_list_cells(m)[0], part++);
    } else {
      rc = make_part(e, part++);
    }
    *part++ = {nullptr, 1, nullptr};
  }
  array[n] = nullptr;
  if (rc < 0) {
    LV_free(array);
    return rc;
  }
  *out = array;
  return 0;
}

bool atom_is(lv_term t, const char* name) {
  t = lv_deref(t);
  return lv_is_atom(t) && std::strcmp(lv_atom_text(t), name) == 0;
}

bool unify_int(lv_worker* w, unsigned x, int64_t v, unsigned live) {
  lv_heap_room(w, 4, live);
  return cunify(w, w->X[x], lv_make_integer(w, v)) != 0;
}

// The process of argument x: a process object, or an id opened for the
// call (*opened then owns the handle).
struct process_arg {
  lvio_process* process = nullptr;
  lv_external_object* object = nullptr;
  bool opened = false;
};

lvio_code get_process(lv_worker* w, unsigned x, process_arg* out) {
  lv_term t = lv_deref(w->X[x]);
  if (lv_is_small(t)) {
    int64_t id = lv_small_value(t);
    if (id < 0 || id > UINT32_MAX) return LVIO_E_NOT_FOUND;
    lvio_code rc = lvio_process_open(static_cast<uint32_t>(id), &out->process);
    out->opened = rc >= 0;
    return rc;
  }
  lv_term_ref ref = LV_new_term_ref();
  lv_term_ref_cell(w, ref) = t;
  lv_external_object* object = nullptr;
  int found = LV_get_external_object(ref, &object);
  LV_reset_term_refs(ref);
  if (found == 0) return LVIO_E_NOT_FOUND;
  if (object->type != process_type || object->object == nullptr) return LVIO_E_PARAMETER_ERROR;
  out->object = object;
  out->process = static_cast<process_record*>(object->object)->process;
  return 0;
}

void done_with(process_arg* p) {
  if (p->opened) (void)lvio_process_release(p->process, 3);
  p->opened = false;
}

// The wrapping of a pipe end as a stream (see process_builtins.h).
lvio_code wrap(int* fd, lv_term encoding, bool input_side, lv_stream** out) {
  encoding = lv_deref(encoding);
  bool binary = atom_is(encoding, "binary");
  bool none = binary || encoding == LV_ATOM_NIL;
  uint32_t kind = LV_OS_LOCALE_ENCODING | (binary ? LV_OS_BINARY : LV_OS_TEXT) | (none ? 0 : LV_OS_ENCODING_GIVEN);
  // The child's standard input is written by the parent, a line at a time.
  kind |= input_side ? LV_OS_WRITE | LV_OS_LINE_FLUSH : LV_OS_READ;
  lvio_code rc = LV_create_os_stream(*fd, out, none ? 0 : encoding, kind);
  if (rc >= 0) *fd = -1;  // the stream owns it now
  return rc < 0 ? rc : 0;
}

lvio_code create(lv_worker* w, lv_stream* streams[3], lvio_process** process) {
  lv_term program = lv_deref(w->X[0]);
  lv_term dir = lv_deref(w->X[2]);
  lv_term env = lv_deref(w->X[3]);
  lv_term option_term = lv_deref(w->X[4]);
  if (!lv_is_atom(program) || !lv_is_atom(dir) || !lv_is_small(option_term)) return LVIO_E_PARAMETER_ERROR;
  int64_t options = lv_small_value(option_term);
  if (options < 0 || (options & OPTION_REFUSED) != 0) return LVIO_E_PARAMETER_ERROR;
  uint32_t flags = LVIO_PROCESS_ENVIRONMENT;
  for (const option_flag& f : OPTION_FLAGS)
    if ((options & f.option) != 0) flags |= f.flag;
  lvio_arg_descriptor* args = nullptr;
  lvio_arg_descriptor* pairs = nullptr;
  lvio_code rc = build_descriptors(w->X[1], &args);
  if (rc >= 0 && env != LV_ATOM_NIL && !atom_is(env, "default")) rc = build_descriptors(env, &pairs);
  int fds[3] = {-1, -1, -1};
  const char* directory = lv_atom_text(dir);
  if (rc >= 0)
    rc = lvio_process_create(lv_atom_text(program), args, directory[0] != '\0' ? directory : nullptr, pairs, &fds[0],
                             &fds[1], &fds[2], (options & OPTION_OBJECT) != 0 ? process : nullptr, flags);
  LV_free(args);
  LV_free(pairs);
  for (int i = 0; rc >= 0 && i < 3; i++)
    if (fds[i] >= 0) rc = wrap(&fds[i], w->X[5 + i], i == 0, &streams[i]);
  for (int& fd : fds)
    if (fd >= 0) (void)lvio_handle_close(fd, 1);
  if (rc < 0) {
    for (int i = 0; i < 3; i++)
      if (streams[i] != nullptr) (void)LV_fclose(streams[i], LV_CLOSE_FORCE);
    if (*process != nullptr) (void)lvio_process_release(*process, 1);
    *process = nullptr;
  }
  return rc;
}

const lv_builtin records[] = {
    LV_BUILTIN("$process_create", prolog_process_create, 13),
    LV_BUILTIN("$process_wait", prolog_process_wait, 6),
    LV_BUILTIN("$process_kill", prolog_process_kill, 3),
    LV_BUILTIN("$process_release", prolog_process_release, 3),
    LV_BUILTIN("$process_id", prolog_process_id, 3),
    LV_BUILTIN("$is_process", prolog_is_process, 1),
    LV_BUILTIN("$process_self_id", prolog_process_self_id, 1),
};

}  // namespace

lv_builtin_table lv_process_builtins() { return {records, sizeof records / sizeof records[0]}; }

void lv_init_process_table() { process_type = LV_register_external_object_type(finalize_process, put_process, nullptr); }

void lv_stop_process_table() {
  while (records_live != nullptr) {
    process_record* r = records_live;
    if (LV_unlink_external_object(r->object, 1) == 0) finalize_process(r, nullptr);
  }
}

lv_external_object_type* lv_process_type() { return process_type; }

int prolog_process_create(lv_worker* w) {
  lv_stream* streams[3] = {nullptr, nullptr, nullptr};
  lvio_process* process = nullptr;
  lvio_code rc = create(w, streams, &process);
  if (rc < 0) return unify_int(w, 12, rc, CREATE_ARITY);
  lv_heap_room(w, 32, CREATE_ARITY);
  bool ok = true;
  for (int i = 0; ok && i < 3; i++)
    if (streams[i] != nullptr) ok = cunify(w, w->X[8 + i], lv_stream_term(streams[i])) != 0;
  lv_external_object* object = nullptr;
  if (ok && process != nullptr) {
    auto* r = static_cast<process_record*>(LV_malloc(sizeof(process_record)));
    object = r != nullptr ? LV_register_external_object(r, process_type) : nullptr;
    if (object != nullptr) {
      *r = {process, object, records_live};
      records_live = r;
    } else {
      LV_free(r);
    }
    lv_term_ref ref = LV_new_term_ref();
    ok = object != nullptr && LV_put_external_object(ref, object) != 0 &&
         cunify(w, w->X[11], lv_term_ref_cell(w, ref)) != 0;
    LV_reset_term_refs(ref);
  }
  if (ok) ok = unify_int(w, 12, 0, CREATE_ARITY);
  if (!ok) {
    for (lv_stream* s : streams)
      if (s != nullptr) (void)LV_fclose(s, LV_CLOSE_FORCE);
    if (object != nullptr)
      (void)LV_unlink_external_object(object, 1);
    else if (process != nullptr)
      (void)lvio_process_release(process, 1);
    return 0;
  }
  return 1;
}

int prolog_process_wait(lv_worker* w) {
  constexpr unsigned ARITY = 6;
  lv_term option_term = lv_deref(w->X[1]);
  lv_term timeout_term = lv_deref(w->X[2]);
  if (!lv_is_small(option_term) || lv_small_value(option_term) < 0)
    return unify_int(w, 5, LVIO_E_PARAMETER_ERROR, ARITY);
  bool release = (lv_small_value(option_term) & 1) != 0;
  lvio_time timeout{};
  const lvio_time* limit = &timeout;
  uint32_t flags = release ? 2 : 0;
  lvio_code rc = 0;
  if (atom_is(timeout_term, "infinite"))
    limit = nullptr;
  else if (lv_is_small(timeout_term) && lv_small_value(timeout_term) >= 0)
    timeout = {lv_small_value(timeout_term), 0};
  else if (lv_is_float_box(timeout_term))
    rc = lvio_time_from_seconds(lv_float_value(timeout_term), &timeout);
  else
    rc = LVIO_E_PARAMETER_ERROR;
  if (rc < 0) return unify_int(w, 5, rc, ARITY);
  if (limit != nullptr && lvio_time_is_zero(timeout)) {
    flags |= 1;
    limit = nullptr;
  }
  process_arg p;
  rc = get_process(w, 0, &p);
  if (rc < 0) return unify_int(w, 5, rc, ARITY);
  lvio_wait_result result{0, 0};
  rc = lvio_process_wait(p.process, limit, &result, flags);
  bool ended = rc >= 0;
  if (ended && release) {
    // The wait released the handle.
    p.opened = false;
    if (p.object != nullptr) forget_object(p.object);
  }
  done_with(&p);
  if (rc == LVIO_E_WOULD_BLOCK || rc == LVIO_E_TIMEOUT)
    return unify_int(w, 3, STILL_RUNNING, ARITY) && unify_int(w, 4, 0, ARITY) && unify_int(w, 5, 0, ARITY);
  if (rc < 0) return unify_int(w, 5, rc, ARITY);
  return unify_int(w, 3, result.exited & 0x3F, ARITY) && unify_int(w, 4, result.exit_code, ARITY) &&
         unify_int(w, 5, 0, ARITY);
}

int prolog_process_kill(lv_worker* w) {
  constexpr unsigned ARITY = 3;
  static const struct {
    const char* name;
    int32_t number;
  } signals[] = {{"SIGABRT", 22}, {"SIGFPE", 8}, {"SIGILL", 4}, {"SIGINT", 2}, {"SIGSEGV", 11}, {"SIGTERM", 15}};
  int32_t number = -1;
  uint32_t flags = 0;
  if (atom_is(w->X[1], "SIGKILL")) {
    number = 0;
    flags = 1;
  }
  for (const auto& s : signals)
    if (atom_is(w->X[1], s.name)) number = s.number;
  if (number < 0) return unify_int(w, 2, LVIO_E_PARAMETER_ERROR, ARITY);
  process_arg p;
  lvio_code rc = get_process(w, 0, &p);
  if (rc >= 0) rc = lvio_process_kill(p.process, number, flags);
  done_with(&p);
  return unify_int(w, 2, rc < 0 ? rc : 0, ARITY);
}

int prolog_process_release(lv_worker* w) {
  constexpr unsigned ARITY = 3;
  lv_term option_term = lv_deref(w->X[1]);
  if (!lv_is_small(option_term) || lv_small_value(option_term) < 0)
    return unify_int(w, 2, LVIO_E_PARAMETER_ERROR, ARITY);
  process_arg p;
  lvio_code rc = get_process(w, 0, &p);
  if (rc >= 0) {
    // This release is the handle's last, an opened id's included.
    rc = lvio_process_release(p.process, static_cast<uint32_t>(lv_small_value(option_term) & 1));
    p.opened = false;
    if (rc >= 0 && p.object != nullptr) forget_object(p.object);
  }
  return unify_int(w, 2, rc < 0 ? rc : 0, ARITY);
}

int prolog_process_id(lv_worker* w) {
  constexpr unsigned ARITY = 3;
  process_arg p;
  uint32_t id = 0;
  lvio_code rc = get_process(w, 0, &p);
  if (rc >= 0) rc = lvio_process_id(p.process, &id);
  done_with(&p);
  if (rc < 0) return unify_int(w, 2, rc, ARITY);
  return unify_int(w, 1, id, ARITY) && unify_int(w, 2, 0, ARITY);
}

int prolog_is_process(lv_worker* w) {
  lv_term t = lv_deref(w->X[0]);
  if (lv_is_ref(t)) return 0;
  lv_term_ref ref = LV_new_term_ref();
  lv_term_ref_cell(w, ref) = t;
  lv_external_object* object = nullptr;
  int found = LV_get_external_object(ref, &object);
  LV_reset_term_refs(ref);
  return found != 0 && object->type == process_type && object->object != nullptr ? 1 : 0;
}

int prolog_process_self_id(lv_worker* w) {
  uint32_t id = 0;
  if (lvio_process_current_id(&id) < 0) return 0;
  return unify_int(w, 0, id, 1);
}
