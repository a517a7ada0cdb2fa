// Typed cells, shared by the hash table and by option lists.
#pragma once

#include <cstddef>
#include <cstdint>

#include "lvio/result_codes.h"

constexpr uint32_t LVIO_VALUE_END = 1;     // ends an option list
constexpr uint32_t LVIO_VALUE_STRING = 2;  // a UTF-8 C string
constexpr uint32_t LVIO_VALUE_POINTER = 3;
constexpr uint32_t LVIO_VALUE_U32 = 4;
constexpr uint32_t LVIO_VALUE_I32 = 5;
constexpr uint32_t LVIO_VALUE_POINTER2 = 6;  // a second pointer kind, hashed and compared like 3
constexpr uint32_t LVIO_VALUE_KIND_MASK = 7;
constexpr uint32_t LVIO_VALUE_ALLOCATED = 8;  // the cell itself was allocated and is freed with its value
constexpr uint32_t LVIO_VALUE_BORROWED = 16;  // a string payload that is never freed

struct lvio_value {
  uint32_t kind;  // a kind in bits 0-2, flags above
  union {
    const char* string;
    void* pointer;
    uint32_t u32;
    int32_t i32;
    uint64_t word;
  };
};
static_assert(sizeof(lvio_value) == 16);
static_assert(offsetof(lvio_value, kind) == 0);
static_assert(offsetof(lvio_value, word) == 8);

inline uint32_t lvio_value_kind(const lvio_value* v) { return v->kind & LVIO_VALUE_KIND_MASK; }

// Copies a cell; a string payload is duplicated and owned by the copy. The
// copy carries the kind only (no cell or borrowing flags).
// LVIO_E_OUT_OF_MEMORY leaves the destination untouched.
[[nodiscard]] lvio_code lvio_value_copy(lvio_value* destination, const lvio_value* source);

// Frees an owned string payload, clears the kind, and frees the cell itself
// when it was allocated. Null is ignored.
void lvio_value_release(lvio_value* cell);

// 1 when both are the same cell, or have the same kind and equal payloads
// (strings by their bytes, pointers as words, 32-bit integers as such);
// cells of any other kind are unequal.
int lvio_value_equal(const lvio_value* a, const lvio_value* b);

// The hash of a cell: strings h = h * 31 + byte from 0; pointers their word;
// unsigned integers zero-extended, signed ones sign-extended; other kinds all
// ones.
uint64_t lvio_value_hash(const lvio_value* v);
