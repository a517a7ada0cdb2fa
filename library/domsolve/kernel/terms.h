// Term words as the solver reads and builds them. The tag scheme is part of
// the binary interface between the runtime and the plug-in:
//   low two bits 00 a reference (a cell holding its own address is an
//   unbound variable), 01 a structure (address + 1, first cell the functor
//   word), 10 a list cell (address + 2, cells head and tail), 11 atomic:
//   low three bits 011 a small integer 8v + 3, 111 an atom (index << 3 | 7).
// A functor word is the name atom's word with the arity in bits 55-62.
// The predefined atoms have fixed indexes; the solver uses the ones below
// without looking them up.
#pragma once

#include <cstdint>

#include "lorvika.h"

constexpr uint64_t FD_TAG_MASK = 3;
constexpr uint64_t FD_TAG_REF = 0;
constexpr uint64_t FD_TAG_STRUCT = 1;
constexpr uint64_t FD_TAG_LIST = 2;
constexpr uint64_t FD_TAG_SMALL = 3;  // low three bits
constexpr uint64_t FD_TAG_ATOM = 7;   // low three bits

constexpr int64_t FD_SMALL_MIN = -(int64_t{1} << 60);
constexpr int64_t FD_SMALL_MAX = (int64_t{1} << 60) - 1;

constexpr lv_term fd_predefined_atom(unsigned index) { return (lv_term{index} << 3) | FD_TAG_ATOM; }
constexpr lv_term fd_functor(lv_term atom, unsigned arity) { return atom | (lv_term{arity} << 55); }

constexpr lv_term FD_NIL = fd_predefined_atom(0);         // []
constexpr lv_term FD_ATOM_EQUAL = fd_predefined_atom(3);  // =
constexpr lv_term FD_ATOM_MINUS = fd_predefined_atom(7);  // -
constexpr lv_term FD_INF = fd_predefined_atom(9);
constexpr lv_term FD_SUP = fd_predefined_atom(10);
constexpr lv_term FD_ATOM_EXIT = fd_predefined_atom(11);
constexpr lv_term FD_ATOM_FAIL = fd_predefined_atom(12);
constexpr lv_term FD_ATOM_ERROR = fd_predefined_atom(13);
constexpr lv_term FD_ATOM_ON = fd_predefined_atom(14);
constexpr lv_term FD_ATOM_OFF = fd_predefined_atom(15);
constexpr lv_term FD_ATOM_V = fd_predefined_atom(16);
constexpr lv_term FD_ATOM_INDEXICAL = fd_predefined_atom(17);  // $indexical
constexpr lv_term FD_ATOM_GLOBAL = fd_predefined_atom(19);     // $global
constexpr lv_term FD_ATOM_CLAUSE = fd_predefined_atom(20);
constexpr lv_term FD_ATOM_WATCHER = fd_predefined_atom(21);
constexpr lv_term FD_ATOM_DAEMON = fd_predefined_atom(22);
constexpr lv_term FD_ATOM_DISEQUATION = fd_predefined_atom(23);
constexpr lv_term FD_ATOM_IMPLICATION = fd_predefined_atom(24);
constexpr lv_term FD_ATOM_PROPAGATOR = fd_predefined_atom(25);
constexpr lv_term FD_ATOM_DOM = fd_predefined_atom(26);
constexpr lv_term FD_ATOM_ARRAY1D = fd_predefined_atom(27);  // $array1d
constexpr lv_term FD_ATOM_MUTABLE = fd_predefined_atom(29);  // $mutable
constexpr lv_term FD_ATOM_FREE = fd_predefined_atom(30);     // $free
constexpr lv_term FD_ATOM_BRACES = fd_predefined_atom(41);   // {}

