// The built-ins of the Boolean library's decision diagrams.
//
// A diagram is the terminal 0, the terminal 1 or a node (see bdd_tables.h).
// A stored node is canonical: Low and High differ, and Low is neither the
// terminal 0 nor a '$bdd_neg' node (such a node is stored as the '$bdd_neg'
// node of the complemented children). A node's Var is atomic (the library
// numbers its variables); the order of variables is the standard order.
// Every built-in fails on arguments of the wrong kind.
#pragma once

#include "core/worker.h"

// $bdd_build(Var, Low, High, Node): Node = Low when Low and High are
// identical, else the canonical node, found or made.
int prolog_bdd_build(lv_worker* w);
// $bdd_parts(Node, Var, Low, High): the variable and children of the node's
// meaning (the complemented children for a '$bdd_neg' node).
int prolog_bdd_parts(lv_worker* w);
// $bdd_store(A, B, C, Value): when '$bdd_key'(A, B, C) is in the memo table
// (A, B and C not variables), unifies Value with its value; otherwise enters
// it with Value.
int prolog_bdd_store(lv_worker* w);
// $bdd_negate(Diagram, Negation).
int prolog_bdd_negate(lv_worker* w);
// $bdd_equiv(A, B): A and B are the same term.
int prolog_bdd_equiv(lv_worker* w);
// $bdd_antiv(A, B): A is the complement of B.
int prolog_bdd_antiv(lv_worker* w);
// $bdd_transv(A, B, Order): for two nodes on the same variable, the order of
// their children (Low, then High, as words): -1, 0 or 1; 0 otherwise.
int prolog_bdd_transv(lv_worker* w);
// $bdd_type(A, B, Code): -1 when A and B are identical; A = 0: 1 when B = 1,
// else 3; A = 1: 0 when B = 0, else 2; A a node: 4 when B = 0, 5 when B = 1,
// 6 when B is its complement, else 7.
int prolog_bdd_type(lv_worker* w);
// $bdd_univ_case(F, G, H, Case, Var, F0, F1, G0, G1, H0, H1): the
// if-then-else step. Each diagram has a class, 0 (terminal 0), 1 (terminal
// 1), 2 ('$bdd_pos') or 3 ('$bdd_neg'); Case = 16 * class(F) + 4 * class(G)
// + class(H). Var is the least variable of the nodes among the three ([]
// when there is none); X0 and X1 are the cofactors of each diagram X for Var
// = 0 and Var = 1: the children of X's meaning when X is a node on Var, X
// itself otherwise.
int prolog_bdd_univ_case(lv_worker* w);
// $bdd_subst_case(Diagram, Case, A1, A2, A3): Case 0 or 1 for the terminals;
// 4 when the node has an entry in the substitution table, A1 its value;
// otherwise 2 for a '$bdd_pos' node and 3 for a '$bdd_neg' node, with A1,
// A2 and A3 its Var, Low and High as stored.
int prolog_bdd_subst_case(lv_worker* w);
// $bdd_subst_reset: empties the substitution table, so that a substitution
// starts without the results of the one before.
int prolog_bdd_subst_reset(lv_worker* w);
// $bdd_subst_store(Node, Value): enters the node with Value in the
// substitution table, or unifies Value with the value it has there.
int prolog_bdd_subst_store(lv_worker* w);
// $bdd_vector_size(Diagrams, Size): the number of distinct nodes reachable
// from a proper list of diagrams.
int prolog_bdd_vector_size(lv_worker* w);
