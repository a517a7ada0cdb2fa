// Source-position tables: a clause's map from positions inside the clause
// term to source lines, and the one builder that makes them.
//
// A position is the path of argument numbers from the clause to a subterm.
// It is packed into 4-bit digits, 16 to a 64-bit word, the first digit in
// the top nibble; digits are never 0, so unused nibbles are 0 and comparing
// words as unsigned numbers compares digit sequences. A position goes on
// into the next word only when the word's lowest nibble is used; a position
// that fills its last word exactly is followed by a zero word.
//
// The path is coded with a pending count c of argument-2 steps:
//   argument 2            c += 1 (when c reaches 13: digit 14, c = 0)
//   argument 1            digit c+1, c = 0
//   argument 3..17        digits 15, 13-c, a-2, c = 0
//   argument 18..3392     digits 15, 14, 13-c, then a-18 as three base-15
//                         digits (each plus 1, most significant first), c = 0
//   end of the path       digit c+1
// The second digit after a 15 is 13-c (1..13) for the short form, so 14
// marks the long form unambiguously. Positions below argument 18 sort in
// the order of their paths (argument order, a position before what lies
// inside it); the long form sorts after its ordinary siblings.
//
// A table is one block (category "source info:"):
//   word 0      the block's size in bytes (the first word of every table a
//               clause holds, as saved states store them)
//   word 1      n + 1 (n entries)
//   words 2k, 2k+1 (k = 1..n)  entry k: {first word of the position, line},
//               or, for a position of several words, {first word,
//               i | 2^63} where packed word i holds the line and words
//               i+1.. the position's further words
//   then        the packed words (word 2n+2 is packed word 0)
// Entries are sorted by position, so a position's line is found by binary
// search: the entry at or before it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/term.h"

constexpr uint64_t LV_SOURCE_LONG = uint64_t{1} << 63;  // entry word 2: an index into the packed words
constexpr unsigned LV_SOURCE_MAX_ARG = 3392;            // the largest argument number the coding holds

// The builder (one per runtime): the clause's packed words and entries,
// and apart from them the position being coded.
struct lv_source_builder {
  uint64_t* words;      // the clause's packed words (lines and further words of long positions)
  uint64_t capacity;    // words allocated
  uint64_t used;        // words in use
  uint64_t* position;   // the position being coded; unused words are 0
  uint64_t position_capacity;
  uint64_t current;     // index of the position word that takes the next digit
  int shift;            // shift of the next digit in that word: 60 .. 0
  unsigned pending;     // the pending count of argument-2 steps
  uint64_t* entries;    // two words per entry
  uint64_t entry_capacity;
  uint64_t entry_count;
};
extern lv_source_builder lv_source_builder_state;

// Empties the builder (keeps its memory); lv_free_source_builder frees it.
void lv_reset_source_table();
void lv_free_source_builder();

// Codes one more step of the current position; false for an argument
// number outside 1..LV_SOURCE_MAX_ARG (the position is then cleared).
bool lv_source_push_step(unsigned arg);
// Ends the current position and makes it an entry with the line; the next
// position starts empty.
void lv_add_source_entry(int64_t line);
// Forgets the current position's digits.
void lv_clear_source_position();
// Ends the current position and gives its words (valid until the builder
// changes); the last word's lowest nibble is unused.
const uint64_t* lv_close_source_position(uint64_t* count);

// The entries of a position tree [HeadLine, BodyLine, Tree] added to the
// builder: HeadLine is the clause's line (the empty path), BodyLine the
// body's (argument 2) when Tree gives none; Tree is [] or a line (0 for
// none), or [Line | ArgumentTrees], the tree of the body. A line is added
// where it differs from the last one added (the lookup takes the entry at
// or before a position); below a long-form step every line is added, as
// such branches sort after their siblings. false for any other shape.
bool lv_source_tree_entries(lv_term key);

// The builder's entries, sorted, moved into a new table (null when there
// are none); the builder is emptied.
uint64_t* lv_take_source_table();
void lv_free_source_table(void* table);

// The order of two entries of two tables (either may be the builder's),
// each with its packed words and their count: -1, 0 or 1.
int lv_compare_source_keys(const uint64_t* entry_a, const uint64_t* words_a, uint64_t count_a,
                           const uint64_t* entry_b, const uint64_t* words_b, uint64_t count_b);

// A table's entry count, packed words and their count; false when its two
// first words do not fit its size (a damaged table read from a state).
bool lv_source_table_shape(const uint64_t* table, uint64_t* n, const uint64_t** area, uint64_t* area_words);

// Binary search over elements 1 .. count-1 of an array of element_size
// bytes: the index of an element equal to key, else the index of the first
// element above key (count when none is).
typedef int (*lv_source_compare)(const void* key, const void* element, void* arg);
uint64_t lv_binary_search(const void* key, const void* base, uint64_t count, size_t element_size,
                          lv_source_compare compare, void* arg);

// The line of entry k (1..n) of a table; -1 when the table has no such
// entry or is damaged.
int64_t lv_source_entry_line(const uint64_t* table, uint64_t k);

// The line of a position (words as lv_close_source_position gives them) in
// a table: the line of the last entry at or before it; false when the table
// has no such entry.
bool lv_source_table_line(const uint64_t* table, const uint64_t* position, uint64_t count, int64_t* line);

// A position term ([A | P] ending in a clause reference): its clause's
// table is searched for it; 1 and the clause's file term and the line, or
// 0. The builder's current position is cleared either way.
int lv_search_source_table(lv_term position, lv_term* file, int64_t* line);
