% library(clpfd): domains, restricting them and reading them.

X in Dom :-
    Ctx = (X in Dom),
    '$fd_var_or_int'(X, Ctx, 1),
    '$fd_dom_set'(Dom, Set, Ctx, 2),
    '$fd_restrict'(X, Set),
    '$fd_propagate'.

Xs ins Dom :-
    Ctx = (Xs ins Dom),
    '$fd_must_be_vars'(Xs, Ctx, 1),
    '$fd_dom_set'(Dom, Set, Ctx, 2),
    '$fd_restrict_all'(Xs, Set),
    '$fd_propagate'.

domain(Xs, Min, Max) :-
    Ctx = domain(Xs, Min, Max),
    '$fd_must_be_vars'(Xs, Ctx, 1),
    '$fd_bound'(Min, Ctx, 2),
    '$fd_bound'(Max, Ctx, 3),
    '$fd_interval_set'(Min, Max, Set),
    '$fd_restrict_all'(Xs, Set),
    '$fd_propagate'.

% in_set(X, Set): X is in the fdset Set.
in_set(X, Set) :-
    Ctx = in_set(X, Set),
    '$fd_var_or_int'(X, Ctx, 1),
    '$fd_must_be_fdset'(Set, Ctx, 2),
    '$fd_restrict'(X, Set),
    '$fd_propagate'.

'$fd_restrict'(X, Set) :-
    (   integer(X) -> '$fd_dom_contains'(Set, X) ; '$fd_tell_set'(X, Set) ).

'$fd_restrict_all'([], _).
'$fd_restrict_all'([X|Xs], Set) :-
    '$fd_restrict'(X, Set),
    '$fd_restrict_all'(Xs, Set).

% ---------------------------------------------------------------------------
% Domain expressions to fdsets. A chain of ascending intervals is read by
% the plug-in at once; anything else is taken apart here.

'$fd_dom_set'(Dom, Set, Ctx, Arg) :-
    (   var(Dom) -> '$fd_instantiation'(Ctx, Arg)
    ;   \+ acyclic_term(Dom) -> '$fd_type'(acyclic_term, Dom, Ctx, Arg)
    ;   '$fd_set_expression'(Dom, Set0) -> Set = Set0
    ;   '$fd_dom_eval'(Dom, Set, Ctx, Arg)
    ).

'$fd_dom_eval'(D, _, Ctx, Arg) :- var(D), !, '$fd_instantiation'(Ctx, Arg).
'$fd_dom_eval'(N, Set, Ctx, _) :- integer(N), !,
    (   '$fd_small'(N) -> Set = [[N|N]]
    ;   '$fd_past_small'(N, Ctx), Set = []
    ).
'$fd_dom_eval'(L..H, Set, Ctx, Arg) :- !,
    '$fd_bound'(L, Ctx, Arg),
    '$fd_bound'(H, Ctx, Arg),
    '$fd_interval_set'(L, H, Set).
'$fd_dom_eval'(D1 \/ D2, Set, Ctx, Arg) :- !,
    '$fd_dom_eval'(D1, S1, Ctx, Arg),
    '$fd_dom_eval'(D2, S2, Ctx, Arg),
    '$fd_dom_union'(S1, S2, Set).
'$fd_dom_eval'(D1 /\ D2, Set, Ctx, Arg) :- !,
    '$fd_dom_eval'(D1, S1, Ctx, Arg),
    '$fd_dom_eval'(D2, S2, Ctx, Arg),
    '$fd_dom_intersection'(S1, S2, Set).
'$fd_dom_eval'(\D, Set, Ctx, Arg) :- !,
    '$fd_dom_eval'(D, S, Ctx, Arg),
    '$fd_dom_complement'(S, Set).
'$fd_dom_eval'({Is}, Set, Ctx, Arg) :- !,
    '$fd_conj_set'(Is, [], Set, Ctx, Arg).
'$fd_dom_eval'(D, _, Ctx, Arg) :-
    '$fd_type'(integer, D, Ctx, Arg).

'$fd_conj_set'(C, _, _, Ctx, Arg) :- var(C), !, '$fd_instantiation'(Ctx, Arg).
'$fd_conj_set'((A, B), S0, S, Ctx, Arg) :- !,
    '$fd_conj_set'(A, S0, S1, Ctx, Arg),
    '$fd_conj_set'(B, S1, S, Ctx, Arg).
'$fd_conj_set'(N, S0, S, Ctx, Arg) :-
    (   integer(N) -> true ; '$fd_type'(integer, N, Ctx, Arg) ),
    (   '$fd_small'(N) -> '$fd_dom_union'(S0, [[N|N]], S)
    ;   '$fd_past_small'(N, Ctx), S = S0
    ).

% A bound: a small integer, inf or sup.
'$fd_bound'(B, Ctx, Arg) :-
    (   var(B) -> '$fd_instantiation'(Ctx, Arg)
    ;   integer(B) -> ( '$fd_small'(B) -> true ; '$fd_past_small'(B, Ctx) )
    ;   B == inf -> true
    ;   B == sup -> true
    ;   '$fd_type'(integer, B, Ctx, Arg)
    ).

