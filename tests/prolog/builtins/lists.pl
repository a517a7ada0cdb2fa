% length/2.

t(length, N, length([a, b, c], N)).
t(length_check, yes, length([a, b], 2)).
t(length_check_fails, yes, \+ length([a, b], 3)).
t(length_make, L, length(L, 2)).
t(length_partial, L, length([a|L], 3)).
t(length_partial_too_long, x, length([a, b|_], 1)).
t(length_enumerate, L-N, (length(L, N), N >= 2, !)).
t(length_enumerate_partial, L-N, (L = [a|_], length(L, N), N >= 2, !)).
t(length_negative, x, length(_, -1)).
t(length_not_integer, x, length(_, a)).
t(length_not_list, x, length([a|b], _)).
t(length_meta, N, call(length, [x], N)).
x(length_cyclic, T, (L = [a|L], catch(length(L, _), error(type_error(T, _), _), true)), [list]).
x(is_list_cyclic, R, (L = [a, b|L], ( is_list(L) -> R = yes ; R = no )), [no]).
x(is_list_partial, R, (( is_list([a|_]) -> R = yes ; R = no )), [no]).
t(length_same_variable, yes, \+ length(L, L)).
t(length_tail_is_length, yes, \+ length([a|T], T)).
t(length_element_is_length, X, length([X], X)).
