// The built-ins of the C interface: $ref_term/2 reads the term a term
// reference holds, by number or by the name of a named global term.
#include <cstring>

#include "core/atoms.h"
#include "core/builtins.h"
#include "core/termrefs.h"
#include "core/unify.h"
#include "embed/embed_builtins.h"

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

namespace {

const lv_builtin records[] = {
    LV_BUILTIN("$ref_term", prolog_ref_term, 2),
};

}  // namespace

lv_builtin_table lv_embed_builtins() { return {records, sizeof records / sizeof records[0]}; }
