% Mutable terms, compiled inline; the reference system has none, so the
% answers are compared with mutables.expected.

answer(update, V) :- create_mutable(a, M), update_mutable(f(b), M), get_mutable(V, M).
answer(undone_by_backtracking, V) :- create_mutable(1, M), ( update_mutable(2, M), fail ; true ), get_mutable(V, M).
answer(kept_on_success, V) :- create_mutable(1, M), ( update_mutable(2, M) ; true ), get_mutable(V, M).
answer(is_mutable, yes) :- create_mutable(x, M), get_mutable(x, M).
