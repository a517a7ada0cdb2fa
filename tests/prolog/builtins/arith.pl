% Arithmetic: is/2 and the comparisons, compiled and called through
% call/N, with expressions built at run time; between/3, succ/2, plus/3.

t(is_compiled, X, X is 1 + 2 * 3).
t(is_meta, X, call(is, X, 7 - 2)).
x(is_runtime_expression, X, (E = 2 ** 3 + max(4, 9) // 2, X is E), [12.0]).
t(is_runtime_nested, X, (E = -(abs(-3) * float(2)), X is E)).
t(is_bigint, X, (E = 2 ^ 100, X is E)).
t(is_float_int_mix, X, (E = 1 + 0.5, X is E)).
t(is_pi, yes, (X is pi, X > 3.14, X < 3.15)).
t(is_unbound, x, _ is _ + 1).
t(is_unbound_meta, x, call(is, _, _)).
t(is_not_evaluable_atom, x, _ is foo + 1).
t(is_not_evaluable_compound, x, _ is foo(1)).
t(is_not_evaluable_runtime, x, (E = 1 + bar(2, 3), _ is E)).
t(is_zero_divisor, x, _ is 1 // 0).
t(is_zero_divisor_runtime, x, (E = 1 // 0, _ is E)).
t(is_int_division, X, X is 7 // -2).
t(is_mod, X, X is -7 mod 2).
t(is_rem, X, X is -7 rem 2).
t(is_shift, X, X is 1 << 70).
x(is_atom_string, x, _ is "ab", error(type_error(evaluable, '.'/2))).
t(is_undefined, x, _ is sqrt(-1.0)).
t(is_float_overflow, x, _ is 1.0e308 * 10).
% An overflow names the expression evaluated, with its operands.
x(overflow_expression, E, (member(G, [_ is 1.0e308 * 10, _ is exp(1000), _ is 1.0e308 + 1.0e308 - 1, 1.0e308 * 2 > 1]),
                           catch(G, error(evaluation_error(float_overflow), evaluation_error(_:'$eval'(_:E), 1, _)), true)),
  [1.0e308 * 10, exp(1000), 1.0e308 + 1.0e308, 1.0e308 * 2]).
t(is_integer_overflow_free, X, X is 9223372036854775807 + 1).
t(is_check, yes, 3 is 1 + 2).
t(is_check_fails, yes, \+ 3 is 1 + 1).
t(is_check_float, yes, \+ 3 is 1.5 + 1.5).

t(compare_lt, yes, 1 < 2).
t(compare_mixed, yes, 1 =:= 1.0).
t(compare_ne, yes, 1 =\= 2).
t(compare_meta, yes, call(>=, 2, 2)).
t(compare_runtime, yes, (A = 3 * 2, B = 2 + 4, A =:= B)).
t(compare_unbound, x, _ < 1).
t(compare_not_evaluable, x, a < 1).
x(compare_not_evaluable_meta, x, call(=<, 1, f(a)), error(type_error(evaluable, f/1))).

t(between, L, findall(X, between(1, 3, X), L)).
t(between_check, yes, between(1, 3, 2)).
t(between_out, yes, \+ between(1, 3, 4)).
t(between_empty, L, findall(X, between(3, 1, X), L)).
t(between_inf, L, findall(X, (between(1, inf, X), (X >= 3, ! ; true)), L)).
t(between_unbound, x, between(_, 3, _)).
t(between_not_integer, x, between(1, a, _)).
t(between_bad_x, x, between(1, 3, a)).
t(between_big, L, findall(X, between(100000000000000000000, 100000000000000000001, X), L)).
t(between_last_deterministic, yes, (between(1, 2, X), X == 2, !)).

t(succ_up, Y, succ(3, Y)).
t(succ_down, X, succ(X, 4)).
t(succ_zero, x, succ(_, 0)).
t(succ_check, yes, succ(1, 2)).
t(succ_both_unbound, x, succ(_, _)).
t(succ_negative, x, succ(-1, _)).
t(succ_not_integer, x, succ(a, _)).
t(succ_not_integer_2, x, succ(_, a)).
t(plus, Z, plus(1, 2, Z)).
t(plus_y, Y, plus(1, Y, 5)).
t(plus_x, X, plus(X, -2, 5)).
t(plus_check, yes, plus(2, 3, 5)).
t(plus_check_fails, yes, \+ plus(2, 3, 6)).
t(plus_unbound, x, plus(1, _, _)).
t(plus_unbound_x, x, plus(_, _, 3)).
t(plus_not_integer, x, plus(a, 1, _)).
t(plus_float, x, plus(1, 2.0, _)).
t(plus_not_integer_3, x, plus(1, 2, a)).
t(plus_big, Z, plus(9223372036854775807, 1, Z)).

member(X, [X|_]).
member(X, [_|T]) :- member(X, T).
