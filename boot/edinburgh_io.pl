% The Edinburgh input and output predicates: see/1, seen/0, seeing/1,
% tell/1, append/1, told/0, telling/1, get0/1,2, put/1,2, skip/1,2, tab/1,2
% and writeln/1,2.
%
% see/1 and tell/1 make a file the current input or output, opening it
% the first time (tell/1 empties it, append/1 writes at its end); named
% again while it is open, the file's stream becomes current once more.
% seen/0 and told/0 close the current stream and go back to user_input and
% user_output. The name user stands for the standard streams, and a stream
% term or alias is taken as it is. seeing/1 and telling/1 give the name the
% current stream was opened with by see/1, tell/1 or append/1, user for the
% standard stream, and the stream itself otherwise.

:- module(prolog, [
    see/1, seen/0, seeing/1, tell/1, append/1, told/0, telling/1,
    get0/1, get0/2, put/1, put/2, skip/1, skip/2, tab/1, tab/2, writeln/1, writeln/2
]).

:- dynamic '$edinburgh_file'/3.

% '$edinburgh_file'(Name, Direction, Address): the stream see/1 (input) or
% tell/1 and append/1 (output) opened for Name.

see(F) :- '$edinburgh_open'(F, input, read, prolog:see(F)).

tell(F) :- '$edinburgh_open'(F, output, write, prolog:tell(F)).

append(F) :- '$edinburgh_open'(F, output, append, prolog:append(F)).

'$edinburgh_open'(F, Dir, Mode, Ctx) :-
    (   var(F) -> '$instantiation_error'(Ctx, 1)
    ;   F == user -> '$edinburgh_std'(Dir, A), '$edinburgh_set'(Dir, A)
    ;   '$edinburgh_file'(F, Dir, A), '$stream_flags'(A, _) -> '$edinburgh_set'(Dir, A)
    ;   atom(F), \+ '$stream_alias_name'(F)
    ->  retractall('$edinburgh_file'(F, Dir, _)),
        open(F, Mode, S),
        S = '$stream'(A),
        assertz('$edinburgh_file'(F, Dir, A)),
        '$edinburgh_set'(Dir, A)
    ;   '$stream_arg'(F, Dir, text, Ctx, 1, A),
        '$edinburgh_set'(Dir, A)
    ).

% An alias of an open stream (the standard ones included).
'$stream_alias_name'(F) :- '$std_alias'(F).
'$stream_alias_name'(F) :- '$stream_alias'(F, _).

'$edinburgh_std'(input, A) :- '$stream_arg'(user_input, prolog:see(user), 1, A).
'$edinburgh_std'(output, A) :- '$stream_arg'(user_output, prolog:tell(user), 1, A).

'$edinburgh_set'(input, A) :- '$input'(_, A).
'$edinburgh_set'(output, A) :- '$output'(_, A).

'$edinburgh_current'(input, A) :- '$input'(A, A).
'$edinburgh_current'(output, A) :- '$output'(A, A).

seen :- '$edinburgh_close'(input).

told :- '$edinburgh_close'(output).

% The current stream is closed unless it is a standard one; the standard
% stream becomes current.
'$edinburgh_close'(Dir) :-
    '$edinburgh_current'(Dir, A),
    '$edinburgh_std'(Dir, Std),
    retractall('$edinburgh_file'(_, Dir, A)),
    (   A =:= Std -> true
    ;   '$std_address'(A) -> true
    ;   close('$stream'(A))
    ),
    '$edinburgh_set'(Dir, Std).

'$std_address'(A) :-
    '$std_alias'(Alias),
    '$stream_arg'(Alias, prolog:seen, 1, A0),
    A0 =:= A.

seeing(F) :- '$edinburgh_name'(input, F).

telling(F) :- '$edinburgh_name'(output, F).

'$edinburgh_name'(Dir, F) :-
    '$edinburgh_current'(Dir, A),
    '$edinburgh_std'(Dir, Std),
    (   A =:= Std -> F0 = user
    ;   '$edinburgh_file'(Name, Dir, A) -> F0 = Name
    ;   F0 = '$stream'(A)
    ),
    F = F0.

% get0/1,2: the next character code, -1 at the end; put/1,2: a code out.
get0(C) :- get_code(C).
get0(S, C) :- get_code(S, C).

put(C) :- put_code(C).
put(S, C) :- put_code(S, C).

% skip(C): input read up to and including the first C (a code or a
% one-character atom), or to the end.
skip(C) :- current_input(S), '$skip'(S, C, prolog:skip(C)).
skip(S, C) :- '$skip'(S, C, prolog:skip(S, C)).

'$skip'(S, C, Ctx) :-
    (   var(C) -> '$instantiation_error'(Ctx, 1)
    ;   integer(C) -> Code = C
    ;   atom(C), '$atom_length'(C, _, 1) -> char_code(C, Code)
    ;   '$type_error'(character_code, C, Ctx, 1)
    ),
    '$skip_to'(S, Code).

% The end of the input is left to be read.
'$skip_to'(S, Code) :-
    peek_code(S, P),
    (   P =:= -1 -> true
    ;   get_code(S, C),
        (   C =:= Code -> true ; '$skip_to'(S, Code) )
    ).

% tab(N): N spaces, N an expression.
tab(N) :- current_output(S), '$tab'(S, N).
tab(S, N) :- '$tab'(S, N).

'$tab'(S, N) :-
    K is N,
    (   integer(K) -> true ; '$type_error'(integer, K, prolog:tab(S, N), 2) ),
    '$spaces'(K, S).

'$spaces'(K, S) :-
    (   K > 0 -> put_char(S, ' '), K1 is K - 1, '$spaces'(K1, S) ; true ).

writeln(X) :- current_output(S), write(S, X), nl(S).
writeln(S, X) :- write(S, X), nl(S).
