// The stream built-ins that open, close, enumerate and name streams, and
// the table of all stream built-ins.
#include "streams/stream_builtins.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "core/atoms.h"
#include "core/error_codes.h"
#include "core/memory.h"
#include "core/predefined_atoms.h"
#include "core/text_lists.h"
#include "core/unify.h"
#include "core/worker.h"
#include "lvio/chain.h"
#include "lvio/process.h"
#include "streams/diagnostics.h"
#include "streams/file_names.h"
#include "streams/resource_directory.h"
#include "streams/std_streams.h"
#include "streams/stream_api.h"
#include "streams/stream_builtin_args.h"
#include "streams/stream_close.h"
#include "streams/stream_internal.h"
#include "streams/stream_open.h"

namespace {

const lv_builtin records[] = {
    LV_BUILTIN("$open", prolog_open, 5),
    LV_BUILTIN("$select", prolog_select, 10),
    LV_BUILTIN("$set_stream_timeout", prolog_set_stream_timeout, 4),
    LV_BUILTIN("$set_stream_zlib", prolog_set_stream_zlib, 2),
    LV_BUILTIN("$dump_embedded_resources", prolog_dump_embedded_resources, 0),
    LV_BUILTIN("$next_stream", prolog_next_stream, 5),
    LV_BUILTIN("$open_null", prolog_open_null, 1),
    LV_BUILTIN("$stream_flags", prolog_stream_flags, 2),
    LV_BUILTIN("$set_stream_flags", prolog_set_stream_flags, 2),
    LV_BUILTIN("$set_stream_end_action", prolog_set_stream_end_action, 2),
    LV_BUILTIN("$stream_id", prolog_stream_id, 2),
    LV_BUILTIN("$close_fail_on_interrupt", prolog_close_fail_on_interrupt2, 2),
    LV_BUILTIN("$stream_code", prolog_stream_code, 2),
    LV_BUILTIN("$input", prolog_input, 2),
    LV_BUILTIN("$output", prolog_output, 2),
    LV_BUILTIN("$stream_count", prolog_stream_count, 5),
    LV_BUILTIN("$stream_set_line_count", prolog_stream_set_line_count, 2),
    LV_BUILTIN("$stream_offset", prolog_stream_offset, 2),
    LV_BUILTIN("$set_stream_position", prolog_set_stream_position, 5),
    LV_BUILTIN("$alloc_stream_position", prolog_alloc_stream_position, 5),
    LV_BUILTIN("$load_stream_position", prolog_load_stream_position, 5),
    LV_BUILTIN("$store_stream_position", prolog_store_stream_position, 5),
    LV_BUILTIN("$free_stream_position", prolog_free_stream_position, 1),
    LV_BUILTIN("$seek", prolog_seek, 4),
    LV_BUILTIN("$flush_output_fail_on_interrupt", prolog_flush_output_fail_on_interrupt2, 2),
    LV_BUILTIN("$get_code_fail_on_interrupt", prolog_get_code_fail_on_interrupt3, 3),
    LV_BUILTIN("$get_byte_fail_on_interrupt", prolog_get_byte_fail_on_interrupt3, 3),
    LV_BUILTIN("$get_code_fast", prolog_get_code_fast3, 3),
    LV_BUILTIN("$peek_code_fast", prolog_peek_code_fast3, 3),
    LV_BUILTIN("$get_char_fast", prolog_get_char_fast3, 3),
    LV_BUILTIN("$get_byte_fast", prolog_get_byte_fast3, 3),
    LV_BUILTIN("$peek_byte_fast", prolog_peek_byte_fast3, 3),
    LV_BUILTIN("$get_buffered_codes", prolog_get_buffered_codes, 4),
    LV_BUILTIN("$get_buffered_chars", prolog_get_buffered_chars, 4),
    LV_BUILTIN("$get_buffered_bytes", prolog_get_buffered_bytes, 4),
    LV_BUILTIN("$end_of_stream", prolog_end_of_stream2, 2),
    LV_BUILTIN("$lvio_error_name", prolog_lvio_error_name, 2),
    LV_BUILTIN("$unget_code", prolog_unget_code3, 3),
    LV_BUILTIN("$unget_byte", prolog_unget_byte3, 3),
    LV_BUILTIN("$put_code_fail_on_interrupt", prolog_put_code_fail_on_interrupt3, 3),
    LV_BUILTIN("$put_byte_fail_on_interrupt", prolog_put_byte_fail_on_interrupt3, 3),
    LV_BUILTIN("$put_code_fast", prolog_put_code_fast2, 2),
    LV_BUILTIN("$put_byte_fast", prolog_put_byte_fast2, 2),
    LV_BUILTIN("$put_char_fast", prolog_put_char_fast2, 2),
    LV_BUILTIN("$errprintf", prolog_errprintf1, 1),
    LV_BUILTIN("$stdinput", prolog_stdinput, 2),
    LV_BUILTIN("$stdoutput", prolog_stdoutput, 2),
    LV_BUILTIN("$stderror", prolog_stderror, 2),
    LV_BUILTIN("$stream_properties", prolog_stream_properties, 4),
};

// Bits of the Flags argument of $open.
constexpr int64_t OPEN_INTERACTIVE = int64_t{1} << 3;
constexpr int64_t OPEN_REPOSITION = int64_t{1} << 8;
constexpr int64_t OPEN_END_CODE = int64_t{1} << 9;
constexpr int64_t OPEN_END_RESET = int64_t{1} << 10;
constexpr int64_t OPEN_BINARY = int64_t{1} << 11;
constexpr int64_t OPEN_CLOSE_CLEANUP = int64_t{1} << 12;
constexpr int64_t OPEN_LINE_FLUSH = int64_t{1} << 15;
constexpr int64_t OPEN_EXCLUSIVE = int64_t{1} << 16;
constexpr int64_t OPEN_UNIQUE = int64_t{1} << 17;
constexpr int64_t OPEN_NAME_LAYER = int64_t{1} << 19;
constexpr int64_t OPEN_DEVICE_OPTION = int64_t{1} << 22;

// Further tries of a unique name after the first name exists.
constexpr int UNIQUE_TRIES = 10001;

// The recorded name of a file opened by $open: absolute, without $ or ~
// expansion; relative names are left as they are.
constexpr uint32_t RECORDED_NAME = LV_NAME_ABSOLUTE | LV_NAME_NO_VARIABLE | LV_NAME_NO_HOME;

// The pseudo-random numbers of unique names: a linear congruential
// generator seeded once from the time and the process id.
uint64_t unique_state = 1;

uint32_t unique_number(uint32_t pid) {
  if (unique_state == 1) unique_state = (static_cast<uint64_t>(std::time(nullptr)) & 0xFFFF) ^ pid;
  unique_state = unique_state * 1103515245 + 12345;
  return static_cast<uint32_t>((unique_state >> 16) & 0x7FFF);
}

// A new LV_malloc text: path with the process id and the next number
// inserted before the last '.' of its last component (at its end when the
// component has none).
char* unique_name(const char* path) {
  uint32_t pid = 0;
  (void)lvio_process_current_id(&pid);  // 0 would still make names
  char digits[24];
  int n = std::snprintf(digits, sizeof digits, "%u%u", pid, unique_number(pid));
  if (n < 1 || n > 20) return nullptr;
  const char* slash = std::strrchr(path, '/');
  const char* last = slash != nullptr ? slash + 1 : path;
  const char* dot = std::strrchr(last, '.');
  size_t at = dot != nullptr ? static_cast<size_t>(dot - path) : std::strlen(path);
  size_t length = std::strlen(path);
  auto* out = static_cast<char*>(LV_malloc(length + static_cast<size_t>(n) + 1));
  if (out == nullptr) return nullptr;
  std::memcpy(out, path, at);
  std::memcpy(out + at, digits, static_cast<size_t>(n));
  std::memcpy(out + at + n, path + at, length - at + 1);
  return out;
}

// The name $open opens: a relative one is taken against the runtime's
// current directory, the directory its recorded name is taken against (the
// operating system would take it against the process's, which may differ).
// A new LV_malloc text, or null when memory runs out.
char* name_to_open(const char* name) {
  const char* dir = lv_current_dir();
  size_t length = std::strlen(name);
  size_t prefix = name[0] != '/' && dir != nullptr ? std::strlen(dir) : 0;
  auto* out = static_cast<char*>(LV_malloc(prefix + length + 1));
  if (out == nullptr) return nullptr;
  if (prefix != 0) std::memcpy(out, dir, prefix);
  std::memcpy(out + prefix, name, length + 1);
  return out;
}

// Replaces the stream's file name by the normalised form of it when that
// differs.
void record_normalised_name(lv_stream* s) {
  if (s->file_name == 0) return;
  char* normal = lv_normalize_file_name(lv_atom_text(s->file_name), nullptr, RECORDED_NAME);
  if (normal == nullptr) return;
  if (std::strcmp(normal, lv_atom_text(s->file_name)) != 0) {
    lv_term atom = lv_atom_from_text(normal, LV_ATOM_FIND_OR_CREATE);
    if (atom != 0 && LV_register_atom(atom) != 0) {
      LV_unregister_atom(s->file_name);
      s->file_name = atom;
    }
  }
  LV_free(normal);
}

// Unifies X[slot] with the new stream; a failed unification closes it.
int unify_new_stream(lv_worker* w, unsigned slot, lv_stream* s) {
  if (cunify(w, w->X[slot], lv_stream_term(s)) != 0) return 1;
  (void)lv_stream_close(s, LV_CLOSE_FORCE | LV_CLOSE_REPLACE);  // never seen by anyone
  return 0;
}

// $input, $output: Old is the current stream, New becomes it.
int set_current(lv_worker* w, lv_stream** current, uint64_t capability) {
  if (*current == nullptr || cunify(w, w->X[0], lv_stream_term(*current)) == 0) return 0;
  lv_stream* s = lv_get_stream_arg(w->X[1], capability | LV_CAP_QUIET, 0);
  if (s == nullptr) return 0;
  *current = s;
  return 1;
}

// $stdinput, $stdoutput, $stderror: Old is the standard stream, New (unless
// it is Old itself) becomes it.
int set_standard(lv_worker* w, int kind, uint64_t capability) {
  lv_stream* old = lv_streams.user[kind];
  if (old == nullptr || cunify(w, w->X[0], lv_stream_term(old)) == 0) return 0;
  if (lv_deref(w->X[1]) == lv_deref(w->X[0])) return 1;
  lv_stream* s = lv_get_stream_arg(w->X[1], capability | LV_CAP_QUIET, 0);
  if (s == nullptr) return 0;
  lv_streams.user[kind] = s;
  return 1;
}

}  // namespace

