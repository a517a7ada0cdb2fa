// Source-position tables and their builder.
#include "store/source_table.h"

#include <cstring>

#include "core/memory.h"
#include "core/predefined_atoms.h"
#include "store/db_clause.h"
#include "store/dbref_table.h"

lv_source_builder lv_source_builder_state = {nullptr, 0, 0, nullptr, 0, 0, 60, 0, nullptr, 0, 0};

namespace {

constexpr uint32_t SOURCE_FLAGS = lv_mem_flags(LV_CAT_SOURCE_INFO);
constexpr uint64_t FIRST_WORDS = 20;
constexpr uint64_t FIRST_ENTRIES = 20;

lv_source_builder& B = lv_source_builder_state;

// Grows a zero-filled word array so that index fits.
void ensure(uint64_t** array, uint64_t* capacity, uint64_t index, uint64_t first) {
  if (index < *capacity) return;
  uint64_t n = *capacity == 0 ? first : *capacity;
  while (n <= index) n *= 2;
  auto* grown = static_cast<uint64_t*>(lv_mem_alloc(n * 8, SOURCE_FLAGS));
  std::memset(grown, 0, n * 8);
  if (*array != nullptr) {
    std::memcpy(grown, *array, *capacity * 8);
    lv_mem_free(*array, *capacity * 8, SOURCE_FLAGS);
  }
  *array = grown;
  *capacity = n;
}

void push_digit(unsigned digit) {
  LV_ASSERT(digit >= 1 && digit <= 15);
  ensure(&B.position, &B.position_capacity, B.current, FIRST_WORDS);
  B.position[B.current] |= static_cast<uint64_t>(digit) << B.shift;
  B.shift -= 4;
  if (B.shift < 0) {
    B.current++;
    B.shift = 60;
    ensure(&B.position, &B.position_capacity, B.current, FIRST_WORDS);
  }
}

bool continues(uint64_t word) { return (word & 15) != 0; }

// Packed words of a table or of the builder: a word past the end reads as
// 0 (a table read from a saved state may be damaged).
struct word_area {
  const uint64_t* words;
  uint64_t count;
  uint64_t at(uint64_t i) const { return i < count ? words[i] : 0; }
};

// Compares two positions given as first word and the index of their
// further words in their areas.
int compare_positions(uint64_t a0, word_area a, uint64_t ai, uint64_t b0, word_area b, uint64_t bi) {
  for (;;) {
    if (a0 != b0) return a0 < b0 ? -1 : 1;
    if (!continues(a0)) return 0;
    a0 = a.at(ai++);
    b0 = b.at(bi++);
  }
}

// The index of the further words of an entry's position.
uint64_t further_index(const uint64_t* entry) {
  return (entry[1] & LV_SOURCE_LONG) != 0 ? (entry[1] & ~LV_SOURCE_LONG) + 1 : ~uint64_t{0};
}

bool entry_line(const uint64_t* entry, word_area area, int64_t* line) {
  if ((entry[1] & LV_SOURCE_LONG) == 0) {
    *line = static_cast<int64_t>(entry[1]);
    return true;
  }
  uint64_t i = entry[1] & ~LV_SOURCE_LONG;
  if (i >= area.count) return false;
  *line = static_cast<int64_t>(area.words[i]);
  return true;
}

struct position_key {
  word_area query;  // the query's words
  word_area area;   // the table's packed words
};

int compare_with_entry(const void* key, const void* element, void*) {
  const auto* k = static_cast<const position_key*>(key);
  const auto* e = static_cast<const uint64_t*>(element);
  return compare_positions(k->query.words[0], k->query, 1, e[0], k->area, further_index(e));
}

}  // namespace

void lv_reset_source_table() {
  if (B.words != nullptr) std::memset(B.words, 0, B.capacity * 8);
  if (B.position != nullptr) std::memset(B.position, 0, B.position_capacity * 8);
  B.used = 0;
  B.current = 0;
  B.shift = 60;
  B.pending = 0;
  B.entry_count = 0;
}

