% Runs bench/0 of a program once on swipl and prints the CPU seconds it took
% (loading excluded). Used by bench/run.sh.
:- initialization(main, main).

main :-
    current_prolog_flag(argv, [File]),
    load_files(File, [silent(true)]),
    statistics(cputime, T0),
    once(bench),
    statistics(cputime, T1),
    T is T1 - T0,
    format("~3f~n", [T]).
