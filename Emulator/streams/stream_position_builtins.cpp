// The stream built-ins over counters and positions: counts, line counts,
// saved positions, position records and seeking.
#include <cstring>

#include "core/atoms.h"
#include "core/error_codes.h"
#include "core/hashtab.h"
#include "core/memory.h"
#include "core/unify.h"
#include "core/worker.h"
#include "streams/stream.h"
#include "streams/stream_api.h"
#include "streams/stream_builtin_args.h"
#include "streams/stream_builtins.h"
#include "streams/stream_internal.h"

namespace {

// A position record: item count, line count, line position and the extra
// word, as the Prolog side saves a stream position.
struct position_record {
  int64_t words[4];
};
static_assert(sizeof(position_record) == 32);

// The records handed out and not yet freed, keyed by address: a record
// argument is used only when it is one of them.
lv_keytab* live_records = nullptr;

position_record* record_arg(lv_term t) {
  int64_t address = 0;
  if (live_records == nullptr || !lv_integer_arg(t, &address) || address == 0) return nullptr;
  lv_hash_entry* e = lv_wordtab_find(live_records, static_cast<uint64_t>(address));
  if (e == nullptr || e->key != static_cast<uint64_t>(address) || e->value == 0) return nullptr;
  return reinterpret_cast<position_record*>(static_cast<uintptr_t>(address));
}

// The four integer arguments X1..X4.
bool position_args(lv_worker* w, int64_t words[4]) {
  for (int i = 0; i < 4; i++)
    if (!lv_integer_arg(w->X[i + 1], &words[i])) return false;
  return true;
}

// Counting failures are the input side's.
bool counts(lv_worker* w, const char* name, unsigned arity, lv_stream** s, int64_t* items, int64_t* lines,
            int64_t* position, int* result) {
  *s = lv_get_stream_arg(w->X[0], LV_CAP_STREAM, 0);
  if (*s == nullptr) {
    *result = lv_raise_pending(w, name, arity, 1);
    return false;
  }
  int64_t rc = LV_get_stream_counts(*s, items, lines, position, 0);
  if (rc < 0) {
    *result = lv_raise_code(w, rc, false, name, arity, 1);
    return false;
  }
  return true;
}

}  // namespace

int prolog_stream_count(lv_worker* w) {
  lv_stream* s = nullptr;
  int64_t items = 0, lines = 0, position = 0;
  int result = 0;
  if (!counts(w, "$stream_count", 5, &s, &items, &lines, &position, &result)) return result;
  return lv_unify_integer(w, 1, items, 5) && lv_unify_integer(w, 2, items, 5) && lv_unify_integer(w, 3, lines, 5) &&
                 lv_unify_integer(w, 4, position, 5)
             ? 1
             : 0;
}

int prolog_stream_offset(lv_worker* w) {
  lv_stream* s = nullptr;
  int64_t items = 0;
  int result = 0;
  if (!counts(w, "$stream_offset", 2, &s, &items, nullptr, nullptr, &result)) return result;
  return lv_unify_integer(w, 1, items, 2) ? 1 : 0;
}

int prolog_stream_set_line_count(lv_worker* w) {
  constexpr const char* NAME = "$stream_set_line_count";
  lv_stream* s = lv_get_stream_arg(w->X[0], LV_CAP_STREAM, 0);
  if (s == nullptr) return lv_raise_pending(w, NAME, 2, 1);
  int64_t lines = 0;
  if (!lv_integer_arg(w->X[1], &lines)) return lv_raise_error(w, LV_ERROR_NOT_INTEGER, "integer", NAME, 2, 2);
  if (lines < 0) return lv_raise_error(w, LV_ERROR_NEGATIVE, "", NAME, 2, 2);
  lv_stream_count_sync(s, 1);
  if ((s->flags & LV_STREAM_TEXT) == 0) return lines == 0 ? 1 : lv_raise_code(w, LVIO_E_PARAMETER_ERROR, false, NAME, 2, 1);
  // An interactive stream counts on the terminal's counters.
  lv_stream* counted = (s->flags & LV_STREAM_INTERACTIVE) != 0 && lv_stream_ring_head() != nullptr
                           ? lv_stream_ring_head()
                           : s;
  counted->line_count = lines;
  counted->line_position = 0;
  return 1;
}