% The set of Min..Max: empty when Max < Min, and when the bounds are infinities
% on the wrong side (sup..Max, Min..inf).
'$fd_interval_set'(Min, Max, Set) :-
    (   '$fd_range'(Min, Max, Set0, 1) -> Set = Set0 ; Set = [] ).

'$fd_must_be_fdset'(Set, Ctx, Arg) :-
    (   var(Set) -> '$fd_instantiation'(Ctx, Arg)
    ;   '$fd_size'(Set, _, 1) -> true
    ;   '$fd_type'(fdset, Set, Ctx, Arg)
    ).

% ---------------------------------------------------------------------------
% Reading domains.

fd_dom(X, Dom) :-
    '$fd_var_or_int'(X, fd_dom(X, Dom), 1),
    '$fd_domain'(X, D),
    '$fd_dom_term'(D, Dom).

fd_inf(X, Min) :-
    '$fd_var_or_int'(X, fd_inf(X, Min), 1),
    '$fd_domain'(X, D),
    (   integer(D) -> Min = D ; arg(2, D, Min) ).

fd_sup(X, Max) :-
    '$fd_var_or_int'(X, fd_sup(X, Max), 1),
    '$fd_domain'(X, D),
    (   integer(D) -> Max = D ; arg(3, D, Max) ).

fd_size(X, Size) :-
    '$fd_var_or_int'(X, fd_size(X, Size), 1),
    '$fd_domain'(X, D),
    (   integer(D) -> Size = 1 ; arg(4, D, Size) ).

fd_set(X, Set) :-
    '$fd_var_or_int'(X, fd_set(X, Set), 1),
    '$fd_domain'(X, D),
    (   integer(D) -> Set = [[D|D]] ; arg(1, D, Set) ).

% fd_degree(X, N): the number of constraints on X that are not entailed yet.
fd_degree(X, N) :-
    '$fd_var_or_int'(X, fd_degree(X, N), 1),
    (   '$fd_attribute'(X, A)
    ->  '$fd_live_items'(A, Items),
        length(Items, N0),
        arg(6, A, CM),
        get_mutable(Corefs, CM),
        '$fd_open_length'(Corefs, 0, NC),
        N is N0 + NC - 1
    ;   N = 0
    ).

'$fd_open_length'(L, N0, N) :-
    (   var(L) -> N = N0 ; L = [_|T], N1 is N0 + 1, '$fd_open_length'(T, N1, N) ).

% The constraints suspended on a domain variable's attribute that are not
% dead, each once: the propagator, indexical or clause behind each live
% suspension.
'$fd_live_items'(A, Items) :-
    arg(4, A, SM), get_mutable(Array, SM),
    arg(5, A, CM), get_mutable(Count, CM),
    (   Array = '$array1d'(_, Cells) -> '$fd_live_cells'(Count, Cells, [], Items) ; Items = [] ).

'$fd_live_cells'(N, Cells, Seen, Items) :-
    (   N =< 0 -> Items = []
    ;   Cells = [S|Rest],
        N1 is N - 1,
        (   nonvar(S), S = propagator(_, _, Status, Item), var(Status),
            '$fd_constraint_of'(Item, C), \+ '$fd_memq'(C, Seen)
        ->  Items = [C|Items1], Seen1 = [C|Seen]
        ;   Items = Items1, Seen1 = Seen
        ),
        '$fd_live_cells'(N1, Rest, Seen1, Items1)
    ).

% The constraint a suspended item stands for.
'$fd_constraint_of'(daemon(P, _, _, _, _, _), P) :- !.
'$fd_constraint_of'('$indexical'(_, _, _, Status, B, _, _, Goal), ix(Status, B, Goal)) :- !.
'$fd_constraint_of'(watcher(_, _, _, _, Clause), Clause) :- !.
'$fd_constraint_of'(Item, Item).

'$fd_memq'(X, [Y|Ys]) :- ( X == Y -> true ; '$fd_memq'(X, Ys) ).

% A domain as an expression: Min..Max, or the integer of a one-value
% interval, joined with \/.
'$fd_dom_term'(D, Dom) :-
    (   integer(D) -> Dom = D..D
    ;   arg(1, D, [I|Is]), '$fd_interval_term'(I, T0), '$fd_intervals_term'(Is, T0, Dom)
    ).

'$fd_set_term'([I|Is], Dom) :-
    '$fd_interval_term'(I, T0),
    '$fd_intervals_term'(Is, T0, Dom).

'$fd_intervals_term'([], T, T).
'$fd_intervals_term'([I|Is], T0, T) :-
    '$fd_interval_term'(I, T1),
    '$fd_intervals_term'(Is, T0 \/ T1, T).

'$fd_interval_term'([L|H], T) :- ( L == H -> T = L ; T = L..H ).
