// Atom words of predefined atoms that the engine names in code. Predefined
// atom i has the word i * 8 + 7.
#pragma once

#include "core/term.h"

constexpr unsigned LV_PREDEFINED_ATOM_COUNT = 534;

// The texts of the predefined atoms, in index order.
extern const char* const lv_predefined_atom_texts[LV_PREDEFINED_ATOM_COUNT];

constexpr lv_term lv_predefined_atom(unsigned index) { return (lv_term{index} << 3) | 7; }

constexpr lv_term LV_ATOM_NIL = lv_predefined_atom(0);        // []
constexpr lv_term LV_ATOM_DOT = lv_predefined_atom(1);        // .
constexpr lv_term LV_ATOM_LESS = lv_predefined_atom(2);       // <
constexpr lv_term LV_ATOM_EQUAL = lv_predefined_atom(3);      // =
constexpr lv_term LV_ATOM_GREATER = lv_predefined_atom(4);    // >
constexpr lv_term LV_ATOM_COLON = lv_predefined_atom(8);      // :
constexpr lv_term LV_ATOM_FAIL = lv_predefined_atom(12);      // fail
constexpr lv_term LV_ATOM_ON = lv_predefined_atom(14);        // on
constexpr lv_term LV_ATOM_OFF = lv_predefined_atom(15);       // off
constexpr lv_term LV_ATOM_ARRAY1D = lv_predefined_atom(27);   // $array1d
constexpr lv_term LV_ATOM_MUTABLE = lv_predefined_atom(29);   // $mutable
constexpr lv_term LV_ATOM_EMPTY = lv_predefined_atom(44);     // '' (the empty name)
constexpr lv_term LV_ATOM_PROLOG = lv_predefined_atom(52);    // prolog
constexpr lv_term LV_ATOM_USER = lv_predefined_atom(53);      // user
constexpr lv_term LV_ATOM_UNINIT = lv_predefined_atom(83);    // $uninit
constexpr lv_term LV_ATOM_FREE = lv_predefined_atom(30);      // $free
constexpr lv_term LV_ATOM_TRUE = lv_predefined_atom(67);      // true
constexpr lv_term LV_ATOM_CATCH_HOOK = lv_predefined_atom(68);  // $$catch_hook
constexpr lv_term LV_ATOM_CUT = lv_predefined_atom(102);      // !
constexpr lv_term LV_ATOM_CALL = lv_predefined_atom(165);     // call
constexpr lv_term LV_ATOM_CALL_CLEANUP_INTERNAL = lv_predefined_atom(185);  // call_cleanup_internal
constexpr lv_term LV_ATOM_REF = lv_predefined_atom(178);     // $ref
constexpr lv_term LV_ATOM_WIN32NT = lv_predefined_atom(187);  // win32nt
constexpr lv_term LV_ATOM_TABLE_FULL = lv_predefined_atom(183);  // the atom table is full

// Functor words used by the engine.
constexpr lv_term LV_FUNCTOR_DOT_2 = LV_ATOM_DOT | (lv_term{2} << 55);
constexpr lv_term LV_FUNCTOR_COLON_2 = LV_ATOM_COLON | (lv_term{2} << 55);
constexpr lv_term LV_FUNCTOR_MUTABLE_2 = LV_ATOM_MUTABLE | (lv_term{2} << 55);
constexpr lv_term LV_FUNCTOR_ARRAY1D_2 = LV_ATOM_ARRAY1D | (lv_term{2} << 55);
constexpr lv_term LV_FUNCTOR_REF_2 = LV_ATOM_REF | (lv_term{2} << 55);
static_assert(LV_FUNCTOR_DOT_2 == 0x10000000000000f);
static_assert(LV_FUNCTOR_COLON_2 == 0x100000000000047);