lv_builtin_table lv_stream_builtins() { return {records, sizeof records / sizeof records[0]}; }

int prolog_open(lv_worker* w) {
  constexpr const char* NAME = "$open";
  lv_term file = lv_deref(w->X[0]);
  lv_term mode = lv_deref(w->X[1]);
  int64_t flags = 0;
  if (!lv_is_atom(file)) return lv_raise_code(w, LVIO_E_PARAMETER_ERROR, false, NAME, 5, 1);
  if (!lv_is_atom(mode)) return lv_raise_code(w, LVIO_E_PARAMETER_ERROR, false, NAME, 5, 2);
  if (!lv_integer_arg(w->X[2], &flags)) return lv_raise_code(w, LVIO_E_PARAMETER_ERROR, false, NAME, 5, 3);
  const char* m = lv_atom_text(mode);
  uint32_t f = m[0] == 'a' ? LV_FOPEN_APPEND | LV_FOPEN_WRITE : m[0] == 'w' ? LV_FOPEN_WRITE : LV_FOPEN_READ;
  bool writes = (f & LV_FOPEN_WRITE) != 0;
  static constexpr struct {
    int64_t flag;
    uint32_t option;
  } map[] = {
      {OPEN_INTERACTIVE, LV_FOPEN_INTERACTIVE}, {OPEN_REPOSITION, LV_FOPEN_REPOSITION},
      {OPEN_LINE_FLUSH, LV_FOPEN_LINE_FLUSH},   {OPEN_EXCLUSIVE, LV_FOPEN_EXCLUSIVE},
      {OPEN_NAME_LAYER, LV_FOPEN_NAME_LAYER},   {OPEN_DEVICE_OPTION, LV_FOPEN_DEVICE_0X80},
  };
  for (const auto& b : map)
    if ((flags & b.flag) != 0) f |= b.option;
  f |= (flags & OPEN_BINARY) != 0 ? LV_FOPEN_BINARY : LV_FOPEN_TEXT;
  f |= LV_FOPEN_ENCODING_TERM | LV_FOPEN_NAME_AS_GIVEN;
  bool name_layer = (flags & OPEN_NAME_LAYER) != 0;
  char* path = name_layer ? nullptr : name_to_open(lv_atom_text(file));
  if (!name_layer && path == nullptr) return lv_raise_code(w, LVIO_E_OUT_OF_MEMORY, writes, NAME, 5, 1);
  const char* name = name_layer ? lv_atom_text(file) : path;
  uintptr_t encoding = static_cast<uintptr_t>(lv_deref(w->X[3]));
  lv_stream* s = nullptr;
  int64_t rc = lv_stream_open_file(name, f, encoding, &s);
  for (int attempt = 0; rc == LVIO_E_FILE_EXISTS && (flags & OPEN_UNIQUE) != 0 && attempt < UNIQUE_TRIES; attempt++) {
    char* other = unique_name(name);
    if (other == nullptr) {
      rc = LVIO_E_OUT_OF_MEMORY;
      break;
    }
    rc = lv_stream_open_file(other, f, encoding, &s);
    LV_free(other);
  }
  LV_free(path);
  if (rc < 0) return lv_raise_code(w, rc, writes, NAME, 5, 1);
  if (!name_layer) record_normalised_name(s);
  if ((flags & OPEN_END_CODE) != 0) s->flags |= LV_STREAM_END_CODE;
  if ((flags & OPEN_END_RESET) != 0) s->flags |= LV_STREAM_END_RESET;
  if ((flags & OPEN_CLOSE_CLEANUP) != 0) s->flags |= LV_STREAM_CLOSE_CLEANUP;
  lv_stream_update_capabilities(s);
  return unify_new_stream(w, 4, s);
}

