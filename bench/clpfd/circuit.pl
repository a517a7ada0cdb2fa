% A circuit through 200 nodes, each of which may go to the nodes up to
% five ahead of it or three behind it (around the ring); the first
% circuit found by labeling is checked to visit every node.
bench :-
    N = 200,
    length(Xs, N),
    neighbours(Xs, 1, N),
    circuit(Xs),
    once(label(Xs)),
    visits(Xs, 1, N, 0, N).

neighbours([], _, _).
neighbours([X|Xs], I, N) :-
    findall(J, ( member(D, [-3, -2, -1, 1, 2, 3, 4, 5]), J is (I - 1 + D + N) mod N + 1 ), Js),
    list_to_fdset_(Js, X),
    I1 is I + 1,
    neighbours(Xs, I1, N).

list_to_fdset_([J|Js], X) :- foldl(dom_or, Js, J, D), X in D.
dom_or(J, D0, D0 \/ J).

% Following successors from node 1 comes back after exactly N steps.
visits(_, 1, _, K, N) :- K > 0, !, K =:= N.
visits(Xs, I, M, K, N) :- nth1(I, Xs, J), K1 is K + 1, K1 =< N, visits(Xs, J, M, K1, N).
