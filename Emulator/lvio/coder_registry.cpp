// The coder registry: a name table from every normalised name (canonical
// names and aliases) to the normalised canonical name, and a class table
// from normalised canonical names to classes. Each table exists while it
// holds entries.
#include <cstring>

#include "lvio/allocator.h"
#include "lvio/coder.h"
#include "lvio/hash.h"

namespace {

lvio_hash* names;
lvio_hash* classes;

constexpr int MAX_NAMES = 64;  // a canonical name and its aliases

bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

void destroy_if_empty(lvio_hash*& table) {
  if (table != nullptr && lvio_hash_count(table) == 0) {
    lvio_hash_destroy(table);
    table = nullptr;
  }
}

lvio_code ensure(lvio_hash*& table) { return table != nullptr ? 0 : lvio_hash_create(&table); }

// The normalised name, or a code: null name or empty result
// LVIO_E_PARAMETER_ERROR, no memory LVIO_E_OUT_OF_MEMORY.
lvio_code normalized(const char* name, char** out) {
  if (name == nullptr) return LVIO_E_PARAMETER_ERROR;
  char* n = lvio_normalize_charset_name(name);
  if (n == nullptr) return LVIO_E_OUT_OF_MEMORY;
  if (n[0] == '\0') {
    lvio_free(n);
    return LVIO_E_PARAMETER_ERROR;
  }
  *out = n;
  return 0;
}

// The canonical name a normalised name leads to, or null.
const char* canonical_of(const char* key) {
  lvio_value* data;
  if (names == nullptr || lvio_hash_get_named(names, key, &data) < 0) return nullptr;
  return data->string;
}

lvio_code add_name(const char* key, const char* canonical) {
  lvio_code rc = ensure(names);
  if (rc < 0) return rc;
  lvio_value data;
  data.kind = LVIO_VALUE_STRING;
  data.string = canonical;
  rc = lvio_hash_put_named(names, key, &data);
  destroy_if_empty(names);
  return rc;
}

// The i-th name of a canonical name and its aliases (0 is the canonical).
const char* name_at(const char* canonical, const char* const* aliases, int i) {
  return i == 0 ? canonical : aliases[i - 1];
}

int name_count(const char* const* aliases) {
  int n = 1;
  if (aliases != nullptr)
    while (aliases[n - 1] != nullptr) n++;
  return n;
}

lvio_code remove_aliases(const char* canonical_key, const char* canonical, const char* const* aliases) {
  int count = name_count(aliases);
  for (int i = 0; i < count && names != nullptr; i++) {
    char* key;
    lvio_code rc = normalized(name_at(canonical, aliases, i), &key);
    if (rc == LVIO_E_OUT_OF_MEMORY) return rc;
    if (rc < 0) continue;
    const char* target = canonical_of(key);
    if (target != nullptr && std::strcmp(target, canonical_key) == 0) (void)lvio_hash_remove_named(names, key);
    lvio_free(key);
  }
  destroy_if_empty(names);
  return 0;
}

lvio_code add_aliases(const char* canonical_key, const char* canonical, const char* const* aliases) {
  int count = name_count(aliases);
  if (count > MAX_NAMES) return LVIO_E_PARAMETER_ERROR;
  // First every name is checked, so that a refusal changes nothing.
  for (int i = 0; i < count; i++) {
    char* key;
    lvio_code rc = normalized(name_at(canonical, aliases, i), &key);
    if (rc < 0) return rc;
    const char* target = canonical_of(key);
    rc = target != nullptr && std::strcmp(target, canonical_key) != 0 ? LVIO_E_FOUND : 0;
    lvio_free(key);
    if (rc < 0) return rc;
  }
  uint64_t added = 0;
  lvio_code rc = 0;
  for (int i = 0; i < count && rc >= 0; i++) {
    char* key;
    rc = normalized(name_at(canonical, aliases, i), &key);
    if (rc < 0) break;
    if (canonical_of(key) == nullptr) {
      rc = add_name(key, canonical_key);
      if (rc >= 0) added |= uint64_t{1} << i;
    }
    lvio_free(key);
  }
  if (rc >= 0) return 0;
  for (int i = 0; i < count; i++) {
    char* key;
    if ((added & (uint64_t{1} << i)) == 0 || normalized(name_at(canonical, aliases, i), &key) < 0) continue;
    (void)lvio_hash_remove_named(names, key);
    lvio_free(key);
  }
  destroy_if_empty(names);
  return rc;
}

lvio_code unregister(const char* name, lvio_coder_class* cls) {
  char* key;
  lvio_code rc = normalized(name != nullptr ? name : cls != nullptr ? cls->name : nullptr, &key);
  if (rc < 0) return rc;
  lvio_value* data;
  if (classes == nullptr || lvio_hash_get_named(classes, key, &data) < 0) {
    lvio_free(key);
    return 0;
  }
  auto* registered = static_cast<lvio_coder_class*>(data->pointer);
  if (cls != nullptr && registered != cls) {
    lvio_free(key);
    return LVIO_E_NOT_FOUND;
  }
  (void)lvio_hash_remove_named(classes, key);
  destroy_if_empty(classes);
  rc = remove_aliases(key, name != nullptr ? name : registered->name, registered->aliases);
  lvio_free(key);
  registered->ops.unref(registered);
  return rc;
}

}  // namespace

