% Atoms built, split and converted: atomic_list_concat/2,3 (joining and
% splitting), upcase_atom/2, downcase_atom/2, atom_number/2, term_to_atom/2,
% read_term_from_atom/3 and split_atom/4, with their errors.

:- discontiguous t/3, x/4.

t(concat_2, A, atomic_list_concat([a, 1, 2.5, 'b c'], A)).
t(concat_2_empty, A, atomic_list_concat([], A)).
t(concat_2_check, yes, atomic_list_concat([a, b], ab)).
t(concat_2_partial, x, atomic_list_concat([a|_], _)).
t(concat_2_unbound_element, x, atomic_list_concat([a, _], _)).
x(concat_2_compound, E, catch(atomic_list_concat([a, f(x)], _), error(E, _), true), [type_error(atomic, f(x))]).
t(concat_3, A, atomic_list_concat([a, b, c], '-', A)).
t(concat_3_one, A, atomic_list_concat([a], '-', A)).
t(concat_3_empty, A, atomic_list_concat([], '-', A)).
t(concat_3_numbers, A, atomic_list_concat([1, 2], ', ', A)).
t(split, L, atomic_list_concat(L, '-', 'a-b--c')).
t(split_long_separator, L, atomic_list_concat(L, ab, xabyab)).
t(split_none, L, atomic_list_concat(L, '-', abc)).
t(split_empty_atom, L, atomic_list_concat(L, '-', '')).
t(split_partial_list, L, (L = [a|_], atomic_list_concat(L, '-', 'a-b'))).
t(split_mismatch, yes, \+ atomic_list_concat([x, _], '-', 'a-b')).
x(split_empty_separator, E, catch(atomic_list_concat(_, '', abc), error(E, _), true),
  [domain_error(non_empty_atom, '')]).
t(split_unbound_atom, x, atomic_list_concat(_, '-', _)).
t(upcase, A, upcase_atom('hello World 1', A)).
t(downcase, A, downcase_atom('Hello WORLD 1', A)).
t(upcase_number, A, upcase_atom(12, A)).
t(upcase_unbound, x, upcase_atom(_, _)).
t(upcase_check, yes, \+ upcase_atom(abc, abc)).
x(upcase_latin, A, upcase_atom('àéîõü ÿ µ ß straße', A), ['ÀÉÎÕÜ Ÿ Μ ß STRAßE']).
x(downcase_latin, A, downcase_atom('ÀÉÎÕÜ Ÿ', A), ['àéîõü ÿ']).
x(case_extended_a, A-B, (upcase_atom('ąćęłńśźżı', A), downcase_atom('ĄĆĘŁŃŚŹŻİ', B)),
  ['ĄĆĘŁŃŚŹŻI'-'ąćęłńśźżi']).
x(case_greek, A-B, (upcase_atom('αβγ ςσ άέ ώ', A), downcase_atom('ΑΒΓ Σ ΆΈ Ώ', B)), ['ΑΒΓ ΣΣ ΆΈ Ώ'-'αβγ σ άέ ώ']).
x(case_cyrillic, A-B, (upcase_atom('привет ёж', A), downcase_atom('ПРИВЕТ ЁЖ', B)), ['ПРИВЕТ ЁЖ'-'привет ёж']).
x(case_other, A, upcase_atom('日本 ⅰ', A), ['日本 ⅰ']).
t(atom_number_integer, N, atom_number('42', N)).
t(atom_number_negative, N, atom_number('-42', N)).
t(atom_number_plus, N, atom_number('+7', N)).
t(atom_number_float, N, atom_number('1.5e3', N)).
t(atom_number_hex, N, atom_number('0x1A', N)).
t(atom_number_char, N, atom_number('0''a', N)).
t(atom_number_not_number, yes, \+ atom_number(foo, _)).
t(atom_number_layout, yes, \+ atom_number(' 1', _)).
t(atom_number_trailing, yes, \+ atom_number('1 ', _)).
t(atom_number_two_signs, yes, \+ atom_number('--1', _)).
t(atom_number_empty, yes, \+ atom_number('', _)).
t(atom_number_to_atom, A, atom_number(A, 3.25)).
t(atom_number_unbound, x, atom_number(_, _)).
t(atom_number_not_atom, x, atom_number(12, _)).
t(term_to_atom_write, A, term_to_atom(f('A', b, "c", 'd e'), A)).
t(term_to_atom_read, T, term_to_atom(T, 'foo(X, bar, X)')).
t(term_to_atom_end, T, term_to_atom(T, 'a + b. ')).
t(term_to_atom_comment, T, term_to_atom(T, 'g(1) % note')).
t(term_to_atom_empty, T, term_to_atom(T, '')).
t(term_to_atom_syntax, x, term_to_atom(_, 'foo bar')).
x(term_to_atom_more, E, catch(term_to_atom(_, 'a. b'), error(E, _), true), [syntax_error(end_of_clause_expected)]).
t(term_to_atom_unbound, yes, (term_to_atom(_, A), sub_atom(A, 0, 1, _, '_'))).
t(read_term_from_atom, T, read_term_from_atom('p(X, Y)', T, [])).
t(read_term_from_atom_names, N, read_term_from_atom('p(X, Y)', _, [variable_names(N)])).
x(split_atom, L, split_atom('a,b,,c', ',', '', L), [[a, b, '', c]]).
x(split_atom_pad, L, split_atom('  a b  ', '', ' ', L), [['a b']]).
x(split_atom_both, L, split_atom('/home//jan///nice/path', '/', '', L), [['', home, '', jan, '', '', nice, path]]).
x(split_atom_fields, L, split_atom('name = x ; age= 3', ';', ' ', L), [['name = x', 'age= 3']]).
