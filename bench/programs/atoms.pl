% Text work on atoms for 1..2000, 20 times: an atom made from the digits
% of a number and joined to a prefix, its length, its parts taken back by
% sub_atom/5, every split of it by atom_concat/3, every two-character
% part, and the atom spelled backwards. The atoms made are dropped at once
% and made again in the next round.
bench :-
    N = 2000,
    rounds(20, N, 0, S),
    digit_total(1, N, 0, D),
    S =:= 20 * 4 * (5 * N + D).

rounds(0, _, S, S) :- !.
rounds(K, N, S0, S) :- loop(1, N, S0, S1), K1 is K - 1, rounds(K1, N, S1, S).

loop(I, N, S, S) :- I > N, !.
loop(I, N, S0, S) :-
    number_codes(I, Cs),
    atom_codes(A, Cs),
    atom_concat(item_, A, B),
    atom_length(B, L),
    sub_atom(B, 0, 5, _, P), P == item_,
    sub_atom(B, 5, _, 0, A1), A1 == A,
    splits(B, C),
    C =:= L + 1,
    pairs(B, Q),
    Q =:= L - 1,
    atom_codes(B, Bs),
    rev(Bs, [], Rs),
    atom_codes(R, Rs),
    sub_atom(R, _, 5, 0, E), E == '_meti',
    atom_length(R, L2),
    S1 is S0 + L + C + Q + L2,
    I1 is I + 1,
    loop(I1, N, S1, S).

splits(B, C) :- count_splits(B, 0, C).

count_splits(B, C0, C) :-
    findall(X+Y, atom_concat(X, Y, B), Ps),
    count(Ps, C0, C).

pairs(B, Q) :- findall(T, sub_atom(B, _, 2, _, T), Ts), count(Ts, 0, Q).

count([], C, C).
count([_|T], C0, C) :- C1 is C0 + 1, count(T, C1, C).

rev([], R, R).
rev([X|Xs], R0, R) :- rev(Xs, [X|R0], R).

% The number of decimal digits of the numbers I..N, by division.
digit_total(I, N, D, D) :- I > N, !.
digit_total(I, N, D0, D) :-
    digits(I, K), D1 is D0 + K, I1 is I + 1, digit_total(I1, N, D1, D).

digits(I, 1) :- I < 10, !.
digits(I, K) :- J is I // 10, digits(J, K0), K is K0 + 1.
