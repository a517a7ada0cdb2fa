// The native cores of the atom and number-text built-ins. They work on the
// UTF-8 texts of atoms and on code and character lists, and raise no
// errors: a wrong type makes them fail, and $number_from_elems reports a
// status for the Prolog side to turn into an error. Characters are counted
// as lv_utf8_count counts them.
#pragma once

#include "core/worker.h"

// $atom_codes(?Atom, ?Codes): Atom's codes, or the atom of the complete
// code list Codes when Atom is unbound.
int prolog_atom_codes(lv_worker* w);
// $atom_elems(?Atom, ?List, +Kind): the same with codes when Kind is
// character_code and one-character atoms for any other atom.
int prolog_atom_elems(lv_worker* w);
// $number_elems(?Number, ?List, +Kind): a complete List is read as a number
// (radix 10, no plus sign) and unified with Number; a partial List with
// Number a number is unified with Number's text.
int prolog_number_elems(lv_worker* w);
// $number_from_elems(+List, -Number, -Status, +Kind): Status 1 with Number
// read from List; -3 when List is no complete list of the kind; -1 for a
// float out of range; -4 for an integer too large to build; -2 for any
// other syntax error.
int prolog_number_from_elems(lv_worker* w);
// $text_list_valid(+List, +Kind): succeeds when List is a proper list of
// codes 0..0x10FFFF (Kind character_code) or of one-character atoms (any
// other atom), so that the Prolog side can skip its checks element by
// element.
int prolog_text_list_valid(lv_worker* w);
// $atom_length(+Atom, ?Length, -Result): Result := Atom's character count,
// when Length is unbound, a non-negative small integer or an integer of at
// most 64 bits.
int prolog_atom_length(lv_worker* w);
// $atom_concat(?A, ?B, ?C) in its three deterministic modes: A and B atoms;
// B and C atoms, A unbound; A and C atoms, B unbound.
int prolog_atom_concat(lv_worker* w);
// $sub_atom(+Atom, ?Before, ?Length, ?After, ?Sub) with at most one of
// Before, Length and After unknown once Length is taken from an atom Sub;
// fails when that one would be negative or when more are unknown.
int prolog_sub_atom(lv_worker* w);
// $char_code(?Char, ?Code, -CharOut, -CodeOut): the one-character atom and
// the code of Char when it is bound, else of Code.
int prolog_char_code(lv_worker* w);
