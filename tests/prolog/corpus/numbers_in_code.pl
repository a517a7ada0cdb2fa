% Boxed numbers in every position of compiled code: head arguments, structure
% arguments in read and write mode, call arguments, arithmetic operands.

facts(1.5, 123456789012345678901234567890, -3.25e10, f(2.5, -98765432109876543210, 7)).
facts(a, 9223372036854775807, -9223372036854775808, [0.5, 1152921504606846976]).

pass(X, Y) :- take(1.25, X, g(3.5, 170141183460469231731687303715884105727), Y).
take(A, A, S, S).

in_struct(s(1.5, 2)).
in_struct(s(2, 340282366920938463463374607431768211456)).

answer(facts, A/B/C/D) :- facts(A, B, C, D).
answer(facts_match, yes) :- facts(1.5, 123456789012345678901234567890, _, f(2.5, _, 7)).
answer(facts_mismatch, yes) :- facts(1.5, 123456789012345678901234567891, _, _).
answer(pass, X-Y) :- pass(X, Y).
answer(in_struct, X) :- in_struct(s(X, _)).
answer(in_struct_big, X) :- in_struct(s(_, X)).
answer(in_struct_match, yes) :- in_struct(s(2, 340282366920938463463374607431768211456)).
answer(arith_large, L) :- A is 2.5 * 4, B is 123456789012345678901234567890 // 10, C is 1 + 1.0e20, D is 1.5 + 170141183460469231731687303715884105727, L = [A, B, C, D].
answer(compare_large, L) :- ( 1.0e20 > 99999999999999999999 -> A = gt ; A = le ), ( 3 < 1.5e1 -> B = lt ; B = ge ), L = [A, B].
answer(store_large, yes) :- 2.5 is 5 / 2, 1267650600228229401496703205376 is 2 ^ 100.
