% The reader: read_term/2,3, read/1,2, char_conversion/2,
% current_char_conversion/2 and read_from_string_helper/3, over the native
% tokenizer '$read_token'/6.
%
% A clause is read in two steps. First its tokens are read up to the end
% token (or the end of the file); a lexical fault is remembered and reading
% goes on, so that after any error the next read starts after the clause.
% Then the token list is parsed by operator precedence, without
% backtracking; the place where the parse fails records what it expected.
%
% A syntax error is
%     error(syntax_error(What), syntax_error(Goal, ArgNo, What, Line))
% What says what was wrong or expected (operator_expected,
% expected([',', ')']), illegal_number, ...), Line is the line of the
% token where the fault was found. The syntax_errors option (or flag)
% decides what happens: error raises it, fail prints it and fails, quiet
% fails, dec10 prints it and reads the next term. A compound term of more
% than 255 arguments is no syntax error but one a term cannot hold:
%     error(representation_error(max_arity),
%           representation_error(Goal, ArgNo, max_arity, Name/Arity))
% and the next read, as after a syntax error, starts after the clause.

:- module(prolog, [
    read_term/2, read_term/3, read/1, read/2, char_conversion/2, current_char_conversion/2
]).

read(T) :-
    '$input'(S, S),
    '$read_term'(S, T, [], prolog:read(T), 0).
read(S, T) :-
    '$read_term'(S, T, [], prolog:read(S, T), 1).
read_term(T, Opts) :-
    '$input'(S, S),
    '$read_term'(S, T, Opts, prolog:read_term(T, Opts), 0).
read_term(S, T, Opts) :-
    '$read_term'(S, T, Opts, prolog:read_term(S, T, Opts), 1).

% '$read_term'(Stream, Term, Options, Ctx, StreamArg): StreamArg is the
% argument number of the stream in Ctx, 0 for the current input.
'$read_term'(S, T, Opts, Ctx, SArg) :-
    ( SArg > 0 -> OArg is SArg + 2 ; OArg = 2 ),
    '$read_options'(Opts, Ctx, OArg, o(Vars, Names, Singles, Mode0, Lines)),
    ( var(Mode0) -> '$syntax'(Mode, Mode) ; Mode = Mode0 ),
    (   SArg > 0 -> '$stream_arg'(S, input, text, Ctx, SArg, A) ; A = S ),
    '$input'(Old, A),
    catch(prolog:'$read_clause'(Mode, Ctx, SArg, T0, Dict, Tree), Ball, true),
    '$input'(_, Old),
    (   var(Ball) -> true ; throw(Ball) ),
    '$read_results'(Dict, T0, Vars, Names, Singles),
    (   var(Lines) -> true ; '$option_unify'(Lines, Tree) ),
    T = T0.

% The options, checked all before reading: variables(V),
% variable_names(N), singletons(S), syntax_errors(E), and for the compiler
% '$lines'(Tree), the lines of the term's parts: a line for an atomic term
% or a variable, [Line|ArgumentTrees] for a compound term, Line being the
% line of the part's first token ([] at the end of the file).
'$read_options'(Opts, Ctx, A, O) :-
    '$must_be_partial_list'(Opts, Ctx, A),
    '$read_option_list'(Opts, Ctx, A, O).

'$read_option_list'(L, Ctx, A, O) :-
    (   var(L) -> '$instantiation_error'(Ctx, A)
    ;   L == [] -> true
    ;   L = [X|Xs],
        (   var(X) -> '$instantiation_error'(Ctx, A)
        ;   '$read_option'(X, O) -> true
        ;   '$domain_error'(read_option, X, Ctx, A)
        ),
        '$read_option_list'(Xs, Ctx, A, O)
    ).

