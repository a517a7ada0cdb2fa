% library(clpfd): distinctness.
%
% all_different(Xs): the values of Xs are pairwise different. A variable
% that becomes fixed has its value removed from the others (value
% elimination). all_distinct(Xs): the same, domain-consistent: every value
% that no assignment of all of Xs can use is removed (matching and strongly
% connected components). all_different/2 and all_distinct/2 take options:
% consistency(value) for value elimination, consistency(domain) (also
% global) for the matching, consistency(bounds) for bounds consistency
% (minima and maxima narrowed past Hall intervals);
% on(Event) (dom, min, max, minmax or val) is accepted and changes nothing.

all_different(Xs) :-
    Ctx = all_different(Xs),
    '$fd_must_be_vars'(Xs, Ctx, 1),
    '$fd_post_distinct'(value, Xs, Ctx).

all_different(Xs, Options) :-
    Ctx = all_different(Xs, Options),
    '$fd_must_be_vars'(Xs, Ctx, 1),
    '$fd_distinct_options'(Options, value, How, Ctx),
    '$fd_post_distinct'(How, Xs, all_different(Xs)).

all_distinct(Xs) :-
    Ctx = all_distinct(Xs),
    '$fd_must_be_vars'(Xs, Ctx, 1),
    '$fd_post_distinct'(domain, Xs, Ctx).

all_distinct(Xs, Options) :-
    Ctx = all_distinct(Xs, Options),
    '$fd_must_be_vars'(Xs, Ctx, 1),
    '$fd_distinct_options'(Options, domain, How, Ctx),
    '$fd_post_distinct'(How, Xs, all_distinct(Xs)).

'$fd_distinct_options'(Options, How0, How, Ctx) :-
    '$fd_must_be_list'(Options, Ctx, 2),
    '$fd_distinct_opts'(Options, How0, How, Ctx).

'$fd_distinct_opts'([], How, How, _).
'$fd_distinct_opts'([O|Os], How0, How, Ctx) :-
    (   var(O) -> '$fd_instantiation'(Ctx, 2)
    ;   O = consistency(C), atom(C), '$fd_consistency'(C, How1) -> true
    ;   O = on(E), atom(E), '$fd_distinct_event'(E) -> How1 = How0
    ;   '$fd_domain_error'(all_different_option, O, Ctx, 2)
    ),
    '$fd_distinct_opts'(Os, How1, How, Ctx).

'$fd_consistency'(value, value).
'$fd_consistency'(domain, domain).
'$fd_consistency'(global, domain).
'$fd_consistency'(bounds, bounds).

'$fd_distinct_event'(dom).
'$fd_distinct_event'(min).
'$fd_distinct_event'(max).
'$fd_distinct_event'(minmax).
'$fd_distinct_event'(val).

% The propagators take the variables as pairs p(X, Attribute); value
% elimination wakes when a variable is fixed, the matching on any change
% of a domain.
'$fd_post_distinct'(value, Xs, Shown) :-
    '$fd_distinct_pairs'(Xs, Pairs, Events, val),
    '$fd_post_global'(all_different(Xs), '$fd_all_different'(Pairs, 0, _, 0), 0, Shown, Events, _),
    '$fd_propagate'.
'$fd_post_distinct'(bounds, Xs, Shown) :-
    '$fd_distinct_pairs'(Xs, Pairs, Events, minmax),
    '$fd_post_global'(bc_alldiff(Xs), '$fd_bc_alldiff'(Pairs, 0, _, 0), 0, Shown, Events, _),
    '$fd_propagate'.
'$fd_post_distinct'(domain, Xs, Shown) :-
    '$fd_distinct_pairs'(Xs, Pairs, Events, dom),
    '$fd_post_global'(all_distinct(Xs), '$fd_all_distinct'(Pairs, 0, 0, 0, _, 0), 0, Shown, Events, _),
    '$fd_propagate'.

'$fd_distinct_pairs'([], [], [], _).
'$fd_distinct_pairs'([X|Xs], [p(X, A)|Ps], [E|Es], Event) :-
    '$fd_arg_attribute'(X, 0, A),
    E =.. [Event, X],
    '$fd_distinct_pairs'(Xs, Ps, Es, Event).

% element(I, Xs, V): V is the I-th element of Xs (I counts from 1), Xs a
% list of integers and domain variables. Over a list of integers the
% propagator is domain-consistent on I and V; over variables it keeps in I
% the indexes whose element can still equal V, and V within the union of
% those elements' domains, and makes V and the element equal once I is
% fixed. element_member(X, Xs): X equals at least one element of Xs.
% Both take the 0/1 variants of their propagators when every variable
% lies within 0..1 when they are posted.
element(I, Xs, V) :-
    Ctx = element(I, Xs, V),
    '$fd_var_or_int'(I, Ctx, 1),
    '$fd_must_be_vars'(Xs, Ctx, 2),
    '$fd_var_or_int'(V, Ctx, 3),
    length(Xs, N),
    N > 0,
    I in 1..N,
    '$fd_arg_attribute'(I, 0, AI),
    '$fd_arg_attribute'(V, 0, AV),
    (   '$fd_all_integers'(Xs)
    ->  L = Xs, Options = 3
    ;   '$fd_distinct_pairs'(Xs, L, _, dom), Options = 4
    ),
    '$fd_post_global'(element(I, L, V), '$fd_element'(p(I, AI), p(V, AV), L, Options, _, 0), 0,
                      element(I, Xs, V), [dom(I), dom(V)], _),
    '$fd_propagate'.

