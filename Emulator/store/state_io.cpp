// The file of a saved state: the text head and trailer, the compressed body.
#include "store/state_io.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/atoms.h"
#include "core/memory.h"
#include "core/settings.h"
#include "lvio/file_operations.h"
#include "lvio/chain.h"
#include "lvio/operation_flags.h"
#include "store/state_reloc.h"
#include "streams/file_names.h"
#include "streams/paths.h"
#include "streams/stream_api.h"
#include "streams/stream_layers.h"

namespace {

constexpr uint32_t IO_FLAGS = lv_mem_flags(LV_CAT_MISC, LV_MEM_MAY_FAIL);

// Open options of the file: write binary with a normalised name; read
// binary through the file-name layer, else read binary.
constexpr uint32_t SAVE_OPEN = LV_FOPEN_WRITE | LV_FOPEN_BINARY | LV_FOPEN_NORMALIZE_0X40;
constexpr uint32_t RESTORE_OPEN = LV_FOPEN_READ | LV_FOPEN_BINARY | LV_FOPEN_NAME_LAYER;
constexpr uint32_t RESTORE_OPEN_PLAIN = LV_FOPEN_READ | LV_FOPEN_BINARY;

constexpr size_t MAX_HEAD_LINE = 255;

char* copy_text(const char* text, size_t length) {
  char* c = static_cast<char*>(LV_malloc(length + 1));
  if (c == nullptr) return nullptr;
  std::memcpy(c, text, length);
  c[length] = '\0';
  return c;
}

// The file's absolute normalised name, else the name as given; its
// directory; and the library directory (the runtime's setting) when it is
// a directory text.
bool names(lv_saved_state_io* io, const char* file) {
  char* normal = lv_normalize_file_name(file, nullptr, LV_NAME_ROOT_OK);
  io->path = normal != nullptr ? normal : copy_text(file, std::strlen(file));
  if (io->path == nullptr) return false;
  size_t dir = lv_path_dirname_length(io->path);
  if (dir != 0) {
    io->state_dir = copy_text(io->path, dir);
    if (io->state_dir == nullptr) return false;
    io->state_length = dir;
  }
  char* library = lv_get_property_text_default("LV_LIBRARY_DIR", nullptr, nullptr);
  if (library != nullptr) {
    size_t n = std::strlen(library);
    if (n > 0 && library[n - 1] == '/') {
      io->library_dir = library;
      io->library_length = n;
    } else {
      LV_free(library);
    }
  }
  return true;
}

void put_text(lv_saved_state_io* io, const char* text) { lv_state_put(io, text, std::strlen(text)); }

// "<prefix>"<text>"\n", or nothing for a text holding a newline.
void put_quoted_line(lv_saved_state_io* io, const char* prefix, const char* text) {
  if (std::strchr(text, '\n') != nullptr) return;
  put_text(io, prefix);
  put_text(io, "\"");
  put_text(io, text);
  put_text(io, "\"\n");
}

// The position of the file written so far: the data before the trailer.
int64_t file_position(lv_stream* s, int64_t* position) {
  int64_t rc = lv_stream_flush(s, 0);
  if (rc < 0) return rc;
  if (rc == LV_STREAM_INTERRUPTED) return LVIO_E_INTERRUPTED;
  return lvio_stream_seek(&s->chain, 0, position, nullptr, LVIO_SEEK_RELATIVE | LVIO_SEEK_WRITE_SIDE);
}

// Reads one line of the head: its bytes (at most MAX_HEAD_LINE, a longer
// line is skipped whole) without the newline. 1 for a line, 0 at the end
// of the file, or a negative code.
int64_t read_line(lv_stream* s, char* line, size_t* length) {
  size_t n = 0;
  bool too_long = false;
  for (;;) {
    int64_t c = lv_get_byte(s);
    if (c == LV_STREAM_END) return n == 0 && !too_long ? 0 : LVIO_E_END_OF_FILE;
    if (c < 0) return c;
    if (c == '\n') {
      if (too_long) {
        n = 0;
        too_long = false;
        continue;
      }
      line[n] = '\0';
      *length = n;
      return 1;
    }
    if (n < MAX_HEAD_LINE) {
      line[n++] = static_cast<char>(c);
    } else {
      too_long = true;
    }
  }
}

// "version=<decimal> archmask=0x<hex>", nothing after it but a carriage
// return; false when the line does not scan.
bool scan_version(const char* line, int64_t* version, uint32_t* mask) {
  if (std::strncmp(line, "version=", 8) != 0) return false;
  const char* p = line + 8;
  int64_t v = 0;
  if (*p < '0' || *p > '9') return false;
  while (*p >= '0' && *p <= '9') {
    v = 10 * v + (*p++ - '0');
    if (v > 1000000) return false;
  }
  if (std::strncmp(p, " archmask=0x", 12) != 0) return false;
  p += 12;
  uint64_t m = 0;
  int digits = 0;
  for (;; p++, digits++) {
    int d = *p >= '0' && *p <= '9' ? *p - '0' : *p >= 'a' && *p <= 'f' ? *p - 'a' + 10 : *p >= 'A' && *p <= 'F' ? *p - 'A' + 10 : -1;
    if (d < 0) break;
    m = 16 * m + static_cast<uint64_t>(d);
    if (m > 0xFFFFFFFFu) return false;
  }
  if (digits == 0 || !(*p == '\0' || (*p == '\r' && p[1] == '\0'))) return false;
  *version = v;
  *mask = static_cast<uint32_t>(m);
  return true;
}

}  // namespace

