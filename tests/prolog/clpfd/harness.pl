% The harness of the tests of library(clpfd), loaded by the console program
% before a test file. A test file defines case/4 facts or test/2 facts
% (checks that are no table of answers), or both:
%   case(Name, Template, Goal, Expected)  Expected is the list of the
%       instances of Template for the solutions of Goal, in order, or
%       error(Formal) when Goal raises error(Formal, _), or ball(Ball);
%       answers are compared as variants;
%   test(Name, Goal)  Goal succeeds.
% run_tests/0 runs them all, prints each failure and the line
% "N passed, N failed", and halts with 0 when nothing failed, else 1.

:- use_module(library(clpfd)).
:- use_module(library(lists)).

run_tests :-
    findall(N, ( defined(case/4), case(N, _, _, _) ; defined(test/2), test(N, _) ), Names),
    run_all(Names, 0, 0, P, F),
    format("~d passed, ~d failed~n", [P, F]),
    (   F =:= 0 -> halt(0) ; halt(1) ).

run_all([], P, F, P, F).
run_all([N|Ns], P0, F0, P, F) :-
    (   outcome(N, Got, Expected), variant(Got, Expected)
    ->  P1 is P0 + 1, F1 = F0
    ;   P1 = P0, F1 is F0 + 1,
        (   outcome(N, Got, Expected) -> true ; Got = no_answer, Expected = '?' ),
        format("FAILED ~q~n  got:      ~q~n  expected: ~q~n", [N, Got, Expected])
    ),
    run_all(Ns, P1, F1, P, F).

defined(N/A) :- current_predicate(user:N/A).

outcome(N, Got, Expected) :-
    (   defined(case/4), case(N, T, G, E)
    ->  Expected = E, answer(T, G, Got)
    ;   test(N, G),
        Expected = true,
        (   catch(G, Ball, true) -> ( var(Ball) -> Got = true ; Got = ball(Ball) ) ; Got = false )
    ).

answer(T, G, Answer) :-
    catch(findall(T, G, Answer0), Ball, true),
    (   var(Ball) -> Answer = Answer0
    ;   Ball = error(Formal, _) -> Answer = error(Formal)
    ;   Answer = ball(Ball)
    ).

variant(A, B) :- subsumes_term(A, B), subsumes_term(B, A).

% A seeded generator for the random tests (the seed on the blackboard):
% random(N, R) gives R in 0..N-1.
random(N, R) :-
    bb_get(seed, S0),
    S is (S0 * 25214903917 + 11) /\ 0xFFFFFFFFFFFF,
    bb_put(seed, S),
    R is (S >> 17) mod N.

random_between(L, H, X) :- N is H - L + 1, random(N, R), X is L + R.

pick(List, X) :- length(List, N), random(N, I), nth0(I, List, X).

% Posting a random problem, and its solutions by enumeration (holds/1,
% the truth of one constraint, is the test file's).
post_domains([], []).
post_domains([V|Vs], [D|Ds]) :- V in D, post_domains(Vs, Ds).

post_all([]).
post_all([C|Cs]) :- call(C), post_all(Cs).

% The solutions, sorted, by enumeration.
brute_force(Vars, Doms, Cs, Sols) :-
    findall(Vars, ( assign(Vars, Doms), all_hold(Cs) ), Sols0),
    msort(Sols0, Sols).

assign([], []).
assign([V|Vs], [D|Ds]) :- dom_value(D, V), assign(Vs, Ds).

dom_value(L..H, V) :- between(L, H, V).
dom_value(D1 \/ D2, V) :- ( dom_value(D1, V) ; dom_value(D2, V) ).

all_hold([]).
all_hold([C|Cs]) :- holds(C), all_hold(Cs).
