% Flushing: 20,000 short lines written to a file, each followed by
% flush_output/1, which hands the line to the operating system. The file is
% made (again on each run) in the working directory, which bench/run.sh
% sets to its work directory in the build. (The runner counts user CPU
% time: a flush that also waited for the disk would cost wall time on top
% of what shows here.)
bench :-
    F = 'lv_bench_flush.tmp',
    open(F, write, S),
    lines(20000, S),
    close(S),
    open(F, read, In), count_lines(In, 0, N), close(In),
    N =:= 20000.

lines(0, _) :- !.
lines(I, S) :- put_char(S, x), nl(S), flush_output(S), I1 is I - 1, lines(I1, S).

count_lines(S, N0, N) :-
    get_char(S, C),
    (   C == end_of_file -> N = N0
    ;   C == '\n' -> N1 is N0 + 1, count_lines(S, N1, N)
    ;   count_lines(S, N0, N)
    ).