void lv_free_source_builder() {
  if (B.words != nullptr) lv_mem_free(B.words, B.capacity * 8, SOURCE_FLAGS);
  if (B.position != nullptr) lv_mem_free(B.position, B.position_capacity * 8, SOURCE_FLAGS);
  if (B.entries != nullptr) lv_mem_free(B.entries, B.entry_capacity * 16, SOURCE_FLAGS);
  B = lv_source_builder{};
  B.shift = 60;
}

void lv_clear_source_position() {
  if (B.position != nullptr) std::memset(B.position, 0, (B.current + 1) * 8);
  B.current = 0;
  B.shift = 60;
  B.pending = 0;
}

bool lv_source_push_step(unsigned arg) {
  if (arg == 2) {
    if (++B.pending == 13) {
      push_digit(14);
      B.pending = 0;
    }
    return true;
  }
  if (arg == 1) {
    push_digit(B.pending + 1);
  } else if (arg >= 3 && arg <= 17) {
    push_digit(15);
    push_digit(13 - B.pending);
    push_digit(arg - 2);
  } else if (arg >= 18 && arg <= LV_SOURCE_MAX_ARG) {
    unsigned v = arg - 18;
    push_digit(15);
    push_digit(14);
    push_digit(13 - B.pending);
    push_digit(v / 225 + 1);
    push_digit(v / 15 % 15 + 1);
    push_digit(v % 15 + 1);
  } else {
    lv_clear_source_position();
    return false;
  }
  B.pending = 0;
  return true;
}

const uint64_t* lv_close_source_position(uint64_t* count) {
  push_digit(B.pending + 1);
  B.pending = 0;
  // A position whose digits fill its last word is followed by a zero word:
  // push_digit has moved on to it already.
  *count = B.current + 1;
  return B.position;
}

namespace {

struct coder_state {
  uint64_t current;
  int shift;
  unsigned pending;
};

coder_state save_coder() { return {B.current, B.shift, B.pending}; }

// Back to a saved state: the digits coded since are zeroed.
void restore_coder(coder_state s) {
  for (uint64_t i = s.current + 1; i <= B.current && i < B.position_capacity; i++) B.position[i] = 0;
  if (s.current < B.position_capacity) {
    uint64_t keep = s.shift == 60 ? 0 : ~((uint64_t{1} << (s.shift + 4)) - 1);
    B.position[s.current] &= keep;
  }
  B.current = s.current;
  B.shift = s.shift;
  B.pending = s.pending;
}

// An entry for the current position, which stays as it was.
void add_entry_keeping(int64_t line) {
  coder_state s = save_coder();
  uint64_t count;
  const uint64_t* p = lv_close_source_position(&count);
  ensure(&B.entries, &B.entry_capacity, 2 * B.entry_count + 1, 2 * FIRST_ENTRIES);
  uint64_t* e = B.entries + 2 * B.entry_count++;
  e[0] = p[0];
  if (count == 1) {
    e[1] = static_cast<uint64_t>(line);
  } else {
    ensure(&B.words, &B.capacity, B.used + count - 1, FIRST_WORDS);
    e[1] = B.used | LV_SOURCE_LONG;
    B.words[B.used] = static_cast<uint64_t>(line);
    std::memcpy(B.words + B.used + 1, p + 1, (count - 1) * 8);
    B.used += count;
  }
  restore_coder(s);
}

// The walk of a position tree (see lv_source_tree_entries).
struct tree_walk {
  int64_t last;  // the line last added
  bool exact;    // a long-form step was met: every line gets its entry
};

void tree_line(tree_walk& walk, int64_t line, bool force) {
  if (line > 0 && (line != walk.last || force || walk.exact)) {
    add_entry_keeping(line);
    walk.last = line;
  }
}

// One node: [] or a small integer (its line, 0 for none), or [Line | Args].
// Deep trees nest deeply only through their last argument (conjunctions),
// which is walked in the loop, not by recursion.
bool walk_tree(tree_walk& walk, lv_term tree, int64_t fallback, bool force) {
  for (;;) {
    tree = lv_deref(tree);
    int64_t line;
    lv_term args = LV_ATOM_NIL;
    if (tree == LV_ATOM_NIL) {
      line = 0;
    } else if (lv_is_small(tree)) {
      line = lv_small_value(tree);
    } else if (lv_is_list(tree)) {
      lv_term first = lv_deref(lv_list_cells(tree)[0]);
      if (!lv_is_small(first)) return false;
      line = lv_small_value(first);
      args = lv_deref(lv_list_cells(tree)[1]);
    } else {
      return false;
    }
    tree_line(walk, line > 0 ? line : fallback, force);
    if (args == LV_ATOM_NIL) return true;
    // Every argument but the last by recursion, the last by the loop.
    unsigned arg = 1;
    for (;;) {
      if (!lv_is_list(args) || arg > LV_SOURCE_MAX_ARG) return false;
      lv_term rest = lv_deref(lv_list_cells(args)[1]);
      coder_state s = save_coder();
      lv_source_push_step(arg);
      bool long_form = arg >= 18;
      if (long_form) walk.exact = true;
      if (rest == LV_ATOM_NIL) {
        tree = lv_list_cells(args)[0];
        fallback = 0;
        force = long_form;
        break;
      }
      if (!walk_tree(walk, lv_list_cells(args)[0], 0, long_form)) return false;
      restore_coder(s);
      args = rest;
      arg++;
    }
  }
}

}  // namespace

