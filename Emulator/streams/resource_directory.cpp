// Resources appended to files: the trailers read backwards from each file's
// end, the directory of files, the bytes read on demand, and the dump.
#include "streams/resource_directory.h"

#include <cinttypes>
#include <cstring>

#include "core/memory.h"
#include "core/settings.h"
#include "lvio/allocator.h"
#include "streams/std_streams.h"
#include "streams/stream_api.h"
#include "streams/stream_close.h"
#include "streams/stream_internal.h"
#include "streams/stream_open.h"

namespace {

constexpr int64_t BLOCK_BYTES = 100;
constexpr char OPENING_LINE[] = "\n# META_INFO_SUFFIX 1";         // 21 bytes
constexpr char CLOSING_LINE[] = "\n# META_INFO_SUFFIX END\n";      // 24 bytes with the final newline
constexpr int64_t OPENING_BYTES = sizeof OPENING_LINE - 1;
constexpr int64_t CLOSING_BYTES = sizeof CLOSING_LINE - 1;
constexpr int SIZE_DIGITS_MAX = 16;  // a 64-bit size
const char* const PATH_SETTINGS[] = {"LV_RT_PATH", "LV_APP_PATH", "LV_EMBEDDED_RESOURCES_PATH"};

lv_resource_file* directory = nullptr;

// Reads a stream's bytes from a position towards the start of the file, a
// block at a time: each block is one absolute seek and one forward read,
// ending where the previous block began.
struct backward_reader {
  lv_stream* stream;
  int64_t position;  // bytes before the reader: the next byte returned is at position - 1
  int64_t held;      // bytes of the block not yet returned: block[0, held)
  uint8_t block[BLOCK_BYTES];
};

// The next byte forward from the stream's read position; an interrupted
// refill is tried again.
int64_t forward_byte(lv_stream* s) {
  for (;;) {
    if (s->byte_read_cursor < s->byte_read_limit) return *s->byte_read_cursor++;
    int64_t c = lv_stream_fill_bytes(s, 0);
    if (c != LVIO_E_INTERRUPTED) return c;
  }
}

// Reads count bytes forward into out: 0, or the failure (the end of the
// stream counts as a read error: the bytes were promised).
int64_t read_forward(lv_stream* s, uint8_t* out, int64_t count) {
  while (count > 0) {
    int64_t ready = s->byte_read_limit - s->byte_read_cursor;
    if (ready > 0) {
      int64_t n = ready < count ? ready : count;
      std::memcpy(out, s->byte_read_cursor, static_cast<size_t>(n));
      s->byte_read_cursor += n;
      out += n;
      count -= n;
      continue;
    }
    int64_t c = forward_byte(s);
    if (c < 0) return c == LV_STREAM_END ? LVIO_E_READ_ERROR : c;
    *out++ = static_cast<uint8_t>(c);
    count--;
  }
  return 0;
}

// The byte before the reader: 0-255, LVIO_E_END_OF_FILE at the start of the
// file, or the failure of the refill.
int64_t previous_byte(backward_reader* r) {
  if (r->held == 0) {
    if (r->position == 0) return LVIO_E_END_OF_FILE;
    int64_t start = r->position > BLOCK_BYTES ? r->position - BLOCK_BYTES : 0;
    int64_t at = lv_stream_seek_to(r->stream, start);
    if (at < 0) return at;
    if (at != start) return LVIO_E_SEEK_ERROR;
    int64_t rc = read_forward(r->stream, r->block, r->position - start);
    if (rc < 0) return rc;
    r->held = r->position - start;
  }
  r->position--;
  return r->block[--r->held];
}

void move_reader(backward_reader* r, int64_t position) {
  r->position = position;
  r->held = 0;
}

void free_properties(lv_resource_prop* p) {
  while (p != nullptr) {
    lv_resource_prop* next = p->next;
    LV_free(p->key);
    LV_free(p->value);
    LV_free(p);
    p = next;
  }
}

void free_entry(lv_resource_entry* e) {
  free_properties(e->properties);
  LV_free(e->bytes);
  LV_free(e);
}

void free_entries(lv_resource_entry* e) {
  while (e != nullptr) {
    lv_resource_entry* next = e->next;
    free_entry(e);
    e = next;
  }
}

char* copy_text(const uint8_t* text, int64_t length) {
  auto* out = static_cast<char*>(LV_malloc(static_cast<size_t>(length) + 1));
  if (out == nullptr) return nullptr;
  std::memcpy(out, text, static_cast<size_t>(length));
  out[length] = '\0';
  return out;
}

// One line read backwards, its leading newline first in line[0, *length):
// 0, LVIO_E_END_OF_FILE at the start of the file before any byte of it,
// LVIO_E_NOT_FOUND at the start of the file inside it, LVIO_E_OUT_OF_MEMORY
// for a line longer than LV_RESOURCE_LINE_MAX, or the reader's failure.
int64_t previous_line(backward_reader* r, uint8_t* line, int64_t* length) {
  int64_t n = 0;
  for (;;) {
    int64_t c = previous_byte(r);
    if (c == LVIO_E_END_OF_FILE) return n == 0 ? LVIO_E_END_OF_FILE : LVIO_E_NOT_FOUND;
    if (c < 0) return c;
    if (n == LV_RESOURCE_LINE_MAX) return LVIO_E_OUT_OF_MEMORY;
    // Filled from the end of the buffer towards its start.
    line[LV_RESOURCE_LINE_MAX - 1 - n] = static_cast<uint8_t>(c);
    n++;
    if (c == '\n') break;
  }
  std::memmove(line, line + LV_RESOURCE_LINE_MAX - n, static_cast<size_t>(n));
  *length = n;
  return 0;
}

// The value of a size property: "0x" and one to 16 hexadecimal digits.
bool parse_size(const uint8_t* value, int64_t length, uint64_t* size) {
  if (length < 3 || value[0] != '0' || value[1] != 'x' || length - 2 > SIZE_DIGITS_MAX) return false;
  uint64_t v = 0;
  for (int64_t i = 2; i < length; i++) {
    uint8_t c = value[i];
    uint64_t digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else
      return false;
    v = v << 4 | digit;
  }
  *size = v;
  return true;
}

// Parses the trailer that ends before the reader into a new entry: 0 and the
// entry, or the failure (nothing is left behind).
int64_t parse_trailer(backward_reader* r, lv_resource_entry** out) {
  char closing[CLOSING_BYTES];
  for (int64_t i = CLOSING_BYTES - 1; i >= 0; i--) {
    int64_t c = previous_byte(r);
    if (c < 0) return c == LVIO_E_END_OF_FILE && i != CLOSING_BYTES - 1 ? LVIO_E_NOT_FOUND : c;
    closing[i] = static_cast<char>(c);
  }
  if (std::memcmp(closing, CLOSING_LINE, CLOSING_BYTES) != 0) return LVIO_E_NOT_FOUND;
  auto* e = static_cast<lv_resource_entry*>(LV_malloc(sizeof(lv_resource_entry)));
  if (e == nullptr) return LVIO_E_OUT_OF_MEMORY;
  *e = {-1, -1, nullptr, nullptr, nullptr};
  bool have_size = false;
  uint64_t size = 0;
  uint8_t line[LV_RESOURCE_LINE_MAX];
  int64_t rc;
  for (;;) {
    int64_t n = 0;
    rc = previous_line(r, line, &n);
    if (rc < 0) break;
    if (n < 2 || line[1] != '#') {
      rc = LVIO_E_NOT_FOUND;
      break;
    }
    const uint8_t* eq = n > 3 ? static_cast<const uint8_t*>(std::memchr(line + 3, '=', static_cast<size_t>(n - 3)))
                              : nullptr;
    bool property = n > 3 && line[2] == ' ' && line[n - 1] == '"' && eq != nullptr && eq + 1 < line + n &&
                    eq[1] == '"' && eq + 2 < line + n;
    if (property) {
      const uint8_t* key = line + 3;
      int64_t key_length = eq - key;
      const uint8_t* value = eq + 2;
      int64_t value_length = (line + n - 1) - value;
      if (key_length == 4 && std::memcmp(key, "size", 4) == 0) {
        if (have_size) {
          rc = LVIO_E_INVALID_STATE;
          break;
        }
        if (!parse_size(value, value_length, &size)) {
          rc = LVIO_E_NOT_FOUND;
          break;
        }
        have_size = true;
        continue;
      }
      auto* p = static_cast<lv_resource_prop*>(LV_malloc(sizeof(lv_resource_prop)));
      char* k = copy_text(key, key_length);
      char* v = copy_text(value, value_length);
      if (p == nullptr || k == nullptr || v == nullptr) {
        LV_free(p);
        LV_free(k);
        LV_free(v);
        rc = LVIO_E_OUT_OF_MEMORY;
        break;
      }
      *p = {k, v, e->properties};
      e->properties = p;
      continue;
    }
    if (n >= OPENING_BYTES && std::memcmp(line, OPENING_LINE, OPENING_BYTES) == 0) {
      // The size may not reach before the start of the file: the bytes lie
      // between it and this line.
      if (!have_size || n != OPENING_BYTES || size > static_cast<uint64_t>(r->position)) {
        rc = LVIO_E_NOT_FOUND;
        break;
      }
      e->size = static_cast<int64_t>(size);
      e->start = r->position - e->size;
      *out = e;
      return 0;
    }
    // Any other comment line is skipped.
  }
  free_entry(e);
  return rc;
}

// Opens the file named by a setting and scans it: the record, or null when
// the file cannot be opened or holds no resource.
lv_resource_file* scan_setting(const char* setting) {
  char* path = lv_get_property_text_default(setting, nullptr, nullptr);
  if (path == nullptr) return nullptr;
  lv_stream* s = nullptr;
  int64_t rc = path[0] != '\0' ? lv_stream_open_file(path, LV_FOPEN_READ | LV_FOPEN_BINARY | LV_FOPEN_NAME_AS_GIVEN |
                                                                   LV_FOPEN_HIDDEN,
                                                     0, &s)
                               : LVIO_E_PARAMETER_ERROR;
  LV_free(path);
  if (rc < 0) return nullptr;
  lv_resource_entry* list = nullptr;
  (void)lv_resource_file_scan(s, &list);  // a damaged trailer only ends the list
  auto* f = list != nullptr ? static_cast<lv_resource_file*>(LV_malloc(sizeof(lv_resource_file))) : nullptr;
  if (f == nullptr) {
    free_entries(list);
    (void)lv_stream_close(s, LV_CLOSE_FORCE);  // a read-only stream: nothing to report
    return nullptr;
  }
  *f = {s, list, nullptr};
  return f;
}

bool matches(const lv_resource_entry* e, const char* name) {
  const char* value = nullptr;
  if (lv_resource_property(e, "name", &value) == 0 && std::strcmp(value, name) == 0) return true;
  if (lv_resource_property(e, "file", &value) == 0) {
    size_t n = std::strlen(name);
    size_t m = std::strlen(value);
    if (m >= n && std::memcmp(value + m - n, name, n) == 0) return true;
  }
  return false;
}

// The entry and the file that holds it; LVIO_E_NOT_FOUND, or the failure
// to build the directory.
int64_t find_entry(const char* name, lv_resource_file** file, lv_resource_entry** entry) {
  lv_resource_file* first = nullptr;
  int64_t rc = lv_resource_directory(&first);
  if (rc < 0) return rc;
  for (lv_resource_file* f = first; f != nullptr; f = f->next)
    for (lv_resource_entry* e = f->resources; e != nullptr; e = e->next)
      if (matches(e, name)) {
        *file = f;
        *entry = e;
        return 0;
      }
  return LVIO_E_NOT_FOUND;
}

}  // namespace

