// The incumbent record of branch and bound: a database record the Prolog
// side made, incumbent(Cost, [V1, ..., Vn]) or the like, whose stored block
// (a 128-byte header, then the term's cells) holds Cost in word 17 and the
// values in the heads of the list cells from word 19 on (words 19, 21, ...).
// Every write is checked against the block before anything is written: the
// record must have that shape and room for every value, and each value must
// be one word (a small integer or an atom).
#include "kernel/errors.h"
#include "kernel/foreign_predicates.h"
#include "kernel/labeling.h"
#include "kernel/runtime.h"

namespace {

constexpr int64_t HEADER_WORDS = 16;
constexpr int64_t SIZE_OFFSET = 120;  // the block's size in bytes, a 32-bit word
constexpr int64_t COST_WORD = 17;
constexpr int64_t LIST_WORD = 18;
constexpr int64_t FIRST_VALUE_WORD = 19;

// The block's words, and how many there are; null for a reference that
// names no live record.
lv_term* block_words(const lv_foreign_env* env, lv_term reference, int64_t* count) {
  lv_stored_block* b = fd_rt::decode_dbref(env, fd_deref(reference));
  if (b == nullptr) return nullptr;
  *count = *reinterpret_cast<const uint32_t*>(reinterpret_cast<const char*>(b) + SIZE_OFFSET) / 8;
  return reinterpret_cast<lv_term*>(b);
}

bool one_word(lv_term t) { return fd_is_small(t) || fd_is_atom(t); }

// The cells of a stored term hold offsets from the cells' start (word 16)
// with their tags: the list cell at word k is the word (k - 16) * 8 | 2.
lv_term stored_list_at(int64_t word) { return lv_term((word - HEADER_WORDS) * 8) | FD_TAG_LIST; }

// The number of list cells stored consecutively from word 19 (the values'
// places); 0 when word 18 does not start such a list.
int64_t stored_values(const lv_term* words, int64_t count) {
  if (count <= FIRST_VALUE_WORD || words[LIST_WORD] != stored_list_at(FIRST_VALUE_WORD)) return 0;
  int64_t n = 0;
  // The record's final two words are its root pair, not part of the term.
  for (int64_t k = FIRST_VALUE_WORD; k + 1 < count - 2; k += 2) {
    n++;
    lv_term tail = words[k + 1];
    if (tail == FD_NIL) return n;
    if (tail != stored_list_at(k + 2)) return 0;
  }
  return 0;
}

}  // namespace

void fd_update_incumbent(lv_foreign_env* env, fd_t ref, fd_t cost_ref, fd_t values_ref) {
  int64_t count;
  lv_term* words = block_words(env, fd_termref(env, ref), &count);
  int64_t room = words != nullptr ? stored_values(words, count) : 0;
  if (room == 0) {
    fd_rt::fail(env);
    return;
  }
  const fd_t site[3] = {ref, cost_ref, values_ref};
  lv_term cost = fd_deref(fd_termref(env, cost_ref));
  if (!one_word(cost)) {
    fd_raise_type_error(env, "integer", cost_ref, "$fd_update_incumbent", 3, site, 2);
    return;
  }
  int64_t n = 0;
  lv_term l = fd_deref(fd_termref(env, values_ref));
  for (; fd_is_list(l) && n <= room; l = fd_deref(fd_list_cells(l)[1]), n++) {
    if (one_word(fd_deref(fd_list_cells(l)[0]))) continue;
    lv_term_ref culprit = fd_rt::new_term_ref(env);
    fd_termref(env, culprit) = fd_deref(fd_list_cells(l)[0]);
    fd_raise_type_error(env, "integer", culprit, "$fd_update_incumbent", 3, site, 3);
    return;
  }
  if (l != FD_NIL || n > room) {
    // Not a proper list, or more values than the record has places for.
    fd_rt::fail(env);
    return;
  }
  words[COST_WORD] = cost;
  int64_t k = FIRST_VALUE_WORD;
  for (l = fd_deref(fd_termref(env, values_ref)); fd_is_list(l); l = fd_deref(fd_list_cells(l)[1]), k += 2)
    words[k] = fd_deref(fd_list_cells(l)[0]);
}

void fd_incumbent_bound(lv_foreign_env* env, fd_t ref, fd_t bound_ref) {
  int64_t count;
  lv_term* words = block_words(env, fd_termref(env, ref), &count);
  if (words == nullptr || count <= COST_WORD || !one_word(words[COST_WORD]) ||
      !fd_rt::unify_terms(env, fd_termref(env, bound_ref), words[COST_WORD]))
    fd_rt::fail(env);
}

lv_term fd_incumbent_cost(const lv_foreign_env* env, lv_term reference) {
  int64_t count;
  const lv_term* words = block_words(env, reference, &count);
  return words != nullptr && count > COST_WORD && one_word(words[COST_WORD]) ? words[COST_WORD] : 0;
}
