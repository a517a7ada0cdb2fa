% Magic series of length 100: S[I] is the number of times I occurs in S,
% counted by reified equalities, with the two usual redundant sums; every
% solution.
bench :-
    findall(S, magic_series(100, S), L),
    length(L, 1).

magic_series(N, S) :-
    length(S, N),
    N1 is N - 1,
    S ins 0..N1,
    occurrences(S, 0, S),
    sum(S, #=, N),
    weights(S, 0, Ws),
    sum(Ws, #=, N),
    labeling([ff], S).

occurrences([], _, _).
occurrences([X|Xs], I, S) :-
    indicators(S, I, Bs),
    sum(Bs, #=, X),
    I1 is I + 1,
    occurrences(Xs, I1, S).

indicators([], _, []).
indicators([X|Xs], I, [B|Bs]) :-
    B #<==> (X #= I),
    indicators(Xs, I, Bs).

weights([], _, []).
weights([X|Xs], I, [W|Ws]) :-
    W #= I * X,
    I1 is I + 1,
    weights(Xs, I1, Ws).
