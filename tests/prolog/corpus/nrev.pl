% Naive reverse.

app([], L, L).
app([H|T], L, [H|R]) :- app(T, L, R).

nrev([], []).
nrev([H|T], R) :- nrev(T, RT), app(RT, [H], R).

range(N, N, [N]) :- !.
range(I, N, [I|T]) :- I1 is I + 1, range(I1, N, T).

repeat_nrev(0, _, _) :- !.
repeat_nrev(N, L, R) :- nrev(L, R), N1 is N - 1, repeat_nrev(N1, L, _).

answer(nrev30, R) :- range(1, 30, L), nrev(L, R).
answer(nrev_empty, R) :- nrev([], R).
answer(nrev_vars, R) :- nrev([A, B, f(A), g(B, C), C], R).
answer(nrev_repeat, R) :- range(1, 30, L), repeat_nrev(200, L, R).
