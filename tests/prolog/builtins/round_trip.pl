% Read-write round trips: each term of a generated set, written by writeq/1
% and a full stop, reads back as a variant of itself. The set: every
% operator in the table of the running system, alone, with atomic and
% operator operands on each side, nested in itself and under the
% neighbouring priorities; negative numbers; quoted atoms; curly and list
% terms; variables. The answer lists the terms that come back otherwise.

:- discontiguous x/4.

x(round_trip, Bad, (terms(Ts), round_trip(Ts, Bad)), [[]]).
x(round_trip_count, yes, (terms(Ts), length(Ts, N), N > 500), [yes]).
% Random operator terms (fixed seeds) over atoms of every writing class,
% with extra operators of each kind declared for the while.
x(round_trip_random, Seed-Bad, (member(Seed, [1, 77, 2024]), random_round_trip(Seed, 4000, Bad)),
  [1-[], 77-[], 2024-[]]).

% Cyclic terms: written as @(Term, Equations), read back and the equations
% solved, each gives the term again.
x(round_trip_cyclic, Bad, (cyclic_terms(Ts), round_trip(Ts, cyclic_same, Bad)), [[]]).

cyclic_terms([X1, X2, X3, X4, g(X1, X1), [X5], f(X2, X3)]) :-
    X1 = f(X1), X2 = [a, - 1, (:-)|X2], X3 = f(X3, Y3), Y3 = g(X3), X4 = f(Y4), Y4 = g(-(Y4), 'A b'), X5 = - X5.

cyclic_same(T, @(T1, Eqs)) :- solve(Eqs), T1 == T.

solve([]).
solve([X = Y|Eqs]) :- X = Y, solve(Eqs).

round_trip(Ts, Bad) :- round_trip(Ts, variant, Bad).

% The terms written with writeq/2 to a file and read back, each checked
% against its original by Same; Bad the pairs that fail the check.
round_trip(Ts, Same, Bad) :-
    File = 'lv_round_trip.tmp',
    open(File, write, S, [encoding(utf8)]),
    write_all(Ts, S),
    close(S),
    open(File, read, R, [encoding(utf8)]),
    read_all(Ts, Same, R, Bad),
    close(R).

write_all([], _).
write_all([T|Ts], S) :- writeq(S, T), write(S, ' .'), nl(S), write_all(Ts, S).

read_all([], _, _, []).
read_all([T|Ts], Same, R, Bad) :-
    catch(read(R, T1), E, T1 = error(E)),
    (   call(Same, T, T1) -> Bad = Bad1 ; Bad = [T-T1|Bad1] ),
    read_all(Ts, Same, R, Bad1).

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
                      1 - (2 - 3), (1 - 2) - 3, (a :- b, c ; d -> e), f((a, b)), f((a :- b)), [(a :- b)],
                      -(1 ^ 2), -(1.0), -(-(1)), -(-(-(1))), -(1) + 2, -(1) ^ 2, -(1 ** 2), 2 - (-(1)), - (-(1) ^ 2),
                      [:-, -], f(;, '|', ';;'), {-}, - (-), \+ (-), (-) - (-), f(-, +), [a|-], a = (:-), {:-},
                      '$VAR'(a), '$VAR'('Foo'), '$VAR'(-1), '$VAR'(1.5), '$VAR'(f(x)), '$VAR'('$VAR'(a))]).
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

% The random terms: a linear congruential generator threads the seed.
random_round_trip(Seed, N, Bad) :-
    extra_ops(Ops),
    setup_call_cleanup(declare(Ops), (random_terms(N, Seed, Ts), round_trip(Ts, Bad)), undeclare(Ops)).

extra_ops([op(700, xfx, ===>), op(200, xf, '!!'), op(900, fy, pre), op(100, yfx, 'x y'), op(100, fx, '#'),
           op(700, xfy, Latin), op(200, xfx, '\xAC\'), op(300, fy, Other)]) :-
    atom_codes(Latin, [0'e, 233]),
    atom_codes(Other, [349]).

declare([]).
declare([op(P, T, N)|Os]) :- op(P, T, N), declare(Os).
undeclare([]).
undeclare([op(_, T, N)|Os]) :- op(0, T, N), undeclare(Os).

random_terms(0, _, []) :- !.
random_terms(N, S0, [T|Ts]) :- random_term(4, T, S0, S1), N1 is N - 1, random_terms(N1, S1, Ts).

random(K, X, S0, S) :- S is (S0 * 1103515245 + 12345) mod 2147483648, X is (S >> 8) mod K.

pick(L, X, S0, S) :- length(L, N), random(N, I, S0, S), nth0(I, L, X).

nth0(0, [X|_], X) :- !.
nth0(I, [_|Xs], X) :- I1 is I - 1, nth0(I1, Xs, X).

% Atoms of each writing class: words (with Latin-1 letters), symbol
% characters (with Latin-1 ones), solo atoms, atoms to quote (capitals,
% blanks, quotes, layout, a code point above 255, the comment opener, the
% end dot, commas and bars), and numbers of both signs.
leaves(L) :-
    atom_codes(E, [233]), atom_codes(Ea, [233, 0'a]), atom_codes(CapE, [201, 0'a]),
    atom_codes(Not, [172]), atom_codes(Hat, [349]), atom_codes(NotEq, [172, 0'=]),
    L = [a, xY_1, E, Ea, '+', '-', '\\', '#', '+.', '=..', Not, NotEq, '!', ';', '[]', '{}',
         'A', '_x', CapE, Hat, '', 'a b', 'don''t', 'a\nb', '/*', '.', ',', '|',
         0, 7, -1, 2.5, -2.5, 123456789012345678901234567890, -123456789012345678901234567890, _].

op_names(Ns) :-
    extra_ops(Es),
    findall(N, member(op(_, _, N), Es), Ns0),
    append(Ns0, [':-', '-->', '?-', dynamic, ';', '|', '->', ',', '\\+', '=', '\\=', '@<', '=..', is, '<', ':', '+',
                 '-', '/\\', xor, '*', '/', '//', mod, '**', '^', '\\'], Ns).

random_term(D, T, S0, S) :-
    random(10, K, S0, S1),
    (   ( D =< 0 ; K < 3 ) -> leaves(L), pick(L, T, S1, S)
    ;   K < 4 -> op_names(Ns), pick(Ns, T, S1, S)
    ;   K < 9
    ->  op_names(Ns), pick(Ns, Name, S1, S2),
        findall(Ty, current_op(_, Ty, Name), Tys), pick(Tys, Type, S2, S3),
        D1 is D - 1,
        (   infix(Type) -> random_term(D1, X, S3, S4), random_term(D1, Y, S4, S), T =.. [Name, X, Y]
        ;   random_term(D1, X, S3, S), T =.. [Name, X]
        )
    ;   D1 is D - 1, random_term(D1, X, S1, S2), random_term(D1, Y, S2, S3), random(3, J, S3, S),
        ( J =:= 0 -> T = [X|Y] ; J =:= 1 -> T = {X} ; T = f(X, Y) )
    ).

append([], L, L).
append([H|T], L, [H|R]) :- append(T, L, R).

prefix(fy).
prefix(fx).
infix(xfx).
infix(xfy).
infix(yfx).
postfix(xf).
postfix(yf).


member(X, [X|_]).
member(X, [_|T]) :- member(X, T).
