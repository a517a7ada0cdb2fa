% The list library (library/lists.pl): answers of each mode, failure on what
% is no list, and the errors of the predicates that check their arguments.

sum3(A, B, C, D) :- D is A + B + C.
mul_add(X, Y, A0, A) :- A is A0 + X * Y.
add3(X, Y, Z, A0, A) :- A is A0 + X + Y + Z.
cons(X, T, [X|T]).

t(append_join, L, append([a, b], [c], L)).
t(append_split, X-Y, append(X, Y, [a, b])).
t(append_suffix, L, append([a], L, [a, b, c])).
t(append_not_list, yes, \+ append(a, [], _)).
t(member, X, member(X, [a, b, c])).
t(member_partial, L, (member(a, L), !)).
t(member_not_list, yes, \+ member(_, foo)).
t(memberchk_first, X, memberchk(f(X), [f(1), f(2)])).
t(memberchk_partial, L, memberchk(a, L)).
t(reverse, L, reverse([1, 2, 3], L)).
t(reverse_backward, L, reverse(L, [1, 2, 3])).
t(reverse_partial, L-T, (reverse([a|T], L), !)).
t(nth0, E, nth0(1, [a, b, c], E)).
t(nth1, E, nth1(1, [a, b, c], E)).
t(nth0_enumerate, I-E, nth0(I, [a, b], E)).
t(nth1_enumerate, I-E, nth1(I, [a, b], E)).
t(nth1_find, I, nth1(I, [a, b, a], a)).
t(nth0_out_of_range, yes, \+ nth0(3, [a, b, c], _)).
t(nth0_negative, yes, \+ nth0(-1, [a], _)).
t(nth1_zero, yes, \+ nth1(0, [a], _)).
t(nth0_partial, L, nth0(2, L, x)).
t(nth0_not_integer, x, nth0(a, [a], _)).
t(nth1_not_integer, x, nth1(1.0, [a], _)).
t(last, X, last([a, b, c], X)).
t(last_empty, yes, \+ last([], _)).
t(sum_list, S, sum_list([1, 2, 3.5], S)).
t(sum_list_empty, S, sum_list([], S)).
t(sum_list_not_number, x, sum_list([a], _)).
t(max_list, M, max_list([3, 1, 4, 1, 5], M)).
t(min_list, M, min_list([3, 1, 4], M)).
t(max_list_empty, yes, \+ max_list([], _)).
t(numlist, L, numlist(1, 5, L)).
t(numlist_one, L, numlist(3, 3, L)).
t(numlist_empty, yes, \+ numlist(5, 1, _)).
t(numlist_var, x, numlist(_, 3, _)).
t(numlist_not_integer, x, numlist(1, a, _)).
t(maplist_check, yes, maplist(atom, [a, b])).
t(maplist_fails, yes, \+ maplist(atom, [a, 1])).
t(maplist_map, L, maplist(succ, [1, 2, 3], L)).
t(maplist_backward, L, maplist(succ, L, [1, 2, 3])).
t(maplist_closure, L, maplist(plus(1), [1, 2], L)).
t(maplist_4, L, maplist(plus, [1, 2], [10, 20], L)).
t(maplist_5, L, maplist(sum3, [1, 2], [3, 4], [5, 6], L)).
t(maplist_lengths, yes, \+ maplist(=, [a], [a, b])).
t(maplist_open, L, (length(L, 2), maplist(=(x), L))).
t(foldl, S, foldl(plus, [1, 2, 3], 0, S)).
t(foldl_order, L, foldl(cons, [a, b, c], [], L)).
t(foldl_5, S, foldl(mul_add, [1, 2], [3, 4], 0, S)).
t(foldl_6, S, foldl(add3, [1], [2], [3], 0, S)).
t(include, L, include(integer, [a, 1, b, 2], L)).
t(include_binds, L-X, include(=(f(X)), [f(1), f(2)], L)).
t(exclude, L, exclude(integer, [a, 1, b, 2], L)).
t(partition, I-E, partition(integer, [a, 1, b, 2], I, E)).
t(delete, L, delete([a, b, a, c], a, L)).
t(delete_unifying, L-X, delete([f(1), g, f(2)], f(X), L)).
t(select, X-R, select(X, [a, b, c], R)).
t(select_insert, L, select(x, L, [a, b])).
t(subtract, L, subtract([a, b, c, a], [a], L)).
t(permutation, P, permutation([1, 2, 3], P)).
t(permutation_backward, P, permutation(P, [1, 2])).
t(permutation_check, yes, permutation([a, b, a], [a, a, b])).
t(permutation_lengths, yes, \+ permutation([a], [a, b])).
t(permutation_open, X-Y, (permutation(X, Y), !)).
t(permutation_not_list, x, permutation(a, _)).
t(list_to_set, S, list_to_set([a, b, a, c, b], S)).
t(list_to_set_identical, S, list_to_set([f(X), f(_), f(X), 1, 1.0, 1], S)).
t(list_to_set_partial, x, list_to_set([a|_], _)).
t(list_to_set_not_list, x, list_to_set(a, _)).
x(list_to_set_cyclic, T, (L = [a|L], catch(list_to_set(L, _), error(type_error(T, _), _), true)), [list]).
x(list_library_module, M, predicate_property(append(_, _, _), imported_from(M)), [lists]).

