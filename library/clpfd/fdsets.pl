% library(clpfd): fdsets, the form in which the solver keeps domains: a list
% of intervals [Min|Max], ascending, with at least one value missing
% between neighbours; Min may be inf in the first interval and Max sup in
% the last. Every predicate checks that its set arguments are fdsets.

is_fdset(Set) :- nonvar(Set), '$fd_size'(Set, _, 1).

empty_fdset([]).

% fdset_parts(Set, Min, Max, Rest): Set's first interval is Min..Max and
% Rest the intervals after it; with Set unbound it is built from the others.
fdset_parts(Set, Min, Max, Rest) :-
    Ctx = fdset_parts(Set, Min, Max, Rest),
    (   nonvar(Set)
    ->  '$fd_must_be_fdset'(Set, Ctx, 1),
        Set = [[Min|Max]|Rest]
    ;   '$fd_bound'(Min, Ctx, 2),
        '$fd_bound'(Max, Ctx, 3),
        '$fd_must_be_fdset'(Rest, Ctx, 4),
        (   '$fd_cons'(Min, Max, Rest, Set0, 1) -> Set = Set0
        ;   '$fd_domain_error'(fdset_parts, Min..Max, Ctx, 2)
        )
    ).

% empty_interval(Min, Max): Min..Max holds no value.
empty_interval(Min, Max) :-
    Ctx = empty_interval(Min, Max),
    '$fd_bound'(Min, Ctx, 1),
    '$fd_bound'(Max, Ctx, 2),
    '$fd_interval_set'(Min, Max, []).

fdset_interval(Set, Min, Max) :-
    Ctx = fdset_interval(Set, Min, Max),
    (   nonvar(Set)
    ->  '$fd_must_be_fdset'(Set, Ctx, 1),
        Set = [[Min|Max]]
    ;   '$fd_bound'(Min, Ctx, 2),
        '$fd_bound'(Max, Ctx, 3),
        '$fd_interval_set'(Min, Max, Set0),
        Set0 = [_],
        Set = Set0
    ).

fdset_singleton(Set, X) :-
    Ctx = fdset_singleton(Set, X),
    (   nonvar(Set)
    ->  '$fd_must_be_fdset'(Set, Ctx, 1),
        Set = [[X|X]],
        integer(X)
    ;   '$fd_var_or_int'(X, Ctx, 2),
        (   var(X) -> '$fd_instantiation'(Ctx, 2) ; Set = [[X|X]] )
    ).

fdset_min(Set, Min) :-
    '$fd_must_be_fdset'(Set, fdset_min(Set, Min), 1),
    Set = [[Min|_]|_].

fdset_max(Set, Max) :-
    '$fd_must_be_fdset'(Set, fdset_max(Set, Max), 1),
    '$fd_last'(Set, [_|Max]).

'$fd_last'([X|Xs], L) :- ( Xs == [] -> L = X ; '$fd_last'(Xs, L) ).

fdset_size(Set, Size) :-
    (   var(Set) -> '$fd_instantiation'(fdset_size(Set, Size), 1)
    ;   '$fd_size'(Set, Size0, 1) -> Size = Size0
    ;   '$fd_type'(fdset, Set, fdset_size(Set, Size), 1)
    ).

list_to_fdset(List, Set) :-
    Ctx = list_to_fdset(List, Set),
    '$fd_must_be_list'(List, Ctx, 1),
    '$fd_ints_set'(List, [], Set, Ctx).

'$fd_ints_set'([], S, S, _).
'$fd_ints_set'([N|Ns], S0, S, Ctx) :-
    (   var(N) -> '$fd_instantiation'(Ctx, 1)
    ;   integer(N), '$fd_small'(N) -> '$fd_dom_insert'(S0, N, S1)
    ;   integer(N) -> '$fd_past_small'(N, Ctx), S1 = S0
    ;   '$fd_type'(integer, N, Ctx, 1)
    ),
    '$fd_ints_set'(Ns, S1, S, Ctx).

% The values of a finite set, ascending.
fdset_to_list(Set, List) :-
    Ctx = fdset_to_list(Set, List),
    '$fd_must_be_fdset'(Set, Ctx, 1),
    (   '$fd_size'(Set, sup, 1) -> '$fd_domain_error'(finite_fdset, Set, Ctx, 1) ; true ),
    '$fd_set_values'(Set, List).

'$fd_set_values'([], []).
'$fd_set_values'([[L|H]|Is], List) :-
    '$fd_interval_values'(L, H, List, Rest),
    '$fd_set_values'(Is, Rest).

'$fd_interval_values'(L, H, List, Rest) :-
    (   L > H -> List = Rest
    ;   List = [L|List1], L1 is L + 1, '$fd_interval_values'(L1, H, List1, Rest)
    ).

range_to_fdset(Range, Set) :-
    '$fd_dom_set'(Range, Set0, range_to_fdset(Range, Set), 1),
    Set = Set0.

