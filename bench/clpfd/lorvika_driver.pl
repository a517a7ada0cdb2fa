% Runs bench/0 of a CLP(FD) program once on this system's library(clpfd)
% and prints the CPU seconds it took (loading excluded). Used by run.sh:
%   lorvika --noinfo --nologo -l lorvika_driver.pl --goal main. -- PROGRAM
:- use_module(library(clpfd)).
:- use_module(library(lists)).

% The best assignment of a maximisation, by branch and bound.
best_labeling(V, Xs) :- once(labeling([maximize(V)], Xs)).

main :-
    prolog:'$argv'(Argv),
    append(_, [File], Argv),
    consult(File),
    statistics(runtime, [T0, _]),
    (   once(bench) -> true ; format(user_error, "bench failed~n", []), halt(1) ),
    statistics(runtime, [T1, _]),
    T is (T1 - T0) / 1000,
    format("~3f~n", [T]),
    halt(0).
