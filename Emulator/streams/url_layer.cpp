// "URL:" objects for resources and local files, and the "url:" device
// opener of the stream open code.
#include "streams/url_layer.h"

#include <cerrno>
#include <cstring>

#include "core/memory.h"
#include "core/predefined_atoms.h"
#include "lvio/buffer.h"
#include "lvio/chain.h"
#include "lvio/file_access.h"
#include "lvio/options.h"
#include "streams/file_names.h"
#include "streams/linked_resources.h"
#include "streams/memory_stream.h"
#include "streams/stream_api.h"
#include "streams/stream_internal.h"

namespace {

constexpr uint32_t URL_MEM = lv_mem_flags(LV_CAT_MISC);
constexpr uint64_t DEAD = 0xDEADDEAD;
constexpr char URL_PREFIX[] = "URL:";
constexpr char RESOURCE_SCHEME[] = "x-lorvika-resource:";

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

// Whether text begins with prefix, ASCII letters compared without regard to
// case.
bool starts_folded(const char* text, const char* prefix) {
  for (; *prefix != '\0'; text++, prefix++)
    if (*text == '\0' || lower(*text) != lower(*prefix)) return false;
  return true;
}

size_t object_bytes(const lv_url_object* o) { return sizeof(lv_url_object) + std::strlen(o->path) + 1; }

lv_url_object* make_object(const lv_url_methods* methods, const char* path) {
  size_t n = std::strlen(path);
  auto* o = static_cast<lv_url_object*>(lv_mem_alloc(sizeof(lv_url_object) + n + 1, URL_MEM));
  if (o == nullptr) return nullptr;
  std::memset(static_cast<void*>(o), 0, sizeof *o);
  o->methods = methods;
  o->path = reinterpret_cast<char*>(o + 1);
  std::memcpy(o->path, path, n + 1);
  return o;
}

void destroy(lv_url_object* o) {
  if (o == nullptr) return;
  size_t bytes = object_bytes(o);
  // A stale pointer to a destroyed object then shows what it is.
  auto* words = reinterpret_cast<uint64_t*>(o);
  words[0] = words[1] = words[2] = DEAD;
  lv_mem_free(o, bytes, URL_MEM);
}

lv_url_object* self(lv_url_object* o) { return o; }

const char* extension(lv_url_object* o) {
  const char* dot = std::strrchr(o->path, '.');
  const char* slash = std::strrchr(o->path, '/');
  return dot != nullptr && (slash == nullptr || dot > slash) ? dot : nullptr;
}

int getc_method(lv_url_object* o) { return lv_url_getc(o); }

// Resource objects.

lv_url_object* resource_check(lv_url_object* o) {
  if (o->resource.loaded == 0) {
    if (lv_find_named_resource(o->resource.name, &o->resource.data, &o->resource.length, &o->resource.stamp) == 0) {
      o->status = -1;
      return nullptr;
    }
    o->resource.loaded = 1;
  }
  return o;
}

lv_url_object* resource_open(lv_url_object* o, const char* mode) {
  for (const char* m = mode; *m != '\0'; m++)
    if (*m != 'r' && *m != 'b') return nullptr;
  if (resource_check(o) == nullptr) return nullptr;
  o->resource.position = 0;
  o->resource.state = LV_URL_OPEN;
  return o;
}

size_t resource_read(lv_url_object* o, void* destination, size_t size, size_t count) {
  if (o->resource.state != LV_URL_OPEN || size == 0) return 0;
  size_t wanted;
  if (__builtin_mul_overflow(size, count, &wanted)) wanted = SIZE_MAX;
  size_t left = static_cast<size_t>(o->resource.length - o->resource.position);
  size_t n = wanted < left ? wanted : left;
  std::memcpy(destination, o->resource.data + o->resource.position, n);
  o->resource.position += static_cast<int64_t>(n);
  return n;
}

int resource_close(lv_url_object* o) {
  if (o == nullptr) return -1;
  o->resource.position = 0;
  o->resource.state = LV_URL_CLOSED;
  return 0;
}

// File objects.

lv_url_object* file_check(lv_url_object* o) {
  int64_t rc = lvio_path_attributes(o->path, 0);
  if (rc < 0) {
    o->status = rc;
    return nullptr;
  }
  return o;
}

lv_url_object* file_open(lv_url_object* o, const char* mode) {
  uint32_t bits = 0;
  for (const char* m = mode; *m != '\0'; m++) {
    switch (*m) {
      case 'r': bits |= LV_FOPEN_READ; break;
      case 'w': bits |= LV_FOPEN_WRITE; break;
      case 'a': bits |= LV_FOPEN_APPEND; break;
      case 'b': bits |= LV_FOPEN_BINARY; break;
      default: return nullptr;
    }
  }
  // Text mode reads and writes each byte as one character: a text open
  // needs an encoding, and ISO-8859-1 (the default) maps bytes one to one.
  uintptr_t encoding = 0;
  if ((bits & LV_FOPEN_BINARY) == 0) {
    bits |= LV_FOPEN_TEXT | LV_FOPEN_ENCODING_TERM;
    encoding = static_cast<uintptr_t>(LV_ATOM_NIL);
  }
  errno = 0;
  lv_stream* s = nullptr;
  if (LV_fopen(o->path, encoding, bits, &s) < 0) {
    o->status = errno != 0 ? errno : EIO;
    return nullptr;
  }
  o->file.stream = s;
  o->file.state = LV_URL_OPEN;
  return o;
}

size_t file_read(lv_url_object* o, void* destination, size_t size, size_t count) {
  lv_stream* s = o->file.stream;
  if (o->file.state != LV_URL_OPEN || s == nullptr || size == 0) return 0;
  size_t wanted;
  if (__builtin_mul_overflow(size, count, &wanted)) wanted = SIZE_MAX - SIZE_MAX % size;
  bool text = (s->flags & LV_STREAM_TEXT) != 0;
  auto* out = static_cast<uint8_t*>(destination);
  size_t n = 0;
  while (n < wanted) {
    int64_t c = text ? lv_get_code(s) : lv_get_byte(s);
    if (c < 0) break;
    out[n++] = static_cast<uint8_t>(c);
  }
  if (n < wanted) {
    errno = EIO;
    o->status = EIO;
  }
  return n / size;
}

int file_close(lv_url_object* o) {
  if (o == nullptr) return -1;
  int result = 0;
  if (o->file.stream != nullptr && LV_fclose(o->file.stream, 0) < 0) {
    (void)LV_fclose(o->file.stream, LV_CLOSE_FORCE);  // the failure is reported below
    errno = EPERM;
    o->status = EPERM;
    result = 1;
  }
  o->file.stream = nullptr;
  o->file.state = LV_URL_CLOSED;
  return result;
}

void file_destroy(lv_url_object* o) {
  if (o != nullptr && o->file.stream != nullptr) (void)file_close(o);
  destroy(o);
}

}  // namespace

