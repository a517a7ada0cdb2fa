% library(clpfd): reification and the propositional combinators.
%
% A formula is a 0/1 variable or integer, an arithmetic comparison, X in
% Dom, a constraint defined by indexicals, or #\ P, P #/\ Q, P #\/ Q,
% P #\ Q, P #==> Q, P #<== Q, P #<==> Q (also #=>, #<= and #<=>) over
% formulas. Each formula that is not a 0/1 variable gets one: a comparison
% a reified linear constraint, a defined constraint its reified indexicals,
% X in Dom comparisons of X with the bounds of Dom's intervals. A formula is
% then a literal, its 0/1 variable or that variable negated, and the
% connectives become clauses over literals: P #\/ Q posted is the clause
% {P, Q}; B <=> (P #/\ Q) is {~B, P}, {~B, Q}, {B, ~P, ~Q}.

P #<==> Q :- '$fd_post_formula'(P #<==> Q, P #<==> Q).
P #<=> Q  :- '$fd_post_formula'(P #<==> Q, P #<=> Q).
P #==> Q  :- '$fd_post_formula'(P #==> Q, P #==> Q).
P #=> Q   :- '$fd_post_formula'(P #==> Q, P #=> Q).
P #<== Q  :- '$fd_post_formula'(Q #==> P, P #<== Q).
P #<= Q   :- '$fd_post_formula'(Q #==> P, P #<= Q).
P #\/ Q   :- '$fd_post_formula'(P #\/ Q, P #\/ Q).
P #/\ Q   :- '$fd_post_formula'(P #/\ Q, P #/\ Q).
P #\ Q    :- '$fd_post_formula'(P #\ Q, P #\ Q).
#\ P      :- '$fd_post_formula'(#\ P, #\ P).

'$fd_post_formula'(F, Ctx) :-
    '$fd_acyclic'(F, Ctx),
    '$fd_post_true'(F, Ctx),
    '$fd_propagate'.

% F holds.
'$fd_post_true'(F, Ctx) :- var(F), !, '$fd_boolean'(F, Ctx), '$fd_tell_interval'(F, 1, 1).
'$fd_post_true'(F, Ctx) :- integer(F), !, '$fd_boolean'(F, Ctx), F =:= 1.
'$fd_post_true'(A #/\ B, Ctx) :- !, '$fd_post_true'(A, Ctx), '$fd_post_true'(B, Ctx).
'$fd_post_true'(#\ A, Ctx) :- !, '$fd_post_false'(A, Ctx).
'$fd_post_true'(F, Ctx) :- '$fd_comparison'(F, Rel, L, R), !,
    '$fd_linear'(L - R, Ctx, Ts, K0), K is -K0,
    '$fd_norm_rel'(Rel, Ts, K, Rel1, Ts1, K1),
    '$fd_post_linear'(Rel1, Ts1, K1, Ctx, F).
'$fd_post_true'(X in Dom, Ctx) :- !,
    '$fd_var_or_int'(X, Ctx, 0),
    '$fd_dom_set'(Dom, Set, Ctx, 0),
    '$fd_restrict'(X, Set).
'$fd_post_true'(A #<==> B, Ctx) :- var(A), nonvar(B), !,
    '$fd_reify'(B, A, Ctx).
'$fd_post_true'(A #<==> B, Ctx) :- var(B), nonvar(A), !,
    '$fd_reify'(A, B, Ctx).
'$fd_post_true'(A #<==> B, Ctx) :- !,
    '$fd_literal'(A, LA, Ctx),
    '$fd_literal'(B, LB, Ctx),
    '$fd_post_same'(LA, LB, A #<==> B).
'$fd_post_true'(A #\ B, Ctx) :- !,
    '$fd_literal'(A, LA, Ctx),
    '$fd_literal'(B, LB0, Ctx),
    '$fd_negate_literal'(LB0, LB),
    '$fd_post_same'(LA, LB, A #\ B).
'$fd_post_true'(F, Ctx) :- '$fd_connective'(F), !,
    '$fd_formula_clauses'(F, Ctx, Clauses, []),
    '$fd_post_clauses'(Clauses, F).
'$fd_post_true'(F, Ctx) :- '$fd_defined_constraint'(F, M, Def), !,
    '$fd_post_defined'(Def, M, F, 1, Ctx).
'$fd_post_true'(F, Ctx) :- '$fd_not_reifiable'(F, Ctx).

% F does not hold.
'$fd_post_false'(F, Ctx) :- var(F), !, '$fd_boolean'(F, Ctx), '$fd_tell_interval'(F, 0, 0).
'$fd_post_false'(F, Ctx) :- integer(F), !, '$fd_boolean'(F, Ctx), F =:= 0.
'$fd_post_false'(#\ A, Ctx) :- !, '$fd_post_true'(A, Ctx).
'$fd_post_false'(A #\/ B, Ctx) :- !, '$fd_post_false'(A, Ctx), '$fd_post_false'(B, Ctx).
'$fd_post_false'(A #==> B, Ctx) :- !, '$fd_post_true'(A, Ctx), '$fd_post_false'(B, Ctx).
'$fd_post_false'(F, Ctx) :- '$fd_comparison'(F, Rel, L, R), !,
    '$fd_defined'(L - R, Ctx, E, D),
    '$fd_linear'(E, Ctx, Ts, K0), K is -K0,
    '$fd_norm_rel'(Rel, Ts, K, Rel1, Ts1, K1),
    '$fd_post_false_defined'(D, Rel1, Ts1, K1, F, Ctx).
'$fd_post_false'(X in Dom, Ctx) :- !,
    '$fd_var_or_int'(X, Ctx, 0),
    '$fd_dom_set'(Dom, Set, Ctx, 0),
    '$fd_dom_complement'(Set, Out),
    '$fd_restrict'(X, Out).
'$fd_post_false'(A #/\ B, Ctx) :- !,
    '$fd_literal_pair'(A, _, NA, Ctx),
    '$fd_literal_pair'(B, _, NB, Ctx),
    '$fd_post_clauses'([[NA, NB]], #\ (A #/\ B)).
'$fd_post_false'(A #<==> B, Ctx) :- !, '$fd_post_true'(A #\ B, Ctx).
'$fd_post_false'(A #\ B, Ctx) :- !, '$fd_post_true'(A #<==> B, Ctx).
'$fd_post_false'(F, Ctx) :- '$fd_defined_constraint'(F, M, Def), !,
    '$fd_post_defined'(Def, M, F, 0, Ctx).
'$fd_post_false'(F, Ctx) :- '$fd_not_reifiable'(F, Ctx).

'$fd_comparison'(L #= R, =, L, R).
'$fd_comparison'(L #\= R, \=, L, R).
'$fd_comparison'(L #< R, <, L, R).
'$fd_comparison'(L #> R, >, L, R).
'$fd_comparison'(L #=< R, =<, L, R).
'$fd_comparison'(L #>= R, >=, L, R).

'$fd_connective'(_ #\/ _).
'$fd_connective'(_ #==> _).
'$fd_connective'(_ #<==> _).
'$fd_connective'(_ #\ _).

'$fd_not_reifiable'(F, Ctx) :- '$fd_domain_error'(clpfd_reifiable_expression, F, Ctx, 0).

% A 0/1 variable or integer.
'$fd_boolean'(B, Ctx) :-
    (   var(B) -> '$fd_tell_interval'(B, 0, 1)
    ;   B == 0 -> true
    ;   B == 1 -> true
    ;   integer(B) -> '$fd_not_reifiable'(B, Ctx)
    ;   '$fd_type'(integer, B, Ctx, 0)
    ).

% ---------------------------------------------------------------------------
% Literals: pos(B) (B is 1), neg(B) (B is 0), or the constants true and
% false.

'$fd_literal'(F, L, Ctx) :- var(F), !, '$fd_boolean'(F, Ctx), '$fd_var_literal'(F, pos, L).
'$fd_literal'(F, L, Ctx) :- integer(F), !,
    '$fd_boolean'(F, Ctx),
    (   F =:= 1 -> L = true ; L = false ).
'$fd_literal'(#\ A, L, Ctx) :- !,
    '$fd_literal'(A, L0, Ctx),
    '$fd_negate_literal'(L0, L).
'$fd_literal'(F, L, Ctx) :-
    '$fd_reify'(F, B, Ctx),
    '$fd_var_literal'(B, pos, L).

'$fd_var_literal'(B, Sign, L) :-
    (   integer(B) -> ( B =:= 1, Sign == pos -> L = true ; B =:= 0, Sign == neg -> L = true ; L = false )
    ;   Sign == pos -> L = pos(B)
    ;   L = neg(B)
    ).

'$fd_negate_literal'(true, false).
'$fd_negate_literal'(false, true).
'$fd_negate_literal'(pos(B), neg(B)).
'$fd_negate_literal'(neg(B), pos(B)).

% '$fd_reify'(F, B, Ctx): B is a 0/1 variable (or integer) with B <=> F.
'$fd_reify'(F, B, Ctx) :- var(F), !, '$fd_boolean'(F, Ctx), B = F.
'$fd_reify'(F, B, Ctx) :- integer(F), !, '$fd_boolean'(F, Ctx), B = F.
'$fd_reify'(F, B, Ctx) :- '$fd_comparison'(F, Rel, L, R), !,
    '$fd_defined'(L - R, Ctx, E, D),
    '$fd_linear'(E, Ctx, Ts, K0), K is -K0,
    '$fd_norm_rel'(Rel, Ts, K, Rel1, Ts1, K1),
    '$fd_reify_defined'(D, Rel1, Ts1, K1, B, F, Ctx).
'$fd_reify'(X in Dom, B, Ctx) :- !,
    '$fd_var_or_int'(X, Ctx, 0),
    '$fd_dom_set'(Dom, Set, Ctx, 0),
    '$fd_reify_in'(X, Set, B, Ctx).
'$fd_reify'(F, B, Ctx) :- '$fd_defined_constraint'(F, M, Def), !,
    '$fd_boolean'(B, Ctx),
    '$fd_post_defined'(Def, M, F, B, Ctx).
'$fd_reify'(F, B, Ctx) :- '$fd_formula'(F), !,
    '$fd_boolean'(B, Ctx),
    '$fd_reified_clauses'(B, F, Ctx, Clauses, []),
    '$fd_post_clauses'(Clauses, B #<==> F).
'$fd_reify'(F, _, Ctx) :- '$fd_not_reifiable'(F, Ctx).

'$fd_formula'(#\ _).
'$fd_formula'(_ #/\ _).
'$fd_formula'(F) :- '$fd_connective'(F).

% B <=> Sum(Ts) Rel K: decided at once without variables; otherwise the
% linear propagator with B, or the constraint or its negation when B is
% known.
'$fd_reify_linear'(Rel, Ts, K, B, F, Ctx) :-
    (   Ts == []
    ->  (   '$fd_holds'(Rel, 0, K) -> B = 1 ; B = 0 )
    ;   '$fd_reduce_terms'(Rel, Ts, K, Ts1, K1)
    ->  '$fd_boolean'(B, Ctx),
        (   B == 1 -> '$fd_post_terms'(Rel, Ts1, K1, Ctx, F)
        ;   B == 0
        ->  '$fd_negate_rel'(Rel, Ts1, K1, Rel2, Ts2, K2),
            '$fd_post_linear'(Rel2, Ts2, K2, Ctx, #\ F)
        ;   '$fd_reified_terms'(Rel, Ts1, K1, B, F, Ctx)
        )
    ;   Rel == (\=) -> B = 1
    ;   B = 0
    ).

% The terms divided by their gcd (unit coefficients are left as they are);
% fails for an equation or disequation whose constant the gcd does not
% divide.
'$fd_reduce_terms'(Rel, Ts, K, Ts1, K1) :-
    (   '$fd_unit_terms'(Ts) -> Ts1 = Ts, K1 = K
    ;   '$fd_terms_gcd'(Ts, G), '$fd_divide'(Rel, G, Ts, K, Ts1, K1)
    ).

'$fd_reified_terms'(Rel, Ts, K, B, F, Ctx) :-
    '$fd_reified_indexical'(Rel, Ts, K, B, F, Ctx), !.
'$fd_reified_terms'(Rel, Ts, K, B, F, Ctx) :-
    (   '$fd_small'(K) -> true ; '$fd_past_small'(K, Ctx) ),
    '$fd_post_scalar'(Rel, Ts, K, B, B #<==> F).

% B <=> X in Set: X in Min..Max is Min #=< X #/\ X #=< Max, and a set of
% several intervals the disjunction of its intervals.
'$fd_reify_in'(X, Set, B, Ctx) :-
    (   integer(X)
    ->  (   '$fd_dom_contains'(Set, X) -> B = 1 ; B = 0 )
    ;   Set == [] -> B = 0
    ;   '$fd_interval_formulas'(Set, X, F)
    ->  '$fd_reify'(F, B, Ctx)
    ).

'$fd_interval_formulas'([I], X, F) :- !, '$fd_interval_formula'(I, X, F).
'$fd_interval_formulas'([I|Is], X, F0 #\/ F) :-
    '$fd_interval_formula'(I, X, F0),
    '$fd_interval_formulas'(Is, X, F).

'$fd_interval_formula'([inf|sup], _, 1) :- !.
'$fd_interval_formula'([inf|H], X, X #=< H) :- !.
'$fd_interval_formula'([L|sup], X, X #>= L) :- !.
'$fd_interval_formula'([L|L], X, X #= L) :- !.
'$fd_interval_formula'([L|H], X, X #>= L #/\ X #=< H).

% ---------------------------------------------------------------------------
% Clauses: a formula that holds, as clauses over literals (each a list of
% literals of which one at least holds).

'$fd_formula_clauses'(A #\/ B, Ctx, [[LA, LB]|Cs], Cs) :- !,
    '$fd_literal'(A, LA, Ctx),
    '$fd_literal'(B, LB, Ctx).
'$fd_formula_clauses'(A #==> B, Ctx, [[NA, LB]|Cs], Cs) :- !,
    '$fd_literal'(A, LA, Ctx),
    '$fd_negate_literal'(LA, NA),
    '$fd_literal'(B, LB, Ctx).
'$fd_formula_clauses'(A #<==> B, Ctx, [[NA, LB], [LA, NB]|Cs], Cs) :- !,
    '$fd_literal'(A, LA, Ctx),
    '$fd_literal'(B, LB, Ctx),
    '$fd_negate_literal'(LA, NA),
    '$fd_negate_literal'(LB, NB).
'$fd_formula_clauses'(A #\ B, Ctx, [[LA, LB], [NA, NB]|Cs], Cs) :- !,
    '$fd_literal'(A, LA, Ctx),
    '$fd_literal'(B, LB, Ctx),
    '$fd_negate_literal'(LA, NA),
    '$fd_negate_literal'(LB, NB).
'$fd_formula_clauses'(A #/\ B, Ctx, [[LA], [LB]|Cs], Cs) :- !,
    '$fd_literal'(A, LA, Ctx),
    '$fd_literal'(B, LB, Ctx).
'$fd_formula_clauses'(#\ A, Ctx, [[NA]|Cs], Cs) :-
    '$fd_literal'(A, LA, Ctx),
    '$fd_negate_literal'(LA, NA).

% The clauses of B <=> F for B a 0/1 variable: the Tseitin clauses of F's
% connective. B <=> (P #<==> Q) and B <=> (P #\ Q) hold as
% B #<==> P #<==> Q over the literals.
'$fd_reified_clauses'(B, F, Ctx, Cs0, Cs) :-
    '$fd_var_literal'(B, pos, LB),
    '$fd_negate_literal'(LB, NB),
    '$fd_reified_connective'(F, LB, NB, Ctx, Cs0, Cs).

'$fd_reified_connective'(P #/\ Q, LB, NB, Ctx, [[NB, LP], [NB, LQ], [LB, NP, NQ]|Cs], Cs) :- !,
    '$fd_literal_pair'(P, LP, NP, Ctx),
    '$fd_literal_pair'(Q, LQ, NQ, Ctx).
'$fd_reified_connective'(P #\/ Q, LB, NB, Ctx, [[NB, LP, LQ], [LB, NP], [LB, NQ]|Cs], Cs) :- !,
    '$fd_literal_pair'(P, LP, NP, Ctx),
    '$fd_literal_pair'(Q, LQ, NQ, Ctx).
'$fd_reified_connective'(P #==> Q, LB, NB, Ctx, [[NB, NP, LQ], [LB, LP], [LB, NQ]|Cs], Cs) :- !,
    '$fd_literal_pair'(P, LP, NP, Ctx),
    '$fd_literal_pair'(Q, LQ, NQ, Ctx).
'$fd_reified_connective'(P #<==> Q, LB, NB, Ctx, Cs0, Cs) :- !,
    '$fd_literal_pair'(P, LP, NP, Ctx),
    '$fd_literal_pair'(Q, LQ, NQ, Ctx),
    Cs0 = [[NB, NP, LQ], [NB, LP, NQ], [LB, LP, LQ], [LB, NP, NQ]|Cs].
'$fd_reified_connective'(P #\ Q, LB, NB, Ctx, Cs0, Cs) :- !,
    '$fd_literal_pair'(P, LP, NP, Ctx),
    '$fd_literal_pair'(Q, LQ, NQ, Ctx),
    Cs0 = [[NB, LP, LQ], [NB, NP, NQ], [LB, NP, LQ], [LB, LP, NQ]|Cs].
'$fd_reified_connective'(#\ P, LB, NB, Ctx, [[NB, NP], [LB, LP]|Cs], Cs) :-
    '$fd_literal_pair'(P, LP, NP, Ctx).

'$fd_literal_pair'(F, L, N, Ctx) :-
    '$fd_literal'(F, L, Ctx),
    '$fd_negate_literal'(L, N).

% Clauses posted: a clause with a literal that holds is dropped, literals
% that fail are left out; no literal left fails, one literal left is told,
% two or more make a clause of the plug-in.
'$fd_post_clauses'([], _).
'$fd_post_clauses'([C|Cs], Shown) :-
    '$fd_clause_literals'(C, Pos, Neg, Holds),
    (   Holds == true -> true
    ;   '$fd_post_clause_lits'(Pos, Neg, Shown)
    ),
    '$fd_post_clauses'(Cs, Shown).

'$fd_clause_literals'([], [], [], _).
'$fd_clause_literals'([L|Ls], Pos, Neg, Holds) :-
    (   L == true -> Holds = true, Pos = Pos1, Neg = Neg1
    ;   L == false -> Pos = Pos1, Neg = Neg1
    ;   L = pos(B), integer(B) -> ( B =:= 1 -> Holds = true ; true ), Pos = Pos1, Neg = Neg1
    ;   L = neg(B), integer(B) -> ( B =:= 0 -> Holds = true ; true ), Pos = Pos1, Neg = Neg1
    ;   L = pos(B) -> Pos = [B|Pos1], Neg = Neg1
    ;   L = neg(B), Pos = Pos1, Neg = [B|Neg1]
    ),
    '$fd_clause_literals'(Ls, Pos1, Neg1, Holds).

'$fd_post_clause_lits'([], [], _) :- !, fail.
'$fd_post_clause_lits'([B], [], _) :- !, '$fd_tell_interval'(B, 1, 1).
'$fd_post_clause_lits'([], [B], _) :- !, '$fd_tell_interval'(B, 0, 0).
'$fd_post_clause_lits'(Pos, Neg, Shown) :-
    '$fd_clause'(Pos, Neg, Shown).

% Two literals that hold together: for variables of the same sign a
% coreference (X = Y), of opposite signs a disequation over 0/1 variables
% (X - Y =\= 0).
'$fd_post_same'(LA, LB, Shown) :-
    (   '$fd_constant_literal'(LA) -> '$fd_post_same_constant'(LA, LB)
    ;   '$fd_constant_literal'(LB) -> '$fd_post_same_constant'(LB, LA)
    ;   '$fd_literal_var'(LA, SA, X), '$fd_literal_var'(LB, SB, Y),
        (   X == Y -> SA == SB
        ;   SA == SB -> '$fd_equal_plus'(X, Y, 0, Shown)
        ;   '$fd_literal_term'(X, TX), '$fd_literal_term'(Y, TY),
            '$fd_post_disequation'([1, -1], [TX, TY], 0)
        )
    ).

'$fd_constant_literal'(true).
'$fd_constant_literal'(false).

'$fd_post_same_constant'(C, L) :-
    (   C == true -> '$fd_post_clauses'([[L]], true) ; '$fd_negate_literal'(L, N), '$fd_post_clauses'([[N]], true) ).

'$fd_literal_var'(pos(X), pos, X).
'$fd_literal_var'(neg(X), neg, X).

% A literal for the plug-in: lit(X, Attribute, _).
'$fd_literal_term'(X, lit(X, A, _)) :- '$fd_arg_attribute'(X, 0, A).

% A clause of two or more literals, {P1, ..., Pa, ~N1, ..., ~Nb}: the
% plug-in watches two of them (or, with two, posts two implications).
'$fd_clause'(Pos, Neg, _) :-
    '$fd_literal_terms'(Pos, PTs),
    '$fd_literal_terms'(Neg, NTs),
    '$fd_post_clause'(PTs, NTs).

'$fd_literal_terms'([], []).
'$fd_literal_terms'([X|Xs], [T|Ts]) :- '$fd_literal_term'(X, T), '$fd_literal_terms'(Xs, Ts).
