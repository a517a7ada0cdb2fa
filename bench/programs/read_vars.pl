% The reader on terms with many distinct variables: three lists of 30,000
% named variables and ten lists of 16,000, written to a file and read back
% with their variable names. The variable dictionary must grow in near
% linear time. (GNU Prolog reads at most 32,767 variables in a term.)
bench :-
    File = 'bench_read_vars.tmp',
    write_lists(File, [30000, 30000, 30000, 16000, 16000, 16000, 16000, 16000, 16000, 16000, 16000, 16000, 16000]),
    open(File, read, S),
    read_lists(S, 0, Total),
    close(S),
    Total =:= 250000.

write_lists(File, Ns) :-
    open(File, write, S),
    write_each(Ns, S),
    close(S).

write_each([], _).
write_each([N|Ns], S) :-
    write(S, '[V0'),
    write_vars(1, N, S),
    write(S, '].'), nl(S),
    write_each(Ns, S).

write_vars(I, N, _) :- I >= N, !.
write_vars(I, N, S) :- write(S, ',V'), write(S, I), I1 is I + 1, write_vars(I1, N, S).

read_lists(S, T0, T) :-
    read_term(S, L, [variable_names(Names)]),
    (   L == end_of_file -> T = T0
    ;   length(Names, K), length(L, K),
        T1 is T0 + K,
        read_lists(S, T1, T)
    ).
