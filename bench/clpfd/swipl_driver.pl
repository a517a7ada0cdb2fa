% Runs bench/0 of a CLP(FD) program once on swipl's library(clpfd) and
% prints the CPU seconds it took (loading excluded). Used by run.sh.
:- use_module(library(clpfd)).
:- initialization(main, main).

% The best assignment of a maximisation: the first that labeling with
% max/1 gives.
best_labeling(V, Xs) :- once(labeling([max(V)], Xs)).

main :-
    current_prolog_flag(argv, [File]),
    load_files(File, [silent(true)]),
    statistics(cputime, T0),
    (   once(bench) -> true ; format(user_error, "bench failed~n", []), halt(1) ),
    statistics(cputime, T1),
    T is T1 - T0,
    format("~3f~n", [T]).
