% Building, splitting and converting atoms: atomic_list_concat/2,3,
% upcase_atom/2, downcase_atom/2, atom_number/2, term_to_atom/2,
% read_term_from_atom/3 and split_atom/4.
%
% The text of an atomic term is an atom's own text or a number's as
% number_codes/2 writes it. Case conversion maps the letters of Basic
% Latin, Latin-1, Latin Extended-A, Greek and Cyrillic (0x400-0x45F) one to
% one; other characters stay as they are.

:- module(prolog, [
    atomic_list_concat/2, atomic_list_concat/3, upcase_atom/2, downcase_atom/2,
    atom_number/2, term_to_atom/2, read_term_from_atom/3, split_atom/4
]).

atomic_list_concat(L, A) :-
    Ctx = prolog:atomic_list_concat(L, A),
    '$may_be_atom'(A, Ctx, 2),
    '$atomic_list_codes'(L, [], Ctx, 1, Cs),
    atom_codes(A0, Cs),
    A = A0.

% atomic_list_concat(List, Separator, Atom): the elements of List joined
% with Separator between them; with List not complete, Atom split at each
% Separator (which must not be empty) into the atoms of List.
atomic_list_concat(L, Sep, A) :-
    Ctx = prolog:atomic_list_concat(L, Sep, A),
    '$atomic_text'(Sep, SepCs, Ctx, 2),
    '$may_be_atom'(A, Ctx, 3),
    (   '$atomic_elements'(L)
    ->  '$atomic_list_codes'(L, SepCs, Ctx, 1, Cs),
        atom_codes(A0, Cs),
        A = A0
    ;   var(A) -> '$instantiation_error'(Ctx, 3)
    ;   SepCs == [] -> '$domain_error'(non_empty_atom, Sep, Ctx, 2)
    ;   '$must_be_partial_list'(L, Ctx, 1),
        atom_codes(A, Cs),
        '$split_at'(Cs, SepCs, Parts),
        '$codes_atoms'(Parts, Atoms),
        L = Atoms
    ).

% A proper list whose elements are all atomic.
'$atomic_elements'(L) :- L == [], !.
'$atomic_elements'(L) :- nonvar(L), L = [X|Xs], atomic(X), '$atomic_elements'(Xs).

% The codes of the elements of L with Sep between them.
'$atomic_list_codes'(L, SepCs, Ctx, ArgNo, Cs) :-
    '$list_skip'(L, N, T),
    (   N >= 0, T == [] -> true
    ;   N >= 0, var(T) -> '$instantiation_error'(Ctx, ArgNo)
    ;   '$type_error'(list, L, Ctx, ArgNo)
    ),
    '$join_codes'(L, SepCs, Ctx, ArgNo, Cs).

'$join_codes'([], _, _, _, []).
'$join_codes'([X|Xs], SepCs, Ctx, ArgNo, Cs) :-
    '$atomic_text'(X, XCs, Ctx, ArgNo),
    '$append_codes'(XCs, Rest, Cs),
    (   Xs == [] -> Rest = []
    ;   '$append_codes'(SepCs, Rest1, Rest),
        '$join_codes'(Xs, SepCs, Ctx, ArgNo, Rest1)
    ).

'$append_codes'([], L, L).
'$append_codes'([C|Cs], L, [C|Ds]) :- '$append_codes'(Cs, L, Ds).

'$atomic_text'(X, Cs, Ctx, ArgNo) :-
    (   var(X) -> '$instantiation_error'(Ctx, ArgNo)
    ;   atom(X) -> atom_codes(X, Cs)
    ;   number(X) -> number_codes(X, Cs)
    ;   '$type_error'(atomic, X, Ctx, ArgNo)
    ).

% '$split_at'(Codes, Sep, Parts): Codes cut at each occurrence of the
% non-empty Sep, from the left; n occurrences give n + 1 parts.
'$split_at'(Cs, Sep, [Part|Parts]) :-
    '$split_part'(Cs, Sep, Part, Rest),
    (   Rest == none -> Parts = [] ; '$split_at'(Rest, Sep, Parts) ).

'$split_part'([], _, [], none).
'$split_part'([C|Cs], Sep, Part, Rest) :-
    (   '$prefix_codes'(Sep, [C|Cs], After) -> Part = [], Rest = After
    ;   Part = [C|Part1], '$split_part'(Cs, Sep, Part1, Rest)
    ).

'$prefix_codes'([], L, L).
'$prefix_codes'([C|Cs], [C|Ds], L) :- '$prefix_codes'(Cs, Ds, L).

'$codes_atoms'([], []).
'$codes_atoms'([Cs|Css], [A|As]) :- atom_codes(A, Cs), '$codes_atoms'(Css, As).

