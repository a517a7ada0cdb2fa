% library(clpfd): extrema and Boolean relations.
%
% minimum(M, Xs), maximum(M, Xs): M is the smallest (largest) element of
% the non-empty list Xs. The propagator keeps the elements that can still
% be the extreme and wakes only for their bounds; one element is posted as
% M #= X.
%
% bool_and(Ls, R), bool_or(Ls, R), bool_xor(Ls, R): R is the conjunction,
% disjunction or exclusive or (parity) of the literals Ls, each a 0/1
% variable or integer B or its negation #\ B. R and the literals' variables
% are made 0/1.
%
% if_then_else(C, T, E, R): C is 0/1; R equals T when C is 1 and E when C
% is 0.

minimum(M, Xs) :-
    Ctx = minimum(M, Xs),
    '$fd_extremum'(0, M, Xs, Ctx).

maximum(M, Xs) :-
    Ctx = maximum(M, Xs),
    '$fd_extremum'(1, M, Xs, Ctx).

'$fd_extremum'(Mode, M, Xs, Ctx) :-
    '$fd_var_or_int'(M, Ctx, 1),
    '$fd_must_be_vars'(Xs, Ctx, 2),
    '$fd_post_extremum'(Xs, Mode, M, Ctx).

'$fd_post_extremum'([], _, _, _) :- !, fail.
'$fd_post_extremum'([X], _, M, _) :- !, M #= X.
'$fd_post_extremum'(Xs, Mode, M, Ctx) :-
    length(Xs, N),
    '$fd_arg_attribute'(M, 0, AM),
    '$fd_distinct_pairs'(Xs, Ps, _, dom),
    functor(Ctx, Name, _),
    Goal =.. [Name, M, Ps],
    '$fd_post_global'(Goal, '$fd_minmax'(p(M, AM), Ps, N, Mode, _, 0), 0, Ctx, [dom(M)], _),
    '$fd_propagate'.

bool_and(Ls, R) :- '$fd_bool'(and, Ls, R, bool_and(Ls, R)).
bool_or(Ls, R) :- '$fd_bool'(or, Ls, R, bool_or(Ls, R)).
bool_xor(Ls, R) :- '$fd_bool'(xor, Ls, R, bool_xor(Ls, R)).

% The items are R and then the literals' variables, each with its
% polarity: or fires R at 0 and a literal at 1 (polarity 0, negated 1);
% and fires R at 1 and a literal at 0 (polarity 1, negated 0); the parity
% counts R and every true literal.
'$fd_bool'(Op, Ls, R, Ctx) :-
    '$fd_must_be_list'(Ls, Ctx, 1),
    '$fd_var_or_int'(R, Ctx, 2),
    '$fd_literals'(Ls, Vs, Negated, Ctx),
    '$fd_bool_polarity'(Op, P0),
    '$fd_literal_polarities'(Negated, Op, Ps),
    [R|Vs] ins 0..1,
    '$fd_distinct_pairs'([R|Vs], Items, _, dom),
    (   Op == (xor)
    ->  '$fd_post_global'(bool_xor(R, Vs), '$fd_bool_xor'(Items, [P0|Ps], 0, 0, _, 0), 0, Ctx, [], _)
    ;   Name = Op,
        atom_concat(bool_, Name, F),
        Goal =.. [F, R, Vs],
        '$fd_post_global'(Goal, '$fd_bool_or'(Items, [P0|Ps], 0, _, 0), 0, Ctx, [], _)
    ),
    '$fd_propagate'.

'$fd_bool_polarity'(and, 1).
'$fd_bool_polarity'(or, 0).
'$fd_bool_polarity'(xor, 0).

'$fd_literals'([], [], [], _).
'$fd_literals'([L|Ls], [V|Vs], [N|Ns], Ctx) :-
    (   nonvar(L), L = #\(V0) -> V = V0, N = 1 ; V = L, N = 0 ),
    '$fd_var_or_int'(V, Ctx, 1),
    '$fd_literals'(Ls, Vs, Ns, Ctx).

'$fd_literal_polarities'([], _, []).
'$fd_literal_polarities'([N|Ns], Op, [P|Ps]) :-
    (   Op == and -> P is 1 - N ; P = N ),
    '$fd_literal_polarities'(Ns, Op, Ps).

if_then_else(C, T, E, R) :-
    Ctx = if_then_else(C, T, E, R),
    '$fd_var_or_int'(C, Ctx, 1),
    '$fd_var_or_int'(T, Ctx, 2),
    '$fd_var_or_int'(E, Ctx, 3),
    '$fd_var_or_int'(R, Ctx, 4),
    C in 0..1,
    (   C == 1 -> R #= T
    ;   C == 0 -> R #= E
    ;   '$fd_distinct_pairs'([C, T, E, R], [PC, PT, PE, PR], _, dom),
        '$fd_post_global'(if_then_else(C, T, E, R), '$fd_if_then_else'(PC, PT, PE, PR, _, 0), 0, Ctx,
                          [dom(C), dom(T), dom(E), dom(R)], _),
        '$fd_propagate'
    ).