char* lvio_normalize_charset_name(const char* name) {
  if (name == nullptr) return nullptr;
  auto* out = static_cast<char*>(lvio_alloc(std::strlen(name) + 1));
  if (out == nullptr) return nullptr;
  size_t k = 0;
  bool after_kept_digit = false;
  for (const char* p = name; *p != '\0'; p++) {
    char c = *p;
    bool kept = is_letter(c) || (is_digit(c) && (c != '0' || after_kept_digit));
    if (kept) out[k++] = is_letter(c) && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    after_kept_digit = kept && is_digit(c);
  }
  out[k] = '\0';
  return out;
}

lvio_code lvio_coder_aliases_register(const char* canonical, const char* const* aliases, uint32_t flags) {
  char* key;
  lvio_code rc = normalized(canonical, &key);
  if (rc < 0) return rc;
  rc = (flags & 1) != 0 ? remove_aliases(key, canonical, aliases) : add_aliases(key, canonical, aliases);
  lvio_free(key);
  return rc;
}

lvio_code lvio_coder_class_register(const char* name, lvio_coder_class* cls, uint32_t flags) {
  if ((flags & 1) != 0) return unregister(name, cls);
  if (cls == nullptr) return LVIO_E_PARAMETER_ERROR;
  if (name == nullptr) name = cls->name;
  char* key;
  lvio_code rc = normalized(name, &key);
  if (rc < 0) return rc;
  cls->ops.ref(cls);
  rc = ensure(classes);
  if (rc >= 0) {
    lvio_value data;
    data.kind = LVIO_VALUE_POINTER;
    data.pointer = cls;
    rc = lvio_hash_put_named(classes, key, &data);
    if (rc >= 0) {
      rc = add_aliases(key, name, cls->aliases);
      if (rc < 0) (void)lvio_hash_remove_named(classes, key);
    }
  }
  destroy_if_empty(classes);
  lvio_free(key);
  if (rc < 0) cls->ops.unref(cls);
  return rc < 0 ? rc : 0;
}

lvio_code lvio_coder_class_find(const char* canonical, lvio_coder_class** out) {
  lvio_value* data;
  if (canonical == nullptr || classes == nullptr || lvio_hash_get_named(classes, canonical, &data) < 0)
    return LVIO_E_CHARSET_NOT_FOUND;
  *out = static_cast<lvio_coder_class*>(data->pointer);
  return 0;
}

lvio_code lvio_coder_class_open(lvio_coder_class** out, const char* name, void*, uint32_t flags) {
  char* key;
  lvio_code rc = normalized(name, &key);
  if (rc < 0) return rc;
  const char* canonical = canonical_of(key);
  lvio_coder_class* cls = nullptr;
  rc = canonical != nullptr ? lvio_coder_class_find(canonical, &cls) : LVIO_E_CHARSET_NOT_FOUND;
  lvio_free(key);
  if (rc < 0) return rc;
  cls->ops.ref(cls);
  if ((flags & 1) != 0 && (cls->flags & LVIO_CODER_CLASS_8BIT) == 0) {
    cls->ops.unref(cls);
    return LVIO_E_SEEK_ERROR;
  }
  *out = cls;
  return 0;
}

lvio_code lvio_charset_canonical_name(const char* name, char** canonical) {
  char* key;
  lvio_code rc = normalized(name, &key);
  if (rc < 0) return rc;
  const char* target = canonical_of(key);
  lvio_free(key);
  if (target == nullptr) return LVIO_E_CHARSET_NOT_FOUND;
  *canonical = lvio_strdup(target);
  return *canonical != nullptr ? 0 : LVIO_E_OUT_OF_MEMORY;
}

int lvio_charset_same(const char* a, const char* b) {
  char* ca;
  char* cb;
  if (lvio_charset_canonical_name(a, &ca) < 0) return 0;
  int same = 0;
  if (lvio_charset_canonical_name(b, &cb) >= 0) {
    same = std::strcmp(ca, cb) == 0 ? 1 : 0;
    lvio_free(cb);
  }
  lvio_free(ca);
  return same;
}