% split_atom(Atom, SepChars, PadChars, Parts): Atom cut at every character
% of SepChars, and each part stripped of the characters of PadChars at both
% ends. With SepChars '' the whole atom is the one part, which then only
% loses its padding.
split_atom(A, Seps, Pad, Parts) :-
    Ctx = prolog:split_atom(A, Seps, Pad, Parts),
    '$atomic_text'(A, Cs, Ctx, 1),
    '$atomic_text'(Seps, SepCs, Ctx, 2),
    '$atomic_text'(Pad, PadCs, Ctx, 3),
    '$must_be_partial_list'(Parts, Ctx, 4),
    '$split_chars'(Cs, SepCs, Fields),
    '$strip_fields'(Fields, PadCs, Atoms),
    Parts = Atoms.

'$split_chars'(Cs, SepCs, [Field|Fields]) :-
    '$split_field'(Cs, SepCs, Field, Rest),
    (   Rest == none -> Fields = [] ; '$split_chars'(Rest, SepCs, Fields) ).

'$split_field'([], _, [], none).
'$split_field'([C|Cs], SepCs, Field, Rest) :-
    (   '$code_member'(C, SepCs) -> Field = [], Rest = Cs
    ;   Field = [C|Field1], '$split_field'(Cs, SepCs, Field1, Rest)
    ).

'$code_member'(C, [D|Ds]) :- ( C =:= D -> true ; '$code_member'(C, Ds) ).

'$strip_fields'([], _, []).
'$strip_fields'([F|Fs], PadCs, [A|As]) :-
    '$strip_front'(F, PadCs, F1),
    '$reverse_codes'(F1, [], R1),
    '$strip_front'(R1, PadCs, R2),
    '$reverse_codes'(R2, [], F2),
    atom_codes(A, F2),
    '$strip_fields'(Fs, PadCs, As).

'$strip_front'([C|Cs], PadCs, S) :- '$code_member'(C, PadCs), !, '$strip_front'(Cs, PadCs, S).
'$strip_front'(Cs, _, Cs).

'$reverse_codes'([], R, R).
'$reverse_codes'([C|Cs], R0, R) :- '$reverse_codes'(Cs, [C|R0], R).

% ---------------------------------------------------------------------------
% Case

upcase_atom(A, U) :- '$case_atom'(A, U, upper, prolog:upcase_atom(A, U)).

downcase_atom(A, L) :- '$case_atom'(A, L, lower, prolog:downcase_atom(A, L)).

'$case_atom'(A, B, Case, Ctx) :-
    '$atomic_text'(A, Cs, Ctx, 1),
    '$may_be_atom'(B, Ctx, 2),
    '$case_codes'(Cs, Case, Ds),
    atom_codes(B0, Ds),
    B = B0.

'$case_codes'([], _, []).
'$case_codes'([C|Cs], Case, [D|Ds]) :-
    (   '$case_code'(Case, C, D0) -> D = D0 ; D = C ),
    '$case_codes'(Cs, Case, Ds).

'$case_code'(upper, C, U) :- '$upper_code'(C, U).
'$case_code'(lower, C, L) :- '$lower_code'(C, L).

% The upper-case letter of a lower-case one.
'$upper_code'(C, U) :- C >= 0'a, C =< 0'z, !, U is C - 32.
'$upper_code'(C, _) :- C < 0xB5, !, fail.
'$upper_code'(0xB5, 0x39C) :- !.
'$upper_code'(0xFF, 0x178) :- !.
'$upper_code'(C, U) :- C >= 0xE0, C =< 0xFE, C =\= 0xF7, !, U is C - 32.
'$upper_code'(0x131, 0x49) :- !.
'$upper_code'(0x17F, 0x53) :- !.
'$upper_code'(C, U) :- '$latin_a_pair'(C, U0, L0), C =:= L0, !, U = U0.
'$upper_code'(0x3C2, 0x3A3) :- !.
'$upper_code'(0x3AC, 0x386) :- !.
'$upper_code'(C, U) :- C >= 0x3AD, C =< 0x3AF, !, U is C - 37.
'$upper_code'(0x3CC, 0x38C) :- !.
'$upper_code'(C, U) :- C >= 0x3CD, C =< 0x3CE, !, U is C - 63.
'$upper_code'(C, U) :- C >= 0x3B1, C =< 0x3CB, !, U is C - 32.
'$upper_code'(C, U) :- C >= 0x430, C =< 0x44F, !, U is C - 32.
'$upper_code'(C, U) :- C >= 0x450, C =< 0x45F, !, U is C - 80.

% The lower-case letter of an upper-case one.
'$lower_code'(C, L) :- C >= 0'A, C =< 0'Z, !, L is C + 32.
'$lower_code'(C, _) :- C < 0xC0, !, fail.
'$lower_code'(C, L) :- C =< 0xDE, C =\= 0xD7, !, L is C + 32.
'$lower_code'(0x178, 0xFF) :- !.
'$lower_code'(0x130, 0x69) :- !.
'$lower_code'(C, L) :- '$latin_a_pair'(C, U0, L0), C =:= U0, !, L = L0.
'$lower_code'(0x386, 0x3AC) :- !.
'$lower_code'(C, L) :- C >= 0x388, C =< 0x38A, !, L is C + 37.
'$lower_code'(0x38C, 0x3CC) :- !.
'$lower_code'(C, L) :- C >= 0x38E, C =< 0x38F, !, L is C + 63.
'$lower_code'(C, L) :- C >= 0x391, C =< 0x3AB, C =\= 0x3A2, !, L is C + 32.
'$lower_code'(C, L) :- C >= 0x410, C =< 0x42F, !, L is C + 32.
'$lower_code'(C, L) :- C >= 0x400, C =< 0x40F, !, L is C + 80.

