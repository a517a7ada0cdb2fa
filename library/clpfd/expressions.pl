% library(clpfd): non-linear arithmetic expressions.
%
% The linear reader hands every non-linear subexpression here. It gets an
% auxiliary variable that a propagator of the plug-in ties to its value,
% and stands in the linear form as that variable:
%   X*Y*...        its factors gathered through * and unary minus: the
%                  integers multiplied into a coefficient of the linear
%                  form, a variable met N times its power (x*x=y for 2,
%                  x^y=z beyond), the powers multiplied by x*y=z
%   abs(X)         abs(x)=y
%   X//Y, X/Y      x/y=z (truncating)        X div Y    x div y=z (floor)
%   X mod Y        x mod y=z                 X rem Y    x rem y=z
%   X^Y            x^y=z, or x*x=y for X^2
%   min(X, Y)      an indexical of the library, exact once two of X, Y
%                  and the value are fixed (max alike)
%   X/\Y, X\/Y, X xor Y   the bitwise propagators (their 0/1 variant when
%                  both operands are 0/1)
% An operand that is a variable or an integer stands for itself; any other
% expression gets an auxiliary variable of its own, equal to it (a linear
% one through the linear propagators). Operands that are all integers are
% evaluated. X #= E with E such an operation posts it with X as its value.
%
% Division, mod and rem by 0, and a negative power of a base other than 1
% and -1, have no value: a constraint over them does not hold. Posted, it
% fails (the divisor loses 0). Reified or negated, its truth is false when
% the value is missing: each such divisor (exponent) gets a stand-in that
% equals it while the operation is defined, the definedness a 0/1
% variable, and B <=> C becomes B <=> (Defined /\ C).