element_member(X, Xs) :-
    Ctx = element_member(X, Xs),
    '$fd_var_or_int'(X, Ctx, 1),
    '$fd_must_be_vars'(Xs, Ctx, 2),
    Xs \== [],
    length(Xs, N),
    '$fd_arg_attribute'(X, 0, AX),
    '$fd_distinct_pairs'(Xs, Ps, _, dom),
    '$fd_post_global'(element(X, Ps), '$fd_member'(p(X, AX), Ps, 1, N, _, 0), 0,
                      element_member(X, Xs), [dom(X)], _),
    '$fd_propagate'.

'$fd_all_integers'([]).
'$fd_all_integers'([X|Xs]) :- integer(X), '$fd_all_integers'(Xs).


% table(Tuples, Relation), table(Tuples, Relation, Options): every list of
% Tuples (variables and integers, all of one length k) is a row of the
% relation, a list of lists of k integers. One table is built for all the
% lists and shared by their propagators (compact tables: the valid rows as
% a sparse bit set, domain-consistent). Options: method(compact) (the only
% method, and the default).
table(Tuples, Relation) :-
    '$fd_table'(Tuples, Relation, table(Tuples, Relation)).

table(Tuples, Relation, Options) :-
    Ctx = table(Tuples, Relation, Options),
    '$fd_must_be_list'(Options, Ctx, 3),
    '$fd_table_options'(Options, Ctx),
    '$fd_table'(Tuples, Relation, Ctx).

'$fd_table'(Tuples, Relation, Ctx) :-
    '$fd_must_be_list'(Tuples, Ctx, 1),
    '$fd_must_be_list'(Relation, Ctx, 2),
    '$fd_table_rows'(Tuples, K, Ctx),
    '$fd_table_relation'(Relation, K, Ctx),
    (   Tuples == [] -> true
    ;   Relation == [] -> fail
    ;   K =:= 0 -> true
    ;   '$fd_table_common'(Relation, K, Tuples, Common),
        '$fd_table_post'(Tuples, Common, Relation),
        '$fd_propagate'
    ).

'$fd_table_options'([], _).
'$fd_table_options'([O|Os], Ctx) :-
    (   var(O) -> '$fd_instantiation'(Ctx, 3)
    ;   O == method(compact) -> true
    ;   '$fd_domain_error'(table_option, O, Ctx, 3)
    ),
    '$fd_table_options'(Os, Ctx).

% Every row a proper list of variables and integers, all of length K.
'$fd_table_rows'([], _, _).
'$fd_table_rows'([R|Rs], K, Ctx) :-
    '$fd_must_be_vars'(R, Ctx, 1),
    length(R, K0),
    (   K = K0 -> true ; '$fd_domain_error'(table_row_length(K), R, Ctx, 1) ),
    '$fd_table_rows'(Rs, K, Ctx).

'$fd_table_relation'([], _, _).
'$fd_table_relation'([T|Ts], K, Ctx) :-
    '$fd_must_be_list'(T, Ctx, 2),
    '$fd_table_integers'(T, Ctx),
    length(T, K0),
    (   K = K0 -> true ; '$fd_domain_error'(table_row_length(K), T, Ctx, 2) ),
    '$fd_table_relation'(Ts, K, Ctx).

'$fd_table_integers'([], _).
'$fd_table_integers'([X|Xs], Ctx) :-
    (   var(X) -> '$fd_instantiation'(Ctx, 2)
    ;   integer(X), '$fd_small'(X) -> true
    ;   integer(X) -> '$fd_past_small'(X, Ctx)
    ;   '$fd_type'(integer, X, Ctx, 2)
    ),
    '$fd_table_integers'(Xs, Ctx).

% The table: each column's distinct values are its entries, numbered on
% from the previous column's; each row lists its entry per column.
'$fd_table_common'(Relation, K, Users, Common) :-
    length(Users, N),
    '$fd_table_columns'(Relation, 0, K, 0, Entries, Assocs),
    '$fd_table_encode'(Relation, Assocs, Encoded),
    '$fd_compact_table_common'(Encoded, Entries, N, K, Common).