const lv_url_methods lv_url_resource_methods = {
    "Lorvika Resource URL Object", destroy,       self,       resource_check, extension,
    resource_check,                resource_open, resource_read, resource_close, getc_method,
};

const lv_url_methods lv_url_file_methods = {
    "Local file URL Object", file_destroy, self, file_check, extension, file_check, file_open, file_read, file_close,
    getc_method,
};

const lv_url_scheme lv_url_scheme_table[] = {
    {"x-lorvika-resource", lv_url_resource_open},
    {"file", lv_url_file_open},
    {nullptr, nullptr},
};

lv_url_object* lv_url_resource_open(const char* text) {
  lv_url_object* o = make_object(&lv_url_resource_methods, text);
  if (o == nullptr) return nullptr;
  const char* colon = std::strrchr(o->path, ':');
  o->resource.name = colon != nullptr ? colon + 1 : o->path;
  if (resource_check(o) == nullptr) {
    lv_url_close(o);
    return nullptr;
  }
  return o;
}

lv_url_object* lv_url_file_open(const char* text) {
  bool prefixed = starts_folded(text, "file:");
  const char* rest = prefixed ? text + 5 : text;
  char* normal = lv_normalize_file_name(rest, nullptr, prefixed ? LV_NAME_NO_VARIABLE | LV_NAME_NO_HOME : 0);
  if (normal == nullptr) return nullptr;
  LV_free(normal);  // only a check: the object keeps the name as given
  return make_object(&lv_url_file_methods, rest);
}

lv_url_object* lv_url_open(const char* path) {
  if (path == nullptr || std::strncmp(path, URL_PREFIX, 4) != 0 || std::strchr(path + 4, ':') == nullptr)
    return nullptr;
  const char* text = path + 4;
  for (const lv_url_scheme* s = lv_url_scheme_table; s->scheme != nullptr; s++) {
    bool any = std::strcmp(s->scheme, "*") == 0;
    if (!any && !(starts_folded(text, s->scheme) && text[std::strlen(s->scheme)] == ':')) continue;
    if (lv_url_object* o = s->open(text); o != nullptr) return o;
  }
  return nullptr;
}

void lv_url_close(lv_url_object* o) {
  if (o == nullptr) return;
  (void)o->methods->close(o);
  o->methods->destroy(o);
}

int lv_url_getc(lv_url_object* o) {
  if (o == nullptr) return -1;
  uint8_t byte = 0;
  return o->methods->read(o, &byte, 1, 1) == 1 ? byte : -1;
}

int lv_url_path_opens(const char* path) {
  lv_url_object* o = lv_url_open(path);
  if (o == nullptr) return 0;
  bool opens = o->methods->open(o, "rb") != nullptr;
  lv_url_close(o);
  return opens ? 1 : 0;
}

int64_t lv_classify_path(lvio_layer** chain, const lvio_option* options, uint32_t direction) {
  const char* path = nullptr;
  int64_t rc = lvio_option_lookup(options, "pathname", &path);
  if (rc < 0) return rc;
  if (!starts_folded(path, "url:") || path[4] == '\0') return LVIO_E_INVALID_NAME;
  const char* rest = path + 4;
  if (!starts_folded(rest, RESOURCE_SCHEME)) return LVIO_E_NOT_SUPPORTED;
  const char* name = rest + sizeof RESOURCE_SCHEME - 1;
  if (*name == '\0') return LVIO_E_PARAMETER_ERROR;
  if ((direction & 2) != 0) return LVIO_E_PERMISSION_ERROR;
  if ((direction & 1) == 0) return LVIO_E_PARAMETER_ERROR;
  const uint8_t* bytes = nullptr;
  int64_t length = 0, stamp = 0;
  if (lv_find_named_resource(name, &bytes, &length, &stamp) == 0) return LVIO_E_FILE_NOT_FOUND;
  // The buffer borrows the bytes: they stay where the resource lives.
  lvio_buffer* buffer = lvio_buffer_create(bytes, static_cast<uint64_t>(length), 0);
  if (buffer == nullptr) return LVIO_E_OUT_OF_MEMORY;
  return lv_memory_device_create(chain, buffer, nullptr, nullptr,
                                 LV_MEMORY_OWNS_BUFFER | LV_MEMORY_READABLE | LV_MEMORY_BYTE_ITEMS);
}
