% Writing terms: write_term/2,3, write/1,2, writeq/1,2, print/1,2,
% write_canonical/1,2.
%
% The native side writes atomic pieces ($write/3 with the options term,
% $display_nonvar/2 plain); compound terms, operators, lists and curly
% terms are laid out here. Between two tokens a space is written when they
% would otherwise read back as one token (two letters or digits, two symbol
% characters, two quotes, a digit and a quote), after a prefix operator
% before an opening bracket, after a prefix - or + before a digit (which
% would make a negative number of it), and around operators made of
% letters. The classes of atoms come from the atom table's writing class,
% the one the native writer quotes by.
%
% An atom that is an operator is bracketed where it is the operand of an
% operator ((-) = (-), - (-)), and written bare as an argument, a list
% element or a term alone (f(;), [:-,-]), as the reader reads it. A
% prefix - before a term that starts with a number brackets it (- (1),
% - (1^2)), since - 1 reads as the number -1.
%
% A cyclic term is written in a finite form: @(Term, [_S1=Value, ...]),
% Term and the values with a variable _Si in the place of each cycle
% (@(_S1,[_S1=f(_S1)]) for X = f(X)); with max_depth the depth ends it.
%
% The options term: '$wopts'(Quoted, IgnoreOps, NumberVars, Portray,
% MaxDepth, VariableNames, _, Charset, Float); the native writer reads the
% quoting switch (argument 1), the quoted charset (8) and the float format
% (9). VariableNames is the list of Name = Var of the variable_names/1
% option, unbound when there is none.

:- module(prolog, [
    write_term/2, write_term/3, write/1, write/2, writeq/1, writeq/2, print/1, print/2,
    write_canonical/1, write_canonical/2
]).

write(T) :- current_output(S), '$write_top'(S, T, '$wopts'(false, false, true, false, 0, _, _, _, _), prolog:write(T)).
write(S, T) :- '$write_top'(S, T, '$wopts'(false, false, true, false, 0, _, _, _, _), prolog:write(S, T)).
writeq(T) :- current_output(S), '$write_top'(S, T, '$wopts'(true, false, true, false, 0, _, _, _, _), prolog:writeq(T)).
writeq(S, T) :- '$write_top'(S, T, '$wopts'(true, false, true, false, 0, _, _, _, _), prolog:writeq(S, T)).
print(T) :- current_output(S), '$write_top'(S, T, '$wopts'(true, false, true, true, 0, _, _, _, _), prolog:print(T)).
print(S, T) :- '$write_top'(S, T, '$wopts'(true, false, true, true, 0, _, _, _, _), prolog:print(S, T)).
write_canonical(T) :-
    current_output(S),
    '$write_top'(S, T, '$wopts'(true, true, false, false, 0, _, _, _, _), prolog:write_canonical(T)).
write_canonical(S, T) :-
    '$write_top'(S, T, '$wopts'(true, true, false, false, 0, _, _, _, _), prolog:write_canonical(S, T)).

write_term(T, Os) :-
    Ctx = prolog:write_term(T, Os),
    '$write_options'(Os, Ctx, 2, O),
    current_output(S),
    '$write_top'(S, T, O, Ctx).
write_term(S, T, Os) :-
    Ctx = prolog:write_term(S, T, Os),
    '$write_options'(Os, Ctx, 3, O),
    '$write_top'(S, T, O, Ctx).

% An atomic term alone needs no layout (no operator is bracketed at 1200).
'$write_top'(S, T, O, Ctx) :-
    '$stream_arg'(S, output, text, Ctx, 1, A),
    (   atomic(T), arg(4, O, false) -> '$write'(A, T, O)
    ;   arg(5, O, 0), \+ '$acyclic'(T)
    ->  '$factorize'(T, [], F, Eqs),
        '$cycle_names'(Eqs, 1, Names),
        '$wopts_names'(O, Names, O1),
        '$wr'(@(F, Eqs), 1200, 1, O1, A, none, _)
    ;   '$wr'(T, 1200, 1, O, A, none, _)
    ).

% '$print_operand'(Stream, T, P, VN): T as print/2 writes it, as the
% operand of an operator of priority P, its variables named by VN (a list
% of Name = Var, as variable_names/1 takes).
'$print_operand'(S, T, P, VN) :-
    '$stream_arg'(S, output, text, prolog:print(S, T), 1, A),
    '$wr_operand'(T, P, 1, '$wopts'(true, false, true, true, 0, VN, _, _, _), A, none, _).

