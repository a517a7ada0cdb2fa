% Garbage made and dropped while live data, choicepoints, shared unbound
% variables, big integers and floats stay reachable: run again with a
% collection at every stack overflow, the answers must not change.
app([], L, L).
app([H|T], L, [H|R]) :- app(T, L, R).
nrev([], []).
nrev([H|T], R) :- nrev(T, RT), app(RT, [H], R).
range(N, N, [N]) :- !.
range(I, N, [I|T]) :- I < N, I1 is I + 1, range(I1, N, T).
% keeps every 10th reversal, drops the rest: live data mixed with garbage
loop(0, Acc, Acc) :- !.
loop(K, Acc, R) :-
    range(1, 30, L), nrev(L, RL),
    (   K mod 10 =:= 0 -> Acc1 = [K-RL|Acc] ; Acc1 = Acc ),
    K1 is K - 1,
    loop(K1, Acc1, R).
sum([], 0).
sum([_-L|T], S) :- sum(T, S0), lsum(L, S1), S is S0 + S1.
lsum([], 0).
lsum([X|T], S) :- lsum(T, S0), S is S0 + X.
% choicepoints kept alive across garbage
pick(X) :- range(1, 5, L), mem(X, L).
mem(X, [X|_]).
mem(X, [_|T]) :- mem(X, T).
withcp(X, Y) :- pick(X), loop(200, [], R), length_(R, Y).
length_([], 0).
length_([_|T], N) :- length_(T, N0), N is N0 + 1.
% big integers and floats made and dropped
bigs(0, A, A) :- !.
bigs(K, A, R) :- B is 3 ^ 70 + K, F is K * 1.5, ( K mod 50 =:= 0 -> A1 = [B, F|A] ; A1 = A ), K1 is K - 1, bigs(K1, A1, R).
% unbound variables that stay shared across collections
share(K, V, R) :- loop(K, [], _), V = f(W, W), loop(K, [], _), W = bound, R = V.
answer(loop, S) :- loop(2000, [], R), sum(R, S).
answer(withcp, X-Y) :- withcp(X, Y).
answer(bigs, R) :- bigs(1000, [], R).
answer(share, R) :- share(300, _, R).
answer(deepacc, N) :- range(1, 50000, L), nrev_small(L, N).
nrev_small(L, N) :- rev(L, [], R), R = [N|_].
rev([], A, A).
rev([H|T], A, R) :- rev(T, [H|A], R).
