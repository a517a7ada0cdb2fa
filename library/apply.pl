% Applying a goal to the elements of lists: module apply.
%
% maplist/2..7 call the goal on the elements of lists of one length (partial
% lists are extended to it); foldl/4..6 thread an accumulator through the
% elements; include/3, exclude/3 and partition/4,5 sort elements by a test.
% A goal is a closure: the elements are added to its arguments, as call/N
% does. Lists of different lengths, or something that is not a list, fail.

:- module(apply, [
    maplist/2, maplist/3, maplist/4, maplist/5, maplist/6, maplist/7,
    foldl/4, foldl/5, foldl/6,
    include/3, exclude/3, partition/4, partition/5
]).

:- meta_predicate
    maplist(1, ?), maplist(2, ?, ?), maplist(3, ?, ?, ?), maplist(4, ?, ?, ?, ?),
    maplist(5, ?, ?, ?, ?, ?), maplist(6, ?, ?, ?, ?, ?, ?),
    foldl(3, ?, ?, ?), foldl(4, ?, ?, ?, ?), foldl(5, ?, ?, ?, ?, ?),
    include(1, ?, ?), exclude(1, ?, ?), partition(1, ?, ?, ?), partition(2, ?, ?, ?, ?).

% The list comes first in the helpers, so that first-argument indexing
% leaves no choicepoint after the last element.
maplist(G, L) :- maplist_(L, G).

maplist_([], _).
maplist_([A|As], G) :- call(G, A), maplist_(As, G).

maplist(G, L1, L2) :- maplist_(L1, L2, G).

maplist_([], [], _).
maplist_([A|As], [B|Bs], G) :- call(G, A, B), maplist_(As, Bs, G).

maplist(G, L1, L2, L3) :- maplist_(L1, L2, L3, G).

maplist_([], [], [], _).
maplist_([A|As], [B|Bs], [C|Cs], G) :- call(G, A, B, C), maplist_(As, Bs, Cs, G).

maplist(G, L1, L2, L3, L4) :- maplist_(L1, L2, L3, L4, G).

maplist_([], [], [], [], _).
maplist_([A|As], [B|Bs], [C|Cs], [D|Ds], G) :-
    call(G, A, B, C, D),
    maplist_(As, Bs, Cs, Ds, G).

maplist(G, L1, L2, L3, L4, L5) :- maplist_(L1, L2, L3, L4, L5, G).

maplist_([], [], [], [], [], _).
maplist_([A|As], [B|Bs], [C|Cs], [D|Ds], [E|Es], G) :-
    call(G, A, B, C, D, E),
    maplist_(As, Bs, Cs, Ds, Es, G).

maplist(G, L1, L2, L3, L4, L5, L6) :- maplist_(L1, L2, L3, L4, L5, L6, G).

maplist_([], [], [], [], [], [], _).
maplist_([A|As], [B|Bs], [C|Cs], [D|Ds], [E|Es], [F|Fs], G) :-
    call(G, A, B, C, D, E, F),
    maplist_(As, Bs, Cs, Ds, Es, Fs, G).

% foldl(G, List..., V0, V): V0 goes through G with each element in turn.
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

% Each test runs once, its first answer taken with the bindings it makes.
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

% partition(P, List, Less, Equal, Greater): call(P, X, Order) gives each
% element's place, Order being <, = or >.
% An order that is none of the three is a domain error.
partition(P, L, Ls, Es, Gs) :- partition_(L, P, Ls, Es, Gs, apply:partition(P, L, Ls, Es, Gs)).

partition_([], _, [], [], [], _).
partition_([X|Xs], P, Ls, Es, Gs, Ctx) :-
    call(P, X, Order),
    partition_(Order, X, Ls, Es, Gs, Ls1, Es1, Gs1, Ctx),
    partition_(Xs, P, Ls1, Es1, Gs1, Ctx).

partition_(Order, _, _, _, _, _, _, _, Ctx) :- var(Order), !,
    prolog:'$instantiation_error'(Ctx, 1).
partition_(<, X, [X|Ls], Es, Gs, Ls, Es, Gs, _) :- !.
partition_(=, X, Ls, [X|Es], Gs, Ls, Es, Gs, _) :- !.
partition_(>, X, Ls, Es, [X|Gs], Ls, Es, Gs, _) :- !.
partition_(Order, _, _, _, _, _, _, _, Ctx) :-
    prolog:'$domain_error'(order, Order, Ctx, 1).