fdset_to_range(Set, Range) :-
    '$fd_must_be_fdset'(Set, fdset_to_range(Set, Range), 1),
    (   Set == [] -> Range = 1..0 ; '$fd_set_term'(Set, Range) ).

fdset_add_element(Set0, X, Set) :-
    Ctx = fdset_add_element(Set0, X, Set),
    '$fd_must_be_fdset'(Set0, Ctx, 1),
    '$fd_element'(X, Ctx, 2),
    '$fd_dom_insert'(Set0, X, Set).

fdset_del_element(Set0, X, Set) :-
    Ctx = fdset_del_element(Set0, X, Set),
    '$fd_must_be_fdset'(Set0, Ctx, 1),
    '$fd_element'(X, Ctx, 2),
    '$fd_dom_delete'(Set0, X, Set).

'$fd_element'(X, Ctx, Arg) :-
    '$fd_var_or_int'(X, Ctx, Arg),
    (   var(X) -> '$fd_instantiation'(Ctx, Arg) ; true ).

fdset_disjoint(S1, S2) :-
    '$fd_two_sets'(S1, S2, fdset_disjoint(S1, S2)),
    '$fd_disjoint'(S1, S2).

fdset_intersect(S1, S2) :-
    '$fd_two_sets'(S1, S2, fdset_intersect(S1, S2)),
    \+ '$fd_disjoint'(S1, S2).

'$fd_disjoint'(S1, S2) :-
    (   S1 == [] -> true ; S2 == [] -> true ; '$fd_dom_intersect'(S1, S2, 1) ).

fdset_subset(S1, S2) :-
    '$fd_two_sets'(S1, S2, fdset_subset(S1, S2)),
    '$fd_dom_intersect'(S1, S2, 2).

fdset_eq(S1, S2) :-
    '$fd_two_sets'(S1, S2, fdset_eq(S1, S2)),
    S1 == S2.

fdset_intersection(S1, S2, S) :-
    '$fd_two_sets'(S1, S2, fdset_intersection(S1, S2, S)),
    '$fd_dom_intersection'(S1, S2, S).

fdset_union(S1, S2, S) :-
    '$fd_two_sets'(S1, S2, fdset_union(S1, S2, S)),
    '$fd_dom_union'(S1, S2, S).

fdset_subtract(S1, S2, S) :-
    '$fd_two_sets'(S1, S2, fdset_subtract(S1, S2, S)),
    '$fd_dom_subtract'(S1, S2, S).

fdset_complement(S1, S) :-
    '$fd_must_be_fdset'(S1, fdset_complement(S1, S), 1),
    '$fd_dom_complement'(S1, S).

% The intersection and the union of a list of sets (the intersection of
% no sets is every integer).
fdset_intersection(Sets, S) :-
    Ctx = fdset_intersection(Sets, S),
    '$fd_sets'(Sets, Ctx),
    '$fd_fold_sets'(Sets, '$fd_dom_intersection', [[inf|sup]], S).

fdset_union(Sets, S) :-
    Ctx = fdset_union(Sets, S),
    '$fd_sets'(Sets, Ctx),
    '$fd_fold_sets'(Sets, '$fd_dom_union', [], S).

'$fd_fold_sets'([], _, S, S).
'$fd_fold_sets'([X|Xs], Op, S0, S) :-
    (   Op == '$fd_dom_union' -> '$fd_dom_union'(S0, X, S1) ; '$fd_dom_intersection'(S0, X, S1) ),
    '$fd_fold_sets'(Xs, Op, S1, S).

'$fd_sets'(Sets, Ctx) :-
    '$fd_must_be_list'(Sets, Ctx, 1),
    '$fd_each_set'(Sets, Ctx).

'$fd_each_set'([], _).
'$fd_each_set'([S|Ss], Ctx) :-
    '$fd_must_be_fdset'(S, Ctx, 1),
    '$fd_each_set'(Ss, Ctx).

% fdset_member(X, Set): X is a value of Set; with X unbound the values of a
% finite set one by one, ascending.
fdset_member(X, Set) :-
    Ctx = fdset_member(X, Set),
    '$fd_must_be_fdset'(Set, Ctx, 2),
    (   var(X)
    ->  (   '$fd_size'(Set, sup, 1) -> '$fd_instantiation'(Ctx, 1) ; true ),
        '$fd_set_member'(Set, X)
    ;   integer(X) -> '$fd_dom_contains'(Set, X)
    ;   '$fd_type'(integer, X, Ctx, 1)
    ).

'$fd_set_member'([[L|H]|Is], X) :-
    (   between(L, H, X) ; '$fd_set_member'(Is, X) ).

'$fd_two_sets'(S1, S2, Ctx) :-
    '$fd_must_be_fdset'(S1, Ctx, 1),
    '$fd_must_be_fdset'(S2, Ctx, 2).
