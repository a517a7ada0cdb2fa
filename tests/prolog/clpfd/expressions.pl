% Arithmetic constraints over non-linear expressions: a table of cases
% (each operation, definedness when a comparison is reified or negated,
% evaluation of integers, errors), and random problems against brute force:
% 2 or 3 variables with domains within -4..4, one or two comparisons between
% random expressions nested up to depth 2 (every operation of the language),
% posted, reified with a 0/1 variable, or negated. Labeling must give
% exactly the assignments that evaluating the expressions gives, an
% operation without a value (division by 0, a negative power of a base
% other than 1 and -1) making its comparison false. The generator is
% seeded.

case(product_pairs, X-Y, (X in 0..10, Y in 0..10, X*Y #= 12, X #< Y, label([X, Y])), [2-6, 3-4]).
case(square_same_variable, X, (X*X #= 16, label([X])), [-4, 4]).
case(power_exponent, Y, (2^Y #= 32), [5]).
case(power_negative_exponent, X, (X #= (-1)^(-3)), [-1]).
case(power_no_integer_value, X, (X #= 2^(-1)), []).
case(power_zero_zero, X, (X #= 0^0), [1]).
case(truncating_division, X-Y, (X #= -7 // 2, Y #= -7 / 2), [-3-(-3)]).
case(floor_division, X, (X #= -7 div 2), [-4]).
case(modulo_remainder, X-Y, (X #= -7 mod 2, Y #= -7 rem 2), [1-(-1)]).
case(bitwise_integers, X-Y-Z, (X #= 5 /\ 3, Y #= 5 \/ 3, Z #= 5 xor 3), [1-7-6]).
case(bitwise_negative, X, (X #= -6 /\ -3), [-8]).
case(division_domains, X, (X in 1..20, X mod 3 #= 2, X // 4 #= 2, label([X])), [8, 11]).
case(max_bounds, D, (X #= max(Y, 3), Y in 0..5, fd_dom(X, D)), [3..5]).
case(min_bounds, D, (X #= min(Y, 3), Y in 0..5, fd_dom(X, D)), [0..3]).
case(min_mixed_signs, D, (Y in -3..2, Z in -1..4, X #= min(Y, Z), fd_dom(X, D)), [-3..2]).
case(max_mixed_signs, D, (Y in -3..2, Z in -1..4, X #= max(Y, Z), fd_dom(X, D)), [-1..4]).
case(min_max_integers, X-Y, (X #= min(-3, 2), Y #= max(-2, -5)), [-3-(-2)]).
case(max_from_the_only_side, Z, (X in -2..3, Z in 1..4, 4 #= max(Z, X)), [4]).
case(min_from_the_only_side, X, (X in -2..3, Z in 1..4, -2 #= min(Z, X)), [-2]).
case(min_fixed_false, t, (X in -3..3, Y in -3..3, min(X, Y) #= 2, X = 1), []).
case(max_fixed_false, t, (X in -3..3, Y in -3..3, max(X, Y) #= 2, X = 1, Y = 1), []).
% Constant factors gather into the linear form's coefficient; a variable
% met twice is a square.
case(constant_factors_around_a_square, Y1-Gs, (Y in 1..3, X #= 2*Y*3*Y, copy_term(Y, Y1, Gs)),
     [Y-[Y in 1..3, P #= Y*Y, P in 1..9, X #= 2*Y*3*Y, X in 6..54]]).
case(negated_factor, D, (Y in 1..3, X #= (-Y)*Y, fd_dom(X, D)), [-9.. -1]).
case(cube, X, (X*X*X #= -8), [-2]).
case(zero_factor_keeps_its_divisor, D, (X in 0..3, Y in 0..3, 0 #= X*(1//Y), fd_dom(Y, D)), [1..3]).
case(abs_bounds, D, (X #= abs(Y), Y in -3..2, fd_dom(X, D)), [0..3]).
case(nested_linear_parts, X-Y, (X in 0..5, Y in 0..5, (X + 1) * (Y - 1) #= 6, label([X, Y])), [1-4, 2-3, 5-2]).
case(divisor_never_zero, D, (_ #= 6 // Y, Y in -1..1, fd_dom(Y, D)), [-1\/1]).
case(posted_division_by_zero, t, (_ #= 1 // Y, Y = 0), []).
case(reified_division_by_zero, B, (B #<==> (_ #= 1 // Y), Y = 0), [0]).
case(reified_modulo_by_zero, B, (B #<==> (_ #= 1 mod Y), Y = 0), [0]).
case(negated_division_by_zero, t, (#\ (_ #= 1 // Y), Y = 0), [t]).
case(reified_negative_power, B, (B #<==> (_ #= X ^ -1), X = 2), [0]).
case(reified_product, B, (B #<==> (X*Y #= 5), X in 0..2, Y in 0..2), [0]).
case(reified_division_labeling, B-X-Y, (B #<==> (X #= 2 // Y), X in 0..2, Y in 0..1, label([B, X, Y])),
     [0-0-0, 0-0-1, 0-1-0, 0-1-1, 0-2-0, 1-2-1]).
case(not_an_expression, t, (_ #= foo(_)), error(type_error(evaluable, foo/1))).
case(not_an_integer, t, (_ #= a * _), error(type_error(integer, a))).

test(expressions_against_enumeration, expressions).

problems(1000).

expressions :-
    problems(N),
    bb_put(seed, 70313),
    forall(between(1, N, I), check_problem(I)).

check_problem(I) :-
    problem(Vars, Doms, Cs),
    brute_force(Vars, Doms, Cs, Expected),
    copy_term(Vars-Cs, Vs-Cs1),
    findall(Vs, ( post_domains(Vs, Doms), post_all(Cs1), label(Vs) ), Got0),
    msort(Got0, Got),
    (   Got == Expected -> true
    ;   format("problem ~d: ~q~n  domains ~q~n  expected ~q~n  got ~q~n", [I, Vars-Cs, Doms, Expected, Got]),
        fail
    ).

holds(B #<==> C) :- !, ( true_comparison(C) -> B =:= 1 ; B =:= 0 ).
holds(#\ C) :- !, \+ true_comparison(C).
holds(C) :- true_comparison(C).

% A comparison holds when both sides have a value and compare so.
true_comparison(C) :-
    C =.. [Op, L, R],
    value(L, A), value(R, B),
    compare_values(Op, A, B).

compare_values(#=, A, B) :- A =:= B.
compare_values(#\=, A, B) :- A =\= B.
compare_values(#<, A, B) :- A < B.
compare_values(#>, A, B) :- A > B.
compare_values(#=<, A, B) :- A =< B.
compare_values(#>=, A, B) :- A >= B.

% The value of an expression; fails when it has none.
value(X, X) :- integer(X), !.
value(A + B, V) :- value(A, X), value(B, Y), V is X + Y.
value(A - B, V) :- value(A, X), value(B, Y), V is X - Y.
value(A * B, V) :- value(A, X), value(B, Y), V is X * Y.
value(- A, V) :- value(A, X), V is -X.
value(abs(A), V) :- value(A, X), V is abs(X).
value(min(A, B), V) :- value(A, X), value(B, Y), V is min(X, Y).
value(max(A, B), V) :- value(A, X), value(B, Y), V is max(X, Y).
value(A // B, V) :- value(A, X), value(B, Y), Y =\= 0, V is truncate(X / Y).
value(A / B, V) :- value(A // B, V).
value(A div B, V) :- value(A, X), value(B, Y), Y =\= 0, V is floor(X / Y).
value(A mod B, V) :- value(A, X), value(B, Y), Y =\= 0, V is X - Y * floor(X / Y).
value(A rem B, V) :- value(A, X), value(B, Y), Y =\= 0, V is X - Y * truncate(X / Y).
value(A ^ B, V) :-
    value(A, X), value(B, Y),
    (   Y >= 0 -> V is X ^ Y
    ;   X =:= 1 -> V = 1
    ;   X =:= -1 -> ( Y mod 2 =:= 0 -> V = 1 ; V = -1 )
    ).
value(A /\ B, V) :- value(A, X), value(B, Y), V is X /\ Y.
value(A \/ B, V) :- value(A, X), value(B, Y), V is X \/ Y.
value(A xor B, V) :- value(A, X), value(B, Y), V is X xor Y.

% ---------------------------------------------------------------------------
% The generator.

problem(Vars, Doms, Cs) :-
    random_between(2, 3, NV),
    length(Vars0, NV),
    domains(NV, Doms0),
    random_between(1, 2, NC),
    constraints(NC, Vars0, Doms0, Vars, Doms, Cs).

domains(0, []) :- !.
domains(N, [D|Ds]) :-
    random_between(-4, 4, L),
    random_between(0, 5, W),
    H is min(4, L + W),
    (   H - L >= 2, random(3, 0) -> M0 is L, M1 is L + 2, D = (L..M0) \/ (M1..H) ; D = L..H ),
    N1 is N - 1,
    domains(N1, Ds).

constraints(0, Vs, Ds, Vs, Ds, []) :- !.
constraints(N, Vs0, Ds0, Vs, Ds, [C|Cs]) :-
    comparison(Vs0, C0),
    random(4, K),
    (   K =:= 0 -> Vs1 = [B|Vs0], Ds1 = [0..1|Ds0], C = (B #<==> C0)
    ;   K =:= 1 -> Vs1 = Vs0, Ds1 = Ds0, C = (#\ C0)
    ;   Vs1 = Vs0, Ds1 = Ds0, C = C0
    ),
    N1 is N - 1,
    constraints(N1, Vs1, Ds1, Vs, Ds, Cs).

comparison(Vs, C) :-
    expression(2, Vs, L),
    expression(1, Vs, R),
    pick([#=, #=, #\=, #<, #>, #=<, #>=], Op),
    C =.. [Op, L, R].

expression(D, Vs, E) :-
    random(3, K),
    (   ( D =:= 0 ; K =:= 0 ) -> leaf(Vs, E)
    ;   D1 is D - 1,
        pick([+, -, *, *, abs, min, max, //, /, div, mod, rem, ^, /\, \/, xor, neg], Op),
        operation(Op, D1, Vs, E)
    ).

operation(abs, D, Vs, abs(A)) :- !, expression(D, Vs, A).
operation(neg, D, Vs, -A) :- !, expression(D, Vs, A).
operation(^, D, Vs, A ^ B) :- !, expression(D, Vs, A), pick([-1, 0, 1, 2, 3, var], B0),
    (   B0 == var -> pick(Vs, B) ; B = B0 ).
operation(Op, D, Vs, E) :-
    expression(D, Vs, A), expression(D, Vs, B),
    (   Op == min -> E = min(A, B) ; Op == max -> E = max(A, B) ; E =.. [Op, A, B] ).

leaf(Vs, E) :-
    random(3, K),
    (   K =:= 0 -> random_between(-3, 3, E) ; pick(Vs, E) ).
