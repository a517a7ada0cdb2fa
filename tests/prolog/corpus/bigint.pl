% Big-integer arithmetic.

fact(0, 1) :- !.
fact(N, F) :- N1 is N - 1, fact(N1, F1), F is N * F1.

fib(N, F) :- fib(N, 0, 1, F).
fib(0, A, _, A) :- !.
fib(N, A, B, F) :- N1 is N - 1, C is A + B, fib(N1, B, C, F).

pow(_, 0, 1) :- !.
pow(B, E, P) :- E1 is E - 1, pow(B, E1, P1), P is B * P1.

answer(fact30, F) :- fact(30, F).
answer(fact60, F) :- fact(60, F).
answer(fib300, F) :- fib(300, F).
answer(pow, P) :- pow(7, 77, P).
answer(ipow, P) :- P is 3 ^ 100.
answer(neg_pow, P) :- P is (-3) ^ 51.
answer(add_carry, X) :- X is 18446744073709551615 + 1.
answer(sub_borrow, X) :- X is 18446744073709551616 - 18446744073709551617.
answer(mul, X) :- X is 123456789123456789 * 987654321987654321.
answer(div, L) :- X is 10 ^ 40 + 7, A is X // 12345678901, B is X mod 12345678901, C is -X // 7, D is -X mod 7, E is X rem -7, L = [A, B, C, D, E].
answer(gcd, G) :- A is 2 ^ 80 * 3 ^ 5, B is 2 ^ 70 * 3 ^ 9 * 5, G is gcd(A, B).
answer(shift, L) :- A is 1 << 100, B is A >> 37, C is -(1 << 90) >> 3, D is 12345 << 70, L = [A, B, C, D].
answer(bits, L) :- A is (2 ^ 70 - 1) /\ (2 ^ 65 + 12345), B is (2 ^ 70) \/ 5, C is (2 ^ 70) xor (2 ^ 70 + 3), D is \ (2 ^ 70), L = [A, B, C, D].
answer(msb, M) :- M is msb(2 ^ 100 + 1).
answer(compare, L) :- A is 2 ^ 64, B is 2 ^ 64 + 1, ( A < B -> X = lt ; X = ge ), ( A =:= A -> Y = eq ; Y = ne ), ( -A < 5 -> Z = lt ; Z = ge ), L = [X, Y, Z].
answer(to_float, F) :- F is float(2 ^ 70).
answer(back_small, X) :- X is 2 ^ 70 - 2 ^ 70 + 5.
answer(abs_sign, L) :- A is abs(-(2 ^ 80)), B is sign(-(2 ^ 80)), C is -(-(2 ^ 63)), L = [A, B, C].
answer(minmax, L) :- A is max(2 ^ 70, 3), B is min(-(2 ^ 70), 3), L = [A, B].
