% A table of 100,000 rows over three variables (one row for each pair of
% the first two columns; the third a function of them), posted over ten
% triples of variables that chain through their third and first columns;
% the values of the second variable with the first fixed are counted.
row(I, [A, B, C]) :- A is I mod 100, B is I // 100, C is (A * 31 + B * 17) mod 100.

post_table(Rows, Relation) :-
    catch(tuples_in(Rows, Relation), error(existence_error(procedure, _), _), table(Rows, Relation)).

bench :-
    N is 100000 - 1,
    findall(R, ( between(0, N, I), row(I, R) ), Relation),
    length(Vs, 21),
    links(Vs, Rows),
    post_table(Rows, Relation),
    Vs = [7|_],
    Rows = [[_, B|_]|_],
    findall(B, label([B]), Bs),
    length(Bs, 1000).

% [V1, V2, V3], [V3, V4, V5], ...: ten rows sharing an end variable.
links([A, B, C], [[A, B, C]]) :- !.
links([A, B, C|Vs], [[A, B, C]|Rows]) :- links([C|Vs], Rows).
