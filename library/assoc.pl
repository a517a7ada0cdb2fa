% Association lists as balanced binary trees (AVL trees): module assoc.
%
% An association maps keys, ordered by the standard order of terms, to
% values. Lookup, insertion and deletion take time in proportion to the
% logarithm of the number of keys. The empty association is t; a node is
% t(Key, Value, Balance, Left, Right), Balance being < when the left
% subtree is one level deeper than the right, = when they are as deep, and
% > when the right one is deeper.

:- module(assoc, [
    empty_assoc/1, get_assoc/3, put_assoc/4, del_assoc/4, del_min_assoc/4, del_max_assoc/4,
    list_to_assoc/2, ord_list_to_assoc/2, assoc_to_list/2, assoc_to_keys/2, assoc_to_values/2,
    min_assoc/3, max_assoc/3, gen_assoc/3, map_assoc/2, map_assoc/3, is_assoc/1
]).

:- meta_predicate map_assoc(1, ?), map_assoc(2, ?, ?).

empty_assoc(t).

get_assoc(K, t(K0, V0, _, L, R), V) :-
    compare(O, K, K0),
    get_(O, K, V, V0, L, R).

get_(=, _, V, V, _, _).
get_(<, K, V, _, L, _) :- get_assoc(K, L, V).
get_(>, K, V, _, _, R) :- get_assoc(K, R, V).

% ---------------------------------------------------------------------------
% Insertion: Grown tells whether the tree became one level deeper.

put_assoc(K, A0, V, A) :- insert_(A0, K, V, A, _).

insert_(t, K, V, t(K, V, =, t, t), yes).
insert_(t(K0, V0, B, L, R), K, V, A, Grown) :-
    compare(O, K, K0),
    insert_(O, K0, V0, B, L, R, K, V, A, Grown).

insert_(=, K0, _, B, L, R, _, V, t(K0, V, B, L, R), no).
insert_(<, K0, V0, B, L, R, K, V, A, Grown) :-
    insert_(L, K, V, L1, G),
    (   G == yes -> left_grown_(B, K0, V0, L1, R, A, Grown) ; A = t(K0, V0, B, L1, R), Grown = no ).
insert_(>, K0, V0, B, L, R, K, V, A, Grown) :-
    insert_(R, K, V, R1, G),
    (   G == yes -> right_grown_(B, K0, V0, L, R1, A, Grown) ; A = t(K0, V0, B, L, R1), Grown = no ).

% The left subtree became one level deeper.
left_grown_(>, K, V, L, R, t(K, V, =, L, R), no).
left_grown_(=, K, V, L, R, t(K, V, <, L, R), yes).
left_grown_(<, K, V, t(LK, LV, LB, LL, LR), R, A, no) :- rotate_right_(LB, LK, LV, LL, LR, K, V, R, A).

right_grown_(<, K, V, L, R, t(K, V, =, L, R), no).
right_grown_(=, K, V, L, R, t(K, V, >, L, R), yes).
right_grown_(>, K, V, L, t(RK, RV, RB, RL, RR), A, no) :- rotate_left_(RB, K, V, L, RK, RV, RL, RR, A).

% A node whose left subtree (LK) is two levels deeper than its right one,
% made balanced; the left subtree's balance says whether one rotation
% does it. (After a deletion the balance = needs a single rotation too.)
rotate_right_(<, LK, LV, LL, LR, K, V, R, t(LK, LV, =, LL, t(K, V, =, LR, R))).
rotate_right_(=, LK, LV, LL, LR, K, V, R, t(LK, LV, >, LL, t(K, V, <, LR, R))).
rotate_right_(>, LK, LV, LL, t(MK, MV, MB, ML, MR), K, V, R, t(MK, MV, =, t(LK, LV, B1, LL, ML), t(K, V, B2, MR, R))) :-
    double_(MB, B1, B2).

rotate_left_(>, K, V, L, RK, RV, RL, RR, t(RK, RV, =, t(K, V, =, L, RL), RR)).
rotate_left_(=, K, V, L, RK, RV, RL, RR, t(RK, RV, <, t(K, V, >, L, RL), RR)).
rotate_left_(<, K, V, L, RK, RV, t(MK, MV, MB, ML, MR), RR, t(MK, MV, =, t(K, V, B1, L, ML), t(RK, RV, B2, MR, RR))) :-
    double_(MB, B1, B2).

% The balances of the two nodes under the middle node M of a double
% rotation, from M's old balance.
double_(<, =, >).
double_(=, =, =).
double_(>, <, =).

