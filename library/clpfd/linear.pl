% library(clpfd): arithmetic constraints.
%
% Both sides are read into one linear form Sum(Ci*Xi) + K (like terms
% collected, zero terms dropped); the relation is brought to =, \= or =<
% against the constant -K, the coefficients are divided by their greatest
% common divisor, and then:
%   no variable left         the relation is decided at once;
%   one variable             its domain is restricted;
%   X - Y = K                X and Y are made coreferences (X = Y + K);
%   anything else            the plug-in's linear propagator, with a
%                            divisibility propagator beside it for an
%                            equation with a coefficient other than 1.
% Integer subexpressions (abs, min, max, //, /, div, mod, rem, ^, /\, \/,
% xor over integers) are evaluated when read; a product of two variables
% and the other non-linear forms become auxiliary variables tied to their
% value by propagators (library(clpfd/expressions)), and X #= E for such
% an operation E posts its propagator with X as its value.

X #= Y  :- '$fd_arith'(=, X, Y, X #= Y).
X #\= Y :- '$fd_arith'(\=, X, Y, X #\= Y).
X #< Y  :- '$fd_arith'(<, X, Y, X #< Y).
X #> Y  :- '$fd_arith'(>, X, Y, X #> Y).
X #=< Y :- '$fd_arith'(=<, X, Y, X #=< Y).
X #>= Y :- '$fd_arith'(>=, X, Y, X #>= Y).

'$fd_arith'(Rel, L, R, Ctx) :-
    (   Rel == (=), '$fd_direct_form'(L, R, Z, E)
    ->  '$fd_nonlinear_into'(E, Z, Ctx)
    ;   '$fd_linear'(L - R, Ctx, Ts, K0),
        K is -K0,
        '$fd_norm_rel'(Rel, Ts, K, Rel1, Ts1, K1),
        '$fd_post_linear'(Rel1, Ts1, K1, Ctx, Ctx)
    ),
    '$fd_propagate'.

