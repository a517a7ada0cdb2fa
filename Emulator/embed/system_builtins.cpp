// The system built-ins. A wrong argument fails; no type error is raised.
#include "embed/system_builtins.h"

#include <cinttypes>
#include <cstdlib>
#include <cstring>

#include "core/atoms.h"
#include "core/fault.h"
#include "core/fd_hooks.h"
#include "core/host.h"
#include "core/lv_assert.h"
#include "core/memory.h"
#include "core/numbers.h"
#include "core/predefined_atoms.h"
#include "core/settings.h"
#include "core/stack_shift.h"
#include "core/termrefs.h"
#include "core/unify.h"
#include "embed/api_exceptions.h"
#include "embed/async_events.h"
#include "embed/builtin_registry.h"
#include "embed/md5.h"
#include "embed/sleep.h"
#include "embed/queries.h"
#include "embed/statistics_builtins.h"
#include "store/code_block.h"
#include "store/code_walk.h"
#include "store/predicates.h"
#include "store/static_code.h"
#include "streams/diagnostics.h"
#include "text/debug_print.h"

namespace {

constexpr int COUNTERS = 42;
uint64_t counters[COUNTERS];
uint32_t low_debug;  // three byte settings a << 16 | b << 8 | c
bool record_is_directives = true;

constexpr uint32_t CHECKALLOC_FLAGS = lv_mem_flags(LV_CAT_MISC, LV_MEM_MAY_FAIL);

// A small integer or a one-word boxed integer.
bool int64_arg(lv_term t, int64_t* v) {
  t = lv_deref(t);
  if (lv_is_small(t)) {
    *v = lv_small_value(t);
    return true;
  }
  if (!lv_is_integer_box(t)) return false;
  const lv_term* cells = lv_struct_cells(t);
  if (lv_box_value_words(cells[0]) != 1) return false;
  *v = static_cast<int64_t>(cells[1]);
  return true;
}

bool address_arg(lv_term t, void** p) {
  int64_t v;
  if (!int64_arg(t, &v)) return false;
  *p = reinterpret_cast<void*>(static_cast<uintptr_t>(v));
  return true;
}

int unify_int(lv_worker* w, lv_term target, int64_t v) {
  lv_heap_room(w, 3, 8);
  return cunify(w, target, lv_make_integer(w, v));
}

int unify_address(lv_worker* w, lv_term target, const void* p) {
  return unify_int(w, target, static_cast<int64_t>(reinterpret_cast<uintptr_t>(p)));
}

int unify_atom(lv_worker* w, lv_term target, const char* text) {
  lv_term atom = lv_atom_from_text(text, LV_ATOM_FIND_OR_CREATE);
  return atom != 0 && cunify(w, target, atom);
}

const char* determinism_text(uint32_t flags) {
  switch ((flags >> 20) & 15) {
    case 1: return "PRED_DET_ZERO";
    case 2: return "PRED_DET_ONE";
    case 3: return "PRED_DET_ZERO_OR_ONE";
    case 6: return "PRED_DET_ONE_OR_MORE";
    case 7: return "PRED_DET_ANY";
    case 8: return "PRED_DET_THROW";
    default: return "PRED_DET_UNKNOWN";
  }
}

// Platform and native-code descriptions.
int prolog_platform_name(lv_worker* w) { return unify_atom(w, w->X[0], LV_HOST_PLATFORM); }
// Native code keeps the 64-bit Windows calling convention (its glue calls C
// through ms_abi functions), so that is the convention named.
int prolog_jit_abi(lv_worker* w) { return unify_atom(w, w->X[0], "winx64"); }
int prolog_jit_preload_fail(lv_worker* w) { return unify_atom(w, w->X[0], "no"); }
int prolog_jit_use_lq_stq(lv_worker* w) { return unify_atom(w, w->X[0], "no"); }

int prolog_fail(lv_worker*) { return 0; }
int prolog_true(lv_worker*) { return 1; }

int prolog_getenv(lv_worker* w) {
  lv_term name = lv_deref(w->X[0]);
  if (!lv_is_atom(name)) return 0;
  char* value = lv_get_property_text_default(lv_atom_text(name), nullptr, nullptr);
  if (value == nullptr) return 0;
  lv_term atom = lv_atom_from_text(value, LV_ATOM_FIND_OR_CREATE);
  LV_free(value);
  return atom != 0 && cunify(w, w->X[1], atom);
}

int prolog_record_is_directives(lv_worker*) { return record_is_directives ? 1 : 0; }

int prolog_zero(lv_worker* w) { return cunify(w, w->X[0], lv_make_small(0)); }

// The alternative of the labeling step's choicepoints: a call stub for the
// seven arguments (112 bytes, eight registers saved) that calls
// $fd_labeling/7 again. Its next record is none, so that backtracking pops
// the choicepoint before the call: the step pushes a new one for what is
// left. Made at start-up.
lv_call_stub* fd_labeling_stub;

// The domain solver runs a labeling step through its event hook, handing
// over the alternative record for the choicepoints the step pushes. The
// step reports its outcome through the seventh argument; an error it raised
// is taken by failing into the error's handler.
int domsolve_fd_labeling(lv_worker* w) {
  int32_t saved = w->foreign_call->status;
  w->foreign_call->status = 1;
  const uint32_t* alternative = lv_try_alternative(&fd_labeling_stub->record);
  (void)lv_call_fd_hook(6, static_cast<int64_t>(reinterpret_cast<uintptr_t>(alternative)));
  int32_t status = w->foreign_call->status;
  w->foreign_call->status = saved;
  return status != 0 ? 1 : 0;
}

// Memory layouts of foreign types (module alignments).
int prolog_primitive_type_size(lv_worker* w) {
  struct entry {
    const char* type;
    int size;
  };
  static const entry table[] = {
      {"atom", 8},        {"string", 8},      {"float", 8},      {"address", 8},     {"integer", 8},
      {"integer_64", 8},  {"unsigned", 8},    {"unsigned_64", 8}, {"float_32", 4},   {"integer_32", 4},
      {"unsigned_32", 4}, {"integer_16", 2},  {"unsigned_16", 2}, {"integer_8", 1},  {"unsigned_8", 1},
  };
  lv_term type = lv_deref(w->X[0]);
  if (!lv_is_atom(type)) return 0;
  const char* text = lv_atom_text(type);
  if (std::strcmp(text, "opaque") == 0) return cunify(w, w->X[1], type) && cunify(w, w->X[2], type);
  for (const entry& e : table)
    if (std::strcmp(text, e.type) == 0)
      return cunify(w, w->X[1], lv_make_small(e.size)) && cunify(w, w->X[2], lv_make_small(e.size));
  return 0;
}

int prolog_pointer_alignment(lv_worker* w) {
  return cunify(w, w->X[0], lv_make_small(8)) && cunify(w, w->X[1], lv_make_small(8));
}

int prolog_endianness(lv_worker* w) { return unify_atom(w, w->X[0], "little_endian"); }

// Foreign memory (module structs). calloc refuses a product that overflows
// rather than hand out a block smaller than asked for.
int prolog_calloc(lv_worker* w) {
  int64_t n, size;
  if (!int64_arg(w->X[0], &n) || !int64_arg(w->X[1], &size) || n < 0 || size < 0) return 0;
  uint64_t bytes;
  if (__builtin_mul_overflow(static_cast<uint64_t>(n), static_cast<uint64_t>(size), &bytes) ||
      bytes > static_cast<uint64_t>(INT64_MAX))
    lv_memory_fault("calloc", LV_CAT_LV_MALLOC);
  void* p = LV_malloc(bytes);
  if (p == nullptr) lv_memory_fault("calloc", LV_CAT_LV_MALLOC);
  std::memset(p, 0, bytes);
  return unify_address(w, w->X[2], p);
}

int prolog_free(lv_worker* w) {
  void* p;
  if (!address_arg(w->X[0], &p)) return 0;
  LV_free(p);
  return 1;
}

int prolog_bump_counter_impl(lv_worker* w) {
  int64_t i;
  if (int64_arg(w->X[0], &i) && i >= 1 && i < COUNTERS) counters[i]++;
  return 1;
}

int prolog_dump_counters(lv_worker*) {
  for (int i = 0; i < COUNTERS; i++)
    if (counters[i] != 0) std::fprintf(stderr, "%% counter[%d]: %lu\n", i, static_cast<unsigned long>(counters[i] & 0xffffffffu));
  std::fflush(stderr);
  return 1;
}

int prolog_lowdbg(lv_worker* w) {
  if (!cunify(w, w->X[0], lv_make_small(low_debug))) return 0;
  int64_t v;
  if (!int64_arg(w->X[1], &v)) return 0;
  low_debug = static_cast<uint32_t>(v) & 0xffffff;
  return 1;
}

int prolog_os_abort(lv_worker*) { std::abort(); }

int prolog_memory_fault(lv_worker*) { lv_resource_fault("$memory_fault", -1); }

int prolog_lv_malloc(lv_worker* w) {
  int64_t size;
  if (!int64_arg(w->X[0], &size) || size < 0) return 0;
  void* p = LV_malloc(static_cast<size_t>(size));
  if (p == nullptr) return 0;
  if (unify_address(w, w->X[1], p)) return 1;
  LV_free(p);
  return 0;
}

int prolog_lv_realloc(lv_worker* w) {
  void* p;
  int64_t size;
  if (!address_arg(w->X[0], &p) || !int64_arg(w->X[1], &size) || size < 0) return 0;
  void* q = LV_realloc(p, static_cast<size_t>(size));
  if (q == nullptr) return 0;
  return unify_address(w, w->X[2], q);
}

int prolog_lv_free(lv_worker* w) {
  void* p;
  if (!address_arg(w->X[0], &p)) return 0;
  LV_free(p);
  return 1;
}

int prolog_checkalloc(lv_worker* w) {
  int64_t size;
  if (!int64_arg(w->X[0], &size) || size < 0) return 0;
  void* p = lv_mem_alloc(static_cast<size_t>(size), CHECKALLOC_FLAGS);
  if (p == nullptr) return 0;
  if (unify_address(w, w->X[1], p)) return 1;
  lv_mem_free(p, static_cast<size_t>(size), CHECKALLOC_FLAGS);
  return 0;
}

int prolog_checkrealloc(lv_worker* w) {
  void* p;
  int64_t old_size, new_size;
  if (!address_arg(w->X[0], &p) || !int64_arg(w->X[1], &old_size) || !int64_arg(w->X[2], &new_size) ||
      old_size < 0 || new_size < 0)
    return 0;
  void* q = lv_mem_realloc(p, static_cast<size_t>(old_size), static_cast<size_t>(new_size), CHECKALLOC_FLAGS);
  if (q == nullptr) return 0;
  return unify_address(w, w->X[3], q);
}

int prolog_checkdealloc(lv_worker* w) {
  void* p;
  int64_t size;
  if (!address_arg(w->X[0], &p) || !int64_arg(w->X[1], &size) || size < 0) return 0;
  lv_mem_free(p, static_cast<size_t>(size), CHECKALLOC_FLAGS);
  return 1;
}

int prolog_use_heap(lv_worker* w) {
  int64_t n;
  if (!int64_arg(w->X[0], &n) || n < 0) return 0;
  if (n > 0)
    while (w->heap_hard_limit - w->H > n) *w->H++ = lv_make_small(0);
  return unify_int(w, w->X[1], w->heap_hard_limit - w->H);
}

int prolog_wr_tagged(lv_worker* w) {
  lv_print_term_debug_nl(w->X[0]);
  return 1;
}

// $pc_hidden_call(+PC): the registered code block holding PC carries the
// hidden-call mark.
int prolog_pc_hidden_call(lv_worker* w) {
  void* pc;
  if (!address_arg(w->X[0], &pc)) return 0;
  const lv_code_block* block = lv_find_code_block(pc);
  return block != nullptr && (block->marks & LV_BLOCK_HIDDEN_CALL) != 0 ? 1 : 0;
}

// $pc_info(+PC, -Module, -Name, -Arity, -Key, -Count, -Source, -Calls).
int prolog_pc_info(lv_worker* w) {
  void* pc;
  lv_code_position pos;
  if (!address_arg(w->X[0], &pc) || lv_code_owner_info(pc, &pos) == 0 || pos.pred == nullptr) return 0;
  const lv_pred* p = pos.pred;
  lv_module* m = p->home_module != nullptr ? p->home_module : p->owner_module;
  if (m == nullptr) return 0;
  lv_heap_room(w, 12, 8);
  int64_t before = pos.clause > 0 ? pos.clause - 1 : 0;
  return cunify(w, w->X[1], m->name) && cunify(w, w->X[2], p->name) && cunify(w, w->X[3], lv_make_small(p->arity)) &&
         cunify(w, w->X[4], pos.source_key) && cunify(w, w->X[5], lv_make_integer(w, before)) &&
         cunify(w, w->X[6], lv_make_integer(w, pos.line > 0 ? pos.line : -1)) &&
         cunify(w, w->X[7], lv_make_integer(w, pos.calls));
}

// $callback(+Goal, +N): user:call(Goal) as a nested query, with exactly N
// term references free before it when N is 0 or more.
int prolog_callback(lv_worker* w) {
  int64_t n;
  if (!int64_arg(w->X[1], &n)) return 0;
  lv_term_ref goal = LV_new_term_ref();
  lv_term_ref_cell(w, goal) = w->X[0];
  if (n >= 0) {
    int64_t want = static_cast<int64_t>(goal) + 1 + n;
    if (want > w->termref_capacity) lv_termrefs_grow(w, want);
  }
  lv_pred* call = LV_predicate("call", 1, "user");
  int r = call != nullptr ? LV_query(call, goal) : 0;
  LV_reset_term_refs(goal);
  if (r == -1) {
    // The query's exception is raised again here.
    lv_term_ref ball = LV_new_term_ref();
    if (LV_exception_term(ball) == 1) (void)LV_raise_exception(ball);
    LV_reset_term_refs(ball);
    return 0;
  }
  return r == 1 ? 1 : 0;
}

// Compares a record with a (name, arity, module) key in the table's order.
int compare_key(const lv_builtin& r, const char* name, unsigned arity, const char* module) {
  int c = std::strcmp(r.name, name);
  if (c != 0) return c;
  unsigned a = r.flags & 0xff;
  if (a != arity) return a < arity ? -1 : 1;
  return std::strcmp(lv_builtin_module_name(r.flags), module);
}

int prolog_dump_pred_table(lv_worker*) {
  size_t count;
  const lv_builtin* records = lv_builtin_registry(&count);
  lv_dump_builtin_records(stdout, records, count);
  std::fflush(stdout);
  return 1;
}

const lv_builtin records[] = {
    {"$user_event", prolog_user_event, "run_event", lv_builtin_flags(0)},
    LV_BUILTIN("$reset_ctrlc_pending", prolog_reset_ctrlc_pending, 0),
    LV_BUILTIN("$statistics", prolog_statistics, 2),
    LV_BUILTIN("$local_stack_avail", prolog_local_stack_avail, 1),
    LV_BUILTIN("$platform_name", prolog_platform_name, 1),
    LV_BUILTIN("$jit_abi", prolog_jit_abi, 1),
    LV_BUILTIN("$jit_preload_fail", prolog_jit_preload_fail, 1),
    LV_BUILTIN("$jit_use_lq_stq", prolog_jit_use_lq_stq, 1),
    {"$inferences", prolog_fail, "prolog_inferences", lv_builtin_flags(4)},
    LV_BUILTIN("$getenv", prolog_getenv, 2),
    LV_BUILTIN("$sleep_deadline", prolog_sleep_deadline, 2),
    LV_BUILTIN("$sleep_wait", prolog_sleep_wait, 1),
    {"$invariant_checking_enabled", prolog_fail, "prolog_invariant_checking_enabled", lv_builtin_flags(0)},
    LV_BUILTIN("$record_is_directives", prolog_record_is_directives, 0),
    LV_BUILTIN("$version", prolog_version, 1),
    LV_BUILTIN("$message_digest", prolog_message_digest, 3),
    {"$running_on_valgrind", prolog_zero, "prolog_running_on_valgrind", lv_builtin_flags(1)},
    {"$lv_DBG", prolog_zero, "prolog_lv_DBG", lv_builtin_flags(1)},
    {"$fd_labeling", domsolve_fd_labeling, "domsolve_fd_labeling", lv_builtin_flags(7, LV_BUILTIN_DOMSOLVE)},
    {"primitive_type_size", prolog_primitive_type_size, "prolog_primitive_type_size",
     lv_builtin_flags(3, LV_BUILTIN_ALIGNMENTS)},
    {"pointer_alignment", prolog_pointer_alignment, "prolog_pointer_alignment",
     lv_builtin_flags(2, LV_BUILTIN_ALIGNMENTS)},
    {"endianness", prolog_endianness, "prolog_endianness", lv_builtin_flags(1, LV_BUILTIN_ALIGNMENTS)},
    {"calloc", prolog_calloc, "prolog_calloc", lv_builtin_flags(3, LV_BUILTIN_STRUCTS)},
    {"free", prolog_free, "prolog_free", lv_builtin_flags(1, LV_BUILTIN_STRUCTS)},
    {"$iso_clause_body_guard", prolog_fail, "prolog_iso_clause_body_guard", lv_builtin_flags(0)},
    {"$bump_counter", prolog_bump_counter_impl, "prolog_bump_counter", lv_builtin_flags(1)},
    LV_BUILTIN("$dump_counters", prolog_dump_counters, 0),
    LV_BUILTIN("$lowdbg", prolog_lowdbg, 2),
    LV_BUILTIN("$wr_tagged", prolog_wr_tagged, 1),
    LV_BUILTIN("$pc_info", prolog_pc_info, 8),
    LV_BUILTIN("$pc_hidden_call", prolog_pc_hidden_call, 1),
    LV_BUILTIN("$callback", prolog_callback, 2),
    LV_BUILTIN("$os_abort", prolog_os_abort, 0),
    {"$os_segfault", prolog_os_abort, "prolog_os_segfault", lv_builtin_flags(0)},
    LV_BUILTIN("$memory_fault", prolog_memory_fault, 0),
    {"$lv_assert_failure", prolog_true, "prolog_lv_assert_failure", lv_builtin_flags(0)},
    {"$lv_soft_assert_failure", prolog_true, "prolog_lv_soft_assert_failure", lv_builtin_flags(0)},
    {"$LV_malloc", prolog_lv_malloc, "prolog_LV_malloc", lv_builtin_flags(2)},
    {"$LV_realloc", prolog_lv_realloc, "prolog_LV_realloc", lv_builtin_flags(3)},
    {"$LV_free", prolog_lv_free, "prolog_LV_free", lv_builtin_flags(1)},
    LV_BUILTIN("$checkalloc", prolog_checkalloc, 2),
    LV_BUILTIN("$checkrealloc", prolog_checkrealloc, 4),
    LV_BUILTIN("$checkdealloc", prolog_checkdealloc, 2),
    LV_BUILTIN("$use_heap", prolog_use_heap, 2),
    LV_BUILTIN("$pred_table_search", prolog_pred_table_search, 4),
    LV_BUILTIN("$pred_table_entry", prolog_pred_table_entry, 5),
    LV_BUILTIN("$dump_pred_table", prolog_dump_pred_table, 0),
};

}  // namespace

