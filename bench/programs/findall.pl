% findall/3 in a loop, 600 rounds: the pairs X-Y with X < Y of 1..60 (a
% list of 1770 structured answers), a nested findall/3 giving a list of
% lists, and a goal without answers.
bench :- loop(600, 0, S), S =:= 600 * (1770 + 60 * 61 // 2 + 40).

loop(0, S, S) :- !.
loop(N, S0, S) :-
    findall(X-Y, (int_in(1, 60, X), int_in(1, 60, Y), X < Y), Pairs),
    count(Pairs, 0, P),
    findall(L, (int_in(1, 60, K), findall(K, int_in(1, K, _), L)), Lists),
    lists_count(Lists, 0, Q),
    findall(X, (int_in(1, 40, X), X > 40), None),
    None == [],
    findall(f(X, _), int_in(1, 40, X), Open),
    count(Open, 0, R),
    S1 is S0 + P + Q + R,
    N1 is N - 1,
    loop(N1, S1, S).

int_in(L, H, L) :- L =< H.
int_in(L, H, X) :- L < H, L1 is L + 1, int_in(L1, H, X).

count([], C, C).
count([_|T], C0, C) :- C1 is C0 + 1, count(T, C1, C).

lists_count([], C, C).
lists_count([L|Ls], C0, C) :- count(L, C0, C1), lists_count(Ls, C1, C).
