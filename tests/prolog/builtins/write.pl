% Writing terms: write_term/2,3 and its options, write/1,2, writeq/1,2,
% print/1,2, write_canonical/1,2: operators, spacing that reads back, lists,
% curly terms, quoted atoms. Each case writes to a file and reads the text
% back as an atom.

:- discontiguous t/3, x/4.

out(G, A) :-
    File = 'lv_write_table.tmp',
    open(File, write, S),
    current_output(Old),
    set_output(S),
    (   catch(G, E, true) -> true ; true ),
    set_output(Old),
    close(S),
    open(File, read, R),
    get_codes(R, Cs),
    close(R),
    atom_codes(A, Cs),
    (   nonvar(E) -> throw(E) ; true ).

get_codes(R, Cs) :-
    get_code(R, C),
    (   C =:= -1 -> Cs = [] ; Cs = [C|Cs1], get_codes(R, Cs1) ).

wq(T, A) :- out(writeq(T), A).

t(atom, A, out(write(hello), A)).
t(quoted_atoms, L, findall(A, (member(T, ['hello world', [], '[]', '{}', 'don''t', 'a\\b', 'A', '_x', '', ;, !, ',', '|', +, 'é', 'tab\there', 'nl\n']), wq(T, A)), L)).
t(write_plain, A, out(write('hello world'), A)).
t(integers, L, findall(A, (member(T, [0, 42, -7, 123456789012345678901234567890]), wq(T, A)), L)).
t(floats, L, findall(A, (member(T, [1.5, -0.25, 100.0]), wq(T, A)), L)).
t(compound, A, wq(f(a, 'B', "c"), A)).
t(list, A, wq([a, b, c], A)).
t(list_tail, A, wq([a, b|c], A)).
t(list_nested, A, wq([[a], [], [b|c]], A)).
t(curly, A, wq({a, b}, A)).
t(curly_empty, A, wq('{}'(x), A)).
t(ops_infix, L, findall(A, (member(T, [1+2, a = b, (a :- b, c), (a, b), (a ; b), (a -> b ; c), 1 - 2 - 3, 1 - (2 - 3), 2 * (1 + 2), (1 + 2) * 3, 2 ** 3, a:b:c, (a:b):c, a is 1 + 2, 1 rem 2, a mod b, f(a :- b), f((a, b)), [a :- b], [(a, b)]]), wq(T, A)), L)).
% A prefix - before a number is bracketed with it, since - 1 reads as the
% number -1 (the reference system writes - 1).
x(ops_prefix, L, findall(A, (member(T, [- a, - (1), - (-1), - - a, -(-(1)), \+ a, \+ (a, b), - (1 + 2), + a, ?- a, :- a, f(:- a), - (a ^ b), (- a) ^ b]), wq(T, A)), L),
  [['-a', '- (1)', '- -1', '- -a', '- - (1)', '\\+a', '\\+ (a,b)', '- (1+2)', '+a', '?-a', ':-a', 'f((:-a))', '-a^b', '(-a)^b']]).
x(ops_negative, L, findall(A, (member(T, [1 - -1, 1 - (-1), a = -1, 2 ^ -1, - 1 + 2, -(1) + 2, 1 + -2.5]), wq(T, A)), L),
  [['1- -1', '1- -1', 'a= -1', '2^ -1', '- (1)+2', '- (1)+2', '1+ -2.5']]).
x(ops_minus_number, L, findall(A, (member(T, [-(1 ^ 2), -(1) ^ 2, -(1.0), -(-(-(1))), -(1) - 1, 1 - (-(1)), -(1 ** 2), -(-(1) ^ 2), -(a ^ 2)]), wq(T, A)), L),
  [['- (1^2)', '(- (1))^2', '- (1.0)', '- - - (1)', '- (1)-1', '1- - (1)', '- (1**2)', '- (- (1))^2', '-a^2']]).
