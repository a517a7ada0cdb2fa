// The state of one saved-state write or restore, and its file: opening,
// the text head and trailer, and the bytes of the compressed body.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/hashtab.h"
#include "core/termrefs.h"
#include "core/worker.h"
#include "store/state_format.h"
#include "streams/stream.h"

struct lv_saved_state_io {
  lv_worker* w;
  lv_stream* stream;
  char* path;               // the file's absolute name (LV_malloc), or null
  lv_term file_atom;        // the writer's atom of that name (a reference held), or 0
  char* library_dir;        // the library directory text with its final "/" (LV_malloc), or null
  size_t library_length;
  char* state_dir;          // the directory of the state file with its final "/", or null
  size_t state_length;
  lv_keytab* reloc;         // the relocation table
  uint32_t file_mask;       // the file's archmask (the writer's own when writing)
  uint32_t own_mask;        // this runtime's archmask for the kind asked for
  bool swap;                // the file's byte order differs from this runtime's
  lv_term_ref selected;     // the selected-files list ($save:type/1), or -1 for none
  int64_t error;            // the writer's first write error, or 0
  bool body_open;           // the compression layer is pushed
  char message[512];        // what the last failure was
};

// A new state with its relocation table; null when out of memory.
lv_saved_state_io* lv_state_io_new(lv_worker* w);
// Closes the stream (discarding output when asked), frees the state and
// everything it owns.
void lv_state_io_free(lv_saved_state_io* io, bool discard);

// Records the reason of a failure; returns code.
int64_t lv_state_fail(lv_saved_state_io* io, int64_t code, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// Writing. The open writes the text head (the batch line, the meta
// information with the FILE line and a FR line per name, the version line)
// and pushes the compression layer; the close writes the end record, pops
// the layer, writes the trailer and closes the file. Write errors are kept:
// the first one is io->error.
int64_t lv_save_open(lv_saved_state_io* io, const char* file, uint32_t kind, const char* const* resources,
                     size_t resource_count);
int64_t lv_save_close(lv_saved_state_io* io);
void lv_state_put(lv_saved_state_io* io, const void* bytes, size_t count);
void lv_state_put_header(lv_saved_state_io* io, uint64_t type, uint64_t w1 = 0, uint64_t w2 = 0, uint64_t w3 = 0,
                         uint64_t w4 = 0, uint64_t w5 = 0, uint64_t w6 = 0, uint64_t w7 = 0, uint64_t w8 = 0);

// Reading. The open reads the text head, checks the version line and the
// archmask against this runtime's for the kind asked for, and pushes the
// compression layer: 0, a code of the file's open or reads, or
// LVIO_E_MISC_ERROR_1 for a head that is refused (io->message says why).
int64_t lv_restore_open(lv_saved_state_io* io, const char* file, uint32_t kind);
// Reads exactly count bytes of the body: 0, LVIO_E_END_OF_FILE when the
// body ends first, or the read's code.
int64_t lv_state_get(lv_saved_state_io* io, void* bytes, size_t count);
// Reads count 64-bit words, byte-reversed when the file's byte order
// differs.
int64_t lv_state_get_words(lv_saved_state_io* io, uint64_t* words, size_t count);
// Reads and drops count bytes.
int64_t lv_state_skip(lv_saved_state_io* io, uint64_t count);
// After the end record: no further byte of the body may be read, and the
// compression layer must have met the end of the compressed stream.
int64_t lv_restore_close_body(lv_saved_state_io* io);