int prolog_close_fail_on_interrupt2(lv_worker* w) {
  constexpr const char* NAME = "$close_fail_on_interrupt";
  lv_stream* s = lv_get_stream_arg(w->X[0], LV_CAP_STREAM, 0);
  if (s == nullptr) return lv_raise_pending(w, NAME, 2, 1);
  int64_t options = 0;
  if (!lv_integer_arg(w->X[1], &options)) return lv_raise_error(w, LV_ERROR_NOT_INTEGER, "integer", NAME, 2, 2);
  if (options < 0) return lv_raise_error(w, LV_ERROR_NEGATIVE, "", NAME, 2, 2);
  uint32_t close = ((options & 1) != 0 ? LV_CLOSE_FORCE : 0) | ((options & 2) != 0 ? LV_CLOSE_REPLACE : 0) |
                   ((options & 4) != 0 ? LV_CLOSE_INPUT : 0) | ((options & 8) != 0 ? LV_CLOSE_OUTPUT : 0);
  bool output = (s->flags & LV_STREAM_OUTPUT) != 0;
  int64_t rc = lv_stream_close(s, close);
  if (rc == LVIO_E_INTERRUPTED) return 0;
  if (rc < 0) return lv_raise_code(w, rc, output, NAME, 2, 1);
  return 1;
}

