// The runtime's predicate record as the solver reads it: the first words
// of the record lie at fixed offsets (the native code and the plug-in
// address them), of which the solver needs the definition word and the
// flags, whose bits 12 and up hold the definition type.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kernel/terms.h"

struct fd_pred {
  uint32_t kind;
  int32_t arity;
  uint32_t frame_size;
  uint32_t continue_insn;
  void* definition;  // 16: for an indexical definition, its table of four chain heads
  uint8_t native_stub[16];
  lv_term name;  // 40
  uint64_t jit_counter;
  uint32_t flags;  // 56
};
static_assert(offsetof(fd_pred, definition) == 16 && offsetof(fd_pred, name) == 40 && offsetof(fd_pred, flags) == 56);

// Definition types.
constexpr uint32_t FD_PRED_UNDEFINED = 2;
constexpr uint32_t FD_PRED_INDEXICAL = 5;

inline uint32_t fd_pred_type(const fd_pred* p) { return (p->flags >> 12) & 0xffff; }