constexpr lv_term FD_FUNCTOR_MUTABLE_2 = fd_functor(FD_ATOM_MUTABLE, 2);
constexpr lv_term FD_FUNCTOR_FREE_1 = fd_functor(FD_ATOM_FREE, 1);
constexpr lv_term FD_FUNCTOR_DOM_4 = fd_functor(FD_ATOM_DOM, 4);
constexpr lv_term FD_FUNCTOR_V_7 = fd_functor(FD_ATOM_V, 7);
constexpr lv_term FD_FUNCTOR_MINUS_2 = fd_functor(FD_ATOM_MINUS, 2);
constexpr lv_term FD_FUNCTOR_EQUAL_2 = fd_functor(FD_ATOM_EQUAL, 2);
constexpr lv_term FD_FUNCTOR_ARRAY1D_2 = fd_functor(FD_ATOM_ARRAY1D, 2);
constexpr lv_term FD_FUNCTOR_PROPAGATOR_4 = fd_functor(FD_ATOM_PROPAGATOR, 4);
constexpr lv_term FD_FUNCTOR_BRACES_1 = fd_functor(FD_ATOM_BRACES, 1);

inline bool fd_is_ref(lv_term t) { return (t & FD_TAG_MASK) == FD_TAG_REF; }
inline bool fd_is_struct(lv_term t) { return (t & FD_TAG_MASK) == FD_TAG_STRUCT; }
inline bool fd_is_list(lv_term t) { return (t & FD_TAG_MASK) == FD_TAG_LIST; }
inline bool fd_is_atomic(lv_term t) { return (t & FD_TAG_MASK) == FD_TAG_SMALL; }
inline bool fd_is_small(lv_term t) { return (t & 7) == FD_TAG_SMALL; }
inline bool fd_is_atom(lv_term t) { return (t & 7) == FD_TAG_ATOM; }

inline int64_t fd_small_value(lv_term t) { return static_cast<int64_t>(t) >> 3; }
constexpr lv_term fd_make_small(int64_t v) { return (static_cast<uint64_t>(v) << 3) | FD_TAG_SMALL; }
inline bool fd_fits_small(int64_t v) { return v >= FD_SMALL_MIN && v <= FD_SMALL_MAX; }

inline lv_term* fd_ref_cell(lv_term t) { return reinterpret_cast<lv_term*>(t); }
inline lv_term* fd_struct_cells(lv_term t) { return reinterpret_cast<lv_term*>(t - FD_TAG_STRUCT); }
inline lv_term* fd_list_cells(lv_term t) { return reinterpret_cast<lv_term*>(t - FD_TAG_LIST); }
inline lv_term fd_make_ref(const lv_term* cell) { return reinterpret_cast<lv_term>(cell); }
inline lv_term fd_make_struct(const lv_term* cell) { return reinterpret_cast<lv_term>(cell) + FD_TAG_STRUCT; }
inline lv_term fd_make_list(const lv_term* cell) { return reinterpret_cast<lv_term>(cell) + FD_TAG_LIST; }
inline bool fd_is_unbound_cell(const lv_term* cell) { return *cell == fd_make_ref(cell); }

inline unsigned fd_functor_arity(lv_term f) { return static_cast<unsigned>((f >> 55) & 0x1ff); }
inline lv_term fd_functor_name(lv_term f) { return f & 0x807fffffffffffff; }
// A structure that is not a boxed number (whose first word has bit 63 set).
inline bool fd_is_compound_struct(lv_term t) {
  return fd_is_struct(t) && static_cast<int64_t>(*fd_struct_cells(t)) >= 0;
}
// The functor word of a structure, or 0 for anything else.
inline lv_term fd_functor_of(lv_term t) { return fd_is_compound_struct(t) ? *fd_struct_cells(t) : 0; }
// Argument i (from 1) of a structure, not dereferenced.
inline lv_term fd_arg(lv_term t, unsigned i) { return fd_struct_cells(t)[i]; }

// Follows references to an unbound variable (returned as a reference to its
// cell) or to a word that is no reference.
inline lv_term fd_deref(lv_term t) {
  while (fd_is_ref(t)) {
    lv_term v = *fd_ref_cell(t);
    if (v == t) return t;
    t = v;
  }
  return t;
}

// An address carried as an atomic term (low bits 011: it reads as a small
// integer), and back.
inline lv_term fd_pointer_term(const void* p) { return reinterpret_cast<lv_term>(p) + 3; }
inline void* fd_term_pointer(lv_term t) { return reinterpret_cast<void*>(t - 3); }