'$fd_table_columns'(_, K, K, _, [], []) :- !.
'$fd_table_columns'(Rows, C, K, E0, Entries, [A|As]) :-
    '$fd_table_split'(Rows, Vs0, Rests),
    sort(Vs0, Vs),
    '$fd_table_number'(Vs, C, E0, E, Entries, Entries1, Pairs),
    list_to_assoc(Pairs, A),
    C1 is C + 1,
    '$fd_table_columns'(Rests, C1, K, E, Entries1, As).

% The first value of every row, and the rows' rests.
'$fd_table_split'([], [], []).
'$fd_table_split'([[V|R]|Rows], [V|Vs], [R|Rs]) :- '$fd_table_split'(Rows, Vs, Rs).

'$fd_table_number'([], _, E, E, Es, Es, []).
'$fd_table_number'([V|Vs], C, E0, E, [t(C, V, V)|Es0], Es, [V-E0|Ps]) :-
    E1 is E0 + 1,
    '$fd_table_number'(Vs, C, E1, E, Es0, Es, Ps).

'$fd_table_encode'([], _, []).
'$fd_table_encode'([T|Ts], As, [R|Rs]) :-
    '$fd_table_row'(T, As, R),
    '$fd_table_encode'(Ts, As, Rs).

'$fd_table_row'([], [], []).
'$fd_table_row'([V|Vs], [A|As], [[E]|Es]) :- get_assoc(V, A, E), '$fd_table_row'(Vs, As, Es).

'$fd_table_post'([], _, _).
'$fd_table_post'([Row|Rows], Common, Relation) :-
    '$fd_distinct_pairs'(Row, Pairs, _, dom),
    '$fd_post_global'(compact_table(Row, Common), '$fd_compact_table'(Pairs, Common, 0, _, 0), 0,
                      table([Row], Relation), [], _),
    '$fd_table_post'(Rows, Common, Relation).

% circuit(Succs): Succs, the successors of nodes 1..n (the i-th element is
% the node that follows node i), form one circuit through all the nodes.
% circuit(Succs, Preds): the same, Preds the predecessors. subcircuit(Succs):
% the nodes that are not their own successors form one circuit (or none).
% Over all_distinct with sub-tour elimination: chains of fixed successors
% may not close early, and the graph of possible successors must stay
% strongly connected.
circuit(Xs) :-
    Ctx = circuit(Xs),
    '$fd_must_be_vars'(Xs, Ctx, 1),
    '$fd_post_circuit'(Xs, 1, circuit(Xs)).

circuit(Xs, Ys) :-
    Ctx = circuit(Xs, Ys),
    '$fd_must_be_vars'(Xs, Ctx, 1),
    '$fd_must_be_vars'(Ys, Ctx, 2),
    length(Xs, N),
    length(Ys, N),
    '$fd_post_circuit'(Xs, 1, circuit(Xs)),
    '$fd_post_circuit'(Ys, 1, circuit(Ys)),
    '$fd_inverse'(Xs, 1, Ys),
    '$fd_inverse'(Ys, 1, Xs).

subcircuit(Xs) :-
    Ctx = subcircuit(Xs),
    '$fd_must_be_vars'(Xs, Ctx, 1),
    '$fd_post_circuit'(Xs, 2, subcircuit(Xs)).

'$fd_post_circuit'(Xs, Mode, Shown) :-
    length(Xs, N),
    Xs ins 1..N,
    (   N =< 1 -> true
    ;   Mode =:= 1 -> '$fd_no_self_loops'(Xs, 1) ; true
    ),
    (   N =:= 0 -> true
    ;   '$fd_distinct_pairs'(Xs, Pairs, Events, dom),
        '$fd_post_global'(all_distinct(Xs), '$fd_all_distinct'(Pairs, 0, 0, Mode, _, 0), 0, Shown, Events, _),
        '$fd_propagate'
    ).

'$fd_no_self_loops'([], _).
'$fd_no_self_loops'([X|Xs], I) :-
    X in \(I..I),
    I1 is I + 1,
    '$fd_no_self_loops'(Xs, I1).

% Node I's successor in Xs is J exactly when J's predecessor in Ys is I.
'$fd_inverse'([], _, _).
'$fd_inverse'([X|Xs], I, Ys) :-
    element(X, Ys, I),
    I1 is I + 1,
    '$fd_inverse'(Xs, I1, Ys).

% all_equal_reif(Xs, B): B (0/1) is 1 exactly when all of Xs are equal.
all_equal_reif(Xs, B) :-
    Ctx = all_equal_reif(Xs, B),
    '$fd_must_be_vars'(Xs, Ctx, 1),
    '$fd_var_or_int'(B, Ctx, 2),
    B in 0..1,
    '$fd_distinct_pairs'(Xs, Pairs, Events, dom),
    '$fd_arg_attribute'(B, 0, AB),
    '$fd_post_global'(all_equal_reif(Xs, B), '$fd_all_equal_reif'(Pairs, p(B, AB), 0, _, 0), 0,
                      all_equal_reif(Xs, B), [dom(B)|Events], _),
    '$fd_propagate'.
