// Code as terms: instruction terms for the Prolog-level disassembler, the
// code terms of a predicate, coverage terms, and the small term builders
// they share.
//
// The builders write on the heap after making room for what they write
// (keeping X0..X(live-1)); a result is valid until the next call that may
// make room. A code address is carried as the small integer whose value is
// the address; the five shared code pieces may go by name instead
// (elsecode, failcode, dispatchcode, exitcode, cutexitcode).
//
// Instruction terms: a list of Address = Instruction pairs in code order.
// An instruction without operands is its name (an atom); any other is its
// name applied to its operands in storage order (alignment words left out):
//   X x(N)       Y y(N)       S, N, I an integer
//   C the constant        F Name/Arity       P Module:(Name/Arity), or
//   Address/Arity for an internal entry header
//   A, L a code address term ([] for none)   B the number
//   R a list of x(N)=Src, Src being y(K) (value), variable(y(K)),
//     y_unsafe(K) (unsafe value) or void
//   G a list of y(K)=x(N)
// An internal entry header is 'ENTER_INTERNAL'(Arity, Entries), Entries
// the list of its clause code addresses (one address for one clause). With
// source information the list starts with Address = 'HEAD'(Args...) (atoms
// as they are, anything else 0; the atom 'HEAD' for arity 0).
#pragma once

#include <cstdint>

#include "core/term.h"

struct lv_pred;
struct lv_module;
struct lv_worker;

// Room for cells on the heap, the reserve kept free.
void lv_code_terms_room(lv_worker* w, uint64_t cells, unsigned live);

// Conses head onto the list held in a term reference (room for its two
// cells made).
void lv_code_terms_push(lv_worker* w, int64_t list_ref, lv_term head);
// Reverses in place a list whose cells the caller has just made.
lv_term lv_code_terms_reverse(lv_term list);

// A code address as a term; with named set, a shared code piece by name.
lv_term lv_code_address_term(const void* address, bool named);
// The address a term names: a positive small integer; null otherwise.
const uint32_t* lv_code_address_of(lv_term t);

// Module:(Name/Arity) (Address/Arity for an internal entry header); needs
// up to 6 cells of room.
lv_term lv_pred_spec_term(lv_worker* w, const void* pred);
// Name/Arity of a functor word (the atom itself for arity 0); 3 cells.
lv_term lv_functor_spec_term(lv_worker* w, lv_term functor);

// A copy of an inline box from code in a fresh memory block (LV_malloc;
// header, value words and trailer), or onto the heap (room made).
lv_term* lv_code_box_copy(const uint32_t* box);
lv_term lv_code_box_to_heap(lv_worker* w, const uint32_t* box, unsigned live);

// The instruction terms of the straight-line code at address (NATIVE_OP
// followed), [] when the address lies in no registered block.
lv_term lv_insn_to_term(lv_worker* w, const uint32_t* address, const uint64_t* source, int arity, unsigned live);

// The code terms of a static predicate: code(Index, Clauses), Index being
// index(Var, List, Keys, Large, Default) with chains as terms (failcode,
// elsecode, a clause's entry address, or try([Address, ...]); [] for none),
// Keys a list of Key-Chain and Large of Number-Chain; Clauses one
// clause(Ref, KeyAtoms, Instructions) per clause, Ref its clause reference
// (block address / 8) and KeyAtoms the atoms of its nine key bits (var,
// number, atom, list, structure, last, choice, cut, else). Any other
// definition type gives 'INVALID_PREDTYPE'.
lv_term lv_pred_code_terms(lv_worker* w, lv_pred* pred, unsigned live);

// The term predicate/11 of a predicate asked for in a module:
// predicate(Module, Name, Arity, Address, Spec, HomeModule, Term,
// Properties, Type, Definition, Code).
lv_term lv_pred_properties_term(lv_worker* w, lv_module* asked, lv_pred* pred, unsigned live);

// Coverage of a static predicate's clauses, consed onto tail: for each
// counter position inside a clause, counter(File, Spec, Clause, Line) -
// det(N) or nondet(N) (File the block's source key, Clause its number in
// the clause list, Line the source line there or -1).
lv_term lv_code_coverage_terms(lv_worker* w, lv_pred* pred, lv_term tail, unsigned live);

// The call-kind name of a definition type as an atom ('INVALID_PREDTYPE'
// above the last kind).
lv_term lv_definition_type_atom(uint32_t type);
