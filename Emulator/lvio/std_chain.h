// The standard-chain slots: the chains of the process's standard input,
// output and error, and a spare slot, kept for the stream layer to take.
//
// Kind flags name a slot in bits 1-2 (standard input 1, output 3, error 5,
// the spare slot 7). Stored with a chain, bit 3 (read) and bit 4 (write) say
// which directions of it to close when another chain replaces it.
#pragma once

#include <cstdint>

#include "lvio/layer.h"

constexpr uint32_t LVIO_STD_INPUT = 1;
constexpr uint32_t LVIO_STD_OUTPUT = 3;
constexpr uint32_t LVIO_STD_ERROR = 5;
constexpr uint32_t LVIO_STD_SPARE = 7;
constexpr uint32_t LVIO_STD_CLOSE_READ = 0x8;    // set_std_chain: close the replaced chain's read direction
constexpr uint32_t LVIO_STD_CLOSE_WRITE = 0x10;  // set_std_chain: close the replaced chain's write direction
constexpr uint32_t LVIO_STD_MAKE_NULL = 0x8;     // get_std_chain: a null device for an empty slot

// Stores the chain's top layer (a null chain pointer empties the slot; a
// chain pointer whose top is null is LVIO_E_PARAMETER_ERROR). A chain that
// the slot held is closed for the directions its stored flags name; the
// result of that close is returned (a chain whose close fails is closed
// abortively all the same).
[[nodiscard]] lvio_code lvio_set_std_chain(lvio_layer** chain, uint32_t kind_flags);

// Takes the chain out of its slot: the caller owns it and the slot is empty.
// An empty slot is LVIO_E_NOT_FOUND, or with LVIO_STD_MAKE_NULL a new null
// device, readable for standard input and writable for output and error.
[[nodiscard]] lvio_code lvio_get_std_chain(lvio_layer** chain, uint32_t kind_flags);

// The number, 1 to 4, of the slot the kind flags select.
int64_t lvio_std_slot_number(uint32_t kind_flags);