lv_saved_state_io* lv_state_io_new(lv_worker* w) {
  auto* io = static_cast<lv_saved_state_io*>(lv_mem_alloc(sizeof(lv_saved_state_io), IO_FLAGS));
  if (io == nullptr) return nullptr;
  std::memset(io, 0, sizeof *io);
  io->w = w;
  io->selected = -1;
  io->reloc = lv_reloc_new();
  return io;
}

void lv_state_io_free(lv_saved_state_io* io, bool discard) {
  if (io == nullptr) return;
  if (io->stream != nullptr) {
    if (discard || LV_fclose(io->stream, 0) < 0) (void)LV_fclose(io->stream, LV_CLOSE_FORCE);
  }
  if (io->file_atom != 0) lv_atom_ref_dec(io->file_atom);
  LV_free(io->path);
  LV_free(io->state_dir);
  LV_free(io->library_dir);
  lv_reloc_free(io->reloc);
  lv_mem_free(io, sizeof *io, IO_FLAGS);
}

int64_t lv_state_fail(lv_saved_state_io* io, int64_t code, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vsnprintf(io->message, sizeof io->message, format, args);
  va_end(args);
  return code;
}

// ---- Writing ------------------------------------------------------------------

void lv_state_put(lv_saved_state_io* io, const void* bytes, size_t count) {
  if (io->error != 0 || count == 0) return;
  int64_t rc = LV_put_bytes(io->stream, static_cast<const uint8_t*>(bytes), static_cast<int64_t>(count), 0);
  if (rc < 0) io->error = rc;
}

void lv_state_put_header(lv_saved_state_io* io, uint64_t type, uint64_t w1, uint64_t w2, uint64_t w3, uint64_t w4,
                         uint64_t w5, uint64_t w6, uint64_t w7, uint64_t w8) {
  lv_state_header h = {{type, w1, w2, w3, w4, w5, w6, w7, w8}};
  lv_state_put(io, &h, sizeof h);
}

int64_t lv_save_open(lv_saved_state_io* io, const char* file, uint32_t kind, const char* const* resources,
                     size_t resource_count) {
  if (!names(io, file)) return LVIO_E_OUT_OF_MEMORY;
  io->file_atom = lv_atom_from_text(io->path, LV_ATOM_FIND_OR_CREATE);
  if (io->file_atom == 0) return lv_state_fail(io, LVIO_E_PARAMETER_ERROR, "the file name makes no atom");
  lv_atom_ref_inc(io->file_atom);
  io->own_mask = io->file_mask = lv_emulator_archmask(kind);
  int64_t rc = LV_fopen(io->path, 0, SAVE_OPEN, &io->stream);
  if (rc < 0) {
    io->stream = nullptr;
    return lv_state_fail(io, rc, "cannot open the file");
  }
  put_text(io, "lorvika-4.9.0 -r %0.bat -a %1 %2 %3 %4 %5 %6 %7 %8 %9\r\n");
  put_text(io, "# META_INFO 1\n");
  put_quoted_line(io, "# FILE: ", io->path);
  for (size_t i = 0; i < resource_count; i++) put_quoted_line(io, "# FR: ", resources[i]);
  put_text(io, "# META_INFO END\n");
  char version[10];
  char mask[10];
  int nv = std::snprintf(version, sizeof version, "%d", LV_STATE_VERSION);
  int nm = std::snprintf(mask, sizeof mask, "%" PRIx32, io->own_mask);
  if (nv < 0 || nv >= 10 || nm < 0 || nm >= 10) return lv_state_fail(io, LVIO_E_INTERNAL_ERROR, "formatting failed");
  put_text(io, "version=");
  put_text(io, version);
  put_text(io, " archmask=0x");
  put_text(io, mask);
  put_text(io, "\n");
  if (io->error != 0) return io->error;
  rc = lv_stream_zlib_layer(io->stream, 0);
  if (rc < 0) return rc;
  io->body_open = true;
  return 0;
}

int64_t lv_save_close(lv_saved_state_io* io) {
  lv_state_put_header(io, LV_REC_END, 1, 1);
  if (io->error != 0) return io->error;
  int64_t rc = lv_stream_zlib_layer(io->stream, 1);
  if (rc < 0) return rc;
  io->body_open = false;
  int64_t size = 0;
  rc = file_position(io->stream, &size);
  if (rc == LVIO_E_INTERRUPTED) return rc;
  if (rc < 0) size = 0;
  char line[64];
  std::snprintf(line, sizeof line, "# size=\"0x%" PRIx64 "\"\n", static_cast<uint64_t>(size));
  put_text(io, "\n# META_INFO_SUFFIX 1\n");
  put_text(io, line);
  put_quoted_line(io, "# file=", io->path);
  put_text(io, "# META_INFO_SUFFIX END\n");
  if (io->error != 0) return io->error;
  rc = LV_fclose(io->stream, 0);
  if (rc < 0) return rc;
  io->stream = nullptr;
  return 0;
}

