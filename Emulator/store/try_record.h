// The choicepoint alternative record. A chain entry or a choicepoint's
// alternative word points at the record's TRY instruction word; the other
// fields lie before it.
#pragma once

#include <cstddef>
#include <cstdint>

struct lv_try_record {
  lv_try_record* next;      // next record of the series, 0 in the last
  const uint32_t* target;   // code address of this alternative
  void* last_or_end;        // first record: the series' last; last record: the retry end
  uint32_t cp_size;         // choicepoint size in bytes: 48 + 8 * saved argument registers
  uint32_t insn;            // the TRY opcode word
};
static_assert(sizeof(lv_try_record) == 32);
static_assert(offsetof(lv_try_record, cp_size) == 24 && offsetof(lv_try_record, insn) == 28);

// The alternative word of a choicepoint for a record.
inline const uint32_t* lv_try_alternative(const lv_try_record* r) { return &r->insn; }

// The size of a choicepoint whose alternative this is (bit 0 of the word is
// a flag). A record may give an odd number of words; TRY then saves one more
// register, so the size is rounded up to a multiple of 16 bytes.
inline int32_t lv_record_cp_size(uint32_t cp_size) { return static_cast<int32_t>((cp_size + 15) & ~15u); }
inline const lv_try_record* lv_alternative_record(uint64_t alternative) {
  return reinterpret_cast<const lv_try_record*>((alternative & ~uint64_t{1}) - offsetof(lv_try_record, insn));
}
inline int32_t lv_alternative_cp_size(uint64_t alternative) {
  return lv_record_cp_size(lv_alternative_record(alternative)->cp_size);
}
