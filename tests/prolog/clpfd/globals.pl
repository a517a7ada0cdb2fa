% The element, extensional, cardinality and circuit constraints of
% library(clpfd): their cases and errors as a table, and seeded random
% problems whose solutions through labeling must equal those of enumerating
% the domains and checking each constraint.

case(element_ints, [I, V], ( element(I, [5, 3, 5], V), label([I, V]) ), [[1, 5], [2, 3], [3, 5]]).
case(element_dom, [DI, DV], ( element(I, [5, 3, 5, 1], V), V #\= 1, fd_dom(I, DI), fd_dom(V, DV) ),
     [[1..3, 3\/5]]).
case(element_index_fixed, [DB, DV], ( B in 1..3, V in 2..5, element(2, [_, B, 7], V), fd_dom(B, DB), fd_dom(V, DV) ),
     [[2..3, 2..3]]).
case(element_vars, [DI, DV], ( [A, B] ins 0..2, C in 5..6, element(I, [A, B, C], V), V #> 4, fd_dom(I, DI), fd_dom(V, DV) ),
     [[3..3, 5..6]]).
case(element_bools, V, ( Bs = [1, _, 1], Bs ins 0..1, element(I, Bs, V), I #\= 2 ), [1]).
case(element_empty, x, element(_, [], _), []).
case(element_type, x, element(_, [a], _), error(type_error(integer, a))).
case(element_list, x, element(_, _, _), error(instantiation_error)).
case(member_dom, D, ( X in 0..9, element_member(X, [2, Y, 7]), Y in 4..5, fd_dom(X, D) ), [2\/4..5\/7]).
case(member_one_left, D, ( Y in 1..5, element_member(3, [Y, 9]), fd_dom(Y, D) ), [3..3]).
case(member_bools, X, ( element_member(X, [0, 1]), X in 0..1, label([X]) ), [0, 1]).
case(member_none, x, element_member(_, []), []).
case(table_solutions, [X, Y], ( table([[X, Y]], [[1, 2], [2, 3], [3, 1], [1, 3]]), label([X, Y]) ),
     [[1, 2], [1, 3], [2, 3], [3, 1]]).
case(table_prunes, [DX, DY], ( table([[X, Y]], [[1, 2], [2, 3], [3, 1], [1, 3]]), Y #\= 3, fd_dom(X, DX), fd_dom(Y, DY) ),
     [[1\/3, 1..2]]).
case(table_shared, [A, B, C], ( table([[A, B], [B, C]], [[1, 2], [2, 3]]), label([A, B, C]) ), [[1, 2, 3]]).
case(table_integers, X, ( table([[X, 2, 5]], [[1, 2, 5], [3, 2, 5], [4, 2, 6]]), label([X]) ), [1, 3]).
case(table_entailed_last, D, ( table([[1, 2, Z]], [[1, 2, 5], [1, 2, 7], [1, 3, 6]]), fd_dom(Z, D) ), [5\/7]).
case(table_64, N, ( numlist(1, 64, L), findall([V], member(V, L), R), table([[X]], R), fd_size(X, N) ), [64]).
case(table_65, [Min, Max], ( numlist(1, 65, L), findall([V, W], ( member(V, L), W is V mod 2 ), R), table([[X, 1]], R),
     fd_inf(X, Min), fd_sup(X, Max) ), [[1, 65]]).
case(table_65_word2, D, ( numlist(1, 65, L), findall([V, W], ( member(V, L), W is V // 65 ), R), table([[X, 1]], R),
     fd_dom(X, D) ), [65..65]).
case(table_backtrack, Ds, ( table([[X, Y]], [[1, 1], [2, 2], [3, 3], [3, 1]]),
     findall(D, ( ( X = 3 ; X #\= 3 ), fd_dom(Y, D) ), Ds) ), [[1\/3, 1..2]]).
case(table_no_rows, x, table([[_]], []), []).
case(table_no_vars, x, table([], [[1]]), [x]).
case(table_length, x, table([[_, _]], [[1]]), error(domain_error(table_row_length(2), [1]))).
case(table_relation_type, x, table([[_]], [[a]]), error(type_error(integer, a))).
case(circuit_3, Xs, ( length(Xs, 3), circuit(Xs), label(Xs) ), [[2, 3, 1], [3, 1, 2]]).
case(circuit_count, N, ( length(Xs, 5), circuit(Xs), findall(x, label(Xs), L), length(L, N) ), [24]).
case(circuit_one, X, circuit([X]), [1]).
case(circuit_empty, x, circuit([]), [x]).
case(circuit_closed_early, x, ( circuit([2, 1, _]) ), []).
case(circuit_chain, D, ( Xs = [2, X2, _, _], circuit(Xs), fd_dom(X2, D) ), [3..4]).
case(circuit_preds, [Xs, Ys], ( Xs = [_, _, _], Ys = [_, _, _], circuit(Xs, Ys), Xs = [2|_], label(Xs) ), [[[2, 3, 1], [3, 1, 2]]]).
case(subcircuit_off, [X3, X4], ( subcircuit([2, 1, X3, X4]), [X3, X4] ins 3..4 ), [[3, 4]]).
case(subcircuit_count, N, ( length(Xs, 4), subcircuit(Xs), findall(x, label(Xs), L), length(L, N) ), [21]).
case(bounds_hall, [DC, DD], ( [A, B] ins 1..2, C in 1..3, D in 1..10, all_distinct([A, B, C, D], [consistency(bounds)]),
     fd_dom(C, DC), fd_dom(D, DD) ), [[3..3, 4..10]]).
case(bounds_hole, D, ( [A, B] ins 1..2, C in 1..2\/5..9, all_different([A, B, C], [consistency(bounds)]), fd_dom(C, D) ),
     [5..9]).
case(bounds_pigeons, x, ( [A, B, C] ins 1..2, all_distinct([A, B, C], [consistency(bounds)]) ), []).
case(bounds_option, x, all_distinct([_], [consistency(foo)]), error(domain_error(all_different_option, consistency(foo)))).
case(all_equal_true, Xs, ( Xs = [_, _, _], Xs ins 1..3, all_equal_reif(Xs, 1), Xs = [2|_] ), [[2, 2, 2]]).
case(all_equal_false, D, ( X in 2..4, all_equal_reif([X, 3], 0), fd_dom(X, D) ), [2\/4]).
case(all_equal_decided, B, ( X in 1..2, Y in 3..4, all_equal_reif([X, Y], B) ), [0]).
case(all_equal_type, x, all_equal_reif([_], 2), []).
case(circuit_type, x, circuit([a]), error(type_error(integer, a))).
case(table_partial, x, table([[_]], [[1]|_]), error(instantiation_error)).
case(table_option, x, table([[_]], [[1]], [foo]), error(domain_error(table_option, foo))).

test(differential, differential).

differential :-
    bb_put(seed, 55),
    forall(between(1, 400, I), check_problem(I)).

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

holds(element(I, Xs, V)) :- nth1(I, Xs, X), X =:= V.
holds(element_member(X, Xs)) :- member(Y, Xs), Y =:= X, !.
holds(table(Rows, Relation)) :- forall(member(R, Rows), memberchk(R, Relation)).
holds(circuit(Xs)) :- length(Xs, N), tour(Xs, 1, N, Nodes), msort(Nodes, All), numlist(1, N, All).
holds(subcircuit(Xs)) :-
    findall(I, ( nth1(I, Xs, X), X =\= I ), On),
    (   On = [] -> true ; On = [S|_], length(On, N), tour(Xs, S, N, Nodes), msort(Nodes, On) ).
holds(circuit([])).
holds(all_equal_reif(Xs, B)) :- ( Xs = [X|Ys], \+ ( member(Y, Ys), Y =\= X ) -> B =:= 1 ; Xs == [] -> B =:= 1 ; B =:= 0 ).
holds(all_distinct(Xs, _)) :- msort(Xs, S), sort(S, U), length(Xs, N), length(U, N).

% The nodes met following successors from S for N steps, when that comes
% back to S.
tour(Xs, S, N, Nodes) :- tour(Xs, S, S, N, Nodes).
tour(_, S, S, 0, []) :- !.
tour(Xs, S, I, N, [I|Nodes]) :- N > 0, nth1(I, Xs, J), N1 is N - 1, tour(Xs, S, J, N1, Nodes).

% The generator: 2 to 5 variables over small intervals, one constraint.
problem(Vars, Doms, C) :-
    random(7, K),
    random_between(2, 5, N),
    length(Vars, N),
    (   memberchk(K, [3, 4]) -> circuit_domains(Vars, N, Doms) ; domains(Vars, Doms) ),
    constraint(K, Vars, C).

domains([], []).
domains([_|Vs], [L..H|Ds]) :- random_between(-1, 3, L), random_between(0, 3, W), H is L + W, domains(Vs, Ds).

% Some elements of the list are integers.
constraint(0, [I, V|Xs0], element(I, Xs, V)) :- mixed(Xs0, Xs).
constraint(1, [X|Xs0], element_member(X, Xs)) :- mixed(Xs0, Xs).

constraint(2, Vars, table(Rows, Relation)) :-
    random_between(1, 3, K),
    rows(Vars, K, Rows0),
    (   Rows0 = [] -> Rows = [Vars] ; Rows = Rows0 ),
    Rows = [R|_], length(R, K1),
    random_between(0, 12, NT),
    length(Relation0, NT),
    maplist(random_tuple(K1), Relation0),
    sort(Relation0, Relation).

constraint(3, Vars, circuit(Vars)).
constraint(4, Vars, subcircuit(Vars)).
constraint(6, [B|Vars], all_equal_reif(Xs, B)) :- mixed(Vars, Xs).
constraint(5, Vars, all_distinct(Xs, [consistency(bounds)])) :- mixed(Vars, Xs).

% Successor domains within 1..n, some narrowed.
circuit_domains([], _, []).
circuit_domains([_|Vs], N, [L..H|Ds]) :-
    random(3, R),
    (   R =:= 0 -> random_between(1, N, L), random_between(L, N, H) ; L = 1, H = N ),
    circuit_domains(Vs, N, Ds).

% Rows of K taken from the variables in order (the last one shorter rows
% dropped), now and then the same variable twice.
rows(Vs, K, [R|Rs]) :- length(R0, K), append(R0, Rest, Vs), !, mixed(R0, R), rows(Rest, K, Rs).
rows(_, _, []).

random_tuple(K, T) :- length(T, K), maplist(random_between(-1, 5), T).

mixed([], []).
mixed([X|Xs], [Y|Ys]) :- random(4, R), ( R =:= 0 -> random_between(-1, 4, Y) ; Y = X ), mixed(Xs, Ys).