void lv_add_source_entry(int64_t line) {
  add_entry_keeping(line);
  lv_clear_source_position();
}

bool lv_source_tree_entries(lv_term key) {
  lv_clear_source_position();
  lv_term k = lv_deref(key);
  lv_term parts[3];
  for (lv_term& part : parts) {
    if (!lv_is_list(k)) return false;
    part = lv_deref(lv_list_cells(k)[0]);
    k = lv_deref(lv_list_cells(k)[1]);
  }
  if (k != LV_ATOM_NIL || !lv_is_small(parts[0]) || !lv_is_small(parts[1])) return false;
  tree_walk walk = {0, false};
  tree_line(walk, lv_small_value(parts[0]), false);
  lv_source_push_step(2);
  bool ok = walk_tree(walk, parts[2], lv_small_value(parts[1]), false);
  lv_clear_source_position();
  return ok;
}

int lv_compare_source_keys(const uint64_t* entry_a, const uint64_t* words_a, uint64_t count_a,
                           const uint64_t* entry_b, const uint64_t* words_b, uint64_t count_b) {
  return compare_positions(entry_a[0], {words_a, count_a}, further_index(entry_a), entry_b[0], {words_b, count_b},
                           further_index(entry_b));
}

bool lv_source_table_shape(const uint64_t* table, uint64_t* n, const uint64_t** area, uint64_t* area_words) {
  uint64_t words = table[0] / 8;
  if (words < 2 || table[1] == 0 || (words - 2) / 2 < table[1] - 1) return false;
  *n = table[1] - 1;
  *area = table + 2 + 2 * *n;
  *area_words = words - 2 - 2 * *n;
  return true;
}

uint64_t* lv_take_source_table() {
  uint64_t n = B.entry_count;
  if (n == 0) {
    lv_reset_source_table();
    return nullptr;
  }
  // Sorted by position (insertion sort: the tree walk adds them in order
  // but for long-form branches).
  auto* entries = reinterpret_cast<uint64_t(*)[2]>(B.entries);
  for (uint64_t i = 1; i < n; i++) {
    uint64_t e0 = entries[i][0], e1 = entries[i][1];
    uint64_t j = i;
    const uint64_t moving[2] = {e0, e1};
    while (j > 0 && lv_compare_source_keys(entries[j - 1], B.words, B.used, moving, B.words, B.used) > 0) {
      entries[j][0] = entries[j - 1][0];
      entries[j][1] = entries[j - 1][1];
      j--;
    }
    entries[j][0] = e0;
    entries[j][1] = e1;
  }
  uint64_t words = 2 + 2 * n + B.used;
  auto* table = static_cast<uint64_t*>(lv_mem_alloc(words * 8, SOURCE_FLAGS));
  table[0] = words * 8;
  table[1] = n + 1;
  std::memcpy(table + 2, B.entries, n * 16);
  if (B.used != 0) std::memcpy(table + 2 + 2 * n, B.words, B.used * 8);
  lv_reset_source_table();
  return table;
}

