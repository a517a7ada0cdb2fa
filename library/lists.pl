% The list library: module lists, loaded by use_module(library(lists)).
% msort/2 and length/2 are built-ins and are not defined here; the
% library's own helpers of module prolog are called as prolog:Name.
%
% A predicate given something that is not a list fails, as the relational
% reading has it; those that need a whole list before they can start
% (numlist/3, list_to_set/2, permutation/2 when neither list is complete,
% flatten/2) raise instantiation and type errors, and nth0 and nth1 a type
% error for an index that is no integer. The goal-applying predicates
% (maplist, foldl, include, ...) are in library(apply).

:- module(lists, [
    append/2, append/3, member/2, memberchk/2, reverse/2, nth0/3, nth1/3, nth0/4, nth1/4,
    last/2, nextto/3, same_length/2, proper_length/2, flatten/2,
    sum_list/2, sumlist/2, max_list/2, min_list/2, max_member/2, min_member/2, numlist/3,
    delete/3, select/3, selectchk/3, select/4, subtract/3, intersection/3, union/3,
    permutation/2, list_to_set/2, is_set/1, subset/2
]).

append([], L, L).
append([X|Xs], L, [X|Ys]) :- append(Xs, L, Ys).

% append(Lists, List): List is the concatenation of the proper list Lists.
append(Ls, L) :-
    Ctx = lists:append(Ls, L),
    prolog:'$list_skip'(Ls, N, T),
    (   N >= 0, T == [] -> true
    ;   N >= 0, var(T) -> prolog:'$instantiation_error'(Ctx, 1)
    ;   prolog:'$type_error'(list, Ls, Ctx, 1)
    ),
    append_lists_(Ls, L).

append_lists_([], []).
append_lists_([L|Ls], As) :- append(L, Rest, As), append_lists_(Ls, Rest).

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

% nth0(I, List, E, Rest) and nth1/4: Rest is List without its element E
% at I; with List unbound they put E into Rest at I.
nth0(I, L, E, R) :- nth_(I, L, E, R, 0, lists:nth0(I, L, E, R)).

nth1(I, L, E, R) :- nth_(I, L, E, R, 1, lists:nth1(I, L, E, R)).

nth_(I, L, E, R, Base, Ctx) :-
    (   integer(I) -> I >= Base, Skip is I - Base, nth_del(Skip, L, E, R)
    ;   var(I) -> nth_del_enum(L, E, R, Base, I)
    ;   prolog:'$type_error'(integer, I, Ctx, 1)
    ).

nth_del(0, L, E, R) :- !, L = [E|R].
nth_del(N, [X|Xs], E, [X|R]) :- N1 is N - 1, nth_del(N1, Xs, E, R).

nth_del_enum([E|R], E, R, I, I).
nth_del_enum([X|Xs], E, [X|R], I0, I) :- I1 is I0 + 1, nth_del_enum(Xs, E, R, I1, I).

nth_at(0, [E|_], E) :- !.
nth_at(N, [_|T], E) :- N1 is N - 1, nth_at(N1, T, E).

nth_enum(_, H, H, I, I).
nth_enum([H|T], _, E, I0, I) :- I1 is I0 + 1, nth_enum(T, H, E, I1, I).

last([X|Xs], L) :- last_(Xs, X, L).

last_([], L, L).
last_([X|Xs], _, L) :- last_(Xs, X, L).

% nextto(X, Y, List): Y follows X in List.
nextto(X, Y, [A, B|T]) :- nextto_(T, A, B, X, Y).

nextto_(_, A, B, A, B).
nextto_([C|T], _, B, X, Y) :- nextto_(T, B, C, X, Y).

same_length([], []).
same_length([_|Xs], [_|Ys]) :- same_length(Xs, Ys).

% proper_length(List, N): List is a proper list of N elements.
proper_length(L, N) :-
    prolog:'$list_skip'(L, K, T),
    K >= 0, T == [],
    N = K.

% flatten(List, Flat): the elements of List and of the lists in it, at any
% depth, in order; a variable or any other term that is no list is an
% element. Flat is made from the whole of List before it is unified.
flatten(L, F) :-
    flatten_(L, [], F0),
    F = F0.

