% Ordered sets: module ordsets.
%
% An ordered set is a proper list in the standard order of terms without
% two equal (==) elements, as sort/2 makes it. Each operation walks its
% sets in step, so it takes time in proportion to their lengths. The sets
% given are taken as they are: an argument that is no ordered set gives an
% answer of no meaning (is_ordset/1 checks one).

:- module(ordsets, [
    is_ordset/1, list_to_ord_set/2, ord_empty/1,
    ord_memberchk/2, ord_add_element/3, ord_del_element/3,
    ord_union/2, ord_union/3, ord_union/4, ord_subtract/3, ord_intersection/2, ord_intersection/3,
    ord_symdiff/3, ord_subset/2, ord_disjoint/2, ord_intersect/2, ord_seteq/2
]).

is_ordset(S) :-
    prolog:'$list_skip'(S, N, T),
    N >= 0, T == [],
    ordered_(S).

ordered_([]).
ordered_([X|Xs]) :- ordered_(Xs, X).

ordered_([], _).
ordered_([Y|Ys], X) :- X @< Y, ordered_(Ys, Y).

list_to_ord_set(L, S) :- sort(L, S).

ord_empty([]).

ord_memberchk(X, [Y|Ys]) :-
    compare(O, X, Y),
    memberchk_(O, X, Ys).

memberchk_(=, _, _).
memberchk_(>, X, [Y|Ys]) :- compare(O, X, Y), memberchk_(O, X, Ys).

ord_add_element(S, X, S1) :- ord_union(S, [X], S1).

ord_del_element(S, X, S1) :- ord_subtract(S, [X], S1).

% ord_union(Sets, Set): the union of a list of ordered sets, merged pairwise
% so that each element is compared about log(N) times.
ord_union(Sets, Set) :- union_all_(Sets, Set).

union_all_(Sets, Set) :-
    union_pairs_(Sets, Fewer),
    (   Fewer == [] -> Set = []
    ;   Fewer = [S] -> Set = S
    ;   union_all_(Fewer, Set)
    ).

union_pairs_([], []).
union_pairs_([S|Ss], Us) :- union_pairs_(Ss, S, Us).

union_pairs_([], S, [S]).
union_pairs_([B|Ss], A, [U|Us]) :- ord_union(A, B, U), union_pairs_(Ss, Us).

ord_union([], B, B).
ord_union([X|Xs], B, U) :- union_(B, X, Xs, U).

union_([], X, Xs, [X|Xs]).
union_([Y|Ys], X, Xs, U) :-
    compare(O, X, Y),
    union_(O, X, Xs, Y, Ys, U).

union_(<, X, Xs, Y, Ys, [X|U]) :- union_(Xs, Y, Ys, U).
union_(=, X, Xs, _, Ys, [X|U]) :- ord_union(Xs, Ys, U).
union_(>, X, Xs, Y, Ys, [Y|U]) :- union_(Ys, X, Xs, U).

% ord_union(Set1, Set2, Union, New): New holds the elements of Set2 that
% are not in Set1.
ord_union(A, B, U, New) :-
    ord_union(A, B, U),
    ord_subtract(B, A, New).

ord_subtract([], _, []).
ord_subtract([X|Xs], B, D) :- subtract_(B, X, Xs, D).

% subtract_(Set2, X, Xs, D): X is the next element of the first set.
subtract_([], X, Xs, [X|Xs]).
subtract_([Y|Ys], X, Xs, D) :-
    compare(O, X, Y),
    subtract_(O, X, Xs, Y, Ys, D).

subtract_(<, X, Xs, Y, Ys, [X|D]) :- subtract_next_(Xs, Y, Ys, D).
subtract_(=, _, Xs, _, Ys, D) :- ord_subtract(Xs, Ys, D).
subtract_(>, X, Xs, _, Ys, D) :- subtract_(Ys, X, Xs, D).

% The next element of the first set against the same element Y.
subtract_next_([], _, _, []).
subtract_next_([X|Xs], Y, Ys, D) :-
    compare(O, X, Y),
    subtract_(O, X, Xs, Y, Ys, D).

ord_intersection([], _, []).
ord_intersection([X|Xs], B, I) :- intersection_(B, X, Xs, I).

intersection_([], _, _, []).
intersection_([Y|Ys], X, Xs, I) :-
    compare(O, X, Y),
    intersection_(O, X, Xs, Y, Ys, I).

intersection_(<, _, Xs, Y, Ys, I) :- intersection_(Xs, Y, Ys, I).
intersection_(=, X, Xs, _, Ys, [X|I]) :- ord_intersection(Xs, Ys, I).
intersection_(>, X, Xs, _, Ys, I) :- intersection_(Ys, X, Xs, I).

% The intersection of a non-empty list of ordered sets.
ord_intersection([S|Ss], I) :- intersection_all_(Ss, S, I).

intersection_all_([], I, I).
intersection_all_([S|Ss], I0, I) :- ord_intersection(I0, S, I1), intersection_all_(Ss, I1, I).

ord_symdiff(A, B, D) :-
    ord_subtract(A, B, D1),
    ord_subtract(B, A, D2),
    ord_union(D1, D2, D).

ord_subset([], _).
ord_subset([X|Xs], [Y|Ys]) :-
    compare(O, X, Y),
    subset_(O, X, Xs, Ys).

subset_(=, _, Xs, Ys) :- ord_subset(Xs, Ys).
subset_(>, X, Xs, Ys) :- ord_subset([X|Xs], Ys).

ord_disjoint(A, B) :- \+ ord_intersect(A, B).

% ord_intersect(Set1, Set2): the sets have an element in common.
ord_intersect([X|Xs], [Y|Ys]) :-
    compare(O, X, Y),
    intersect_(O, X, Xs, Y, Ys).

intersect_(=, _, _, _, _).
intersect_(<, _, [X|Xs], Y, Ys) :- compare(O, X, Y), intersect_(O, X, Xs, Y, Ys).
intersect_(>, X, Xs, _, [Y|Ys]) :- compare(O, X, Y), intersect_(O, X, Xs, Y, Ys).

ord_seteq(A, B) :- A == B.