'$read_option'(variables(V), o(Vs, _, _, _, _)) :- '$option_value'(Vs, V).
'$read_option'(variable_names(V), o(_, Vs, _, _, _)) :- '$option_value'(Vs, V).
'$read_option'(singletons(V), o(_, _, Vs, _, _)) :- '$option_value'(Vs, V).
'$read_option'('$lines'(V), o(_, _, _, _, Vs)) :- '$option_value'(Vs, V).
'$read_option'(syntax_errors(E), o(_, _, _, M, _)) :-
    atom(E), '$syntax_mode'(E), ( var(M) -> M = E ; true ).

% The arguments of an option, kept in an open list: an option given twice
% gets the value twice.
'$option_value'(Vs, V) :- ( var(Vs) -> Vs = [V|_] ; Vs = [_|R], '$option_value'(R, V) ).

'$syntax_mode'(error).
'$syntax_mode'(fail).
'$syntax_mode'(quiet).
'$syntax_mode'(dec10).

'$read_results'(Dict, T, Vars, Names, Singles) :-
    (   var(Vars) -> true ; term_variables(T, Vs), '$option_unify'(Vars, Vs) ),
    (   var(Names) -> true ; '$dict_names'(Dict, Ns), '$option_unify'(Names, Ns) ),
    (   var(Singles) -> true ; '$dict_singletons'(Dict, Ss), '$option_unify'(Singles, Ss) ).

'$option_unify'(L, X) :- ( var(L) -> true ; L = [V|Vs], V = X, '$option_unify'(Vs, X) ).

'$dict_names'([], []).
'$dict_names'([v(N, V, _)|D], [N = V|Ns]) :- '$dict_names'(D, Ns).

'$dict_singletons'([], []).
'$dict_singletons'([v(N, V, C)|D], Ss) :-
    (   C =:= 1 -> Ss = [N = V|Ss1] ; Ss = Ss1 ),
    '$dict_singletons'(D, Ss1).

% One term from the current input, with the dictionary of its named
% variables (v(Name, Var, Count) in the order of their first occurrence)
% and the lines of its parts.
'$read_clause'(Mode, Ctx, SArg, T, Dict) :- '$read_clause'(Mode, Ctx, SArg, T, Dict, _).

'$read_clause'(Mode, Ctx, SArg, T, Dict, Tree) :-
    '$input'(S, S),
    '$read_first_char'(S, Ctx, SArg, C),
    '$read_tokens'(C, 0, 1, Toks, Occs, [], none, Fault),
    (   Fault = fault(What, Line) -> '$syntax_error'(Mode, Ctx, SArg, What, Line, T, Dict, Tree)
    ;   Toks = [tk(eof, _, _)] -> T = end_of_file, Dict = [], Tree = []
    ;   '$dict_build'(Occs, Dict0),
        '$parse'(Toks, R),
        (   R = term(T0, Tree0) -> T = T0, Dict = Dict0, Tree = Tree0
        ;   R = fault(What, Line) -> '$syntax_error'(Mode, Ctx, SArg, What, Line, T, Dict, Tree)
        ;   R = max_arity(PI),
            throw(error(representation_error(max_arity), representation_error(Ctx, SArg, max_arity, PI)))
        )
    ).

% Past the end of the stream the error names the stream as the caller
% gave it.
'$read_first_char'(S, Ctx, SArg, C) :-
    catch(prolog:'$get_code_fail_on_interrupt'(S, C0, 0), error(permission_error(input, past_end_of_stream, _), _),
          prolog:'$read_past_end'(S, Ctx, SArg)),
    !,
    C = C0.
'$read_first_char'(S, Ctx, SArg, C) :- '$read_first_char'(S, Ctx, SArg, C).

'$read_past_end'(S, Ctx, SArg) :-
    (   SArg > 0 -> Ctx = _:G, arg(SArg, G, Stream) ; Stream = '$stream'(S) ),
    '$error'(permission_error(input, past_end_of_stream, Stream), Ctx, SArg).

'$syntax_error'(Mode, Ctx, SArg, What, Line, T, Dict, Tree) :-
    E = error(syntax_error(What), syntax_error(Ctx, SArg, What, Line)),
    '$syntax_error_mode'(Mode, E, Ctx, SArg, T, Dict, Tree).