t(ops_glue, L, findall(A, (member(T, [a = (\+ b), a- (-), 1 = '=', - (-), [-], f(-), f(- , +), (-) - (-), \+ (-), 'hello world' - 'x y']), wq(T, A)), L)).
x(ops_alpha, L, findall(A, (member(T, [a is b, (dynamic a), - (a is b), a rem (- 1), 1 xor 2]), wq(T, A)), L),
  [['a is b', 'dynamic a', '- (a is b)', 'a rem - (1)', '1 xor 2']]).
% An atom that is an operator is bracketed as the operand of an operator
% only: as an argument or a list element it is written bare, as it reads.
x(op_atoms, L, findall(A, (member(T, [f(:-), [:-], f(;), (:-) :- (:-), f(','), f(+), [-], [:-, -], f(;, '|', ';;'), {-},
                                      - (-), (-) - (-), a = (:-), [a|-], f(- , +), \+ (-), -, (;)]), wq(T, A)), L),
  [['f(:-)', '[:-]', 'f(;)', '(:-):-(:-)', 'f(\',\')', 'f(+)', '[-]', '[:-,-]', 'f(;,\'|\',\';;\')', '{-}',
    '- (-)', '(-)-(-)', 'a=(:-)', '[a|-]', 'f(-,+)', '\\+ (-)', '-', ';']]).
% A word of Latin-1 letters is spaced as a word; under the portable quoted
% charset it is quoted as the native writer quotes it.
x(non_ascii_word, A, (member(Q, [prolog, portable]),
                      setup_call_cleanup(set_prolog_flag(quoted_charset, Q), wq(f(dynamic('é'), - '¬'), A),
                                         set_prolog_flag(quoted_charset, prolog))),
  ['f((dynamic é),- ¬)', 'f((dynamic\'\\xE9\\\'),-\'\\xAC\\\')']).
