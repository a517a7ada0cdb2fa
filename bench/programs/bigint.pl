% Big-integer arithmetic: the factorial of 2500 and the Fibonacci numbers
% up to 20000, 40 times. Each is checked against the same value worked out
% modulo a prime in small integers, the count of the factorial's trailing
% zeros is checked, and Cassini's identity F(n-1) * F(n+1) - F(n)^2 =
% (-1)^n is checked with the big values. Needs unbounded integers.
bench :-
    current_prolog_flag(bounded, false),
    loop(40).

loop(0) :- !.
loop(N) :-
    P = 1000000007,
    fact(2500, 1, F),
    fact_mod(2500, P, 1, FP),
    F mod P =:= FP,
    zeros(F, 0, Z),
    Z =:= 2500 // 5 + 2500 // 25 + 2500 // 125 + 2500 // 625,
    fib(20000, 0, 1, A, B),
    fib_mod(20000, P, 0, 1, AP),
    A mod P =:= AP,
    C is B - A,
    C * B - A * A =:= 1,
    N1 is N - 1,
    loop(N1).

fact(0, F, F) :- !.
fact(K, F0, F) :- F1 is F0 * K, K1 is K - 1, fact(K1, F1, F).

fact_mod(0, _, F, F) :- !.
fact_mod(K, P, F0, F) :- F1 is F0 * K mod P, K1 is K - 1, fact_mod(K1, P, F1, F).

zeros(F, Z0, Z) :-
    (   F mod 10 =:= 0 -> F1 is F // 10, Z1 is Z0 + 1, zeros(F1, Z1, Z)
    ;   Z = Z0
    ).

% fib(K, F(i), F(i+1), F(i+K), F(i+K+1)).
fib(0, A, B, A, B) :- !.
fib(K, A0, B0, A, B) :- C is A0 + B0, K1 is K - 1, fib(K1, B0, C, A, B).

fib_mod(0, _, A, _, A) :- !.
fib_mod(K, P, A0, B0, A) :- C is (A0 + B0) mod P, K1 is K - 1, fib_mod(K1, P, B0, C, A).
