% Text and sorting: atom_codes/2, atom_chars/2, char_code/2, atom_length/2,
% atom_concat/3, sub_atom/5, number_codes/2, number_chars/2, sort/2,
% msort/2, keysort/2.
%
% The native built-ins do the deterministic work and fail on anything they
% do not take; the clauses here check the arguments first, raise the ISO
% errors and enumerate the modes with more than one answer.

:- module(prolog, [
    atom_codes/2, atom_chars/2, char_code/2, atom_length/2, atom_concat/3, sub_atom/5,
    number_codes/2, number_chars/2, name/2, sort/2, msort/2, keysort/2
]).

atom_codes(A, L) :-
    '$atom_text'(A, L, character_code, prolog:atom_codes(A, L)).

atom_chars(A, L) :-
    '$atom_text'(A, L, character, prolog:atom_chars(A, L)).

'$atom_text'(A, L, Kind, Ctx) :-
    (   var(A)
    ->  '$text_list'(L, Kind, Ctx, 2),
        '$atom_elems'(A, L, Kind)
    ;   atom(A)
    ->  '$text_partial'(L, Kind, Ctx, 2),
        '$atom_elems'(A, L0, Kind), L = L0
    ;   '$type_error'(atom, A, Ctx, 1)
    ).

% A complete list of codes or characters: instantiation error for a partial
% list or an unbound element, else a type or representation error.
'$text_list'(L, Kind, _, _) :-
    '$text_list_valid'(L, Kind), !.
'$text_list'(L, Kind, Ctx, ArgNo) :-
    '$list_skip'(L, N, Tail),
    (   var(Tail) -> '$instantiation_error'(Ctx, ArgNo)
    ;   Tail \== [] -> '$type_error'(list, L, Ctx, ArgNo)
    ;   N < 0 -> '$type_error'(list, L, Ctx, ArgNo)
    ;   '$text_elems'(L, Kind, Ctx, ArgNo, true)
    ).

% A partial list or a list whose bound elements are of the kind.
'$text_partial'(L, Kind, _, _) :-
    ( var(L) ; '$text_list_valid'(L, Kind) ), !.
'$text_partial'(L, Kind, Ctx, ArgNo) :-
    '$list_skip'(L, N, Tail),
    (   N >= 0, ( var(Tail) ; Tail == [] )
    ->  '$text_elems'(L, Kind, Ctx, ArgNo, false)
    ;   '$type_error'(list, L, Ctx, ArgNo)
    ).

'$text_elems'(L, _, _, _, _) :- var(L), !.
'$text_elems'([], _, _, _, _).
'$text_elems'([E|Es], Kind, Ctx, ArgNo, Complete) :-
    (   var(E) -> ( Complete == true -> '$instantiation_error'(Ctx, ArgNo) ; true )
    ;   '$text_elem'(Kind, E, Ctx, ArgNo)
    ),
    '$text_elems'(Es, Kind, Ctx, ArgNo, Complete).

'$text_elem'(character_code, E, Ctx, ArgNo) :-
    (   integer(E), E >= 0, E =< 0x10FFFF -> true
    ;   '$error'(representation_error(character_code), Ctx, ArgNo)
    ).
'$text_elem'(character, E, Ctx, ArgNo) :-
    (   atom(E), '$atom_length'(E, _, 1) -> true
    ;   '$type_error'(character, E, Ctx, ArgNo)
    ).

char_code(C, Code) :-
    Ctx = prolog:char_code(C, Code),
    (   var(C)
    ->  (   var(Code) -> '$instantiation_error'(Ctx, 1)
        ;   integer(Code) -> true
        ;   '$type_error'(integer, Code, Ctx, 2)
        ),
        (   Code >= 0, Code =< 0x10FFFF -> true
        ;   '$error'(representation_error(character_code), Ctx, 2)
        )
    ;   '$text_elem'(character, C, Ctx, 1),
        (   var(Code) -> true
        ;   integer(Code) -> true
        ;   '$type_error'(integer, Code, Ctx, 2)
        )
    ),
    '$char_code'(C, Code, C1, Code1),
    C = C1, Code = Code1.

atom_length(A, N) :-
    atom(A), var(N), !,
    '$atom_length'(A, _, N).
atom_length(A, N) :-
    Ctx = prolog:atom_length(A, N),
    '$must_be_atom'(A, Ctx, 1),
    (   var(N) -> true
    ;   \+ integer(N) -> '$type_error'(integer, N, Ctx, 2)
    ;   N < 0 -> '$domain_error'(not_less_than_zero, N, Ctx, 2)
    ;   true
    ),
    '$atom_length'(A, _, Len),
    N = Len.

atom_concat(A, B, C) :-
    Ctx = prolog:atom_concat(A, B, C),
    '$may_be_atom'(A, Ctx, 1),
    '$may_be_atom'(B, Ctx, 2),
    '$may_be_atom'(C, Ctx, 3),
    (   nonvar(A), nonvar(B) -> '$atom_concat'(A, B, C)
    ;   var(C) -> '$instantiation_error'(Ctx, 3)
    ;   nonvar(A) -> '$atom_concat'(A, B, C)
    ;   nonvar(B) -> '$atom_concat'(A, B, C)
    ;   '$atom_length'(C, _, N),
        between(0, N, I),
        '$sub_atom'(C, 0, I, _, A),
        '$sub_atom'(C, I, _, 0, B)
    ).

