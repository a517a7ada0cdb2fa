% current_prolog_flag/2 and set_prolog_flag/2.

t(bounded, V, current_prolog_flag(bounded, V)).
x(max_arity, V, current_prolog_flag(max_arity, V), [255]).
t(rounding, V, current_prolog_flag(integer_rounding_function, V)).
x(unknown_default, V, current_prolog_flag(unknown, V), [error]).
t(unknown_fail, x, (set_prolog_flag(unknown, fail), call_undefined_thing, set_prolog_flag(unknown, error))).
t(unknown_restore, yes, (set_prolog_flag(unknown, error), catch(call_undefined_thing, error(existence_error(_, _), _), true))).
x(unknown_warning_fails, R, (set_prolog_flag(unknown, warning), ( call_undefined_thing -> R = ran ; R = failed ), set_prolog_flag(unknown, error)), [failed]).
x(double_quotes, V, (set_prolog_flag(double_quotes, atom), current_prolog_flag(double_quotes, V), set_prolog_flag(double_quotes, codes)), [atom]).
x(debug, V, (set_prolog_flag(debug, on), current_prolog_flag(debug, V), set_prolog_flag(debug, off)), [on]).
x(enumerate, yes, (current_prolog_flag(F, _), F == bounded, !), [yes]).
t(set_unbound_flag, x, set_prolog_flag(_, on)).
t(set_unbound_value, x, set_prolog_flag(debug, _)).
t(set_not_atom, x, set_prolog_flag(1, on)).
t(set_read_only, x, set_prolog_flag(bounded, true)).
x(set_unknown_flag, x, set_prolog_flag(no_such_flag, on), error(domain_error(prolog_flag, no_such_flag))).
x(set_bad_value, x, set_prolog_flag(debug, maybe), error(domain_error(flag_value, debug+maybe))).
x(set_bad_unknown, x, set_prolog_flag(unknown, sometimes), error(domain_error(flag_value, unknown+sometimes))).
t(current_not_atom, x, current_prolog_flag(1, _)).
x(current_unknown_flag, x, current_prolog_flag(no_such_flag, _), error(domain_error(prolog_flag, no_such_flag))).
x(argv_is_a_list, yes, (current_prolog_flag(argv, V), is_list(V)), [yes]).
x(argv_set, V, (current_prolog_flag(argv, Old), set_prolog_flag(argv, [a, 'b c']), current_prolog_flag(argv, V), set_prolog_flag(argv, Old)), [[a, 'b c']]).
x(argv_enumerated, yes, (current_prolog_flag(F, _), F == argv, !), [yes]).
x(argv_not_atoms, x, set_prolog_flag(argv, [a, 1]), error(domain_error(flag_value, argv+[a, 1]))).
x(argv_partial, R, (catch(set_prolog_flag(argv, [a|_]), error(domain_error(flag_value, _), _), R = refused)), [refused]).
x(argv_cyclic, R, (L = [a|L], catch(set_prolog_flag(argv, L), error(domain_error(flag_value, _), _), R = refused)), [refused]).
