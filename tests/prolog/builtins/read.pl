% Reading terms: read_term/2,3 and read/1,2 over a text written to a file
% first (the reader reads streams only), with their options and errors;
% operators, negative numbers, curly and list terms, 0'c, radix numbers,
% the double_quotes flag and char_conversion/2.

% Each text is written to this table's own file, then read back term by
% term up to end of file.
text_file(Text, F) :-
    F = 'read_table_input.tmp',
    open(F, write, W), atom_codes(Text, Cs), put_codes(Cs, W), close(W).

put_codes([], _).
put_codes([C|Cs], W) :- put_code(W, C), put_codes(Cs, W).

% The terms of the text (read with read/2).
terms(Text, Ts) :- text_file(Text, F), open(F, read, S), read_terms(S, Ts), close(S).

read_terms(S, Ts) :-
    read(S, T),
    (   T == end_of_file -> Ts = [] ; Ts = [T|Ts1], read_terms(S, Ts1) ).

% The first term of the text, read with read_term/3 and the options.
term(Text, T, Opts) :- text_file(Text, F), open(F, read, S), read_term(S, T, Opts), close(S).

% The terms of the text with syntax errors: each error gives
% error(What, Line) in the place of its term; reading goes on after it.
results(Text, Rs) :- text_file(Text, F), open(F, read, S), read_results(S, Rs), close(S).

read_results(S, Rs) :-
    catch(read(S, T), error(syntax_error(What), syntax_error(_, _, _, Line)), (T = error(What, Line))),
    (   T == end_of_file -> Rs = [] ; Rs = [T|Rs1], read_results(S, Rs1) ).

t(atom, Ts, terms('foo. \'hello world\'. []. \'[]\'. {}. ', Ts)).
t(numbers, Ts, terms('1. 0. 12.5. 1.0e10. 1.5E-3. 0x1F. 0o17. 0b101. 0\'a. 0\'\\n. 0\'\'\'. ', Ts)).
% A - before a number makes the negative number, with layout between
% them too (the reference system reads - 1 as -(1)).
x(negative_numbers, Ts, terms('-1. - 1. -1.5. -(1). -(-1). a-1. a - -1. -a. -(-(a)). -0x10. ', Ts),
  [[-1, -1, -1.5, -(1), -(-1), a-1, a-(-1), -(a), -(-(a)), -16]]).
x(negative_numbers_layout, Ts, terms('- /* c */ 1. \'-\' 1. - %c\n2.5. [- 1]. f(- 1). - 0\'a. - 1 mod 2. ', Ts),
  [[-1, -1, -2.5, [-1], f(-1), -97, (-1) mod 2]]).
t(compound, Ts, terms('f(a, B, "s"). \'f\'(1). \'hello world\'(x, y). ', Ts)).
t(compound_applied, x, terms('g(x)(y). ', _)).
t(compound_space, Ts, terms('f (a). ', Ts)).
t(variables, T, terms('f(X, Y, X, _, _). ', T)).
t(lists, Ts, terms('[a]. [a, b|c]. [a|[b]]. "ab". [[]]. \'[]\'. ', Ts)).
t(curly, Ts, terms('{a}. {a, b}. \'{}\'(x). { }. ', Ts)).
t(operators, Ts, terms('a :- b, c; d -> e. a = b. 1 + 2 * 3 - 4. 2 ** 3. 2 ^ 3 ^ 4. a - b - c. \\+ a. - - a. \\ 1. ', Ts)).
t(operators_as_atoms, Ts, terms('f(+, -). [-, +]. (-) - (-). f(:-). X = (\\+). f(;, \'|\', \';;\'). [:-, -]. {-}. - . ', Ts)).
% An atom that is an operator is no operand of an operator without
% brackets; as an argument, a list element or a term alone it needs none
% (the reference system reads - = a and a = - as terms).
x(operators_as_operands, Rs,
  setup_call_cleanup(op(9, fy, fy), (op(9, yf, yf), results('- = a. X = \\+ . - = - . \\+ - . a = - . - mod 2. a :- - . - - . X = \',\'. X = \'|\'. f f. fy yf. fy fy. yf yf. f(a, -). - (-). [-|-]. fy (yf). (fy) yf. fy - 1. next.', Rs)),
                     (op(0, fy, fy), op(0, yf, yf))),
  [[error(operator_priority_clash, 1), error(operator_priority_clash, 1), error(operator_priority_clash, 1),
    error(operator_priority_clash, 1), error(operator_priority_clash, 1), error(operator_priority_clash, 1),
    error(operator_priority_clash, 1), error(operator_priority_clash, 1), error(operator_priority_clash, 1),
    error(operator_priority_clash, 1), error(operator_expected, 1), error(operator_priority_clash, 1),
    error(operator_priority_clash, 1), error(operator_priority_clash, 1),
    f(a, -), -(-), [-|-], fy(yf), yf(fy), fy(-1), next]]).
