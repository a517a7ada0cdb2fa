% findall/3,4, bagof/3, setof/3 with ^.

t(findall, L, findall(X, member(X, [c, a, b]), L)).
t(findall_empty, L, findall(X, fail, L)).
t(findall_copies, L-Y, findall(f(X, Y), member(X, [1, 2]), L)).
t(findall_tail, L, findall(X, member(X, [1, 2]), L, [end])).
t(findall_check, yes, findall(X, member(X, [1, 2]), [1, 2])).
t(findall_nested, L, findall(X-Ys, (member(X, [1, 2]), findall(Y, member(Y, [X, X]), Ys)), L)).
t(findall_unbound_goal, x, findall(_, _, _)).
t(findall_number_goal, x, findall(_, 4, _)).
x(findall_bad_list, x, findall(X, member(X, [1]), [a|b]), error(type_error(list, [a|b]))).
t(findall_goal_error, x, findall(X, (X = 1 ; X is foo), _)).
t(findall_meta, L, call(findall, X, member(X, [z]), L)).
% Many solutions, solutions larger than the store's first chunks, boxes,
% atoms made inside the goal and collected meanwhile, a findall left by an
% exception.
upto(N, N0, X) :- N0 =< N, ( X = N0 ; N1 is N0 + 1, upto(N, N1, X) ).
t(findall_many, N-F-La, (findall(f(I, [I|_], 2.5, 12345678901234567890123), upto(3000, 1, I), L), length(L, N),
                         L = [F|_], last_of(L, La))).
t(findall_large_solution, N-La, (findall(L0, (upto(2, 1, K), findall(J, upto(1000, K, J), L0)), [L1, L2]),
                                 length(L1, N), last_of(L2, La))).
t(findall_atoms_collected, L, findall(A, (upto(3, 1, I), number_codes(I, Cs), atom_codes(A, [0'z|Cs]),
                                          prolog:garbage_collect_atoms), L)).
t(findall_after_exception, L, (catch(findall(I, (upto(500, 1, I), I > 400, throw(out)), _), out, true),
                               findall(I, upto(3, 1, I), L))).
last_of([X], X) :- !.
last_of([_|Xs], X) :- last_of(Xs, X).
x(findall_attributes_dropped, V, (freeze(X, true), findall(X, true, [C]), ( frozen_var(C) -> V = kept ; V = dropped )), [dropped]).

t(bagof, L, bagof(X, member(X, [b, a, b]), L)).
t(bagof_fails, x, bagof(X, fail, _)).
t(bagof_free, Y-L, bagof(X, member(X-Y, [1-a, 2-b, 3-a]), L)).
t(bagof_caret, L, bagof(X, Y^member(X-Y, [1-a, 2-b, 3-a]), L)).
t(bagof_caret_nested, L, bagof(X, Y^Z^member(X-Y-Z, [1-a-x, 2-b-y]), L)).
t(bagof_free_unbound_witness, Y-L, bagof(X, member(X-Y, [1-Z, 2-Z]), L)).
t(bagof_variant_witness, L, bagof(X, Y^member(X-Y, [1-f(_), 2-f(_)]), L)).
t(bagof_unbound_goal, x, bagof(_, _, _)).
t(bagof_caret_unbound, x, bagof(_, _^_, _)).
t(bagof_number_goal, x, bagof(_, 1, _)).
x(bagof_bad_list, x, bagof(X, member(X, [1]), [a|b]), error(type_error(list, [a|b]))).

t(setof, L, setof(X, member(X, [c, a, b, a]), L)).
t(setof_free, Y-L, setof(X, member(X-Y, [3-a, 2-b, 1-a]), L)).
t(setof_caret, L, setof(X, Y^member(X-Y, [3-a, 2-b, 1-a]), L)).
t(setof_fails, x, setof(X, fail, _)).
t(setof_templates, L, setof(X-Y, member(X-Y, [2-a, 1-b, 1-a]), L)).
x(caret_call, X, Y^(X = Y), [_]).

member(X, [X|_]).
member(X, [_|T]) :- member(X, T).

frozen_var(V) :- prolog:'$get_cva'(V, _, G), G \== [].