% The variables of the cycles named _S1, _S2, ... in turn.
'$cycle_names'([], _, []).
'$cycle_names'([V = _|Eqs], I, [Name = V|Ns]) :-
    number_codes(I, Ds), atom_codes(Name, [0'_, 0'S|Ds]),
    I1 is I + 1,
    '$cycle_names'(Eqs, I1, Ns).

% The options with the names added before those of variable_names/1.
'$wopts_names'('$wopts'(Q, I, NV, P, D, VN0, X, C, F), Names, '$wopts'(Q, I, NV, P, D, VN, X, C, F)) :-
    (   var(VN0) -> VN = Names ; append(Names, VN0, VN) ).

% '$factorize'(T, Named, F, Eqs): F is the cyclic term T with a variable in
% the place of each subterm that equals (==) one of its ancestors, and Eqs
% the list V = Value for those variables, Value written the same way; a
% subterm equal to one cut before is that one's variable. Named is a list
% of Value-Var: a subterm below the top that equals a Value becomes its Var
% (the top level's named variables). A subterm is compared with each of
% its first 32 ancestors and, further down, with those at the depths 32,
% 64, 128, ...: past the start of a cycle and its length, a path meets one
% of them again within that length, so the walk ends, and a cycle near the
% top is cut at its first repetition.
'$factorize'(T, Named, F, Eqs) :- '$cyc_walk'(T, 0, [], Named, F, Eqs, [], [], _).

'$cyc_walk'(T, D, As, Named, F, E0, E, Cut0, Cut) :-
    (   \+ compound(T) -> F = T, E0 = E, Cut = Cut0
    ;   D > 0, '$cyc_named'(Named, T, V) -> F = V, E0 = E, Cut = Cut0
    ;   '$cyc_ancestor'(As, T, V) -> F = V, E0 = E, Cut = Cut0
    ;   '$cyc_named'(Cut0, T, V) -> F = V, E0 = E, Cut = Cut0
    ;   D1 is D + 1,
        (   ( D < 32 ; D /\ (D - 1) =:= 0 ) -> As1 = [a(T, V1, U1)|As] ; As1 = As ),
        functor(T, Name, N), functor(F0, Name, N),
        '$cyc_args'(1, N, T, F0, D1, As1, Named, E0, E1, Cut0, Cut1),
        (   U1 == true -> F = V1, E1 = [V1 = F0|E], Cut = [T-V1|Cut1]
        ;   F = F0, E1 = E, Cut = Cut1
        )
    ).

'$cyc_args'(I, N, T, F, D, As, Named, E0, E, Cut0, Cut) :-
    (   I > N -> E0 = E, Cut = Cut0
    ;   arg(I, T, X), arg(I, F, Y),
        '$cyc_walk'(X, D, As, Named, Y, E0, E1, Cut0, Cut1),
        I1 is I + 1,
        '$cyc_args'(I1, N, T, F, D, As, Named, E1, E, Cut1, Cut)
    ).

% An ancestor equal to the term: its variable, which its value now needs.
'$cyc_ancestor'([a(A, V0, Used)|As], T, V) :-
    (   T == A -> V = V0, Used = true ; '$cyc_ancestor'(As, T, V) ).

'$cyc_named'([Value-Var|Named], T, V) :-
    (   T == Value -> V = Var ; '$cyc_named'(Named, T, V) ).

% The options of write_term/2,3; unset switches are false.
'$write_options'(Os, Ctx, ArgNo, O) :-
    '$list_skip'(Os, N, Tail),
    (   var(Tail) -> '$instantiation_error'(Ctx, ArgNo)
    ;   ( Tail \== [] ; N < 0 ) -> '$type_error'(list, Os, Ctx, ArgNo)
    ;   true
    ),
    O = '$wopts'(Q, I, NV, P, D, _, _, _, _),
    '$write_options_'(Os, Ctx, ArgNo, O),
    '$default_false'(Q), '$default_false'(I), '$default_false'(NV), '$default_false'(P),
    (   var(D) -> D = 0 ; true ).

'$default_false'(X) :- ( var(X) -> X = false ; true ).

'$write_options_'([], _, _, _).
'$write_options_'([Opt|Os], Ctx, ArgNo, O) :-
    (   var(Opt) -> '$instantiation_error'(Ctx, ArgNo)
    ;   Opt = variable_names(VN), \+ '$variable_names'(VN, Ctx, ArgNo)
    ->  '$domain_error'(write_option, Opt, Ctx, ArgNo)
    ;   '$write_option'(Opt, O) -> true
    ;   '$domain_error'(write_option, Opt, Ctx, ArgNo)
    ),
    '$write_options_'(Os, Ctx, ArgNo, O).

'$write_option'(quoted(B), O) :- '$bool'(B), '$set_once'(1, O, B).
'$write_option'(ignore_ops(B), O) :- '$bool'(B), '$set_once'(2, O, B).
'$write_option'(numbervars(B), O) :- '$bool'(B), '$set_once'(3, O, B).
'$write_option'(portray(B), O) :- '$bool'(B), '$set_once'(4, O, B).
'$write_option'(max_depth(D), O) :- integer(D), D >= 0, '$set_once'(5, O, D).
'$write_option'(variable_names(VN), O) :- '$set_once'(6, O, VN).

'$bool'(B) :- nonvar(B), ( B == true ; B == false ), !.

% A list of Name = Term, each Name an atom; fails for another term, raises
% the instantiation error for a partial list or an unbound element or name.
'$variable_names'(VN, Ctx, ArgNo) :-
    (   var(VN) -> '$instantiation_error'(Ctx, ArgNo)
    ;   VN == [] -> true
    ;   VN = [E|Es],
        (   var(E) -> '$instantiation_error'(Ctx, ArgNo)
        ;   E = (Name = _),
            (   var(Name) -> '$instantiation_error'(Ctx, ArgNo)
            ;   atom(Name)
            )
        ),
        '$variable_names'(Es, Ctx, ArgNo)
    ).

% The first occurrence of an option holds.
'$set_once'(I, O, V) :- arg(I, O, X), ( var(X) -> X = V ; true ).

% '$wr'(Term, Priority, Depth, Options, Stream, Last0, Last): Last is the
% class of the last token written (none, alnum, digit, symbol, quote,
% punct, or prefix(Class) after a prefix operator).
'$wr'(T, _, _, O, S, L0, L) :-
    var(T), !,
    (   arg(6, O, VN), nonvar(VN), '$var_given_name'(VN, T, Name)
    ->  '$atom_classes'(Name, '$wopts'(false, _, _, _, _, _, _, _, _), First, L),
        '$wr_space'(L0, First, S),
        '$display_nonvar'(S, Name)
    ;   '$wr_space'(L0, alnum, S),
        '$write'(S, T, O), L = alnum
    ).
'$wr'(_, _, D, O, S, L0, L) :-
    arg(5, O, Max), Max > 0, D > Max, !,
    '$wr_token'('...', symbol, symbol, S, L0, L).
'$wr'(T, _, _, O, S, _, L) :-
    arg(4, O, true), '$portray'(T), !,
    L = punct.
'$wr'(T, _, _, O, S, L0, L) :-
    number(T), !,
    % A negative number (or a float special) starts with a sign.
    '$atomic_mode'(T, Sign, _),
    (   Sign =:= 4 -> C = symbol ; C = digit ),
    '$wr_space'(L0, C, S), '$write'(S, T, O), L = digit.
'$wr'(T, _, _, O, S, L0, L) :-
    atom(T), !,
    '$wr_name'(T, O, S, L0, L).
'$wr'(T, _, _, O, S, L0, L) :-
    arg(3, O, true), T = '$VAR'(N), '$var_name'(N, Name), !,
    '$wr_space'(L0, alnum, S),
    '$display_nonvar'(S, Name), L = alnum.
'$wr'([H|T], _, D, O, S, L0, L) :- !,
    '$wr_token'('[', punct, punct, S, L0, L1),
    '$wr'(H, 999, D, O, S, L1, L2),
    '$wr_tail'(T, 2, D, O, S, L2, L3),
    '$wr_token'(']', punct, punct, S, L3, L).
'$wr'({}(X), _, D, O, S, L0, L) :-
    arg(2, O, false), !,
    D1 is D + 1,
    '$wr_token'('{', punct, punct, S, L0, L1),
    '$wr'(X, 1200, D1, O, S, L1, L2),
    '$wr_token'('}', punct, punct, S, L2, L).
'$wr'(T, Prec, D, O, S, L0, L) :-
    arg(2, O, false), '$wr_op'(T, Prec, D, O, S, L0, L), !.
'$wr'(T, _, D, O, S, L0, L) :-
    functor(T, F, N),
    '$wr_name'(F, O, S, L0, _),
    '$display_nonvar'(S, '('),
    D1 is D + 1,
    '$wr_args'(1, N, T, D1, O, S, punct, L1),
    '$wr_token'(')', punct, punct, S, L1, L).

'$wr_args'(I, N, T, D, O, S, L0, L) :-
    arg(I, T, A),
    '$wr'(A, 999, D, O, S, L0, L1),
    (   I < N
    ->  '$wr_token'(',', punct, punct, S, L1, L2),
        I1 is I + 1,
        '$wr_args'(I1, N, T, D, O, S, L2, L)
    ;   L = L1
    ).

% The rest of a list, element K; a deep list ends in |... past the depth.
'$wr_tail'(T, _, _, _, _, L, L) :- T == [], !.
'$wr_tail'(T, K, D, O, S, L0, L) :-
    nonvar(T), T = [H|R], !,
    (   arg(5, O, Max), Max > 0, K >= Max
    ->  '$wr_token'('|...', punct, symbol, S, L0, L)
    ;   '$wr_token'(',', punct, punct, S, L0, L1),
        '$wr'(H, 999, D, O, S, L1, L2),
        K1 is K + 1,
        '$wr_tail'(R, K1, D, O, S, L2, L)
    ).
'$wr_tail'(T, _, D, O, S, L0, L) :-
    '$wr_token'('|', punct, punct, S, L0, L1),
    '$wr'(T, 999, D, O, S, L1, L).

% Operator terms; fails for a term that is none. The infix operators ','
% and '|' are written as the bare characters; an operator made of letters
% gets a blank on each side.
'$wr_op'(T, Prec, D, O, S, L0, L) :-
    functor(T, F, 2),
    '$infix_op'(F, P, LP, RP), !,
    arg(1, T, X), arg(2, T, Y),
    D1 is D + 1,
    '$wr_bracket'(P, Prec, S, L0, L1, Inner),
    '$wr_operand'(X, LP, D1, O, S, L1, L2),
    (   ( F == (',') ; F == ('|') )
    ->  '$wr_token'(F, punct, punct, S, L2, L3)
    ;   '$atom_classes'(F, O, alnum, _)
    ->  '$display_nonvar'(S, ' '), '$write'(S, F, O), '$display_nonvar'(S, ' '), L3 = none
    ;   '$wr_name'(F, O, S, L2, L3)
    ),
    '$wr_operand'(Y, RP, D1, O, S, L3, L4),
    '$wr_unbracket'(Inner, S, L4, L).
'$wr_op'(T, Prec, D, O, S, L0, L) :-
    functor(T, F, 1),
    '$prefix_op'(F, P, AP), !,
    arg(1, T, X),
    D1 is D + 1,
    '$wr_bracket'(P, Prec, S, L0, L1, Inner),
    '$wr_name'(F, O, S, L1, C),
    % After a prefix - or +, a digit would make a signed number.
    (   ( F == (-) ; F == (+) ) -> L2 = prefix(sign) ; L2 = prefix(C) ),
    (   F == (-), '$wr_number_first'(X, AP, O)
    ->  '$wr_open'(S, L2), '$wr'(X, 1200, D1, O, S, punct, _), '$wr_close'(S, L3)
    ;   '$wr_operand'(X, AP, D1, O, S, L2, L3)
    ),
    '$wr_unbracket'(Inner, S, L3, L).
'$wr_op'(T, Prec, D, O, S, L0, L) :-
    functor(T, F, 1),
    '$postfix_op'(F, P, AP), !,
    arg(1, T, X),
    D1 is D + 1,
    '$wr_bracket'(P, Prec, S, L0, L1, Inner),
    '$wr_operand'(X, AP, D1, O, S, L1, L2),
    '$wr_name'(F, O, S, L2, L3),
    '$wr_unbracket'(Inner, S, L3, L).

% An operand of an operator (of priority P at most): an atom that is an
% operator is bracketed, so that it cannot be read as the operator of the
% term around it.
'$wr_operand'(X, P, D, O, S, L0, L) :-
    (   atom(X), '$is_op'(X)
    ->  '$wr_open'(S, L0), '$wr_name'(X, O, S, punct, _), '$wr_close'(S, L)
    ;   '$wr'(X, P, D, O, S, L0, L)
    ).

% Does the term, written at priority P, start with a number that is not
% negative? (Its first token, for a term of operators that needs no
% brackets there.)
'$wr_number_first'(X, P, O) :-
    (   number(X) -> '$atomic_mode'(X, Sign, _), Sign =\= 4
    ;   compound(X), arg(2, O, false), X \= [_|_], X \= {}(_),
        \+ ( arg(3, O, true), X = '$VAR'(N), integer(N) ),
        functor(X, F, A),
        (   A =:= 2, '$infix_op'(F, OP, LP, _) -> true
        ;   A =:= 1, \+ '$prefix_op'(F, _, _), '$postfix_op'(F, OP, LP)
        ),
        OP =< P,
        arg(1, X, Y),
        '$wr_number_first'(Y, LP, O)
    ).

'$wr_bracket'(P, Prec, S, L0, L, Inner) :-
    (   P > Prec -> '$wr_open'(S, L0), L = punct, Inner = true
    ;   L = L0, Inner = false
    ).
'$wr_unbracket'(true, S, _, L) :- '$wr_close'(S, L).
'$wr_unbracket'(false, _, L, L).

'$wr_open'(S, L0) :- '$wr_token'('(', open, punct, S, L0, _).
'$wr_close'(S, L) :- '$display_nonvar'(S, ')'), L = punct.

% An atom as a name: its first and last classes decide the spacing.
'$wr_name'(A, O, S, L0, L) :-
    '$atom_classes'(A, O, First, Last),
    '$wr_space'(L0, First, S),
    '$write'(S, A, O),
    L = Last.

'$wr_token'(Text, First, Last, S, L0, L) :-
    '$wr_space'(L0, First, S),
    '$display_nonvar'(S, Text),
    L = Last.

'$wr_space'(L0, First, S) :-
    (   '$glue'(L0, First) -> '$display_nonvar'(S, ' ') ; true ).

% '$glue'(Last, First): the two tokens would read back as one (or a
% prefix operator and a bracket as a compound term), so a blank goes
% between them. A digit before a quote would start a character code (0'c).
'$glue'(prefix(_), open).
'$glue'(prefix(C), F) :- '$glue'(C, F).
'$glue'(sign, digit).
'$glue'(sign, symbol).
'$glue'(alnum, alnum).
'$glue'(alnum, digit).
'$glue'(digit, alnum).
'$glue'(digit, digit).
'$glue'(digit, quote).
'$glue'(symbol, symbol).
'$glue'(quote, quote).
'$glue'(digit, open).

% The classes of an atom's first and last characters as written. Quoted,
% the writing class of the atom table decides, as it does for the native
% writer: a word of letters, digits and _ starting with a lower-case letter
% (mode 0), symbol characters (4), a solo atom (8), else quoted (2); a
% plain atom that is not ASCII is quoted too while the quoted charset is
% portable. Written plain, the classes of the text's own first and last
% characters.
'$atom_classes'(A, O, First, Last) :-
    '$atomic_mode'(A, M, _),
    (   arg(1, O, true)
    ->  (   M =:= 2 -> First = quote, Last = quote
        ;   '$quoted_charset_flag'(Q, Q), Q == portable, '$non_ascii'(A) -> First = quote, Last = quote
        ;   '$mode_class'(M, First), Last = First
        )
    ;   M =:= 2
    ->  (   A == '' -> First = none, Last = none
        ;   '$sub_atom'(A, 0, 1, _, C0), '$char_class'(C0, First),
            '$sub_atom'(A, _, 1, 0, C1), '$char_class'(C1, Last)
        )
    ;   '$mode_class'(M, First), Last = First
    ).

'$mode_class'(0, alnum).
'$mode_class'(4, symbol).
'$mode_class'(8, punct).

% The class of one character, by the writing class of its atom: a letter,
% digit or _ continues a word (aC is a word).
'$char_class'(C, K) :-
    '$atomic_mode'(C, M, _),
    (   M =:= 2
    ->  '$atom_concat'(a, C, W), '$atomic_mode'(W, M1, _),
        (   M1 =:= 0 -> ( C @>= '0', C @=< '9' -> K = digit ; K = alnum ) ; K = punct )
    ;   '$mode_class'(M, K)
    ).

'$non_ascii'(A) :- atom_codes(A, Cs), '$member'(C, Cs), C >= 128, !.

% '$VAR'(N), N an integer from 0: a capital letter, then N // 26 when
% above 0. Any other '$VAR' term is written as it is.
'$var_name'(N, Name) :-
    integer(N), N >= 0,
    L is 0'A + N mod 26, K is N // 26,
    (   K =:= 0 -> atom_codes(Name, [L])
    ;   number_codes(K, Ks), atom_codes(Name, [L|Ks])
    ).

% The name variable_names/1 gives the variable: the first Name = V with V
% the variable itself.
'$var_given_name'([Name = V|VN], X, N) :-
    (   V == X -> N = Name ; '$var_given_name'(VN, X, N) ).

% portray/1 of the user, when defined.
'$portray'(T) :-
    '$predicate_property'(portray(_), _, _, user, _),
    catch(user:portray(T), _, fail), !.
