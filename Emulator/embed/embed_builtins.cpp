// The built-ins of the C interface: $ref_term/2 reads the term a term
// reference holds, by number or by the name of a named global term;
// $stream_from_codes/3 opens a stream over a code list.
#include <cstring>

#include "core/atoms.h"
#include "core/builtins.h"
#include "core/memory.h"
#include "core/numbers.h"
#include "core/stack_shift.h"
#include "core/termrefs.h"
#include "core/text_lists.h"
#include "core/unify.h"
#include "embed/embed_builtins.h"
#include "streams/memory_stream.h"
#include "streams/stream_api.h"

namespace {

// The named global terms, term references 5 to 13 in order.
constexpr const char* NAMED[] = {"domsolve_propagator", "cleanup", "ketch", "global", "write",
                                 "variable_names", "reserved", "reserved2", "reserved3"};
constexpr lv_term_ref FIRST_NAMED = 5;

}  // namespace

int prolog_ref_term(lv_worker* w) {
  lv_term key = lv_deref(w->X[0]);
  int64_t index = -1;
  if (lv_is_small(key)) {
    index = lv_small_value(key);
  } else if (lv_is_atom(key)) {
    const char* text = lv_atom_text(key);
    for (size_t i = 0; i < sizeof NAMED / sizeof NAMED[0]; i++)
      if (std::strcmp(text, NAMED[i]) == 0) index = FIRST_NAMED + static_cast<int64_t>(i);
  }
  if (index < 0 || index >= w->termref_top || index >= w->termref_capacity) return 0;
  return cunify(w, w->X[1], w->termrefs[index].term);
}

int prolog_stream_from_codes(lv_worker* w) {
  lv_term options = lv_deref(w->X[2]);
  if (!lv_is_small(options)) return 0;
  int64_t bits = lv_small_value(options);
  // Bits 3-4: which elements the list may hold; bits 5-6: the read and
  // write sides of the stream.
  unsigned elements = static_cast<unsigned>((bits >> 3) & 3);
  uint32_t sides = static_cast<uint32_t>((bits >> 5) & 3) * 2;
  int32_t* codes = nullptr;
  int64_t n = lv_list_to_int_array(w->X[0], &codes, elements);
  if (n < 0) return 0;
  lv_stream* stream = nullptr;
  // The stream keeps a copy of the codes.
  int64_t rc = lv_stream_from_memory(codes, n * static_cast<int64_t>(sizeof(int32_t)), &stream, sides);
  lv_mem_free(codes, 0, lv_mem_flags(LV_CAT_MISC));
  if (rc < 0) return 0;
  if (cunify(w, w->X[1], lv_stream_term(stream))) return 1;
  (void)LV_fclose(stream, LV_CLOSE_FORCE);  // nothing was handed out
  return 0;
}

namespace {

const lv_builtin records[] = {
    LV_BUILTIN("$ref_term", prolog_ref_term, 2),
    LV_BUILTIN("$stream_from_codes", prolog_stream_from_codes, 3),
};

}  // namespace

lv_builtin_table lv_embed_builtins() { return {records, sizeof records / sizeof records[0]}; }
