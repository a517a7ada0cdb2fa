// The atom table.
#include "core/atoms.h"

#include <cstring>

#include "core/api_error.h"
#include "core/atom_gc.h"
#include "core/fault.h"
#include "core/init_state.h"
#include "core/memory.h"
#include "core/predefined_atoms.h"
#include "core/startup_records.h"
#include "text/char_class.h"
#include "text/utf8.h"

uint64_t* lv_atom_pages[LV_ATOM_PAGES];

namespace {

constexpr uint32_t ATOM_FLAGS = lv_mem_flags(LV_CAT_ATOM);
constexpr uint32_t TABLE_FLAGS = lv_mem_flags(LV_CAT_ATOM_TABLE);
constexpr unsigned BUCKET_PAGE_HEADS = 4096;
constexpr unsigned BUCKET_PAGES = 4096;
constexpr uint64_t MAX_BUCKET_BASE = 16777216;
constexpr uint64_t NO_FREE_SLOT = ~uint64_t{0};
constexpr unsigned INDEX_SHIFT = 6;

struct atom_table {
  lv_atom** bucket_pages[BUCKET_PAGES];
  uint64_t base;  // N
  uint64_t split;  // s
  uint64_t records;
  uint64_t total_slots;
  uint64_t free_head;  // index of the first free slot, or NO_FREE_SLOT
  uint64_t live;
  uint64_t bytes_held;
  lv_term one_char[256];
  bool initialised;
};

atom_table table;

uint64_t record_bytes(uint64_t length) { return 33 + length; }

lv_atom** bucket_head(uint64_t bucket) {
  return &table.bucket_pages[bucket / BUCKET_PAGE_HEADS][bucket % BUCKET_PAGE_HEADS];
}

uint64_t bucket_of(uint32_t hash) {
  uint64_t i = hash & (table.base - 1);
  if (i < table.split) i = hash & (2 * table.base - 1);
  return i;
}

lv_atom** new_bucket_page() {
  size_t bytes = BUCKET_PAGE_HEADS * sizeof(lv_atom*);
  lv_atom** page = static_cast<lv_atom**>(lv_mem_alloc(bytes, TABLE_FLAGS));
  std::memset(page, 0, bytes);
  return page;
}

uint64_t& slot(uint64_t index) { return lv_atom_pages[index / LV_ATOM_PAGE_SLOTS][index % LV_ATOM_PAGE_SLOTS]; }

// A new slot page, its slots linked in index order onto the free list.
void add_slot_page() {
  uint64_t first = table.total_slots;
  size_t bytes = LV_ATOM_PAGE_SLOTS * sizeof(uint64_t);
  uint64_t* page = static_cast<uint64_t*>(lv_mem_alloc(bytes, TABLE_FLAGS));
  for (uint64_t i = 0; i < LV_ATOM_PAGE_SLOTS; i++) page[i] = (first + i + 1) * 8 + 1;
  page[LV_ATOM_PAGE_SLOTS - 1] = 1;  // ends the list
  lv_atom_pages[first / LV_ATOM_PAGE_SLOTS] = page;
  table.total_slots += LV_ATOM_PAGE_SLOTS;
  table.free_head = first;
}

// Adds bucket N + s and moves to it the records of bucket s whose hash has
// bit N set, both chains keeping their order.
void split_bucket() {
  uint64_t fresh = table.base + table.split;
  if (fresh % BUCKET_PAGE_HEADS == 0) table.bucket_pages[fresh / BUCKET_PAGE_HEADS] = new_bucket_page();
  lv_atom** stay = bucket_head(table.split);
  lv_atom** move = bucket_head(fresh);
  lv_atom* a = *stay;
  *stay = nullptr;
  *move = nullptr;
  for (; a != nullptr; a = a->next) {
    if ((a->hash & table.base) != 0) {
      *move = a;
      move = &a->next;
    } else {
      *stay = a;
      stay = &a->next;
    }
  }
  *stay = nullptr;
  *move = nullptr;
  if (++table.split == table.base) {
    table.split = 0;
    table.base *= 2;
  }
}

// Merges the last bucket back into its partner.
void merge_bucket() {
  if (table.split == 0) {
    table.base /= 2;
    table.split = table.base;
  }
  table.split--;
  uint64_t last = table.base + table.split;
  lv_atom** tail = bucket_head(table.split);
  while (*tail != nullptr) tail = &(*tail)->next;
  *tail = *bucket_head(last);
  *bucket_head(last) = nullptr;
  if (last % BUCKET_PAGE_HEADS == 0) {
    lv_mem_free(table.bucket_pages[last / BUCKET_PAGE_HEADS], BUCKET_PAGE_HEADS * sizeof(lv_atom*), TABLE_FLAGS);
    table.bucket_pages[last / BUCKET_PAGE_HEADS] = nullptr;
  }
}

lv_atom* find(const char* text, uint64_t length, uint32_t hash) {
  for (lv_atom* a = *bucket_head(bucket_of(hash)); a != nullptr; a = a->next)
    if (a->hash == hash && a->length == length && std::memcmp(a->text, text, length) == 0) return a;
  return nullptr;
}

lv_atom* create(const char* text, uint64_t length, uint32_t hash) {
  uint64_t index = table.free_head;
  uint64_t link = slot(index);
  table.free_head = link == 1 ? NO_FREE_SLOT : link >> 3;
  table.live++;
  lv_atom* a = static_cast<lv_atom*>(lv_mem_alloc(record_bytes(length), ATOM_FLAGS));
  std::memset(a, 0, sizeof(lv_atom));
  a->hash = hash;
  a->length = length;
  std::memcpy(a->text, text, length);
  a->text[length] = '\0';
  a->flags = static_cast<uint32_t>(index << INDEX_SHIFT) | lv_writing_class(text, length);
  table.bytes_held += record_bytes(length);
  slot(index) = reinterpret_cast<uint64_t>(a);
  lv_atom** head = bucket_head(bucket_of(hash));
  a->next = *head;
  *head = a;
  table.records++;
  if (table.base < MAX_BUCKET_BASE && table.records > 5 * (table.base + table.split)) split_bucket();
  if (table.free_head == NO_FREE_SLOT) add_slot_page();
  return a;
}

uint64_t index_of(const lv_atom* a) { return (a->flags >> INDEX_SHIFT) & 0x1FFFFFF; }

lv_term word_of(const lv_atom* a) { return lv_atom_from_index(index_of(a)); }

}  // namespace

