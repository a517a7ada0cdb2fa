% A 0/1 knapsack of 16 items: its best value, found by branch and bound.
bench :-
    knapsack(V),
    V =:= 671.

knapsack(V) :-
    Ws = [38, 51, 27, 66, 45, 19, 73, 31, 58, 24, 47, 62, 35, 29, 54, 41],
    Vs = [74, 93, 51, 120, 88, 37, 131, 60, 109, 46, 90, 115, 66, 57, 101, 79],
    length(Xs, 16),
    Xs ins 0..1,
    scalar_product(Ws, Xs, #=<, 350),
    scalar_product(Vs, Xs, #=, V),
    best_labeling(V, Xs).
