% One-dimensional arrays, hash dictionaries, flags, choicepoint references
% and unifiers, called from compiled code; the reference system has none of
% them, so the answers are compared with arrays.expected.

answer(new_from_list, A) :- '$array1d_new'([a, f(b), 3], A).
answer(new_empty, A) :- '$array1d_new'(0, A).
answer(new_refused, X) :- ( '$array1d_new'([a|_], _) -> X = made ; X = refused ).
answer(nth, X) :- '$array1d_new'([a, b, c], A), '$array1d_nth'(A, 3, X).
answer(nth_out_of_range, X) :- '$array1d_new'([a], A), ( '$array1d_nth'(A, 2, _) -> X = found ; X = none ).
answer(set_in_place, A-New) :- '$array1d_new'([a, b], A), '$array1d_set_nth'(A, 1, z, New).
answer(set_under_a_choicepoint, A-B) :-
    '$array1d_new'([a, b], A),
    ( '$array1d_set_nth'(A, 2, z, B) ; B = none ).
answer(length, A-B) :-
    '$array1d_new'([a, b, c], A0), '$array1d_set_length'(2, A0, New), A = A0-New,
    '$array1d_new'([x], B0), '$array1d_set_length'(2, B0, B1), '$array1d_set_nth'(B1, 2, y, _), B = B1.

% Longer than the stacks at start-up: the heap grows for it.
answer(large_array, N-E) :-
    '$array1d_new'(1000000, A), '$array1d_set_nth'(A, 1000000, last, New), New == [],
    '$array1d_nth'(A, 1000000, E), A = '$array1d'(N, _).

answer(dict_get, V) :- dict([a-1, f(x)-2, -3-3, 2.5-4], D), '$array1d_dict_get'(D, f(x), V).
answer(dict_negative_key, V) :- dict([-1-minus_one, -5-minus_five], D), '$array1d_dict_get'(D, -5, V).
answer(dict_items, L) :- dict([0-zero, 1-one, 2-two], D), '$array1d_dict_items'(D, L).
answer(dict_grows, C) :- dict([1-a, 2-b, 3-c, 4-d, 5-e], D), D = '$array1d'(_, [_, _, _, C|_]).
answer(dict_copied_under_a_choicepoint, V-W) :-
    dict([a-1], D),
    ( put(D, a, 2, D2), '$array1d_dict_get'(D2, a, W) ; W = none ),
    '$array1d_dict_get'(D, a, V).
answer(dict_delete, X) :-
    dict([a-1, b-2], D), '$array1d_dict_delete'(D, a, New), ( New == [] -> D1 = D ; D1 = New ),
    ( '$array1d_dict_get'(D1, a, _) -> X = found ; X = gone ).
answer(dict_marker_refused, X) :-
    '$array1d_dict_new'(D), ( put(D, k, '$uninit', _) -> X = stored ; X = refused ).
answer(dict_variable_key, X) :- '$array1d_dict_new'(D), ( put(D, f(_), 1, _) -> X = stored ; X = refused ).

answer(flag, Old-Now) :- '$double_quotes'(Old, chars), '$double_quotes'(Now, Old).
answer(flag_refused, X-Y) :-
    ( '$double_quotes'(_, string) -> X = set ; X = refused ),
    ( '$multiple_flag'(M, suppress), '$multiple_flag'(_, M) -> Y = set ; Y = refused ).
answer(version, V) :- '$version_data'(A, B, C, D), V = [A, B, C, D].
answer(range, R) :- '$tagged_integer_range'(Min, Max), R = Min-Max.

answer(clean_up, X) :- '$nth_choicepoint'(0, Ref), alt(X), '$clean_up'(Ref, 1).
answer(no_clean_up, X) :- '$nth_choicepoint'(0, Ref), alt(X), '$clean_up'(Ref, 2).
answer(mgu, A1-A2-Unbound) :-
    '$mgu_variables'(f(X, b), f(a, Y), [V1 = A1, V2 = A2]),
    ( var(X), var(Y), V1 == X, V2 == Y -> Unbound = yes ; Unbound = no ).
answer(block, S) :- '$block'(user:blk(-, ?), _), '$block'(user:blk(-, -), _), '$block_declaration'(blk(_, _), user, S).
answer(meta, S) :- '$meta_predicate'(user:mp(0, +, foo), _), '$meta_declaration'(mp(_, _, _), user, S).

alt(a).
alt(b).

blk(_, _).
mp(_, _, _).

dict(Pairs, D) :- '$array1d_dict_new'(D0), puts(Pairs, D0, D).

puts([], D, D).
puts([K-V|Pairs], D0, D) :- put(D0, K, V, D1), puts(Pairs, D1, D).

put(D0, K, V, D) :- '$array1d_dict_put'(D0, K, V, New), ( New == [] -> D = D0 ; D = New ).
