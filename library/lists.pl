% The list library: module lists, loaded by use_module(library(lists)).
% msort/2 and length/2 are built-ins and are not defined here; the
% library's own helpers of module prolog are called as prolog:Name.
%
% A predicate given something that is not a list fails, as the relational
% reading has it; those that need a whole list before they can start
% (numlist/3, list_to_set/2, permutation/2 when neither list is complete)
% raise instantiation and type errors, and nth0/3 and nth1/3 a type error
% for an index that is no integer.

:- module(lists, [
    append/3, member/2, memberchk/2, reverse/2, nth0/3, nth1/3, last/2,
    sum_list/2, max_list/2, min_list/2, numlist/3,
    include/3, exclude/3, partition/4,
    maplist/2, maplist/3, maplist/4, maplist/5, foldl/4, foldl/5, foldl/6,
    delete/3, select/3, subtract/3, permutation/2, list_to_set/2
]).

:- meta_predicate
    include(1, ?, ?), exclude(1, ?, ?), partition(1, ?, ?, ?),
    maplist(1, ?), maplist(2, ?, ?), maplist(3, ?, ?, ?), maplist(4, ?, ?, ?, ?),
    foldl(3, ?, ?, ?), foldl(4, ?, ?, ?, ?), foldl(5, ?, ?, ?, ?, ?).

append([], L, L).
append([X|Xs], L, [X|Ys]) :- append(Xs, L, Ys).

% The rest of the list comes first, so that first-argument indexing leaves
% no choicepoint after the last element.
member(X, [Y|Ys]) :- member_(Ys, X, Y).

member_(_, X, X).
member_([Y|Ys], X, _) :- member_(Ys, X, Y).

memberchk(X, L) :- member(X, L), !.

% The second list bounds the length too, so that reverse(X, [a, b]) ends
% after its one answer.
reverse(Xs, Ys) :- reverse_(Xs, Ys, [], Ys).

reverse_([], [], Ys, Ys).
reverse_([X|Xs], [_|Bound], Rs, Ys) :- reverse_(Xs, Bound, [X|Rs], Ys).

nth0(I, L, E) :- nth_(I, L, E, 0, lists:nth0(I, L, E)).

nth1(I, L, E) :- nth_(I, L, E, 1, lists:nth1(I, L, E)).

% A given index walks to its element (fails below Base); an unbound one
% enumerates the elements with their indices.
nth_(I, L, E, Base, Ctx) :-
    (   integer(I) -> I >= Base, Skip is I - Base, nth_at(Skip, L, E)
    ;   var(I) -> L = [H|T], nth_enum(T, H, E, Base, I)
    ;   prolog:'$type_error'(integer, I, Ctx, 1)
    ).

nth_at(0, [E|_], E) :- !.
nth_at(N, [_|T], E) :- N1 is N - 1, nth_at(N1, T, E).

nth_enum(_, H, H, I, I).
nth_enum([H|T], _, E, I0, I) :- I1 is I0 + 1, nth_enum(T, H, E, I1, I).

last([X|Xs], L) :- last_(Xs, X, L).

last_([], L, L).
last_([X|Xs], _, L) :- last_(Xs, X, L).

sum_list(Xs, Sum) :- sum_list_(Xs, 0, Sum).

sum_list_([], S, S).
sum_list_([X|Xs], S0, S) :- S1 is S0 + X, sum_list_(Xs, S1, S).

max_list([X|Xs], Max) :- max_list_(Xs, X, Max).

max_list_([], M, M).
max_list_([X|Xs], M0, M) :- M1 is max(M0, X), max_list_(Xs, M1, M).

min_list([X|Xs], Min) :- min_list_(Xs, X, Min).

min_list_([], M, M).
min_list_([X|Xs], M0, M) :- M1 is min(M0, X), min_list_(Xs, M1, M).

% numlist(Low, High, List): Low..High; fails when High < Low.
numlist(L, H, R) :-
    Ctx = lists:numlist(L, H, R),
    prolog:'$must_be_integer'(L, Ctx, 1),
    prolog:'$must_be_integer'(H, Ctx, 2),
    L =< H,
    numlist_(L, H, R).

numlist_(H, H, R) :- !, R = [H].
numlist_(L, H, [L|R]) :- L1 is L + 1, numlist_(L1, H, R).

include(P, L, R) :- include_(L, P, R).

include_([], _, []).
include_([X|Xs], P, R) :-
    (   call(P, X) -> R = [X|R1] ; R = R1 ),
    include_(Xs, P, R1).

exclude(P, L, R) :- exclude_(L, P, R).

exclude_([], _, []).
exclude_([X|Xs], P, R) :-
    (   call(P, X) -> R = R1 ; R = [X|R1] ),
    exclude_(Xs, P, R1).

partition(P, L, In, Out) :- partition_(L, P, In, Out).

partition_([], _, [], []).
partition_([X|Xs], P, In, Out) :-
    (   call(P, X) -> In = [X|In1], Out = Out1 ; In = In1, Out = [X|Out1] ),
    partition_(Xs, P, In1, Out1).

