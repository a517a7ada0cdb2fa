% Three hard sudokus, each solved and shown to have one solution, twice
% over.
bench :- bench(2).

bench(0) :- !.
bench(N) :-
    forall(puzzle(_, P), ( findall(P, sudoku(P), [_]) )),
    N1 is N - 1,
    bench(N1).

sudoku(Rows) :-
    append_rows(Rows, Vs),
    Vs ins 1..9,
    distinct_rows(Rows),
    columns(Rows, Columns),
    distinct_rows(Columns),
    Rows = [A, B, C, D, E, F, G, H, I],
    blocks(A, B, C), blocks(D, E, F), blocks(G, H, I),
    labeling([ff], Vs).

append_rows([], []).
append_rows([R|Rs], Vs) :- append(R, Vs0, Vs), append_rows(Rs, Vs0).

distinct_rows([]).
distinct_rows([R|Rs]) :- all_distinct(R), distinct_rows(Rs).

columns([[]|_], []) :- !.
columns(Rows, [C|Cs]) :- heads(Rows, C, Rests), columns(Rests, Cs).

heads([], [], []).
heads([[X|Xs]|Rs], [X|Hs], [Xs|Ts]) :- heads(Rs, Hs, Ts).

blocks([], [], []).
blocks([A, B, C|As], [D, E, F|Ds], [G, H, I|Gs]) :-
    all_distinct([A, B, C, D, E, F, G, H, I]),
    blocks(As, Ds, Gs).

puzzle(inkala,
       [[8, _, _, _, _, _, _, _, _], [_, _, 3, 6, _, _, _, _, _], [_, 7, _, _, 9, _, 2, _, _],
        [_, 5, _, _, _, 7, _, _, _], [_, _, _, _, 4, 5, 7, _, _], [_, _, _, 1, _, _, _, 3, _],
        [_, _, 1, _, _, _, _, 6, 8], [_, _, 8, 5, _, _, _, 1, _], [_, 9, _, _, _, _, 4, _, _]]).
puzzle(easter_monster,
       [[1, _, _, _, _, _, _, _, 2], [_, 9, _, 4, _, _, _, 5, _], [_, _, 6, _, _, _, 7, _, _],
        [_, 5, _, 9, _, 3, _, _, _], [_, _, _, _, 7, _, _, _, _], [_, _, _, 8, 5, _, _, 4, _],
        [7, _, _, _, _, _, 6, _, _], [_, 3, _, _, _, 9, _, 8, _], [_, _, 2, _, _, _, _, _, 1]]).
puzzle(golden_nugget,
       [[_, _, _, _, _, _, _, 3, 9], [_, _, _, _, _, 1, _, _, 5], [_, _, 3, _, 5, _, 8, _, _],
        [_, _, 8, _, 9, _, _, _, 6], [_, 7, _, _, _, 2, _, _, _], [1, _, _, 4, _, _, _, _, _],
        [_, _, 9, _, 8, _, _, 5, _], [_, 2, _, _, _, _, 6, _, _], [4, _, _, 7, _, _, _, _, _]]).
