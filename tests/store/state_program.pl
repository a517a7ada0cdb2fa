% The program of the saved-state round trip (state_roundtrip.sh): modules
% with exports, a module importing from two others, static predicates with
% first-argument keys, internal predicates, big integers and floats in code,
% dynamic predicates with facts and rules, declarations, blackboard entries
% in three modules, and database references held by clauses and by the
% blackboard: to a live clause, to an erased one, across predicates and in
% a cycle. setup/0 makes what only running code can make (the dynamic facts
% of the modules other than user and the imports among them too, which the
% test's loader runs no directive for); answer/2 asks.

shapes:area(square(S), A) :- A is S * S.
shapes:area(circle(R), A) :- A is 3.0 * R * R.
shapes:area(rect(W, H), A) :- A is W * H.

inventory:restock(Item, N) :-
    retract(inventory:stock(Item, M)), M1 is M + N, assertz(inventory:stock(Item, M1)).
inventory:total(T) :- findall(N, inventory:stock(_, N), Ns), inventory:sum(Ns, 0, T).
inventory:sum([], S, S).
inventory:sum([X|Xs], S0, S) :- S1 is S0 + X, inventory:sum(Xs, S1, S).

:- dynamic node/1, link/2, note/1, cyc/1, cyc2/1, counter/1.

:- meta_predicate twice(0).
:- block((frozen(-, ?), frozen(?, -))).

frozen(X, X).

twice(G) :- call(G), call(G).

counter(0).

bump :- retract(counter(N)), N1 is N + 1, assertz(counter(N1)).

kind(X, K) :- ( X = [_|_] -> K = list ; atom(X) -> K = atom ; number(X) -> K = number ; K = other ).

color(red, 1).
color(green, 2).
color(blue, 3).
color(f(_), 4).
color([_], 5).
color(2.5, 6).

setup :-
    prolog:'$module'(shapes, [area/2, shape/1], false, geometry),
    prolog:'$module'(inventory, [stock/2, restock/2, total/1], false, []),
    assertz(shapes:shape(square(2))),
    assertz(shapes:shape(circle(1.5))),
    assertz(shapes:shape(rect(3, 100000000000000000000))),
    assertz(inventory:stock(apple, 3)),
    assertz(inventory:stock(pear, 18446744073709551616)),
    assertz(inventory:stock(fig, -7)),
    prolog:'$import_preds'(user, shapes, [area/2, shape/1]),
    prolog:'$import_preds'(user, inventory, [stock/2, total/1]),
    prolog:'$bb_put'(user, counter, 7),
    prolog:'$bb_put'(shapes, default, square(1)),
    prolog:'$bb_put'(inventory, 42, f(X, X, "text", 2.5, 123456789012345678901234567890)),
    assertz(node(a), Ra), assertz(node(b), Rb), assertz(link(Ra, Rb)),
    assertz(note(gone), Rg), erase(Rg), assertz(link(Rg, none)),
    assertz(node(c), Rc), assertz(note(Rc)),
    assertz(cyc(start), Rs), assertz(cyc2(Rs), R2), assertz(cyc(R2)),
    prolog:'$bb_put'(user, ref, Ra),
    assertz((double(N, M) :- M is 2 * N)),
    assertz(pairs([a-1, b-2|T] - T)).

node_of(R, X) :- ( R = '$ref'(_, _), clause(node(X), true, R) -> true ; X = none ).

answer(areas, L) :- findall(S-A, (shape(S), area(S, A)), L).
answer(total, T) :- total(T).
answer(links, L) :- findall(X-Y, (link(R1, R2), node_of(R1, X), node_of(R2, Y)), L).
answer(erased_ref, X) :- link(R, none), node_of(R, X).
answer(note, X) :- note(R), node_of(R, X).
answer(cycle, X) :- cyc(R2), R2 = '$ref'(_, _), clause(cyc2(R1), true, R2), clause(cyc(X), true, R1).
answer(blackboard, [C, D, E, N]) :-
    prolog:'$bb_get'(user, counter, C), prolog:'$bb_get'(shapes, default, D), prolog:'$bb_get'(inventory, 42, E),
    prolog:'$bb_get'(user, ref, R), node_of(R, N).
answer(imported, F-G) :- prolog:'$imported'(user, area(_, _), F), prolog:'$imported'(user, total(_), G).
answer(colors, L) :- findall(C-N, color(C, N), L).
answer(color_key, N) :- color(blue, N).
answer(kinds, L) :- findall(K, (member_(X, [[a], b, 3, f(x)]), kind(X, K)), L).
answer(twice, N) :- twice(bump), counter(N).
answer(declarations, B-M) :-
    prolog:'$block_declaration'(frozen(_, _), user, B), prolog:'$meta_declaration'(twice(_), user, M).
answer(rule, M) :- double(21, M).
answer(pairs, P) :- pairs(P).
answer(restock, T) :- inventory:restock(apple, 2), total(T).

member_(X, [X|_]).
member_(X, [_|Xs]) :- member_(X, Xs).