maplist(G, L) :- maplist_(L, G).

maplist_([], _).
maplist_([X|Xs], G) :- call(G, X), maplist_(Xs, G).

maplist(G, L1, L2) :- maplist_(L1, L2, G).

maplist_([], [], _).
maplist_([X|Xs], [Y|Ys], G) :- call(G, X, Y), maplist_(Xs, Ys, G).

maplist(G, L1, L2, L3) :- maplist_(L1, L2, L3, G).

maplist_([], [], [], _).
maplist_([X|Xs], [Y|Ys], [Z|Zs], G) :- call(G, X, Y, Z), maplist_(Xs, Ys, Zs, G).

maplist(G, L1, L2, L3, L4) :- maplist_(L1, L2, L3, L4, G).

maplist_([], [], [], [], _).
maplist_([X|Xs], [Y|Ys], [Z|Zs], [U|Us], G) :-
    call(G, X, Y, Z, U),
    maplist_(Xs, Ys, Zs, Us, G).

foldl(G, L, V0, V) :- foldl_(L, G, V0, V).

foldl_([], _, V, V).
foldl_([X|Xs], G, V0, V) :- call(G, X, V0, V1), foldl_(Xs, G, V1, V).

foldl(G, L1, L2, V0, V) :- foldl_(L1, L2, G, V0, V).

foldl_([], [], _, V, V).
foldl_([X|Xs], [Y|Ys], G, V0, V) :- call(G, X, Y, V0, V1), foldl_(Xs, Ys, G, V1, V).

foldl(G, L1, L2, L3, V0, V) :- foldl_(L1, L2, L3, G, V0, V).

foldl_([], [], [], _, V, V).
foldl_([X|Xs], [Y|Ys], [Z|Zs], G, V0, V) :-
    call(G, X, Y, Z, V0, V1),
    foldl_(Xs, Ys, Zs, G, V1, V).

% delete(List, Elem, Rest): Rest is List without the elements that unify
% with Elem (the test binds nothing).
delete([], _, []).
delete([X|Xs], D, R) :-
    (   X \= D -> R = [X|R1] ; R = R1 ),
    delete(Xs, D, R1).

select(X, [Y|Ys], R) :- select_(Ys, Y, X, R).

select_(T, H, H, T).
select_([Y|Ys], H, X, [H|R]) :- select_(Ys, Y, X, R).

% subtract(Set, Delete, Rest): the elements of Set that do not unify with an
% element of Delete.
subtract([], _, []).
subtract([X|Xs], D, R) :-
    (   memberchk(X, D) -> R = R1 ; R = [X|R1] ),
    subtract(Xs, D, R1).

% The length is fixed first from whichever list is complete, so that every
% mode ends.
permutation(Xs, Ys) :-
    prolog:'$list_skip'(Xs, NX, TX),
    prolog:'$list_skip'(Ys, NY, TY),
    (   NX >= 0, TX == [], NY >= 0, TY == [] -> NX =:= NY
    ;   NX >= 0, TX == [], var(TY) -> length(Ys, NX)
    ;   var(TX), NY >= 0, TY == [] -> length(Xs, NY)
    ;   var(TX), var(TY) -> length(Xs, N), length(Ys, N)
    ;   Ctx = lists:permutation(Xs, Ys),
        (   NX >= 0, ( var(TX) ; TX == [] ) -> prolog:'$type_error'(list, Ys, Ctx, 2)
        ;   prolog:'$type_error'(list, Xs, Ctx, 1)
        )
    ),
    perm_(Xs, Ys).

perm_([], []).
perm_(L, [X|Xs]) :- select(X, L, R), perm_(R, Xs).

% list_to_set(List, Set): the first occurrence of each element, identical
% elements (==) being the same, in the order of List. The elements are
% numbered and sorted, so that identical ones are neighbours.
list_to_set(L, S) :-
    prolog:'$list_skip'(L, N, T),
    (   N >= 0, T == [] -> true
    ;   N >= 0, var(T) -> prolog:'$instantiation_error'(lists:list_to_set(L, S), 1)
    ;   prolog:'$type_error'(list, L, lists:list_to_set(L, S), 1)
    ),
    number_elements_(L, 1, Numbered),
    msort(Numbered, Sorted),
    first_of_runs_(Sorted, Firsts),
    msort(Firsts, InOrder),
    drop_numbers_(InOrder, S).

number_elements_([], _, []).
number_elements_([X|Xs], I, [X-I|Ps]) :- I1 is I + 1, number_elements_(Xs, I1, Ps).

first_of_runs_([], []).
first_of_runs_([X-I|Ps], [I-X|Fs]) :- skip_same_(Ps, X, Rest), first_of_runs_(Rest, Fs).

skip_same_([Y-_|Ps], X, Rest) :- Y == X, !, skip_same_(Ps, X, Rest).
skip_same_(Ps, _, Ps).

drop_numbers_([], []).
drop_numbers_([_-X|Ps], [X|Xs]) :- drop_numbers_(Ps, Xs).