t(operator_prefix_paren, Ts, terms('- (1, 2). -(1, 2). - (a). \\+ (a, b). ', Ts)).
x(operator_prefix_infix, Ts, terms('- - 1. 1 -1. - 1 ^ 2. -1 ^ 2. - (1) ^ 2. \\+ - a. - + 1. [-|-]. - (-). \\+ (-). ', Ts),
  [[-(-1), 1-1, (-1)^2, (-1)^2, -(1^2), \+(-(a)), -(+(1)), [-|-], -(-), \+(-)]]).
t(operator_prefix_priority, Ts, terms('\\+ a = b. - a = b. - (a) = b. a :- dynamic foo. ', Ts)).
x(operator_prefix_clash, x, terms('a = \\+ b. ', _), error(syntax_error(operator_priority_clash))).
x(operator_mix, Ts, terms('- 1 + 2. -1 + 2. 1 - - 1. 2 ^ -1. 2 ^ - 1. (a = b) = c. (dynamic a, b). f(- 1). - {a}. - [a]. -\'a\'. a:b:c. - (- 1). ', Ts),
  [[(-1)+2, (-1)+2, 1-(-1), 2^(-1), 2^(-1), (a=b)=c, dynamic((a, b)), f(-1), -({a}), -([a]), -(a), a:(b:c), -(-1)]]).
% Syntax errors in the standard that the reference system reads.
x(number_exponent_only, Ts, results('X = 1e10. next. ', Ts), [[error(operator_expected, 1), next]]).
x(number_radix_quote, Ts, results('X = 0\'\'. next. ', Ts), [[error(operator_expected, 1), next]]).
x(number_radix_prefix, Ts, results('X = 2\'10\'. next. ', Ts), [[error(operator_expected, 1), next]]).
t(operator_bar, Ts, terms('(a | b). ', Ts)).
t(comments, Ts, terms('/* block */ a % line\n . b. % end', Ts)).
t(quoted_escapes, Ts, terms('\'a\\x41\\b\'. \'don\'\'t\'. "a\\tb". \'\\\\\'. ', Ts)).
x(syntax_bad_list, x, terms('[a|b|c]. ', _), error(syntax_error(expected([']'])))).
x(syntax_empty_arg, x, terms('f(,). ', _), error(syntax_error(cannot_start_term))).
t(syntax_two_atoms, x, terms('\'a\' \'b\'. ', _)).
t(syntax_dot_inside, x, terms('a.b. ', _)).
t(curly_and_list_names, Ts, terms('{}(x). \'{}\'. \'[]\'. ', Ts)).
% A back-quoted item reads as an atom.
x(back_quoted, Ts, terms('`abc`. ', Ts), [[abc]]).
t(big_numbers, Ts, terms('123456789012345678901234567890. -123456789012345678901234567890. 0xffffffffffffffffff. ', Ts)).
t(end_dot_comment, Ts, terms('a.%c\nb.% d', Ts)).
t(end_of_file, Ts, terms('', Ts)).
t(end_of_file_layout, Ts, terms('  % nothing\n ', Ts)).
t(end_dot_symbol, Ts, terms('a =.. b. \'.\'(a). ', Ts)).