% ---------------------------------------------------------------------------
% Deletion: Shrunk tells whether the tree became one level shallower.

del_assoc(K, A0, V, A) :- delete_(A0, K, V, A, _).

delete_(t(K0, V0, B, L, R), K, V, A, Shrunk) :-
    compare(O, K, K0),
    delete_(O, K0, V0, B, L, R, K, V, A, Shrunk).

delete_(=, _, V0, B, L, R, _, V, A, Shrunk) :-
    V = V0,
    delete_node_(L, R, B, A, Shrunk).
delete_(<, K0, V0, B, L, R, K, V, A, Shrunk) :-
    delete_(L, K, V, L1, S),
    (   S == yes -> left_shrunk_(B, K0, V0, L1, R, A, Shrunk) ; A = t(K0, V0, B, L1, R), Shrunk = no ).
delete_(>, K0, V0, B, L, R, K, V, A, Shrunk) :-
    delete_(R, K, V, R1, S),
    (   S == yes -> right_shrunk_(B, K0, V0, L, R1, A, Shrunk) ; A = t(K0, V0, B, L, R1), Shrunk = no ).

% A node without its own pair: the least pair of the right subtree takes
% its place.
delete_node_(t, R, _, R, yes) :- !.
delete_node_(L, t, _, L, yes) :- !.
delete_node_(L, R, B, A, Shrunk) :-
    delete_min_(R, K, V, R1, S),
    (   S == yes -> right_shrunk_(B, K, V, L, R1, A, Shrunk) ; A = t(K, V, B, L, R1), Shrunk = no ).

delete_min_(t(K0, V0, B, L, R), K, V, A, Shrunk) :-
    (   L == t
    ->  K = K0, V = V0, A = R, Shrunk = yes
    ;   delete_min_(L, K, V, L1, S),
        (   S == yes -> left_shrunk_(B, K0, V0, L1, R, A, Shrunk) ; A = t(K0, V0, B, L1, R), Shrunk = no )
    ).

delete_max_(t(K0, V0, B, L, R), K, V, A, Shrunk) :-
    (   R == t
    ->  K = K0, V = V0, A = L, Shrunk = yes
    ;   delete_max_(R, K, V, R1, S),
        (   S == yes -> right_shrunk_(B, K0, V0, L, R1, A, Shrunk) ; A = t(K0, V0, B, L, R1), Shrunk = no )
    ).

% The left subtree became one level shallower.
left_shrunk_(<, K, V, L, R, t(K, V, =, L, R), yes).
left_shrunk_(=, K, V, L, R, t(K, V, >, L, R), no).
left_shrunk_(>, K, V, L, t(RK, RV, RB, RL, RR), A, Shrunk) :-
    rotate_left_(RB, K, V, L, RK, RV, RL, RR, A),
    rotation_shrinks_(RB, Shrunk).

right_shrunk_(>, K, V, L, R, t(K, V, =, L, R), yes).
right_shrunk_(=, K, V, L, R, t(K, V, <, L, R), no).
right_shrunk_(<, K, V, t(LK, LV, LB, LL, LR), R, A, Shrunk) :-
    rotate_right_(LB, LK, LV, LL, LR, K, V, R, A),
    rotation_shrinks_(LB, Shrunk).

% A rotation after a deletion keeps the height when the deeper subtree was
% balanced.
rotation_shrinks_(=, no) :- !.
rotation_shrinks_(_, yes).

del_min_assoc(A0, K, V, A) :- delete_min_(A0, K, V, A, _).

del_max_assoc(A0, K, V, A) :- delete_max_(A0, K, V, A, _).

% ---------------------------------------------------------------------------
% Conversions

% list_to_assoc(Pairs, Assoc): Pairs is a list of Key-Value pairs with
% distinct keys, in any order.
list_to_assoc(Pairs, A) :-
    Ctx = assoc:list_to_assoc(Pairs, A),
    pairs_check_(Pairs, Ctx),
    keysort(Pairs, Sorted),
    (   distinct_keys_(Sorted) -> true
    ;   prolog:'$domain_error'(unique_key_pairs, Pairs, Ctx, 1)
    ),
    length(Sorted, N),
    build_(N, Sorted, [], A, _).

% ord_list_to_assoc(Pairs, Assoc): Pairs in strictly ascending order of
% keys, which makes the tree in linear time.
ord_list_to_assoc(Pairs, A) :-
    Ctx = assoc:ord_list_to_assoc(Pairs, A),
    pairs_check_(Pairs, Ctx),
    (   distinct_keys_(Pairs) -> true
    ;   prolog:'$domain_error'(key_ordered_pairs, Pairs, Ctx, 1)
    ),
    length(Pairs, N),
    build_(N, Pairs, [], A, _).

