// The standard order of terms.
//
// Variables by address < numbers < atoms < compound terms. Numbers: every
// float before every integer; floats by value with NaN after every other
// float (two NaNs are equal); integers by value. Atoms by their texts, byte
// by byte, with code 0 (the bytes C0 80) before any other character and a
// proper prefix before the longer text. Compound terms by arity, then name,
// then the arguments from left to right; a list cell is '.'/2. Two
// '$mutable'/2 terms are ordered by address: a mutable equals only itself.
#pragma once

#include "core/worker.h"

// -1, 0 or 1 for two dereferenced, non-variable, different words. Cyclic
// terms compare without looping. Uses the gap between the trail and the
// choice stack for its work, and may move the second stack block.
int lv_compare_terms(lv_worker* w, lv_term left, lv_term right);

// The order of two atom names (NUL-terminated internal texts).
int lv_compare_atom_text(const char* left, const char* right);

// The standard order at the top level only: two compound terms with the same
// functor are ordered by address. For dereferenced non-variable words.
int lv_compare_shallow(lv_term left, lv_term right);

// The standard order of any two terms: dereferences, orders variables, and
// compares the rest with lv_compare_terms.
int lv_standard_order(lv_worker* w, lv_term left, lv_term right);