uint32_t lv_atom_text_hash(const char* text, uint64_t length) {
  uint32_t h = 0;
  for (uint64_t i = 0; i < length; i++) h = h * 31 + static_cast<unsigned char>(text[i]);
  return h & 0x0FFFFFFF;
}

void lv_atoms_init() {
  std::memset(&table, 0, sizeof table);
  std::memset(lv_atom_pages, 0, sizeof lv_atom_pages);
  table.bucket_pages[0] = new_bucket_page();
  table.base = 1;
  add_slot_page();
  lv_atom_gc_reset();
  table.initialised = true;
}

void lv_atoms_startup() {
  lv_char_classes_init();
  lv_atoms_init();
  for (unsigned i = 0; i < LV_PREDEFINED_ATOM_COUNT; i++) LV_register_atom(lv_atom_from_text(lv_predefined_atom_texts[i], LV_ATOM_CREATE));
  // Find or create: many one-character atoms are predefined.
  for (uint32_t c = 0; c < 256; c++) {
    char text[3];
    int n = LV_code_wci(text, static_cast<int32_t>(c));
    text[n] = '\0';
    lv_term atom = lv_atom_from_text(text, LV_ATOM_FIND_OR_CREATE);
    LV_register_atom(atom);
    table.one_char[c] = atom;
  }
  lv_atom_eval = lv_atom_from_text("$eval", LV_ATOM_FIND_OR_CREATE);
  LV_register_atom(lv_atom_eval);
}

lv_term lv_one_char_atom(uint32_t c) { return table.one_char[c]; }

lv_atom* lv_atom_lookup_insert(const char* text, bool find_only) {
  uint64_t length = std::strlen(text);
  uint32_t hash = lv_atom_text_hash(text, length);
  lv_atom* a = find(text, length, hash);
  if (a != nullptr || find_only) return a;
  if (!lv_text_is_utf8(text)) return nullptr;
  return create(text, length, hash);
}

lv_term lv_atom_from_text(const char* text, int mode) {
  if (text == nullptr) return 0;
  bool started = lv_prolog_initialized();
  unsigned char first = static_cast<unsigned char>(text[0]);
  if (started && first >= 1 && first <= 127 && text[1] == '\0') return mode == LV_ATOM_CREATE ? 0 : table.one_char[first];
  uint64_t length = std::strlen(text);
  uint32_t hash = lv_atom_text_hash(text, length);
  lv_atom* a = find(text, length, hash);
  if (a != nullptr) return mode == LV_ATOM_CREATE ? 0 : word_of(a);
  if (mode == LV_ATOM_FIND || !lv_text_is_utf8(text)) return 0;
  a = create(text, length, hash);
  lv_term word = word_of(a);
  if (started && table.live >= lv_atom_gc_threshold()) {
    a->refcount = 1;
    lv_garbage_collect_atoms(nullptr);
    a->refcount = 0;
  }
  if (table.live > LV_ATOM_LIMIT) LV_raise_fault(lv_predefined_atom_texts[lv_atom_index(LV_ATOM_TABLE_FULL)]);
  return word;
}

bool lv_atom_live(lv_term word) {
  if (!lv_is_atom(word) || static_cast<int64_t>(word) < 0) return false;
  uint64_t index = lv_atom_index(word);
  if (index >= table.total_slots) return false;
  uint64_t s = slot(index);
  return s != 0 && (s & 1) == 0;
}