% read/1 and read_term/2 read the current input.
t(read_current_input, T-T2, (text_file('f(X). g(Y). ', F), open(F, read, S), current_input(Old), set_input(S),
                             read(T), read_term(T2, []), set_input(Old), close(S))).
t(read_after_end, Ts, (text_file('a.', F), open(F, read, S), read(S, T1), read(S, T2), close(S), Ts = [T1, T2])).
% The character after the end dot is left to the stream.
t(read_leaves_layout, Cs, (text_file('a. b.\nc.%x\nd.\te.', F), open(F, read, S),
                            findall(C, (member(_, [1, 2, 3, 4]), read(S, _), get_char(S, C)), Cs), close(S))).
% Past the end of a stream whose eof_action is error (the reference system
% reads end_of_file again).
x(read_past_end, yes, (text_file('a.', F), open(F, read, S), read(S, _), read(S, _), catch(read(S, _), E, true), close(S),
                        E = error(permission_error(input, past_end_of_stream, S0), _), S0 == S),
  [yes]).
t(read_term_variables, V, term('f(X, _, Y, X). ', _, [variables(V)])).
t(read_term_names, N, term('f(X, _, Y, X). ', _, [variable_names(N)])).
t(read_term_singletons, S, term('f(X, _, Y, X, _Z). ', _, [singletons(S)])).
t(read_term_names_order, N-S, term('f(Zz, A, Zz, B, A, Q, _Q, Zz). ', _, [variable_names(N), singletons(S)])).
t(read_term_all, T-V-N-S, term('g(A, B, A). ', T, [variables(V), variable_names(N), singletons(S)])).
% An option given twice gets the value twice; a syntax_errors option of
% no mode is an error (the reference system keeps the last variables
% option only and takes any mode).
x(read_term_option_twice, V1-V2-V3, term('f(X). ', _, [variables(V1), variable_names(V2), variables(V3)]), [[A]-['X' = A]-[A]]).
t(read_term_option_thrice, V, term('f(X). ', _, [singletons(V), singletons(V), singletons(V)])).
x(read_term_option_bad_mode, x, term('f(X). ', _, [syntax_errors(maybe)]), error(domain_error(read_option, syntax_errors(maybe)))).
t(read_term_unify_fails, x, term('a. ', b, [])).
t(read_term_options_var, x, term('a. ', _, _)).
t(read_term_options_partial, x, term('a. ', _, [variables(_)|_])).
t(read_term_options_not_list, x, term('a. ', _, foo)).
t(read_term_option_var, x, term('a. ', _, [_])).
t(read_term_option_bad, x, term('a. ', _, [bad(1)])).
t(read_stream_var, x, read(_, _)).
t(read_stream_not_stream, x, read(foo(bar), _)).
t(read_stream_not_alias, x, read(no_such_alias, _)).
t(read_output_stream, x, read(user_output, _)).
t(read_term_stream_var, x, read_term(_, _, [])).

% The reader's role for C (LV_read_from_string): the stream's address; the
% variables of the term take the values in the order of their first
% occurrence.
x(read_from_string_helper, T, (text_file('f(X, Y, X, Z). ', F), open(F, read, S), S = '$stream'(A),
                               prolog:read_from_string_helper(A, [1, 2], T), close(S)), [f(1, 2, 1, _)]).
x(read_from_string_helper_no_values, T, (text_file('g(X). ', F), open(F, read, S), S = '$stream'(A),
                                         prolog:read_from_string_helper(A, [], T), close(S)), [g(_)]).

