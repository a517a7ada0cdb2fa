% The reader and writer with 500 operators declared besides the standard
% ones: 4,000 clauses full of standard operators, written with writeq/2 and
% read back 5 times. Looking an operator up must not cost more with more
% operators declared.
bench :-
    declare_ops(0, 500),
    File = 'bench_read_ops.tmp',
    open(File, write, S),
    write_clauses(0, 4000, S),
    close(S),
    read_rounds(5, File, 0, N),
    N =:= 5 * 4000.

declare_ops(I, N) :- I >= N, !.
declare_ops(I, N) :-
    number_codes(I, Cs),
    atom_codes(Name, [0'o, 0'p|Cs]),
    P is 100 + I mod 1000,
    op(P, xfx, Name),
    I1 is I + 1,
    declare_ops(I1, N).

write_clauses(I, N, _) :- I >= N, !.
write_clauses(I, N, S) :-
    C = (p(I, X, Y) :- X = a + b * c - d / e, Y is X mod 7 - (-3), \+ X == Y, (X < Y -> true ; X >= Y), [X|Y] = [1, 2]),
    writeq(S, C), write(S, '.'), nl(S),
    I1 is I + 1,
    write_clauses(I1, N, S).

read_rounds(0, _, N, N) :- !.
read_rounds(K, File, N0, N) :-
    open(File, read, S),
    read_all(S, N0, N1),
    close(S),
    K1 is K - 1,
    read_rounds(K1, File, N1, N).

read_all(S, N0, N) :-
    read(S, T),
    (   T == end_of_file -> N = N0
    ;   T = (p(_, _, _) :- _), N1 is N0 + 1, read_all(S, N1, N)
    ).
