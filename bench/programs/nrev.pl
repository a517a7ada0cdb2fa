% Naive reverse of a 30-element list, 20000 times.
bench :- range(1, 30, L), loop(20000, L).

loop(0, _) :- !.
loop(N, L) :- nrev(L, _), N1 is N - 1, loop(N1, L).

app([], L, L).
app([H|T], L, [H|R]) :- app(T, L, R).

nrev([], []).
nrev([H|T], R) :- nrev(T, RT), app(RT, [H], R).

range(N, N, [N]) :- !.
range(I, N, [I|T]) :- I1 is I + 1, range(I1, N, T).
