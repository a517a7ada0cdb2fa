% Arithmetic edge cases of the untagged integer path and the evaluable
% functions on which both systems agree.

answer(add_overflow, X) :- X is 9223372036854775807 + 1.
answer(sub_overflow, X) :- X is -9223372036854775808 - 1.
answer(mul_overflow, X) :- X is 4294967296 * 4294967296.
answer(neg_min, X) :- X is -(-9223372036854775808).
answer(div_min, X) :- X is -9223372036854775808 // -1.
answer(abs_min, X) :- X is abs(-9223372036854775808).
answer(mod_rem_div, L) :- A is -7 mod 2, B is -7 rem 2, C is -7 div 2, D is -7 // 2, E is 7 mod -2, F is 7 rem -2, L = [A, B, C, D, E, F].
answer(shifts, L) :- A is 1 << 62, B is 1 << 63, C is 5 >> 100, D is -5 >> 100, E is 5 << -1, F is 1 << 64, L = [A, B, C, D, E, F].
answer(shift_big_count, A) :- A is 5 >> (1 << 70).
answer(small_boundary, L) :- A is 1152921504606846975 + 1, B is -1152921504606846976 - 1, C is A - 1, L = [A, B, C].
answer(powers, L) :- A is 1 ^ -5, B is -1 ^ -3, C is -1 ^ 4, D is 0 ^ 0, E is 2 ^ 62, L = [A, B, C, D, E].
answer(float_div, L) :- A is 7 / 2, B is 1 / 4, L = [A, B].
answer(rounding, L) :- A is round(2.5), B is truncate(-2.5), C is round(1.0e20), L = [A, B, C].
answer(min_max, L) :- A is min(2, 3), B is max(2, 3), C is max(1.5, 1), L = [A, B, C].
answer(gcd, L) :- A is gcd(0, 5), B is gcd(12, -18), C is gcd(0, 0), L = [A, B, C].
answer(msb, L) :- A is msb(1), B is msb(1 << 62), L = [A, B].
answer(fpart, X) :- X is float_fractional_part(-2.25).
answer(compare_big_float, yes) :- 2 ^ 60 + 1 =:= 2.0 ^ 60.
answer(imm_ops, L) :- X = 1000000007, A is X * 3, B is X // 7, C is X mod 13, D is X rem -13, E is X /\ 255, F is X \/ 1, G is X xor 1, H is X div -3, L = [A, B, C, D, E, F, G, H].
answer(compare_imm, L) :- X = 5, ( X =:= 5 -> A = t ; A = f ), ( X =\= 5 -> B = t ; B = f ), ( X < 6 -> C = t ; C = f ), ( X >= 6 -> D = t ; D = f ), ( X > 4 -> E = t ; E = f ), ( X =< 4 -> F = t ; F = f ), L = [A, B, C, D, E, F].