int prolog_next_stream(lv_worker* w) {
  int64_t forbidden = 0;
  lv_term t = lv_deref(w->X[4]);
  if (!lv_is_small(t) || (forbidden = lv_small_value(t)) < 0) return 0;
  uint64_t refused = static_cast<uint64_t>(forbidden) | LV_CAP_HIDDEN;
  lv_stream* s = nullptr;
  if (!lv_is_ref(lv_deref(w->X[2]))) {
    s = lv_get_stream_arg(w->X[2], LV_CAP_QUIET, refused);
  }
  if (s == nullptr) {
    lv_term exclude = lv_deref(w->X[3]);
    if (lv_proper_list_length(exclude) < 0) return 0;
    lv_stream* head = lv_stream_ring_head();
    if (head == nullptr) return 0;
    for (lv_stream* t2 = head->prev; t2 != head && s == nullptr; t2 = t2->prev) {
      if ((t2->capabilities & refused) != 0) continue;
      bool excluded = false;
      for (lv_term l = exclude; lv_is_list(l) && !excluded; l = lv_deref(lv_list_cells(l)[1]))
        excluded = lv_get_stream_arg(lv_stream_unwrap(lv_list_cells(l)[0]), LV_CAP_QUIET, 0) == t2;
      if (!excluded) s = t2;
    }
    if (s == nullptr || cunify(w, w->X[2], lv_stream_term(s)) == 0) return 0;
  }
  lv_term name = s->file_name != 0 ? s->file_name : LV_ATOM_EMPTY;
  bool input = (s->flags & LV_STREAM_INPUT) != 0;
  bool output = (s->flags & LV_STREAM_OUTPUT) != 0;
  lv_term mode = input ? (output ? LV_ATOM_READWRITE_ : LV_ATOM_READ_)
                       : (s->flags & LV_STREAM_APPEND) != 0 ? LV_ATOM_APPEND_ : LV_ATOM_WRITE_;
  return cunify(w, w->X[0], name) != 0 && cunify(w, w->X[1], mode) != 0 ? 1 : 0;
}