t(numbervars, A, wq(f('$VAR'(0), '$VAR'(25), '$VAR'(26), '$VAR'(53)), A)).
% '$VAR' of anything but an integer from 0 is written as it is (the
% reference system writes an atom's text).
x(numbervars_other, L, findall(A, (member(T, ['$VAR'(a), '$VAR'('Foo'), '$VAR'(-1), '$VAR'(1.0), '$VAR'(f(x))]),
                                   ( wq(T, A) ; out(print(T), A) ; out(write(T), A) )), L),
  [['\'$VAR\'(a)', '\'$VAR\'(a)', '$VAR(a)', '\'$VAR\'(\'Foo\')', '\'$VAR\'(\'Foo\')', '$VAR(Foo)',
    '\'$VAR\'(-1)', '\'$VAR\'(-1)', '$VAR(-1)', '\'$VAR\'(1.0)', '\'$VAR\'(1.0)', '$VAR(1.0)',
    '\'$VAR\'(f(x))', '\'$VAR\'(f(x))', '$VAR(f(x))']]).
t(numbervars_off, A, out(write_term('$VAR'(1), [numbervars(false), quoted(true)]), A)).
t(print, A, out(print(f('A', '$VAR'(1))), A)).
t(write_vars_numbervars, A, out(write(f('$VAR'(1), 'x y')), A)).
t(write_canonical, A, out(write_canonical(f('$VAR'(1), 'x y', [a], 1 + 2, - 1, {b})), A)).
t(write_term_ignore_ops, A, out(write_term([1 + 2, a = b, - a], [ignore_ops(true)]), A)).
t(write_term_quoted, A, out(write_term(['A', b], [quoted(true)]), A)).
t(write_term_empty, A, out(write_term('A b', []), A)).
t(write_term_stream, A, out((current_output(S), write_term(S, f(x), [])), A)).
t(write_stream, A, out((current_output(S), write(S, a + b), writeq(S, 'C'), print(S, x), write_canonical(S, 'D')), A)).
t(write_term_meta, A, out(call(write_term, a - b, [quoted(true)]), A)).
t(write_term_unbound_opts, x, out(write_term(a, _), _)).
t(write_term_partial_opts, x, out(write_term(a, [quoted(true)|_]), _)).
t(write_term_not_list, x, out(write_term(a, foo), _)).
t(write_term_unbound_opt, x, out(write_term(a, [_]), _)).
t(write_term_bad_opt, x, out(write_term(a, [bad(true)]), _)).
x(write_term_bad_bool, x, out(write_term(a, [quoted(maybe)]), _), error(domain_error(write_option, quoted(maybe)))).
t(write_unbound_stream, x, write(_, a)).
t(write_not_stream, x, write(foo(bar), a)).
t(write_no_alias, x, write(no_such_alias, a)).
t(write_input_stream, x, write(user_input, a)).
% variable_names/1: a variable is written as the first name given for it,
% the name as it stands; the first occurrence of the option holds (the
% reference system takes the last, and raises other errors).
x(variable_names, L, findall(A, (member(T-Os, [f(X, Y, X)-[variable_names(['X'=X, 'Y'=Y])],
                                               f(X)-[variable_names(['A'=X, 'B'=X])],
                                               f(X)-[variable_names(['A'=Y, 'B'=X])],
                                               (- X)-[quoted(true), variable_names(['X'=X])],
                                               (X is Y + 1)-[variable_names(['X'=X, 'Y'=Y])],
                                               f(X)-[variable_names(['a b'=X]), quoted(true)],
                                               f('$VAR'(1), X)-[numbervars(true), variable_names(['X'=X])],
                                               f(X)-[variable_names(['A'=X]), variable_names(['B'=X])],
                                               f(x)-[variable_names(['A'=x])]]),
                                 out(write_term(T, Os), A)), L),
  [['f(X,Y,X)', 'f(A)', 'f(B)', '-X', 'X is Y+1', 'f(a b)', 'f(B,X)', 'f(A)', 'f(x)']]).
x(variable_names_errors, E, (member(VN, [_, [_ = _], ['A' = _|_], foo, [foo], [1 = _], ['A' = _|foo]]),
                              catch(out(write_term(a, [variable_names(VN)]), _), error(E0, _), true),
                              ( E0 = domain_error(D, variable_names(_)) -> E = D ; E = E0 )),
  [instantiation_error, instantiation_error, instantiation_error, write_option, write_option, write_option, write_option]).
% A cyclic term is written in a finite form, @(Term, Equations), by every
% writer; max_depth ends it too.
x(cyclic, L, (X = f(X), findall(A, (member(G, [write(X), writeq(X), print(X), write_canonical(X)]), out(G, A)), L)),
  [['@(_S1,[_S1=f(_S1)])', '@(_S1,[_S1=f(_S1)])', '@(_S1,[_S1=f(_S1)])', '@(_S1,[=(_S1,f(_S1))])']]).
x(cyclic_shapes, L,
  ( X1 = f(X1), X2 = [a, b|X2], X3 = f(X3, Y3), Y3 = g(X3), X4 = f(Y4), Y4 = g(Y4), X5 = - X5,
    findall(A, (member(T, [X1, X2, X3, X4, g(X1, X1), [X5]]), wq(T, A)), L)),
  [['@(_S1,[_S1=f(_S1)])', '@(_S1,[_S1=[a,b|_S1]])', '@(_S1,[_S1=f(_S1,g(_S1))])', '@(f(_S1),[_S1=g(_S1)])',
    '@(g(_S1,_S1),[_S1=f(_S1)])', '@([_S1],[_S1= -_S1])']]).
x(cyclic_max_depth, A, (X = f(X), out(write_term(X, [max_depth(4)]), A)), ['f(f(f(f(...))))']).
t(max_depth, L, findall(A, (member(T, [f(g(h(i))), [1, 2, 3, 4, 5, 6], f(a, b)]), out(write_term(T, [max_depth(3)]), A)), L)).

member(X, [X|_]).
member(X, [_|T]) :- member(X, T).
