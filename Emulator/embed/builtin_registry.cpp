// The table of built-in C predicates.
#include "embed/builtin_registry.h"

#include <algorithm>
#include <cstring>

#include "core/atoms.h"
#include "core/memory.h"
#include "embed/process_builtins.h"
#include "embed/system_builtins.h"
#include "embed/timeout_timer.h"
#include "store/predicates.h"
#include "streams/socket_builtins.h"

namespace {

constexpr uint32_t TABLE_FLAGS = lv_mem_flags(LV_CAT_MISC, LV_MEM_MAY_FAIL);

// Every subsystem's table, in the order they register.
lv_builtin_table (*const tables[])() = {
    lv_core_builtins,   lv_store_builtins,  lv_db_builtins,   lv_reader_builtins, lv_os_builtins,
    lv_tunnel_builtins, lv_stream_builtins, lv_embed_builtins, lv_argv_builtins,  lv_startup_builtins,
    lv_system_builtins, lv_socket_builtins,  lv_timer_builtins, lv_process_builtins,
};

lv_builtin* table;
size_t table_count;
size_t table_capacity;  // records the block has room for

}  // namespace

const char* lv_builtin_module_name(uint32_t flags) {
  switch ((flags >> 17) & 7) {
    case LV_BUILTIN_USER: return "user";
    case LV_BUILTIN_DOMSOLVE: return "domsolve";
    case LV_BUILTIN_ALIGNMENTS: return "alignments";
    case LV_BUILTIN_STRUCTS: return "structs";
    default: return "prolog";
  }
}

namespace {

// The table's order: name (bytes, unsigned), arity, module name.
int compare(const lv_builtin& a, const lv_builtin& b) {
  int c = std::strcmp(a.name, b.name);
  if (c != 0) return c;
  unsigned x = a.flags & 0xff, y = b.flags & 0xff;
  if (x != y) return x < y ? -1 : 1;
  return std::strcmp(lv_builtin_module_name(a.flags), lv_builtin_module_name(b.flags));
}

bool before(const lv_builtin& a, const lv_builtin& b) { return compare(a, b) < 0; }

lv_term module_name(uint32_t flags) { return lv_atom_from_text(lv_builtin_module_name(flags), LV_ATOM_FIND_OR_CREATE); }

bool define(const lv_builtin& b) {
  lv_term name = lv_atom_from_text(b.name, LV_ATOM_FIND_OR_CREATE);
  lv_term module = module_name(b.flags);
  lv_module* m = module != 0 ? find_module(module, 1) : nullptr;
  if (name == 0 || m == nullptr) return false;
  lv_pred* p = lv_lookup_predicate(m, name, b.flags & 0xff, LV_LOOKUP_CREATE);
  if (p == nullptr) return false;
  p->definition = reinterpret_cast<void*>(b.function);
  lv_set_definition_type(p, LV_DEF_C);
  return true;
}

// The old records and the batch's in one new sorted array. A batch record
// for a predicate the table already holds replaces the old record, so that
// a table registered again (the development system's) leaves no duplicate.
bool add(const lv_builtin* records, size_t count) {
  size_t total = table_count + count;
  auto* fresh = static_cast<lv_builtin*>(lv_mem_alloc(total * sizeof(lv_builtin), TABLE_FLAGS));
  if (fresh == nullptr) return false;
  size_t kept = 0;
  for (size_t i = 0; i < table_count; i++) {
    bool replaced = false;
    for (size_t j = 0; j < count && !replaced; j++) replaced = compare(table[i], records[j]) == 0;
    if (!replaced) fresh[kept++] = table[i];
  }
  std::memcpy(fresh + kept, records, count * sizeof(lv_builtin));
  std::stable_sort(fresh, fresh + kept + count, before);
  lv_builtin_registry_free();
  table = fresh;
  table_capacity = total;
  table_count = kept + count;
  for (size_t i = 0; i < count; i++)
    if (!define(records[i])) return false;
  return true;
}

}  // namespace

bool lv_builtin_registry_init() {
  lv_builtin_registry_free();
  for (auto get : tables) {
    lv_builtin_table t = get();
    if (!add(t.records, t.count)) return false;
  }
  return true;
}

bool lv_builtin_registry_merge(lv_builtin_table batch) { return add(batch.records, batch.count); }

const lv_builtin* lv_builtin_registry(size_t* count) {
  *count = table_count;
  return table;
}

void lv_builtin_registry_free() {
  if (table != nullptr) lv_mem_free(table, table_capacity * sizeof(lv_builtin), TABLE_FLAGS);
  table = nullptr;
  table_count = 0;
  table_capacity = 0;
}