// ---- Reading ------------------------------------------------------------------

int64_t lv_restore_open(lv_saved_state_io* io, const char* file, uint32_t kind) {
  if (!names(io, file)) return LVIO_E_OUT_OF_MEMORY;
  io->own_mask = lv_emulator_archmask(kind);
  int64_t rc = LV_fopen(file, 0, RESTORE_OPEN, &io->stream);
  if (rc < 0 && rc != LVIO_E_FILE_NOT_FOUND && rc != LVIO_E_PERMISSION_ERROR && rc != LVIO_E_NOT_SUPPORTED)
    rc = LV_fopen(file, 0, RESTORE_OPEN_PLAIN, &io->stream);
  if (rc < 0) {
    io->stream = nullptr;
    return lv_state_fail(io, rc, "cannot open the file");
  }
  char line[MAX_HEAD_LINE + 1];
  for (;;) {
    size_t length = 0;
    rc = read_line(io->stream, line, &length);
    if (rc == 0 || rc == LVIO_E_END_OF_FILE) return lv_state_fail(io, LVIO_E_MISC_ERROR_1, "bad saved state");
    if (rc < 0) return lv_state_fail(io, rc, "cannot read the file");
    if (std::strncmp(line, "archmask", 8) == 0) return lv_state_fail(io, LVIO_E_MISC_ERROR_1, "bad saved state");
    if (std::strncmp(line, "version", 7) != 0) continue;
    int64_t version = 0;
    if (!scan_version(line, &version, &io->file_mask) || version != LV_STATE_VERSION)
      return lv_state_fail(io, LVIO_E_MISC_ERROR_1, "bad saved state");
    break;
  }
  uint32_t x = (io->own_mask & 0xFFF) ^ (io->file_mask & 0xFFFFF);
  bool refused = (x & 3) != 0 || (x & (2u << LV_ARCH_KIND_SHIFT)) != 0 ||
                 (lv_archmask_kind(io->file_mask) == LV_STATE_ALL && (x & (LV_ARCH_BDD | LV_ARCH_GAUGE)) != 0);
  if (refused) {
    char file_text[64];
    char own_text[64];
    if (lv_archmask_text(io->file_mask, file_text, sizeof file_text) < 0 ||
        lv_archmask_text(io->own_mask, own_text, sizeof own_text) < 0)
      return lv_state_fail(io, LVIO_E_MISC_ERROR_1, "saved state mismatch");
    return lv_state_fail(io, LVIO_E_MISC_ERROR_1, "type %s saved state, type %s emulator", file_text, own_text);
  }
  io->swap = (x & LV_ARCH_BIG_ENDIAN) != 0;
  rc = lv_stream_zlib_layer(io->stream, 0);
  if (rc < 0) return lv_state_fail(io, rc, "cannot read the file");
  io->body_open = true;
  return 0;
}

int64_t lv_state_get(lv_saved_state_io* io, void* bytes, size_t count) {
  auto* out = static_cast<uint8_t*>(bytes);
  lv_stream* s = io->stream;
  for (size_t i = 0; i < count; i++) {
    int64_t c = lv_get_byte(s);
    if (c < 0) return c == LV_STREAM_END ? LVIO_E_END_OF_FILE : c;
    out[i] = static_cast<uint8_t>(c);
  }
  return 0;
}

int64_t lv_state_get_words(lv_saved_state_io* io, uint64_t* words, size_t count) {
  int64_t rc = lv_state_get(io, words, 8 * count);
  if (rc < 0 || !io->swap) return rc;
  for (size_t i = 0; i < count; i++) words[i] = lv_swap64(words[i]);
  return 0;
}

int64_t lv_state_skip(lv_saved_state_io* io, uint64_t count) {
  lv_stream* s = io->stream;
  for (uint64_t i = 0; i < count; i++) {
    int64_t c = lv_get_byte(s);
    if (c < 0) return c == LV_STREAM_END ? LVIO_E_END_OF_FILE : c;
  }
  return 0;
}

int64_t lv_restore_close_body(lv_saved_state_io* io) {
  int64_t c = lv_get_byte(io->stream);
  if (c >= 0) return lv_state_fail(io, LVIO_E_PARAMETER_ERROR, "data after the end record");
  if (c != LV_STREAM_END) return lv_state_fail(io, c, "the compressed body is damaged");
  int64_t rc = lv_stream_zlib_layer(io->stream, 1);
  if (rc < 0) return lv_state_fail(io, LVIO_E_END_OF_FILE, "the compressed body is cut short");
  io->body_open = false;
  return 0;
}