'$fd_evaluable'(_ * _).
'$fd_evaluable'(abs(_)).
'$fd_evaluable'(min(_, _)).
'$fd_evaluable'(max(_, _)).
'$fd_evaluable'(_ // _).
'$fd_evaluable'(_ / _).
'$fd_evaluable'(_ div _).
'$fd_evaluable'(_ mod _).
'$fd_evaluable'(_ rem _).
'$fd_evaluable'(_ ^ _).
'$fd_evaluable'(_ /\ _).
'$fd_evaluable'(_ \/ _).
'$fd_evaluable'(_ xor _).

% '$fd_nonlinear'(E, Ctx, V): V is an auxiliary variable (or an integer)
% with V = E.
'$fd_nonlinear'(E, Ctx, V) :- '$fd_nonlinear_into'(E, V, Ctx).

% L #= R is Z #= E for E a non-linear operation and Z a variable or an
% integer: E is then posted with Z as its value.
'$fd_direct_form'(L, R, Z, E) :-
    (   '$fd_result_term'(L), '$fd_operation'(R) -> Z = L, E = R
    ;   '$fd_result_term'(R), '$fd_operation'(L) -> Z = R, E = L
    ).

'$fd_result_term'(X) :- var(X), !.
'$fd_result_term'(X) :- integer(X), '$fd_small'(X).

% A non-linear operation that is not evaluated when read (a product with a
% constant factor is linear).
'$fd_operation'(E) :-
    nonvar(E), \+ ground(E), '$fd_evaluable'(E),
    (   E = A * B -> \+ ground(A), \+ ground(B) ; true ).

% E = Z posted, Z a variable or an integer.
'$fd_nonlinear_into'(A * B, Z, Ctx) :- !,
    '$fd_product_parts'(A * B, Ctx, C, Ps),
    (   Ps == [] -> '$fd_equal_value'(Z, C, Ctx)
    ;   C =:= 0 -> '$fd_equal_value'(Z, 0, Ctx)
    ;   C =:= 1 -> '$fd_powers_into'(Ps, Z, Ctx)
    ;   '$fd_powers_product'(Ps, P),
        '$fd_scaled'(C, P, Z, Ctx)
    ).
'$fd_nonlinear_into'(E, Z, Ctx) :-
    E =.. [Op, A|Bs],
    '$fd_operands'([A|Bs], Vs, Ctx),
    (   '$fd_integers'(Vs)
    ->  E1 =.. [Op|Vs],
        '$fd_eval'(E1, Ctx, V),
        '$fd_equal_value'(Z, V, Ctx)
    ;   '$fd_post_operation'(Op, Vs, Z, E, Ctx)
    ).

'$fd_integers'([]).
'$fd_integers'([V|Vs]) :- integer(V), '$fd_integers'(Vs).

% Z = V for an integer V.
'$fd_equal_value'(Z, V, Ctx) :-
    (   '$fd_small'(V) -> '$fd_tell_interval'(Z, V, V) ; '$fd_past_small'(V, Ctx) ).

% Each operand as a variable or an integer.
'$fd_operands'([], [], _).
'$fd_operands'([E|Es], [V|Vs], Ctx) :-
    '$fd_operand'(E, V, Ctx),
    '$fd_operands'(Es, Vs, Ctx).

'$fd_operand'(E, V, Ctx) :-
    (   var(E) -> V = E
    ;   integer(E) -> ( '$fd_small'(E) -> V = E ; '$fd_past_small'(E, Ctx) )
    ;   ground(E) -> '$fd_eval'(E, Ctx, V0), '$fd_operand'(V0, V, Ctx)
    ;   '$fd_operation'(E) -> '$fd_nonlinear_into'(E, V, Ctx)
    ;   '$fd_linear'(E, Ctx, Ts, K),
        '$fd_linear_value'(Ts, K, V, Ctx)
    ).

% V = Sum(Ts) + K: the variable itself for 1*X + 0, the constant without
% terms, else a new variable posted equal to it.
'$fd_linear_value'([], K, K, _) :- !.
'$fd_linear_value'([X-1], 0, X, _) :- !.
'$fd_linear_value'(Ts, K, V, Ctx) :-
    K1 is -K,
    '$fd_post_linear'(=, [V-(-1)|Ts], K1, Ctx, Ctx).

% '$fd_nonlinear_product'(E, Ctx, C, P): the product E is C*P, C an
% integer and P the product of E's factors that are not (a variable, or 1).
'$fd_nonlinear_product'(E, Ctx, C, P) :-
    '$fd_product_parts'(E, Ctx, C, Ps),
    (   Ps == [] -> P = 1
    ;   C =:= 0 -> P = 0
    ;   '$fd_powers_product'(Ps, P)
    ).

% The product E is C times the powers Ps (X-N: X met N times).
'$fd_product_parts'(E, Ctx, C, Ps) :-
    '$fd_factors'(E, Ctx, 1, C, Vs, []),
    msort(Vs, Sorted),
    '$fd_powers'(Sorted, Ps).

'$fd_factors'(E, Ctx, C0, C, Vs0, Vs) :-
    (   var(E) -> C = C0, Vs0 = [E|Vs]
    ;   integer(E) -> C is C0 * E, Vs0 = Vs
    ;   E = A * B
    ->  '$fd_factors'(A, Ctx, C0, C1, Vs0, Vs1),
        '$fd_factors'(B, Ctx, C1, C, Vs1, Vs)
    ;   E = - A -> C1 is -C0, '$fd_factors'(A, Ctx, C1, C, Vs0, Vs)
    ;   '$fd_operand'(E, V, Ctx),
        '$fd_factors'(V, Ctx, C0, C, Vs0, Vs)
    ).

% A sorted list of variables as X-N, N the times X is met.
'$fd_powers'([], []).
'$fd_powers'([X|Xs], [X-N|Ps]) :- '$fd_same_run'(Xs, X, 1, N, Rest), '$fd_powers'(Rest, Ps).

'$fd_same_run'([Y|Ys], X, N0, N, Rest) :- Y == X, !, N1 is N0 + 1, '$fd_same_run'(Ys, X, N1, N, Rest).
'$fd_same_run'(Ys, _, N, N, Ys).

% P, a new variable (or a variable of Ps), is the product of the powers.
'$fd_powers_product'(Ps, P) :-
    (   Ps = [X-N] -> '$fd_power'(X, N, P) ; '$fd_powers_into'(Ps, P, _) ).

% Z, a variable or an integer, is the product of the powers.
'$fd_powers_into'([X-N], Z, Ctx) :- !,
    (   N =:= 1 -> '$fd_scaled'(1, X, Z, Ctx) ; '$fd_power_into'(X, N, Z) ).
'$fd_powers_into'([X-N|Ps], Z, _) :-
    '$fd_power'(X, N, P1),
    '$fd_powers_product'(Ps, P2),
    '$fd_post_op'('x*y=z', [P1, P2, Z], minmax, 0, Z #= P1 * P2).

'$fd_power'(X, N, P) :- ( N =:= 1 -> P = X ; '$fd_power_into'(X, N, P) ).

'$fd_power_into'(X, N, Z) :-
    (   N =:= 2 -> '$fd_post_op'('x*x=y', [X, Z], minmax, 0, Z #= X * X)
    ;   '$fd_post_op'('x^y=z', [X, N, Z], dom, 0, Z #= X ^ N)
    ).

% The operation Op over the operands Vs (not all integers) with value Z.
'$fd_post_operation'(abs, [X], Z, E, _) :- !,
    '$fd_post_op'('abs(x)=y', [X, Z], minmax, 0, Z #= E).
'$fd_post_operation'(Op, [X, Y], Z, E, Ctx) :-
    '$fd_division'(Op, Key), !,
    (   Y == 0 -> fail
    ;   Y == 1, Key \== 'x mod y=z', Key \== 'x rem y=z' -> '$fd_scaled'(1, X, Z, Ctx)
    ;   Y == -1, Key \== 'x mod y=z', Key \== 'x rem y=z' -> '$fd_scaled'(-1, X, Z, Ctx)
    ;   '$fd_post_op'(Key, [X, Y, Z], minmax, 0, Z #= E)
    ).
'$fd_post_operation'(^, [X, Y], Z, E, Ctx) :- !,
    (   Y == 0 -> '$fd_equal_value'(Z, 1, Ctx)
    ;   Y == 1 -> '$fd_scaled'(1, X, Z, Ctx)
    ;   Y == 2 -> '$fd_post_op'('x*x=y', [X, Z], minmax, 0, Z #= E)
    ;   '$fd_post_op'('x^y=z', [X, Y, Z], dom, 0, Z #= E)
    ).
'$fd_post_operation'(min, [X, Y], Z, _, _) :- !,
    '$fd_post_library'('min(x,y)=z'(X, Y, Z)).
'$fd_post_operation'(max, [X, Y], Z, _, _) :- !,
    '$fd_post_library'('max(x,y)=z'(X, Y, Z)).
'$fd_post_operation'(Op, [X, Y], Z, E, _) :-
    '$fd_bitwise'(Op, Key),
    (   var(Z), '$fd_within_boolean'(X), '$fd_within_boolean'(Y), \+ '$fd_attribute'(Z, _)
    ->  '$fd_tell_interval'(Z, 0, 1),
        Kind = 1
    ;   Kind = 0
    ),
    '$fd_post_op'(Key, [X, Y, Z], dom, Kind, Z #= E).

% An indexical constraint of the library, posted.
'$fd_post_library'(G) :-
    functor(G, N, _),
    '$fd_library_def'(N, Def),
    '$fd_check_arguments'(G, Tuple),
    '$fd_arg_attribute'(1, 0, BA),
    '$fd_post_reified'(Def, G, Tuple, 1, BA).

'$fd_division'(//, 'x/y=z').
'$fd_division'(/, 'x/y=z').
'$fd_division'(div, 'x div y=z').
'$fd_division'(mod, 'x mod y=z').
'$fd_division'(rem, 'x rem y=z').

'$fd_bitwise'(/\, 'x/\\y=z').
'$fd_bitwise'(\/, 'x\\/y=z').
'$fd_bitwise'(xor, 'x\\y=z').

'$fd_within_boolean'(X) :-
    '$fd_bounds'(X, Min, Max),
    integer(Min), Min >= 0,
    integer(Max), Max =< 1.

% Z = C * X, linear.
'$fd_scaled'(C, X, Z, Ctx) :-
    (   integer(X) -> V is C * X, '$fd_equal_value'(Z, V, Ctx)
    ;   C =:= 0 -> '$fd_equal_value'(Z, 0, Ctx)
    ;   Z == X -> ( C =:= 1 -> true ; '$fd_equal_value'(X, 0, Ctx) )
    ;   '$fd_post_linear'(=, [Z-(-1), X-C], 0, Ctx, Ctx)
    ).

% A propagator of the plug-in over the variables (pairs of a variable and
% its attribute in its state), woken by Event on each, requeued by its own
% changes (flag 4). The bitwise ones carry the kind in their seventh state
% argument.
'$fd_post_op'(Key, Xs, Event, Kind, Shown) :-
    '$fd_op_pairs'(Xs, Event, Pairs, Events),
    (   Pairs = [P1, P2, P3], '$fd_bitwise'(_, Key)
    ->  State = s(P1, P2, P3, 0, 0, 0, Kind, _, 0)
    ;   Pairs = [P1, P2, P3] -> State = s(P1, P2, P3, _, 0)
    ;   Pairs = [P1, P2], State = s(P1, P2, _, 0)
    ),
    Goal =.. [Key|Xs],
    '$fd_post_global'(Goal, State, 4, Shown, Events, _).

'$fd_op_pairs'([], _, [], []).
'$fd_op_pairs'([X|Xs], Event, [p(X, A)|Ps], [E|Es]) :-
    '$fd_arg_attribute'(X, 0, A),
    E =.. [Event, X],
    '$fd_op_pairs'(Xs, Event, Ps, Es).

% ---------------------------------------------------------------------------
% Definedness, for a comparison whose truth is reified or negated.

% '$fd_defined'(E, Ctx, E1, D): E1 is E with every divisor (and exponent)
% of a partial operation replaced by a stand-in that equals it while the
% operation is defined; D is 1 (always defined), 0 (never) or a formula
% over 0/1 variables that holds exactly when every operation is defined.
'$fd_defined'(E, Ctx, E1, D) :-
    '$fd_defined'(E, Ctx, E1, Ds, []),
    '$fd_conjunction'(Ds, D).

'$fd_defined'(E, _, E, Ds, Ds) :- var(E), !.
'$fd_defined'(E, _, E, Ds, Ds) :- integer(E), !.
'$fd_defined'(E, Ctx, E1, Ds0, Ds) :- ground(E), !,
    (   '$fd_eval'(E, Ctx, V) -> E1 = V, Ds0 = Ds ; E1 = 0, Ds0 = [0|Ds] ).
'$fd_defined'(E, Ctx, E1, Ds0, Ds) :-
    compound(E), '$fd_partial'(E, Op, A, B), !,
    '$fd_defined'(A, Ctx, A1, Ds0, Ds1),
    '$fd_defined'(B, Ctx, B1, Ds1, Ds2),
    '$fd_defined_op'(Op, A1, B1, Ctx, E1, Ds2, Ds).
'$fd_defined'(E, Ctx, E1, Ds0, Ds) :-
    compound(E), ( '$fd_evaluable'(E) ; '$fd_linear_op'(E) ), !,
    E =.. [Op|As],
    '$fd_defined_args'(As, Ctx, As1, Ds0, Ds),
    E1 =.. [Op|As1].
'$fd_defined'(E, _, E, Ds, Ds).

'$fd_defined_args'([], _, [], Ds, Ds).
'$fd_defined_args'([A|As], Ctx, [A1|As1], Ds0, Ds) :-
    '$fd_defined'(A, Ctx, A1, Ds0, Ds1),
    '$fd_defined_args'(As, Ctx, As1, Ds1, Ds).

'$fd_linear_op'(_ + _).
'$fd_linear_op'(_ - _).
'$fd_linear_op'(- _).
'$fd_linear_op'(+ _).

'$fd_partial'(A // B, //, A, B).
'$fd_partial'(A / B, /, A, B).
'$fd_partial'(A div B, div, A, B).
'$fd_partial'(A mod B, mod, A, B).
'$fd_partial'(A rem B, rem, A, B).
'$fd_partial'(A ^ B, ^, A, B).

% A partial operation over defined operands: a constant divisor is kept
% (0 makes it undefined); otherwise the divisor's stand-in G, with
% D <=> (B #\= 0) and D #==> (G #= B). A power is defined for an exponent
% >= 0 and for the bases 1 and -1.
'$fd_defined_op'(Op, A, B, Ctx, E1, Ds0, Ds) :-
    (   Op \== (^), integer(B)
    ->  (   B =:= 0 -> E1 = 0, Ds0 = [0|Ds] ; E1 =.. [Op, A, B], Ds0 = Ds )
    ;   Op == (^), integer(B), B >= 0
    ->  E1 = A ^ B, Ds0 = Ds
    ;   Op == (^), integer(A), integer(B)
    ->  (   abs(A) =:= 1 -> E1 = A ^ B, Ds0 = Ds ; E1 = 0, Ds0 = [0|Ds] )
    ;   '$fd_operand'(B, VB, Ctx),
        (   Op == (^)
        ->  '$fd_operand'(A, VA, Ctx),
            '$fd_reify'(VB #>= 0 #\/ VA #= 1 #\/ VA #= -1, D, Ctx)
        ;   VA = A,
            '$fd_reify'(VB #\= 0, D, Ctx)
        ),
        '$fd_post_true'(D #==> (G #= VB), Ctx),
        E1 =.. [Op, VA, G],
        Ds0 = [D|Ds]
    ).

'$fd_conjunction'(Ds, D) :-
    (   '$fd_member_eq'(0, Ds) -> D = 0
    ;   '$fd_conjoin'(Ds, 1, D)
    ).

'$fd_member_eq'(X, [Y|Ys]) :- ( X == Y -> true ; '$fd_member_eq'(X, Ys) ).

'$fd_conjoin'([], D, D).
'$fd_conjoin'([X|Xs], D0, D) :-
    (   X == 1 -> D1 = D0 ; D0 == 1 -> D1 = X ; D1 = (D0 #/\ X) ),
    '$fd_conjoin'(Xs, D1, D).

% B <=> (D /\ Sum(Ts) Rel K) for a comparison with definedness D.
'$fd_reify_defined'(D, Rel, Ts, K, B, F, Ctx) :-
    (   D == 1 -> '$fd_reify_linear'(Rel, Ts, K, B, F, Ctx)
    ;   D == 0 -> '$fd_boolean'(B, Ctx), B = 0
    ;   '$fd_reify_linear'(Rel, Ts, K, B1, F, Ctx),
        '$fd_reify'(D #/\ B1, B, Ctx)
    ).

% not (D /\ Sum(Ts) Rel K).
'$fd_post_false_defined'(D, Rel, Ts, K, F, Ctx) :-
    (   D == 1
    ->  '$fd_negate_rel'(Rel, Ts, K, Rel2, Ts2, K2),
        '$fd_post_linear'(Rel2, Ts2, K2, Ctx, #\ F)
    ;   D == 0 -> true
    ;   '$fd_reify_linear'(Rel, Ts, K, B1, F, Ctx),
        '$fd_post_false'(D #/\ B1, Ctx)
    ).
