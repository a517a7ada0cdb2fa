// The saved-state reader.
#include "store/state_reader.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/atoms.h"
#include "core/attributes.h"
#include "core/memory.h"
#include "core/predefined_atoms.h"
#include "store/clause_list.h"
#include "store/code_flow.h"
#include "store/code_walk.h"
#include "store/db_clause.h"
#include "store/dbref_table.h"
#include "store/dynamic_table.h"
#include "store/predicates.h"
#include "store/state_cells.h"
#include "store/state_code_walk.h"
#include "store/state_globals.h"
#include "store/state_holding.h"
#include "store/state_reloc.h"
#include "store/state_reset.h"
#include "streams/diagnostics.h"

namespace {

constexpr uint32_t MISC_FLAGS = lv_mem_flags(LV_CAT_MISC);
constexpr uint32_t MAY_FAIL_MISC = lv_mem_flags(LV_CAT_MISC, LV_MEM_MAY_FAIL);
constexpr uint32_t SOURCE_FLAGS = lv_mem_flags(LV_CAT_SOURCE_INFO, LV_MEM_MAY_FAIL);
constexpr uint32_t BLOCK_FLAGS = lv_mem_flags(LV_CAT_INTERPRETED_CODE, LV_MEM_MAY_FAIL);

// Bounds of the sizes a record may announce.
constexpr uint64_t MAX_TEXT = uint64_t{1} << 28;
constexpr uint64_t MAX_ARRAY = uint64_t{1} << 28;
constexpr uint64_t MAX_CHAIN = uint64_t{8} << 24;
constexpr uint64_t MAX_BODY = 0xFFFFFFFFu - sizeof(lv_stored_block);
constexpr uint64_t MAX_BLOCK_DECL = 256;
// The side table of a key array is read at word 3 (the clause's first line).
constexpr uint64_t MIN_KEY_ARRAY = 32;

// What a restore has done to a predicate.
enum : uint64_t { GIVEN_PROPERTIES = 1, GIVEN_CONTENT = 2 };

struct reader {
  lv_saved_state_io* io;
  bool full;
  lv_keytab* preds;    // first reading: predicate key -> arity + 1; second: predicate -> what it was given
  lv_keytab* records;  // stored records restored (their blocks)
  lv_ref_fixups fixups;
  bool resets_allowed;  // no record but atoms, modules and resets yet
  lv_pred** touched;    // predicates whose definition was replaced
  uint64_t touched_count;
  uint64_t touched_capacity;
};

int64_t fail(reader& r, int64_t code, const char* format, ...) __attribute__((format(printf, 3, 4)));
int64_t fail(reader& r, int64_t code, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vsnprintf(r.io->message, sizeof r.io->message, format, args);
  va_end(args);
  return code;
}

int64_t bad(reader& r, const char* what) { return fail(r, LVIO_E_PARAMETER_ERROR, "%s", what); }

int64_t read_failure(reader& r, int64_t rc) {
  if (rc == LVIO_E_END_OF_FILE) return fail(r, LVIO_E_END_OF_FILE, "the body ends inside a record");
  return fail(r, rc, "the body cannot be read");
}

bool aligned_size(uint64_t bytes, uint64_t max) { return bytes % 8 == 0 && bytes <= max; }

uint64_t address_key(uint64_t word) { return lv_reloc_key(word); }

// ---- The payload a header announces ----------------------------------------

// The payload's bytes, or -1 for a header that is refused; arity is the
// arity of a properties record's predicate (-1 when it is unknown).
int64_t payload_bytes(reader& r, const lv_state_header& h, int64_t arity) {
  const uint64_t* w = h.w;
  switch (w[0]) {
    case LV_REC_ATOM:
      if (w[2] == 0 || w[2] > MAX_TEXT || w[3] < LV_ATOM_PREFIX_LIBRARY || w[3] > LV_ATOM_PREFIX_NONE)
        return bad(r, "an atom record of a bad size or prefix"), -1;
      return static_cast<int64_t>(w[2]);
    case LV_REC_CHAIN:
      if (!aligned_size(w[3], MAX_CHAIN)) return bad(r, "a chain record of a bad size"), -1;
      return static_cast<int64_t>(w[3]);
    case LV_REC_TEXT:
      if (w[2] == 0 || w[2] > MAX_BLOCK_DECL) return bad(r, "a text record of a bad size"), -1;
      return static_cast<int64_t>(w[2]);
    case LV_REC_STORED:
      if (w[3] < 16 || !aligned_size(w[3], MAX_BODY)) return bad(r, "a stored record of a bad size"), -1;
      return static_cast<int64_t>(16 + w[3]);
    case LV_REC_PROPERTIES:
      if ((lv_state_unpack_flags(w[2]) & LV_PRED_META) == 0) return 0;
      if (arity < 0) return bad(r, "a properties record of a predicate the state does not define"), -1;
      return 8 * arity;
    case LV_REC_CLAUSE:
      if (!aligned_size(w[5], MAX_ARRAY) || (w[5] != 0 && w[5] < 8) || !aligned_size(w[6], MAX_ARRAY) ||
          (w[6] != 0 && w[6] < MIN_KEY_ARRAY) || w[7] < 16 || !aligned_size(w[7], MAX_BODY))
        return bad(r, "a clause record of a bad size"), -1;
      return static_cast<int64_t>(16 + w[5] + w[6] + w[7]);
    case LV_REC_CODE: {
      uint64_t size = w[2] >> 9;
      if ((w[2] >> 32) != 0 || size <= sizeof(lv_code_block) || size % 8 != 0 || size > LV_CODE_BLOCK_MAX_BYTES ||
          w[8] != size - sizeof(lv_code_block) || !aligned_size(w[7], MAX_ARRAY) || (w[7] != 0 && w[7] < 8))
        return bad(r, "a code record of a bad size"), -1;
      return static_cast<int64_t>(w[7] + w[8]);
    }
    case LV_REC_GLOBALS:
      return 8 * LV_STATE_GLOBAL_WORDS;
    case LV_REC_MODULE:
    case LV_REC_PREDICATE:
    case LV_REC_ATTRIBUTE:
    case LV_REC_PRED_TERM:
    case LV_REC_IMPORT:
    case LV_REC_MODULE_RESET:
      return 0;
    case LV_REC_END:
      if (w[1] != 1 || w[2] != 1) return bad(r, "a malformed end record"), -1;
      return 0;
    default:
      lv_ttyprintf("! restore: unknown record type %" PRId64 "\n", static_cast<int64_t>(w[0]));
      lv_ttyflush();
      return fail(r, LVIO_E_PARAMETER_ERROR, "unknown record type %" PRId64, static_cast<int64_t>(w[0])), -1;
  }
}

int64_t read_header(reader& r, lv_state_header* h) {
  int64_t rc = lv_state_get_words(r.io, h->w, 9);
  if (rc == LVIO_E_END_OF_FILE) return fail(r, LVIO_E_END_OF_FILE, "the body ends without its end record");
  return rc < 0 ? read_failure(r, rc) : 0;
}

// ---- Lookups -------------------------------------------------------------------

bool lookup(reader& r, uint64_t word, lv_reloc_kind kind, uint64_t* value) {
  if (lv_reloc_lookup(r.io->reloc, word, kind, value)) return true;
  lv_ttyprintf("! relocation undefined, key=0x%" PRIx64 "\n", lv_reloc_key(word));
  lv_ttyflush();
  fail(r, LVIO_E_PARAMETER_ERROR, "relocation undefined, key=0x%" PRIx64, lv_reloc_key(word));
  return false;
}

lv_module* module_of(reader& r, uint64_t word) {
  uint64_t v = 0;
  return lookup(r, word, LV_RELOC_MODULE, &v) ? reinterpret_cast<lv_module*>(v) : nullptr;
}

lv_pred* pred_of(reader& r, uint64_t word) {
  uint64_t v = 0;
  return lookup(r, word, LV_RELOC_PRED, &v) ? reinterpret_cast<lv_pred*>(v) : nullptr;
}

// An atom, or with functor set an atom or functor word.
bool atom_of(reader& r, uint64_t word, bool functor, lv_term* out) {
  if (!lv_state_is_atom_word(word)) return bad(r, "an atom word expected"), false;
  if (!lookup(r, word, LV_RELOC_ATOM, out)) return false;
  if (!functor && lv_functor_arity(*out) != 0) return bad(r, "an atom expected, a functor found"), false;
  return true;
}

// A term kept in a record of the runtime: an atom or a small integer.
bool atomic_of(reader& r, uint64_t word, lv_term* out) {
  if (lv_is_small(word)) {
    *out = word;
    return true;
  }
  return atom_of(r, word, false, out);
}

// ---- What was given to a predicate ----------------------------------------------

uint64_t given(reader& r, const lv_pred* p) {
  lv_hash_entry* e = incore_gethash(r.preds, address_key(reinterpret_cast<uint64_t>(p)));
  return e != nullptr && e->key == address_key(reinterpret_cast<uint64_t>(p)) ? e->value : 0;
}

void give(reader& r, const lv_pred* p, uint64_t what) {
  dyn_puthash(&r.preds, address_key(reinterpret_cast<uint64_t>(p)))->value |= what;
}

void touch(reader& r, lv_pred* p) {
  if (r.touched_count == r.touched_capacity) {
    uint64_t grown = r.touched_capacity == 0 ? 64 : 2 * r.touched_capacity;
    r.touched = static_cast<lv_pred**>(
        r.touched == nullptr ? lv_mem_alloc(grown * sizeof(lv_pred*), MISC_FLAGS)
                             : lv_mem_realloc(r.touched, r.touched_capacity * sizeof(lv_pred*), grown * sizeof(lv_pred*),
                                              MISC_FLAGS));
    r.touched_capacity = grown;
  }
  r.touched[r.touched_count++] = p;
}

bool is_static(const lv_pred* p) {
  uint32_t t = lv_definition_type(p);
  return (t == LV_DEF_COMPACTCODE || t == LV_DEF_COMPACTCODE_INDEXED) && p->definition != nullptr;
}
bool is_dynamic(const lv_pred* p) { return lv_definition_type(p) == LV_DEF_DYNAMIC && p->definition != nullptr; }

// ---- Records ---------------------------------------------------------------------

int64_t read_atom(reader& r, const lv_state_header& h) {
  uint64_t n = h.w[2];
  const lv_saved_state_io* io = r.io;
  const char* prefix = h.w[3] == LV_ATOM_PREFIX_LIBRARY ? io->library_dir
                       : h.w[3] == LV_ATOM_PREFIX_STATE ? io->state_dir
                                                        : nullptr;
  size_t prefix_length = prefix != nullptr ? std::strlen(prefix) : 0;
  uint64_t bytes = prefix_length + n;
  auto* text = static_cast<char*>(lv_mem_alloc(bytes, MAY_FAIL_MISC));
  if (text == nullptr) return fail(r, LVIO_E_OUT_OF_MEMORY, "out of memory for an atom's text");
  if (prefix_length != 0) std::memcpy(text, prefix, prefix_length);
  int64_t rc = lv_state_get(r.io, text + prefix_length, n);
  lv_term atom = 0;
  if (rc == 0 && text[bytes - 1] == '\0' && std::strlen(text) == bytes - 1)
    atom = lv_atom_from_text(text, LV_ATOM_FIND_OR_CREATE);
  lv_mem_free(text, bytes, MAY_FAIL_MISC);
  if (rc < 0) return read_failure(r, rc);
  uint64_t key = h.w[1];
  if (atom == 0) return bad(r, "an atom record whose text makes no atom");
  if (!lv_state_is_atom_word(key) || (key & LV_ARITY_BITS) != 0) return bad(r, "an atom record with a bad key");
  lv_reloc_define(&r.io->reloc, key, LV_RELOC_ATOM, atom);
  return 0;
}

int64_t read_module(reader& r, const lv_state_header& h) {
  lv_term name = 0;
  if (!atom_of(r, h.w[2], true, &name)) return LVIO_E_PARAMETER_ERROR;
  lv_module* m = find_module(name, 1);
  if (m == nullptr) return bad(r, "a module record whose name makes no module");
  m->flags = (m->flags & ~LV_MODULE_SYSTEM) | static_cast<uint32_t>((h.w[3] >> 1) & 1);
  lv_reloc_define(&r.io->reloc, h.w[1], LV_RELOC_MODULE, reinterpret_cast<uint64_t>(m));
  return 0;
}

int64_t read_predicate(reader& r, const lv_state_header& h) {
  lv_module* m = module_of(r, h.w[2]);
  lv_term functor = 0;
  if (m == nullptr || !atom_of(r, h.w[3], true, &functor)) return LVIO_E_PARAMETER_ERROR;
  lv_pred* p = lv_module_own_predicate(m, lv_functor_atom(functor), lv_functor_arity(functor));
  lv_reloc_define(&r.io->reloc, h.w[1], LV_RELOC_PRED, reinterpret_cast<uint64_t>(p));
  return 0;
}

int64_t read_attribute(reader& r, const lv_state_header& h) {
  lv_module* m = module_of(r, h.w[1]);
  if (m == nullptr) return LVIO_E_PARAMETER_ERROR;
  if (h.w[2] != 0 && lv_attr_module_register(m) == 0)
    return fail(r, LVIO_E_ERROR, "no attribute module can be registered any more");
  return 0;
}

int64_t read_chain(reader& r, const lv_state_header& h) {
  lv_module* m = module_of(r, h.w[1]);
  lv_term slot = 0;
  if (m == nullptr || !atomic_of(r, h.w[2], &slot)) return LVIO_E_PARAMETER_ERROR;
  uint64_t count = h.w[3] / 8;
  for (lv_pred* p = m->pred_chain; p != nullptr && p != LV_CHAIN_END;) {
    lv_pred* next = p->next_in_module;
    p->next_in_module = nullptr;
    p = next;
  }
  m->pred_chain = LV_CHAIN_END;
  m->module_info = slot;
  lv_pred** tail = &m->pred_chain;
  for (uint64_t i = 0; i < count; i++) {
    uint64_t word = 0;
    int64_t rc = lv_state_get_words(r.io, &word, 1);
    if (rc < 0) return read_failure(r, rc);
    lv_pred* p = pred_of(r, word);
    if (p == nullptr) return LVIO_E_PARAMETER_ERROR;
    if (p->owner_module != m || p->next_in_module != nullptr)
      return bad(r, "a chain record naming a predicate of another module or twice");
    *tail = p;
    tail = &p->next_in_module;
    *tail = LV_CHAIN_END;
  }
  return 0;
}

int64_t read_text(reader& r, const lv_state_header& h) {
  lv_pred* p = pred_of(r, h.w[1]);
  if (p == nullptr) return LVIO_E_PARAMETER_ERROR;
  uint64_t n = h.w[2];
  char text[MAX_BLOCK_DECL];
  int64_t rc = lv_state_get(r.io, text, n);
  if (rc < 0) return read_failure(r, rc);
  if (text[n - 1] != '\0') return bad(r, "a text record without its final NUL");
  // Argument positions, ascending, each within the arity.
  for (uint64_t i = 0; i + 1 < n; i++) {
    auto position = static_cast<uint8_t>(text[i]);
    if (position == 0 || position > p->arity || (i > 0 && position <= static_cast<uint8_t>(text[i - 1])))
      return bad(r, "a block declaration naming no argument");
  }
  auto* d = static_cast<lv_block_decl*>(lv_mem_alloc(16 + (n - 1), MISC_FLAGS));
  std::memcpy(d->text, text, n);
  d->next = p->block_decls;
  p->block_decls = d;
  p->flags |= LV_PRED_BLOCK;
  update_exports(p, lv_definition_type(p));
  return 0;
}

int64_t read_pred_term(reader& r, const lv_state_header& h) {
  lv_pred* p = pred_of(r, h.w[1]);
  lv_term slot = 0;
  if (p == nullptr || !atomic_of(r, h.w[2], &slot)) return LVIO_E_PARAMETER_ERROR;
  p->source_file = slot;
  update_exports(p, lv_definition_type(p));
  return 0;
}

void free_decls(lv_pred* p) {
  for (lv_block_decl* d = p->block_decls; d != nullptr;) {
    lv_block_decl* next = d->next;
    lv_mem_free(d, 16 + std::strlen(d->text), MISC_FLAGS);
    d = next;
  }
  p->block_decls = nullptr;
  p->flags &= ~LV_PRED_BLOCK;
}

void free_meta(lv_pred* p) {
  if (p->meta_spec != nullptr) lv_mem_free(p->meta_spec, 8 * (static_cast<uint64_t>(p->arity) + 1), MISC_FLAGS);
  p->meta_spec = nullptr;
  p->flags &= ~LV_PRED_META;
}

// Whether the selected-files list exists and holds the words of keys.
lv_term selected_list(reader& r) {
  return r.io->selected >= 0 ? lv_deref(lv_term_ref_cell(r.io->w, r.io->selected)) : 0;
}

int64_t read_properties(reader& r, const lv_state_header& h) {
  lv_pred* p = pred_of(r, h.w[1]);
  if (p == nullptr) return LVIO_E_PARAMETER_ERROR;
  uint32_t flags = lv_state_unpack_flags(h.w[2]);
  uint64_t type = h.w[3];
  auto arity = static_cast<uint64_t>(p->arity);
  lv_term meta[256];
  if ((flags & LV_PRED_META) != 0) {
    uint64_t words[256];
    int64_t rc = lv_state_get_words(r.io, words, arity);
    if (rc < 0) return read_failure(r, rc);
    for (uint64_t i = 0; i < arity; i++)
      if (!atomic_of(r, words[i], &meta[i])) return LVIO_E_PARAMETER_ERROR;
  }
  if (type != LV_DEF_COMPACTCODE && type != LV_DEF_COMPACTCODE_INDEXED && type != LV_DEF_DYNAMIC)
    return bad(r, "a properties record of a predicate that is neither static nor dynamic");
  uint32_t now = lv_definition_type(p);
  if (now != LV_DEF_UNDEFINED && now != LV_DEF_COMPACTCODE && now != LV_DEF_COMPACTCODE_INDEXED && now != LV_DEF_DYNAMIC)
    return bad(r, "a properties record of a predicate that is defined otherwise here");
  if (given(r, p) != 0) return bad(r, "a predicate whose properties come again or after its clauses");
  give(r, p, GIVEN_PROPERTIES);
  lv_term selected = selected_list(r);
  bool keep = selected != 0 && (p->flags & LV_PRED_MULTIFILE) != 0 && (flags & LV_PRED_MULTIFILE) != 0;
  if (keep) {
    if (now == LV_DEF_DYNAMIC)
      lv_erase_clauses_by_key(p, selected);
    else
      lv_erase_clauses(p, selected);
  } else {
    touch(r, p);
    lv_clear_definition(p);
    free_decls(p);
    free_meta(p);
    uint32_t fresh = type == LV_DEF_DYNAMIC ? LV_DEF_DYNAMIC : LV_DEF_COMPACTCODE;
    lv_new_clause_list(p, fresh);
    p->flags = (p->flags & ~LV_STATE_PRED_FLAGS) | (flags & ~(LV_PRED_BLOCK | LV_PRED_META));
    if (fresh == LV_DEF_COMPACTCODE && (flags & LV_PRED_MULTIFILE) == 0) {
      if (lv_jit_switch)
        p->flags |= LV_PRED_JIT_CANDIDATE;
      else
        p->flags &= ~LV_PRED_JIT_CANDIDATE;
    }
  }
  if ((flags & LV_PRED_META) != 0) {
    free_meta(p);
    auto* spec = static_cast<lv_term*>(lv_mem_alloc(8 * (arity + 1), MISC_FLAGS));
    for (uint64_t i = 0; i < arity; i++) spec[i] = meta[i];
    spec[arity] = LV_ATOM_NIL;
    p->meta_spec = spec;
    p->flags |= LV_PRED_META;
  }
  update_exports(p, lv_definition_type(p));
  return 0;
}

// Whether other is first or on first's chain of importers.
bool imports_back(lv_pred* first, lv_pred* other) {
  uint64_t steps = 0;
  for (lv_pred* q = first; q != nullptr && steps < (uint64_t{1} << 24); q = q->importers, steps++)
    if (q == other) return true;
  return false;
}

int64_t read_import(reader& r, const lv_state_header& h) {
  lv_pred* p = pred_of(r, h.w[1]);
  lv_module* m = p != nullptr ? module_of(r, h.w[2]) : nullptr;
  lv_pred* source = m != nullptr ? pred_of(r, h.w[3]) : nullptr;
  if (source == nullptr) return LVIO_E_PARAMETER_ERROR;
  if (p == source || source->owner_module != m || p->owner_module == m || imports_back(p, source) ||
      p->arity != source->arity)
    return bad(r, "an import record that names no import");
  if (imports_back(source, p)) return 0;  // imported already
  uint32_t type = lv_definition_type(p);
  if (type != LV_DEF_UNDEFINED && type != LV_DEF_COMPACTCODE && type != LV_DEF_COMPACTCODE_INDEXED && type != LV_DEF_DYNAMIC)
    return bad(r, "an import into a predicate that is defined otherwise here");
  if ((given(r, p) & GIVEN_CONTENT) != 0) return bad(r, "an import into a predicate given clauses");
  touch(r, p);
  lv_pred_chain_dependent(source, m, p);
  return 0;
}

// Reads count bytes of an array whose first word is its size: its other
// words byte-reversed when the state's byte order differs, and relocated
// when they are atom or functor words (relocate set). Null (with the
// reason) on failure; *out stays null for an empty array.
int64_t read_array(reader& r, uint64_t bytes, bool relocate, bool key_array, uint64_t** out) {
  *out = nullptr;
  if (bytes == 0) return 0;
  auto* a = static_cast<uint64_t*>(lv_mem_alloc(bytes, SOURCE_FLAGS));
  if (a == nullptr) return fail(r, LVIO_E_OUT_OF_MEMORY, "out of memory for a clause's table");
  int64_t rc = lv_state_get_words(r.io, a, bytes / 8);
  if (rc < 0) {
    lv_mem_free(a, bytes, SOURCE_FLAGS);
    return read_failure(r, rc);
  }
  if (key_array && a[0] != bytes) {
    lv_mem_free(a, bytes, SOURCE_FLAGS);
    return bad(r, "a key array whose first word is not its size");
  }
  a[0] = bytes;
  for (uint64_t i = 1; relocate && i < bytes / 8; i++) {
    if (!lv_state_is_atom_word(a[i])) continue;
    if (!lookup(r, a[i], LV_RELOC_ATOM, &a[i])) {
      lv_mem_free(a, bytes, SOURCE_FLAGS);
      return LVIO_E_PARAMETER_ERROR;
    }
  }
  *out = a;
  return 0;
}

void free_array(uint64_t* a) {
  if (a != nullptr) lv_mem_free(a, a[0], SOURCE_FLAGS);
}

// A stored block of the body's size: the 16 bytes (old address first), then
// the body read into it, checked and relocated.
int64_t read_block(reader& r, uint64_t body, uint64_t* old, lv_stored_block** out) {
  *out = nullptr;
  uint64_t head[2];
  int64_t rc = lv_state_get_words(r.io, head, 2);
  if (rc < 0) return read_failure(r, rc);
  *old = head[0];
  uint64_t size = sizeof(lv_stored_block) + body;
  auto* b = static_cast<lv_stored_block*>(lv_mem_alloc(size, BLOCK_FLAGS));
  if (b == nullptr) return fail(r, LVIO_E_OUT_OF_MEMORY, "out of memory for a stored term");
  std::memset(b, 0, sizeof *b);
  b->size = static_cast<uint32_t>(size);
  rc = lv_state_get_words(r.io, lv_block_cells(b), body / 8);
  uint64_t fixups = r.fixups.count;
  if (rc < 0 || !lv_state_restore_cells(b, r.io->reloc, &r.fixups, r.io->message, sizeof r.io->message)) {
    r.fixups.count = fixups;
    lv_mem_free(b, size, BLOCK_FLAGS);
    return rc < 0 ? read_failure(r, rc) : LVIO_E_PARAMETER_ERROR;
  }
  b->key = lv_state_clause_key(b);
  *out = b;
  return 0;
}

void drop_block(reader& r, lv_stored_block* b, uint64_t fixups) {
  r.fixups.count = fixups;
  lv_mem_free(b, b->size, BLOCK_FLAGS);
}

int64_t read_stored(reader& r, const lv_state_header& h) {
  lv_module* m = module_of(r, h.w[1]);
  lv_term key = 0;
  if (m == nullptr || !atomic_of(r, h.w[2], &key)) return LVIO_E_PARAMETER_ERROR;
  uint64_t fixups = r.fixups.count;
  uint64_t old = 0;
  lv_stored_block* b = nullptr;
  int64_t rc = read_block(r, h.w[3], &old, &b);
  if (rc < 0) return rc;
  lv_hash_entry* e = dyn_puthash(&m->bb_table, key);
  if (e->value != 0) {
    if (lv_reloc_marked(r.records, address_key(e->value))) {
      drop_block(r, b, fixups);
      return bad(r, "a stored record given twice");
    }
    lv_free_stored_block(reinterpret_cast<lv_stored_block*>(e->value));
  }
  e->value = reinterpret_cast<uint64_t>(b);
  lv_reloc_mark(&r.records, address_key(reinterpret_cast<uint64_t>(b)));
  lv_reloc_define(&r.io->reloc, old, LV_RELOC_RECORD, reinterpret_cast<uint64_t>(b));
  return 0;
}

int64_t read_clause(reader& r, const lv_state_header& h) {
  lv_pred* p = pred_of(r, h.w[1]);
  lv_term source_key = 0, source = 0;
  if (p == nullptr || !atomic_of(r, h.w[2], &source_key) || !atomic_of(r, h.w[3], &source))
    return LVIO_E_PARAMETER_ERROR;
  lv_term key = h.w[4];
  if (lv_state_is_atom_word(key) && !atom_of(r, key, true, &key)) return LVIO_E_PARAMETER_ERROR;
  uint64_t fixups = r.fixups.count;
  uint64_t head[2];
  int64_t rc = lv_state_get_words(r.io, head, 2);
  if (rc < 0) return read_failure(r, rc);
  uint64_t* index = nullptr;
  uint64_t* keys = nullptr;
  rc = read_array(r, h.w[5], true, false, &index);
  if (rc == 0) rc = read_array(r, h.w[6], false, true, &keys);
  // The body, read as read_block does after the 16 bytes.
  lv_stored_block* b = nullptr;
  if (rc == 0) {
    uint64_t size = sizeof(lv_stored_block) + h.w[7];
    b = static_cast<lv_stored_block*>(lv_mem_alloc(size, BLOCK_FLAGS));
    if (b == nullptr) rc = fail(r, LVIO_E_OUT_OF_MEMORY, "out of memory for a clause");
    if (b != nullptr) {
      std::memset(b, 0, sizeof *b);
      b->size = static_cast<uint32_t>(size);
      rc = lv_state_get_words(r.io, lv_block_cells(b), h.w[7] / 8);
      if (rc < 0) {
        rc = read_failure(r, rc);
      } else if (!lv_state_restore_cells(b, r.io->reloc, &r.fixups, r.io->message, sizeof r.io->message)) {
        rc = LVIO_E_PARAMETER_ERROR;
      } else {
        b->key = lv_state_clause_key(b);
        if (b->key != key) rc = bad(r, "a clause whose key is not its first argument's");
        else if (!lv_state_head_is(b, lv_pred_functor(p))) rc = bad(r, "a clause whose head is not its predicate's");
      }
    }
  }
  lv_pred* target = rc == 0 ? (is_dynamic(p) ? p : lv_state_holding_predicate(p, LV_DEF_DYNAMIC)) : nullptr;
  if (rc == 0 && target == nullptr) rc = bad(r, "a clause for a predicate that cannot take one");
  if (rc < 0) {
    free_array(index);
    free_array(keys);
    if (b != nullptr) drop_block(r, b, fixups);
    r.fixups.count = fixups;
    return rc;
  }
  give(r, target, GIVEN_CONTENT);
  lv_db_clause* c = lv_clause_of(b);
  c->source_key = source_key;
  c->source = source;
  c->side_table = index;
  c->positions = keys;
  lv_term ref[3];
  lv_term* cursor = ref;
  lv_register_dbref(b, &cursor, true);
  lv_db_attach_clause(target, c);
  lv_reloc_define(&r.io->reloc, head[0], LV_RELOC_CLAUSE, reinterpret_cast<uint64_t>(b));
  return 0;
}

bool on_code_operand(int kind, char, uint64_t* value, void* arg) {
  reader& r = *static_cast<reader*>(arg);
  if (kind == LV_WALK_ATOM) return lookup(r, *value, LV_RELOC_ATOM, value);
  if (kind == LV_WALK_PRED) return lookup(r, *value, LV_RELOC_PRED, value);
  bad(r, "code that calls a C function");
  return false;
}

int64_t read_code(reader& r, const lv_state_header& h) {
  lv_pred* p = pred_of(r, h.w[1]);
  lv_term source_key = 0, source = 0;
  if (p == nullptr || !atomic_of(r, h.w[5], &source_key) || !atomic_of(r, h.w[6], &source))
    return LVIO_E_PARAMETER_ERROR;
  uint64_t* aux = nullptr;
  int64_t rc = read_array(r, h.w[7], true, false, &aux);
  if (rc < 0) return rc;
  uint64_t size = h.w[2] >> 9;
  lv_code_block* b = lv_code_block_new((size - sizeof(lv_code_block)) / 4);
  b->size_key = static_cast<uint32_t>(h.w[2]);
  b->source_key = source_key;
  b->source = source;
  rc = lv_state_get(r.io, lv_code_block_code(b), h.w[8]);
  if (rc < 0) rc = read_failure(r, rc);
  uint64_t end = reinterpret_cast<uint64_t>(b) + size;
  if (rc == 0 && (end - h.w[3]) % 4 != 0) rc = bad(r, "a code record whose block is misplaced");
  if (rc == 0) {
    lv_code_walk walk = {b,       static_cast<int64_t>(end - h.w[3]) / 4,
                         h.w[4],  r.io->file_mask,
                         r.io->own_mask, r.io->swap,
                         on_code_operand, &r,
                         r.io->message, sizeof r.io->message};
    if (!lv_walk_code(&walk)) rc = LVIO_E_PARAMETER_ERROR;
  }
  lv_pred* target = nullptr;
  if (rc == 0) {
    target = is_static(p) ? p : is_dynamic(p) ? lv_state_holding_predicate(p, LV_DEF_COMPACTCODE) : nullptr;
    if (target == nullptr) rc = bad(r, "code for a predicate that cannot take it");
  }
  if (rc == 0 && (!lv_code_flow_check(b, static_cast<unsigned>(target->arity), r.io->message, sizeof r.io->message) ||
                  !lv_code_key_check(b, static_cast<uint32_t>(h.w[2]) & 0x1FF, lv_first_arg_key(b), r.io->message,
                                     sizeof r.io->message)))
    rc = LVIO_E_PARAMETER_ERROR;
  if (rc < 0) {
    free_array(aux);
    lv_code_block_free(b);
    return rc;
  }
  b->side_table = aux;
  give(r, target, GIVEN_CONTENT);
  lv_code_reset_entries(b);
  lv_code_block_register(b);
  lv_append_clause(target, b, h.w[2] & 0x1FF, lv_first_arg_key(b));
  return 0;
}

int64_t read_globals(reader& r) {
  uint64_t words[LV_STATE_GLOBAL_WORDS];
  int64_t rc = lv_state_get_words(r.io, words, LV_STATE_GLOBAL_WORDS);
  if (rc < 0) return read_failure(r, rc);
  if (!lv_state_restore_globals(words, r.io->reloc, r.io->message, sizeof r.io->message)) return LVIO_E_PARAMETER_ERROR;
  return 0;
}

int64_t read_module_reset(reader& r, const lv_state_header& h) {
  if (!r.resets_allowed) return bad(r, "a module reset after the records it would empty");
  lv_module* m = module_of(r, h.w[1]);
  if (m == nullptr) return LVIO_E_PARAMETER_ERROR;
  if (m == lv_prolog_module()) return bad(r, "a reset of the module prolog");
  lv_state_reset_module(m);
  return 0;
}

int64_t apply(reader& r, const lv_state_header& h) {
  uint64_t type = h.w[0];
  if (type != LV_REC_ATOM && type != LV_REC_MODULE && type != LV_REC_MODULE_RESET) r.resets_allowed = false;
  switch (type) {
    case LV_REC_ATOM: return read_atom(r, h);
    case LV_REC_MODULE: return read_module(r, h);
    case LV_REC_PREDICATE: return read_predicate(r, h);
    case LV_REC_ATTRIBUTE: return read_attribute(r, h);
    case LV_REC_CHAIN: return read_chain(r, h);
    case LV_REC_TEXT: return read_text(r, h);
    case LV_REC_PRED_TERM: return read_pred_term(r, h);
    case LV_REC_STORED: return read_stored(r, h);
    case LV_REC_PROPERTIES: return read_properties(r, h);
    case LV_REC_IMPORT: return read_import(r, h);
    case LV_REC_CLAUSE: return read_clause(r, h);
    case LV_REC_CODE: return read_code(r, h);
    case LV_REC_GLOBALS: return read_globals(r);
    case LV_REC_MODULE_RESET: return read_module_reset(r, h);
    default: return 0;
  }
}

// A restore that failed: nothing half-built stays reachable.
void reset_after_failure(reader& r) {
  lv_ref_fixups_drop(&r.fixups);
  if (r.full) {
    lv_state_reset_program(lv_archmask_kind(r.io->file_mask));
    return;
  }
  for (uint64_t i = 0; i < r.touched_count; i++) {
    lv_pred* p = r.touched[i];
    lv_clear_definition(p);
    free_decls(p);
    free_meta(p);
  }
}

void free_reader(reader& r) {
  lv_ref_fixups_free(&r.fixups);
  if (r.preds != nullptr) dispose_switch_on_key(r.preds);
  if (r.records != nullptr) dispose_switch_on_key(r.records);
  if (r.touched != nullptr) lv_mem_free(r.touched, r.touched_capacity * sizeof(lv_pred*), MISC_FLAGS);
}

}  // namespace

