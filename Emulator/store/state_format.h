// The saved-state file format.
//
// A state file is text lines, a compressed body and a text trailer:
//   lorvika-4.9.0 -r %0.bat -a %1 %2 %3 %4 %5 %6 %7 %8 %9\r\n
//   # META_INFO 1\n
//   # FILE: "<absolute file name>"\n          (left out when it holds a newline)
//   # FR: "<foreign resource>"\n             (one per resource loaded at save time)
//   # META_INFO END\n
//   version=5 archmask=0x<hex>\n
//   <one zlib stream of records>
//   \n# META_INFO_SUFFIX 1\n
//   # size="0x<hex>"\n                       (the bytes before this trailer)
//   # file="<absolute file name>"\n          (left out when it holds a newline)
//   # META_INFO_SUFFIX END\n
//
// A record is a header of nine 64-bit words (word 0 its type) and the
// payload the header announces, in the writer's byte order. Nothing in a
// record is an address of the reader: every address and atom word is a key
// that the relocation table maps to the reader's own record (state_reloc.h),
// and records come in an order that defines every key before it is used.
//
// The payloads carry these fields of the store (the names used below on
// the left):
//   index array of a dynamic clause    lv_db_clause::side_table
//   key array of a dynamic clause      lv_db_clause::positions
//   auxiliary array of a code block    lv_code_block::side_table
//   source atoms of a clause or block  source_key, then source
//   record table of a module           lv_module::bb_table (the blackboard)
//   term slot of a module              lv_module::module_info
//   term slot of a predicate           lv_pred::source_file
//   text strings of a predicate        lv_pred::block_decls
//   meta-argument array                lv_pred::meta_spec (arity words saved)
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/term.h"

constexpr int LV_STATE_VERSION = 5;

// Record types.
enum : uint64_t {
  LV_REC_ATOM = 0,          // w1 key, w2 text bytes with the NUL, w3 prefix kind; the text
  LV_REC_MODULE = 1,        // w1 module, w2 name atom, w3 bit 1 system module, bits 2- table entries
  LV_REC_PREDICATE = 2,     // w1 predicate, w2 module, w3 functor word
  LV_REC_ATTRIBUTE = 3,     // w1 module, w2 1 when an attribute module
  LV_REC_CHAIN = 4,         // w1 module, w2 term slot, w3 bytes; the chained predicates
  LV_REC_TEXT = 5,          // w1 predicate, w2 bytes with the NUL; a block declaration
  LV_REC_PRED_TERM = 6,     // w1 predicate, w2 term slot
  LV_REC_STORED = 7,        // w1 module, w2 key, w3 body bytes; 16 bytes, the body
  LV_REC_PROPERTIES = 8,    // w1 predicate, w2 packed flags, w3 definition type; meta array
  LV_REC_IMPORT = 9,        // w1 predicate, w2 source module, w3 source predicate
  LV_REC_CLAUSE = 10,       // w1 predicate, w2/w3 source atoms, w4 key, w5/w6/w7 bytes; 16 bytes, arrays, body
  LV_REC_CODE = 11,         // w1 predicate, w2 size and key bits, w3 end, w4 fail code, w5/w6 source
                            // atoms, w7 auxiliary bytes, w8 code bytes; the auxiliary array, the code
  LV_REC_GLOBALS = 12,      // the fifteen global words
  LV_REC_MODULE_RESET = 13, // w1 module
  LV_REC_END = 14,          // w1 1, w2 1
  LV_REC_TYPE_COUNT = 15,
};

struct lv_state_header {
  uint64_t w[9];
};
static_assert(sizeof(lv_state_header) == 72);

// Prefix kinds of an atom record.
enum : uint64_t { LV_ATOM_PREFIX_LIBRARY = 1, LV_ATOM_PREFIX_STATE = 2, LV_ATOM_PREFIX_NONE = 3 };

// Packed flags of a properties record: bits 0-3 are the predicate's flag
// bits 1-4, bit 4 its flag bit 7, bit 5 its flag bit 5.
uint64_t lv_state_pack_flags(uint32_t flags);
uint32_t lv_state_unpack_flags(uint64_t packed);
// The predicate flag bits a properties record carries.
constexpr uint32_t LV_STATE_PRED_FLAGS = 0x1E | 0x80 | 0x20;

// The fifteen words of the globals record.
constexpr size_t LV_STATE_GLOBAL_WORDS = 15;

// Archmask: a 32-bit word describing the writer.
enum : uint32_t {
  LV_ARCH_WORD_MASK = 0x3,        // 3: 64-bit words
  LV_ARCH_BIG_ENDIAN = 0x4,       // written by a big-endian emulator
  LV_ARCH_BDD = 0x8,              // decision-diagram support compiled in
  LV_ARCH_GAUGE = 0x10,           // execution counters compiled in
  LV_ARCH_OPCODE_MASK = 0x3E0,    // 0: opcode word = instruction number << 1; else << 4
  LV_ARCH_KIND_SHIFT = 10,        // bits 10-11: the kind of state
  LV_ARCH_X0_SHIFT = 12,          // bits 12-19: word index of X0 in the engine context
};

// Kinds of state.
enum : uint32_t { LV_STATE_SELECTED = 0, LV_STATE_ALL_BUT_PROLOG = 2, LV_STATE_ALL = 3 };

// This runtime's archmask for a kind.
uint32_t lv_emulator_archmask(uint32_t kind);
inline uint32_t lv_archmask_kind(uint32_t mask) { return (mask >> LV_ARCH_KIND_SHIFT) & 3; }
inline unsigned lv_archmask_opcode_shift(uint32_t mask) { return (mask & LV_ARCH_OPCODE_MASK) == 0 ? 1 : 4; }
inline unsigned lv_archmask_x0_index(uint32_t mask) { return (mask >> LV_ARCH_X0_SHIFT) & 0xFF; }

// The text form of an archmask, as "64-bit,BDD,GAUGE,ALL_BUT_PROLOG,".
// Returns the length, or -1 when it does not fit.
int lv_archmask_text(uint32_t mask, char* buffer, size_t size);

// Relocation keys of words read from a state (state_reloc.h): an atom or
// functor word (low bits 111, sign bit clear) is keyed with its arity bits
// cleared, any other word (an address) with bit 0 set.
constexpr uint64_t LV_ARITY_BITS = uint64_t{0xFF} << 55;
inline bool lv_state_is_atom_word(uint64_t w) { return (w & 7) == 7 && static_cast<int64_t>(w) >= 0; }
inline uint64_t lv_state_atom_key(uint64_t w) { return w & ~LV_ARITY_BITS; }
inline uint64_t lv_state_address_key(uint64_t w) { return w | 1; }
// The predefined atoms 0 to 12 ([] among them) are never entered: their
// keys relocate to themselves.
constexpr uint64_t LV_STATE_FIXED_ATOM_KEY_MAX = 12 * 8 + 7;

// Byte order.
inline uint64_t lv_swap64(uint64_t v) { return __builtin_bswap64(v); }
inline uint32_t lv_swap32(uint32_t v) { return __builtin_bswap32(v); }