% Latin Extended-A: a code's pair of upper and lower case. The pairs are
% neighbours, the upper one even in 0x100-0x137 and 0x14A-0x177 and odd in
% 0x139-0x148 and 0x179-0x17E.
'$latin_a_pair'(C, U, L) :-
    C >= 0x100, C =< 0x17E,
    (   ( C =< 0x137, C =\= 0x130, C =\= 0x131 ; C >= 0x14A, C =< 0x177 )
    ->  U is C /\ \ 1, L is U + 1
    ;   ( C >= 0x139, C =< 0x148 ; C >= 0x179 )
    ->  (   C /\ 1 =:= 1 -> U = C, L is C + 1 ; L = C, U is C - 1 )
    ).

% ---------------------------------------------------------------------------
% Numbers and terms in atoms

% atom_number(Atom, Number): Atom's text is a number's (a sign allowed in
% front); it fails when it is not. With Atom unbound, the text of Number.
atom_number(A, N) :-
    Ctx = prolog:atom_number(A, N),
    (   var(A)
    ->  (   var(N) -> '$instantiation_error'(Ctx, 1)
        ;   number(N) -> number_codes(N, Cs), atom_codes(A, Cs)
        ;   '$type_error'(number, N, Ctx, 2)
        )
    ;   atom(A)
    ->  (   var(N) -> true ; number(N) -> true ; '$type_error'(number, N, Ctx, 2) ),
        atom_codes(A, Cs),
        '$signed_number_codes'(Cs, N0),
        N = N0
    ;   '$type_error'(atom, A, Ctx, 1)
    ).

% A number's text, with a minus or plus sign in front of it, and nothing
% else (no layout).
'$signed_number_codes'([C|Cs], N) :-
    (   C =:= 0'- -> Cs = [D|_], '$digit_code'(D), '$number_of_codes'(Cs, N0), N is -N0
    ;   C =:= 0'+ -> Cs = [D|_], '$digit_code'(D), '$number_of_codes'(Cs, N)
    ;   '$digit_code'(C), '$number_of_codes'([C|Cs], N)
    ).

'$digit_code'(C) :- C >= 0'0, C =< 0'9.

'$number_of_codes'(Cs, N) :-
    catch(number_codes(N, Cs), error(syntax_error(_), _), fail).

% term_to_atom(Term, Atom): Atom read as a term; with Atom unbound, Term
% written quoted.
term_to_atom(T, A) :-
    Ctx = prolog:term_to_atom(T, A),
    (   var(A)
    ->  format(atom(A0), '~q', [T]),
        A = A0
    ;   atom(A)
    ->  '$read_atom_term'(A, T0, [], Ctx),
        T = T0
    ;   '$type_error'(atom, A, Ctx, 2)
    ).

read_term_from_atom(A, T, Options) :-
    Ctx = prolog:read_term_from_atom(A, T, Options),
    '$must_be_atom'(A, Ctx, 1),
    '$read_atom_term'(A, T, Options, Ctx).

% The one term of an atom's text, whose end dot may be left out; anything
% but layout after it is a syntax error. Text of layout only reads
% end_of_file.
'$read_atom_term'(A, T, Options, Ctx) :-
    atom_codes(A, Cs0),
    '$reverse_codes'(Cs0, [], Rev),
    '$strip_front'(Rev, [0' , 0'\t, 0'\n, 0'\r], Rev1),
    (   Rev1 == [] -> Cs = []
    ;   Rev1 = [0'.|_] -> Cs = Cs0
    ;   '$append_codes'(Cs0, [0'\n, 0'.], Cs)
    ),
    % 40: a list of codes (8), read by an input stream (32).
    (   '$stream_from_codes'(Cs, M, 40) -> true ; throw(error(resource_error(memory), Ctx)) ),
    S = '$stream'(M),
    catch(( read_term(S, T0, Options),
            ( T0 == end_of_file -> Rest = true ; '$rest_is_layout'(S, Rest) ) ), Ball, true),
    close(S),
    (   nonvar(Ball) -> throw(Ball)
    ;   Rest == true -> T = T0
    ;   '$error'(syntax_error(end_of_clause_expected), Ctx, 1)
    ).

'$rest_is_layout'(S, Rest) :-
    get_code(S, C),
    (   C =:= -1 -> Rest = true
    ;   C =< 32 -> '$rest_is_layout'(S, Rest)
    ;   Rest = false
    ).
