% The reference side of the Prolog tests, run on swipl --traditional in ISO
% mode: writes, for every case t(Name, Template, Goal) of a table, the fact
% expected(Name, Answer) with the answer as builtins/runner.pl defines it.
%   swipl --traditional -q reference_answers.pl -- TABLE.pl > EXPECTED.pl
:- initialization(main, main).

main :-
    current_prolog_flag(argv, [File]),
    set_stream(user_output, encoding(utf8)),
    style_check(-singleton),
    load_files(File, [silent(true)]),
    (   current_predicate(t/3)
    ->  findall(t(Name, Template, Goal), t(Name, Template, Goal), Cases)
    ;   Cases = []
    ),
    set_prolog_flag(iso, true),
    forall(member(t(Name, Template, Goal), Cases),
           (   answer(Template, Goal, Answer),
               format("~q.~n", [expected(Name, Answer)])
           )).

answer(Template, Goal, Answer) :-
    catch(findall(Template, Goal, Answer0), Ball, true),
    (   var(Ball) -> Answer = Answer0
    ;   Ball = error(Formal, _) -> Answer = error(Formal)
    ;   Answer = ball(Ball)
    ).
