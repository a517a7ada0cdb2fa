% Coverage by source line: after a program consulted with the flag
% source_info on has run with the flag profiling on, which lines of its
% files ran and how often. Development system only (the line look-ups are
% its built-ins).
%
% coverage_data(Data)  Data is a sorted list of line(File, Line, Count), one
%                      per line that holds a clause or a goal of a consulted
%                      predicate. A clause of a dynamic predicate counts per
%                      goal position; the lines of a static predicate's
%                      clause (its head and calls) each count the times the
%                      clause was entered. Count 0: the line did not run.
% print_coverage       prints the same on user_error, per file.

:- module(prolog, [coverage_data/1, print_coverage/0]).

coverage_data(Data) :-
    '$get_coverage'(Counters),
    '$coverage_lines'(Counters, L0),
    msort(L0, Sorted),
    '$coverage_sum'(Sorted, Data).

'$coverage_lines'([], []).
'$coverage_lines'([counter(File, _, _, Line)-C|Cs], L0) :-
    arg(1, C, N),
    (   atom(File), File \== [], integer(Line), Line > 0 -> L0 = [line(File, Line, N)|L] ; L0 = L ),
    '$coverage_lines'(Cs, L).

% One element per line, the counts of a line summed.
'$coverage_sum'([], []).
'$coverage_sum'([line(F, L, N0)|Ls], [line(F, L, N)|Data]) :-
    '$coverage_same_line'(Ls, F, L, N0, N, Rest),
    '$coverage_sum'(Rest, Data).

'$coverage_same_line'([line(F1, L1, N1)|Ls], F, L, N0, N, Rest) :-
    F1 == F, L1 == L, !,
    N2 is N0 + N1,
    '$coverage_same_line'(Ls, F, L, N2, N, Rest).
'$coverage_same_line'(Rest, _, _, N, N, Rest).

print_coverage :-
    coverage_data(Data),
    '$print_coverage'(Data, []).

'$print_coverage'([], _).
'$print_coverage'([line(F, L, N)|Ls], Last) :-
    (   F == Last -> true ; format(user_error, '~w~n', [F]) ),
    format(user_error, '~t~d~8|  ~d~n', [L, N]),
    '$print_coverage'(Ls, F).