'$may_be_atom'(X, Ctx, ArgNo) :-
    (   var(X) -> true
    ;   atom(X) -> true
    ;   '$type_error'(atom, X, Ctx, ArgNo)
    ).

'$may_be_count'(X, Ctx, ArgNo) :-
    (   var(X) -> true
    ;   \+ integer(X) -> '$type_error'(integer, X, Ctx, ArgNo)
    ;   X < 0 -> '$domain_error'(not_less_than_zero, X, Ctx, ArgNo)
    ;   true
    ).

% sub_atom/5: the native call takes at most one unknown of Before, Length
% and After; the others are enumerated here, Before first, then Length.
sub_atom(Atom, B, L, A, Sub) :-
    Ctx = prolog:sub_atom(Atom, B, L, A, Sub),
    '$must_be_atom'(Atom, Ctx, 1),
    '$may_be_count'(B, Ctx, 2),
    '$may_be_count'(L, Ctx, 3),
    '$may_be_count'(A, Ctx, 4),
    '$may_be_atom'(Sub, Ctx, 5),
    '$atom_length'(Atom, _, N),
    (   atom(Sub), var(L) -> '$atom_length'(Sub, _, L) ; true ),
    (   var(B), ( var(L) ; var(A) ) -> between(0, N, B) ; true ),
    (   var(L), var(A) -> R is N - B, between(0, R, L) ; true ),
    '$sub_atom'(Atom, B, L, A, Sub).

number_codes(N, L) :-
    '$number_text'(N, L, character_code, prolog:number_codes(N, L)).

number_chars(N, L) :-
    '$number_text'(N, L, character, prolog:number_chars(N, L)).

'$number_text'(N, L, Kind, _) :-
    var(L), number(N), !,
    '$number_elems'(N, L, Kind).
'$number_text'(N, L, Kind, Ctx) :-
    (   var(N) -> true
    ;   number(N) -> true
    ;   '$type_error'(number, N, Ctx, 1)
    ),
    '$list_skip'(L, K, Tail),
    (   K >= 0, Tail == [], '$text_complete'(L)
    ->  '$text_list'(L, Kind, Ctx, 2),
        '$number_from_elems'(L, N0, Status, Kind),
        (   Status =:= 1 -> N = N0
        ;   '$error'(syntax_error(illegal_number), Ctx, 2)
        )
    ;   K >= 0, ( var(Tail) ; Tail == [] )
    ->  (   var(N) -> '$text_partial'(L, Kind, Ctx, 2), '$instantiation_error'(Ctx, 2)
        ;   '$text_partial'(L, Kind, Ctx, 2),
            '$number_elems'(N, L0, Kind), L = L0
        )
    ;   '$type_error'(list, L, Ctx, 2)
    ).

% name(X, Codes): the codes of an atom or a number; with X unbound, the
% number the codes spell, else the atom of them.
name(X, Codes) :-
    Ctx = prolog:name(X, Codes),
    (   var(X)
    ->  '$text_list'(Codes, character_code, Ctx, 2),
        (   Codes \== [], '$number_from_elems'(Codes, N, Status, character_code), Status =:= 1
        ->  X = N
        ;   '$atom_elems'(X, Codes, character_code)
        )
    ;   number(X) -> number_codes(X, Cs), Codes = Cs
    ;   atom(X) -> atom_codes(X, Cs), Codes = Cs
    ;   '$type_error'(atomic, X, Ctx, 1)
    ).

% A list without unbound elements.
'$text_complete'([]).
'$text_complete'([E|Es]) :- nonvar(E), '$text_complete'(Es).

% Sorting. The native sorts take complete lists (of pairs for keysort);
% the ISO errors are raised here.
sort(L, S) :-
    Ctx = prolog:sort(L, S),
    '$sort_input'(L, Ctx),
    '$must_be_partial_list'(S, Ctx, 2),
    '$sort'(L, S0),
    S = S0.

msort(L, S) :-
    Ctx = prolog:msort(L, S),
    '$sort_input'(L, Ctx),
    '$must_be_partial_list'(S, Ctx, 2),
    '$msort_keys'(L, Keyed),
    '$keysort'(Keyed, Sorted),
    '$msort_keys'(S0, Sorted),
    S = S0.

'$msort_keys'([], []).
'$msort_keys'([X|Xs], [X-0|Ks]) :- '$msort_keys'(Xs, Ks).

keysort(L, S) :-
    Ctx = prolog:keysort(L, S),
    '$sort_input'(L, Ctx),
    '$pairs_check'(L, Ctx, 1),
    '$must_be_partial_list'(S, Ctx, 2),
    '$pairs_check'(S, Ctx, 2),
    '$keysort'(L, S0),
    S = S0.

'$sort_input'(L, Ctx) :-
    '$list_skip'(L, N, Tail),
    (   var(Tail) -> '$instantiation_error'(Ctx, 1)
    ;   Tail == [], N >= 0 -> true
    ;   '$type_error'(list, L, Ctx, 1)
    ).

% Every bound element a pair; an unbound one is an instantiation error in
% the list to sort, allowed in the result.
'$pairs_check'(L, _, _) :- var(L), !.
'$pairs_check'([], _, _).
'$pairs_check'([E|Es], Ctx, ArgNo) :-
    (   var(E) -> ( ArgNo =:= 1 -> '$instantiation_error'(Ctx, 1) ; true )
    ;   E = _-_ -> true
    ;   '$type_error'(pair, E, Ctx, ArgNo)
    ),
    '$pairs_check'(Es, Ctx, ArgNo).