int64_t lv_restore_check_body(lv_saved_state_io* io) {
  reader r = {io, false, new_switch_on_key(256, 0), nullptr, {nullptr, 0, 0}, true, nullptr, 0, 0};
  int64_t rc = 0;
  for (;;) {
    lv_state_header h;
    rc = read_header(r, &h);
    if (rc < 0) break;
    int64_t arity = -1;
    if (h.w[0] == LV_REC_PREDICATE) {
      uint64_t functor = h.w[3];
      if (!lv_state_is_atom_word(functor)) {
        rc = bad(r, "a predicate record without a functor");
        break;
      }
      dyn_puthash(&r.preds, address_key(h.w[1]))->value = 1 + lv_functor_arity(functor);
    } else if (h.w[0] == LV_REC_PROPERTIES) {
      lv_hash_entry* e = incore_gethash(r.preds, address_key(h.w[1]));
      if (e != nullptr && e->key == address_key(h.w[1]) && e->value != 0) arity = static_cast<int64_t>(e->value) - 1;
    }
    int64_t bytes = payload_bytes(r, h, arity);
    if (bytes < 0) {
      rc = LVIO_E_PARAMETER_ERROR;
      break;
    }
    if (h.w[0] == LV_REC_END) {
      rc = lv_restore_close_body(io);
      break;
    }
    rc = lv_state_skip(io, static_cast<uint64_t>(bytes));
    if (rc < 0) {
      rc = read_failure(r, rc);
      break;
    }
  }
  free_reader(r);
  return rc;
}

int64_t lv_restore_records(lv_saved_state_io* io, bool full) {
  reader r = {io, full, new_switch_on_key(256, 0), new_switch_on_key(16, 0), {nullptr, 0, 0}, true, nullptr, 0, 0};
  int64_t rc = 0;
  for (;;) {
    lv_state_header h;
    rc = read_header(r, &h);
    if (rc < 0) break;
    int64_t arity = -1;
    if (h.w[0] == LV_REC_PROPERTIES) {
      uint64_t v = 0;
      if (lv_reloc_lookup(io->reloc, h.w[1], LV_RELOC_PRED, &v)) arity = reinterpret_cast<lv_pred*>(v)->arity;
    }
    if (payload_bytes(r, h, arity) < 0) {
      rc = LVIO_E_PARAMETER_ERROR;
      break;
    }
    if (h.w[0] == LV_REC_END) {
      rc = lv_restore_close_body(io);
      if (rc == 0 && !lv_ref_fixups_resolve(&r.fixups, io->reloc, io->message, sizeof io->message))
        rc = LVIO_E_PARAMETER_ERROR;
      break;
    }
    rc = apply(r, h);
    if (rc < 0) break;
  }
  if (rc < 0) reset_after_failure(r);
  free_reader(r);
  return rc;
}