flatten_(X, T, [X|T]) :- var(X), !.
flatten_([], T, T) :- !.
flatten_([X|Xs], T, F) :- !, flatten_(X, F1, F), flatten_(Xs, T, F1).
flatten_(X, T, [X|T]).

sum_list(Xs, Sum) :- sum_list_(Xs, 0, Sum).

sumlist(Xs, Sum) :- sum_list_(Xs, 0, Sum).

sum_list_([], S, S).
sum_list_([X|Xs], S0, S) :- S1 is S0 + X, sum_list_(Xs, S1, S).

max_list([X|Xs], Max) :- max_list_(Xs, X, Max).

max_list_([], M, M).
max_list_([X|Xs], M0, M) :- M1 is max(M0, X), max_list_(Xs, M1, M).

min_list([X|Xs], Min) :- min_list_(Xs, X, Min).

min_list_([], M, M).
min_list_([X|Xs], M0, M) :- M1 is min(M0, X), min_list_(Xs, M1, M).

% max_member(Max, List), min_member(Min, List): the largest and smallest
% element in the standard order of terms.
max_member(Max, [X|Xs]) :- max_member_(Xs, X, Max).

max_member_([], M, M).
max_member_([X|Xs], M0, M) :- ( X @> M0 -> max_member_(Xs, X, M) ; max_member_(Xs, M0, M) ).

min_member(Min, [X|Xs]) :- min_member_(Xs, X, Min).

min_member_([], M, M).
min_member_([X|Xs], M0, M) :- ( X @< M0 -> min_member_(Xs, X, M) ; min_member_(Xs, M0, M) ).

% numlist(Low, High, List): Low..High; fails when High < Low.
numlist(L, H, R) :-
    Ctx = lists:numlist(L, H, R),
    prolog:'$must_be_integer'(L, Ctx, 1),
    prolog:'$must_be_integer'(H, Ctx, 2),
    L =< H,
    numlist_(L, H, R).

numlist_(H, H, R) :- !, R = [H].
numlist_(L, H, [L|R]) :- L1 is L + 1, numlist_(L1, H, R).

% delete(List, Elem, Rest): Rest is List without the elements that unify
% with Elem (the test binds nothing).
delete([], _, []).
delete([X|Xs], D, R) :-
    (   X \= D -> R = [X|R1] ; R = R1 ),
    delete(Xs, D, R1).

select(X, [Y|Ys], R) :- select_(Ys, Y, X, R).

select_(T, H, H, T).
select_([Y|Ys], H, X, [H|R]) :- select_(Ys, Y, X, R).

selectchk(X, L, R) :- select(X, L, R), !.

% select(X, Xs, Y, Ys): Ys is Xs with one element X replaced by Y.
select(X, Xs, Y, Ys) :- select4_(Xs, X, Y, Ys).

select4_([X|T], X, Y, [Y|T]).
select4_([H|T], X, Y, [H|T1]) :- select4_(T, X, Y, T1).

% subtract(Set, Delete, Rest): the elements of Set that do not unify with an
% element of Delete.
subtract([], _, []).
subtract([X|Xs], D, R) :-
    (   memberchk(X, D) -> R = R1 ; R = [X|R1] ),
    subtract(Xs, D, R1).

% intersection(Set1, Set2, Set): the elements of Set1 that unify with an
% element of Set2; union(Set1, Set2, Set): those that do not, then Set2.
intersection([], _, []).
intersection([X|Xs], S, R) :-
    (   memberchk(X, S) -> R = [X|R1] ; R = R1 ),
    intersection(Xs, S, R1).

union([], S, S).
union([X|Xs], S, R) :-
    (   memberchk(X, S) -> R = R1 ; R = [X|R1] ),
    union(Xs, S, R1).

% is_set(Set): a proper list without two identical (==) elements.
is_set(L) :-
    prolog:'$list_skip'(L, N, T),
    N >= 0, T == [],
    msort(L, S),
    \+ adjacent_same_(S).

adjacent_same_([X, Y|T]) :- ( X == Y -> true ; adjacent_same_([Y|T]) ).

% subset(Sub, Set): every element of Sub unifies with an element of Set.
subset([], _).
subset([X|Xs], S) :- memberchk(X, S), subset(Xs, S).

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
