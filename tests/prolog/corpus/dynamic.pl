% The dynamic database: asserting at both ends, retracting, the logical
% update view, clause bodies, first-argument keys and large numbers.
% The dynamic predicates are called through call/1.
% differential: no items

fill(N) :- N > 0, assertz(cnt(N)), N1 is N - 1, fill(N1).
fill(0).

% Each solution adds a clause: the call does not see it.
grow(X) :- call(item(X)), Y is X + 10, assertz(item(Y)).
% Each solution removes the next clause: the call still sees it.
shrink(X) :- call(item(X)), ( retract(item(_)) -> true ; true ).

sum_cnt(S) :- cnt_sum(0, S).
cnt_sum(A, S) :- retract(cnt(X)), !, A1 is A + X, cnt_sum(A1, S).
cnt_sum(S, S).

rule(X, Y) :- call(item(X)), Y is X * 2.

% Asserting and retracting in a loop, with atom collections (and, in the
% run with small stacks, heap collections) in between.
churn(0) :- !.
churn(N) :-
    assertz(tmp(N, f(N, [a, b]), "xy")),
    ( N mod 3 =:= 0, retract(tmp(_, _, _)) -> true ; true ),
    ( N mod 25 =:= 0 -> garbage_collect_atoms ; true ),
    N1 is N - 1,
    churn(N1).

tmp_sum(A, S) :- retract(tmp(N, f(N, [a, b]), "xy")), !, A1 is A + N, tmp_sum(A1, S).
tmp_sum(S, S).

answer(prepend, X) :- asserta(p(1)), asserta(p(2)), asserta(p(3)), call(p(X)).
answer(append, X) :- assertz(q(a)), assertz(q(b)), asserta(q(z)), call(q(X)).
answer(grow, X) :- assertz(item(1)), assertz(item(2)), grow(X).
answer(after_grow, X) :- call(item(X)).
answer(shrink, X) :- shrink(X).
answer(after_shrink, X) :- call(item(X)).
answer(retract_all, done) :- retractall(item(_)).
answer(none_left, X) :- ( call(item(X)) -> true ; X = none ).
answer(bodies, X-Y) :- assertz(item(3)), assertz(item(4)), assertz((twice(A, B) :- rule(A, B))), call(twice(X, Y)).
answer(clause, B) :- clause(twice(_, _), B).
answer(keys, X) :- assertz(k(a, 1)), assertz(k(_, 2)), assertz(k(f(x), 3)), assertz(k([h], 4)), assertz(k(-3, 6)), assertz(k(a, 5)), call(k(a, X)).
answer(keys_list, X) :- call(k([_], X)).
answer(keys_negative, X) :- call(k(-3, X)).
answer(keys_struct, X) :- call(k(f(_), X)).
answer(keys_var, X-Y) :- call(k(X, Y)).
answer(large, X) :- assertz(big(100000000000000000000, one)), assertz(big(200000000000000000000, two)),
    assertz(big(1.5, three)), assertz(big(2.5, four)), assertz(big(100000000000000000000, five)),
    call(big(100000000000000000000, X)).
answer(large_float, X) :- call(big(2.5, X)).
answer(second_arg, X) :- assertz(s(1, a, x)), assertz(s(2, b, y)), assertz(s(3, a, z)), call(s(X, a, _)).
answer(count, S) :- fill(100), sum_cnt(S).
answer(retract_body, B) :- retract((twice(_, _) :- B)).
answer(gone, X) :- ( call(twice(_, _)) -> X = yes ; X = no ).
answer(reassert, L) :- retract(p(2)), assertz(p(2)), call(p(X)), L = X.
answer(churn_view, X) :- churn(200), call(tmp(X, _, _)), X < 5, garbage_collect_atoms.
answer(churn_sum, S) :- garbage_collect_atoms, tmp_sum(0, S).
