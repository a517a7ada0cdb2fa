% The Prolog test runner: runs every case of the tables loaded with it and
% reports which answers differ from the expected ones. The harness
% (builtin_tests.cpp) calls run_tests/3 and prints its report, ending with the
% line "N passed, N failed".
%
% A table holds cases of two kinds:
%   t(Name, Template, Goal)            the expected answer is the reference
%                                      system's (expected(Name, Answer),
%                                      written by reference_answers.pl)
%   x(Name, Template, Goal, Expected)  the expected answer is written in the
%                                      table, from the standard or from this
%                                      system's rules
%   r(Name, Goal, Ball)                Goal ends the query with the exception
%                                      Ball, which catch/3 does not catch (the
%                                      reserved exceptions of halt/1 and
%                                      abort/0); the harness runs these cases
%                                      one by one through run_reserved/1
% An answer is the list of the instances of Template for the solutions of
% Goal, in order; error(Formal) when Goal raised error(Formal, _);
% ball(Ball) when it raised another ball. Answers are compared as
% variants.

:- dynamic t/3, x/4, r/3, expected/2.

run_reserved(Name) :- r(Name, Goal, _), call(Goal).

run_tests(Passed, Failed, Failures) :-
    findall(Name, case_name(Name), Names),
    run_cases(Names, 0, 0, Passed, Failed, Failures).

case_name(Name) :- t(Name, _, _).
case_name(Name) :- x(Name, _, _, _).

run_cases([], P, F, P, F, []).
run_cases([Name|Names], P0, F0, P, F, Failures) :-
    (   case_outcome(Name, Got, Expected) -> true ; Got = no_answer ),
    (   var(Expected) -> Expected = no_expected_answer ; true ),
    (   variant(Got, Expected)
    ->  P1 is P0 + 1, F1 = F0, Failures = Failures1
    ;   P1 = P0, F1 is F0 + 1,
        Failures = [failed(Name, Got, Expected)|Failures1]
    ),
    run_cases(Names, P1, F1, P, F, Failures1).

case_outcome(Name, Got, Expected) :-
    (   t(Name, Template, Goal) -> ( expected(Name, Expected) -> true ; true )
    ;   x(Name, Template, Goal, Expected)
    ),
    answer(Template, Goal, Got).

answer(Template, Goal, Answer) :-
    catch(findall(Template, Goal, Answer0), Ball, true),
    (   var(Ball) -> Answer = Answer0
    ;   Ball = error(Formal, _) -> Answer = error(Formal)
    ;   Answer = ball(Ball)
    ).

variant(A, B) :- subsumes_term(A, B), subsumes_term(B, A).