lv_builtin_table lv_system_builtins() { return {records, sizeof records / sizeof records[0]}; }

void lv_system_builtins_reset() {
  std::memset(counters, 0, sizeof counters);
  low_debug = 0;
  record_is_directives = lv_getenv_yes_no("LV_RECORD_IS_DIRECTIVES", 1) != 0;
  lv_statistics_reset();
  fd_labeling_stub = lv_new_c_call_stub(reinterpret_cast<void*>(domsolve_fd_labeling), 7);
  fd_labeling_stub->record.next = nullptr;
  LV_ASSERT(lv_record_cp_size(fd_labeling_stub->record.cp_size) == 112);
}

int prolog_bump_counter(lv_worker* w) { return prolog_bump_counter_impl(w); }

int prolog_version(lv_worker* w) {
  int64_t v;
  if (!int64_arg(w->X[0], &v)) return 0;
  if (v == LV_SYSTEM_VERSION_NUMBER) return 1;
  errprintf(1, "Wrong version number in saved state.  Found %" PRId64 ", expected %" PRId64 ".\n", v,
            LV_SYSTEM_VERSION_NUMBER);
  LV_raise_fault("Version mismatch in $version/1");
}

int prolog_message_digest(lv_worker* w) {
  lv_md5 m;
  lv_md5_init(&m);
  lv_term list = lv_deref(w->X[0]);
  while (lv_is_list(list)) {
    const lv_term* cell = lv_list_cells(list);
    int64_t code;
    if (!int64_arg(cell[0], &code)) return 0;
    uint8_t byte = static_cast<uint8_t>(code);
    lv_md5_add(&m, &byte, 1);
    list = lv_deref(cell[1]);
  }
  if (list != LV_ATOM_NIL) return 0;
  uint8_t digest[16];
  lv_md5_finish(&m, digest);
  lv_heap_room(w, 32, 3);
  lv_term* cells = w->H;
  w->H += 32;
  for (int i = 0; i < 16; i++) {
    cells[2 * i] = lv_make_small(digest[i]);
    cells[2 * i + 1] = i == 15 ? LV_ATOM_NIL : lv_make_list(cells + 2 * i + 2);
  }
  int64_t hash = 0;
  for (int k = 0; k < 4; k++)
    hash = (hash << 8) | (digest[k] ^ digest[k + 4] ^ digest[k + 8] ^ digest[k + 12]);
  return cunify(w, w->X[1], lv_make_list(cells)) && cunify(w, w->X[2], lv_make_small(hash));
}