void lv_free_source_table(void* table) {
  if (table != nullptr) lv_mem_free(table, static_cast<uint64_t*>(table)[0], SOURCE_FLAGS);
}

uint64_t lv_binary_search(const void* key, const void* base, uint64_t count, size_t element_size,
                          lv_source_compare compare, void* arg) {
  uint64_t lo = 1, hi = count;  // the answer lies in [lo, hi]
  while (lo < hi) {
    uint64_t mid = lo + (hi - lo) / 2;
    int c = compare(key, static_cast<const char*>(base) + mid * element_size, arg);
    if (c == 0) return mid;
    if (c < 0) {
      hi = mid;
    } else {
      lo = mid + 1;
    }
  }
  return lo;
}

int64_t lv_source_entry_line(const uint64_t* table, uint64_t k) {
  uint64_t n, area_words;
  const uint64_t* area;
  int64_t line;
  if (!lv_source_table_shape(table, &n, &area, &area_words) || k < 1 || k > n ||
      !entry_line(table + 2 * k, {area, area_words}, &line))
    return -1;
  return line;
}

bool lv_source_table_line(const uint64_t* table, const uint64_t* position, uint64_t count, int64_t* line) {
  uint64_t n, area_words;
  const uint64_t* area;
  if (!lv_source_table_shape(table, &n, &area, &area_words)) return false;
  position_key key = {{position, count}, {area, area_words}};
  // Entry k lies at table + 2k: element k of an array of 16-byte elements
  // starting at the table.
  uint64_t k = lv_binary_search(&key, table, n + 1, 16, compare_with_entry, nullptr);
  if (k > n || compare_with_entry(&key, table + 2 * k, nullptr) != 0) k--;  // the entry before
  return k != 0 && entry_line(table + 2 * k, {area, area_words}, line);
}

int lv_search_source_table(lv_term position, lv_term* file, int64_t* line) {
  // The steps are listed from the last to the first: count them, then code
  // them from the clause reference at the end outwards.
  uint64_t steps = 0;
  lv_term t = lv_deref(position);
  for (; lv_is_list(t); t = lv_deref(lv_list_cells(t)[1])) steps++;
  lv_stored_block* block = lv_dbref_to_block(t);
  if (block == nullptr) return 0;
  lv_db_clause* clause = lv_clause_of(block);
  const auto* table = static_cast<const uint64_t*>(clause->positions);
  if (table == nullptr) return 0;
  // The steps in path order, in a buffer of their own.
  uint16_t local[64];
  uint16_t* path = steps <= 64 ? local : static_cast<uint16_t*>(lv_mem_alloc(steps * 2, SOURCE_FLAGS));
  bool ok = true;
  uint64_t i = steps;
  for (lv_term at = lv_deref(position); lv_is_list(at); at = lv_deref(lv_list_cells(at)[1])) {
    lv_term step = lv_deref(lv_list_cells(at)[0]);
    if (!lv_is_small(step) || lv_small_value(step) < 1 || lv_small_value(step) > LV_SOURCE_MAX_ARG) ok = false;
    path[--i] = ok ? static_cast<uint16_t>(lv_small_value(step)) : 0;
  }
  lv_clear_source_position();
  for (i = 0; ok && i < steps; i++) ok = lv_source_push_step(path[i]);
  if (path != local) lv_mem_free(path, steps * 2, SOURCE_FLAGS);
  if (!ok) {
    lv_clear_source_position();
    return 0;
  }
  uint64_t count;
  const uint64_t* words = lv_close_source_position(&count);
  bool found = lv_source_table_line(table, words, count, line);
  lv_clear_source_position();
  if (!found) return 0;
  *file = clause->source_key;
  return 1;
}
