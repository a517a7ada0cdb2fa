% The constraints of library(clpfd) that stand on the plug-in's linear and
% distinctness propagators, case by case: linear constraints and their
% normal forms, their residual goals, all_different and all_distinct.

case(fd_degree, N, ( X in 0..9, Y in 0..9, X #< Y, X + Y #= Z, Z #\= 3, fd_degree(X, N) ), [2]).
case(eq_bounds, [DX, DY], ( [X, Y] ins 0..10, 2*X + 3*Y #= 12, fd_dom(X, DX), fd_dom(Y, DY) ), [[0..6, 0..4]]).
case(eq_solutions, [X, Y], ( [X, Y] ins 0..10, 2*X + 3*Y #= 12, label([X, Y]) ), [[0, 4], [3, 2], [6, 0]]).
case(sum_3, D, ( Xs = [X, _, _], Xs ins 0..5, sum(Xs, #=, 14), fd_dom(X, D) ), [4..5]).
case(scalar_product_4, Xs, ( Xs = [_, _], Xs ins 0..3, scalar_product([1, 2], Xs, #>=, 8), label(Xs) ), [[2, 3], [3, 3]]).
case(long_sum, S, ( length(Xs, 20), Xs ins 0..1, sum(Xs, #=, 19), Xs = [0|_], sum_list(Xs, S) ), [19]).
case(linear_wake, D, ( [X, Y, Z] ins 0..9, X + Y + Z #= 10, X = 9, fd_dom(Y, D) ), [0..1]).
case(all_different_fixed, x, ( A = 1, B = 1, all_different([A, B]) ), []).
case(all_different_one, x, all_different([_]), [x]).
case(all_different_eliminates, D, ( [X, Y] ins 1..3, all_different([X, Y, 2]), fd_dom(X, D) ), [1\/3]).
case(all_distinct_hall, [DC, DD], ( [A, B] ins 1..2, [C, D] ins 1..4, all_distinct([A, B, C, D]), fd_dom(C, DC), fd_dom(D, DD) ),
     [[3..4, 3..4]]).
case(all_distinct_pigeons, x, ( [A, B, C] ins 1..2, all_distinct([A, B, C]) ), []).
case(all_distinct_options, D, ( [A, B] ins 1..2, C in 1..3, all_different([A, B, C], [consistency(domain)]), fd_dom(C, D) ), [3..3]).
case(all_different_labeling, N, ( length(Xs, 4), Xs ins 1..4, all_different(Xs), findall(Xs, label(Xs), L), length(L, N) ), [24]).
case(residual_constraint, Gs, ( X in 0..5, Y in 0..5, X + 2*Y #= 5 + Z, Z in 0..1, copy_term([X, Y], _, Gs) ),
     [[A in 0..5, A + 2*B #= 5 + C, B in 0..3, C in 0..1]]).
case(statistics_constraints, N, ( fd_statistics(constraints, _), X in 0..5, Y in 0..5, X + Y #= 3, all_different([X, Y]), fd_statistics(constraints, N) ), [2]).