'$syntax_error_mode'(error, E, _, _, _, _, _) :- throw(E).
'$syntax_error_mode'(fail, E, _, _, _, _, _) :- '$print_syntax_error'(E), fail.
'$syntax_error_mode'(quiet, _, _, _, _, _, _) :- fail.
'$syntax_error_mode'(dec10, E, Ctx, SArg, T, Dict, Tree) :-
    '$print_syntax_error'(E),
    '$read_clause'(dec10, Ctx, SArg, T, Dict, Tree).

'$print_syntax_error'(E) :-
    (   '$predicate_property'(print_message(_, _), _, _, prolog, _)
    ->  print_message(error, E)
    ;   true
    ).

% '$read_tokens'(C, State, N, Toks, Occs, Occs0, Fault0, Fault): the tokens
% up to the end token, as tk(Kind, Line, N) with N counting from 1; the last
% is tk(end, ...) or tk(eof, ...). Occs-Occs0 holds Name-Var for each named
% variable token in turn. Fault is the first lexical fault, fault(What,
% Line), or none.
'$read_tokens'(C, State, N, Toks, D0, D, F0, F) :-
    '$read_token'(C, State, Tok, Next, Status, Line),
    (   Status =:= -128
    ->  '$read_token'(Next, 2, Tok2, Next2, Status2, _),
        (   Tok2 = number(Code), Status2 >= 0
        ->  Toks = [tk(num(Code), Line, N)|Toks1], N1 is N + 1,
            '$read_tokens'(Next2, Status2, N1, Toks1, D0, D, F0, F)
        ;   Toks = [tk(num(0), Line, N)|Toks1], N1 is N + 1,
            '$read_more'(Tok2, Next2, Status2, Line, N1, Toks1, D0, D, F0, F)
        )
    ;   '$read_more'(Tok, Next, Status, Line, N, Toks, D0, D, F0, F)
    ).

'$read_more'(Tok, Next, Status, Line, N, Toks, D0, D, F0, F) :-
    (   Tok == [], ( Status =:= -1 ; Status =:= -2 ; Status =:= -17 )
    ->  Toks = [tk(eof, Line, N)], D = D0,
        (   Status =:= -17 -> '$fault'(F0, end_of_file_in_block_comment, Line, F) ; F = F0 ),
        (   ( N > 1 ; Status =:= -17 ) -> '$give_back'(-1) ; true )
    ;   Tok == '.', Status =:= 0
    ->  Toks = [tk(end, Line, N)], D = D0, F = F0,
        '$give_back'(Next)
    ;   '$token_kind'(Tok, K, D0, D1),
        (   Status < 0, Status =\= -26 -> '$status_fault'(Status, What), '$fault'(F0, What, Line, F1)
        ;   F1 = F0
        ),
        Toks = [tk(K, Line, N)|Toks1], N1 is N + 1,
        '$read_tokens'(Next, Status, N1, Toks1, D1, D, F1, F)
    ).

% The character after the end token was read to see the end: it is given
% back to the stream, a layout character too, so that whoever reads on
% (get_char/1 after read/1, the rest of a line at the top level) finds it.
% The end of the file is given back too, so that the next read finds it and
% reads end_of_file (the same after a clause cut short by the end of the
% file).
'$give_back'(C) :- '$input'(S, S), '$unget_code'(S, C, _).

'$fault'(none, What, Line, fault(What, Line)) :- !.
'$fault'(F, _, _, F).

% What each fault status means.
'$status_fault'(-11, undefined_char_escape).
'$status_fault'(-12, bad_escape_sequence).
'$status_fault'(-13, escape_value_too_large).
'$status_fault'(-14, layout_in_quoted).
'$status_fault'(-15, end_of_file_in_quoted).
'$status_fault'(-21, illegal_number).
'$status_fault'(-22, float_out_of_range).
'$status_fault'(-24, unassigned_character_in_quoted).
'$status_fault'(-25, illegal_character).
'$status_fault'(-27, integer_too_large).
'$status_fault'(-30, invalid_byte_sequence).
'$status_fault'(-32, illegal_number).
'$status_fault'(-64, illegal_number).

