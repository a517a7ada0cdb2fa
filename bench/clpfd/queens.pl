% Every solution of 10 queens (724), with pairwise disequations, labeled
% first-fail.
bench :-
    findall(Qs, queens(10, Qs), L),
    length(L, 724).

queens(N, Qs) :-
    length(Qs, N),
    Qs ins 1..N,
    safe(Qs),
    labeling([ff], Qs).

safe([]).
safe([Q|Qs]) :- no_attack(Qs, Q, 1), safe(Qs).

no_attack([], _, _).
no_attack([Q|Qs], Q0, D) :-
    Q0 #\= Q,
    Q0 #\= Q + D,
    Q0 #\= Q - D,
    D1 is D + 1,
    no_attack(Qs, Q0, D1).
