% The extrema and Boolean constraints of library(clpfd): their cases and
% errors as a table, and seeded random problems whose solutions through
% labeling must equal those of enumerating the domains and checking each
% constraint.

case(minimum_prunes, [DM, DX], ( M in 2..9, [X, Y, Z] ins 0..8, minimum(M, [X, Y, Z]), Y #> 5, Z #> 6, fd_dom(M, DM),
     fd_dom(X, DX) ), [[2..8, 2..8]]).
case(minimum_one_left, DM, ( M in 1..9, X in {1, 5}, [Y, Z] ins 6..9, minimum(M, [X, Y, Z]), fd_dom(M, DM) ),
     [1\/5]).
case(maximum_labels, [M, X], ( X in 0..3, maximum(M, [X, 2, 1]), label([M, X]) ),
     [[2, 0], [2, 1], [2, 2], [3, 3]]).
case(minimum_two, D, ( [X, Y] ins 3..7, minimum(M, [X, Y]), fd_dom(M, D) ), [3..7]).
case(minimum_one, M, minimum(M, [4]), [4]).
case(minimum_empty, x, minimum(_, []), []).
case(minimum_type, x, minimum(_, [1, a]), error(type_error(integer, a))).
case(minimum_list, x, minimum(_, _), error(instantiation_error)).
case(or_result_0, [X, Y], bool_or([X, Y, _], 0), [[0, 0]]).
case(or_negated, [X, Y], bool_or([#\ X, Y], 0), [[1, 0]]).
case(and_literal_0, R, ( bool_and([X, Y, 0], R), X = Y ), [0]).
case(and_labels, [R, X, Y], ( bool_and([X, Y], R), label([R, X, Y]) ),
     [[0, 0, 0], [0, 0, 1], [0, 1, 0], [1, 1, 1]]).
case(xor_parity, Z, ( bool_xor([1, X, Z], 0), X = 0 ), [1]).
case(xor_empty, R, bool_xor([], R), [0]).
case(or_empty, R, bool_or([], R), [0]).
case(and_empty, R, bool_and([], R), [1]).
case(bool_not_boolean, x, bool_or([2], _), []).
case(bool_type, x, bool_and([a], _), error(type_error(integer, a))).
case(bool_list, x, bool_xor(_, _), error(instantiation_error)).
case(ite_decides, C, ( T in 1..3, E in 7..8, R in 2..4, if_then_else(C, T, E, R) ), [1]).
case(ite_fixed, DR, ( if_then_else(0, _, E, R), E in 3..4, fd_dom(R, DR) ), [3..4]).
case(ite_union, DR, ( C in 0..1, T in 1..2, E in 5..6, R in 0..9, if_then_else(C, T, E, R), fd_dom(R, DR) ),
     [1..2\/5..6]).
case(ite_type, x, if_then_else(_, _, foo, _), error(type_error(integer, foo))).

test(differential, differential).

differential :-
    bb_put(seed, 57),
    forall(between(1, 300, I), check_problem(I)).

check_problem(I) :-
    problem(Vars, Doms, C),
    brute_force(Vars, Doms, [C], Expected),
    copy_term(Vars-C, Vs-C1),
    findall(Vs, ( post_domains(Vs, Doms), call(C1), label(Vs) ), Got0),
    msort(Got0, Got),
    (   Got == Expected -> true
    ;   format("problem ~d: ~q~n  domains ~q~n  expected ~q~n  got ~q~n", [I, Vars-C, Doms, Expected, Got]),
        fail
    ).

holds(minimum(M, Xs)) :- min_list(Xs, M).
holds(maximum(M, Xs)) :- max_list(Xs, M).
holds(bool_and(Ls, R)) :- maplist(literal, Ls, Vs), min_list([1|Vs], R).
holds(bool_or(Ls, R)) :- maplist(literal, Ls, Vs), max_list([0|Vs], R).
holds(bool_xor(Ls, R)) :- maplist(literal, Ls, Vs), sum_list(Vs, S), R =:= S mod 2.
holds(if_then_else(C, T, E, R)) :- ( C =:= 1 -> R =:= T ; C =:= 0 -> R =:= E ).

literal(L, V) :- ( L = #\(X) -> V is 1 - X ; V = L ), ( V == 0 ; V == 1 ), !.

% The generator: 2 to 5 variables, one constraint; Boolean variables over
% -1..2 now and then, so that the library's 0/1 restriction is tested too.
problem(Vars, Doms, C) :-
    random(4, K),
    random_between(2, 5, N),
    length(Vars, N),
    (   K >= 2 -> bool_domains(Vars, Doms) ; domains(Vars, Doms) ),
    constraint(K, Vars, C).

domains([], []).
domains([_|Vs], [L..H|Ds]) :- random_between(-2, 3, L), random_between(0, 3, W), H is L + W, domains(Vs, Ds).

bool_domains([], []).
bool_domains([_|Vs], [D|Ds]) :- random(8, R), ( R =:= 0 -> D = -1..2 ; D = 0..1 ), bool_domains(Vs, Ds).

constraint(0, [M|Xs0], C) :- mixed(Xs0, Xs), random(2, R), ( R =:= 0 -> C = minimum(M, Xs) ; C = maximum(M, Xs) ).
constraint(1, [C0, T, E, R], if_then_else(C0, T, E, R)) :- !.
constraint(1, Vars, C) :- constraint(0, Vars, C).
constraint(2, [R|Xs], C) :-
    literals(Xs, Ls),
    random(3, K),
    nth0(K, [bool_and(Ls, R), bool_or(Ls, R), bool_xor(Ls, R)], C).
constraint(3, Vars, C) :- constraint(2, Vars, C).

literals([], []).
literals([X|Xs], [L|Ls]) :-
    random(4, R),
    (   R =:= 0 -> L = (#\ X)
    ;   R =:= 1 -> random(2, L)
    ;   L = X
    ),
    literals(Xs, Ls).

mixed([], []).
mixed([X|Xs], [Y|Ys]) :- random(4, R), ( R =:= 0 -> random_between(-1, 4, Y) ; Y = X ), mixed(Xs, Ys).