% The kind of a token: name(A), num(N), str(L), var(V), p(Punct).
'$token_kind'(atom(A), name(A), Dict, Dict) :- !.
'$token_kind'(number(N), num(N), Dict, Dict) :- !.
'$token_kind'(string(L), str(L), Dict, Dict) :- !.
'$token_kind'(var(_, Codes, V), var(V), D0, D) :- !,
    (   Codes == [0'_] -> D = D0
    ;   '$atom_codes'(Name, Codes), D0 = [Name-V|D]
    ).
'$token_kind'(P, p(P), Dict, Dict) :- atom(P), !.
'$token_kind'(C, illegal(C), Dict, Dict).

% '$dict_build'(Occs, Dict): the dictionary of the occurrences Name-Var,
% v(Name, Var, Count) for each name in the order of its first occurrence,
% the variables of one name unified. Two stable native sorts make it
% n log n: by name (the first occurrence leads each name's run), then by
% the place of the first occurrence.
'$dict_build'(Occs, Dict) :-
    '$dict_number'(Occs, 0, Keyed),
    '$keysort'(Keyed, ByName),
    '$dict_runs'(ByName, Firsts),
    '$keysort'(Firsts, ByPlace),
    '$dict_values'(ByPlace, Dict).

'$dict_number'([], _, []).
'$dict_number'([Name-V|Os], I, [Name-(I-V)|Ks]) :- I1 is I + 1, '$dict_number'(Os, I1, Ks).

'$dict_runs'([], []).
'$dict_runs'([Name-(I-V)|Ks], [I-v(Name, V, C)|Fs]) :-
    '$dict_run'(Ks, Name, V, 1, C, Rest),
    '$dict_runs'(Rest, Fs).

'$dict_run'([Name-(_-V0)|Ks], Name, V, C0, C, Rest) :- !,
    V0 = V, C1 is C0 + 1,
    '$dict_run'(Ks, Name, V, C1, C, Rest).
'$dict_run'(Ks, _, _, C, C, Ks).

'$dict_values'([], []).
'$dict_values'([_-E|Ks], [E|Es]) :- '$dict_values'(Ks, Es).

% '$parse'(Toks, R): R is term(T, Tree), the term of the tokens and the
% lines of its parts, fault(What, Line), the fault found furthest into
% them, or max_arity(Name/Arity) for a compound term of more arguments
% than a term can hold. Each part's tree is built beside it (Tr below).
'$parse'(Toks, R) :-
    '$bb_put'(prolog, '$parse_fault', f(0, none, 0)),
    catch('$parse_tokens'(Toks, R), '$rd_max_arity'(PI), R = max_arity(PI)).

'$parse_tokens'(Toks, R) :-
    (   '$rd_term'(1200, T, Tr, _, Toks, Rest), '$rd_end'(Rest)
    ->  R = term(T, Tr)
    ;   '$bb_get'(prolog, '$parse_fault', f(_, What, Line)),
        R = fault(What, Line)
    ).

% Records the fault at the first token of S when no fault was found
% further on; fails. Whatever was expected, the end of the file is the
% fault when it comes first.
'$rd_fault'(What0, [tk(K, Line, N)|_]) :-
    '$bb_get'(prolog, '$parse_fault', f(N0, _, _)),
    N > N0,
    ( K == eof -> What = end_of_file ; What = What0 ),
    '$bb_put'(prolog, '$parse_fault', f(N, What, Line)),
    fail.

'$rd_end'([tk(K, Line, N)|S]) :-
    (   K == end -> true
    ;   '$rd_end_fault'(K, What), '$rd_fault'(What, [tk(K, Line, N)|S])
    ).

'$rd_end_fault'(eof, end_of_file) :- !.
'$rd_end_fault'(name(A), What) :- '$is_op'(A), !, What = operator_priority_clash.
'$rd_end_fault'(p(P), end_of_clause_expected) :- '$closing'(P), !.
'$rd_end_fault'(_, operator_expected).

'$closing'(')').
'$closing'(']').
'$closing'('}').
'$closing'(',').
'$closing'('|').

% '$rd_term'(Max, T, Tr, P, S0, S): a term of priority P =< Max, or an
% atom that is an operator (priority 1201), which may stand alone as an
% argument, a list element, the term in brackets or the whole clause.
'$rd_term'(Max, T, Tr, P, S0, S) :-
    '$rd_primary'(Max, L, LT, LP, S0, S1),
    '$rd_infix'(Max, L, LT, LP, T, Tr, P, S1, S).

% The operand of an operator: an atom that is an operator must be in
% brackets there (- = - and \+ - are errors, (-) = (-) is not).
'$rd_operand'(Max, T, Tr, S0, S) :-
    '$rd_term'(Max, T, Tr, P, S0, S),
    (   P =< Max -> true ; '$rd_fault'(operator_priority_clash, S0) ).

'$rd_primary'(Max, T, Tr, P, [tk(K, Line, N)|S1], S) :-
    '$rd_primary'(K, Line, Max, T, Tr, P, S1, S, [tk(K, Line, N)|S1]).

'$rd_primary'(num(X), L, _, X, L, 0, S, S, _).
'$rd_primary'(str(X), L, _, X, L, 0, S, S, _).
'$rd_primary'(var(X), L, _, X, L, 0, S, S, _).
'$rd_primary'(name(A), Line, Max, T, Tr, P, S1, S, S0) :-
    (   S1 = [tk(p('('), _, _)|_]
    ->  '$rd_name_term'(A, Line, T, Tr, S1, S), P = 0
    ;   A == (-), S1 = [tk(num(X), _, _)|S2]
    ->  '$rd_negate'(X, T), Tr = Line, P = 0, S = S2
    ;   '$prefix_op'(A, OP, Arg), \+ '$rd_prefix_atom'(S1)
    ->  (   OP =< Max
        ->  '$rd_operand'(Arg, X, XT, S1, S),
            T =.. [A, X], Tr = [Line, XT], P = OP
        ;   '$rd_fault'(operator_priority_clash, S0)
        )
    ;   T = A, Tr = Line, S = S1,
        ( '$is_op'(A) -> P = 1201 ; P = 0 )
    ).
'$rd_primary'(p(Open), Line, Max, T, Tr, P, S1, S, S0) :-
    '$rd_open'(Open, Line, Max, T, Tr, P, S1, S, S0).
'$rd_primary'(end, _, _, _, _, _, _, _, S0) :- '$rd_fault'(unexpected_end_of_clause, S0).
'$rd_primary'(eof, _, _, _, _, _, _, _, S0) :- '$rd_fault'(end_of_file, S0).
'$rd_primary'(illegal(_), _, _, _, _, _, _, _, S0) :- '$rd_fault'(illegal_character, S0).

'$rd_negate'(X, T) :- T is -X.

'$rd_open'('(', _, _, T, Tr, 0, S1, S, _) :- '$rd_paren'(T, Tr, S1, S).
'$rd_open'(' (', _, _, T, Tr, 0, S1, S, _) :- '$rd_paren'(T, Tr, S1, S).
'$rd_open'('[', Line, _, T, Tr, 0, S1, S, _) :-
    (   S1 = [tk(p(']'), _, _)|S2]
    ->  '$rd_name_term'('[]', Line, T, Tr, S2, S)
    ;   '$rd_arg'(X, XT, S1, S2), T = [X|Xs], Tr = [Line, XT, XsT],
        '$rd_list'(Xs, XsT, S2, S)
    ).
'$rd_open'('{', Line, _, T, Tr, 0, S1, S, _) :-
    (   S1 = [tk(p('}'), _, _)|S2]
    ->  '$rd_name_term'('{}', Line, T, Tr, S2, S)
    ;   '$rd_term'(1200, X, XT, _, S1, S2), T = {X}, Tr = [Line, XT],
        '$rd_expect'('}', S2, S)
    ).
'$rd_open'(C, _, _, _, _, _, _, _, S0) :- '$closing'(C), '$rd_fault'(cannot_start_term, S0).

% A name as a term: a compound term when an argument list follows at
% once ([] and {} too: {}(X)), else the atom.
'$rd_name_term'(A, Line, T, Tr, S1, S) :-
    (   S1 = [tk(p('('), _, _)|S2]
    ->  '$rd_arg'(A1, T1, S2, S3),
        '$rd_args'(As, Ts, S3, S),
        '$rd_compound'(A, [A1|As], T), Tr = [Line, T1|Ts]
    ;   T = A, Tr = Line, S = S1
    ).

'$rd_compound'(A, As, T) :-
    '$list_info'(As, N, _),
    (   N > 255 -> throw('$rd_max_arity'(A/N)) ; T =.. [A|As] ).

'$rd_paren'(T, Tr, S1, S) :-
    '$rd_term'(1200, T, Tr, _, S1, S2),
    '$rd_expect'(')', S2, S).

'$rd_expect'(P, [tk(K, L, N)|S1], S) :-
    (   K == p(P) -> S = S1
    ;   '$rd_fault'(expected([P]), [tk(K, L, N)|S1])
    ).

% A prefix operator is an atom when it closes the term (f(-), [-]) or when
% an infix or postfix operator that is no prefix operator follows (then
% the atom is an operand without brackets, - = a, which '$rd_operand' and
% '$rd_end' refuse); otherwise it applies to the term that follows, and a
% - before a number makes the negative number (- 1 is -1). The choice is
% made here once, so that parsing never backtracks.
'$rd_prefix_atom'(S1) :- '$rd_terminator'(S1), !.
'$rd_prefix_atom'([tk(name(B), _, _)|S2]) :-
    \+ S2 = [tk(p('('), _, _)|_],
    (   '$current_op'(B, infix, _, _) ; '$current_op'(B, postfix, _, _) ),
    \+ '$current_op'(B, prefix, _, _), !.

'$rd_terminator'([tk(K, _, _)|_]) :-
    (   K = p(C) -> '$closing'(C)
    ;   K == end
    ;   K == eof
    ).

'$rd_arg'(X, Tr, S0, S) :- '$rd_term'(999, X, Tr, _, S0, S).

'$rd_args'(As, Ts, [tk(K, L, N)|S1], S) :-
    (   K == p(',') -> As = [A|As1], Ts = [T|Ts1], '$rd_arg'(A, T, S1, S2), '$rd_args'(As1, Ts1, S2, S)
    ;   K == p(')') -> As = [], Ts = [], S = S1
    ;   '$rd_fault'(expected([',', ')']), [tk(K, L, N)|S1])
    ).

'$rd_list'(Xs, Tr, [tk(K, L, N)|S1], S) :-
    (   K == p(',') -> Xs = [X|Xs1], Tr = [L, XT, T1], '$rd_arg'(X, XT, S1, S2), '$rd_list'(Xs1, T1, S2, S)
    ;   K == p('|') -> '$rd_arg'(Xs, Tr, S1, S2), '$rd_expect'(']', S2, S)
    ;   K == p(']') -> Xs = [], Tr = L, S = S1
    ;   '$rd_fault'(expected([',', '|', ']']), [tk(K, L, N)|S1])
    ).

% The operators after a left operand L of priority LP; an operator term
% starts on the line of its left operand.
'$rd_infix'(Max, L, LT, LP, T, Tr, P, S0, S) :-
    S0 = [tk(K, _, _)|S1],
    (   '$rd_infix_name'(K, A),
        '$infix_op'(A, OP, LA, RA), OP =< Max, LP =< LA
    ->  '$rd_operand'(RA, R, RT, S1, S2),
        T1 =.. [A, L, R], '$rd_line'(LT, Line),
        '$rd_infix'(Max, T1, [Line, LT, RT], OP, T, Tr, P, S2, S)
    ;   K = name(A),
        '$postfix_op'(A, OP, LA), OP =< Max, LP =< LA
    ->  T1 =.. [A, L], '$rd_line'(LT, Line),
        '$rd_infix'(Max, T1, [Line, LT], OP, T, Tr, P, S1, S)
    ;   T = L, Tr = LT, P = LP, S = S0
    ).

'$rd_line'(Tr, Line) :- ( integer(Tr) -> Line = Tr ; Tr = [Line|_] ).

'$rd_infix_name'(name(A), A).
'$rd_infix_name'(p(','), ',').
'$rd_infix_name'(p('|'), '|').

% read_from_string_helper(Address, Values, T): the term read from the
% stream at Address (a stream over a text from C); the variables of the
% term, in the order of their first occurrence, take the values in turn.
read_from_string_helper(Address, Values, T) :-
    read_term('$stream'(Address), T0, [variables(Vs)]),
    '$bind_values'(Values, Vs),
    T = T0.

'$bind_values'([], _) :- !.
'$bind_values'(_, []) :- !.
'$bind_values'([X|Xs], [V|Vs]) :- V = X, '$bind_values'(Xs, Vs).

% Character conversion. The native table converts; its pairs are also
% kept on prolog's blackboard (under '$char_conversions', In-Out code
% pairs) for current_char_conversion/2.
char_conversion(In, Out) :-
    Ctx = prolog:char_conversion(In, Out),
    '$conversion_char'(In, Ctx, 1, I),
    '$conversion_char'(Out, Ctx, 2, O),
    (   '$add_char_conversion'(I, O) -> true
    ;   '$error'(resource_error(char_conversion_table), Ctx, 0)
    ),
    '$char_conversions'(Ps0),
    '$conversion_remove'(Ps0, I, Ps1),
    (   I =:= O -> Ps = Ps1 ; Ps = [I-O|Ps1] ),
    '$bb_put'(prolog, '$char_conversions', Ps).

'$conversion_char'(C, Ctx, A, Code) :-
    (   var(C) -> '$instantiation_error'(Ctx, A)
    ;   atom(C), atom_length(C, 1) -> char_code(C, Code)
    ;   '$error'(representation_error(character), Ctx, A)
    ).

'$char_conversions'(Ps) :- ( '$bb_get'(prolog, '$char_conversions', Ps0) -> Ps = Ps0 ; Ps = [] ).

'$conversion_remove'([], _, []).
'$conversion_remove'([I0-O|Ps], I, Rest) :-
    (   I0 =:= I -> Rest = Ps
    ;   Rest = [I0-O|Rest1], '$conversion_remove'(Ps, I, Rest1)
    ).

% A given character converts to what the table says, itself when it is
% not in the table; without one, the characters converted to another are
% enumerated.
current_char_conversion(In, Out) :-
    Ctx = prolog:current_char_conversion(In, Out),
    '$may_be_char'(In, Ctx, 1),
    '$may_be_char'(Out, Ctx, 2),
    '$char_conversions'(Ps),
    (   atom(In)
    ->  char_code(In, I),
        (   '$conversion_of'(Ps, I, O) -> char_code(Out, O) ; Out = In )
    ;   '$member'(I-O, Ps),
        char_code(In, I),
        char_code(Out, O)
    ).

'$conversion_of'([I0-O0|Ps], I, O) :-
    (   I0 =:= I -> O = O0 ; '$conversion_of'(Ps, I, O) ).

'$may_be_char'(C, Ctx, A) :-
    (   var(C) -> true
    ;   atom(C), atom_length(C, 1) -> true
    ;   '$error'(representation_error(character), Ctx, A)
    ).