int prolog_open_null(lv_worker* w) {
  lv_stream* s = lv_stream_new_with_flags(4);
  if (s == nullptr) return lv_raise_code(w, LVIO_E_OUT_OF_MEMORY, true, "$open_null", 1, 0);
  return unify_new_stream(w, 0, s);
}

int prolog_stream_flags(lv_worker* w) {
  lv_stream* s = lv_get_stream_arg(w->X[0], LV_CAP_QUIET, 0);
  return s != nullptr && lv_unify_integer(w, 1, static_cast<int64_t>(s->capabilities), 2) ? 1 : 0;
}

int prolog_set_stream_flags(lv_worker* w) {
  lv_stream* s = lv_get_stream_arg(w->X[0], LV_CAP_QUIET, 0);
  int64_t capabilities = 0;
  if (s == nullptr || !lv_integer_arg(w->X[1], &capabilities)) return 0;
  if ((static_cast<uint64_t>(capabilities) & LV_CAP_CLOSE_CLEANUP) != 0) {
    s->flags |= LV_STREAM_CLOSE_CLEANUP;
    lv_stream_update_capabilities(s);
  }
  return 1;
}

int prolog_set_stream_end_action(lv_worker* w) {
  lv_stream* s = lv_get_stream_arg(w->X[0], LV_CAP_QUIET | LV_CAP_INPUT, 0);
  int64_t action = 0;
  if (s == nullptr || !lv_integer_arg(w->X[1], &action) || action < 0 || action > 2) return 0;
  s->flags &= ~(LV_STREAM_END_CODE | LV_STREAM_END_RESET);
  if (action == 1) s->flags |= LV_STREAM_END_CODE;
  if (action == 2) s->flags |= LV_STREAM_END_RESET;
  lv_stream_update_capabilities(s);
  return 1;
}

int prolog_stream_id(lv_worker* w) {
  lv_stream* s = lv_get_stream_arg(w->X[0], LV_CAP_QUIET, 0);
  return s != nullptr && s->id > 0 && lv_unify_integer(w, 1, s->id, 2) ? 1 : 0;
}