% double_quotes: codes, chars and atom.
t(double_quotes_chars, T, (set_prolog_flag(double_quotes, chars), terms('"ab". ', T), set_prolog_flag(double_quotes, codes))).
t(double_quotes_atom, T, (set_prolog_flag(double_quotes, atom), terms('"ab". ', T), set_prolog_flag(double_quotes, codes))).
t(double_quotes_codes, T, (set_prolog_flag(double_quotes, codes), terms('"ab". "". ', T))).

% User operators are read as soon as they are declared.
t(user_operator, T, (op(700, xfx, ===>), terms('a ===> b. ===>(a, b). ', T), op(0, xfx, ===>))).
t(user_prefix_operator, T, (op(200, fy, ~~), terms('~~ a. ~~ ~~ a. ~~(a, b). f(~~). ', T), op(0, fy, ~~))).
t(user_postfix_operator, T, (op(200, xf, @@), terms('a @@ . (a @@) @@ . ', T), op(0, xf, @@))).

% char_conversion/2 and current_char_conversion/2.
x(char_conversion_read, T, (char_conversion(a, b), terms('a. \'a\'. ', T), char_conversion(a, a)), [[b, a]]).
% current_char_conversion/2 gives the characters that are converted to
% another (the reference system lists every character).
x(char_conversion_current, L, (char_conversion(x, y), findall(I-O, current_char_conversion(I, O), L), char_conversion(x, x)), [[x-y]]).
x(char_conversion_removed, L, (char_conversion(x, y), char_conversion(x, x), findall(I-O, current_char_conversion(I, O), L)), [[]]).
x(char_conversion_given, O, (char_conversion(p, q), findall(O0, current_char_conversion(p, O0), O), char_conversion(p, p)), [[q]]).
t(char_conversion_var, x, char_conversion(_, a)).
% A character that is not one: the standard's representation error.
x(char_conversion_not_char, x, char_conversion(ab, a), error(representation_error(character))).
x(char_conversion_integer, x, char_conversion(a, 1), error(representation_error(character))).
x(current_char_conversion_bad, x, current_char_conversion(ab, _), error(representation_error(character))).
% A character that is not converted converts to itself.
t(current_char_conversion_same, O, current_char_conversion(a, O)).
t(current_char_conversion_both, yes, (current_char_conversion(a, a), \+ current_char_conversion(a, b))).

