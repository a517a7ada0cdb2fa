// The atom table. Every atom is one record, interned by its text in a hash
// table that grows and shrinks by linear hashing, and numbered by a dense
// index (the atom word is index * 8 + 7). The index maps to the record
// through a page table of 8192-slot pages; free slots form a free list.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/term.h"

struct lv_worker;

struct lv_atom {
  lv_atom* next;      // next record in the hash bucket
  uint32_t hash;      // text hash (28 bits)
  uint32_t flags;     // bits 0-4 writing class, 5 mark, 6-30 index
  uint8_t refcount;   // sticks at 255
  uint8_t pad[7];
  uint64_t length;    // text bytes
  char text[];        // the text and its NUL: the record is 33 + length bytes
};
static_assert(sizeof(lv_atom) == 32);

// Writing-class bits.
enum : uint32_t {
  LV_WC_SOLO = 1,       // "!", ";", "[]", "{}"
  LV_WC_SYMBOL = 2,     // only symbol characters (and backslashes)
  LV_WC_ASCII = 4,      // no code point of 128 or more
  LV_WC_ESCAPES = 8,    // quoted, with characters to escape
  LV_WC_QUOTE = 16,     // must be quoted
  LV_ATOM_CLASS_MASK = 31,
  LV_ATOM_MARK = 32,
};

constexpr unsigned LV_ATOM_PAGE_SLOTS = 8192;
constexpr uint64_t LV_ATOM_LIMIT = 33554431;
constexpr unsigned LV_ATOM_PAGES = 4096;

// The page table: word >> 16 selects the page, word & 0xFFF8 the slot's byte
// offset in it. A slot holds a record pointer (low bit 0) or a free-list link.
extern uint64_t* lv_atom_pages[LV_ATOM_PAGES];

inline lv_atom* lv_atom_record(lv_term atom) {
  return *reinterpret_cast<lv_atom**>(reinterpret_cast<char*>(lv_atom_pages[atom >> 16]) + (atom & 0xFFF8));
}
inline const char* lv_atom_text(lv_term atom) { return lv_atom_record(atom)->text; }
inline uint64_t lv_atom_length(lv_term atom) { return lv_atom_record(atom)->length; }
inline uint32_t lv_atom_writing_class(lv_term atom) { return lv_atom_record(atom)->flags & LV_ATOM_CLASS_MASK; }

// Creates the empty tables.
void lv_atoms_init();
// Start-up's atoms: the predefined atoms at their fixed indices, registered,
// and the one-character atoms of code points 0-255, registered, filling the
// one-character table.
void lv_atoms_startup();

enum lv_atom_mode { LV_ATOM_FIND_OR_CREATE = 0, LV_ATOM_FIND = 1, LV_ATOM_CREATE = 2 };

// The atom of a text, or 0: mode 1 finds only; mode 2 creates only (0 when
// the atom exists). Texts that are not well-formed give 0.
lv_term lv_atom_from_text(const char* text, int mode);
// The record of a text, or null when absent (find only) or malformed.
lv_atom* lv_atom_lookup_insert(const char* text, bool find_only);

// The one-character atom of a code point 0-255.
lv_term lv_one_char_atom(uint32_t c);

// Whether a word is the word of a live atom.
bool lv_atom_live(lv_term word);

// Reference counts: the C interface's register and unregister (1, or 0 with
// interface error 11 for a word that is not an atom), and the unchecked forms.
int LV_register_atom(lv_term atom);
int LV_unregister_atom(lv_term atom);
void lv_atom_ref_inc(lv_term atom);
void lv_atom_ref_dec(lv_term atom);
// Makes *word hold atom (0: none) and keeps the atom alive while it does:
// the new atom is counted before the old one is let go.
void lv_atom_hold(lv_term* word, lv_term atom);

// Writing classes.
uint32_t lv_writing_class(const char* text, uint64_t length);
void lv_atoms_reclassify();

// Statistics.
struct lv_atom_stats {
  uint64_t live;
  uint64_t total_slots;
  uint64_t bytes_held;
  uint64_t records;
  uint64_t bucket_base;   // N
  uint64_t bucket_split;  // s
};
lv_atom_stats lv_atoms_stats();

// Internal to the atom table and its collector.
uint32_t lv_atom_text_hash(const char* text, uint64_t length);
void lv_atom_free_index(uint64_t index);
uint64_t lv_atom_total_slots();
uint64_t lv_atom_live_count();
