// Test and benchmark support: naive reverse as hand-assembled clauses,
// indexed on the first argument.
//
//   app([], L, L).
//   app([H|T], L, [H|R]) :- app(T, L, R).
//   nrev([], []).
//   nrev([H|T], R) :- nrev(T, RT), app(RT, [H], R).
#pragma once

#include "core/predefined_atoms.h"
#include "store/clause_list.h"
#include "support/assembler.h"

namespace programs {

// The two clauses of a list predicate with an empty clause list: [] first,
// then [_|_].
inline void add_list_clauses(lv_pred* p, assembler::Assembler& nil, assembler::Assembler& cons) {
  lv_append_clause(p, nil.finish(), LV_KEY_ALL | LV_KEY_KEYED, LV_ATOM_NIL);
  lv_append_clause(p, cons.finish(), LV_KEY_ALL | LV_KEY_LIST, LV_FUNCTOR_DOT_2);
}

// Fills app/3 and nrev/2, both with empty clause lists.
inline void define_nrev(lv_pred* app, lv_pred* nrev) {
  using namespace assembler;
  Assembler app_nil, app_cons;
  app_nil.op(LV_OP_GET_NIL_X0).op(LV_OP_GET_X_VALUE_PROCEED, {X(1), X(2)});
  app_cons.op(LV_OP_GET_LIST_X0)
      .op(LV_OP_U2_XVAR_XVAR, {X(3), X(0)})
      .op(LV_OP_GET_LIST, {X(2)})
      .op(LV_OP_U2_XVAL_XVAR, {X(3), X(2)})
      .op(LV_OP_EXECUTE, {P(app)});
  add_list_clauses(app, app_nil, app_cons);

  Assembler nrev_nil, nrev_cons;
  nrev_nil.op(LV_OP_GET_NIL_X0).op(LV_OP_GET_FACT_2, {C(LV_ATOM_NIL)});
  nrev_cons.op(LV_OP_GET_LIST_X0)
      .op(LV_OP_U2_XVAR_XVAR, {X(2), X(0)})
      .op(LV_OP_GET_Y_FIRST_VARIABLE, {X(1), Y(0)})
      .op(LV_OP_GET_Y_VARIABLE, {X(2), Y(1)})
      .op(LV_OP_FIRSTCALL, {R(1, {{VARIABLE, 2}}), P(nrev), S(3)})
      .op(LV_OP_PUT_LIST, {X(1)})
      .op(LV_OP_UNIFY_Y_VALUE, {Y(1)})
      .op(LV_OP_UNIFY_NIL)
      .op(LV_OP_PUT_Y_UNSAFE_VALUE, {X(0), Y(2)})
      .op(LV_OP_LASTCALL, {R(2, {{VALUE, 0}}), P(app)});
  add_list_clauses(nrev, nrev_nil, nrev_cons);
}

}  // namespace programs
