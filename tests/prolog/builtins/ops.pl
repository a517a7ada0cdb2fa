% Operators: op/3 and current_op/3, their modes and errors. Every case that
% changes the table puts it back, since the cases share one table.

t(current_op_infix, P-T, current_op(P, T, is)).
t(current_op_both, yes, (current_op(200, fy, -), current_op(500, yfx, -))).
t(current_op_names, yes, forall(member(O, [=, \=, ==, \==, @<, @>, @=<, @>=, =.., is, =:=, =\=, <, >, =<, >=]), current_op(700, xfx, O))).
t(current_op_type, yes, forall(member(O-T, [(:-)-xfx, (-->)-xfx, (:-)-fx, (?-)-fx]), current_op(1200, T, O))).
t(current_op_type_enum, N, (findall(T, current_op(_, T, :-), L), length(L, N), member(fx, L), member(xfx, L))).
t(current_op_check, yes, current_op(1000, xfy, ',')).
t(current_op_not_op, x, current_op(_, _, foo)).
t(current_op_bad_priority, x, current_op(1201, _, _)).
x(current_op_priority_atom, x, current_op(a, _, _), error(domain_error(operator_priority, a))).
t(current_op_bad_type, x, current_op(_, yfy, _)).
x(current_op_type_integer, x, current_op(_, 1, _), error(domain_error(operator_specifier, 1))).
t(current_op_name_integer, x, current_op(_, _, 1)).

t(op_new, P-T, (op(710, xfx, ===>), current_op(P, T, ===>), op(0, xfx, ===>))).
t(op_list, N, (op(710, xfy, [aa, bb]), findall(O, current_op(710, xfy, O), L), length(L, N), member(aa, L), member(bb, L),
                op(0, xfy, [aa, bb]))).
t(op_removed, x, (op(710, xfx, ===>), op(0, xfx, ===>), current_op(_, _, ===>))).
t(op_replace, P-T, (op(710, xfx, ===>), op(720, xfy, ===>), current_op(P, T, ===>), op(0, xfy, ===>))).
t(op_prefix_and_infix, yes, (op(200, xfx, ++), op(200, fy, ++), current_op(_, xfx, ++), current_op(_, fy, ++), op(0, xfx, ++), op(0, fy, ++))).
t(op_change_standard, P-T, (op(650, xfx, is), current_op(P, T, is), op(700, xfx, is))).
t(op_remove_standard, L, (op(0, yfx, mod), findall(T, current_op(_, T, mod), L), op(400, yfx, mod))).
t(op_empty_list, yes, op(700, xfx, [])).
t(op_bar_high, P-T, (op(1100, xfy, '|'), current_op(P, T, '|'))).

t(op_priority_var, x, op(_, xfx, foo)).
t(op_specifier_var, x, op(700, _, foo)).
t(op_name_var, x, op(700, xfx, _)).
t(op_name_partial, x, op(700, xfx, [foo|_])).
t(op_name_elem_var, x, op(700, xfx, [foo, _])).
t(op_priority_atom, x, op(a, xfx, foo)).
t(op_priority_range, x, op(1201, xfx, foo)).
t(op_priority_negative, x, op(-1, xfx, foo)).
t(op_specifier_atom, x, op(700, 1, foo)).
t(op_specifier_bad, x, op(700, yfy, foo)).
t(op_name_integer, x, op(700, xfx, 1)).
t(op_name_elem_integer, x, op(700, xfx, [foo, 1])).
t(op_name_compound, x, op(700, xfx, f(x))).
t(op_comma, x, op(700, xfx, ',')).
t(op_comma_list, x, op(700, xfx, [foo, ','])).
t(op_bar_low, x, op(700, xfx, '|')).
t(op_bar_prefix, x, op(1150, fx, '|')).
% No operator is both infix and postfix, and '{}' is none: the standard's
% errors, where the reference system accepts the change.
x(op_curly, x, op(700, xfx, '{}'), error(permission_error(create, operator, '{}'))).
x(op_infix_over_postfix, x, (op(200, xf, ~~), catch(op(200, xfx, ~~), E, true), op(0, xf, ~~), nonvar(E), throw(E)),
  error(permission_error(create, operator, ~~))).
x(op_postfix_over_infix, x, op(200, xf, is), error(permission_error(create, operator, is))).

member(X, [X|_]).
member(X, [_|T]) :- member(X, T).
