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