pairs_check_(Pairs, Ctx) :-
    prolog:'$list_skip'(Pairs, N, T),
    (   N >= 0, T == [] -> true
    ;   N >= 0, var(T) -> prolog:'$instantiation_error'(Ctx, 1)
    ;   prolog:'$type_error'(list, Pairs, Ctx, 1)
    ),
    pair_elements_(Pairs, Ctx).

pair_elements_([], _).
pair_elements_([P|Ps], Ctx) :-
    (   var(P) -> prolog:'$instantiation_error'(Ctx, 1)
    ;   P = _-_ -> true
    ;   prolog:'$type_error'(pair, P, Ctx, 1)
    ),
    pair_elements_(Ps, Ctx).

% Keys in strictly ascending order.
distinct_keys_([]).
distinct_keys_([K-_|Ps]) :- distinct_keys_(Ps, K).

distinct_keys_([], _).
distinct_keys_([K-_|Ps], K0) :- K0 @< K, distinct_keys_(Ps, K).

% build_(N, Pairs, Rest, Tree, Height): a balanced tree of the first N
% pairs; the halves differ by at most one pair, so by at most one level.
build_(0, Ps, Ps, t, 0) :- !.
build_(N, Ps0, Ps, t(K, V, B, L, R), H) :-
    NL is (N - 1) // 2,
    NR is N - 1 - NL,
    build_(NL, Ps0, [K-V|Ps1], L, HL),
    build_(NR, Ps1, Ps, R, HR),
    compare(O, HL, HR),
    balance_(O, B),
    H is max(HL, HR) + 1.

balance_(<, >).
balance_(=, =).
balance_(>, <).

assoc_to_list(A, L) :- to_list_(A, [], L).

to_list_(t, L, L).
to_list_(t(K, V, _, L, R), Acc, List) :-
    to_list_(R, Acc, Acc1),
    to_list_(L, [K-V|Acc1], List).

assoc_to_keys(A, Ks) :- to_keys_(A, [], Ks).

to_keys_(t, L, L).
to_keys_(t(K, _, _, L, R), Acc, List) :-
    to_keys_(R, Acc, Acc1),
    to_keys_(L, [K|Acc1], List).

assoc_to_values(A, Vs) :- to_values_(A, [], Vs).

to_values_(t, L, L).
to_values_(t(_, V, _, L, R), Acc, List) :-
    to_values_(R, Acc, Acc1),
    to_values_(L, [V|Acc1], List).

min_assoc(t(K0, V0, _, L, _), K, V) :-
    (   L == t -> K = K0, V = V0 ; min_assoc(L, K, V) ).

max_assoc(t(K0, V0, _, _, R), K, V) :-
    (   R == t -> K = K0, V = V0 ; max_assoc(R, K, V) ).

% gen_assoc(Key, Assoc, Value): the pairs in ascending order of keys.
gen_assoc(K, A, V) :-
    (   ground(K) -> get_assoc(K, A, V) ; gen_(A, K, V) ).

gen_(t(_, _, _, L, _), K, V) :- gen_(L, K, V).
gen_(t(K, V, _, _, _), K, V).
gen_(t(_, _, _, _, R), K, V) :- gen_(R, K, V).

map_assoc(P, A) :- map_(A, P).

map_(t, _).
map_(t(_, V, _, L, R), P) :- map_(L, P), call(P, V), map_(R, P).

map_assoc(P, A0, A) :- map_(A0, P, A).

map_(t, _, t).
map_(t(K, V0, B, L0, R0), P, t(K, V, B, L, R)) :-
    map_(L0, P, L),
    call(P, V0, V),
    map_(R0, P, R).

% is_assoc(Assoc): a well-formed tree: keys ground and in order, every
% balance true to the subtrees' depths.
is_assoc(A) :-
    nonvar(A),
    well_formed_(A, none, none, _).

well_formed_(t, _, _, 0) :- !.
well_formed_(t(K, _, B, L, R), Low, High, H) :-
    ground(K),
    (   Low == none -> true ; Low = some(Lo), Lo @< K ),
    (   High == none -> true ; High = some(Hi), K @< Hi ),
    nonvar(L), nonvar(R),
    well_formed_(L, Low, some(K), HL),
    well_formed_(R, some(K), High, HR),
    compare(O, HL, HR),
    balance_(O, B),
    abs(HL - HR) =< 1,
    H is max(HL, HR) + 1.
