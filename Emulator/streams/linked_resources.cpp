// Resources linked into the program: prelinked data resources, the
// resource tables the build links into a module, and the search by name
// across them and the appended resources.
#include "streams/linked_resources.h"

#include <dlfcn.h>
#include <link.h>

#include <cstddef>
#include <cstring>

#include "core/memory.h"
#include "streams/resource_directory.h"

// The table linked into this module by the build, if any. When the module
// has none, the reference may be bound to the program's table instead.
extern "C" {
extern const lv_module_resource lv_module_resources[] __attribute__((weak));
}

namespace {

const char* const* prelinked_names = nullptr;
void* const* prelinked_values = nullptr;

constexpr char CONTAINER_MAGIC[] = "Lorvika Resource";  // 16 bytes, no terminator stored
constexpr char TABLE_SYMBOL[] = "lv_module_resources";

// Kept as it is in an escaped name: ASCII letters and digits.
bool plain(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

uint64_t big_endian(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 0; i < 8; i++) v = v << 8 | p[i];
  return v;
}

const uint8_t* table_find(const lv_module_resource* table, const char* upper, uint64_t* size) {
  if (table == nullptr) return nullptr;
  for (const lv_module_resource* r = table; r->name != nullptr; r++)
    if (std::strcmp(r->name, upper) == 0 && r->data != nullptr) {
      *size = r->size;
      return r->data;
    }
  return nullptr;
}

// The container of a prelinked data resource under the escaped name.
const uint8_t* prelinked_find(const char* escaped, uint64_t* size) {
  if (prelinked_names == nullptr) return nullptr;
  for (uint64_t i = 0; prelinked_names[i] != nullptr; i++) {
    if ((prelinked_values != nullptr && prelinked_values[i] != nullptr) ||
        std::strcmp(prelinked_names[i], escaped) != 0)
      continue;
    const auto* record = reinterpret_cast<const lv_prelinked_data*>(prelinked_names[i] - offsetof(lv_prelinked_data, name));
    if (record->data == nullptr) return nullptr;
    *size = record->size;
    return static_cast<const uint8_t*>(record->data);
  }
  return nullptr;
}

}  // namespace

void lv_set_prelinked_tables(const char* const* names, void* const* values) {
  prelinked_names = names;
  prelinked_values = values;
}

const char* const* lv_prelinked_names() { return prelinked_names; }

void* const* lv_prelinked_values() { return prelinked_values; }

char* escape_resource_name(const char* text) {
  static const char hex[] = "0123456789ABCDEF";
  size_t n = 0;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != '\0'; p++) n += plain(*p) ? 1 : 5;
  auto* out = static_cast<char*>(LV_malloc(n + 1));
  if (out == nullptr) return nullptr;
  char* o = out;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != '\0'; p++) {
    if (plain(*p)) {
      *o++ = static_cast<char>(*p);
      continue;
    }
    *o++ = '_';
    *o++ = '0';
    *o++ = 'x';
    *o++ = hex[*p >> 4];
    *o++ = hex[*p & 15];
  }
  *o = '\0';
  return out;
}

char* lv_resource_name_upper(const char* name) {
  size_t n = std::strlen(name);
  auto* out = static_cast<char*>(LV_malloc(n + 1));
  if (out == nullptr) return nullptr;
  for (size_t i = 0; i <= n; i++) out[i] = name[i] >= 'a' && name[i] <= 'z' ? static_cast<char>(name[i] - 32) : name[i];
  return out;
}

const lv_module_resource* lv_own_resource_table() { return lv_module_resources; }

const lv_module_resource* lv_program_resource_table() {
  void* program = dlopen(nullptr, RTLD_LAZY);
  if (program == nullptr) return nullptr;
  void* found = dlsym(program, TABLE_SYMBOL);
  // Only a table that the main program defines itself: the search may
  // also reach libraries that export one.
  link_map* program_map = nullptr;
  link_map* owner = nullptr;
  Dl_info info;
  bool own = found != nullptr && dlinfo(program, RTLD_DI_LINKMAP, &program_map) == 0 &&
             dladdr1(found, &info, reinterpret_cast<void**>(&owner), RTLD_DL_LINKMAP) != 0 && owner == program_map;
  dlclose(program);
  return own ? static_cast<const lv_module_resource*>(found) : nullptr;
}

const uint8_t* lv_find_module_resource(const char* name, uint64_t* size) {
  char* upper = lv_resource_name_upper(name);
  if (upper == nullptr) return nullptr;
  const lv_module_resource* own = lv_own_resource_table();
  const uint8_t* data = table_find(own, upper, size);
  if (data == nullptr) {
    const lv_module_resource* program = lv_program_resource_table();
    if (program != own) data = table_find(program, upper, size);
  }
  LV_free(upper);
  return data;
}

int lv_resource_container(const void* container, uint64_t size, const uint8_t** bytes, int64_t* length,
                          int64_t* stamp) {
  const auto* c = static_cast<const uint8_t*>(container);
  if (c == nullptr || size < LV_RESOURCE_HEADER_BYTES || std::memcmp(c, CONTAINER_MAGIC, 16) != 0) return 0;
  uint64_t n = big_endian(c + 16);
  if (n > size - LV_RESOURCE_HEADER_BYTES) return 0;
  *bytes = c + LV_RESOURCE_HEADER_BYTES;
  *length = static_cast<int64_t>(n);
  *stamp = static_cast<int64_t>(big_endian(c + 24));
  return 1;
}

int lv_find_named_resource(const char* name, const uint8_t** bytes, int64_t* length, int64_t* stamp) {
  if (name == nullptr) return 0;
  uint64_t size = 0;
  const uint8_t* container = nullptr;
  if (char* escaped = escape_resource_name(name); escaped != nullptr) {
    container = prelinked_find(escaped, &size);
    LV_free(escaped);
  }
  if (container == nullptr) container = lv_find_module_resource(name, &size);
  if (container != nullptr) return lv_resource_container(container, size, bytes, length, stamp);
  int64_t n = 0;
  if (lv_get_resource_bytes(name, bytes, &n) < 0) return 0;
  *length = n;
  *stamp = 0;
  return 1;
}
