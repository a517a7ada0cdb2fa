% The Ackermann and Takeuchi functions, Fibonacci, factorial.

ack(0, N, R) :- !, R is N + 1.
ack(M, 0, R) :- !, M1 is M - 1, ack(M1, 1, R).
ack(M, N, R) :- M1 is M - 1, N1 is N - 1, ack(M, N1, R1), ack(M1, R1, R).

tak(X, Y, Z, A) :- X =< Y, !, Z = A.
tak(X, Y, Z, A) :-
    X1 is X - 1, Y1 is Y - 1, Z1 is Z - 1,
    tak(X1, Y, Z, A1),
    tak(Y1, Z, X, A2),
    tak(Z1, X, Y, A3),
    tak(A1, A2, A3, A).

fib(0, 0).
fib(1, 1).
fib(N, F) :- N > 1, N1 is N - 1, N2 is N - 2, fib(N1, F1), fib(N2, F2), F is F1 + F2.

fact(0, 1) :- !.
fact(N, F) :- N1 is N - 1, fact(N1, F1), F is N * F1.

answer(ack_2_3, R) :- ack(2, 3, R).
answer(ack_3_3, R) :- ack(3, 3, R).
answer(ack_3_5, R) :- ack(3, 5, R).
answer(tak, A) :- tak(18, 12, 6, A).
answer(tak_small, A) :- tak(9, 6, 3, A).
answer(fib, F) :- fib(17, F).
answer(fact20, F) :- fact(20, F).