int prolog_pred_table_search(lv_worker* w) {
  lv_term name = lv_deref(w->X[0]), module = lv_deref(w->X[2]);
  int64_t arity;
  if (!lv_is_atom(name) || !lv_is_atom(module) || !int64_arg(w->X[1], &arity) || arity < 0 || arity >= 256) return 0;
  size_t count;
  const lv_builtin* table = lv_builtin_registry(&count);
  const char* n = lv_atom_text(name);
  const char* m = lv_atom_text(module);
  size_t low = 0, high = count;
  while (low < high) {
    size_t mid = low + (high - low) / 2;
    int c = compare_key(table[mid], n, static_cast<unsigned>(arity), m);
    if (c == 0) return cunify(w, w->X[3], lv_make_small(static_cast<int64_t>(mid)));
    if (c < 0)
      low = mid + 1;
    else
      high = mid;
  }
  return 0;
}

int prolog_pred_table_entry(lv_worker* w) {
  int64_t index;
  size_t count;
  const lv_builtin* table = lv_builtin_registry(&count);
  if (!int64_arg(w->X[0], &index) || index < 0 || static_cast<uint64_t>(index) >= count) return 0;
  const lv_builtin& r = table[index];
  return unify_atom(w, w->X[1], r.name) && cunify(w, w->X[2], lv_make_small(r.flags & 0xff)) &&
         unify_atom(w, w->X[3], lv_builtin_module_name(r.flags)) && unify_atom(w, w->X[4], determinism_text(r.flags));
}

void lv_dump_builtin_records(FILE* out, const lv_builtin* records, size_t count) {
  for (size_t i = 0; i < count; i++) {
    const lv_builtin& r = records[i];
    if (((r.flags >> 8) & 0xff) == 2) continue;
    const char* sep = i + 1 == count ? "" : ",";
    const char* module = lv_builtin_module_name(r.flags);
    unsigned arity = r.flags & 0xff;
    if (r.c_name != nullptr) std::fprintf(out, "%%%% C %s %s:('%s')/%u%s\n", r.c_name, module, r.name, arity, sep);
    std::fprintf(out, "%%%% DET %s %s:('%s')/%u%s\n", determinism_text(r.flags), module, r.name, arity, sep);
    std::fprintf(out, "%% %s:('%s')/%u%s\n", module, r.name, arity, sep);
    std::fprintf(out, "%s:'%s'", module, r.name);
    if (arity > 0) {
      std::fputs("(_", out);
      for (unsigned a = 1; a < arity; a++) std::fputs(",_", out);
      std::fputc(')', out);
    }
    std::fputc('\n', out);
  }
}
