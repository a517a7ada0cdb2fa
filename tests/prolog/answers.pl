% The reference side of the differential test, run on swipl --traditional:
%   swipl --traditional -q answers.pl -- CORPUS_FILE
% Prints every solution of answer(Name, Result), in order, one line each, as
% Name = Result in the canonical form the emulator side prints too:
% atoms quoted, integers in decimal, floats as M*2^E exactly (M odd) or
% 0.0, variables numbered _G0, _G1 ... by first appearance within the line,
% compound terms in functional notation.
:- initialization(main, main).

main :-
    current_prolog_flag(argv, [File]),
    set_stream(user_output, encoding(utf8)),
    load_files(File, [silent(true)]),
    forall(answer(Name, Result), print_answer(Name, Result)).

print_answer(Name, Result) :-
    term_variables(Name-Result, Vs),
    canon(Name, Vs, A), canon(Result, Vs, B),
    format("~s = ~s~n", [A, B]).

canon(T, Vs, Cs) :- var(T), !, var_index(Vs, T, 0, I), format(codes(Cs), "_G~d", [I]).
canon(T, _, Cs) :- atom(T), !, quoted(T, Cs).
canon(T, _, Cs) :- integer(T), !, number_codes(T, Cs).
canon(T, _, Cs) :- float(T), !, float_canon(T, Cs).
canon(T, Vs, Cs) :-
    T =.. [F|As],
    quoted(F, FCs),
    canon_args(As, Vs, ACs),
    append([FCs, "(", ACs, ")"], Cs).

canon_args([A], Vs, Cs) :- !, canon(A, Vs, Cs).
canon_args([A|As], Vs, Cs) :- canon(A, Vs, C1), canon_args(As, Vs, C2), append([C1, ",", C2], Cs).

var_index([V|Vs], T, I0, I) :- ( V == T -> I = I0 ; I1 is I0 + 1, var_index(Vs, T, I1, I) ).

quoted(A, Cs) :-
    atom_codes(A, Codes),
    escape(Codes, Es),
    append([[0'\'], Es, [0'\']], Cs).

escape([], []).
escape([C|Cs], Es) :-
    (   C =:= 0'\\ -> Es = [0'\\, 0'\\|Es1]
    ;   C =:= 0'\' -> Es = [0'\\, 0'\'|Es1]
    ;   ( C < 32 ; C =:= 127 ) -> format(codes(H), "\\x~16r\\", [C]), append(H, Es1, Es)
    ;   Es = [C|Es1]
    ),
    escape(Cs, Es1).

% F = M * 2^E exactly, M odd.
float_canon(F, Cs) :- F =:= 0.0, !, Cs = "0.0".
float_canon(F, Cs) :-
    A is abs(F),
    ratio(A, M0, K),
    E0 is -K,
    reduce(M0, E0, M1, E),
    ( F < 0 -> M is -M1 ; M = M1 ),
    format(codes(Cs), "~d*2^~d", [M, E]).

ratio(F, M, 0) :- F >= 9007199254740992.0, !, M is integer(F).
ratio(F, M, K) :- ratio(F, 0, M, K).
ratio(G, K0, M, K) :-
    (   G =:= float_integer_part(G) -> M is integer(G), K = K0
    ;   G1 is G * 2.0, K1 is K0 + 1, ratio(G1, K1, M, K)
    ).

reduce(M, E, M, E) :- M mod 2 =:= 1, !.
reduce(M0, E0, M, E) :- M1 is M0 // 2, E1 is E0 + 1, reduce(M1, E1, M, E).