int prolog_set_stream_position(lv_worker* w) {
  constexpr const char* NAME = "$set_stream_position";
  lv_stream* s = lv_get_stream_arg(w->X[0], LV_CAP_STREAM, 0);
  if (s == nullptr) return lv_raise_pending(w, NAME, 5, 1);
  int64_t words[4];
  for (int i = 0; i < 4; i++) {
    bool ok = lv_integer_arg(w->X[i + 1], &words[i]) && words[i] >= 0 && (i < 3 || words[i] <= 0xFFFFFFFF);
    if (!ok) return lv_raise_code(w, LVIO_E_PARAMETER_ERROR, false, NAME, 5, i + 2);
  }
  if ((s->capabilities & LV_CAP_REPOSITIONABLE) == 0) return 0;
  int64_t rc = lv_stream_set_position(s, words[0], words[1], words[2], 0);
  if (rc == LVIO_E_PERMISSION_ERROR) return 0;
  bool output = (s->flags & (LV_STREAM_INPUT | LV_STREAM_OUTPUT)) == LV_STREAM_OUTPUT;
  return rc < 0 ? lv_raise_code(w, rc, output, NAME, 5, 1) : 1;
}

int prolog_alloc_stream_position(lv_worker* w) {
  int64_t words[4];
  if (!lv_is_ref(lv_deref(w->X[0])) || !position_args(w, words)) return 0;
  auto* r = static_cast<position_record*>(lv_mem_alloc(sizeof(position_record), LV_STREAM_MEM));
  if (r == nullptr) return 0;
  if (live_records == nullptr) live_records = lv_wordtab_new(16);
  lv_wordtab_insert(&live_records, reinterpret_cast<uint64_t>(r))->value = 1;
  std::memcpy(r->words, words, sizeof words);
  if (lv_unify_integer(w, 0, static_cast<int64_t>(reinterpret_cast<uintptr_t>(r)), 5)) return 1;
  lv_wordtab_find(live_records, reinterpret_cast<uint64_t>(r))->value = 0;
  lv_mem_free(r, sizeof *r, LV_STREAM_MEM);
  return 0;
}

int prolog_load_stream_position(lv_worker* w) {
  position_record* r = record_arg(w->X[0]);
  if (r == nullptr) return 0;
  for (int i = 1; i <= 4; i++)
    if (!lv_is_ref(lv_deref(w->X[i]))) return 0;
  for (int i = 0; i < 4; i++)
    if (!lv_unify_integer(w, static_cast<unsigned>(i + 1), r->words[i], 5)) return 0;
  return 1;
}

int prolog_store_stream_position(lv_worker* w) {
  position_record* r = record_arg(w->X[0]);
  int64_t words[4];
  if (r == nullptr || !position_args(w, words)) return 0;
  std::memcpy(r->words, words, sizeof words);
  return 1;
}

int prolog_free_stream_position(lv_worker* w) {
  position_record* r = record_arg(w->X[0]);
  if (r == nullptr) return 0;
  lv_wordtab_find(live_records, reinterpret_cast<uint64_t>(r))->value = 0;
  lv_mem_free(r, sizeof *r, LV_STREAM_MEM);
  return 1;
}

void lv_free_stream_positions() {
  if (live_records == nullptr) return;
  lv_hash_entry* entries = lv_keytab_entries(live_records);
  for (uint64_t i = 0; i < lv_keytab_capacity(live_records); i++)
    if (entries[i].key != 0 && entries[i].value != 0)
      lv_mem_free(reinterpret_cast<void*>(entries[i].key), sizeof(position_record), LV_STREAM_MEM);
  lv_wordtab_free(live_records);
  live_records = nullptr;
}

int prolog_seek(lv_worker* w) {
  lv_stream* s = lv_get_stream_arg(w->X[0], LV_CAP_STREAM, 0);
  if (s == nullptr) return lv_raise_pending(w, "$seek", 4, 1);
  int64_t offset = 0;
  lv_term method = lv_deref(w->X[2]);
  uint32_t whence = method == LV_ATOM_BOF_       ? LV_SEEK_FROM_START
                    : method == LV_ATOM_CURRENT_ ? LV_SEEK_FROM_CURRENT
                    : method == LV_ATOM_EOF_     ? LV_SEEK_FROM_END
                                                 : 0;
  if (whence == 0 || !lv_integer_arg(w->X[1], &offset)) return 0;
  if (lv_stream_set_position(s, offset, 0, 0, LV_SEEK | whence) < 0) return 0;
  return lv_unify_integer(w, 3, s->item_count, 4) ? 1 : 0;
}
