% Float arithmetic.

answer(basic, L) :- A is 1.5 + 2.25, B is 10.0 - 0.1, C is 3.0 * 1.1, D is 7.0 / 2, L = [A, B, C, D].
answer(mixed, L) :- A is 1 + 0.5, B is 2 * 0.25, C is 7 / 2, D is 2.0 * 3, L = [A, B, C, D].
answer(conv, L) :- A is float(7), C is truncate(-3.7), D is floor(-3.5), E is ceiling(3.2), F is round(3.5), L = [A, C, D, E, F].
answer(parts, L) :- A is float_integer_part(-2.25), B is float_fractional_part(2.75), L = [A, B].
answer(funcs, L) :- A is sqrt(2.0), B is exp(1.0), C is log(10.0), D is sin(0.5), E is cos(0.5), F is atan(1.0), L = [A, B, C, D, E, F].
answer(more_funcs, L) :- A is tan(0.3), B is asin(0.5), C is acos(0.5), D is sinh(1.0), E is cosh(1.0), F is tanh(0.5), L = [A, B, C, D, E, F].
answer(atan2, A) :- A is atan2(1.0, -1.0).
answer(power, L) :- A is 2.0 ** 0.5, B is 2.5 ** 2, L = [A, B].
answer(abs_sign, L) :- A is abs(-2.5), B is sign(-2.5), C is sign(3.0), L = [A, B, C].
answer(compare, L) :- ( 1 =:= 1.0 -> A = eq ; A = ne ), ( 0.1 + 0.2 =:= 0.3 -> B = eq ; B = ne ), ( 2.5 < 3 -> C = lt ; C = ge ), L = [A, B, C].
answer(pi_e, L) :- A is pi, B is e, L = [A, B].
answer(small_values, L) :- A is 1.0e-300 * 1.0e-10, B is 2.0 ** -1074, L = [A, B].
answer(large_values, L) :- A is 1.0e300 * 1.0e8, B is 1.7976931348623157e308, L = [A, B].
answer(accumulate, S) :- sum_series(1, 1000, 0.0, S).

sum_series(I, N, S, S) :- I > N, !.
sum_series(I, N, S0, S) :- S1 is S0 + 1.0 / I, I1 is I + 1, sum_series(I1, N, S1, S).