% sum(Xs, Rel, Value): the sum of Xs stands in the relation Rel (#=, #\=,
% #<, #>, #=< or #>=) to Value.
sum(Xs, Rel, Value) :-
    Ctx = sum(Xs, Rel, Value),
    '$fd_must_be_vars'(Xs, Ctx, 1),
    '$fd_ones'(Xs, Cs),
    '$fd_scalar'(Cs, Xs, Rel, Value, Ctx, 2).

% scalar_product(Cs, Xs, Rel, Value): Sum(Ci*Xi) stands in the relation
% Rel to Value.
scalar_product(Cs, Xs, Rel, Value) :-
    Ctx = scalar_product(Cs, Xs, Rel, Value),
    '$fd_must_be_list'(Cs, Ctx, 1),
    '$fd_coefficients'(Cs, Ctx),
    '$fd_must_be_vars'(Xs, Ctx, 2),
    (   '$fd_same_length'(Cs, Xs) -> true ; '$fd_domain_error'(same_length, Cs-Xs, Ctx, 2) ),
    '$fd_scalar'(Cs, Xs, Rel, Value, Ctx, 3).

'$fd_scalar'(Cs, Xs, Rel0, Value, Ctx, RelArg) :-
    (   var(Rel0) -> '$fd_instantiation'(Ctx, RelArg)
    ;   '$fd_relation'(Rel0, Rel) -> true
    ;   '$fd_domain_error'(scalar_product_relation, Rel0, Ctx, RelArg)
    ),
    '$fd_scalar_lin'(Cs, Xs, Ctx, Ps, Ps1, 0, K1),
    '$fd_acyclic'(Value, Ctx),
    '$fd_lin'(Value, -1, Ctx, Ps1, [], K1, K2),
    '$fd_collect'(Ps, Ts, Ctx),
    K is -K2,
    '$fd_norm_rel'(Rel, Ts, K, Rel1, Ts1, K3),
    '$fd_post_linear'(Rel1, Ts1, K3, Ctx, Ctx),
    '$fd_propagate'.

'$fd_scalar_lin'([], [], _, Ps, Ps, K, K).
'$fd_scalar_lin'([C|Cs], [X|Xs], Ctx, Ps0, Ps, K0, K) :-
    '$fd_lin'(X, C, Ctx, Ps0, Ps1, K0, K1),
    '$fd_scalar_lin'(Cs, Xs, Ctx, Ps1, Ps, K1, K).

'$fd_relation'(#=, =).
'$fd_relation'(#\=, \=).
'$fd_relation'(#<, <).
'$fd_relation'(#>, >).
'$fd_relation'(#=<, =<).
'$fd_relation'(#>=, >=).

'$fd_ones'([], []).
'$fd_ones'([_|Xs], [1|Cs]) :- '$fd_ones'(Xs, Cs).

'$fd_same_length'([], []).
'$fd_same_length'([_|As], [_|Bs]) :- '$fd_same_length'(As, Bs).

'$fd_coefficients'([], _).
'$fd_coefficients'([C|Cs], Ctx) :-
    (   var(C) -> '$fd_instantiation'(Ctx, 1)
    ;   integer(C) -> true
    ;   '$fd_type'(integer, C, Ctx, 1)
    ),
    '$fd_coefficients'(Cs, Ctx).

% ---------------------------------------------------------------------------
% Reading expressions.

% '$fd_linear'(E, Ctx, Ts, K): E is Sum(Ts) + K, Ts a list of X-C with C
% nonzero and every variable once.
'$fd_linear'(E, Ctx, Ts, K) :-
    '$fd_acyclic'(E, Ctx),
    '$fd_lin'(E, 1, Ctx, Ps, [], 0, K),
    '$fd_collect'(Ps, Ts, Ctx).

'$fd_lin'(E, M, Ctx, Ps0, Ps, K0, K) :-
    (   var(E) -> Ps0 = [E-M|Ps], K = K0
    ;   integer(E) -> Ps0 = Ps, K is K0 + M * E
    ;   '$fd_lin_compound'(E, M, Ctx, Ps0, Ps, K0, K)
    ).

'$fd_lin_compound'(A + B, M, Ctx, Ps0, Ps, K0, K) :- !,
    '$fd_lin'(A, M, Ctx, Ps0, Ps1, K0, K1),
    '$fd_lin'(B, M, Ctx, Ps1, Ps, K1, K).
'$fd_lin_compound'(A - B, M, Ctx, Ps0, Ps, K0, K) :- !,
    '$fd_lin'(A, M, Ctx, Ps0, Ps1, K0, K1),
    M1 is -M,
    '$fd_lin'(B, M1, Ctx, Ps1, Ps, K1, K).
'$fd_lin_compound'(A * B, M, Ctx, Ps0, Ps, K0, K) :- !,
    (   integer(A) -> M1 is M * A, '$fd_lin'(B, M1, Ctx, Ps0, Ps, K0, K)
    ;   integer(B) -> M1 is M * B, '$fd_lin'(A, M1, Ctx, Ps0, Ps, K0, K)
    ;   ground(A) -> '$fd_eval'(A, Ctx, CA), M1 is M * CA, '$fd_lin'(B, M1, Ctx, Ps0, Ps, K0, K)
    ;   ground(B) -> '$fd_eval'(B, Ctx, CB), M1 is M * CB, '$fd_lin'(A, M1, Ctx, Ps0, Ps, K0, K)
    ;   '$fd_nonlinear_product'(A * B, Ctx, C, V),
        M1 is M * C,
        '$fd_lin'(V, M1, Ctx, Ps0, Ps, K0, K)
    ).
'$fd_lin_compound'(- A, M, Ctx, Ps0, Ps, K0, K) :- !,
    M1 is -M,
    '$fd_lin'(A, M1, Ctx, Ps0, Ps, K0, K).
'$fd_lin_compound'(+ A, M, Ctx, Ps0, Ps, K0, K) :- !,
    '$fd_lin'(A, M, Ctx, Ps0, Ps, K0, K).
'$fd_lin_compound'(E, M, Ctx, Ps0, Ps, K0, K) :-
    (   ground(E)
    ->  '$fd_eval'(E, Ctx, V),
        Ps0 = Ps,
        K is K0 + M * V
    ;   '$fd_evaluable'(E)
    ->  '$fd_nonlinear'(E, Ctx, V),
        '$fd_lin'(V, M, Ctx, Ps0, Ps, K0, K)
    ;   '$fd_not_expression'(E, Ctx)
    ).

'$fd_not_expression'(E, Ctx) :-
    (   atomic(E) -> '$fd_type'(integer, E, Ctx, 0)
    ;   functor(E, N, A), '$fd_type'(evaluable, N/A, Ctx, 0)
    ).

% A ground integer expression. Division by zero and a negative power of an
% integer other than 1 and -1 have no integer value: the constraint fails.
'$fd_eval'(E, _, E) :- integer(E), !.
'$fd_eval'(A + B, Ctx, V) :- !, '$fd_eval'(A, Ctx, X), '$fd_eval'(B, Ctx, Y), V is X + Y.
'$fd_eval'(A - B, Ctx, V) :- !, '$fd_eval'(A, Ctx, X), '$fd_eval'(B, Ctx, Y), V is X - Y.
'$fd_eval'(A * B, Ctx, V) :- !, '$fd_eval'(A, Ctx, X), '$fd_eval'(B, Ctx, Y), V is X * Y.
'$fd_eval'(- A, Ctx, V) :- !, '$fd_eval'(A, Ctx, X), V is -X.
'$fd_eval'(+ A, Ctx, V) :- !, '$fd_eval'(A, Ctx, V).
'$fd_eval'(abs(A), Ctx, V) :- !, '$fd_eval'(A, Ctx, X), V is abs(X).
'$fd_eval'(min(A, B), Ctx, V) :- !, '$fd_eval'(A, Ctx, X), '$fd_eval'(B, Ctx, Y), V is min(X, Y).
'$fd_eval'(max(A, B), Ctx, V) :- !, '$fd_eval'(A, Ctx, X), '$fd_eval'(B, Ctx, Y), V is max(X, Y).
'$fd_eval'(A // B, Ctx, V) :- !, '$fd_eval'(A, Ctx, X), '$fd_eval'(B, Ctx, Y), Y =\= 0, V is X // Y.
'$fd_eval'(A / B, Ctx, V) :- !, '$fd_eval'(A, Ctx, X), '$fd_eval'(B, Ctx, Y), Y =\= 0, V is X // Y.
'$fd_eval'(A div B, Ctx, V) :- !, '$fd_eval'(A, Ctx, X), '$fd_eval'(B, Ctx, Y), Y =\= 0, V is X div Y.
'$fd_eval'(A mod B, Ctx, V) :- !, '$fd_eval'(A, Ctx, X), '$fd_eval'(B, Ctx, Y), Y =\= 0, V is X mod Y.
'$fd_eval'(A rem B, Ctx, V) :- !, '$fd_eval'(A, Ctx, X), '$fd_eval'(B, Ctx, Y), Y =\= 0, V is X rem Y.
'$fd_eval'(A ^ B, Ctx, V) :- !,
    '$fd_eval'(A, Ctx, X), '$fd_eval'(B, Ctx, Y),
    (   Y >= 0 -> V is X ^ Y
    ;   X =:= 1 -> V = 1
    ;   X =:= -1 -> ( Y mod 2 =:= 0 -> V = 1 ; V = -1 )
    ).
'$fd_eval'(A /\ B, Ctx, V) :- !, '$fd_eval'(A, Ctx, X), '$fd_eval'(B, Ctx, Y), V is X /\ Y.
'$fd_eval'(A \/ B, Ctx, V) :- !, '$fd_eval'(A, Ctx, X), '$fd_eval'(B, Ctx, Y), V is X \/ Y.
'$fd_eval'(A xor B, Ctx, V) :- !, '$fd_eval'(A, Ctx, X), '$fd_eval'(B, Ctx, Y), V is X xor Y.
'$fd_eval'(E, Ctx, _) :- '$fd_not_expression'(E, Ctx).

% Like terms collected: the variables sorted, equal ones joined, zero
% coefficients dropped.
'$fd_collect'(Ps, Ts, Ctx) :-
    (   Ps = [_, _|_] -> keysort(Ps, Sorted) ; Sorted = Ps ),
    '$fd_join_terms'(Sorted, Ts, Ctx).

'$fd_join_terms'([], [], _).
'$fd_join_terms'([X-C|Ps], Ts, Ctx) :- '$fd_join_terms'(Ps, X, C, Ts, Ctx).

'$fd_join_terms'([], X, C, Ts, Ctx) :- '$fd_keep_term'(X, C, Ts, [], Ctx).
'$fd_join_terms'([Y-D|Ps], X, C, Ts, Ctx) :-
    (   Y == X
    ->  C1 is C + D,
        '$fd_join_terms'(Ps, X, C1, Ts, Ctx)
    ;   '$fd_keep_term'(X, C, Ts, Ts1, Ctx),
        '$fd_join_terms'(Ps, Y, D, Ts1, Ctx)
    ).

'$fd_keep_term'(X, C, Ts0, Ts, Ctx) :-
    (   C >= -1152921504606846976, C =< 1152921504606846975, C =\= 0 -> Ts0 = [X-C|Ts]
    ;   C =:= 0 -> Ts0 = Ts
    ;   '$fd_past_small'(C, Ctx), Ts0 = Ts
    ).

% Every relation as =, \= or =< against the constant.
'$fd_norm_rel'(=, Ts, K, =, Ts, K).
'$fd_norm_rel'(\=, Ts, K, \=, Ts, K).
'$fd_norm_rel'(=<, Ts, K, =<, Ts, K).
'$fd_norm_rel'(<, Ts, K, =<, Ts, K1) :- K1 is K - 1.
'$fd_norm_rel'(>=, Ts, K, =<, Ns, K1) :- '$fd_negate_terms'(Ts, Ns), K1 is -K.
'$fd_norm_rel'(>, Ts, K, =<, Ns, K1) :- '$fd_negate_terms'(Ts, Ns), K1 is -K - 1.

'$fd_negate_terms'([], []).
'$fd_negate_terms'([X-C|Ts], [X-N|Ns]) :- N is -C, '$fd_negate_terms'(Ts, Ns).

% The negation of a normal relation, as a normal relation.
'$fd_negate_rel'(=, Ts, K, \=, Ts, K).
'$fd_negate_rel'(\=, Ts, K, =, Ts, K).
'$fd_negate_rel'(=<, Ts, K, =<, Ns, K1) :- '$fd_negate_terms'(Ts, Ns), K1 is -K - 1.

% ---------------------------------------------------------------------------
% Posting Sum(Ts) Rel K, Rel one of =, \=, =<. Shown is the goal the
% residual goals show for it.

'$fd_post_linear'(Rel, Ts0, K0, Ctx, Shown) :-
    (   Ts0 == [] -> '$fd_holds'(Rel, 0, K0)
    ;   '$fd_unit_terms'(Ts0) -> '$fd_post_terms'(Rel, Ts0, K0, Ctx, Shown)
    ;   '$fd_terms_gcd'(Ts0, G),
        (   '$fd_divide'(Rel, G, Ts0, K0, Ts, K)
        ->  '$fd_post_terms'(Rel, Ts, K, Ctx, Shown)
        ;   Rel == (\=)
        )
    ).

'$fd_holds'(=, A, B) :- A =:= B.
'$fd_holds'(\=, A, B) :- A =\= B.
'$fd_holds'(=<, A, B) :- A =< B.

'$fd_terms_gcd'([_-C|Ts], G) :- G0 is abs(C), '$fd_terms_gcd'(Ts, G0, G).

'$fd_terms_gcd'([], G, G).
'$fd_terms_gcd'([_-C|Ts], G0, G) :-
    (   G0 =:= 1 -> G = 1 ; G1 is gcd(G0, C), '$fd_terms_gcd'(Ts, G1, G) ).

% Divided by G: an equation or disequation whose constant G does not divide
% has no solution (disequation: is always true), and fails here.
'$fd_divide'(Rel, G, Ts0, K0, Ts, K) :-
    (   G =:= 1 -> Ts = Ts0, K = K0
    ;   Rel == (=<) -> K is K0 div G, '$fd_divide_terms'(Ts0, G, Ts)
    ;   K0 mod G =:= 0, K is K0 // G, '$fd_divide_terms'(Ts0, G, Ts)
    ).

'$fd_divide_terms'([], _, []).
'$fd_divide_terms'([X-C|Ts], G, [X-D|Ds]) :- D is C // G, '$fd_divide_terms'(Ts, G, Ds).

% One variable (its coefficient 1 or -1 after the division): its domain.
'$fd_post_terms'(Rel, [X-C], K, Ctx, _) :- !,
    V is K * C,
    '$fd_one_var'(Rel, C, X, V, Ctx).
% X - Y = K: X = Y + K, a coreference.
'$fd_post_terms'(=, [X-1, Y-(-1)], K, Ctx, _) :- !, '$fd_equal_plus'(X, Y, K, Ctx).
'$fd_post_terms'(=, [X-(-1), Y-1], K, Ctx, _) :- !, '$fd_equal_plus'(Y, X, K, Ctx).
'$fd_post_terms'(Rel, Ts, K, Ctx, Shown) :-
    '$fd_binary_indexical'(Rel, Ts, K, Ctx, Shown), !.
'$fd_post_terms'(Rel, Ts, K, Ctx, Shown) :-
    (   '$fd_small'(K) -> true ; '$fd_past_small'(K, Ctx) ),
    '$fd_post_scalar'(Rel, Ts, K, 1, Shown),
    (   Rel == (=), Ts = [_, _|_], '$fd_has_factor'(Ts)
    ->  '$fd_post_gcd_aux'(Ts, K)
    ;   true
    ).

'$fd_has_factor'([_-C|Ts]) :- ( abs(C) > 1 -> true ; '$fd_has_factor'(Ts) ).

% C*X Rel K with C = 1 or -1, V = K*C.
'$fd_one_var'(=, _, X, V, Ctx) :-
    (   '$fd_small'(V) -> '$fd_tell_interval'(X, V, V) ; '$fd_past_small'(V, Ctx) ).
'$fd_one_var'(\=, _, X, V, _) :-
    (   '$fd_small'(V) -> '$fd_dom_complement'([[V|V]], S), '$fd_tell_set'(X, S) ; true ).
'$fd_one_var'(=<, C, X, V, Ctx) :-
    (   '$fd_small'(V)
    ->  (   C > 0 -> '$fd_tell_interval'(X, inf, V) ; '$fd_tell_interval'(X, V, sup) )
    ;   (   C > 0 -> V > 0 ; V < 0 ) -> true
    ;   '$fd_past_small'(V, Ctx)
    ).

% X = Y + K over two variables.
'$fd_equal_plus'(X, Y, K, Ctx) :-
    (   '$fd_small'(K) -> true ; '$fd_past_small'(K, Ctx) ),
    '$fd_arg_attribute'(X, 0, AX),
    '$fd_arg_attribute'(Y, 0, AY),
    '$fd_post_equality'('x=y+c'(X, Y, K), AX-AY, 1).

% ---------------------------------------------------------------------------
% The plug-in's linear propagator: B <=> Sum(Ts) Rel K. Its state holds the
% terms t(C, X, Attribute), the relation code and the mode (which variant
% runs), K, B with its attribute, and the depth of its undo stack. The mode
% says what the variant may take for granted: the count of terms when it is
% 1 to 3; 64-bit arithmetic when every bound is finite and no sum can pass
% 2^62; 0/1 variables; coefficients 1 and -1. Bounds only ever narrow, so
% what holds when it is posted holds for good.

'$fd_post_scalar'(Rel, Ts, K, B, Shown) :-
    '$fd_rel_code'(Rel, R),
    '$fd_scalar_terms'(Ts, Terms, Cs, Xs),
    length(Ts, N),
    '$fd_scalar_kind'(Ts, K, Kind),
    (   N =< 3 -> Count = N ; Count = 0 ),
    P is R \/ ((Count << 3 \/ Kind) << 3),
    '$fd_arg_attribute'(B, 0, AB),
    '$fd_post_global'(scalar_product_reif(Cs, Xs, Rel, K, B), '$fd_linear'(Terms, P, K, B-AB, 0, _, 0),
                      0, Shown, [], _).

'$fd_rel_code'(=<, 2).
'$fd_rel_code'(=, 3).
'$fd_rel_code'(\=, 4).

'$fd_scalar_terms'([], [], [], []).
'$fd_scalar_terms'([X-C|Ts], [t(C, X, A)|Terms], [C|Cs], [X|Xs]) :-
    '$fd_arg_attribute'(X, 0, A),
    '$fd_scalar_terms'(Ts, Terms, Cs, Xs).

'$fd_scalar_kind'(Ts, K, Kind) :-
    (   '$fd_unit_terms'(Ts) -> K4 = 4 ; K4 = 0 ),
    (   '$fd_boolean_terms'(Ts) -> K2 = 2 ; K2 = 0 ),
    (   '$fd_terms_reach'(Ts, 0, Reach), Reach + abs(K) < 1 << 62 -> K1 = 1 ; K1 = 0 ),
    Kind is K1 \/ K2 \/ K4.

'$fd_unit_terms'([]).
'$fd_unit_terms'([_-C|Ts]) :- ( C =:= 1 -> true ; C =:= -1 ), '$fd_unit_terms'(Ts).

'$fd_boolean_terms'([]).
'$fd_boolean_terms'([X-_|Ts]) :-
    '$fd_bounds'(X, 0, 1),
    '$fd_boolean_terms'(Ts).

% The bounds of a variable or integer (inf and sup for none).
'$fd_bounds'(X, Min, Max) :-
    '$fd_domain'(X, D),
    (   integer(D) -> Min = D, Max = D ; D = dom(_, Min, Max, _) ).

% The largest magnitude Sum(|C| * max(|Min|, |Max|)); fails for a variable
% without finite bounds.
'$fd_terms_reach'([], R, R).
'$fd_terms_reach'([X-C|Ts], R0, R) :-
    '$fd_bounds'(X, Min, Max),
    integer(Min), integer(Max),
    R1 is R0 + abs(C) * max(abs(Min), abs(Max)),
    '$fd_terms_reach'(Ts, R1, R).

% The divisibility propagator beside an equation: every variable takes only
% values that leave the rest of the sum a multiple of the other
% coefficients' greatest common divisor.
'$fd_post_gcd_aux'(Ts, K) :-
    '$fd_scalar_terms'(Ts, Terms, Cs, Xs),
    '$fd_post_global'(gcd_aux(Cs, Xs, K), '$fd_gcd_aux'(Terms, K, 0, 0, _, 0), 0, true, [], _).

% A propagator that the plug-in has no C function for and that the Prolog
% level would run: none is posted yet.
'$fd_prolog_propagator'(Goal, _, _, _) :-
    functor(Goal, N, A),
    prolog:'$error'(existence_error(propagator, N/A), clpfd:Goal, 0).
