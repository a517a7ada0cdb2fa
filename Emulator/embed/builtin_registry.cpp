// The table of built-in C predicates.
#include "embed/builtin_registry.h"

#include <algorithm>
#include <cstring>

#include "core/atoms.h"
#include "core/memory.h"
#include "store/predicates.h"

namespace {

constexpr uint32_t TABLE_FLAGS = lv_mem_flags(LV_CAT_MISC, LV_MEM_MAY_FAIL);

// Every subsystem's table, in the order they register.
lv_builtin_table (*const tables[])() = {
    lv_core_builtins,   lv_store_builtins,  lv_db_builtins,   lv_reader_builtins, lv_os_builtins,
    lv_tunnel_builtins, lv_stream_builtins, lv_embed_builtins, lv_argv_builtins,  lv_startup_builtins,
};

lv_builtin* table;
size_t table_count;

bool by_name(const lv_builtin& a, const lv_builtin& b) { return std::strcmp(a.name, b.name) < 0; }

lv_term module_name(uint32_t flags) {
  switch ((flags >> 17) & 7) {
    case LV_BUILTIN_USER: return lv_atom_from_text("user", LV_ATOM_FIND_OR_CREATE);
    case LV_BUILTIN_DOMSOLVE: return lv_atom_from_text("domsolve", LV_ATOM_FIND_OR_CREATE);
    default: return lv_atom_from_text("prolog", LV_ATOM_FIND_OR_CREATE);
  }
}

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

// The old records and the batch's in one new sorted array.
bool add(const lv_builtin* records, size_t count) {
  size_t total = table_count + count;
  auto* fresh = static_cast<lv_builtin*>(lv_mem_alloc(total * sizeof(lv_builtin), TABLE_FLAGS));
  if (fresh == nullptr) return false;
  if (table_count != 0) std::memcpy(fresh, table, table_count * sizeof(lv_builtin));
  std::memcpy(fresh + table_count, records, count * sizeof(lv_builtin));
  std::stable_sort(fresh, fresh + total, by_name);
  lv_builtin_registry_free();
  table = fresh;
  table_count = total;
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
  if (table != nullptr) lv_mem_free(table, table_count * sizeof(lv_builtin), TABLE_FLAGS);
  table = nullptr;
  table_count = 0;
}
