% Making 1,000,000 atoms, each from the codes of a number behind a prefix,
% dropped at once: the atom table's and the atom collector's work.
bench :- make(1, 1000000).

make(I, N) :- I > N, !.
make(I, N) :-
    number_codes(I, Cs),
    atom_codes(A, [0'a|Cs]),
    atom_length(A, _),
    I1 is I + 1,
    make(I1, N).