int prolog_stream_code(lv_worker* w) {
  lv_term first = lv_deref(w->X[0]);
  if (!lv_is_ref(first)) {
    lv_stream* s = lv_get_stream_arg(first, LV_CAP_QUIET, 0);
    return s != nullptr && cunify(w, w->X[1], lv_stream_term(s)) != 0 ? 1 : 0;
  }
  int64_t handle = 0;
  if (!lv_integer_arg(w->X[1], &handle)) return 0;
  lv_stream* s = lv_stream_of_handle(handle);
  return s != nullptr && cunify(w, w->X[0], lv_stream_term(s)) != 0 ? 1 : 0;
}

int prolog_input(lv_worker* w) { return set_current(w, &lv_streams.current_input, LV_CAP_INPUT); }

int prolog_output(lv_worker* w) { return set_current(w, &lv_streams.current_output, LV_CAP_OUTPUT); }

int prolog_stdinput(lv_worker* w) { return set_standard(w, LV_STD_INPUT, LV_CAP_INPUT); }

int prolog_stdoutput(lv_worker* w) { return set_standard(w, LV_STD_OUTPUT, LV_CAP_OUTPUT); }

int prolog_stderror(lv_worker* w) { return set_standard(w, LV_STD_ERROR, LV_CAP_OUTPUT); }

int prolog_stream_properties(lv_worker* w) {
  lv_stream* s = lv_get_stream_arg(w->X[0], LV_CAP_STREAM, 0);
  if (s == nullptr) return lv_raise_pending(w, "$stream_properties", 4, 1);
  lv_term encodings[2] = {LV_ATOM_NIL, LV_ATOM_NIL};
  bool text = (s->flags & LV_STREAM_TEXT) != 0;
  if (text && s->chain != nullptr) {
    for (int side = 0; side < 2; side++) {
      const char* name = nullptr;
      // The coder class names of the read side (request 2), the write side (4).
      if (lvio_stream_get_name(&s->chain, &name, side == 0 ? 2 : 4) < 0 || name == nullptr) continue;
      lv_term atom = lv_atom_from_text(name, LV_ATOM_FIND_OR_CREATE);
      if (atom != 0) encodings[side] = atom;
    }
  }
  uint32_t f = s->flags;
  int64_t bits = (text ? 0x2 : 0) | ((f & LV_STREAM_BINARY) != 0 ? 0x1 : 0);
  if (text && (f & LV_STREAM_INPUT) != 0)
    bits |= ((f & LV_STREAM_BOM_FOUND) != 0 ? 0x4 : 0) | ((f & LV_STREAM_IN_CRLF) != 0 ? 0x8 : 0) |
            ((f & LV_STREAM_IN_AUTO) != 0 ? 0x10 : 0);
  if (text && (f & LV_STREAM_OUTPUT) != 0)
    bits |= ((f & LV_STREAM_OUT_CRLF) != 0 ? 0x20 : 0) | ((f & LV_STREAM_OUT_AUTO) != 0 ? 0x40 : 0);
  bits |= ((f & LV_STREAM_LINE_FLUSH) != 0 ? 0x80 : 0) | ((f & LV_STREAM_INTERACTIVE) != 0 ? 0x100 : 0);
  return cunify(w, w->X[1], encodings[0]) != 0 && cunify(w, w->X[2], encodings[1]) != 0 &&
                 lv_unify_integer(w, 3, bits, 4)
             ? 1
             : 0;
}

int prolog_errprintf1(lv_worker* w) {
  lv_term text = lv_deref(w->X[0]);
  if (!lv_is_atom(text)) return 0;
  errprintf(1, "%s", lv_atom_text(text));
  return 1;
}

int prolog_lvio_error_name(lv_worker* w) {
  int64_t code = 0;
  if (!lv_integer_arg(w->X[0], &code)) return 0;
  lv_term atom = lv_atom_from_text(lvio_error_name_of(code), LV_ATOM_FIND_OR_CREATE);
  if (atom == 0) atom = lv_atom_from_text(code < 0 ? "LVIO_E_ERROR" : "LVIO_S_NOERR", LV_ATOM_FIND_OR_CREATE);
  return atom != 0 && cunify(w, w->X[1], atom) != 0 ? 1 : 0;
}

int prolog_dump_embedded_resources(lv_worker*) {
  lv_dump_resources();
  return 1;
}