void lv_atom_free_index(uint64_t index) {
  lv_atom* a = reinterpret_cast<lv_atom*>(slot(index));
  lv_atom** p = bucket_head(bucket_of(a->hash));
  while (*p != a) p = &(*p)->next;
  *p = a->next;
  table.records--;
  if (table.base + table.split > 1 && 5 * (table.base + table.split - 1) >= table.records) merge_bucket();
  uint64_t bytes = record_bytes(a->length);
  lv_mem_free(a, bytes, ATOM_FLAGS);
  table.bytes_held -= bytes;
  slot(index) = (table.free_head == NO_FREE_SLOT ? 0 : table.free_head) * 8 + 1;
  table.free_head = index;
  table.live--;
}

uint64_t lv_atom_total_slots() { return table.total_slots; }
uint64_t lv_atom_live_count() { return table.live; }

int LV_register_atom(lv_term atom) {
  if (!lv_atom_live(atom)) {
    lv_set_api_error(LV_ERR_WRONG_TYPE);
    return 0;
  }
  lv_atom_ref_inc(atom);
  return 1;
}

int LV_unregister_atom(lv_term atom) {
  if (!lv_atom_live(atom)) {
    lv_set_api_error(LV_ERR_WRONG_TYPE);
    return 0;
  }
  lv_atom_ref_dec(atom);
  return 1;
}

void lv_atom_ref_inc(lv_term atom) {
  lv_atom* a = lv_atom_record(atom);
  if (a->refcount != 255) a->refcount++;
}

void lv_atom_ref_dec(lv_term atom) {
  lv_atom* a = lv_atom_record(atom);
  if (a->refcount != 0 && a->refcount != 255) a->refcount--;
}

void lv_atom_hold(lv_term* word, lv_term atom) {
  if (atom != 0) lv_atom_ref_inc(atom);
  if (*word != 0) lv_atom_ref_dec(*word);
  *word = atom;
}

uint32_t lv_writing_class(const char* text, uint64_t length) {
  if (length == 0) return LV_WC_SYMBOL | LV_WC_QUOTE | LV_WC_ASCII;
  bool escape = false, other = false, alnum = false, symbol = false, high = false;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  const unsigned char* end = p + length;
  int32_t first = -1;
  unsigned count = 0;
  while (p < end) {
    int32_t c = lv_utf8_next(p, end);
    if (count++ == 0) first = c;
    if (c >= 128) high = true;
    uint8_t cls = lv_char_class(c);
    bool quote_like = c == '\'' || (cls == LV_CC_LAYOUT && c != ' ') || cls == LV_CC_OTHER;
    if (quote_like || c == '\\') escape = true;
    if (quote_like) other = true;
    switch (cls) {
      case LV_CC_LOWER:
      case LV_CC_UPPER:
      case LV_CC_DIGIT:
      case LV_CC_UNDERSCORE:
        alnum = true;
        break;
      case LV_CC_SYMBOL:
        symbol = true;
        break;
      default:
        other = true;
        break;
    }
  }
  uint32_t wc = 0;
  if (!other && !alnum) wc |= LV_WC_SYMBOL;
  bool quote = other || (alnum && symbol) || (!alnum && !symbol);
  if (quote) wc |= LV_WC_QUOTE;
  if (escape && quote) wc |= LV_WC_ESCAPES;
  if (!high) wc |= LV_WC_ASCII;
  bool solo = (count == 1 && (first == '!' || first == ';' || lv_char_class(first) == LV_CC_SOLO)) ||
              (length == 2 && (std::memcmp(text, "[]", 2) == 0 || std::memcmp(text, "{}", 2) == 0));
  if (solo) return (wc & ~(LV_WC_QUOTE | LV_WC_ESCAPES)) | LV_WC_SOLO;
  if (quote) return wc;
  uint8_t first_class = lv_char_class(first);
  if (first_class == LV_CC_UPPER || first_class == LV_CC_DIGIT || first == '_' || (length == 1 && text[0] == '.') ||
      (length >= 2 && text[0] == '/' && text[1] == '*')) {
    wc |= LV_WC_QUOTE;
    if (escape) wc |= LV_WC_ESCAPES;
  }
  return wc;
}

void lv_atoms_reclassify() {
  if (!table.initialised) return;
  for (uint64_t i = 0; i < table.total_slots; i++) {
    uint64_t s = slot(i);
    if (s == 0 || (s & 1) != 0) continue;
    lv_atom* a = reinterpret_cast<lv_atom*>(s);
    a->flags = (a->flags & ~LV_ATOM_CLASS_MASK) | lv_writing_class(a->text, a->length);
  }
}

lv_atom_stats lv_atoms_stats() {
  return {table.live, table.total_slots, table.bytes_held, table.records, table.base, table.split};
}