int64_t lv_stream_seek_to(lv_stream* s, int64_t position) {
  int64_t rc = lv_stream_set_position(s, position, 0, 0, LV_SEEK | LV_SEEK_FROM_START);
  return rc < 0 ? rc : s->item_count;
}

int64_t lv_resource_file_scan(lv_stream* s, lv_resource_entry** list) {
  *list = nullptr;
  if (s == nullptr || (s->flags & (LV_STREAM_INPUT | LV_STREAM_BINARY)) != (LV_STREAM_INPUT | LV_STREAM_BINARY))
    return LVIO_E_PARAMETER_ERROR;
  int64_t rc = lv_stream_set_position(s, 0, 0, 0, LV_SEEK | LV_SEEK_FROM_END);
  if (rc < 0) return rc;
  backward_reader r = {s, s->item_count, 0, {}};
  lv_resource_entry* found = nullptr;  // newest first: nearest the start of the file
  for (;;) {
    lv_resource_entry* e = nullptr;
    rc = parse_trailer(&r, &e);
    if (rc < 0) break;
    e->next = found;
    found = e;
    move_reader(&r, e->start);
  }
  *list = found;
  return rc;
}

int64_t lv_resource_directory(lv_resource_file** first) {
  if (directory == nullptr) {
    for (const char* setting : PATH_SETTINGS) {
      lv_resource_file* f = scan_setting(setting);
      if (f == nullptr) continue;
      // The file of a later setting is searched first.
      f->next = directory;
      directory = f;
    }
    if (directory == nullptr) {
      directory = static_cast<lv_resource_file*>(LV_malloc(sizeof(lv_resource_file)));
      if (directory == nullptr) return LVIO_E_OUT_OF_MEMORY;
      *directory = {nullptr, nullptr, nullptr};
    }
  }
  *first = directory;
  return 0;
}

