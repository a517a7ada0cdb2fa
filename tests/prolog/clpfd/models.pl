% Classic models with their known answers: the number of solutions of
% N-queens for N = 4..10 (with pairwise disequations, and with
% all_distinct), SEND+MORE=MONEY, the 3x3 magic squares, a hard sudoku,
% and optimisation by branch and bound.

case(queens_4_to_10, N-C, ( between(4, 10, N), count(queens(N, _, [ff]), C) ),
     [4-2, 5-10, 6-4, 7-40, 8-92, 9-352, 10-724]).
case(queens_distinct_8, C, count(queens_distinct(8, _), C), [92]).
case(queens_30_first, ok, ( queens(30, Qs, [ff]), !, safe_check(Qs) ), [ok]).
case(send_more_money, [S, E, N, D, M, O, R, Y], puzzle([S, E, N, D] + [M, O, R, E] = [M, O, N, E, Y]),
     [[9, 5, 6, 7, 1, 0, 8, 2]]).
case(magic_squares_3x3, C, count(magic(_), C), [8]).
case(sudoku_hard, Rows, ( hard_sudoku(Rows), sudoku(Rows) ),
     [[[8, 1, 2, 7, 5, 3, 6, 4, 9], [9, 4, 3, 6, 8, 2, 1, 7, 5], [6, 7, 5, 4, 9, 1, 2, 8, 3],
       [1, 5, 4, 2, 3, 7, 8, 9, 6], [3, 6, 9, 8, 4, 5, 7, 2, 1], [2, 8, 7, 1, 6, 9, 5, 3, 4],
       [5, 2, 1, 9, 7, 4, 3, 6, 8], [4, 3, 8, 5, 2, 6, 9, 1, 7], [7, 9, 6, 3, 1, 8, 4, 5, 2]]]).
case(knapsack_maximize, V-Xs, knapsack(Xs, V), [309-[1, 1, 1, 1, 0, 1, 0, 0]]).
case(minimize_all_optima, Xs, ( Xs = [X, Y], Xs ins 0..4, X + Y #>= 3, labeling([minimize(2*X + Y)], Xs) ),
     [[0, 3]]).
case(minimize_several_optima, Xs, ( Xs = [X, Y], Xs ins 0..4, X + Y #>= 3, labeling([minimize(X + Y)], Xs) ),
     [[0, 3], [1, 2], [2, 1], [3, 0]]).
case(maximize_down, Xs, ( Xs = [X, Y], Xs ins 0..5, X + 2*Y #=< 7, labeling([maximize(X*3 + Y), down], Xs) ),
     [[5, 1]]).
case(minimize_no_solution, X, ( X in 0..3, X #> 5, labeling([minimize(X)], [X]) ), []).

count(Goal, N) :- findall(x, Goal, L), length(L, N).

% A placement of queens that no two attack, checked without the library.
safe_check([]).
safe_check([Q|Qs]) :-
    \+ ( nth1(D, Qs, Q1), ( Q1 =:= Q ; abs(Q1 - Q) =:= D ) ),
    safe_check(Qs).

% Queens in columns 1..N, the value of each the row.
queens(N, Qs, Options) :-
    length(Qs, N),
    Qs ins 1..N,
    safe(Qs),
    labeling(Options, Qs).

safe([]).
safe([Q|Qs]) :- no_attack(Qs, Q, 1), safe(Qs).

no_attack([], _, _).
no_attack([Q|Qs], Q0, D) :-
    Q0 #\= Q,
    Q0 #\= Q + D,
    Q0 #\= Q - D,
    D1 is D + 1,
    no_attack(Qs, Q0, D1).

queens_distinct(N, Qs) :-
    length(Qs, N),
    Qs ins 1..N,
    diagonals(Qs, 0, Ups, Downs),
    all_distinct(Qs),
    all_distinct(Ups),
    all_distinct(Downs),
    label(Qs).

diagonals([], _, [], []).
diagonals([Q|Qs], I, [U|Us], [D|Ds]) :-
    U #= Q + I,
    D #= Q - I,
    I1 is I + 1,
    diagonals(Qs, I1, Us, Ds).

puzzle([S, E, N, D] + [M, O, R, E] = [M, O, N, E, Y]) :-
    Vars = [S, E, N, D, M, O, R, Y],
    Vars ins 0..9,
    all_different(Vars),
    1000*S + 100*E + 10*N + D + 1000*M + 100*O + 10*R + E #= 10000*M + 1000*O + 100*N + 10*E + Y,
    M #\= 0, S #\= 0,
    label(Vars).

magic([A, B, C, D, E, F, G, H, I]) :-
    Vs = [A, B, C, D, E, F, G, H, I],
    Vs ins 1..9,
    all_distinct(Vs),
    A + B + C #= 15, D + E + F #= 15, G + H + I #= 15,
    A + D + G #= 15, B + E + H #= 15, C + F + I #= 15,
    A + E + I #= 15, C + E + G #= 15,
    label(Vs).

sudoku(Rows) :-
    rows_vars(Rows, Vs),
    Vs ins 1..9,
    rows_distinct(Rows),
    columns(Rows, Columns),
    rows_distinct(Columns),
    Rows = [A, B, C, D, E, F, G, H, I],
    blocks(A, B, C), blocks(D, E, F), blocks(G, H, I),
    labeling([ff], Vs).

rows_vars([], []).
rows_vars([R|Rs], Vs) :- append(R, Vs1, Vs), rows_vars(Rs, Vs1).

rows_distinct([]).
rows_distinct([R|Rs]) :- all_distinct(R), rows_distinct(Rs).

columns([[]|_], []) :- !.
columns(Rows, [C|Cs]) :- heads(Rows, C, Rests), columns(Rests, Cs).

heads([], [], []).
heads([[X|Xs]|Rs], [X|Hs], [Xs|Ts]) :- heads(Rs, Hs, Ts).

blocks([], [], []).
blocks([A, B, C|As], [D, E, F|Ds], [G, H, I|Gs]) :-
    all_distinct([A, B, C, D, E, F, G, H, I]),
    blocks(As, Ds, Gs).

% A puzzle made to defeat simple reasoning ("Arto Inkala's hardest").
hard_sudoku([[8, _, _, _, _, _, _, _, _],
             [_, _, 3, 6, _, _, _, _, _],
             [_, 7, _, _, 9, _, 2, _, _],
             [_, 5, _, _, _, 7, _, _, _],
             [_, _, _, _, 4, 5, 7, _, _],
             [_, _, _, 1, _, _, _, 3, _],
             [_, _, 1, _, _, _, _, 6, 8],
             [_, _, 8, 5, _, _, _, 1, _],
             [_, 9, _, _, _, _, 4, _, _]]).

% 0/1 knapsack: weights, values, capacity 100.
knapsack(Xs, V) :-
    Ws = [23, 31, 29, 44, 53, 38, 63, 85],
    Vs = [92, 57, 49, 68, 60, 43, 67, 84],
    length(Xs, 8),
    Xs ins 0..1,
    scalar_product(Ws, Xs, #=<, 165),
    scalar_product(Vs, Xs, #=, V0),
    labeling([maximize(V0)], Xs),
    V = V0.
