% Mutable terms, compiled inline; the reference system has none, so the
% answers are compared with mutables.expected.

answer(update, V) :- create_mutable(a, M), update_mutable(f(b), M), get_mutable(V, M).
answer(undone_by_backtracking, V) :- create_mutable(1, M), ( update_mutable(2, M), fail ; true ), get_mutable(V, M).
answer(kept_on_success, V) :- create_mutable(1, M), ( update_mutable(2, M) ; true ), get_mutable(V, M).
answer(is_mutable, yes) :- create_mutable(x, M), get_mutable(x, M).
answer(nested_undo, V) :-
    create_mutable(1, M), update_mutable(2, M),
    (   update_mutable(3, M), ( update_mutable(4, M), fail ; true ), get_mutable(V, M)
    ;   get_mutable(V, M)
    ).
answer(updated_in_a_loop, V) :- create_mutable(0, M), count_up(M, 5), get_mutable(V, M).
answer(loop_undone, V) :- create_mutable(0, M), ( count_up(M, 5), fail ; get_mutable(V, M) ).

count_up(_, 0) :- !.
count_up(M, N) :- get_mutable(V, M), V1 is V + 1, update_mutable(V1, M), N1 is N - 1, count_up(M, N1).