% The libraries' meta declarations are made in their modules.
x(list_library_meta, S, predicate_property(apply:maplist(_, _), meta_predicate(S)), [maplist(1, ?)]).

% The rest of the library: append/2, nth0/4 and nth1/4 in each mode, the
% neighbours and lengths, flatten/2, the members by standard order, the
% selections and the set operations.
t(append_2, L, append([[a], [], [b, c]], L)).
t(append_2_split, X-Y, append([X, Y], [a, b])).
t(append_2_partial, x, append(_, [a])).
t(append_2_not_list, x, append(foo, _)).
t(nth0_4, E-R, nth0(1, [a, b, c], E, R)).
t(nth1_4, E-R, nth1(1, [a, b, c], E, R)).
t(nth0_4_insert, L, nth0(1, L, x, [a, b])).
t(nth1_4_enumerate, I-E-R, nth1(I, [a, b], E, R)).
t(nth0_4_out_of_range, yes, \+ nth0(2, [a, b], _, _)).
x(nth0_4_not_integer, x, catch(nth0(a, [a], _, _), error(type_error(integer, a), _), true), [x]).
t(nextto, X-Y, nextto(X, Y, [a, b, c])).
t(nextto_check, yes, nextto(b, c, [a, b, c])).
t(same_length, L, same_length([a, b], L)).
t(same_length_enum, X-Y, (same_length(X, Y), !)).
t(proper_length, N, proper_length([a, b, c], N)).
t(proper_length_partial, yes, \+ proper_length([a|_], _)).
t(flatten, L, flatten([a, [b, [c, d], []], e], L)).
t(flatten_var, L-X, flatten([X, [a]], L)).
t(flatten_atom, L, flatten(a, L)).
t(sumlist, S, sumlist([1, 2.5], S)).
t(max_member, M, max_member(M, [b, f(a), 3, "x"])).
t(min_member, M, min_member(M, [b, f(a), 3, 2.0])).
t(max_member_empty, yes, \+ max_member(_, [])).
t(selectchk, R, selectchk(a, [b, a, c, a], R)).
t(select_4, X-R, select(X, [a, b], z, R)).
t(select_4_given, R, select(b, [a, b, c], z, R)).
t(intersection, L, intersection([a, b, c, a], [c, a], L)).
t(union, L, union([a, b, d], [b, c], L)).
t(is_set, yes, is_set([a, b, f(X), f(Y), X])).
t(is_set_not, yes, \+ is_set([a, b, a])).
t(is_set_partial, yes, \+ is_set([a|_])).
t(subset, yes, subset([a, c], [c, b, a])).
t(subset_not, yes, \+ subset([a, d], [c, b, a])).