% Syntax errors: each with what was expected and its line; reading goes on
% at the next clause.
x(syntax_operator_expected, Rs, results('a b. next.', Rs), [[error(operator_expected, 1), next]]).
x(syntax_close_expected, Rs, results('f(a b). next.', Rs), [[error(expected([',', ')']), 1), next]]).
x(syntax_list_expected, Rs, results('[a b]. next.', Rs), [[error(expected([',', '|', ']']), 1), next]]).
x(syntax_paren_expected, Rs, results('(a b. next.', Rs), [[error(expected([')']), 1), next]]).
x(syntax_curly_expected, Rs, results('{a b. next.', Rs), [[error(expected(['}']), 1), next]]).
x(syntax_cannot_start, Rs, results('f()). next.', Rs), [[error(cannot_start_term, 1), next]]).
x(syntax_end_of_clause, Rs, results('a). next.', Rs), [[error(end_of_clause_expected, 1), next]]).
x(syntax_priority_clash, Rs, results('a = b = c.\nnext.', Rs), [[error(operator_priority_clash, 1), next]]).
x(syntax_prefix_clash, Rs, results('f(:- a). next.', Rs), [[error(operator_priority_clash, 1), next]]).
x(syntax_unexpected_end, Rs, results('f(a, . next.', Rs), [[error(unexpected_end_of_clause, 1), next]]).
x(syntax_end_of_file, Rs, results('first.\nf(a,\nb', Rs), [[first, error(end_of_file, 3)]]).
x(syntax_end_of_file_no_end, Rs, results('a', Rs), [[error(end_of_file, 1)]]).
x(syntax_lines, Rs, results('a.\n\nb c.\nd.\n\ne f.\n', Rs), [[a, error(operator_expected, 3), d, error(operator_expected, 6)]]).
x(syntax_undefined_escape, Rs, results('\'\\q\'. next.', Rs), [[error(undefined_char_escape, 1), next]]).
x(syntax_bad_escape, Rs, results('\'\\x\\\'. next.', Rs), [[error(bad_escape_sequence, 1), next]]).
x(syntax_layout_in_quoted, Rs, results('\'a\nb\'. next.', Rs), [[error(layout_in_quoted, 1), next]]).
x(syntax_end_in_quoted, Rs, results('x.\n\'abc', Rs), [[x, error(end_of_file_in_quoted, 2)]]).
x(syntax_end_in_comment, Rs, results('x.\n/* abc', Rs), [[x, error(end_of_file_in_block_comment, 2)]]).
x(syntax_exponent, Rs, results('X = 1.5e+x. next.', Rs), [[error(illegal_number, 1), next]]).
x(syntax_radix_no_digit, Rs, results('0xg. next.', Rs), [[error(operator_expected, 1), next]]).
x(syntax_back_to_back, Rs, results('a b. c d. e.', Rs), [[error(operator_expected, 1), error(operator_expected, 1), e]]).
x(syntax_escape_overflow, Rs, results('\'\\x80000000\\\'. next.', Rs), [[error(escape_value_too_large, 1), next]]).
x(syntax_float_range, Rs, results('X = 1.0e400. next.', Rs), [[error(float_out_of_range, 1), next]]).
x(syntax_first_fault_reported, Rs, results('f(\'\\q\', 1.5e+x). next.', Rs), [[error(undefined_char_escape, 1), next]]).
% A term of 256 arguments is more than a term holds: a representation
% error in the read's context that names the term; reading goes on.
x(max_arity, Rs, (wide_text(Text), wide_results(Text, Rs)), [[f/255, error(max_arity, f/256, read/2, 1), next]]).
x(max_arity_message, L, (wide_text(Text), text_file(Text, F), open(F, read, S), read(S, _),
                         catch(read(S, _), E, true), close(S), prolog:'$message_lines'(E, [L|_])),
  ['Representation error: ~w: ~q'-[max_arity, f/256]]).

wide_text(Text) :-
    wide_codes(255, Cs255), wide_codes(256, Cs256),
    append(Cs255, Cs256, Cs0), append(Cs0, "next. ", Cs), atom_codes(Text, Cs).

wide_codes(N, Cs) :- N1 is N - 1, wide_args(N1, As), append("f(a", As, Cs0), append(Cs0, "). ", Cs).

wide_args(0, []) :- !.
wide_args(N, [0',, 0'a|As]) :- N1 is N - 1, wide_args(N1, As).

wide_results(Text, Rs) :- text_file(Text, F), open(F, read, S), wide_read(S, Rs), close(S).

wide_read(S, Rs) :-
    catch(read(S, T0), error(representation_error(R), representation_error(_:G, A, R, PI)),
          ( functor(G, GN, GA), T0 = error(R, PI, GN/GA, A) )),
    (   T0 == end_of_file -> Rs = []
    ;   ( T0 = error(_, _, _, _) ; atom(T0) ) -> Rs = [T0|Rs1], wide_read(S, Rs1)
    ;   functor(T0, N, Ar), Rs = [N/Ar|Rs1], wide_read(S, Rs1)
    ).

append([], L, L).
append([H|T], L, [H|R]) :- append(T, L, R).

x(syntax_errors_fail, x, term('a b. ', _, [syntax_errors(quiet)]), []).
x(syntax_errors_dec10, T, term('a b. c. ', T, [syntax_errors(dec10)]), [c]).
x(syntax_errors_error, x, term('a b. ', _, [syntax_errors(error)]), error(syntax_error(operator_expected))).
x(syntax_errors_flag, x, (set_prolog_flag(syntax_errors, quiet), catch(term('a b. ', _, []), E, true), set_prolog_flag(syntax_errors, error), nonvar(E)), []).

member(X, [X|_]).
member(X, [_|T]) :- member(X, T).
