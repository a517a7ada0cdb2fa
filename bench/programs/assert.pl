% The dynamic database, 40 rounds: 3000 facts added at the end and looked
% up by their first argument, a counter kept as a fact that is retracted
% and asserted again at every step, facts added at the front, and every
% fact retracted again.
:- dynamic(item/2).
:- dynamic(counter/1).

bench :-
    retractall(counter(_)),
    assertz(counter(0)),
    loop(40, 0, S),
    counter(C),
    C =:= 40 * 3000,
    S =:= 40 * (3000 * 3001 // 2 + 2 * 3000 * 3001 // 2).

loop(0, S, S) :- !.
loop(N, S0, S) :-
    add(1, 3000),
    look(1, 3000, 0, A),
    front(1, 3000),
    drain(0, B),
    S1 is S0 + A + B,
    N1 is N - 1,
    loop(N1, S1, S).

add(I, N) :- I > N, !.
add(I, N) :- assertz(item(I, v(I))), I1 is I + 1, add(I1, N).

% Each key has one fact: the lookup should leave no choice behind.
look(I, N, A, A) :- I > N, !.
look(I, N, A0, A) :-
    item(I, v(V)),
    bump,
    A1 is A0 + V,
    I1 is I + 1,
    look(I1, N, A1, A).

bump :- retract(counter(C)), C1 is C + 1, assertz(counter(C1)).

front(I, N) :- I > N, !.
front(I, N) :- K is -I, asserta(item(K, v(I))), I1 is I + 1, front(I1, N).

drain(B0, B) :-
    (   retract(item(_, v(V))) -> B1 is B0 + V, drain(B1, B)
    ;   B = B0
    ).
