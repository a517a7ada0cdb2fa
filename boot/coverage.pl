% Coverage by source line: after a program consulted with the flag
% source_info on has run with the flag profiling on, which lines of its
% files ran and how often. Development system only (the line look-ups are
% its built-ins).
%
% coverage_data(Data)  Data is a sorted list of line(File, Line, Count), one
%                      per line that holds a clause or a goal of a consulted
%                      predicate. A clause of a dynamic predicate counts per
%                      goal position; a static predicate's lines (its
%                      clause heads and calls) each count the predicate's
%                      calls. Count 0: the line did not run.
% print_coverage       prints the same on user_error, per file.

:- module(prolog, [coverage_data/1, print_coverage/0]).

coverage_data(Data) :-
    '$get_coverage'(Dynamic),
    '$coverage_dynamic'(Dynamic, L0, L1),
    '$get_counters'(Counters),
    findall(Spec-File, '$pred_file'(Spec, File), Static),
    '$coverage_static'(Static, Counters, [], L1, []),
    msort(L0, Sorted),
    '$coverage_sum'(Sorted, Data).

'$coverage_dynamic'([], L, L).
'$coverage_dynamic'([counter(File, _, _, Line)-C|Cs], L0, L) :-
    arg(1, C, N),
    (   atom(File), integer(Line), Line > 0 -> L0 = [line(File, Line, N)|L1] ; L1 = L0 ),
    '$coverage_dynamic'(Cs, L1, L).

% A static predicate's lines: the lines of its file that its code records.
% The lines of a file are counted once (Sizes holds File-Lines).
'$coverage_static'([], _, _, L, L).
'$coverage_static'([(M:Name/Arity)-File|Ps], Counters, Sizes0, L0, L) :-
    (   '$coverage_member'((M:Name/Arity)-counter(_, _, _, Calls), Counters) -> arg(1, Calls, N) ; N = 0 ),
    '$coverage_file_lines'(File, Sizes0, Sizes, Last),
    findall(line(File, Line, N),
            ( between(1, Last, Line), '$comp_has_line'(M, Name, Arity, File, Line) ),
            Lines),
    '$coverage_append'(Lines, L1, L0),
    '$coverage_static'(Ps, Counters, Sizes, L1, L).

'$coverage_file_lines'(File, Sizes, Sizes, Last) :- '$coverage_member'(File-Last, Sizes), !.
'$coverage_file_lines'(File, Sizes, [File-Last|Sizes], Last) :-
    catch(( open(File, read, S), '$coverage_count_lines'(S, 1, Last), close(S) ), _, Last = 0).

'$coverage_count_lines'(S, N0, N) :-
    get_code(S, C),
    (   C =:= -1 -> N = N0
    ;   C =:= 0'\n -> N1 is N0 + 1, '$coverage_count_lines'(S, N1, N)
    ;   '$coverage_count_lines'(S, N0, N)
    ).

'$coverage_member'(X, [Y|Ys]) :- ( X = Y -> true ; '$coverage_member'(X, Ys) ).

'$coverage_append'([], L, L).
'$coverage_append'([X|Xs], L, [X|Ys]) :- '$coverage_append'(Xs, L, Ys).

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
