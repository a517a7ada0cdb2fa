% Read-write round trips: each term of a generated set, written by writeq/1
% and a full stop, reads back as a variant of itself. The set: every
% operator in the table of the running system, alone, with atomic and
% operator operands on each side, nested in itself and under the
% neighbouring priorities; negative numbers; quoted atoms; curly and list
% terms; variables. The answer lists the terms that come back otherwise.

:- discontiguous x/4.

x(round_trip, Bad, (terms(Ts), round_trip(Ts, Bad)), [[]]).
x(round_trip_count, yes, (terms(Ts), length(Ts, N), N > 500), [yes]).

round_trip(Ts, Bad) :-
    File = 'lv_round_trip.tmp',
    open(File, write, S),
    write_all(Ts, S),
    close(S),
    open(File, read, R),
    read_all(Ts, R, Bad),
    close(R).

write_all([], _).
write_all([T|Ts], S) :- writeq(S, T), write(S, ' .'), nl(S), write_all(Ts, S).

read_all([], _, []).
read_all([T|Ts], R, Bad) :-
    catch(read(R, T1), E, T1 = error(E)),
    (   variant(T, T1) -> Bad = Bad1 ; Bad = [T-T1|Bad1] ),
    read_all(Ts, R, Bad1).

terms(Ts) :- findall(T, term(T), Ts).

operand(a).
operand(1).
operand(-1).
operand(-2.5).
operand('A b').
operand([]).
operand('{}').
operand(f(x)).
operand(_).

term(T) :- operand(T).
term(T) :- member(T, ['hello world', 'don''t', '\\', 'a\nb', '', ',', '|', '[]', '{}', ';', '!', 'éa', 'Abc', '_x',
                      [a, b|c], [[]], [-1, - 1, -(-(1))], {a, b}, {-}, '{}'(x), f(;, '|', '[]'), -(1), -(-1),
                      - a, -(-(a)), 1 - -1, 2 ^ -1, a = (\+ b), [a|_], f(X, Y, X, Y), -(1) ^ 2, (-1) ^ 2, - (1 ^ 2),
                      1 - (2 - 3), (1 - 2) - 3, (a :- b, c ; d -> e), f((a, b)), f((a :- b)), [(a :- b)]]).
term(T) :-
    current_op(P, Type, Name), Name \== '|', Name \== '{}', Name \== '[]',
    op_term(P, Type, Name, T).

op_term(_, Type, Name, T) :- prefix(Type), operand(X), T =.. [Name, X].
op_term(_, Type, Name, T) :- infix(Type), operand(X), operand(Y), T =.. [Name, X, Y].
op_term(_, Type, Name, T) :- postfix(Type), operand(X), T =.. [Name, X].
op_term(_, _, Name, Name).
op_term(_, Type, Name, T) :- prefix(Type), T0 =.. [Name, a], T =.. [Name, T0].
op_term(_, Type, Name, T) :- prefix(Type), T =.. [Name, Name].
op_term(_, Type, Name, T) :-
    infix(Type), T0 =.. [Name, a, b],
    ( T =.. [Name, T0, c] ; T =.. [Name, c, T0] ; T =.. [Name, Name, Name] ).
op_term(P, Type, Name, T) :-
    infix(Type),
    current_op(P2, Type2, Name2), Name2 \== '|', abs(P2 - P) =< 100,
    (   infix(Type2) -> T0 =.. [Name2, a, b] ; prefix(Type2) -> T0 =.. [Name2, a] ),
    ( T =.. [Name, T0, z] ; T =.. [Name, z, T0] ).

prefix(fy).
prefix(fx).
infix(xfx).
infix(xfy).
infix(yfx).
postfix(xf).
postfix(yf).


member(X, [X|_]).
member(X, [_|T]) :- member(X, T).