int64_t lv_resource_property(const lv_resource_entry* e, const char* key, const char** value) {
  for (const lv_resource_prop* p = e->properties; p != nullptr; p = p->next)
    if (std::strcmp(p->key, key) == 0) {
      *value = p->value;
      return 0;
    }
  return LVIO_E_NOT_FOUND;
}

int64_t lv_find_resource_node(const char* name, lv_resource_entry** entry) {
  lv_resource_file* file = nullptr;
  return find_entry(name, &file, entry);
}

int64_t lv_get_resource_bytes(const char* name, const uint8_t** bytes, int64_t* size) {
  lv_resource_file* f = nullptr;
  lv_resource_entry* e = nullptr;
  int64_t rc = find_entry(name, &f, &e);
  if (rc < 0) return rc;
  if (e->start < 0 || e->size < 0) return LVIO_E_NOT_FOUND;
  if (e->bytes == nullptr) {
    auto* block = static_cast<uint8_t*>(LV_malloc(e->size > 0 ? static_cast<size_t>(e->size) : 1));
    if (block == nullptr) return LVIO_E_OUT_OF_MEMORY;
    int64_t at = lv_stream_seek_to(f->stream, e->start);
    rc = at < 0 ? at : at != e->start ? LVIO_E_SEEK_ERROR : read_forward(f->stream, block, e->size);
    if (rc < 0) {
      LV_free(block);
      return rc;
    }
    e->bytes = block;
  }
  *bytes = e->bytes;
  *size = e->size;
  return 0;
}

void lv_dump_resources() {
  lv_resource_file* first = nullptr;
  if (lv_resource_directory(&first) < 0) return;
  for (lv_resource_file* f = first; f != nullptr; f = f->next)
    for (lv_resource_entry* e = f->resources; e != nullptr; e = e->next) {
      LV_printf("Embedded resource @%" PRId64 ", length %" PRId64 "\n", e->start, e->size);
      for (lv_resource_prop* p = e->properties; p != nullptr; p = p->next) LV_printf("  %s=%s\n", p->key, p->value);
      lv_stream* out = lv_streams.user[LV_STD_OUTPUT];
      if (out != nullptr && (out->flags & LV_STREAM_OUTPUT) != 0) (void)lv_stream_flush(out, 0);  // as printing does
    }
}

void lv_free_resource_directory() {
  while (directory != nullptr) {
    lv_resource_file* f = directory;
    directory = f->next;
    free_entries(f->resources);
    if (f->stream != nullptr && lv_stream_known(f->stream) != nullptr)
      (void)lv_stream_close(f->stream, LV_CLOSE_FORCE);  // read-only: nothing to report
    LV_free(f);
  }
}
